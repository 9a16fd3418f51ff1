#include "runtime/datatypes/point2d.h"

#include <cmath>

#include "runtime/datatypes/compound.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/extended_math.h"
#include "runtime/datatypes/float.h"
#include "runtime/datatypes/spans.h"
#include "runtime/evaluator/stack.h"
#include "runtime/io/random.h"
#include "runtime/murmur.h"
#include "runtime/words.h"

namespace vyn::point {

namespace {

uint32_t count_of(Type t) { return t == T_POINT3D ? 3 : 2; }

// A float cell holding d, for the float! round action.
Cell float_cell(double d) {
	Cell c;
	cell::make_float(&c, d);
	return c;
}

double number_of(const Cell* c) {
	return cell::is(c, T_INTEGER) ? double(cell::get_integer(c)) : cell::get_double(c);
}

// 1..n for an integer selector or a word naming a coordinate, else 0.
int32_t selector(const Cell* element, uint32_t n) {
	int32_t i = 0;
	if (cell::is(element, T_INTEGER)) {
		i = cell::get_integer(element);
	} else {
		const uint32_t names[] = {words::sym_x, words::sym_y, words::sym_z};
		for (uint32_t k = 0; k < n; k++)
			if (compound::is_word(element, names[k])) i = int32_t(k) + 1;
	}
	return i >= 1 && uint32_t(i) <= n ? i : 0;
}

Cell* push_coordinate(const Cell* p, int32_t i) {
	Cell* c = stack::alloc_slot();
	cell::make_float(c, double(get(p, uint32_t(i) - 1)));
	return c;
}

}  // namespace

Coordinates coordinates_of(const Cell* p) {
	if (cell::is(p, T_PAIR)) return {{float(int32_t(p->data2)), float(int32_t(p->data3)), 0.0f}, 2};
	uint32_t n = count_of(cell::type_of(p));
	return {{get(p, 0), get(p, 1), n == 3 ? get(p, 2) : 0.0f}, n};
}

Cell* make_at(Cell* out, Type t, const Coordinates& c) {
	cell::set(out, t);
	for (uint32_t i = 0; i < count_of(t); i++) put(out, i, c.c[i]);
	return out;
}

Cell* do_math(MathOp op) {
	Cell* left = stack::arguments;
	Cell* right = left + 1;
	uint32_t n = count_of(cell::type_of(left));
	bool accepts_pair = n == 2;
	Coordinates a = coordinates_of(left), b;
	Type rt = cell::type_of(right);
	switch (rt) {
	case T_PAIR:
	case T_POINT2D:
		if (!accepts_pair) datatype::fire_type(errors::id::script_invalid_type, rt);
		b = coordinates_of(right);
		break;
	case T_POINT3D:
		if (n != 3) datatype::fire_type(errors::id::script_invalid_type, rt);
		b = coordinates_of(right);
		break;
	case T_INTEGER:
	case T_FLOAT:
	case T_PERCENT: {
		// A number is the point (f, f, f), f rounded to binary32 first.
		float f = float(number_of(right));
		b = {{f, f, f}, n};
		break;
	}
	default: datatype::fire_type(errors::id::script_invalid_type, rt);
	}
	for (uint32_t i = 0; i < n; i++) a.c[i] = float(float_::do_math_op(double(a.c[i]), double(b.c[i]), op));
	return make_at(left, cell::type_of(left), a);
}

int32_t compare(const Coordinates& a, const Coordinates& b, CompareOp op) {
	uint32_t n = a.n;
	switch (op) {
	case COMP_EQUAL:
	case COMP_NOT_EQUAL:
		for (uint32_t i = 0; i < n; i++)
			if (!float_::almost_equal32(a.c[i], b.c[i])) return 1;
		return 0;
	case COMP_STRICT_EQUAL:
		for (uint32_t i = 0; i < n; i++)
			if (!(a.c[i] == b.c[i])) return 1;
		return 0;
	case COMP_SAME:
		for (uint32_t i = 0; i < n; i++)
			if (std::bit_cast<uint32_t>(a.c[i]) != std::bit_cast<uint32_t>(b.c[i])) return 1;
		return 0;
	default: {
		// The first coordinate that differs beyond the tolerance decides.
		uint32_t i = 0;
		while (i + 1 < n && float_::almost_equal32(a.c[i], b.c[i])) i++;
		double d = double(a.c[i]) - double(b.c[i]);
		return d < 0 ? -1 : d == 0 ? 0 : 1;
	}
	}
}

namespace {

int32_t form(const Cell* value, Cell* buffer, const Cell*, int32_t part) {
	Coordinates c = coordinates_of(value);
	part = compound::emit(buffer, "(", part);
	for (uint32_t i = 0; i < c.n; i++) {
		if (i) part = compound::emit(buffer, ", ", part);
		char text[float_::FORM_CAPACITY];
		char* end = float_::form_double(text, double(c.c[i]), 5);
		part = compound::emit(buffer, std::string_view(text, size_t(end - text)), part);
	}
	return compound::emit(buffer, ")", part);
}

int32_t mold(const Cell* value, Cell* buffer, bool, bool, bool, const Cell* arg, int32_t part, int32_t) {
	return form(value, buffer, arg, part);
}

// A point scale (a pair! too for point2D!) rounds coordinate by coordinate;
// for point3D! a point2D! scale leaves z the scale 0.
bool per_coordinate(Type t, const Cell* scale) {
	Type st = cell::type_of(scale);
	return st == T_POINT2D || st == T_POINT3D || (st == T_PAIR && t == T_POINT2D);
}

// Each coordinate is rounded by the float! round action.
Cell* round(Cell* value, const Cell* scale, bool even, bool down, bool half_down, bool floor, bool ceiling,
	bool half_ceiling) {
	Coordinates scales;
	bool own_scales = scale && per_coordinate(cell::type_of(value), scale);
	if (own_scales) scales = coordinates_of(scale);
	Coordinates c = coordinates_of(value);
	// An integer scale is taken as a float, so no coordinate goes through a
	// 32-bit integer on its way back.
	Cell shared;
	const Cell* s = scale;
	if (scale && cell::is(scale, T_INTEGER)) {
		shared = float_cell(double(cell::get_integer(scale)));
		s = &shared;
	}
	for (uint32_t i = 0; i < c.n; i++) {
		Cell coordinate = float_cell(double(c.c[i]));
		Cell own;
		if (own_scales) {
			own = float_cell(double(scales.c[i]));
			s = &own;
		}
		Cell* r = float_::round(&coordinate, s, even, down, half_down, floor, ceiling, half_ceiling);
		c.c[i] = float(number_of(r));
	}
	return make_at(value, cell::type_of(value), c);
}

// Each non-zero coordinate c becomes a draw between 0 and c.
Cell* random(Cell* value, bool seed, bool secure, bool) {
	Coordinates c = coordinates_of(value);
	if (seed) {
		random::seed(int32_t(hash::murmur3(&value->data1, c.n * sizeof(float))));
		cell::make_unset(value);
		return value;
	}
	for (uint32_t i = 0; i < c.n; i++)
		if (c.c[i] != 0) c.c[i] = float(float_::random_raw(double(c.c[i]), secure));
	return make_at(value, cell::type_of(value), c);
}

Cell* absolute() {
	Cell* p = stack::arguments;
	Coordinates c = coordinates_of(p);
	for (uint32_t i = 0; i < c.n; i++) c.c[i] = std::fabs(c.c[i]);
	return make_at(p, cell::type_of(p), c);
}

Cell* negate(Cell* value) {
	Coordinates c = coordinates_of(value);
	for (uint32_t i = 0; i < c.n; i++) c.c[i] = 0.0f - c.c[i];
	return make_at(value, cell::type_of(value), c);
}

// x and the last coordinate exchanged.
Cell* reverse(Cell* value, const Cell*, const Cell*) {
	Coordinates c = coordinates_of(value);
	std::swap(c.c[0], c.c[c.n - 1]);
	return make_at(value, cell::type_of(value), c);
}

Cell* pick(Cell* p, int32_t, const Cell* boxed) {
	int32_t i = selector(boxed, count_of(cell::type_of(p)));
	if (i) return push_coordinate(p, i);
	if (cell::is(boxed, T_WORD)) datatype::fire_call_type(errors::id::script_cannot_use, T_WORD);
	errors::fire(errors::id::script_out_of_range, boxed);
}

Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* gparent, Cell* previous, int32_t index,
	bool, bool, bool, bool notify) {
	int32_t i = selector(element, count_of(cell::type_of(parent)));
	if (!i) {
		Cell none;
		cell::make_none(&none);
		errors::fire(errors::id::script_invalid_path, path ? path : &none, element);
	}
	if (!value) return push_coordinate(parent, i);
	if (!cell::is(value, T_INTEGER) && !cell::is(value, T_FLOAT))
		datatype::fire_type(errors::id::script_invalid_type, cell::type_of(value));
	Cell old = *parent;
	put(parent, uint32_t(i) - 1, float(number_of(value)));
	compound::notify_set(gparent, previous, old, parent, index, notify);
	return value;
}

// make and to: a number gives every coordinate, a block its first n
// numbers, text must load as a point of the type.
Cell* make(Cell* out, Cell* spec, Type t) {
	uint32_t n = count_of(t);
	Type st = cell::type_of(spec);
	Coordinates c{{0, 0, 0}, n};
	switch (st) {
	case T_INTEGER:
	case T_FLOAT: {
		float f = float(number_of(spec));
		c = {{f, f, f}, n};
		break;
	}
	case T_PAIR:
	case T_POINT2D:
	case T_POINT3D:
		if (st == T_POINT3D && t != T_POINT3D) datatype::fire_type(errors::id::script_bad_to_arg, t, spec);
		c = coordinates_of(spec);
		c.n = n;
		break;
	case T_BLOCK: {
		spans::Cells cells = spans::cells_of(spec);
		bool ok = cells.count >= n;
		for (uint32_t i = 0; ok && i < n; i++) {
			const Cell* v = cells.head + i;
			ok = cell::is(v, T_INTEGER) || cell::is(v, T_FLOAT);
			if (ok) c.c[i] = float(number_of(v));
		}
		if (!ok) {
			Cell type;
			datatype::make_at(&type, t);
			errors::fire(errors::id::syntax_malconstruct, &type, spec);
		}
		break;
	}
	default:
		if (!spans::is_any_string(st)) datatype::fire_type(errors::id::script_bad_to_arg, t, spec);
		compound::load_one(spec, out);
		if (!cell::is(out, t)) datatype::fire_type(errors::id::script_bad_to_arg, t, spec);
		return out;
	}
	return make_at(out, t, c);
}

int32_t compare_action(const Cell* value1, const Cell* value2, CompareOp op) {
	Type t = cell::type_of(value1), t2 = cell::type_of(value2);
	// A pair is compared with a point2D! as the point of its coordinates.
	if (t2 != t && !(t == T_POINT2D && t2 == T_PAIR)) return COMPARE_UNRELATED;
	return compare(coordinates_of(value1), coordinates_of(value2), op);
}

template <MathOp Op>
Cell* arithmetic() {
	return do_math(Op);
}

}  // namespace

ActionRow row() {
	ActionRow r{};
	r.make = make;
	r.random = random;
	r.to = make;
	r.form = form;
	r.mold = mold;
	r.eval_path = eval_path;
	r.compare = compare_action;
	r.absolute = absolute;
	r.add = arithmetic<OP_ADD>;
	r.divide = arithmetic<OP_DIV>;
	r.multiply = arithmetic<OP_MUL>;
	r.negate = negate;
	r.remainder = arithmetic<OP_REM>;
	r.round = round;
	r.subtract = arithmetic<OP_SUB>;
	r.pick = pick;
	r.reverse = reverse;
	return r;
}

}  // namespace vyn::point

namespace vyn::point2D {

Cell* make_at(Cell* out, float x, float y) { return point::make_at(out, T_POINT2D, {{x, y, 0}, 2}); }

Cell* push(float x, float y) { return make_at(stack::alloc_slot(), x, y); }

Cell* make_in(const Cell* block, float x, float y) { return make_at(memory::alloc_tail(block), x, y); }

void init_type() {
	registry::register_type(T_POINT2D, Type(0), "point2D!", point::row());
	extended_math::do_math[T_POINT2D] = do_math;
}

}  // namespace vyn::point2D
