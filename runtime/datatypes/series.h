// series!: the abstract parent of every series type, and the actions that
// work on any series buffer by its unit size alone (positioning, queries,
// pick/poke, clear, remove, reverse, take, copy, move).
//
// A series value: word 1 the head index (signed, in units from the buffer's
// first unit; it may lie past the tail after the buffer was shortened through
// another value), word 2 the buffer's node, word 3 the type's own (0 for
// blocks and strings, the element type for vector!, the table for hash!).
// Every action first pulls the head back into 0..units (clamp_head).
//
// Units are 1, 2 or 4 bytes for text and bytes, 4 or 8 for vectors and
// images, 16 for cells; a unit is always a power of two, so positions turn
// into byte offsets by a shift.
//
// Types that need more (a block's deep copy, a string's widening) override a
// slot and call the routine here as their first step.
#pragma once

#include <cstdint>

#include "runtime/cell.h"
#include "runtime/memory.h"
#include "runtime/registry.h"

namespace vyn::series {

// Type groups.
inline bool any_block(Type t) {
	return t == T_BLOCK || t == T_PAREN || t == T_HASH || (t >= T_PATH && t <= T_GET_PATH);
}
inline bool any_string(Type t) {
	return (t >= T_STRING && t <= T_URL) || t == T_TAG || t == T_EMAIL || t == T_REF;
}
// The types whose values hold a series buffer that actions may move units of.
inline bool movable(Type t) {
	return any_block(t) || any_string(t) || t == T_BINARY || t == T_VECTOR || t == T_IMAGE;
}
inline bool any_block(const Cell* v) { return any_block(cell::type_of(v)); }

inline uint32_t shift_of(const Series* s) { return uint32_t(__builtin_ctz(s->unit())); }
// Units from the buffer's first unit to its tail.
inline uint32_t units(const Series* s) { return s->used() >> shift_of(s); }
inline uint32_t buffer_length(const Cell* v) { return units(memory::buffer_of(v)); }
inline uint8_t* unit_at(Series* s, uint32_t index) { return s->head_ptr() + (size_t(index) << shift_of(s)); }

// Pulls the head index back into 0..units (the value is updated); answers it.
inline uint32_t clamp_head(Cell* v) {
	uint32_t n = buffer_length(v);
	int32_t h = int32_t(v->data1);
	if (h < 0)
		v->data1 = 0;
	else if (uint32_t(h) > n)
		v->data1 = n;
	return v->data1;
}
inline int32_t head_of(const Cell* v) { return int32_t(v->data1); }

// True when the head is at or past the tail.
inline bool vs_tail_q(const Cell* v) { return head_of(v) >= int32_t(buffer_length(v)); }

// Units from the head (or from the buffer start) to the tail; a head past
// the tail is pulled back to it first, answering 0.
uint32_t length(Cell* v, bool from_start = false);

// Moves the head forward by n units when that does not pass the tail;
// answers whether the head is then at or past the tail.
bool advance(Cell* v, int32_t n);

// The new head of `at` (at = true) or `skip` for the argument, clamped to
// 0..units; a non-integer raises invalid-arg.
uint32_t index_arg(Cell* v, const Cell* arg, bool at);

// Same type and same buffer: a /part position inside the series.
inline bool same_series(const Cell* a, const Cell* b) {
	return cell::type_of(a) == cell::type_of(b) && a->data2 == b->data2;
}

// The /part count of remove, reverse, take and copy: an integer!, or a
// position of the same series (its head minus the series' head); anything
// else raises invalid-refine-arg with /part.
int64_t part_count(const Cell* series, const Cell* part);

// What sort works on once its refinements are checked, shared by blocks and
// byte series: `count` units from `head` in records of `size` units (count a
// multiple of size), and the sort flags word (sorting.h). A negative /part
// sorts the units before the head, as many as there are: the series' head
// moves back to the first of them, never below the buffer's start. An empty
// range sorts nothing and checks nothing more (count 0). Errors:
// invalid-refine-arg for a bad /part, for /skip below 1, not dividing the
// count or above it, and for a /compare neither function! nor integer!;
// bad-refines for /all without /skip and for an integer /compare with /all or
// without /skip; out-of-range for an integer /compare outside 1..size.
struct SortSpan {
	uint32_t head;
	uint32_t count;
	uint32_t size;
	uint32_t flags;
	bool by_function;  // /compare with a function!
	uint32_t records() const { return count / size; }
};
SortSpan sort_span(Cell* series, const Cell* skip, const Cell* compare, const Cell* part, bool all, bool reverse);

// Raises script invalid-refine-arg with the refinement (named without its
// slash) and the argument.
[[noreturn]] void refine_error(const char* refinement, const Cell* arg);
// Raises script expect-arg for an action's argument of the wrong type.
[[noreturn]] void expect_arg(const char* action, const char* argument, const Cell* value);
// Fills `out` with a word or refinement made from a name, none before the
// symbol table exists.
void word_named(const char* name, Type type, Cell* out);

// Tells the owner object of an owned series about a change of it
// (ownership::check), with the action word before the change and its
// past-tense word after it, the index and the part of the change, and the
// new value when there is one. Answers whether the series is owned, so that
// the second call is made only then. The owner's handler runs Vyn code: a
// collection may move every buffer and the handler may change the series, so
// callers re-read positions and addresses after the first call.
bool notify(const Cell* series, const Cell* action, int64_t index, int64_t part, const Cell* value = nullptr);

// Grows a buffer so that `bytes` fit from its first unit; answers it (it may
// have moved; its node follows). Raises internal no-memory past 32 bits.
Series* reserve(Series* s, uint64_t bytes);

// Opens a gap of `count` units at unit `at` (moving the units after it up)
// or closes one (removing `count` units at `at`).
Series* open_gap(Series* s, uint32_t at, uint32_t count);
void close_gap(Series* s, uint32_t at, uint32_t count);

// The index of a hash! (a kind 0 hash table over its cells, in word 3)
// follows every change of its block. Each answers at once for other types.
//  - hash_unindex before `count` cells at `pos` leave the block;
//  - hash_removed after they left (the positions behind them move down);
//  - hash_inserted after `count` cells were put at `pos`;
//  - hash_reindex after cells in [pos, pos + count) changed places or values.
// A shift of too many positions rebuilds the whole index instead.
void hash_unindex(const Cell* series, uint32_t pos, uint32_t count);
void hash_removed(const Cell* series, uint32_t pos, uint32_t count);
void hash_inserted(const Cell* series, uint32_t pos, uint32_t count);
void hash_reindex(const Cell* series, uint32_t pos, uint32_t count);
// After the block changed throughout: the index is made again from all cells.
void hash_rebuild(const Cell* series);
// A new index over a hash! value's cells from its head, in word 3.
void hash_index_new(Cell* value);

// Row entries, for types that override a slot and run these first.
Cell* at();
Cell* back();
Cell* head();
Cell* head_q();
Cell* index_q();
Cell* next();
Cell* skip();
Cell* tail();
Cell* tail_q();
int32_t length_q(Cell* v);
Cell* pick(Cell* series, int32_t index, const Cell* boxed);
Cell* poke(Cell* series, int32_t index, const Cell* boxed, Cell* value);
Cell* clear(Cell* series);
Cell* remove(Cell* series, const Cell* part, const Cell* key);
Cell* reverse(Cell* series, const Cell* part, const Cell* skip);
// Answers a new series of the taken units pushed on the data stack (one unit
// without /part), or a pushed none when no unit is left from the head.
Cell* take(Cell* series, const Cell* part, bool deep, bool last);
Cell* copy(Cell* value, Cell* out, const Cell* part, bool deep, const Cell* types);
Cell* move(Cell* origin, Cell* target, const Cell* part);
// reflect of the field owned: a block [owner-object field-word], or none
// when the series has no owner; any other field raises internal not-done.
Cell* reflect(Cell* series, uint32_t field);
// modify of the field owned: none releases the series from its owner,
// deeply; a block [owner-object field-word] makes it owned by that field.
// Other fields change nothing. The value is the result.
Cell* modify(Cell* series, Cell* field, Cell* value, bool case_sensitive);
// Shuffles from the head; /only answers one unit drawn from the head to the
// tail; /seed seeds the generator from the units' bytes and answers unset.
Cell* random(Cell* series, bool seed, bool secure, bool only);

// Registers series! (id 42, no parent).
void init_type();

// The position of a pick or poke index: head + n - 1 for n >= 1, head + n for
// n <= -1; -1 for n = 0 or a position outside the buffer.
int64_t pick_position(Cell* series, int32_t index);

// Element access of the vector! type, which the series actions use for
// vectors; installed by the vector module (a vector value cannot exist before).
struct VectorHooks {
	// Pushes the element at `element` as a value of the vector's element type.
	Cell* (*push_value)(const Cell* vector, const uint8_t* element);
	// Writes a value of the element type into the element.
	void (*set_value)(const Cell* value, uint8_t* element, uint32_t width);
	// Makes `out` a block! of the vector's elements from its head.
	void (*to_block)(const Cell* vector, Cell* out);
};
extern VectorHooks vector_hooks;

}  // namespace vyn::series
