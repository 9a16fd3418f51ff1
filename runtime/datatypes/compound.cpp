#include "runtime/datatypes/compound.h"

#include "runtime/context.h"
#include "runtime/datatypes/series.h"
#include "runtime/evaluator/lexer.h"
#include "runtime/ownership.h"
#include "runtime/symbol.h"
#include "runtime/words.h"

namespace vyn::compound {

bool is_word(const Cell* c, uint32_t symbol) { return cell::is(c, T_WORD) && symbol::same_name(c->data2, symbol); }

void load_one(Cell* text, Cell* out) {
	Cell* block = stack::alloc_slot();
	cell::make_none(block);
	lexer::Options o;
	o.one_value = true;
	o.always_block = true;
	uint32_t consumed = 0;
	uint32_t length = string::vs_length(text);
	lexer::scan_string(block, text, -1, o, &consumed);
	Series* b = memory::buffer_of(block);
	if (consumed < length || b->used() != sizeof(Cell))
		cell::make_none(out);
	else
		*out = *b->head_cell();
	stack::pop(1);
}

void notify_set(Cell* gparent, Cell* previous, const Cell& old, const Cell* parent, int32_t index, bool notify) {
	if (!notify || !gparent) return;
	if (cell::is(gparent, T_OBJECT)) {
		if (!context::on_change || !gparent->data3 || !previous) return;
		// The handler runs Vyn code: its arguments live on the data stack.
		Cell* saved = stack::top;
		Cell* o = stack::push(gparent);
		Cell* w = stack::push(previous);
		Cell* before = stack::push(&old);
		Cell* after = stack::push(parent);
		context::on_change(o, w, before, after);
		stack::top = saved;
		return;
	}
	if (series::movable(cell::type_of(gparent))) ownership::check(gparent, words::w_set_path, index, 1);
}

}  // namespace vyn::compound
