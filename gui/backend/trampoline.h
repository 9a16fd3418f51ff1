// The one way from a C frame (a GLib source, a GTK signal) into Vyn code.
//
// No language exit may cross a C library frame. An error, a throw, a quit
// or a break/return that escapes the called function has already unwound
// the Vyn stacks to its target when it reaches us: it is caught here and
// kept, the C code returns normally, and the Vyn caller that entered the C
// library (the event loop, send-event) raises it again once the C library
// has returned. Until then no Vyn code runs.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace vyn::trampoline {

// Calls the function with the arguments; its result goes to `out`. False
// when an exit escaped (it is kept; see escaped()).
bool call(const Cell* fn, const Cell* args, uint32_t count, Cell* out);

// Runs C++ code that may reach Vyn code (a paint running a draw block)
// under the same catch; false when an exit escaped (it is kept).
bool run(void (*body)(void* data), void* data);

// True when an exit is kept and not raised again yet.
bool escaped();
// Raises the kept exit again (a pending break/return is left to unwind);
// nothing when none is kept.
void resume();

}  // namespace vyn::trampoline
