// vector!: a series of machine numbers of one element type and width:
// 8-, 16- or 32-bit integers or characters, 32- or 64-bit floats, or 64-bit
// percents.
//
// Cell: word 1 the head (0-based element index), word 2 the node of a
// series buffer whose unit is the element width in bytes, word 3 the
// element type (T_CHAR, T_INTEGER, T_FLOAT or T_PERCENT).
// Elements are little-endian: integers in two's complement (read sign-
// extended, written as their low bits), chars as unsigned code points,
// floats as binary32 or binary64, percents as the binary64 fraction.
// The series actions vector! does not define itself are string!'s, working
// on elements instead of characters through push_value and set_value.
#pragma once

#include <cstdint>

#include "runtime/cell.h"
#include "runtime/registry.h"

namespace vyn::vector {

inline Type element_type(const Cell* v) { return Type(v->data3); }
uint32_t width_of(const Cell* v);
// Elements from the (clamped) head to the tail.
uint32_t vs_length(Cell* v);

// Raw access for the runtime's own vectors (the GUI backend builds integer
// vectors with these): element addresses from the (clamped) head, moving
// the head, cutting at the head, appending a 32-bit integer's raw bytes
// (integer vectors of width 4).
uint8_t* vs_head(Cell* v);
uint8_t* vs_tail(Cell* v);
inline bool vs_tail_q(Cell* v) { return vs_length(v) == 0; }
void vs_skip(Cell* v, int32_t n);
inline void vs_next(Cell* v) { vs_skip(v, 1); }
void vs_clear(Cell* v);
void vs_append_int(Cell* v, int32_t n);
// Overwrites (or, at the element count, appends) the element at absolute
// index i / inserts one there, moving the rest up; 0 <= i <= count. The
// value's type must be the element type, else invalid-arg.
void vs_poke(Cell* v, uint32_t i, const Cell* value);
void vs_insert(Cell* v, uint32_t i, const Cell* value);

// An empty vector with room for `count` elements (at least one); a size past
// 32 bits raises internal no-memory.
Cell* make_at(Cell* out, uint32_t count, Type element, uint32_t width);
// Appends one element; a value of another type than the element type
// raises invalid-arg with the value.
void append_value(Cell* v, const Cell* value);

// Element access for the series actions.
Cell* push_value(const Cell* v, const uint8_t* element);
void set_value(const Cell* value, uint8_t* element, uint32_t width);
// `out` becomes a block! of the elements from the head.
void to_block(const Cell* v, Cell* out);

// number op vector (the integer!, char! and float! arithmetic hand it
// over): element i becomes `scalar op element`, in place from the head;
// answers the vector.
Cell* do_math_scalar(MathOp op, Cell* scalar, Cell* v);
// The vector's own arithmetic on the frame's two argument slots: with a
// scalar, in place (element op scalar); with a vector, a new vector.
Cell* do_math(MathOp op);

Cell* make(Cell* proto, Cell* spec, Type type);
int32_t form(const Cell* value, Cell* buffer, const Cell* arg, int32_t part);
int32_t mold(const Cell* value, Cell* buffer, bool only, bool all, bool flat, const Cell* arg,
	int32_t part, int32_t indent);
int32_t compare(const Cell* value1, const Cell* value2, CompareOp op);
Cell* insert(Cell* v, Cell* value, int32_t part, bool only, int32_t dup, bool append);
Cell* change(Cell* v, Cell* value, int32_t part, bool only, int32_t dup);

void init_type();

}  // namespace vyn::vector
