// The path family and paren!: their rows, make/to, form and mold.
#include "runtime/datatypes/path.h"

#include <gtest/gtest.h>

#include <vector>

#include "tests/unit/block_support.h"

using namespace vyn;
using namespace vyn::test;

namespace {


class Path : public BlockTest {
protected:
	void SetUp() override {
		BlockTest::SetUp();
		actions::init();
	}
};

TEST_F(Path, EachTypeMoldsWithItsMark) {
	struct Case {
		Type type;
		const char* want;
	} cases[] = {
		{T_PATH, "a/b/c"}, {T_LIT_PATH, "'a/b/c"}, {T_SET_PATH, "a/b/c:"}, {T_GET_PATH, ":a/b/c"},
		{T_PAREN, "(a b c)"}, {T_BLOCK, "[a b c]"},
	};
	for (const Case& c : cases) {
		Cell r = call(A_TO, {type_value(c.type), value("[a b c]")});
		EXPECT_EQ(cell::type_of(&r), c.type);
		EXPECT_EQ(mold_of(r), c.want) << int(c.type);
	}
}

TEST_F(Path, FormAndMoldOfItems) {
	struct Case {
		const char* items;
		Type type;
		const char* mold;
		const char* form;
	} cases[] = {
		{"a", T_PATH, "a", "a"},
		{"a 1 (b c) :d", T_PATH, "a/1/(b c)/:d", "a/1/b c/d"},
		{"x \"s\"", T_LIT_PATH, "'x/\"s\"", "x/s"},
		{"x y", T_SET_PATH, "x/y:", "x/y"},
		{"[\na]", T_PATH, "[\n    a\n]", "a"},
	};
	for (const Case& c : cases) {
		Cell p = call(A_TO, {type_value(c.type), load(c.items)});
		EXPECT_EQ(mold_of(p), c.mold) << c.items;
		EXPECT_EQ(form_of(p), c.form) << c.items;
	}
	EXPECT_EQ(mold_of(value("aa/bb/cc"), {.limit = 4}), "aa/b");
	EXPECT_EQ(form_of(value("aa/bb/cc"), 2), "aa");
}

TEST_F(Path, SelfContainingPathWritesAnEllipsis) {
	Cell p = value("a/b");
	block::append_value(&p, &p);
	EXPECT_EQ(mold_of(p), "a/b/...");
	EXPECT_EQ(form_of(p), "a/b/...");
	Cell s = value("a/b:");
	block::append_value(&s, &s);
	EXPECT_EQ(mold_of(s), "a/b/...:");
}

TEST_F(Path, MakeFromSizesOrBlocks) {
	Cell empty = call(A_MAKE, {type_value(T_PATH), num(0)});
	EXPECT_TRUE(cell::is(&empty, T_PATH));
	EXPECT_EQ(block::length(&empty), 0u);
	EXPECT_EQ(block::buffer(&empty)->size, sizeof(Cell));
	Cell sized = call(A_MAKE, {type_value(T_SET_PATH), value("2.7")});
	EXPECT_TRUE(cell::is(&sized, T_SET_PATH));
	EXPECT_EQ(block::buffer(&sized)->size, 2 * sizeof(Cell));
	Cell src = load("a b");
	Cell copied = call(A_MAKE, {type_value(T_GET_PATH), src});
	EXPECT_EQ(mold_of(copied), ":a/b");
	EXPECT_NE(copied.data2, src.data2);
	EXPECT_EQ(raised([] { call(A_MAKE, {type_value(T_PATH), value("x")}); }), errors::id::script_bad_make_arg.code());
}

TEST_F(Path, ToWrapsTypesetsAndScalars) {
	Cell ts;
	cell::set(&ts, T_TYPESET);
	Cell p = call(A_TO, {type_value(T_PATH), ts});
	EXPECT_EQ(block::length(&p), 1u);
	EXPECT_TRUE(cell::is(block::vs_head(&p), T_TYPESET));
	EXPECT_EQ(mold_of(call(A_TO, {type_value(T_LIT_PATH), num(5)})), "'5");
}

TEST_F(Path, RowsRefuseRandomSortAndTrim) {
	for (Type t : {T_PATH, T_LIT_PATH, T_SET_PATH, T_GET_PATH}) {
		EXPECT_EQ(registry::entry(t, A_SORT), nullptr) << int(t);
		EXPECT_EQ(registry::entry(t, A_TRIM), nullptr) << int(t);
		EXPECT_EQ(registry::entry(t, A_RANDOM), nullptr) << int(t);
		EXPECT_EQ(registry::entry(t, A_APPEND), registry::entry(T_BLOCK, A_APPEND)) << int(t);
		EXPECT_EQ(registry::entry(t, A_PICK), registry::entry(T_SERIES, A_PICK)) << int(t);
		EXPECT_EQ(registry::entry(t, A_COPY), registry::entry(T_BLOCK, A_COPY)) << int(t);
	}
	EXPECT_EQ(registry::entry(T_PAREN, A_TRIM), registry::entry(T_BLOCK, A_TRIM));
	EXPECT_EQ(registry::entry(T_PAREN, A_FORM), registry::entry(T_BLOCK, A_FORM));
	EXPECT_EQ(registry::parents[T_LIT_PATH], T_PATH);
	EXPECT_EQ(raised([] { call(A_TRIM, {value("a/b")}); }), errors::id::script_expect_arg.code());
}

TEST_F(Path, ParenMoldOnlyDropsTheParentheses) {
	EXPECT_EQ(mold_of(value("(a (b))"), {.only = true}), "a (b)");
	EXPECT_EQ(form_of(value("(a (b))")), "a b");
	Cell p = value("(a b)");
	Cell r = call(A_APPEND, {p, value("c")});
	EXPECT_EQ(mold_of(r), "(a b c)");
}

TEST_F(Path, PathsCompareWithLitPathsOnlyWhenMatching) {
	Cell p = value("a/b");
	Cell lp = value("'a/b");
	EXPECT_EQ(actions::compare_raw(&p, &lp, COMP_FIND), 0);
	EXPECT_EQ(actions::compare_raw(&lp, &p, COMP_FIND_CASE), 0);
	EXPECT_EQ(actions::compare_raw(&p, &lp, COMP_EQUAL), COMPARE_UNRELATED);
	Cell sp = value("a/b:");
	EXPECT_EQ(actions::compare_raw(&p, &sp, COMP_FIND), COMPARE_UNRELATED);
	Cell made = *path::make_at(stack::alloc_slot(), 0);
	EXPECT_TRUE(cell::is(&made, T_PATH));
	Cell* pushed = path::push_as(&p, T_GET_PATH);
	EXPECT_EQ(mold_of(*pushed), ":a/b");
}

}  // namespace
