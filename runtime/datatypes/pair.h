// pair!: a two-dimensional integer coordinate or size, written 10x20.
//
// Cell: word 1 unused; word 2 x, word 3 y, each a signed 32-bit integer.
// Arithmetic never fails on overflow: a result that does not fit an
// integer (an overflowing add, subtract or multiply, a quotient that is not
// whole) is computed again in point2D! arithmetic and gives a point2D!.
#pragma once

#include <cstdint>

#include "runtime/cell.h"
#include "runtime/registry.h"

namespace vyn::pair {

inline int32_t x_of(const Cell* p) { return int32_t(p->data2); }
inline int32_t y_of(const Cell* p) { return int32_t(p->data3); }

Cell* make_at(Cell* out, int32_t x, int32_t y);
// Pushes a new pair on the data stack (raising stack-overflow when full).
Cell* push(int32_t x, int32_t y);
Cell* make_in(const Cell* block, int32_t x, int32_t y);

// The arithmetic worker: the frame's two argument slots, the first a pair!;
// the result (a pair! or a point2D!) replaces it and is answered.
Cell* do_math(MathOp op);
// Negates both coordinates; -2147483648 raises math overflow.
Cell* negate(Cell* p);

void init_type();

}  // namespace vyn::pair
