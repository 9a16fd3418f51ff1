#include "tests/unit/scalar_support.h"

using namespace vyn;
using namespace vyn::test;

namespace {

class Typeset : public ScalarTest {};

Cell typeset_of(std::initializer_list<Type> types) {
	Cell ts;
	typeset::make_at(&ts, 0, 0, 0);
	for (Type t : types) typeset::add(&ts, t);
	return ts;
}

TEST_F(Typeset, MakeAndMold) {
	struct Case {
		Cell spec;
		const char* mold;
	} cases[] = {
		{BLOCK({D(T_FLOAT), D(T_INTEGER)}), "make typeset! [integer! float!]"},
		{BLOCK({}), "make typeset! []"},
		{BLOCK({D(T_TIME), typeset_of({T_NONE, T_CHAR})}), "make typeset! [none! char! time!]"},
		{BLOCK({D(T_LOGIC), D(T_LOGIC)}), "make typeset! [logic!]"},
	};
	for (const Case& c : cases) {
		Cell ts = make(T_TYPESET, c.spec);
		EXPECT_EQ(mold(ts), c.mold);
		EXPECT_EQ(form(ts), c.mold);
	}
	Cell ts = make(T_TYPESET, BLOCK({D(T_FLOAT), D(T_INTEGER)}));
	Cell only = call(A_MOLD, {ts, L(true)}, {1});
	EXPECT_EQ(narrow(units_text(&only)), "integer! float!");
	Cell empty_only = call(A_MOLD, {typeset_of({}), L(true)}, {1});
	EXPECT_EQ(narrow(units_text(&empty_only)), "");
	Cell cut = call(A_MOLD, {ts, I(20)}, {-1, -1, -1, 1});
	EXPECT_EQ(narrow(units_text(&cut)), "make typeset! [integ");
	EXPECT_TRUE(same_cell(to(T_TYPESET, ts), ts));

	Raised r = raised([] { make(T_TYPESET, BLOCK({I(1)})); });
	EXPECT_EQ(r.code, code(errors::id::script_invalid_arg));
	EXPECT_TRUE(same_cell(r.args[0], I(1)));
	r = raised([] { make(T_TYPESET, I(1)); });
	EXPECT_EQ(r.code, code(errors::id::script_bad_to_arg));
	EXPECT_TRUE(same_cell(r.args[0], D(T_TYPESET)));
}

TEST_F(Typeset, WordsStandForTheirValues) {
	Cell integer_type = D(T_INTEGER), number = typeset_of({T_INTEGER, T_FLOAT, T_PERCENT}), other = W("other");
	Cell spec = BLOCK({W("integer!", &integer_type), W("number!", &number), D(T_CHAR)});
	EXPECT_EQ(mold(make(T_TYPESET, spec)), "make typeset! [char! integer! float! percent!]");
	EXPECT_EQ(raised([&] { make(T_TYPESET, BLOCK({W("a-word", &other)})); }).code, code(errors::id::script_invalid_arg));

	// Compiled typeset literals: nested blocks skipped, a word naming a word
	// adds object!, other values refused as a type spec.
	Cell out = BLOCK({}), literal_spec = BLOCK({W("integer!", &integer_type), BLOCK({D(T_FLOAT)}), W("ref", &other)});
	Cell* literal = typeset::make_from_block_in(&out, &literal_spec);
	EXPECT_TRUE(same_cell(*literal, typeset_of({T_INTEGER, T_OBJECT})));
	EXPECT_EQ(block::vs_length(&out), 1);
	Raised r = raised([&] {
		Cell bad = BLOCK({S("x")});
		typeset::make_from_block_in(&out, &bad);
	});
	EXPECT_EQ(r.code, code(errors::id::script_invalid_type_spec));
}

TEST_F(Typeset, FindAnswersALogic) {
	Cell ts = typeset_of({T_INTEGER});
	Cell yes = call(A_FIND, {ts, D(T_INTEGER)}), no = call(A_FIND, {ts, D(T_FLOAT)});
	ASSERT_TRUE(cell::is(&no, T_LOGIC)) << "false, not none";
	EXPECT_TRUE(logic::get(&yes));
	EXPECT_FALSE(logic::get(&no));
	EXPECT_EQ(raised([&] { call(A_FIND, {ts, I(11)}); }).code, code(errors::id::script_invalid_arg));
}

TEST_F(Typeset, SetOperations) {
	Cell a = typeset_of({T_INTEGER, T_FLOAT}), b = typeset_of({T_FLOAT, T_CHAR});
	struct Case {
		int32_t code;
		Cell right;
		Cell want;
	} cases[] = {
		{5, b, typeset_of({T_INTEGER, T_FLOAT, T_CHAR})},
		{9, b, typeset_of({T_INTEGER, T_FLOAT, T_CHAR})},
		{6, b, typeset_of({T_FLOAT})},
		{10, b, typeset_of({T_FLOAT})},
		{7, b, typeset_of({T_INTEGER, T_CHAR})},
		{12, b, typeset_of({T_INTEGER, T_CHAR})},
		{11, b, typeset_of({T_INTEGER})},
		{8, b, a},
		{5, D(T_TIME), typeset_of({T_INTEGER, T_FLOAT, T_TIME})},
	};
	for (const Case& c : cases) {
		stack::arguments = stack::top;
		stack::push(&a);
		stack::push(&c.right);
		EXPECT_TRUE(same_cell(*typeset::do_bitwise(c.code), c.want)) << "code " << c.code;
		stack::reset_all();
	}
	Cell got = op(OP_AND, a, b);
	EXPECT_TRUE(same_cell(got, typeset_of({T_FLOAT})));
	EXPECT_EQ(raised([&] { op(OP_OR, a, I(1)); }).code, code(errors::id::script_invalid_arg));

	Cell all = call(A_COMPLEMENT, {typeset_of({})});
	for (int id = 0; id < 96; id++) EXPECT_TRUE(typeset::has(&all, uint32_t(id)));
	Cell block = BLOCK({});
	Cell* any = typeset::make_any_type_in(&block);
	EXPECT_FALSE(typeset::has(any, T_UNSET));
	EXPECT_TRUE(typeset::has(any, T_NONE));
	EXPECT_TRUE(typeset::has(any, 95));
}

TEST_F(Typeset, CompareByMembersOrByCount) {
	Cell a = typeset_of({T_INTEGER, T_FLOAT}), same = typeset_of({T_FLOAT, T_INTEGER}), b = typeset_of({T_CHAR});
	EXPECT_TRUE(actions::compare(&a, &same, COMP_EQUAL));
	EXPECT_TRUE(actions::compare(&a, &same, COMP_SAME));
	EXPECT_FALSE(actions::compare(&a, &b, COMP_EQUAL));
	EXPECT_TRUE(actions::compare(&b, &a, COMP_LESSER));
	EXPECT_EQ(actions::compare_raw(&a, &b, COMP_SORT), 1);
	Cell one = I(1);
	EXPECT_EQ(actions::compare_raw(&a, &one, COMP_EQUAL), COMPARE_UNRELATED);
}

TEST_F(Typeset, TripleTexts) {
	Cell t;
	triple::make_at(&t, 1, -2, 3);
	EXPECT_EQ(form(t), "make triple! [1 -2 3]");
	EXPECT_EQ(mold(t, true), "make triple! [1 -2 3]");
	triple::make_at(&t, -2147483648, 0, 2147483647);
	EXPECT_EQ(mold(t), "make triple! [-2147483648 0 2147483647]");
	EXPECT_EQ(raised([&] { call(A_ADD, {t, I(1)}); }).code, code(errors::id::script_expect_arg));
}

}  // namespace
