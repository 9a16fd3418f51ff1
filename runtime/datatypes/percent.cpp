#include "runtime/datatypes/percent.h"

#include <bit>

#include "runtime/datatypes/float.h"
#include "runtime/datatypes/string.h"
#include "runtime/evaluator/stack.h"
#include "runtime/memory.h"

namespace vyn::percent {

namespace {

int32_t form(const Cell* value, Cell* buffer, const Cell*, int32_t part) {
	char text[float_::FORM_CAPACITY];
	char* end = float_::form_double(text, get(value) * 100.0, 3);
	string::append_literal(buffer, std::string_view(text, size_t(end - text)));
	return part - int32_t(end - text);
}

int32_t mold(const Cell* value, Cell* buffer, bool, bool, bool, const Cell* arg, int32_t part, int32_t) {
	return form(value, buffer, arg, part);
}

}  // namespace

Cell* push(double fraction) { return make_at(stack::alloc_slot(), fraction); }
Cell* push_halves(uint32_t low, uint32_t high) {
	return push(std::bit_cast<double>(uint64_t(high) << 32 | low));
}
Cell* box(double fraction) { return make_at(stack::arguments, fraction); }
Cell* make_in(const Cell* block, double fraction) { return make_at(memory::alloc_tail(block), fraction); }

void init_type() {
	constexpr uint64_t inherited = registry::slot_bit(A_MAKE) | registry::slot_bit(A_RANDOM) |
		registry::slot_bit(A_TO) | ((registry::slot_bit(A_ODD_Q) << 1) - registry::slot_bit(A_COMPARE));
	ActionRow row{};
	row.form = form;
	row.mold = mold;
	registry::register_type(T_PERCENT, T_FLOAT, "percent!", row, inherited);
}

}  // namespace vyn::percent
