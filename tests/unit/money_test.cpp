#include "runtime/datatypes/money.h"

#include "runtime/datatypes/float.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/percent.h"
#include "runtime/symbol.h"

#include <cmath>
#include <string>
#include <vector>

#include "tests/unit/extended_support.h"

using namespace vyn;
using test::float_cell;
using test::int_cell;

namespace {

// A money! from literal text: optional "-", optional currency, "$", digits,
// "'" separators and an optional ".".
Cell money_of(std::string_view text) {
	bool negative = !text.empty() && text[0] == '-';
	if (negative) text.remove_prefix(1);
	size_t dollar = text.find('$');
	std::string_view currency = text.substr(0, dollar);
	std::string_view digits = text.substr(dollar + 1);
	auto start = reinterpret_cast<const uint8_t*>(digits.data());
	size_t point = digits.find('.');
	Cell c;
	cell::make_none(&c);
	money::make_from_text(&c, negative, currency, start, point == digits.npos ? nullptr : start + point,
		start + digits.size());
	return c;
}

std::string molded(const Cell& c) {
	if (cell::is(&c, T_MONEY)) return test::mold_of(c, true);
	if (cell::is(&c, T_INTEGER)) return std::to_string(cell::get_integer(&c));
	if (cell::is(&c, T_FLOAT) || cell::is(&c, T_PERCENT)) return std::to_string(cell::get_double(&c));
	return "type " + std::to_string(cell::type_of(&c));
}

class Money : public test::ValueTest {
protected:
	void SetUp() override {
		ValueTest::SetUp();
		integer::init_type();
		float_::init_type();
		percent::init_type();
		money::init_type();
		money::init_currencies();
		money::digits_option = 2;
	}
	Cell math(const Cell& a, MathOp op, const Cell& b) {
		return test::run_frame(a, b, [op] { return money::do_math(op); });
	}
	Cell rounded(std::string_view n, const Cell* scale, std::string_view refinement = "") {
		Cell v = money_of(n);
		return *money::round(&v, scale, refinement == "even", refinement == "down", refinement == "half-down",
			refinement == "floor", refinement == "ceiling", refinement == "half-ceiling");
	}
};

TEST_F(Money, ArithmeticIsExactDecimal) {
	struct Case {
		Cell a;
		MathOp op;
		Cell b;
		const char* result;  // mold/all
	} cases[] = {
		{money_of("$0.1"), OP_ADD, money_of("$0.2"), "$0.30000"},
		{money_of("USD$1"), OP_ADD, money_of("$1"), "USD$2.00000"},
		{money_of("$1"), OP_ADD, money_of("USD$1"), "USD$2.00000"},
		{money_of("$5"), OP_SUB, money_of("$7"), "-$2.00000"},
		{money_of("-$5"), OP_SUB, money_of("-$7"), "$2.00000"},
		{money_of("-$5"), OP_ADD, money_of("$5"), "$0.00000"},
		{money_of("$7"), OP_SUB, money_of("$7"), "$0.00000"},
		{money_of("-$3"), OP_MUL, int_cell(0), "$0.00000"},
		{money_of("$10"), OP_DIV, int_cell(4), "$2.50000"},
		{money_of("$1"), OP_DIV, int_cell(3), "$0.33333"},
		{money_of("-$1"), OP_DIV, int_cell(3), "-$0.33333"},
		{money_of("$1.00001"), OP_MUL, float_cell(0.5), "$0.50000"},
		{money_of("$0.00001"), OP_MUL, float_cell(0.1), "$0.00000"},
		{float_cell(0.123456), OP_ADD, money_of("$1"), "$1.12345"},
		{int_cell(-2147483647 - 1), OP_ADD, money_of("$0"), "-$2147483648.00000"},
		{money_of("$10"), OP_MUL, float_cell(0.5, T_PERCENT), "$5.00000"},
		{money_of("$10"), OP_REM, money_of("$3"), "$1.00000"},
		{money_of("-$10"), OP_REM, money_of("$3"), "-$1.00000"},
		{money_of("$10"), OP_REM, money_of("-$3"), "$1.00000"},
		{money_of("$10.5"), OP_REM, int_cell(4), "$2.50000"},
		{money_of("$99999999999999999.99998"), OP_ADD, money_of("$0.00001"), "$99999999999999999.99999"},
		// The quotient fits although the dividend has 17 more digits than the divisor.
		{money_of("$10000000000000000"), OP_DIV, float_cell(0.99999), "$10000100001000010.00010"},
		{money_of("$12345678901234567"), OP_MUL, float_cell(0.5), "$6172839450617283.50000"},
	};
	for (const Case& c : cases) {
		Cell r = math(c.a, c.op, c.b);
		EXPECT_EQ(molded(r), c.result) << molded(c.a) << " op " << c.op << " " << molded(c.b);
	}
}

TEST_F(Money, MoneyDividedByMoneyIsAFloat) {
	struct Case {
		const char* a;
		const char* b;
		double result;
	} cases[] = {{"$10", "$4", 2.5}, {"$1", "$3", 0.33333}, {"-$1", "$8", -0.125}, {"$0", "$3", 0.0}};
	for (const Case& c : cases) {
		Cell r = math(money_of(c.a), OP_DIV, money_of(c.b));
		ASSERT_TRUE(cell::is(&r, T_FLOAT)) << c.a;
		EXPECT_EQ(cell::get_double(&r), c.result) << c.a << " / " << c.b;
	}
}

TEST_F(Money, ArithmeticErrors) {
	struct Case {
		Cell a;
		MathOp op;
		Cell b;
		errors::Id error;
	} cases[] = {
		{money_of("USD$1"), OP_ADD, money_of("EUR$1"), errors::id::script_wrong_denom},
		{money_of("USD$1"), OP_DIV, money_of("EUR$1"), errors::id::script_wrong_denom},
		{money_of("$99999999999999999"), OP_ADD, money_of("$1"), errors::id::script_type_limit},
		{money_of("$99999999999999999.99999"), OP_ADD, money_of("$0.00001"), errors::id::script_type_limit},
		{money_of("-$99999999999999999"), OP_SUB, money_of("$1"), errors::id::script_type_limit},
		{money_of("$12345678901234567"), OP_MUL, int_cell(10), errors::id::script_type_limit},
		{money_of("$99999999999999999"), OP_MUL, float_cell(99999.5), errors::id::script_type_limit},
		{money_of("$99999999999999999"), OP_DIV, money_of("$0.00001"), errors::id::script_type_limit},
		{money_of("$1"), OP_MUL, money_of("$1"), errors::id::script_invalid_type},
		{int_cell(10), OP_DIV, money_of("$4"), errors::id::script_invalid_type},
		{float_cell(10), OP_REM, money_of("$4"), errors::id::script_invalid_type},
		{money_of("$1"), OP_ADD, test::none(), errors::id::script_invalid_type},
		{money_of("$1"), OP_DIV, int_cell(0), errors::id::math_zero_divide},
		{money_of("$1"), OP_REM, money_of("$0"), errors::id::math_zero_divide},
		{money_of("$1"), OP_ADD, float_cell(1e17), errors::id::script_bad_make_arg},
		{money_of("$1"), OP_ADD, float_cell(NAN), errors::id::script_bad_make_arg},
		{money_of("$1"), OP_ADD, float_cell(1e-6), errors::id::script_bad_make_arg},
		{money_of("$1"), OP_AND, money_of("$1"), errors::id::script_cannot_use},
	};
	for (const Case& c : cases)
		EXPECT_EQ(test::raised([&] { math(c.a, c.op, c.b); }), c.error.code()) << molded(c.a) << " op " << c.op;
}

TEST_F(Money, FloatsConvertThroughTheirShortestText) {
	struct Case {
		double d;
		bool strict;
		const char* result;  // null: bad-make-arg
	} cases[] = {
		{0.1, true, "$0.10000"},
		{0.123456, true, nullptr},
		{0.123456, false, "$0.12345"},
		{-1234.5, true, "-$1234.50000"},
		{1e-5, true, "$0.00001"},
		{9.9e-6, false, nullptr},
		{99999999999999984.0, true, "$99999999999999980.00000"},
		{1e17, false, nullptr},
		{-1e17, false, nullptr},
		{INFINITY, false, nullptr},
		{NAN, false, nullptr},
		{-0.0, true, "$0.00000"},
		{2147483648.0, true, "$2147483648.00000"},
	};
	for (const Case& c : cases) {
		if (c.result)
			EXPECT_EQ(molded(*money::from_float(c.d, c.strict)), c.result) << c.d;
		else
			EXPECT_EQ(test::raised([&] { money::from_float(c.d, c.strict); }), errors::id::script_bad_make_arg.code()) << c.d;
	}
	EXPECT_EQ(molded(*money::from_integer(-2147483647 - 1)), "-$2147483648.00000");
}

TEST_F(Money, ToIntegerAndToFloat) {
	struct Case {
		const char* money;
		int64_t integer;  // INT64_MIN: type-limit
		double d;
	} cases[] = {
		{"$3000000000", INT64_MIN, 3e9},
		{"$2147483647.99", 2147483647, 2147483647.99},
		{"$2147483648", INT64_MIN, 2147483648.0},
		{"-$2147483648", -2147483648LL, -2147483648.0},
		{"-$2147483648.5", -2147483648LL, -2147483648.5},
		{"-$2147483649", INT64_MIN, -2147483649.0},
		{"-$1234.56789", -1234, -1234.56789},
		{"$0.1", 0, 0.1},
		{"$99999999999999999.99999", INT64_MIN, 99999999999999999.99999},
	};
	for (const Case& c : cases) {
		Cell m = money_of(c.money);
		if (c.integer == INT64_MIN)
			EXPECT_EQ(test::raised([&] { money::to_integer(&m); }), errors::id::script_type_limit.code()) << c.money;
		else
			EXPECT_EQ(money::to_integer(&m), c.integer) << c.money;
		EXPECT_EQ(money::to_float(&m), c.d) << c.money;
	}
}

TEST_F(Money, TextIsRefusedWhenItDoesNotFit) {
	struct Case {
		const char* text;
		const char* result;  // null: refused
	} cases[] = {
		{"$12'345.5", "$12345.50000"},
		{"$00000000000000000000001", "$1.00000"},
		{"$12345678901234567", "$12345678901234567.00000"},
		{"$123456789012345678", nullptr},
		{"$1.12345", "$1.12345"},
		{"$1.123456", nullptr},
		{"usd$1", "USD$1.00000"},
		{"XYZ$1", nullptr},
		{"-$0", "$0.00000"},
		{"$1.", "$1.00000"},
	};
	for (const Case& c : cases) {
		Cell m = money_of(c.text);
		if (c.result)
			EXPECT_EQ(molded(m), c.result) << c.text;
		else
			EXPECT_TRUE(cell::is(&m, T_NONE)) << c.text;
	}
}

TEST_F(Money, FormGroupsDigitsAndMoldDoesNot) {
	struct Case {
		const char* money;
		int32_t digits;
		const char* form;
		const char* mold;
	} cases[] = {
		{"-$1234567.891", 2, "-$1'234'567.89", "-$1234567.89"},
		{"$1234.5", 2, "$1'234.50", "$1234.50"},
		{"$0.5", 2, "$0.50", "$0.50"},
		{"$100", 2, "$100.00", "$100.00"},
		{"$1000", 2, "$1'000.00", "$1000.00"},
		{"$123456", 2, "$123'456.00", "$123456.00"},
		{"USD$1000", 2, "USD$1'000.00", "USD$1000.00"},
		{"$1.23456", 5, "$1.234'56", "$1.23456"},
		{"$1.23456", 4, "$1.234'5", "$1.2345"},
		{"$1.23456", 3, "$1.234", "$1.234"},
		{"$1.99999", 1, "$1.9", "$1.9"},
		{"$1.99999", 0, "$1", "$1"},
		{"$1.99999", -3, "$1", "$1"},
		{"$1.23456", 9, "$1.234'56", "$1.23456"},
	};
	for (const Case& c : cases) {
		money::digits_option = c.digits;
		Cell m = money_of(c.money);
		EXPECT_EQ(test::form_of(m), c.form) << c.money << " " << c.digits;
		EXPECT_EQ(test::mold_of(m), c.mold) << c.money << " " << c.digits;
	}
	money::digits_option = 0;
	EXPECT_EQ(molded(money_of("$1234.5")), "$1234.50000") << "mold/all writes every digit";
}

TEST_F(Money, RoundingRefinements) {
	Cell ten = int_cell(10), cent = float_cell(0.01), dime = float_cell(0.1), zero = int_cell(0);
	Cell minus_ten = int_cell(-10), cent_money = money_of("$0.01");
	struct Case {
		const char* n;
		const Cell* scale;
		const char* refinement;
		const char* result;
	} cases[] = {
		{"$2.5", nullptr, "", "$3.00000"},
		{"-$2.5", nullptr, "", "-$3.00000"},
		{"$2.5", nullptr, "even", "$2.00000"},
		{"$3.5", nullptr, "even", "$4.00000"},
		{"$2.4", nullptr, "even", "$2.00000"},
		{"-$2.7", nullptr, "down", "-$2.00000"},
		{"-$2.1", nullptr, "floor", "-$3.00000"},
		{"$2.1", nullptr, "floor", "$2.00000"},
		{"$2.1", nullptr, "ceiling", "$3.00000"},
		{"-$2.9", nullptr, "ceiling", "-$2.00000"},
		{"$2.5", nullptr, "half-down", "$2.00000"},
		{"$2.6", nullptr, "half-down", "$3.00000"},
		{"$2.5", nullptr, "half-ceiling", "$3.00000"},
		{"-$2.5", nullptr, "half-ceiling", "-$2.00000"},
		{"USD$2.5", nullptr, "", "USD$3.00000"},
		// A tie is half the scale exactly, whatever the integer digits of the remainder.
		{"$16.5", &ten, "", "$20.00000"},
		{"$16.5", &ten, "half-down", "$20.00000"},
		{"$15", &ten, "half-down", "$10.00000"},
		// An exact multiple stays as it is.
		{"$20", &ten, "ceiling", "$20.00000"},
		{"-$20", &ten, "floor", "-$20.00000"},
		{"$25", &minus_ten, "", "$30.00000"},
		{"$1.234", &cent, "", "$1.23000"},
		{"$1.235", &cent_money, "", "$1.24000"},
		{"$1.225", &cent, "even", "$1.22000"},
		// Half to even looks at the quotient by the scale, not at the units digit.
		{"$0.35", &dime, "even", "$0.40000"},
		{"$0.25", &dime, "even", "$0.20000"},
		{"$7.3", &zero, "", "$7.30000"},
		{"$0", nullptr, "ceiling", "$0.00000"},
	};
	for (const Case& c : cases)
		EXPECT_EQ(molded(rounded(c.n, c.scale, c.refinement)), c.result) << c.n << " /" << c.refinement;

	Cell none = test::none(), fine = float_cell(0.123456);
	EXPECT_EQ(test::raised([&] { rounded("$5", &none); }), errors::id::script_not_related.code());
	EXPECT_EQ(test::raised([&] { rounded("$5", &fine); }), errors::id::script_bad_make_arg.code());
	EXPECT_EQ(test::raised([&] { rounded("$99999999999999999.5", nullptr); }), errors::id::script_type_limit.code());
}

TEST_F(Money, Comparisons) {
	struct Case {
		Cell a, b;
		CompareOp op;
		int32_t result;
	} cases[] = {
		{money_of("$1"), money_of("$1.00"), COMP_EQUAL, 0},
		{money_of("-$2"), money_of("$1"), COMP_LESSER, -1},
		{money_of("-$2"), money_of("-$1"), COMP_LESSER, -1},
		{money_of("$0"), money_of("-$0"), COMP_STRICT_EQUAL, 0},
		{money_of("USD$1"), money_of("EUR$1"), COMP_EQUAL, 1},
		{money_of("USD$1"), money_of("$1"), COMP_EQUAL, 0},
		{money_of("USD$1"), money_of("$1"), COMP_STRICT_EQUAL, 1},
		{money_of("USD$1"), money_of("$2"), COMP_LESSER, -1},
		{money_of("$5"), money_of("USD$1"), COMP_SORT, -1},
		{money_of("USD$1"), money_of("EUR$9"), COMP_SORT, 1},
		{money_of("USD$1"), money_of("USD$9"), COMP_SORT, -1},
		{money_of("$1"), money_of("USD$1"), COMP_FIND, 1},
		{money_of("USD$1"), money_of("$1"), COMP_FIND, 0},
		{money_of("$1"), int_cell(1), COMP_EQUAL, 0},
		{money_of("$1"), int_cell(2), COMP_LESSER, -1},
		{money_of("$1"), int_cell(1), COMP_STRICT_EQUAL, 1},
		{money_of("$1"), float_cell(1.5), COMP_LESSER, -1},
		{money_of("$1.5"), float_cell(1.5), COMP_EQUAL, 0},
		{money_of("$1.00001"), float_cell(1.000011), COMP_LESSER, -1},
		{money_of("$1.00001"), float_cell(1.000011), COMP_EQUAL, -1},
		{money_of("-$1.00001"), float_cell(-1.000011), COMP_GREATER, 1},
		// Floats outside money's range take their place in numeric order.
		{money_of("$0"), float_cell(1e-6), COMP_LESSER, -1},
		{money_of("$0"), float_cell(-1e-6), COMP_LESSER, 1},
		{money_of("$1"), float_cell(1e-6), COMP_GREATER, 1},
		{money_of("-$1"), float_cell(1e-6), COMP_LESSER, -1},
		{money_of("$1"), float_cell(1e20), COMP_LESSER, -1},
		{money_of("$1"), float_cell(-1e20), COMP_GREATER, 1},
		{money_of("-$1"), float_cell(-INFINITY), COMP_GREATER, 1},
		{money_of("$1"), float_cell(NAN), COMP_EQUAL, 1},
		{money_of("$1"), test::none(), COMP_EQUAL, COMPARE_UNRELATED},
		{money_of("$1"), test::none(), COMP_STRICT_EQUAL, 1},
	};
	for (const Case& c : cases)
		EXPECT_EQ(money::compare(&c.a, &c.b, c.op), c.result) << molded(c.a) << " vs " << molded(c.b) << " op " << c.op;

	Cell usd = money_of("USD$1"), eur = money_of("EUR$2"), nan = float_cell(NAN);
	EXPECT_EQ(test::raised([&] { money::compare(&usd, &eur, COMP_LESSER); }), errors::id::script_wrong_denom.code());
	EXPECT_FALSE(actions::compare(&usd, &nan, COMP_LESSER));
	EXPECT_FALSE(actions::compare(&usd, &nan, COMP_GREATER_EQUAL));
}

TEST_F(Money, MakeFromBlocks) {
	auto block_of = [](std::vector<Cell> cells) {
		Cell b;
		cell::set(&b, T_BLOCK, 0, memory::alloc_cells(uint32_t(cells.size()) + 1), 0);
		for (const Cell& c : cells) *memory::alloc_tail(&b) = c;
		return b;
	};
	struct Case {
		Cell spec;
		const char* result;  // null: bad-make-arg
	} cases[] = {
		{block_of({int_cell(12), int_cell(50000)}), "$12.50000"},
		{block_of({int_cell(-12), int_cell(50000)}), "-$12.50000"},
		{block_of({int_cell(0), int_cell(1)}), "$0.00001"},
		{block_of({float_cell(12.5)}), "$12.50000"},
		{block_of({int_cell(7)}), "$7.00000"},
		{block_of({}), nullptr},
		{block_of({int_cell(1), int_cell(2), int_cell(3)}), nullptr},
		{block_of({float_cell(12.5), int_cell(1)}), nullptr},
		{block_of({int_cell(12), int_cell(100000)}), nullptr},
		{block_of({int_cell(12), int_cell(-1)}), nullptr},
		{block_of({test::none()}), nullptr},
		{block_of({float_cell(0.123456)}), nullptr},
	};
	for (Case& c : cases) {
		Cell proto;
		cell::set(&proto, T_DATATYPE, T_MONEY);
		if (c.result)
			EXPECT_EQ(molded(*money::make(&proto, &c.spec, T_MONEY)), c.result);
		else
			EXPECT_EQ(test::raised([&] { money::make(&proto, &c.spec, T_MONEY); }), errors::id::script_bad_make_arg.code());
	}
	Cell proto, spec = int_cell(-5);
	cell::set(&proto, T_DATATYPE, T_MONEY);
	EXPECT_EQ(molded(*money::to(&proto, &spec, T_MONEY)), "-$5.00000");
	spec = test::none();
	EXPECT_EQ(test::raised([&] { money::to(&proto, &spec, T_MONEY); }), errors::id::script_bad_to_arg.code());
}

TEST_F(Money, SignsParityPicksAndPaths) {
	Cell m = money_of("-USD$3.5");
	EXPECT_TRUE(money::negative_q(&m));
	EXPECT_EQ(money::sign_q(&m), -1);
	EXPECT_TRUE(actions::get<action::PredicateFn>(&m, A_ODD_Q)(&m));
	Cell two = money_of("$2.9");
	EXPECT_TRUE(actions::get<action::PredicateFn>(&two, A_EVEN_Q)(&two));
	Cell zero = money_of("$0");
	EXPECT_TRUE(money::zero_q(&zero));
	EXPECT_EQ(money::sign_q(&zero), 0);
	EXPECT_EQ(molded(*actions::get<action::UnaryFn>(&zero, A_NEGATE)(&zero)), "$0.00000") << "zero never turns negative";
	EXPECT_EQ(molded(*actions::get<action::UnaryFn>(&m, A_NEGATE)(&m)), "USD$3.50000");

	Cell index = int_cell(2);
	EXPECT_EQ(molded(*actions::pick(&m, &index)), "$3.50000");
	index = int_cell(1);
	EXPECT_TRUE(cell::is(actions::pick(&two, &index), T_NONE));
	index = int_cell(3);
	EXPECT_EQ(test::raised([&] { actions::pick(&m, &index); }), errors::id::script_out_of_range.code());
	Cell value = int_cell(1);
	index = int_cell(2);
	EXPECT_EQ(test::raised([&] { money::eval_path(&m, &index, &value, nullptr, nullptr, nullptr, 0, false, false, true, false); }),
		errors::id::script_bad_path_set.code());
	index = int_cell(3);
	EXPECT_EQ(test::raised([&] { money::eval_path(&m, &index, nullptr, nullptr, nullptr, nullptr, 0, false, true, true, false); }),
		errors::id::script_invalid_path.code());
}

}  // namespace

namespace {

TEST_F(Money, NumbersHandTheirArithmeticAndComparisonsToMoney) {
	struct Case {
		Cell a;
		MathOp op;
		Cell b;
		const char* result;  // null: the error
		errors::Id error;
	} cases[] = {
		{int_cell(1), OP_ADD, money_of("$1.5"), "$2.50000", {}},
		{int_cell(10), OP_SUB, money_of("USD$2.5"), "USD$7.50000", {}},
		{int_cell(3), OP_MUL, money_of("-$1.1"), "-$3.30000", {}},
		{float_cell(0.5), OP_ADD, money_of("$1"), "$1.50000", {}},
		{float_cell(0.5, T_PERCENT), OP_MUL, money_of("$3"), "$1.50000", {}},
		{int_cell(10), OP_DIV, money_of("$4"), nullptr, errors::id::script_invalid_type},
		{float_cell(10), OP_REM, money_of("$4"), nullptr, errors::id::script_invalid_type},
	};
	for (const Case& c : cases) {
		auto worker = cell::is(&c.a, T_INTEGER) ? integer::do_math : float_::do_math;
		if (c.result)
			EXPECT_EQ(molded(test::run_frame(c.a, c.b, [&] { return worker(c.op); })), c.result) << molded(c.a);
		else
			EXPECT_EQ(test::raised([&] { test::run_frame(c.a, c.b, [&] { return worker(c.op); }); }), c.error.code());
	}
	Cell one = int_cell(1), dollar = money_of("$1"), half = float_cell(0.5), fifty = money_of("$0.50");
	EXPECT_TRUE(actions::compare(&one, &dollar, COMP_EQUAL));
	EXPECT_TRUE(actions::compare(&dollar, &one, COMP_EQUAL));
	EXPECT_TRUE(actions::compare(&half, &fifty, COMP_EQUAL));
	EXPECT_TRUE(actions::compare(&half, &dollar, COMP_LESSER));
}

TEST_F(Money, FloatsCompareWithMoneyAlikeInEitherOrder) {
	struct Case {
		double f;
		const char* money;
		CompareOp op;
		bool result;
	} cases[] = {
		{1e-6, "$1", COMP_LESSER, true},
		{1e-6, "$0", COMP_GREATER, true},
		{-1e-6, "$0", COMP_EQUAL, false},
		{1.000011, "$1.00001", COMP_GREATER, true},
		{1.000011, "$1.00001", COMP_EQUAL, false},
		{1e20, "$99999999999999999", COMP_GREATER, true},
		{-1e20, "-$1", COMP_LESSER, true},
		{2.5, "USD$2.5", COMP_EQUAL, true},
	};
	for (const Case& c : cases) {
		Cell f = float_cell(c.f), m = money_of(c.money);
		EXPECT_EQ(actions::compare(&f, &m, c.op), c.result) << c.f << " op " << c.op << " " << c.money;
		EXPECT_EQ(actions::compare(&m, &f, c.op == COMP_LESSER ? COMP_GREATER : c.op == COMP_GREATER ? COMP_LESSER : c.op),
			c.result) << "the other way round";
	}
}

}  // namespace

namespace {

TEST_F(Money, CurrenciesComeFromTheCurrencyList) {
	EXPECT_EQ(money::currency_index("USD"), money::currency_index("usd"));
	EXPECT_EQ(money::currency_code(uint32_t(money::currency_index("eur"))), "EUR");
	EXPECT_EQ(money::currency_index("XYZ"), -1);
	EXPECT_EQ(money::currency_index("US"), -1);
	EXPECT_EQ(money::currency_code(0), "");
	EXPECT_EQ(money::currency_code(9999), "");
	Cell usd = test::word_of("Usd"), unknown = test::word_of("XYZ");
	EXPECT_EQ(money::get_currency_index(&usd), money::currency_index("USD"));
	EXPECT_EQ(money::get_currency_index(&unknown), -1);

	Cell proto;
	cell::set(&proto, T_DATATYPE, T_MONEY);
	EXPECT_EQ(molded(*money::make(&proto, &usd, T_MONEY)), "USD$0.00000");
	Cell spec = test::block_of({usd, int_cell(12), int_cell(50000)});
	EXPECT_EQ(molded(*money::make(&proto, &spec, T_MONEY)), "USD$12.50000");
	spec = test::block_of({usd, float_cell(-1.25)});
	EXPECT_EQ(molded(*money::make(&proto, &spec, T_MONEY)), "-USD$1.25000");
	EXPECT_EQ(test::raised([&] { money::make(&proto, &unknown, T_MONEY); }), errors::id::script_bad_make_arg.code());
	spec = test::block_of({unknown, int_cell(1)});
	EXPECT_EQ(test::raised([&] { money::make(&proto, &spec, T_MONEY); }), errors::id::script_bad_make_arg.code());
	spec = test::block_of({usd});
	EXPECT_EQ(test::raised([&] { money::make(&proto, &spec, T_MONEY); }), errors::id::script_bad_make_arg.code());
}

TEST_F(Money, CodeAndAmountPaths) {
	Cell m = money_of("-EUR$12.5"), code = test::word_of("code"), amount = test::word_of("Amount");
	Cell* c = money::eval_path(&m, &code, nullptr, nullptr, nullptr, nullptr, 0, false, true, true, false);
	ASSERT_TRUE(cell::is(c, T_WORD));
	EXPECT_EQ(symbol::name(c->data2), "EUR");
	EXPECT_EQ(molded(*money::eval_path(&m, &amount, nullptr, nullptr, nullptr, nullptr, 0, false, true, true, false)),
		"-$12.50000");
	Cell other = test::word_of("sign");
	EXPECT_EQ(test::raised([&] { money::eval_path(&m, &other, nullptr, nullptr, nullptr, nullptr, 0, false, true, true, false); }),
		errors::id::script_invalid_path.code());
}

TEST_F(Money, RandomStaysBetweenZeroAndTheAmount) {
	auto random = [](Cell& c, bool seed, bool secure) {
		return actions::get<action::RandomFn>(&c, A_RANDOM)(&c, seed, secure, false);
	};
	Cell limit = money_of("-USD$100.5");
	for (int i = 0; i < 300; i++) {
		Cell m = limit;
		random(m, false, i % 3 == 0);
		money::Amount a = money::amount_of(&m), l = money::amount_of(&limit);
		EXPECT_LE(a.units, l.units);
		EXPECT_EQ(a.currency, l.currency);
		EXPECT_TRUE(a.negative || a.units == 0);
	}
	Cell zero = money_of("$0");
	EXPECT_EQ(molded(*random(zero, false, false)), "$0.00000");
	Cell s = money_of("$3"), r1 = money_of("$1000"), r2 = r1;
	EXPECT_TRUE(cell::is(random(s, true, false), T_UNSET));
	random(r1, false, false);
	s = money_of("$3");
	random(s, true, false);
	random(r2, false, false);
	EXPECT_EQ(molded(r1), molded(r2));
}

}  // namespace

namespace {

TEST_F(Money, TextConvertsByTheMoneySyntax) {
	struct Case {
		const char* text;
		const char* result;  // null: bad-to-arg
	} cases[] = {
		{"$1.50", "$1.50000"}, {"1.5", "$1.50000"}, {"USD$12.50", "USD$12.50000"}, {"-$0.01", "-$0.01000"},
		{"+$3", "$3.00000"}, {"usd$1", "USD$1.00000"}, {"$1'000", "$1000.00000"}, {"-EUR$1'234.5", "-EUR$1234.50000"},
		{"$00000000000000000001", "$1.00000"}, {"US$1", nullptr}, {"USD1", nullptr}, {"$1.123456", nullptr},
		{"$'1", nullptr}, {"$1''0", nullptr}, {"$1'", nullptr}, {"$1.5'0", nullptr}, {"$.5", nullptr}, {"$1.", nullptr},
		{"$1.2.3", nullptr}, {"", nullptr}, {"$", nullptr}, {"-", nullptr}, {"XYZ$1", nullptr},
		{"$123456789012345678", nullptr}, {"$1 ", nullptr}, {"\xC3\xA9$1", nullptr},
	};
	for (const Case& c : cases) {
		Cell s, proto;
		string::load_at(&s, c.text);
		cell::set(&proto, T_DATATYPE, T_MONEY);
		if (c.result)
			EXPECT_EQ(molded(*money::to(&proto, &s, T_MONEY)), c.result) << c.text;
		else
			EXPECT_EQ(test::raised([&] { money::to(&proto, &s, T_MONEY); }), errors::id::script_bad_to_arg.code()) << c.text;
	}
}

}  // namespace
