#include "runtime/number_text.h"

#include <charconv>
#include <cstdint>
#include <cstring>
#include <limits>

namespace vyn::numconv {

namespace {

constexpr uint64_t SIGN_BIT = uint64_t(1) << 63;
constexpr uint64_t EXPONENT_BITS = uint64_t(0x7FF) << 52;
constexpr uint64_t MANTISSA_BITS = (uint64_t(1) << 52) - 1;
constexpr uint64_t QUIET_NAN = 0x7FF8000000000000u;

// Plain notation while decpt is within these bounds.
constexpr int PLAIN_DECPT_MAX = 17;
constexpr int PLAIN_DECPT_MIN = -6;

// Significant digits handed to the exact conversion. A decimal text can need
// up to 768 of them to settle a rounding; past that only whether a non-zero
// digit follows matters, which a single sticky "1" keeps.
constexpr int KEEP_DIGITS = 800;
// A decimal exponent saturates here: beyond it every text is 0 or infinite.
constexpr int64_t EXPONENT_CAP = 1'000'000'000'000;
// value < 10^(mag+1): mag above 308 overflows, mag below -325 is under half
// the smallest subnormal.
constexpr int64_t MAG_OVERFLOW = 308;
constexpr int64_t MAG_UNDERFLOW = -325;

constexpr double EXACT_POWERS[] = {
	1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10, 1e11,
	1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22,
};
constexpr int EXACT_POWER_MAX = 22;
// Integers below 10^15 are exact in a double.
constexpr int EXACT_DIGITS = 15;

uint64_t bits_of(double d) {
	uint64_t b;
	std::memcpy(&b, &d, sizeof b);
	return b;
}

double from_bits(uint64_t b) {
	double d;
	std::memcpy(&d, &b, sizeof d);
	return d;
}

bool is_digit(char c) { return static_cast<unsigned char>(c - '0') < 10; }

char* put(char* out, std::string_view s) {
	std::memcpy(out, s.data(), s.size());
	return out + s.size();
}

char* put_zeros(char* out, int n) {
	std::memset(out, '0', std::size_t(n));
	return out + n;
}

// The special text of a value whose exponent bits are all ones.
std::string_view special_text(uint64_t bits) {
	if (bits & MANTISSA_BITS) return "1.#NaN";
	return (bits & SIGN_BIT) ? "-1.#INF" : "1.#INF";
}

Digits special_digits(std::string_view text, int decpt, bool negative) {
	Digits r;
	std::memcpy(r.text, text.data(), text.size());
	r.length = int(text.size());
	r.decpt = decpt;
	r.negative = negative;
	return r;
}

int clamp_count(int count) { return count > MAX_COUNT ? MAX_COUNT : count; }

// Reads the scientific text of to_chars ("d[.ddd]e[+-]xx") into r.
void take_scientific(const char* p, const char* end, Digits& r) {
	int n = 0;
	r.text[n++] = *p++;
	if (*p == '.') {
		for (p++; is_digit(*p); p++) r.text[n++] = *p;
	}
	while (n > 1 && r.text[n - 1] == '0') n--;
	r.length = n;
	p++;  // 'e'
	bool minus = *p == '-';
	p++;  // the exponent always has a sign
	int e = 0;
	std::from_chars(p, end, e);
	r.decpt = (minus ? -e : e) + 1;
}

// Rewrites an exponent at e ("e+20", "e-07") without "+" and leading zeros.
char* compact_exponent(char* e, char* end) {
	char* w = e + 1;
	const char* r = e + 1;
	if (*r == '+') {
		r++;
	} else if (*r == '-') {
		*w++ = *r++;
	}
	while (r + 1 < end && *r == '0') r++;
	while (r < end) *w++ = *r++;
	return w;
}

// The significant digits of a decimal text: value = d1d2...dn x 10^(mag+1-n).
struct Significand {
	char digits[KEEP_DIGITS + 32];  // room behind them for "e" and an exponent
	int count = 0;
	int kept_to_nonzero = 0;  // digits up to the last non-zero one
	bool seen = false;        // a non-zero digit was met
	bool sticky = false;      // a non-zero digit was dropped past KEEP_DIGITS
	int64_t position = 0;     // power of ten of the next digit
	int64_t mag = 0;          // power of ten of the first non-zero digit
};

void gather(const char* p, const char* end, Significand& s) {
	if (!s.seen) {
		for (; p < end && *p == '0'; p++) s.position--;
		if (p == end) return;
		s.seen = true;
		s.mag = s.position;
	}
	for (; p < end; p++) {
		if (s.count < KEEP_DIGITS) {
			s.digits[s.count++] = *p;
			if (*p != '0') s.kept_to_nonzero = s.count;
		} else if (*p != '0') {
			s.sticky = true;
		}
	}
}

// Digits of at most EXACT_DIGITS scaled by an exact power of ten: one
// correctly rounded operation gives the correctly rounded result.
bool exact_path(const Significand& s, int64_t scale, double& out) {
	if (s.count > EXACT_DIGITS) return false;
	uint64_t m = 0;
	for (int i = 0; i < s.count; i++) m = m * 10 + uint64_t(s.digits[i] - '0');
	double v = double(m);
	if (scale >= 0 && scale <= EXACT_POWER_MAX) {
		out = v * EXACT_POWERS[scale];
	} else if (scale < 0 && scale >= -EXACT_POWER_MAX) {
		out = v / EXACT_POWERS[-scale];
	} else if (scale > EXACT_POWER_MAX && scale <= EXACT_POWER_MAX + EXACT_DIGITS - s.count) {
		// m x 10^(scale-22) still has at most 15 digits, so it is exact too.
		out = v * EXACT_POWERS[scale - EXACT_POWER_MAX] * EXACT_POWERS[EXACT_POWER_MAX];
	} else {
		return false;
	}
	return true;
}

double magnitude_of(Significand& s) {
	if (!s.seen) return 0.0;
	if (s.mag > MAG_OVERFLOW) return std::numeric_limits<double>::infinity();
	if (s.mag < MAG_UNDERFLOW) return 0.0;
	s.count = s.kept_to_nonzero;
	if (s.sticky) s.digits[s.count++] = '1';
	int64_t scale = s.mag + 1 - s.count;
	double v;
	if (!s.sticky && exact_path(s, scale, v)) return v;
	char* end = s.digits + s.count;
	*end++ = 'e';
	end = std::to_chars(end, s.digits + sizeof s.digits, scale).ptr;
	auto r = std::from_chars(s.digits, end, v);
	if (r.ec == std::errc::result_out_of_range) {
		return s.mag >= 0 ? std::numeric_limits<double>::infinity() : 0.0;
	}
	return v;
}

bool same_letters(const char* p, const char* word) {
	for (; *word; p++, word++) {
		if ((*p | 0x20) != *word) return false;
	}
	return true;
}

// "d.#INF" or "d.#NAN" (any case) at p, the digit already checked.
// Answers the end of the text, or nullptr when it is not one.
const char* special_form(const char* p, const char* end, bool negative, double& value) {
	if (end - p < 6 || p[1] != '.' || p[2] != '#') return nullptr;
	if (same_letters(p + 3, "inf")) {
		double inf = std::numeric_limits<double>::infinity();
		value = negative ? -inf : inf;
	} else if (same_letters(p + 3, "nan")) {
		value = from_bits(QUIET_NAN);
	} else {
		return nullptr;
	}
	return p + 6;
}

// Saturating read of exponent digits; answers the end of the digits.
const char* read_exponent(const char* p, const char* end, int64_t& e) {
	e = 0;
	for (; p < end && is_digit(*p); p++) {
		if (e < EXPONENT_CAP) e = e * 10 + (*p - '0');
	}
	return p;
}

}  // namespace

Digits float_to_digits(double d, int count, bool dot_zero) {
	uint64_t bits = bits_of(d);
	bool negative = (bits & SIGN_BIT) != 0;
	if ((bits & EXPONENT_BITS) == EXPONENT_BITS) {
		return special_digits(special_text(bits), DECPT_SPECIAL, negative);
	}
	if ((bits & ~SIGN_BIT) == 0) {
		std::string_view zero = dot_zero ? "-0.0" : "-0";
		return special_digits(negative ? zero : zero.substr(1), DECPT_ZERO, negative);
	}
	double magnitude = from_bits(bits & ~SIGN_BIT);
	char sci[64];
	std::to_chars_result r = count <= 0
		? std::to_chars(sci, sci + sizeof sci, magnitude, std::chars_format::scientific)
		: std::to_chars(sci, sci + sizeof sci, magnitude, std::chars_format::scientific, clamp_count(count) - 1);
	Digits out;
	out.negative = negative;
	take_scientific(sci, r.ptr, out);
	return out;
}

char* form_float(char* out, double d, int count, bool dot_zero) {
	Digits g = float_to_digits(d, count, dot_zero);
	std::string_view digits = g.view();
	if (g.decpt == DECPT_SPECIAL || g.decpt == DECPT_ZERO) return put(out, digits);
	if (g.negative) *out++ = '-';
	int n = g.length;
	int decpt = g.decpt;
	if (decpt > PLAIN_DECPT_MAX || decpt < PLAIN_DECPT_MIN) {
		*out++ = digits[0];
		if (n > 1) {
			*out++ = '.';
			out = put(out, digits.substr(1));
		} else if (dot_zero) {
			out = put(out, ".0");
		}
		*out++ = 'e';
		return std::to_chars(out, out + 8, decpt - 1).ptr;
	}
	if (decpt <= 0) {
		out = put(out, "0.");
		out = put_zeros(out, -decpt);
		return put(out, digits);
	}
	if (n <= decpt) {
		out = put(out, digits);
		out = put_zeros(out, decpt - n);
		return dot_zero ? put(out, ".0") : out;
	}
	out = put(out, digits.substr(0, std::size_t(decpt)));
	*out++ = '.';
	return put(out, digits.substr(std::size_t(decpt)));
}

char* form_general(char* out, double d, int precision) {
	uint64_t bits = bits_of(d);
	if ((bits & EXPONENT_BITS) == EXPONENT_BITS) return put(out, special_text(bits));
	if (precision < 1) precision = 1;
	char* end = std::to_chars(out, out + TEXT_CAPACITY, d, std::chars_format::general, clamp_count(precision)).ptr;
	char* e = static_cast<char*>(std::memchr(out, 'e', std::size_t(end - out)));
	return e ? compact_exponent(e, end) : end;
}

double decimal_to_float(std::string_view text, int extra_exponent, std::size_t& unconsumed) {
	const char* p = text.data();
	const char* end = p + text.size();
	bool negative = false;
	if (p < end && (*p == '+' || *p == '-')) negative = *p++ == '-';

	const char* int_begin = p;
	while (p < end && is_digit(*p)) p++;
	const char* int_end = p;
	const char* frac_begin = p;
	const char* frac_end = p;
	if (p < end && *p == '.') {
		double special;
		const char* stop = int_end - int_begin == 1 ? special_form(int_begin, end, negative, special) : nullptr;
		if (stop) {
			unconsumed = std::size_t(end - stop);
			return special;
		}
		frac_begin = p + 1;
		for (frac_end = frac_begin; frac_end < end && is_digit(*frac_end); frac_end++) {}
	}
	if (int_end == int_begin && frac_end == frac_begin) {
		unconsumed = text.size();
		return 0.0;
	}
	if (frac_begin != int_end) p = frac_end;  // a "." was read

	int64_t exponent = 0;
	if (p < end && (*p == 'e' || *p == 'E')) {
		const char* q = p + 1;
		bool minus = false;
		if (q < end && (*q == '+' || *q == '-')) minus = *q++ == '-';
		if (q < end && is_digit(*q)) {
			p = read_exponent(q, end, exponent);
			if (minus) exponent = -exponent;
		}
	}
	unconsumed = std::size_t(end - p);

	Significand s;
	s.position = int64_t(int_end - int_begin) - 1;
	gather(int_begin, int_end, s);
	gather(frac_begin, frac_end, s);
	s.mag += exponent + extra_exponent;
	double magnitude = magnitude_of(s);
	return negative ? 0.0 - magnitude : magnitude;
}

}  // namespace vyn::numconv
