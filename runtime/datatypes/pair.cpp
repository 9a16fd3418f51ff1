#include "runtime/datatypes/pair.h"

#include <climits>
#include <cmath>

#include "runtime/datatypes/compound.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/extended_math.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/point2d.h"
#include "runtime/datatypes/spans.h"
#include "runtime/evaluator/actions.h"
#include "runtime/evaluator/stack.h"
#include "runtime/io/random.h"
#include "runtime/words.h"

namespace vyn::pair {

namespace {

[[noreturn]] void overflow() { errors::fire(errors::id::math_overflow); }

// x op n when the result is an integer; false when it is not (an overflow,
// a quotient that is not whole), for point arithmetic to redo.
bool int_op(int32_t x, int32_t n, MathOp op, int32_t& r) {
	switch (op) {
	case OP_ADD: return !__builtin_add_overflow(x, n, &r);
	case OP_SUB: return !__builtin_sub_overflow(x, n, &r);
	case OP_MUL: return !__builtin_mul_overflow(x, n, &r);
	case OP_DIV:
		if (n == 0) errors::fire(errors::id::math_zero_divide);
		if (n == -1) return !__builtin_sub_overflow(0, x, &r);
		if (x % n) return false;
		r = x / n;
		return true;
	case OP_REM:
		if (n == 0) errors::fire(errors::id::math_zero_divide);
		r = n == -1 ? 0 : x % n;
		return true;
	case OP_OR: r = x | n; return true;
	case OP_AND: r = x & n; return true;
	case OP_XOR: r = x ^ n; return true;
	}
	return false;
}

// A float made an integer coordinate: truncated, range-checked.
int32_t truncated(double d) { return integer::from_double(std::trunc(d)); }

// The pair in the first slot becomes a point2D! and point arithmetic runs.
Cell* as_points(Cell* left, MathOp op) {
	point2D::make_at(left, float(x_of(left)), float(y_of(left)));
	return point2D::do_math(op);
}

Cell* push_coordinate(const Cell* p, int32_t i) {
	Cell* c = stack::alloc_slot();
	cell::make_integer(c, i == 1 ? x_of(p) : y_of(p));
	return c;
}

// 1 or 2 for an integer selector or the word x or y, else 0.
int32_t selector(const Cell* element) {
	int32_t i = 0;
	if (cell::is(element, T_INTEGER))
		i = cell::get_integer(element);
	else if (compound::is_word(element, words::sym_x))
		i = 1;
	else if (compound::is_word(element, words::sym_y))
		i = 2;
	return i == 1 || i == 2 ? i : 0;
}

Cell* make(Cell* proto, Cell* spec, Type) {
	Type st = cell::type_of(spec);
	switch (st) {
	case T_PAIR: *proto = *spec; return proto;
	case T_INTEGER: return make_at(proto, cell::get_integer(spec), cell::get_integer(spec));
	case T_FLOAT: {
		int32_t n = truncated(cell::get_double(spec));
		return make_at(proto, n, n);
	}
	case T_POINT2D: {
		float x = point2D::x_of(spec), y = point2D::y_of(spec);
		if (!std::isfinite(x) || !std::isfinite(y)) errors::fire(errors::id::script_invalid_arg, spec);
		return make_at(proto, truncated(x), truncated(y));
	}
	case T_BLOCK: {
		spans::Cells cells = spans::cells_of(spec);
		int32_t xy[2];
		for (uint32_t i = 0; i < 2; i++) {
			const Cell* v = cells.head + i;
			if (i >= cells.count || !(cell::is(v, T_INTEGER) || cell::is(v, T_FLOAT))) {
				Cell type;
				datatype::make_at(&type, T_PAIR);
				errors::fire(errors::id::syntax_malconstruct, &type, spec);
			}
			xy[i] = cell::is(v, T_INTEGER) ? cell::get_integer(v) : truncated(cell::get_double(v));
		}
		return make_at(proto, xy[0], xy[1]);
	}
	default:
		if (!spans::is_any_string(st)) datatype::fire_type(errors::id::script_bad_to_arg, T_PAIR, spec);
		compound::load_one(spec, proto);
		if (!cell::is(proto, T_PAIR)) datatype::fire_type(errors::id::script_bad_to_arg, T_PAIR, spec);
		return proto;
	}
}

int32_t form(const Cell* value, Cell* buffer, const Cell*, int32_t part) {
	char text[24];
	char* p = integer::form_signed(x_of(value), text);
	*p++ = 'x';
	p = integer::form_signed(y_of(value), p);
	return compound::emit(buffer, std::string_view(text, size_t(p - text)), part);
}

int32_t mold(const Cell* value, Cell* buffer, bool, bool, bool, const Cell* arg, int32_t part, int32_t) {
	return form(value, buffer, arg, part);
}

int32_t sign_of(int64_t d) { return (d > 0) - (d < 0); }

int32_t compare(const Cell* value1, const Cell* value2, CompareOp op) {
	if (cell::is(value2, T_POINT2D))
		return point::compare(point::coordinates_of(value1), point::coordinates_of(value2), op);
	if (!cell::is(value2, T_PAIR)) return COMPARE_UNRELATED;
	int64_t d = int64_t(x_of(value1)) - x_of(value2);
	if (d == 0) d = int64_t(y_of(value1)) - y_of(value2);
	return sign_of(d);
}

Cell* absolute() {
	Cell* p = stack::arguments;
	return make_at(p, integer::abs(x_of(p)), integer::abs(y_of(p)));
}

Cell* reverse(Cell* p, const Cell*, const Cell*) { return make_at(p, y_of(p), x_of(p)); }

// One coordinate through the integer! round action; a float result (from
// a float scale) is truncated back into an integer.
int32_t round_coordinate(int32_t c, const Cell* scale, bool even, bool down, bool half_down, bool floor,
	bool ceiling, bool half_ceiling) {
	Cell v;
	cell::make_integer(&v, c);
	Cell* r = actions::get<action::RoundFn>(&v, A_ROUND)(&v, scale, even, down, half_down, floor, ceiling, half_ceiling);
	return cell::is(r, T_INTEGER) ? cell::get_integer(r) : truncated(cell::get_double(r));
}

Cell* round(Cell* p, const Cell* scale, bool even, bool down, bool half_down, bool floor, bool ceiling,
	bool half_ceiling) {
	if (scale && cell::is(scale, T_MONEY)) datatype::fire_word_type(errors::id::script_not_related, "round", T_MONEY);
	Cell sx, sy;
	const Cell* scale_x = scale;
	const Cell* scale_y = scale;
	if (scale && cell::is(scale, T_PAIR)) {
		cell::make_integer(&sx, x_of(scale));
		cell::make_integer(&sy, y_of(scale));
		scale_x = &sx;
		scale_y = &sy;
	}
	int32_t x = round_coordinate(x_of(p), scale_x, even, down, half_down, floor, ceiling, half_ceiling);
	int32_t y = round_coordinate(y_of(p), scale_y, even, down, half_down, floor, ceiling, half_ceiling);
	return make_at(p, x, y);
}

// A non-zero coordinate c becomes a draw in 1..c (-1..c when negative).
Cell* random(Cell* p, bool seed, bool secure, bool) {
	if (seed) {
		random::seed(x_of(p) ^ y_of(p));
		cell::make_unset(p);
		return p;
	}
	int32_t x = x_of(p), y = y_of(p);
	return make_at(p, random::rand_range(secure, x), random::rand_range(secure, y));
}

Cell* pick(Cell* p, int32_t, const Cell* boxed) {
	int32_t i = selector(boxed);
	if (i) return push_coordinate(p, i);
	if (cell::is(boxed, T_WORD)) datatype::fire_call_type(errors::id::script_cannot_use, T_WORD);
	errors::fire(errors::id::script_out_of_range, boxed);
}

Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* gparent, Cell* previous, int32_t index,
	bool, bool, bool, bool notify) {
	int32_t i = selector(element);
	if (!i) {
		Cell none;
		cell::make_none(&none);
		errors::fire(errors::id::script_invalid_path, path ? path : &none, element);
	}
	if (!value) return push_coordinate(parent, i);
	if (!cell::is(value, T_INTEGER)) datatype::fire_type(errors::id::script_invalid_type, cell::type_of(value));
	Cell old = *parent;
	(i == 1 ? parent->data2 : parent->data3) = value->data2;
	compound::notify_set(gparent, previous, old, parent, index, notify);
	return value;
}

template <MathOp Op>
Cell* arithmetic() {
	return do_math(Op);
}

}  // namespace

Cell* make_at(Cell* out, int32_t x, int32_t y) {
	cell::set(out, T_PAIR, 0, uint32_t(x), uint32_t(y));
	return out;
}

Cell* push(int32_t x, int32_t y) { return make_at(stack::alloc_slot(), x, y); }

Cell* make_in(const Cell* block, int32_t x, int32_t y) { return make_at(memory::alloc_tail(block), x, y); }

Cell* do_math(MathOp op) {
	Cell* left = stack::arguments;
	Cell* right = left + 1;
	int32_t bx, by;
	switch (cell::type_of(right)) {
	case T_PAIR:
		bx = x_of(right);
		by = y_of(right);
		break;
	case T_INTEGER: bx = by = cell::get_integer(right); break;
	case T_POINT2D: return as_points(left, op);
	case T_FLOAT:
	case T_PERCENT: {
		double f = cell::get_double(right);
		bool refused = op == OP_DIV ? std::isnan(f) : !std::isfinite(f);
		if (refused) errors::fire(errors::id::script_invalid_arg, right);
		if (op == OP_MUL || op == OP_DIV) return as_points(left, op);
		// Applied as an integer; point arithmetic, if it comes to it, sees
		// that integer.
		bx = by = truncated(f);
		cell::make_integer(right, bx);
		break;
	}
	default: datatype::fire_type(errors::id::script_invalid_type, cell::type_of(right));
	}
	int32_t x, y;
	bool fits_x = int_op(x_of(left), bx, op, x);
	bool fits_y = int_op(y_of(left), by, op, y);
	if (fits_x && fits_y) return make_at(left, x, y);
	return as_points(left, op);
}

Cell* negate(Cell* p) {
	if (x_of(p) == INT_MIN || y_of(p) == INT_MIN) overflow();
	return make_at(p, -x_of(p), -y_of(p));
}

void init_type() {
	ActionRow row{};
	row.make = make;
	row.random = random;
	row.to = make;
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
	row.and_t = arithmetic<OP_AND>;
	row.or_t = arithmetic<OP_OR>;
	row.xor_t = arithmetic<OP_XOR>;
	row.pick = pick;
	row.reverse = reverse;
	registry::register_type(T_PAIR, Type(0), "pair!", row);
	extended_math::do_math[T_PAIR] = do_math;
}

}  // namespace vyn::pair
