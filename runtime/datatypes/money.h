// money!: a fixed-point decimal amount with an optional currency.
//
// Cell (16 bytes): header with type id 49 and the sign in bit 14 (set for
// negative); byte 4 the currency index (0: none, else the 1-based position
// of the currency word in the currency list); bytes 5-15 22 packed BCD
// digits, most significant first (digit 1 the high nibble of byte 5),
// 17 before the decimal point and 5 after it.
// Invariant: zero has sign 0; a zero amount is never negative.
//
// Arithmetic works on the amount as an exact integer count of 10^-5 units
// (below 10^22, so it fits 128 bits with room for a product), never in
// binary floating point: $0.1 + $0.2 is exactly $0.30.
#pragma once

#include <cstdint>
#include <string_view>

#include "runtime/cell.h"
#include "runtime/datatypes/spans.h"
#include "runtime/registry.h"

namespace vyn::money {

constexpr uint32_t SIGN_FLAG = 0x4000;
constexpr int DIGITS = 22;
constexpr int INT_DIGITS = 17;
constexpr int FRAC_DIGITS = 5;
constexpr int DIGIT_BYTES = 11;
// The largest fraction given as an integer in a block spec (10^5 - 1).
constexpr int32_t MAX_FRACTION = 99999;

// The count of fraction digits form and mold write, kept in step with
// system/options/money-digits (2 when that is not an integer).
extern int32_t digits_option;

// The amount in 10^-5 units, its sign and its currency.
using Magnitude = unsigned __int128;
struct Amount {
	Magnitude units;
	bool negative;
	uint8_t currency;
};
Amount amount_of(const Cell* m);
// Writes an amount into `out`; raises type-limit naming money! when it does
// not fit 22 digits.
Cell* make_at(Cell* out, const Amount& a);

// Builders from stored parts (deserialising, as-money) and from scanned
// text: the integer digits from `start` to `point` (or `end` when `point`
// is null), the fraction digits after `point`, "'" separators skipped.
// make_from_text answers null when the currency code (empty for none) is
// unknown or the digits do not fit 17 + 5.
Cell* make_at(Cell* out, bool negative, uint32_t currency, const uint8_t* digit_bytes);
Cell* make_from_text(Cell* out, bool negative, std::string_view currency, const uint8_t* start,
	const uint8_t* point, const uint8_t* end);

// Money text, as to money! and the lexer's helper read it: an optional
// sign, an optional three-letter currency code followed by "$" (at least 5
// characters in all), else an optional "$"; digits with "'" separators
// (not doubled, not first, not last, not after the point) and at most one
// "." (not first, not last). Answers false, leaving `out` as it was, for
// anything else or an amount that does not fit.
bool scan(const spans::Units& text, Cell* out);

// Pushed conversions. from_float raises bad-make-arg naming money! for an
// infinity, NaN, a magnitude of 1e17 or more, a non-zero magnitude below
// 1e-5 and, when `strict`, more than 5 fraction digits in the shortest text
// of the float (without `strict` they are dropped).
Cell* from_integer(int32_t n);
Cell* from_float(double d, bool strict);
// The integer part; type-limit naming integer! when it does not fit.
int32_t to_integer(const Cell* m);
double to_float(const Cell* m);

// The currency list, system/locale/currencies/list: a block of words whose
// 1-based positions are the currency indexes. init_currencies makes it with
// the start-up codes, in the root block (after the words exist).
void init_currencies();
const Cell* currency_list();
// The index of a code (ASCII letter case ignored) or of a word (compared
// by canonical symbol); -1 when absent.
int32_t currency_index(std::string_view code);
int32_t get_currency_index(const Cell* word);
// The code of an index, empty when it is not in the list.
std::string_view currency_code(uint32_t index);
void set_currency(Cell* m, uint32_t index);

inline int32_t get_sign(const Cell* m) { return (m->header & SIGN_FLAG) ? 1 : 0; }
Cell* set_sign(Cell* m, int32_t sign);
bool zero_q(const Cell* m);
inline bool negative_q(const Cell* m) { return get_sign(m) && !zero_q(m); }
inline bool positive_q(const Cell* m) { return !get_sign(m) && !zero_q(m); }
inline int32_t sign_q(const Cell* m) { return zero_q(m) ? 0 : get_sign(m) ? -1 : 1; }
bool overflow_q(double d);   // |d| >= 1e17 (infinities included)
bool underflow_q(double d);  // 0 < |d| < 1e-5

// The arithmetic worker (add, subtract, multiply, divide, remainder) on the
// frame's two argument slots, either of which may be the money!; the
// result replaces the first slot and is answered.
Cell* do_math(MathOp op);

Cell* make(Cell* proto, Cell* spec, Type type);
Cell* to(Cell* proto, Cell* spec, Type type);
int32_t form(const Cell* value, Cell* buffer, const Cell* arg, int32_t part);
int32_t mold(const Cell* value, Cell* buffer, bool only, bool all, bool flat, const Cell* arg,
	int32_t part, int32_t indent);
int32_t compare(const Cell* value1, const Cell* value2, CompareOp op);
Cell* round(Cell* value, const Cell* scale, bool even, bool down, bool half_down, bool floor, bool ceiling,
	bool half_ceiling);
Cell* pick(Cell* m, int32_t index, const Cell* boxed);
Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* gparent, Cell* previous,
	int32_t index, bool case_sensitive, bool get, bool last, bool notify);

void init_type();

}  // namespace vyn::money
