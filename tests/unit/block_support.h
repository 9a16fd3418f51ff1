// Test support for the series, block and path tests: the core tables'
// runtime (symbols, the global context, the predefined words) plus the
// ownership table and the rows of the scalar, string, series, block and
// path types. Blocks are written as source text and loaded by the lexer;
// actions run through their stack forms.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <string_view>
#include <vector>

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
#include "tests/unit/core_tables.h"

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

// Runs an action's stack form on a fresh frame holding `args`; `refs` are
// the refinement positions (-1 absent, else the argument's cell index, any
// index for a refinement without argument). Answers the result slot.
inline Cell call(Slot slot, std::vector<Cell> args, std::vector<int32_t> refs = {}) {
	Cell* saved = stack::arguments;
	Cell* base = stack::top;
	stack::arguments = base;
	for (const Cell& a : args) stack::push(&a);
	refs.resize(16, -1);
	actions::stack_forms[slot - 1](refs.data());
	Cell r = *base;
	stack::top = base;
	stack::arguments = saved;
	return r;
}

// A hash!'s index holds every cell of its block by its position, and no
// other position.
inline void expect_hash_indexed(const Cell& h, const char* what) {
	ASSERT_NE(h.data3, 0u) << what;
	hash::Table* t = hash::table_of(h.data3);
	EXPECT_EQ(t->block, h.data2) << what;
	Series* index = memory::series(t->aux);
	auto* words = reinterpret_cast<const uint32_t*>(index->head_ptr());
	uint32_t length = index->used() / 4;
	uint32_t n = block::buffer(&h)->used() / sizeof(Cell);
	for (uint32_t p = n; p < length; p++) EXPECT_EQ(words[p], 0xFFFFFFFFu) << what << ": stale position " << p;
	for (uint32_t p = 0; p < n; p++) {
		ASSERT_LT(p, length) << what;
		EXPECT_NE(words[p], 0xFFFFFFFFu) << what << ": position " << p << " not indexed";
		Cell* c = block::vs_abs_at(&h, p);
		EXPECT_EQ(hash::get(h.data3, c, int32_t(p), 1, COMP_STRICT_EQUAL, false, false), c)
			<< what << ": position " << p;
	}
}

class BlockTest : public CoreTables {
protected:
	void SetUp() override {
		CoreTables::SetUp();
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
		ownership::init();
		random::init();
	}
	void TearDown() override {
		EXPECT_EQ(block::mold_nesting, 0);
		CoreTables::TearDown();
	}
};

}  // namespace vyn::test
