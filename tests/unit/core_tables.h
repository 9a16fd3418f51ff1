// Test support for the core tables: a fresh runtime with its tables per
// test, the registry rows and hooks the tests touch saved and restored.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "runtime/case_folding.h"
#include "runtime/context.h"
#include "runtime/cycles.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/word.h"
#include "runtime/evaluator/actions.h"
#include "runtime/evaluator/lexer.h"
#include "runtime/evaluator/stack.h"
#include "runtime/hash_table.h"
#include "runtime/memory.h"
#include "runtime/ownership.h"
#include "runtime/registry.h"
#include "runtime/symbol.h"
#include "runtime/words.h"
#include "tests/unit/text_support.h"

namespace vyn::test {

// Integer comparison for the tests' keys, where integer!'s own row is not
// registered.
inline int32_t compare_integers(const Cell* a, const Cell* b, CompareOp) {
	if (!cell::is(b, T_INTEGER)) return COMPARE_UNRELATED;
	int32_t x = cell::get_integer(a), y = cell::get_integer(b);
	return x == y ? 0 : x < y ? -1 : 1;
}

class CoreTables : public ::testing::Test {
protected:
	ActionRow saved_rows[registry::TYPE_SLOTS];
	registry::TypeName saved_names[registry::TYPE_SLOTS];
	uint8_t saved_parents[registry::TYPE_SLOTS];
	int saved_count = 0;
	void (*saved_make_word)(const char*, Cell*) = nullptr;
	lexer::WordHooks saved_word_hooks{};
	void (*saved_notify)(Cell*, const char*, uint32_t, uint32_t) = nullptr;
	Cell root{};

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
		if (!registry::rows[T_INTEGER].compare) registry::rows[T_INTEGER].compare = compare_integers;
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
	}

	void TearDown() override {
		std::memcpy(registry::rows, saved_rows, sizeof saved_rows);
		std::memcpy(registry::names, saved_names, sizeof saved_names);
		std::memcpy(registry::parents, saved_parents, sizeof saved_parents);
		registry::type_count = saved_count;
		actions::make_word = saved_make_word;
		lexer::word_hooks = saved_word_hooks;
		string::notify_hook = saved_notify;
		context::root = nullptr;
		context::on_change = nullptr;
		ownership::on_deep_change = nullptr;
		hash::map_key_hook = nullptr;
		words::block = 0;
		memory::nodes_cycles = 0;
		cycles::reset();
		stack::reset_all();
		memory::free_all();
	}
};

inline uint32_t sym(const char* name) { return symbol::make(name); }

inline Cell integer(int32_t n) {
	Cell c;
	cell::make_integer(&c, n);
	return c;
}

// A word cell of a type for a name, bound to the global context and
// spelled as given.
inline Cell word_of(const char* name, Type type = T_WORD) {
	uint32_t symbol = sym(name);
	Cell w = *context::find_or_add_global(symbol, true, false);
	cell::set(&w, type, w.data1, symbol, w.data3);
	return w;
}

// An unbound word cell.
inline Cell loose_word(const char* name, Type type = T_WORD) {
	Cell w;
	cell::set(&w, type, 0, sym(name), 0xFFFFFFFFu);
	return w;
}

// A block! of the given cells.
inline Cell block_of(std::initializer_list<Cell> cells) {
	Node n = memory::alloc_cells(uint32_t(cells.size()) + 1);
	Series* s = memory::series(n);
	for (const Cell& c : cells) *memory::alloc_at_tail(s) = c;
	Cell b;
	cell::set(&b, T_BLOCK, 0, n, 0);
	return b;
}

inline Cell* cell_at(const Cell* block, uint32_t i) { return memory::buffer_of(block)->head_cell() + i; }
inline uint32_t length_of(const Cell* block) { return memory::buffer_of(block)->used() / sizeof(Cell); }

// The text a string! value holds, as UTF-8 (codepoints below 0x80 expected).
inline std::string ascii_of(const Cell* string) {
	std::string out;
	for (char32_t c : text_of(string->data2)) out += char(c);
	return out;
}

}  // namespace vyn::test
