// The runtime's own API for native code running on the data stack: argument
// type checks, word and context-slot access with the value checks, run-time
// refinements, path evaluation from a list of elements, the lookup behind a
// compiled switch, loading one value from text, and range-checked integer
// conversion.
//
// The success paths are a few loads and one test; the errors are built only
// on failure. Arguments are named through stack::get_call, so a function
// that fails a check reports its own name (<not-found> outside any frame).
#pragma once

#include <cstdint>

#include "runtime/cell.h"
#include "runtime/evaluator/stack.h"

namespace vyn::compiled {

// A typeset! holds type t when bit 0x80 >> (t & 7) of byte t >> 3 of its
// payload (words 1-3) is set.
inline bool typeset_has(const Cell* typeset, Type t) {
	const auto* bytes = reinterpret_cast<const uint8_t*>(&typeset->data1);
	return (bytes[t >> 3] & (0x80 >> (t & 7))) != 0;
}

[[noreturn]] void raise_bad_make_arg(const Cell* type, const Cell* spec);
// expect-arg for argument `index` (counted from 0) of the current call.
[[noreturn]] void raise_expect_arg(int32_t index, const Cell* value);

inline Cell* check_arg_type(const Cell* typeset, int32_t index, Cell* value) {
	if (!typeset_has(typeset, cell::type_of(value))) raise_expect_arg(index, value);
	return value;
}
// Checks the frame's cell at `position`; -1 (refinement absent) checks nothing.
inline void check_arg_at(int32_t position, const Cell* typeset, int32_t index) {
	if (position >= 0) check_arg_type(typeset, index, stack::arguments + position);
}
// Checks the value only when the refinement is in use.
inline Cell* check_opt_arg_type(const Cell* refinement, const Cell* typeset, int32_t index, Cell* value) {
	if (refinement->data1 != 0) check_arg_type(typeset, index, value);
	return value;
}
inline Cell* check_arg_unset(int32_t index, Cell* value) {
	if (cell::is(value, T_UNSET)) raise_expect_arg(index, value);
	return value;
}

// The word's value cell; unset! raises no-value.
Cell* get_word(Cell* word);
// Stores the data stack's top cell into the word; unset! raises
// need-value. The stack is left as it is (the reset form then empties the
// frame: top = arguments).
void set_word(Cell* word);
void set_word_reset(Cell* word);
// The same into value slot `index` of a context; answers the slot.
Cell* set_ctx_value(Node ctx, uint32_t index);
Cell* set_ctx_value_reset(Node ctx, uint32_t index);
// An object field: marks it assigned (even when the value is the same),
// copies the top cell into the heap value slot and empties the frame; no
// unset! check.
void set_member(Node ctx, uint32_t index);
// The address of value slot `index`; a context without values raises
// not-defined.
Cell* ctx_value_slot(Node ctx, uint32_t index);

// A refinement chosen at run time: when `value` is true, the refinement's
// cell at arguments + position is switched on; otherwise its `count`
// argument cells after it become none.
void set_refinement(const Cell* value, int32_t position, int32_t count);

// A refinement of an action or native called with run-time refinements:
// its value, its ordinal in the callee's refinement list (from 1), the
// position of its first argument and its number of arguments.
struct Refinement {
	const Cell* value;
	int32_t ordinal;
	int32_t position;
	int32_t count;
};
// Calls native slot `index` (with the check flag) or action slot `index`
// (both 1-based) with `refinement_count` refinement positions decided by
// the records; the arguments are in the open frame.
void call_with_refinements(uint32_t index, bool native, uint32_t refinement_count, const Refinement* records,
	uint32_t record_count);

// Evaluates a path given as its elements (head first); for a set-path the
// value to store is the frame's result slot. The final value becomes the
// frame's result.
void eval_path(bool set, const Cell* path, const Cell* elements, uint32_t count);

// The value at arguments looked up in the block at the next cell, by step 1
// (`step1`) or 2. The result (none when there is no match or nothing follows
// it) is the value after the match, or with `block_body` the first block!
// after it; it is pushed (step1) or becomes the frame's result.
void switch_lookup(bool step1, bool block_body);

// One value loaded from the text of a string from its head, into
// `destination` and answered: unset! when the text holds no value, none
// when text is left after the first value. The result form loads into the
// frame's result slot.
Cell* load_value(Cell* destination, Cell* string);
inline Cell* load_value_result(Cell* string) { return load_value(stack::arguments, string); }

// The 32-bit integer of an integer! or float! (truncated toward zero); out
// of range or NaN raises out-of-range.
int32_t to_int_checked(const Cell* value);

}  // namespace vyn::compiled
