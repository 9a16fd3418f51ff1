// block!: the series of value cells, and the raw accessors the rest of the
// runtime builds and walks blocks with.
//
// A block value (and every any-block: paren!, the paths, hash!): word 1 the
// head index in cells from the buffer's first cell (it may lie past the tail
// after the buffer was shortened through another value: accessors and
// actions pull it back first), word 2 the node of a buffer of unit 16,
// word 3 0 (a hash! keeps its table's node there).
//
// Raw accessors hand out cell addresses. They stay valid until the block's
// buffer grows or Vyn code runs (a safe point may move every buffer):
// re-derive them from the value afterwards.
//
// Deep walks (form, mold, compare, copy/deep, clone) keep the nodes they
// are inside of on the cycle stack (runtime/cycles.h), so a block that
// contains itself is met once: mold writes "[...]" for it, copy/deep raises
// internal no-cycle.
#pragma once

#include <cstdint>

#include "runtime/cell.h"
#include "runtime/datatypes/series.h"
#include "runtime/memory.h"
#include "runtime/registry.h"

namespace vyn::block {

// The cell the root block is made in (block::make_in with no parent).
extern Cell root;
// Raised by one while each cell of a block is molded; other molders read it.
extern int32_t mold_nesting;

inline Series* buffer(const Cell* b) { return memory::buffer_of(b); }

// Cells from the head index to the tail; negative when the head lies past it.
inline int32_t vs_length(const Cell* b) { return int32_t(buffer(b)->used() >> 4) - int32_t(b->data1); }
// Cells from the (clamped) head to the tail.
inline uint32_t length(Cell* b) { return series::length(b); }
// The head cell, after pulling the head index back into the buffer.
inline Cell* vs_head(Cell* b) { return buffer(b)->head_cell() + series::clamp_head(b); }
inline Cell* vs_tail(const Cell* b) { return buffer(b)->tail_cell(); }
inline bool vs_tail_q(Cell* b) { return vs_head(b) == vs_tail(b); }
// Cell n from the buffer's first cell, the head ignored.
inline Cell* vs_abs_at(const Cell* b, uint32_t n) { return buffer(b)->head_cell() + n; }
// Head + 1 when that does not pass the tail; answers whether the head is
// then at the tail.
inline bool advance(Cell* b) { return series::advance(b, 1); }

void clear_at_head(Cell* b);
void set_tail_at(Cell* b, uint32_t n);

// Builders.
Cell* make_at(Cell* out, int32_t capacity);
// Fixed: the buffer comes from the C heap and never moves; otherwise from
// the series frames, filled with unset! cells.
Cell* make_at_ex(Cell* out, int32_t capacity, bool fixed);
// A new empty block at the tail of `parent` (in `root` when parent is null);
// answers the new cell.
Cell* make_in(Cell* parent, int32_t capacity);
Cell* make_fixed_in(Cell* parent, int32_t capacity);
Cell* push(const Cell* b);
Cell* push_only(int32_t capacity);

// Appends a copy of a cell (which may lie in the block itself); answers the
// new tail cell.
Cell* append_value(Cell* b, const Cell* value);
void remove_last(Cell* b);
// Appends copies of the cells of `src` from its head (src may be b).
void append_cells(Cell* b, Cell* src);
// Inserts a copy of a cell at the head (at the buffer start with
// `at_start`), moving the rest up; with `advance_head` the head then moves
// past it. Answers the new cell.
Cell* insert_value(Cell* b, const Cell* value, bool at_start, bool advance_head);
// Inserts each cell of `src` at the head, moving the head past each.
void insert_cells(Cell* b, Cell* src);
// Stack helpers of compiled code: the frame's result slot inserted into (or
// appended to) the block in the slot before it, and the second slot
// appended to the block in the first.
void insert_result();
void append_result();
void append_second_arg();

// The cell after the first cell from the head equal to `value` (find
// matching); null when there is none or the match is the last cell.
Cell* select_value(Cell* b, const Cell* value);
// Removes the first cell equal to `value` (from the head, or from the buffer
// start with `from_start`). Answers 0 when none was found, 1 when the
// removed cell lay before the head index + 1, 2 when after it.
int remove_value(Cell* b, const Cell* value, bool from_start);

// The cell after the first word!, set-word!, lit-word! or get-word! cell
// from the head naming the same symbol as `word` (letter case ignored
// unless strict); null when absent or when that cell is the last one.
Cell* select_word(Cell* b, const Cell* word, bool strict);

// A new block of b's type holding copies of its cells from the head. With
// `deep`, nested block! cells are cloned too, and with `all_kinds` also
// paren! and path cells (never hash!). A block met inside itself raises
// internal no-cycle.
Cell* clone(const Cell* b, Cell* out, bool deep, bool all_kinds);
// copy/types: replaces each series, object, bitset, error or map cell of
// [from, end) (every `step`-th) whose type matches `types` (a typeset! or a
// datatype!) by its copy; with `deep` the copies get /deep and /types too.
void copy_nested(Cell* from, Cell* end, uint32_t step, bool deep, const Cell* types);

// True when a typeset! cell holds the type.
inline bool typeset_has(const Cell* typeset, Type t) {
	const auto* bytes = reinterpret_cast<const uint8_t*>(&typeset->data1);
	return (bytes[t >> 3] & (0x80 >> (t & 7))) != 0;
}

// The record comparators of sort (sorting.h): compare_records compares the
// cells of two records under a comparison code (u1) and the sort flags word
// (u2), ordering incomparable cells by type id; compare_call asks a
// function! through call_comparator, u1 being the data-stack index of the
// function.
int32_t compare_records(const void* a, const void* b, uint32_t code, uint32_t flags);
int32_t compare_call(const void* a, const void* b, uint32_t function_index, uint32_t flags);

// Calls a function! with two arguments for sort/compare and leaves its
// answer in `out`. The interpreter installs it: it opens a call frame named
// <compare-callback> in the function's context, passes the two values,
// pads the function's refinements and locals as unused, runs the body and
// closes the frame. Vyn code runs, so a collection may move every buffer:
// callers keep no buffer address across the call. An exit (break, return)
// comes back with errors::pending set; an error raises through it.
extern void (*call_comparator)(const Cell* function, const Cell* first, const Cell* second, Cell* out);

// Action implementations.
Cell* make(Cell* proto, Cell* spec, Type type);
Cell* to(Cell* proto, Cell* spec, Type type);
int32_t form(const Cell* value, Cell* buffer, const Cell* arg, int32_t part);
int32_t mold(const Cell* value, Cell* buffer, bool only, bool all, bool flat, const Cell* arg, int32_t part,
	int32_t indent);
// The cells of a block molded one after the other, with new-line flags and
// indentation; shared by every any-block molder that writes cells.
int32_t mold_each(const Cell* value, Cell* buffer, bool only, bool all, bool flat, const Cell* arg,
	int32_t part, int32_t indent);
int32_t compare(const Cell* value1, const Cell* value2, CompareOp op);
int32_t compare_each(const Cell* value1, const Cell* value2, CompareOp op);
Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* gparent, Cell* previous,
	int32_t index, bool case_sensitive, bool get, bool last, bool notify);
Cell* insert(Cell* series, Cell* value, int32_t part, bool only, int32_t dup, bool append);
Cell* change(Cell* series, Cell* value, int32_t part, bool only, int32_t dup);
Cell* copy(Cell* value, Cell* out, const Cell* part, bool deep, const Cell* types);
Cell* find(Cell* series, Cell* value, const Cell* part, bool only, bool case_sensitive, bool same, bool any,
	const Cell* with, const Cell* skip, bool last, bool reverse, bool tail, bool match);
Cell* select(Cell* series, Cell* value, const Cell* part, bool only, bool case_sensitive, bool same, bool any,
	const Cell* with, const Cell* skip, bool last, bool reverse);
Cell* sort(Cell* series, bool case_sensitive, const Cell* skip, const Cell* compare, const Cell* part, bool all,
	bool reverse, bool stable);
Cell* put(Cell* series, Cell* key, Cell* value, bool case_sensitive);
Cell* swap(Cell* series1, Cell* series2);
Cell* take(Cell* series, const Cell* part, bool deep, bool last);
Cell* trim(Cell* series, bool head, bool tail, bool automatic, bool lines, bool all, const Cell* with);

// The set operations on any-blocks (codes string::SET_UNIQUE ...
// SET_DIFFERENCE), record by record (records of `skip` cells, 1 without
// it; only a record's first cell is compared, letter case ignored unless
// case_sensitive; the first record with a key wins). The operands are the
// first two cells of the current frame; the result, a new block of the
// first operand's type (a hash! when either operand is one), replaces the
// first.
void do_set_op(int32_t op, bool case_sensitive, const Cell* skip);

// Registers block! (id 5, parent series!).
void init_type();

}  // namespace vyn::block
