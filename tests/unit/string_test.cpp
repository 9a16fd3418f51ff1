#include <sys/wait.h>
#include <unistd.h>

#include "runtime/datatypes/string.h"

#include <gtest/gtest.h>

#include <cmath>

#include "tests/unit/string_support.h"

using namespace vyn;
using namespace vyn::test;

namespace {

class StringToolbox : public StringTest {};

TEST_F(StringToolbox, AppendCharWidensAboveAscii) {
	struct Case {
		uint32_t cp;
		uint32_t width;
	} cases[] = {{'a', 1}, {0x7F, 1}, {0xE9, 2}, {0x100, 2}, {0xFFFF, 2}, {0x10000, 4}, {0x1F600, 4}};
	for (const Case& c : cases) {
		Cell s;
		string::make_at(&s, 4);
		string::append_literal(&s, "ab");
		string::append_char(&s, c.cp);
		EXPECT_EQ(string::width_of(&s), c.width) << std::hex << c.cp;
		EXPECT_EQ(text_of(s.data2), (std::u32string{U'a', U'b', char32_t(c.cp)}));
	}
}

TEST_F(StringToolbox, PokeWidensOnlyWhatDoesNotFit) {
	struct Case {
		uint32_t width, cp, after;
	} cases[] = {{1, 0xE9, 1}, {1, 0xFF, 1}, {1, 0x100, 2}, {1, 0x1F600, 4}, {2, 0xFFFF, 2}, {2, 0x10000, 4}};
	for (const Case& c : cases) {
		Cell s = wide(U"xyz", c.width);
		Series* b = string::poke_char(memory::buffer_of(&s), 1, c.cp);
		EXPECT_EQ(b->unit(), c.after) << std::hex << c.cp;
		EXPECT_EQ(text_of(s.data2), (std::u32string{U'x', char32_t(c.cp), U'z'}));
	}
}

TEST_F(StringToolbox, OverwriteAndInsertChar) {
	Cell s = str("abc");
	string::overwrite_char(memory::buffer_of(&s), 1, 0x4E2D);
	EXPECT_EQ(text_of(s.data2), U"a\u4E2Dc");
	string::overwrite_char(memory::buffer_of(&s), 5, 'z');
	EXPECT_EQ(text_of(s.data2), (std::u32string{U'a', 0x4E2D, U'c', 0, 0, U'z'})) << "a gap past the tail reads as 0";
	Cell t = str("ac");
	string::insert_char(memory::buffer_of(&t), 1, 'b');
	string::insert_char(memory::buffer_of(&t), 3, 0x1F600);
	string::insert_char(memory::buffer_of(&t), 0, '>');
	EXPECT_EQ(text_of(t.data2), U">abc\U0001F600");
}

TEST_F(StringToolbox, HexFormatters) {
	struct Case {
		int32_t value;
		bool short_form;
		const char* text;
	} cases[] = {{-1, false, "FFFFFFFF"}, {255, false, "000000FF"}, {255, true, "FF"}, {0, true, "00"},
		{0, false, "00000000"}, {0x1E, true, "1E"}, {5, true, "5"}, {0x4E2D, true, "4E2D"}, {-2, true, "FFFFFFFE"}};
	for (const Case& c : cases) EXPECT_EQ(string::int_to_hex(c.value, c.short_form).view(), c.text) << c.value;
	EXPECT_EQ(string::byte_to_hex(0xA7).view(), "A7");
	EXPECT_EQ(string::byte_to_hex(0x05).view(), "05");
}

TEST_F(StringToolbox, CompareStringsByCode) {
	struct Case {
		const char* a;
		const char* b;
		CompareOp op;
		int32_t result;
	} cases[] = {
		{"abc", "ABC", COMP_EQUAL, 0},
		{"abc", "ABC", COMP_STRICT_EQUAL, 1},
		{"abc", "ABC", COMP_NOT_EQUAL, 0},
		{"abc", "abd", COMP_LESSER, -1},
		{"abd", "abc", COMP_LESSER, 1},
		{"ab", "abc", COMP_LESSER, -1},
		{"ab", "abc", COMP_EQUAL, 1},
		{"abc", "", COMP_LESSER, 1},
		{"", "", COMP_EQUAL, 0},
		{"", "a", COMP_SORT, -1},
		{"a", "B", COMP_SORT, -1},
		{"a", "B", COMP_CASE_SORT, 1},
		{"\xC3\xA9", "\xC3\x89", COMP_EQUAL, 0},  // folded through the case tables
		{"\xC3\xA9", "\xC3\x89", COMP_STRICT_EQUAL, 1},
		{"straße", "STRASSE", COMP_EQUAL, 1},  // one codepoint to one: no length change
		{"straße", "STRASE", COMP_EQUAL, 1},   // ß has no one-codepoint upper case: never S
		{"straße", "STRAßE", COMP_EQUAL, 0},
	};
	for (const Case& c : cases) {
		Cell a = str(c.a), b = str(c.b);
		EXPECT_EQ(string::compare_strings(&a, &b, c.op, false), c.result) << c.a << " / " << c.b << " code " << c.op;
	}
}

TEST_F(StringToolbox, CompareAcrossWidths) {
	Cell a = wide(U"abc\u4E2D", 2), b = wide(U"ABC\u4E2D", 4), c = wide(U"abc", 1);
	EXPECT_EQ(string::compare_strings(&a, &b, COMP_EQUAL, false), 0);
	EXPECT_EQ(string::compare_strings(&c, &a, COMP_LESSER, false), -1);
	EXPECT_EQ(string::compare_strings(&a, &c, COMP_LESSER, false), 1);
}

TEST_F(StringToolbox, SameAndSharedHeads) {
	Cell a = str("abc");
	Cell b = a;
	Cell c = str("abc");
	EXPECT_EQ(string::compare_strings(&a, &b, COMP_SAME, false), 0);
	EXPECT_NE(string::compare_strings(&a, &c, COMP_SAME, false), 0);
	b.data1 = 1;
	EXPECT_NE(string::compare_strings(&a, &b, COMP_SAME, false), 0);
}

TEST_F(StringToolbox, MatchModeIsPrefixMatching) {
	struct Case {
		const char* text;
		const char* prefix;
		CompareOp op;
		int32_t result;
	} cases[] = {
		{"abcdef", "ABC", COMP_FIND_SELECT, 0},
		{"abcdef", "ABC", COMP_STRICT_EQUAL, 1},
		{"ab", "abc", COMP_FIND_SELECT, 1},
		{"abc", "", COMP_FIND_SELECT, 1},
		{"abc", "", COMP_EQUAL, 0},
	};
	for (const Case& c : cases) {
		Cell a = str(c.text), b = str(c.prefix);
		EXPECT_EQ(string::compare_strings(&a, &b, c.op, true), c.result) << c.text << " / " << c.prefix;
	}
}

TEST_F(StringToolbox, HeadPastTheTailReadsEmptyAndIsCorrected) {
	Cell s = str("abcdef");
	Cell far = at(s, 6);
	string::truncate(&s, 2);
	EXPECT_EQ(string::vs_length(&far), 0u);
	EXPECT_EQ(far.data1, 2u);
	Cell empty = str("");
	EXPECT_EQ(string::compare_strings(&far, &empty, COMP_EQUAL, false), 0);
}

TEST_F(StringToolbox, MatchValueAtTheHead) {
	Cell text = str("<b>old</b>");
	Cell tag = str("b", T_TAG), other = str("i", T_TAG), s = str("<B>"), c = chr('<'), n = int_value(1);
	EXPECT_TRUE(string::tag_enclosed(&text, &tag));
	EXPECT_TRUE(string::match_value(&text, &tag, COMP_FIND_SELECT));
	EXPECT_TRUE(string::match_value(&text, &s, COMP_FIND_SELECT));
	EXPECT_FALSE(string::match_value(&text, &s, COMP_STRICT_EQUAL));
	EXPECT_FALSE(string::match_value(&text, &other, COMP_FIND_SELECT));
	EXPECT_TRUE(string::match_value(&text, &c, COMP_FIND_SELECT));
	EXPECT_FALSE(string::match_value(&text, &n, COMP_FIND_SELECT));
}

TEST_F(StringToolbox, SearchHelpers) {
	Cell s = str("a,bA,c");
	EXPECT_EQ(string::find_char(&s, ','), 1);
	EXPECT_EQ(string::find_char(&s, 'z'), -1);
	EXPECT_TRUE(string::contains_char(&s, 'B', 1, false));
	EXPECT_FALSE(string::contains_char(&s, 'B', 1, true));
	EXPECT_FALSE(string::contains_char(&s, ',', 3, true)) << "only every third unit is looked at";
	EXPECT_TRUE(string::contains_char(&s, 'A', 3, true));
	EXPECT_TRUE(string::starts_with_ascii(&s, "a,b"));
	EXPECT_FALSE(string::starts_with_ascii(&s, "a,bA,c,"));
	Cell w = wide(U"\u0168ttp", 2);
	EXPECT_FALSE(string::starts_with_ascii(&w, "httP")) << "a unit above 0xFF never matches";
}

TEST_F(StringToolbox, AppendStringToItselfDoublesTheText) {
	Cell s;
	string::load_at(&s, "h\xC3\xA9!");
	ASSERT_EQ(string::width_of(&s), 1u) << "loads keep width 1 up to 0xFF";
	string::append_string(&s, &s, -1);
	EXPECT_EQ(text_of(s.data2), U"h\u00e9!h\u00e9!");
}

TEST_F(StringToolbox, AppendUtf8AndTruncate) {
	Cell s;
	string::make_at(&s, 1);
	std::string_view src = "x\xE2\x82\xAC\xF0\x9F\x98\x80y";
	string::append_utf8(&s, reinterpret_cast<const uint8_t*>(src.data()), uint32_t(src.size()));
	EXPECT_EQ(text_of(s.data2), U"x\u20ac\U0001F600y");
	string::truncate(&s, 2);
	EXPECT_EQ(text_of(s.data2), U"x\u20ac");
	string::truncate(&s, 5);
	EXPECT_EQ(string::vs_length(&s), 2u) << "never moves the tail forward";
}

TEST_F(StringToolbox, ConcatenateModes) {
	struct Case {
		const char* target;
		uint32_t head;
		const char* source;
		int32_t count;
		uint32_t offset;
		string::Mode mode;
		const char* result;
	} cases[] = {
		{"ab", 0, "cd", -1, 0, string::APPEND, "abcd"},
		{"ab", 0, "cd", 1, 0, string::APPEND, "abc"},
		{"abcd", 1, "XY", -1, 1, string::INSERT, "abXYcd"},
		{"abcd", 1, "XY", -1, 0, string::OVERWRITE, "aXYd"},
		{"abcd", 2, "XYZ", -1, 1, string::OVERWRITE, "abcXYZ"},
		{"ab", 0, "\xE4\xB8\xAD", -1, 2, string::INSERT, "ab\xE4\xB8\xAD"},
	};
	for (const Case& c : cases) {
		Cell t = str(c.target), s = str(c.source);
		t.data1 = c.head;
		string::concatenate(&t, &s, c.count, c.offset, c.mode);
		t.data1 = 0;
		EXPECT_EQ(utf8(t), c.result) << c.target << " + " << c.source;
	}
}

TEST_F(StringToolbox, ConcatenateWithinOneBufferReadsTheOldUnits) {
	struct Case {
		uint32_t target_head, source_head;
		int32_t count;
		string::Mode mode;
		const char* result;
	} cases[] = {
		{0, 0, -1, string::INSERT, "abcabc"},
		{0, 1, 2, string::INSERT, "bcabc"},
		{1, 0, 2, string::INSERT, "aabbc"},
		{2, 0, -1, string::INSERT, "ababcc"},
		{0, 1, -1, string::OVERWRITE, "bcc"},
		{1, 0, -1, string::OVERWRITE, "aabc"},
		{0, 0, -1, string::APPEND, "abcabc"},
	};
	for (const Case& c : cases) {
		Cell s = str("abc");
		Cell t = s, src = s;
		t.data1 = c.target_head;
		src.data1 = c.source_head;
		string::concatenate(&t, &src, c.count, 0, c.mode);
		EXPECT_EQ(utf8(s), c.result) << c.target_head << "/" << c.source_head << " mode " << int(c.mode);
	}
}

TEST_F(StringToolbox, ConcatenateLeavesTheSourceAlone) {
	Cell t = wide(U"\U0001F600", 4), s = str("ab");
	string::concatenate(&t, &s, -1, 0, string::APPEND);
	EXPECT_EQ(string::width_of(&s), 1u);
	EXPECT_EQ(text_of(t.data2), U"\U0001F600ab");
}

TEST_F(StringToolbox, RemoveAndRotate) {
	Cell s = str("abcdef");
	string::remove_part(&s, 1, 2);
	EXPECT_EQ(utf8(s), "adef");
	string::remove_part(&s, 3, 10);
	EXPECT_EQ(utf8(s), "ade");
	string::remove_char(&s, 0);
	EXPECT_EQ(utf8(s), "de");
	std::vector<uint8_t> big(200000);
	for (size_t i = 0; i < big.size(); i++) big[i] = uint8_t(i < 70000 ? 'a' : 'b');
	string::rotate_blocks(big.data(), 70000, 130000);
	EXPECT_EQ(big[0], 'b');
	EXPECT_EQ(big[129999], 'b');
	EXPECT_EQ(big[130000], 'a') << "blocks beyond the scratch area rotate too";
	uint8_t small[] = {'1', '2', '3', 'x', 'y'};
	string::rotate_blocks(small, 3, 2);
	EXPECT_EQ(std::string(small, small + 5), "xy123");
}

TEST_F(StringToolbox, LoadingByEncoding) {
	Cell s;
	uint8_t utf16[] = {'h', 0, 0x2D, 0x4E};
	string::load_at(&s, utf16, 2, string::ENC_UTF16LE);
	EXPECT_EQ(text_of(s.data2), U"h\u4E2D");
	Cell* pushed = string::load(reinterpret_cast<const uint8_t*>("\xEF\xBB\xBFok"), 5);
	EXPECT_EQ(utf8(*pushed), "ok");
	// An unknown encoding is an error, never the end of the process.
	EXPECT_EQ(raised([&] { string::load_at(&s, utf16, 2, 7); }), code(errors::id::access_no_codec));
	EXPECT_EQ(cell::get_integer(&last_error_arg), 7);
}

TEST_F(StringToolbox, AppendLiteralWidensForAnyByteAboveAscii) {
	// The bytes are scanned eight at a time, then one by one.
	struct Case {
		const char* text;
		uint32_t width;
	} cases[] = {
		{"abcdefg", 1}, {"abcdefgh", 1}, {"abcdefghijklmnopq", 1}, {"\xE9", 2}, {"abcdefg\xE9", 2},
		{"abcdefgh\xE9", 2}, {"\xE9" "bcdefghijklmnop", 2}, {"abcdefghijklmno\xE9", 2},
	};
	for (const Case& c : cases) {
		Cell s;
		string::make_at(&s, 4);
		string::append_literal(&s, c.text);
		EXPECT_EQ(string::width_of(&s), c.width) << c.text;
		std::u32string expected;
		for (const char* p = c.text; *p; p++) expected += char32_t(uint8_t(*p));
		EXPECT_EQ(text_of(s.data2), expected) << c.text;
	}
}

TEST_F(StringToolbox, AppendLiteralOfNothingAppendsNothing) {
	Cell s;
	string::make_at(&s, 4);
	string::append_literal(&s, "");
	EXPECT_EQ(string::vs_length(&s), 0u);
	string::append_literal(&s, "a\xE9");
	EXPECT_EQ(text_of(s.data2), U"a\u00e9");
	EXPECT_EQ(string::width_of(&s), 2u) << "Latin-1 above 0x7F widens";
}

TEST_F(StringToolbox, CheckedLoadRefusesACutSequence) {
	Cell s;
	string::load_utf8_checked(&s, reinterpret_cast<const uint8_t*>("a\xC3\xA9"), 3);
	EXPECT_EQ(text_of(s.data2), U"a\u00e9");
	uint32_t c = raised([&] { string::load_utf8_checked(&s, reinterpret_cast<const uint8_t*>("a\xE4\xB8"), 3); });
	EXPECT_EQ(c, code(errors::id::access_invalid_utf8));
	ASSERT_TRUE(cell::is(&last_error_arg, T_BINARY));
	EXPECT_EQ(bytes_of(last_error_arg.data2), (Bytes{0xE4, 0xB8}));
}

TEST_F(StringToolbox, ScanFloat) {
	struct Case {
		std::u32string text;
		uint32_t width;
		double value;
		bool error;
	} cases[] = {{U"1.5", 1, 1.5, false}, {U"-2e3", 2, -2000, false}, {U"0.1", 4, 0.1, false},
		{U"1.5x", 1, 0, true}, {U"", 1, 0, true}, {U"1\u00e9", 2, 0, true}};
	for (const Case& c : cases) {
		Cell s = wide(c.text, c.width);
		bool error = false;
		double d = string::scan_float(string::vs_head(&s), string::vs_length(&s), c.width, &error);
		EXPECT_EQ(error, c.error);
		if (c.error) {
			EXPECT_TRUE(std::isnan(d));
		} else {
			EXPECT_EQ(d, c.value);
		}
	}
}

TEST_F(StringToolbox, BitsetMembership) {
	// Member 44 (",") is bit 0x08 of byte 5; past the bytes the complement flag answers.
	Node n = memory::alloc_bytes(6);
	Series* s = memory::series(n);
	std::memset(s->data(), 0, 6);
	s->data()[5] = 0x08;
	s->tail = 6;
	Cell bits;
	cell::set(&bits, T_BITSET, 0, n, 0);
	EXPECT_TRUE(string::bitset_has(&bits, ','));
	EXPECT_FALSE(string::bitset_has(&bits, '-'));
	EXPECT_FALSE(string::bitset_has(&bits, 0x4E2D));
	s->flags |= 0x00080000u;
	EXPECT_TRUE(string::bitset_has(&bits, 0x4E2D));
}

}  // namespace

namespace {

TEST_F(StringToolbox, SymbolsStandForTheirNames) {
	Cell name = *symbol::cell_of(sym("Hello"));
	ASSERT_TRUE(cell::is(&name, T_SYMBOL));
	Cell s = str("hello");
	EXPECT_EQ(string::compare_strings(&s, &name, COMP_EQUAL, false), 0);
	EXPECT_EQ(string::compare_strings(&s, &name, COMP_STRICT_EQUAL, false), 1);
	Cell t = str(">");
	string::concatenate(&t, &name, -1, 0, string::APPEND);
	EXPECT_EQ(utf8(t), ">Hello");
	Cell u = str("<");
	string::insert(&u, &name, -1, false, 1, true);
	EXPECT_EQ(utf8(u), "<Hello");
}

}  // namespace
