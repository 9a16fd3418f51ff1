// The real-time clock read from the processor's tick counter.
//
// The profiler reads the clock at every profiled call, where a system clock
// read costs about as much as the call. Ticks cost a fraction of that; the
// system clock is still read at least once a millisecond of ticks, and on
// processors whose ticks do not run at one steady rate on every core, always.
#pragma once

#include <cstdint>

namespace vyn::tick_clock {

// Nanoseconds since the epoch. Within a millisecond of a system read the
// value is extrapolated from the ticks; it never goes back by less than a
// millisecond (a step of the system clock is followed).
int64_t now_ns();

// Whether the ticks are in use rather than the system clock alone.
bool ticking();

}  // namespace vyn::tick_clock
