// Owned series tell their owner object about each change: the action word
// before it, the past-tense word after it, with the index, the part and the
// new value.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/unit/block_support.h"

using namespace vyn;
using namespace vyn::test;

namespace {

using Refs = std::vector<int32_t>;


std::vector<std::string> events;

void record(Cell*, Cell* word, Cell*, Cell* action, Cell* value, int32_t index, int32_t part) {
	std::string e = std::string(symbol::name(action->data2)) + " " + std::to_string(index) + " " +
		std::to_string(part);
	if (!cell::is(value, T_NONE)) e += " " + mold_of(*value);
	e += " @" + std::string(symbol::name(word->data2));
	events.push_back(e);
}

class BlockOwner : public BlockTest {
protected:
	Cell owner{};
	Cell field{};

	void SetUp() override {
		BlockTest::SetUp();
		cell::set(&owner, T_OBJECT, 0, 0, 1);  // word 3: the object has change handlers
		field = value("field");
		ownership::on_deep_change = record;
		events.clear();
	}

	Cell owned(const char* source) {
		Cell b = load(source);
		ownership::bind(&b, &owner, &field);
		return b;
	}
};

TEST_F(BlockOwner, EachChangeIsReportedBeforeAndAfter) {
	struct Case {
		const char* what;
		std::function<void(Cell&)> run;  // on the owned block "a b c d"
		std::vector<std::string> want;
	} cases[] = {
		{"append", [](Cell& b) { call(A_APPEND, {b, value("x")}); }, {"append 4 1 x @field", "appended 4 1 x @field"}},
		{"append of a block", [](Cell& b) { call(A_APPEND, {b, value("[x y]")}); },
			{"append 4 2 [x y] @field", "appended 4 2 [x y] @field"}},
		{"insert", [](Cell& b) { call(A_INSERT, {at(b, 1), value("x")}); },
			{"insert 1 1 x @field", "inserted 1 1 x @field"}},
		{"change", [](Cell& b) { call(A_CHANGE, {at(b, 1), value("[x y z]"), num(1)}, {2}); },
			{"change 1 1 [x y z] @field", "changed 1 3 [x y z] @field"}},
		{"clear", [](Cell& b) { call(A_CLEAR, {at(b, 1)}); }, {"clear 1 3 @field", "cleared 1 0 @field"}},
		{"remove", [](Cell& b) { call(A_REMOVE, {at(b, 2), num(2)}, {1}); }, {"remove 2 2 @field", "removed 2 2 @field"}},
		{"poke", [](Cell& b) { call(A_POKE, {b, num(2), value("x")}); }, {"poke 1 1 x @field", "poked 1 1 x @field"}},
		{"reverse", [](Cell& b) { call(A_REVERSE, {b}); }, {"reverse 0 4 @field", "reversed 0 4 @field"}},
		{"take/last", [](Cell& b) { call(A_TAKE, {b}, {-1, -1, 0}); }, {"take 3 1 @field", "taken 3 1 @field"}},
		{"move", [](Cell& b) { call(A_MOVE, {b, at(b, 4)}); }, {"move 0 1 @field", "moved 3 1 @field"}},
		{"put", [](Cell& b) { call(A_PUT, {b, value("c"), value("z")}); }, {"put 3 1 z @field", "put-ed 3 1 z @field"}},
		{"swap", [](Cell& b) { call(A_SWAP, {b, load("q")}); }, {"swap 0 1 @field", "swaped 0 1 @field"}},
		{"sort", [](Cell& b) { call(A_SORT, {b}); }, {"sort 0 4 @field", "sorted 0 4 @field"}},
		{"trim", [](Cell& b) { call(A_TRIM, {b}); }, {"trim 0 4 @field", "trimmed 0 4 @field"}},
		{"random", [](Cell& b) { call(A_RANDOM, {b}); }, {"random 0 4 @field", "randomized 0 4 @field"}},
		{"copy changes nothing", [](Cell& b) { call(A_COPY, {b}); }, {}},
		{"find changes nothing", [](Cell& b) { call(A_FIND, {b, value("c")}); }, {}},
	};
	for (const Case& c : cases) {
		Cell b = owned("a b c d");
		events.clear();
		c.run(b);
		EXPECT_EQ(events, c.want) << c.what;
	}
}

TEST_F(BlockOwner, NestedBlocksReportToTheOuterField) {
	Cell b = owned("a [b c]");
	Cell inner = *block::vs_abs_at(&b, 1);
	call(A_APPEND, {inner, value("d")});
	EXPECT_EQ(events, (std::vector<std::string>{"append 2 1 d @field", "appended 2 1 d @field"}));
}

TEST_F(BlockOwner, CopiesAndTakenBlocksAreNotOwned) {
	Cell b = owned("a b c");
	Cell copy = call(A_COPY, {b});
	Cell taken = call(A_TAKE, {b, num(2)}, {1});
	events.clear();
	call(A_APPEND, {copy, value("x")});
	call(A_APPEND, {taken, value("x")});
	EXPECT_TRUE(events.empty());
}

TEST_F(BlockOwner, AHandlerThatEmptiesTheSeriesLeavesItWhole) {
	ownership::on_deep_change = [](Cell*, Cell*, Cell* target, Cell* action, Cell*, int32_t, int32_t) {
		std::string_view a = symbol::name(action->data2);
		if (a != "remove" && a != "take" && a != "reverse" && a != "poke") return;
		Cell whole = at(*target, 0);
		block::clear_at_head(&whole);
	};
	Cell b = owned("a b c d");
	call(A_REMOVE, {at(b, 2), num(2)}, {1});
	EXPECT_EQ(block::length(&b), 0u);
	Cell c = owned("a b c d");
	Cell t = call(A_TAKE, {at(c, 1), num(2)}, {1});
	EXPECT_EQ(mold_of(t), "[]");
	Cell d = owned("a b c d");
	call(A_REVERSE, {at(d, 1)});
	EXPECT_EQ(block::length(&d), 0u);
	Cell e = owned("a b c d");
	call(A_POKE, {e, num(3), num(1)});
	EXPECT_EQ(block::length(&e), 0u);
}

TEST_F(BlockOwner, ModifyAndReflectTheOwnedField) {
	Cell b = load("a [b]");
	Cell owned_word = value("owned");
	Cell record = load("x field");
	*block::vs_head(&record) = owner;
	Cell r = call(A_MODIFY, {b, owned_word, record});
	EXPECT_EQ(r.data2, record.data2) << "the value is the result";
	Cell inner = *block::vs_abs_at(&b, 1);
	call(A_APPEND, {inner, value("c")});
	EXPECT_EQ(events, (std::vector<std::string>{"append 1 1 c @field", "appended 1 1 c @field"}));
	Cell reflected = call(A_REFLECT, {b, owned_word});
	ASSERT_TRUE(cell::is(&reflected, T_BLOCK));
	EXPECT_EQ(block::length(&reflected), 2u);
	EXPECT_TRUE(cell::is(block::vs_head(&reflected), T_OBJECT));
	EXPECT_EQ(mold_of(block::vs_head(&reflected)[1]), "field");

	events.clear();
	call(A_MODIFY, {b, value("OWNED"), none_cell()});
	call(A_APPEND, {inner, value("d")});
	EXPECT_TRUE(events.empty()) << "released deeply";
	Cell none = call(A_REFLECT, {b, owned_word});
	EXPECT_TRUE(cell::is(&none, T_NONE));
	EXPECT_EQ(raised([&] { call(A_REFLECT, {b, value("body")}); }), errors::id::internal_not_done.code());
	Cell other = call(A_MODIFY, {b, value("spec"), num(1)});
	EXPECT_EQ(cell::get_integer(&other), 1);
}

}  // namespace
