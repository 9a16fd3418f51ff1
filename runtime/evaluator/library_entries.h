// C++ entries for the hot library functions. Each function stays the
// function! its library source defines (spec and body shown by reflection,
// the body still the definition of what it does); the interpreter runs the
// entry instead of the body.
#pragma once

namespace vyn::library_entries {

// Gives each function its entry; run once the library's sources have run.
void install();

}  // namespace vyn::library_entries
