// C++ entries for the GUI engine's hottest script functions: the face
// template's change handler, whose quick facet path then costs no
// evaluation, and do-safe, which every event function and actor runs under.
// Their bodies stay the definitions and run whenever a guard declines.
#pragma once

namespace vyn::engine_entries {

// Gives face!/on-change* and do-safe their entries; a function the library
// does not define is skipped.
void install();

}  // namespace vyn::engine_entries
