#include <gtest/gtest.h>
#include <time.h>

#include <cstdint>

#include "runtime/evaluator/tick_clock.h"

using namespace vyn;

namespace {

int64_t system_ns() {
	timespec t{};
	clock_gettime(CLOCK_REALTIME, &t);
	return int64_t(t.tv_sec) * 1000000000 + t.tv_nsec;
}

// Reads from the ticks lie between system reads taken around them (give or
// take the extrapolation's slack) and never go back, both while the rate is
// still being measured and well after; a wait shows in full.
TEST(TickClock, FollowsTheSystemClockAndNeverGoesBack) {
	constexpr int64_t SLACK = 50000;  // ns
	int64_t last = tick_clock::now_ns();
	int64_t first = last;
	int64_t reads = 0;
	while (last - first < 30000000) {
		int64_t before = system_ns();
		int64_t now = tick_clock::now_ns();
		int64_t after = system_ns();
		ASSERT_GE(now, last) << "after " << reads << " reads";
		ASSERT_GE(now, before - SLACK) << "after " << reads << " reads";
		ASSERT_LE(now, after + SLACK) << "after " << reads << " reads";
		last = now;
		reads++;
	}
	timespec pause{0, 20000000};
	nanosleep(&pause, nullptr);
	EXPECT_GE(tick_clock::now_ns() - last, 20000000 - SLACK);
}

}  // namespace
