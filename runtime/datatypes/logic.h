// logic!: true and false, and the truth tests everything branches on.
//
// Cell: word 1 holds 0 (false) or 1 (true). Every logic value is a copy of
// constants::true_cell or constants::false_cell.
// Truth: none and false are false, every other value is true (0, "" and []
// included); an unset value in a condition is an error where a test says so.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace vyn::logic {

inline bool get(const Cell* value) { return value->data1 != 0; }
inline bool is_false(const Cell* value) {
	Type t = cell::type_of(value);
	return t == T_NONE || (t == T_LOGIC && value->data1 == 0);
}

Cell* box(bool b);   // the result slot
Cell* push(bool b);
Cell* make_in(const Cell* block, bool b);

// Truth of a value; with `check`, unset raises no-value naming `argument`.
bool value_true(const Cell* value, bool check, const Cell* argument);
// Truth of the result slot; unset raises no-return.
bool condition_true();
// The result slot holds none or false (no unset check).
bool result_false();
// Truth of the stack top, or of the result slot when nothing lies above it.
bool top_true();

void init_type();

}  // namespace vyn::logic
