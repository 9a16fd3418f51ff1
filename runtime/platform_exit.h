// How the process ends: runtime errors with their numbers, the handlers of
// processor faults and of the console interrupt, and the exit statuses.
//
// Exit statuses are 8 bits. The ones the runtime gives itself:
//   0    normal end, quiet quit
//   1-34 a processor fault, by its runtime error number (fault_error)
//   94   the C++ allocator failed ("out of memory")
//   95   a throw that no catch took
//   130  the console interrupt (SIGINT)
//   141  standard output's reader went away (EPIPE); nothing is reported
//   254  an error that nothing caught
#pragma once

#include <cstdint>

namespace vyn::platform {

constexpr int EXIT_UNCAUGHT_ERROR = 254;
constexpr int EXIT_UNCAUGHT_THROW = 95;
constexpr int EXIT_OUT_OF_MEMORY = 94;
constexpr int EXIT_INTERRUPTED = 130;
constexpr int EXIT_BROKEN_PIPE = 141;

// The message of a runtime error number ("access violation" for 1 ...);
// "unknown error code!" for a number without one.
const char* runtime_error_text(int code);

// The runtime error number of a processor fault: the signal, its si_code,
// and whether the faulting address lies in the stack's guard zone.
int fault_error(int signal, int si_code, bool in_stack_guard);

// The exit status for `quit/return`: the status's low 8 bits, except that a
// non-zero status whose low 8 bits are 0 gives 255 (0 would read as success).
int quit_status(int64_t status);

// Installs the process's handlers: processor faults (on an alternate signal
// stack, so a stack overflow is reported too), the console interrupt, a
// failing operator new; SIGPIPE is ignored, so a closed reader shows up as
// EPIPE on the write. Safe to call more than once.
void install_exit_handlers();

// Flushes standard output, writes "*** Runtime Error N: text" to standard
// error, and ends the process with status N.
[[noreturn]] void fatal_error(int code);

// Flushes standard output; ends the process quietly when its reader is gone.
void flush_stdout();

// After a failed write to standard output: ends the process quietly when
// the reader is gone (errno EPIPE), else returns.
void check_stdout_error(int error_number);

}  // namespace vyn::platform
