#include "runtime/datatypes/logic.h"

#include "runtime/datatypes/constants.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/unset.h"
#include "runtime/evaluator/stack.h"
#include "runtime/io/random.h"
#include "runtime/memory.h"
#include "runtime/registry.h"

namespace vyn::logic {

namespace {

Cell* to(Cell* proto, Cell* spec, Type) {
	switch (cell::type_of(spec)) {
	case T_LOGIC: return cell::copy(spec, proto);
	case T_NONE: return cell::copy(&constants::false_cell, proto);
	default: return cell::copy(&constants::true_cell, proto);
	}
}

// make differs from to on numbers: zero is false.
Cell* make(Cell* proto, Cell* spec, Type type) {
	switch (cell::type_of(spec)) {
	case T_INTEGER: return cell::copy(constants::logic_cell(cell::get_integer(spec) != 0), proto);
	case T_FLOAT:
	case T_PERCENT: return cell::copy(constants::logic_cell(cell::get_double(spec) != 0.0), proto);
	default: return to(proto, spec, type);
	}
}

std::string_view text_of(const Cell* value, bool all) {
	if (all) return get(value) ? "#(true)" : "#(false)";
	return get(value) ? "true" : "false";
}

int32_t form(const Cell* value, Cell* buffer, const Cell*, int32_t part) {
	std::string_view text = text_of(value, false);
	string::append_literal(buffer, text);
	return part - int32_t(text.size());
}

int32_t mold(const Cell* value, Cell* buffer, bool, bool all, bool, const Cell*, int32_t part, int32_t) {
	std::string_view text = text_of(value, all);
	string::append_literal(buffer, text);
	return part - int32_t(text.size());
}

// false sorts before true; there is no ordering otherwise.
int32_t compare(const Cell* value1, const Cell* value2, CompareOp op) {
	if (!cell::is(value2, T_LOGIC) || !constants::unordered_code(op)) return COMPARE_UNRELATED;
	return int32_t(get(value1)) - int32_t(get(value2));
}


// True for the upper half of a 31-bit draw: a fair coin.
Cell* random_action(Cell* value, bool seed, bool secure, bool) {
	if (seed) {
		random::seed(get(value) ? 1 : 0);
		return unset::box();
	}
	int32_t draw = secure ? random::secure_next() : random::next() & 0x7FFFFFFF;
	return cell::copy(constants::logic_cell(draw > 0x3FFFFFFF), value);
}

Cell* complement(Cell* value) { return cell::copy(constants::logic_cell(!get(value)), value); }

template <MathOp Op>
Cell* bitwise() {
	Cell* left = stack::arguments;
	const Cell* right = left + 1;
	if (!cell::is(right, T_LOGIC)) datatype::fire_call_type(errors::id::script_expect_arg, cell::type_of(right), "value2");
	bool a = get(left), b = get(right);
	bool r = Op == OP_AND ? (a && b) : Op == OP_OR ? (a || b) : (a != b);
	return cell::copy(constants::logic_cell(r), left);
}

}  // namespace

Cell* box(bool b) { return stack::set_last(constants::logic_cell(b)); }
Cell* push(bool b) { return stack::push(constants::logic_cell(b)); }
Cell* make_in(const Cell* block, bool b) { return cell::copy(constants::logic_cell(b), memory::alloc_tail(block)); }

bool value_true(const Cell* value, bool check, const Cell* argument) {
	if (check && cell::is(value, T_UNSET)) errors::fire(errors::id::script_no_value, argument);
	return !is_false(value);
}

bool condition_true() {
	const Cell* value = stack::arguments;
	if (cell::is(value, T_UNSET)) errors::fire(errors::id::script_no_return);
	return !is_false(value);
}

bool result_false() { return is_false(stack::arguments); }

bool top_true() {
	const Cell* value = stack::top > stack::arguments ? stack::top - 1 : stack::arguments;
	return !is_false(value);
}

void init_type() {
	ActionRow row{};
	row.make = make;
	row.random = random_action;
	row.to = to;
	row.form = form;
	row.mold = mold;
	row.compare = compare;
	row.and_t = bitwise<OP_AND>;
	row.complement = complement;
	row.or_t = bitwise<OP_OR>;
	row.xor_t = bitwise<OP_XOR>;
	registry::register_type(T_LOGIC, Type(0), "logic!", row);
}

}  // namespace vyn::logic
