// point2D!: a two-dimensional coordinate of 32-bit floats, written (1.5, 2).
// The floating-point sibling of pair!: pairs turn into points in mixed
// arithmetic, in comparisons, and when integer pair arithmetic overflows.
//
// Cell: word 1 x, word 2 y, each an IEEE 754 binary32; word 3 unused.
// Arithmetic is computed in double precision and stored back as binary32.
//
// The point namespace holds the coordinate work point3D! shares: n
// coordinates in words 1..n.
#pragma once

#include <bit>
#include <cstdint>

#include "runtime/cell.h"
#include "runtime/registry.h"

namespace vyn::point {

inline float get(const Cell* p, uint32_t i) { return std::bit_cast<float>((&p->data1)[i]); }
inline void put(Cell* p, uint32_t i, float f) { (&p->data1)[i] = std::bit_cast<uint32_t>(f); }

// Coordinates of a point value, or of a pair taken as floats.
struct Coordinates {
	float c[3];
	uint32_t n;
};
Coordinates coordinates_of(const Cell* p);

// Fills `out` with a point of type t (T_POINT2D or T_POINT3D).
Cell* make_at(Cell* out, Type t, const Coordinates& c);

// The arithmetic worker of both point types: the frame's two argument
// slots, the first a point; point2D! also takes pair! operands, point3D!
// only its own type and numbers. The result replaces the first slot.
Cell* do_math(MathOp op);
// The comparison of two coordinate sets of the same count.
int32_t compare(const Coordinates& a, const Coordinates& b, CompareOp op);

// The action row both point types register: every entry looks at the
// type of its value.
ActionRow row();

}  // namespace vyn::point

namespace vyn::point2D {

inline float x_of(const Cell* p) { return point::get(p, 0); }
inline float y_of(const Cell* p) { return point::get(p, 1); }

Cell* make_at(Cell* out, float x, float y);
Cell* push(float x, float y);
Cell* make_in(const Cell* block, float x, float y);

inline Cell* do_math(MathOp op) { return point::do_math(op); }

void init_type();

}  // namespace vyn::point2D
