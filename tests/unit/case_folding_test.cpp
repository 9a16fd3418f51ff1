#include "runtime/case_folding.h"

#include <gtest/gtest.h>

#include "tests/unit/text_support.h"

using namespace vyn;
using namespace vyn::test;

namespace {

class CaseFolding : public TextTest {
protected:
	void SetUp() override {
		TextTest::SetUp();
		unicode::init_case_tables();
	}
};

Cell integer(int32_t n) {
	Cell c;
	cell::make_integer(&c, n);
	return c;
}

}  // namespace

TEST_F(CaseFolding, SourceListsHaveTheUnicode11SimpleMappingSizesAndAreSorted) {
	struct Case {
		const unicode::CaseList& list;
		uint32_t count;
		uint32_t low, high;
	} cases[] = {
		{unicode::upper_bmp, 1175, 0, 0xFFFF},
		{unicode::lower_bmp, 1158, 0, 0xFFFF},
		{unicode::upper_supplement, 225, 0x10000, 0x10FFFF},
		{unicode::lower_supplement, 225, 0x10000, 0x10FFFF},
	};
	for (const Case& c : cases) {
		EXPECT_EQ(c.list.count, c.count);
		for (uint32_t i = 0; i < c.list.count; i++) {
			const unicode::CasePair& p = c.list.pairs[i];
			EXPECT_GE(p.code, c.low);
			EXPECT_LE(p.code, c.high);
			EXPECT_NE(p.code, p.mapped);
			if (i > 0) {
				EXPECT_LT(c.list.pairs[i - 1].code, p.code);
			}
		}
	}
}

TEST_F(CaseFolding, MapsEachCodepointToOneCodepoint) {
	struct Case {
		uint32_t cp, upper, lower;
	} cases[] = {
		{'a', 'A', 'a'},
		{'Z', 'Z', 'z'},
		{'5', '5', '5'},
		{0x00FF, 0x0178, 0x00FF},   // ÿ
		{0x0178, 0x0178, 0x00FF},   // Ÿ
		{0x0130, 0x0130, 0x0069},   // İ
		{0x0131, 0x0049, 0x0131},   // ı
		{0x00DF, 0x00DF, 0x00DF},   // ß: its upper case "SS" is two codepoints
		{0x00B5, 0x039C, 0x00B5},   // µ
		{0x0149, 0x0149, 0x0149},
		{0xFB00, 0xFB00, 0xFB00},
		{0x1F80, 0x1F88, 0x1F80},   // the simple mapping, to the title-case letter
		{0x01C5, 0x01C4, 0x01C6},   // title case maps both ways
		{0x10D0, 0x1C90, 0x10D0},   // Georgian Mtavruli, new in 11.0
		{0xA7C3, 0xA7C3, 0xA7C3},   // encoded after 11.0: no mapping
		{0x4E2D, 0x4E2D, 0x4E2D},
		{0x10428, 0x10400, 0x10428},  // Deseret
		{0x10400, 0x10400, 0x10428},
		{0x1E943, 0x1E921, 0x1E943},  // Adlam
		{0x1E921, 0x1E921, 0x1E943},
		{0x1E900, 0x1E900, 0x1E922},
		{0x16E60, 0x16E40, 0x16E60},  // Medefaidrin
		{0x10FFFF, 0x10FFFF, 0x10FFFF},
		{0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF},
	};
	for (const Case& c : cases) {
		EXPECT_EQ(unicode::change_case(c.cp, true), c.upper) << std::hex << c.cp;
		EXPECT_EQ(unicode::to_upper(c.cp), c.upper) << std::hex << c.cp;
		EXPECT_EQ(unicode::change_case(c.cp, false), c.lower) << std::hex << c.cp;
	}
}

TEST_F(CaseFolding, SwapCasePrefersTheUpperMapping) {
	struct Case {
		uint32_t cp, swapped;
	} cases[] = {{'a', 'A'}, {'A', 'a'}, {'1', '1'}, {0x01C5, 0x01C4}, {0x1E921, 0x1E943}, {0x00DF, 0x00DF}};
	for (const Case& c : cases) EXPECT_EQ(unicode::swap_case(c.cp), c.swapped) << std::hex << c.cp;
}

TEST_F(CaseFolding, ChangesStringsInPlaceWideningWhenNeeded) {
	struct Case {
		std::u32string text;
		uint32_t width;
		uint32_t head;
		bool upper;
		std::u32string want;
		uint32_t want_width;
	} cases[] = {
		{U"stra\u00DFe", 1, 0, true, U"STRA\u00DFE", 1},
		{U"\u00FF", 1, 0, true, U"\u0178", 2},
		{U"a\u00FFb\u00B5c", 1, 0, true, U"A\u0178B\u039CC", 2},
		{U"\u0130X", 2, 0, false, U"ix", 2},
		{U"\u0131", 2, 0, true, U"I", 2},
		{U"abc", 1, 1, true, U"aBC", 1},
		{U"abc", 1, 7, true, U"abc", 1},  // head past the tail
		{U"\U00010428\U0001E943z", 4, 0, true, U"\U00010400\U0001E921Z", 4},
		{U"\U0001E900", 4, 0, false, U"\U0001E922", 4},
		{U"1\u4E2D", 2, 0, true, U"1\u4E2D", 2},
	};
	for (const Case& c : cases) {
		Cell v = make_string(c.text, c.width);
		v.data1 = c.head;
		EXPECT_EQ(unicode::change_case_part(&v, nullptr, c.upper), &v);
		EXPECT_EQ(text_of(v.data2), c.want);
		EXPECT_EQ(memory::buffer_of(&v)->unit(), c.want_width);
	}
}

TEST_F(CaseFolding, PartLimitsTheUnitsChanged) {
	struct Case {
		int32_t count;
		std::u32string want;
	} cases[] = {{2, U"ABcd"}, {0, U"abcd"}, {-3, U"abcd"}, {100, U"ABCD"}};
	for (const Case& c : cases) {
		Cell v = make_string(U"abcd", 1);
		Cell part = integer(c.count);
		unicode::change_case_part(&v, &part, true);
		EXPECT_EQ(text_of(v.data2), c.want) << c.count;
	}
	Cell v = make_string(U"abcdef", 1);
	v.data1 = 1;
	Cell position = v;
	position.data1 = 4;
	unicode::change_case_part(&v, &position, true);
	EXPECT_EQ(text_of(v.data2), U"aBCDef");
}

TEST_F(CaseFolding, PartOutsideTheSameSeriesIsRefused) {
	const uint32_t INVALID_REFINE_ARG = errors::id::script_invalid_refine_arg.code();
	Cell v = make_string(U"abc", 1);
	Cell other = make_string(U"abc", 1);
	Cell same_buffer_other_type = v;
	cell::set_type(&same_buffer_other_type, T_FILE);
	Cell none;
	cell::make_none(&none);
	for (const Cell& part : {other, same_buffer_other_type, none}) {
		EXPECT_EQ(raised([&] { unicode::change_case_part(&v, &part, true); }), INVALID_REFINE_ARG);
		EXPECT_EQ(text_of(v.data2), U"abc");
	}
}

TEST_F(CaseFolding, CharValueChangesItsCodepoint) {
	struct Case {
		uint32_t cp;
		bool upper;
		uint32_t want;
	} cases[] = {{0x00DF, true, 0x00DF}, {0x00E9, true, 0x00C9}, {0x0130, false, 'i'}, {0x10428, true, 0x10400}, {'7', true, '7'}};
	for (const Case& c : cases) {
		Cell ch;
		cell::set(&ch, T_CHAR, 0, c.cp);
		unicode::change_case_part(&ch, nullptr, c.upper);
		EXPECT_EQ(ch.data2, c.want);
		EXPECT_TRUE(cell::is(&ch, T_CHAR));
	}
}
