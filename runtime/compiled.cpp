#include "runtime/compiled.h"

#include <cmath>

#include "runtime/context.h"
#include "runtime/datatypes/error.h"
#include "runtime/datatypes/series.h"
#include "runtime/errors.h"
#include "runtime/evaluator/actions.h"
#include "runtime/evaluator/lexer.h"
#include "runtime/evaluator/natives.h"
#include "runtime/memory.h"
#include "runtime/utf8.h"

namespace vyn::compiled {

namespace {

[[noreturn]] void raise_with_word(errors::Id id, Node ctx, uint32_t index) {
	Cell w = *context::word_cell(ctx, index);
	w.header = T_WORD;
	errors::fire(id, &w);
}

Cell* checked_slot(Node ctx, uint32_t index, const Cell* value) {
	if (cell::is(value, T_UNSET)) raise_with_word(errors::id::script_need_value, ctx, index);
	Cell* slot = ctx_value_slot(ctx, index);
	*slot = *value;
	return slot;
}

bool truthy(const Cell* v) { return !cell::is(v, T_NONE) && !(cell::is(v, T_LOGIC) && v->data1 == 0); }

// Whether the step into `element` of a set-path tells the parent's owner:
// the last element of a set-path of 3 or more, when the parent is an
// object with change handlers reached through a word, or a series.
bool notifies(const Cell* parent, const Cell* previous, uint32_t k, uint32_t count) {
	if (k + 1 != count || count < 3) return false;
	Type t = cell::type_of(parent);
	if (t == T_OBJECT) return parent->data3 != 0 && cell::is(previous, T_WORD);
	return t == T_BLOCK || t == T_PAREN || t == T_HASH || (t >= T_PATH && t <= T_GET_PATH);
}

}  // namespace

void raise_bad_make_arg(const Cell* type, const Cell* spec) { errors::fire(errors::id::script_bad_make_arg, type, spec); }

void raise_expect_arg(int32_t index, const Cell* value) {
	Cell call, type, argument;
	stack::get_call(&call);
	cell::set(&type, T_DATATYPE, cell::type_of(value));
	error::argument_word(&call, uint32_t(index), &argument);
	errors::fire(errors::id::script_expect_arg, &call, &type, &argument);
}

Cell* get_word(Cell* word) {
	Cell* v = context::get(word);
	if (cell::is(v, T_UNSET)) errors::fire(errors::id::script_no_value, word);
	return v;
}

void set_word(Cell* word) {
	Cell* top = stack::get_top();
	if (cell::is(top, T_UNSET)) errors::fire(errors::id::script_need_value, word);
	context::set(word, top);
}

void set_word_reset(Cell* word) {
	set_word(word);
	stack::top = stack::arguments;
}

Cell* set_ctx_value(Node ctx, uint32_t index) { return checked_slot(ctx, index, stack::get_top()); }

Cell* set_ctx_value_reset(Node ctx, uint32_t index) {
	Cell* slot = checked_slot(ctx, index, stack::get_top());
	stack::top = stack::arguments;
	return slot;
}

void set_member(Node ctx, uint32_t index) {
	if (context::is_object(ctx)) context::word_cell(ctx, index)->header |= context::WORD_ASSIGNED;
	Cell v = *stack::get_top();
	memory::series(context::header(ctx)->data2)->head_cell()[index] = v;
	stack::top = stack::arguments;
}

Cell* ctx_value_slot(Node ctx, uint32_t index) {
	Cell* values = context::values(ctx);
	if (!values) raise_with_word(errors::id::script_not_defined, ctx, index);
	return values + index;
}

void set_refinement(const Cell* value, int32_t position, int32_t count) {
	Cell* at = stack::arguments + position;
	if (truthy(value)) {
		at->data1 = 1;
		return;
	}
	for (int32_t i = 1; i <= count; i++) cell::make_none(at + i);
}

void call_with_refinements(uint32_t index, bool native, uint32_t refinement_count, const Refinement* records,
	uint32_t record_count) {
	constexpr uint32_t MAX_REFINEMENTS = 16;
	int32_t positions[MAX_REFINEMENTS];
	if (refinement_count > MAX_REFINEMENTS) errors::fire(errors::id::internal_limit_hit);
	for (uint32_t i = 0; i < refinement_count; i++) positions[i] = -1;
	for (uint32_t r = 0; r < record_count; r++) {
		const Refinement& rec = records[r];
		if (truthy(rec.value)) {
			if (rec.ordinal >= 1 && uint32_t(rec.ordinal) <= refinement_count) positions[rec.ordinal - 1] = rec.position;
			continue;
		}
		for (int32_t i = 0; i < rec.count; i++) cell::make_none(stack::arguments + rec.position + i);
	}
	if (native)
		natives::table[index - 1](true, positions);
	else
		actions::stack_forms[index - 1](positions);
}

void eval_path(bool set, const Cell* path, const Cell* elements, uint32_t count) {
	Cell* saved = stack::top;
	Cell* to_set = nullptr;
	if (set) to_set = stack::push(stack::arguments);
	Cell* held_path = stack::push(path);
	Cell head = elements[0];
	Cell* parent = nullptr;
	Cell* current = stack::alloc_slot();
	if (cell::is(&head, T_WORD)) {
		*current = *context::get(&head);
		Node ctx = head.data1;
		if (ctx && ctx != context::global && !context::is_object(ctx)) parent = stack::push(context::owner(ctx));
	} else {
		*current = head;
	}
	for (uint32_t k = 1; k < count; k++) {
		bool last = k + 1 == count;
		Cell element = elements[k];
		Cell* e = stack::push(&element);
		bool notify = set && parent && notifies(current, elements + k - 1, k, count);
		Cell previous = elements[k - 1];
		Cell* answer = actions::eval_path(current, e, last ? to_set : nullptr, held_path, parent, &previous,
			int32_t(k), false, false, last, notify);
		Cell next = *answer;
		parent = stack::push(current);
		current = stack::push(&next);
	}
	Cell result = *current;
	stack::top = saved;
	stack::set_last(&result);
}

void switch_lookup(bool step1, bool block_body) {
	Cell value = *stack::arguments;
	Cell b = stack::arguments[1];
	Cell result;
	cell::make_none(&result);
	if (!cell::is(&value, T_BLOCK) && series::any_block(cell::type_of(&b))) {
		uint32_t head = series::clamp_head(&b);
		uint32_t n = memory::buffer_of(&b)->used() / sizeof(Cell);
		uint32_t step = step1 ? 1 : 2;
		for (uint32_t i = head; i < n; i += step) {
			const Cell* c = memory::buffer_of(&b)->head_cell() + i;
			if (cell::type_of(c) != cell::type_of(&value) || !actions::compare(c, &value, COMP_EQUAL)) continue;
			for (uint32_t j = i + 1; j < n; j++) {
				const Cell* after = memory::buffer_of(&b)->head_cell() + j;
				if (!block_body || cell::is(after, T_BLOCK)) {
					result = *after;
					break;
				}
			}
			break;
		}
	}
	if (step1)
		stack::push(&result);
	else
		stack::set_result(&result);
}

Cell* load_value(Cell* destination, Cell* string) {
	Cell text = *string;
	int32_t count = -1;
	const uint8_t* bytes = unicode::to_utf8(&text, &count);
	Cell value;
	lexer::load_value(bytes, uint32_t(count), &value);
	*destination = value;
	return destination;
}

int32_t to_int_checked(const Cell* value) {
	if (cell::is(value, T_INTEGER)) return cell::get_integer(value);
	if (!cell::is(value, T_FLOAT)) errors::fire(errors::id::script_invalid_arg, value);
	double d = cell::get_double(value);
	if (std::isnan(d) || d > 2147483647.0 || d < -2147483648.0) errors::fire(errors::id::script_out_of_range, value);
	return int32_t(d);
}

}  // namespace vyn::compiled
