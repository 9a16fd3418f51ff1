#include "runtime/evaluator/tick_clock.h"

#include <cstdio>
#include <cstring>
#include <ctime>

#if defined(__x86_64__)
#include <cpuid.h>
#include <x86intrin.h>
#endif

namespace vyn::tick_clock {

namespace {

constexpr int64_t INTERVAL_NS = 1000000;
// A system read takes well under a microsecond: more ticks than this (a few
// microseconds at the slowest tick rates) mean the process was put aside.
constexpr uint64_t MAX_READ_TICKS = 4000;

struct State {
	bool checked = false;
	bool usable = false;
	// The rate's baseline: ticks against the monotonic clock, which no
	// setting of the date moves.
	uint64_t base_tick = 0;
	int64_t base_mono = 0;
	// The last system read and the ticks at it.
	uint64_t anchor_tick = 0;
	int64_t anchor_real = 0;
	double ns_per_tick = 0;
	uint64_t interval_ticks = 0;  // 0 until the rate is known
	uint64_t quickest = 0;        // ticks of the quickest system read seen
	int64_t last = INT64_MIN;
};
State s;

int64_t read_ns(clockid_t id) {
	timespec t{};
	clock_gettime(id, &t);
	return int64_t(t.tv_sec) * 1000000000 + t.tv_nsec;
}

#if defined(__x86_64__)
inline uint64_t ticks() { return __rdtsc(); }

// Ticks at a steady rate through sleep states and frequency changes, and the
// kernel itself keeps time by them (so the cores agree).
bool steady_ticks() {
	unsigned a, b, c, d;
	if (!__get_cpuid(0x80000007, &a, &b, &c, &d) || !(d & (1u << 8))) return false;
	FILE* f = std::fopen("/sys/devices/system/clocksource/clocksource0/current_clocksource", "r");
	if (!f) return false;
	char name[32] = {};
	bool tsc = std::fgets(name, sizeof name, f) && std::strncmp(name, "tsc", 3) == 0;
	std::fclose(f);
	return tsc;
}
#else
inline uint64_t ticks() { return 0; }
bool steady_ticks() { return false; }
#endif

// Reads the system clock and takes its instant as the new anchor; the rate
// is measured over all the ticks since the baseline, which starts again when
// the rate it gives strays (a suspend, a migration). A read that took long
// (the process was put aside during it) answers the time but is not trusted
// with the anchor or the rate, the first one included.
int64_t reanchor() {
	uint64_t t0 = ticks();
	int64_t real = read_ns(CLOCK_REALTIME);
	uint64_t t1 = ticks();
	int64_t mono = read_ns(CLOCK_MONOTONIC);
	uint64_t t2 = ticks();
	if (t1 < t0 || t2 < t1) {
		s.base_tick = 0;
		s.interval_ticks = 0;
		return real;
	}
	uint64_t span = t1 - t0 > t2 - t1 ? t1 - t0 : t2 - t1;
	if (s.quickest == 0 || span < s.quickest) s.quickest = span > 0 ? span : 1;
	if (span > 4 * s.quickest || span > MAX_READ_TICKS) return real;
	uint64_t at = t1 + (t2 - t1) / 2;  // the monotonic read's instant
	bool restart = s.base_tick == 0 || at <= s.base_tick;
	if (!restart && mono - s.base_mono >= INTERVAL_NS) {
		double rate = double(mono - s.base_mono) / double(at - s.base_tick);
		if (s.ns_per_tick > 0 && (rate > s.ns_per_tick * 1.01 || rate < s.ns_per_tick * 0.99)) {
			restart = true;
			s.interval_ticks = 0;
		} else {
			s.ns_per_tick = rate;
			s.interval_ticks = uint64_t(double(INTERVAL_NS) / rate);
		}
	}
	if (restart) {
		s.base_tick = at;
		s.base_mono = mono;
	}
	s.anchor_tick = t0 + (t1 - t0) / 2;
	s.anchor_real = real;
	return real;
}

}  // namespace

bool ticking() {
	if (!s.checked) {
		s.usable = steady_ticks();
		s.checked = true;
	}
	return s.usable;
}

int64_t now_ns() {
	if (!s.checked) ticking();
	if (!s.usable) return read_ns(CLOCK_REALTIME);
	uint64_t t = ticks();
	int64_t v;
	if (s.interval_ticks && t >= s.anchor_tick && t - s.anchor_tick < s.interval_ticks)
		v = s.anchor_real + int64_t(double(t - s.anchor_tick) * s.ns_per_tick);
	else
		v = reanchor();
	// An extrapolation and the next read may disagree by a little.
	if (v < s.last && s.last - v < INTERVAL_NS) v = s.last;
	s.last = v;
	return v;
}

}  // namespace vyn::tick_clock
