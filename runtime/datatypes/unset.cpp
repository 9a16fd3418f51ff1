#include "runtime/datatypes/unset.h"

#include "runtime/datatypes/constants.h"
#include "runtime/datatypes/string.h"
#include "runtime/evaluator/stack.h"
#include "runtime/memory.h"
#include "runtime/registry.h"

namespace vyn::unset {

namespace {

Cell* make(Cell* proto, Cell*, Type) { return cell::copy(&constants::unset_cell, proto); }

int32_t form(const Cell*, Cell*, const Cell*, int32_t part) { return part; }

int32_t mold(const Cell*, Cell* buffer, bool, bool all, bool, const Cell*, int32_t part, int32_t) {
	std::string_view text = all ? "#(unset)" : "unset";
	string::append_literal(buffer, text);
	return part - int32_t(text.size());
}

int32_t compare(const Cell*, const Cell* value2, CompareOp op) {
	return cell::is(value2, T_UNSET) && constants::unordered_code(op) ? 0 : COMPARE_UNRELATED;
}

}  // namespace

Cell* box() { return stack::set_last(&constants::unset_cell); }
Cell* push() { return stack::push(&constants::unset_cell); }
Cell* make_in(const Cell* block) { return cell::copy(&constants::unset_cell, memory::alloc_tail(block)); }

void init_type() {
	ActionRow row{};
	row.make = make;
	row.to = make;
	row.form = form;
	row.mold = mold;
	row.compare = compare;
	registry::register_type(T_UNSET, Type(0), "unset!", row);
}

}  // namespace vyn::unset
