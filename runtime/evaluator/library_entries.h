// C++ entries for the hot library functions. Each function stays the
// function! its library source defines (spec and body shown by reflection,
// the body still the definition of what it does); the interpreter runs the
// entry instead of the body.
#pragma once

#include "runtime/datatypes/routine.h"

namespace vyn::library_entries {

// Gives each function its entry; run once the library's sources have run.
void install();

// Gives the global function `name` an entry (with a guard that may send a
// call to the body instead); a name the library does not define is skipped.
void give(const char* name, routine::Entry entry, routine::Guard guard = nullptr);
// The same for a function value found elsewhere.
void give_value(Cell* fn, routine::Entry entry, routine::Guard guard = nullptr);

}  // namespace vyn::library_entries
