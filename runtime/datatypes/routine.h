// routine! values: library functions whose body is a C++ function.
//
// A routine! cell has the function! layout (context, spec, more block); its
// more block holds: 0 the body (source or none), 1 the argument cache slot,
// 2 the entry as integer! (an index into the entry registry), 3 unused, 4 the
// return-type code as integer!. Header bit 0x8000 is the variant flag; bits
// 25-29 count the plain word! arguments of the spec.
//
// Scripts cannot make routines (`make routine!` is unsupported); the start-up
// registers each entry and pushes its value.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace vyn::routine {

// An entry reads its arguments from stack::arguments (one cell per spec
// argument, in order) and leaves its result with stack::set_result.
using Entry = void (*)();
// A guard reads the arguments as the entry would and tells whether the entry
// takes the call; a library function whose guard declines runs its body.
using Guard = bool (*)();

constexpr uint32_t FLAG_VARIANT = 0x8000;

// Adds an entry (with its guard, or none when it takes every call) to the
// registry; answers its index.
uint32_t register_entry(Entry entry, Guard guard = nullptr);

// Whether the entry of a function given one takes the call on the current frame.
bool takes(const Cell* fn);

// Makes the routine! value in `out` from a spec block, a body (or none), an
// entry index and a return-type code.
void push(const Cell* spec, const Cell* body, uint32_t entry, int32_t return_type, bool variant, Cell* out);

// The count of plain word! arguments kept in the header.
uint32_t get_flags(const Cell* routine);

// Runs the routine's entry on the arguments already in the frame.
void call(const Cell* routine);

}  // namespace vyn::routine
