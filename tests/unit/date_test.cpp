#include <time.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>

#include "runtime/datatypes/date.h"
#include "tests/unit/scalar_support.h"

using namespace vyn;
using namespace vyn::test;

namespace {

class Date : public ScalarTest {
protected:
	void SetUp() override {
		ScalarTest::SetUp();
		date::init_type();
	}
};

Cell at(int32_t y, int32_t m, int32_t d, double local = 0, int32_t quarters = 0, bool with_time = false) {
	Cell c;
	date::make_at(&c, y, m, d, local, quarters, with_time);
	return c;
}

Cell scanned(const std::string& text) {
	Cell c;
	cell::make_none(&c);
	const uint8_t* p = reinterpret_cast<const uint8_t*>(text.data());
	if (!date::scan(p, p + text.size(), &c)) cell::make_none(&c);
	return c;
}

int64_t days_in_month(int64_t y, int64_t m) {
	static const int64_t days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
	return m == 2 && date::leap_year(int32_t(y)) ? 29 : days[m - 1];
}

// Walking the calendar one day at a time from 1 March of year -2000, the day
// number counts up by one and converts back to the same date, across
// leap days, century years and year 0.
TEST_F(Date, DayNumbersFollowTheProlepticCalendar) {
	int64_t expected = date::day_number(-2000, 3, 1);
	for (int64_t y = -2000; y <= 2400; y++) {
		for (int64_t m = (y == -2000 ? 3 : 1); m <= 12; m++) {
			for (int64_t d = 1; d <= days_in_month(y, m); d++, expected++) {
				ASSERT_EQ(date::day_number(y, m, d), expected) << y << "-" << m << "-" << d;
				uint32_t p = date::from_day_number(expected, 0);
				ASSERT_EQ(date::year_of(p), y);
				ASSERT_EQ(date::month_of(p), m);
				ASSERT_EQ(date::day_of(p), d);
			}
		}
	}
	EXPECT_EQ(date::day_number(0, 3, 1), 0);
	// Months and days roll over linearly.
	EXPECT_EQ(date::day_number(2024, 13, 1), date::day_number(2025, 1, 1));
	EXPECT_EQ(date::day_number(2024, 0, 31), date::day_number(2023, 12, 31));
	EXPECT_EQ(date::day_number(2024, 3, 0), date::day_number(2024, 2, 29));
	EXPECT_EQ(date::day_number(2024, -11, 1), date::day_number(2023, 1, 1));
}

// The C library's calendar fields are the reference for weekday, year
// day, ISO week (%V) and Sunday-based week (%U, counted from 1 here).
TEST_F(Date, WeekFieldsMatchTheCLibrary) {
	for (time_t t = -2208988800; t < 4102444800; t += 86400 * 3 + 3600) {
		tm parts{};
		ASSERT_TRUE(gmtime_r(&t, &parts));
		Cell d = at(parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday);
		char iso[8], sunday[8];
		strftime(iso, sizeof iso, "%V", &parts);
		strftime(sunday, sizeof sunday, "%U", &parts);
		int32_t jan1_sunday = (parts.tm_wday - parts.tm_yday % 7 + 7) % 7 == 0;
		Cell f;
		date::get_field(&d, date::F_WEEKDAY, &f);
		ASSERT_EQ(cell::get_integer(&f), parts.tm_wday == 0 ? 7 : parts.tm_wday) << t;
		date::get_field(&d, date::F_YEARDAY, &f);
		ASSERT_EQ(cell::get_integer(&f), parts.tm_yday + 1) << t;
		date::get_field(&d, date::F_ISOWEEK, &f);
		ASSERT_EQ(cell::get_integer(&f), std::stoi(iso)) << t;
		date::get_field(&d, date::F_WEEK, &f);
		ASSERT_EQ(cell::get_integer(&f), std::stoi(sunday) + (jan1_sunday ? 0 : 1)) << t;
	}
}

// Epoch seconds in both directions agree with gmtime, before and after
// 1970, and survive the round trip.
TEST_F(Date, EpochSecondsMatchGmtime) {
	std::mt19937_64 gen(7);
	std::uniform_int_distribution<int64_t> pick(-20000000000, 20000000000);
	for (int i = 0; i < 20000; i++) {
		int64_t s = i < 3 ? int64_t(i) - 1 : pick(gen);
		Cell d;
		date::from_epoch(&d, double(s));
		time_t t = time_t(s);
		tm parts{};
		ASSERT_TRUE(gmtime_r(&t, &parts));
		uint32_t p = date::packed_of(&d);
		ASSERT_EQ(date::year_of(p), parts.tm_year + 1900) << s;
		ASSERT_EQ(date::month_of(p), parts.tm_mon + 1) << s;
		ASSERT_EQ(date::day_of(p), parts.tm_mday) << s;
		ASSERT_EQ(date::time_of(&d), parts.tm_hour * 3600 + parts.tm_min * 60 + parts.tm_sec) << s;
		ASSERT_EQ(date::to_epoch(&d), double(s));
	}
}

// Normalisation keeps the instant and brings the local time into one day,
// for any zone, including times far outside the day and negative ones.
TEST_F(Date, NormalisationKeepsTheInstant) {
	std::mt19937_64 gen(11);
	std::uniform_real_distribution<double> times(-5e6, 5e6);
	std::uniform_int_distribution<int32_t> zones(-63, 63);
	double fixed[] = {0, -1, 86400, 86399.999999, -86400, -0.0000001, 3600 * 15.75, -3600 * 15.75, 1e9};
	for (int i = 0; i < 50000; i++) {
		int64_t n0 = 738000;
		double t = i < 9 ? fixed[i] : times(gen);
		int32_t z = zones(gen) * 900;
		int64_t n = n0;
		double u = t;
		date::normalize_time(n, u, z);
		ASSERT_GE(u + z, 0.0) << t << " " << z;
		ASSERT_LT(u + z, 86400.0) << t << " " << z;
		ASSERT_NEAR(double(n - n0) * 86400 + u, t, 1e-6) << t << " " << z;
	}
}

// Adding seconds or days moves the instant by exactly that much, in any
// zone, and keeps the date normalised.
TEST_F(Date, ArithmeticMovesTheInstant) {
	std::mt19937_64 gen(13);
	std::uniform_int_distribution<int64_t> days(date::day_number(1000, 1, 1), date::day_number(3000, 1, 1));
	std::uniform_int_distribution<int32_t> zones(-63, 63), seconds(0, 86399), deltas(-400000, 400000);
	for (int i = 0; i < 20000; i++) {
		int32_t q = zones(gen);
		Cell d;
		date::rebuild(&d, days(gen), seconds(gen) - q * 900.0, date::TIME_FLAG | date::zone_code(q));
		int32_t delta = deltas(gen);
		bool by_days = i % 4 == 0;
		Cell sum = op(i % 2 ? OP_ADD : OP_SUB, d, by_days ? I(delta / 1000) : T(delta));
		double moved = by_days ? (delta / 1000) * 86400.0 : double(delta);
		ASSERT_EQ(date::to_epoch(&sum), date::to_epoch(&d) + (i % 2 ? moved : -moved)) << mold(d) << " " << delta;
		ASSERT_EQ(date::zone_quarters(date::packed_of(&sum)), q);
		double local = date::time_of(&sum) + q * 900.0;
		ASSERT_TRUE(local >= 0 && local < 86400) << mold(sum);
	}
}

// The stored time is UTC: a date with a zone reads the same local fields
// as it was written with, and the packed layout holds what the header says.
TEST_F(Date, PackedLayoutAndLocalFields) {
	Cell d = at(2024, 1, 5, 3600 + 1800, -22, true);  // 1:30 at -5:30
	uint32_t p = date::packed_of(&d);
	EXPECT_EQ(p, uint32_t(2024) << 17 | date::TIME_FLAG | 1u << 12 | 5u << 7 | 0x40u | 5u << 2 | 2u);
	EXPECT_EQ(date::time_of(&d), 5400 + 19800);
	Cell f;
	date::get_field(&d, date::F_TIME, &f);
	EXPECT_EQ(time::get(&f), 5400);
	date::get_field(&d, date::F_ZONE, &f);
	EXPECT_EQ(time::get(&f), -19800);
	Cell neg = at(-44, 3, 15);
	EXPECT_EQ(date::year_of(date::packed_of(&neg)), -44);
	EXPECT_EQ(mold(neg), "15/Mar/-0044");
}

// Whatever date mold writes, the literal scanner reads back the same value.
TEST_F(Date, MoldedDatesScanBack) {
	std::mt19937_64 gen(5);
	std::uniform_int_distribution<int64_t> days(date::day_number(-9999, 1, 1), date::day_number(9999, 12, 31));
	std::uniform_int_distribution<int32_t> zones(-63, 63);
	std::uniform_int_distribution<int32_t> seconds(0, 86399);
	for (int i = 0; i < 3000; i++) {
		uint32_t keep = 0;
		double t = 0;
		if (i % 3) {
			int32_t q = zones(gen);
			keep = date::TIME_FLAG | date::zone_code(q);
			t = seconds(gen) + (i % 2 ? 0.25 : 0) - q * 900.0;
		}
		Cell d;
		date::rebuild(&d, days(gen), t, keep);
		std::string text = mold(d);
		Cell back = scanned(text);
		ASSERT_TRUE(cell::is(&back, T_DATE)) << text;
		ASSERT_EQ(date::packed_of(&back), date::packed_of(&d)) << text;
		ASSERT_EQ(date::time_of(&back), date::time_of(&d)) << text;
	}
}

TEST_F(Date, ScannerRefusesMalformedText) {
	const char* refused[] = {"", "1", "1-", "1-Jan", "1-Jan-", "1-Jan-2024-", "1-Ja-2024", "1-Janus-2024",
		"1-Januaryy-2024", "1-13-2024", "0-Jan-2024", "31-Apr-2024", "1-Jan-2024/", "1-Jan-2024/1",
		"1-Jan-2024/1:", "1-Jan-2024/1:2:", "1-Jan-2024/1:2:3.", "1-Jan-2024/123:00", "1-Jan-2024/1:2+",
		"1-Jan-2024/1:2+123", "1-Jan-2024/1:2+1:2", "1-Jan-2024/1:2+1:60", "1-Jan-2024/1:2Zx",
		"1-Jan-2024x", "1-Jan/2024", "1/Jan-2024", "2024-W00", "2024-W1", "2024-W01-0", "2024-W01-12",
		"20241T1000Z", "123456789T1000Z", "20240101T10Z", "20240101T1000", "20240101T100000+01",
		"20240101T100000+01:00", "20240101T1000001", "99999999999-1-1", "1-Jan-99999999999", "1-Jan--5",
		"5/Jan/--5", "1-Jan-2024/10:00:00.5.5", "2024-1000"};
	for (const char* text : refused) {
		Cell c = scanned(text);
		EXPECT_TRUE(cell::is(&c, T_NONE)) << text;
	}
}

// Dates are equal when their instants are; same? wants identical times.
TEST_F(Date, ComparesInstants) {
	struct Case {
		Cell a, b;
		CompareOp op;
		int32_t expected;
	} cases[] = {
		{at(2024, 1, 5, 1800, 4, true), at(2024, 1, 4, 84600, 0, true), COMP_EQUAL, 0},
		{at(2024, 1, 5, 36000, 8, true), at(2024, 1, 5, 32400, 4, true), COMP_STRICT_EQUAL, 0},
		{at(2024, 1, 5), at(2024, 1, 5, 0, 0, true), COMP_EQUAL, 0},
		{at(2024, 1, 5), at(2024, 1, 4, 86399, 0, true), COMP_LESSER, 1},
		{at(2024, 1, 5, 1800, 4, true), at(2024, 1, 4, 84600.5, 0, true), COMP_SORT, -1},
		{at(2024, 1, 5, 1, 0, true), at(2024, 1, 5, std::nextafter(1.0, 2.0), 0, true), COMP_EQUAL, 0},
		{at(2024, 1, 5, 1, 0, true), at(2024, 1, 5, std::nextafter(1.0, 2.0), 0, true), COMP_SAME, -1},
		{at(-100, 1, 1), at(100, 1, 1), COMP_LESSER, -1},
		{at(2024, 1, 5), I(5), COMP_EQUAL, COMPARE_UNRELATED},
	};
	for (const Case& c : cases) {
		EXPECT_EQ(registry::rows[T_DATE].compare(&c.a, &c.b, c.op), c.expected) << mold(c.a) << " " << mold(c.b);
	}
}

// An operation that would leave the packed year range raises type-limit
// and leaves the date as it was.
TEST_F(Date, OverflowRaisesAndKeepsTheDate) {
	Cell d = at(9999, 12, 31, 3600, 0, true);
	Cell before = d;
	Raised r = raised([&] { op(OP_ADD, d, I(2147483647)); });
	EXPECT_EQ(r.code, errors::id::script_type_limit.code());
	r = raised([&] { op(OP_ADD, d, T(1e300)); });
	EXPECT_EQ(r.code, errors::id::script_type_limit.code());
	r = raised([&] { op(OP_ADD, d, T(std::nan(""))); });
	EXPECT_EQ(r.code, errors::id::script_type_limit.code());
	Cell year = I(20000);
	r = raised([&] { date::set_field(&d, date::F_YEAR, &year); });
	EXPECT_EQ(r.code, errors::id::script_type_limit.code());
	EXPECT_EQ(std::memcmp(&d, &before, sizeof d), 0);
	Cell far = op(OP_ADD, at(1, 1, 1), I(5000000));
	EXPECT_EQ(date::year_of(date::packed_of(&far)), 13690);
}

// The zone of a block spec or a field set never wraps: 16 hours or more is
// refused, 15:45 either way is kept.
TEST_F(Date, ZonesBeyondFifteenHoursAreRefused) {
	int32_t q = 0;
	EXPECT_TRUE(date::zone_from_time(-(15 * 3600 + 45 * 60), q));
	EXPECT_EQ(q, -63);
	EXPECT_TRUE(date::zone_from_time(-1800, q));
	EXPECT_EQ(q, -2);
	EXPECT_TRUE(date::zone_from_hours(0, -30, q));
	EXPECT_EQ(q, -2);
	EXPECT_FALSE(date::zone_from_time(16 * 3600, q));
	EXPECT_FALSE(date::zone_from_time(-16 * 3600, q));
	EXPECT_FALSE(date::zone_from_hours(16, 0, q));
	EXPECT_FALSE(date::zone_from_hours(-17, 0, q));
	EXPECT_FALSE(date::zone_from_time(INFINITY, q));
	Cell d = at(2024, 1, 1, 0, 0, true);
	Cell zone = I(31);
	Raised r = raised([&] { date::set_field(&d, date::F_ZONE, &zone); });
	EXPECT_EQ(r.code, errors::id::script_invalid_arg.code());
	r = raised([&] { to(T_DATE, BLOCK({I(1), I(1), I(2024), T(0), T(57600)})); });
	EXPECT_EQ(r.code, errors::id::script_bad_to_arg.code());
}

}  // namespace
