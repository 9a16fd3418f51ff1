#include "runtime/datatypes/money.h"

#include <array>
#include <cmath>
#include <cstring>

#include "runtime/context.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/compound.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/extended_math.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/spans.h"
#include "runtime/datatypes/word.h"
#include "runtime/evaluator/stack.h"
#include "runtime/io/random.h"
#include "runtime/symbol.h"
#include "runtime/words.h"
#include "runtime/number_text.h"

namespace vyn::money {

int32_t digits_option = 2;

namespace {

using datatype::fire_type;

constexpr Magnitude pow10(int n) {
	Magnitude p = 1;
	while (n-- > 0) p *= 10;
	return p;
}
constexpr Magnitude LIMIT = pow10(DIGITS);  // first amount that does not fit
constexpr Magnitude UNIT = pow10(FRAC_DIGITS);  // $1
// A product of more digits than this cannot fit once scaled back.
constexpr int PRODUCT_DIGITS = DIGITS + FRAC_DIGITS + 1;

inline uint8_t* digit_bytes(Cell* m) { return reinterpret_cast<uint8_t*>(m) + 5; }
inline const uint8_t* digit_bytes(const Cell* m) { return reinterpret_cast<const uint8_t*>(m) + 5; }
inline uint8_t& currency_byte(Cell* m) { return reinterpret_cast<uint8_t*>(m)[4]; }
inline uint8_t currency_of(const Cell* m) { return reinterpret_cast<const uint8_t*>(m)[4]; }

// Packed BCD bytes (two digits each) to their values 0-99, and back.
constexpr auto BCD_VALUE = [] {
	std::array<uint8_t, 256> t{};
	for (uint32_t i = 0; i < 256; i++) t[i] = uint8_t((i >> 4) * 10 + (i & 0xF));
	return t;
}();
constexpr auto BCD_BYTE = [] {
	std::array<uint8_t, 100> t{};
	for (uint32_t i = 0; i < 100; i++) t[i] = uint8_t((i / 10) << 4 | i % 10);
	return t;
}();
constexpr uint64_t E8 = 100000000ull, E16 = E8 * E8;

// The 22 digits read as 6 + 8 + 8: independent products, no long chain.
inline uint32_t eight_digits(const uint8_t* d) {
	return BCD_VALUE[d[0]] * 1000000u + BCD_VALUE[d[1]] * 10000u + BCD_VALUE[d[2]] * 100u + BCD_VALUE[d[3]];
}
inline void put_eight_digits(uint8_t* d, uint32_t x) {
	d[3] = BCD_BYTE[x % 100];
	d[2] = BCD_BYTE[x / 100 % 100];
	d[1] = BCD_BYTE[x / 10000 % 100];
	d[0] = BCD_BYTE[x / 1000000];
}

Magnitude units_of(const Cell* m) {
	const uint8_t* d = digit_bytes(m);
	uint32_t top = BCD_VALUE[d[0]] * 10000u + BCD_VALUE[d[1]] * 100u + BCD_VALUE[d[2]];
	uint64_t below = uint64_t(eight_digits(d + 3)) * E8 + eight_digits(d + 7);
	return top ? Magnitude(top) * E16 + below : Magnitude(below);
}

// units < LIMIT; amounts below 2^64 units (most) split without a 128-bit
// division.
void put_units(Cell* m, Magnitude units) {
	uint64_t top, below;
	if (units >> 64) {
		top = uint64_t(units / E16);
		below = uint64_t(units % E16);
	} else {
		top = uint64_t(units) / E16;
		below = uint64_t(units) % E16;
	}
	uint8_t* d = digit_bytes(m);
	put_eight_digits(d + 7, uint32_t(below % E8));
	put_eight_digits(d + 3, uint32_t(below / E8));
	d[2] = BCD_BYTE[top % 100];
	d[1] = BCD_BYTE[top / 100 % 100];
	d[0] = BCD_BYTE[top / 10000];
}

// Decimal digits of an amount below LIMIT, from its first non-zero one.
int digit_count(Magnitude u) {
	int n = 0;
	for (Magnitude p = 1; n < DIGITS && u >= p; p *= 10) n++;
	return n;
}

// The currency list at start-up, in order.
constexpr const char* default_codes[] = {
	"AED", "AFN", "ALL", "AMD", "ANG", "AOA", "ARS", "AUD", "AWG", "AZN", "BAM", "BBD", "BDT", "BTC", "BGN", "BHD",
	"BIF", "BMD", "BND", "BOB", "BRL", "BSD", "BTN", "BWP", "BYN", "BZD", "CAD", "CDF", "CHF", "CKD", "CLP", "CNY",
	"COP", "CRC", "CUC", "CUP", "CVE", "CZK", "DJF", "DKK", "DOP", "DZD", "EGP", "ERN", "ETB", "ETH", "EUR", "FJD",
	"FKP", "FOK", "GBP", "GEL", "GGP", "GHS", "GIP", "GMD", "GNF", "GTQ", "GYD", "HKD", "HNL", "HRK", "HTG", "HUF",
	"IDR", "ILS", "IMP", "INR", "IQD", "IRR", "ISK", "JEP", "JMD", "JOD", "JPY", "KES", "KGS", "KHR", "KID", "KMF",
	"KPW", "KRW", "KWD", "KYD", "KZT", "LAK", "LBP", "LKR", "LRD", "LSL", "LYD", "MAD", "MDL", "MGA", "MKD", "MMK",
	"MNT", "MOP", "MRU", "MUR", "MVR", "MWK", "MXN", "MYR", "MZN", "NAD", "NGN", "NIO", "NOK", "NPR", "NZD", "OMR",
	"PAB", "PEN", "PGK", "PHP", "PKR", "PLN", "PND", "PRB", "PYG", "QAR", "VYN", "RON", "RSD", "RUB", "RWF", "SAR",
	"SBD", "SCR", "SDG", "SEK", "SGD", "SHP", "SLL", "SLS", "SOS", "SRD", "SSP", "STN", "SYP", "SZL", "THB", "TJS",
	"TMT", "TND", "TOP", "TRY", "TTD", "TVD", "TWD", "TZS", "UAH", "UGX", "USD", "UYU", "UZS", "VES", "VND", "VUV",
	"WST", "CFA", "XAF", "XCD", "XOF", "CFP", "XPF", "YER", "ZAR", "ZMW",
};

Cell currencies{T_NONE, 0, 0, 0};

spans::Cells listed() {
	if (!cell::is(&currencies, T_BLOCK)) return {nullptr, 0};
	return spans::cells_of(&currencies);
}

inline char lower(char c) { return c >= 'A' && c <= 'Z' ? char(c + 32) : c; }

// ASCII letter case ignored.
bool same_code(std::string_view a, std::string_view b) {
	if (a.size() != b.size()) return false;
	for (size_t i = 0; i < a.size(); i++)
		if (lower(a[i]) != lower(b[i])) return false;
	return true;
}

[[noreturn]] void type_limit(Type t) { fire_type(errors::id::script_type_limit, t); }

[[noreturn]] void bad_make(const Cell* value) { fire_type(errors::id::script_bad_make_arg, T_MONEY, value); }

[[noreturn]] void bad_make_float(double d) {
	Cell f;
	cell::make_float(&f, d);
	bad_make(&f);
}

// The amount of a float's shortest decimal text. `dropped` tells whether
// fraction digits past the fifth were dropped (then |d| exceeds the amount).
Amount float_amount(double d, bool strict, bool* dropped = nullptr) {
	if (std::isnan(d) || overflow_q(d) || underflow_q(d)) bad_make_float(d);
	Amount a{0, false, 0};
	if (dropped) *dropped = false;
	if (d == 0) return a;
	numconv::Digits digits = numconv::float_to_digits(d, 0, false);
	int fraction = digits.length - digits.decpt;
	if (fraction > FRAC_DIGITS) {
		if (strict) bad_make_float(d);
		if (dropped) *dropped = true;
	}
	// Digit i weighs 10^(decpt - 1 - i) dollars, 10^(decpt + 4 - i) units.
	for (int i = 0; i < digits.length && digits.decpt + 4 - i >= 0; i++)
		a.units += Magnitude(digits.text[i] - '0') * pow10(digits.decpt + 4 - i);
	a.negative = digits.negative && a.units;
	return a;
}

Amount integer_amount(int32_t n) {
	uint32_t magnitude = n < 0 ? 0u - uint32_t(n) : uint32_t(n);
	return Amount{Magnitude(magnitude) * UNIT, n < 0, 0};
}

// Money, integer!, float! or percent! (the last two not strict).
Amount operand(const Cell* v) {
	switch (cell::type_of(v)) {
	case T_MONEY: return amount_of(v);
	case T_INTEGER: return integer_amount(cell::get_integer(v));
	case T_FLOAT:
	case T_PERCENT: return float_amount(cell::get_double(v), false);
	default: fire_type(errors::id::script_invalid_type, cell::type_of(v));
	}
}

Amount negated(Amount a) {
	a.negative = !a.negative && a.units;
	return a;
}

Amount add(const Amount& a, const Amount& b) {
	if (a.negative == b.negative) return Amount{a.units + b.units, a.negative, 0};
	if (a.units >= b.units) return Amount{a.units - b.units, a.negative, 0};
	return Amount{b.units - a.units, b.negative, 0};
}

Amount multiply(const Amount& a, const Amount& b) {
	if (digit_count(a.units) + digit_count(b.units) > PRODUCT_DIGITS) type_limit(T_MONEY);
	return Amount{a.units * b.units / UNIT, a.negative != b.negative, 0};
}

// The decimal digits of an amount of units (at least one).
char* units_text(Magnitude u, char* end) {
	char* p = end;
	do {
		*--p = char('0' + int(u % 10));
		u /= 10;
	} while (u);
	return p;
}

double units_to_double(Magnitude units, bool negative) {
	char text[40];
	char* end = text + sizeof text;
	char* start = units_text(units, end);
	std::size_t unconsumed;
	double d = numconv::decimal_to_float(std::string_view(start, size_t(end - start)), -FRAC_DIGITS, unconsumed);
	return negative ? -d : d;
}

// -1, 0 or 1 in numeric order.
int32_t order(const Amount& a, const Amount& b) {
	int sa = a.units == 0 ? 0 : a.negative ? -1 : 1;
	int sb = b.units == 0 ? 0 : b.negative ? -1 : 1;
	if (sa != sb) return sa < sb ? -1 : 1;
	if (a.units == b.units) return 0;
	return (a.units < b.units) == (sa > 0) ? -1 : 1;
}

bool ordering(CompareOp op) { return op >= COMP_LESSER && op <= COMP_GREATER_EQUAL; }
bool exact_match(CompareOp op) { return op == COMP_STRICT_EQUAL || op == COMP_SAME; }
bool find_match(CompareOp op) { return op >= COMP_FIND_CASE; }

int32_t compare_currency(uint8_t a, uint8_t b) {
	if (a == b) return 0;
	if (!a || !b) return a ? 1 : -1;
	int r = currency_code(a).compare(currency_code(b));
	return r < 0 ? -1 : r > 0 ? 1 : a < b ? -1 : 1;
}

int32_t compare_money(const Cell* v1, const Cell* v2, CompareOp op) {
	uint8_t c1 = currency_of(v1), c2 = currency_of(v2);
	if (c1 != c2) {
		bool both = c1 && c2;
		if (ordering(op) && both) errors::fire(errors::id::script_wrong_denom, v1, v2);
		if ((op == COMP_EQUAL || op == COMP_NOT_EQUAL) && both) return 1;
		if (exact_match(op)) return 1;
		if (find_match(op) && c2) return 1;
		if (op == COMP_SORT || op == COMP_CASE_SORT) return compare_currency(c1, c2);
	}
	return order(amount_of(v1), amount_of(v2));
}

// Against a float: numeric order throughout. A float outside money's range
// is never equal to an amount; digits past the fifth fraction digit make
// the float larger in magnitude than its truncated amount.
int32_t compare_float(const Cell* money, double d, CompareOp op) {
	if (std::isnan(d)) {
		if (op == COMP_LESSER || op == COMP_LESSER_EQUAL) return 1;
		if (op == COMP_GREATER || op == COMP_GREATER_EQUAL) return -1;
		return op == COMP_SORT || op == COMP_CASE_SORT ? 0 : 1;
	}
	Amount m = amount_of(money);
	if (overflow_q(d)) return d > 0 ? -1 : 1;
	if (underflow_q(d)) {
		if (m.units) return m.negative ? -1 : 1;
		return d > 0 ? -1 : 1;
	}
	bool dropped;
	Amount f = float_amount(d, false, &dropped);
	int32_t r = order(m, f);
	if (r == 0 && dropped) return d > 0 ? -1 : 1;
	return r;
}

Cell* answer(Cell* out, Amount a, uint8_t currency) {
	a.currency = currency;
	return make_at(out, a);
}

// Text of an amount: sign, currency, "$", integer digits, fraction.
void write_text(const Cell* value, char* out, size_t& length, bool separators, int fraction) {
	Amount a = amount_of(value);
	char* p = out;
	// No sign when the digits written are all zeros: "-$0.00" would load
	// as $0.00.
	Magnitude cut = 1;
	for (int i = fraction < 0 ? 0 : fraction; i < FRAC_DIGITS; i++) cut *= 10;
	if (a.negative && a.units >= cut) *p++ = '-';
	std::string_view code = currency_code(a.currency);
	if (a.currency && !code.empty()) {
		std::memcpy(p, code.data(), code.size());
		p += code.size();
	}
	*p++ = '$';
	char digits[24];
	char* end = digits + sizeof digits;
	char* first = units_text(a.units / UNIT, end);
	int count = int(end - first);
	for (int i = 0; i < count; i++) {
		if (separators && i && (count - i) % 3 == 0) *p++ = '\'';
		*p++ = first[i];
	}
	if (fraction >= 1) {
		uint32_t frac = uint32_t(a.units % UNIT);
		char f[FRAC_DIGITS];
		for (int i = FRAC_DIGITS - 1; i >= 0; i--, frac /= 10) f[i] = char('0' + frac % 10);
		*p++ = '.';
		for (int i = 0; i < fraction; i++) {
			if (separators && i == 3) *p++ = '\'';
			*p++ = f[i];
		}
	}
	length = size_t(p - out);
}

int32_t write(const Cell* value, Cell* buffer, int32_t part, bool separators, bool all) {
	int fraction = all || digits_option > FRAC_DIGITS ? FRAC_DIGITS : digits_option;
	char text[64];
	size_t length;
	write_text(value, text, length, separators, fraction);
	return compound::emit(buffer, std::string_view(text, length), part);
}

// Amounts of the three-value block spec: [currency amount fraction].
Cell* from_block(Cell* out, Cell* spec) {
	spans::Cells cells = spans::cells_of(spec);
	if (cells.count < 1 || cells.count > 3) bad_make(spec);
	const Cell* c = cells.head;
	const Cell* end = c + cells.count;
	uint8_t currency = 0;
	if (cell::is(c, T_WORD)) {
		int32_t index = get_currency_index(c);
		if (index < 0) bad_make(c);
		currency = uint8_t(index);
		c++;
	}
	if (c == end) bad_make(spec);
	Amount a;
	if (cell::is(c, T_INTEGER))
		a = integer_amount(cell::get_integer(c));
	else if (cell::is(c, T_FLOAT))
		a = float_amount(cell::get_double(c), true);
	else
		bad_make(c);
	if (++c < end) {
		if (!cell::is(c - 1, T_INTEGER) || !cell::is(c, T_INTEGER)) bad_make(c);
		int32_t fraction = cell::get_integer(c);
		if (fraction < 0 || fraction > MAX_FRACTION) bad_make(c);
		bool negative = cell::get_integer(c - 1) < 0;
		a = add(a, Amount{Magnitude(fraction), negative, 0});
		if (++c < end) bad_make(c);
	}
	return answer(out, a, currency);
}

}  // namespace

void init_currencies() {
	constexpr int32_t count = int32_t(sizeof default_codes / sizeof *default_codes);
	Cell* list = block::make_in(context::root, count);
	for (const char* code : default_codes) word::make_in_named(list, code);
	currencies = *list;
}

const Cell* currency_list() { return &currencies; }

int32_t currency_index(std::string_view code) {
	spans::Cells list = listed();
	for (uint32_t i = 0; i < list.count; i++)
		if (same_code(symbol::name(list.head[i].data2), code)) return int32_t(i) + 1;
	return -1;
}

int32_t get_currency_index(const Cell* word) {
	spans::Cells list = listed();
	for (uint32_t i = 0; i < list.count; i++)
		if (symbol::same_name(list.head[i].data2, word->data2)) return int32_t(i) + 1;
	return -1;
}

std::string_view currency_code(uint32_t index) {
	spans::Cells list = listed();
	if (index == 0 || index > list.count) return {};
	return symbol::name(list.head[index - 1].data2);
}

Amount amount_of(const Cell* m) {
	Magnitude u = units_of(m);
	return Amount{u, u && get_sign(m), currency_of(m)};
}

Cell* make_at(Cell* out, const Amount& a) {
	if (a.units >= LIMIT) type_limit(T_MONEY);
	cell::set(out, T_MONEY | (a.negative && a.units ? SIGN_FLAG : 0));
	currency_byte(out) = a.currency;
	put_units(out, a.units);
	return out;
}

Cell* make_at(Cell* out, bool negative, uint32_t currency, const uint8_t* digits) {
	cell::set(out, T_MONEY);
	currency_byte(out) = uint8_t(currency);
	std::memcpy(digit_bytes(out), digits, DIGIT_BYTES);
	if (negative && !zero_q(out)) out->header |= SIGN_FLAG;
	return out;
}

Cell* make_from_text(Cell* out, bool negative, std::string_view currency, const uint8_t* start,
	const uint8_t* point, const uint8_t* end) {
	int32_t index = 0;
	if (!currency.empty() && (index = currency_index(currency)) < 0) return nullptr;
	const uint8_t* int_end = point ? point : end;
	Magnitude dollars = 0, fraction = 0;
	int int_digits = 0, frac_digits = 0;
	for (const uint8_t* p = start; p < int_end; p++) {
		if (*p == '\'') continue;
		if (*p < '0' || *p > '9') return nullptr;
		if (int_digits == 0 && *p == '0') continue;
		if (++int_digits > INT_DIGITS) return nullptr;
		dollars = dollars * 10 + (*p - '0');
	}
	for (const uint8_t* p = point ? point + 1 : end; p < end; p++) {
		if (*p == '\'') continue;
		if (*p < '0' || *p > '9' || ++frac_digits > FRAC_DIGITS) return nullptr;
		fraction = fraction * 10 + (*p - '0');
	}
	Magnitude units = dollars * UNIT + fraction * pow10(FRAC_DIGITS - frac_digits);
	return make_at(out, Amount{units, negative, uint8_t(index)});
}

bool scan(const spans::Units& text, Cell* out) {
	// Longer texts cannot hold 22 digits with separators between them.
	constexpr uint32_t LONGEST = 2 * DIGITS + 8;
	if (text.count == 0 || text.count > LONGEST) return false;
	char t[LONGEST];
	for (uint32_t i = 0; i < text.count; i++) {
		uint32_t c = text.at(i);
		if (c > 0x7F) return false;
		t[i] = char(c);
	}
	const char* p = t;
	const char* end = t + text.count;
	bool negative = *p == '-';
	if (*p == '-' || *p == '+') p++;
	std::string_view code;
	auto letter = [](char c) { return (c | 0x20) >= 'a' && (c | 0x20) <= 'z'; };
	if (end - p >= 4 && letter(p[0]) && letter(p[1]) && letter(p[2]) && p[3] == '$') {
		if (text.count < 5) return false;
		code = std::string_view(p, 3);
		p += 4;
	} else if (p < end && *p == '$') {
		p++;
	}
	const char* digits = p;
	const char* point = nullptr;
	bool any_digit = false;
	for (const char* q = p; q < end; q++) {
		if (*q >= '0' && *q <= '9') {
			any_digit = true;
		} else if (*q == '.') {
			if (point || q == digits || q + 1 == end) return false;
			point = q;
		} else if (*q == '\'') {
			if (q == digits || q + 1 == end || point || q[1] == '\'') return false;
		} else {
			return false;
		}
	}
	if (!any_digit) return false;
	Cell result;
	auto b = reinterpret_cast<const uint8_t*>(digits);
	if (!make_from_text(&result, negative, code, b, point ? b + (point - digits) : nullptr, b + (end - digits)))
		return false;
	*out = result;
	return true;
}

Cell* from_integer(int32_t n) { return make_at(stack::alloc_slot(), integer_amount(n)); }

Cell* from_float(double d, bool strict) { return make_at(stack::alloc_slot(), float_amount(d, strict)); }

int32_t to_integer(const Cell* m) {
	Amount a = amount_of(m);
	Magnitude whole = a.units / UNIT;
	if (whole > (a.negative ? Magnitude(2147483648u) : Magnitude(2147483647))) type_limit(T_INTEGER);
	uint32_t w = uint32_t(whole);
	return a.negative ? int32_t(0u - w) : int32_t(w);
}

double to_float(const Cell* m) {
	Amount a = amount_of(m);
	return units_to_double(a.units, a.negative);
}

void set_currency(Cell* m, uint32_t index) { currency_byte(m) = uint8_t(index); }

Cell* set_sign(Cell* m, int32_t sign) {
	m->header = sign ? m->header | SIGN_FLAG : m->header & ~SIGN_FLAG;
	return m;
}

bool zero_q(const Cell* m) {
	const uint8_t* d = digit_bytes(m);
	for (int i = 0; i < DIGIT_BYTES; i++)
		if (d[i]) return false;
	return true;
}

bool overflow_q(double d) { return std::fabs(d) >= 1e17; }
bool underflow_q(double d) {
	double a = std::fabs(d);
	return a > 0 && a < 1e-5;
}

Cell* do_math(MathOp op) {
	Cell* left = stack::arguments;
	Cell* right = left + 1;
	bool left_money = cell::is(left, T_MONEY), right_money = cell::is(right, T_MONEY);
	if (op > OP_REM) datatype::fire_call_type(errors::id::script_cannot_use, T_MONEY);
	if (op == OP_MUL && left_money && right_money) fire_type(errors::id::script_invalid_type, T_MONEY);
	if ((op == OP_DIV || op == OP_REM) && !left_money)
		fire_type(errors::id::script_invalid_type, cell::type_of(left));
	Amount a = operand(left), b = operand(right);
	if (a.currency && b.currency && a.currency != b.currency)
		errors::fire(errors::id::script_wrong_denom, left, right);
	uint8_t currency = b.currency ? b.currency : a.currency;
	switch (op) {
	case OP_ADD: return answer(left, add(a, b), currency);
	case OP_SUB: return answer(left, add(a, negated(b)), currency);
	case OP_MUL: return answer(left, multiply(a, b), currency);
	default: break;
	}
	if (b.units == 0) errors::fire(errors::id::math_zero_divide);
	if (op == OP_REM) return answer(left, Amount{a.units % b.units, a.negative, 0}, currency);
	Amount q{a.units * UNIT / b.units, a.negative != b.negative, 0};
	if (!right_money) return answer(left, q, currency);
	if (q.units >= LIMIT) type_limit(T_MONEY);
	cell::make_float(left, units_to_double(q.units, q.negative && q.units));
	return left;
}

Cell* make(Cell* proto, Cell* spec, Type type) {
	switch (cell::type_of(spec)) {
	case T_WORD: {
		int32_t index = get_currency_index(spec);
		if (index < 0) bad_make(spec);
		return answer(proto, Amount{0, false, 0}, uint8_t(index));
	}
	case T_BLOCK: return from_block(proto, spec);
	default: return to(proto, spec, type);
	}
}

Cell* to(Cell* proto, Cell* spec, Type) {
	switch (cell::type_of(spec)) {
	case T_MONEY: *proto = *spec; return proto;
	case T_INTEGER: return make_at(proto, integer_amount(cell::get_integer(spec)));
	case T_FLOAT: return make_at(proto, float_amount(cell::get_double(spec), true));
	default:
		if (!spans::is_any_string(cell::type_of(spec)) || !scan(spans::units_of(spec), proto))
			fire_type(errors::id::script_bad_to_arg, T_MONEY, spec);
		return proto;
	}
}

int32_t form(const Cell* value, Cell* buffer, const Cell*, int32_t part) { return write(value, buffer, part, true, false); }

int32_t mold(const Cell* value, Cell* buffer, bool, bool all, bool, const Cell*, int32_t part, int32_t) {
	return write(value, buffer, part, false, all);
}

int32_t compare(const Cell* value1, const Cell* value2, CompareOp op) {
	switch (cell::type_of(value2)) {
	case T_MONEY: return compare_money(value1, value2, op);
	case T_INTEGER:
		if (exact_match(op) || find_match(op)) return 1;
		return order(amount_of(value1), integer_amount(cell::get_integer(value2)));
	case T_FLOAT:
	case T_PERCENT:
		if (exact_match(op) || find_match(op)) return 1;
		return compare_float(value1, cell::get_double(value2), op);
	default: return exact_match(op) || find_match(op) ? 1 : COMPARE_UNRELATED;
	}
}

Cell* round(Cell* value, const Cell* scale, bool even, bool down, bool half_down, bool floor, bool ceiling,
	bool half_ceiling) {
	Amount n = amount_of(value);
	if (n.units == 0) return value;
	Magnitude s = UNIT;
	if (scale) {
		switch (cell::type_of(scale)) {
		case T_MONEY: s = amount_of(scale).units; break;
		case T_INTEGER: s = integer_amount(cell::get_integer(scale)).units; break;
		case T_FLOAT: s = float_amount(cell::get_double(scale), true).units; break;
		default: {
			Cell type, word;
			datatype::make_at(&type, cell::type_of(scale));
			series::word_named("round", T_WORD, &word);
			errors::fire(errors::id::script_not_related, &type, &word);
		}
		}
		if (s == 0) return value;
	}
	Magnitude m = n.units, r = m % s;
	Magnitude lower = m - r, upper = r ? m + (s - r) : m;
	// A tie is decided on the whole remainder: exactly half the scale.
	bool tie = r * 2 == s;
	Magnitude nearest = r * 2 < s ? lower : upper;
	Magnitude result;
	if (down)
		result = lower;
	else if (floor)
		result = n.negative ? upper : lower;
	else if (ceiling)
		result = n.negative ? lower : upper;
	else if (even)
		result = tie && (lower / s) % 2 == 0 ? lower : nearest;
	else if (half_down)
		result = tie ? lower : nearest;
	else if (half_ceiling)
		result = tie ? (n.negative ? lower : upper) : nearest;
	else
		result = nearest;
	return make_at(value, Amount{result, n.negative, n.currency});
}

Cell* pick(Cell* m, int32_t index, const Cell* boxed) {
	Cell* out = stack::alloc_slot();
	if (index == 1) {
		spans::Cells list = listed();
		uint8_t currency = currency_of(m);
		if (currency && currency <= list.count)
			word::make_at(list.head[currency - 1].data2, out);
		else
			cell::make_none(out);
		return out;
	}
	if (index == 2) {
		*out = *m;
		set_currency(out, 0);
		return out;
	}
	errors::fire(errors::id::script_out_of_range, boxed);
}

Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell*, Cell*, int32_t, bool, bool, bool, bool) {
	int32_t index = 0;
	if (cell::is(element, T_INTEGER)) {
		index = cell::get_integer(element);
	} else if (compound::is_word(element, words::sym_code)) {
		index = 1;
	} else if (compound::is_word(element, words::sym_amount)) {
		index = 2;
	}
	if (value) errors::fire(errors::id::script_bad_path_set, path ? path : element, element);
	if (index != 1 && index != 2) errors::fire(errors::id::script_invalid_path, path ? path : element, element);
	return pick(parent, index, element);
}

namespace {

template <MathOp Op>
Cell* arithmetic() {
	return do_math(Op);
}

Cell* absolute() {
	Cell* m = stack::arguments;
	m->header &= ~SIGN_FLAG;
	return m;
}

Cell* negate(Cell* m) {
	if (!zero_q(m)) m->header ^= SIGN_FLAG;
	return m;
}

inline int32_t draw(bool secure, int32_t n) { return random::rand_range(secure, n + 1) - 1; }
inline uint32_t raw_draw(bool secure) { return uint32_t(secure ? random::secure_next() : random::next()); }

// A random amount between zero and the amount: from the first significant
// digit down, a draw below the digit frees every digit after it; a draw
// equal to it is kept only one time in a thousand, else drawn again.
Cell* random(Cell* m, bool seed, bool secure, bool) {
	if (seed) {
		random::seed(int32_t(m->data1 ^ m->data2 ^ m->data3 ^ uint32_t(get_sign(m))));
		cell::make_unset(m);
		return m;
	}
	uint8_t digits[DIGITS];
	const uint8_t* d = digit_bytes(m);
	for (int i = 0; i < DIGITS; i++) digits[i] = i % 2 ? d[i / 2] & 0xF : d[i / 2] >> 4;
	int i = 0;
	while (i < DIGITS && digits[i] == 0) i++;
	bool free = false;
	for (; i < DIGITS; i++) {
		if (free) {
			digits[i] = uint8_t(draw(secure, 9));
			continue;
		}
		for (;;) {
			int32_t r = draw(secure, digits[i]);
			if (r < digits[i]) {
				digits[i] = uint8_t(r);
				free = true;
				break;
			}
			if (raw_draw(secure) % 1000 == raw_draw(secure) % 1000) break;
		}
	}
	uint8_t* out = digit_bytes(m);
	for (int k = 0; k < DIGIT_BYTES; k++) out[k] = uint8_t(digits[2 * k] << 4 | digits[2 * k + 1]);
	if (zero_q(m)) m->header &= ~SIGN_FLAG;
	return m;
}

bool units_digit_odd(const Cell* m) { return digit_bytes(m)[8] & 0x10; }
bool even_q(const Cell* m) { return !units_digit_odd(m); }
bool odd_q(const Cell* m) { return units_digit_odd(m); }

}  // namespace

void init_type() {
	ActionRow row{};
	row.make = make;
	row.random = random;
	row.to = to;
	row.form = form;
	row.mold = mold;
	row.eval_path = eval_path;
	row.compare = compare;
	row.absolute = absolute;
	row.add = arithmetic<OP_ADD>;
	row.divide = arithmetic<OP_DIV>;
	row.multiply = arithmetic<OP_MUL>;
	row.negate = negate;
	row.remainder = arithmetic<OP_REM>;
	row.round = round;
	row.subtract = arithmetic<OP_SUB>;
	row.even_q = even_q;
	row.odd_q = odd_q;
	row.pick = pick;
	registry::register_type(T_MONEY, Type(0), "money!", row);
	extended_math::do_math[T_MONEY] = do_math;
	extended_math::money_from_integer = from_integer;
	extended_math::money_from_float = from_float;
	extended_math::money_to_float = to_float;
	extended_math::money_to_integer = to_integer;
}

}  // namespace vyn::money
