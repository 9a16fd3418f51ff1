// ref!: a name written after an at-sign (@name), kept as text. A member of
// the string family: the cell and buffer are string!'s with type id 50,
// the at-sign is not stored, and every action but mold is string!'s.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace vyn::ref {

// A new ref! of UTF-8 text (the name without its at-sign), built in `out`.
Cell* load_at(Cell* out, const uint8_t* bytes, uint32_t size);
// Pushes a copy of the ref.
Cell* push(const Cell* ref);

// The at-sign, then the text as string! forms it, without quoting.
int32_t mold(const Cell* value, Cell* buffer, bool only, bool all, bool flat, const Cell* arg, int32_t part,
	int32_t indent);

void init_type();

}  // namespace vyn::ref
