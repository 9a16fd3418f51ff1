// integer!: the 32-bit signed integer, and the integer arithmetic worker
// that char! and the mixed cases share.
//
// Cell: word 2 the value in two's complement; words 1 and 3 unused. Code
// that turns an integer cell into a float! in place writes the double over
// words 2-3.
// Arithmetic never wraps: add, subtract and multiply whose exact result
// leaves the 32-bit range, and inexact division, give a float!; an
// overflowing power is recomputed in floating point; what cannot become a
// float raises math overflow. Overflow is detected with the compiler's
// checked operations, never by relying on signed wrap-around.
#pragma once

#include <cstdint>

#include "runtime/cell.h"
#include "runtime/registry.h"

namespace vyn::integer {

inline int32_t get(const Cell* value) { return int32_t(value->data2); }
// Sets the type (flag bits kept) and the value.
inline Cell* make_at(Cell* out, int32_t v) {
	cell::set_type(out, T_INTEGER);
	out->data2 = uint32_t(v);
	return out;
}
Cell* push(int32_t v);
Cell* box(int32_t v);  // the result slot
Cell* make_in(const Cell* block, int32_t v);
int32_t get_first();
int32_t get_first_or_zero();

inline int32_t sign(int32_t v) { return (v > 0) - (v < 0); }
// Raises math overflow for -2147483648.
int32_t abs(int32_t v);
// Decimal text at out (room for 11 characters); answers its end.
char* form_signed(int32_t v, char* out);
// The double in words 2-3 of the cell is NaN or outside the 32-bit range.
bool float_out_of_range(const Cell* value);
// A finite double known to lie within the 32-bit range, truncated toward
// zero; anything else raises type-limit naming integer!.
int32_t from_double(double d);

// left op right for math-op codes 0-7. An add, subtract or multiply that
// overflows turns `cell` into a float! holding the exact result rounded to
// the nearest double and answers 0, as does an inexact divide; without a
// cell, divide truncates toward zero. Any integer result is also stored in
// word 2 of the cell when one is given.
int32_t do_math_op(int32_t left, int32_t right, MathOp op, Cell* cell);
// The arithmetic actions of integer!: the frame's two argument slots, the
// first an integer!; answers the result slot.
Cell* do_math(MathOp op);

// The first min(4, length) bytes from the head, big-endian; 0 when empty.
int32_t from_binary(Cell* binary);
// The issue's name read as 1 to 8 hexadecimal digits (#FF is 255); any
// other name raises invalid-data.
int32_t from_issue(const Cell* issue);

void init_type();

}  // namespace vyn::integer
