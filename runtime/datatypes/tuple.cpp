#include "runtime/datatypes/tuple.h"

#include <cmath>
#include <cstring>

#include "runtime/datatypes/compound.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/extended_math.h"
#include "runtime/datatypes/float.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/spans.h"
#include "runtime/evaluator/stack.h"
#include "runtime/io/random.h"
#include "runtime/symbol.h"
#include "runtime/utf8.h"

namespace vyn::tuple {

namespace {

using datatype::fire_type;

inline uint8_t clamp_byte(int64_t v) { return uint8_t(v < 0 ? 0 : v > 255 ? 255 : v); }

// Saturated to 0..255 in floating point first, so no conversion overflows;
// NaN gives 0.
inline uint8_t clamp_byte(double d) {
	if (!(d > 0)) return 0;
	return d >= 255 ? 255 : uint8_t(d);
}

inline void set_size(Cell* t, uint32_t count) { t->header = (t->header & ~SIZE_MASK) | (count << SIZE_SHIFT); }

// b op n with the integer worker's rules, the result clamped to a byte
// (an overflowing result saturates like any other out-of-range one).
uint8_t byte_op(uint8_t b, int32_t n, MathOp op) {
	int64_t r = 0;
	switch (op) {
	case OP_ADD: r = int64_t(b) + n; break;
	case OP_SUB: r = int64_t(b) - n; break;
	case OP_MUL: r = int64_t(b) * n; break;
	case OP_DIV:
		if (n == 0) errors::fire(errors::id::math_zero_divide);
		r = int64_t(b) / n;
		break;
	case OP_REM:
		if (n == 0) errors::fire(errors::id::math_zero_divide);
		r = int64_t(b) % n;
		break;
	case OP_OR: r = int32_t(uint32_t(b) | uint32_t(n)); break;
	case OP_AND: r = int32_t(uint32_t(b) & uint32_t(n)); break;
	case OP_XOR: r = int32_t(uint32_t(b) ^ uint32_t(n)); break;
	}
	return clamp_byte(r);
}

uint8_t float_byte_op(uint8_t b, double f, MathOp op) { return clamp_byte(float_::do_math_op(double(b), f, op)); }

[[noreturn]] void bad_to(const Cell* spec) { fire_type(errors::id::script_bad_to_arg, T_TUPLE, spec); }

void from_block(Cell* out, Cell* spec) {
	spans::Cells cells = spans::cells_of(spec);
	if (cells.count > MAX_SIZE) bad_to(spec);
	uint8_t bytes[MAX_SIZE] = {};
	uint32_t n = 0;
	for (const Cell* c = cells.head; n < cells.count; c++, n++) {
		double v;
		switch (cell::type_of(c)) {
		case T_INTEGER:
		case T_CHAR: v = double(int32_t(c->data2)); break;
		case T_FLOAT: v = std::trunc(cell::get_double(c)); break;
		default: bad_to(spec);
		}
		if (!(v >= 0 && v <= 255)) bad_to(spec);
		bytes[n] = uint8_t(v);
	}
	make_at(out, n < MIN_SIZE ? MIN_SIZE : n, bytes);
}

void from_binary(Cell* out, Cell* spec) {
	spans::Bytes b = spans::bytes_of(spec);
	uint32_t n = b.count < MAX_SIZE ? b.count : MAX_SIZE;
	uint8_t bytes[MAX_SIZE] = {};
	std::memcpy(bytes, b.head, n);
	make_at(out, n < MIN_SIZE ? MIN_SIZE : n, bytes);
}

// Codes past 127 are never digits (not folded onto ASCII).
int hex_digit(uint32_t cp) {
	if (cp > 0x7F) return -1;
	if (cp >= '0' && cp <= '9') return int(cp - '0');
	cp |= 0x20;
	if (cp >= 'a' && cp <= 'f') return int(cp - 'a' + 10);
	return -1;
}

// Bytes shared by the arithmetic of a tuple with a tuple, a number or a float.
struct Operand {
	enum Kind { TUPLE, INTEGER, FLOAT } kind;
	const uint8_t* bytes;
	uint32_t size;
	int32_t n;
	double f;
};

Operand operand_of(const Cell* v) {
	switch (cell::type_of(v)) {
	case T_TUPLE: return {Operand::TUPLE, bytes_of(v), size_of(v), 0, 0};
	case T_INTEGER: return {Operand::INTEGER, nullptr, 0, cell::get_integer(v), 0};
	case T_FLOAT:
	case T_PERCENT: return {Operand::FLOAT, nullptr, 0, 0, cell::get_double(v)};
	default: fire_type(errors::id::script_invalid_type, cell::type_of(v));
	}
}

}  // namespace

Cell* make_at(Cell* out, uint32_t count, const uint8_t* bytes) {
	cell::set(out, T_TUPLE | (count << SIZE_SHIFT));
	std::memcpy(bytes_of(out), bytes, count);
	return out;
}

Cell* push(uint32_t count, uint32_t w1, uint32_t w2, uint32_t w3) {
	Cell* c = stack::alloc_slot();
	cell::set(c, T_TUPLE | (count << SIZE_SHIFT), w1, w2, w3);
	return c;
}

Cell* push_ints(uint32_t count, const int32_t* ints) {
	if (count > MAX_SIZE) count = MAX_SIZE;
	uint8_t bytes[MAX_SIZE] = {};
	for (uint32_t i = 0; i < count; i++) bytes[i] = uint8_t(ints[i]);
	return make_at(stack::alloc_slot(), count < MIN_SIZE ? MIN_SIZE : count, bytes);
}

bool zero_q(const Cell* t) { return (t->data1 | t->data2 | t->data3) == 0; }

Cell* do_math(MathOp op) {
	Cell* left = stack::arguments;
	Cell* right = left + 1;
	if (!cell::is(left, T_TUPLE)) {
		// number op tuple: only the operations that commute take it.
		if (op == OP_SUB || op == OP_DIV || op == OP_REM)
			datatype::fire_word_type(errors::id::script_not_related, extended_math::action_name(op), cell::type_of(left));
		extended_math::swap_operands(left, right);
	}
	Operand b = operand_of(right);
	uint32_t size = size_of(left);
	if (b.kind == Operand::TUPLE && b.size > size) size = b.size;
	// Computed aside: an error leaves both slots as they were.
	uint8_t out[MAX_SIZE] = {};
	const uint8_t* a = bytes_of(left);
	for (uint32_t i = 0; i < size; i++) {
		switch (b.kind) {
		case Operand::TUPLE: out[i] = byte_op(a[i], b.bytes[i], op); break;
		case Operand::INTEGER: out[i] = byte_op(a[i], b.n, op); break;
		case Operand::FLOAT: out[i] = float_byte_op(a[i], b.f, op); break;
		}
	}
	return make_at(left, size, out);
}

Cell* to(Cell* proto, Cell* spec, Type) {
	switch (cell::type_of(spec)) {
	case T_TUPLE: *proto = *spec; break;
	case T_BLOCK:
	case T_PAREN:
	case T_HASH: from_block(proto, spec); break;
	case T_BINARY: from_binary(proto, spec); break;
	case T_ISSUE: {
		std::string_view name = symbol::name(spec->data2);
		from_hex(proto, reinterpret_cast<const uint8_t*>(name.data()), uint32_t(name.size()), spec);
		break;
	}
	default:
		if (!spans::is_any_string(cell::type_of(spec))) bad_to(spec);
		compound::load_one(spec, proto);
		if (!cell::is(proto, T_TUPLE)) bad_to(spec);
		break;
	}
	return proto;
}

Cell* from_hex(Cell* out, const uint8_t* name, uint32_t length, const Cell* issue) {
	int digits[8];
	uint32_t n = 0;
	const uint8_t* end = name + length;
	for (const uint8_t* p = name; p < end;) {
		uint32_t left = uint32_t(end - p);
		int32_t cp = unicode::decode_utf8_checked(p, &left);
		if (cp < 0 || n == 8) errors::fire(errors::id::script_invalid_data, issue);
		p += left;
		int d = uint32_t(cp) < 32 ? -1 : hex_digit(uint32_t(cp));
		if (d < 0) errors::fire(errors::id::script_invalid_data, issue);
		digits[n++] = d;
	}
	uint8_t bytes[4] = {};
	switch (n) {
	case 3:
		for (int i = 0; i < 3; i++) bytes[i] = uint8_t(digits[i] * 17);
		return make_at(out, 3, bytes);
	case 6:
	case 8:
		for (uint32_t i = 0; i < n / 2; i++) bytes[i] = uint8_t(digits[2 * i] << 4 | digits[2 * i + 1]);
		return make_at(out, n / 2, bytes);
	default: errors::fire(errors::id::script_invalid_data, issue);
	}
}

int32_t form(const Cell* value, Cell* buffer, const Cell*, int32_t part) {
	char text[MAX_SIZE * 4];
	char* p = text;
	const uint8_t* b = bytes_of(value);
	for (uint32_t i = 0; i < size_of(value); i++) {
		if (i) *p++ = '.';
		if (b[i] >= 100) *p++ = char('0' + b[i] / 100);
		if (b[i] >= 10) *p++ = char('0' + b[i] / 10 % 10);
		*p++ = char('0' + b[i] % 10);
	}
	return compound::emit(buffer, std::string_view(text, size_t(p - text)), part);
}

int32_t mold(const Cell* value, Cell* buffer, bool, bool, bool, const Cell* arg, int32_t part, int32_t) {
	return form(value, buffer, arg, part);
}

int32_t compare(const Cell* value1, const Cell* value2, CompareOp) {
	if (!cell::is(value2, T_TUPLE)) return COMPARE_UNRELATED;
	// Bytes past each count are 0, so the whole 12 bytes compare.
	int r = std::memcmp(bytes_of(value1), bytes_of(value2), MAX_SIZE);
	return (r > 0) - (r < 0);
}

Cell* pick(Cell* t, int32_t index, const Cell* boxed) {
	if (index < 1 || uint32_t(index) > size_of(t)) errors::fire(errors::id::script_out_of_range, boxed);
	Cell* c = stack::alloc_slot();
	cell::make_integer(c, bytes_of(t)[index - 1]);
	return c;
}

Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell*, Cell* gparent, Cell* previous, int32_t path_index,
	bool, bool, bool, bool notify) {
	if (!cell::is(element, T_INTEGER)) fire_type(errors::id::script_invalid_type, cell::type_of(element));
	int32_t index = cell::get_integer(element);
	uint32_t size = size_of(parent);
	if (index < 1 || uint32_t(index) > size) errors::fire(errors::id::script_out_of_range, element);
	if (!value) return pick(parent, index, element);
	Cell old = *parent;
	uint8_t* b = bytes_of(parent);
	if (cell::is(value, T_INTEGER)) {
		b[index - 1] = clamp_byte(int64_t(cell::get_integer(value)));
	} else if (cell::is(value, T_NONE)) {
		std::memset(b + index - 1, 0, MAX_SIZE - uint32_t(index - 1));
		set_size(parent, uint32_t(index) - 1 < MIN_SIZE ? MIN_SIZE : uint32_t(index) - 1);
	} else {
		fire_type(errors::id::script_invalid_type, cell::type_of(value));
	}
	compound::notify_set(gparent, previous, old, parent, path_index, notify);
	return value;
}

Cell* reverse(Cell* t, const Cell* part, const Cell* skip) {
	uint32_t size = size_of(t);
	uint32_t count = size;
	if (part) {
		if (!cell::is(part, T_INTEGER)) series::refine_error("part", part);
		int32_t n = cell::get_integer(part);
		if (n < 0) errors::fire(errors::id::script_out_of_range, part);
		if (uint32_t(n) < count) count = uint32_t(n);
	}
	uint32_t record = 1;
	if (skip) {
		if (!cell::is(skip, T_INTEGER)) series::refine_error("skip", skip);
		int32_t n = cell::get_integer(skip);
		if (n < 1) errors::fire(errors::id::script_out_of_range, skip);
		if (uint32_t(n) == count) return t;
		if (uint32_t(n) > count || count % uint32_t(n)) series::refine_error("skip", skip);
		record = uint32_t(n);
	}
	uint8_t* b = bytes_of(t);
	uint8_t old[MAX_SIZE];
	std::memcpy(old, b, count);
	uint32_t records = count / record;
	for (uint32_t r = 0; r < records; r++) std::memcpy(b + r * record, old + (records - 1 - r) * record, record);
	return t;
}

Cell* complement(Cell* t) {
	uint8_t* b = bytes_of(t);
	for (uint32_t i = 0; i < size_of(t); i++) b[i] = uint8_t(255 - b[i]);
	return t;
}

int32_t length_q(Cell* t) { return int32_t(size_of(t)); }

// Each byte b becomes a draw in 0..b.
Cell* random(Cell* t, bool seed, bool secure, bool) {
	if (seed) {
		random::seed(int32_t(t->data1 ^ t->data2 ^ t->data3));
		cell::make_unset(t);
		return t;
	}
	uint8_t* b = bytes_of(t);
	for (uint32_t i = 0; i < size_of(t); i++) b[i] = uint8_t(random::rand_range(secure, b[i] + 1) - 1);
	return t;
}

namespace {

template <MathOp Op>
Cell* arithmetic() {
	return do_math(Op);
}

Cell* make(Cell* proto, Cell* spec, Type type) { return to(proto, spec, type); }

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
	row.add = arithmetic<OP_ADD>;
	row.divide = arithmetic<OP_DIV>;
	row.multiply = arithmetic<OP_MUL>;
	row.remainder = arithmetic<OP_REM>;
	row.subtract = arithmetic<OP_SUB>;
	row.and_t = arithmetic<OP_AND>;
	row.complement = complement;
	row.or_t = arithmetic<OP_OR>;
	row.xor_t = arithmetic<OP_XOR>;
	row.length_q = length_q;
	row.pick = pick;
	row.reverse = reverse;
	registry::register_type(T_TUPLE, Type(0), "tuple!", row);
	extended_math::do_math[T_TUPLE] = do_math;
}

}  // namespace vyn::tuple
