#include "runtime/datatypes/binary.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/datatypes/bitset.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/string.h"
#include "tests/unit/extended_support.h"
#include "tests/unit/scalar_support.h"

using namespace vyn;
using test::BIN;
using test::S;

namespace {

class Binary : public test::ValueTest {
protected:
	void SetUp() override {
		ValueTest::SetUp();
		series::init_type();
		string::init_type();
		binary::init_type();
	}
};

std::vector<uint8_t> bytes_of(const Cell& value) {
	const uint8_t* at = binary::vs_head(&value);
	return {at, at + binary::vs_length(&value)};
}

Cell at(Cell value, uint32_t head) {
	value.data1 = head;
	return value;
}

TEST_F(Binary, CompareBytesUnderEachCode) {
	Cell a = BIN({1, 2, 3});
	struct Case {
		Cell left, right;
		CompareOp op;
		bool prefix;
		int32_t want;
	} cases[] = {
		{a, a, COMP_SAME, false, 0},
		{a, at(a, 1), COMP_SAME, false, -1},
		{a, BIN({1, 2, 3}), COMP_SAME, false, -1},
		{a, BIN({1, 2, 3}), COMP_EQUAL, false, 0},
		{a, BIN({1, 2}), COMP_EQUAL, false, 1},      // lengths differ: unequal
		{BIN({1, 2}), a, COMP_NOT_EQUAL, false, 1},
		{a, BIN({1, 2}), COMP_LESSER, false, 1},     // a longer value after its prefix
		{BIN({0x7F}), BIN({0x80}), COMP_LESSER, false, -1},  // bytes are unsigned
		{BIN({2}), BIN({1, 9}), COMP_GREATER, false, 1},
		{at(a, 9), BIN({}), COMP_EQUAL, false, 0},   // a head past the tail reads as empty
		{a, BIN({1, 2}), COMP_EQUAL, true, 0},       // prefix mode: only the right length counts
		{a, BIN({1, 3}), COMP_EQUAL, true, -1},  // the first differing byte decides
		{a, BIN({}), COMP_FIND_SELECT, true, 0},
		{a, S("abc"), COMP_EQUAL, false, COMPARE_UNRELATED},
	};
	for (const Case& c : cases)
		EXPECT_EQ(binary::compare_bytes(&c.left, &c.right, c.op, c.prefix), c.want)
			<< "op " << c.op << " prefix " << c.prefix;
}

TEST_F(Binary, MatchAtReadsTextsAsUtf8) {
	Cell text = S("\u00e9\u20ac");  // a width-2 string
	Cell ch;
	cell::set(&ch, T_CHAR, 0, 0xC3);
	const uint8_t input[] = {0xC3, 0xA9, 0xE2, 0x82, 0xAC, 0x00};
	struct Case {
		Cell value;
		uint32_t room;
		int64_t want;
	} cases[] = {
		{text, 6, 5}, {text, 4, -1},  // cut short by the room
		{S("\u00e9"), 6, 2}, {S(""), 0, 0},
		{BIN({0xC3, 0xA9}), 6, 2}, {BIN({0xA9}), 6, -1}, {BIN({}), 0, 0},
		{ch, 6, 1}, {ch, 0, -1},
		{test::integer(0xC3), 6, -1},  // numbers are not byte sequences here
	};
	for (const Case& c : cases) EXPECT_EQ(binary::match_at(input, c.room, &c.value), c.want) << c.room;
}

TEST_F(Binary, MatchBitsetReadsBitsFromTheTop) {
	Cell set;
	bitset::make_at(&set, 2, false);
	memory::buffer_of(&set)->head_ptr()[1] = 0x40;  // member 9
	struct Case {
		uint8_t byte;
		bool complemented, want;
	} cases[] = {{9, false, true}, {8, false, false}, {14, false, false}, {200, false, false}, {200, true, true}};
	for (const Case& c : cases) {
		Cell s = set;
		if (c.complemented) memory::buffer_of(&s)->flags |= bitset::COMPLEMENT;
		Cell b = BIN({c.byte});
		EXPECT_EQ(binary::match_bitset(&b, &s), c.want) << int(c.byte);
		memory::buffer_of(&s)->flags &= ~bitset::COMPLEMENT;
	}
}

std::string molded(uint32_t count, bool flat, int32_t part, int32_t indent, bool only = false) {
	std::vector<uint8_t> bytes(count, 0xAB);
	Cell out;
	string::make_at(&out, 16);
	binary::mold_bytes(bytes.data(), count, &out, only, flat, part, indent);
	return test::utf8_of(&out);
}

TEST_F(Binary, MoldLaysOutLongValuesAtTheirIndentation) {
	std::string line(64, 'A');
	for (size_t i = 1; i < line.size(); i += 2) line[i] = 'B';
	struct Case {
		uint32_t count;
		bool flat;
		int32_t part, indent;
		std::string want;
	} cases[] = {
		{0, false, 1000, 0, "#{}"},
		{30, false, 1000, 2, "#{" + line.substr(0, 60) + "}"},
		{31, false, 1000, 1, "#{\n        " + line.substr(0, 62) + "\n    }"},
		{32, false, 1000, 0, "#{\n    " + line + "\n}"},
		{33, false, 1000, 0, "#{\n    " + line + "\n    AB\n}"},
		{33, true, 1000, 3, "#{" + line + "AB}"},
		{3, false, 5, 0, "#{ABAB"},  // whole pieces until the limit is spent; callers cut
	};
	for (const Case& c : cases) EXPECT_EQ(molded(c.count, c.flat, c.part, c.indent), c.want) << c.count;
	EXPECT_EQ(molded(2, false, 1000, 0, true), "ABAB");
}

TEST_F(Binary, MoldChargesEveryCharacterAgainstThePart) {
	std::vector<uint8_t> bytes(40, 1);
	Cell out;
	string::make_at(&out, 16);
	int32_t left = binary::mold_bytes(bytes.data(), 40, &out, false, false, 1000, 0);
	EXPECT_EQ(1000 - left, int32_t(string::vs_length(&out)));
}

TEST_F(Binary, AppendAndInsertBytesKeepWhatIsThere) {
	Cell b;
	binary::make_at(&b, 1);
	std::vector<uint8_t> want;
	// Enough appends to grow the buffer several times.
	for (uint32_t i = 0; i < 5000; i++) {
		uint8_t byte = uint8_t(i * 7);
		binary::append_bytes(&b, &byte, 1);
		want.push_back(byte);
	}
	b.data1 = 10;
	const uint8_t mid[] = {0xEE, 0xFF};
	binary::insert_bytes(&b, 5, mid, 2);
	want.insert(want.begin() + 15, {0xEE, 0xFF});
	b.data1 = 0;
	EXPECT_EQ(bytes_of(b), want);
}

TEST_F(Binary, LoadInAppendsACopyToABlock) {
	Cell block = test::BLOCK({});
	uint8_t source[] = {1, 2, 3};
	Cell* made = binary::load_in(source, 3, &block);
	source[0] = 9;
	EXPECT_EQ(bytes_of(*made), (std::vector<uint8_t>{1, 2, 3}));
	EXPECT_EQ(series::buffer_length(&block), 1u);
}

// A block holding the binary it is inserted into: every copy reads the
// bytes as they were before the insertion, also when the buffer grows.
TEST_F(Binary, InsertingABlockThatHoldsTheTargetReadsASnapshot) {
	Cell b = BIN({1, 2});
	Cell block = test::BLOCK({b, test::integer(9), b});
	Cell target = at(b, 1);
	binary::insert(&target, &block, -1, false, 2, false);
	EXPECT_EQ(bytes_of(at(b, 0)), (std::vector<uint8_t>{1, 1, 2, 9, 1, 2, 1, 2, 9, 1, 2, 2}));
	EXPECT_EQ(target.data1, 11u);
}

TEST_F(Binary, ChangeWithItselfReadsASnapshot) {
	struct Case {
		std::vector<uint8_t> start;
		uint32_t head, from;  // the series' head and the value's head
		int32_t part;
		std::vector<uint8_t> want;
	} cases[] = {
		{{1, 2, 3}, 1, 0, -1, {1, 1, 2, 3}},
		{{1, 2, 3, 4}, 0, 1, 2, {2, 3, 4, 3, 4}},
		{{1, 2, 3, 4}, 2, 0, 1, {1, 2, 1, 2, 3, 4, 4}},
	};
	for (const Case& c : cases) {
		Node n = memory::alloc_bytes(uint32_t(c.start.size()));
		Series* s = memory::series(n);
		std::memcpy(s->head_ptr(), c.start.data(), c.start.size());
		s->tail = s->head + uint32_t(c.start.size());
		Cell series, value;
		cell::set(&series, T_BINARY, c.head, n);
		cell::set(&value, T_BINARY, c.from, n);
		binary::change(&series, &value, c.part, false, 1);
		EXPECT_EQ(bytes_of(at(series, 0)), c.want) << c.head << " " << c.from;
	}
}

}  // namespace
