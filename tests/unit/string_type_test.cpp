#include <gtest/gtest.h>

#include "tests/unit/string_support.h"

using namespace vyn;
using namespace vyn::test;

namespace {

class StringType : public StringTest {
protected:
	static Cell datatype(Type t) {
		Cell c;
		cell::set(&c, T_DATATYPE, t);
		return c;
	}
	static Cell* path(Cell& s, Cell element, Cell* value = nullptr) {
		return actions::eval_path(&s, &element, value, nullptr, nullptr, nullptr, -1, false, !value, true, false);
	}
};

TEST_F(StringType, MakeAndTo) {
	Cell proto = datatype(T_STRING), ten = int_value(10);
	Cell* r = string::make(&proto, &ten, T_STRING);
	EXPECT_EQ(cell::type_of(r), T_STRING);
	EXPECT_EQ(string::vs_length(r), 0u);
	EXPECT_GE(memory::buffer_of(r)->size, 10u);
	Cell f;
	cell::make_float(&f, 3.9);
	proto = datatype(T_TAG);
	EXPECT_EQ(cell::type_of(string::make(&proto, &f, T_TAG)), T_TAG);
	struct Bad {
		Cell spec;
		uint32_t error;
	} bad[] = {
		{int_value(-1), code(errors::id::script_out_of_range)},
		{[] { Cell c; cell::make_float(&c, 3e10); return c; }(), code(errors::id::script_out_of_range)},
		{[] { Cell c; cell::make_float(&c, 0.0 / 0.0); return c; }(), code(errors::id::script_out_of_range)},
	};
	for (Bad& b : bad) {
		proto = datatype(T_STRING);
		EXPECT_EQ(raised([&] { string::make(&proto, &b.spec, T_STRING); }), b.error);
	}
	Cell none;
	cell::make_none(&none);
	proto = datatype(T_STRING);
	EXPECT_EQ(raised([&] { string::to(&proto, &none, T_STRING); }), code(errors::id::script_bad_to_arg));
}

TEST_F(StringType, ToCopiesTextsAndDecodesBinaries) {
	Cell src = at(str("hello"), 2);
	Cell proto = datatype(T_EMAIL);
	Cell* r = string::to(&proto, &src, T_EMAIL);
	EXPECT_EQ(cell::type_of(r), T_EMAIL);
	EXPECT_EQ(utf8(*r), "ello");
	EXPECT_NE(r->data2, src.data2) << "a copy";
	Node n = memory::alloc_bytes(4);
	Series* b = memory::series(n);
	std::memcpy(b->data(), "a\xC3\xA9z", 4);
	b->tail = 4;
	Cell bin;
	cell::set(&bin, T_BINARY, 1, n, 0);
	proto = datatype(T_STRING);
	EXPECT_EQ(utf8(*string::to(&proto, &bin, T_STRING)), "\xC3\xA9z");
	b->tail = 2;
	bin.data1 = 0;
	EXPECT_EQ(raised([&] { string::to(&proto, &bin, T_STRING); }), code(errors::id::access_invalid_utf8));
}

TEST_F(StringType, BlockValuesAreFormedWithoutSeparators) {
	Node n = memory::alloc_cells(3);
	Series* s = memory::series(n);
	s->head_cell()[0] = int_value(1);
	s->head_cell()[1] = str("x");
	s->head_cell()[2] = chr('y');
	s->tail = 3 * sizeof(Cell);
	Cell block, proto = datatype(T_FILE);
	cell::set(&block, T_BLOCK, 0, n, 0);
	Cell* made = string::to(&proto, &block, T_FILE);
	EXPECT_EQ(cell::type_of(made), T_FILE);
	EXPECT_EQ(utf8(*made), "1xy");
	Cell series = str("");
	string::insert(&series, &block, -1, false, 1, true);
	EXPECT_EQ(utf8(series), "1xy");
	Cell two = str("");
	string::insert(&two, &block, 2, false, 1, true);
	EXPECT_EQ(utf8(two), "1x") << "/part counts values";
	Cell chars = str("");
	string::insert(&chars, &block, 1, true, 1, true);
	EXPECT_EQ(utf8(chars), "1") << "/part/only counts characters";
}

TEST_F(StringType, ToFromWords) {
	struct Case {
		Cell spec;
		Type target;
		const char* text;
	} cases[] = {
		{word_of("abc"), T_STRING, "abc"},
		{word_of("abc", T_SET_WORD), T_FILE, "abc"},
		{word_of("ref", T_REFINEMENT), T_STRING, "ref"},   // formed for a string!
		{word_of("ref", T_REFINEMENT), T_FILE, "/ref"},    // molded for the other texts
		{word_of("ref", T_REFINEMENT), T_URL, "/ref"},
	};
	for (Case& c : cases) {
		Cell proto = datatype(c.target);
		Cell* r = string::to(&proto, &c.spec, c.target);
		EXPECT_EQ(cell::type_of(r), c.target);
		EXPECT_EQ(utf8(*r), c.text);
	}
}

TEST_F(StringType, CompareAcrossTheFamily) {
	struct Case {
		Cell a, b;
		CompareOp op;
		int32_t result;
	} cases[] = {
		{str("a"), str("A", T_FILE), COMP_EQUAL, 0},
		{str("a"), str("b", T_FILE), COMP_NOT_EQUAL, -1},
		{str("a"), str("A", T_FILE), COMP_LESSER, COMPARE_UNRELATED},
		{str("a"), str("a", T_FILE), COMP_STRICT_EQUAL, COMPARE_UNRELATED},
		{str("a"), int_value(1), COMP_EQUAL, COMPARE_UNRELATED},
		{str("a", T_URL), str("B", T_URL), COMP_LESSER, -1},
	};
	for (const Case& c : cases) EXPECT_EQ(string::compare(&c.a, &c.b, c.op), c.result);
	Cell s = str("abc"), f = str("ABC", T_FILE);
	EXPECT_TRUE(actions::compare(&s, &f, COMP_EQUAL));
	EXPECT_EQ(raised([&] { actions::compare(&s, &f, COMP_LESSER); }), code(errors::id::script_invalid_compare));
}

TEST_F(StringType, PathsPickPokeSelectAndSet) {
	Cell s = str("abcabd");
	Cell* c = path(s, int_value(2));
	ASSERT_TRUE(cell::is(c, T_CHAR));
	EXPECT_EQ(c->data2, uint32_t('b'));
	Cell s2 = str("abc");
	EXPECT_TRUE(cell::is(path(s2, int_value(9)), T_NONE));
	Cell t = str("abc"), z = chr(0x4E2D);
	path(t, int_value(2), &z);
	EXPECT_EQ(utf8(t), "a\u4E2Dc");
	// Reading and writing through a text element reach the same unit: the one after the match.
	Cell u = str("abcabd");
	Cell* read = path(u, str("ab"));
	ASSERT_TRUE(cell::is(read, T_CHAR));
	EXPECT_EQ(read->data2, uint32_t('c'));
	Cell v = str("abcabd"), x = chr('X');
	path(v, str("ab"), &x);
	EXPECT_EQ(utf8(v), "abXabd");
	struct Bad {
		Cell element;
		bool set;
		uint32_t error;
	} bad[] = {
		{int_value(0), true, code(errors::id::script_out_of_range)},
		{str("zz"), true, code(errors::id::script_bad_path_set)},
		{str("d"), true, code(errors::id::script_out_of_range)},
		{[] { Cell w = str("x"); cell::set_type(&w, T_WORD); return w; }(), false, code(errors::id::script_invalid_path)},
	};
	for (Bad& b : bad) {
		Cell w = str("abcabd"), value = chr('Q');
		EXPECT_EQ(raised([&] { path(w, b.element, b.set ? &value : nullptr); }), b.error);
		EXPECT_EQ(utf8(w), "abcabd");
	}
	Cell y = str("abc"), n = int_value(5);
	EXPECT_EQ(raised([&] { path(y, int_value(1), &n); }), code(errors::id::script_invalid_arg));
}

}  // namespace
