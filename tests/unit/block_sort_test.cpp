// sort on blocks: records, fields, parts, stability, and comparator
// functions (through a stand-in for the interpreter's call hook).
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/unit/block_support.h"

using namespace vyn;
using namespace vyn::test;

namespace {

struct Options {
	bool case_ = false;
	const char* skip = nullptr;
	const Cell* compare = nullptr;
	const char* part = nullptr;  // an integer, or "@n" for a position of the series
	bool all = false, reverse = false, stable = false;
};

// Comparator functions stand for Vyn functions: word 1 says what they do.
enum Comparator : uint32_t { LESSER = 1, LESSER_FIRST_CELLS, AS_INTEGER, AS_FLOAT, AS_NONE, AS_WORD, RAISES, BREAKS };

int calls = 0;
int fail_after = 0;

void fake_call(const Cell* function, const Cell* first, const Cell* second, Cell* out) {
	calls++;
	switch (function->data1) {
	case LESSER: cell::make_logic(out, actions::compare(first, second, COMP_LESSER)); return;
	case LESSER_FIRST_CELLS: {
		EXPECT_TRUE(cell::is(first, T_BLOCK) && cell::is(second, T_BLOCK));
		Cell a = *first, b = *second;
		cell::make_logic(out, actions::compare(block::vs_head(&a), block::vs_head(&b), COMP_LESSER));
		return;
	}
	case AS_INTEGER:
		cell::make_integer(out, cell::get_integer(first) - cell::get_integer(second));
		return;
	case AS_FLOAT: cell::make_float(out, double(cell::get_integer(first) - cell::get_integer(second)) / 4); return;
	case AS_NONE: cell::make_none(out); return;
	case AS_WORD: *out = value("w"); return;
	case RAISES:
		if (calls > fail_after) errors::fire(errors::id::script_invalid_compare, first, second);
		cell::make_logic(out, actions::compare(first, second, COMP_LESSER));
		return;
	case BREAKS:
		if (calls > fail_after) errors::pending = THROW_BREAK;
		cell::make_logic(out, actions::compare(first, second, COMP_LESSER));
		return;
	}
}

Cell function(Comparator c) {
	Cell f;
	cell::set(&f, T_FUNCTION, c);
	return f;
}

class BlockSort : public BlockTest {
protected:
	void SetUp() override {
		BlockTest::SetUp();
		actions::init();
		block::call_comparator = fake_call;
		calls = 0;
	}
	void TearDown() override {
		block::call_comparator = nullptr;
		errors::pending = THROW_NONE;
		BlockTest::TearDown();
	}

	static Cell run(const Cell& series, const Options& o) {
		Cell* saved = stack::arguments;
		Cell* base = stack::top;
		stack::arguments = base;
		stack::push(&series);
		std::vector<int32_t> refs(16, -1);
		auto with_arg = [&](int slot, const Cell& arg) {
			refs[slot] = int32_t(stack::top - base);
			stack::push(&arg);
		};
		if (o.case_) refs[0] = 0;
		if (o.skip) with_arg(1, value(o.skip));
		if (o.compare) with_arg(2, *o.compare);
		if (o.part) with_arg(3, o.part[0] == '@' ? at(series, o.part[1] - '0') : value(o.part));
		if (o.all) refs[4] = 0;
		if (o.reverse) refs[5] = 0;
		if (o.stable) refs[6] = 0;
		actions::stack_forms[A_SORT - 1](refs.data());
		Cell r = *base;
		stack::top = base;
		stack::arguments = saved;
		return r;
	}
};

TEST_F(BlockSort, OrdersRecordsByCodeFieldAndFlags) {
	Cell field2 = num(2);
	struct Case {
		const char* block;
		int32_t head;
		Options o;
		const char* want;  // the whole block afterwards
		int32_t answer_head;
	} cases[] = {
		{"c a b", 0, {}, "a b c", 0},
		{"c a b", 0, {.reverse = true}, "c b a", 0},
		{"b 1 \"a\" a", 0, {}, "\"a\" 1 a b", 0},
		{"b A a B", 0, {.case_ = true}, "A B a b", 0},
		{"b A a B", 0, {.stable = true}, "A a b B", 0},
		{"b 2 a 1", 0, {.skip = "2"}, "a 1 b 2", 0},
		{"a 2 b 1", 0, {.skip = "2", .compare = &field2}, "b 1 a 2", 0},
		{"a 2 a 1", 0, {.skip = "2", .all = true}, "a 1 a 2", 0},
		{"a 2 a 1 0 z", 0, {.skip = "2", .stable = true}, "0 z a 2 a 1", 0},
		{"b 1 a 1 c 0", 0, {.skip = "2", .compare = &field2, .stable = true}, "c 0 b 1 a 1", 0},
		{"d c b a", 0, {.part = "2"}, "c d b a", 0},
		{"d c b a", 1, {.part = "9"}, "d a b c", 1},
		{"d c b a", 2, {.part = "-2"}, "c d b a", 0},
		{"d c b a", 1, {.part = "-5"}, "d c b a", 0},
		{"d c b a", 0, {.part = "@3"}, "b c d a", 0},
		{"", 0, {}, "", 0},
		{"3 1 2", 3, {}, "3 1 2", 3},
	};
	for (const Case& c : cases) {
		Cell b = load(c.block);
		Cell r = run(at(b, c.head), c.o);
		EXPECT_EQ(cells_of(b), c.want) << c.block << " head " << c.head;
		EXPECT_EQ(int32_t(r.data1), c.answer_head) << c.block;
	}
}

TEST_F(BlockSort, RefusesBadRefinements) {
	Cell one = num(1), three = num(3), zero = num(0), text = value("\"x\"");
	struct Case {
		const char* block;
		Options o;
		errors::Id error;
	} cases[] = {
		{"b 2 a", {.skip = "2"}, errors::id::script_invalid_refine_arg},
		{"b 2", {.skip = "3"}, errors::id::script_invalid_refine_arg},
		{"b 2", {.skip = "0"}, errors::id::script_invalid_refine_arg},
		{"b 2", {.skip = "x"}, errors::id::script_invalid_refine_arg},
		{"b 2", {.all = true}, errors::id::script_bad_refines},
		{"b 2", {.compare = &one}, errors::id::script_bad_refines},
		{"b 2", {.skip = "2", .compare = &one, .all = true}, errors::id::script_bad_refines},
		{"b 2", {.skip = "2", .compare = &three}, errors::id::script_out_of_range},
		{"b 2", {.skip = "2", .compare = &zero}, errors::id::script_out_of_range},
		{"b 2", {.compare = &text}, errors::id::script_invalid_refine_arg},
	};
	for (const Case& c : cases) {
		Cell b = load(c.block);
		EXPECT_EQ(raised([&] { run(b, c.o); }), c.error.code()) << c.block;
		EXPECT_EQ(cells_of(b), c.block) << "a refused sort changes nothing";
	}
	Cell other = load("z");
	Cell b = load("b a");
	EXPECT_EQ(raised([&] {
		Cell* saved = stack::arguments;
		stack::arguments = stack::top;
		Cell* s = block::push(&b);
		block::sort(s, false, nullptr, nullptr, &other, false, false, false);
		stack::arguments = saved;
	}),
		errors::id::script_invalid_refine_arg.code());
}

TEST_F(BlockSort, FunctionComparators) {
	Cell lesser = function(LESSER);
	Cell first_cells = function(LESSER_FIRST_CELLS);
	Cell as_integer = function(AS_INTEGER);
	Cell as_float = function(AS_FLOAT);
	Cell as_none = function(AS_NONE);
	Cell as_word = function(AS_WORD);
	struct Case {
		const char* block;
		Options o;
		const char* want;
	} cases[] = {
		{"3 1 2", {.compare = &lesser}, "1 2 3"},
		{"3 1 2", {.compare = &lesser, .reverse = true}, "3 2 1"},
		{"3 1 2", {.compare = &lesser, .stable = true}, "1 2 3"},
		{"b 2 a 1 c 0", {.skip = "2", .compare = &first_cells, .all = true}, "a 1 b 2 c 0"},
		{"b 2 a 1 c 0", {.skip = "2", .compare = &first_cells, .all = true, .stable = true}, "a 1 b 2 c 0"},
		// The function sees (b, a): a positive answer puts a after b.
		{"3 1 2", {.compare = &as_integer}, "3 2 1"},
		{"3 1 2", {.compare = &as_float, .stable = true}, "3 2 1"},
		{"1 2 3", {.compare = &as_none, .stable = true}, "1 2 3"},
		{"1 2 3", {.compare = &as_word, .stable = true}, "3 2 1"},
	};
	for (const Case& c : cases) {
		Cell b = load(c.block);
		run(b, c.o);
		EXPECT_EQ(cells_of(b), c.want) << c.block;
	}
}

TEST_F(BlockSort, StableFunctionSortKeepsEqualRecordsInOrder) {
	Cell on_field = function(LESSER);
	Cell b = load("2 a 1 b 2 c 1 d");
	// Records of two cells compared by their first cell through the function.
	run(b, {.skip = "2", .compare = &on_field, .stable = true});
	EXPECT_EQ(cells_of(b), "1 b 1 d 2 a 2 c");
}

TEST_F(BlockSort, PresortedInputTakesOneComparisonPerNeighbour) {
	Cell b;
	block::make_at(&b, 1000);
	for (int i = 0; i < 1000; i++) {
		Cell v = num(i);
		block::append_value(&b, &v);
	}
	Cell lesser = function(LESSER);
	run(b, {.compare = &lesser});
	EXPECT_EQ(calls, 999);
}

TEST_F(BlockSort, AComparatorThatFailsLosesNoRecord) {
	for (bool stable : {false, true}) {
		for (Comparator c : {RAISES, BREAKS}) {
			Cell b;
			block::make_at(&b, 64);
			std::vector<int32_t> input;
			for (int i = 0; i < 64; i++) {
				input.push_back((i * 37) % 64);
				Cell v = num(input.back());
				block::append_value(&b, &v);
			}
			calls = 0;
			fail_after = 40;
			Cell f = function(c);
			uint32_t pending = THROW_NONE;
			uint32_t code = raised([&] {
				run(b, {.compare = &f, .stable = stable});
				pending = errors::pending;
				errors::pending = THROW_NONE;
			});
			EXPECT_EQ(code, c == RAISES ? errors::id::script_invalid_compare.code() : 0u);
			EXPECT_EQ(pending, c == BREAKS ? THROW_BREAK : THROW_NONE);
			std::vector<int32_t> after;
			for (Cell* p = block::vs_head(&b); p < block::vs_tail(&b); p++) after.push_back(cell::get_integer(p));
			std::sort(after.begin(), after.end());
			std::sort(input.begin(), input.end());
			EXPECT_EQ(after, input) << (stable ? "stable" : "unstable") << " " << c;
		}
	}
}

}  // namespace
