#include "runtime/datatypes/binary_base.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

using namespace vyn;

namespace {

using Encoder = uint32_t (*)(uint8_t*, const uint8_t*, uint32_t);
using Decoder = int64_t (*)(uint8_t*, const uint8_t*, uint32_t, uint32_t);

struct Base {
	int32_t base;
	Encoder encode;
	Decoder decode;
} const bases[] = {
	{2, binary::encode_base2, binary::decode_base2},
	{16, binary::encode_base16, binary::decode_base16},
	{58, binary::encode_base58, binary::decode_base58},
	{64, binary::encode_base64, binary::decode_base64},
};

std::string encode(const Base& b, const std::vector<uint8_t>& in) {
	std::string out(binary::encoded_room(b.base, in.size()), '\0');
	uint32_t n = b.encode(reinterpret_cast<uint8_t*>(out.data()), in.data(), uint32_t(in.size()));
	EXPECT_LE(n, out.size());
	out.resize(n);
	return out;
}

// Decodes text given as 1-byte units; false when it is invalid.
bool decode(const Base& b, const std::string& text, std::vector<uint8_t>& out) {
	out.assign(binary::decoded_room(b.base, text.size()), 0);
	int64_t n = b.decode(out.data(), reinterpret_cast<const uint8_t*>(text.data()), uint32_t(text.size()), 1);
	if (n < 0) return false;
	EXPECT_LE(size_t(n), out.size());
	out.resize(size_t(n));
	return true;
}

TEST(BinaryBase, RoundTripsRandomBytesWithinTheRoom) {
	std::mt19937 rng(7);
	for (const Base& b : bases) {
		for (uint32_t length : {0u, 1u, 2u, 3u, 4u, 31u, 32u, 33u, 100u, 257u}) {
			std::vector<uint8_t> in(length);
			for (auto& byte : in) byte = uint8_t(rng());
			if (length > 2) in[0] = in[1] = 0;  // leading zeros matter to base 58
			std::vector<uint8_t> back;
			ASSERT_TRUE(decode(b, encode(b, in), back)) << b.base << " " << length;
			EXPECT_EQ(back, in) << "base " << b.base << " length " << length;
		}
	}
}

TEST(BinaryBase, KnownTexts) {
	struct Case {
		int base;
		std::vector<uint8_t> bytes;
		const char* text;
	} cases[] = {
		{58, {0, 1}, "12"},
		{58, {}, ""},
		{58, {'h', 'e', 'l', 'l', 'o'}, "Cn8eVZg"},
		{64, {'A'}, "QQ=="},
		{64, {'a', 'b'}, "YWI="},
		{16, {0xAB, 0x01}, "AB01"},
		{2, {0x81}, "10000001"},
	};
	for (const Case& c : cases) {
		for (const Base& b : bases) {
			if (b.base != c.base) continue;
			EXPECT_EQ(encode(b, c.bytes), c.text);
		}
	}
}

TEST(BinaryBase, DecodersSkipSpacesAndCommentsAndRefuseStrayCharacters) {
	struct Case {
		int index;  // into bases
		const char* text;
		bool valid;
		std::vector<uint8_t> bytes;
	} cases[] = {
		{3, "Q Q\n= =", true, {0x41}},
		{3, "QQ==;a comment\nQUJD", true, {0x41}},  // decoding stops at the padding
		{3, "QUJD;x\nQQ==", true, {'A', 'B', 'C', 'A'}},
		{3, "Q=", false, {}},
		{3, "QUJDQ", true, {'A', 'B', 'C'}},  // a digit left over is dropped
		{3, "QUJDQQ", true, {'A', 'B', 'C', 'A'}},  // two or three digits left over hold whole bytes
		{3, "QUJDQUI", true, {'A', 'B', 'C', 'A', 'B'}},
		{3, "QU*D", false, {}},
		{1, "0g", false, {}},
		{1, "0", true, {}},
		{1, "a b c", true, {0xAB}},
		{0, "0000 0001 ; one\n", true, {1}},
		{0, "0101", false, {}},
		{0, "0120", false, {}},
		{2, "11 1", true, {0, 0, 0}},
		{2, "10", false, {}},  // 0 is not a base 58 digit
	};
	for (const Case& c : cases) {
		std::vector<uint8_t> out;
		bool valid = decode(bases[c.index], c.text, out);
		EXPECT_EQ(valid, c.valid) << c.text;
		if (valid && c.valid) {
			EXPECT_EQ(out, c.bytes) << c.text;
		}
	}
}

TEST(BinaryBase, WideUnitsDecodeLikeBytes) {
	std::u32string text = U"YWJj";
	std::vector<uint8_t> out(binary::decoded_room(64, text.size()));
	int64_t n = binary::decode_base64(out.data(), reinterpret_cast<const uint8_t*>(text.data()), uint32_t(text.size()), 4);
	ASSERT_EQ(n, 3);
	EXPECT_EQ(std::string(out.begin(), out.begin() + 3), "abc");
}

// Codes above 127 are no digits in any base, at any width: in particular
// they are not folded onto ASCII (0xB0 would read as "0", 0x141 as "A").
TEST(BinaryBase, CodesAbove127AreInvalidAtEveryWidth) {
	const std::u32string texts[] = {
		{U'0', char32_t(0xB0)}, {U'A', char32_t(0xC1)}, {U'A', char32_t(0x141)}, {U'Q', U'Q', char32_t(0x10051)},
		{char32_t(0xE9), U'Q', U'Q', U'=', U'='},
	};
	for (const Base& b : bases) {
		if (b.base == 2) continue;
		for (const std::u32string& text : texts) {
			for (uint32_t width : {2u, 4u}) {
				bool fits = true;
				for (char32_t c : text) fits &= uint64_t(c) < (uint64_t(1) << (8 * width));
				if (!fits) continue;
				std::vector<uint8_t> units(text.size() * width);
				for (size_t i = 0; i < text.size(); i++) {
					uint32_t c = uint32_t(text[i]);
					std::memcpy(units.data() + i * width, &c, width);  // little-endian units
				}
				std::vector<uint8_t> out(binary::decoded_room(b.base, text.size()) + 8);
				EXPECT_EQ(b.decode(out.data(), units.data(), uint32_t(text.size()), width), -1)
					<< "base " << b.base << " width " << width << " first code " << uint32_t(text[1]);
			}
		}
	}
	std::vector<uint8_t> out(16);
	const uint8_t latin1[] = {'4', 0xC1};  // one byte wide
	EXPECT_EQ(binary::decode_base16(out.data(), latin1, 2, 1), -1);
}

TEST(BinaryBase, LiteralBodiesRefuseLeftoverDigits) {
	struct Case {
		int32_t base;
		const char* body;
		int64_t count;  // -1: invalid
	} cases[] = {
		{16, "0A 0b", 2}, {16, "ABC", -1}, {16, "", 0}, {16, "01 ; comment }\n 02", 2},
		{64, "AQID", 3}, {64, "QQ==", 1}, {64, "QQ", -1}, {64, "QUJ", -1}, {64, "Q===", -1},
		{2, "00000001", 1}, {2, "0000 0001 1111 1111", 2}, {2, "0101", -1},
		{8, "1", -1}, {58, "12", -1},
	};
	for (const Case& c : cases) {
		std::string body(c.body);
		std::vector<uint8_t> out(binary::decoded_room(16, body.size()) + binary::decoded_room(64, body.size()) + 8);
		int64_t n = binary::decode_literal(out.data(), c.base, reinterpret_cast<const uint8_t*>(body.data()),
			uint32_t(body.size()));
		EXPECT_EQ(n, c.count) << c.base << "#{" << c.body << "}";
	}
}

}  // namespace
