#include "runtime/datatypes/series.h"

#include <algorithm>
#include <cstring>

#include "runtime/errors.h"
#include "runtime/hash_table.h"
#include "runtime/evaluator/actions.h"
#include "runtime/evaluator/stack.h"
#include "runtime/io/random.h"
#include "runtime/murmur.h"
#include "runtime/ownership.h"
#include "runtime/sorting.h"
#include "runtime/symbol.h"
#include "runtime/unicode.h"
#include "runtime/words.h"

namespace vyn::series {

VectorHooks vector_hooks{};

namespace {

inline Cell* frame() { return stack::arguments; }

Cell* push_none() {
	Cell* c = stack::alloc_slot();
	cell::make_none(c);
	return c;
}

void datatype_cell(Type t, Cell* out) { cell::set(out, T_DATATYPE, t); }

[[noreturn]] void no_memory() { errors::fire(errors::id::internal_no_memory); }

// Exchanges two non-overlapping byte ranges of `size` bytes.
void swap_bytes(uint8_t* a, uint8_t* b, size_t size) {
	uint8_t chunk[64];
	while (size) {
		size_t n = size < sizeof chunk ? size : sizeof chunk;
		std::memcpy(chunk, a, n);
		std::memcpy(a, b, n);
		std::memcpy(b, chunk, n);
		a += n;
		b += n;
		size -= n;
	}
}

// A new empty series of the value's type and unit, pushed.
Cell* push_empty_like(const Cell* value) {
	Series* s = memory::buffer_of(value);
	Node n = memory::alloc_series(1, s->unit(), 0);
	Cell* c = stack::alloc_slot();
	cell::set(c, cell::type_of(value), 0, n, cell::is(value, T_VECTOR) ? value->data3 : 0);
	return c;
}

}  // namespace

void word_named(const char* name, Type type, Cell* out) {
	if (!actions::make_word) {
		cell::make_none(out);
		return;
	}
	actions::make_word(name, out);
	if (!cell::is(out, T_NONE)) cell::set_type(out, type);
}

void refine_error(const char* refinement, const Cell* arg) {
	// The predefined refinements, once made; others are made on the spot.
	struct Known {
		const char* name;
		Cell* const* cell;
	} known[] = {{"part", &words::r_part}, {"skip", &words::r_skip}, {"compare", &words::r_compare},
		{"with", &words::r_with}};
	for (const Known& k : known)
		if (words::block && *k.cell && std::strcmp(k.name, refinement) == 0) errors::fire(errors::id::script_invalid_refine_arg, *k.cell, arg);
	Cell w;
	word_named(refinement, T_REFINEMENT, &w);
	errors::fire(errors::id::script_invalid_refine_arg, &w, arg);
}

void expect_arg(const char* action, const char* argument, const Cell* value) {
	Cell call, type, arg;
	word_named(action, T_WORD, &call);
	datatype_cell(cell::type_of(value), &type);
	word_named(argument, T_WORD, &arg);
	errors::fire(errors::id::script_expect_arg, &call, &type, &arg);
}

uint32_t length(Cell* v, bool from_start) {
	uint32_t h = clamp_head(v);
	uint32_t n = buffer_length(v);
	return from_start ? n : n - h;
}

bool advance(Cell* v, int32_t n) {
	int64_t h = int64_t(head_of(v)) + n;
	int64_t units = buffer_length(v);
	if (h <= units) v->data1 = uint32_t(int32_t(h));
	return head_of(v) >= units;
}

uint32_t index_arg(Cell* v, const Cell* arg, bool at) {
	if (!cell::is(arg, T_INTEGER)) errors::fire(errors::id::script_invalid_arg, arg);
	int64_t n = cell::get_integer(arg);
	int64_t h = int64_t(clamp_head(v)) + (at && n >= 1 ? n - 1 : n);
	int64_t units = buffer_length(v);
	return uint32_t(h < 0 ? 0 : h > units ? units : h);
}

bool notify(const Cell* series, const Cell* action, int64_t index, int64_t part, const Cell* value) {
	if (!(memory::buffer_of(series)->flags & SERIES_OWNED)) return false;
	ownership::check(series, action, int32_t(index), int32_t(part), value);
	return true;
}

namespace {

// 0 for a hash! made without an index, which is then a plain block.
inline Node index_of(const Cell* series) { return cell::is(series, T_HASH) ? series->data3 : 0; }

// Indexes the cells in [pos, pos + count), stopping when an insertion
// rebuilt the whole index (which then holds every cell).
void index_cells(Node table, const Cell* series, uint32_t pos, uint32_t count) {
	for (uint32_t i = pos; i < pos + count; i++) {
		int32_t rebuilt;
		hash::put_entry(table, memory::buffer_of(series)->head_cell() + i, &rebuilt);
		if (rebuilt == 2) return;
	}
}

}  // namespace

void hash_unindex(const Cell* series, uint32_t pos, uint32_t count) {
	if (Node table = index_of(series)) hash::remove_range(table, int32_t(pos), int32_t(count));
}

void hash_removed(const Cell* series, uint32_t pos, uint32_t count) {
	Node table = index_of(series);
	if (table && hash::shift_keys(table, -int32_t(count), int32_t(pos), int32_t(count), true))
		hash::rebuild(table, buffer_length(series));
}

void hash_inserted(const Cell* series, uint32_t pos, uint32_t count) {
	Node table = index_of(series);
	if (!table) return;
	if (hash::shift_keys(table, int32_t(count), int32_t(pos), int32_t(count), true))
		hash::rebuild(table, buffer_length(series));
	else
		index_cells(table, series, pos, count);
}

void hash_reindex(const Cell* series, uint32_t pos, uint32_t count) {
	Node table = index_of(series);
	if (!table) return;
	hash::remove_range(table, int32_t(pos), int32_t(count));
	index_cells(table, series, pos, count);
}

void hash_rebuild(const Cell* series) {
	if (Node table = index_of(series)) hash::rebuild(table, buffer_length(series));
}

void hash_index_new(Cell* value) {
	value->data3 = hash::create(length(value), value, hash::KIND_BLOCK, 0);
}

int64_t part_count(const Cell* series, const Cell* part) {
	if (cell::is(part, T_INTEGER)) return cell::get_integer(part);
	if (same_series(series, part)) return int64_t(head_of(part)) - head_of(series);
	refine_error("part", part);
}

SortSpan sort_span(Cell* series, const Cell* skip, const Cell* compare, const Cell* part, bool all, bool reverse) {
	int64_t head = clamp_head(series);
	int64_t count = int64_t(buffer_length(series)) - head;
	if (part) {
		int64_t n = part_count(series, part);
		if (n < 0) {
			n = std::max(n, -head);
			head += n;
			series->data1 = uint32_t(head);
			count = -n;
		} else if (n < count) {
			count = n;
		}
	}
	SortSpan span{uint32_t(head), uint32_t(count), 1, sorting::make_flags(reverse, false, 0), false};
	if (count == 0) return span;
	int64_t size = 1;
	if (skip) {
		if (!cell::is(skip, T_INTEGER)) refine_error("skip", skip);
		size = cell::get_integer(skip);
		if (size < 1 || count % size || count < size) refine_error("skip", skip);
		span.size = uint32_t(size);
	}
	if (all && !skip) errors::fire(errors::id::script_bad_refines);
	span.by_function = compare && cell::is(compare, T_FUNCTION);
	if (compare && !span.by_function) {
		if (!cell::is(compare, T_INTEGER)) refine_error("compare", compare);
		if (!skip || all) errors::fire(errors::id::script_bad_refines);
		int32_t field = cell::get_integer(compare);
		if (field < 1 || field > size) errors::fire(errors::id::script_out_of_range, compare);
		span.flags |= sorting::make_flags(false, false, uint32_t(field - 1));
	} else if (all) {
		span.flags |= sorting::make_flags(false, true, uint32_t(size));
	}
	return span;
}

Series* reserve(Series* s, uint64_t bytes) {
	if (bytes <= s->size - s->head) return s;
	if (bytes > 0xFFFFFF00u - SERIES_BLOCK_EXTRA) no_memory();
	return memory::expand_copy(s, uint32_t(bytes));
}

Series* open_gap(Series* s, uint32_t at, uint32_t count) {
	uint32_t shift = shift_of(s);
	uint64_t extra = uint64_t(count) << shift;
	s = reserve(s, uint64_t(s->used()) + extra);
	uint8_t* from = unit_at(s, at);
	std::memmove(from + extra, from, s->tail_ptr() - from);
	s->tail += uint32_t(extra);
	return s;
}

void close_gap(Series* s, uint32_t at, uint32_t count) {
	uint32_t shift = shift_of(s);
	uint8_t* to = unit_at(s, at);
	uint8_t* from = to + (size_t(count) << shift);
	std::memmove(to, from, s->tail_ptr() - from);
	s->tail -= count << shift;
}

int64_t pick_position(Cell* series, int32_t index) {
	int64_t h = clamp_head(series);
	int64_t pos = index >= 1 ? h + index - 1 : index <= -1 ? h + index : -1;
	if (pos < 0 || pos >= int64_t(buffer_length(series))) return -1;
	return pos;
}

// Positioning and queries work in place on the frame's first argument.

Cell* at() {
	Cell* v = frame();
	v->data1 = index_arg(v, v + 1, true);
	return stack::keep();
}

Cell* skip() {
	Cell* v = frame();
	v->data1 = index_arg(v, v + 1, false);
	return stack::keep();
}

Cell* back() {
	Cell* v = frame();
	if (clamp_head(v) > 0) v->data1--;
	return stack::keep();
}

Cell* next() {
	Cell* v = frame();
	if (clamp_head(v) < buffer_length(v)) v->data1++;
	return stack::keep();
}

Cell* head() {
	Cell* v = frame();
	v->data1 = 0;
	return stack::keep();
}

Cell* tail() {
	Cell* v = frame();
	v->data1 = buffer_length(v);
	return stack::keep();
}

Cell* head_q() {
	Cell* v = frame();
	cell::make_logic(v, clamp_head(v) == 0);
	return stack::keep();
}

Cell* tail_q() {
	Cell* v = frame();
	cell::make_logic(v, vs_tail_q(v));
	return stack::keep();
}

Cell* index_q() {
	Cell* v = frame();
	cell::make_integer(v, int32_t(clamp_head(v)) + 1);
	return stack::keep();
}

int32_t length_q(Cell* v) { return int32_t(length(v)); }

Cell* pick(Cell* series, int32_t index, const Cell*) {
	int64_t pos = pick_position(series, index);
	if (pos < 0) return push_none();
	Type t = cell::type_of(series);
	uint8_t* p = unit_at(memory::buffer_of(series), uint32_t(pos));
	if (any_block(t) || t == T_MAP) return reinterpret_cast<Cell*>(p);
	if (t == T_VECTOR) return vector_hooks.push_value(series, p);
	Cell* c = stack::alloc_slot();
	if (t == T_BINARY)
		cell::make_integer(c, *p);
	else
		cell::set(c, T_CHAR, 0, unicode::get_unit(p, memory::buffer_of(series)->unit()));
	return c;
}

Cell* poke(Cell* series, int32_t index, const Cell*, Cell* value) {
	int64_t pos = pick_position(series, index);
	if (pos < 0) {
		Cell n;
		cell::make_integer(&n, index);
		errors::fire(errors::id::script_out_of_range, &n);
	}
	Type t = cell::type_of(series);
	bool fits = any_block(t) || (t == T_VECTOR && cell::type_of(value) == Type(series->data3)) ||
		(t == T_BINARY && (cell::is(value, T_INTEGER) || cell::is(value, T_CHAR))) ||
		(t != T_VECTOR && t != T_BINARY && cell::is(value, T_CHAR));
	if (!fits) errors::fire(errors::id::script_invalid_arg, value);
	bool owned = notify(series, words::w_poke, pos, 1, value);
	if (owned && (pos = pick_position(series, index)) < 0) return value;
	Series* s = memory::buffer_of(series);
	uint8_t* p = unit_at(s, uint32_t(pos));
	if (any_block(t)) {
		*reinterpret_cast<Cell*>(p) = *value;
		hash_reindex(series, uint32_t(pos), 1);
	} else if (t == T_VECTOR)
		vector_hooks.set_value(value, p, s->unit());
	else if (t == T_BINARY)
		*p = uint8_t(value->data2);
	else
		unicode::store(s, uint32_t(pos), value->data2);
	if (owned) notify(series, words::w_poked, pos, 1, value);
	return value;
}

Cell* clear(Cell* series) {
	uint32_t h = clamp_head(series);
	uint32_t n = buffer_length(series);
	if (h >= n) return series;
	bool owned = notify(series, words::w_clear, h, n - h);
	h = clamp_head(series);
	hash_unindex(series, h, buffer_length(series) - h);
	Series* s = memory::buffer_of(series);
	s->tail = s->head + (h << shift_of(s));
	if (owned) notify(series, words::w_cleared, h, 0);
	return series;
}

Cell* remove(Cell* series, const Cell* part, const Cell* key) {
	uint32_t pos = clamp_head(series);
	int64_t count = 1;
	if (part) {
		count = part_count(series, part);
		if (count < 1) return series;
	}
	if (key) {
		Cell found = *series;
		Cell* r = actions::find(&found, const_cast<Cell*>(key), nullptr, false, true, false, false, nullptr,
			nullptr, false, false, false, false);
		if (cell::is(r, T_NONE)) return push_none();
		pos = clamp_head(r);
		count++;
	}
	if (pos >= buffer_length(series)) return series;
	bool owned = notify(series, words::w_remove, pos, count);
	uint32_t n = buffer_length(series);
	if (pos >= n) return series;
	if (count > n - pos) count = n - pos;
	hash_unindex(series, pos, uint32_t(count));
	close_gap(memory::buffer_of(series), pos, uint32_t(count));
	hash_removed(series, pos, uint32_t(count));
	if (owned) notify(series, words::w_removed, pos, count);
	return series;
}

Cell* reverse(Cell* series, const Cell* part, const Cell* skip) {
	uint32_t h = clamp_head(series);
	uint32_t remaining = buffer_length(series) - h;
	if (remaining == 0) return series;
	int64_t count = remaining;
	if (part) {
		count = part_count(series, part);
		if (count < 1) return series;
		if (count > remaining) count = remaining;
	}
	int64_t size = 1;
	if (skip) {
		if (!cell::is(skip, T_INTEGER)) refine_error("skip", skip);
		size = cell::get_integer(skip);
		if (size < 1) errors::fire(errors::id::script_out_of_range, skip);
		if (size == count) return series;
		if (count < size || count % size) refine_error("skip", skip);
	}
	bool owned = notify(series, words::w_reverse, h, count);
	if (owned && (h = clamp_head(series)) + count > buffer_length(series)) return series;
	Series* s = memory::buffer_of(series);
	size_t bytes = size_t(size) << shift_of(s);
	uint8_t* a = unit_at(s, h);
	uint8_t* b = unit_at(s, uint32_t(h + count - size));
	if (bytes == sizeof(Cell)) {
		for (Cell *x = reinterpret_cast<Cell*>(a), *y = reinterpret_cast<Cell*>(b); x < y; x++, y--) std::swap(*x, *y);
	} else {
		for (; a < b; a += bytes, b -= bytes) swap_bytes(a, b, bytes);
	}
	hash_reindex(series, h, uint32_t(count));
	if (owned) notify(series, words::w_reversed, h, count);
	return series;
}

Cell* take(Cell* series, const Cell* part, bool, bool last) {
	uint32_t h = clamp_head(series);
	uint32_t n = buffer_length(series);
	uint32_t remaining = n - h;
	if (remaining == 0) return push_none();
	int64_t count = 1;
	if (part) {
		if (cell::is(part, T_INTEGER))
			count = cell::get_integer(part);
		else if (!same_series(series, part))
			refine_error("part", part);
		else if (last)
			count = int64_t(n) - std::clamp<int64_t>(head_of(part), 0, n);
		else
			count = int64_t(head_of(part)) - h;
	}
	uint32_t start;
	if (count > 0) {
		if (count > remaining) count = remaining;
		start = last ? n - uint32_t(count) : h;
	} else {
		// A zero count takes nothing; a negative one takes the units just
		// before the head (never with /last).
		uint32_t m = count < 0 && !last ? uint32_t(std::min<int64_t>(-count, h)) : 0;
		if (m == 0) return push_empty_like(series);
		start = h - m;
		count = m;
	}
	bool owned = notify(series, words::w_take, start, count);
	if (owned) {
		n = buffer_length(series);
		if (start > n) start = n;
		if (count > n - start) count = n - start;
	}
	Node taken = memory::copy_part(series->data2, start, uint32_t(count));
	hash_unindex(series, start, uint32_t(count));
	close_gap(memory::buffer_of(series), start, uint32_t(count));
	hash_removed(series, start, uint32_t(count));
	// On the stack before the owner hears of it: its handler may collect.
	Cell* c = stack::alloc_slot();
	Type t = cell::type_of(series);
	cell::set(c, t, 0, taken, t == T_VECTOR ? series->data3 : 0);
	if (index_of(series)) hash_index_new(c);
	if (owned) notify(series, words::w_taken, start, count);
	return c;
}

Cell* copy(Cell* value, Cell* out, const Cell* part, bool, const Cell*) {
	int64_t h = clamp_head(value);
	int64_t n = buffer_length(value);
	int64_t start = h;
	int64_t count = n - h;
	if (part) {
		if (cell::is(part, T_PAIR)) {
			int64_t x = int32_t(part->data2);
			int64_t y = int32_t(part->data3);
			start = x < 0 ? h + x : h + x - 1;
			if (start < 0) start = 0;
			count = y < x ? 0 : y - x;
		} else {
			count = part_count(value, part);
		}
	}
	if (count < 0) {
		start += count;
		count = -count;
		if (start < 0) {
			count += start;
			start = 0;
		}
	}
	if (start > n) start = n;
	if (count > n - start) count = n - start;
	Node node = memory::copy_part(value->data2, uint32_t(start), uint32_t(count));
	uint32_t header = value->header & (TYPE_MASK | FLAG_NEW_LINE);
	cell::set(out, header, 0, node, cell::is(value, T_VECTOR) ? value->data3 : 0);
	return out;
}

Cell* random(Cell* series, bool seed, bool secure, bool only) {
	uint32_t h = clamp_head(series);
	uint32_t n = buffer_length(series);
	if (seed) {
		Series* s = memory::buffer_of(series);
		random::seed(int32_t(hash::murmur3(unit_at(s, h), size_t(s->tail_ptr() - unit_at(s, h)))));
		cell::make_unset(series);
		return series;
	}
	if (only) {
		if (h >= n) return push_none();
		return pick(series, random::rand_range(secure, int32_t(n - h)), nullptr);
	}
	if (h >= n) return series;
	bool owned = notify(series, words::w_random, h, n - h);
	if (owned) {
		h = clamp_head(series);
		n = buffer_length(series);
	}
	Series* s = memory::buffer_of(series);
	size_t unit = s->unit();
	for (uint32_t pos = h; pos < n; pos++) {
		uint32_t j = uint32_t(random::rand_range(secure, int32_t(n - pos))) - 1;
		if (j) swap_bytes(unit_at(s, pos), unit_at(s, pos + j), unit);
	}
	hash_reindex(series, h, n - h);
	if (owned) notify(series, words::w_randomized, h, n - h);
	return series;
}

Cell* reflect(Cell* series, uint32_t field) {
	if (!symbol::same_name(field, words::sym_owned)) errors::fire(errors::id::internal_not_done);
	Cell* owner = ownership::find_owner(series->data2);
	if (!owner) return push_none();
	// The owner object and its field word, as modify takes them.
	Cell* record = stack::alloc_slot();
	Node node = memory::alloc_cells(2);
	cell::set(record, T_BLOCK, 0, node, 0);
	Cell* cells = memory::series(node)->head_cell();
	cells[0] = owner[0];
	cells[1] = owner[1];
	memory::series(node)->tail += 2 * uint32_t(sizeof(Cell));
	return record;
}

Cell* modify(Cell* series, Cell* field, Cell* value, bool) {
	Type t = cell::type_of(field);
	if (t < T_WORD || t > T_ISSUE || !symbol::same_name(field->data2, words::sym_owned)) return value;
	if (cell::is(value, T_NONE)) {
		ownership::unbind(series);
	} else if (cell::is(value, T_BLOCK) && length(value) >= 2) {
		Cell record = *value;
		const Cell* cells = reinterpret_cast<Cell*>(unit_at(memory::buffer_of(&record), clamp_head(&record)));
		Cell owner = cells[0];
		Cell word = cells[1];
		ownership::bind(series, &owner, &word);
	}
	return value;
}

namespace {

// Units of one buffer into another; both values' types are movable.
void check_compatible(const Cell* origin, const Cell* target) {
	Type from = cell::type_of(origin);
	Type to = cell::type_of(target);
	bool raw_from = !any_block(from) && !any_string(from);
	bool raw_to = !any_block(to) && !any_string(to);
	uint32_t unit_from = memory::buffer_of(origin)->unit();
	uint32_t unit_to = memory::buffer_of(target)->unit();
	bool bad = any_block(from) != any_block(to) || ((raw_from || raw_to) && unit_from != unit_to);
	if (bad) {
		Cell a, b;
		datatype_cell(from, &a);
		datatype_cell(to, &b);
		errors::fire(errors::id::script_move_bad, &a, &b);
	}
}

void move_between(Cell* origin, uint32_t h, uint32_t count, Cell* target, uint32_t th) {
	Series* from = memory::buffer_of(origin);
	Series* to = memory::buffer_of(target);
	if (from->unit() > to->unit()) to = unicode::widen(to, from->unit());
	uint32_t unit_from = from->unit();
	uint32_t unit_to = to->unit();
	uint64_t needed = uint64_t(to->used()) + uint64_t(count) * unit_to;
	if (needed > to->size - to->head) to = reserve(to, needed * 2);
	to = open_gap(to, th, count);
	uint8_t* dst = unit_at(to, th);
	const uint8_t* src = unit_at(from, h);
	if (unit_from == unit_to)
		std::memcpy(dst, src, size_t(count) * unit_to);
	else
		for (uint32_t i = 0; i < count; i++)
			unicode::put_unit(dst + i * unit_to, unit_to, unicode::get_unit(src + i * unit_from, unit_from));
	close_gap(from, h, count);
}

// Answers where the moved units now start.
uint32_t move_within(Cell* origin, uint32_t h, uint32_t count, uint32_t th) {
	Series* s = memory::buffer_of(origin);
	uint32_t n = units(s);
	if (th < h) {
		std::rotate(unit_at(s, th), unit_at(s, h), unit_at(s, h + count));
		return th;
	}
	// The moved units land after the unit at the target (at the tail when
	// the target is the tail).
	uint32_t end = th == n ? n : th + 1;
	std::rotate(unit_at(s, h), unit_at(s, h + count), unit_at(s, end));
	return end - count;
}

// The target of a move within one buffer must not lie inside the moved range.
bool lands_inside(uint32_t h, uint32_t count, uint32_t th) { return th > h && th < h + count; }

}  // namespace

Cell* move(Cell* origin, Cell* target, const Cell* part) {
	if (!movable(cell::type_of(target))) expect_arg("move", "target", target);
	uint32_t h = clamp_head(origin);
	uint32_t remaining = buffer_length(origin) - h;
	if (remaining == 0) return target;
	int64_t count = 1;
	if (part) {
		if (!cell::is(part, T_INTEGER)) refine_error("part", part);
		count = cell::get_integer(part);
		if (count < 1) return target;
		if (count > remaining) count = remaining;
	}
	bool within = origin->data2 == target->data2;
	uint32_t th = clamp_head(target);
	if (within && th == h) return target;
	if (within && lands_inside(h, uint32_t(count), th)) errors::fire(errors::id::script_invalid_arg, target);
	if (!within) check_compatible(origin, target);
	bool owned_origin = notify(origin, words::w_move, h, count);
	bool owned_target = !within && notify(target, words::w_move, th, count);
	if (owned_origin || owned_target) {
		// The owners' handlers may have changed either series.
		h = clamp_head(origin);
		th = clamp_head(target);
		remaining = buffer_length(origin) - h;
		if (count > remaining) count = remaining;
		if (count == 0 || (within && (th == h || lands_inside(h, uint32_t(count), th)))) return target;
	}
	uint32_t landed = th;
	if (within) {
		landed = move_within(origin, h, uint32_t(count), th);
		if (Node table = index_of(origin)) hash::move(table, int32_t(landed), int32_t(h), int32_t(count));
	} else {
		hash_unindex(origin, h, uint32_t(count));
		move_between(origin, h, uint32_t(count), target, th);
		hash_removed(origin, h, uint32_t(count));
		hash_inserted(target, th, uint32_t(count));
	}
	if (owned_origin && !within) notify(origin, words::w_moved, h, count);
	if (within ? owned_origin : owned_target) notify(target, words::w_moved, landed, count);
	return target;
}

void init_type() {
	ActionRow row{};
	row.random = random;
	row.reflect = reflect;
	row.modify = modify;
	row.at = at;
	row.back = back;
	row.clear = clear;
	row.copy = copy;
	row.head = head;
	row.head_q = head_q;
	row.index_q = index_q;
	row.length_q = length_q;
	row.move = move;
	row.next = next;
	row.pick = pick;
	row.poke = poke;
	row.remove = remove;
	row.reverse = reverse;
	row.skip = skip;
	row.tail = tail;
	row.tail_q = tail_q;
	row.take = take;
	registry::register_type(T_SERIES, Type(0), "series!", row);
}

}  // namespace vyn::series
