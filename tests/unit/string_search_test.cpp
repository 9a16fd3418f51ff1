#include <gtest/gtest.h>

#include <algorithm>

#include "tests/unit/string_support.h"

using namespace vyn;
using namespace vyn::test;

namespace {

class StringSearch : public StringTest {
protected:
	struct Refinements {
		int32_t part = 0;  // 0: no /part
		int32_t skip = 0;  // 0: no /skip
		bool case_ = false, last = false, reverse = false, tail = false, match = false;
	};
	// find's answer as a 1-based index, 0 for none.
	static uint32_t find_index(Cell series, Cell value, Refinements r) {
		Cell part = int_value(r.part), skip = int_value(r.skip);
		Cell* answer = string::find(&series, &value, r.part ? &part : nullptr, false, r.case_, false, false, nullptr,
			r.skip ? &skip : nullptr, r.last, r.reverse, r.tail, r.match);
		return cell::is(answer, T_NONE) ? 0 : answer->data1 + 1;
	}
};

TEST_F(StringSearch, FindRefinements) {
	using R = Refinements;
	struct Case {
		const char* series;
		uint32_t index;
		Cell value;
		R r;
		uint32_t found;
	} cases[] = {
		{"abcabc", 1, str("bc"), R{}, 2},
		{"abcabc", 1, str("bc"), R{.last = true}, 5},
		{"abcabc", 1, str("bc"), R{.tail = true}, 4},
		{"abcabc", 1, str("bc"), R{.match = true}, 0},
		{"abc", 1, str("ab"), R{.match = true}, 1},
		{"abc", 1, str("ab"), R{.tail = true, .match = true}, 3},
		{"ABC", 1, str("b"), R{}, 2},
		{"ABC", 1, str("b"), R{.case_ = true}, 0},
		{"ABC", 1, chr('b'), R{}, 2},
		{"ABC", 1, chr('b'), R{.case_ = true}, 0},
		{"ABC", 1, chr('b'), R{.tail = true}, 3},
		{"abcabc", 4, str("bc"), R{}, 5},
		{"abcabc", 4, str("a"), R{.reverse = true}, 1},
		{"abcabc", 6, str("bc"), R{.reverse = true}, 2},
		{"abcabc", 7, str("c"), R{.reverse = true}, 6},
		{"abcabc", 1, str("c"), R{.reverse = true}, 0},
		{"abcabc", 7, str("bc"), R{.reverse = true, .match = true}, 0},
		{"abcabc", 7, str("a"), R{}, 0},  // at the tail
		{"abcabc", 1, str("c"), R{.part = 2}, 0},
		{"abcabc", 1, str("c"), R{.part = 3}, 3},
		{"abcabc", 1, str("bc"), R{.part = 2}, 0},  // a match may not run past the range
		{"abcabc", 1, str("a"), R{.part = 0}, 1},
		{"abcabc", 1, str("a"), R{.part = -1}, 0},
		{"abcabc", 7, str("a"), R{.part = 2, .reverse = true}, 0},
		{"abcabc", 7, str("c"), R{.part = 2, .reverse = true}, 6},
		{"abcabc", 1, str("bc"), R{.part = 4, .last = true}, 2},
		{"a-b-c", 1, chr('-'), R{.skip = 2}, 0},
		{"a-b-c", 2, chr('-'), R{.skip = 2}, 2},
		{"abcdef", 1, str("cd"), R{.skip = 2}, 3},
		{"abcdef", 1, str("de"), R{.skip = 2}, 0},
		{"abc", 1, str(""), R{}, 0},
		{"x<b>y", 1, str("b", T_TAG), R{}, 2},  // a tag is looked for with its brackets
		{"mail a@b.c", 1, str("A@B", T_EMAIL), R{}, 6},
		{"\xC3\xA9t\xC3\xA9", 1, str("\xC3\x89T"), R{}, 1},
		{"\xC3\xA9t\xC3\xA9", 1, str("\xC3\x89T"), R{.case_ = true}, 0},
		{"say hello", 1, word_of("Hello"), R{}, 5},  // a word is looked for by its name
		{"say hello", 1, word_of("Hello"), R{.case_ = true}, 0},
		{"a 12 b", 1, int_value(12), R{}, 3},  // other values are formed first
	};
	for (const Case& c : cases) {
		Cell s = at(str(c.series), c.index);
		EXPECT_EQ(find_index(s, c.value, c.r), c.found) << c.series << " @" << c.index << " " << utf8(c.value);
	}
}

TEST_F(StringSearch, FindAcrossWidthsAndLongTexts) {
	// Short and long texts take different paths (pairs of units, vectors of
	// 16 bytes); matches sit anywhere, up to the last possible position.
	for (uint32_t size : {50u, 20000u}) {
		for (uint32_t tail : {0u, 3u, 17u}) {
			std::u32string pad(size, U'x');
			for (uint32_t w : {1u, 2u, 4u}) {
				std::u32string found = w == 4 ? U"n\u4E2De\U0001F600dle" : w == 2 ? U"n\u4E2Dedle" : U"needl\u00e9";
				std::u32string folded = w == 4 ? U"N\u4E2DE\U0001F600DLE" : w == 2 ? U"N\u4E2DEDLE" : U"NEEDL\u00c9";
				Cell hs = wide(pad + found + std::u32string(tail, U'y'), w);
				Cell ns = wide(folded, w == 1 ? 2 : w);
				Cell exact = wide(found, w);
				uint32_t expect = size + 1;
				EXPECT_EQ(find_index(hs, ns, {}), expect) << "width " << w << " size " << size << " tail " << tail;
				EXPECT_EQ(find_index(hs, ns, {.case_ = true}), 0u) << "width " << w;
				EXPECT_EQ(find_index(hs, exact, {.case_ = true}), expect) << "width " << w;
				EXPECT_EQ(find_index(hs, exact, {.last = true}), expect) << "width " << w;
			}
		}
	}
	// U+00DF folds to "S": a folded search for "SS" finds it beside "s" and "S".
	Cell strasse = str(std::string(40, '.') + "stra\xC3\x9F" "e");
	EXPECT_EQ(find_index(strasse, str("RASSE"), {}), 0u) << "one codepoint folds to one";
	EXPECT_EQ(find_index(strasse, str("RASE"), {}), 0u) << "ß has no one-codepoint upper case";
	EXPECT_EQ(find_index(strasse, str("RA\xC3\x9F" "E"), {}), 43u);
	EXPECT_EQ(find_index(strasse, str("\xC3\x9F" "E"), {}), 45u);
	// A needle unit that no Latin-1 unit folds to cannot match.
	EXPECT_EQ(find_index(str(std::string(40, 'a')), wide(U"a\u4E2D", 2), {}), 0u);
	// The skip table keys on the low byte: U+0178 and "x" (0x78) share a bucket.
	Cell hs = wide(U"xxxx\u0178x\u0178", 2);
	Cell ns = wide(U"x\u0178", 2);
	EXPECT_EQ(find_index(hs, ns, {.case_ = true}), 4u);
	// Folding reaches beyond Latin-1: U+00FF folds to U+0178.
	Cell latin = str("ab\xC3\xBF");
	Cell upper = wide(U"B\u0178", 2);
	EXPECT_EQ(find_index(latin, upper, {}), 2u);
}

TEST_F(StringSearch, FindWithABitset) {
	Node n = memory::alloc_bytes(8);
	Series* s = memory::series(n);
	std::memset(s->data(), 0, 8);
	s->data()[',' >> 3] |= uint8_t(0x80 >> (',' & 7));
	s->tail = 8;
	Cell bits;
	cell::set(&bits, T_BITSET, 0, n, 0);
	EXPECT_EQ(find_index(str("a b, c, d"), bits, {}), 4u);
	EXPECT_EQ(find_index(str("a b, c, d"), bits, {.last = true}), 7u);
	EXPECT_EQ(find_index(str("abc"), bits, {}), 0u);
}

TEST_F(StringSearch, FindErrors) {
	struct Case {
		Cell part, skip;
		bool any;
		uint32_t error;
	} cases[] = {
		{int_value(0x7FFF), int_value(0), false, code(errors::id::script_out_of_range)},
		{int_value(0x7FFF), int_value(-1), false, code(errors::id::script_out_of_range)},
		{str("abc"), int_value(1), false, code(errors::id::script_invalid_refine_arg)},
		{int_value(0x7FFF), int_value(1), true, code(errors::id::internal_not_done)},
	};
	for (Case& c : cases) {
		Cell s = str("abc"), v = str("b");
		EXPECT_EQ(raised([&] {
			string::find(&s, &v, &c.part, false, false, false, c.any, nullptr, &c.skip, false, false, false, false);
		}),
			c.error);
	}
	Cell s = str("abc");
	Node n = memory::alloc_bytes(1);
	Cell bin;
	cell::set(&bin, T_BINARY, 0, n, 0);
	EXPECT_EQ(raised([&] { string::find(&s, &bin, nullptr, false, false, false, false, nullptr, nullptr, false, false,
							   false, false); }),
		code(errors::id::script_invalid_arg));
}

TEST_F(StringSearch, FindWithAPositionAsPart) {
	Cell s = str("abcabc");
	Cell end = at(s, 4);
	Cell v = str("c");
	Cell* r = string::find(&s, &v, &end, false, false, false, false, nullptr, nullptr, true, false, false, false);
	ASSERT_FALSE(cell::is(r, T_NONE));
	EXPECT_EQ(r->data1, 2u) << "/last stays within the part";
}

TEST_F(StringSearch, Select) {
	struct Case {
		const char* series;
		Cell value;
		bool last;
		uint32_t result;  // 0 for none
	} cases[] = {
		{"abc", chr('b'), false, 'c'},
		{"abc", chr('c'), false, 0},
		{"abcab", str("ab"), false, 'c'},
		{"abcabd", str("ab"), true, 'd'},
		{"abc", str("z"), false, 0},
	};
	for (Case& c : cases) {
		Cell s = str(c.series);
		Cell* r = string::select(&s, &c.value, nullptr, false, false, false, false, nullptr, nullptr, c.last, false);
		if (c.result == 0) {
			EXPECT_TRUE(cell::is(r, T_NONE)) << c.series;
			continue;
		}
		ASSERT_TRUE(cell::is(r, T_CHAR)) << c.series;
		EXPECT_EQ(r->data2, c.result);
	}
}

TEST_F(StringSearch, SetOperations) {
	struct Case {
		int32_t op;
		const char* a;
		const char* b;
		bool case_;
		int32_t skip;
		const char* result;
	} cases[] = {
		{string::SET_UNIQUE, "aAbB", "", false, 0, "ab"},
		{string::SET_UNIQUE, "aAbB", "", true, 0, "aAbB"},
		{string::SET_UNION, "ab", "bc", false, 0, "abc"},
		{string::SET_INTERSECT, "abc", "cd", false, 0, "c"},
		{string::SET_INTERSECT, "abc", "CD", false, 0, "c"},
		{string::SET_INTERSECT, "abc", "CD", true, 0, ""},
		{string::SET_EXCLUDE, "abc", "b", false, 0, "ac"},
		{string::SET_DIFFERENCE, "ab", "bc", false, 0, "ac"},
		{string::SET_UNIQUE, "a1a2b3", "", false, 2, "a1b3"},
		{string::SET_UNION, "a1b2", "b3c4", false, 2, "a1b2c4"},
		{string::SET_EXCLUDE, "a1b2c", "b", false, 2, "a1c"},
		{string::SET_UNIQUE, "\xF0\x9F\x98\x80x\xF0\x9F\x98\x80", "", false, 0, "\xF0\x9F\x98\x80x"},
		{string::SET_INTERSECT, "", "ab", false, 0, ""},
		{string::SET_UNION, "", "abA", false, 0, "ab"},
	};
	for (const Case& c : cases) {
		stack::reset_all();
		Cell* frame = stack::arguments;
		*stack::alloc_slot() = str(c.a);
		*stack::alloc_slot() = str(c.b);
		Cell skip = int_value(c.skip);
		string::do_set_op(c.op, c.case_, c.skip ? &skip : nullptr);
		EXPECT_EQ(cell::type_of(frame), T_STRING);
		EXPECT_EQ(utf8(*frame), c.result) << c.a << " op " << c.op << " " << c.b;
	}
	stack::reset_all();
	*stack::alloc_slot() = str("ab");
	*stack::alloc_slot() = str("b");
	Cell zero = int_value(0);
	EXPECT_EQ(raised([&] { string::do_set_op(string::SET_UNION, false, &zero); }),
		code(errors::id::script_invalid_refine_arg));
}

TEST_F(StringSearch, SetOperationsKeepTheFirstType) {
	stack::reset_all();
	*stack::alloc_slot() = str("a/b/a", T_FILE);
	*stack::alloc_slot() = str("", T_FILE);
	string::do_set_op(string::SET_UNIQUE, false, nullptr);
	EXPECT_EQ(cell::type_of(stack::arguments), T_FILE);
	EXPECT_EQ(utf8(*stack::arguments), "a/b");
}

}  // namespace

namespace {

class StringSort : public StringTest {
protected:
	struct Refinements {
		bool case_ = false;
		int32_t skip = 0;
		int32_t compare = 0;
		int32_t part = 0x7FFF;
		bool all = false, reverse = false, stable = false;
	};
	static Cell sorted(Cell series, Refinements r) {
		Cell skip = int_value(r.skip), compare = int_value(r.compare), part = int_value(r.part);
		return *string::sort(&series, r.case_, r.skip ? &skip : nullptr, r.compare ? &compare : nullptr,
			r.part == 0x7FFF ? nullptr : &part, r.all, r.reverse, r.stable);
	}
};

TEST_F(StringSort, Refinements) {
	using R = Refinements;
	struct Case {
		std::u32string text;
		uint32_t width, index;
		R r;
		std::u32string result;  // the whole buffer
		uint32_t answer;        // 1-based head of the answer
	} cases[] = {
		{U"bCa", 1, 1, R{}, U"abC", 1},
		{U"bCa", 1, 1, R{.case_ = true}, U"Cab", 1},
		{U"bCa", 1, 1, R{.reverse = true}, U"Cba", 1},
		{U"\u00e9\u00c9a", 1, 1, R{}, U"a\u00c9\u00e9", 1},  // width 1 folds ASCII letters only
		{U"\u00e9\u00c9a", 2, 1, R{.stable = true}, U"a\u00e9\u00c9", 1},  // width 2 folds both
		{U"b2a1c0", 1, 1, R{.skip = 2}, U"a1b2c0", 1},
		{U"b2a1c0", 1, 1, R{.skip = 2, .compare = 2}, U"c0a1b2", 1},
		{U"a2a1", 1, 1, R{.skip = 2, .all = true}, U"a1a2", 1},
		{U"a2a1", 1, 1, R{.skip = 2, .stable = true}, U"a2a1", 1},
		{U"dcba", 1, 2, R{.part = 2}, U"dbca", 2},
		{U"dcba", 1, 3, R{.part = -2}, U"cdba", 1},
		{U"dcba", 1, 2, R{.part = -5}, U"dcba", 1},  // one unit before the head
		{U"\U0001F600ab\u4E2D", 4, 1, R{}, U"ab\u4E2D\U0001F600", 1},
		{U"BbAa", 1, 1, R{.stable = true}, U"AaBb", 1},
	};
	for (const Case& c : cases) {
		Cell s = at(wide(c.text, c.width), c.index);
		Cell r = sorted(s, c.r);
		EXPECT_EQ(text_of(s.data2), c.result);
		EXPECT_EQ(r.data1 + 1, c.answer);
	}
}

TEST_F(StringSort, Errors) {
	using R = Refinements;
	struct Case {
		const char* text;
		R r;
		uint32_t error;
	} cases[] = {
		{"ab", R{.skip = 3}, code(errors::id::script_invalid_refine_arg)},
		{"abc", R{.skip = 2}, code(errors::id::script_invalid_refine_arg)},
		{"abc", R{.skip = -1}, code(errors::id::script_invalid_refine_arg)},
		{"ab", R{.all = true}, code(errors::id::script_bad_refines)},
		{"ab", R{.compare = 1}, code(errors::id::script_bad_refines)},
		{"abcd", R{.skip = 2, .compare = 1, .all = true}, code(errors::id::script_bad_refines)},
		{"abcd", R{.skip = 2, .compare = 3}, code(errors::id::script_out_of_range)},
	};
	for (const Case& c : cases) {
		Cell s = str(c.text);
		EXPECT_EQ(raised([&] { sorted(s, c.r); }), c.error) << c.text;
		EXPECT_EQ(utf8(s), c.text) << "unchanged";
	}
	Cell s = str("ba"), cmp = str("x");
	EXPECT_EQ(raised([&] { string::sort(&s, false, nullptr, &cmp, nullptr, false, false, false); }),
		code(errors::id::script_invalid_refine_arg));
}

}  // namespace

namespace {

// Comparator functions stand for Vyn functions: word 1 says what they do.
enum Comparator : uint32_t { LESSER = 1, DIFFERENCE, RECORDS_LESSER, RAISES, BREAKS };

int calls = 0;

void fake_call(const Cell* function, const Cell* first, const Cell* second, Cell* out) {
	calls++;
	switch (function->data1) {
	case LESSER: cell::make_logic(out, first->data2 < second->data2); return;
	case DIFFERENCE: cell::make_integer(out, int32_t(first->data2) - int32_t(second->data2)); return;
	case RECORDS_LESSER: {
		EXPECT_TRUE(string::any_string(first) && string::any_string(second));
		Cell a = *first, b = *second;
		EXPECT_EQ(string::vs_length(&a), 2u) << "a record, not the rest of the text";
		cell::make_logic(out, string::compare_strings(&a, &b, COMP_CASE_SORT, false) < 0);
		return;
	}
	case RAISES:
		if (calls > 5) errors::fire(errors::id::script_invalid_compare, first, second);
		cell::make_logic(out, first->data2 < second->data2);
		return;
	case BREAKS:
		if (calls > 5) errors::pending = THROW_BREAK;
		cell::make_logic(out, first->data2 < second->data2);
		return;
	}
}

class StringSortByFunction : public StringTest {
protected:
	void SetUp() override {
		StringTest::SetUp();
		block::call_comparator = fake_call;
		calls = 0;
	}
	void TearDown() override {
		block::call_comparator = nullptr;
		errors::pending = THROW_NONE;
		StringTest::TearDown();
	}
	static Cell function(Comparator c) {
		Cell f;
		cell::set(&f, T_FUNCTION, c);
		return f;
	}
};

TEST_F(StringSortByFunction, OrdersAsBlocksDo) {
	struct Case {
		Comparator comparator;
		int32_t skip;
		bool all, reverse, stable;
		const char* text;
		const char* result;
	} cases[] = {
		{LESSER, 0, false, false, false, "dbca", "abcd"},
		{LESSER, 0, false, true, false, "dbca", "dcba"},
		// An integer answer counts as for blocks: positive orders the first argument's record after.
		{DIFFERENCE, 0, false, false, true, "dbca", "dcba"},
		{LESSER, 2, false, false, true, "b1a2a1", "a2a1b1"},  // stable on the first units
		{RECORDS_LESSER, 2, true, false, true, "b1a2a1", "a1a2b1"},
	};
	for (const Case& c : cases) {
		Cell s = str(c.text), f = function(c.comparator), skip = int_value(c.skip);
		string::sort(&s, false, c.skip ? &skip : nullptr, &f, nullptr, c.all, c.reverse, c.stable);
		EXPECT_EQ(utf8(s), c.result) << c.text << " comparator " << c.comparator;
	}
}

TEST_F(StringSortByFunction, AFailingComparatorLosesNoUnit) {
	std::string text = "qwertyuiopasdfghjklzxcvbnm";
	for (bool stable : {false, true}) {
		calls = 0;
		Cell s = str(text), f = function(RAISES);
		EXPECT_EQ(raised([&] { string::sort(&s, false, nullptr, &f, nullptr, false, false, stable); }),
			code(errors::id::script_invalid_compare));
		std::string after = utf8(s);
		std::sort(after.begin(), after.end());
		std::string expect = text;
		std::sort(expect.begin(), expect.end());
		EXPECT_EQ(after, expect);
		calls = 0;
		Cell t = str(text), g = function(BREAKS);
		string::sort(&t, false, nullptr, &g, nullptr, false, false, stable);
		EXPECT_EQ(errors::pending, THROW_BREAK);
		errors::pending = THROW_NONE;
		after = utf8(t);
		std::sort(after.begin(), after.end());
		EXPECT_EQ(after, expect);
	}
}

}  // namespace

#include "runtime/datatypes/float.h"
#include "runtime/datatypes/vector.h"

namespace {

// vector! reuses find, select, sort and take: elements compare by value.
class VectorSearch : public StringTest {
protected:
	void SetUp() override {
		StringTest::SetUp();
		float_::init_type();
		vector::init_type();
	}
	static Cell vec(Type element, uint32_t width, std::initializer_list<double> values) {
		Cell v;
		vector::make_at(&v, uint32_t(values.size()), element, width);
		for (double d : values) {
			Cell c;
			if (element == T_FLOAT)
				cell::make_float(&c, d);
			else
				cell::set(&c, element, 0, uint32_t(int32_t(d)));
			vector::append_value(&v, &c);
		}
		return v;
	}
	static std::vector<double> numbers(Cell v) {
		std::vector<double> out;
		uint32_t n = vector::vs_length(&v);
		for (uint32_t i = 1; i <= n; i++) {
			Cell index = int_value(int32_t(i));
			Cell* e = actions::pick(&v, &index);
			out.push_back(cell::is(e, T_FLOAT) ? cell::get_double(e) : double(int32_t(e->data2)));
		}
		return out;
	}
};

TEST_F(VectorSearch, FindSelectSortAndTakeByValue) {
	Cell f;
	cell::make_float(&f, 2.5);
	struct Case {
		Cell vector;
		Cell value;
		uint32_t found;
	} cases[] = {
		{vec(T_INTEGER, 1, {3, -1, 7}), int_value(-1), 2},
		{vec(T_INTEGER, 2, {3, -300, 7}), int_value(-300), 2},
		{vec(T_INTEGER, 4, {3, -1, 7}), int_value(7), 3},
		{vec(T_INTEGER, 1, {3, -1, 7}), int_value(255), 0},
		{vec(T_FLOAT, 8, {1, 2.5, 3}), f, 2},
		{vec(T_FLOAT, 4, {1, 2.5, 3}), f, 2},
		{vec(T_FLOAT, 8, {1, 2, 3}), int_value(3), 3},
		{vec(T_CHAR, 1, {'a', 0xE9}), chr(0xE9), 2},
	};
	for (Case& c : cases) {
		Cell s = c.vector;
		Cell* r = string::find(&s, &c.value, nullptr, false, false, false, false, nullptr, nullptr, false, false, false,
			false);
		EXPECT_EQ(cell::is(r, T_NONE) ? 0u : r->data1 + 1, c.found);
	}
	Cell v = vec(T_INTEGER, 1, {5, -2, 9}), key = int_value(-2);
	Cell* after = string::select(&v, &key, nullptr, false, false, false, false, nullptr, nullptr, false, false);
	EXPECT_TRUE(cell::is(after, T_INTEGER));
	EXPECT_EQ(cell::get_integer(after), 9);
	struct Sort {
		Cell vector;
		std::vector<double> sorted;
	} sorts[] = {
		{vec(T_INTEGER, 1, {3, -1, 7, -128}), {-128, -1, 3, 7}},
		{vec(T_INTEGER, 2, {300, -300, 0}), {-300, 0, 300}},
		{vec(T_INTEGER, 4, {1, -70000, 70000}), {-70000, 1, 70000}},
		{vec(T_FLOAT, 8, {0.5, -1.25, 0.25}), {-1.25, 0.25, 0.5}},
		{vec(T_FLOAT, 4, {0.5, -1.25, 0.25}), {-1.25, 0.25, 0.5}},
	};
	for (Sort& c : sorts) {
		string::sort(&c.vector, false, nullptr, nullptr, nullptr, false, false, false);
		EXPECT_EQ(numbers(c.vector), c.sorted);
	}
	Cell t = vec(T_INTEGER, 2, {-5, 6});
	Cell* taken = string::take(&t, nullptr, false, false);
	EXPECT_TRUE(cell::is(taken, T_INTEGER));
	EXPECT_EQ(cell::get_integer(taken), -5);
}

}  // namespace
