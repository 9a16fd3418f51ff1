// C++ entries of the series and text functions whose Vyn bodies would
// copy the tail once per match: replace (find mode on text and binary) and
// split. The library functions keep their bodies as their definitions.
#pragma once

namespace vyn::series_entries {

// Gives replace and split their entries (part of library_entries::install).
void install();

}  // namespace vyn::series_entries
