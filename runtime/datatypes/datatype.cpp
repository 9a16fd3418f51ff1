#include "runtime/datatypes/datatype.h"

#include "runtime/datatypes/string.h"
#include "runtime/evaluator/actions.h"
#include "runtime/evaluator/stack.h"
#include "runtime/memory.h"
#include "runtime/registry.h"

namespace vyn::datatype {

namespace {

void name_word(const char* name, Cell* out) {
	if (actions::make_word)
		actions::make_word(name, out);
	else
		cell::make_none(out);
}

// The registered name, whole or without its final "!".
std::string_view name_of(const Cell* value, bool whole) {
	Type t = get(value);
	if (t == 0 || t >= registry::TYPE_SLOTS || !registry::names[t].name) return {};
	const registry::TypeName& n = registry::names[t];
	return {n.name, whole ? n.length + 1 : n.length};
}

int32_t form(const Cell* value, Cell* buffer, const Cell*, int32_t part) {
	std::string_view name = name_of(value, false);
	string::append_literal(buffer, name);
	return part - int32_t(name.size());
}

int32_t mold(const Cell* value, Cell* buffer, bool, bool all, bool, const Cell*, int32_t part, int32_t) {
	std::string_view name = name_of(value, true);
	if (all) string::append_literal(buffer, "#(");
	string::append_literal(buffer, name);
	if (all) string::append_literal(buffer, ")");
	return part - int32_t(name.size()) - (all ? 3 : 0);
}

int32_t compare(const Cell* value1, const Cell* value2, CompareOp op) {
	switch (op) {
	case COMP_EQUAL: case COMP_NOT_EQUAL: case COMP_STRICT_EQUAL: case COMP_SAME: case COMP_FIND_SELECT:
		return cell::is(value2, T_DATATYPE) && value2->data1 == value1->data1 ? 0 : 1;
	default: return COMPARE_UNRELATED;
	}
}

}  // namespace

Cell* push(Type t) { return make_at(stack::alloc_slot(), t); }

Cell* make_in(const Cell* block, Type t) { return make_at(memory::alloc_tail(block), t); }

void fire_type(errors::Id id, Type t, const Cell* value) {
	Cell type;
	make_at(&type, t);
	errors::fire(id, &type, value);
}

void fire_word_type(errors::Id id, const char* word, Type t) {
	Cell w, type;
	name_word(word, &w);
	make_at(&type, t);
	errors::fire(id, &w, &type);
}

void fire_call_type(errors::Id id, Type t, const char* argument) {
	Cell call, type, arg;
	stack::get_call(&call);
	make_at(&type, t);
	if (!argument) errors::fire(id, &call, &type);
	name_word(argument, &arg);
	errors::fire(id, &call, &type, &arg);
}

void init_type() {
	ActionRow row{};
	row.form = form;
	row.mold = mold;
	row.compare = compare;
	registry::register_type(T_DATATYPE, Type(0), "datatype!", row);
}

}  // namespace vyn::datatype
