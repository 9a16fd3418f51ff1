#include "runtime/display_width.h"

#include <gtest/gtest.h>

using namespace vyn;

TEST(DisplayWidth, ColumnsOfEachKindOfCodepoint) {
	struct Case {
		uint32_t cp;
		int width, east_asian;
	} cases[] = {
		{0x0000, 0, 0},
		{0x0007, 1, 1},      // controls count one column
		{0x007F, 1, 1},
		{0x009F, 1, 1},
		{0x0041, 1, 1},
		{0x00A1, 1, 2},      // ambiguous
		{0x00AD, 1, 2},      // soft hyphen is shown, and ambiguous
		{0x0300, 0, 0},      // combining marks stay zero in East Asian contexts
		{0x200B, 0, 0},
		{0xE0100, 0, 0},
		{0x1100, 2, 2},
		{0x4E00, 2, 2},
		{0xFF01, 2, 2},
		{0x1F600, 2, 2},
		{0x1F971, 1, 1},     // encoded after 11.0
		{0x20000, 2, 2},
		{0x3FFFD, 2, 2},     // unassigned, wide by default
		{0x3FFFE, 1, 1},
		{0xE000, 1, 2},      // private use is ambiguous
		{0x10FFFD, 1, 2},
		{0x10FFFF, 1, 1},
	};
	for (const Case& c : cases) {
		EXPECT_EQ(display_width::width(c.cp), c.width) << std::hex << c.cp;
		EXPECT_EQ(display_width::east_asian_width(c.cp), c.east_asian) << std::hex << c.cp;
	}
}

TEST(DisplayWidth, TablesAreSortedDisjointAndSpanTheExpectedRanges) {
	struct Case {
		const display_width::RangeTable& table;
		uint32_t first, last;
	} cases[] = {
		{display_width::zero_width, 0x0300, 0xE01EF},
		{display_width::wide, 0x1100, 0x3FFFD},
		{display_width::ambiguous, 0x00A1, 0x10FFFD},
	};
	for (const Case& c : cases) {
		ASSERT_GT(c.table.count, 0u);
		EXPECT_EQ(c.table.ranges[0].first, c.first);
		EXPECT_EQ(c.table.ranges[c.table.count - 1].last, c.last);
		for (uint32_t i = 0; i < c.table.count; i++) {
			const display_width::Range& r = c.table.ranges[i];
			EXPECT_LE(r.first, r.last);
			if (i > 0) {
				EXPECT_GT(r.first, c.table.ranges[i - 1].last + 1) << "ranges merged";
			}
			// Both ends and the gaps around a range are found as they should be.
			EXPECT_TRUE(display_width::in_ranges(r.first, c.table.ranges, c.table.count));
			EXPECT_TRUE(display_width::in_ranges(r.last, c.table.ranges, c.table.count));
			EXPECT_FALSE(display_width::in_ranges(r.last + 1, c.table.ranges, c.table.count));
			EXPECT_FALSE(display_width::in_ranges(r.first - 1, c.table.ranges, c.table.count));
		}
	}
	EXPECT_FALSE(display_width::in_ranges(0x4E00, nullptr, 0));
}
