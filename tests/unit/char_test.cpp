#include <cmath>
#include <limits>

#include "tests/unit/scalar_support.h"

using namespace vyn;
using namespace vyn::test;

namespace {

class Char : public ScalarTest {};

void expect_char(const Cell& got, uint32_t cp, const std::string& what) {
	EXPECT_EQ(cell::type_of(&got), T_CHAR) << what;
	EXPECT_EQ(char_::get(&got), cp) << what;
}

TEST_F(Char, ArithmeticStaysInTheCodepointRange) {
	struct Case {
		MathOp op;
		uint32_t c;
		Cell operand;
		uint32_t want;
	} cases[] = {
		{OP_ADD, 'a', I(1), 'b'},
		{OP_SUB, 'a', I(97), 0},
		{OP_MUL, 'a', I(2), 194},
		{OP_DIV, 'z', I(2), '='},
		{OP_ADD, 'a', F(1.7), 'b'},
		{OP_SUB, 'a', F(-1.7), 'b'},
		{OP_ADD, 'a', C(1), 'b'},
		{OP_REM, 'a', I(10), 7},
		{OP_AND, 'a', I(0xDF), 'A'},
		{OP_OR, 'A', I(0x20), 'a'},
		{OP_XOR, 'a', C(' '), 'A'},
		{OP_ADD, 0x10FFFE, I(1), 0x10FFFF},
	};
	for (const Case& c : cases) expect_char(op(c.op, C(c.c), c.operand), c.want, std::to_string(c.c) + " op" + std::to_string(c.op));

	struct Bad {
		MathOp op;
		uint32_t c;
		Cell operand;
		errors::Id error;
	} bad[] = {
		{OP_SUB, 'a', I(98), errors::id::math_overflow},
		{OP_ADD, 0x10FFFF, I(1), errors::id::math_overflow},
		{OP_ADD, 'a', I(2147483647), errors::id::math_overflow},
		{OP_MUL, 0x10FFFF, I(0x10FFFF), errors::id::math_overflow},
		{OP_ADD, 'a', F(1e10), errors::id::math_overflow},
		{OP_ADD, 'a', F(std::numeric_limits<double>::quiet_NaN()), errors::id::math_overflow},
		{OP_DIV, 'a', I(0), errors::id::math_zero_divide},
		{OP_REM, 'a', I(0), errors::id::math_zero_divide},
		{OP_ADD, 'a', P(0.5), errors::id::script_invalid_type},
		{OP_ADD, 'a', S("b"), errors::id::script_invalid_type},
	};
	for (const Bad& b : bad)
		EXPECT_EQ(raised([&] { op(b.op, C(b.c), b.operand); }).code, code(b.error)) << b.c << " op" << b.op << " " << form(b.operand);
}

TEST_F(Char, InheritedAndMissingActions) {
	expect_char(call(A_ABSOLUTE, {C('a')}), 'a', "absolute");
	Cell even = call(A_EVEN_Q, {C('b')});
	EXPECT_TRUE(logic::get(&even));
	for (Slot s : {A_NEGATE, A_COMPLEMENT})
		EXPECT_EQ(raised([&] { call(s, {C('a')}); }).code, code(errors::id::script_expect_arg)) << int(s);
	EXPECT_EQ(raised([] { call(A_POWER, {C('a'), I(2)}); }).code, code(errors::id::script_expect_arg));
}

TEST_F(Char, MakeAndTo) {
	struct Case {
		Cell spec;
		uint32_t want;
	} cases[] = {
		{I(65), 'A'},
		{I(0), 0},
		{I(0x10FFFF), 0x10FFFF},
		{F(65.9), 'A'},
		{P(65.0), 'A'},
		{S("abc"), 'a'},
		{S("\xC3\xA9t\xC3\xA9"), 0xE9},
		{S("\xF0\x9F\x98\x80", T_TAG), 0x1F600},
		{BIN({0xC3, 0xA9}), 0xE9},
		{BIN({'A', 0xFF}), 'A'},
		{BIN({0xF0, 0x9F, 0x98, 0x80}), 0x1F600},
		{C('x'), 'x'},
	};
	for (const Case& c : cases) expect_char(to(T_CHAR, c.spec), c.want, "to char! " + form(c.spec));

	struct Bad {
		Cell spec;
		errors::Id error;
	} bad[] = {
		{I(1114112), errors::id::script_out_of_range},
		{I(-1), errors::id::script_out_of_range},
		{F(-1.0), errors::id::script_out_of_range},
		{F(1e20), errors::id::script_out_of_range},
		{F(std::numeric_limits<double>::quiet_NaN()), errors::id::script_out_of_range},
		{S(""), errors::id::script_bad_to_arg},
		{BIN({}), errors::id::script_bad_to_arg},
		{BIN({0xC3}), errors::id::script_bad_to_arg},
		{L(true), errors::id::script_bad_to_arg},
	};
	for (const Bad& b : bad) EXPECT_EQ(raised([&] { to(T_CHAR, b.spec); }).code, code(b.error)) << form(b.spec);
	Raised r = raised([] { to(T_CHAR, I(1114112)); });
	EXPECT_TRUE(same_cell(r.args[0], I(1114112))) << "out-of-range names the spec";
}

TEST_F(Char, CompareAgainstNumbers) {
	struct Case {
		Cell a, b;
		CompareOp op;
		bool want;
	} cases[] = {
		{C('A'), I(65), COMP_EQUAL, true},
		{C('A'), F(65.0), COMP_EQUAL, false},
		{C('a'), I(97), COMP_STRICT_EQUAL, false},
		{C('a'), C('a'), COMP_STRICT_EQUAL, true},
		{C('A'), I(65), COMP_FIND_SELECT, false},
		{C('a'), C('b'), COMP_LESSER, true},
		{C(0x10FFFF), I(-1), COMP_GREATER, true},
	};
	for (const Case& c : cases) EXPECT_EQ(actions::compare(&c.a, &c.b, c.op), c.want) << c.a.data2 << " op" << c.op;
	Cell a = C('a'), f = F(1.0);
	EXPECT_EQ(raised([&] { actions::compare(&a, &f, COMP_LESSER); }).code, code(errors::id::script_invalid_compare));
}

TEST_F(Char, FormWritesTheCharacterMoldEscapesIt) {
	Cell r = call(A_FORM, {C(0x1F600)});
	EXPECT_EQ(units_text(&r), U"\U0001F600");
	EXPECT_EQ(form(C('a')), "a");

	struct Case {
		uint32_t cp;
		const char32_t* mold;
		const char32_t* mold_all;
	} cases[] = {
		{'a', U"#\"a\"", U"#\"a\""},
		{'"', U"#\"^\"\"", U"#\"^\"\""},
		{'^', U"#\"^^\"", U"#\"^^\""},
		{0, U"#\"^@\"", U"#\"^@\""},
		{9, U"#\"^-\"", U"#\"^-\""},
		{10, U"#\"^/\"", U"#\"^/\""},
		{27, U"#\"^[\"", U"#\"^[\""},
		{30, U"#\"^(1E)\"", U"#\"^(1E)\""},
		{127, U"#\"^~\"", U"#\"^~\""},
		{0x85, U"#\"^(85)\"", U"#\"^(85)\""},
		{0xE9, U"#\"\u00e9\"", U"#\"^(E9)\""},
		{0x1F600, U"#\"\U0001F600\"", U"#\"^(1F600)\""},
	};
	for (const Case& c : cases) {
		Cell plain = call(A_MOLD, {C(c.cp)});
		EXPECT_EQ(units_text(&plain), c.mold) << c.cp;
		Cell all = call(A_MOLD, {C(c.cp), L(true)}, {-1, 1, -1, -1});
		EXPECT_EQ(units_text(&all), c.mold_all) << c.cp;
	}
}

}  // namespace
