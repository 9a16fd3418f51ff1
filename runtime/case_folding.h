// Case mapping of codepoints, for case-insensitive comparison and for the
// uppercase and lowercase natives.
//
// The data are the case mappings of Unicode 11.0 (runtime/case_tables.inc,
// written by scripts/gen_case_tables.py). Every codepoint maps to exactly one
// codepoint: where the full mapping is several, the first is kept (U+00DF up
// to U+0053, U+0130 down to U+0069), so changing case never changes a
// text's length. Title-case letters map both ways (U+01C5 up to U+01C4,
// down to U+01C6).
//
// Invariants: the direct tables cover 0-0xFFFF, an entry holding the mapped
// codepoint or 0 for one that maps to itself; they are filled once by
// init_case_tables, during boot, before anything compares names. Codepoints
// above 0xFFFF are looked up in short sorted pair lists.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace vyn::unicode {

struct CasePair {
	uint32_t code;
	uint32_t mapped;
};

struct CaseList {
	const CasePair* pairs;
	uint32_t count;
};

// The source pairs, sorted by code: lower to upper and upper to lower, for
// the BMP (loaded into the direct tables) and above it.
extern const CaseList upper_bmp, lower_bmp, upper_supplement, lower_supplement;

extern int32_t upper_table[0x10000];
extern int32_t lower_table[0x10000];

void init_case_tables();

// The mapping of a codepoint above 0xFFFF from the pair lists.
uint32_t supplement_case(uint32_t cp, bool upper);

// The upper-case (upper set) or lower-case mapping; a codepoint without
// one comes back unchanged.
inline uint32_t change_case(uint32_t cp, bool upper) {
	if (cp <= 0xFFFF) {
		int32_t mapped = (upper ? upper_table : lower_table)[cp];
		return mapped ? uint32_t(mapped) : cp;
	}
	return supplement_case(cp, upper);
}

inline uint32_t to_upper(uint32_t cp) { return change_case(cp, true); }

// The upper-case mapping when it differs, else the lower-case one.
inline uint32_t swap_case(uint32_t cp) {
	uint32_t up = to_upper(cp);
	return up != cp ? up : change_case(cp, false);
}

// Changes a char! value's codepoint, or a string-family value's units from
// its head, in place (widening the buffer when a mapping no longer fits);
// answers the value. `part` (null when absent) limits the units: an
// integer! count, or a position in the same series; a count beyond the
// units left is cut to them, a negative one changes nothing.
Cell* change_case_part(Cell* value, const Cell* part, bool upper);

}  // namespace vyn::unicode
