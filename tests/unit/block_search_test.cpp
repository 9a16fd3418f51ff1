// find and select on blocks with their refinements.
#include <gtest/gtest.h>

#include <vector>

#include "tests/unit/block_support.h"

using namespace vyn;
using namespace vyn::test;

namespace {

struct Options {
	const char* part = nullptr;  // notation of an integer, or "@n" for a position of the series
	bool only = false, case_ = false, same = false;
	const char* skip = nullptr;
	bool last = false, reverse = false, tail = false, match = false;
};

class BlockSearch : public BlockTest {
protected:
	void SetUp() override {
		BlockTest::SetUp();
		actions::init();
	}

	// Runs find (or select) through its stack form; answers the result slot.
	static Cell run(bool select, const Cell& series, const Cell& value, const Options& o) {
		Cell* saved = stack::arguments;
		Cell* base = stack::top;
		stack::arguments = base;
		stack::push(&series);
		stack::push(&value);
		std::vector<int32_t> refs(16, -1);
		auto with_arg = [&](int slot, const Cell& arg) {
			refs[slot] = int32_t(stack::top - base);
			stack::push(&arg);
		};
		if (o.part) {
			Cell p = o.part[0] == '@' ? at(series, o.part[1] - '0') : vyn::test::value(o.part);
			with_arg(0, p);
		}
		if (o.only) refs[1] = 0;
		if (o.case_) refs[2] = 0;
		if (o.same) refs[3] = 0;
		if (o.skip) with_arg(6, vyn::test::value(o.skip));
		if (o.last) refs[7] = 0;
		if (o.reverse) refs[8] = 0;
		if (!select && o.tail) refs[9] = 0;
		if (!select && o.match) refs[10] = 0;
		actions::stack_forms[(select ? A_SELECT : A_FIND) - 1](refs.data());
		Cell r = *base;
		stack::top = base;
		stack::arguments = saved;
		return r;
	}
};

TEST_F(BlockSearch, FindAnswersThePositionOrNone) {
	struct Case {
		const char* block;
		int32_t head;
		const char* value;
		Options o;
		int32_t want;  // head of the answer, -1 for none
	} cases[] = {
		{"a b", 2, "a", {}, -1},
		{"a b", 2, "b", {.reverse = true}, 1},
		{"a b a b", 2, "a", {.reverse = true}, 0},
		{"a b", 0, "a", {.reverse = true}, -1},
		{"a b a b", 0, "a", {.last = true}, 2},
		{"a b a b", 0, "[a b]", {.last = true}, 2},
		{"a b c", 0, "c", {.part = "2"}, -1},
		{"a b c", 0, "b", {.part = "2"}, 1},
		{"a b c", 0, "a", {.part = "0"}, -1},
		{"a b c", 0, "a", {.part = "-3"}, -1},
		{"a b c", 0, "c", {.part = "@2"}, 2},
		{"a b c", 0, "c", {.part = "@1"}, -1},
		{"a b c d", 0, "[b c]", {}, 1},
		{"a b c d", 0, "[b c]", {.tail = true}, 3},
		{"a b c d", 0, "[b c]", {.part = "2"}, -1},
		{"a b c", 0, "[c d]", {}, -1},
		{"a [b c] b c", 0, "[b c]", {.only = true}, 1},
		{"a [b c] b c", 0, "[b c]", {}, 2},
		{"1 a 2 b", 1, "integer!", {}, 2},
		{"1 a 2 b", 0, "word!", {}, 1},
		{"1 integer!", 0, "integer!", {.only = true}, 1},
		{"a 1 b 2", 0, "b", {.skip = "2"}, 2},
		{"a b 1 b", 0, "b", {.skip = "2"}, -1},
		{"a 1 b 2", 0, "b", {.skip = "2", .tail = true}, 4},
		{"a 1 b 2", 0, "b", {.tail = true}, 3},
		{"a 1 b 2", 0, "a", {.last = true, .tail = true}, 1},
		{"a b c", 0, "b", {.match = true}, -1},
		{"a b c", 0, "a", {.match = true}, 0},
		{"a b c", 1, "[b c]", {.match = true}, 1},
		{"a A", 0, "A", {}, 0},
		{"a A", 0, "A", {.case_ = true}, 1},
		{"", 0, "a", {}, -1},
		{"", 0, "a", {.reverse = true}, -1},
		{"a b", 0, "[]", {}, -1},
		{"x 1 y 2 z", 0, "z", {.skip = "2", .last = true}, 4},
		{"x 1 y 2 z", 0, "x", {.skip = "2", .last = true}, 0},
	};
	for (const Case& c : cases) {
		Cell b = load(c.block);
		Cell r = run(false, at(b, c.head), value(c.value), c.o);
		if (c.want < 0) {
			EXPECT_TRUE(cell::is(&r, T_NONE)) << c.block << " / " << c.value;
			continue;
		}
		ASSERT_TRUE(cell::is(&r, T_BLOCK)) << c.block << " / " << c.value;
		EXPECT_EQ(int32_t(r.data1), c.want) << c.block << " / " << c.value;
	}
}

TEST_F(BlockSearch, FindSameMatchesTheIdenticalValueOnly) {
	Cell inner = load("1");
	Cell twin = load("1");
	Cell b = load("x");
	block::append_value(&b, &twin);
	block::append_value(&b, &inner);
	EXPECT_EQ(run(false, b, inner, {.only = true}).data1, 1u);
	EXPECT_EQ(run(false, b, inner, {.only = true, .same = true}).data1, 2u);
}

TEST_F(BlockSearch, FindRefusesBadSkipAndPart) {
	Cell b = load("a b c");
	Cell other = load("a b c");
	EXPECT_EQ(raised([&] { run(false, b, value("a"), {.skip = "0"}); }), errors::id::script_out_of_range.code());
	EXPECT_EQ(raised([&] { run(false, b, value("a"), {.skip = "x"}); }), errors::id::script_invalid_refine_arg.code());
	EXPECT_EQ(raised([&] {
		Cell* saved = stack::arguments;
		stack::arguments = stack::top;
		Cell* series = block::push(&b);
		Cell key = value("a");
		block::find(series, &key, &other, false, false, false, false, nullptr, nullptr, false, false, false, false);
		stack::arguments = saved;
	}),
		errors::id::script_invalid_refine_arg.code());
}

TEST_F(BlockSearch, SelectAnswersWhatFollowsTheMatch) {
	struct Case {
		const char* block;
		const char* value;
		Options o;
		const char* want;
	} cases[] = {
		{"a 1 b 2", "b", {}, "2"},
		{"a b", "b", {}, "none"},
		{"a b", "z", {}, "none"},
		{"a b c d", "[a b]", {}, "c"},
		{"a b c d", "[c d]", {}, "none"},
		{"a b [a b] x", "[a b]", {.only = true}, "x"},
		{"a 1 a 2", "a", {.last = true}, "2"},
		{"1 a 2 b", "word!", {}, "2"},
		{"a 1 b 1", "1", {.skip = "2"}, "none"}, {"a 1 1 b", "1", {.skip = "2"}, "b"},
		{"k 1 K 2", "K", {.case_ = true}, "2"},
	};
	for (const Case& c : cases) {
		Cell b = load(c.block);
		EXPECT_EQ(mold_of(run(true, b, value(c.value), c.o)), c.want) << c.block << " / " << c.value;
	}
}

}  // namespace
