// The event loop on the GLib main loop, and the rate timers.
//
// Waiting loops nest: each waiting run is one level, ended by a quit
// request (exit-event-loop, or a window owning a loop closed by an event).
// A quit ends exactly the innermost level; the exit counter carries the
// quits still owed to outer levels when an event closed several owning
// windows at once. The counter never goes below 0: a loop ended by
// exit-event-loop owes nothing to the outer ones.
#pragma once

#include <cstdint>

namespace vyn::backend {
struct View;
}

namespace vyn::event_loop {

// Runs the loop. no_wait: handles at most one pending source (or takes a
// pending quit) and answers whether there was one; else runs until a quit
// ends this level and answers whether anything was handled.
bool run(bool no_wait);
// Asks the innermost waiting loop to end (several requests before it next
// looks make one).
void quit();
// A window that owned a waiting loop was destroyed: one more running loop
// must end once the current event returns (nothing when every running loop
// is already owed its exit).
void owner_closed();

// Starts, changes or (period 0) stops the view's rate timer; periods are
// clamped to 10 ms at least.
void set_timer(backend::View& view, uint32_t period_ms);

// The loop counters, for tests.
int32_t loop_count();
int32_t exit_count();
int32_t depth();

}  // namespace vyn::event_loop
