// The series! actions, through the action dispatch's stack forms: positions
// clamp, pick/poke edges, remove, reverse, take, move, copy and clear.
#include "runtime/datatypes/series.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "tests/unit/block_support.h"

using namespace vyn;
using namespace vyn::test;

namespace {

using Refs = std::vector<int32_t>;


uint32_t code(errors::Id id) { return id.code(); }

class Series : public BlockTest {
protected:
	void SetUp() override {
		BlockTest::SetUp();
		actions::init();
	}
};

TEST_F(Series, PositionsClampToTheBuffer) {
	struct Case {
		const char* what;
		int32_t head;
		Slot slot;
		int32_t arg;  // for at and skip
		int32_t want;
	} cases[] = {
		{"at 1 stays", 1, A_AT, 1, 1},
		{"at 0 stays", 1, A_AT, 0, 1},
		{"at -1 is one back", 2, A_AT, -1, 1},
		{"at 2 is one forward", 1, A_AT, 2, 2},
		{"at from the tail stays at the tail", 4, A_AT, 5, 4},
		{"at far below clamps to the head", 2, A_AT, -2147483647 - 1, 0},
		{"at far above clamps to the tail", 2, A_AT, 2147483647, 4},
		{"skip 1 is one forward", 1, A_SKIP, 1, 2},
		{"skip -100 goes to the head", 3, A_SKIP, -100, 0},
		{"skip past the end stops at the tail", 3, A_SKIP, 7, 4},
		{"back at the head stays", 0, A_BACK, 0, 0},
		{"back", 3, A_BACK, 0, 2},
		{"next at the tail stays", 4, A_NEXT, 0, 4},
		{"next", 0, A_NEXT, 0, 1},
		{"head", 3, A_HEAD, 0, 0},
		{"tail", 1, A_TAIL, 0, 4},
		{"a head past the tail is pulled back before moving back", 9, A_BACK, 0, 3},
		{"a head past the tail is pulled back before skipping", 9, A_SKIP, -1, 3},
	};
	Cell b = load("a b c d");
	for (const Case& c : cases) {
		Cell r = call(c.slot, {at(b, c.head), num(c.arg)});
		EXPECT_EQ(r.data1, uint32_t(c.want)) << c.what;
		EXPECT_TRUE(cell::is(&r, T_BLOCK)) << c.what;
	}
}

TEST_F(Series, QueriesPullAShortenedHeadBack) {
	struct Case {
		int32_t head;
		bool head_q, tail_q;
		int32_t index, length;
	} cases[] = {
		{0, true, false, 1, 3},
		{1, false, false, 2, 2},
		{3, false, true, 4, 0},
		{7, false, true, 4, 0},  // the buffer was cut behind the value's back
	};
	Cell b = load("a b c");
	for (const Case& c : cases) {
		Cell v = at(b, c.head);
		EXPECT_EQ(call(A_HEAD_Q, {v}).data1, c.head_q ? 1u : 0u) << c.head;
		EXPECT_EQ(call(A_TAIL_Q, {v}).data1, c.tail_q ? 1u : 0u) << c.head;
		EXPECT_EQ(int32_t(call(A_INDEX_Q, {v}).data2), c.index) << c.head;
		EXPECT_EQ(int32_t(call(A_LENGTH_Q, {v}).data2), c.length) << c.head;
	}
	Cell past = at(b, 7);
	EXPECT_EQ(series::length(&past), 0u);
	EXPECT_EQ(past.data1, 3u) << "length moves the head back to the tail";
}

TEST_F(Series, AtRefusesANonInteger) {
	Cell b = load("a b");
	EXPECT_EQ(raised([&] { call(A_AT, {b, value("x")}); }), code(errors::id::script_invalid_arg));
	EXPECT_EQ(raised([&] { call(A_SKIP, {b, none_cell()}); }), code(errors::id::script_invalid_arg));
}

TEST_F(Series, PickCountsFromTheHeadAndSkipsZero) {
	struct Case {
		int32_t head;
		Cell index;
		const char* want;  // the molded answer
	} cases[] = {
		{1, num(0), "none"},
		{1, num(1), "b"},
		{1, num(2), "c"},
		{1, num(3), "none"},
		{1, num(-1), "a"},
		{1, num(-2), "none"},
		{3, num(-1), "c"},
		{3, num(1), "none"},
	};
	Cell b = load("a b c");
	for (const Case& c : cases) EXPECT_EQ(mold_of(call(A_PICK, {at(b, c.head), c.index})), c.want) << c.head;
	Cell t, f;
	cell::make_logic(&t, true);
	cell::make_logic(&f, false);
	EXPECT_EQ(mold_of(call(A_PICK, {b, t})), "a") << "true picks the first";
	EXPECT_EQ(mold_of(call(A_PICK, {b, f})), "b") << "false picks the second";
}

TEST_F(Series, PokeReplacesACellOrRaisesOutOfRange) {
	Cell b = load("a b c");
	Cell v = at(b, 1);
	EXPECT_EQ(mold_of(call(A_POKE, {v, num(-1), value("x")})), "x");
	EXPECT_EQ(call(A_POKE, {v, num(2), num(9)}).data2, 9u);
	EXPECT_EQ(cells_of(b), "x b 9");
	for (int32_t bad : {0, 3, -2})
		EXPECT_EQ(raised([&] { call(A_POKE, {v, num(bad), num(1)}); }), code(errors::id::script_out_of_range))
			<< bad;
	EXPECT_EQ(cells_of(b), "x b 9") << "a refused poke changes nothing";
}

TEST_F(Series, PokeIntoTextStoresCharsAndWidens) {
	Cell s;
	string::load_at(&s, "abc");
	Cell wide;
	cell::set(&wide, T_CHAR, 0, 0x3A9);
	call(A_POKE, {s, num(2), wide});
	EXPECT_EQ(string::width_of(&s), 2u);
	Cell picked = call(A_PICK, {s, num(2)});
	EXPECT_TRUE(cell::is(&picked, T_CHAR));
	EXPECT_EQ(picked.data2, 0x3A9u);
	EXPECT_EQ(call(A_PICK, {s, num(3)}).data2, uint32_t('c'));
	EXPECT_EQ(raised([&] { call(A_POKE, {s, num(1), num(65)}); }), code(errors::id::script_invalid_arg));
}

TEST_F(Series, BinaryUnitsAreBytes) {
	Cell bin;
	Node n = memory::alloc_bytes(4);
	std::memcpy(memory::series(n)->data(), "\x01\x02\x03", 3);
	memory::series(n)->tail = 3;
	cell::set(&bin, T_BINARY, 0, n, 0);
	Cell c;
	cell::set(&c, T_CHAR, 0, 'A');
	EXPECT_EQ(cell::get_integer(series::pick(&bin, 3, nullptr)), 3);
	series::poke(&bin, 1, nullptr, &c);
	Cell big = num(0x1FF);
	series::poke(&bin, 2, nullptr, &big);
	EXPECT_EQ(std::memcmp(memory::series(n)->data(), "A\xFF\x03", 3), 0) << "the low byte is stored";
	EXPECT_EQ(raised([&] { series::poke(&bin, 1, nullptr, &bin); }), code(errors::id::script_invalid_arg));
}

TEST_F(Series, RemoveWithPartAndKey) {
	struct Case {
		const char* block;
		int32_t head;
		const char* part;  // notation, or null
		const char* key;
		const char* left;
		const char* answer;  // "series" or the molded answer
	} cases[] = {
		{"a b c", 0, nullptr, nullptr, "b c", "series"},
		{"a b c d", 1, "2", nullptr, "a d", "series"},
		{"a b c", 0, "0", nullptr, "a b c", "series"},
		{"a b c", 0, "-1", nullptr, "a b c", "series"},
		{"a b c", 1, "10", nullptr, "a", "series"},
		{"a b c", 3, nullptr, nullptr, "a b c", "series"},
		{"a 1 b 2", 0, nullptr, "b", "a 1", "series"},
		{"a 1 b", 0, nullptr, "b", "a 1", "series"},
		{"a 1 b 2", 0, nullptr, "c", "a 1 b 2", "none"},
		{"x a 1 2 b", 0, "2", "a", "x b", "series"},
	};
	for (const Case& c : cases) {
		Cell b = load(c.block);
		std::vector<Cell> args{at(b, c.head)};
		Refs refs{-1, -1};
		if (c.part) {
			refs[0] = int32_t(args.size());
			args.push_back(value(c.part));
		}
		if (c.key) {
			refs[1] = int32_t(args.size());
			args.push_back(value(c.key));
		}
		Cell r = call(A_REMOVE, args, refs);
		EXPECT_EQ(cells_of(b), c.left) << c.block << " / " << c.head;
		if (std::string(c.answer) == "series") {
			EXPECT_TRUE(cell::is(&r, T_BLOCK)) << c.block;
			EXPECT_EQ(r.data1, uint32_t(c.head > 3 ? 3 : c.head)) << "the head is unchanged";
		} else {
			EXPECT_EQ(mold_of(r), c.answer) << c.block;
		}
	}
}

TEST_F(Series, RemovePartTakesAPositionOfTheSameSeriesOnly) {
	Cell b = load("a b c d");
	call(A_REMOVE, {b, at(b, 2)}, {1});
	EXPECT_EQ(cells_of(b), "c d");
	Cell other = load("x y");
	EXPECT_EQ(raised([&] { call(A_REMOVE, {b, at(other, 1)}, {1}); }), code(errors::id::script_invalid_refine_arg));
	EXPECT_EQ(cells_of(b), "c d");
}

TEST_F(Series, ReverseWithPartAndSkip) {
	struct Case {
		const char* block;
		int32_t head;
		const char* part;
		const char* skip;
		const char* want;  // the block afterwards, or null when it raises
		errors::Id error;
	} cases[] = {
		{"1 2 3 4", 0, nullptr, nullptr, "4 3 2 1", {}},
		{"1 2 3 4", 1, nullptr, nullptr, "1 4 3 2", {}},
		{"1 2 3 4", 0, "2", nullptr, "2 1 3 4", {}},
		{"1 2 3 4", 2, "10", nullptr, "1 2 4 3", {}},
		{"1 2 3 4", 0, "0", nullptr, "1 2 3 4", {}},
		{"1 2 3", 3, nullptr, nullptr, "1 2 3", {}},
		{"a 1 b 2", 0, nullptr, "2", "b 2 a 1", {}},
		{"a 1 b 2 c 3", 0, nullptr, "2", "c 3 b 2 a 1", {}},
		{"a 1 b 2 c 3", 0, "4", "2", "b 2 a 1 c 3", {}},
		{"a 1", 0, nullptr, "2", "a 1", {}},
		{"a 1 b", 0, nullptr, "2", nullptr, errors::id::script_invalid_refine_arg},
		{"a", 0, nullptr, "2", nullptr, errors::id::script_invalid_refine_arg},
		{"a 1 b 2", 0, nullptr, "0", nullptr, errors::id::script_out_of_range},
		{"a 1 b 2", 0, nullptr, "x", nullptr, errors::id::script_invalid_refine_arg},
	};
	for (const Case& c : cases) {
		Cell b = load(c.block);
		std::vector<Cell> args{at(b, c.head)};
		Refs refs{-1, -1};
		if (c.part) {
			refs[0] = int32_t(args.size());
			args.push_back(value(c.part));
		}
		if (c.skip) {
			refs[1] = int32_t(args.size());
			args.push_back(value(c.skip));
		}
		if (!c.want) {
			EXPECT_EQ(raised([&] { call(A_REVERSE, args, refs); }), c.error.code()) << c.block;
			EXPECT_EQ(cells_of(b), c.block) << "a refused reverse changes nothing";
			continue;
		}
		call(A_REVERSE, args, refs);
		EXPECT_EQ(cells_of(b), c.want) << c.block << " head " << c.head;
	}
}

TEST_F(Series, ReverseTextByUnits) {
	Cell s;
	string::load_at(&s, "ab\xE2\x82\xAC");
	call(A_REVERSE, {s});
	EXPECT_EQ(string::width_of(&s), 2u);
	Cell first = call(A_PICK, {s, num(1)});
	EXPECT_EQ(first.data2, 0x20ACu);
	EXPECT_EQ(call(A_PICK, {s, num(3)}).data2, uint32_t('a'));
}

TEST_F(Series, TakeFromHeadTailOrBeforeTheHead) {
	struct Case {
		const char* block;
		int32_t head;
		const char* part;  // null: no /part
		bool last;
		const char* answer;
		const char* left;
	} cases[] = {
		{"a b", 0, nullptr, false, "a", "b"},
		{"a b", 0, nullptr, true, "b", "a"},
		{"a b c", 0, "2", false, "[a b]", "c"},
		{"a b c", 0, "2", true, "[b c]", "a"},
		{"a b c", 1, "10", false, "[b c]", "a"},
		{"", 0, nullptr, false, "none", ""},
		{"a", 1, nullptr, false, "none", "a"},
		{"a b c d", 2, "-2", false, "[a b]", "c d"},
		{"a b c d", 1, "-5", false, "[a]", "b c d"},
		{"a b c", 1, "-1", true, "[]", "a b c"},
		{"a b c", 1, "0", false, "[]", "a b c"},
		{"[x] b", 0, nullptr, false, "[x]", "b"},
	};
	for (const Case& c : cases) {
		Cell b = load(c.block);
		std::vector<Cell> args{at(b, c.head)};
		Refs refs{-1, -1, c.last ? 0 : -1};
		if (c.part) {
			refs[0] = 1;
			args.push_back(value(c.part));
		}
		EXPECT_EQ(mold_of(call(A_TAKE, args, refs)), c.answer) << c.block << " " << (c.part ? c.part : "");
		EXPECT_EQ(cells_of(b), c.left) << c.block;
	}
}

TEST_F(Series, TakePartAsAPosition) {
	Cell b = load("a b c d");
	EXPECT_EQ(mold_of(call(A_TAKE, {b, at(b, 2)}, {1})), "[a b]");
	EXPECT_EQ(cells_of(b), "c d");
	Cell c = load("a b c d");
	EXPECT_EQ(mold_of(call(A_TAKE, {c, at(c, 1)}, {1, -1, 0})), "[b c d]") << "/last takes from the position";
	EXPECT_EQ(cells_of(c), "a");
	EXPECT_EQ(raised([&] { call(A_TAKE, {c, load("x")}, {1}); }), code(errors::id::script_invalid_refine_arg));
}

TEST_F(Series, TakeOfTextAnswersAString) {
	Cell s;
	string::load_at(&s, "abc");
	Cell r = call(A_TAKE, {s, num(2)}, {1});
	EXPECT_TRUE(cell::is(&r, T_STRING));
	EXPECT_EQ(text_of_string(&r), "ab");
	EXPECT_EQ(text_of_string(&s), "c");
}

TEST_F(Series, MoveWithinAndBetweenSeries) {
	struct Case {
		const char* block;
		int32_t origin, target;
		int32_t part;  // 0: no /part
		const char* want;
	} cases[] = {
		{"1 2 3 4 5", 0, 2, 1, "2 3 1 4 5"},
		{"1 2 3 4 5", 0, 5, 0, "2 3 4 5 1"},
		{"1 2 3 4 5", 3, 0, 0, "4 1 2 3 5"},
		{"1 2 3 4 5", 3, 1, 2, "1 4 5 2 3"},
		{"1 2 3 4 5", 0, 4, 2, "3 4 5 1 2"},
		{"1 2 3 4 5", 1, 1, 2, "1 2 3 4 5"},
		{"1 2 3 4 5", 0, 2, -1, "1 2 3 4 5"},
		{"1 2 3", 3, 0, 0, "1 2 3"},
	};
	for (const Case& c : cases) {
		Cell b = load(c.block);
		std::vector<Cell> args{at(b, c.origin), at(b, c.target)};
		Refs refs{-1};
		if (c.part) {
			refs[0] = 2;
			args.push_back(num(c.part));
		}
		call(A_MOVE, args, refs);
		EXPECT_EQ(cells_of(b), c.want) << c.block << " " << c.origin << "->" << c.target;
	}
}

TEST_F(Series, MoveRefusesARangeIntoItselfAndForeignTargets) {
	Cell b = load("1 2 3 4");
	EXPECT_EQ(raised([&] { call(A_MOVE, {b, at(b, 1), num(3)}, {2}); }), code(errors::id::script_invalid_arg));
	EXPECT_EQ(cells_of(b), "1 2 3 4");
	EXPECT_EQ(raised([&] { call(A_MOVE, {b, num(1)}); }), code(errors::id::script_expect_arg));
	Cell s;
	string::load_at(&s, "xy");
	EXPECT_EQ(raised([&] { call(A_MOVE, {b, s}); }), code(errors::id::script_move_bad));
	EXPECT_EQ(raised([&] { call(A_MOVE, {s, b}); }), code(errors::id::script_move_bad));
	EXPECT_EQ(cells_of(b), "1 2 3 4");
}

TEST_F(Series, MoveBetweenBuffers) {
	Cell from = load("a b c");
	Cell to = load("x y");
	Cell r = call(A_MOVE, {from, at(to, 1), num(2)}, {2});
	EXPECT_EQ(cells_of(from), "c");
	EXPECT_EQ(cells_of(to), "x a b y");
	EXPECT_EQ(r.data1, 1u) << "the target is the result";

	Cell wide, narrow;
	string::load_at(&wide, "\xE2\x82\xAC!");
	string::load_at(&narrow, "ab");
	call(A_MOVE, {wide, narrow});
	EXPECT_EQ(string::width_of(&narrow), 2u) << "the target widens to hold the moved text";
	EXPECT_EQ(call(A_PICK, {narrow, num(1)}).data2, 0x20ACu);
	EXPECT_EQ(text_of_string(&wide), "!");
	call(A_MOVE, {narrow, wide, num(2)}, {2});
	EXPECT_EQ(string::vs_length(&wide), 3u);
	EXPECT_EQ(call(A_PICK, {wide, num(2)}).data2, uint32_t('a'));
}

TEST_F(Series, CopyPartRanges) {
	Cell b = load("a b c d");
	Cell pair;
	cell::set(&pair, T_PAIR, 0, 2, 3);
	struct Range {
		int32_t head;
		Cell part;
		const char* want;
	} ranges[] = {
		{0, num(2), "a b"},
		{2, num(-1), "b"},
		{1, num(-5), "a"},
		{1, num(100), "b c d"},
		{0, num(0), ""},
		{0, pair, "b"},
		{1, at(b, 3), "b c"},
		{3, at(b, 1), "b c"},
	};
	for (const Range& r : ranges) {
		Cell out = call(A_COPY, {at(b, r.head), r.part}, {1});
		EXPECT_EQ(out.data1, 0u);
		EXPECT_NE(out.data2, b.data2);
		EXPECT_EQ(cells_of(out), r.want) << r.head;
	}
	EXPECT_EQ(raised([&] { call(A_COPY, {b, load("x")}, {1}); }), code(errors::id::script_invalid_refine_arg));
}

TEST_F(Series, RandomShufflesPicksAndSeeds) {
	Cell b;
	block::make_at(&b, 50);
	for (int32_t i = 0; i < 50; i++) {
		Cell n = num(i);
		block::append_value(&b, &n);
	}
	auto numbers = [](const Cell& block) {
		std::vector<int32_t> v;
		Cell x = block;
		for (Cell* c = block::vs_head(&x); c < block::vs_tail(&x); c++) v.push_back(cell::get_integer(c));
		return v;
	};
	Cell seed_with = load("7 seeds");
	Cell seeded = call(A_RANDOM, {seed_with}, {0});
	EXPECT_TRUE(cell::is(&seeded, T_UNSET));
	call(A_RANDOM, {at(b, 10)});
	std::vector<int32_t> once = numbers(b);
	for (int32_t i = 0; i < 10; i++) EXPECT_EQ(once[size_t(i)], i) << "cells before the head stay";
	std::vector<int32_t> sorted = once;
	std::sort(sorted.begin(), sorted.end());
	for (int32_t i = 0; i < 50; i++) EXPECT_EQ(sorted[size_t(i)], i) << "a permutation";
	EXPECT_NE(once, sorted);

	// The same seed replays the same shuffle.
	Cell again;
	block::make_at(&again, 50);
	for (int32_t i = 0; i < 50; i++) {
		Cell n = num(i);
		block::append_value(&again, &n);
	}
	call(A_RANDOM, {seed_with}, {0});
	call(A_RANDOM, {at(again, 10)});
	EXPECT_EQ(numbers(again), once);

	for (int i = 0; i < 20; i++) {
		Cell one = call(A_RANDOM, {at(b, 45)}, {-1, -1, 0});
		ASSERT_TRUE(cell::is(&one, T_INTEGER));
		int32_t v = cell::get_integer(&one);
		EXPECT_TRUE(v == once[45] || v == once[46] || v == once[47] || v == once[48] || v == once[49]);
	}
	Cell nothing = call(A_RANDOM, {load("")}, {-1, -1, 0});
	EXPECT_TRUE(cell::is(&nothing, T_NONE));
	Cell empty;
	string::load_at(&empty, "");
	Cell none = call(A_RANDOM, {empty}, {-1, -1, 0});
	EXPECT_TRUE(cell::is(&none, T_NONE)) << "random/only of an empty string";
	Cell secure = call(A_RANDOM, {b}, {-1, 0});
	EXPECT_TRUE(cell::is(&secure, T_BLOCK));
}

// The arguments of the last error raised, molded.
std::vector<std::string> error_args;

void capture_args(errors::Id id, const Cell* a1, const Cell* a2, const Cell* a3, Cell* out) {
	error_args.clear();
	for (const Cell* a : {a1, a2, a3})
		if (a) error_args.push_back(mold_of(*a));
	cell::set(out, T_ERROR, 0, id.code());
}

TEST_F(Series, ErrorsNameTheirArguments) {
	errors::MakeHook saved = errors::make_hook;
	Cell b = load("a b c");
	Cell other = load("x");
	Cell text;
	string::load_at(&text, "t");
	struct Case {
		const char* what;
		std::function<void()> run;
		std::vector<std::string> args;
	} cases[] = {
		{"remove/part of another block", [&] { call(A_REMOVE, {b, other}, {1}); }, {"/part", "[x]"}},
		{"reverse/skip of a word", [&] { call(A_REVERSE, {b, value("w")}, {-1, 1}); }, {"/skip", "w"}},
		{"move to an integer", [&] { call(A_MOVE, {b, num(3)}); }, {"move", "integer!", "target"}},
		{"move a block into text", [&] { call(A_MOVE, {b, text}); }, {"block!", "string!"}},
		{"poke at 0", [&] { call(A_POKE, {b, num(0), num(1)}); }, {"0"}},
		{"make from a word", [&] { call(A_MAKE, {type_value(T_PAREN), value("w")}); }, {"paren!", "w"}},
		{"path set of a missing key", [&] {
			Cell key = value("zz"), v = num(1);
			block::eval_path(&b, &key, &v, nullptr, nullptr, nullptr, 1, false, false, true, false);
		}, {"none", "zz"}},
	};
	for (const Case& c : cases) {
		error_args.clear();
		stack::Frame* frames = stack::frame_top();
		Cell* top = stack::top;
		stack::mark_try(nullptr);
		errors::make_hook = capture_args;
		EXPECT_THROW(c.run(), Throw) << c.what;
		errors::make_hook = saved;
		stack::set_frame_top(frames);
		stack::top = top;
		EXPECT_EQ(error_args, c.args) << c.what;
	}
}

TEST_F(Series, ClearCutsAtTheHead) {
	Cell b = load("a b c");
	call(A_CLEAR, {at(b, 1)});
	EXPECT_EQ(cells_of(b), "a");
	call(A_CLEAR, {at(b, 5)});
	EXPECT_EQ(cells_of(b), "a");
}

}  // namespace
