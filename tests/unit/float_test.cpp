#include <bit>
#include <cfloat>
#include <cmath>
#include <limits>
#include <random>

#include "tests/unit/scalar_support.h"

using namespace vyn;
using namespace vyn::test;

namespace {

class Float : public ScalarTest {};

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr double INF = std::numeric_limits<double>::infinity();

uint64_t bits(double d) { return std::bit_cast<uint64_t>(d); }

// n units in the last place away from d.
double ulps(double d, int64_t n) { return std::bit_cast<double>(uint64_t(int64_t(bits(d)) + n)); }

TEST_F(Float, FormTrimsNoiseWhenPretty) {
	struct Case {
		double d;
		const char* pretty;
		const char* plain;
	} cases[] = {
		{0.1, "0.1", "0.1"},
		{1.0, "1.0", "1.0"},
		{100.0, "100.0", "100.0"},
		{1e20, "1.0e20", "1.0e20"},
		{1e16, "1.0e16", "1.0e16"},
		{1.0 / 3, "0.3333333333333333", "0.3333333333333333"},
		{0.1 + 0.2, "0.3", "0.3"},
		{0.7 + 0.1, "0.8", "0.7999999999999999"},
		{-(0.7 + 0.1), "-0.8", "-0.7999999999999999"},
		{1e-17, "0.0", "1.0e-17"},
		{-0.0, "0.0", "-0.0"},
		{1.1e-7, "1.1e-7", "1.1e-7"},
		{123456.789, "123456.789", "123456.789"},
		{1.2345678901234567e20, "1.234567890123457e20", "1.234567890123457e20"},
		{INF, "1.#INF", "1.#INF"},
		{-INF, "-1.#INF", "-1.#INF"},
		{NaN, "1.#NaN", "1.#NaN"},
	};
	for (const Case& c : cases) {
		float_::pretty = true;
		EXPECT_EQ(form(F(c.d)), c.pretty) << c.plain;
		float_::pretty = false;
		EXPECT_EQ(form(F(c.d)), c.plain);
	}
	float_::pretty = true;
}

TEST_F(Float, MoldIsShortestAndReloads) {
	struct Case {
		double d;
		const char* text;
	} cases[] = {
		{1e17, "1.0e17"},
		{1e16, "10000000000000000.0"},
		{1e-7, "0.0000001"},
		{1e-8, "1.0e-8"},
		{0.1 + 0.2, "0.30000000000000004"},
		{-0.0, "-0.0"},
		{5e-324, "5.0e-324"},
		{DBL_MAX, "1.7976931348623157e308"},
		{NaN, "1.#NaN"},
		{-INF, "-1.#INF"},
	};
	for (const Case& c : cases) EXPECT_EQ(mold(F(c.d)), c.text);

	// Random bit patterns through mold and the float scanner.
	std::mt19937_64 gen(42);
	for (int i = 0; i < 100000; i++) {
		double d = std::bit_cast<double>(gen());
		if (!std::isfinite(d)) continue;
		Cell text = call(A_MOLD, {F(d)});
		int32_t error;
		double back = lexer::scan_float(string::vs_head(&text), string::width_of(&text), string::vs_length(&text), &error);
		ASSERT_EQ(error, 0) << mold(F(d));
		ASSERT_EQ(bits(back), bits(d == 0 ? 0.0 : d)) << mold(F(d));
	}
}

TEST_F(Float, PercentTexts) {
	struct Case {
		double fraction;
		const char* text;
	} cases[] = {{0.5, "50%"}, {0.005, "0.5%"}, {1.0, "100%"}, {0.1234, "12.34%"}, {0.0, "0%"}, {-0.25, "-25%"},
		{1e-20, "0%"}, {0.123456789012345, "12.34567890123%"}};
	for (const Case& c : cases) {
		EXPECT_EQ(form(P(c.fraction)), c.text);
		EXPECT_EQ(mold(P(c.fraction)), c.text);
	}
}

TEST_F(Float, Arithmetic) {
	struct Case {
		MathOp op;
		Cell a, b, want;
	} cases[] = {
		{OP_DIV, F(1.0), I(0), F(INF)},
		{OP_DIV, F(-1.0), I(0), F(-INF)},
		{OP_DIV, F(0.0), I(0), F(NaN)},
		{OP_MUL, F(-1.0), F(0.0), F(-0.0)},
		{OP_REM, F(5.5), I(2), F(1.5)},
		{OP_REM, F(-5.5), I(2), F(-1.5)},
		{OP_REM, F(5.0), I(0), F(NaN)},
		{OP_REM, F(5.0), F(INF), F(5.0)},
		{OP_REM, F(INF), F(INF), F(NaN)},
		{OP_REM, F(INF), I(2), F(NaN)},
		{OP_REM, F(5.0), F(NaN), F(NaN)},
		{OP_ADD, P(0.5), I(1), P(1.5)},
		{OP_MUL, P(0.5), P(0.5), P(0.25)},
		{OP_MUL, F(0.5), T(3600), T(1800)},
		{OP_ADD, F(1.5), C('a'), F(98.5)},
		{OP_SUB, F(0.1), F(0.3), F(0.1 - 0.3)},
	};
	for (const Case& c : cases) {
		Cell got = op(c.op, c.a, c.b);
		EXPECT_EQ(cell::type_of(&got), cell::type_of(&c.want)) << mold(c.a) << " op" << c.op << " " << mold(c.b);
		double g = cell::get_double(&got), w = cell::get_double(&c.want);
		EXPECT_TRUE(bits(g) == bits(w) || (std::isnan(g) && std::isnan(w))) << mold(c.a) << " op" << c.op << " " << mold(c.b) << " gave " << mold(got);
	}

	struct Bad {
		MathOp op;
		Cell a, b;
		errors::Id error;
		Type arg;
	} bad[] = {
		{OP_ADD, P(0.5), C('a'), errors::id::script_invalid_type, T_CHAR},
		{OP_ADD, T(1), C('a'), errors::id::script_invalid_type, T_CHAR},
		{OP_ADD, F(1.0), S("x"), errors::id::script_invalid_type, T_STRING},
		{OP_AND, F(1.0), I(1), errors::id::script_expect_arg, T_FLOAT},  // float! has no and~
		{OP_XOR, I(1), F(1.0), errors::id::script_cannot_use, T_FLOAT},
	};
	for (const Bad& b : bad) {
		Raised r = raised([&] { op(b.op, b.a, b.b); });
		EXPECT_EQ(r.code, code(b.error)) << mold(b.a) << " op" << b.op;
		EXPECT_TRUE(same_cell(r.args[0], D(b.arg)) || same_cell(r.args[1], D(b.arg)));
	}
}

TEST_F(Float, CompareWithinTenUlpsForEqual) {
	struct Case {
		Cell a, b;
		CompareOp op;
		bool want;
	} cases[] = {
		{F(0.1 + 0.2), F(0.3), COMP_EQUAL, true},
		{F(0.1 + 0.2), F(0.3), COMP_STRICT_EQUAL, false},
		{F(0.1 + 0.2), F(0.3), COMP_NOT_EQUAL, false},
		{F(1.0), F(ulps(1.0, 10)), COMP_EQUAL, true},
		{F(1.0), F(ulps(1.0, 11)), COMP_EQUAL, false},
		{F(1e300), F(ulps(1e300, -10)), COMP_EQUAL, true},
		{F(ulps(0.0, 5)), F(-ulps(0.0, 5)), COMP_EQUAL, true},
		{F(1e-300), F(-1e-300), COMP_EQUAL, true},
		{F(DBL_MAX), F(INF), COMP_EQUAL, false},
		{F(INF), F(INF), COMP_EQUAL, true},
		{F(NaN), F(NaN), COMP_EQUAL, false},
		{F(NaN), F(NaN), COMP_STRICT_EQUAL, false},
		{F(NaN), F(NaN), COMP_NOT_EQUAL, true},
		{F(NaN), F(1.0), COMP_LESSER, false},
		{F(NaN), F(1.0), COMP_GREATER_EQUAL, false},
		{F(1.0), F(NaN), COMP_LESSER_EQUAL, false},
		{F(NaN), F(NaN), COMP_FIND_SELECT, false},
		{F(-0.0), F(0.0), COMP_EQUAL, true},
		{F(-0.0), F(0.0), COMP_STRICT_EQUAL, true},
		{F(-0.0), F(0.0), COMP_SAME, false},
		{F(1.0), I(1), COMP_EQUAL, true},
		{F(1.0), I(1), COMP_STRICT_EQUAL, false},
		{F(0.5), P(0.5), COMP_EQUAL, true},
		{F(0.5), P(0.5), COMP_STRICT_EQUAL, false},
		{F(1.0), F(ulps(1.0, 1)), COMP_FIND_SELECT, false},
		{F(2.5), I(3), COMP_LESSER, true},
		{F(97.0), C('a'), COMP_EQUAL, false},
	};
	for (const Case& c : cases) EXPECT_EQ(actions::compare(&c.a, &c.b, c.op), c.want) << mold(c.a) << " op" << c.op << " " << mold(c.b);

	// Sorting sees a total order: NaN after every number.
	Cell nan = F(NaN), one = F(1.0), inf = F(INF);
	EXPECT_EQ(actions::compare_raw(&nan, &one, COMP_SORT), 1);
	EXPECT_EQ(actions::compare_raw(&inf, &nan, COMP_SORT), -1);
	EXPECT_EQ(actions::compare_raw(&nan, &nan, COMP_SORT), 0);
	Cell text = S("a");
	EXPECT_EQ(raised([&] { actions::compare(&one, &text, COMP_LESSER); }).code, code(errors::id::script_invalid_compare));
}

TEST_F(Float, RoundWithEveryRefinement) {
	struct Case {
		Cell value;
		const Cell* scale;
		Mode mode;
		Cell want;
	};
	Cell tenth = F(0.1), five = I(5), five_percent = P(0.05), one = I(1), third = F(1.0 / 3), zero = F(0.0),
		 tiny = F(5e-324), big = F(1e300), minute = T(60);
	Case cases[] = {
		{F(2.5), nullptr, PLAIN, F(3.0)},
		{F(-2.5), nullptr, PLAIN, F(-3.0)},
		{F(2.4999999999999996), nullptr, PLAIN, F(2.0)},
		{F(2.5), nullptr, EVEN, F(2.0)},
		{F(3.5), nullptr, EVEN, F(4.0)},
		{F(-3.5), nullptr, EVEN, F(-4.0)},
		{F(2.5), nullptr, HALF_DOWN, F(2.0)},
		{F(-2.5), nullptr, HALF_CEILING, F(-2.0)},
		{F(2.5), nullptr, HALF_CEILING, F(3.0)},
		{F(-2.7), nullptr, DOWN, F(-2.0)},
		{F(-2.1), nullptr, FLOOR, F(-3.0)},
		{F(2.1), nullptr, CEILING, F(3.0)},
		{F(2.57), &tenth, PLAIN, F(2.6)},
		{F(12.5), &five, PLAIN, I(15)},
		{F(-12.5), &five, PLAIN, I(-15)},
		{F(1.26), &five_percent, PLAIN, P(1.25)},
		{P(0.1234), nullptr, PLAIN, P(0.12)},
		{P(0.1234), &one, PLAIN, I(0)},
		{F(1.0), &third, PLAIN, F(1.0)},
		{F(7.3), &zero, PLAIN, F(7.3)},
		{F(0.0), &zero, PLAIN, F(0.0)},
		{F(1e-310), &tiny, PLAIN, F(1e-310)},
		{F(3e-323), &tiny, PLAIN, F(3e-323)},
		{F(1e10), &tenth, PLAIN, F(1e10)},
		{F(7.0), &big, PLAIN, F(0.0)},
		{F(89.0), &minute, PLAIN, T(60.0)},
		{F(INF), nullptr, PLAIN, F(INF)},
		{F(1e300), nullptr, PLAIN, F(1e300)},
	};
	for (const Case& c : cases)
		expect_cell(round_to(c.value, c.scale, c.mode), c.want, "round " + mold(c.value) + (c.scale ? " /to " + mold(*c.scale) : std::string()) + " mode " + std::to_string(c.mode));

	Cell huge = F(1e308), money;
	cell::set(&money, T_MONEY);
	EXPECT_EQ(raised([&] { round_to(F(1.7e308), &huge, PLAIN); }).code, code(errors::id::math_overflow));
	EXPECT_EQ(raised([&] { round_to(F(1.5), &money, PLAIN); }).code, code(errors::id::script_not_related));
	Cell two = I(2);
	EXPECT_EQ(raised([&] { round_to(F(1e10), &two, PLAIN); }).code, code(errors::id::script_type_limit));
	Cell text = S("x");
	EXPECT_EQ(raised([&] { round_to(F(1.5), &text, PLAIN); }).code, code(errors::id::script_invalid_arg));
}

TEST_F(Float, PowerAndUnaryActions) {
	expect_cell(call(A_POWER, {F(2.0), I(3)}), F(8.0), "2.0 ** 3");
	expect_cell(call(A_POWER, {F(4.0), F(0.5)}), F(2.0), "4.0 ** 0.5");
	expect_cell(call(A_POWER, {P(0.5), I(2)}), P(0.25), "50% ** 2");
	EXPECT_EQ(raised([] { call(A_POWER, {F(2.0), P(0.5)}); }).code, code(errors::id::script_expect_arg));

	expect_cell(call(A_NEGATE, {F(0.0)}), F(-0.0), "negate 0.0");
	expect_cell(call(A_NEGATE, {F(1.5)}), F(-1.5), "negate 1.5");
	expect_cell(call(A_NEGATE, {P(0.5)}), P(-0.5), "negate 50%");
	expect_cell(call(A_ABSOLUTE, {F(-0.0)}), F(0.0), "absolute -0.0");
	expect_cell(call(A_ABSOLUTE, {F(-INF)}), F(INF), "absolute -inf");

	struct Parity {
		double d;
		bool odd;
	} parity[] = {{2.5, false}, {3.7, true}, {-3.2, true}, {-4.9, false}, {1099511627777.0, true}, {1e300, false},
		{NaN, false}, {INF, false}};
	for (const Parity& p : parity) {
		Cell odd = call(A_ODD_Q, {F(p.d)}), even = call(A_EVEN_Q, {F(p.d)});
		EXPECT_EQ(logic::get(&odd), p.odd) << p.d;
		EXPECT_EQ(logic::get(&even), !p.odd) << p.d;
	}
}

TEST_F(Float, MakeAndTo) {
	struct Case {
		Type type;
		Cell spec;
		Cell want;
	} cases[] = {
		{T_FLOAT, S("1.5e3"), F(1500.0)},
		{T_FLOAT, S("1,5"), F(1.5)},
		{T_FLOAT, S("-.5"), F(-0.5)},
		{T_FLOAT, S("1'000.25"), F(1000.25)},
		{T_FLOAT, S("0.001e310"), F(1e307)},
		{T_FLOAT, S("1e400"), F(INF)},
		{T_FLOAT, S("7", T_FILE), F(7.0)},
		{T_PERCENT, F(0.5), P(0.5)},
		{T_FLOAT, P(0.5), F(0.5)},
		{T_FLOAT, BIN({0x3F, 0xF0, 0, 0, 0, 0, 0, 0}), F(1.0)},
		{T_FLOAT, BIN({0x3F, 0xF0, 0, 0, 0, 0, 0, 0, 0xFF}), F(1.0)},
		{T_FLOAT, BIN({0x01}), F(std::bit_cast<double>(uint64_t(1)))},
		{T_FLOAT, BLOCK({F(1.5), I(3)}), F(1500.0)},
		{T_FLOAT, BLOCK({F(1.1), I(-1)}), F(0.11)},
		{T_FLOAT, BLOCK({I(5), F(2.9)}), F(500.0)},
		{T_FLOAT, I(-7), F(-7.0)},
		{T_FLOAT, C('a'), F(97.0)},
		{T_FLOAT, T(90), F(90.0)},
		{T_PERCENT, I(2), P(2.0)},
		{T_PERCENT, S("50%"), P(0.5)},
		{T_PERCENT, S("0.5"), P(0.5)},
		{T_PERCENT, S(" 2"), P(2.0)},
		{T_PERCENT, S("12.5%", T_EMAIL), P(0.125)},
	};
	for (const Case& c : cases) {
		Raised r = raised([&] { expect_cell(to(c.type, c.spec), c.want, "to " + std::to_string(c.type) + " " + form(c.spec)); });
		EXPECT_EQ(r.code, 0u) << "to " << int(c.type) << " " << form(c.spec);
	}

	struct Bad {
		Type type;
		Cell spec;
	} bad[] = {
		{T_FLOAT, S("")}, {T_FLOAT, S("abc")}, {T_FLOAT, S("1.#INF")}, {T_FLOAT, S("1e")}, {T_FLOAT, S("1..2")},
		{T_FLOAT, S(std::string(313, '1'))}, {T_FLOAT, BLOCK({F(1.5)})}, {T_FLOAT, BLOCK({F(1.5), S("a")})},
		{T_FLOAT, L(true)}, {T_FLOAT, NONE()}, {T_PERCENT, S("")}, {T_PERCENT, S("50% 1")},
		{T_PERCENT, S("1:30")},
	};
	for (const Bad& b : bad) {
		Raised r = raised([&] { to(b.type, b.spec); });
		EXPECT_EQ(r.code, code(errors::id::script_bad_to_arg)) << form(b.spec);
		EXPECT_TRUE(same_cell(r.args[0], D(b.type)));
	}
}

TEST_F(Float, RandomStaysWithinTheValue) {
	for (Cell v : {F(1.0), F(-3.5), P(0.5), T(60.0), F(1e300)})
		for (bool secure : {false, true})
			for (int i = 0; i < 2000; i++) {
				Cell r = random_of(v, false, secure);
				ASSERT_EQ(cell::type_of(&r), cell::type_of(&v));
				double d = cell::get_double(&r), limit = cell::get_double(&v);
				ASSERT_GE(std::fabs(d), 0.0);
				ASSERT_LE(std::fabs(d), std::fabs(limit)) << mold(v);
				ASSERT_TRUE(d == 0 || std::signbit(d) == std::signbit(limit)) << mold(v);
			}
	Cell seeded = random_of(F(2.5), true);
	EXPECT_TRUE(cell::is(&seeded, T_UNSET));
	double first = cell::get_double(&(const Cell&)random_of(F(1.0)));
	random_of(F(2.5), true);
	EXPECT_EQ(cell::get_double(&(const Cell&)random_of(F(1.0))), first);
}

TEST_F(Float, Helpers) {
	struct Round {
		double d;
		int32_t want;
	} rounds[] = {{2.5, 3}, {-2.5, -3}, {-2.7, -3}, {2.4, 2}, {-2.4, -2}, {0.49999999999999994, 0},
		{2147483647.4, 2147483647}, {-2147483648.4, -2147483648}};
	for (const Round& r : rounds) EXPECT_EQ(float_::round_to_int(r.d), r.want) << r.d;
	for (double d : {2147483647.5, -2147483648.5, NaN, INF})
		EXPECT_EQ(raised([&] { float_::round_to_int(d); }).code, code(errors::id::script_type_limit)) << d;

	struct Equal32 {
		float a, b;
		bool want;
	} equal32[] = {
		{1.0f, std::nextafter(1.0f, 2.0f), true},
		{0.0f, -0.0f, true},
		{1.0f, std::bit_cast<float>(std::bit_cast<uint32_t>(1.0f) + 11), false},
		{FLT_MAX, std::numeric_limits<float>::infinity(), true},
		{FLT_MAX, -FLT_MAX, false},
		{std::numeric_limits<float>::quiet_NaN(), 1.0f, false},
		{1e-45f, -1e-45f, true},
	};
	for (const Equal32& e : equal32) EXPECT_EQ(float_::almost_equal32(e.a, e.b), e.want) << e.a << " " << e.b;

	EXPECT_TRUE(float_::is_nan32(std::numeric_limits<float>::quiet_NaN()));
	EXPECT_TRUE(float_::not_finite(-INF));
	EXPECT_FALSE(float_::not_finite(DBL_MAX));
	stack::arguments = stack::top;
	Cell* c = float_::push_halves(0, 0x3FF00000u);
	EXPECT_EQ(float_::get(c), 1.0);
	c = percent::push_halves(0, 0x3FE00000u);
	EXPECT_EQ(form(*c), "50%");
}

}  // namespace
