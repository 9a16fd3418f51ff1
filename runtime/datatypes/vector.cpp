#include "runtime/datatypes/vector.h"

#include <climits>
#include <cmath>
#include <cstring>
#include <vector>

#include "runtime/datatypes/block.h"
#include "runtime/datatypes/compound.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/extended_math.h"
#include "runtime/datatypes/float.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/spans.h"
#include "runtime/datatypes/string.h"
#include "runtime/evaluator/stack.h"
#include "runtime/words.h"

namespace vyn::vector {

namespace {

inline bool is_float(Type t) { return t == T_FLOAT || t == T_PERCENT; }
inline bool is_element_type(Type t) { return t == T_CHAR || t == T_INTEGER || is_float(t); }
inline uint32_t default_width(Type t) { return is_float(t) ? 8 : 4; }

// Widths allowed for a type, in bytes.
bool width_allowed(Type t, uint32_t width) {
	if (t == T_PERCENT) return width == 8;
	if (t == T_FLOAT) return width == 4 || width == 8;
	return width == 1 || width == 2 || width == 4;
}

int32_t read_int(const uint8_t* p, uint32_t width, bool unsigned_) {
	switch (width) {
	case 1: return unsigned_ ? int32_t(*p) : int32_t(int8_t(*p));
	case 2: {
		uint16_t u;
		std::memcpy(&u, p, 2);
		return unsigned_ ? int32_t(u) : int32_t(int16_t(u));
	}
	default: {
		int32_t v;
		std::memcpy(&v, p, 4);
		return v;
	}
	}
}

void write_int(uint8_t* p, uint32_t width, int32_t v) {
	uint32_t u = uint32_t(v);
	if (width == 1) {
		*p = uint8_t(u);
	} else if (width == 2) {
		uint16_t h = uint16_t(u);
		std::memcpy(p, &h, 2);
	} else {
		std::memcpy(p, &u, 4);
	}
}

double read_float(const uint8_t* p, uint32_t width) {
	if (width == 4) {
		float f;
		std::memcpy(&f, p, 4);
		return double(f);
	}
	double d;
	std::memcpy(&d, p, 8);
	return d;
}

void write_float(uint8_t* p, uint32_t width, double d) {
	if (width == 4) {
		float f = float(d);
		std::memcpy(p, &f, 4);
	} else {
		std::memcpy(p, &d, 8);
	}
}

// The element at p as a cell of the element type.
void element_cell(Type t, uint32_t width, const uint8_t* p, Cell* out) {
	if (is_float(t)) {
		cell::make_float(out, read_float(p, width));
		cell::set_type(out, t);
	} else {
		cell::set(out, t, 0, uint32_t(read_int(p, width, t == T_CHAR)));
	}
}

uint8_t* head_ptr(Cell* v) { return series::unit_at(memory::buffer_of(v), series::clamp_head(v)); }

// a op b on 32-bit elements: add, subtract and multiply wrap around.
int32_t int_op(int32_t a, int32_t b, MathOp op) {
	uint32_t ua = uint32_t(a), ub = uint32_t(b);
	switch (op) {
	case OP_ADD: return int32_t(ua + ub);
	case OP_SUB: return int32_t(ua - ub);
	case OP_MUL: return int32_t(ua * ub);
	case OP_DIV: return a / b;
	case OP_REM: return a % b;
	case OP_OR: return a | b;
	case OP_AND: return a & b;
	case OP_XOR: return a ^ b;
	}
	return 0;
}

// The errors of an integer division, raised before anything is written.
void check_division(int32_t a, int32_t b, MathOp op) {
	if (op != OP_DIV && op != OP_REM) return;
	if (b == 0) errors::fire(errors::id::math_zero_divide);
	if (a == INT_MIN && b == -1) errors::fire(errors::id::math_overflow);
}

// Elements of an integer vector met as divisors or dividends of op.
void check_elements(const uint8_t* p, const uint8_t* end, uint32_t w, bool unsigned_, int32_t scalar, MathOp op,
	bool scalar_first) {
	if (op != OP_DIV && op != OP_REM) return;
	for (; p < end; p += w) {
		int32_t e = read_int(p, w, unsigned_);
		if (scalar_first)
			check_division(scalar, e, op);
		else
			check_division(e, scalar, op);
	}
}

// f applied to each element of type T in [p, end); the loops the scalar
// arithmetic runs with its operation chosen once. Elements go in blocks of
// 64 bytes, a fixed trip count the compiler vectorizes at -O2.
template <typename T, typename F>
void each(uint8_t* p, const uint8_t* end, F f) {
	constexpr size_t BLOCK = 64 / sizeof(T);
	size_t n = size_t(end - p) / sizeof(T);
	size_t i = 0;
	for (; i + BLOCK <= n; i += BLOCK) {
		T x[BLOCK];
		std::memcpy(x, p + i * sizeof(T), sizeof x);
		for (size_t k = 0; k < BLOCK; k++) x[k] = f(x[k]);
		std::memcpy(p + i * sizeof(T), x, sizeof x);
	}
	for (; i < n; i++) {
		T x;
		std::memcpy(&x, p + i * sizeof(T), sizeof x);
		x = f(x);
		std::memcpy(p + i * sizeof(T), &x, sizeof x);
	}
}

// Integer elements: add, subtract, multiply wrap in 32 bits; the result
// keeps the element's low bits.
template <typename T>
void int_elements(uint8_t* p, const uint8_t* end, int32_t s, MathOp op, bool scalar_first) {
	uint32_t u = uint32_t(s);
	switch (op) {
	case OP_ADD: each<T>(p, end, [u](T x) { return T(uint32_t(x) + u); }); return;
	case OP_SUB:
		if (scalar_first)
			each<T>(p, end, [u](T x) { return T(u - uint32_t(x)); });
		else
			each<T>(p, end, [u](T x) { return T(uint32_t(x) - u); });
		return;
	case OP_MUL: each<T>(p, end, [u](T x) { return T(uint32_t(x) * u); }); return;
	case OP_OR: each<T>(p, end, [u](T x) { return T(uint32_t(x) | u); }); return;
	case OP_AND: each<T>(p, end, [u](T x) { return T(uint32_t(x) & u); }); return;
	case OP_XOR: each<T>(p, end, [u](T x) { return T(uint32_t(x) ^ u); }); return;
	default:
		each<T>(p, end, [s, op, scalar_first](T x) {
			int32_t e = int32_t(x);
			return T(uint32_t(scalar_first ? int_op(s, e, op) : int_op(e, s, op)));
		});
	}
}

template <typename T>
void float_elements(uint8_t* p, const uint8_t* end, double s, MathOp op, bool scalar_first) {
	switch (op) {
	case OP_ADD: each<T>(p, end, [s](T x) { return T(double(x) + s); }); return;
	case OP_SUB:
		if (scalar_first)
			each<T>(p, end, [s](T x) { return T(s - double(x)); });
		else
			each<T>(p, end, [s](T x) { return T(double(x) - s); });
		return;
	case OP_MUL: each<T>(p, end, [s](T x) { return T(double(x) * s); }); return;
	case OP_DIV:
		if (scalar_first)
			each<T>(p, end, [s](T x) { return T(s / double(x)); });
		else
			each<T>(p, end, [s](T x) { return T(double(x) / s); });
		return;
	default:
		// Remainder's special cases, and the refusal of the bitwise codes.
		each<T>(p, end, [s, op, scalar_first](T x) {
			return T(scalar_first ? float_::do_math_op(s, double(x), op) : float_::do_math_op(double(x), s, op));
		});
	}
}

// element op scalar (scalar op element when scalar_first), in place from
// the head.
Cell* scalar_math(MathOp op, Cell* v, const Cell* scalar, bool scalar_first) {
	Type et = element_type(v);
	bool floats = is_float(et);
	double fs;
	int32_t is = 0;
	switch (cell::type_of(scalar)) {
	case T_INTEGER:
	case T_CHAR:
		is = int32_t(scalar->data2);
		fs = double(is);
		break;
	case T_FLOAT:
	case T_PERCENT:
		fs = cell::get_double(scalar);
		if (!floats) is = integer::from_double(std::trunc(fs));
		break;
	default: errors::fire(errors::id::internal_not_done);
	}
	double s = floats ? fs : double(is);
	bool identity = (s == 0 && (op == OP_ADD || (op == OP_SUB && !scalar_first))) ||
		(s == 1 && (op == OP_MUL || (op == OP_DIV && !scalar_first)));
	if (identity) return v;
	Series* b = memory::buffer_of(v);
	uint32_t w = b->unit();
	uint8_t* p = head_ptr(v);
	uint8_t* end = b->tail_ptr();
	if (floats) {
		if (w == 4)
			float_elements<float>(p, end, fs, op, scalar_first);
		else
			float_elements<double>(p, end, fs, op, scalar_first);
		return v;
	}
	bool unsigned_ = et == T_CHAR;
	check_elements(p, end, w, unsigned_, is, op, scalar_first);
	switch (w) {
	case 1:
		if (unsigned_)
			int_elements<uint8_t>(p, end, is, op, scalar_first);
		else
			int_elements<int8_t>(p, end, is, op, scalar_first);
		break;
	case 2:
		if (unsigned_)
			int_elements<uint16_t>(p, end, is, op, scalar_first);
		else
			int_elements<int16_t>(p, end, is, op, scalar_first);
		break;
	default: int_elements<int32_t>(p, end, is, op, scalar_first); break;
	}
	return v;
}

// left op right element by element into a new vector: the shorter length,
// the wider width, the left's element type.
Cell* vector_math(MathOp op, Cell* left, Cell* right) {
	Type et = element_type(left);
	if (element_type(right) != et) errors::fire(errors::id::script_not_same_type);
	uint32_t n = vs_length(left), m = vs_length(right);
	if (m < n) n = m;
	uint32_t wl = width_of(left), wr = width_of(right);
	uint32_t w = wl > wr ? wl : wr;
	const uint8_t* a = head_ptr(left);
	const uint8_t* b = head_ptr(right);
	bool floats = is_float(et), unsigned_ = et == T_CHAR;
	if (!floats)
		for (uint32_t i = 0; i < n; i++)
			check_division(read_int(a + i * wl, wl, unsigned_), read_int(b + i * wr, wr, unsigned_), op);
	Cell result;
	make_at(&result, n, et, w);
	Series* s = memory::buffer_of(&result);
	// The operands' buffers stay where they are: allocation moves nothing.
	uint8_t* out = s->head_ptr();
	for (uint32_t i = 0; i < n; i++, out += w) {
		if (floats)
			write_float(out, w, float_::do_math_op(read_float(a + i * wl, wl), read_float(b + i * wr, wr), op));
		else
			write_int(out, w, int_op(read_int(a + i * wl, wl, unsigned_), read_int(b + i * wr, wr, unsigned_), op));
	}
	s->tail = s->head + n * w;
	*left = result;
	return left;
}

[[noreturn]] void bad_make(const Cell* proto, const Cell* spec) {
	errors::fire(errors::id::script_bad_make_arg, proto, spec);
}

// The element type named by a word of a spec block, or 0.
Type named_type(const Cell* word) {
	const struct {
		uint32_t symbol;
		Type type;
	} names[] = {{words::sym_integer_type, T_INTEGER}, {words::sym_char_type, T_CHAR}, {words::sym_float_type, T_FLOAT},
		{words::sym_percent_type, T_PERCENT}};
	for (const auto& n : names)
		if (compound::is_word(word, n.symbol)) return n.type;
	return Type(0);
}

int32_t count_of(const Cell* spec) {
	if (cell::is(spec, T_INTEGER)) return cell::get_integer(spec);
	double d = std::trunc(cell::get_double(spec));
	if (!(d >= -2147483648.0 && d <= 2147483647.0)) errors::fire(errors::id::script_out_of_range, spec);
	return int32_t(d);
}

// Fills a new vector in `out` from its values, padded with zero elements
// up to count.
Cell* build(Cell* out, Type et, uint32_t width, int64_t count, const Cell* values, uint32_t n) {
	if (count < int64_t(n)) count = n;
	make_at(out, uint32_t(count), et, width);
	for (uint32_t i = 0; i < n; i++) append_value(out, values + i);
	Series* s = memory::buffer_of(out);
	uint64_t bytes = uint64_t(count) * width;
	if (s->used() < bytes) {
		std::memset(s->tail_ptr(), 0, size_t(bytes - s->used()));
		s->tail = s->head + uint32_t(bytes);
	}
	return out;
}

// [type size count [values]], [type size [values]], [type size count],
// [percent! [values]].
Cell* from_typed_spec(Cell* proto, Cell* spec, const Cell* c, const Cell* end) {
	if (end - c < 2) bad_make(proto, spec);
	Type et = named_type(c);
	if (!et) bad_make(proto, spec);
	c++;
	uint32_t width = default_width(et);
	if (cell::is(c, T_INTEGER)) {
		int32_t bits = cell::get_integer(c);
		width = bits > 0 && bits % 8 == 0 ? uint32_t(bits / 8) : 0;
		if (et == T_PERCENT) width = 8;
		if (!width_allowed(et, width)) bad_make(proto, spec);
		c++;
	} else if (et != T_PERCENT) {
		errors::fire(errors::id::script_invalid_spec_field, spec);
	}
	int64_t count = 0;
	if (c < end && cell::is(c, T_INTEGER)) count = cell::get_integer(c++);
	spans::Cells values{nullptr, 0};
	if (c < end) {
		if (!cell::is(c, T_BLOCK)) errors::fire(errors::id::script_invalid_spec_field, spec);
		values = spans::cells_of(c++);
	}
	if (c < end) errors::fire(errors::id::script_invalid_spec_field, spec);
	return build(proto, et, width, count, values.head, values.count);
}

// Elements as form writes them, separated by spaces; mold writes chars as
// #"c". Stops once the limit is spent.
int32_t write_elements(Cell* v, Cell* buffer, int32_t part, bool mold, bool all) {
	Type et = element_type(v);
	Series* s = memory::buffer_of(v);
	uint32_t w = s->unit();
	const uint8_t* end = s->tail_ptr();
	bool first = true;
	for (const uint8_t* p = head_ptr(v); p < end && part >= 1; p += w) {
		if (!first) {
			part = compound::emit(buffer, " ", part);
			if (part < 1) break;
		}
		first = false;
		if (et == T_CHAR) {
			uint32_t cp = uint32_t(read_int(p, w, true));
			if (mold) part = compound::emit(buffer, "#\"", part);
			part -= int32_t(string::append_escaped_char(buffer, cp, true, all));
			if (mold) part = compound::emit(buffer, "\"", part);
			continue;
		}
		char text[float_::FORM_CAPACITY];
		char* t;
		if (et == T_INTEGER)
			t = integer::form_signed(read_int(p, w, false), text);
		else if (et == T_FLOAT)
			t = float_::form_double(text, read_float(p, w), w == 8 ? 1 : 0);
		else
			t = float_::form_double(text, read_float(p, w) * 100, w == 8 ? 3 : 2);
		part = compound::emit(buffer, std::string_view(text, size_t(t - text)), part);
	}
	return part;
}

int32_t sign_of(double d) { return (d > 0) - (d < 0); }

// Source elements of insert and change: the values of a block (or path),
// checked against the element type before anything is written.
spans::Cells values_of(Cell* v, const Cell* value, bool paths) {
	Type t = cell::type_of(value);
	spans::Cells c = spans::is_block_like(t) || (paths && t >= T_PATH && t <= T_GET_PATH) ? spans::cells_of(value)
																						   : spans::Cells{value, 1};
	for (uint32_t i = 0; i < c.count; i++)
		if (cell::type_of(c.head + i) != element_type(v)) errors::fire(errors::id::script_invalid_arg, c.head + i);
	return c;
}

uint32_t written_count(uint32_t count, int32_t dup, uint32_t width) {
	uint64_t total = uint64_t(count) * uint64_t(dup < 1 ? 1 : dup);
	if (total * width > 0xFFFFFFFFu) errors::fire(errors::id::internal_no_memory);
	return uint32_t(total);
}

// Writes the values at unit `at`, then repeats that run dup times.
void write_run(Series* s, uint32_t at, const spans::Cells& values, int32_t dup) {
	uint32_t w = s->unit();
	uint8_t* p = series::unit_at(s, at);
	for (uint32_t i = 0; i < values.count; i++) set_value(values.head + i, p + size_t(i) * w, w);
	if (dup > 1) memory::repeat_copy(p, size_t(values.count) * w, size_t(dup));
}

}  // namespace

uint32_t width_of(const Cell* v) { return memory::buffer_of(v)->unit(); }

uint32_t vs_length(Cell* v) { return series::length(v); }

Cell* make_at(Cell* out, uint32_t count, Type element, uint32_t width) {
	if (uint64_t(count) * width > 0xFFFFFF00u) errors::fire(errors::id::internal_no_memory);
	Node n = memory::alloc_series(count ? count : 1, width, 0);
	cell::set(out, T_VECTOR, 0, n, element);
	return out;
}

uint8_t* vs_head(Cell* v) { return head_ptr(v); }
uint8_t* vs_tail(Cell* v) { return memory::buffer_of(v)->tail_ptr(); }

void vs_skip(Cell* v, int32_t n) { series::advance(v, n); }

void vs_clear(Cell* v) {
	Series* s = memory::buffer_of(v);
	s->tail = s->head + series::clamp_head(v) * s->unit();
}

void vs_append_int(Cell* v, int32_t n) {
	uint8_t* p = memory::alloc_tail_bytes(memory::buffer_of(v), 4);
	std::memcpy(p, &n, 4);
}

void vs_poke(Cell* v, uint32_t i, const Cell* value) {
	if (cell::type_of(value) != element_type(v)) errors::fire(errors::id::script_invalid_arg, value);
	Series* s = memory::buffer_of(v);
	if (i >= series::units(s)) return append_value(v, value);
	set_value(value, series::unit_at(s, i), s->unit());
}

void vs_insert(Cell* v, uint32_t i, const Cell* value) {
	if (cell::type_of(value) != element_type(v)) errors::fire(errors::id::script_invalid_arg, value);
	Series* s = series::open_gap(memory::buffer_of(v), i, 1);
	set_value(value, series::unit_at(s, i), s->unit());
}

void append_value(Cell* v, const Cell* value) {
	if (cell::type_of(value) != element_type(v)) errors::fire(errors::id::script_invalid_arg, value);
	Series* s = memory::buffer_of(v);
	uint32_t w = s->unit();
	uint8_t* p = memory::alloc_tail_bytes(s, w);
	set_value(value, p, w);
}

Cell* push_value(const Cell* v, const uint8_t* element) {
	Cell* c = stack::alloc_slot();
	element_cell(element_type(v), width_of(v), element, c);
	return c;
}

void set_value(const Cell* value, uint8_t* element, uint32_t width) {
	switch (cell::type_of(value)) {
	case T_INTEGER:
	case T_CHAR: write_int(element, width, int32_t(value->data2)); break;
	case T_FLOAT:
	case T_PERCENT: write_float(element, width, cell::get_double(value)); break;
	default: datatype::fire_type(errors::id::script_invalid_type, cell::type_of(value));
	}
}

void to_block(const Cell* v, Cell* out) {
	Cell vec = *v;
	uint32_t n = vs_length(&vec);
	Type et = element_type(&vec);
	uint32_t w = width_of(&vec);
	const uint8_t* p = head_ptr(&vec);
	block::make_at(out, int32_t(n ? n : 1));
	Series* b = memory::buffer_of(out);
	Cell* cells = b->head_cell();
	for (uint32_t i = 0; i < n; i++) element_cell(et, w, p + size_t(i) * w, cells + i);
	b->tail = b->head + n * uint32_t(sizeof(Cell));
}

Cell* do_math_scalar(MathOp op, Cell* scalar, Cell* v) { return scalar_math(op, v, scalar, true); }

Cell* do_math(MathOp op) {
	Cell* left = stack::arguments;
	Cell* right = left + 1;
	if (cell::is(right, T_VECTOR)) return vector_math(op, left, right);
	return scalar_math(op, left, right, false);
}

Cell* make(Cell* proto, Cell* spec, Type) {
	switch (cell::type_of(spec)) {
	case T_INTEGER:
	case T_FLOAT: return build(proto, T_INTEGER, 4, count_of(spec), nullptr, 0);
	case T_BLOCK: break;
	default: errors::fire(errors::id::internal_not_done);
	}
	spans::Cells c = spans::cells_of(spec);
	if (c.count == 0) return make_at(proto, 0, T_INTEGER, 4);
	if (cell::is(c.head, T_WORD)) return from_typed_spec(proto, spec, c.head, c.head + c.count);
	Type et = cell::type_of(c.head);
	if (!is_element_type(et)) datatype::fire_type(errors::id::script_invalid_type, et);
	return build(proto, et, default_width(et), 0, c.head, c.count);
}

int32_t form(const Cell* value, Cell* buffer, const Cell*, int32_t part) {
	Cell v = *value;
	return write_elements(&v, buffer, part, false, false);
}

int32_t mold(const Cell* value, Cell* buffer, bool only, bool all, bool, const Cell*, int32_t part, int32_t) {
	Cell v = *value;
	Type et = element_type(&v);
	uint32_t w = width_of(&v);
	bool plain = w == default_width(et) && vs_length(&v) > 0;
	if (!only) part = compound::emit(buffer, "make vector! [", part);
	if (!plain) {
		part = compound::emit(buffer, registry::names[et].name, part);
		char bits[16];
		char* end = integer::form_signed(int32_t(w * 8), bits);
		part = compound::emit(buffer, " ", part);
		part = compound::emit(buffer, std::string_view(bits, size_t(end - bits)), part);
		part = compound::emit(buffer, " [", part);
	}
	part = write_elements(&v, buffer, part, true, all);
	if (!only) part = compound::emit(buffer, plain ? "]" : "]]", part);
	return part;
}

int32_t compare(const Cell* value1, const Cell* value2, CompareOp op) {
	if (!cell::is(value2, T_VECTOR)) return COMPARE_UNRELATED;
	Type et = element_type(value1);
	if (element_type(value2) != et) errors::fire(errors::id::script_not_same_type);
	Cell a = *value1, b = *value2;
	uint32_t ha = series::clamp_head(&a), hb = series::clamp_head(&b);
	if (a.data2 == b.data2 && ha == hb) return 0;
	if (op == COMP_SAME) return -1;
	uint32_t na = vs_length(&a), nb = vs_length(&b);
	bool equality = op == COMP_EQUAL || op == COMP_NOT_EQUAL || op == COMP_STRICT_EQUAL || op == COMP_FIND_SELECT;
	if (na != nb && equality) return 1;
	uint32_t wa = width_of(&a), wb = width_of(&b);
	const uint8_t* pa = head_ptr(&a);
	const uint8_t* pb = head_ptr(&b);
	uint32_t n = na < nb ? na : nb;
	for (uint32_t i = 0; i < n; i++) {
		int32_t r;
		if (is_float(et))
			r = sign_of(read_float(pa + i * wa, wa) - read_float(pb + i * wb, wb));
		else
			r = sign_of(double(read_int(pa + i * wa, wa, et == T_CHAR)) - double(read_int(pb + i * wb, wb, et == T_CHAR)));
		if (r) return r;
	}
	return na < nb ? -1 : na > nb ? 1 : 0;
}

Cell* insert(Cell* v, Cell* value, int32_t part, bool, int32_t dup, bool append) {
	uint32_t head = series::clamp_head(v);
	spans::Cells values = values_of(v, value, false);
	if (part >= 0 && uint32_t(part) < values.count) values.count = uint32_t(part);
	if (values.count == 0) return v;
	Series* s = memory::buffer_of(v);
	uint32_t total = written_count(values.count, dup, s->unit());
	uint32_t at = append ? series::units(s) : head;
	// Doubling: a vector appended to one value at a time (the console's
	// line counts) is not copied whole on every append.
	uint64_t needed = uint64_t(s->used()) + uint64_t(total) * s->unit();
	const uint64_t largest = 0xFFFFFF00u - SERIES_BLOCK_EXTRA;
	if (needed > s->size - s->head) s = series::reserve(s, needed * 2 <= largest ? needed * 2 : needed);
	s = series::open_gap(s, at, total);
	write_run(s, at, values, dup);
	if (!append) v->data1 = at + total;
	return v;
}

Cell* change(Cell* v, Cell* value, int32_t part, bool, int32_t dup) {
	uint32_t head = series::clamp_head(v);
	Series* s = memory::buffer_of(v);
	uint32_t w = s->unit();
	uint32_t after = series::units(s) - head;
	// A vector source of the same kind is copied as raw bytes, set aside
	// first: it may be the changed vector itself.
	std::vector<uint8_t> raw;
	spans::Cells values{nullptr, 0};
	uint32_t source;
	if (cell::is(value, T_VECTOR)) {
		if (element_type(value) != element_type(v) || width_of(value) != w)
			errors::fire(errors::id::script_invalid_arg, value);
		Cell src = *value;
		source = vs_length(&src);
		const uint8_t* from = head_ptr(&src);
		raw.assign(from, from + size_t(source) * w);
	} else {
		values = values_of(v, value, true);
		source = values.count;
	}
	uint32_t written = written_count(source, dup, w);
	uint32_t limit = part < 0 ? written : uint32_t(part);
	uint32_t replaced = limit < after ? limit : after;
	string::notify(v, "change", head, replaced);
	s = memory::buffer_of(v);
	if (written > replaced)
		s = series::open_gap(s, head + replaced, written - replaced);
	else if (written < replaced)
		series::close_gap(s, head + written, replaced - written);
	if (raw.empty()) {
		if (source) write_run(s, head, values, dup);
	} else {
		uint8_t* p = series::unit_at(s, head);
		std::memcpy(p, raw.data(), raw.size());
		if (dup > 1) memory::repeat_copy(p, raw.size(), size_t(dup));
	}
	string::notify(v, "changed", head, written);
	v->data1 = head + written;
	return v;
}

namespace {

template <MathOp Op>
Cell* arithmetic() {
	return do_math(Op);
}

}  // namespace

void init_type() {
	ActionRow row{};
	row.make = make;
	row.form = form;
	row.mold = mold;
	row.compare = compare;
	row.add = arithmetic<OP_ADD>;
	row.divide = arithmetic<OP_DIV>;
	row.multiply = arithmetic<OP_MUL>;
	row.remainder = arithmetic<OP_REM>;
	row.subtract = arithmetic<OP_SUB>;
	row.and_t = arithmetic<OP_AND>;
	row.or_t = arithmetic<OP_OR>;
	row.xor_t = arithmetic<OP_XOR>;
	row.append = insert;
	row.insert = insert;
	row.change = change;
	uint64_t inherited = 0;
	for (Slot s : {A_RANDOM, A_REFLECT, A_EVAL_PATH, A_AT, A_BACK, A_CLEAR, A_COPY, A_FIND, A_HEAD, A_HEAD_Q, A_INDEX_Q,
			 A_LENGTH_Q, A_MOVE, A_NEXT, A_PICK, A_POKE, A_REMOVE, A_REVERSE, A_SELECT, A_SORT, A_SKIP, A_TAIL, A_TAIL_Q,
			 A_TAKE, A_MODIFY})
		inherited |= registry::slot_bit(s);
	registry::register_type(T_VECTOR, T_STRING, "vector!", row, inherited);
	extended_math::vector_scalar = do_math_scalar;
	series::vector_hooks = {push_value, set_value, to_block};
}

}  // namespace vyn::vector
