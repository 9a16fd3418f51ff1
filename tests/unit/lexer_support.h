// Test support for the lexer: a fresh runtime per test, a small word table
// standing in for the symbol table, a printer of loaded values, and the
// fields of a raised syntax error.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "runtime/datatypes/string.h"
#include "runtime/errors.h"
#include "runtime/evaluator/lexer.h"
#include "runtime/evaluator/stack.h"
#include "runtime/memory.h"
#include "runtime/number_text.h"
#include "runtime/registry.h"
#include "runtime/unicode.h"
#include "runtime/utf8.h"

namespace vyn::test {

inline std::vector<std::string> word_names;

inline void test_make_word(Cell* out, Type type, const uint8_t* name, uint32_t length) {
	std::string n(reinterpret_cast<const char*>(name), length);
	uint32_t id = 0;
	while (id < word_names.size() && word_names[id] != n) id++;
	if (id == word_names.size()) word_names.push_back(n);
	cell::set(out, type, type == T_REFINEMENT ? 0 : 1, id + 1, uint32_t(-1));
}

inline const uint8_t* test_word_name(const Cell* word, uint32_t* length) {
	const std::string& n = word_names[word->data2 - 1];
	*length = uint32_t(n.size());
	return reinterpret_cast<const uint8_t*>(n.data());
}

inline std::string utf8_of(const std::u32string& text) {
	std::string out;
	for (char32_t c : text) {
		uint8_t b[4];
		uint32_t n = unicode::encode_utf8(uint32_t(c), b);
		out.append(reinterpret_cast<char*>(b), n);
	}
	return out;
}

inline std::u32string codepoints(Cell* s) {
	std::u32string out;
	Series* b = memory::buffer_of(s);
	uint32_t w = b->unit();
	for (uint8_t* p = unicode::unit_at(b, s->data1); p < b->tail_ptr(); p += w) out += char32_t(unicode::get_unit(p, w));
	return out;
}

// A string! of the codepoints at a unit width.
inline Cell make_string_for_lexer(const std::u32string& text, uint32_t width) {
	Node node = memory::alloc_series(uint32_t(text.size()) + 1, width, 0);
	Series* s = memory::series(node);
	for (size_t i = 0; i < text.size(); i++) unicode::put_unit(s->data() + i * width, width, text[i]);
	s->tail = uint32_t(text.size()) * width;
	Cell c;
	cell::set(&c, T_STRING, 0, node, 0);
	return c;
}

// A compact text of a loaded value: enough to tell types and contents apart.
inline std::string show(Cell* v);

inline std::string show_items(Cell* v, const char* separator) {
	std::string out;
	Series* b = memory::buffer_of(v);
	for (Cell* c = b->head_cell() + v->data1; c < b->tail_cell(); c++) {
		if (c != b->head_cell() + v->data1) out += separator;
		if (cell::new_line(c)) out += "\\n";
		out += show(c);
	}
	return out;
}

inline std::string show(Cell* v) {
	char text[64];
	switch (cell::type_of(v)) {
	case T_INTEGER: return std::to_string(cell::get_integer(v));
	case T_FLOAT: return std::string(text, numconv::form_float(text, cell::get_double(v), 0, true));
	case T_PERCENT: return std::string(text, numconv::form_float(text, cell::get_double(v), 0, true)) + "(%)";
	case T_TIME: return "time:" + std::string(text, numconv::form_float(text, cell::get_double(v), 0, true));
	case T_CHAR: return "char:" + std::to_string(v->data2);
	case T_STRING: return "\"" + utf8_of(codepoints(v)) + "\"";
	case T_FILE: return "file:" + utf8_of(codepoints(v));
	case T_URL: return "url:" + utf8_of(codepoints(v));
	case T_TAG: return "<" + utf8_of(codepoints(v)) + ">";
	case T_EMAIL: return "email:" + utf8_of(codepoints(v));
	case T_WORD: return word_names[v->data2 - 1];
	case T_SET_WORD: return word_names[v->data2 - 1] + ":";
	case T_GET_WORD: return ":" + word_names[v->data2 - 1];
	case T_LIT_WORD: return "'" + word_names[v->data2 - 1];
	case T_REFINEMENT: return "/" + word_names[v->data2 - 1];
	case T_ISSUE: return "#" + word_names[v->data2 - 1];
	case T_BLOCK: return "[" + show_items(v, " ") + "]";
	case T_PAREN: return "(" + show_items(v, " ") + ")";
	case T_PATH: return show_items(v, "/");
	case T_LIT_PATH: return "'" + show_items(v, "/");
	case T_GET_PATH: return ":" + show_items(v, "/");
	case T_SET_PATH: return show_items(v, "/") + ":";
	case T_LOGIC: return v->data1 ? "true" : "false";
	case T_NONE: return "none";
	case T_UNSET: return "unset";
	case T_DATATYPE: return std::string(registry::names[v->data1].name ? registry::names[v->data1].name : "?");
	default: return "type" + std::to_string(cell::type_of(v));
	}
}

// The fields of the last error raised: its id and its arguments as text.
struct RaisedError {
	uint32_t code = 0;
	std::vector<std::string> args;
};
inline RaisedError last_error;

inline std::string show_arg(const Cell* a) {
	if (cell::is(a, T_STRING)) return utf8_of(codepoints(const_cast<Cell*>(a)));
	if (cell::is(a, T_DATATYPE)) return "type:" + std::to_string(a->data1);
	return show(const_cast<Cell*>(a));
}

class LexerTest : public ::testing::Test {
public:
	errors::MakeHook saved_hook = nullptr;
	lexer::WordHooks saved_words{};
	registry::TypeName saved_names[registry::TYPE_SLOTS];
	ActionRow saved_rows[registry::TYPE_SLOTS];
	uint8_t saved_parents[registry::TYPE_SLOTS];
	int saved_count = 0;

	void SetUp() override {
		saved_words = lexer::word_hooks;
		std::memcpy(saved_names, registry::names, sizeof saved_names);
		std::memcpy(saved_rows, registry::rows, sizeof saved_rows);
		std::memcpy(saved_parents, registry::parents, sizeof saved_parents);
		saved_count = registry::type_count;
		memory::free_all();
		memory::init();
		memory::new_node_frame(NODE_FRAME_NODES);
		memory::new_series_frame();
		stack::init();
		lexer::init();
		word_names.clear();
		lexer::word_hooks = {test_make_word, test_word_name};
		registry::register_type(T_INTEGER, Type(0), "integer!", ActionRow{});
		registry::register_type(T_BLOCK, Type(0), "block!", ActionRow{});
		saved_hook = errors::make_hook;
		errors::make_hook = [](errors::Id id, const Cell* a1, const Cell* a2, const Cell* a3, Cell* out) {
			last_error = RaisedError{id.code(), {}};
			for (const Cell* a : {a1, a2, a3})
				if (a) last_error.args.push_back(show_arg(a));
			cell::set(out, T_ERROR, 0, id.code());
		};
	}
	void TearDown() override {
		errors::make_hook = saved_hook;
		lexer::word_hooks = saved_words;
		std::memcpy(registry::names, saved_names, sizeof saved_names);
		std::memcpy(registry::rows, saved_rows, sizeof saved_rows);
		std::memcpy(registry::parents, saved_parents, sizeof saved_parents);
		registry::type_count = saved_count;
		lexer::callback_hooks = {nullptr, nullptr};
		lexer::release();
		stack::reset_all();
		memory::free_all();
	}

	// Runs f under a try frame; answers the error code raised, 0 if none.
	template <typename F>
	static uint32_t raised(F f) {
		stack::Frame* frames = stack::frame_top();
		Cell* top = stack::top;
		uint32_t code = 0;
		last_error = RaisedError{};
		stack::mark_try(nullptr);
		try {
			f();
		} catch (const Throw&) {
			code = errors::code_of(stack::get_top());
		}
		stack::set_frame_top(frames);
		stack::top = top;
		return code;
	}

	// Loads source into a block and shows its items.
	static std::string load(const std::string& source) {
		Cell* block = lexer::load(reinterpret_cast<const uint8_t*>(source.data()), uint32_t(source.size()));
		std::string out = show_items(block, " ");
		stack::pop(1);
		return out;
	}

	// The error text of loading source: "<id> arg1 | arg2 | arg3", or "" when it loads.
	static std::string error_of(const std::string& source) {
		uint32_t code = raised([&] { load(source); });
		if (!code) return "";
		std::string out = code == errors::id::syntax_invalid.code() ? "invalid"
			: code == errors::id::syntax_missing.code() ? "missing"
			: code == errors::id::syntax_bad_char.code() ? "bad-char"
			: code == errors::id::syntax_malconstruct.code() ? "malconstruct"
			: "code" + std::to_string(code);
		for (const std::string& a : last_error.args) out += " | " + a;
		return out;
	}

	struct Loads {
		std::string source;
		std::string shown;
	};
	// Each source loads without error as the shown items.
	static void expect_loads(std::initializer_list<Loads> cases) {
		for (const Loads& c : cases) {
			std::string got;
			uint32_t code = raised([&] { got = load(c.source); });
			EXPECT_EQ(code, 0u) << c.source << " raised " << error_of(c.source);
			EXPECT_EQ(got, c.shown) << c.source;
		}
	}
	// Each source raises the shown error.
	static void expect_errors(std::initializer_list<Loads> cases) {
		for (const Loads& c : cases) EXPECT_EQ(error_of(c.source), c.shown) << c.source;
	}

	static int32_t scan_type(const std::string& source, lexer::Options o, uint32_t* consumed = nullptr,
		std::string* shown = nullptr) {
		Cell* result = stack::alloc_slot();
		int32_t type = lexer::scan(result, reinterpret_cast<const uint8_t*>(source.data()), uint32_t(source.size()), o, consumed);
		if (shown) *shown = show(result);
		stack::pop(1);
		return type;
	}
};

}  // namespace vyn::test
