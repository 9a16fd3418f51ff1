// Test support for the compound value types: a booted runtime with its core
// tables, the texts of form and mold as UTF-8, and frames for the workers.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/datatypes/string.h"
#include "runtime/evaluator/actions.h"
#include "runtime/evaluator/stack.h"
#include "runtime/externals.h"
#include "runtime/memory.h"
#include "tests/unit/core_tables.h"
#include "tests/unit/text_support.h"

namespace vyn::test {

// The core tables (symbols, words, the global context) and an empty
// externals registry; the registry rows are restored after each test.
class ValueTest : public CoreTables {
protected:
	void SetUp() override {
		CoreTables::SetUp();
		externals::init();
	}
};

inline std::string utf8_of(Cell* s) {
	std::string out;
	uint32_t w = string::width_of(s);
	for (uint8_t* p = string::vs_head(s); p < string::vs_tail(s); p += w) {
		uint32_t cp = unicode::get_unit(p, w);
		if (cp < 0x80) {
			out += char(cp);
		} else if (cp < 0x800) {
			out += char(0xC0 | (cp >> 6));
			out += char(0x80 | (cp & 0x3F));
		} else if (cp < 0x10000) {
			out += char(0xE0 | (cp >> 12));
			out += char(0x80 | ((cp >> 6) & 0x3F));
			out += char(0x80 | (cp & 0x3F));
		} else {
			out += char(0xF0 | (cp >> 18));
			out += char(0x80 | ((cp >> 12) & 0x3F));
			out += char(0x80 | ((cp >> 6) & 0x3F));
			out += char(0x80 | (cp & 0x3F));
		}
	}
	return out;
}

// The text of form through the type's row.
inline std::string form_of(const Cell& value, int32_t part = 0x7FFFFFFF) {
	Cell buffer;
	string::make_at(&buffer, 16);
	actions::form(&value, &buffer, nullptr, part);
	return utf8_of(&buffer);
}

inline std::string mold_of(const Cell& value, bool all = false, bool only = false) {
	Cell buffer;
	string::make_at(&buffer, 16);
	actions::mold(&value, &buffer, only, all, false, nullptr, 0x7FFFFFFF, 0);
	return utf8_of(&buffer);
}

}  // namespace vyn::test

namespace vyn::test {

// Runs an arithmetic worker on a fresh frame holding (a, b); answers a copy
// of the result.
template <typename F>
Cell run_frame(const Cell& a, const Cell& b, F worker) {
	Cell* saved = stack::arguments;
	stack::arguments = stack::top;
	stack::push(&a);
	stack::push(&b);
	Cell out = *worker();
	stack::top = stack::arguments;
	stack::arguments = saved;
	return out;
}

inline Cell int_cell(int32_t n) {
	Cell c;
	cell::make_integer(&c, n);
	return c;
}
inline Cell float_cell(double d, Type t = T_FLOAT) {
	Cell c;
	cell::make_float(&c, d);
	cell::set_type(&c, t);
	return c;
}
// Installs an on-change* handler recording "word old new" for each call.
inline std::vector<std::string>& record_changes() {
	static std::vector<std::string> heard;
	heard.clear();
	context::on_change = [](Cell*, Cell* word, Cell* old_value, Cell* new_value) {
		heard.push_back(std::string(symbol::name(word->data2)) + " " + form_of(*old_value) + " " + form_of(*new_value));
	};
	return heard;
}

inline Cell none() {
	Cell c;
	cell::make_none(&c);
	return c;
}

}  // namespace vyn::test
