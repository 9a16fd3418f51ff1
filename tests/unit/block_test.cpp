// block!: make/to, comparison, the modifying actions, copies and the raw
// accessors other modules build blocks with.
#include "runtime/datatypes/block.h"

#include <gtest/gtest.h>

#include <vector>

#include "tests/unit/block_support.h"

using namespace vyn;
using namespace vyn::test;

namespace {

using Refs = std::vector<int32_t>;


class Block : public BlockTest {
protected:
	void SetUp() override {
		BlockTest::SetUp();
		actions::init();
	}
};

TEST_F(Block, MakeFromSizesAndBlocks) {
	struct Case {
		Cell spec;
		uint32_t capacity;  // in cells, 0 when the spec is copied
	} cases[] = {
		{num(10), 10}, {num(0), 1}, {num(-5), 1}, {value("3.9"), 3},
	};
	for (const Case& c : cases) {
		Cell r = call(A_MAKE, {type_value(T_BLOCK), c.spec});
		ASSERT_TRUE(cell::is(&r, T_BLOCK));
		EXPECT_EQ(block::length(&r), 0u);
		EXPECT_EQ(block::buffer(&r)->size, c.capacity * sizeof(Cell)) << mold_of(c.spec);
	}
	Cell src = load("a [b] c");
	Cell r = call(A_MAKE, {type_value(T_PAREN), at(src, 1)});
	EXPECT_EQ(mold_of(r), "([b] c)");
	EXPECT_NE(r.data2, src.data2) << "a copy";
	EXPECT_EQ(raised([] { call(A_MAKE, {type_value(T_BLOCK), value("10000000000.0")}); }), errors::id::script_out_of_range.code());
	EXPECT_EQ(raised([] { call(A_MAKE, {type_value(T_BLOCK), value("3000000000.0")}); }),
		errors::id::script_out_of_range.code());
	EXPECT_EQ(raised([] { call(A_MAKE, {type_value(T_BLOCK), value("x")}); }), errors::id::script_bad_make_arg.code());
}

TEST_F(Block, ToWrapsScalarsAndCopiesBlocks) {
	EXPECT_EQ(mold_of(call(A_TO, {type_value(T_BLOCK), num(5)})), "[5]");
	EXPECT_EQ(mold_of(call(A_TO, {type_value(T_BLOCK), value("(a b)")})), "[a b]");
	EXPECT_EQ(mold_of(call(A_TO, {type_value(T_PAREN), value("[a b]")})), "(a b)");
	Cell ts;
	cell::set(&ts, T_TYPESET);
	auto* bytes = reinterpret_cast<uint8_t*>(&ts.data1);
	bytes[T_NONE >> 3] |= 0x80 >> (T_NONE & 7);
	bytes[T_WORD >> 3] |= 0x80 >> (T_WORD & 7);
	EXPECT_EQ(mold_of(call(A_TO, {type_value(T_BLOCK), ts})), "[none! word!]");
}

TEST_F(Block, ObjectsAndMapsGiveTheirBody) {
	// Stand-ins for the object! and map! rows: reflect answers a body block.
	static Cell body;
	body = load("x: 1 y: 2");
	ActionRow row{};
	row.reflect = [](Cell*, uint32_t field) -> Cell* {
		EXPECT_EQ(field, words::sym_body);
		return &body;
	};
	registry::register_type(T_OBJECT, Type(0), "object!", row);
	registry::register_type(T_MAP, Type(0), "map!", row);
	Cell object, map;
	cell::set(&object, T_OBJECT, 0, 0, 0);
	cell::set(&map, T_MAP, 0, 0, 0);
	EXPECT_EQ(mold_of(call(A_MAKE, {type_value(T_BLOCK), object})), "[x: 1 y: 2]");
	EXPECT_EQ(mold_of(call(A_TO, {type_value(T_PAREN), map})), "(x: 1 y: 2)");
	Cell path = call(A_TO, {type_value(T_PATH), object});
	EXPECT_EQ(block::length(&path), 1u) << "a path holds the object itself";
	EXPECT_TRUE(cell::is(block::vs_head(&path), T_OBJECT));
}

TEST_F(Block, ToBlockOfTextLoadsIt) {
	Cell s;
	string::load_at(&s, "1 [2.5 \"x\"]");
	Cell b = call(A_TO, {type_value(T_BLOCK), s});
	EXPECT_EQ(mold_of(b), "[1 [2.5 \"x\"]]");
	Cell p = call(A_TO, {type_value(T_PAREN), s});
	EXPECT_EQ(mold_of(p), "(1 [2.5 \"x\"])");
}

TEST_F(Block, CompareByCellsThenLength) {
	struct Case {
		const char* a;
		const char* b;
		CompareOp op;
		int32_t want;
	} cases[] = {
		{"[1 2]", "[1 2.0]", COMP_EQUAL, 0},
		{"[a]", "[b c]", COMP_EQUAL, 1},
		{"[a]", "[A]", COMP_EQUAL, 0},
		{"[a]", "[A]", COMP_STRICT_EQUAL, 1},
		{"[[1 2] x]", "[[1 2] x]", COMP_EQUAL, 0},
		{"[1 2]", "[1 3]", COMP_LESSER, -1},
		{"[1 2 3]", "[1 3]", COMP_SORT, -1},
		{"[1 3]", "[1 2 3]", COMP_SORT, 1},
		{"[1 2]", "[1 2 3]", COMP_SORT, -1},
		{"[]", "[1]", COMP_LESSER, 0},
		{"[1]", "[]", COMP_GREATER, 1},
		{"[\"a\"]", "[1]", COMP_SORT, -1},  // string! orders before integer! by type id
		{"[a]", "[1]", COMP_SORT, 1},
		{"[a]", "[a]", COMP_SAME, -1},
		{"[a]", "(a)", COMP_EQUAL, COMPARE_UNRELATED},
		{"a/b", "'a/b", COMP_EQUAL, COMPARE_UNRELATED},
		{"a/b", "'a/b", COMP_FIND, 0},
		{"a/b", "'a/c", COMP_FIND_CASE, 1},
	};
	for (const Case& c : cases) {
		Cell a = value(c.a);
		Cell b = value(c.b);
		EXPECT_EQ(actions::compare_raw(&a, &b, c.op), c.want) << c.a << " vs " << c.b << " op " << c.op;
	}
	Cell a = load("x y");
	EXPECT_EQ(actions::compare_raw(&a, &a, COMP_SAME), 0) << "the same block at the same head";
	Cell a1 = at(a, 1);
	EXPECT_NE(actions::compare_raw(&a, &a1, COMP_SAME), 0);
	EXPECT_FALSE(actions::compare(&a, &a1, COMP_EQUAL));
}

TEST_F(Block, CompareSelfContainingBlocksEnds) {
	Cell a = load("1 2");
	Cell b = load("1 2");
	block::append_value(&a, &a);
	block::append_value(&b, &b);
	EXPECT_EQ(actions::compare_raw(&a, &b, COMP_EQUAL), 0);
	EXPECT_EQ(cycles::count, 0u);
}

struct InsertCase {
	const char* series;
	int32_t head;
	const char* value;
	int32_t part;  // -1: no /part
	bool only;
	int32_t dup;
	bool append;
	const char* want;  // the whole series afterwards
	int32_t answer_head;
};

TEST_F(Block, AppendAndInsert) {
	InsertCase cases[] = {
		{"a", 0, "[b c]", -1, false, 1, true, "a b c", 0},
		{"a", 0, "[b c]", -1, true, 1, true, "a [b c]", 0},
		{"a", 0, "[b c d]", 2, false, 1, true, "a b c", 0},
		{"a", 0, "[b c d]", 9, false, 1, true, "a b c d", 0},
		{"a", 0, "[]", -1, false, 1, true, "a", 0},
		{"a b", 1, "x", -1, false, 1, true, "a b x", 0},
		{"x", 0, "a", -1, false, 3, false, "a a a x", 3},
		{"x", 0, "[a b]", -1, false, 3, false, "a b a b a b x", 6},
		{"x y", 1, "[a b]", 1, false, 2, false, "x a a y", 3},
		{"a b", 2, "[c]", -1, false, 1, false, "a b c", 3},
		{"a b", 1, "c", -1, false, 5, true, "a b c c c c c", 0},
	};
	for (const InsertCase& c : cases) {
		Cell whole = load(c.series);
		Cell s = at(whole, c.head);
		Cell v = value(c.value);
		Cell r = *block::insert(&s, &v, c.part, c.only, c.dup, c.append);
		EXPECT_EQ(cells_of(whole), c.want) << c.series << " + " << c.value;
		EXPECT_EQ(int32_t(r.data1), c.answer_head) << c.series << " + " << c.value;
	}
}

TEST_F(Block, InsertOfABlockIntoItselfReadsASnapshot) {
	struct Case {
		int32_t head;
		int32_t value_head;
		bool append;
		const char* want;
	} cases[] = {
		{0, 0, false, "1 2 3 1 2 3"},
		{1, 0, false, "1 1 2 3 2 3"},
		{2, 1, false, "1 2 2 3 3"},
		{0, 0, true, "1 2 3 1 2 3"},
		{0, 2, true, "1 2 3 3"},
	};
	for (const Case& c : cases) {
		Cell b = load("1 2 3");
		Cell s = at(b, c.head);
		Cell v = at(b, c.value_head);
		block::insert(&s, &v, -1, false, 1, c.append);
		EXPECT_EQ(cells_of(at(b, 0)), c.want) << c.head << " " << c.value_head;
	}
	Cell b = load("1 2");
	Cell s = b;
	block::change(&s, &b, -1, false, 1);
	EXPECT_EQ(cells_of(at(b, 0)), "1 2") << "change with itself";
	Cell d = load("1 2");
	Cell d1 = at(d, 1);
	Cell whole = d;
	block::change(&d1, &whole, -1, false, 2);
	EXPECT_EQ(cells_of(at(d, 0)), "1 1 2 1 2");
}

TEST_F(Block, ChangeReplacesByPartOrByTheInsertedCount) {
	struct Case {
		const char* series;
		int32_t head;
		const char* value;
		int32_t part;
		bool only;
		int32_t dup;
		const char* want;
		int32_t answer_head;
	} cases[] = {
		{"a b c", 0, "[x y]", -1, false, 1, "x y c", 2},
		{"a b c", 0, "x", 2, false, 1, "x c", 1},
		{"a b c", 0, "[x y]", 1, false, 1, "x y b c", 2},
		{"a b c", 2, "[x y z]", -1, false, 1, "a b x y z", 5},
		{"a b c", 0, "[x y]", -1, true, 1, "[x y] b c", 1},
		{"a b c", 1, "x", 0, false, 1, "a x b c", 2},
		{"a b c", 0, "x", -1, false, 2, "x x c", 2},
		{"a b c", 0, "[]", 2, false, 1, "c", 0},
		{"a b", 2, "x", -1, false, 1, "a b x", 3},
	};
	for (const Case& c : cases) {
		Cell s = load(c.series);
		Cell pos = at(s, c.head);
		Cell v = value(c.value);
		Cell* r = block::change(&pos, &v, c.part, c.only, c.dup);
		EXPECT_EQ(cells_of(at(s, 0)), c.want) << c.series << " <- " << c.value << " part " << c.part;
		EXPECT_EQ(int32_t(r->data1), c.answer_head) << c.series << " <- " << c.value;
	}
}

TEST_F(Block, ChangePartCountsTheSeries) {
	Cell s = load("a b c");
	Cell r = call(A_CHANGE, {s, value("x"), num(2)}, {2});
	EXPECT_EQ(cells_of(at(s, 0)), "x c");
	EXPECT_EQ(mold_of(r), "[c]");
	Cell t = load("a b c d");
	call(A_CHANGE, {t, value("[x]"), at(t, 3)}, {2});
	EXPECT_EQ(cells_of(t), "x d");
	EXPECT_EQ(raised([&] { call(A_CHANGE, {t, value("x"), load("q")}, {2}); }),
		errors::id::script_invalid_refine_arg.code());
}

TEST_F(Block, CopyDeepAndTypes) {
	Cell src = load("[a] \"s\" ([b])");
	Cell deep = call(A_COPY, {src}, {-1, 0});
	Cell* inner = block::vs_head(&deep);
	EXPECT_NE(inner->data2, block::vs_head(&src)->data2) << "the nested block is a distinct copy";
	EXPECT_NE(inner[1].data2, block::vs_head(&src)[1].data2) << "the string too";
	EXPECT_NE(block::vs_head(&inner[2])->data2, block::vs_head(&block::vs_head(&src)[2])->data2) << "at every level";
	EXPECT_EQ(mold_of(deep), mold_of(src));

	Cell shallow = call(A_COPY, {src});
	EXPECT_EQ(block::vs_head(&shallow)->data2, block::vs_head(&src)->data2);

	Cell only_strings = call(A_COPY, {src, type_value(T_STRING)}, {-1, -1, 1});
	Cell* c = block::vs_head(&only_strings);
	EXPECT_EQ(c[0].data2, block::vs_head(&src)[0].data2) << "blocks are not copied";
	EXPECT_NE(c[1].data2, block::vs_head(&src)[1].data2) << "strings are";
}

TEST_F(Block, CopyDeepOfASelfContainingBlockRaisesNoCycle) {
	Cell b = load("1 2");
	block::append_value(&b, &b);
	EXPECT_EQ(raised([&] { call(A_COPY, {b}, {-1, 0}); }), errors::id::internal_no_cycle.code());
	EXPECT_EQ(cycles::count, 0u) << "the walk leaves the cycle stack as it found it";
	Cell twice = load("x");
	Cell inner = load("1");
	block::append_value(&twice, &inner);
	block::append_value(&twice, &inner);
	EXPECT_EQ(mold_of(call(A_COPY, {twice}, {-1, 0})), "[x [1] [1]]") << "a shared block is no cycle";
	Cell c;
	EXPECT_EQ(raised([&] { block::clone(&b, &c, true, false); }), errors::id::internal_no_cycle.code());
}

TEST_F(Block, CloneCopiesNestedBlocksAndOptionallyParensAndPaths) {
	Cell src = load("[a] (b) c/d \"s\"");
	for (bool all : {false, true}) {
		Cell c;
		block::clone(&src, &c, true, all);
		Cell* x = block::vs_head(&c);
		Cell* y = block::vs_head(&src);
		EXPECT_NE(x[0].data2, y[0].data2);
		EXPECT_EQ(x[1].data2 != y[1].data2, all) << "paren";
		EXPECT_EQ(x[2].data2 != y[2].data2, all) << "path";
		EXPECT_EQ(x[3].data2, y[3].data2) << "strings are shared";
	}
}

TEST_F(Block, TakeAnswersTheValueOrABlockAndDeepCopies) {
	Cell b = load("[x] y z");
	Node inner = block::vs_head(&b)->data2;
	Cell taken = call(A_TAKE, {b});
	EXPECT_TRUE(cell::is(&taken, T_BLOCK));
	EXPECT_EQ(taken.data2, inner) << "the taken cell itself";
	Cell c = load("[x] y");
	inner = block::vs_head(&c)->data2;
	Cell deep = call(A_TAKE, {c}, {-1, 0});
	EXPECT_NE(deep.data2, inner) << "/deep copies the taken block";
	EXPECT_EQ(mold_of(deep), "[x]");
	Cell d = load("[x] \"s\" z");
	Cell part = call(A_TAKE, {d, num(2)}, {1, 0});
	EXPECT_EQ(mold_of(part), "[[x] \"s\"]");
	EXPECT_EQ(cells_of(d), "z");
}

TEST_F(Block, PutSelectsOrAppends) {
	struct Case {
		const char* block;
		const char* key;
		const char* value;
		const char* want;
	} cases[] = {
		{"a 1 b 2", "b", "3", "a 1 b 3"},
		{"a 1 b 2", "c", "3", "a 1 b 2 c 3"},
		{"a 1 b", "b", "3", "a 1 b 3"},
		{"a 1", "A", "2", "a 2"},
		{"[k] 1", "[k]", "2", "[k] 2"},
	};
	for (const Case& c : cases) {
		Cell b = load(c.block);
		Cell r = call(A_PUT, {b, value(c.key), value(c.value)});
		EXPECT_EQ(cells_of(b), c.want) << c.block << " " << c.key;
		EXPECT_EQ(mold_of(r), c.value);
	}
	Cell b = load("a 1");
	call(A_PUT, {b, value("A"), num(2)}, {0});
	EXPECT_EQ(cells_of(b), "a 1 A 2") << "/case";
}

TEST_F(Block, SwapExchangesHeadCells) {
	Cell a = load("1 2");
	Cell b = load("x y");
	Cell r = call(A_SWAP, {at(a, 1), b});
	EXPECT_EQ(cells_of(a), "1 x");
	EXPECT_EQ(cells_of(b), "2 y");
	EXPECT_EQ(r.data1, 1u);
	call(A_SWAP, {at(a, 2), b});
	EXPECT_EQ(cells_of(b), "2 y") << "a side at its tail swaps nothing";
	EXPECT_EQ(raised([&] { call(A_SWAP, {a, num(1)}); }), errors::id::script_invalid_arg.code());
}

TEST_F(Block, TrimDropsNoneCellsFromTheHead) {
	struct Case {
		const char* block;
		int32_t head;
		const char* want;
	} cases[] = {
		{"a none b none", 0, "a b"},
		{"none none", 0, ""},
		{"none a none b", 1, "none a b"},
		{"a b", 0, "a b"},
	};
	for (const Case& c : cases) {
		Cell b = load(c.block);
		call(A_TRIM, {at(b, c.head)});
		EXPECT_EQ(cells_of(b), c.want) << c.block;
	}
}

Cell step(Cell& parent, Cell element, Cell* set = nullptr, bool strict = false) {
	return *block::eval_path(&parent, &element, set, nullptr, nullptr, nullptr, 1, strict, false, true, false);
}

TEST_F(Block, PathStepsPickSelectAndSet) {
	Cell b = load("a 1 b 2 \"k\" 5 c");
	struct Get {
		const char* element;
		bool strict;
		const char* want;
	} gets[] = {
		{"3", false, "b"}, {"9", false, "none"}, {"b", false, "2"}, {"B", false, "2"}, {"B", true, "none"},
		{"c", false, "none"}, {"z", false, "none"}, {"\"K\"", false, "5"}, {"\"K\"", true, "none"},
	};
	for (const Get& g : gets) EXPECT_EQ(mold_of(step(b, value(g.element), nullptr, g.strict)), g.want) << g.element;

	Cell nine = num(9);
	EXPECT_EQ(mold_of(step(b, value("b"), &nine)), "9");
	EXPECT_EQ(cells_of(b), "a 1 b 9 \"k\" 5 c");
	step(b, num(1), &nine);
	EXPECT_EQ(cells_of(b), "9 1 b 9 \"k\" 5 c");
	EXPECT_EQ(raised([&] { step(b, value("zz"), &nine); }), errors::id::script_bad_path_set.code());
	EXPECT_EQ(raised([&] { step(b, value("c"), &nine); }), errors::id::script_out_of_range.code())
		<< "nothing follows the key";
	EXPECT_EQ(raised([&] { step(b, num(0), &nine); }), errors::id::script_out_of_range.code());
}

TEST_F(Block, AccessorsBuildAndWalk) {
	Cell b = load("a b");
	block::append_value(&b, block::vs_head(&b));  // from its own buffer, which grows
	EXPECT_EQ(cells_of(b), "a b a");
	block::append_cells(&b, &b);
	EXPECT_EQ(cells_of(b), "a b a a b a");
	block::remove_last(&b);
	Cell past = at(b, 5);
	block::remove_last(&past);
	EXPECT_EQ(past.data1, 4u) << "a head past the new tail is pulled back";
	EXPECT_EQ(cells_of(b), "a b a a");

	Cell s = at(b, 2);
	block::insert_value(&s, block::vs_head(&b), false, true);  // a cell of its own buffer
	EXPECT_EQ(cells_of(b), "a b a a a");
	EXPECT_EQ(s.data1, 3u);
	Cell z = value("z");
	block::insert_value(&s, &z, true, false);
	EXPECT_EQ(cells_of(b), "z a b a a a");
	Cell pair = load("p q");
	block::insert_cells(&s, &pair);
	EXPECT_EQ(cells_of(b), "z a b p q a a a");
	EXPECT_EQ(s.data1, 5u);

	Cell kv = load("a 1 b 2");
	Cell key = value("b");
	EXPECT_EQ(mold_of(*block::select_value(&kv, &key)), "2");
	Cell last = value("2");
	EXPECT_EQ(block::select_value(&kv, &last), nullptr) << "nothing after the match";
	Cell word_b = value("B");
	EXPECT_EQ(mold_of(*block::select_word(&kv, &word_b, false)), "2");
	EXPECT_EQ(block::select_word(&kv, &word_b, true), nullptr);

	Cell r = load("a b c b");
	Cell r2 = at(r, 2);
	Cell wb = value("b");
	EXPECT_EQ(block::remove_value(&r2, &wb, false), 2) << "found after the head";
	EXPECT_EQ(cells_of(at(r, 0)), "a b c");
	EXPECT_EQ(block::remove_value(&r2, &wb, true), 1) << "from the buffer start, before the head";
	EXPECT_EQ(cells_of(at(r, 0)), "a c");
	Cell wq = value("q");
	EXPECT_EQ(block::remove_value(&r2, &wq, true), 0);
	Cell r3 = load("a c d");
	Cell wd = value("d");
	EXPECT_EQ(block::remove_value(&r3, &wd, false), 2);
}

TEST_F(Block, BuildersMakeEmptyBlocks) {
	Cell parent;
	block::make_at(&parent, 0);
	Cell* child = block::make_in(&parent, 3);
	EXPECT_TRUE(cell::is(child, T_BLOCK));
	EXPECT_EQ(block::length(&parent), 1u);
	Cell* fixed = block::make_fixed_in(&parent, 2);
	EXPECT_TRUE(memory::buffer_of(fixed)->flags & SERIES_FIXED);
	Cell* root = block::make_in(nullptr, 4);
	EXPECT_EQ(root, &block::root);
	Cell unset;
	block::make_at_ex(&unset, 2, false);
	EXPECT_TRUE(cell::is(memory::buffer_of(&unset)->head_cell(), T_UNSET));
	Cell* pushed = block::push_only(0);
	EXPECT_EQ(pushed, stack::top - 1);
	EXPECT_EQ(block::buffer(pushed)->size, sizeof(Cell));
}

}  // namespace
