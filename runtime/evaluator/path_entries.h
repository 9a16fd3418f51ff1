// C++ entries of clean-path and split-path for file! paths, the common
// case; URLs, strings, relative files and /only run the library's bodies,
// which stay the definition of what they do.
#pragma once

namespace vyn::path_entries {

// Gives clean-path and split-path their entries.
void install();

}  // namespace vyn::path_entries
