// In-place sorting of arrays of fixed-size records through a comparator.
//
// Records are byte ranges of `size` bytes (16 × k for cells, 1, 2 or 4 for
// text units); all ordering comes from the comparator, which answers < 0 when
// record a orders before b, 0 when they are equal, > 0 when a orders after b.
// The two user words are passed through to it untouched: block and string
// sorts pass the comparison code (or the data-stack index of a comparator
// function) and the sort flags word below.
//
//  - merge_sort is stable. It needs scratch for (count / 2) records.
//  - quick_sort is not stable and allocates nothing. Sorted, reversed and
//    nearly sorted inputs are recognised in O(count) comparisons.
//
// Both only exchange and copy whole records. Whenever the comparator runs,
// the records area holds a permutation of the input, except inside a merge,
// where some records wait in the scratch area; if the comparator leaves by a
// C++ exception, the waiting records are put back first, so the area is left
// a permutation of the input and the exception goes on.
//
// Comparators that evaluate code. A collection may then run inside a
// comparator call and move the records' buffer, and the evaluation may end in
// a break or other exit left in errors::pending. Such a sort passes a Moving:
//  - after every comparator call the sort asks `records` for the current
//    address of the first record (and `scratch` for the scratch area's), so it
//    keeps no address across a call; the caller must keep the count of records
//    in place for the whole sort (the records callback typically reads the
//    series' node and head);
//  - the comparator receives record addresses that are valid when it is
//    called: it must copy what it needs (onto the data stack) before it
//    evaluates anything;
//  - when errors::pending is set after a call the sort stops at once and
//    returns, the area a permutation of the input: the caller checks
//    errors::unwinding() as after any evaluation and propagates the exit;
//  - records that wait in merge_sort's scratch are invisible to the collector
//    unless the scratch lies in memory it marks: such a caller gives
//    `scratch`, which answers an area of at least (count / 2) × size bytes
//    that the collector sees (a block it roots), and the sort uses it instead
//    of allocating. Every byte the sort writes there is a copy of a record.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vyn::sorting {

using Comparator = int32_t (*)(const void* a, const void* b, uint32_t u1, uint32_t u2);

struct Moving {
	void* (*records)(void* context);  // current address of the first record
	void* (*scratch)(void* context);  // current address of merge scratch, or null
	void* context;
};

// Stable. A scratch size ((count / 2) × size bytes) that does not fit in 32
// bits raises script too-long; an allocation failure raises internal no-memory.
void merge_sort(void* base, int32_t count, int32_t size, uint32_t u1, uint32_t u2,
	Comparator compare, const Moving* moving = nullptr);

// Unstable; allocates nothing.
void quick_sort(void* base, int32_t count, int32_t size, uint32_t u1, uint32_t u2,
	Comparator compare, const Moving* moving = nullptr);

// The sort flags word, shared by the record comparators of block and string
// sorting: bit 0 exchanges the two records before comparing (/reverse), bit 1
// compares whole records; the bits from 2 up hold the record length in fields
// (whole records) or the offset of the compared field.
constexpr uint32_t FLAG_REVERSE = 1u;
constexpr uint32_t FLAG_WHOLE = 2u;
constexpr uint32_t FLAG_AMOUNT_SHIFT = 2;

constexpr uint32_t make_flags(bool reverse, bool whole, uint32_t amount) {
	return (reverse ? FLAG_REVERSE : 0u) | (whole ? FLAG_WHOLE : 0u) | (amount << FLAG_AMOUNT_SHIFT);
}
constexpr bool reversed(uint32_t flags) { return (flags & FLAG_REVERSE) != 0; }
constexpr bool whole(uint32_t flags) { return (flags & FLAG_WHOLE) != 0; }
constexpr uint32_t amount(uint32_t flags) { return flags >> FLAG_AMOUNT_SHIFT; }

// Compares records a and b as the flags word says, fields of `width` bytes
// each compared by field(field of a, field of b): with FLAG_WHOLE the first
// nonzero answer over the record's fields, else the answer for the one field
// at the offset.
template <class Field>
inline int32_t compare_record(const void* a, const void* b, uint32_t flags, size_t width, Field&& field) {
	auto pa = static_cast<const unsigned char*>(a);
	auto pb = static_cast<const unsigned char*>(b);
	if (reversed(flags)) {
		auto t = pa;
		pa = pb;
		pb = t;
	}
	size_t n = amount(flags);
	if (!whole(flags)) return field(pa + n * width, pb + n * width);
	for (size_t i = 0; i < n; i++) {
		int32_t r = field(pa + i * width, pb + i * width);
		if (r != 0) return r;
	}
	return 0;
}

}  // namespace vyn::sorting
