// Sorting the units of string-family values (and of binary! and vector!,
// which reuse this entry) in place, as records of /skip units.
//
// The comparators take the case flag in the first user word and the sort
// flags word (sorting.h) in the second. Without /case, width-1 text folds
// only the ASCII letters (to lower case), wider text folds both units
// through the upper-case mapping.
#include <algorithm>

#include "runtime/case_folding.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/string_args.h"
#include "runtime/sorting.h"

namespace vyn::string {

namespace {

inline int32_t order(uint32_t a, uint32_t b) { return (a > b) - (a < b); }

inline uint32_t ascii_lower(uint32_t c) { return c - 'A' < 26 ? c + 32 : c; }

template <typename U>
int32_t sort_compare(const void* a, const void* b, uint32_t case_sensitive, uint32_t flags) {
	return sorting::compare_record(a, b, flags, sizeof(U), [case_sensitive](const void* x, const void* y) {
		U ux, uy;
		std::memcpy(&ux, x, sizeof(U));
		std::memcpy(&uy, y, sizeof(U));
		uint32_t p = ux, q = uy;
		if (!case_sensitive) {
			if (sizeof(U) == 1) {
				p = ascii_lower(p);
				q = ascii_lower(q);
			} else {
				p = unicode::to_upper(p);
				q = unicode::to_upper(q);
			}
		}
		return order(p, q);
	});
}

template <typename F>
int32_t float_compare(const void* a, const void* b, uint32_t, uint32_t flags) {
	return sorting::compare_record(a, b, flags, sizeof(F), [](const void* x, const void* y) {
		F fx, fy;
		std::memcpy(&fx, x, sizeof(F));
		std::memcpy(&fy, y, sizeof(F));
		return int32_t(fx > fy) - int32_t(fx < fy);
	});
}

}  // namespace

int32_t sort_compare_1(const void* a, const void* b, uint32_t c, uint32_t f) { return sort_compare<uint8_t>(a, b, c, f); }
int32_t sort_compare_2(const void* a, const void* b, uint32_t c, uint32_t f) { return sort_compare<uint16_t>(a, b, c, f); }
int32_t sort_compare_4(const void* a, const void* b, uint32_t c, uint32_t f) { return sort_compare<uint32_t>(a, b, c, f); }
int32_t sort_compare_f32(const void* a, const void* b, uint32_t c, uint32_t f) { return float_compare<float>(a, b, c, f); }
int32_t sort_compare_f64(const void* a, const void* b, uint32_t c, uint32_t f) { return float_compare<double>(a, b, c, f); }

Cell* sort(Cell* series, bool case_sensitive, const Cell* skip, const Cell* compare, const Cell* part, bool all,
	bool reverse, bool stable) {
	int64_t head = clamp_head(series);
	int64_t count = int64_t(abs_length(series)) - head;
	if (part) {
		int64_t n = args::part_count(series, part);
		if (n < 0) {
			n = std::max<int64_t>(n, -head);
			head += n;
			series->data1 = uint32_t(head);
			count = -n;
		} else if (n < count) {
			count = n;
		}
	}
	int64_t size = 1;
	if (skip) {
		if (!cell::is(skip, T_INTEGER)) args::invalid_refine("skip", skip);
		size = cell::get_integer(skip);
		if (size < 1 || count % size || count < size) args::invalid_refine("skip", skip);
	}
	if (all && !skip) errors::fire(errors::id::script_bad_refines);
	uint32_t flags = sorting::make_flags(reverse, false, 0);
	if (compare) {
		if (cell::is(compare, T_FUNCTION)) errors::fire(errors::id::internal_not_done);
		if (!cell::is(compare, T_INTEGER)) args::invalid_refine("compare", compare);
		if (!skip || all) errors::fire(errors::id::script_bad_refines);
		int32_t field = cell::get_integer(compare);
		if (field < 1 || field > size) errors::fire(errors::id::script_out_of_range, compare);
		flags |= sorting::make_flags(false, false, uint32_t(field - 1));
	} else if (all) {
		flags |= sorting::make_flags(false, true, uint32_t(size));
	}
	if (count < 2 * size) return series;
	Series* s = memory::buffer_of(series);
	uint32_t width = s->unit();
	sorting::Comparator comparator;
	bool exact = case_sensitive || cell::is(series, T_VECTOR) || cell::is(series, T_BINARY);
	if (cell::is(series, T_VECTOR) && (series->data3 == T_FLOAT || series->data3 == T_PERCENT))
		comparator = width == 8 ? sort_compare_f64 : sort_compare_f32;
	else
		comparator = width == 1 ? sort_compare_1 : width == 2 ? sort_compare_2 : sort_compare_4;
	uint32_t records = uint32_t(count / size);
	int32_t bytes = int32_t(size * width);
	notify(series, "sort", uint32_t(head), uint32_t(count));
	uint8_t* first = s->head_ptr() + size_t(head) * width;
	// Equal units under an exact comparison are identical: only a folding
	// sort can show stability.
	if (stable && !exact)
		sorting::merge_sort(first, int32_t(records), bytes, exact, flags, comparator);
	else
		sorting::quick_sort(first, int32_t(records), bytes, exact, flags, comparator);
	notify(series, "sorted", uint32_t(head), uint32_t(count));
	return series;
}

}  // namespace vyn::string
