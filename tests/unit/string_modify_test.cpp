#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "tests/unit/string_support.h"

using namespace vyn;
using namespace vyn::test;

namespace {

class StringModify : public StringTest {
protected:
	// The whole text of the series' buffer and the answer's head (1-based).
	struct Outcome {
		std::string text;
		uint32_t index;
	};
	static Outcome outcome(Cell series, const Cell* answer) {
		Cell whole = series;
		whole.data1 = 0;
		return {utf8(whole), answer->data1 + 1};
	}
};

TEST_F(StringModify, AppendInsertAndChange) {
	enum Op { APPEND, INSERT, CHANGE };
	struct Case {
		Op op;
		const char* series;
		uint32_t index;
		Cell value;
		int32_t part, dup;
		const char* text;
		uint32_t answer;
	} cases[] = {
		{APPEND, "a", 1, str("bc"), -1, 1, "abc", 1},
		{APPEND, "abc", 3, str("de"), -1, 1, "abcde", 1},  // the answer is at the head
		{APPEND, "x", 1, str("ab"), -1, 3, "xababab", 1},
		{APPEND, "x", 1, str("abcd"), 2, 2, "xabab", 1},
		{APPEND, "x", 1, str("a href", T_TAG), -1, 1, "x<a href>", 1},
		{APPEND, "x", 1, str("abc", T_TAG), 3, 1, "x<ab", 1},  // the brackets count in the part
		{APPEND, "x", 1, str("%20", T_URL), -1, 1, "x%20", 1},
		{APPEND, "a", 1, chr(0x4E2D), -1, 2, "a\u4E2D\u4E2D", 1},
		{APPEND, "a", 1, at(str("xyz"), 2), -1, 1, "ayz", 1},  // from the value's head
		{APPEND, "a", 1, at(str("xyz"), 4), -1, 1, "a", 1},
		{APPEND, "a", 1, wide(U"b\u4E2D", 2), -1, 1, "ab\u4E2D", 1},  // widens the series
		{APPEND, "\u4E2D", 1, str("ab"), -1, 1, "\u4E2Dab", 1},  // narrow into wide
		{APPEND, "a", 1, str("0123456789abcdefghij0123456789abcdefghij"), -1, 1,
			"a0123456789abcdefghij0123456789abcdefghij", 1},  // past the capacity
		{APPEND, "a", 1, str("b", T_FILE), -1, 1, "ab", 1},
		{INSERT, "cd", 1, str("ab"), -1, 1, "abcd", 3},
		{INSERT, "cd", 2, str("ab"), -1, 2, "cababd", 6},
		{INSERT, "cd", 3, str("ab"), -1, 1, "cdab", 5},  // at the tail: an append
		{INSERT, "ad", 2, chr('b'), -1, 1, "abd", 3},
		{INSERT, "ad", 2, str("b", T_TAG), -1, 1, "a<b>d", 5},
		{CHANGE, "abc", 1, str("XY"), -1, 1, "XYc", 3},
		{CHANGE, "abc", 1, str("XY"), 1, 1, "XYbc", 3},
		{CHANGE, "abc", 2, str("X"), 5, 1, "aX", 3},
		{CHANGE, "abcdef", 2, str("X"), 3, 1, "aXef", 3},
		{CHANGE, "abc", 2, str("XY"), -1, 3, "aXYXYXY", 8},
		{CHANGE, "abc", 4, str("XY"), -1, 1, "abcXY", 6},  // at the tail: an append
		{CHANGE, "abc", 3, str("\xF0\x9F\x98\x80"), -1, 1, "ab\U0001F600", 4},
	};
	for (const Case& c : cases) {
		Cell s = at(str(c.series), c.index);
		Cell value = c.value;
		Cell* answer;
		switch (c.op) {
		case APPEND: answer = string::insert(&s, &value, c.part, false, c.dup, true); break;
		case INSERT: answer = string::insert(&s, &value, c.part, false, c.dup, false); break;
		default: answer = string::change(&s, &value, c.part, false, c.dup); break;
		}
		Outcome o = outcome(s, answer);
		EXPECT_EQ(o.text, c.text) << c.series << " op " << c.op;
		EXPECT_EQ(o.index, c.answer) << c.series << " op " << c.op;
	}
}

TEST_F(StringModify, IntoItselfFromASnapshot) {
	enum Op { APPEND, INSERT, CHANGE };
	struct Case {
		Op op;
		uint32_t series_index, value_index;
		int32_t dup;
		const char* text;
	} cases[] = {
		{INSERT, 1, 1, 1, "abab"},
		{APPEND, 1, 1, 1, "abab"},
		{APPEND, 1, 1, 2, "ababab"},
		{CHANGE, 1, 1, 1, "ab"},
		{CHANGE, 2, 1, 1, "aab"},
		{INSERT, 2, 1, 2, "aababb"},
		{CHANGE, 1, 2, 1, "bb"},
	};
	for (const Case& c : cases) {
		Cell s = str("ab");
		Cell target = at(s, c.series_index), value = at(s, c.value_index);
		if (c.op == CHANGE)
			string::change(&target, &value, -1, false, c.dup);
		else
			string::insert(&target, &value, -1, false, c.dup, c.op == APPEND);
		EXPECT_EQ(utf8(s), c.text) << c.op << " " << c.series_index << "/" << c.value_index;
	}
}

TEST_F(StringModify, ValuesWidenTheSeries) {
	Cell s = str("ab");
	Cell v = wide(U"\u4E2D", 2);
	string::insert(&s, &v, -1, false, 1, false);
	EXPECT_EQ(string::width_of(&s), 2u);
	Cell c = chr(0xE9);
	Cell t = str("x");
	string::insert(&t, &c, -1, false, 1, true);
	EXPECT_EQ(string::width_of(&t), 2u) << "appending a char above 0x7F widens";
	EXPECT_EQ(utf8(t), "x\u00e9");
}

TEST_F(StringModify, HugeDupRaisesAndLeavesTheSeries) {
	Cell s = str("x");
	Cell v = str("abcdefgh");
	uint32_t c = raised([&] { string::insert(&s, &v, -1, false, 0x7FFFFFFF, true); });
	EXPECT_EQ(c, code(errors::id::internal_no_memory));
	EXPECT_EQ(utf8(s), "x");
}

TEST_F(StringModify, Swap) {
	struct Case {
		Cell a, b;
		const char* after_a;
		const char* after_b;
	} cases[] = {
		{str("ab"), str("xy"), "xb", "ay"},
		{str("ab"), wide(U"\u4E2D", 2), "\u4E2Db", "a"},
		{str("ab"), str("", T_FILE), "ab", ""},
		{str("ab", T_TAG), str("z", T_EMAIL), "zb", "a"},
	};
	for (Case& c : cases) {
		string::swap(&c.a, &c.b);
		EXPECT_EQ(utf8(c.a), c.after_a);
		EXPECT_EQ(utf8(c.b), c.after_b);
	}
	Cell s = str("ab");
	Cell n = int_value(1);
	EXPECT_EQ(raised([&] { string::swap(&s, &n); }), code(errors::id::script_invalid_arg));
}

TEST_F(StringModify, SwapWithBinaryRefusesWideUnits) {
	Node n = memory::alloc_bytes(2);
	Series* b = memory::series(n);
	b->data()[0] = 0x41;
	b->tail = 1;
	Cell bin;
	cell::set(&bin, T_BINARY, 0, n, 0);
	Cell s = wide(U"\u4E2D", 2);
	EXPECT_EQ(raised([&] { string::swap(&s, &bin); }), code(errors::id::script_out_of_range));
	EXPECT_EQ(bytes_of(n), Bytes{0x41});
	Cell latin = str("z");
	string::swap(&latin, &bin);
	EXPECT_EQ(bytes_of(n), Bytes{'z'});
	EXPECT_EQ(utf8(latin), "A");
}

TEST_F(StringModify, Take) {
	struct Case {
		const char* series;
		uint32_t index;
		int32_t part;  // 0x7FFF: no /part
		bool last;
		Type type;
		const char* taken;
		const char* left;
	} cases[] = {
		{"abc", 1, 0x7FFF, false, T_CHAR, "a", "bc"},
		{"abc", 1, 0x7FFF, true, T_CHAR, "c", "ab"},
		{"abc", 1, 2, false, T_STRING, "ab", "c"},
		{"abc", 2, 5, false, T_STRING, "bc", "a"},
		{"abc", 1, 2, true, T_STRING, "bc", "a"},
		{"abcd", 3, -2, false, T_STRING, "ab", "cd"},
		{"abcd", 2, -5, false, T_STRING, "a", "bcd"},
		{"abc", 1, -1, true, T_STRING, "", "abc"},
		{"abc", 1, 0, false, T_STRING, "", "abc"},
	};
	for (const Case& c : cases) {
		Cell s = at(str(c.series), c.index);
		Cell keep = s;
		Cell part = int_value(c.part);
		Cell* r = string::take(&s, c.part == 0x7FFF ? nullptr : &part, false, c.last);
		ASSERT_EQ(cell::type_of(r), c.type) << c.series;
		if (c.type == T_CHAR)
			EXPECT_EQ(r->data2, uint32_t(c.taken[0]));
		else
			EXPECT_EQ(utf8(*r), c.taken);
		keep.data1 = 0;
		EXPECT_EQ(utf8(keep), c.left) << c.series;
	}
	Cell empty = str("");
	EXPECT_TRUE(cell::is(string::take(&empty, nullptr, false, false), T_NONE));
}

TEST_F(StringModify, TakeWithAPosition) {
	Cell s = str("abcde");
	Cell mark = at(s, 3);
	Cell series = s;
	EXPECT_EQ(utf8(*string::take(&series, &mark, false, false)), "ab");
	EXPECT_EQ(utf8(s), "cde");
	Cell t = str("abcde");
	Cell other = str("abcde");
	Cell from_other = at(other, 2);
	EXPECT_EQ(raised([&] { string::take(&t, &from_other, false, false); }), code(errors::id::script_invalid_refine_arg));
	Cell u = str("abcde");
	Cell mark2 = at(u, 4);
	Cell series2 = u;
	EXPECT_EQ(utf8(*string::take(&series2, &mark2, false, true)), "de") << "with /last, from the position to the tail";
}

TEST_F(StringModify, Trim) {
	enum Mode { PLAIN, HEAD, TAIL, LINES, ALL };
	struct Case {
		const char* text;
		Mode mode;
		const char* result;
	} cases[] = {
		{"  a b  \n", PLAIN, "a b\n"},
		{"  a b  \n", LINES, "a b"},
		{"  a b  \n", ALL, "ab"},
		{"  a b  \n", HEAD, "a b  \n"},
		{"  a b  \n", TAIL, "  a b"},
		{" \t a  \n  b \n\n c  ", PLAIN, "a\nb\n\nc"},
		{"a \t\r\nb", ALL, "ab"},
		{"\x01x\x01", PLAIN, "x"},
		{"x \x01 y", PLAIN, "x \x01 y"},  // inner control characters stay
		{"\n\n", PLAIN, ""},
		{"a\n\n", PLAIN, "a\n"},
		{"", PLAIN, ""},
		{" \u3000a\u2003 b\u00a0", LINES, "a b"},
		{"a\u2003\nb", PLAIN, "a\nb"},
	};
	for (const Case& c : cases) {
		Cell s = str(c.text);
		string::trim(&s, c.mode == HEAD, c.mode == TAIL, false, c.mode == LINES, c.mode == ALL, nullptr);
		EXPECT_EQ(utf8(s), c.result) << "[" << c.text << "] mode " << c.mode;
	}
}

TEST_F(StringModify, TrimWith) {
	struct Case {
		const char* text;
		Cell set;
		const char* result;
	} cases[] = {
		{"abcabd", str("ab"), "cd"},
		{"abc", str(""), "abc"},
		{"a-b-c", chr('-'), "abc"},
		{"a-b-c", int_value('-'), "abc"},
		{"x\u4E2Dy\u4E2D", wide(U"\u4E2D", 2), "xy"},
	};
	for (const Case& c : cases) {
		Cell s = str(c.text);
		string::trim(&s, false, false, false, false, false, &c.set);
		EXPECT_EQ(utf8(s), c.result) << c.text;
	}
	Cell s = at(str("a b c"), 3);
	string::trim(&s, false, false, false, false, true, nullptr);
	s.data1 = 0;
	EXPECT_EQ(utf8(s), "a bc") << "from the head only";
	Cell t = str("x");
	EXPECT_EQ(raised([&] { string::trim(&t, false, false, true, false, false, nullptr); }),
		code(errors::id::internal_not_done));
}

}  // namespace

namespace {

// Changes to a string held in an object's field reach the object's handler.
std::vector<std::string> heard;

void hear(Cell*, Cell* word, Cell*, Cell* action, Cell*, int32_t, int32_t) {
	heard.push_back(std::string(symbol::name(word->data2)) + " " + std::string(symbol::name(action->data2)));
}

class StringOwnership : public StringTest {
protected:
	void SetUp() override {
		StringTest::SetUp();
		ownership::on_deep_change = hear;
		heard.clear();
	}
	// An object whose field "text" owns the string.
	static Cell owned(Cell text) {
		Node ctx = context::create(1, false, false, 0, context::KIND_OBJECT);
		Cell w = word_of("text");
		context::add_word(ctx, &w);
		Cell object;
		cell::set(&object, T_OBJECT, ctx, 0, memory::alloc_cells(2));
		*context::owner(ctx) = object;
		*context::values(ctx) = text;
		ownership::bind_owned(context::values(ctx), &object, context::word_cell(ctx, 0));
		return text;
	}
};

TEST_F(StringOwnership, EveryChangeIsToldBeforeAndAfter) {
	using Change = void (*)(Cell&);
	struct Case {
		const char* action;
		Change change;
	} cases[] = {
		{"append", [](Cell& s) { Cell c = chr('x'); string::insert(&s, &c, -1, false, 1, true); }},
		{"append", [](Cell& s) { Cell v = str("yz"); string::insert(&s, &v, -1, false, 1, true); }},
		{"insert", [](Cell& s) { Cell v = str("yz"); string::insert(&s, &v, -1, false, 1, false); }},
		{"change", [](Cell& s) { Cell v = str("Q"); string::change(&s, &v, -1, false, 1); }},
		{"poke", [](Cell& s) { Cell i = int_value(1), v = chr('P'); actions::eval_path(&s, &i, &v, nullptr, nullptr, nullptr, -1, false, false, true, false); }},
		{"swap", [](Cell& s) { Cell t = str("z"); string::swap(&s, &t); }},
		{"take", [](Cell& s) { string::take(&s, nullptr, false, false); }},
		{"trim", [](Cell& s) { string::trim(&s, false, false, false, false, true, nullptr); }},
		{"sort", [](Cell& s) { string::sort(&s, false, nullptr, nullptr, nullptr, false, false, false); }},
	};
	std::map<std::string, std::string> past = {{"append", "appended"}, {"insert", "inserted"}, {"change", "changed"},
		{"poke", "poked"}, {"swap", "swaped"}, {"take", "taken"}, {"trim", "trimmed"}, {"sort", "sorted"}};
	for (const Case& c : cases) {
		heard.clear();
		Cell s = owned(str("b a"));
		c.change(s);
		EXPECT_EQ(heard, (std::vector<std::string>{std::string("text ") + c.action, "text " + past[c.action]}))
			<< c.action;
	}
	heard.clear();
	Cell plain = str("b a"), v = chr('x');
	string::insert(&plain, &v, -1, false, 1, true);
	EXPECT_TRUE(heard.empty()) << "a series nobody owns tells nobody";
}

}  // namespace
