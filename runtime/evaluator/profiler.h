// The profiler's trace callback, system/tools/profiler, run in C++.
//
// The callback receives every call, prolog, epilog and return while a
// profile runs, so its Vyn body would cost many times the code profiled.
// The function keeps that body as the definition of what it does; this
// entry does the same work on the same blocks (system/tools/profiling,
// system/tools/fun-stk, its anon-count) and reads the same options. The
// interpreter hands it each event as it fires, with no call made; when the
// blocks hold anything the profiler itself would not have put there, the
// event goes to the body, which raises or copes as written. Times come from
// the tick clock.
#pragma once

namespace vyn::profiler {

// Gives system/tools/profiler its entry; skipped when the library has no
// such function.
void install();

}  // namespace vyn::profiler
