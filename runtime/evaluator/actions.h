// Action dispatch: the generic side of the 62 polymorphic actions.
//
// A stack form takes its arguments from the current frame (stack::arguments,
// argument i in cell i) and one refinement position per refinement of the
// action's spec (-1 when absent, else the cell index of its first argument),
// picks the implementation by the first argument's type (registry rows) and
// leaves the result in the frame's result slot.
#pragma once

#include <cstdint>

#include "runtime/cell.h"
#include "runtime/errors.h"
#include "runtime/evaluator/stack.h"
#include "runtime/registry.h"

namespace vyn::actions {

using StackForm = void (*)(const int32_t* refinements);

// Stack forms by slot (index slot - 1); slot 8 is null.
extern StackForm stack_forms[ACTION_COUNT];

void init();

// Fills `out` with the word of an action's first argument, for errors;
// installed once action values exist (none until then).
extern void (*first_argument_word)(Slot slot, Cell* out);
// Makes a global word from its name (for error arguments); installed with
// the symbol table.
extern void (*make_word)(const char* name, Cell* out);

[[noreturn]] void unsupported(const Cell* value, Slot slot);

// The implementation of a slot for a value's type, raising when unsupported.
template <typename Fn>
inline Fn get(const Cell* value, Slot slot) {
	void* e = registry::entry(cell::type_of(value), slot);
	if (!e) unsupported(value, slot);
	return reinterpret_cast<Fn>(e);
}

// The same, for a type given explicitly (make, to).
template <typename Fn>
inline Fn get_for_type(Type type, const Cell* value, Slot slot) {
	void* e = registry::entry(type, slot);
	if (!e) unsupported(value, slot);
	return reinterpret_cast<Fn>(e);
}

// Inner entries for runtime code, with values instead of stack positions.
int32_t form(const Cell* value, Cell* buffer, const Cell* arg, int32_t part);
int32_t mold(const Cell* value, Cell* buffer, bool only, bool all, bool flat, const Cell* arg,
	int32_t part, int32_t indent);
// The raw comparison: -1, 0, 1, or COMPARE_UNRELATED.
int32_t compare_raw(const Cell* value1, const Cell* value2, CompareOp op);
// The boolean of a comparison code 0-6, 9-12; raises invalid-compare when the
// values cannot be ordered.
bool compare(const Cell* value1, const Cell* value2, CompareOp op);
Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* gparent, Cell* previous,
	int32_t index, bool case_sensitive, bool get, bool last, bool notify);
Cell* copy(Cell* value, Cell* out, const Cell* part, bool deep, const Cell* types);
Cell* find(Cell* series, Cell* value, const Cell* part, bool only, bool case_sensitive, bool same,
	bool any, const Cell* with, const Cell* skip, bool last, bool reverse, bool tail, bool match);
Cell* pick(Cell* series, const Cell* index);
Cell* poke(Cell* series, const Cell* index, Cell* value);

// Compares the frame's first two cells by `op` and stores a logic! result.
void compare_on_stack(CompareOp op);

}  // namespace vyn::actions
