#include "runtime/datatypes/email.h"

#include "runtime/datatypes/string.h"
#include "runtime/evaluator/stack.h"
#include "runtime/symbol.h"
#include "runtime/words.h"

namespace vyn::email {

Cell* push(const Cell* value) { return stack::push(value); }

namespace {

// The text string! forms, with no prefix and no escapes.
int32_t mold(const Cell* value, Cell* buffer, bool, bool, bool, const Cell* arg, int32_t part, int32_t) {
	return string::form(value, buffer, arg, part);
}

enum Part { USER, HOST, OTHER };

Part part_named(const Cell* word) {
	uint32_t id = word->data2;
	return symbol::same_name(id, words::sym_user) ? USER : symbol::same_name(id, words::sym_host) ? HOST : OTHER;
}

Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* gparent, Cell* previous, int32_t index,
	bool case_sensitive, bool get, bool last, bool notify) {
	if (cell::is(element, T_INTEGER))
		return string::eval_path(parent, element, value, path, gparent, previous, index, case_sensitive, get, last,
			notify);
	Part which = cell::is(element, T_WORD) ? part_named(element) : OTHER;
	if (which == OTHER) errors::fire(errors::id::script_invalid_path, element, parent);
	uint32_t length = string::vs_length(parent);
	int32_t at = string::find_char(parent, '@');
	uint32_t split = at < 0 ? length : uint32_t(at);
	// The host starts after the "@"; without one it is the empty text at the tail.
	uint32_t from = which == USER ? 0 : split < length ? split + 1 : length;
	uint32_t count = which == USER ? split : length - from;
	Cell view = *parent;
	view.data1 += from;
	if (!value) {
		string::copy_text(parent, &view, int32_t(count), T_STRING);
		return parent;
	}
	string::change(&view, value, int32_t(count), false, 1);
	return value;
}

}  // namespace

void init_type() {
	ActionRow row{};
	row.mold = mold;
	row.eval_path = eval_path;
	registry::register_type(T_EMAIL, T_STRING, "email!", row);
}

}  // namespace vyn::email
