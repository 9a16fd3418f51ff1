// The modifying actions of blocks (append and insert, change, put, swap,
// take, trim) and the copies (copy, clone, copy/types).
//
// A value inserted into its own block is read from a snapshot taken before
// any cell moves, so `insert b b` doubles b instead of reading cells the
// gap has shifted.
#include <cstring>
#include <vector>

#include "runtime/datatypes/block.h"
#include "runtime/datatypes/block_internal.h"
#include "runtime/errors.h"
#include "runtime/evaluator/actions.h"
#include "runtime/evaluator/stack.h"
#include "runtime/words.h"

namespace vyn::block {

namespace {

[[noreturn]] void no_memory() { errors::fire(errors::id::internal_no_memory); }

// The first `limit` cells an insertion takes from a value: its cells from
// the head when it is an any-block spread out, else the value itself. They
// are copied aside when they lie in the target's buffer, which is about to
// move.
struct Source {
	const Cell* cells;
	std::vector<Cell> saved;
	Cell one;

	Source(Cell* value, bool spread, Node target, uint32_t limit) {
		if (!spread) {
			one = *value;
			cells = &one;
			return;
		}
		cells = vs_head(value);
		if (value->data2 == target) {
			saved.assign(cells, cells + limit);
			cells = saved.data();
		}
	}
};

uint32_t checked_total(uint32_t cells, int32_t dup, uint64_t used_cells) {
	uint64_t total = uint64_t(cells) * uint64_t(dup);
	if (total > 0x7FFFFFFF || (used_cells + total) * sizeof(Cell) > MAX_BYTES) no_memory();
	return uint32_t(total);
}

// Writes `count` source cells at `at`, then repeats them until `total`
// cells are filled, doubling the copied run each time.
void fill(Cell* at, const Source& src, uint32_t count, uint32_t total) {
	std::memcpy(at, src.cells, size_t(count) * sizeof(Cell));
	memory::repeat_copy(reinterpret_cast<uint8_t*>(at), size_t(count) * sizeof(Cell), total / count);
}

// What an insertion does, worked out again after an owner's handler ran.
struct Insertion {
	uint32_t count;  // source cells
	uint32_t total;  // cells inserted
	uint32_t pos;
};

Insertion plan_insertion(Cell* series, Cell* value, int32_t part, bool spread, int32_t dup, bool append) {
	uint32_t count = spread ? length(value) : 1;
	if (part >= 0 && uint32_t(part) < count) count = uint32_t(part);
	uint32_t used = buffer_length_cells(series);
	uint32_t h = series::clamp_head(series);
	return {count, count ? checked_total(count, dup, used) : 0, append ? used : h};
}

struct Change {
	uint32_t head;
	uint32_t count;     // source cells
	uint32_t inserted;
	uint32_t replaced;
};

Change plan_change(Cell* series, Cell* value, int32_t part, bool spread, int32_t dup) {
	uint32_t used = buffer_length_cells(series);
	uint32_t h = series::clamp_head(series);
	uint32_t count = spread ? length(value) : 1;
	uint32_t inserted = checked_total(count, dup, used);
	uint32_t replaced = part >= 0 ? uint32_t(part) : inserted;
	if (replaced > used - h) replaced = used - h;
	return {h, count, inserted, replaced};
}

}  // namespace

Cell* insert(Cell* series, Cell* value, int32_t part, bool only, int32_t dup, bool append) {
	bool spread = series::any_block(value) && !only;
	if (append && dup == 1 && !spread && cell::is(series, T_BLOCK)) {
		// One value at the tail of a plain block with room: the common case.
		Series* s = buffer(series);
		if (s->size - s->tail >= sizeof(Cell) && !(s->flags & SERIES_OWNED)) {
			*s->tail_cell() = *value;
			s->tail += sizeof(Cell);
			series->data1 = 0;
			return series;
		}
	}
	if (dup < 1) return series;
	Insertion p = plan_insertion(series, value, part, spread, dup, append);
	if (p.count == 0) return series;
	bool owned = series::notify(series, append ? words::w_append : words::w_insert, p.pos, p.total, value);
	if (owned && (p = plan_insertion(series, value, part, spread, dup, append)).count == 0) return series;
	Source src(value, spread, series->data2, p.count);
	Series* s = buffer(series);
	uint64_t needed = uint64_t(s->used()) + uint64_t(p.total) * sizeof(Cell);
	if (needed > s->size - s->head) s = series::reserve(s, dup < 5 ? grown_size(needed) : needed);
	s = series::open_gap(s, p.pos, p.total);
	fill(s->head_cell() + p.pos, src, p.count, p.total);
	series::hash_inserted(series, p.pos, p.total);
	series->data1 = append ? 0 : p.pos + p.total;
	if (owned) series::notify(series, append ? words::w_appended : words::w_inserted, p.pos, p.total, value);
	return series;
}

Cell* change(Cell* series, Cell* value, int32_t part, bool only, int32_t dup) {
	if (dup < 1) return series;
	bool spread = series::any_block(value) && !only;
	Change c = plan_change(series, value, part, spread, dup);
	bool owned = series::notify(series, words::w_change, c.head, c.replaced, value);
	if (owned) c = plan_change(series, value, part, spread, dup);
	Source src(value, spread, series->data2, c.count);
	Series* s = buffer(series);
	if (c.inserted > c.replaced)
		s = series::open_gap(s, c.head + c.replaced, c.inserted - c.replaced);
	else if (c.replaced > c.inserted)
		series::close_gap(s, c.head + c.inserted, c.replaced - c.inserted);
	if (c.inserted) fill(s->head_cell() + c.head, src, c.count, c.inserted);
	series::hash_rebuild(series);
	series->data1 = c.head + c.inserted;
	if (owned) series::notify(series, words::w_changed, c.head, c.inserted, value);
	return series;
}

// Copies.

void copy_cells_deep(Cell* b) {
	// Nested copies make new buffers only: b's cells stay where they are.
	Cell* c = vs_head(b);
	for (Cell* tail = vs_tail(b); c < tail; c++) {
		if (!deep_copied(cell::type_of(c))) continue;
		Cell nested = *c;
		actions::copy(&nested, c, nullptr, true, nullptr);
		c->header = (c->header & ~FLAG_NEW_LINE) | (nested.header & FLAG_NEW_LINE);
	}
}

void copy_nested(Cell* from, Cell* end, uint32_t step, bool deep, const Cell* types) {
	for (Cell* c = from; c < end; c += step) {
		Type t = cell::type_of(c);
		bool match = cell::is(types, T_TYPESET) ? typeset_has(types, t) : Type(types->data1) == t;
		if (!match || !type_copied(t)) continue;
		Cell nested = *c;
		Cell copied;
		actions::copy(&nested, &copied, nullptr, deep, deep ? types : nullptr);
		copied.header = (copied.header & ~FLAG_NEW_LINE) | (nested.header & FLAG_NEW_LINE);
		*c = copied;
	}
}

Cell* copy(Cell* value, Cell* out, const Cell* part, bool deep, const Cell* types) {
	Cell v = *value;
	series::copy(&v, out, part, false, nullptr);
	if (!deep && !types) return out;
	if (cell::is(out, T_HASH)) {
		cell::set_type(out, T_BLOCK);
		out->data3 = 0;
	}
	if (deep) refuse_cycle(v.data2);
	Walk walk(v.data2);
	if (!types) {
		copy_cells_deep(out);
	} else {
		// The copy's buffer cannot move while its cells are replaced: only
		// new buffers are made.
		copy_nested(vs_head(out), vs_tail(out), 1, deep, types);
	}
	return out;
}

Cell* clone(const Cell* b, Cell* out, bool deep, bool all_kinds) {
	Cell v = *b;
	series::copy(&v, out, nullptr, false, nullptr);
	if (!deep) return out;
	refuse_cycle(v.data2);
	Walk walk(v.data2);
	for (uint32_t i = 0; i < buffer_length_cells(out); i++) {
		Cell* c = vs_abs_at(out, i);
		Type t = cell::type_of(c);
		bool nested = t == T_BLOCK || (all_kinds && series::any_block(t) && t != T_HASH);
		if (!nested) continue;
		Cell inner = *c;
		Cell copied;
		clone(&inner, &copied, true, all_kinds);
		*vs_abs_at(out, i) = copied;
	}
	return out;
}

// Other modifications.

namespace {

// The position of the cell after the key (the key looked for as one value,
// as it is stored), or -1 when the key is missing.
int64_t after_key(Cell* series, Cell* key, bool case_sensitive) {
	Cell at = *series;
	Cell* found = actions::find(&at, key, nullptr, true, case_sensitive, false, false, nullptr, nullptr, false,
		false, false, false);
	return cell::is(found, T_NONE) ? -1 : int64_t(series::head_of(found)) + 1;
}

}  // namespace

Cell* put(Cell* series, Cell* key, Cell* value, bool case_sensitive) {
	int64_t after = after_key(series, key, case_sensitive);
	bool owned = series::notify(series, words::w_put, after < 0 ? buffer_length_cells(series) + 1 : after, 1, value);
	if (owned) after = after_key(series, key, case_sensitive);
	uint32_t n = buffer_length_cells(series);
	if (after < 0) {
		append_value(series, key);
		append_value(series, value);
		series::hash_inserted(series, n, 2);
		after = n + 1;
	} else if (after >= n) {
		append_value(series, value);
		series::hash_inserted(series, n, 1);
	} else if (!matches(vs_abs_at(series, uint32_t(after)), value, COMP_FIND_SELECT)) {
		*vs_abs_at(series, uint32_t(after)) = *value;
		series::hash_reindex(series, uint32_t(after), 1);
	}
	if (owned) series::notify(series, words::w_put_ed, after, 1, value);
	return value;
}

Cell* swap(Cell* series1, Cell* series2) {
	if (!series::any_block(series2)) errors::fire(errors::id::script_invalid_arg, series2);
	if (series::vs_tail_q(series1) || series::vs_tail_q(series2)) return series1;
	bool owned1 = series::notify(series1, words::w_swap, series::clamp_head(series1), 1);
	bool owned2 = series::notify(series2, words::w_swap, series::clamp_head(series2), 1);
	if (series::vs_tail_q(series1) || series::vs_tail_q(series2)) return series1;
	Cell* a = vs_head(series1);
	Cell* b = vs_head(series2);
	Cell t = *a;
	*a = *b;
	*b = t;
	series::hash_reindex(series1, uint32_t(series::head_of(series1)), 1);
	series::hash_reindex(series2, uint32_t(series::head_of(series2)), 1);
	if (owned1) series::notify(series1, words::w_swaped, series::head_of(series1), 1);
	if (owned2) series::notify(series2, words::w_swaped, series::head_of(series2), 1);
	return series1;
}

Cell* take(Cell* series, const Cell* part, bool deep, bool last) {
	Cell* taken = series::take(series, part, deep, last);
	if (cell::is(taken, T_NONE)) return taken;
	if (deep) copy_cells_deep(taken);
	if (!part && buffer_length_cells(taken) == 1) *taken = *vs_abs_at(taken, 0);
	return taken;
}

Cell* trim(Cell* series, bool, bool, bool, bool, bool, const Cell*) {
	uint32_t h = series::clamp_head(series);
	if (h >= buffer_length_cells(series)) return series;
	bool owned = series::notify(series, words::w_trim, h, buffer_length_cells(series) - h);
	if (owned) h = series::clamp_head(series);
	Series* s = buffer(series);
	Cell* kept = s->head_cell() + h;
	for (Cell* c = kept; c < s->tail_cell(); c++)
		if (!cell::is(c, T_NONE)) *kept++ = *c;
	s->tail = uint32_t(reinterpret_cast<uint8_t*>(kept) - s->data());
	if (owned) series::notify(series, words::w_trimmed, h, buffer_length_cells(series) - h);
	return series;
}

}  // namespace vyn::block
