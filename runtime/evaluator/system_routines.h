// The routines the system object is built from: the object over the global
// context, the collector's getters, and the internal ones through which
// library/system.vyn reaches what the runtime holds (the error catalog, the
// currency list, the float flags, the build description, the user's home)
// and hands the runtime the parts of `system` it reads.
#pragma once

#include <string>

namespace vyn::system_routines {

// The directory at `dir`, made with mode 0700 when missing; "" unless it is
// a real directory (not a link) that belongs to us and that no one else may
// enter: a shared one would let another user plant the files that the
// download cache later runs.
std::string private_dir(const std::string& dir);

// Defines them as global words (routines::define_all calls it).
void define_all();

}  // namespace vyn::system_routines
