// The runtime's start-up order and the program's top level.
#pragma once

namespace vyn::boot {

// Boots the runtime in its fixed order; safe to call once per process.
void init_runtime();

// The same up to the library: the runtime can load and serialise sources
// but none of the library is defined (the boot image builder's state).
void init_core();

// The program: boots, runs the command line, answers the exit status.
int run(int argc, char** argv);

}  // namespace vyn::boot
