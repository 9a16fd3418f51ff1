// A hash! keeps its index in step with its block through every block and
// series action, and find and select look keys up through the index with
// the same answers as a scan.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "tests/unit/block_support.h"

using namespace vyn;
using namespace vyn::test;

namespace {

using Refs = std::vector<int32_t>;


class BlockHash : public BlockTest {
protected:
	void SetUp() override {
		BlockTest::SetUp();
		// hash! as the block actions see it: a block with an index.
		registry::register_type(T_HASH, T_BLOCK, "hash!", ActionRow{});
	}

	static Cell hashed(const char* source) {
		Cell h = load(source);
		cell::set_type(&h, T_HASH);
		series::hash_index_new(&h);
		return h;
	}
};

TEST_F(BlockHash, EveryChangeKeepsTheIndexInStep) {
	struct Case {
		const char* what;
		std::function<void(Cell&, Cell&)> run;  // the hash! "a b c a d e f" and another "x y a"
	} cases[] = {
		{"append", [](Cell& h, Cell&) { call(A_APPEND, {h, value("[g a]")}); }},
		{"append/dup", [](Cell& h, Cell&) { call(A_APPEND, {h, value("q"), num(40)}, {-1, -1, 2}); }},
		{"insert in the middle", [](Cell& h, Cell&) { call(A_INSERT, {at(h, 2), value("[z a]")}); }},
		{"insert past the shift limit", [](Cell& h, Cell&) {
			Cell many;
			block::make_at(&many, 30001);
			for (int32_t i = 0; i < 30001; i++) {
				Cell n = num(i);
				block::append_value(&many, &n);
			}
			call(A_INSERT, {at(h, 1), many});
		}},
		{"change longer", [](Cell& h, Cell&) { call(A_CHANGE, {at(h, 1), value("[p q r s]")}); }},
		{"change shorter", [](Cell& h, Cell&) { call(A_CHANGE, {at(h, 1), value("p"), num(4)}, {2}); }},
		{"remove", [](Cell& h, Cell&) { call(A_REMOVE, {at(h, 1)}); }},
		{"remove/part", [](Cell& h, Cell&) { call(A_REMOVE, {at(h, 2), num(3)}, {1}); }},
		{"remove/key", [](Cell& h, Cell&) { call(A_REMOVE, {h, value("c")}, {-1, 1}); }},
		{"clear", [](Cell& h, Cell&) { call(A_CLEAR, {at(h, 3)}); }},
		{"clear all", [](Cell& h, Cell&) { call(A_CLEAR, {h}); }},
		{"take", [](Cell& h, Cell&) { call(A_TAKE, {h}); }},
		{"take/last/part", [](Cell& h, Cell&) { call(A_TAKE, {h, num(3)}, {1, -1, 0}); }},
		{"take/part before the head", [](Cell& h, Cell&) { call(A_TAKE, {at(h, 4), num(-2)}, {1}); }},
		{"poke", [](Cell& h, Cell&) { call(A_POKE, {h, num(2), value("a")}); }},
		{"reverse", [](Cell& h, Cell&) { call(A_REVERSE, {at(h, 1)}); }},
		{"reverse/skip", [](Cell& h, Cell&) { call(A_REVERSE, {at(h, 1), num(2)}, {-1, 1}); }},
		{"move forward", [](Cell& h, Cell&) { call(A_MOVE, {h, at(h, 5), num(2)}, {2}); }},
		{"move backward", [](Cell& h, Cell&) { call(A_MOVE, {at(h, 4), at(h, 1), num(2)}, {2}); }},
		{"move to another hash!", [](Cell& h, Cell& o) { call(A_MOVE, {at(h, 1), at(o, 1), num(3)}, {2}); }},
		{"put a new key", [](Cell& h, Cell&) { call(A_PUT, {h, value("n"), num(1)}); }},
		{"put an existing key", [](Cell& h, Cell&) { call(A_PUT, {h, value("b"), value("z")}); }},
		{"swap", [](Cell& h, Cell& o) { call(A_SWAP, {at(h, 1), o}); }},
		{"random", [](Cell& h, Cell&) { call(A_RANDOM, {h}); }},
		{"insert_value", [](Cell& h, Cell&) {
			Cell v = value("w");
			Cell pos = at(h, 3);
			block::insert_value(&pos, &v, false, true);
		}},
		{"remove_value", [](Cell& h, Cell&) {
			Cell v = value("a");
			block::remove_value(&h, &v, true);
		}},
	};
	for (const Case& c : cases) {
		Cell h = hashed("a b c a d e f");
		Cell other = hashed("x y a");
		c.run(h, other);
		expect_hash_indexed(h, c.what);
		expect_hash_indexed(other, c.what);
	}
}

TEST_F(BlockHash, TakeGivesTheTakenCellsAnIndexOfTheirOwn) {
	Cell h = hashed("a b c d");
	Cell taken = call(A_TAKE, {h, num(2)}, {1});
	ASSERT_TRUE(cell::is(&taken, T_HASH));
	EXPECT_NE(taken.data3, h.data3);
	expect_hash_indexed(taken, "taken");
	expect_hash_indexed(h, "left");
}

TEST_F(BlockHash, FindThroughTheIndexAgreesWithAScan) {
	struct Case {
		const char* key;
		int32_t head;
		Refs refs;  // find's refinements; /part and /skip take the cell after the key
		int32_t extra;
	} cases[] = {
		{"a", 0, {}, 0},
		{"a", 1, {}, 0},
		{"a", 0, {-1, -1, -1, -1, -1, -1, -1, 0}, 0},             // /last
		{"a", 5, {-1, -1, -1, -1, -1, -1, -1, -1, 0}, 0},         // /reverse
		{"a", 0, {-1, -1, -1, -1, -1, -1, 2}, 2},                 // /skip 2
		{"b", 0, {-1, -1, -1, -1, -1, -1, 2}, 2},                 // /skip 2: b is never first of a record
		{"c", 0, {2}, 2},                                         // /part 2
		{"c", 0, {2}, 3},                                         // /part 3
		{"A", 0, {-1, -1, 0}, 0},                                 // /case
		{"A", 0, {}, 0},
		{"\"s\"", 0, {}, 0},
		{"1", 0, {}, 0},
		{"a", 0, {-1, -1, -1, -1, -1, -1, -1, -1, -1, 0}, 0},     // /tail
		{"zz", 0, {}, 0},
	};
	Cell b = load("a b c a \"S\" 1 a");
	Cell h = hashed("a b c a \"S\" 1 a");
	for (const Case& c : cases) {
		Cell key = value(c.key);
		std::vector<Cell> args_b{at(b, c.head), key}, args_h{at(h, c.head), key};
		if (c.extra) {
			args_b.push_back(num(c.extra));
			args_h.push_back(num(c.extra));
		}
		Cell rb = call(A_FIND, args_b, c.refs);
		Cell rh = call(A_FIND, args_h, c.refs);
		ASSERT_EQ(cell::type_of(&rb) == T_NONE, cell::type_of(&rh) == T_NONE) << c.key << " " << c.head;
		if (!cell::is(&rb, T_NONE)) {
			EXPECT_EQ(rb.data1, rh.data1) << c.key << " " << c.head;
		}
	}
	EXPECT_EQ(mold_of(call(A_SELECT, {h, value("c")})), "a");
}

TEST_F(BlockHash, BlocksAndObjectsAreFoundByScan) {
	Cell h = hashed("x [1 2] y");
	Cell key = value("[1 2]");  // equal to the stored block, a distinct node
	Cell r = call(A_FIND, {h, key}, {-1, 0});
	ASSERT_TRUE(cell::is(&r, T_HASH));
	EXPECT_EQ(r.data1, 1u);
}

TEST_F(BlockHash, AHashWithoutAnIndexActsAsABlock) {
	Cell h = load("a 1 b 2");
	cell::set_type(&h, T_HASH);  // as made before the hash! datatype gives it an index
	EXPECT_EQ(mold_of(call(A_SELECT, {h, value("b")})), "2");
	call(A_APPEND, {h, value("[c 3]")});
	call(A_REMOVE, {h});
	call(A_MOVE, {h, at(h, 3)});
	EXPECT_EQ(call(A_FIND, {h, value("c")}).data1, 2u);  // [b 2 c 1 3]
	Cell taken = call(A_TAKE, {h, num(2)}, {1});
	EXPECT_EQ(taken.data3, 0u);
	Cell* saved = stack::arguments;
	stack::arguments = stack::top;
	stack::push(&h);
	stack::push(&h);
	block::do_set_op(string::SET_UNION, false, nullptr);
	EXPECT_EQ(mold_of(*stack::arguments), "[c 1 3]");
	stack::top = stack::arguments;
	stack::arguments = saved;
}

}  // namespace
