// Thin wrappers over the operating system: current directory, environment,
// sleeping, the clock, and threads for compiled code.
//
// Text is UTF-8 throughout. Each clock function reads the clock once; the
// inner functions that take a reading (or a zone offset) let `now` build a
// date and a time from one reading, and let tests fix the instant.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>

namespace vyn::platform {

// Process set-up the runtime needs before anything else runs.
void init();

// The current directory; empty when it cannot be read (it was removed).
// Its byte length is the string's size.
std::string get_current_dir();
bool set_current_dir(const char* path);

// A null value removes the variable. False when the name is refused.
bool set_env(const char* name, const char* value);
bool unset_env(const char* name);
// The variable's value, or nothing when it is not set.
std::optional<std::string> get_env(const char* name);

// Sleeps seconds x 1000 milliseconds, truncated, at least 1 millisecond
// (also for 0, negatives and NaN).
void wait(double seconds);
// The sleep wait() takes for a number of seconds, in milliseconds.
uint64_t wait_milliseconds(double seconds);
// Run by the `wait` native after its sleep: the GUI's event loop, once and
// without waiting, so that pending timers and window events are handled.
// Null until the GUI backend sets it.
extern void (*after_wait)();

// Wall-clock time, one reading.
timespec read_clock();

// Seconds since midnight UTC; with `precise`, the fraction of the second too.
double get_time(bool precise);
double time_of_day(const timespec& now, bool precise);

// The date packed as year << 17 | month << 12 | day << 7 | zone; the zone is
// 0 with `utc`, else the local offset east of UTC (zone_code).
uint32_t get_date(bool utc);
uint32_t date_of(const timespec& now, bool utc);
uint32_t pack_date(int32_t year, int32_t month, int32_t day, uint32_t zone);
// An offset east of UTC in seconds as 7 bits: bit 6 the sign (west), bits
// 2-5 whole hours, bits 0-1 remaining quarter hours (truncated).
uint32_t zone_code(int64_t offset_seconds);

// Threads. The program starts none; compiled code may.
struct Thread;
using ThreadEntry = int32_t (*)(void* argument);
constexpr uint32_t WAIT_FOREVER = 0xFFFFFFFFu;

// Null when the thread could not be started. A stack size of 0 takes the default.
Thread* start_thread(ThreadEntry entry, void* argument, size_t stack_size);
// Lets go of the handle; a thread still running goes on, detached.
void close_thread(Thread* thread);
// Asks the thread to stop at its next cancellation point; its exit code is -1.
bool terminate_thread(Thread* thread);
[[noreturn]] void end_thread(int32_t exit_code);
// 1 when the thread has ended (its code in `exit_code` when not null),
// 0 when the time ran out, -1 on failure.
int32_t wait_thread(Thread* thread, uint32_t timeout_ms, int32_t* exit_code);
uint64_t current_thread_id();
// The calling thread's stack: its lowest address and its size; false when
// they cannot be read.
bool thread_stack(uintptr_t* low, size_t* size);
void yield_thread();

}  // namespace vyn::platform
