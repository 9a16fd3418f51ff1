// find and select on blocks (a linear scan over records of /skip cells,
// matching one value, a datatype or typeset, or a sequence of cells), and
// sort with its two record comparators.
#include <cstring>

#include "runtime/datatypes/block.h"
#include "runtime/datatypes/block_internal.h"
#include "runtime/datatypes/string.h"
#include "runtime/errors.h"
#include "runtime/evaluator/actions.h"
#include "runtime/evaluator/stack.h"
#include "runtime/hash_table.h"
#include "runtime/sorting.h"
#include "runtime/symbol.h"
#include "runtime/words.h"

namespace vyn::block {

namespace {

enum class Mode { value, type, typeset, sequence };

struct Search {
	Mode mode;
	CompareOp op;
	const Cell* value;
	Type key_type = T_NONE;    // the value's type, for Mode::value
	bool word_key = false;     // a word key under the default matching
	uint32_t key_name = 0;     // its canonical symbol
	Cell sequence;        // the value's cells, for Mode::sequence
	uint32_t length = 1;  // cells one attempt compares
	int64_t step = 1;
	int64_t end = 0;      // last searchable cell
};

// Words that match one another by spelling (issues stand apart).
inline bool spelled_word(Type t) { return t >= T_WORD && t <= T_REFINEMENT; }

// Types whose comparison never finds a word equal under the default matching.
inline bool never_a_word(Type t) { return t == T_INTEGER || t == T_STRING || t == T_BLOCK || t == T_NONE; }

// One cell against the key under the default matching, without the type's
// compare where the answer is known from the two types.
inline bool matches_default(const Search& q, const Cell* c) {
	Type t = cell::type_of(c);
	if (spelled_word(t)) {
		if (!q.word_key) return false;
		return c->data2 == q.value->data2 || symbol::resolve(c->data2) == q.key_name;
	}
	if (q.word_key) return !never_a_word(t) && matches(c, q.value, q.op);
	if (t == T_INTEGER && q.key_type == T_INTEGER) return c->data2 == q.value->data2;
	return matches(c, q.value, q.op);
}

// Whether the cells at `pos` match; a sequence must end by `end`.
bool attempt(const Search& q, const Cell* b, int64_t pos) {
	const Cell* c = vs_abs_at(b, uint32_t(pos));
	switch (q.mode) {
	case Mode::type: return cell::type_of(c) == Type(q.value->data1);
	case Mode::typeset: return typeset_has(q.value, cell::type_of(c));
	case Mode::value: return q.op == COMP_FIND_SELECT ? matches_default(q, c) : matches(c, q.value, q.op);
	case Mode::sequence: break;
	}
	if (pos + q.length - 1 > q.end) return false;
	const Cell* s = vs_abs_at(&q.sequence, q.sequence.data1);
	for (uint32_t i = 0; i < q.length; i++)
		if (!matches(c + i, s + i, q.op)) return false;
	return true;
}

// The matching position, or -1, and the scan's direction.
struct Found {
	int64_t pos;
	bool backward;
	bool hashed = false;  // found through a hash! index
};

// Values a hash! index finds: keys hashed by content. Objects and blocks
// hash their node, so an equal but distinct one is looked for by a scan.
bool indexed_lookup(const Cell* value, bool same) {
	Type t = cell::type_of(value);
	return same || (t != T_OBJECT && !series::any_block(t));
}

Found search(Cell* series, Cell* value, const Cell* part, bool only, bool case_sensitive, bool same,
	const Cell* skip, bool last, bool reverse, bool match, Search& q) {
	uint32_t n = buffer_length_cells(series);
	int64_t h = series::clamp_head(series);
	Found none{-1, false};
	if (n == 0 || (h >= n && !reverse)) return none;
	if (skip) {
		if (!cell::is(skip, T_INTEGER)) series::refine_error("skip", skip);
		q.step = cell::get_integer(skip);
		if (q.step < 1) errors::fire(errors::id::script_out_of_range, skip);
	}
	q.end = n - 1;
	if (part) {
		if (cell::is(part, T_INTEGER)) {
			int64_t count = cell::get_integer(part);
			if (count < 1) return none;
			q.end = h + count - 1;
		} else if (series::same_series(series, part)) {
			q.end = series::head_of(part);
		} else {
			series::refine_error("part", part);
		}
		if (q.end > n - 1) q.end = n - 1;
		if (q.end < 0) return none;
	}
	q.value = value;
	q.op = same ? COMP_SAME : case_sensitive ? COMP_STRICT_EQUAL : COMP_FIND_SELECT;
	Type vt = cell::type_of(value);
	if (!only && vt == T_DATATYPE) {
		q.mode = Mode::type;
	} else if (!only && vt == T_TYPESET) {
		q.mode = Mode::typeset;
	} else if (!only && series::any_block(vt)) {
		q.mode = Mode::sequence;
		q.sequence = *value;
		q.length = length(&q.sequence);
		if (q.length == 0) return none;
	} else {
		q.mode = Mode::value;
		q.key_type = vt;
		q.word_key = spelled_word(vt);
		if (q.word_key) q.key_name = symbol::resolve(value->data2);
	}
	bool backward = last || reverse;
	if (cell::is(series, T_HASH) && series->data3 && q.mode == Mode::value && !match && indexed_lookup(value, same)) {
		Cell* hit = hash::get(series->data3, value, int32_t(h), int32_t(q.step), q.op, last, reverse);
		int64_t pos = hit ? hit - vs_abs_at(series, 0) : -1;
		if (pos < 0 || pos > q.end) return none;
		return {pos, backward, true};
	}
	int64_t start;
	int64_t stop;
	if (!backward) {
		start = h;
		stop = q.end;
	} else {
		int64_t from = last ? int64_t(n) : h;
		start = part ? q.end : from - q.length;
		if (start > int64_t(n) - 1) start = n - 1;
		// Records start at head + k x step in both directions: a backward
		// scan begins on the last record start at or before `start`.
		int64_t offset = start - h;
		int64_t records = offset >= 0 ? offset / q.step : -((-offset + q.step - 1) / q.step);
		start = h + records * q.step;
		stop = 0;
		if (start < 0) return none;
	}
	auto scan = [&](auto hit) -> Found {
		if (backward) {
			for (int64_t pos = start; pos >= stop; pos -= q.step) {
				if (hit(pos)) return {pos, true};
				if (match) break;
			}
		} else {
			for (int64_t pos = start; pos <= stop; pos += q.step) {
				if (hit(pos)) return {pos, false};
				if (match) break;
			}
		}
		return none;
	};
	if (q.mode == Mode::value && q.op == COMP_FIND_SELECT)
		return scan([&](int64_t pos) { return matches_default(q, vs_abs_at(series, uint32_t(pos))); });
	return scan([&](int64_t pos) { return attempt(q, series, pos); });
}

Cell* answer_none(Cell* series) {
	cell::set_type(series, T_NONE);
	return series;
}

}  // namespace

Cell* find(Cell* series, Cell* value, const Cell* part, bool only, bool case_sensitive, bool same, bool,
	const Cell*, const Cell* skip, bool last, bool reverse, bool tail, bool match) {
	Search q{};
	Found f = search(series, value, part, only, case_sensitive, same, skip, last, reverse, match, q);
	if (f.pos < 0) return answer_none(series);
	int64_t pos = f.pos;
	if (tail) pos += q.mode == Mode::sequence ? q.length : f.backward || f.hashed ? 1 : q.step;
	int64_t n = buffer_length_cells(series);
	series->data1 = uint32_t(pos > n ? n : pos);
	return series;
}

Cell* select(Cell* series, Cell* value, const Cell* part, bool only, bool case_sensitive, bool same, bool,
	const Cell*, const Cell* skip, bool last, bool reverse) {
	Search q{};
	Found f = search(series, value, part, only, case_sensitive, same, skip, last, reverse, false, q);
	if (f.pos < 0) return answer_none(series);
	int64_t after = f.pos + (q.mode == Mode::sequence ? q.length : 1);
	if (after >= buffer_length_cells(series)) return answer_none(series);
	return vs_abs_at(series, uint32_t(after));
}

// Sorting.

void (*call_comparator)(const Cell* function, const Cell* first, const Cell* second, Cell* out) = nullptr;

int32_t compare_records(const void* a, const void* b, uint32_t code, uint32_t flags) {
	return sorting::compare_record(a, b, flags, sizeof(Cell), [code](const void* x, const void* y) {
		auto* cx = static_cast<const Cell*>(x);
		auto* cy = static_cast<const Cell*>(y);
		if (cell::is(cx, T_INTEGER) && cell::is(cy, T_INTEGER)) {
			int32_t a = cell::get_integer(cx), b = cell::get_integer(cy);
			return int32_t(a > b) - int32_t(a < b);
		}
		int32_t r = actions::compare_raw(cx, cy, CompareOp(code));
		return r == COMPARE_UNRELATED ? int32_t(cell::type_of(cx)) - int32_t(cell::type_of(cy)) : r;
	});
}

namespace {

// What a comparator function's answer means for the order of a and b.
int32_t order_of(const Cell* r) {
	switch (cell::type_of(r)) {
	case T_LOGIC: return r->data1 ? 1 : -1;
	case T_INTEGER: return cell::get_integer(r);
	case T_FLOAT: {
		double d = cell::get_double(r);
		return d > 0.0 ? 1 : d < 0.0 ? -1 : 0;
	}
	case T_NONE: return -1;
	default: return 1;
	}
}

}  // namespace

// u1 is the data-stack index of the function; with whole records the two
// blocks the records are copied into follow it on the stack.
int32_t compare_call(const void* a, const void* b, uint32_t function_index, uint32_t flags) {
	Cell* function = stack::at(function_index);
	Cell x = *static_cast<const Cell*>(a);
	Cell y = *static_cast<const Cell*>(b);
	if (sorting::whole(flags)) {
		uint32_t cells = sorting::amount(flags);
		Cell* blocks = function + 1;
		const void* records[2] = {a, b};
		for (int i = 0; i < 2; i++) {
			Series* s = buffer(&blocks[i]);
			std::memcpy(s->head_cell(), records[i], size_t(cells) * sizeof(Cell));
			s->tail = s->head + cells * uint32_t(sizeof(Cell));
		}
		x = blocks[0];
		y = blocks[1];
	}
	Cell result;
	if (sorting::reversed(flags))
		call_comparator(function, &x, &y, &result);
	else
		call_comparator(function, &y, &x, &result);
	return order_of(&result);
}

namespace {

struct Place {
	Node node;
	uint32_t head;
	Node scratch;
};

void* records_of(void* context) {
	auto* p = static_cast<Place*>(context);
	return memory::series(p->node)->head_cell() + p->head;
}

void* scratch_of(void* context) { return memory::series(static_cast<Place*>(context)->scratch)->data(); }

// A block of `cells` cells (filled, tail at the end) pushed on the data stack.
Cell* push_filled(uint32_t cells) {
	Cell* b = push_only(int32_t(cells));
	Series* s = buffer(b);
	for (uint32_t i = 0; i < cells; i++) cell::make_none(s->head_cell() + i);
	s->tail = s->head + cells * uint32_t(sizeof(Cell));
	return b;
}

// Sorts `records` records of `size` cells from the head by a function.
void sort_by_function(Cell* series, uint32_t records, uint32_t size, const Cell* function, uint32_t flags,
	bool stable) {
	if (!call_comparator) errors::fire(errors::id::internal_not_done);
	Cell* base = stack::top;
	uint32_t function_index = stack::index_of(stack::push(function));
	if (sorting::whole(flags)) {
		push_filled(size);
		push_filled(size);
	}
	// Records waiting in the merge scratch stay visible to the collector.
	Place place{series->data2, uint32_t(series::clamp_head(series)), 0};
	if (stable) place.scratch = push_filled(records / 2 * size + 1)->data2;
	sorting::Moving moving{records_of, stable ? scratch_of : nullptr, &place};
	int32_t bytes = int32_t(size * sizeof(Cell));
	if (stable)
		sorting::merge_sort(records_of(&place), int32_t(records), bytes, function_index, flags, compare_call, &moving);
	else
		sorting::quick_sort(records_of(&place), int32_t(records), bytes, function_index, flags, compare_call, &moving);
	stack::top = base;
}

}  // namespace

Cell* sort(Cell* series, bool case_sensitive, const Cell* skip, const Cell* compare, const Cell* part, bool all,
	bool reverse, bool stable) {
	series::SortSpan span = series::sort_span(series, skip, compare, part, all, reverse);
	if (span.count == 0) return series;
	int64_t h = span.head, count = span.count;
	uint32_t code = case_sensitive ? COMP_CASE_SORT : COMP_SORT;
	bool owned = series::notify(series, words::w_sort, h, count);
	if (owned && (series::clamp_head(series) != h || buffer_length_cells(series) < h + count)) return series;
	uint32_t records = span.records();
	int32_t bytes = int32_t(span.size * int64_t(sizeof(Cell)));
	Cell* first = vs_abs_at(series, uint32_t(h));
	if (span.by_function) {
		sort_by_function(series, records, span.size, compare, span.flags, stable);
	} else if (span.size == 1 && string::sort_text_cells(first, records, CompareOp(code), reverse)) {
		// Texts sorted on cached keys, away from their scattered buffers.
	} else if (stable) {
		sorting::merge_sort(first, int32_t(records), bytes, code, span.flags, compare_records);
	} else {
		sorting::quick_sort(first, int32_t(records), bytes, code, span.flags, compare_records);
	}
	if (owned && !errors::unwinding()) series::notify(series, words::w_sorted, h, count);
	return series;
}

}  // namespace vyn::block
