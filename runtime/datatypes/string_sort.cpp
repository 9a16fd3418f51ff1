// Sorting the units of string-family values (and of binary! and vector!,
// which reuse this entry) in place, as records of /skip units.
//
// The comparators take the case flag in the first user word and the sort
// flags word (sorting.h) in the second. Without /case, width-1 text folds
// only the ASCII letters (to lower case), wider text folds both units
// through the upper-case mapping.
//
// A comparator function gets two chars (integers for a binary!, elements
// for a vector!) or, for whole records, two strings holding copies of the
// records; its answer orders them as it orders block records
// (block::compare_call).
#include <algorithm>
#include <vector>

#include "runtime/case_folding.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/string.h"
#include "runtime/evaluator/stack.h"
#include "runtime/sorting.h"
#include "runtime/utf8.h"
#include "runtime/words.h"

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

// Vector elements by value: signed integers and floats.
template <typename N>
int32_t number_compare(const void* a, const void* b, uint32_t, uint32_t flags) {
	return sorting::compare_record(a, b, flags, sizeof(N), [](const void* x, const void* y) {
		N nx, ny;
		std::memcpy(&nx, x, sizeof(N));
		std::memcpy(&ny, y, sizeof(N));
		return int32_t(nx > ny) - int32_t(nx < ny);
	});
}

// The frame of a sort by function on the data stack: the function, the
// series, and two strings the records are copied into.
enum FrameCell : uint32_t { FUNCTION = 0, SERIES, FIRST, SECOND };

void element(Cell* frame, const uint8_t* at, Cell* out) {
	Cell* series = frame + SERIES;
	switch (cell::type_of(series)) {
	case T_VECTOR: {
		Cell* pushed = series::vector_hooks.push_value(series, at);
		*out = *pushed;
		stack::pop(1);
		return;
	}
	case T_BINARY: cell::make_integer(out, *at); return;
	default: cell::set(out, T_CHAR, 0, unicode::get_unit(at, width_of(series))); return;
	}
}

void record(Cell* holder, const uint8_t* at, uint32_t bytes) {
	Series* s = memory::buffer_of(holder);
	std::memcpy(s->head_ptr(), at, bytes);
	s->tail = s->head + bytes;
}

int32_t compare_call(const void* a, const void* b, uint32_t index, uint32_t flags) {
	Cell* frame = stack::at(index);
	Cell x, y;
	if (sorting::whole(flags)) {
		uint32_t bytes = sorting::amount(flags) * width_of(frame + SERIES);
		record(frame + FIRST, static_cast<const uint8_t*>(a), bytes);
		record(frame + SECOND, static_cast<const uint8_t*>(b), bytes);
		x = frame[FIRST];
		y = frame[SECOND];
	} else {
		element(frame, static_cast<const uint8_t*>(a), &x);
		element(frame, static_cast<const uint8_t*>(b), &y);
	}
	return block::compare_call(&x, &y, index, flags & sorting::FLAG_REVERSE);
}

struct Place {
	Node node;
	uint32_t head;
};

void* records_of(void* context) {
	auto* p = static_cast<Place*>(context);
	return series::unit_at(memory::series(p->node), p->head);
}

// Sorts `records` records of `size` units from the head by a function.
void sort_by_function(Cell* series, uint32_t records, uint32_t size, const Cell* function, uint32_t flags,
	bool stable) {
	if (!block::call_comparator) errors::fire(errors::id::internal_not_done);
	Cell* base = stack::top;
	uint32_t index = stack::index_of(stack::push(function));
	stack::push(series);
	uint32_t width = width_of(series);
	for (int i = 0; i < 2; i++) {
		Cell* holder = stack::alloc_slot();
		make_at_unit(holder, size, width);
		// A record of the series' own type (a vector's keeps its element type).
		cell::set_type(holder, cell::type_of(series));
		holder->data3 = cell::is(series, T_VECTOR) ? series->data3 : 0;
	}
	// The function runs Vyn code: the records' address is asked for again
	// after every call. Text units hold no values, so the merge scratch may
	// live outside the collector's sight.
	Place place{series->data2, clamp_head(series)};
	sorting::Moving moving{records_of, nullptr, &place};
	int32_t bytes = int32_t(size * width);
	if (stable)
		sorting::merge_sort(records_of(&place), int32_t(records), bytes, index, flags, compare_call, &moving);
	else
		sorting::quick_sort(records_of(&place), int32_t(records), bytes, index, flags, compare_call, &moving);
	stack::top = base;
}

}  // namespace

int32_t sort_compare_1(const void* a, const void* b, uint32_t c, uint32_t f) { return sort_compare<uint8_t>(a, b, c, f); }
int32_t sort_compare_2(const void* a, const void* b, uint32_t c, uint32_t f) { return sort_compare<uint16_t>(a, b, c, f); }
int32_t sort_compare_4(const void* a, const void* b, uint32_t c, uint32_t f) { return sort_compare<uint32_t>(a, b, c, f); }
int32_t sort_compare_f32(const void* a, const void* b, uint32_t c, uint32_t f) { return number_compare<float>(a, b, c, f); }
int32_t sort_compare_f64(const void* a, const void* b, uint32_t c, uint32_t f) { return number_compare<double>(a, b, c, f); }
int32_t sort_compare_i8(const void* a, const void* b, uint32_t c, uint32_t f) { return number_compare<int8_t>(a, b, c, f); }
int32_t sort_compare_i16(const void* a, const void* b, uint32_t c, uint32_t f) { return number_compare<int16_t>(a, b, c, f); }
int32_t sort_compare_i32(const void* a, const void* b, uint32_t c, uint32_t f) { return number_compare<int32_t>(a, b, c, f); }

namespace {

// The record comparator of a series by its unit width (and a vector's
// element type).
sorting::Comparator comparator_for(const Cell* series, uint32_t width) {
	if (cell::is(series, T_VECTOR)) {
		Type element = Type(series->data3);
		if (element == T_FLOAT || element == T_PERCENT) return width == 8 ? sort_compare_f64 : sort_compare_f32;
		if (element == T_INTEGER) return width == 1 ? sort_compare_i8 : width == 2 ? sort_compare_i16 : sort_compare_i32;
	}
	return width == 1 ? sort_compare_1 : width == 2 ? sort_compare_2 : sort_compare_4;
}

}  // namespace

namespace {

// A text cell being sorted: the first up to 8 bytes of the UTF-8 form of its
// (folded) units, big-endian, zero-padded. UTF-8 orders as codepoints do, so
// different keys order their texts; equal keys fall back to the texts.
struct Keyed {
	uint64_t key;
	Text text;
	uint32_t index;
};

uint64_t prefix_key(const Text& t, bool fold) {
	uint8_t bytes[8 + 4] = {};
	uint32_t n = 0;
	for (uint32_t i = 0; i < t.length && n < 8; i++) {
		uint32_t u = t.unit(i);
		if (fold) u = unicode::to_upper(u);
		n += u < 0x80 ? (bytes[n] = uint8_t(u), 1) : unicode::encode_utf8(u, bytes + n);
	}
	uint64_t key = 0;
	for (int i = 0; i < 8; i++) key = key << 8 | bytes[i];
	return key;
}

}  // namespace

bool sort_text_cells(Cell* first, uint32_t count, CompareOp code, bool reverse) {
	if (count < 2) return true;
	Type type = cell::type_of(first);
	if (!any_string(type)) return false;
	for (uint32_t i = 1; i < count; i++)
		if (cell::type_of(first + i) != type) return false;
	bool fold = code != COMP_CASE_SORT;
	std::vector<Keyed> keyed(count);
	for (uint32_t i = 0; i < count; i++) {
		Text t = text_of(first + i);
		keyed[i] = {prefix_key(t, fold), t, i};
	}
	auto order = [code](const Keyed& a, const Keyed& b) {
		if (a.key != b.key) return a.key < b.key ? -1 : 1;
		return compare_texts(a.text, b.text, code);
	};
	// Ties keep their order: the same answer as a stable sort.
	std::sort(keyed.begin(), keyed.end(), [&](const Keyed& a, const Keyed& b) {
		int32_t r = reverse ? order(b, a) : order(a, b);
		return r != 0 ? r < 0 : a.index < b.index;
	});
	std::vector<Cell> sorted(count);
	for (uint32_t i = 0; i < count; i++) sorted[i] = first[keyed[i].index];
	std::memcpy(first, sorted.data(), size_t(count) * sizeof(Cell));
	return true;
}

Cell* sort(Cell* series, bool case_sensitive, const Cell* skip, const Cell* compare, const Cell* part, bool all,
	bool reverse, bool stable) {
	series::SortSpan span = series::sort_span(series, skip, compare, part, all, reverse);
	if (span.records() < 2) return series;
	uint32_t head = span.head, count = span.count;
	if (series::notify(series, words::w_sort, head, count) &&
		(clamp_head(series) != head || abs_length(series) < uint64_t(head) + count))
		return series;  // the owner's handler changed what was to be sorted
	if (span.by_function) {
		sort_by_function(series, span.records(), span.size, compare, span.flags, stable);
		if (errors::unwinding()) return series;
	} else {
		Series* s = memory::buffer_of(series);
		uint32_t width = s->unit();
		bool exact = case_sensitive || cell::is(series, T_VECTOR) || cell::is(series, T_BINARY);
		int32_t bytes = int32_t(span.size * width);
		uint8_t* first = s->head_ptr() + size_t(head) * width;
		sorting::Comparator comparator = comparator_for(series, width);
		// Equal units under an exact comparison are identical: only a folding
		// sort can show stability.
		if (stable && !exact)
			sorting::merge_sort(first, int32_t(span.records()), bytes, exact, span.flags, comparator);
		else
			sorting::quick_sort(first, int32_t(span.records()), bytes, exact, span.flags, comparator);
	}
	series::notify(series, words::w_sorted, head, count);
	return series;
}

}  // namespace vyn::string
