#include "runtime/number_text.h"

#include <bit>
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
constexpr double POS_INFINITY = std::numeric_limits<double>::infinity();

// Plain notation while decpt is within these bounds.
constexpr int PLAIN_DECPT_MAX = 17;
constexpr int PLAIN_DECPT_MIN = -6;

// Significant digits handed to the exact conversion. A decimal text can need
// up to 768 of them to settle a rounding; past that only whether a non-zero
// digit follows matters, which a single sticky "1" keeps.
constexpr int KEEP_DIGITS = 800;
// A decimal exponent saturates here: beyond it every text is 0 or infinite.
constexpr int64_t EXPONENT_CAP = 1'000'000'000'000;
// value < 10^(mag+1), mag the power of ten of the first significant digit:
// mag above 308 overflows, mag below -325 is under half the smallest subnormal.
constexpr int64_t MAG_OVERFLOW = 308;
constexpr int64_t MAG_UNDERFLOW = -325;

constexpr double EXACT_POWERS[] = {
	1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10, 1e11,
	1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22,
};
constexpr int EXACT_POWER_MAX = 22;
constexpr uint64_t EXACT_INTEGER_MAX = uint64_t(1) << 53;
// Digits accumulated into a 64-bit mantissa without overflow.
constexpr int64_t MANTISSA_DIGITS = 19;

bool is_digit(char c) { return static_cast<unsigned char>(c - '0') < 10; }

char* put(char* out, const char* s, int n) {
	std::memcpy(out, s, std::size_t(n));
	return out + n;
}

char* put(char* out, std::string_view s) { return put(out, s.data(), int(s.size())); }

char* put_zeros(char* out, int n) {
	std::memset(out, '0', std::size_t(n));
	return out + n;
}

// The special text of a value whose exponent bits are all ones.
std::string_view special_text(uint64_t bits) {
	if (bits & MANTISSA_BITS) return "1.#NaN";
	return (bits & SIGN_BIT) ? "-1.#INF" : "1.#INF";
}

// The special text of an infinity, NaN or zero; empty for other values.
std::string_view special_of(uint64_t bits, bool dot_zero) {
	if ((bits & EXPONENT_BITS) == EXPONENT_BITS) return special_text(bits);
	if (bits & ~SIGN_BIT) return {};
	std::string_view zero = dot_zero ? "-0.0" : "-0";
	return (bits & SIGN_BIT) ? zero : zero.substr(1);
}

int clamp_count(int count) { return count > MAX_COUNT ? MAX_COUNT : count; }

// Decimal digits of a positive finite value, read out of to_chars'
// scientific text in place: "d.ddde+xx" becomes "dddd" from buf + start.
struct Scientific {
	char buf[64];
	int start;
	int length;  // without trailing zeros
	int decpt;
};

void scientific(double magnitude, int count, Scientific& s) {
	char* end = count <= 0
		? std::to_chars(s.buf, s.buf + sizeof s.buf, magnitude, std::chars_format::scientific).ptr
		: std::to_chars(s.buf, s.buf + sizeof s.buf, magnitude, std::chars_format::scientific, clamp_count(count) - 1).ptr;
	const char* e = static_cast<const char*>(std::memchr(s.buf, 'e', std::size_t(end - s.buf)));
	s.start = 0;
	if (s.buf[1] == '.') {
		s.buf[1] = s.buf[0];
		s.start = 1;
	}
	s.length = int(e - s.buf) - s.start;
	while (s.length > 1 && s.buf[s.start + s.length - 1] == '0') s.length--;
	int exponent = 0;
	for (const char* p = e + 2; p < end; p++) exponent = exponent * 10 + (*p - '0');
	s.decpt = (e[1] == '-' ? -exponent : exponent) + 1;
}

// Lays out the digits of a non-zero finite value.
char* layout(char* out, const char* digits, int n, int decpt, bool dot_zero) {
	if (decpt > PLAIN_DECPT_MAX || decpt < PLAIN_DECPT_MIN) {
		*out++ = digits[0];
		if (n > 1) {
			*out++ = '.';
			out = put(out, digits + 1, n - 1);
		} else if (dot_zero) {
			out = put(out, ".0");
		}
		*out++ = 'e';
		return std::to_chars(out, out + 8, decpt - 1).ptr;
	}
	if (decpt <= 0) {
		out = put(out, "0.");
		out = put_zeros(out, -decpt);
		return put(out, digits, n);
	}
	if (n <= decpt) {
		out = put(out, digits, n);
		out = put_zeros(out, decpt - n);
		return dot_zero ? put(out, ".0") : out;
	}
	out = put(out, digits, decpt);
	*out++ = '.';
	return put(out, digits + decpt, n - decpt);
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

// What one scan of a decimal text found.
struct Decimal {
	const char* int_begin;
	const char* int_end;
	const char* frac_begin;
	const char* frac_end;
	int64_t leading = 0;     // zeros before the first significant digit
	int64_t significant = 0; // digits from the first non-zero one on
	uint64_t mantissa = 0;   // the first MANTISSA_DIGITS significant digits
	int64_t exponent = 0;    // the exponent text, saturated, plus the extra
};

const char* scan_digits(const char* p, const char* end, Decimal& x) {
	if (x.significant == 0) {
		const char* zeros = p;
		while (p < end && *p == '0') p++;
		x.leading += p - zeros;
	}
	const char* first = p;
	while (p < end && is_digit(*p)) p++;
	int64_t room = x.significant < MANTISSA_DIGITS ? MANTISSA_DIGITS - x.significant : 0;
	const char* last = room < p - first ? first + room : p;
	uint64_t m = x.mantissa;  // a local: stores through x could alias the text
	for (const char* q = first; q < last; q++) m = m * 10 + unsigned(*q - '0');
	x.mantissa = m;
	x.significant += p - first;
	return p;
}

// Saturating read of exponent digits; answers the end of the digits.
const char* scan_exponent(const char* p, const char* end, int64_t& e) {
	e = 0;
	for (; p < end && is_digit(*p); p++) {
		if (e < EXPONENT_CAP) e = e * 10 + (*p - '0');
	}
	return p;
}

// Power of ten of the first significant digit.
int64_t mag_of(const Decimal& x) { return (x.int_end - x.int_begin) - 1 - x.leading + x.exponent; }

// A mantissa below 2^53 scaled by an exact power of ten: one correctly
// rounded operation gives the correctly rounded result.
bool exact_path(const Decimal& x, double& out) {
	if (x.significant > MANTISSA_DIGITS || x.mantissa > EXACT_INTEGER_MAX) return false;
	int64_t scale = x.exponent - (x.frac_end - x.frac_begin);
	double m = double(x.mantissa);
	if (scale >= 0 && scale <= EXACT_POWER_MAX) {
		out = m * EXACT_POWERS[scale];
		return true;
	}
	if (scale < 0 && scale >= -EXACT_POWER_MAX) {
		out = m / EXACT_POWERS[-scale];
		return true;
	}
	// m x 10^(scale-22) may still be an exact integer: then two exact steps.
	if (scale > EXACT_POWER_MAX && scale - EXACT_POWER_MAX <= EXACT_POWER_MAX) {
		double head = m * EXACT_POWERS[scale - EXACT_POWER_MAX];
		if (head < double(EXACT_INTEGER_MAX)) {
			out = head * EXACT_POWERS[EXACT_POWER_MAX];
			return true;
		}
	}
	return false;
}

// The significant digits of a decimal text, at most KEEP_DIGITS of them
// followed by a sticky "1" when a non-zero digit was dropped, then "e" and
// the exponent: a text every exact reader takes at its face value.
struct Normalized {
	char text[KEEP_DIGITS + 32];
	int count = 0;
	int to_nonzero = 0;  // digits up to the last non-zero one
	bool sticky = false;
};

void normalize_part(const char* p, const char* end, Normalized& n) {
	for (; p < end; p++) {
		if (n.count < KEEP_DIGITS) {
			n.text[n.count++] = *p;
			if (*p != '0') n.to_nonzero = n.count;
		} else if (*p != '0') {
			n.sticky = true;
		}
	}
}

// Reads the significant digits through from_chars.
double exact_read(const Decimal& x, int64_t mag) {
	Normalized n;
	int64_t skip = x.leading;
	int64_t int_count = x.int_end - x.int_begin;
	normalize_part(x.int_begin + (skip < int_count ? skip : int_count), x.int_end, n);
	skip = skip > int_count ? skip - int_count : 0;
	normalize_part(x.frac_begin + skip, x.frac_end, n);
	n.count = n.to_nonzero;
	if (n.sticky) n.text[n.count++] = '1';
	char* end = n.text + n.count;
	*end++ = 'e';
	end = std::to_chars(end, n.text + sizeof n.text, mag + 1 - n.count).ptr;
	double v;
	auto r = std::from_chars(n.text, end, v);
	if (r.ec == std::errc::result_out_of_range) return mag >= 0 ? POS_INFINITY : 0.0;
	return v;
}

double magnitude_of(const Decimal& x) {
	if (x.significant == 0) return 0.0;
	double v;
	if (exact_path(x, v)) return v;
	int64_t mag = mag_of(x);
	if (mag > MAG_OVERFLOW) return POS_INFINITY;
	if (mag < MAG_UNDERFLOW) return 0.0;
	return exact_read(x, mag);
}

// Reads the unsigned number at p scaled by 10^extra; stop receives its end,
// p itself when there is no digit.
double read_scaled(const char* p, const char* end, int extra, const char*& stop) {
	Decimal x;
	x.int_begin = p;
	x.int_end = x.frac_begin = x.frac_end = scan_digits(p, end, x);
	if (x.int_end < end && *x.int_end == '.') {
		x.frac_begin = x.int_end + 1;
		x.frac_end = scan_digits(x.frac_begin, end, x);
	}
	if (x.int_end == x.int_begin && x.frac_end == x.frac_begin) {
		stop = p;
		return 0.0;
	}
	stop = x.frac_end;
	if (stop < end && (*stop == 'e' || *stop == 'E')) {
		const char* q = stop + 1;
		bool minus = false;
		if (q < end && (*q == '+' || *q == '-')) minus = *q++ == '-';
		if (q < end && is_digit(*q)) {
			stop = scan_exponent(q, end, x.exponent);
			if (minus) x.exponent = -x.exponent;
		}
	}
	x.exponent += extra;
	return magnitude_of(x);
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
		value = negative ? -POS_INFINITY : POS_INFINITY;
	} else if (same_letters(p + 3, "nan")) {
		value = std::bit_cast<double>(QUIET_NAN);
	} else {
		return nullptr;
	}
	return p + 6;
}

}  // namespace

Digits float_to_digits(double d, int count, bool dot_zero) {
	uint64_t bits = std::bit_cast<uint64_t>(d);
	Digits out;
	out.negative = (bits & SIGN_BIT) != 0;
	std::string_view special = special_of(bits, dot_zero);
	if (!special.empty()) {
		std::memcpy(out.text, special.data(), special.size());
		out.length = int(special.size());
		out.decpt = (bits & EXPONENT_BITS) == EXPONENT_BITS ? DECPT_SPECIAL : DECPT_ZERO;
		return out;
	}
	Scientific s;
	scientific(std::bit_cast<double>(bits & ~SIGN_BIT), count, s);
	std::memcpy(out.text, s.buf + s.start, std::size_t(s.length));
	out.length = s.length;
	out.decpt = s.decpt;
	return out;
}

char* form_float(char* out, double d, int count, bool dot_zero) {
	uint64_t bits = std::bit_cast<uint64_t>(d);
	std::string_view special = special_of(bits, dot_zero);
	if (!special.empty()) return put(out, special);
	if (bits & SIGN_BIT) *out++ = '-';
	Scientific s;
	scientific(std::bit_cast<double>(bits & ~SIGN_BIT), count, s);
	return layout(out, s.buf + s.start, s.length, s.decpt, dot_zero);
}

char* form_general(char* out, double d, int precision) {
	uint64_t bits = std::bit_cast<uint64_t>(d);
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

	double magnitude;
	const char* stop;
	if (end - p >= 3 && is_digit(p[0]) && p[1] == '.' && p[2] == '#') {
		stop = special_form(p, end, negative, magnitude);
		if (stop) {
			unconsumed = std::size_t(end - stop);
			return magnitude;
		}
	}
	// from_chars reads the same syntax once a sign is taken off and a digit
	// or "." starts the text; it cannot scale, nor tell overflow from
	// underflow, which the scan of our own does.
	std::from_chars_result r{p, std::errc::invalid_argument};
	if (extra_exponent == 0 && p < end && (is_digit(*p) || *p == '.')) r = std::from_chars(p, end, magnitude);
	if (r.ec == std::errc()) {
		stop = r.ptr;
	} else {
		magnitude = read_scaled(p, end, extra_exponent, stop);
	}
	unconsumed = stop == p ? text.size() : std::size_t(end - stop);
	return negative ? -magnitude : magnitude;
}

}  // namespace vyn::numconv
