// print and prin: reduce and form into the shared print buffer, then hand
// the text to the print hooks.
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/string.h"
#include "runtime/errors.h"
#include "runtime/evaluator/actions.h"
#include "runtime/evaluator/natives.h"
#include "runtime/evaluator/stack.h"
#include "runtime/print_hooks.h"

namespace vyn::natives {

Cell print_buffer;
bool print_newline = false;
bool print_last_lf = false;

namespace {

const Cell UNSET_CELL{T_UNSET, 0, 0, 0};

void print_value(bool newline) {
	Cell value = *stack::arguments;
	Cell* text = stack::alloc_slot();
	if (cell::is(&value, T_STRING)) {
		*text = value;
	} else {
		string::make_at(text, 64);
		actions::form(&value, text, nullptr, 0x7FFFFFFF);
	}
	print_newline = newline;
	uint32_t length = string::vs_length(text);
	if (newline)
		print_last_lf = true;
	else if (length > 0)
		print_last_lf = string::abs_char_at(text, text->data1 + length - 1) == '\n';
	Cell t = *text;
	dyn_print::call_print_hooks(&t, int32_t(string::vs_length(&t)));
	stack::set_result(&UNSET_CELL);
}

void print_native(bool newline) {
	Cell* value = stack::arguments;
	if (!cell::is(value, T_BLOCK)) return print_value(newline);
	// A block is reduced into the shared buffer after what an enclosing print holds.
	uint32_t start = memory::buffer_of(&print_buffer)->used() / sizeof(Cell);
	Cell* target = stack::push(&print_buffer);
	target->data1 = start;
	Cell block = *value;
	try {
		reduce_block(&block, target);
	} catch (...) {
		block::set_tail_at(&print_buffer, start);
		throw;
	}
	if (errors::pending) return block::set_tail_at(&print_buffer, start);
	*stack::arguments = print_buffer;
	stack::arguments->data1 = start;
	stack::top = stack::arguments + 1;
	print_value(newline);
	block::set_tail_at(&print_buffer, start);
}

void n_print(bool, const int32_t*) { print_native(true); }
void n_prin(bool, const int32_t*) { print_native(false); }

}  // namespace

void print(const Cell* value, bool newline) {
	Cell* saved = stack::top;
	stack::mark_symbol(stack::body_symbol, stack::OPEN_NATIVE);
	stack::push(value);
	print_native(newline);
	if (errors::pending) return;
	stack::unwind();
	stack::top = saved;
}

void register_print() {
	block::make_at(&print_buffer, 32);
	set(N_PRINT, n_print);
	set(N_PRIN, n_prin);
}

}  // namespace vyn::natives
