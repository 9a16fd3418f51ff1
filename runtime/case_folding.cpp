#include "runtime/case_folding.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "runtime/datatypes/series.h"
#include "runtime/errors.h"
#include "runtime/memory.h"
#include "runtime/unicode.h"
#include "runtime/words.h"

namespace vyn::unicode {

namespace {

#include "runtime/case_tables.inc"

bool any_string(const Cell* value) {
	switch (cell::type_of(value)) {
	case T_STRING: case T_FILE: case T_URL: case T_TAG: case T_EMAIL: case T_REF: return true;
	default: return false;
	}
}

// Maps units [i, stop) of type T in place; stops at the first unit whose
// mapping does not fit T and answers its index (stop when all were done).
template <typename T>
uint32_t map_units(Series* s, uint32_t i, uint32_t stop, bool upper) {
	uint8_t* base = s->head_ptr();
	for (; i < stop; i++) {
		T u;
		std::memcpy(&u, base + size_t(i) * sizeof(T), sizeof u);
		uint32_t mapped = change_case(u, upper);
		if (mapped == u) continue;
		if (mapped > T(~T(0))) return i;
		T v = T(mapped);
		std::memcpy(base + size_t(i) * sizeof(T), &v, sizeof v);
	}
	return stop;
}

uint32_t map_at_width(Series* s, uint32_t i, uint32_t stop, bool upper) {
	switch (s->unit()) {
	case 1: return map_units<uint8_t>(s, i, stop, upper);
	case 2: return map_units<uint16_t>(s, i, stop, upper);
	case 4: return map_units<uint32_t>(s, i, stop, upper);
	default: bad_width(s->unit());
	}
}

// The units that /part selects from `head`, `left` units remaining.
uint32_t part_count(const Cell* value, const Cell* part, uint32_t head, uint32_t left) {
	int64_t count;
	if (cell::is(part, T_INTEGER))
		count = cell::get_integer(part);
	else if (cell::type_of(part) == cell::type_of(value) && part->data2 == value->data2)
		count = int64_t(part->data1) - head;
	else
		errors::fire(errors::id::script_invalid_refine_arg, nullptr, part);
	return uint32_t(std::clamp<int64_t>(count, 0, left));
}

}  // namespace

const CaseList upper_bmp{upper_bmp_pairs, uint32_t(std::size(upper_bmp_pairs))};
const CaseList lower_bmp{lower_bmp_pairs, uint32_t(std::size(lower_bmp_pairs))};
const CaseList upper_supplement{upper_supplement_pairs, uint32_t(std::size(upper_supplement_pairs))};
const CaseList lower_supplement{lower_supplement_pairs, uint32_t(std::size(lower_supplement_pairs))};

int32_t upper_table[0x10000];
int32_t lower_table[0x10000];

void init_case_tables() {
	// Static tables are zero when the process starts, and the pairs never
	// change: setting the mapped entries alone leaves most of the 512 KB
	// untouched, which start-up would otherwise fault in page by page.
	for (const CasePair& p : upper_bmp_pairs) upper_table[p.code] = int32_t(p.mapped);
	for (const CasePair& p : lower_bmp_pairs) lower_table[p.code] = int32_t(p.mapped);
}

uint32_t supplement_case(uint32_t cp, bool upper) {
	const CaseList& list = upper ? upper_supplement : lower_supplement;
	const CasePair* end = list.pairs + list.count;
	const CasePair* found = std::lower_bound(list.pairs, end, cp,
		[](const CasePair& p, uint32_t code) { return p.code < code; });
	return found != end && found->code == cp ? found->mapped : cp;
}

Cell* change_case_part(Cell* value, const Cell* part, bool upper) {
	if (cell::is(value, T_CHAR)) {
		value->data2 = change_case(value->data2, upper);
		return value;
	}
	if (!any_string(value)) return value;
	uint32_t head = clamp_head(value);
	Series* s = memory::buffer_of(value);
	uint32_t left = unit_count(s) - head;
	uint32_t stop = head + (part ? part_count(value, part, head, left) : left);
	uint32_t i = head;
	while ((i = map_at_width(s, i, stop, upper)) < stop) {
		// The mapping needs a wider buffer: store it widened, go on at the new width.
		s = store(s, i, change_case(get_unit(unit_at(s, i), s->unit()), upper));
		i++;
	}
	series::notify(value, upper ? words::w_uppercase : words::w_lowercase, head, stop - head);
	return value;
}

}  // namespace vyn::unicode
