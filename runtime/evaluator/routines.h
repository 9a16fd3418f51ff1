// The library's routines: thin global functions whose bodies call into the
// runtime (process exit, quiet sets, shifts, directories, tuples from
// components, data-stack inspection, standard output).
#pragma once

#include "runtime/datatypes/routine.h"

namespace vyn::routines {

// Defines one routine as a global word from the text of its spec block.
void define(const char* name, const char* spec_text, routine::Entry entry);

// Defines every routine as a global word; run at start-up right after none,
// true and false exist and before the library's functions.
void define_all();

}  // namespace vyn::routines
