// float!: the 64-bit IEEE 754 binary float, and the float arithmetic
// worker that integer!, char!, percent! and time! hand mixed arithmetic to.
//
// Cell: words 2-3 the binary64 value, low half in word 2; word 1 unused.
// The process runs with round-to-nearest and every exception masked: a
// division by zero gives an infinity and an invalid operation NaN; they
// flow through as values and print as "1.#INF", "-1.#INF" and "1.#NaN".
#pragma once

#include <cstdint>

#include "runtime/cell.h"
#include "runtime/number_text.h"
#include "runtime/registry.h"

namespace vyn::float_ {

// The form switch kept in step with system/options/float/pretty?: it trims
// noisy last digits and prints magnitudes below the double epsilon as zero.
extern bool pretty;
// Follows system/options/float/full?; nothing reads it.
extern bool full;

inline double get(const Cell* value) { return cell::get_double(value); }
// Replaces the whole header.
inline Cell* make_at(Cell* out, double d) {
	cell::make_float(out, d);
	return out;
}
Cell* push(double d);
Cell* push_halves(uint32_t low, uint32_t high);
Cell* box(double d);  // the result slot
Cell* make_in(const Cell* block, double d);

inline double abs(double d) { return __builtin_fabs(d); }
bool is_nan(double d);
bool is_nan32(float f);
bool not_finite(double d);
// Rounds half away from zero (0.5 goes up, -2.7 to -3); a NaN or a result
// outside the 32-bit range raises type-limit naming integer!.
int32_t round_to_int(double d);

// Equal within 10 units in the last place, or closer than the double
// epsilon; NaN equals nothing and an infinity only itself.
bool almost_equal(double a, double b);
// The single-precision twin used by the point types.
bool almost_equal32(float a, float b);

// Text kinds of form_double: 0 32-bit vector floats, 1 float! form and
// 64-bit vector floats, 2 32-bit vector percents, 3 percent! (value x 100
// given), 4 seconds of a time!, 5 point coordinates.
constexpr std::size_t FORM_CAPACITY = numconv::TEXT_CAPACITY + 4;
// Writes the text of d at out (FORM_CAPACITY bytes) and answers its end.
char* form_double(char* out, double d, int kind);

// x op y for math-op codes 0-4; the bitwise codes raise cannot-use.
double do_math_op(double x, double y, MathOp op);
// The float arithmetic on the frame's two argument slots (left integer!,
// float!, percent! or time!); answers the result slot.
Cell* do_math(MathOp op);

// A uniform draw from 0 to d: 31 bits of the generator, or 62 of the
// secure source.
double random_raw(double d, bool secure);

// The comparison of float!, percent! and time! values.
int32_t compare(const Cell* value1, const Cell* value2, CompareOp op);
// The power and round actions of float!, percent! and time!, which
// integer! hands its float cases over to.
Cell* power();
Cell* round(Cell* value, const Cell* scale, bool even, bool down, bool half_down, bool floor, bool ceiling,
	bool half_ceiling);

// One value loaded from the text of a string from its head: unset when it
// holds none, none when more text follows it (to percent!, to time!).
void load_value(Cell* text, Cell* out);

void init_type();

}  // namespace vyn::float_
