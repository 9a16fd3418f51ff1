// The set operations on blocks: records, keys, letter case, nested blocks
// and hash! operands.
#include <gtest/gtest.h>

#include "tests/unit/block_support.h"

using namespace vyn;
using namespace vyn::test;

namespace {

class BlockSets : public BlockTest {
protected:
	void SetUp() override {
		BlockTest::SetUp();
		registry::register_type(T_HASH, T_BLOCK, "hash!", ActionRow{});
	}

	// Runs the operation on a frame of the two operands; answers the result.
	static Cell run(int32_t op, const Cell& first, const Cell& second, bool case_sensitive = false,
		const Cell* skip = nullptr) {
		Cell* saved = stack::arguments;
		Cell* base = stack::top;
		stack::arguments = base;
		stack::push(&first);
		stack::push(&second);
		block::do_set_op(op, case_sensitive, skip);
		Cell r = *base;
		stack::top = base;
		stack::arguments = saved;
		return r;
	}
};

TEST_F(BlockSets, OperationsKeepTheFirstRecordOfEachKey) {
	Cell two = num(2);
	struct Case {
		int32_t op;
		const char* first;
		const char* second;
		bool case_sensitive;
		const Cell* skip;
		const char* want;
	} cases[] = {
		{string::SET_UNIQUE, "[a b a]", "[]", false, nullptr, "[a b]"},
		{string::SET_UNION, "[a b]", "[b c]", false, nullptr, "[a b c]"},
		{string::SET_INTERSECT, "[a b]", "[b c]", false, nullptr, "[b]"},
		{string::SET_EXCLUDE, "[a b]", "[b]", false, nullptr, "[a]"},
		{string::SET_DIFFERENCE, "[a b]", "[b c]", false, nullptr, "[a c]"},
		{string::SET_UNIQUE, "[a 1 a 2]", "[]", false, &two, "[a 1]"},
		{string::SET_UNIQUE, "[a b b c]", "[]", false, &two, "[a b b c]"},
		{string::SET_UNION, "[a 1 b 2]", "[b 3 c 4]", false, &two, "[a 1 b 2 c 4]"},
		{string::SET_INTERSECT, "[a 1 b 2]", "[x b]", false, &two, "[b 2]"},
		{string::SET_UNIQUE, "[a 1 b]", "[]", false, &two, "[a 1 b]"},
		{string::SET_UNION, "[a]", "[A]", true, nullptr, "[a A]"},
		{string::SET_UNION, "[a]", "[A]", false, nullptr, "[a]"},
		{string::SET_UNION, "[\"x\" 1]", "[\"X\" 1.0]", false, nullptr, "[\"x\" 1 1.0]"},
		{string::SET_UNION, "[[1] x]", "[[1] y]", false, nullptr, "[[1] x y]"},
		{string::SET_EXCLUDE, "[[1] [2]]", "[[2]]", false, nullptr, "[[1]]"},
		{string::SET_INTERSECT, "[]", "[a b]", false, nullptr, "[]"},
		{string::SET_EXCLUDE, "[]", "[a b]", false, nullptr, "[]"},
		{string::SET_UNION, "[]", "[a b a]", false, nullptr, "[a b]"},
		{string::SET_DIFFERENCE, "[]", "[a b a]", false, nullptr, "[a b]"},
		{string::SET_UNIQUE, "(a a)", "[]", false, nullptr, "(a)"},
	};
	for (const Case& c : cases) {
		Cell r = run(c.op, value(c.first), value(c.second), c.case_sensitive, c.skip);
		EXPECT_EQ(mold_of(r), c.want) << c.op << " " << c.first << " " << c.second;
		EXPECT_EQ(r.data1, 0u);
	}
}

TEST_F(BlockSets, StartsAtTheHeads) {
	Cell a = load("x a b");
	Cell b = load("a q c");
	EXPECT_EQ(mold_of(run(string::SET_UNION, at(a, 1), at(b, 2))), "[a b c]");
}

TEST_F(BlockSets, AHashOperandGivesAHashResultWithItsIndex) {
	Cell h = load("a b a c");
	cell::set_type(&h, T_HASH);
	series::hash_index_new(&h);
	struct Case {
		int32_t op;
		bool hash_first;
		const Cell* skip;
	} cases[] = {
		{string::SET_UNIQUE, true, nullptr},
		{string::SET_UNION, false, nullptr},
		{string::SET_INTERSECT, true, nullptr},
		{string::SET_DIFFERENCE, false, nullptr},
	};
	Cell two = num(2);
	Cell plain = load("c d");
	for (const Case& c : cases) {
		Cell r = c.hash_first ? run(c.op, h, plain) : run(c.op, plain, h);
		ASSERT_TRUE(cell::is(&r, T_HASH)) << c.op;
		for (uint32_t i = 0; i < block::buffer(&r)->used() / sizeof(Cell); i++) {
			Cell* cell = block::vs_abs_at(&r, i);
			EXPECT_EQ(hash::get(r.data3, cell, 0, 1, COMP_STRICT_EQUAL, false, false), cell) << c.op << " " << i;
		}
	}
	Cell records = run(string::SET_UNIQUE, h, plain, false, &two);
	EXPECT_EQ(mold_of(records), "[a b]");
	Cell* value_cell = block::vs_abs_at(&records, 1);
	EXPECT_EQ(hash::get(records.data3, value_cell, 0, 1, COMP_STRICT_EQUAL, false, false), value_cell)
		<< "a record's other cells are indexed too";
}

TEST_F(BlockSets, RefusesASkipBelowOne) {
	Cell zero = num(0);
	Cell text = value("\"x\"");
	EXPECT_EQ(raised([&] { run(string::SET_UNIQUE, load("a"), load(""), false, &zero); }),
		errors::id::script_invalid_refine_arg.code());
	EXPECT_EQ(raised([&] { run(string::SET_UNIQUE, load("a"), load(""), false, &text); }),
		errors::id::script_invalid_refine_arg.code());
}

}  // namespace
