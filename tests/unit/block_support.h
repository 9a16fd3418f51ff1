// Test support for the series, block and path tests: a fresh runtime per
// test with the symbol table, the global context, the predefined words,
// the ownership table and the rows of the word, scalar, string, series,
// block and path types. Blocks are written as source text and loaded by
// the lexer.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <string_view>

#include "runtime/case_folding.h"
#include "runtime/context.h"
#include "runtime/cycles.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/char.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/float.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/path.h"
#include "runtime/datatypes/percent.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/typeset.h"
#include "runtime/datatypes/unset.h"
#include "runtime/datatypes/word.h"
#include "runtime/errors.h"
#include "runtime/evaluator/actions.h"
#include "runtime/evaluator/lexer.h"
#include "runtime/evaluator/stack.h"
#include "runtime/hash_table.h"
#include "runtime/io/random.h"
#include "runtime/memory.h"
#include "runtime/ownership.h"
#include "runtime/registry.h"
#include "runtime/symbol.h"
#include "runtime/unicode.h"
#include "runtime/words.h"
#include "tests/unit/raised.h"

namespace vyn::test {

inline std::string text_of_string(const Cell* s) {
	Cell v = *s;
	std::string out;
	uint32_t w = string::width_of(&v);
	for (uint8_t* p = string::vs_head(&v); p < string::vs_tail(&v); p += w) out += char(unicode::get_unit(p, w));
	return out;
}

// Replaces, through nested blocks, the words none, true and false and the
// datatype names by the values they stand for, as evaluation would.
inline void evaluate_constants(Cell* b) {
	for (Cell* c = block::vs_head(b); c < block::vs_tail(b); c++) {
		if (series::any_block(c)) {
			Cell inner = *c;
			evaluate_constants(&inner);
			continue;
		}
		if (!cell::is(c, T_WORD)) continue;
		std::string_view name = symbol::name(c->data2);
		uint32_t flags = c->header & FLAG_NEW_LINE;
		if (name == "none") {
			cell::make_none(c);
		} else if (name == "true" || name == "false") {
			cell::make_logic(c, name == "true");
		} else {
			for (int t = 1; t < registry::TYPE_SLOTS; t++)
				if (registry::names[t].name && name == registry::names[t].name) cell::set(c, T_DATATYPE, uint32_t(t));
		}
		c->header |= flags;
	}
}

// The values of source text, as a block!, with its constants evaluated.
inline Cell load(std::string_view text) {
	Cell* b = lexer::load(reinterpret_cast<const uint8_t*>(text.data()), uint32_t(text.size()));
	Cell v = *b;
	stack::pop(1);
	evaluate_constants(&v);
	return v;
}

// The first value of source text.
inline Cell value(std::string_view text) {
	Cell b = load(text);
	return *block::vs_head(&b);
}

struct MoldOptions {
	bool only = false, all = false, flat = false;
	int32_t limit = -1;  // -1: no /part
};

inline std::string mold_of(const Cell& v, MoldOptions o = {}) {
	Cell out;
	string::make_at(&out, 16);
	Cell limit;
	cell::make_integer(&limit, o.limit);
	const Cell* arg = o.limit >= 0 ? &limit : nullptr;
	int32_t part = actions::mold(&v, &out, o.only, o.all, o.flat, arg, arg ? o.limit : 0x7FFFFFFF, 0);
	std::string text = text_of_string(&out);
	if (arg && text.size() > size_t(o.limit)) text.resize(size_t(o.limit));
	(void)part;
	return text;
}

inline std::string form_of(const Cell& v, int32_t limit = -1) {
	Cell out;
	string::make_at(&out, 16);
	Cell l;
	cell::make_integer(&l, limit);
	const Cell* arg = limit >= 0 ? &l : nullptr;
	actions::form(&v, &out, arg, arg ? limit : 0x7FFFFFFF);
	std::string text = text_of_string(&out);
	if (arg && text.size() > size_t(limit)) text.resize(size_t(limit));
	return text;
}

// The cells of a block from its head, molded without brackets: "a b c".
inline std::string cells_of(const Cell& b) { return mold_of(b, {.only = true, .flat = true}); }

inline Cell num(int32_t i) {
	Cell c;
	cell::make_integer(&c, i);
	return c;
}

inline Cell none_cell() {
	Cell c;
	cell::make_none(&c);
	return c;
}

inline Cell type_value(Type t) {
	Cell c;
	cell::set(&c, T_DATATYPE, t);
	return c;
}

inline Cell at(const Cell& b, int32_t head) {
	Cell v = b;
	v.data1 = uint32_t(head);
	return v;
}

class BlockTest : public ::testing::Test {
protected:
	Cell root{};
	ActionRow saved_rows[registry::TYPE_SLOTS];
	registry::TypeName saved_names[registry::TYPE_SLOTS];
	uint8_t saved_parents[registry::TYPE_SLOTS];
	int saved_count = 0;
	void (*saved_make_word)(const char*, Cell*) = nullptr;
	lexer::WordHooks saved_word_hooks{};
	void (*saved_notify)(Cell*, const char*, uint32_t, uint32_t) = nullptr;

	void SetUp() override {
		std::memcpy(saved_rows, registry::rows, sizeof saved_rows);
		std::memcpy(saved_names, registry::names, sizeof saved_names);
		std::memcpy(saved_parents, registry::parents, sizeof saved_parents);
		saved_count = registry::type_count;
		saved_make_word = actions::make_word;
		saved_word_hooks = lexer::word_hooks;
		saved_notify = string::notify_hook;
		memory::free_all();
		memory::init();
		memory::new_node_frame(NODE_FRAME_NODES);
		memory::new_series_frame();
		stack::init();
		lexer::init();
		unicode::init_case_tables();
		cycles::reset();
		symbol::init_type();
		context::init_type();
		word::init_types();
		datatype::init_type();
		unset::init_type();
		none::init_type();
		logic::init_type();
		integer::init_type();
		char_::init_type();
		float_::init_type();
		typeset::init_type();
		percent::init_type();
		series::init_type();
		block::init_type();
		string::init_type();
		path::init_types();
		actions::init();
		cell::set(&root, T_BLOCK, 0, memory::alloc_cells(64), 0);
		context::root = &root;
		context::starting = true;
		symbol::init();
		context::init_global();
		words::init();
		words::init_refinements();
		words::init_ooo();
		typereg::make_type_words();
		context::starting = false;
		ownership::init();
		random::init();
	}
	void TearDown() override {
		EXPECT_EQ(block::mold_nesting, 0);
		std::memcpy(registry::rows, saved_rows, sizeof saved_rows);
		std::memcpy(registry::names, saved_names, sizeof saved_names);
		std::memcpy(registry::parents, saved_parents, sizeof saved_parents);
		registry::type_count = saved_count;
		actions::make_word = saved_make_word;
		lexer::word_hooks = saved_word_hooks;
		string::notify_hook = saved_notify;
		context::root = nullptr;
		ownership::on_deep_change = nullptr;
		words::block = 0;
		memory::nodes_cycles = 0;
		cycles::reset();
		stack::reset_all();
		memory::free_all();
	}
};

}  // namespace vyn::test
