#include "runtime/datatypes/tag.h"

#include "runtime/datatypes/string.h"
#include "runtime/evaluator/stack.h"

namespace vyn::tag {

Cell* push(const Cell* value) { return stack::push(value); }

namespace {

// "<", the text as string! forms it with one unit less of limit, ">".
int32_t form(const Cell* value, Cell* buffer, const Cell* arg, int32_t part) {
	string::append_char(buffer, '<');
	int32_t left = string::form(value, buffer, arg, part - 1);
	string::append_char(buffer, '>');
	return left - 1;
}

int32_t mold(const Cell* value, Cell* buffer, bool, bool, bool, const Cell* arg, int32_t part, int32_t) {
	return form(value, buffer, arg, part);
}

}  // namespace

void init_type() {
	ActionRow row{};
	row.form = form;
	row.mold = mold;
	registry::register_type(T_TAG, T_STRING, "tag!", row);
}

}  // namespace vyn::tag
