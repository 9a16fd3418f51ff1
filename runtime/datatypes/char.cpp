#include "runtime/datatypes/char.h"

#include <cmath>

#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/extended_math.h"
#include "runtime/datatypes/float.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/string.h"
#include "runtime/evaluator/stack.h"
#include "runtime/memory.h"
#include "runtime/utf8.h"

namespace vyn::char_ {

namespace {

[[noreturn]] void overflow() { errors::fire(errors::id::math_overflow); }
[[noreturn]] void bad_spec(const Cell* spec) { datatype::fire_type(errors::id::script_bad_to_arg, T_CHAR, spec); }

uint32_t in_range(double v, const Cell* spec) {
	if (!(v >= 0 && v <= MAX_CODEPOINT)) errors::fire(errors::id::script_out_of_range, spec);
	return uint32_t(v);
}

// The UTF-8 sequence at the head of a binary.
uint32_t from_binary(Cell* spec) {
	uint32_t remaining = string::vs_length(spec);
	if (remaining == 0) bad_spec(spec);
	int32_t cp = unicode::decode_utf8_checked(string::vs_head(spec), &remaining);
	if (cp < 0) bad_spec(spec);
	return uint32_t(cp);
}

Cell* make(Cell* proto, Cell* spec, Type) {
	Type t = cell::type_of(spec);
	uint32_t cp;
	switch (t) {
	case T_CHAR: case T_INTEGER: cp = in_range(int32_t(spec->data2), spec); break;
	case T_FLOAT: case T_PERCENT: cp = in_range(std::trunc(float_::get(spec)), spec); break;
	case T_BINARY: cp = from_binary(spec); break;
	default: {
		if (!string::any_string(t) || string::vs_length(spec) == 0) bad_spec(spec);
		cp = string::get_char(string::vs_head(spec), string::width_of(spec));
	}
	}
	return make_at(proto, cp);
}

int32_t form(const Cell* value, Cell* buffer, const Cell*, int32_t part) {
	string::append_char(buffer, get(value));
	return part - 1;
}

// #"c" with the string escapes: control characters as "^" and a letter,
// with /all everything above 127 as "^(hex)".
int32_t mold(const Cell* value, Cell* buffer, bool, bool all, bool, const Cell*, int32_t part, int32_t) {
	string::append_literal(buffer, "#\"");
	string::append_escaped_char(buffer, get(value), true, all);
	string::append_char(buffer, '"');
	return part - 4;
}

int32_t compare(const Cell* value1, const Cell* value2, CompareOp op) {
	Type t = cell::type_of(value2);
	if ((op == COMP_STRICT_EQUAL || op == COMP_FIND_SELECT) && t != T_CHAR) return 1;
	if (t != T_CHAR && t != T_INTEGER) return COMPARE_UNRELATED;
	int32_t a = int32_t(get(value1)), b = int32_t(value2->data2);
	return (a > b) - (a < b);
}

template <MathOp Op>
Cell* arithmetic() {
	return do_math(Op);
}

}  // namespace

Cell* push(uint32_t cp) { return make_at(stack::alloc_slot(), cp); }
Cell* make_in(const Cell* block, uint32_t cp) { return make_at(memory::alloc_tail(block), cp); }

Cell* do_math(MathOp op) {
	Cell* left = stack::arguments;
	Cell* right = left + 1;
	int32_t operand;
	switch (cell::type_of(right)) {
	case T_CHAR: case T_INTEGER: operand = int32_t(right->data2); break;
	case T_FLOAT: {
		double d = std::trunc(float_::get(right));
		if (!(d >= -2147483648.0 && d <= 2147483647.0)) overflow();
		operand = int32_t(d);
		break;
	}
	case T_VECTOR:
		if (!extended_math::vector_scalar) datatype::fire_type(errors::id::script_invalid_type, T_VECTOR);
		return cell::copy(extended_math::vector_scalar(op, left, right), left);
	default: datatype::fire_type(errors::id::script_invalid_type, cell::type_of(right));
	}
	Cell scratch;
	cell::make_integer(&scratch, 0);
	int32_t r = integer::do_math_op(int32_t(get(left)), operand, op, op == OP_DIV ? nullptr : &scratch);
	if (!cell::is(&scratch, T_INTEGER) || r < 0 || uint32_t(r) > MAX_CODEPOINT) overflow();
	left->data2 = uint32_t(r);
	return left;
}

void init_type() {
	constexpr uint64_t inherited = registry::slot_bit(A_RANDOM) | registry::slot_bit(A_ABSOLUTE) |
		registry::slot_bit(A_EVEN_Q) | registry::slot_bit(A_ODD_Q);
	ActionRow row{};
	row.make = make;
	row.to = make;
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
	registry::register_type(T_CHAR, T_INTEGER, "char!", row,inherited);
}

}  // namespace vyn::char_
