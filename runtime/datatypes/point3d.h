// point3D!: a three-dimensional coordinate of 32-bit floats, written
// (1, 2, 3). Built like point2D! (point2d.h) with a third coordinate; it
// takes no pair! or point2D! operand and compares only with its own type.
//
// Cell: words 1, 2, 3 x, y, z, each an IEEE 754 binary32.
#pragma once

#include <cstdint>

#include "runtime/cell.h"
#include "runtime/datatypes/point2d.h"
#include "runtime/registry.h"

namespace vyn::point3D {

Cell* make_at(Cell* out, float x, float y, float z);
Cell* push(float x, float y, float z);
Cell* make_in(const Cell* block, float x, float y, float z);

inline Cell* do_math(MathOp op) { return point::do_math(op); }

void init_type();

}  // namespace vyn::point3D
