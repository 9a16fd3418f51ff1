#include "runtime/platform.h"

#include <pthread.h>
#include <sched.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <memory>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#endif

namespace vyn::platform {

namespace {

constexpr int64_t DAY_SECONDS = 86400;
constexpr int64_t QUARTER_SECONDS = 900;
// Beyond this a sleep is as good as forever (about 31,000 years).
constexpr double MAX_WAIT_MS = 1e15;

}  // namespace

// Linux needs nothing here: the standard streams take UTF-8 as they are,
// OpenSSL initialises itself on first use, and there is no graphics or
// component runtime to start.
void init() {}

std::string get_current_dir() {
	std::string path(256, '\0');
	for (;;) {
		if (getcwd(path.data(), path.size())) {
			path.resize(std::char_traits<char>::length(path.c_str()));
			return path;
		}
		if (errno != ERANGE) return {};
		path.resize(path.size() * 2);
	}
}

bool set_current_dir(const char* path) { return chdir(path) == 0; }

bool set_env(const char* name, const char* value) {
	if (!value) return unset_env(name);
	return setenv(name, value, 1) == 0;
}

bool unset_env(const char* name) { return unsetenv(name) == 0; }

std::optional<std::string> get_env(const char* name) {
	const char* value = std::getenv(name);
	if (!value) return std::nullopt;
	return std::string(value);
}

uint64_t wait_milliseconds(double seconds) {
	double ms = seconds * 1000.0;
	if (!(ms >= 1.0)) return 1;  // NaN fails every comparison
	if (ms > MAX_WAIT_MS) ms = MAX_WAIT_MS;
	return uint64_t(ms);
}

void (*after_wait)() = nullptr;

void wait(double seconds) {
	uint64_t ms = wait_milliseconds(seconds);
	timespec left{time_t(ms / 1000), long(ms % 1000) * 1000000L};
	// A signal cuts a sleep short: sleep on for what is left.
	while (nanosleep(&left, &left) != 0 && errno == EINTR) {
	}
}

timespec read_clock() {
	timespec now{};
	clock_gettime(CLOCK_REALTIME, &now);
	return now;
}

double time_of_day(const timespec& now, bool precise) {
	int64_t seconds = int64_t(now.tv_sec) % DAY_SECONDS;
	if (seconds < 0) seconds += DAY_SECONDS;  // instants before 1970
	double t = double(seconds);
	if (precise) t += double(now.tv_nsec) / 1e9;
	return t;
}

double get_time(bool precise) { return time_of_day(read_clock(), precise); }

uint32_t zone_code(int64_t offset_seconds) {
	uint32_t sign = offset_seconds < 0 ? 0x40u : 0u;
	uint64_t magnitude = offset_seconds < 0 ? 0 - uint64_t(offset_seconds) : uint64_t(offset_seconds);
	uint64_t quarters = magnitude / QUARTER_SECONDS;
	if (quarters > 63) quarters = 63;  // 15:45, beyond any real zone
	return sign | uint32_t(quarters);  // hours * 4 + quarters: bits 2-5 and 0-1
}

uint32_t pack_date(int32_t year, int32_t month, int32_t day, uint32_t zone) {
	return (uint32_t(year) & 0x7FFFu) << 17 | (uint32_t(month) & 0x1Fu) << 12 | (uint32_t(day) & 0x1Fu) << 7 |
		(zone & 0x7Fu);
}

uint32_t date_of(const timespec& now, bool utc) {
	tm parts{};
	time_t t = now.tv_sec;
	if (utc ? !gmtime_r(&t, &parts) : !localtime_r(&t, &parts)) return 0;
	uint32_t zone = utc ? 0 : zone_code(parts.tm_gmtoff);
	return pack_date(parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday, zone);
}

uint32_t get_date(bool utc) { return date_of(read_clock(), utc); }

struct Thread {
	pthread_t id;
	bool ended;  // joined: exit_code is final
	int32_t exit_code;
};

namespace {

struct Start {
	ThreadEntry entry;
	void* argument;
};

#if defined(__SANITIZE_ADDRESS__)
// A cancelled thread unwinds without the sanitizer seeing its frames go:
// their poison must be cleared before anything reuses that stack.
void unpoison_dead_frames(void*) {
	uintptr_t low = 0;
	size_t size = 0;
	if (!thread_stack(&low, &size)) return;
	char here;
	__asan_unpoison_memory_region(reinterpret_cast<void*>(low), size_t(reinterpret_cast<uintptr_t>(&here) - low));
}
#endif

void* run_thread(void* start) {
	Start s = *static_cast<Start*>(start);
	delete static_cast<Start*>(start);
#if defined(__SANITIZE_ADDRESS__)
	void* result;
	pthread_cleanup_push(unpoison_dead_frames, nullptr);
	result = reinterpret_cast<void*>(intptr_t(s.entry(s.argument)));
	pthread_cleanup_pop(0);
	return result;
#else
	return reinterpret_cast<void*>(intptr_t(s.entry(s.argument)));
#endif
}

// A cancelled thread ends with PTHREAD_CANCELED, which reads as -1.
int32_t exit_code_of(void* result) {
	if (result == PTHREAD_CANCELED) return -1;
	return int32_t(reinterpret_cast<intptr_t>(result));
}

}  // namespace

Thread* start_thread(ThreadEntry entry, void* argument, size_t stack_size) {
	pthread_attr_t attr;
	if (pthread_attr_init(&attr) != 0) return nullptr;
	if (stack_size) {
		long page = sysconf(_SC_PAGESIZE);
		size_t rounded = (stack_size + size_t(page) - 1) & ~(size_t(page) - 1);
		if (rounded < size_t(PTHREAD_STACK_MIN)) rounded = PTHREAD_STACK_MIN;
		pthread_attr_setstacksize(&attr, rounded);
	}
	auto thread = std::make_unique<Thread>(Thread{});
	auto* start = new Start{entry, argument};
	int failed = pthread_create(&thread->id, &attr, run_thread, start);
	pthread_attr_destroy(&attr);
	if (failed) {
		delete start;
		return nullptr;
	}
	return thread.release();
}

void close_thread(Thread* thread) {
	if (!thread) return;
	if (!thread->ended) pthread_detach(thread->id);
	delete thread;
}

bool terminate_thread(Thread* thread) { return thread && !thread->ended && pthread_cancel(thread->id) == 0; }

void end_thread(int32_t exit_code) { pthread_exit(reinterpret_cast<void*>(intptr_t(exit_code))); }

int32_t wait_thread(Thread* thread, uint32_t timeout_ms, int32_t* exit_code) {
	if (!thread) return -1;
	if (!thread->ended) {
		void* result = nullptr;
		int failed;
		if (timeout_ms == WAIT_FOREVER) {
			failed = pthread_join(thread->id, &result);
		} else {
			timespec until = read_clock();
			until.tv_sec += time_t(timeout_ms / 1000);
			until.tv_nsec += long(timeout_ms % 1000) * 1000000L;
			if (until.tv_nsec >= 1000000000L) {
				until.tv_sec++;
				until.tv_nsec -= 1000000000L;
			}
			failed = pthread_timedjoin_np(thread->id, &result, &until);
		}
		if (failed == ETIMEDOUT) return 0;
		if (failed) return -1;
		thread->ended = true;
		thread->exit_code = exit_code_of(result);
	}
	if (exit_code) *exit_code = thread->exit_code;
	return 1;
}

bool thread_stack(uintptr_t* low, size_t* size) {
	pthread_attr_t attr;
	if (pthread_getattr_np(pthread_self(), &attr) != 0) return false;
	void* base = nullptr;
	pthread_attr_getstack(&attr, &base, size);
	pthread_attr_destroy(&attr);
	*low = reinterpret_cast<uintptr_t>(base);
	return true;
}

uint64_t current_thread_id() { return uint64_t(gettid()); }

void yield_thread() { sched_yield(); }

}  // namespace vyn::platform
