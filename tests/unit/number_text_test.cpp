#include "runtime/number_text.h"

#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

using namespace vyn;

namespace {

constexpr double INF = std::numeric_limits<double>::infinity();
constexpr double DBL_MAX_ = std::numeric_limits<double>::max();

uint64_t bits(double d) { return std::bit_cast<uint64_t>(d); }
double from_bits(uint64_t b) { return std::bit_cast<double>(b); }

const double NaN = from_bits(0x7FF8000000000000u);

std::string form(double d, int count, bool dot_zero) {
	char buf[numconv::TEXT_CAPACITY];
	char* end = numconv::form_float(buf, d, count, dot_zero);
	return std::string(buf, end);
}

std::string mold(double d) { return form(d, 0, true); }

std::string general(double d, int precision) {
	char buf[numconv::TEXT_CAPACITY];
	char* end = numconv::form_general(buf, d, precision);
	return std::string(buf, end);
}

double read(std::string_view text, int extra = 0) {
	size_t rest = 12345;
	double d = numconv::decimal_to_float(text, extra, rest);
	EXPECT_EQ(rest, 0u) << text;
	return d;
}

// m x 5^k in decimal, for inputs that sit exactly on a rounding boundary.
std::string times_power_of_five(uint32_t m, int k) {
	std::vector<uint32_t> digits{m};  // least significant first, base 10
	for (int i = 0; i < k; i++) {
		uint32_t carry = 0;
		for (uint32_t& d : digits) {
			uint32_t v = d * 5 + carry;
			d = v % 10;
			carry = v / 10;
		}
		for (; carry; carry /= 10) digits.push_back(carry % 10);
	}
	std::string s;
	for (auto it = digits.rbegin(); it != digits.rend(); ++it) s += char('0' + *it);
	return s;
}

std::string minus_one(std::string s) {
	size_t i = s.size() - 1;
	for (; s[i] == '0'; i--) s[i] = '9';
	s[i]--;
	return s;
}

TEST(NumberText, MoldIsShortestWithDotZero) {
	struct Case {
		double value;
		const char* text;
	} cases[] = {
		{0.1, "0.1"},
		{1.0 / 3, "0.3333333333333333"},
		{0.1 + 0.2, "0.30000000000000004"},
		{5e-324, "5.0e-324"},
		{DBL_MAX_, "1.7976931348623157e308"},
		{2.2250738585072014e-308, "2.2250738585072014e-308"},
		{1.0, "1.0"},
		{100.0, "100.0"},
		{-2.5, "-2.5"},
		{123.456, "123.456"},
		// plain notation ends at decpt 17 and starts at decpt -6
		{1e16, "10000000000000000.0"},
		{1e16 + 2, "10000000000000002.0"},
		{99999999999999984.0, "99999999999999980.0"},
		{1e17, "1.0e17"},
		{1.5e17, "1.5e17"},
		{-1e17, "-1.0e17"},
		{123456789012345680000.0, "1.2345678901234568e20"},
		{1e-6, "0.000001"},
		{1e-7, "0.0000001"},
		{1.5e-7, "0.00000015"},
		{9.999999999999997e-07, "0.0000009999999999999997"},
		{1e-8, "1.0e-8"},
		{1.25e-8, "1.25e-8"},
		{-1e300, "-1.0e300"},
		{1e-300, "1.0e-300"},
		{0.0, "0.0"},
		{-0.0, "-0.0"},
		{INF, "1.#INF"},
		{-INF, "-1.#INF"},
		{NaN, "1.#NaN"},
		{from_bits(0xFFF8000000000001u), "1.#NaN"},
	};
	for (const Case& c : cases) EXPECT_EQ(mold(c.value), c.text) << bits(c.value);
}

TEST(NumberText, DigitCountRoundsHalfToEvenOnTheExactValue) {
	struct Case {
		double value;
		int count;
		bool dot_zero;
		const char* text;
	} cases[] = {
		{1.5, 6, false, "1.5"},
		{30.0, 6, false, "30"},
		{30.0, 6, true, "30.0"},
		{1.0 / 3, 6, false, "0.333333"},
		{59.9999999, 6, false, "60"},
		{1e-6, 6, false, "0.000001"},
		{1234567.0, 6, false, "1234570"},
		{2.5, 1, false, "2"},        // exact tie, even digit kept
		{3.5, 1, false, "4"},        // exact tie, odd digit rounded up
		{125.0, 2, false, "120"},    // integer tie
		{135.0, 2, false, "140"},
		{-125.0, 2, true, "-120.0"},
		{0.125, 2, false, "0.12"},
		{1.35, 2, false, "1.4"},     // 1.35 is slightly above 1.35, no tie
		{0.0, 6, false, "0"},
		{-0.0, 6, false, "-0"},
		{1e20, 6, false, "1e20"},    // no "." without the flag: reloads as written
		{1.5e20, 6, false, "1.5e20"},
		{1.2345678901234568e17, 3, true, "1.23e17"},
		{INF, 6, false, "1.#INF"},
		{0.1, 25, false, "0.1000000000000000055511151"},
		{0.1, 1000, false, "0.100000000000000005551115123126"},  // clamped to 30 digits
		{-5e-324, 1000, true, "-4.94065645841246544176568792868e-324"},
	};
	for (const Case& c : cases) {
		std::string text = form(c.value, c.count, c.dot_zero);
		EXPECT_EQ(text, c.text) << c.value << " count " << c.count;
		EXPECT_LE(text.size(), numconv::TEXT_CAPACITY);
	}
}

TEST(NumberText, DigitsReportDecptSignAndSpecials) {
	struct Case {
		double value;
		int count;
		bool dot_zero;
		const char* text;
		int decpt;
		bool negative;
	} cases[] = {
		{1.5, 0, true, "15", 1, false},
		{-0.001, 0, true, "1", -2, true},
		{100.0, 0, true, "1", 3, false},
		{2.0 / 3, 3, true, "667", 0, false},
		{9.96, 2, true, "1", 2, false},  // rounding carries into a new digit
		{INF, 0, true, "1.#INF", numconv::DECPT_SPECIAL, false},
		{-INF, 0, true, "-1.#INF", numconv::DECPT_SPECIAL, true},
		{NaN, 0, true, "1.#NaN", numconv::DECPT_SPECIAL, false},
		{-NaN, 0, true, "1.#NaN", numconv::DECPT_SPECIAL, true},
		{0.0, 0, true, "0.0", numconv::DECPT_ZERO, false},
		{0.0, 0, false, "0", numconv::DECPT_ZERO, false},
		{-0.0, 0, true, "-0.0", numconv::DECPT_ZERO, true},
		{-0.0, 6, false, "-0", numconv::DECPT_ZERO, true},
	};
	for (const Case& c : cases) {
		numconv::Digits d = numconv::float_to_digits(c.value, c.count, c.dot_zero);
		EXPECT_EQ(d.view(), c.text) << c.value;
		EXPECT_EQ(d.decpt, c.decpt) << c.value;
		EXPECT_EQ(d.negative, c.negative) << c.value;
	}
}

TEST(NumberText, ReadsNearestDoubleAndReportsTheRest) {
	struct Case {
		const char* text;
		int extra;
		double value;
		size_t rest;
	} cases[] = {
		{"0.1", 0, 0.1, 0},
		{"1.5x", 0, 1.5, 1},
		{"00012", 0, 12.0, 0},
		{"000", 0, 0.0, 0},
		{"+5", 0, 5.0, 0},
		{"1.", 0, 1.0, 0},
		{".5", 0, 0.5, 0},
		{"1E5", 0, 1e5, 0},
		{"1.e5", 0, 1e5, 0},
		{"-2.5e-3", 0, -0.0025, 0},
		{"1e", 0, 1.0, 1},
		{"1e+", 0, 1.0, 2},
		{"1e5.5", 0, 1e5, 2},
		{"1..2", 0, 1.0, 2},
		// nothing read: the whole text is left
		{"", 0, 0.0, 0},
		{"-", 0, -0.0, 1},
		{"+", 0, 0.0, 1},
		{".", 0, 0.0, 1},
		{"abc", 0, 0.0, 3},
		{"e5", 0, 0.0, 2},
		{"inf", 0, 0.0, 3},
		// special texts
		{"1.#INF", 0, INF, 0},
		{"-1.#INF", 0, -INF, 0},
		{"+1.#inf", 0, INF, 0},
		{"1.#NaN", 0, NaN, 0},
		{"-1.#nan", 0, NaN, 0},
		{"1.#INFx", 0, INF, 1},
		{"1.#X", 0, 1.0, 2},
		{"1.#IN", 0, 1.0, 3},
		{"12.#INF", 0, 12.0, 4},
		// ties go to the even mantissa
		{"9007199254740993", 0, 9007199254740992.0, 0},
		{"9007199254740995", 0, 9007199254740996.0, 0},
		{"9007199254740993.0000000001", 0, 9007199254740994.0, 0},
		{"2.2250738585072011e-308", 0, from_bits(0x000FFFFFFFFFFFFFu), 0},
		{"2.2250738585072012e-308", 0, from_bits(0x0010000000000000u), 0},
		// exact paths: one power, and a power split in two
		{"999999999999999e22", 0, 999999999999999e22, 0},
		{"123e30", 0, 123e30, 0},
		{"1e36", 0, 1e36, 0},
		{"1e37", 0, 1e37, 0},
		{"123456789012345678e-40", 0, 123456789012345678e-40, 0},
		// the range ends
		{"1.7976931348623157e308", 0, DBL_MAX_, 0},
		{"1.7976931348623158e308", 0, DBL_MAX_, 0},
		{"1.7976931348623159e308", 0, INF, 0},
		{"1e309", 0, INF, 0},
		{"-1e309", 0, -INF, 0},
		{"3e-324", 0, 5e-324, 0},
		{"2.4703282292062328e-324", 0, 5e-324, 0},
		{"2.4703282292062327e-324", 0, 0.0, 0},
		{"1e-400", 0, 0.0, 0},
		// overflow and underflow follow the whole number, not the exponent text
		{"0.001e310", 0, 1e307, 0},
		{"1000e-326", 0, 1e-323, 0},
		{"0.0000000001e318", 0, 1e308, 0},
		{"1e99999999999999999999999", 0, INF, 0},
		{"-1e99999999999999999999999", 0, -INF, 0},
		{"1e-99999999999999999999", 0, 0.0, 0},
		{"0e99999999999", 0, 0.0, 0},
		// the sign is kept: a negative zero and a negative underflow read as -0.0
		{"-0.0", 0, -0.0, 0},
		{"-0", 0, -0.0, 0},
		{"-1e-400", 0, -0.0, 0},
		// the caller's extra exponent
		{"50", -2, 0.5, 0},
		{"12.5", -2, 0.125, 0},
		{"-33", -2, -0.33, 0},
		{"1e310", -2, 1e308, 0},
		{"0.001e312", -2, 1e307, 0},
		{"1000e-324", -2, 1e-323, 0},
		{"1.7976931348623157e310", -2, DBL_MAX_, 0},
		{"1.7976931348623159e310", -2, INF, 0},
		{"2.4703282292062328e-322", -2, 5e-324, 0},
		{"-1e-400", -2, -0.0, 0},
		{"9007199254740993e2", -2, 9007199254740992.0, 0},
		{"-1.#INF", -2, -INF, 0},
		{"", -2, 0.0, 0},
		{"abc", -2, 0.0, 3},
		{"-.", -2, -0.0, 2},
		{"1e5.5", -2, 1e3, 2},
		{"1e", -2, 0.01, 1},
		{"--5", 0, -0.0, 3},
		{"+-5", 0, 0.0, 3},
		{"-inf", 0, -0.0, 4},
		{"0x10", 0, 0.0, 3},
		{"1", 400, INF, 0},
		{"1e-400", 400, 1.0, 0},
	};
	for (const Case& c : cases) {
		size_t rest = 12345;
		double d = numconv::decimal_to_float(c.text, c.extra, rest);
		EXPECT_EQ(bits(d), bits(c.value)) << '"' << c.text << "\" gives " << d;
		EXPECT_EQ(rest, c.rest) << '"' << c.text << '"';
	}
}

// Each text is read as written and, through the scaling path, with its
// exponent moved into the caller's extra exponent.
TEST(NumberText, ReadsLongTextsExactly) {
	std::string zeros(400, '0');
	std::string many_zeros(1000, '0');
	// 5 x 2^-1075 lies halfway between the subnormals 2 and 3 ulps, 7 x 2^-1075
	// halfway between 3 and 4: the exact decimal expansions have 750+ digits.
	std::string five = times_power_of_five(1, 1076);
	std::string seven = times_power_of_five(7, 1075);
	struct Case {
		std::string mantissa;
		int exponent;
		uint64_t bits;
	} cases[] = {
		{"0." + zeros + "1", 401, bits(1.0)},
		{"1" + zeros, -400, bits(1.0)},
		{"0." + zeros + zeros + "5", 800, bits(0.5)},
		{"9007199254740993" + many_zeros, 0, bits(INF)},
		{"9007199254740993" + many_zeros, -1000, bits(9007199254740992.0)},
		{"9007199254740993." + many_zeros + "1", 0, bits(9007199254740994.0)},
		{"9007199254740993" + many_zeros + "1", -1001, bits(9007199254740994.0)},
		{five, -1075, 2},
		{five + many_zeros, -2075, 2},
		{five + std::string(100, '0') + "1", -1176, 3},
		{minus_one(five), -1075, 2},
		{seven, -1075, 4},
		{minus_one(seven), -1075, 3},
		{minus_one(seven) + "9999", -1079, 3},
	};
	for (const Case& c : cases) {
		for (int extra : {0, -2, 7}) {
			std::string text = c.mantissa + "e" + std::to_string(c.exponent - extra);
			EXPECT_EQ(bits(read(text, extra)), c.bits)
				<< text.substr(0, 40) << "... (" << text.size() << " chars), extra " << extra;
		}
	}
}

TEST(NumberText, GeneralFormMatchesPrintfDigits) {
	struct Case {
		double value;
		int precision;
		const char* text;
	} cases[] = {
		{0.1 + 0.2, 16, "0.3"},
		{0.1 + 0.2, 17, "0.30000000000000004"},
		{1.0 / 3, 16, "0.3333333333333333"},
		{0.7 + 0.1, 16, "0.7999999999999999"},
		{1e20, 16, "1e20"},
		{1e-17, 16, "1e-17"},
		{1e100, 5, "1e100"},
		{1.5e-100, 14, "1.5e-100"},
		{100.0, 7, "100"},
		{1234567.0, 7, "1234567"},
		{123456789.0, 7, "1.234568e8"},
		{12345675.0, 7, "1.234568e7"},  // exact ties round half to even
		{12345665.0, 7, "1.234566e7"},
		{2.5, 1, "2"},
		{0.5, 0, "0.5"},
		{0.0001, 7, "0.0001"},
		{0.00001, 7, "1e-5"},
		{-0.0, 7, "-0"},
		{-1234.5, 13, "-1234.5"},
		{INF, 7, "1.#INF"},
		{-INF, 16, "-1.#INF"},
		{-NaN, 7, "1.#NaN"},
		{0.1, 1000, "0.100000000000000005551115123126"},
		{-1.2345678901234567e-300, 1000, "-1.2345678901234567567015816337e-300"},
	};
	for (const Case& c : cases) {
		std::string text = general(c.value, c.precision);
		EXPECT_EQ(text, c.text) << c.value << " precision " << c.precision;
		EXPECT_LE(text.size(), numconv::TEXT_CAPACITY);
	}
}

// Random bit patterns cover every exponent; each mold must reload, through
// our reader and an independent one, to the very same bits.
TEST(NumberText, MoldRoundTripsOneMillionRandomDoubles) {
	std::mt19937_64 rng(20240611);
	int failures = 0;
	for (int i = 0; i < 1000000 && failures < 10; i++) {
		double d = from_bits(rng());
		if (!std::isfinite(d)) continue;
		std::string text = mold(d);
		double back = read(text);
		double independent = 0;
		std::from_chars(text.data(), text.data() + text.size(), independent);
		if (bits(back) != bits(d) || bits(independent) != bits(d)) {
			ADD_FAILURE() << text << " from " << bits(d);
			failures++;
		}
	}
}

// One digit fewer than the mold never reads back as the same double.
TEST(NumberText, MoldDigitsAreShortest) {
	std::mt19937_64 rng(77);
	for (int i = 0; i < 100000; i++) {
		double d = from_bits(rng() & ~(uint64_t(1) << 63));
		if (!std::isfinite(d) || d == 0) continue;
		numconv::Digits shortest = numconv::float_to_digits(d, 0, true);
		if (shortest.length == 1) continue;
		std::string fewer = form(d, shortest.length - 1, false);
		ASSERT_NE(bits(read(fewer)), bits(d)) << mold(d) << " vs " << fewer;
	}
}

// Random texts read as written, and scaled by the caller's extra exponent,
// agree with each other and with an independent reader; what that reader
// finds out of range is 0 or infinite, by the magnitude of the whole number.
TEST(NumberText, ScaledReadingsAgreeWithAnIndependentReader) {
	std::mt19937_64 rng(5);
	for (int i = 0; i < 200000; i++) {
		int digits = int(rng() % 25) + 1;
		std::string mantissa;
		for (int k = 0; k < digits; k++) mantissa += char('0' + rng() % 10);
		if (rng() % 2) mantissa.insert(rng() % (mantissa.size() + 1), ".");
		int exponent = int(rng() % 670) - 350;
		int extra = int(rng() % 7) - 3;
		std::string text = mantissa + "e" + std::to_string(exponent);
		std::string shifted = mantissa + "e" + std::to_string(exponent - extra);
		double plain = read(text);
		ASSERT_EQ(bits(read(shifted, extra)), bits(plain)) << shifted << " extra " << extra;
		double expected = -1;
		auto r = std::from_chars(text.data(), text.data() + text.size(), expected);
		if (r.ec == std::errc()) {
			ASSERT_EQ(bits(plain), bits(expected)) << text;
			continue;
		}
		ASSERT_EQ(r.ec, std::errc::result_out_of_range) << text;
		size_t point = mantissa.find('.');
		size_t first = mantissa.find_first_not_of("0.");
		int mag = int(point == std::string::npos ? mantissa.size() : point) - int(first) - (first < point ? 1 : 0) + exponent;
		ASSERT_EQ(bits(plain), bits(mag >= 0 ? INF : 0.0)) << text;
	}
}

}  // namespace
