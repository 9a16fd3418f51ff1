// The path family (path!, lit-path!, set-path!, get-path!) and paren!:
// blocks of another type, sharing block!'s cell layout and almost every
// action. They differ in how they are molded (a/b/c, 'a/b/c, a/b/c:, :a/b/c,
// (a b)) and in how the interpreter treats them.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace vyn::path {

// Retypes a copy of a block-like cell to `type` and pushes it.
Cell* push_as(const Cell* value, Type type);
// Makes a cell an empty path! of the given capacity (at least 1), head 0.
Cell* make_at(Cell* out, int32_t capacity);

Cell* make(Cell* proto, Cell* spec, Type type);
Cell* to(Cell* proto, Cell* spec, Type type);
int32_t form(const Cell* value, Cell* buffer, const Cell* arg, int32_t part);
int32_t mold(const Cell* value, Cell* buffer, bool only, bool all, bool flat, const Cell* arg, int32_t part,
	int32_t indent);
int32_t mold_paren(const Cell* value, Cell* buffer, bool only, bool all, bool flat, const Cell* arg,
	int32_t part, int32_t indent);

// Registers path! (25), lit-path! (26), set-path! (27), get-path! (28) and
// paren! (6); block! must be registered first.
void init_types();

}  // namespace vyn::path
