// native!, action! and op!: the built-in functions.
//
// A native! or action! cell: word 1 the 0-based slot in the natives table or
// the action table, word 2 the spec block's node, word 3 the node of a
// two-cell block [the header cell of a context made from the spec, the
// argument cache]. An op! is a copy of its source cell whose header keeps
// the source's type in bits 16-23.
#include "runtime/datatypes/native.h"

#include <cstring>

#include "runtime/collector.h"
#include "runtime/context.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/word.h"
#include "runtime/errors.h"
#include "runtime/evaluator/actions.h"
#include "runtime/evaluator/natives.h"
#include "runtime/registry.h"
#include "runtime/symbol.h"
#include "runtime/words.h"

namespace vyn::native {

namespace {

constexpr int CONTEXT_KIND_FUNCTION = 1;

inline uint32_t canon(uint32_t s) { return symbol::resolve(s); }

// Symbol of each action's first argument, for the unsupported-action error.
uint32_t action_first_argument[ACTION_COUNT + 1];

void remember_first_argument(const Cell* spec, uint32_t slot) {
	Series* s = memory::buffer_of(spec);
	for (Cell* e = s->head_cell() + spec->data1; e < s->tail_cell(); e++) {
		Type t = cell::type_of(e);
		if (t == T_WORD || t == T_LIT_WORD || t == T_GET_WORD) {
			action_first_argument[slot] = e->data2;
			return;
		}
		if (t == T_REFINEMENT) return;
	}
}

void first_argument_word(Slot slot, Cell* out) {
	uint32_t symbol = action_first_argument[slot];
	if (symbol)
		word::make_at(symbol, out);
	else
		cell::make_none(out);
}

Type source_type(const Cell* op) { return Type((op->header >> 16) & 0xFF); }

}  // namespace

namespace {

// The first native! and action! made for each slot: what a decoder of
// untrusted data answers for that slot, whatever spec the data carries.
Cell registered[2][natives::TABLE_SIZE];

Cell* registered_slot(Type type, uint32_t index) {
	if ((type != T_NATIVE && type != T_ACTION) || index >= uint32_t(natives::TABLE_SIZE)) return nullptr;
	return &registered[type == T_ACTION][index];
}

void mark_registered() {
	for (auto& row : registered)
		for (Cell& c : row)
			if (c.header) collector::mark_cell(&c);
}

}  // namespace

const Cell* registered_entry(Type type, uint32_t index) {
	Cell* c = registered_slot(type, index);
	return c && c->header ? c : nullptr;
}

void make_entry(Cell* out, Type type, const Cell* spec, uint32_t index) {
	Cell s = *spec;
	Node ctx = context::make_from_spec(&s, true, false, CONTEXT_KIND_FUNCTION);
	Node more = memory::alloc_unset_cells(2);
	Series* m = memory::series(more);
	m->tail = 2 * sizeof(Cell);
	m->head_cell()[0] = *memory::series(ctx)->head_cell();
	cell::make_none(m->head_cell() + 1);
	cell::set(out, type, index, s.data2, more);
	Cell* first = registered_slot(type, index);
	if (first && !first->header) *first = *out;
}

namespace {

// Exactly two arguments, the left one a plain word.
bool op_spec_ok(const Cell* fn) {
	Series* s = memory::series(fn->data2);
	int args = 0;
	for (Cell* e = s->head_cell(); e < s->tail_cell(); e++) {
		Type t = cell::type_of(e);
		if (t == T_WORD) {
			args++;
		} else if (t == T_LIT_WORD || t == T_GET_WORD) {
			if (args == 0) return false;
			args++;
		} else if (t == T_SET_WORD) {
			break;
		} else if (t == T_REFINEMENT) {
			uint32_t r = canon(e->data2);
			if (r == canon(words::sym_local) || r == canon(words::r_extern->data2)) break;
			return false;
		}
	}
	return args == 2;
}

Cell* make(Cell* proto, Cell* spec, Type type) {
	if (type == T_OP) {
		Type st = cell::type_of(spec);
		if (st != T_ACTION && st != T_NATIVE && st != T_FUNCTION && st != T_ROUTINE) {
			Cell dt{T_DATATYPE, st, 0, 0};
			errors::fire(errors::id::script_invalid_type, &dt);
		}
		if (!op_spec_ok(spec)) errors::fire(errors::id::script_bad_op_spec);
		Cell op = *spec;
		op.header = (uint32_t(st) << 16) | T_OP;
		if (st == T_FUNCTION || st == T_ROUTINE) memory::series(spec->data3)->head_cell()[3] = *spec;
		*proto = op;
		return proto;
	}
	Cell dt{T_DATATYPE, type, 0, 0};
	if (!cell::is(spec, T_BLOCK)) errors::fire(errors::id::script_bad_make_arg, &dt, spec);
	Series* s = memory::buffer_of(spec);
	Cell* head = s->head_cell() + spec->data1;
	uint32_t limit = type == T_NATIVE ? natives::TABLE_SIZE : ACTION_COUNT;
	if (s->tail_cell() - head != 2 || !cell::is(head, T_BLOCK) || !cell::is(head + 1, T_INTEGER))
		errors::fire(errors::id::script_bad_make_arg, &dt, spec);
	int32_t index = cell::get_integer(head + 1);
	if (index < 1 || uint32_t(index) > limit) errors::fire(errors::id::script_bad_make_arg, &dt, spec);
	bool filled = type == T_NATIVE ? natives::table[index - 1] != nullptr : actions::stack_forms[index - 1] != nullptr;
	if (!filled) errors::fire(errors::id::script_bad_make_arg, &dt, spec);
	Cell spec_block = head[0];
	if (type == T_ACTION) remember_first_argument(&spec_block, uint32_t(index));
	make_entry(proto, type, &spec_block, uint32_t(index - 1));
	return proto;
}

Cell* reflect(Cell* value, uint32_t field) {
	uint32_t f = canon(field);
	if (f == canon(words::sym_spec)) {
		cell::set(value, T_BLOCK, 0, value->data2, 0);
		return value;
	}
	if (f == canon(words::sym_body)) {
		Type t = cell::is(value, T_OP) ? source_type(value) : cell::type_of(value);
		if (t == T_FUNCTION || t == T_ROUTINE) {
			*value = memory::series(value->data3)->head_cell()[0];
			return value;
		}
		cell::make_integer(value, int32_t(value->data1) + 1);
		return value;
	}
	errors::fire(errors::id::internal_not_done);
}

int32_t form(const Cell* value, Cell* buffer, const Cell*, int32_t part) {
	const char* text = cell::is(value, T_NATIVE) ? "?native?" : cell::is(value, T_ACTION) ? "?action?" : "?op?";
	string::append_literal(buffer, text);
	return part - int32_t(std::strlen(text));
}

int32_t mold(const Cell* value, Cell* buffer, bool, bool all, bool flat, const Cell* arg, int32_t part,
	int32_t indent) {
	Cell spec{T_BLOCK, 0, value->data2, 0};
	if (cell::is(value, T_OP)) {
		string::append_literal(buffer, "make op! ");
		part -= 9;
		Type st = source_type(value);
		if (st == T_FUNCTION) {
			string::append_literal(buffer, "func ");
			part = actions::mold(&spec, buffer, false, all, flat, arg, part - 5, indent);
			Cell body = memory::series(value->data3)->head_cell()[0];
			if (cell::is(&body, T_BLOCK)) part = actions::mold(&body, buffer, false, all, flat, arg, part, indent);
			return part;
		}
		string::append_literal(buffer, "[");
		part = actions::mold(&spec, buffer, false, all, flat, arg, part - 1, indent);
		string::append_literal(buffer, "]");
		return part - 1;
	}
	string::append_literal(buffer, cell::is(value, T_NATIVE) ? "make native! [" : "make action! [");
	part = actions::mold(&spec, buffer, false, all, flat, arg, part - 14, indent);
	string::append_literal(buffer, "]");
	return part - 1;
}

int32_t compare(const Cell* a, const Cell* b, CompareOp op) {
	if (cell::type_of(a) != cell::type_of(b)) return COMPARE_UNRELATED;
	switch (op) {
	case COMP_EQUAL: case COMP_NOT_EQUAL: case COMP_STRICT_EQUAL: case COMP_SORT: case COMP_CASE_SORT:
	case COMP_SAME: case COMP_FIND_SELECT:
		if (a->data1 == b->data1) return 0;
		return a->data1 < b->data1 ? -1 : 1;
	default: return COMPARE_UNRELATED;
	}
}

}  // namespace

void init_types() {
	actions::first_argument_word = first_argument_word;
	std::memset(registered, 0, sizeof registered);
	collector::register_marker(mark_registered);
	ActionRow row{};
	row.make = make;
	row.reflect = reflect;
	row.form = form;
	row.mold = mold;
	row.compare = compare;
	registry::register_type(T_NATIVE, Type(0), "native!", row, 0);
	row.reflect = nullptr;
	registry::register_type(T_ACTION, T_NATIVE, "action!", row, registry::slot_bit(A_REFLECT));
	registry::register_type(T_OP, T_NATIVE, "op!", row, registry::slot_bit(A_REFLECT));
}

}  // namespace vyn::native
