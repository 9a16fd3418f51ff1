#include <cmath>
#include <vector>

#include "runtime/datatypes/float.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/money.h"
#include "runtime/datatypes/pair.h"
#include "runtime/datatypes/percent.h"
#include "runtime/datatypes/point2d.h"
#include "runtime/datatypes/point3d.h"
#include "tests/unit/extended_support.h"

using namespace vyn;
using test::float_cell;
using test::int_cell;

namespace {

Cell pt(float x, float y) {
	Cell c;
	point2D::make_at(&c, x, y);
	return c;
}
Cell pt(float x, float y, float z) {
	Cell c;
	point3D::make_at(&c, x, y, z);
	return c;
}
Cell xy(int32_t x, int32_t y) {
	Cell c;
	pair::make_at(&c, x, y);
	return c;
}

std::string text(const Cell& c) { return test::form_of(c); }

class Point : public test::ValueTest {
protected:
	void SetUp() override {
		ValueTest::SetUp();
		integer::init_type();
		float_::init_type();
		percent::init_type();
		money::init_type();
		pair::init_type();
		point2D::init_type();
		point3D::init_type();
	}
	Cell math(const Cell& a, MathOp op, const Cell& b) {
		Cell* (*worker)(MathOp) = cell::is(&a, T_INTEGER) ? integer::do_math
			: cell::is(&a, T_FLOAT)                       ? float_::do_math
														  : point::do_math;
		return test::run_frame(a, b, [&] { return worker(op); });
	}
	Cell block_of(std::vector<Cell> cells) {
		Cell b;
		cell::set(&b, T_BLOCK, 0, memory::alloc_cells(uint32_t(cells.size()) + 1), 0);
		for (const Cell& c : cells) *memory::alloc_tail(&b) = c;
		return b;
	}
	Cell converted(Type t, Cell spec) {
		Cell proto;
		cell::set(&proto, T_DATATYPE, t);
		return *actions::get_for_type<action::MakeFn>(t, &proto, A_TO)(&proto, &spec, t);
	}
	Cell rounded(Cell p, const Cell* scale) {
		return *actions::get<action::RoundFn>(&p, A_ROUND)(&p, scale, false, false, false, false, false, false);
	}
};

TEST_F(Point, ArithmeticPerCoordinateInSinglePrecision) {
	struct Case {
		Cell a;
		MathOp op;
		Cell b;
		const char* result;
	} cases[] = {
		{pt(1, 2), OP_ADD, xy(1, 1), "(2, 3)"},
		{pt(1, 2), OP_MUL, float_cell(2.5), "(2.5, 5)"},
		{pt(1, 2), OP_SUB, pt(0.5f, 0.25f), "(0.5, 1.75)"},
		{pt(1, 2), OP_DIV, int_cell(0), "(1.#INF, 1.#INF)"},
		{pt(-1, 0), OP_DIV, float_cell(0.0), "(-1.#INF, 1.#NaN)"},
		{pt(5.5f, 1), OP_REM, int_cell(2), "(1.5, 1)"},
		{pt(1, 2), OP_MUL, float_cell(0.5, T_PERCENT), "(0.5, 1)"},
		{pt(16777216.0f, 0), OP_ADD, int_cell(1), "(1.677722e7, 1)"},
		{pt(1, 2, 3), OP_MUL, int_cell(2), "(2, 4, 6)"},
		{pt(1, 2, 3), OP_SUB, pt(1, 1, 1), "(0, 1, 2)"},
		// number op point
		{int_cell(2), OP_SUB, pt(1, 3), "(1, -1)"},
		{int_cell(2), OP_MUL, pt(1, 3, 5), "(2, 6, 10)"},
		{float_cell(1.5), OP_MUL, pt(2, 4), "(3, 6)"},
		{float_cell(1.5), OP_ADD, pt(2, 4, 8), "(3.5, 5.5, 9.5)"},
	};
	for (const Case& c : cases) EXPECT_EQ(text(math(c.a, c.op, c.b)), c.result) << text(c.a) << " op " << c.op;
}

TEST_F(Point, ArithmeticErrors) {
	struct Case {
		Cell a;
		MathOp op;
		Cell b;
		errors::Id error;
	} cases[] = {
		{pt(1, 2), OP_AND, int_cell(1), errors::id::script_cannot_use},
		{pt(1, 2), OP_ADD, pt(1, 2, 3), errors::id::script_invalid_type},
		{pt(1, 2, 3), OP_ADD, pt(1, 2), errors::id::script_invalid_type},
		{pt(1, 2, 3), OP_ADD, xy(1, 2), errors::id::script_invalid_type},
		{pt(1, 2), OP_ADD, test::none(), errors::id::script_invalid_type},
		{int_cell(2), OP_DIV, pt(1, 1), errors::id::script_not_related},
		{float_cell(1.5), OP_SUB, pt(1, 1, 1), errors::id::script_not_related},
	};
	for (const Case& c : cases)
		EXPECT_EQ(test::raised([&] { math(c.a, c.op, c.b); }), c.error.code()) << text(c.a) << " op " << c.op;
}

TEST_F(Point, EqualityToleratesAFewUnitsInTheLastPlace) {
	float tenth = 0.1f;
	float near = std::nextafterf(std::nextafterf(tenth, 1.0f), 1.0f);
	struct Case {
		Cell a, b;
		CompareOp op;
		int32_t result;
	} cases[] = {
		{pt(tenth, 0), pt(near, 0), COMP_EQUAL, 0},
		{pt(tenth, 0), pt(near, 0), COMP_STRICT_EQUAL, 1},
		{pt(tenth, 0), pt(near, 0), COMP_SORT, 0},
		{pt(tenth, 0), pt(near, 1), COMP_SORT, -1},
		{pt(0.0f, 1), pt(-0.0f, 1), COMP_STRICT_EQUAL, 0},
		{pt(0.0f, 1), pt(-0.0f, 1), COMP_SAME, 1},
		{pt(NAN, 1), pt(NAN, 1), COMP_EQUAL, 1},
		{pt(1, 5), pt(2, 0), COMP_SORT, -1},
		{pt(1, 1), pt(1, 2), COMP_LESSER, -1},
		{pt(1, 2), xy(1, 2), COMP_EQUAL, 0},
		{pt(1, 2, 3), pt(1, 2, 4), COMP_SORT, -1},
		{pt(1, 2, 3), pt(1, 2, 3), COMP_EQUAL, 0},
		{pt(1, 2, 3), pt(1, 2), COMP_EQUAL, COMPARE_UNRELATED},
		{pt(1, 2), pt(1, 2, 0), COMP_EQUAL, COMPARE_UNRELATED},
		{pt(1, 2, 3), xy(1, 2), COMP_EQUAL, COMPARE_UNRELATED},
	};
	for (const Case& c : cases) EXPECT_EQ(actions::compare_raw(&c.a, &c.b, c.op), c.result) << text(c.a) << " op " << c.op;
}

TEST_F(Point, ConversionsAndForms) {
	struct Case {
		Type t;
		Cell spec;
		const char* result;  // null: the error
		errors::Id error;
	} cases[] = {
		{T_POINT3D, xy(1, 2), "(1, 2, 0)", {}},
		{T_POINT3D, pt(1.5f, 2), "(1.5, 2, 0)", {}},
		{T_POINT2D, block_of({int_cell(1), float_cell(2.5)}), "(1, 2.5)", {}},
		{T_POINT2D, int_cell(3), "(3, 3)", {}},
		{T_POINT3D, float_cell(0.1), "(0.1, 0.1, 0.1)", {}},
		{T_POINT2D, xy(-7, 8), "(-7, 8)", {}},
		{T_POINT2D, float_cell(1e10), "(1e10, 1e10)", {}},
		{T_POINT3D, block_of({int_cell(1), int_cell(2)}), nullptr, errors::id::syntax_malconstruct},
		{T_POINT2D, block_of({int_cell(1), test::none()}), nullptr, errors::id::syntax_malconstruct},
		{T_POINT2D, pt(1, 2, 3), nullptr, errors::id::script_bad_to_arg},
		{T_POINT2D, test::none(), nullptr, errors::id::script_bad_to_arg},
	};
	for (const Case& c : cases) {
		if (c.result)
			EXPECT_EQ(text(converted(c.t, c.spec)), c.result);
		else
			EXPECT_EQ(test::raised([&] { converted(c.t, c.spec); }), c.error.code());
	}
	EXPECT_EQ(test::mold_of(pt(1, 2.5f, -3)), "(1, 2.5, -3)");
}

TEST_F(Point, PathsPicksAndUnaryActions) {
	Cell p = pt(1, 2), q = pt(1, 2, 3);
	Cell one = int_cell(1), three = int_cell(3), four = int_cell(4), value = int_cell(3), none = test::none();
	actions::eval_path(&p, &one, &value, nullptr, nullptr, nullptr, 0, false, false, true, false);
	Cell* x = actions::eval_path(&p, &one, nullptr, nullptr, nullptr, nullptr, 0, false, true, true, false);
	EXPECT_TRUE(cell::is(x, T_FLOAT));
	EXPECT_EQ(cell::get_double(x), 3.0);
	EXPECT_EQ(test::raised([&] { actions::eval_path(&p, &one, &none, nullptr, nullptr, nullptr, 0, false, false, true, false); }),
		errors::id::script_invalid_type.code());
	EXPECT_EQ(test::raised([&] { actions::eval_path(&p, &three, nullptr, nullptr, nullptr, nullptr, 0, false, true, true, false); }),
		errors::id::script_invalid_path.code());
	EXPECT_EQ(cell::get_double(actions::pick(&q, &three)), 3.0);
	EXPECT_EQ(test::raised([&] { actions::pick(&q, &four); }), errors::id::script_out_of_range.code());

	auto reverse = [](Cell c) { return *actions::get<action::ReverseFn>(&c, A_REVERSE)(&c, nullptr, nullptr); };
	auto negate = [](Cell c) { return *actions::get<action::UnaryFn>(&c, A_NEGATE)(&c); };
	auto absolute = [](Cell c) {
		return test::run_frame(c, c, [] { return actions::get<action::FrameFn>(stack::arguments, A_ABSOLUTE)(); });
	};
	EXPECT_EQ(text(reverse(pt(1, 2, 3))), "(3, 2, 1)");
	EXPECT_EQ(text(reverse(pt(1, 2))), "(2, 1)");
	Cell negated = negate(pt(0, -1));
	EXPECT_EQ(text(negated), "(0, 1)");
	EXPECT_FALSE(std::signbit(point2D::x_of(&negated))) << "0.0 - 0.0 is +0.0";
	EXPECT_EQ(text(absolute(pt(-1.5f, 2, -0.0f))), "(1.5, 2, 0)");
}

TEST_F(Point, RoundEachCoordinateWithTheFloatRounding) {
	Cell half = float_cell(0.5), five = int_cell(5), two_scales = pt(0.1f, 1), pair_scales = xy(2, 10), dollar;
	money::make_at(&dollar, money::Amount{100000, false, 0});
	struct Case {
		Cell p;
		const Cell* scale;
		const char* result;
	} cases[] = {
		{pt(1.5f, 2.5f), nullptr, "(2, 3)"},
		{pt(1.26f, 3.74f), &half, "(1.5, 3.5)"},
		{pt(12, 17), &five, "(10, 15)"},
		{pt(1.26f, 3.74f), &two_scales, "(1.3, 4)"},
		{pt(3, 17), &pair_scales, "(4, 20)"},
		{pt(1.26f, 3.74f, 5.5f), &two_scales, "(1.3, 4, 5.5)"},
		{pt(1e20f, -2.5f), &five, "(1e20, -5)"},
	};
	for (Case& c : cases) EXPECT_EQ(text(rounded(c.p, c.scale)), c.result);
	EXPECT_EQ(test::raised([&] { rounded(pt(1, 1), &dollar); }), errors::id::script_not_related.code());
}

}  // namespace

namespace {

TEST_F(Point, WordsSelectCoordinates) {
	Cell q = pt(1, 2, 3), z = test::word_of("Z"), x = test::word_of("x"), half = float_cell(0.5);
	EXPECT_EQ(cell::get_double(actions::pick(&q, &z)), 3.0);
	actions::eval_path(&q, &x, &half, nullptr, nullptr, nullptr, 0, false, false, true, false);
	EXPECT_EQ(text(q), "(0.5, 2, 3)");
	Cell p = pt(1, 2);
	EXPECT_EQ(test::raised([&] { actions::pick(&p, &z); }), errors::id::script_cannot_use.code());
}

TEST_F(Point, RandomDrawsBetweenZeroAndEachCoordinate) {
	auto random = [](Cell& c, bool seed, bool secure) {
		return actions::get<action::RandomFn>(&c, A_RANDOM)(&c, seed, secure, false);
	};
	for (int i = 0; i < 200; i++) {
		Cell p = pt(0, -2.5f, 10);
		random(p, false, i % 2 == 1);
		EXPECT_EQ(point::get(&p, 0), 0.0f);
		EXPECT_LE(point::get(&p, 1), 0.0f);
		EXPECT_GE(point::get(&p, 1), -2.5f);
		EXPECT_GE(point::get(&p, 2), 0.0f);
		EXPECT_LE(point::get(&p, 2), 10.0f);
	}
	Cell s = pt(1, 2), r1 = pt(100, 100), r2 = r1;
	EXPECT_TRUE(cell::is(random(s, true, false), T_UNSET));
	random(r1, false, false);
	s = pt(1, 2);
	random(s, true, false);
	random(r2, false, false);
	EXPECT_EQ(text(r1), text(r2)) << "the same coordinates seed the same draws";
}

}  // namespace
