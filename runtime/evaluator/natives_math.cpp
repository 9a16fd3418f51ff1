// The number natives: sign tests, max and min, shift, to-hex,
// trigonometry in degrees, logarithms, the compound-scalar builders and as.
#include <algorithm>
#include <cmath>
#include <utility>

#include "runtime/datatypes/constants.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/money.h"
#include "runtime/datatypes/pair.h"
#include "runtime/datatypes/point2d.h"
#include "runtime/datatypes/point3d.h"
#include "runtime/datatypes/tuple.h"
#include "runtime/datatypes/word.h"
#include "runtime/errors.h"
#include "runtime/evaluator/actions.h"
#include "runtime/evaluator/natives.h"
#include "runtime/evaluator/stack.h"
#include "runtime/symbol.h"

namespace vyn::natives {

namespace {

constexpr double PI = 3.14159265358979323846;
// sine and cosine answer exactly 0.0 below this (one float epsilon), so
// that `sine 180` is 0.0 and not 1.2e-16.
constexpr double TRIG_ZERO = 2.220446049250313e-16;

inline Cell* args() { return stack::arguments; }
inline void answer(const Cell* v) { stack::set_result(v); }
inline void answer_logic(bool b) { answer(constants::logic_cell(b)); }
inline void answer_float(double d) {
	Cell r;
	cell::make_float(&r, d);
	answer(&r);
}
inline void answer_integer(int32_t n) {
	Cell r;
	cell::make_integer(&r, n);
	answer(&r);
}

inline bool is_float_like(Type t) { return t == T_FLOAT || t == T_PERCENT || t == T_TIME; }

// ---- sign tests ----

// -1, 0 or 1 for the types sign natives take (a NaN is 0); expect-arg else.
int32_t sign_of(const Cell* v) {
	Type t = cell::type_of(v);
	if (t == T_MONEY) return money::sign_q(v);
	if (t == T_INTEGER) {
		int32_t n = cell::get_integer(v);
		return n > 0 ? 1 : n < 0 ? -1 : 0;
	}
	if (is_float_like(t)) {
		double d = cell::get_double(v);
		return d > 0.0 ? 1 : d < 0.0 ? -1 : 0;
	}
	datatype::fire_call_type(errors::id::script_expect_arg, t, "number");
}

void n_negative_q(bool, const int32_t*) { answer_logic(sign_of(args()) < 0); }
void n_positive_q(bool, const int32_t*) { answer_logic(sign_of(args()) > 0); }
void n_sign_q(bool, const int32_t*) { answer_integer(sign_of(args())); }

bool is_zero(const Cell* v) {
	switch (cell::type_of(v)) {
	case T_MONEY: return money::zero_q(v);
	case T_CHAR:
	case T_INTEGER: return v->data2 == 0;
	case T_TIME:
	case T_PERCENT:
	case T_FLOAT: return cell::get_double(v) == 0.0;
	case T_PAIR: return pair::x_of(v) == 0 && pair::y_of(v) == 0;
	case T_POINT2D:
	case T_POINT3D: {
		point::Coordinates c = point::coordinates_of(v);
		for (uint32_t i = 0; i < c.n; i++)
			if (c.c[i] != 0.0f) return false;
		return true;
	}
	case T_TUPLE: return tuple::zero_q(v);
	default: return false;
	}
}

void n_zero_q(bool, const int32_t*) { answer_logic(is_zero(args())); }

void n_nan_q(bool, const int32_t*) {
	Type t = cell::type_of(args());
	answer_logic((t == T_FLOAT || t == T_PERCENT) && std::isnan(cell::get_double(args())));
}

// ---- max and min ----

inline bool is_number(Type t) { return t == T_INTEGER || t == T_FLOAT || t == T_PERCENT; }
inline bool is_nan(const Cell* v) {
	Type t = cell::type_of(v);
	return (t == T_FLOAT || t == T_PERCENT) && std::isnan(cell::get_double(v));
}
inline bool is_compound(Type t) { return t == T_PAIR || t == T_POINT2D || t == T_POINT3D || t == T_TUPLE; }

inline double number_of(const Cell* v) {
	return cell::is(v, T_INTEGER) ? double(cell::get_integer(v)) : cell::get_double(v);
}

template <typename T>
T pick_extreme(T a, T b, bool greater) {
	return greater ? std::max(a, b) : std::min(a, b);
}

// The extreme of two 32-bit float coordinates; NaN on either side wins.
float float_extreme(float a, float b, bool greater) {
	if (std::isnan(a) || std::isnan(b)) return std::nanf("");
	return pick_extreme(a, b, greater);
}

// Point (or pair taken as floats) against a point, a pair or a number.
void point_extreme(Cell* a, const Cell* b, bool greater) {
	point::Coordinates ca = point::coordinates_of(a);
	point::Coordinates cb;
	if (cell::is(b, T_INTEGER) || cell::is(b, T_FLOAT)) {
		float n = float(number_of(b));
		cb = {{n, n, n}, ca.n};
	} else {
		cb = point::coordinates_of(b);
	}
	for (uint32_t i = 0; i < ca.n; i++) ca.c[i] = float_extreme(ca.c[i], cb.c[i], greater);
	point::make_at(a, cell::type_of(a), ca);
}

// A pair whose coordinates are made 32-bit floats.
void pair_to_point(Cell* p) {
	float x = float(pair::x_of(p)), y = float(pair::y_of(p));
	point2D::make_at(p, x, y);
}

// The integer a number applies to a tuple's bytes: 0..255.
int32_t tuple_operand(const Cell* n) {
	double d = number_of(n);
	if (cell::is(n, T_FLOAT) && (!std::isfinite(d) || d <= -2147483649.0 || d >= 2147483648.0))
		datatype::fire_type(errors::id::script_type_limit, T_INTEGER);
	int32_t i = int32_t(d);
	return std::clamp(i, 0, 255);
}

void tuple_extreme(Cell* a, const Cell* b, bool greater) {
	uint8_t* ab = tuple::bytes_of(a);
	if (cell::is(b, T_TUPLE)) {
		const uint8_t* bb = tuple::bytes_of(b);
		uint32_t n = std::max(tuple::size_of(a), tuple::size_of(b));
		uint8_t out[tuple::MAX_SIZE];
		for (uint32_t i = 0; i < n; i++) out[i] = pick_extreme(ab[i], bb[i], greater);
		tuple::make_at(a, n, out);
		return;
	}
	uint8_t n = uint8_t(tuple_operand(b));
	for (uint32_t i = 0; i < tuple::size_of(a); i++) ab[i] = pick_extreme(ab[i], n, greater);
}

// Component-wise extremes of compound values; false when the pair of types
// is not one of them.
bool compound_extreme(Cell* a, const Cell* b, bool greater) {
	Type tb = cell::type_of(b);
	bool number = tb == T_INTEGER || tb == T_FLOAT;
	for (;;) {
		switch (cell::type_of(a)) {
		case T_PAIR:
			if (tb == T_POINT2D) {
				pair_to_point(a);
				continue;
			}
			if (tb == T_FLOAT) {
				double d = cell::get_double(b);
				if (!std::isfinite(d) || d < -2147483648.0 || d >= 2147483648.0) {
					pair_to_point(a);
					continue;
				}
			}
			if (tb == T_PAIR) {
				pair::make_at(a, pick_extreme(pair::x_of(a), pair::x_of(b), greater),
					pick_extreme(pair::y_of(a), pair::y_of(b), greater));
				return true;
			}
			if (number) {
				int32_t n = tb == T_INTEGER ? cell::get_integer(b) : int32_t(cell::get_double(b));
				pair::make_at(a, pick_extreme(pair::x_of(a), n, greater), pick_extreme(pair::y_of(a), n, greater));
				return true;
			}
			return false;
		case T_POINT2D:
			if (!number && tb != T_PAIR && tb != T_POINT2D) return false;
			point_extreme(a, b, greater);
			return true;
		case T_POINT3D:
			if (!number && tb != T_POINT3D) return false;
			point_extreme(a, b, greater);
			return true;
		case T_TUPLE:
			if (!number && tb != T_TUPLE) return false;
			tuple_extreme(a, b, greater);
			return true;
		default: return false;
		}
	}
}

void max_min(bool greater) {
	Cell a = args()[0], b = args()[1];
	Type ta = cell::type_of(&a), tb = cell::type_of(&b);
	if (is_nan(&a) && is_number(tb)) return answer(&a);
	if (is_nan(&b) && is_number(ta)) return answer(&b);
	if (is_compound(tb) && (ta == T_INTEGER || ta == T_FLOAT)) std::swap(a, b);
	if (compound_extreme(&a, &b, greater)) return answer(&a);
	Cell v1 = args()[0], v2 = args()[1];
	bool less = actions::compare(&v1, &v2, COMP_LESSER);
	// Ties give value1 for max and value2 for min.
	if (greater) return answer(less ? &v2 : &v1);
	answer(less ? &v1 : &v2);
}

void n_max(bool, const int32_t*) { max_min(true); }
void n_min(bool, const int32_t*) { max_min(false); }

// ---- bits and hexadecimal ----

void n_shift(bool, const int32_t* refs) {
	Shift mode = refs[0] >= 0 ? Shift::left : refs[1] >= 0 ? Shift::logical : Shift::right;
	answer_integer(shift(cell::get_integer(args()), cell::get_integer(args() + 1), mode));
}

void n_to_hex(bool, const int32_t* refs) {
	static constexpr char HEX[] = "0123456789ABCDEF";
	uint32_t u = uint32_t(cell::get_integer(args()));
	char digits[9];
	for (int i = 7; i >= 0; i--, u >>= 4) digits[i] = HEX[u & 15];
	digits[8] = 0;
	int32_t keep = 8;
	if (refs[0] >= 0) {
		const Cell* length = args() + refs[0];
		keep = cell::get_integer(length);
		if (keep <= 0) errors::fire(errors::id::script_invalid_arg, length);
		keep = std::min(keep, 8);
	}
	answer(issue::load(digits + 8 - keep));
}

// ---- trigonometry, logarithms, powers ----

// The argument as a float: an integer by value, a percent retyped.
double float_arg(const Cell* v) { return number_of(v); }

// Degrees reduced to -180..180 and then into the function's own quarter.
enum class Trig { sine, cosine, tangent };

double radians_of(double angle, Trig fn) {
	double d = std::fmod(angle, 360.0);
	if (d > 180.0 || d < -180.0) d += d < 0 ? 360.0 : -360.0;
	if (d > 90.0 || d < -90.0) {
		if (fn == Trig::tangent) d += d < 0 ? 180.0 : -180.0;
		else if (fn == Trig::sine) d = d < 0 ? -180.0 - d : 180.0 - d;
	}
	return d * PI / 180.0;
}

template <Trig Fn>
void trig(bool, const int32_t* refs) {
	double r = float_arg(args());
	if (refs[0] < 0) r = radians_of(r, Fn);
	double out;
	if constexpr (Fn == Trig::tangent) {
		if (r == PI / 2) out = HUGE_VAL;
		else if (r == -PI / 2) out = -HUGE_VAL;
		else out = std::tan(r);
	} else {
		out = Fn == Trig::sine ? std::sin(r) : std::cos(r);
		if (std::fabs(out) < TRIG_ZERO) out = 0.0;
	}
	answer_float(out);
}

template <double (*Fn)(double)>
void arc(bool, const int32_t* refs) {
	double r = Fn(float_arg(args()));
	answer_float(refs[0] >= 0 ? r : r * 180.0 / PI);
}

void n_arctangent2(bool, const int32_t* refs) {
	double r = std::atan2(float_arg(args()), float_arg(args() + 1));
	answer_float(refs[0] >= 0 ? r : r * 180.0 / PI);
}

double log_2(double d) { return std::log(d) / 0.6931471805599453; }
double exp_e(double d) { return std::pow(2.718281828459045, d); }
double asin_of(double d) { return std::asin(d); }
double acos_of(double d) { return std::acos(d); }
double atan_of(double d) { return std::atan(d); }
double log10_of(double d) { return std::log10(d); }
double log_of(double d) { return std::log(d); }
double sqrt_of(double d) { return std::sqrt(d); }

template <double (*Fn)(double)>
void unary(bool, const int32_t*) {
	answer_float(Fn(float_arg(args())));
}

// ---- compound builders ----

int32_t pair_coordinate(const Cell* v) {
	if (cell::is(v, T_INTEGER)) return cell::get_integer(v);
	double d = std::trunc(cell::get_double(v));
	// Not finite, or past the 32-bit range (no defined truncation).
	if (!std::isfinite(d) || d < -2147483648.0 || d >= 2147483648.0) errors::fire(errors::id::script_invalid_arg, v);
	return int32_t(d);
}

void n_as_pair(bool, const int32_t*) {
	Cell r;
	pair::make_at(&r, pair_coordinate(args()), pair_coordinate(args() + 1));
	answer(&r);
}

inline float point_coordinate(const Cell* v) { return float(number_of(v)); }

void n_as_point2d(bool, const int32_t*) {
	Cell r;
	point2D::make_at(&r, point_coordinate(args()), point_coordinate(args() + 1));
	answer(&r);
}

void n_as_point3d(bool, const int32_t*) {
	Cell r;
	point3D::make_at(&r, point_coordinate(args()), point_coordinate(args() + 1), point_coordinate(args() + 2));
	answer(&r);
}

void n_as_money(bool, const int32_t*) {
	const Cell* word = args();
	int32_t index = money::currency_index(symbol::name(word->data2));
	if (index < 0) errors::fire(errors::id::script_bad_denom, word);
	const Cell* amount = args() + 1;
	Cell* m = cell::is(amount, T_INTEGER) ? money::from_integer(cell::get_integer(amount))
										  : money::from_float(cell::get_double(amount), false);
	money::set_currency(m, uint32_t(index));
	answer(m);
}

// ---- as ----

inline bool block_group(Type t) { return t == T_BLOCK || t == T_PAREN || (t >= T_PATH && t <= T_GET_PATH); }
inline bool string_group(Type t) {
	return t == T_STRING || t == T_FILE || t == T_URL || t == T_TAG || t == T_EMAIL || t == T_REF;
}

void n_as(bool, const int32_t*) {
	const Cell* type = args();
	Cell spec = args()[1];
	Type target = cell::is(type, T_DATATYPE) ? datatype::get(type) : cell::type_of(type);
	Type from = cell::type_of(&spec);
	if (!(block_group(target) && block_group(from)) && !(string_group(target) && string_group(from))) {
		Cell a, b;
		datatype::make_at(&a, from);
		datatype::make_at(&b, target);
		errors::fire(errors::id::script_not_same_class, &a, &b);
	}
	cell::set_type(&spec, target);
	answer(&spec);
}

}  // namespace

void register_math() {
	set(N_NEGATIVE_Q, n_negative_q);
	set(N_POSITIVE_Q, n_positive_q);
	set(N_SIGN_Q, n_sign_q);
	set(N_ZERO_Q, n_zero_q);
	set(N_NAN_Q, n_nan_q);
	set(N_MAX, n_max);
	set(N_MIN, n_min);
	set(N_SHIFT, n_shift);
	set(N_TO_HEX, n_to_hex);
	set(N_SINE, trig<Trig::sine>);
	set(N_COSINE, trig<Trig::cosine>);
	set(N_TANGENT, trig<Trig::tangent>);
	set(N_ARCSINE, arc<asin_of>);
	set(N_ARCCOSINE, arc<acos_of>);
	set(N_ARCTANGENT, arc<atan_of>);
	set(N_ARCTANGENT2, n_arctangent2);
	set(N_LOG_2, unary<log_2>);
	set(N_LOG_10, unary<log10_of>);
	set(N_LOG_E, unary<log_of>);
	set(N_EXP, unary<exp_e>);
	set(N_SQUARE_ROOT, unary<sqrt_of>);
	set(N_AS_PAIR, n_as_pair);
	set(N_AS_POINT2D, n_as_point2d);
	set(N_AS_POINT3D, n_as_point3d);
	set(N_AS_MONEY, n_as_money);
	set(N_AS, n_as);
}

int32_t shift(int32_t data, int32_t bits, Shift mode) {
	if (bits < 0) bits = 0;
	uint32_t u = uint32_t(data);
	switch (mode) {
	case Shift::left: return bits > 31 ? 0 : int32_t(u << bits);
	case Shift::logical: return bits > 31 ? 0 : int32_t(u >> bits);
	default: return bits > 31 ? (data < 0 ? -1 : 0) : data >> bits;  // arithmetic: defined since C++20
	}
}

}  // namespace vyn::natives
