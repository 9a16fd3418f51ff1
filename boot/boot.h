// The runtime's start-up order and the program's top level.
#pragma once

namespace vyn::boot {

// The start-up's groups, in their fixed order.
struct BootStep {
	const char* name;
	void (*run)();
};
extern const BootStep boot_steps[];
extern const int boot_step_count;

// Boots the runtime: every step in order. Each call starts from an empty
// heap, so tests may boot again.
void init_runtime();

// The same up to the library: the runtime can load and serialise sources
// but none of the library is defined (the boot image builder's state).
void init_core();

// The program: boots, runs the command line, answers the exit status.
int run(int argc, char** argv);

}  // namespace vyn::boot
