#include <limits>

#include "runtime/datatypes/constants.h"
#include "tests/unit/scalar_support.h"

using namespace vyn;
using namespace vyn::test;

namespace {

class Logic : public ScalarTest {};

TEST_F(Logic, TruthOfValues) {
	struct Case {
		Cell value;
		bool truth;
	} cases[] = {{I(0), true}, {F(0.0), true}, {S(""), true}, {BLOCK({}), true}, {UNSET(), true},
		{NONE(), false}, {L(false), false}, {L(true), true}, {D(T_NONE), true}, {C(0), true}};
	for (const Case& c : cases) {
		EXPECT_EQ(!logic::is_false(&c.value), c.truth) << int(cell::type_of(&c.value));
		stack::arguments = stack::top;
		stack::push(&c.value);
		EXPECT_EQ(logic::result_false(), !c.truth);
		EXPECT_EQ(logic::top_true(), c.truth);
		if (!cell::is(&c.value, T_UNSET)) {
			EXPECT_EQ(logic::condition_true(), c.truth);
		}
		EXPECT_EQ(logic::value_true(&c.value, false, nullptr), c.truth);
		stack::reset_all();
	}
	EXPECT_EQ(raised([] {
		stack::arguments = stack::top;
		unset::push();
		logic::condition_true();
	}).code, code(errors::id::script_no_return));
	Cell u = UNSET(), name = I(1);
	Raised r = raised([&] { logic::value_true(&u, true, &name); });
	EXPECT_EQ(r.code, code(errors::id::script_no_value));
	EXPECT_TRUE(same_cell(r.args[0], name));

	// top_true reads the result slot when nothing lies above the frame.
	stack::reset_all();
	stack::arguments = stack::top;
	none::push();
	stack::arguments = stack::top - 1;
	logic::push(true);
	EXPECT_TRUE(logic::top_true());
	stack::top--;
	EXPECT_FALSE(logic::top_true());
}

TEST_F(Logic, MakeAndTo) {
	struct Case {
		bool make;
		Cell spec;
		bool want;
	} cases[] = {
		{true, I(0), false}, {true, I(2), true}, {true, F(0.0), false}, {true, F(-0.0), false},
		{true, F(std::numeric_limits<double>::quiet_NaN()), true}, {true, P(0.0), false}, {true, NONE(), false}, {true, S(""), true},
		{false, I(0), true}, {false, NONE(), false}, {false, L(false), false}, {false, F(0.0), true},
		{false, UNSET(), true},
	};
	for (const Case& c : cases) {
		Cell got = c.make ? make(T_LOGIC, c.spec) : to(T_LOGIC, c.spec);
		ASSERT_EQ(cell::type_of(&got), T_LOGIC);
		EXPECT_EQ(logic::get(&got), c.want) << (c.make ? "make " : "to ") << int(cell::type_of(&c.spec));
	}
}

TEST_F(Logic, BitwiseComplementAndCompare) {
	struct Case {
		MathOp op;
		bool a, b, want;
	} cases[] = {
		{OP_AND, true, true, true}, {OP_AND, true, false, false}, {OP_OR, false, false, false},
		{OP_OR, false, true, true}, {OP_XOR, false, true, true}, {OP_XOR, true, true, false},
	};
	for (const Case& c : cases) {
		Cell got = op(c.op, L(c.a), L(c.b));
		EXPECT_EQ(logic::get(&got), c.want) << c.a << " op" << c.op << " " << c.b;
	}
	Raised r = raised([] { op(OP_AND, L(true), I(1)); });
	EXPECT_EQ(r.code, code(errors::id::script_expect_arg));
	EXPECT_TRUE(same_cell(r.args[1], D(T_INTEGER)));
	Cell c = call(A_COMPLEMENT, {L(true)});
	EXPECT_FALSE(logic::get(&c));

	Cell t = L(true), f = L(false), one = I(1);
	EXPECT_EQ(actions::compare_raw(&f, &t, COMP_SORT), -1);
	EXPECT_TRUE(actions::compare(&t, &t, COMP_EQUAL));
	EXPECT_FALSE(actions::compare(&t, &one, COMP_EQUAL));
	EXPECT_EQ(raised([&] { actions::compare(&t, &f, COMP_LESSER); }).code, code(errors::id::script_invalid_compare));
}

TEST_F(Logic, RandomIsAFairCoin) {
	for (bool secure : {false, true}) {
		int heads = 0;
		for (int i = 0; i < 20000; i++) {
			Cell r = random_of(L(true), false, secure);
			ASSERT_TRUE(cell::is(&r, T_LOGIC));
			heads += logic::get(&r);
		}
		EXPECT_GT(heads, 9400) << secure;
		EXPECT_LT(heads, 10600) << secure;
	}
	Cell seeded = random_of(L(true), true);
	EXPECT_TRUE(cell::is(&seeded, T_UNSET));
	std::vector<bool> first;
	for (int i = 0; i < 32; i++) first.push_back(logic::get(&(const Cell&)random_of(L(true))));
	random_of(L(true), true);
	for (int i = 0; i < 32; i++) EXPECT_EQ(logic::get(&(const Cell&)random_of(L(true))), first[size_t(i)]);
}

TEST_F(Logic, TextsOfTheSimpleValues) {
	struct Case {
		Cell value;
		const char* form;
		const char* mold;
		const char* mold_all;
	} cases[] = {
		{L(true), "true", "true", "#(true)"},
		{L(false), "false", "false", "#(false)"},
		{NONE(), "none", "none", "#(none)"},
		{UNSET(), "", "unset", "#(unset)"},
		{D(T_INTEGER), "integer", "integer!", "#(integer!)"},
		{D(T_PERCENT), "percent", "percent!", "#(percent!)"},
	};
	for (const Case& c : cases) {
		EXPECT_EQ(form(c.value), c.form);
		EXPECT_EQ(mold(c.value), c.mold);
		EXPECT_EQ(mold(c.value, true), c.mold_all);
	}
	Cell cut = call(A_MOLD, {D(T_INTEGER), I(4)}, {-1, -1, -1, 1});
	EXPECT_EQ(narrow(units_text(&cut)), "inte");
}

TEST_F(Logic, DatatypeNoneAndUnsetCompare) {
	struct Case {
		Cell a, b;
		CompareOp op;
		int32_t want;
	} cases[] = {
		{D(T_INTEGER), D(T_INTEGER), COMP_EQUAL, 0},
		{D(T_INTEGER), D(T_FLOAT), COMP_EQUAL, 1},
		{D(T_INTEGER), I(11), COMP_STRICT_EQUAL, 1},
		{D(T_INTEGER), D(T_FLOAT), COMP_LESSER, COMPARE_UNRELATED},
		{NONE(), NONE(), COMP_SORT, 0},
		{NONE(), NONE(), COMP_SAME, 0},
		{NONE(), I(0), COMP_EQUAL, COMPARE_UNRELATED},
		{NONE(), NONE(), COMP_LESSER, COMPARE_UNRELATED},
		{UNSET(), UNSET(), COMP_EQUAL, 0},
		{UNSET(), NONE(), COMP_EQUAL, COMPARE_UNRELATED},
	};
	for (const Case& c : cases) EXPECT_EQ(actions::compare_raw(&c.a, &c.b, c.op), c.want) << int(cell::type_of(&c.a)) << " op" << c.op;
}

TEST_F(Logic, NoneIsAnEmptySeries) {
	Cell length = call(A_LENGTH_Q, {NONE()});
	EXPECT_TRUE(cell::is(&length, T_NONE));
	for (Slot s : {A_CLEAR, A_REMOVE, A_TAKE}) {
		Cell r = call(s, {NONE()});
		EXPECT_TRUE(cell::is(&r, T_NONE)) << int(s);
	}
	Cell found = call(A_FIND, {NONE(), I(1)});
	EXPECT_TRUE(cell::is(&found, T_NONE));
	Cell selected = call(A_SELECT, {NONE(), I(1)});
	EXPECT_TRUE(cell::is(&selected, T_NONE));
	for (Type t : {T_NONE, T_UNSET}) {
		Cell made = make(t, I(5));
		EXPECT_TRUE(cell::is(&made, t));
	}
}

TEST_F(Logic, SharedCellsAndHelpers) {
	EXPECT_TRUE(cell::is(&constants::unset_cell, T_UNSET));
	EXPECT_TRUE(logic::get(&constants::true_cell));
	EXPECT_FALSE(logic::get(&constants::false_cell));
	Cell block = BLOCK({});
	unset::make_in(&block);
	none::make_in(&block);
	logic::make_in(&block, true);
	datatype::make_in(&block, T_TIME);
	ASSERT_EQ(block::vs_length(&block), 4);
	Cell* items = block::vs_head(&block);
	EXPECT_TRUE(cell::is(items, T_UNSET));
	EXPECT_TRUE(cell::is(items + 1, T_NONE));
	EXPECT_TRUE(logic::get(items + 2));
	EXPECT_EQ(datatype::get(items + 3), T_TIME);
	stack::arguments = stack::top;
	Cell* d = datatype::push(T_CHAR);
	EXPECT_EQ(datatype::get(d), T_CHAR);
	logic::box(false);
	EXPECT_TRUE(logic::result_false());
	none::box();
	EXPECT_TRUE(cell::is(stack::arguments, T_NONE));
	unset::box();
	EXPECT_TRUE(cell::is(stack::arguments, T_UNSET));
}

}  // namespace
