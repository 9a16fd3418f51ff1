#include "runtime/display_width.h"

#include <algorithm>
#include <iterator>

namespace vyn::display_width {

namespace {

#include "runtime/display_width_tables.inc"

bool in_table(uint32_t cp, const RangeTable& t) { return in_ranges(cp, t.ranges, t.count); }

}  // namespace

const RangeTable zero_width{zero_width_ranges, uint32_t(std::size(zero_width_ranges))};
const RangeTable wide{wide_ranges, uint32_t(std::size(wide_ranges))};
const RangeTable ambiguous{ambiguous_ranges, uint32_t(std::size(ambiguous_ranges))};

bool in_ranges(uint32_t cp, const Range* table, uint32_t count) {
	if (count == 0 || cp < table[0].first || cp > table[count - 1].last) return false;
	// The first range that ends at or after cp is the only one that can hold it.
	const Range* r = std::lower_bound(table, table + count, cp,
		[](const Range& range, uint32_t c) { return range.last < c; });
	return cp >= r->first;
}

int width(uint32_t cp) {
	if (cp == 0) return 0;
	if (cp < 0x20 || (cp >= 0x7F && cp <= 0x9F)) return 1;
	if (in_table(cp, zero_width)) return 0;
	if (in_table(cp, wide)) return 2;
	return 1;
}

int east_asian_width(uint32_t cp) { return in_table(cp, ambiguous) ? 2 : width(cp); }

}  // namespace vyn::display_width
