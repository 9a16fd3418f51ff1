#include "runtime/datatypes/float.h"

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstring>

#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/extended_math.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/unset.h"
#include "runtime/datatypes/block.h"
#include "runtime/evaluator/actions.h"
#include "runtime/evaluator/lexer.h"
#include "runtime/evaluator/stack.h"
#include "runtime/io/random.h"
#include "runtime/memory.h"
#include "runtime/utf8.h"

namespace vyn::float_ {

bool pretty = true;
bool full = false;

namespace {

constexpr uint64_t EXPONENT_BITS = 0x7FF0000000000000ull;
constexpr double EPSILON = 2.220446049250313e-16;

[[noreturn]] void invalid_type(Type t) { datatype::fire_type(errors::id::script_invalid_type, t); }

char* put(char* out, std::string_view text) {
	std::memcpy(out, text.data(), text.size());
	return out + text.size();
}

// The digits of one kind, or of its shorter retry once the first text
// showed a noisy tail.
char* print_kind(char* out, double d, int kind, bool retry) {
	if (retry) return numconv::form_general(out, d, kind == 0 || kind == 4 || kind == 5 ? 5 : 14);
	switch (kind) {
	case 0: case 2: case 5: return numconv::form_general(out, d, 7);
	case 3: return numconv::form_general(out, d, 13);
	case 4: return numconv::form_float(out, d, 6, false);
	default: return numconv::form_general(out, d, 16);
	}
}

// A text as long as the precision allows whose last two digits are "01"
// or "99": the binary value showing through, worth printing shorter.
bool noisy(const char* text, const char* end) {
	if (*text == '-') text++;
	const char* e = static_cast<const char*>(std::memchr(text, 'e', size_t(end - text)));
	const char* digits_end = e ? e : end;
	std::ptrdiff_t length = digits_end - text;
	std::ptrdiff_t limit = !e && *text == '0' ? 17 : 16;
	if (length <= limit) return false;
	return (digits_end[-2] == '0' && digits_end[-1] == '1') || (digits_end[-2] == '9' && digits_end[-1] == '9');
}

// Ordered keys: adjacent doubles differ by 1, both zeros map to 2^63.
uint64_t ordered_key(double d) {
	uint64_t bits = std::bit_cast<uint64_t>(d);
	return bits >> 63 ? 0 - bits : bits + (uint64_t(1) << 63);
}

int32_t three_way(double a, double b) { return (a > b) - (a < b); }

// A NaN operand: every equality and every ordering is false.
int32_t compare_nan(CompareOp op) { return op == COMP_GREATER || op == COMP_GREATER_EQUAL ? -1 : 1; }

int32_t compare_doubles(double a, double b, CompareOp op) {
	switch (op) {
	case COMP_EQUAL: case COMP_NOT_EQUAL: return almost_equal(a, b) ? 0 : 1;
	case COMP_STRICT_EQUAL: return a == b ? 0 : 1;
	case COMP_SAME: return std::bit_cast<uint64_t>(a) == std::bit_cast<uint64_t>(b) ? 0 : 1;
	case COMP_SORT: case COMP_CASE_SORT:
		// NaN sorts after every number, so the order stays total.
		if (std::isnan(a) || std::isnan(b)) return int32_t(std::isnan(a)) - int32_t(std::isnan(b));
		return three_way(a, b);
	default:
		if (std::isnan(a) || std::isnan(b)) return compare_nan(op);
		return three_way(a, b);
	}
}

// A float against a money! value: money's own comparison with the operands
// exchanged, so both orders agree, floats outside money's range included.
int32_t compare_money(double a, const Cell* money, CompareOp op) {
	if (!registry::entry(T_MONEY, A_COMPARE)) return COMPARE_UNRELATED;
	if (std::isnan(a)) return compare_nan(op);
	Cell f;
	make_at(&f, a);
	int32_t r = actions::compare_raw(money, &f, op);
	return r == COMPARE_UNRELATED ? r : -r;
}

struct Rounding {
	bool even, down, half_down, floor, ceiling, half_ceiling;
};

double round_quotient(double q, const Rounding& m) {
	double a = std::fabs(q), low = std::floor(a);
	if (m.down) return std::copysign(low, q);
	if (m.floor) return std::floor(q);
	if (m.ceiling) return std::ceil(q);
	double middle = low + 0.5;
	if (a < middle) return std::copysign(low, q);
	if (a > middle) return std::copysign(std::ceil(a), q);
	if (m.even) return std::copysign(std::fmod(a, 2.0) < 1.0 ? low : std::ceil(a), q);
	if (m.half_down) return std::copysign(low, q);
	if (m.half_ceiling) return std::ceil(q);
	return std::copysign(std::ceil(a), q);
}

// d rounded to a multiple of the scale s (not negative). A scale at or
// below d's own precision, zero included, leaves d as it is.
double round_to_scale(double d, double s, const Rounding& m) {
	if (s == 0.0 || s < std::fabs(d) * 0x1p-53) return d;
	double inverse = s < 1.0 ? 1.0 / s : 0.0;
	if (s >= 1.0 || std::isinf(inverse)) {  // subnormal scales divide directly
		double result = round_quotient(d / s, m) * s;
		if (std::isinf(result) || std::fabs(result) == DBL_MAX) errors::fire(errors::id::math_overflow);
		return result;
	}
	return round_quotient(d * inverse, m) / inverse;
}

double scale_of(const Cell* scale) {
	switch (cell::type_of(scale)) {
	case T_INTEGER: return std::fabs(double(integer::get(scale)));
	case T_FLOAT: case T_PERCENT: case T_TIME: return std::fabs(get(scale));
	default: errors::fire(errors::id::script_invalid_arg, scale);
	}
}

template <MathOp Op>
Cell* arithmetic() {
	return do_math(Op);
}

Cell* absolute() {
	Cell* value = stack::arguments;
	value->data3 &= 0x7FFFFFFFu;
	return value;
}

Cell* negate(Cell* value) {
	cell::put_double(value, -get(value));
	return value;
}

// The seed is the xor of the double's halves; the type is kept.
Cell* random_action(Cell* value, bool seed, bool secure, bool) {
	if (seed) {
		random::seed(int32_t(value->data2 ^ value->data3));
		return unset::box();
	}
	cell::put_double(value, random_raw(get(value), secure));
	return value;
}

bool odd(const Cell* value) {
	double r = std::fmod(std::trunc(get(value)), 2.0);
	return r == 1.0 || r == -1.0;
}
bool even(const Cell* value) { return !odd(value); }

// [mantissa exponent]: the decimal number the mantissa prints as, scaled by
// 10^exponent, correctly rounded.
double from_pair_block(Cell* spec, Type type) {
	if (block::vs_length(spec) != 2) datatype::fire_type(errors::id::script_bad_to_arg, type, spec);
	double parts[2];
	for (int i = 0; i < 2; i++) {
		const Cell* item = block::vs_head(spec) + i;
		switch (cell::type_of(item)) {
		case T_INTEGER: parts[i] = integer::get(item); break;
		case T_FLOAT: case T_PERCENT: parts[i] = get(item); break;
		default: datatype::fire_type(errors::id::script_bad_to_arg, T_FLOAT, spec);
		}
	}
	double e = std::trunc(parts[1]);
	if (std::isnan(e)) return NAN;
	int exponent = e > 100000 ? 100000 : e < -100000 ? -100000 : int(e);
	char text[numconv::TEXT_CAPACITY];
	char* end = numconv::form_float(text, parts[0], 0, false);
	size_t unconsumed;
	return numconv::decimal_to_float(std::string_view(text, size_t(end - text)), exponent, unconsumed);
}

double from_binary(Cell* spec) {
	const uint8_t* bytes = string::vs_head(spec);
	uint32_t count = string::vs_length(spec);
	uint64_t bits = 0;
	for (uint32_t i = 0; i < count && i < 8; i++) bits = (bits << 8) | bytes[i];
	return std::bit_cast<double>(bits);
}

// float! scans the float syntax; percent! loads one value, which must be a
// number.
double from_text(Cell* spec, Type type) {
	if (type == T_FLOAT) {
		int32_t error;
		double d = lexer::scan_float(string::vs_head(spec), string::width_of(spec), string::vs_length(spec), &error);
		if (error) datatype::fire_type(errors::id::script_bad_to_arg, type, spec);
		return d;
	}
	Cell loaded;
	load_value(spec, &loaded);
	switch (cell::type_of(&loaded)) {
	case T_INTEGER: return integer::get(&loaded);
	case T_FLOAT: case T_PERCENT: return get(&loaded);
	default: datatype::fire_type(errors::id::script_bad_to_arg, type, spec);
	}
}

// make and to of float! and percent!: type is the one asked for.
Cell* make(Cell* proto, Cell* spec, Type type) {
	Type st = cell::type_of(spec);
	double d;
	switch (st) {
	case T_INTEGER: case T_CHAR: d = double(int32_t(spec->data2)); break;
	case T_FLOAT: case T_PERCENT: case T_TIME: d = get(spec); break;
	case T_BINARY: d = from_binary(spec); break;
	case T_BLOCK: case T_PAREN: case T_HASH: d = from_pair_block(spec, type); break;
	case T_MONEY:
		if (!extended_math::money_to_float) datatype::fire_type(errors::id::script_bad_to_arg, type, spec);
		d = extended_math::money_to_float(spec);
		break;
	default:
		if (!string::any_string(st)) datatype::fire_type(errors::id::script_bad_to_arg, type, spec);
		d = from_text(spec, type);
		break;
	}
	cell::set(proto, type);
	cell::put_double(proto, d);
	return proto;
}

int32_t form(const Cell* value, Cell* buffer, const Cell*, int32_t part) {
	char text[FORM_CAPACITY];
	char* end = form_double(text, get(value), 1);
	string::append_literal(buffer, std::string_view(text, size_t(end - text)));
	return part - int32_t(end - text);
}

// Shortest text that reads back as the same double.
int32_t mold(const Cell* value, Cell* buffer, bool, bool, bool, const Cell*, int32_t part, int32_t) {
	char text[numconv::TEXT_CAPACITY];
	char* end = numconv::form_float(text, get(value), 0, true);
	string::append_literal(buffer, std::string_view(text, size_t(end - text)));
	return part - int32_t(end - text);
}

}  // namespace

Cell* push(double d) { return make_at(stack::alloc_slot(), d); }
Cell* push_halves(uint32_t low, uint32_t high) { return push(std::bit_cast<double>(uint64_t(high) << 32 | low)); }
Cell* box(double d) { return make_at(stack::arguments, d); }
Cell* make_in(const Cell* block, double d) { return make_at(memory::alloc_tail(block), d); }

bool is_nan(double d) { return std::isnan(d); }
bool is_nan32(float f) { return f != f; }
bool not_finite(double d) { return (std::bit_cast<uint64_t>(d) & EXPONENT_BITS) == EXPONENT_BITS; }

int32_t round_to_int(double d) {
	double r = std::trunc(std::fabs(d) + 0.49999999999999994);
	return integer::from_double(std::copysign(r, d));
}

double random_raw(double d, bool secure) {
	if (secure) {
		double d1 = random::secure_next(), d2 = random::secure_next();
		return (d2 + d1 / 2147483647.0) / (2147483648.0 / d);
	}
	return double(random::next() & 0x7FFFFFFF) / 2147483647.0 * d;
}

bool almost_equal(double a, double b) {
	if (std::isnan(a) || std::isnan(b)) return false;
	if (a == b) return true;
	if (std::isinf(a) || std::isinf(b)) return false;
	if (std::fabs(a - b) < EPSILON) return true;
	uint64_t ka = ordered_key(a), kb = ordered_key(b);
	return (ka > kb ? ka - kb : kb - ka) <= 10;
}

bool almost_equal32(float a, float b) {
	if (a != a || b != b) return false;
	if (a == b) return true;
	uint32_t pa = std::bit_cast<uint32_t>(a), pb = std::bit_cast<uint32_t>(b);
	uint32_t ma = pa & 0x7FFFFFFFu, mb = pb & 0x7FFFFFFFu;
	if (ma >= 0x7F7FFFFFu || mb >= 0x7F7FFFFFu) {
		if ((pa ^ pb) >> 31) return false;
		return (ma > mb ? ma - mb : mb - ma) < 0x100000u;
	}
	int64_t ka = int32_t(pa), kb = int32_t(pb);
	if (ka < 0) ka = INT32_MIN - ka;
	if (kb < 0) kb = INT32_MIN - kb;
	return (ka > kb ? ka - kb : kb - ka) <= 10;
}

char* form_double(char* out, double d, int kind) {
	if (not_finite(d)) return numconv::form_general(out, d, 1);
	if (pretty && std::fabs(d) < EPSILON) return put(out, kind == 2 || kind == 3 ? "0%" : kind == 5 ? "0" : "0.0");
	char* end = print_kind(out, d, kind, false);
	if (pretty && noisy(out, end)) end = print_kind(out, d, kind, true);
	if (kind == 2 || kind == 3) {
		*end++ = '%';
		return end;
	}
	if (kind == 4 || kind == 5 || std::memchr(out, '.', size_t(end - out))) return end;
	char* e = static_cast<char*>(std::memchr(out, 'e', size_t(end - out)));
	char* at = e ? e : end;
	std::memmove(at + 2, at, size_t(end - at));
	at[0] = '.';
	at[1] = '0';
	return end + 2;
}

double do_math_op(double x, double y, MathOp op) {
	switch (op) {
	case OP_ADD: return x + y;
	case OP_SUB: return x - y;
	case OP_MUL: return x * y;
	case OP_DIV: return x / y;
	case OP_REM:
		if (std::isfinite(y)) return std::fmod(x, y);
		if (std::isnan(y)) return y;
		return std::isfinite(x) ? x : NAN;
	default: datatype::fire_call_type(errors::id::script_cannot_use, T_FLOAT);
	}
}

Cell* do_math(MathOp op) {
	Cell* left = stack::arguments;
	Cell* right = left + 1;
	Type lt = cell::type_of(left), rt = cell::type_of(right);
	switch (rt) {
	case T_INTEGER: case T_FLOAT: case T_PERCENT: case T_TIME: break;
	case T_CHAR:
		if (lt == T_TIME || lt == T_PERCENT) invalid_type(rt);
		break;
	case T_TUPLE:
	case T_MONEY:
		if (!extended_math::worker(rt)) invalid_type(rt);
		return extended_math::worker(rt)(op);
	case T_PAIR: case T_POINT2D: case T_POINT3D:
		if (lt == T_TIME || !extended_math::worker(rt)) invalid_type(rt);
		if (op == OP_SUB || op == OP_DIV) datatype::fire_word_type(errors::id::script_not_related, extended_math::action_name(op), rt);
		extended_math::swap_operands(left, right);
		return extended_math::worker(rt)(op);
	case T_VECTOR:
		if (!extended_math::vector_scalar) invalid_type(rt);
		return cell::copy(extended_math::vector_scalar(op, left, right), left);
	default: invalid_type(rt);
	}
	double x = lt == T_INTEGER ? double(integer::get(left)) : get(left);
	double y = rt == T_INTEGER || rt == T_CHAR ? double(int32_t(right->data2)) : get(right);
	double r = do_math_op(x, y, op);
	cell::set_type(left, lt == T_TIME || rt == T_TIME ? T_TIME : lt == T_PERCENT ? T_PERCENT : T_FLOAT);
	cell::put_double(left, r);
	return left;
}

int32_t compare(const Cell* value1, const Cell* value2, CompareOp op) {
	Type t2 = cell::type_of(value2);
	if ((op == COMP_STRICT_EQUAL || op == COMP_SAME || op == COMP_FIND_SELECT) && t2 != cell::type_of(value1)) return 1;
	double a = get(value1);
	switch (t2) {
	case T_INTEGER: return compare_doubles(a, double(integer::get(value2)), op);
	case T_FLOAT: case T_PERCENT: case T_TIME: return compare_doubles(a, get(value2), op);
	case T_MONEY: return compare_money(a, value2, op);
	default: return COMPARE_UNRELATED;
	}
}

Cell* power() {
	Cell* base = stack::arguments;
	const Cell* exponent = base + 1;
	Type et = cell::type_of(exponent);
	double e;
	if (et == T_INTEGER)
		e = integer::get(exponent);
	else if (et == T_FLOAT)
		e = get(exponent);
	else
		datatype::fire_call_type(errors::id::script_expect_arg, et, "exponent");
	cell::put_double(base, std::pow(get(base), e));
	return base;
}

Cell* round(Cell* value, const Cell* scale, bool even, bool down, bool half_down, bool floor, bool ceiling,
	bool half_ceiling) {
	if (scale && cell::is(scale, T_MONEY)) datatype::fire_call_type(errors::id::script_not_related, T_MONEY);
	bool percent = cell::is(value, T_PERCENT);
	double s = percent ? 0.01 : 1.0;
	if (scale) s = percent ? scale_of(scale) / 100.0 : scale_of(scale);
	double r = round_to_scale(get(value), s, Rounding{even, down, half_down, floor, ceiling, half_ceiling});
	if (!scale) {
		cell::put_double(value, r);
	} else if (cell::is(scale, T_INTEGER)) {
		cell::make_integer(value, integer::from_double(std::trunc(r)));
	} else {
		cell::set_type(value, cell::type_of(scale));
		cell::put_double(value, r);
	}
	return value;
}

void load_value(Cell* text, Cell* out) {
	int32_t count = -1;
	const uint8_t* utf8 = unicode::to_utf8(text, &count);
	lexer::load_value(utf8, uint32_t(count), out);
}

void init_type() {
	ActionRow row{};
	row.make = make;
	row.random = random_action;
	row.to = make;
	row.form = form;
	row.mold = mold;
	row.compare = compare;
	row.absolute = absolute;
	row.add = arithmetic<OP_ADD>;
	row.divide = arithmetic<OP_DIV>;
	row.multiply = arithmetic<OP_MUL>;
	row.negate = negate;
	row.power = power;
	row.remainder = arithmetic<OP_REM>;
	row.round = round;
	row.subtract = arithmetic<OP_SUB>;
	row.even_q = even;
	row.odd_q = odd;
	registry::register_type(T_FLOAT, Type(0), "float!", row);
}

}  // namespace vyn::float_
