#include "runtime/platform.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

using namespace vyn;

namespace {

TEST(Platform, WaitBelowOneMillisecondSleepsOne) {
	auto start = std::chrono::steady_clock::now();
	platform::wait(0.0001);
	auto slept = std::chrono::steady_clock::now() - start;
	EXPECT_GE(slept, std::chrono::milliseconds(1));
}

TEST(Platform, WaitTruncatesToWholeMillisecondsAndAtLeastOne) {
	const double inf = std::numeric_limits<double>::infinity();
	struct Case {
		double seconds;
		uint64_t ms;
	} cases[] = {
		{0.0001, 1}, {0.0, 1}, {-5.0, 1}, {-inf, 1}, {std::nan(""), 1}, {0.0019, 1},
		{0.0025, 2}, {0.25, 250}, {2.0, 2000}, {inf, 1000000000000000},
	};
	for (const Case& c : cases) EXPECT_EQ(platform::wait_milliseconds(c.seconds), c.ms) << c.seconds;
}

TEST(Platform, ZoneCodePacksSignHoursAndQuarters) {
	struct Case {
		int64_t offset;  // seconds east of UTC
		uint32_t code;
	} cases[] = {
		{0, 0},
		{-(5 * 3600 + 30 * 60), 0x40 | 5 << 2 | 2},  // 5:30 west
		{5 * 3600 + 30 * 60, 5 << 2 | 2},
		{5 * 3600 + 45 * 60, 5 << 2 | 3},
		{3600, 1 << 2},
		{-12 * 3600, 0x40 | 12 << 2},
		{14 * 3600, 14 << 2},
		{-(4 * 3600 + 56 * 60 + 2), 0x40 | 4 << 2 | 3},  // not a quarter: truncated
		{-899, 0x40},
		{40 * 3600, 15 << 2 | 3},  // beyond any zone: held at 15:45
		{std::numeric_limits<int64_t>::min(), 0x40 | 15 << 2 | 3},
	};
	for (const Case& c : cases) EXPECT_EQ(platform::zone_code(c.offset), c.code) << c.offset;
}

// Sets TZ for the test's duration.
class Zone {
public:
	explicit Zone(const char* tz) {
		const char* old = std::getenv("TZ");
		had = old != nullptr;
		if (had) saved = old;
		setenv("TZ", tz, 1);
		tzset();
	}
	~Zone() {
		if (had)
			setenv("TZ", saved.c_str(), 1);
		else
			unsetenv("TZ");
		tzset();
	}

private:
	bool had = false;
	std::string saved;
};

uint32_t packed(uint32_t year, uint32_t month, uint32_t day, uint32_t zone) {
	return year << 17 | month << 12 | day << 7 | zone;
}

TEST(Platform, DateOfOneReadingInUtcAndLocalTime) {
	const timespec leap_day_noon{1709208000, 0};   // 2024-02-29 12:00:00 UTC
	const timespec march_first{1709258400, 0};     // 2024-03-01 02:00:00 UTC
	struct Case {
		const char* tz;
		timespec at;
		bool utc;
		uint32_t date;
	} cases[] = {
		{"UTC0", leap_day_noon, true, packed(2024, 2, 29, 0)},
		{"<-0530>5:30", leap_day_noon, true, packed(2024, 2, 29, 0)},
		{"<-0530>5:30", leap_day_noon, false, packed(2024, 2, 29, 0x40 | 5 << 2 | 2)},
		{"<-0530>5:30", march_first, false, packed(2024, 2, 29, 0x40 | 5 << 2 | 2)},  // still the 29th there
		{"<+0545>-5:45", march_first, false, packed(2024, 3, 1, 5 << 2 | 3)},
		{"UTC0", {0, 0}, false, packed(1970, 1, 1, 0)},
		{"UTC0", {-1, 0}, true, packed(1969, 12, 31, 0)},
	};
	for (const Case& c : cases) {
		Zone zone(c.tz);
		EXPECT_EQ(platform::date_of(c.at, c.utc), c.date) << c.tz << " " << c.at.tv_sec << " utc " << c.utc;
	}
}

TEST(Platform, LocalDateCarriesTheZoneOfTheMoment) {
	Zone zone("<-0530>5:30");
	EXPECT_EQ(platform::get_date(false) & 0x7F, 0x40u | 5 << 2 | 2);
	EXPECT_EQ(platform::get_date(true) & 0x7F, 0u);
	EXPECT_GE(platform::get_date(true) >> 17, 2024u);
}

TEST(Platform, TimeOfDayIsSecondsSinceMidnightUtc) {
	struct Case {
		timespec at;
		bool precise;
		double seconds;
	} cases[] = {
		{{1709164800 + 3661, 500000000}, false, 3661.0},  // 2024-02-29 01:01:01.5 UTC
		{{1709164800 + 3661, 500000000}, true, 3661.5},
		{{1709164800 - 1, 999999999}, true, 86399.999999999},
		{{-1, 0}, false, 86399.0},
		{{0, 0}, true, 0.0},
	};
	for (const Case& c : cases)
		EXPECT_DOUBLE_EQ(platform::time_of_day(c.at, c.precise), c.seconds) << c.at.tv_sec;
	double now = platform::get_time(true);
	EXPECT_GE(now, 0.0);
	EXPECT_LT(now, 86400.0);
}

TEST(Platform, CurrentDirectoryRoundTripsIncludingLongPaths) {
	std::string start = platform::get_current_dir();
	ASSERT_FALSE(start.empty());
	char pattern[] = "/tmp/vyn-cwd-XXXXXX";
	ASSERT_NE(mkdtemp(pattern), nullptr);
	std::string deep = pattern;
	// Deeper than the first buffer tried, so the answer has to grow.
	for (int i = 0; i < 12; i++) {
		deep += "/" + std::string(40, char('a' + i));
		ASSERT_EQ(mkdir(deep.c_str(), 0700), 0);
	}
	ASSERT_TRUE(platform::set_current_dir(deep.c_str()));
	EXPECT_EQ(platform::get_current_dir(), deep);
	EXPECT_FALSE(platform::set_current_dir("/no/such/directory/here"));
	EXPECT_EQ(platform::get_current_dir(), deep);
	ASSERT_TRUE(platform::set_current_dir(start.c_str()));
	EXPECT_EQ(platform::get_current_dir(), start);
	for (int i = 11; i >= 0; i--) {
		rmdir(deep.c_str());
		deep.resize(deep.rfind('/'));
	}
	rmdir(pattern);
}

TEST(Platform, CurrentDirectoryThatWasRemovedReadsEmpty) {
	std::string start = platform::get_current_dir();
	char pattern[] = "/tmp/vyn-gone-XXXXXX";
	ASSERT_NE(mkdtemp(pattern), nullptr);
	ASSERT_TRUE(platform::set_current_dir(pattern));
	rmdir(pattern);
	EXPECT_EQ(platform::get_current_dir(), "");
	ASSERT_TRUE(platform::set_current_dir(start.c_str()));
}

TEST(Platform, EnvironmentSetGetAndRemove) {
	const char* name = "VYN_PLATFORM_TEST_VAR";
	EXPECT_TRUE(platform::set_env(name, "héllo=1"));
	EXPECT_EQ(platform::get_env(name), "héllo=1");
	EXPECT_TRUE(platform::set_env(name, ""));
	EXPECT_EQ(platform::get_env(name), "");  // set but empty is not unset
	EXPECT_TRUE(platform::set_env(name, nullptr));
	EXPECT_EQ(platform::get_env(name), std::nullopt);
	EXPECT_TRUE(platform::set_env(name, "x"));
	EXPECT_TRUE(platform::unset_env(name));
	EXPECT_EQ(platform::get_env(name), std::nullopt);
	for (const char* bad : {"", "A=B"}) EXPECT_FALSE(platform::set_env(bad, "v")) << '"' << bad << '"';
}

std::atomic<bool> go{false};

int32_t answer(void* argument) { return *static_cast<int32_t*>(argument); }
int32_t wait_for_go(void*) {
	while (!go.load()) platform::yield_thread();
	return 3;
}
int32_t sleep_forever(void*) {
	for (;;) platform::wait(0.01);
}
int32_t end_early(void*) { platform::end_thread(5); }

TEST(Platform, ThreadsRunWaitAndEnd) {
	struct Case {
		platform::ThreadEntry entry;
		int32_t code;
	} cases[] = {{answer, 7}, {end_early, 5}};
	int32_t seven = 7;
	for (const Case& c : cases) {
		platform::Thread* t = platform::start_thread(c.entry, &seven, 64 * 1024);
		ASSERT_NE(t, nullptr);
		int32_t code = 0;
		EXPECT_EQ(platform::wait_thread(t, platform::WAIT_FOREVER, &code), 1);
		EXPECT_EQ(code, c.code);
		code = 0;
		EXPECT_EQ(platform::wait_thread(t, 0, &code), 1);  // an ended thread answers again
		EXPECT_EQ(code, c.code);
		platform::close_thread(t);
	}
}

TEST(Platform, ThreadWaitTimesOutThenSeesTheEnd) {
	go = false;
	platform::Thread* t = platform::start_thread(wait_for_go, nullptr, 0);
	ASSERT_NE(t, nullptr);
	EXPECT_EQ(platform::wait_thread(t, 5, nullptr), 0);
	go = true;
	int32_t code = 0;
	EXPECT_EQ(platform::wait_thread(t, platform::WAIT_FOREVER, &code), 1);
	EXPECT_EQ(code, 3);
	platform::close_thread(t);
	EXPECT_NE(platform::current_thread_id(), 0u);
	EXPECT_EQ(platform::wait_thread(nullptr, 0, nullptr), -1);
}

TEST(Platform, TerminatedThreadEndsWithMinusOne) {
	platform::Thread* t = platform::start_thread(sleep_forever, nullptr, 0);
	ASSERT_NE(t, nullptr);
	EXPECT_TRUE(platform::terminate_thread(t));
	int32_t code = 0;
	EXPECT_EQ(platform::wait_thread(t, platform::WAIT_FOREVER, &code), 1);
	EXPECT_EQ(code, -1);
	EXPECT_FALSE(platform::terminate_thread(t));
	platform::close_thread(t);
}

}  // namespace
