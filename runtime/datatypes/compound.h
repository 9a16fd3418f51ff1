// Helpers shared by the compound value types (pair!, the points, tuple!,
// vector!, money!, handle!, ref!): text output for form and mold, words of
// path selectors, loading one value from a string, and telling the owner
// when a path set changed a value in place.
#pragma once

#include <cstdint>
#include <string_view>

#include "runtime/cell.h"
#include "runtime/datatypes/string.h"
#include "runtime/evaluator/stack.h"

namespace vyn::compound {

// Appends ASCII text; answers the part limit less its length.
inline int32_t emit(Cell* buffer, std::string_view text, int32_t part) {
	string::append_literal(buffer, text);
	return part - int32_t(text.size());
}

// True when the cell is a word! naming the symbol (letter case ignored).
bool is_word(const Cell* c, uint32_t symbol);

// The value of a string's whole text (to pair!, to tuple! ...): none when
// the text holds no value or more than one.
void load_one(Cell* text, Cell* out);

// After a path set changed `parent` in place: when the path's parent
// `gparent` is an object with change handlers, its on-change* runs with
// the field word `previous`, the old and the new value; else, when gparent
// is an owned series, the ownership check runs with set-path.
void notify_set(Cell* gparent, Cell* previous, const Cell& old, const Cell* parent, int32_t index, bool notify);

}  // namespace vyn::compound
