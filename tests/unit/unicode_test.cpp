#include "runtime/unicode.h"

#include <gtest/gtest.h>

#include "runtime/utf16.h"
#include "runtime/utf8.h"
#include "tests/unit/text_support.h"

using namespace vyn;
using namespace vyn::test;

namespace {

const uint32_t INVALID_UTF8 = errors::id::access_invalid_utf8.code();
const uint32_t INVALID_CHAR = errors::id::script_invalid_char.code();

std::u32string counting_text(uint32_t n, char32_t base) {
	std::u32string t;
	for (uint32_t i = 0; i < n; i++) t += char32_t(base + i % 0x80);
	return t;
}

Bytes utf8_of(const std::u32string& text) {
	Bytes out;
	for (char32_t c : text) {
		uint8_t b[4];
		uint32_t n = unicode::encode_utf8(uint32_t(c), b);
		out.insert(out.end(), b, b + n);
	}
	return out;
}

// A deterministic mix of ASCII, Latin-1, CJK and astral codepoints.
std::u32string mixed_text(uint32_t n) {
	std::u32string t;
	uint32_t x = 12345;
	for (uint32_t i = 0; i < n; i++) {
		x = x * 1103515245u + 12345u;
		uint32_t r = x >> 16;
		switch (r % 4) {
		case 0: t += char32_t(0x20 + r % 0x5F); break;
		case 1: t += char32_t(0xA0 + r % 0x60); break;
		case 2: t += char32_t(0x4E00 + r % 0x5000); break;
		default: t += char32_t(0x1F300 + r % 0x300); break;
		}
	}
	return t;
}

// Bytes decoded with or without CR handling, and the text and width wanted.
struct TextCase {
	Bytes in;
	bool cr;
	std::u32string text;
	uint32_t width;
};

constexpr int64_t ERROR = -2;

// The checked decoder's rules: codepoint, or ERROR, or -1 for a cut.
struct CheckedCase {
	Bytes in;
	int64_t cp;
	uint32_t length;
} const checked_cases[] = {
	{{0x41}, 0x41, 1},
	{{0xC0, 0x80}, 0, 2},
	{{0xE0, 0x80, 0x80}, 0, 3},
	{{0xF0, 0x80, 0x80, 0x80}, 0, 4},
	{{0xED, 0xA0, 0x80}, 0xD800, 3},
	{{0xED, 0xB4, 0x80}, 0xDD00, 3},
	{{0xF4, 0x8F, 0xBF, 0xBF}, 0x10FFFF, 4},
	{{0xED, 0xB0, 0x80}, ERROR, 0},  // U+DC00
	{{0xED, 0xB3, 0xBF}, ERROR, 0},  // U+DCFF
	{{0xC3, 0x28}, ERROR, 0},
	{{0x80, 0x41}, ERROR, 0},
	{{0xF8, 0x88, 0x80, 0x80, 0x80}, ERROR, 0},
	{{0xF4, 0x90, 0x80, 0x80}, ERROR, 0},
	{{0xE4, 0x41}, ERROR, 0},  // cut, but already malformed
	{{0xE4, 0xB8}, -1, 2},     // cut: remaining left alone
	{{0xF0, 0x9F}, -1, 2},
};

}  // namespace

using UnicodeStorage = TextTest;

TEST_F(UnicodeStorage, StoreWidensOnlyWhenTheCodepointDoesNotFit) {
	struct Case {
		std::u32string text;
		uint32_t width;
		uint32_t index;
		char32_t cp;
		uint32_t want_width;
	} cases[] = {
		{U"abc", 1, 0, 0x0100, 2},
		{U"abc", 1, 2, 0x1F600, 4},
		{U"abc", 1, 1, 0x00FF, 1},
		{U"a\u4E2Dc", 2, 0, 0x10000, 4},
		{U"a\u4E2Dc", 2, 1, 'b', 2},  // never narrowed
		{U"a\U0001F600c", 4, 1, 'b', 4},
	};
	for (const Case& c : cases) {
		Cell v = make_string(c.text, c.width);
		Series* s = unicode::store(memory::buffer_of(&v), c.index, c.cp);
		EXPECT_EQ(s, memory::buffer_of(&v)) << "the node follows the buffer";
		std::u32string want = c.text;
		want[c.index] = c.cp;
		EXPECT_EQ(s->unit(), c.want_width);
		EXPECT_EQ(text_of(v.data2), want);
	}
}

TEST_F(UnicodeStorage, WideningKeepsEveryUnitAtAnyLength) {
	using Widen = Series* (*)(Series*);
	struct Case {
		Widen widen;
		uint32_t from, to;
		char32_t base;
	} cases[] = {
		{unicode::widen_1_to_2, 1, 2, 0x80},
		{unicode::widen_1_to_4, 1, 4, 0x80},
		{unicode::widen_2_to_4, 2, 4, 0x4E00},
	};
	for (const Case& c : cases)
		for (uint32_t n : {0u, 1u, 15u, 16u, 17u, 33u, 1000u}) {
			std::u32string text = counting_text(n, c.base);
			Cell v = make_string(text, c.from);
			Series* s = c.widen(memory::buffer_of(&v));
			EXPECT_EQ(s->unit(), c.to);
			EXPECT_EQ(s->used(), n * c.to);
			EXPECT_GE(s->size - s->head, n * c.to + c.to) << "room for one more unit";
			EXPECT_EQ(text_of(v.data2), text) << "length " << n;
		}
}

TEST_F(UnicodeStorage, WideningWithRoomStaysInPlace) {
	Node node = memory::alloc_series(64, 1, 0);
	Series* s = memory::series(node);
	std::memcpy(s->data(), "xyz", 3);
	s->tail = 3;
	EXPECT_EQ(unicode::widen_1_to_4(s), s);
	EXPECT_EQ(text_of(node), U"xyz");
}

TEST_F(UnicodeStorage, ScratchBufferIsReusedAndGrown) {
	Cell v = make_string(U"abc", 1);
	uint8_t* first = unicode::scratch_buffer(&v, 10);
	Node scratch = v.data3;
	ASSERT_NE(scratch, 0u);
	EXPECT_EQ(unicode::scratch_buffer(&v, 16), first);
	unicode::scratch_buffer(&v, 5000);
	EXPECT_EQ(v.data3, scratch) << "grown under the same node";
	EXPECT_GE(memory::series(scratch)->size, 5000u);
}

using Utf8Decode = TextTest;

TEST_F(Utf8Decode, FastDecoderAcceptsOnlyShortestFormsAndConsumesTheRejectingByte) {
	struct Case {
		Bytes in;
		int32_t cp;
		size_t consumed;
	} cases[] = {
		{{0x41}, 0x41, 1},
		{{0xC3, 0xA9}, 0xE9, 2},
		{{0xE4, 0xB8, 0xAD}, 0x4E2D, 3},
		{{0xF0, 0x9F, 0x98, 0x80}, 0x1F600, 4},
		{{0xF4, 0x8F, 0xBF, 0xBF}, 0x10FFFF, 4},
		{{0xC2, 0x41}, -1, 2},
		{{0xC0, 0x80}, -1, 1},              // overlong NUL
		{{0xE0, 0x80, 0x80}, -1, 2},        // overlong
		{{0xF0, 0x80, 0x80, 0x80}, -1, 2},  // overlong
		{{0xED, 0xA0, 0x80}, -1, 2},        // surrogate
		{{0xF4, 0x90, 0x80, 0x80}, -1, 2},  // above U+10FFFF
		{{0x80}, -1, 1},
		{{0xFF}, -1, 1},
		{{0xF0, 0x9F, 0x98}, -1, 4},        // cut: the terminator rejects
	};
	for (const Case& c : cases) {
		Bytes in = c.in;
		in.push_back(0);
		int32_t cp = 0;
		const uint8_t* after = unicode::fast_decode_utf8_char(in.data(), &cp);
		EXPECT_EQ(cp, c.cp) << "first byte " << int(c.in[0]);
		EXPECT_EQ(size_t(after - in.data()), c.consumed) << "first byte " << int(c.in[0]);
	}
}

TEST_F(Utf8Decode, CheckedDecoderAcceptsOverlongFormsAndRejectsMalformedOnes) {
	for (const CheckedCase& c : checked_cases) {
		uint32_t remaining = uint32_t(c.in.size());
		int32_t cp = 0;
		uint32_t code = raised([&] { cp = unicode::decode_utf8_checked(c.in.data(), &remaining); });
		if (c.cp == ERROR) {
			EXPECT_EQ(code, INVALID_UTF8) << "first byte " << int(c.in[0]);
			continue;
		}
		EXPECT_EQ(code, 0u);
		EXPECT_EQ(cp, c.cp) << "first byte " << int(c.in[0]);
		EXPECT_EQ(remaining, c.length);
	}
}

TEST_F(Utf8Decode, CountingAndSkippingNeverReadPastTheEnd) {
	struct Case {
		Bytes in;
		uint32_t count;
	} cases[] = {
		{utf8_of(U"A\u00E9\u4E2D\U0001F600"), 4},
		{utf8_of(U"plain ascii text, long enough for words"), 39},
		{{0xC2, 0x41}, 1},
		{{0x41, 0xE4, 0xB8}, 2},
		{{0xF0, 0x9F, 0x98}, 1},
		{{}, 0},
	};
	for (const Case& c : cases) {
		// An exact-size heap copy lets the address sanitizer see any over-read.
		auto* in = new uint8_t[c.in.size()];
		std::copy(c.in.begin(), c.in.end(), in);
		const uint8_t* end = in + c.in.size();
		EXPECT_EQ(unicode::count_codepoints(in, end), c.count);
		EXPECT_EQ(unicode::skip_codepoints(in, end, 1000), end);
		delete[] in;
	}
	Bytes text = utf8_of(U"A\u00E9\u4E2D\U0001F600");
	EXPECT_EQ(unicode::skip_codepoints(text.data(), text.data() + text.size(), 2), text.data() + 3);
}

TEST_F(Utf8Decode, LeadByteAnnouncesTheSequenceLength) {
	struct Case {
		uint8_t lead;
		uint32_t length;
	} cases[] = {{0x41, 0}, {0x80, 0}, {0xBF, 0}, {0xC3, 2}, {0xE4, 3}, {0xF0, 4}, {0xFF, 4}};
	for (const Case& c : cases) EXPECT_EQ(unicode::utf8_length(c.lead), c.length) << int(c.lead);
}

using Utf8Load = TextTest;

// Runs of ASCII longer than the decoder's 32-byte blocks, with line ends.
const char32_t LONG_LINES[] = U"0123456789012345678901234567890123456789\r\n0123456789012345678901234567890123456789\rX";

TEST_F(Utf8Load, DecodesAtTheNarrowestWidth) {
	struct Case {
		Bytes in;
		bool line_ends;
		std::u32string text;
		uint32_t width;
		uint32_t remainder;
	} cases[] = {
		{utf8_of(U"A\u00E9\u4E2D\U0001F600"), false, U"A\u00E9\u4E2D\U0001F600", 4, 0},
		{utf8_of(U"A\u00E9"), false, U"A\u00E9", 1, 0},
		{utf8_of(U"\u00E9\u4E2D"), false, U"\u00E9\u4E2D", 2, 0},
		{{0xEF, 0xBB, 0xBF}, false, U"", 1, 0},
		{{0xEF, 0xBB, 0xBF, 0x41}, false, U"A", 1, 0},
		{{0xEF, 0xBB}, false, U"", 1, 2},
		{{'a', '\r', '\n', 'b', '\r', 'c'}, true, U"a\nb\nc", 1, 0},
		{{'a', '\r', '\n', 'b', '\r', 'c'}, false, U"a\r\nb\rc", 1, 0},
		{{'a', '\r'}, true, U"a\n", 1, 0},
		{{0x41, 0xE4, 0xB8}, false, U"A", 1, 2},
		{{0xC0, 0x80}, false, std::u32string(1, U'\0'), 1, 0},
		{{0xED, 0xA0, 0x80}, false, U"\xD800", 2, 0},
		{{}, false, U"", 1, 0},
		{utf8_of(LONG_LINES), true, U"0123456789012345678901234567890123456789\n"
			U"0123456789012345678901234567890123456789\nX", 1, 0},
		{utf8_of(U"\u4E2D" + std::u32string(LONG_LINES) + U"\U0001F600" + LONG_LINES), false,
			U"\u4E2D" + std::u32string(LONG_LINES) + U"\U0001F600" + LONG_LINES, 4, 0},
	};
	for (const Case& c : cases) {
		uint32_t remainder = 99;
		unicode::Loaded got = unicode::load_utf8_buffer(c.in.data(), uint32_t(c.in.size()), 0, &remainder, c.line_ends);
		Series* s = memory::series(got.node);
		EXPECT_EQ(text_of(got.node), c.text);
		EXPECT_EQ(s->unit(), c.width);
		EXPECT_EQ(got.tail, s->tail);
		EXPECT_EQ(remainder, c.remainder);
	}
}

TEST_F(Utf8Load, LoaderAppliesTheCheckedRulesWhateverFollows) {
	for (const CheckedCase& c : checked_cases)
		for (const Bytes& after : {Bytes{}, Bytes{'x', 'y', 'z', 'w'}}) {
			Bytes in = c.in;
			in.insert(in.end(), after.begin(), after.end());
			Node node = 0;
			uint32_t remainder = 0;
			uint32_t code = raised([&] { node = unicode::load_utf8_buffer(in.data(), uint32_t(in.size()), 0, &remainder, false).node; });
			if (c.cp == ERROR || (c.cp == -1 && !after.empty())) {
				EXPECT_EQ(code, INVALID_UTF8) << "first byte " << int(c.in[0]) << ", " << after.size() << " after";
				continue;
			}
			ASSERT_EQ(code, 0u) << "first byte " << int(c.in[0]);
			if (c.cp == -1) {
				EXPECT_EQ(text_of(node), U"");
				EXPECT_EQ(remainder, c.in.size());
				continue;
			}
			std::u32string want(1, char32_t(c.cp));
			for (uint32_t i = c.length; i < c.in.size(); i++) want += char32_t(c.in[i]);  // an ASCII tail
			for (uint8_t b : after) want += char32_t(b);
			EXPECT_EQ(text_of(node), want) << "first byte " << int(c.in[0]);
		}
}

TEST_F(Utf8Load, LongMixedTextRoundTrips) {
	std::u32string text = U"Latin-1 first: \u00E9\u00E8 then " + mixed_text(20000);
	Bytes in = utf8_of(text);
	Node node = unicode::load_utf8(in.data(), uint32_t(in.size()));
	EXPECT_EQ(memory::series(node)->unit(), 4u);
	EXPECT_EQ(text_of(node), text);
	Cell v;
	cell::set(&v, T_STRING, 0, node, 0);
	int32_t count = -1;
	uint8_t* out = unicode::to_utf8(&v, &count);
	EXPECT_EQ(Bytes(out, out + count), in);
	EXPECT_EQ(out[count], 0);
}

TEST_F(Utf8Load, TargetBufferKeepsItsWidthAndLosesItsContent) {
	for (uint32_t width : {1u, 2u, 4u}) {
		Cell v = make_string(U"old content that is longer", width);
		Bytes in = utf8_of(U"ab\u00E9");
		uint32_t remainder = 7;
		unicode::load_utf8_into(in.data(), uint32_t(in.size()), &v, &remainder);
		EXPECT_EQ(text_of(v.data2), U"ab\u00E9");
		EXPECT_EQ(memory::buffer_of(&v)->unit(), width);
		EXPECT_EQ(remainder, 0u);
	}
	Cell v = make_string(U"xy", 1);
	Bytes in = utf8_of(mixed_text(500));
	unicode::load_utf8_into(in.data(), uint32_t(in.size()), &v, nullptr);
	EXPECT_EQ(text_of(v.data2), mixed_text(500)) << "grown to hold the input";
}

TEST_F(Utf8Load, MalformedInputRaisesWithTheOffendingBytesAndKeepsWhatWasStored) {
	struct Case {
		Bytes in;
		Bytes arg;
		std::u32string kept;
	} cases[] = {
		{{0xC3, 0x28}, {0xC3, 0x28}, U""},
		{{'A', 'B', 0xFF, 'C', 'D', 'E', 'F'}, {0xFF, 'C', 'D', 'E'}, U"AB"},
		{{'A', 0xE4, 0xB8, 0xAD, 0xED, 0xB0, 0x80}, {0xED, 0xB0, 0x80}, U"A\u4E2D"},
	};
	for (const Case& c : cases) {
		Cell v = make_string(U"", 1);
		uint32_t code = raised([&] { unicode::load_utf8_into(c.in.data(), uint32_t(c.in.size()), &v, nullptr); });
		EXPECT_EQ(code, INVALID_UTF8);
		ASSERT_TRUE(last_error_has_arg);
		EXPECT_EQ(cell::type_of(&last_error_arg), T_BINARY);
		EXPECT_EQ(bytes_of(last_error_arg.data2), c.arg);
		EXPECT_EQ(text_of(v.data2), c.kept);
	}
}

using Utf8Encode = TextTest;

TEST_F(Utf8Encode, EncodesEachLengthAndRefusesAboveTheLastCodepoint) {
	struct Case {
		uint32_t cp;
		Bytes bytes;
	} cases[] = {
		{0x00, {0x00}},
		{0x7F, {0x7F}},
		{0x80, {0xC2, 0x80}},
		{0x7FF, {0xDF, 0xBF}},
		{0x800, {0xE0, 0xA0, 0x80}},
		{0xD800, {0xED, 0xA0, 0x80}},
		{0xFFFF, {0xEF, 0xBF, 0xBF}},
		{0x10000, {0xF0, 0x90, 0x80, 0x80}},
		{0x10FFFF, {0xF4, 0x8F, 0xBF, 0xBF}},
	};
	for (const Case& c : cases) {
		uint8_t out[4];
		uint32_t n = unicode::encode_utf8(c.cp, out);
		EXPECT_EQ(Bytes(out, out + n), c.bytes) << c.cp;
		EXPECT_EQ(unicode::codepoint_utf8_length(c.cp), n);
	}
	for (uint32_t bad : {0x110000u, 0xFFFFFFFFu}) {
		uint8_t out[4];
		EXPECT_EQ(raised([&] { unicode::encode_utf8(bad, out); }), INVALID_CHAR);
		EXPECT_EQ(raised([&] { unicode::codepoint_utf8_length(bad); }), INVALID_CHAR);
		EXPECT_EQ(raised([&] { unicode::encode_utf8_bounded(bad, out, 4); }), INVALID_CHAR);
	}
}

TEST_F(Utf8Encode, BoundedEncodingWritesOnlyWhatFits) {
	struct Case {
		int32_t room;
		Bytes bytes;
	} cases[] = {{-1, {}}, {0, {}}, {1, {0xE2}}, {2, {0xE2, 0x82}}, {3, {0xE2, 0x82, 0xAC}}, {9, {0xE2, 0x82, 0xAC}}};
	for (const Case& c : cases) {
		uint8_t out[4] = {};
		uint32_t n = unicode::encode_utf8_bounded(0x20AC, out, c.room);
		EXPECT_EQ(Bytes(out, out + n), c.bytes) << c.room;
	}
}

TEST_F(Utf8Encode, ValueEncodesFromItsHeadIntoItsScratchBuffer) {
	struct Case {
		std::u32string text;
		uint32_t width;
		uint32_t head;
		int32_t max_units;
		bool crlf;
		Bytes bytes;
	} cases[] = {
		{U"A\u00E9\n", 1, 0, -1, false, {0x41, 0xC3, 0xA9, 0x0A}},
		{U"A\u00E9\n", 1, 0, -1, true, {0x41, 0xC3, 0xA9, 0x0D, 0x0A}},
		{U"\n\n\n", 1, 0, -1, true, {0x0D, 0x0A, 0x0D, 0x0A, 0x0D, 0x0A}},
		{U"\u4E2D\n", 2, 0, -1, true, {0xE4, 0xB8, 0xAD, 0x0D, 0x0A}},
		{U"x\U0001F600y", 4, 1, -1, false, {0xF0, 0x9F, 0x98, 0x80, 'y'}},
		{U"abcdef", 1, 2, 2, false, {'c', 'd'}},
		{U"abcdef", 1, 0, 0, false, {}},
		{U"abc", 1, 9, -1, false, {}},  // head past the tail
		{std::u32string(U"a\0b", 3), 1, 0, -1, false, {'a', 0, 'b'}},
	};
	for (const Case& c : cases) {
		Cell v = make_string(c.text, c.width);
		v.data1 = c.head;
		int32_t count = c.max_units;
		uint8_t* out = unicode::to_utf8_crlf(&v, &count, c.crlf);
		ASSERT_NE(v.data3, 0u);
		EXPECT_EQ(out, memory::series(v.data3)->data());
		EXPECT_EQ(Bytes(out, out + count), c.bytes);
		EXPECT_EQ(out[count], 0);
		EXPECT_LE(uint32_t(count) + 1, memory::series(v.data3)->size);
	}
}

TEST_F(Utf8Encode, UnitAboveTheLastCodepointRaisesInvalidChar) {
	Cell v = make_string(U"a", 4);
	unicode::put_unit(memory::buffer_of(&v)->data(), 4, 0x110000);
	Series* s = memory::buffer_of(&v);
	EXPECT_EQ(raised([&] { unicode::utf8_size(s->head_ptr(), s->tail_ptr(), 4); }), INVALID_CHAR);
	int32_t count = -1;
	EXPECT_EQ(raised([&] { unicode::to_utf8(&v, &count); }), INVALID_CHAR);
}

TEST_F(Utf8Encode, SizeMatchesWhatIntoWrites) {
	Cell v = make_string(U"A\u00E9\u4E2D\U0001F600", 4);
	Series* s = memory::buffer_of(&v);
	uint32_t size = unicode::utf8_size(s->head_ptr(), s->tail_ptr(), 4);
	EXPECT_EQ(size, 10u);
	Bytes out(size + 1, 0xEE);
	EXPECT_EQ(unicode::to_utf8_into(&v, out.data(), -1, true), size);
	EXPECT_EQ(out[size], 0);
	EXPECT_EQ(Bytes(out.begin(), out.begin() + size), utf8_of(U"A\u00E9\u4E2D\U0001F600"));
	EXPECT_EQ(unicode::to_utf8_into(&v, out.data(), 2, false), 3u);
}

TEST_F(Utf8Encode, PartStopsAtTheBufferSizeAndKeepsRoomForTheTerminator) {
	struct Case {
		uint32_t size;
		int32_t max_units;
		bool terminate;
		Bytes bytes;
	} cases[] = {
		{16, 0, true, {0xC3, 0xA9, 0xE2, 0x82, 0xAC, 'z'}},
		{16, -5, false, {0xC3, 0xA9, 0xE2, 0x82, 0xAC, 'z'}},
		{16, 99, true, {0xC3, 0xA9, 0xE2, 0x82, 0xAC, 'z'}},
		{16, 1, true, {0xC3, 0xA9}},
		{4, 0, true, {0xC3, 0xA9, 0xE2}},
		{4, 0, false, {0xC3, 0xA9, 0xE2, 0x82}},
		{1, 0, true, {}},
		{0, 0, true, {}},
	};
	for (const Case& c : cases) {
		Cell v = make_string(U"\u00E9\u20ACz", 2);
		Bytes out(c.size + 4, 0xEE);
		uint32_t n = unicode::to_utf8_part(&v, out.data(), c.size, c.max_units, c.terminate);
		EXPECT_EQ(Bytes(out.begin(), out.begin() + n), c.bytes) << "size " << c.size;
		if (c.terminate && c.size > 0) {
			EXPECT_EQ(out[n], 0);
		}
		for (uint32_t i = c.size; i < out.size(); i++) EXPECT_EQ(out[i], 0xEE) << "written past the buffer";
	}
}

using Utf16 = TextTest;

TEST_F(Utf16, LoadsAtTheWidthTheUnitsNeed) {
	const TextCase cases[] = {
		{{0x3D, 0xD8, 0x00, 0xDE}, false, U"\U0001F600", 4},
		{{0x41, 0x00, 0xE9, 0x00}, false, U"A\u00E9", 1},
		{{0x41, 0x00, 0x2D, 0x4E}, false, U"A\u4E2D", 2},
		{{0x41, 0x00, 0x0D, 0x00, 0x0A, 0x00, 0x0D, 0x00, 0x42, 0x00}, true, U"A\nB", 1},
		{{0x41, 0x00, 0x0D, 0x00, 0x2D, 0x4E}, false, U"A\r\u4E2D", 2},
		{{0x41, 0x00, 0x0D, 0x00, 0x2D, 0x4E}, true, U"A\u4E2D", 2},
		{{0x0D, 0x00, 0x3D, 0xD8, 0x00, 0xDE}, true, U"\U0001F600", 4},
		// Unpaired surrogates are kept as themselves.
		{{0x3D, 0xD8, 0x41, 0x00}, false, U"\xD83D" U"A", 4},
		{{0x41, 0x00, 0x3D, 0xD8}, false, U"A\xD83D", 4},
		{{0x00, 0xDE, 0x41, 0x00}, false, U"\xDE00" U"A", 4},
		{{0x3D, 0xD8, 0x3D, 0xD8, 0x00, 0xDE}, false, U"\xD83D\U0001F600", 4},
		{{}, false, U"", 1},
	};
	for (const TextCase& c : cases) {
		unicode::Loaded got = unicode::load_utf16(c.in.data(), uint32_t(c.in.size() / 2), nullptr, c.cr);
		Series* s = memory::series(got.node);
		EXPECT_EQ(text_of(got.node), c.text);
		EXPECT_EQ(s->unit(), c.width);
		EXPECT_EQ(unicode::utf16_unit_width(c.in.data(), uint32_t(c.in.size() / 2)), c.width);
		EXPECT_TRUE(s->flags & SERIES_UTF16);
		EXPECT_EQ(got.tail, s->tail);
	}
}

TEST_F(Utf16, LoadsFromTheValuesOwnScratchBuffer) {
	Cell v = make_string(U"old", 1);
	const uint16_t answer[] = {'/', 't', 0x4E2D, 'p'};
	std::memcpy(unicode::scratch_buffer(&v, sizeof answer), answer, sizeof answer);
	unicode::load_utf16(nullptr, 4, &v, false);
	EXPECT_EQ(text_of(v.data2), U"/t\u4E2Dp");
	unicode::load_utf16(nullptr, 1000000, &v, false);  // a count beyond the scratch buffer
	EXPECT_LE(memory::buffer_of(&v)->used(), memory::series(v.data3)->size);
}

TEST_F(Utf16, EncodesPairsAndLineEndsIntoTheScratchBuffer) {
	struct Case {
		std::u32string text;
		uint32_t width;
		int32_t max_units;
		bool crlf;
		std::u16string units;
	} cases[] = {
		{U"\U00010000", 4, -1, true, u"\xD800\xDC00"},
		{U"\U0010FFFF", 4, -1, false, u"\xDBFF\xDFFF"},
		{U"a\nb", 1, -1, true, u"a\r\nb"},
		{U"a\nb", 1, -1, false, u"a\nb"},
		{U"\u4E2D\n", 2, -1, true, u"\u4E2D\r\n"},
		{U"\u4E2D\n", 2, -1, false, u"\u4E2D\n"},
		{U"x\U0001F600\ny", 4, 3, true, u"x\xD83D\xDE00\r\n"},
		{U"abc", 1, 0, true, u""},
	};
	for (const Case& c : cases) {
		Cell v = make_string(c.text, c.width);
		int32_t count = c.max_units;
		uint16_t* out = unicode::to_utf16_part(&v, &count, c.crlf);
		ASSERT_NE(out, nullptr);
		EXPECT_EQ(std::u16string(out, out + count), c.units);
		EXPECT_EQ(out[count], 0);
		EXPECT_LE((uint32_t(count) + 1) * 2, memory::series(v.data3)->size);
	}
	Cell v = make_string(U"\U00010000", 4);
	uint16_t* out = unicode::to_utf16(&v);
	EXPECT_EQ(std::u16string(out, out + 3), std::u16string(u"\xD800\xDC00\0", 3));
}

TEST_F(Utf16, CodepointAboveTheLastGivesNoConversion) {
	Cell v = make_string(U"ab", 4);
	unicode::put_unit(memory::buffer_of(&v)->data() + 4, 4, 0x110000);
	int32_t count = -1;
	EXPECT_EQ(unicode::to_utf16_part(&v, &count, false), nullptr);
	uint16_t out[2] = {7, 7};
	EXPECT_EQ(unicode::encode_utf16(0x110000, out), 0u);
	EXPECT_EQ(out[0], 7);
}

TEST_F(Utf16, AsciiIsZeroExtended) {
	uint16_t out[8];
	unicode::ascii_to_utf16("*** A", out);
	EXPECT_EQ(std::u16string(out, out + 6), std::u16string(u"*** A", 6));
}

using CodePage = TextTest;

TEST_F(CodePage, Cp1251DecodesThroughThePublishedTable) {
	const TextCase cases[] = {
		{{0xC0, 0xE1, 0x98, 0xB9, 0x88, 0x41}, false, U"\u0410\u0431\u0098\u2116\u20AC" U"A", 2},
		{{0x41, 0xA0, 0xA4, 0xFF}, false, U"A\u00A0\u00A4\u044F", 2},
		{{0x41, 0xA0, 0xA9}, false, U"A\u00A0\u00A9", 1},
		{{'a', '\r', '\n', 'b', '\r'}, true, U"a\nb\n", 1},
		{{'a', '\r', '\n'}, false, U"a\r\n", 1},
	};
	for (const TextCase& c : cases) {
		unicode::Loaded got = unicode::load_cp1251(c.in.data(), uint32_t(c.in.size()), nullptr, c.cr);
		EXPECT_EQ(text_of(got.node), c.text);
		EXPECT_EQ(memory::series(got.node)->unit(), c.width);
	}
	Cell v = make_string(U"\U0001F600", 4);
	Bytes in{0xC0, 'x'};
	unicode::load_cp1251(in.data(), 2, &v, false);
	EXPECT_EQ(text_of(v.data2), U"\u0410x");
	EXPECT_EQ(memory::buffer_of(&v)->unit(), 4u) << "a given buffer is not narrowed";
}
