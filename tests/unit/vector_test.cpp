#include "runtime/datatypes/vector.h"

#include <climits>
#include <cmath>
#include <string>
#include <vector>

#include "runtime/datatypes/block.h"
#include "runtime/datatypes/char.h"
#include "runtime/datatypes/float.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/percent.h"
#include "runtime/datatypes/series.h"
#include "tests/unit/extended_support.h"

using namespace vyn;
using test::float_cell;
using test::int_cell;

namespace {

Cell char_cell(uint32_t cp) {
	Cell c;
	cell::set(&c, T_CHAR, 0, cp);
	return c;
}

// A vector of the element type and width holding the values.
Cell vec(Type t, uint32_t width, std::vector<double> values) {
	Cell v;
	vector::make_at(&v, uint32_t(values.size()), t, width);
	for (double d : values) {
		Cell c = t == T_FLOAT || t == T_PERCENT ? float_cell(d, t) : t == T_CHAR ? char_cell(uint32_t(d)) : int_cell(int32_t(d));
		vector::append_value(&v, &c);
	}
	return v;
}
Cell ints(std::vector<double> values, uint32_t width = 4) { return vec(T_INTEGER, width, values); }
Cell floats(std::vector<double> values, uint32_t width = 8) { return vec(T_FLOAT, width, values); }

std::string text(const Cell& c) { return test::form_of(c); }
std::string molded(const Cell& c) { return test::mold_of(c); }

class Vector : public test::ValueTest {
protected:
	void SetUp() override {
		ValueTest::SetUp();
		series::init_type();
		block::init_type();
		string::init_type();
		integer::init_type();
		float_::init_type();
		percent::init_type();
		char_::init_type();
		vector::init_type();
	}
	Cell block_of(std::vector<Cell> cells) {
		Cell b;
		cell::set(&b, T_BLOCK, 0, memory::alloc_cells(uint32_t(cells.size()) + 1), 0);
		for (const Cell& c : cells) *memory::alloc_tail(&b) = c;
		return b;
	}
	Cell made(Cell spec) {
		Cell proto;
		cell::set(&proto, T_DATATYPE, T_VECTOR);
		return *vector::make(&proto, &spec, T_VECTOR);
	}
	Cell math(const Cell& a, MathOp op, const Cell& b) {
		Cell* (*worker)(MathOp) = cell::is(&a, T_VECTOR) ? vector::do_math
			: cell::is(&a, T_INTEGER)                     ? integer::do_math
														  : float_::do_math;
		return test::run_frame(a, b, [&] { return worker(op); });
	}
};

TEST_F(Vector, MakeFromCountsAndValueBlocks) {
	struct Case {
		Cell spec;
		const char* mold;  // null: the error
		errors::Id error;
	} cases[] = {
		{int_cell(0), "make vector! [integer! 32 []]", {}},
		{int_cell(-4), "make vector! [integer! 32 []]", {}},
		{int_cell(3), "make vector! [0 0 0]", {}},
		{float_cell(2.9), "make vector! [0 0]", {}},
		{block_of({}), "make vector! [integer! 32 []]", {}},
		{block_of({int_cell(1), int_cell(2), int_cell(3)}), "make vector! [1 2 3]", {}},
		{block_of({float_cell(1.5), float_cell(-2)}), "make vector! [1.5 -2.0]", {}},
		{block_of({float_cell(0.5, T_PERCENT), float_cell(0.125, T_PERCENT)}), "make vector! [50% 12.5%]", {}},
		{block_of({char_cell('a'), char_cell(1)}), "make vector! [#\"a\" #\"^A\"]", {}},
		{block_of({int_cell(1), float_cell(2.0)}), nullptr, errors::id::script_invalid_arg},
		{block_of({test::none()}), nullptr, errors::id::script_invalid_type},
		{float_cell(NAN), nullptr, errors::id::script_out_of_range},
		{float_cell(3e9), nullptr, errors::id::script_out_of_range},
		{int_cell(2000000000), nullptr, errors::id::internal_no_memory},
		{test::none(), nullptr, errors::id::internal_not_done},
	};
	for (const Case& c : cases) {
		if (c.mold)
			EXPECT_EQ(molded(made(c.spec)), c.mold);
		else
			EXPECT_EQ(test::raised([&] { made(c.spec); }), c.error.code());
	}
}

TEST_F(Vector, NarrowElementsSignExtendAndKeepTheLowBits) {
	Cell v = ints({200, 300, -129, 127}, 1);
	EXPECT_EQ(text(v), "-56 44 127 127");
	EXPECT_EQ(molded(v), "make vector! [integer! 8 [-56 44 127 127]]");
	Cell w = ints({65535, 32768, 70000}, 2);
	EXPECT_EQ(text(w), "-1 -32768 4464");
	Cell c = vec(T_CHAR, 1, {0xE9, 'a'});
	EXPECT_EQ(text(c), "\xC3\xA9 a") << "chars read unsigned";
	Cell f = floats({0.1, 1e10}, 4);
	EXPECT_EQ(text(f), "0.1 1.0e10");
	EXPECT_EQ(molded(f), "make vector! [float! 32 [0.1 1.0e10]]");
	Cell empty_floats = floats({}, 8);
	EXPECT_EQ(molded(empty_floats), "make vector! [float! 64 []]");
	EXPECT_EQ(test::mold_of(ints({1, 2, 3}), false, true), "1 2 3");
	EXPECT_EQ(test::mold_of(ints({1, 2, 3}, 2), false, true), "integer! 16 [1 2 3");
}

TEST_F(Vector, ScalarArithmeticChangesTheElementsFromTheHead) {
	struct Case {
		Cell v;
		uint32_t head;
		MathOp op;
		Cell scalar;
		const char* result;  // from the buffer's start
	} cases[] = {
		{ints({1, 2, 3}), 0, OP_ADD, int_cell(0), "1 2 3"},
		{ints({1, 2, 3}), 0, OP_MUL, int_cell(1), "1 2 3"},
		{ints({1, 2, 3}), 1, OP_ADD, int_cell(1), "1 3 4"},
		{ints({127, -128}, 1), 0, OP_ADD, int_cell(1), "-128 -127"},
		{ints({2147483647}), 0, OP_ADD, int_cell(1), "-2147483648"},
		{ints({65536}), 0, OP_MUL, int_cell(65536), "0"},
		{ints({7, -7}), 0, OP_DIV, int_cell(2), "3 -3"},
		{ints({7, -7}), 0, OP_REM, int_cell(4), "3 -3"},
		{ints({12, 10}), 0, OP_AND, int_cell(6), "4 2"},
		{ints({1, 2}), 0, OP_ADD, float_cell(1.9), "2 3"},
		{floats({1.5, 2}), 0, OP_MUL, int_cell(2), "3.0 4.0"},
		{floats({1, 2}), 0, OP_DIV, float_cell(0.0), "1.#INF 1.#INF"},
		{floats({0.1}, 4), 0, OP_MUL, int_cell(3), "0.3"},
		{vec(T_PERCENT, 8, {0.5}), 0, OP_ADD, float_cell(0.25), "75%"},
	};
	for (Case& c : cases) {
		c.v.data1 = c.head;
		Cell r = math(c.v, c.op, c.scalar);
		r.data1 = 0;
		EXPECT_EQ(text(r), c.result);
	}
}

TEST_F(Vector, NumberOpVectorComputesNumberOpElement) {
	struct Case {
		Cell number;
		MathOp op;
		Cell v;
		const char* result;
	} cases[] = {
		{int_cell(10), OP_SUB, ints({1, 2, 3}), "9 8 7"},
		{int_cell(12), OP_DIV, ints({1, 2, 3}), "12 6 4"},
		{int_cell(7), OP_REM, ints({2, 3, 4}), "1 1 3"},
		{int_cell(0), OP_SUB, ints({1, -2}), "-1 2"},
		{int_cell(10), OP_ADD, ints({1, 2}), "11 12"},
		{float_cell(1), OP_DIV, floats({2, 4}), "0.5 0.25"},
		{float_cell(1), OP_SUB, floats({2, 4}), "-1.0 -3.0"},
	};
	for (const Case& c : cases) EXPECT_EQ(text(math(c.number, c.op, c.v)), c.result) << c.op;
}

TEST_F(Vector, FailedArithmeticLeavesTheVectorUnchanged) {
	struct Case {
		Cell a;
		MathOp op;
		Cell b;
		errors::Id error;
	} cases[] = {
		{ints({1, 2}), OP_DIV, int_cell(0), errors::id::math_zero_divide},
		{ints({1, 2}), OP_REM, int_cell(0), errors::id::math_zero_divide},
		{ints({5, INT_MIN}), OP_DIV, int_cell(-1), errors::id::math_overflow},
		{int_cell(10), OP_DIV, ints({5, 0}), errors::id::math_zero_divide},
		{ints({1, 2}), OP_ADD, float_cell(1e10), errors::id::script_type_limit},
		{ints({1, 2}), OP_ADD, test::none(), errors::id::internal_not_done},
		{floats({1, 2}), OP_AND, int_cell(1), errors::id::script_cannot_use},
		{ints({1, 2}), OP_ADD, floats({1, 2}), errors::id::script_not_same_type},
		{ints({1, 2}), OP_DIV, ints({1, 0}), errors::id::math_zero_divide},
	};
	for (const Case& c : cases) {
		const Cell& v = cell::is(&c.a, T_VECTOR) ? c.a : c.b;
		std::string before = text(v);
		EXPECT_EQ(test::raised([&] { math(c.a, c.op, c.b); }), c.error.code()) << before;
		EXPECT_EQ(text(v), before);
	}
}

TEST_F(Vector, VectorOpVectorMakesANewVector) {
	Cell a = ints({1, 2, 3}), b = ints({10, 20, 30, 40, 50});
	Cell r = math(a, OP_ADD, b);
	EXPECT_EQ(text(r), "11 22 33");
	EXPECT_NE(r.data2, a.data2);
	EXPECT_EQ(text(a), "1 2 3");
	EXPECT_EQ(text(b), "10 20 30 40 50");
	Cell narrow = ints({100, 100}, 1), wide = ints({100, 1000});
	Cell sum = math(narrow, OP_ADD, wide);
	EXPECT_EQ(molded(sum), "make vector! [200 1100]") << "the wider width, each operand read at its own";
	a.data1 = 1;
	EXPECT_EQ(text(math(a, OP_MUL, b)), "20 60") << "from the heads";
	EXPECT_EQ(text(math(floats({1.5, 3}), OP_DIV, floats({0.5, 2}, 4))), "3.0 1.5");
}

TEST_F(Vector, Comparison) {
	Cell a = ints({1, 2}), shared = a;
	shared.data1 = 1;
	struct Case {
		Cell x, y;
		CompareOp op;
		int32_t result;
	} cases[] = {
		{ints({}), ints({0}), COMP_SORT, -1},
		{ints({1, 2}), ints({1, 3}), COMP_LESSER, -1},
		{ints({1, 2}), ints({1, 2, 3}), COMP_EQUAL, 1},
		{ints({1, 2}), ints({1, 2, 3}), COMP_SORT, -1},
		{ints({1, 2}), ints({1, 2}, 2), COMP_EQUAL, 0},
		{ints({1, 2}), ints({1, 2}), COMP_SAME, -1},
		{a, a, COMP_SAME, 0},
		{a, shared, COMP_EQUAL, 1},
		{ints({-1}), ints({1}), COMP_SORT, -1},
		{vec(T_CHAR, 1, {0xE9}), vec(T_CHAR, 4, {'a'}), COMP_SORT, 1},
		{floats({0.5}), floats({0.25}), COMP_SORT, 1},
		{ints({}), ints({}), COMP_EQUAL, 0},
		{ints({1}), int_cell(1), COMP_EQUAL, COMPARE_UNRELATED},
	};
	for (const Case& c : cases) EXPECT_EQ(vector::compare(&c.x, &c.y, c.op), c.result) << text(c.x) << " / " << text(c.y);
	Cell i = ints({1}), f = floats({1});
	EXPECT_EQ(test::raised([&] { actions::compare(&i, &f, COMP_EQUAL); }), errors::id::script_not_same_type.code());
}

TEST_F(Vector, FormStopsWhenThePartIsSpent) {
	Cell v = ints({1, 2, 3, 4});
	EXPECT_EQ(test::form_of(v, 3), "1 2");
	EXPECT_EQ(test::form_of(v, 4), "1 2 ");
	EXPECT_EQ(test::form_of(v, 100), "1 2 3 4");
	Cell c = vec(T_CHAR, 4, {'a', 30, 0x85});
	EXPECT_EQ(text(c), "a ^(1E) ^(85)");
}

TEST_F(Vector, AppendAndInsertCheckEveryValueFirst) {
	Cell v = ints({1, 2, 3});
	Cell four = int_cell(4), values = block_of({int_cell(5), int_cell(6), int_cell(7)}), seven = int_cell(7);
	Cell mixed = block_of({int_cell(8), float_cell(9)}), empty = block_of({});
	vector::insert(&v, &four, -1, false, 1, true);
	vector::insert(&v, &values, 2, false, 1, true);
	vector::insert(&v, &seven, -1, false, 3, true);
	EXPECT_EQ(text(v), "1 2 3 4 5 6 7 7 7");
	EXPECT_EQ(test::raised([&] { vector::insert(&v, &mixed, -1, false, 1, true); }), errors::id::script_invalid_arg.code());
	EXPECT_EQ(text(v), "1 2 3 4 5 6 7 7 7") << "nothing written";
	EXPECT_EQ(vector::insert(&v, &empty, -1, false, 1, true), &v);

	Cell w = ints({1, 2, 3});
	w.data1 = 1;
	Cell r = *vector::insert(&w, &values, -1, false, 2, false);
	EXPECT_EQ(r.data1, 7u) << "insert answers the position after the inserted run";
	r.data1 = 0;
	EXPECT_EQ(text(r), "1 5 6 7 5 6 7 2 3");
	Cell past = ints({1});
	past.data1 = 9;
	vector::insert(&past, &four, -1, false, 1, false);
	past.data1 = 0;
	EXPECT_EQ(text(past), "1 4") << "a head past the tail is clipped first";
}

TEST_F(Vector, ChangeReplacesAndMovesTheTail) {
	struct Case {
		std::vector<double> start;
		uint32_t head;
		Cell value;
		int32_t part, dup;
		const char* result;
		uint32_t position;
	} cases[] = {
		{{1, 2, 3}, 0, int_cell(9), -1, 1, "9 2 3", 1},
		{{1, 2, 3}, 1, block_of({int_cell(7), int_cell(8), int_cell(9)}), -1, 1, "1 7 8 9", 4},
		{{1, 2, 3, 4}, 1, int_cell(0), 2, 1, "1 0 4", 2},
		{{1, 2, 3}, 0, block_of({int_cell(5)}), 0, 2, "5 5 1 2 3", 2},
		{{1, 2, 3}, 0, ints({8, 9}), -1, 1, "8 9 3", 2},
		{{1, 2}, 2, int_cell(3), -1, 1, "1 2 3", 3},
	};
	for (Case& c : cases) {
		Cell v = ints(c.start);
		v.data1 = c.head;
		Cell r = *vector::change(&v, &c.value, c.part, false, c.dup);
		EXPECT_EQ(r.data1, c.position) << c.result;
		r.data1 = 0;
		EXPECT_EQ(text(r), c.result);
	}
	Cell self = ints({1, 2, 3}), other = ints({1}, 2), f = float_cell(1);
	self.data1 = 1;
	Cell source = self;
	source.data1 = 0;
	vector::change(&self, &source, -1, false, 1);
	self.data1 = 0;
	EXPECT_EQ(text(self), "1 1 2 3") << "a vector changed by itself reads its elements first";
	EXPECT_EQ(test::raised([&] { vector::change(&self, &other, -1, false, 1); }), errors::id::script_invalid_arg.code());
	EXPECT_EQ(test::raised([&] { vector::change(&self, &f, -1, false, 1); }), errors::id::script_invalid_arg.code());
}

TEST_F(Vector, SeriesActionsReadAndWriteElements) {
	Cell v = ints({200, 300}, 1);
	Cell one = int_cell(1), two = int_cell(2), big = int_cell(1000), half = float_cell(0.5);
	EXPECT_EQ(cell::get_integer(actions::pick(&v, &one)), -56);
	actions::poke(&v, &two, &big);
	EXPECT_EQ(text(v), "-56 -24");
	EXPECT_EQ(test::raised([&] { actions::poke(&v, &one, &half); }), errors::id::script_invalid_arg.code());
	Cell f = floats({0.1}, 4);
	Cell* e = actions::pick(&f, &one);
	EXPECT_TRUE(cell::is(e, T_FLOAT));
	EXPECT_EQ(cell::get_double(e), double(0.1f));

	Cell block;
	Cell p = vec(T_PERCENT, 8, {0.5, 0.25});
	p.data1 = 1;
	vector::to_block(&p, &block);
	EXPECT_EQ(block::length(&block), 1u);
	EXPECT_TRUE(cell::is(block::vs_head(&block), T_PERCENT));
	EXPECT_EQ(cell::get_double(block::vs_head(&block)), 0.25);
	Cell empty = ints({});
	vector::to_block(&empty, &block);
	EXPECT_EQ(block::length(&block), 0u);
	Cell text_cell = test::none();
	uint8_t element[8] = {};
	EXPECT_EQ(test::raised([&] { vector::set_value(&text_cell, element, 4); }), errors::id::script_invalid_type.code());
}

}  // namespace

namespace {

// Vectors longer than one 64-byte block of elements take the blocked loops
// and a scalar tail; every element must come out as the single-element rule.
TEST_F(Vector, LongVectorsMatchTheElementRule) {
	struct Case {
		Type t;
		uint32_t width;
		MathOp op;
		Cell scalar;
		bool scalar_first;
	} cases[] = {
		{T_INTEGER, 1, OP_ADD, int_cell(100), false},
		{T_INTEGER, 2, OP_MUL, int_cell(-3), false},
		{T_INTEGER, 4, OP_SUB, int_cell(7), true},
		{T_CHAR, 1, OP_XOR, int_cell(0x5A), false},
		{T_FLOAT, 4, OP_DIV, float_cell(3), true},
		{T_FLOAT, 8, OP_REM, float_cell(7), false},
	};
	for (Case& c : cases) {
		std::vector<double> values;
		for (int i = 0; i < 150; i++) values.push_back(c.t == T_CHAR ? i % 120 + 1 : (i * 37) % 251 - 125 + (c.t == T_FLOAT ? 0.5 : 0));
		Cell v = vec(c.t, c.width, values);
		Cell r = c.scalar_first ? math(c.scalar, c.op, v) : math(v, c.op, c.scalar);
		for (uint32_t i = 0; i < values.size(); i++) {
			Cell one = vec(c.t, c.width, {values[i]});
			Cell expected = c.scalar_first ? math(c.scalar, c.op, one) : math(one, c.op, c.scalar);
			Cell index = int_cell(int32_t(i) + 1), first = int_cell(1);
			Cell got = *actions::pick(&r, &index), want = *actions::pick(&expected, &first);
			ASSERT_EQ(got.data2, want.data2) << "element " << i << " of type " << c.t << " width " << c.width;
			ASSERT_EQ(got.data3, want.data3) << "element " << i;
		}
	}
}

}  // namespace

namespace {

TEST_F(Vector, MakeFromTypedSpecs) {
	auto w = [](const char* name) { return test::word_of(name); };
	Cell one = int_cell(1), two = int_cell(2), three = int_cell(3);
	Cell values = block_of({one, two, three}), pair_of = block_of({one, two});
	struct Case {
		Cell spec;
		const char* mold;  // null: the error
		errors::Id error;
	} cases[] = {
		{block_of({w("integer!"), int_cell(16), values}), "make vector! [integer! 16 [1 2 3]]", {}},
		{block_of({w("integer!"), int_cell(32), int_cell(5), pair_of}), "make vector! [1 2 0 0 0]", {}},
		{block_of({w("integer!"), int_cell(32), int_cell(2), values}), "make vector! [1 2 3]", {}},
		{block_of({w("Integer!"), int_cell(8), int_cell(3)}), "make vector! [integer! 8 [0 0 0]]", {}},
		{block_of({w("integer!"), int_cell(32)}), "make vector! [integer! 32 []]", {}},
		{block_of({w("percent!"), block_of({float_cell(0.01, T_PERCENT), float_cell(0.02, T_PERCENT)})}),
			"make vector! [1% 2%]", {}},
		{block_of({w("percent!"), int_cell(32), block_of({float_cell(0.5, T_PERCENT)})}), "make vector! [50%]", {}},
		{block_of({w("float!"), int_cell(32), block_of({float_cell(1.5)})}), "make vector! [float! 32 [1.5]]", {}},
		{block_of({w("char!"), int_cell(8), block_of({char_cell('a')})}), "make vector! [char! 8 [#\"a\"]]", {}},
		{block_of({w("float!"), int_cell(16), block_of({float_cell(1.0)})}), nullptr, errors::id::script_bad_make_arg},
		{block_of({w("integer!"), int_cell(64), values}), nullptr, errors::id::script_bad_make_arg},
		{block_of({w("integer!")}), nullptr, errors::id::script_bad_make_arg},
		{block_of({w("string!"), int_cell(8)}), nullptr, errors::id::script_bad_make_arg},
		{block_of({w("integer!"), values}), nullptr, errors::id::script_invalid_spec_field},
		{block_of({w("integer!"), int_cell(32), test::none()}), nullptr, errors::id::script_invalid_spec_field},
		{block_of({w("integer!"), int_cell(32), int_cell(2), values, int_cell(5)}), nullptr,
			errors::id::script_invalid_spec_field},
		{block_of({w("integer!"), int_cell(16), block_of({float_cell(1)})}), nullptr, errors::id::script_invalid_arg},
	};
	for (const Case& c : cases) {
		if (c.mold)
			EXPECT_EQ(molded(made(c.spec)), c.mold);
		else
			EXPECT_EQ(test::raised([&] { made(c.spec); }), c.error.code()) << (c.error.code());
	}
}

}  // namespace

namespace {

TEST_F(Vector, RawAccessForTheRuntimesOwnVectors) {
	Cell v;
	vector::make_at(&v, 2, T_INTEGER, 4);
	vector::vs_append_int(&v, 5);
	vector::vs_append_int(&v, -7);
	Cell nine = int_cell(9), eight = int_cell(8), f = float_cell(1);
	vector::vs_poke(&v, 0, &nine);
	vector::vs_poke(&v, 2, &eight);
	vector::vs_insert(&v, 1, &eight);
	EXPECT_EQ(text(v), "9 8 -7 8");
	EXPECT_EQ(test::raised([&] { vector::vs_insert(&v, 0, &f); }), errors::id::script_invalid_arg.code());
	vector::vs_next(&v);
	vector::vs_skip(&v, 2);
	EXPECT_EQ(vector::vs_length(&v), 1u);
	EXPECT_EQ(vector::vs_tail(&v) - vector::vs_head(&v), 4);
	vector::vs_clear(&v);
	EXPECT_TRUE(vector::vs_tail_q(&v));
	v.data1 = 0;
	EXPECT_EQ(text(v), "9 8 -7");
}

}  // namespace
