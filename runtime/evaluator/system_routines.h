// The routines the system object is built from: the object over the global
// context, the collector's getters, and the internal ones through which
// library/system.vyn reaches what the runtime holds (the error catalog, the
// currency list, the float flags, the build description, the user's home)
// and hands the runtime the parts of `system` it reads.
#pragma once

namespace vyn::system_routines {

// Defines them as global words (routines::define_all calls it).
void define_all();

}  // namespace vyn::system_routines
