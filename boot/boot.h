// The runtime's start-up order and the program's top level.
#pragma once

namespace vyn::boot {

// Boots the runtime in its fixed order; safe to call once per process.
void init_runtime();

// The program: boots, runs the command line, answers the exit status.
int run(int argc, char** argv);

}  // namespace vyn::boot
