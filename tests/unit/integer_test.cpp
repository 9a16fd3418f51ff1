#include <cmath>
#include <limits>

#include "runtime/datatypes/money.h"
#include "runtime/datatypes/pair.h"
#include "runtime/datatypes/tuple.h"
#include "tests/unit/scalar_support.h"

using namespace vyn;
using namespace vyn::test;

namespace {

class Integer : public ScalarTest {};

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

TEST_F(Integer, ArithmeticPromotesInsteadOfWrapping) {
	struct Case {
		MathOp op;
		int32_t a, b;
		Cell want;
	} cases[] = {
		{OP_ADD, 2147483647, 1, F(2147483648.0)},
		{OP_ADD, -2147483648, -1, F(-2147483649.0)},
		{OP_SUB, -2147483648, 1, F(-2147483649.0)},
		{OP_SUB, 0, -2147483648, F(2147483648.0)},
		{OP_SUB, -1, -2147483648, I(2147483647)},
		{OP_MUL, 65536, 65536, F(4294967296.0)},
		{OP_MUL, -46341, 46341, F(-2147488281.0)},
		{OP_MUL, -65536, 32768, I(-2147483648)},
		{OP_MUL, 2147483647, 2147483647, F(double(int64_t(2147483647) * 2147483647))},
		{OP_ADD, 40, 2, I(42)},
		{OP_DIV, 7, 2, F(3.5)},
		{OP_DIV, -7, 2, F(-3.5)},
		{OP_DIV, 1, 3, F(1.0 / 3.0)},
		{OP_DIV, 6, 3, I(2)},
		{OP_DIV, -2147483648, 2, I(-1073741824)},
		{OP_REM, -7, 2, I(-1)},
		{OP_REM, 7, -2, I(1)},
		{OP_REM, -2147483648, 3, I(-2)},
		{OP_OR, 12, 10, I(14)},
		{OP_AND, 12, 10, I(8)},
		{OP_XOR, 12, 10, I(6)},
		{OP_AND, -1, -2147483648, I(-2147483648)},
	};
	for (const Case& c : cases) expect_cell(op(c.op, I(c.a), I(c.b)), c.want, std::to_string(c.a) + " op" + std::to_string(c.op) + " " + std::to_string(c.b));
}

TEST_F(Integer, ArithmeticErrors) {
	struct Case {
		MathOp op;
		int32_t a, b;
		errors::Id error;
	} cases[] = {
		{OP_DIV, 1, 0, errors::id::math_zero_divide},
		{OP_REM, 1, 0, errors::id::math_zero_divide},
		{OP_DIV, -2147483648, -1, errors::id::math_overflow},
		{OP_REM, -2147483648, -1, errors::id::math_overflow},
	};
	for (const Case& c : cases)
		EXPECT_EQ(raised([&] { op(c.op, I(c.a), I(c.b)); }).code, code(c.error)) << c.a << " op" << c.op << " " << c.b;
	EXPECT_EQ(raised([] { call(A_NEGATE, {I(-2147483648)}); }).code, code(errors::id::math_overflow));
	EXPECT_EQ(raised([] { call(A_ABSOLUTE, {I(-2147483648)}); }).code, code(errors::id::math_overflow));
}

TEST_F(Integer, MixedOperandsFollowTheRightType) {
	expect_cell(op(OP_ADD, I(1), F(0.5)), F(1.5), "1 + 0.5");
	expect_cell(op(OP_ADD, I(1), P(0.5)), F(1.5), "1 + 50%");
	expect_cell(op(OP_MUL, I(2), T(3600)), T(7200), "2 * 1:00");
	expect_cell(op(OP_ADD, I(1), C('a')), I(98), "1 + #\"a\"");
	expect_cell(op(OP_DIV, I(1), F(0.0)), F(INFINITY), "1 / 0.0");

	Raised r = raised([] { op(OP_ADD, I(1), S("a")); });
	EXPECT_EQ(r.code, code(errors::id::script_invalid_type));
	EXPECT_TRUE(same_cell(r.args[0], D(T_STRING)));
	EXPECT_EQ(raised([] { op(OP_AND, I(1), F(1.5)); }).code, code(errors::id::script_cannot_use));

	r = raised([] { call(A_POWER, {I(2), S("a")}); });
	EXPECT_TRUE(is_word_named(r.args[2], "exponent")) << "expect-arg names the argument";

	Cell pair;
	cell::set(&pair, T_PAIR, 1, 2);
	r = raised([&] { op(OP_ADD, I(1), pair); });
	EXPECT_EQ(r.code, code(errors::id::script_invalid_type)) << "no pair arithmetic registered";
	EXPECT_TRUE(same_cell(r.args[0], D(T_PAIR)));
}

TEST_F(Integer, Power) {
	struct Case {
		int32_t base;
		Cell exponent;
		Cell want;
	} cases[] = {
		{2, I(10), I(1024)},
		{2, I(30), I(1073741824)},
		{2, I(31), F(2147483648.0)},
		{-2, I(31), I(-2147483648)},
		{2, I(-1), F(0.5)},
		{0, I(0), I(1)},
		{7, I(0), I(1)},
		{-1, I(2147483647), I(-1)},
		{4, F(0.5), F(2.0)},
		{10, I(20), F(1e20)},
		{65536, I(2), F(4294967296.0)},
	};
	for (const Case& c : cases) expect_cell(call(A_POWER, {I(c.base), c.exponent}), c.want, std::to_string(c.base) + " ** " + form(c.exponent));

	Raised r = raised([] { call(A_POWER, {I(2), S("a")}); });
	EXPECT_EQ(r.code, code(errors::id::script_expect_arg));
	EXPECT_TRUE(same_cell(r.args[1], D(T_STRING)));
	EXPECT_EQ(raised([] { call(A_POWER, {I(2), P(0.5)}); }).code, code(errors::id::script_expect_arg));
}

TEST_F(Integer, RoundToScales) {
	struct Case {
		int32_t value;
		Cell scale;
		Mode mode;
		Cell want;
	} cases[] = {
		{5, I(10), PLAIN, I(10)},
		{-5, I(10), PLAIN, I(-10)},
		{14, I(10), PLAIN, I(10)},
		{-16, I(10), PLAIN, I(-20)},
		{15, I(10), EVEN, I(20)},
		{25, I(10), EVEN, I(20)},
		{-25, I(10), EVEN, I(-20)},
		{15, I(10), HALF_DOWN, I(10)},
		{-15, I(10), HALF_DOWN, I(-10)},
		{15, I(10), HALF_CEILING, I(20)},
		{-15, I(10), HALF_CEILING, I(-10)},
		{-1, I(10), FLOOR, I(-10)},
		{19, I(10), FLOOR, I(10)},
		{1, I(10), CEILING, I(10)},
		{-19, I(10), CEILING, I(-10)},
		{19, I(10), DOWN, I(10)},
		{-19, I(10), DOWN, I(-10)},
		{-2147483648, I(10), PLAIN, I(-2147483648)},
		{7, I(0), PLAIN, I(7)},
		{7, I(-2), PLAIN, I(8)},
		{30, I(10), CEILING, I(30)},
		{12, F(2.5), PLAIN, F(12.5)},
		{12, P(0.05), PLAIN, P(12.0)},
	};
	for (const Case& c : cases)
		expect_cell(round_to(I(c.value), &c.scale, c.mode), c.want, "round " + std::to_string(c.value) + " /to " + form(c.scale) + " mode " + std::to_string(c.mode));
	expect_cell(round_to(I(7), nullptr, PLAIN), I(7), "round 7");

	struct Bad {
		int32_t value;
		Mode mode;
	} overflows[] = {{2147483647, PLAIN}, {2147483647, FLOOR}, {2147483647, CEILING}, {-2147483647, FLOOR}};
	for (const Bad& b : overflows) {
		Cell ten = I(10);
		EXPECT_EQ(raised([&] { round_to(I(b.value), &ten, b.mode); }).code, code(errors::id::math_overflow)) << b.value << " mode " << b.mode;
	}
	Cell money;
	cell::set(&money, T_MONEY);
	EXPECT_EQ(raised([&] { round_to(I(5), &money, PLAIN); }).code, code(errors::id::script_not_related));
}

TEST_F(Integer, Compare) {
	struct Case {
		Cell a, b;
		CompareOp op;
		bool want;
	} cases[] = {
		{I(1), F(1.0), COMP_EQUAL, true},
		{I(65), C('A'), COMP_EQUAL, true},
		{I(1), F(1.0), COMP_STRICT_EQUAL, false},
		{I(65), C('A'), COMP_STRICT_EQUAL, false},
		{I(1), I(1), COMP_STRICT_EQUAL, true},
		{I(1), F(1.0), COMP_FIND_SELECT, false},
		{I(1), F(2.5), COMP_LESSER, true},
		{I(-2147483648), I(2147483647), COMP_LESSER, true},
		{I(3600), T(3600), COMP_EQUAL, true},
		{I(1), P(1.0), COMP_EQUAL, true},
		{I(1), S("1"), COMP_EQUAL, false},
		{I(1), S("1"), COMP_NOT_EQUAL, true},
	};
	for (const Case& c : cases) EXPECT_EQ(actions::compare(&c.a, &c.b, c.op), c.want) << form(c.a) << " op" << c.op << " " << form(c.b);
	Cell one = I(1), text = S("a");
	EXPECT_EQ(raised([&] { actions::compare(&one, &text, COMP_LESSER); }).code, code(errors::id::script_invalid_compare));
}

TEST_F(Integer, Conversions) {
	struct Case {
		Cell spec;
		int32_t want;
	} cases[] = {
		{F(2.9), 2},
		{F(-2.9), -2},
		{F(-2147483648.0), -2147483648},
		{F(2147483647.0), 2147483647},
		{P(0.5), 0},
		{P(150.0), 150},
		{T(1.5), 2},
		{T(-2.7), -3},
		{T(0.49999999999999994), 0},
		{C(0x10FFFF), 0x10FFFF},
		{S("1'000"), 1000},
		{S("-2147483648"), -2147483648},
		{S("+5"), 5},
		{S("0042", T_URL), 42},
		{BIN({0x01, 0x02}), 258},
		{BIN({0x01, 0x02, 0x03, 0x04, 0x05}), 16909060},
		{BIN({0xFF, 0xFF, 0xFF, 0xFF}), -1},
		{BIN({}), 0},
		{I(-7), -7},
	};
	for (const Case& c : cases) expect_cell(to(T_INTEGER, c.spec), I(c.want), "to integer! " + form(c.spec));

	struct Bad {
		Cell spec;
		errors::Id error;
	} bad[] = {
		{F(2147483647.5), errors::id::script_type_limit},
		{F(-2147483648.5), errors::id::script_type_limit},
		{F(1e10), errors::id::script_type_limit},
		{F(NaN), errors::id::script_type_limit},
		{F(INFINITY), errors::id::script_type_limit},
		{T(1e12), errors::id::script_type_limit},
		{S("12x"), errors::id::script_bad_to_arg},
		{S(""), errors::id::script_bad_to_arg},
		{S("-"), errors::id::script_bad_to_arg},
		{S("2147483648"), errors::id::script_bad_to_arg},
		{S("99999999999999999999"), errors::id::script_bad_to_arg},
		{L(true), errors::id::script_bad_to_arg},
		{NONE(), errors::id::script_bad_to_arg},
	};
	for (const Bad& b : bad) {
		Raised r = raised([&] { to(T_INTEGER, b.spec); });
		EXPECT_EQ(r.code, code(b.error)) << "to integer! " << form(b.spec);
		EXPECT_TRUE(same_cell(r.args[0], D(T_INTEGER)));
	}

	expect_cell(make(T_INTEGER, L(true)), I(1), "make integer! true");
	expect_cell(make(T_INTEGER, L(false)), I(0), "make integer! false");
	expect_cell(make(T_INTEGER, F(-3.5)), I(-3), "make integer! -3.5");
}

TEST_F(Integer, FromIssueHexadecimalNames) {
	struct Case {
		const char* name;
		int32_t want;
	} cases[] = {{"FF", 255}, {"ff", 255}, {"0", 0}, {"7FFFFFFF", 2147483647}, {"FFFFFFFF", -1}, {"00000010", 16},
		{"aBc", 0xABC}};
	for (const Case& c : cases) expect_cell(to(T_INTEGER, ISSUE(c.name)), I(c.want), std::string("to integer! #") + c.name);
	// U+00C1 is "A" modulo 128: still not a digit.
	for (const char* bad : {"100000000", "G1", "1-2", "\xC3\x81", "12 "}) {
		Raised r = raised([&] { to(T_INTEGER, ISSUE(bad)); });
		EXPECT_EQ(r.code, code(errors::id::script_invalid_data)) << bad;
		EXPECT_TRUE(cell::is(&r.args[0], T_ISSUE));
	}
}

TEST_F(Integer, FormAndMold) {
	struct Case {
		int32_t v;
		const char* text;
	} cases[] = {{0, "0"}, {-5, "-5"}, {2147483647, "2147483647"}, {-2147483648, "-2147483648"}};
	for (const Case& c : cases) {
		EXPECT_EQ(form(I(c.v)), c.text);
		EXPECT_EQ(mold(I(c.v), true), c.text);
	}
	Cell part = call(A_FORM, {I(-12345), I(3)}, {1});
	EXPECT_EQ(narrow(units_text(&part)), "-12");
}

TEST_F(Integer, FormAppendsToTextsOfAnyRoomAndWidth) {
	// A 16-unit text after a prefix: room for the longest form (11 units) or
	// one unit short of it, narrow and wide.
	struct Case {
		const char* prefix;
		uint32_t width;
		int32_t v;
	} cases[] = {
		{"abcde", 1, -2147483648}, {"abcdef", 1, -2147483648}, {"abcdef", 1, 7}, {"", 1, 42},
		{"abcdefghijklmnop", 1, -1}, {"ab", 2, -2147483648}, {"abcdef", 4, 2147483647},
	};
	for (const Case& c : cases) {
		Cell out;
		string::make_at_unit(&out, 16, c.width);
		string::append_literal(&out, c.prefix);
		Cell v = I(c.v);
		int32_t left = actions::form(&v, &out, nullptr, 100);
		std::string digits = std::to_string(c.v);
		EXPECT_EQ(narrow(units_text(&out)), c.prefix + digits) << c.prefix << "/" << c.width;
		EXPECT_EQ(left, 100 - int32_t(digits.size()));
		EXPECT_EQ(string::width_of(&out), c.width);
	}
}

TEST_F(Integer, UnaryActions) {
	EXPECT_TRUE(logic::get(&(const Cell&)call(A_ODD_Q, {I(-3)})));
	EXPECT_TRUE(logic::get(&(const Cell&)call(A_EVEN_Q, {I(-2147483648)})));
	EXPECT_FALSE(logic::get(&(const Cell&)call(A_EVEN_Q, {I(7)})));
	expect_cell(call(A_COMPLEMENT, {I(0)}), I(-1), "complement 0");
	expect_cell(call(A_NEGATE, {I(5)}), I(-5), "negate 5");
	expect_cell(call(A_ABSOLUTE, {I(-2147483647)}), I(2147483647), "absolute");
}

TEST_F(Integer, RandomDrawsInRangeAndRepeatsAfterSeed) {
	struct Case {
		int32_t n, low, high;
	} cases[] = {{0, 0, 0}, {1, 1, 1}, {6, 1, 6}, {-5, -5, -1}, {2147483647, 1, 2147483647}, {-2147483648, -2147483648, -1}};
	for (const Case& c : cases)
		for (bool secure : {false, true})
			for (int i = 0; i < 200; i++) {
				Cell r = random_of(I(c.n), false, secure);
				ASSERT_TRUE(cell::is(&r, T_INTEGER));
				ASSERT_GE(integer::get(&r), c.low) << c.n;
				ASSERT_LE(integer::get(&r), c.high) << c.n;
			}

	Cell seeded = random_of(I(42), true);
	EXPECT_TRUE(cell::is(&seeded, T_UNSET));
	std::vector<int32_t> first;
	for (int i = 0; i < 10; i++) first.push_back(integer::get(&(const Cell&)random_of(I(1000))));
	random_of(I(42), true);
	for (int i = 0; i < 10; i++) EXPECT_EQ(integer::get(&(const Cell&)random_of(I(1000))), first[size_t(i)]);

	Cell c = random_of(C('a'));
	ASSERT_TRUE(cell::is(&c, T_CHAR)) << "char! keeps its type";
	EXPECT_GE(char_::get(&c), 1u);
	EXPECT_LE(char_::get(&c), uint32_t('a'));
}

TEST_F(Integer, HelpersOnTheResultSlot) {
	stack::arguments = stack::top;
	integer::push(9);
	EXPECT_EQ(integer::get_first(), 9);
	integer::box(-4);
	EXPECT_EQ(integer::get_first_or_zero(), -4);
	float_::box(1.0);
	EXPECT_EQ(integer::get_first_or_zero(), 0);
	Cell block = BLOCK({});
	integer::make_in(&block, 77);
	ASSERT_EQ(block::vs_length(&block), 1);
	EXPECT_EQ(integer::get(block::vs_head(&block)), 77);
}

}  // namespace

namespace {

// The hand-over of mixed arithmetic and comparison to the compound types.
class MixedWithCompounds : public ScalarTest {
protected:
	void SetUp() override {
		ScalarTest::SetUp();
		pair::init_type();
		tuple::init_type();
		money::init_type();
	}
	static Cell pair_of(int32_t x, int32_t y) {
		Cell p;
		return *pair::make_at(&p, x, y);
	}
	static Cell tuple_of(std::initializer_list<uint8_t> bytes) {
		Cell t;
		return *tuple::make_at(&t, uint32_t(bytes.size()), bytes.begin());
	}
	static Cell money_of(int32_t n) {
		Cell* top = stack::top;
		Cell m = *money::from_integer(n);
		stack::top = top;
		return m;
	}
};

TEST_F(MixedWithCompounds, NumbersHandOverToTheCompoundOperand) {
	struct Case {
		MathOp op;
		Cell a, b, want;
	} cases[] = {
		{OP_SUB, I(10), pair_of(3, 4), pair_of(7, 6)},
		{OP_MUL, I(2), pair_of(3, -4), pair_of(6, -8)},
		{OP_ADD, I(1), tuple_of({1, 2, 3}), tuple_of({2, 3, 4})},
		{OP_ADD, I(1), money_of(2), money_of(3)},
		{OP_MUL, F(2.0), money_of(2), money_of(4)},
	};
	for (const Case& c : cases) {
		Cell got = op(c.op, c.a, c.b);
		ASSERT_EQ(cell::type_of(&got), cell::type_of(&c.want)) << mold(c.a) << " op" << c.op << " " << mold(c.b);
		EXPECT_TRUE(actions::compare(&got, &c.want, COMP_EQUAL)) << mold(got) << " want " << mold(c.want);
	}

	struct Bad {
		MathOp op;
		Cell a, b;
		const char* action;
		Type type;
	} bad[] = {
		{OP_DIV, I(2), pair_of(1, 1), "divide", T_INTEGER},
		{OP_SUB, I(1), tuple_of({1, 2, 3}), "subtract", T_INTEGER},
		{OP_SUB, F(1.5), pair_of(2, 2), "subtract", T_PAIR},
		{OP_DIV, F(1.5), pair_of(2, 2), "divide", T_PAIR},
	};
	for (const Bad& b : bad) {
		Raised r = raised([&] { op(b.op, b.a, b.b); });
		EXPECT_EQ(r.code, code(errors::id::script_not_related)) << mold(b.a) << " op" << b.op;
		EXPECT_TRUE(is_word_named(r.args[0], b.action));
		EXPECT_TRUE(same_cell(r.args[1], D(b.type)));
	}
	EXPECT_EQ(raised([&] { op(OP_ADD, T(1), pair_of(1, 1)); }).code, code(errors::id::script_invalid_type));
}

TEST_F(MixedWithCompounds, NumbersCompareWithMoney) {
	struct Case {
		Cell a;
		int32_t money;
		CompareOp op;
		bool want;
	} cases[] = {
		{I(1), 1, COMP_EQUAL, true},
		{I(1), 2, COMP_LESSER, true},
		{I(1), 1, COMP_STRICT_EQUAL, false},
		{F(1.0), 1, COMP_EQUAL, true},
		{F(2.5), 2, COMP_GREATER, true},
		{F(1e20), 2000000000, COMP_GREATER, true},
		{F(-1e20), -2000000000, COMP_LESSER, true},
		{F(1e-6), 0, COMP_GREATER, true},
		{F(1e-6), 0, COMP_EQUAL, false},
		{F(-1e-6), 0, COMP_LESSER, true},
		{F(1e-6), 1, COMP_LESSER, true},
		{F(-1e-6), -1, COMP_GREATER, true},
		{F(std::nan("")), 1, COMP_EQUAL, false},
		{F(std::nan("")), 1, COMP_LESSER, false},
	};
	for (const Case& c : cases) {
		Cell m = money_of(c.money);
		EXPECT_EQ(actions::compare(&c.a, &m, c.op), c.want) << mold(c.a) << " op" << c.op << " " << mold(m);
	}
}

}  // namespace
