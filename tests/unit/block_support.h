// Test support for the block and path tests: a fresh heap and stacks per
// test, the rows of the series, block, path, scalar and string types, and
// minimal rows for the word types (names by a test table of symbols). Blocks are written as text and read by a
// small reader: integers, floats, none, "strings", words with their set,
// lit, get and refinement marks, datatypes (integer!), paths, [blocks] and
// (parens); a line break before a value sets its new-line flag.
#pragma once

#include <gtest/gtest.h>

#include <cctype>
#include <charconv>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/case_folding.h"
#include "runtime/cycles.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/char.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/float.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/percent.h"
#include "runtime/datatypes/typeset.h"
#include "runtime/datatypes/unset.h"
#include "runtime/io/random.h"
#include "runtime/datatypes/path.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/string.h"
#include "runtime/errors.h"
#include "runtime/evaluator/actions.h"
#include "runtime/evaluator/stack.h"
#include "runtime/memory.h"
#include "runtime/registry.h"
#include "runtime/unicode.h"
#include "tests/unit/raised.h"

namespace vyn::test {

// Word names by symbol id - 1; letter case makes distinct symbols.
inline std::vector<std::string>& word_names() {
	static std::vector<std::string> names;
	return names;
}

inline uint32_t symbol_of(std::string_view name) {
	auto& names = word_names();
	for (size_t i = 0; i < names.size(); i++)
		if (names[i] == name) return uint32_t(i + 1);
	names.emplace_back(name);
	return uint32_t(names.size());
}

inline int fold_compare(std::string_view a, std::string_view b, bool case_sensitive) {
	for (size_t i = 0; i < a.size() && i < b.size(); i++) {
		int x = case_sensitive ? a[i] : std::tolower(uint8_t(a[i]));
		int y = case_sensitive ? b[i] : std::tolower(uint8_t(b[i]));
		if (x != y) return x < y ? -1 : 1;
	}
	return a.size() == b.size() ? 0 : a.size() < b.size() ? -1 : 1;
}

inline std::string text_of_string(const Cell* s) {
	Cell v = *s;
	std::string out;
	uint32_t w = string::width_of(&v);
	for (uint8_t* p = string::vs_head(&v); p < string::vs_tail(&v); p += w) out += char(unicode::get_unit(p, w));
	return out;
}

namespace rows {

inline int32_t put(Cell* out, std::string_view text, int32_t part) {
	string::append_literal(out, text);
	return part - int32_t(text.size());
}

inline std::string_view name_of(const Cell* w) { return word_names()[w->data2 - 1]; }
inline int32_t form_word(const Cell* v, Cell* out, const Cell*, int32_t part) { return put(out, name_of(v), part); }
inline int32_t mold_word(const Cell* v, Cell* out, bool, bool, bool, const Cell*, int32_t part, int32_t) {
	switch (cell::type_of(v)) {
	case T_LIT_WORD: part = put(out, "'", part); break;
	case T_GET_WORD: part = put(out, ":", part); break;
	case T_REFINEMENT: part = put(out, "/", part); break;
	default: break;
	}
	part = put(out, name_of(v), part);
	return cell::is(v, T_SET_WORD) ? put(out, ":", part) : part;
}
inline int32_t compare_word(const Cell* a, const Cell* b, CompareOp op) {
	Type tb = cell::type_of(b);
	if (tb < T_WORD || tb > T_REFINEMENT) return COMPARE_UNRELATED;
	bool same_type = cell::type_of(a) == tb;
	switch (op) {
	case COMP_SAME:
	case COMP_STRICT_EQUAL:
	case COMP_FIND_CASE: return same_type && a->data2 == b->data2 ? 0 : 1;
	case COMP_EQUAL:
	case COMP_NOT_EQUAL:
	case COMP_FIND:
	case COMP_FIND_SELECT: return fold_compare(name_of(a), name_of(b), false) == 0 ? 0 : 1;
	default: return fold_compare(name_of(a), name_of(b), op == COMP_CASE_SORT);
	}
}

inline ActionRow row(action::FormFn form, action::MoldFn mold, action::CompareFn compare) {
	ActionRow r{};
	r.form = form;
	r.mold = mold;
	r.compare = compare;
	return r;
}

inline void install() {
	const char* names[] = {"word!", "set-word!", "lit-word!", "get-word!", "refinement!"};
	for (int t = T_WORD; t <= T_REFINEMENT; t++)
		registry::register_type(Type(t), Type(0), names[t - T_WORD], row(form_word, mold_word, compare_word));
}

}  // namespace rows

// Reads the test notation into `out` (a block! unless the text is one path
// or value alone).
class Reader {
public:
	explicit Reader(std::string_view text) : text_(text) {}

	// The values of the whole text, as a block.
	Cell block() {
		Cell b;
		block::make_at(&b, 4);
		while (value_into(&b)) {
		}
		return b;
	}

private:
	std::string_view text_;
	size_t at_ = 0;

	bool value_into(Cell* b) {
		bool line = false;
		while (at_ < text_.size() && std::isspace(uint8_t(text_[at_]))) line |= text_[at_++] == '\n';
		if (at_ >= text_.size() || text_[at_] == ']' || text_[at_] == ')') {
			if (at_ < text_.size()) at_++;
			return false;
		}
		Cell v = one();
		if (line) v.header |= FLAG_NEW_LINE;
		block::append_value(b, &v);
		return true;
	}

	Cell one() {
		char c = text_[at_];
		if (c == '[' || c == '(') {
			at_++;
			Cell inner;
			block::make_at(&inner, 4);
			while (value_into(&inner)) {
			}
			return *cell::set_type(&inner, c == '[' ? T_BLOCK : T_PAREN);
		}
		if (c == '"') {
			size_t end = text_.find('"', at_ + 1);
			Cell s;
			string::load_at(&s, text_.substr(at_ + 1, end - at_ - 1));
			at_ = end + 1;
			return s;
		}
		size_t start = at_;
		while (at_ < text_.size() && !std::isspace(uint8_t(text_[at_])) && !std::strchr("[]()\"", text_[at_])) at_++;
		return token(text_.substr(start, at_ - start));
	}

	static Cell token(std::string_view t) {
		Cell v;
		bool numeric = std::isdigit(uint8_t(t[0])) || (t[0] == '-' && t.size() > 1 && std::isdigit(uint8_t(t[1])));
		if (numeric) {
			if (t.find('.') == std::string_view::npos) {
				int32_t i = 0;
				std::from_chars(t.data(), t.data() + t.size(), i);
				cell::make_integer(&v, i);
			} else {
				double d = 0;
				std::from_chars(t.data(), t.data() + t.size(), d);
				cell::make_float(&v, d);
			}
			return v;
		}
		if (t == "none") {
			cell::make_none(&v);
			return v;
		}
		if (t.size() > 1 && t.back() == '!') {
			for (int i = 1; i < registry::TYPE_SLOTS; i++)
				if (registry::names[i].name && t == registry::names[i].name) cell::set(&v, T_DATATYPE, uint32_t(i));
			return v;
		}
		size_t slash = t.find('/', 1);
		if (slash != std::string_view::npos && t[0] != '/') return path(t);
		Type type = T_WORD;
		if (t[0] == '\'') type = T_LIT_WORD;
		if (t[0] == ':') type = T_GET_WORD;
		if (t[0] == '/') type = T_REFINEMENT;
		if (type != T_WORD) t.remove_prefix(1);
		if (t.size() > 1 && t.back() == ':') {
			type = T_SET_WORD;
			t.remove_suffix(1);
		}
		cell::set(&v, type, 0, symbol_of(t), 0xFFFFFFFFu);
		return v;
	}

	static Cell path(std::string_view t) {
		Type type = T_PATH;
		if (t[0] == '\'') type = T_LIT_PATH;
		if (t[0] == ':') type = T_GET_PATH;
		if (type != T_PATH) t.remove_prefix(1);
		if (t.back() == ':') {
			type = T_SET_PATH;
			t.remove_suffix(1);
		}
		Cell p;
		block::make_at(&p, 4);
		while (!t.empty()) {
			size_t slash = t.find('/');
			Cell item = token(t.substr(0, slash));
			block::append_value(&p, &item);
			t = slash == std::string_view::npos ? std::string_view() : t.substr(slash + 1);
		}
		return *cell::set_type(&p, type);
	}
};

inline Cell load(std::string_view text) { return Reader(text).block(); }

// The first value of the notation.
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
	void SetUp() override {
		static bool tables = (unicode::init_case_tables(), true);
		(void)tables;
		memory::free_all();
		memory::init();
		memory::new_node_frame(NODE_FRAME_NODES);
		memory::new_series_frame();
		stack::init();
		cycles::reset();
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
		rows::install();
		random::init();
	}
	void TearDown() override {
		stack::reset_all();
		cycles::reset();
		EXPECT_EQ(block::mold_nesting, 0);
	}
};

}  // namespace vyn::test
