// Helpers shared by the string-family tests: the string types registered,
// values built from UTF-8 literals, and their text read back as UTF-8.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "runtime/case_folding.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/char.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/email.h"
#include "runtime/datatypes/file.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/tag.h"
#include "runtime/datatypes/url.h"
#include "runtime/evaluator/actions.h"
#include "runtime/utf8.h"
#include "tests/unit/core_tables.h"

namespace vyn::test {

// The core tables (symbols, words, ownership) and the string family's rows.
class StringTest : public CoreTables {
protected:
	void SetUp() override {
		CoreTables::SetUp();
		ownership::init();
		series::init_type();
		block::init_type();
		string::init_type();
		integer::init_type();
		char_::init_type();
		url::init_type();
		file::init_type();
		tag::init_type();
		email::init_type();
	}
};

// A value of the type holding the UTF-8 text (width as the loader picks
// it: 1 up to U+00FF).
inline Cell str(std::string_view utf8, Type type = T_STRING) {
	Cell c;
	string::load_at(&c, utf8);
	cell::set_type(&c, type);
	return c;
}

// A value of the type at an exact width.
inline Cell wide(const std::u32string& text, uint32_t width, Type type = T_STRING) {
	return make_string(text, width, type);
}

// The text from the head, as UTF-8.
inline std::string utf8(Cell value) {
	std::string out;
	string::Text t = string::text_of(&value);
	for (uint32_t i = 0; i < t.length; i++) {
		uint8_t bytes[4];
		uint32_t n = unicode::encode_utf8(t.unit(i), bytes);
		out.append(reinterpret_cast<char*>(bytes), n);
	}
	return out;
}

inline Cell chr(uint32_t cp) {
	Cell c;
	cell::set(&c, T_CHAR, 0, cp);
	return c;
}

inline Cell int_value(int32_t n) {
	Cell c;
	cell::make_integer(&c, n);
	return c;
}

inline Cell at(Cell series, uint32_t index1) {
	series.data1 = index1 - 1;
	return series;
}

// What form and mold write for a value, as UTF-8.
inline std::string formed(Cell value) {
	Cell out;
	string::make_at(&out, 16);
	actions::form(&value, &out, nullptr, 0x7FFFFFFF);
	return utf8(out);
}

inline std::string molded(Cell value, bool all = false) {
	Cell out;
	string::make_at(&out, 16);
	actions::mold(&value, &out, false, all, false, nullptr, 0x7FFFFFFF, 0);
	return utf8(out);
}

// Puts a stand-in row for another datatype in place for one test and
// restores the registered one afterwards.
class ScopedRow {
public:
	ScopedRow(Type type, const ActionRow& row) : type_(type), saved_(registry::rows[type]) { registry::rows[type] = row; }
	~ScopedRow() { registry::rows[type_] = saved_; }

private:
	Type type_;
	ActionRow saved_;
};

// The codes of the error ids, for comparison with raised().
inline uint32_t code(errors::Id id) { return id.code(); }

}  // namespace vyn::test
