// The library's routines: thin global functions whose bodies call into the
// runtime (process exit, quiet sets, shifts, directories, tuples from
// components, data-stack inspection, standard output).
#pragma once

#include <cstdint>

#include "runtime/datatypes/routine.h"

namespace vyn::routines {

// A routine: its global word, its spec block as source text, its entry.
struct Definition {
	const char* name;
	const char* spec;
	routine::Entry entry;
};

// Results of entries, in the frame's result slot.
void answer_logic(bool b);
void answer_integer(int64_t n);

// Makes the routine and sets its global word to it.
void define(const Definition& d);

// Defines every routine as a global word; run at start-up right after none,
// true and false exist and before the library's functions.
void define_all();

}  // namespace vyn::routines
