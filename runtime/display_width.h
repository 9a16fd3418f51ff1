// Columns a codepoint takes on a terminal, from Unicode 11.0 data
// (runtime/display_width_tables.inc, written by scripts/gen_width_tables.py).
//
// Three sorted tables of inclusive, disjoint ranges: zero width
// (non-spacing, enclosing and format characters), wide (East Asian Wide and
// Fullwidth) and ambiguous (East Asian Ambiguous, private use included).
#pragma once

#include <cstdint>

namespace vyn::display_width {

struct Range {
	uint32_t first;
	uint32_t last;
};

struct RangeTable {
	const Range* ranges;
	uint32_t count;
};

extern const RangeTable zero_width, wide, ambiguous;

// Whether cp lies in one of the table's ranges.
bool in_ranges(uint32_t cp, const Range* table, uint32_t count);

// 0 for U+0000, 1 for the other control characters, 0 for zero-width
// characters, 2 for wide ones, else 1.
int width(uint32_t cp);

// As width, but 2 for the ambiguous characters (East Asian contexts).
int east_asian_width(uint32_t cp);

}  // namespace vyn::display_width
