// Number text: doubles to decimal text and decimal text to doubles.
//
// Both directions are correctly rounded and independent of the C locale:
// digits come from std::to_chars (shortest round-trip, or n significant
// digits rounded half to even on the exact binary value) and hard decimal
// inputs go to std::from_chars; short literals take an exact path of our own.
// Everything works on caller buffers and allocates nothing.
//
// The runtime's own texts: "1.#INF", "-1.#INF" and "1.#NaN" (NaN has no
// sign); zeros "0.0"/"-0.0" with ".0" completion, "0"/"-0" without.
#pragma once

#include <cstddef>
#include <string_view>

namespace vyn::numconv {

// decpt of a special text instead of digits.
constexpr int DECPT_SPECIAL = 9999;  // infinity or NaN
constexpr int DECPT_ZERO = 9998;

// Most significant digits a digit count can ask for; larger counts are
// clamped to it.
constexpr int MAX_COUNT = 30;
// Room for any text written by form_float or form_general.
constexpr std::size_t TEXT_CAPACITY = 48;

// value = 0.d1d2...dn x 10^decpt, digits without trailing zeros.
// For infinities, NaN and zeros, decpt is DECPT_SPECIAL or DECPT_ZERO and
// text holds the special text (already signed) instead of digits.
struct Digits {
	char text[MAX_COUNT + 2];
	int length;
	int decpt;
	bool negative;  // the sign bit, for every value

	std::string_view view() const { return {text, std::size_t(length)}; }
};

// The decimal digits of d: the shortest that read back as d when count <= 0,
// else `count` significant digits (at most MAX_COUNT). dot_zero picks the
// zero texts "0.0"/"-0.0" over "0"/"-0".
Digits float_to_digits(double d, int count, bool dot_zero);

// Lays out the digits of float_to_digits at out (TEXT_CAPACITY bytes) and
// answers the end of the text. Plain notation while decpt is within
// -6..17 ("0.0000001", "10000000000000000.0"), else the first digit, the
// others after a ".", then "e" and decpt - 1 ("1.2345678901234568e20").
// dot_zero completes a text with no fraction: "100.0", "1.0e17"; without
// it they stay "100", "1e17".
char* form_float(char* out, double d, int count, bool dot_zero);

// What printf's "%.<precision>g" writes in the C locale, with the exponent
// compacted ("1e+020" or "1e+20" is written "1e20", "1e-07" "1e-7").
// precision 0 means 1; above MAX_COUNT it is clamped. Infinities and NaN
// give the special texts. Writes at most TEXT_CAPACITY bytes at out and
// answers the end.
char* form_general(char* out, double d, int precision);

// The double nearest to the decimal number at the start of text:
// optional "+" or "-", digits with an optional "." and fraction, an
// optional exponent ("e" or "E", optional sign, digits), scaled further by
// 10^extra_exponent. A single digit, "." and "#" then "INF" or "NAN" (any
// case) read as infinity (signed) or NaN.
// Magnitudes beyond the largest double give an infinity of the input's
// sign, those below half the smallest subnormal +0.0; the sign is applied
// as 0.0 minus the magnitude, so "-0.0" reads as +0.0.
// unconsumed receives the count of characters after the number (the whole
// text when no digit was found, with 0.0 as the value).
double decimal_to_float(std::string_view text, int extra_exponent, std::size_t& unconsumed);

}  // namespace vyn::numconv
