// Helpers shared by the compound value types (pair!, the points, tuple!,
// vector!, money!, handle!, ref!): text output for form and mold, word
// names of path selectors, and loading one value from a string.
#pragma once

#include <cstdint>
#include <string_view>

#include "runtime/cell.h"
#include "runtime/datatypes/string.h"
#include "runtime/evaluator/lexer.h"
#include "runtime/evaluator/stack.h"

namespace vyn::compound {

// Appends ASCII text; answers the part limit less its length.
inline int32_t emit(Cell* buffer, std::string_view text, int32_t part) {
	string::append_literal(buffer, text);
	return part - int32_t(text.size());
}

// ASCII letter case ignored.
inline bool same_name(std::string_view a, std::string_view b) {
	if (a.size() != b.size()) return false;
	for (size_t i = 0; i < a.size(); i++) {
		char x = a[i], y = b[i];
		if (x >= 'A' && x <= 'Z') x = char(x + 32);
		if (y >= 'A' && y <= 'Z') y = char(y + 32);
		if (x != y) return false;
	}
	return true;
}
// The UTF-8 name of a word's symbol.
inline std::string_view word_name(const Cell*) { return {}; }

// The value of a string's whole text (to pair!, to tuple! ...): none when
// the text holds no value or more than one.
inline void load_one(Cell* text, Cell* out) {
	Cell* block = stack::alloc_slot();
	cell::make_none(block);
	lexer::Options o;
	o.one_value = true;
	o.always_block = true;
	uint32_t consumed = 0;
	uint32_t length = string::vs_length(text);
	lexer::scan_string(block, text, -1, o, &consumed);
	Series* b = memory::buffer_of(block);
	if (consumed < length || b->used() != sizeof(Cell))
		cell::make_none(out);
	else
		*out = *b->head_cell();
	stack::pop(1);
}

}  // namespace vyn::compound
