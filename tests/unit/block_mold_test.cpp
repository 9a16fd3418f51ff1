// form and mold of blocks: brackets, new-line flags and indentation, /only,
// /flat, /part limits, and blocks that contain themselves.
#include <gtest/gtest.h>

#include "tests/unit/block_support.h"

using namespace vyn;
using namespace vyn::test;

namespace {

class BlockMold : public BlockTest {};

TEST_F(BlockMold, NewLineFlagsBreakAndIndent) {
	struct Case {
		const char* source;  // a line break before a value sets its flag
		MoldOptions options;
		const char* want;
	} cases[] = {
		{"[a b]", {}, "[a b]"},
		{"[\na\nb]", {}, "[\n    a\n    b\n]"},
		{"[a\nb]", {}, "[a\nb]"},
		{"[a [\nb\nc]]", {}, "[a [\n    b\n    c\n]]"},
		{"[\na\n[\nb]]", {}, "[\n    a\n    [\n        b\n    ]\n]"},
		{"[\na [\nb] c]", {}, "[\n    a [\n        b\n    ] c\n]"},
		{"[\na\nb]", {.flat = true}, "[a b]"},
		{"[\na [\nb]]", {.flat = true}, "[a [b]]"},
		{"[a [b c]]", {.only = true}, "a [b c]"},
		{"[\na\nb]", {.only = true}, "a\nb"},
		{"[]", {}, "[]"},
		{"[]", {.only = true}, ""},
		{"[(a\nb) [] x/y]", {}, "[(a\nb) [] x/y]"},
		{"[(\na)]", {}, "[(\n    a\n)]"},
		{"[a: 'b :c /d #e]", {}, "[a: 'b :c /d #e]"},
		{"[a/b: 'c/d :e/f g/(h)/1]", {}, "[a/b: 'c/d :e/f g/(h)/1]"},
		{"[f [\n    x: 1\n    y: \"s\"\n]]", {}, "[f [\n    x: 1\n    y: \"s\"\n]]"},
	};
	for (const Case& c : cases) EXPECT_EQ(mold_of(value(c.source), c.options), c.want) << c.source;
}

TEST_F(BlockMold, PartLimitStopsTheWalk) {
	struct Case {
		const char* source;
		int32_t limit;
		const char* want;
	} cases[] = {
		{"[aaa bbb ccc]", 5, "[aaa "},
		{"[aaa bbb ccc]", 1, "["},
		{"[aaa bbb ccc]", 13, "[aaa bbb ccc]"},
		{"[aaa bbb ccc]", 40, "[aaa bbb ccc]"},
		{"[\na]", 3, "[\n "},
	};
	for (const Case& c : cases) EXPECT_EQ(mold_of(value(c.source), {.limit = c.limit}), c.want) << c.source;

	Cell big;
	block::make_at(&big, 1);
	Cell w = value("word");
	for (int i = 0; i < 1000; i++) block::append_value(&big, &w);
	Cell out;
	string::make_at(&out, 16);
	Cell limit = num(12);
	int32_t left = block::mold(&big, &out, false, false, false, &limit, 12, 0);
	EXPECT_LE(left, 0);
	EXPECT_LT(string::vs_length(&out), 30u) << "the walk stopped soon after the limit was spent";
}

TEST_F(BlockMold, FormSpacesUnlessALineEnds) {
	struct Case {
		const char* source;
		const char* want;
	} cases[] = {
		{"[a [b c] \"d\"]", "a b c d"},
		{"[\"x^/\" y]", "x\ny"},
		{"[\"x^-\" y]", "x\ty"},
		{"[\"x^M\" y]", "x\ry"},
		{"[[] a]", " a"},
		{"[]", ""},
		{"[(a b) c/d]", "a b c/d"},
	};
	for (const Case& c : cases) EXPECT_EQ(form_of(value(c.source)), c.want) << c.source;
	EXPECT_EQ(form_of(value("[aaa bbb ccc]"), 6), "aaa bb");
}

TEST_F(BlockMold, SelfContainingBlocksAbbreviate) {
	Cell b = load("1 2 3");
	block::append_value(&b, &b);
	EXPECT_EQ(mold_of(b), "[1 2 3 [...]]");
	EXPECT_EQ(form_of(b), "1 2 3 ...");
	Cell p = value("(x)");
	block::append_value(&p, &p);
	EXPECT_EQ(mold_of(p), "(x (...))");
	Cell outer = load("o");
	Cell inner = load("i");
	block::append_value(&outer, &inner);
	block::append_value(&inner, &outer);
	EXPECT_EQ(mold_of(outer), "[o [i [...]]]");
	EXPECT_EQ(cycles::count, 0u);
}

TEST_F(BlockMold, TooDeepNestingRaises) {
	Cell top = load("x");
	Cell b = top;
	for (int i = 0; i < int(cycles::CAPACITY) + 5; i++) b = *block::make_in(&b, 1);
	EXPECT_EQ(raised([&] { mold_of(top); }), errors::id::internal_too_deep.code());
	EXPECT_EQ(cycles::count, 0u);
	EXPECT_EQ(block::mold_nesting, 0);
}

}  // namespace
