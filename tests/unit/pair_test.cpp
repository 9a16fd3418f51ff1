#include "runtime/datatypes/pair.h"

#include <cmath>
#include <vector>

#include "runtime/datatypes/float.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/money.h"
#include "runtime/datatypes/percent.h"
#include "runtime/datatypes/point2d.h"
#include "tests/unit/extended_support.h"

using namespace vyn;
using test::float_cell;
using test::int_cell;

namespace {

Cell xy(int32_t x, int32_t y) {
	Cell c;
	pair::make_at(&c, x, y);
	return c;
}
Cell pt(float x, float y) {
	Cell c;
	point2D::make_at(&c, x, y);
	return c;
}

std::string text(const Cell& c) { return test::form_of(c); }

class Pair : public test::ValueTest {
protected:
	void SetUp() override {
		ValueTest::SetUp();
		integer::init_type();
		float_::init_type();
		percent::init_type();
		money::init_type();
		pair::init_type();
		point2D::init_type();
	}
	Cell math(const Cell& a, MathOp op, const Cell& b) {
		auto worker = cell::is(&a, T_PAIR) ? pair::do_math : cell::is(&a, T_INTEGER) ? integer::do_math : float_::do_math;
		return test::run_frame(a, b, [&] { return worker(op); });
	}
	Cell block_of(std::vector<Cell> cells) {
		Cell b;
		cell::set(&b, T_BLOCK, 0, memory::alloc_cells(uint32_t(cells.size()) + 1), 0);
		for (const Cell& c : cells) *memory::alloc_tail(&b) = c;
		return b;
	}
	Cell converted(Cell spec) {
		Cell proto;
		cell::set(&proto, T_DATATYPE, T_PAIR);
		return *actions::get_for_type<action::MakeFn>(T_PAIR, &proto, A_TO)(&proto, &spec, T_PAIR);
	}
};

TEST_F(Pair, ArithmeticOverflowsIntoPoints) {
	struct Case {
		Cell a;
		MathOp op;
		Cell b;
		const char* result;  // a point2D! result is written with parentheses
	} cases[] = {
		{xy(10, 20), OP_MUL, float_cell(1.5), "(15, 30)"},
		{xy(10, 20), OP_MUL, int_cell(2), "20x40"},
		{xy(2147483647, 0), OP_ADD, xy(1, 0), "(2.147484e9, 0)"},
		{xy(-2147483647 - 1, 1), OP_SUB, int_cell(1), "(-2.147484e9, 0)"},
		{xy(65536, 1), OP_MUL, int_cell(65536), "(4.294967e9, 65536)"},
		{xy(7, 7), OP_DIV, int_cell(2), "(3.5, 3.5)"},
		{xy(8, 8), OP_DIV, int_cell(2), "4x4"},
		{xy(10, 20), OP_DIV, xy(4, 5), "(2.5, 4)"},
		{xy(-2147483647 - 1, 4), OP_DIV, int_cell(-1), "(2.147484e9, -4)"},
		{xy(-2147483647 - 1, 5), OP_REM, int_cell(-1), "0x0"},
		{xy(7, -7), OP_REM, int_cell(2), "1x-1"},
		{xy(12, 10), OP_AND, int_cell(6), "4x2"},
		{xy(1, 2), OP_OR, xy(4, 8), "5x10"},
		{xy(5, 6), OP_XOR, int_cell(3), "6x5"},
		{xy(10, 20), OP_ADD, float_cell(1.9), "11x21"},
		{xy(10, 20), OP_SUB, float_cell(-0.5), "10x20"},
		{xy(2147483647, 0), OP_ADD, float_cell(1.5), "(2.147484e9, 1)"},
		{xy(10, 20), OP_MUL, float_cell(0.5, T_PERCENT), "(5, 10)"},
		{xy(1, 1), OP_DIV, float_cell(INFINITY), "(0, 0)"},
		{xy(10, 10), OP_ADD, pt(0.5f, 0.5f), "(10.5, 10.5)"},
		// number op pair
		{int_cell(2), OP_SUB, xy(1, 3), "1x-1"},
		{int_cell(3), OP_MUL, xy(2, 4), "6x12"},
		{float_cell(1.5), OP_MUL, xy(10, 20), "(15, 30)"},
		{float_cell(1.5), OP_ADD, xy(1, 1), "2x2"},
	};
	for (const Case& c : cases) EXPECT_EQ(text(math(c.a, c.op, c.b)), c.result) << text(c.a) << " op " << c.op;
	Cell r = math(xy(2147483647, 0), OP_ADD, xy(1, 0));
	EXPECT_TRUE(cell::is(&r, T_POINT2D));
	EXPECT_EQ(point2D::x_of(&r), 2147483648.0f);
}

TEST_F(Pair, ArithmeticErrors) {
	struct Case {
		Cell a;
		MathOp op;
		Cell b;
		errors::Id error;
	} cases[] = {
		{xy(1, 1), OP_DIV, int_cell(0), errors::id::math_zero_divide},
		{xy(1, 1), OP_DIV, xy(1, 0), errors::id::math_zero_divide},
		{xy(1, 1), OP_REM, int_cell(0), errors::id::math_zero_divide},
		{xy(1, 1), OP_MUL, float_cell(INFINITY), errors::id::script_invalid_arg},
		{xy(1, 1), OP_DIV, float_cell(NAN), errors::id::script_invalid_arg},
		{xy(1, 1), OP_ADD, float_cell(NAN), errors::id::script_invalid_arg},
		{xy(1, 1), OP_ADD, float_cell(1e10), errors::id::script_type_limit},
		{xy(1, 1), OP_ADD, test::none(), errors::id::script_invalid_type},
		{xy(1, 1), OP_AND, pt(1, 1), errors::id::script_cannot_use},
		{int_cell(2), OP_DIV, xy(1, 1), errors::id::script_not_related},
		{float_cell(0.5), OP_SUB, xy(1, 1), errors::id::script_not_related},
	};
	for (const Case& c : cases)
		EXPECT_EQ(test::raised([&] { math(c.a, c.op, c.b); }), c.error.code()) << text(c.a) << " op " << c.op;
}

TEST_F(Pair, ConversionsTruncateAndCheckRange) {
	struct Case {
		Cell spec;
		const char* result;  // null: the error
		errors::Id error;
	} cases[] = {
		{block_of({float_cell(1.9), float_cell(-1.9)}), "1x-1", {}},
		{block_of({int_cell(3), int_cell(4), test::none()}), "3x4", {}},
		{int_cell(5), "5x5", {}},
		{float_cell(2.7), "2x2", {}},
		{pt(1.5f, -2.5f), "1x-2", {}},
		{xy(7, 8), "7x8", {}},
		{block_of({int_cell(1)}), nullptr, errors::id::syntax_malconstruct},
		{block_of({int_cell(1), test::none()}), nullptr, errors::id::syntax_malconstruct},
		{pt(INFINITY, 1), nullptr, errors::id::script_invalid_arg},
		{pt(NAN, 1), nullptr, errors::id::script_invalid_arg},
		{float_cell(1e10), nullptr, errors::id::script_type_limit},
		{float_cell(NAN), nullptr, errors::id::script_type_limit},
		{test::none(), nullptr, errors::id::script_bad_to_arg},
	};
	for (const Case& c : cases) {
		if (c.result)
			EXPECT_EQ(text(converted(c.spec)), c.result);
		else
			EXPECT_EQ(test::raised([&] { converted(c.spec); }), c.error.code());
	}
}

TEST_F(Pair, ComparisonOrdersByXThenY) {
	struct Case {
		Cell a, b;
		int32_t result;
	} cases[] = {
		{xy(1, 2), xy(1, 3), -1},
		{xy(0, 5), xy(1, 0), -1},
		{xy(1, 2), xy(1, 2), 0},
		{xy(-2147483647 - 1, 0), xy(2147483647, 0), -1},
		{xy(1, 2), pt(1, 2), 0},
		{xy(1, 2), pt(1, 2.5f), -1},
		{xy(1, 2), int_cell(1), COMPARE_UNRELATED},
	};
	for (const Case& c : cases) EXPECT_EQ(actions::compare_raw(&c.a, &c.b, COMP_SORT), c.result) << text(c.a);
	Cell a = xy(1, 2), b = pt(1, 2);
	EXPECT_TRUE(actions::compare(&a, &b, COMP_EQUAL));
	EXPECT_TRUE(actions::compare(&b, &a, COMP_EQUAL));
}

TEST_F(Pair, PathsPicksAndUnaryActions) {
	Cell p = xy(3, -4);
	Cell one = int_cell(1), two = int_cell(2), three = int_cell(3), five = int_cell(5), half = float_cell(0.5);
	EXPECT_EQ(cell::get_integer(actions::pick(&p, &one)), 3);
	EXPECT_EQ(cell::get_integer(actions::eval_path(&p, &two, nullptr, nullptr, nullptr, nullptr, 0, false, true, true, false)), -4);
	actions::eval_path(&p, &two, &five, nullptr, nullptr, nullptr, 0, false, false, true, false);
	EXPECT_EQ(text(p), "3x5");
	EXPECT_EQ(test::raised([&] { actions::eval_path(&p, &one, &half, nullptr, nullptr, nullptr, 0, false, false, true, false); }),
		errors::id::script_invalid_type.code());
	EXPECT_EQ(test::raised([&] { actions::eval_path(&p, &three, nullptr, nullptr, nullptr, nullptr, 0, false, true, true, false); }),
		errors::id::script_invalid_path.code());
	EXPECT_EQ(test::raised([&] { actions::pick(&p, &three); }), errors::id::script_out_of_range.code());
	Cell x = test::word_of("x"), y = test::word_of("Y"), z = test::word_of("z");
	EXPECT_EQ(cell::get_integer(actions::pick(&p, &x)), 3);
	actions::eval_path(&p, &y, &one, nullptr, nullptr, nullptr, 0, false, false, true, false);
	EXPECT_EQ(text(p), "3x1") << "words name the coordinates in any letter case";
	EXPECT_EQ(test::raised([&] { actions::pick(&p, &z); }), errors::id::script_cannot_use.code());
	EXPECT_EQ(test::raised([&] { actions::eval_path(&p, &z, nullptr, nullptr, nullptr, nullptr, 0, false, true, true, false); }),
		errors::id::script_invalid_path.code());

	struct Case {
		Slot slot;
		Cell value;
		const char* result;  // null: overflow
	} cases[] = {
		{A_NEGATE, xy(3, -4), "-3x4"},
		{A_NEGATE, xy(-2147483647 - 1, 0), nullptr},
		{A_ABSOLUTE, xy(-3, 4), "3x4"},
		{A_ABSOLUTE, xy(0, -2147483647 - 1), nullptr},
		{A_REVERSE, xy(1, 2), "2x1"},
	};
	for (Case& c : cases) {
		auto run = [&] {
			if (c.slot == A_NEGATE) return *pair::negate(&c.value);
			if (c.slot == A_REVERSE) return *actions::get<action::ReverseFn>(&c.value, A_REVERSE)(&c.value, nullptr, nullptr);
			return test::run_frame(c.value, c.value, [] { return actions::get<action::FrameFn>(stack::arguments, A_ABSOLUTE)(); });
		};
		if (c.result)
			EXPECT_EQ(text(run()), c.result);
		else
			EXPECT_EQ(test::raised(run), errors::id::math_overflow.code());
	}
}

TEST_F(Pair, RoundEachCoordinateWithTheIntegerRounding) {
	Cell ten = int_cell(10), scales = xy(5, 10), fraction = float_cell(2.5), dollar;
	money::make_at(&dollar, money::Amount{100000, false, 0});
	struct Case {
		Cell p;
		const Cell* scale;
		bool down;
		const char* result;
	} cases[] = {
		{xy(17, 23), &ten, false, "20x20"},
		{xy(17, 23), &scales, false, "15x20"},
		{xy(12, 18), &fraction, false, "12x17"},
		{xy(-17, 17), &ten, true, "-10x10"},
		{xy(15, -15), &ten, false, "20x-20"},
	};
	auto round = [](Cell& p, const Cell* scale, bool down) {
		return *actions::get<action::RoundFn>(&p, A_ROUND)(&p, scale, false, down, false, false, false, false);
	};
	for (Case& c : cases) EXPECT_EQ(text(round(c.p, c.scale, c.down)), c.result);
	Cell p = xy(1, 1);
	EXPECT_EQ(test::raised([&] { round(p, &dollar, false); }), errors::id::script_not_related.code());
}

TEST_F(Pair, RandomDrawsWithinEachCoordinate) {
	for (int i = 0; i < 200; i++) {
		Cell p = xy(0, 5), n = xy(-3, 1);
		actions::get<action::RandomFn>(&p, A_RANDOM)(&p, false, false, false);
		actions::get<action::RandomFn>(&n, A_RANDOM)(&n, false, i % 2 == 0, false);
		EXPECT_EQ(pair::x_of(&p), 0);
		EXPECT_GE(pair::y_of(&p), 1);
		EXPECT_LE(pair::y_of(&p), 5);
		EXPECT_GE(pair::x_of(&n), -3);
		EXPECT_LE(pair::x_of(&n), -1);
		EXPECT_EQ(pair::y_of(&n), 1);
	}
	Cell a = xy(7, 9), b = xy(7, 9), r1 = xy(100, 100), r2 = xy(100, 100);
	auto random = [](Cell& c, bool seed) { return actions::get<action::RandomFn>(&c, A_RANDOM)(&c, seed, false, false); };
	EXPECT_TRUE(cell::is(random(a, true), T_UNSET));
	random(r1, false);
	random(b, true);
	random(r2, false);
	EXPECT_EQ(text(r1), text(r2)) << "the same seed gives the same draws";
}

}  // namespace

namespace {

TEST_F(Pair, PathSetsTellTheOwnerObject) {
	std::vector<std::string>& heard = test::record_changes();
	Cell owner, field = test::word_of("offset"), x = test::word_of("x"), five = int_cell(5);
	cell::set(&owner, T_OBJECT, 0, 0, 1);
	Cell p = xy(1, 2), q = pt(1, 2);
	actions::eval_path(&p, &x, &five, nullptr, &owner, &field, 1, false, false, true, true);
	actions::eval_path(&q, &x, &five, nullptr, &owner, &field, 1, false, false, true, true);
	ASSERT_EQ(heard.size(), 2u);
	EXPECT_EQ(heard[0], "offset 1x2 5x2");
	EXPECT_EQ(heard[1], "offset (1, 2) (5, 2)");
}

}  // namespace
