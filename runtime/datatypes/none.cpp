#include "runtime/datatypes/none.h"

#include "runtime/datatypes/constants.h"
#include "runtime/datatypes/string.h"
#include "runtime/evaluator/stack.h"
#include "runtime/memory.h"
#include "runtime/registry.h"

namespace vyn::none {

namespace {

Cell* answer_none(Cell* value) { return cell::copy(&constants::none_cell, value); }

Cell* make(Cell* proto, Cell*, Type) { return answer_none(proto); }

int32_t form(const Cell*, Cell* buffer, const Cell*, int32_t part) {
	string::append_literal(buffer, "none");
	return part - 4;
}

int32_t mold(const Cell*, Cell* buffer, bool, bool all, bool, const Cell*, int32_t part, int32_t) {
	std::string_view text = all ? "#(none)" : "none";
	string::append_literal(buffer, text);
	return part - int32_t(text.size());
}

int32_t compare(const Cell*, const Cell* value2, CompareOp op) {
	return cell::is(value2, T_NONE) && constants::unordered_code(op) ? 0 : COMPARE_UNRELATED;
}

Cell* find(Cell* series, Cell*, const Cell*, bool, bool, bool, bool, const Cell*, const Cell*, bool, bool, bool,
	bool) {
	return answer_none(series);
}

Cell* select(Cell* series, Cell*, const Cell*, bool, bool, bool, bool, const Cell*, const Cell*, bool, bool) {
	return answer_none(series);
}

int32_t length(Cell*) { return -1; }
Cell* remove(Cell* series, const Cell*, const Cell*) { return answer_none(series); }
Cell* take(Cell* series, const Cell*, bool, bool) { return answer_none(series); }

}  // namespace

Cell* box() { return stack::set_last(&constants::none_cell); }
Cell* push() { return stack::push(&constants::none_cell); }
Cell* make_in(const Cell* block) { return cell::copy(&constants::none_cell, memory::alloc_tail(block)); }

void init_type() {
	ActionRow row{};
	row.make = make;
	row.to = make;
	row.form = form;
	row.mold = mold;
	row.compare = compare;
	row.clear = answer_none;
	row.find = find;
	row.length_q = length;
	row.remove = remove;
	row.select = select;
	row.take = take;
	registry::register_type(T_NONE, Type(0), "none!", row);
}

}  // namespace vyn::none
