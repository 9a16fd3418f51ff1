#include "runtime/datatypes/integer.h"

#include <charconv>
#include <climits>
#include <cmath>

#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/extended_math.h"
#include "runtime/datatypes/float.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/unset.h"
#include "runtime/evaluator/actions.h"
#include "runtime/evaluator/lexer.h"
#include "runtime/evaluator/stack.h"
#include "runtime/io/random.h"
#include "runtime/memory.h"
#include "runtime/symbol.h"

namespace vyn::integer {

namespace {

using extended_math::action_name;

[[noreturn]] void overflow() { errors::fire(errors::id::math_overflow); }

// Turns the cell into a float! holding d; the integer answer is then 0.
int32_t promote(Cell* cell, double d) {
	if (!cell) overflow();
	cell::set_type(cell, T_FLOAT);
	cell::put_double(cell, d);
	return 0;
}

// Hands the operation to the arithmetic of a compound right operand, which
// then comes first.
Cell* hand_over(MathOp op, Cell* left, Cell* right) {
	Type rt = cell::type_of(right);
	extended_math::DoMath worker = extended_math::worker(rt);
	if (!worker) datatype::fire_type(errors::id::script_invalid_type, rt);
	switch (rt) {
	case T_PAIR: case T_POINT2D: case T_POINT3D:
		if (op == OP_DIV) datatype::fire_word_type(errors::id::script_not_related, "divide", T_INTEGER);
		break;
	case T_TUPLE:
		if (op == OP_SUB || op == OP_DIV || op == OP_REM) datatype::fire_word_type(errors::id::script_not_related, action_name(op), T_INTEGER);
		break;
	case T_DATE:
		if (op != OP_ADD) datatype::fire_word_type(errors::id::script_not_related, action_name(op), T_INTEGER);
		break;
	default: break;
	}
	extended_math::swap_operands(left, right);
	if (op == OP_SUB && rt != T_TUPLE) {  // n - p is -p + n
		actions::get<action::UnaryFn>(left, A_NEGATE)(left);
		op = OP_ADD;
	}
	return worker(op);
}

template <MathOp Op>
Cell* arithmetic() {
	return do_math(Op);
}

// Binary exponentiation; false when an intermediate product overflows.
bool int_power(int32_t base, int32_t exponent, int32_t& result) {
	int32_t r = 1;
	uint32_t e = uint32_t(exponent);
	while (e) {
		if ((e & 1) && __builtin_mul_overflow(r, base, &r)) return false;
		e >>= 1;
		if (e && __builtin_mul_overflow(base, base, &base)) return false;
	}
	result = r;
	return true;
}

Cell* power() {
	Cell* base = stack::arguments;
	const Cell* exponent = base + 1;
	Type et = cell::type_of(exponent);
	if (et != T_INTEGER && et != T_FLOAT) datatype::fire_call_type(errors::id::script_expect_arg, et, "exponent");
	int32_t r = 0;
	if (et == T_INTEGER && get(exponent) >= 0 && int_power(get(base), get(exponent), r)) return make_at(base, r);
	cell::set_type(base, T_FLOAT);
	cell::put_double(base, double(int32_t(base->data2)));
	return float_::power();
}

Cell* absolute() {
	Cell* value = stack::arguments;
	value->data2 = uint32_t(integer::abs(get(value)));
	return value;
}

Cell* negate(Cell* value) {
	if (get(value) == INT32_MIN) overflow();
	value->data2 = uint32_t(-get(value));
	return value;
}

Cell* complement(Cell* value) {
	value->data2 = ~value->data2;
	return value;
}

// Works on word 2 only, so char! keeps its type.
Cell* random_action(Cell* value, bool seed, bool secure, bool) {
	if (seed) {
		random::seed(get(value));
		return unset::box();
	}
	value->data2 = uint32_t(random::rand_range(secure, get(value)));
	return value;
}

bool even(const Cell* value) { return (value->data2 & 1) == 0; }
bool odd(const Cell* value) { return (value->data2 & 1) != 0; }

Cell* round(Cell* value, const Cell* scale, bool even, bool down, bool half_down, bool floor, bool ceiling,
	bool half_ceiling) {
	if (scale && cell::is(scale, T_MONEY)) datatype::fire_call_type(errors::id::script_not_related, T_MONEY);
	int32_t v = get(value);
	if (v == INT32_MIN) return value;
	int64_t s = 1;
	if (scale) {
		if (!cell::is(scale, T_INTEGER)) {
			float_::make_at(value, double(v));
			return float_::round(value, scale, even, down, half_down, floor, ceiling, half_ceiling);
		}
		s = integer::abs(get(scale));
	}
	if (s == 0 || v % s == 0) return value;
	int64_t sign = v < 0 ? -1 : 1;
	int64_t a = v < 0 ? -int64_t(v) : v;
	int64_t r = a % s, d = s - r, up = a + d;
	int64_t toward = sign * (a - r);
	auto away = [&] {
		if (up > INT32_MAX) overflow();
		return sign * up;
	};
	int64_t result;
	if (down) {
		result = toward;
	} else if (floor || ceiling) {
		int64_t far = away();  // checked for both signs
		result = (floor ? sign < 0 : sign > 0) ? far : toward;
	} else if (r < d) {
		result = toward;
	} else if (r > d) {
		result = away();
	} else if (even) {
		result = (a / s) % 2 == 0 ? toward : away();
	} else if (half_down) {
		result = toward;
	} else if (half_ceiling) {
		result = sign > 0 ? away() : toward;
	} else {
		result = away();
	}
	value->data2 = uint32_t(int32_t(result));
	return value;
}

int32_t compare(const Cell* value1, const Cell* value2, CompareOp op) {
	Type t = cell::type_of(value2);
	if ((op == COMP_STRICT_EQUAL || op == COMP_FIND_SELECT) && t != T_INTEGER) return 1;
	switch (t) {
	case T_INTEGER:
	case T_CHAR: {
		int32_t a = get(value1), b = int32_t(value2->data2);
		return (a > b) - (a < b);
	}
	case T_FLOAT: case T_PERCENT: case T_TIME: {
		Cell f;
		float_::make_at(&f, double(get(value1)));
		return float_::compare(&f, value2, op);
	}
	case T_MONEY: {
		if (!extended_math::money_from_integer) return COMPARE_UNRELATED;
		Cell* top = stack::top;
		Cell money = *extended_math::money_from_integer(get(value1));
		stack::top = top;
		return actions::compare_raw(&money, value2, op);
	}
	default: return COMPARE_UNRELATED;
	}
}

int32_t from_text(Cell* text) {
	int32_t error;
	int32_t v = lexer::scan_integer(string::vs_head(text), string::width_of(text), string::vs_length(text), &error);
	if (error) datatype::fire_type(errors::id::script_bad_to_arg, T_INTEGER, text);
	return v;
}

int32_t convert(Cell* spec) {
	Type t = cell::type_of(spec);
	switch (t) {
	case T_INTEGER:
	case T_CHAR: return int32_t(spec->data2);
	case T_FLOAT:
	case T_PERCENT:
		if (float_out_of_range(spec)) datatype::fire_type(errors::id::script_type_limit, T_INTEGER);
		return int32_t(cell::get_double(spec));
	case T_TIME: return float_::round_to_int(cell::get_double(spec));
	case T_BINARY: return from_binary(spec);
	case T_ISSUE: return from_issue(spec);
	case T_MONEY:
		if (extended_math::money_to_integer) return extended_math::money_to_integer(spec);
		break;
	case T_DATE:
		if (extended_math::date_to_seconds) return from_double(extended_math::date_to_seconds(spec));
		break;
	default:
		if (string::any_string(t)) return from_text(spec);
		break;
	}
	datatype::fire_type(errors::id::script_bad_to_arg, T_INTEGER, spec);
}

Cell* to(Cell* proto, Cell* spec, Type) {
	int32_t v = convert(spec);
	cell::make_integer(proto, v);
	return proto;
}

Cell* make(Cell* proto, Cell* spec, Type type) {
	if (cell::is(spec, T_LOGIC)) {
		cell::make_integer(proto, logic::get(spec) ? 1 : 0);
		return proto;
	}
	return to(proto, spec, type);
}

int32_t form(const Cell* value, Cell* buffer, const Cell*, int32_t part) {
	Series* s = memory::buffer_of(buffer);
	if (s->unit() == 1 && uint64_t(s->tail) + 11 <= s->size) {
		// Digits and sign are ASCII: a one-byte text with room takes them in place.
		char* at = reinterpret_cast<char*>(s->tail_ptr());
		char* end = form_signed(get(value), at);
		s->tail += uint32_t(end - at);
		return part - int32_t(end - at);
	}
	char text[12];
	char* end = form_signed(get(value), text);
	string::append_literal(buffer, std::string_view(text, size_t(end - text)));
	return part - int32_t(end - text);
}

int32_t mold(const Cell* value, Cell* buffer, bool, bool, bool, const Cell* arg, int32_t part, int32_t) {
	return form(value, buffer, arg, part);
}

}  // namespace

Cell* push(int32_t v) {
	Cell* c = stack::alloc_slot();
	cell::make_integer(c, v);
	return c;
}

Cell* box(int32_t v) {
	cell::make_integer(stack::arguments, v);
	return stack::arguments;
}

Cell* make_in(const Cell* block, int32_t v) {
	Cell* c = memory::alloc_tail(block);
	cell::make_integer(c, v);
	return c;
}

int32_t get_first() { return get(stack::arguments); }
int32_t get_first_or_zero() { return cell::is(stack::arguments, T_INTEGER) ? get(stack::arguments) : 0; }

int32_t abs(int32_t v) {
	if (v == INT32_MIN) overflow();
	return v < 0 ? -v : v;
}

char* form_signed(int32_t v, char* out) { return std::to_chars(out, out + 11, v).ptr; }

bool float_out_of_range(const Cell* value) {
	double d = cell::get_double(value);
	return !(d <= 2147483647.0 && d >= -2147483648.0);
}

int32_t from_double(double d) {
	if (!(d <= 2147483647.0 && d >= -2147483648.0)) datatype::fire_type(errors::id::script_type_limit, T_INTEGER);
	return int32_t(d);
}

int32_t do_math_op(int32_t left, int32_t right, MathOp op, Cell* cell) {
	int32_t r = 0;
	switch (op) {
	case OP_ADD:
		if (__builtin_add_overflow(left, right, &r)) return promote(cell, double(int64_t(left) + right));
		break;
	case OP_SUB:
		if (__builtin_sub_overflow(left, right, &r)) return promote(cell, double(int64_t(left) - right));
		break;
	case OP_MUL:
		if (__builtin_mul_overflow(left, right, &r)) return promote(cell, double(int64_t(left) * right));
		break;
	case OP_DIV:
		if (right == 0) errors::fire(errors::id::math_zero_divide);
		if (left == INT32_MIN && right == -1) overflow();
		if (cell && left % right != 0) return promote(cell, double(left) / double(right));
		r = left / right;
		break;
	case OP_REM:
		if (right == 0) errors::fire(errors::id::math_zero_divide);
		if (left == INT32_MIN && right == -1) overflow();
		r = left % right;
		break;
	case OP_OR: r = left | right; break;
	case OP_AND: r = left & right; break;
	case OP_XOR: r = left ^ right; break;
	}
	if (cell) cell->data2 = uint32_t(r);
	return r;
}

Cell* do_math(MathOp op) {
	Cell* left = stack::arguments;
	Cell* right = left + 1;
	switch (cell::type_of(right)) {
	case T_INTEGER:
	case T_CHAR: do_math_op(get(left), int32_t(right->data2), op, left); return left;
	case T_FLOAT: case T_PERCENT: case T_TIME: return float_::do_math(op);
	case T_MONEY: {
		extended_math::DoMath worker = extended_math::worker(T_MONEY);
		if (!worker) break;
		return worker(op);
	}
	case T_PAIR: case T_POINT2D: case T_POINT3D: case T_TUPLE: case T_DATE: return hand_over(op, left, right);
	case T_VECTOR:
		if (!extended_math::vector_scalar) break;
		return cell::copy(extended_math::vector_scalar(op, left, right), left);
	default: break;
	}
	datatype::fire_type(errors::id::script_invalid_type, cell::type_of(right));
}

int32_t from_binary(Cell* binary) {
	const uint8_t* bytes = string::vs_head(binary);
	uint32_t count = string::vs_length(binary);
	uint32_t v = 0;
	for (uint32_t i = 0; i < count && i < 4; i++) v = (v << 8) | bytes[i];
	return int32_t(v);
}

int32_t from_issue(const Cell* issue) {
	std::string_view name = symbol::name(issue->data2);
	if (name.empty() || name.size() > 8) errors::fire(errors::id::script_invalid_data, issue);
	uint32_t v = 0;
	for (char ch : name) {
		uint32_t c = uint8_t(ch), digit;
		if (c >= '0' && c <= '9')
			digit = c - '0';
		else if ((c | 0x20) >= 'a' && (c | 0x20) <= 'f')
			digit = (c | 0x20) - 'a' + 10;
		else
			errors::fire(errors::id::script_invalid_data, issue);
		v = v << 4 | digit;
	}
	return int32_t(v);
}

void init_type() {
	ActionRow row{};
	row.make = make;
	row.random = random_action;
	row.to = to;
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
	row.and_t = arithmetic<OP_AND>;
	row.complement = complement;
	row.or_t = arithmetic<OP_OR>;
	row.xor_t = arithmetic<OP_XOR>;
	registry::register_type(T_INTEGER, Type(0), "integer!", row);
}

}  // namespace vyn::integer
