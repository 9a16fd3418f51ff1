#include "runtime/datatypes/function.h"

#include "runtime/context.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/string.h"
#include "runtime/errors.h"
#include "runtime/evaluator/actions.h"
#include "runtime/evaluator/interpreter.h"
#include "runtime/evaluator/stack.h"
#include "runtime/memory.h"
#include "runtime/registry.h"
#include "runtime/symbol.h"
#include "runtime/words.h"

namespace vyn::function {

namespace {

constexpr int MORE_CELLS = 5;
constexpr int CONTEXT_KIND_FUNCTION = 1;

inline uint32_t canon(uint32_t symbol) { return symbol::resolve(symbol); }
inline bool is_any_word(Type t) { return t >= T_WORD && t <= T_REFINEMENT; }
inline bool is_arg_word(Type t) { return t == T_WORD || t == T_LIT_WORD || t == T_GET_WORD; }

struct Cells {
	Cell* head;
	Cell* tail;
};

Cells cells_of(const Cell* block) {
	Series* s = memory::buffer_of(block);
	Cell* head = s->head_cell() + block->data1;
	Cell* tail = s->tail_cell();
	return {head < tail ? head : tail, tail};
}

[[noreturn]] void bad_def(const Cell* spec) { errors::fire(errors::id::script_bad_func_def, spec); }

void check_type_block(Cell* types) {
	Cells c = cells_of(types);
	for (Cell* e = c.head; e < c.tail; e++) {
		if (!cell::is(e, T_WORD)) continue;
		Cell value = *context::get(e);
		Type t = cell::type_of(&value);
		if (t != T_DATATYPE && t != T_TYPESET && t != T_WORD)
			errors::fire(errors::id::script_invalid_type_spec, e);
		*e = value;
	}
}

void check_duplicates(const Cell* spec) {
	Cells c = cells_of(spec);
	for (Cell* a = c.head; a < c.tail; a++) {
		Type ta = cell::type_of(a);
		if (!is_arg_word(ta) && ta != T_REFINEMENT) continue;
		for (Cell* b = c.head; b < a; b++) {
			Type tb = cell::type_of(b);
			if ((is_arg_word(tb) || tb == T_REFINEMENT) && canon(a->data2) == canon(b->data2))
				errors::fire(errors::id::script_dup_vars, a);
		}
	}
}

bool is_symbol(const Cell* c, uint32_t symbol) { return canon(c->data2) == canon(symbol); }

Cell* more_of(const Cell* fn) { return memory::series(fn->data3)->head_cell(); }

void make_block_at(Cell* out, uint32_t capacity) { block::make_at(out, int32_t(capacity)); }

// Gathers the locals of `function`'s body into `found`, skipping taken names.
void gather(const Cell* body, Cell* taken, Cell* found);

bool has_name(Cell* list, uint32_t symbol) {
	Cells c = cells_of(list);
	for (Cell* e = c.head; e < c.tail; e++)
		if (canon(e->data2) == canon(symbol)) return true;
	return false;
}

void take_name(Cell* taken, Cell* found, const Cell* word) {
	if (has_name(taken, word->data2)) return;
	Cell w = *word;
	cell::set_type(&w, T_WORD);
	w.header &= ~FLAG_NEW_LINE;
	block::append_value(taken, &w);
	block::append_value(found, &w);
}

void gather(const Cell* body, Cell* taken, Cell* found) {
	uint32_t n = uint32_t(cells_of(body).tail - cells_of(body).head);
	for (uint32_t i = 0; i < n; i++) {
		Cell e = *(cells_of(body).head + i);
		Type t = cell::type_of(&e);
		if (t == T_SET_WORD) {
			take_name(taken, found, &e);
		} else if (t == T_BLOCK || t == T_PAREN) {
			gather(&e, taken, found);
		} else if (t == T_WORD && i + 1 < n) {
			bool each = is_symbol(&e, words::sym_foreach) || is_symbol(&e, words::sym_remove_each);
			bool repeat = is_symbol(&e, words::sym_repeat);
			if (!each && !repeat) continue;
			Cell next = *(cells_of(body).head + i + 1);
			Type nt = cell::type_of(&next);
			if (nt == T_WORD || nt == T_SET_WORD) {
				take_name(taken, found, &next);
			} else if (each && nt == T_BLOCK) {
				Cells words = cells_of(&next);
				for (Cell* w = words.head; w < words.tail; w++) {
					Type wt = cell::type_of(w);
					if (wt == T_WORD || wt == T_GET_WORD || wt == T_LIT_WORD) {
						Cell copy = *w;
						take_name(taken, found, &copy);
						words = cells_of(&next);
					}
				}
			}
		}
	}
}

// ---------------------------------------------------------------- actions

Cell* make(Cell* proto, Cell* spec, Type) {
	Cells c = cells_of(spec);
	if (!cell::is(spec, T_BLOCK) || c.tail - c.head < 2 || !cell::is(c.head, T_BLOCK) || !cell::is(c.head + 1, T_BLOCK))
		bad_def(spec);
	Cell s = c.head[0];
	Cell b = c.head[1];
	uint32_t flags = validate_spec(&s);
	make_at(proto, &s, &b, 0, flags);
	return proto;
}

Cell* reflect(Cell* fn, uint32_t field) {
	uint32_t f = canon(field);
	if (f == canon(words::sym_spec)) {
		cell::set(fn, T_BLOCK, 0, fn->data2, 0);
		return fn;
	}
	if (f == canon(words::sym_body)) {
		*fn = more_of(fn)[0];
		return fn;
	}
	if (f == canon(words::sym_words)) {
		Node ctx = fn->data1;
		uint32_t n = context::word_count(ctx);
		Cell* out = stack::alloc_slot();
		block::make_at(out, int32_t(n));
		for (uint32_t i = 0; i < n; i++) {
			Cell w = *context::word_cell(ctx, i);
			cell::set(&w, T_WORD, ctx, w.data2, i);
			block::append_value(out, &w);
		}
		*fn = *out;
		return fn;
	}
	errors::fire(errors::id::internal_not_done);
}

int32_t form(const Cell* fn, Cell* buffer, const Cell*, int32_t part) {
	const char* text = cell::is(fn, T_ROUTINE) ? "?routine?" : "?function?";
	string::append_literal(buffer, text);
	return part - int32_t(std::strlen(text));
}

int32_t mold(const Cell* fn, Cell* buffer, bool only, bool all, bool flat, const Cell* arg, int32_t part,
	int32_t indent) {
	bool routine = cell::is(fn, T_ROUTINE);
	string::append_literal(buffer, routine ? "routine " : "func ");
	part -= routine ? 8 : 5;
	Cell spec{T_BLOCK, 0, fn->data2, 0};
	part = actions::mold(&spec, buffer, false, all, flat, arg, part, indent);
	Cell body = more_of(fn)[0];
	if (cell::is(&body, T_BLOCK)) return actions::mold(&body, buffer, false, all, flat, arg, part, indent);
	string::append_literal(buffer, " ");
	(void)only;
	return actions::mold(&body, buffer, false, all, flat, arg, part - 1, indent);
}

int32_t compare(const Cell* a, const Cell* b, CompareOp op) {
	if (cell::type_of(a) != cell::type_of(b)) return COMPARE_UNRELATED;
	switch (op) {
	case COMP_EQUAL: case COMP_NOT_EQUAL: case COMP_STRICT_EQUAL: case COMP_SORT: case COMP_CASE_SORT:
	case COMP_SAME: case COMP_FIND_SELECT:
		if (a->data3 == b->data3) return 0;
		return a->data3 < b->data3 ? -1 : 1;
	default: return COMPARE_UNRELATED;
	}
}

}  // namespace

bool boot_no_trace = false;

uint32_t validate_spec(const Cell* spec_in) {
	Cell spec = *spec_in;
	Cells c = cells_of(&spec);
	uint32_t flags = boot_no_trace ? FLAG_NO_TRACE : 0;
	Cell* e = c.head;
	if (e < c.tail && cell::is(e, T_BLOCK)) {
		Cells attrs = cells_of(e);
		for (Cell* a = attrs.head; a < attrs.tail; a++) {
			if (!cell::is(a, T_WORD)) bad_def(&spec);
			if (is_symbol(a, words::sym_trace)) flags |= FLAG_TRACE;
			if (is_symbol(a, words::sym_no_trace)) flags |= FLAG_NO_TRACE;
		}
		e++;
	}
	bool locals = false, returned = false;
	for (; e < c.tail; e++) {
		Type t = cell::type_of(e);
		Cell* next = e + 1 < c.tail ? e + 1 : nullptr;
		if (is_arg_word(t)) {
			if (locals && t != T_WORD) bad_def(&spec);
			if (returned && !locals) bad_def(&spec);
			if (next && cell::is(next, T_BLOCK)) {
				check_type_block(next);
				e++;
				next = e + 1 < c.tail ? e + 1 : nullptr;
			}
			if (next && cell::is(next, T_STRING) && next + 1 < c.tail && cell::is(next + 1, T_BLOCK)) bad_def(&spec);
		} else if (t == T_STRING) {
			if (next && cell::is(next, T_BLOCK)) bad_def(&spec);
		} else if (t == T_SET_WORD) {
			if (!is_symbol(e, words::sym_return) || returned || locals) bad_def(&spec);
			returned = true;
			if (!next || !cell::is(next, T_BLOCK)) bad_def(&spec);
			check_type_block(next);
			e++;
			Cell* after = e + 1 < c.tail ? e + 1 : nullptr;
			if (after && !cell::is(after, T_REFINEMENT) && !cell::is(after, T_STRING)) bad_def(&spec);
		} else if (t == T_REFINEMENT) {
			if (is_symbol(e, words::sym_local)) {
				locals = true;
			} else if (locals || returned) {
				bad_def(&spec);
			}
			if (next) {
				Type nt = cell::type_of(next);
				if (!is_any_word(nt) && nt != T_STRING) bad_def(&spec);
			}
		} else {
			bad_def(&spec);
		}
		c = cells_of(&spec);
	}
	check_duplicates(&spec);
	return flags;
}

uint32_t call_shape(const Cell* spec) {
	Cells c = cells_of(spec);
	Cell* e = c.head;
	if (e < c.tail && cell::is(e, T_BLOCK)) e++;  // attributes
	uint32_t args = 0, locals = 0;
	for (; e < c.tail; e++) {
		Cell* next = e + 1 < c.tail ? e + 1 : nullptr;
		switch (cell::type_of(e)) {
		case T_STRING:
			if (locals) return 0;  // the argument cache counts it as a local slot
			break;
		case T_WORD:
			if (locals) {
				locals++;
			} else {
				if (next && cell::is(next, T_BLOCK)) return 0;  // typed
				args++;
			}
			break;
		case T_SET_WORD:  // return: and its type block
			if (locals || !next) return 0;
			e++;
			break;
		case T_REFINEMENT:
			if (locals || !is_symbol(e, words::sym_local)) return 0;
			locals = 1;
			break;
		default: return 0;
		}
	}
	if (args > 15 || locals > 255) return 0;
	return FLAG_SIMPLE | (args << 12) | (locals << 16);
}

int32_t count_locals(const Cell* spec) {
	Cells c = cells_of(spec);
	for (Cell* e = c.head; e < c.tail; e++) {
		if (!cell::is(e, T_REFINEMENT) || !is_symbol(e, words::sym_local)) continue;
		int32_t n = 1;
		for (Cell* w = e + 1; w < c.tail; w++)
			if (cell::is(w, T_WORD)) n++;
		return n;
	}
	return 0;
}

void push_inactive_refinement(int32_t n) {
	Cell f{T_LOGIC, 0, 0, 0}, none{T_NONE, 0, 0, 0};
	stack::push(&f);
	for (int32_t i = 1; i < n; i++) stack::push(&none);
}

void collect_local_words(Cell* spec, const Cell* body) {
	// `spec` is already a copy the caller owns.
	Cell* taken = stack::alloc_slot();
	make_block_at(taken, 8);
	Cell* found = stack::alloc_slot();
	make_block_at(found, 8);
	Cells c = cells_of(spec);
	bool has_local = false;
	int32_t extern_at = -1;
	// The spec's own names are taken; `found` gets only what the body adds.
	for (Cell* e = c.head; e < c.tail; e++) {
		if (cell::is(e, T_REFINEMENT) && is_symbol(e, words::r_extern->data2)) {
			extern_at = int32_t(e - c.head);
			break;
		}
	}
	if (extern_at >= 0) {
		for (Cell* e = c.head; e < c.tail; e++) {
			Type t = cell::type_of(e);
			if (!is_any_word(t) && t != T_BLOCK && t != T_STRING) errors::fire(errors::id::script_bad_func_extern, e);
		}
		uint32_t n = uint32_t(c.tail - c.head);
		for (uint32_t i = uint32_t(extern_at) + 1; i < n; i++) {
			Cell w = *(cells_of(spec).head + i);
			if (!is_any_word(cell::type_of(&w)) || has_name(taken, w.data2)) continue;
			cell::set_type(&w, T_WORD);
			block::append_value(taken, &w);
		}
		block::set_tail_at(spec, uint32_t(spec->data1) + uint32_t(extern_at));
	}
	c = cells_of(spec);
	for (Cell* e = c.head; e < c.tail; e++) {
		Type t = cell::type_of(e);
		if (t == T_REFINEMENT && is_symbol(e, words::sym_local)) has_local = true;
		if (is_any_word(t) && !has_name(taken, e->data2)) {
			Cell w = *e;
			cell::set_type(&w, T_WORD);
			block::append_value(taken, &w);
		}
	}
	gather(body, taken, found);
	Cells got = cells_of(found);
	if (got.head == got.tail) {
		stack::pop(2);
		return;
	}
	if (!has_local) {
		Cell local;
		cell::set(&local, T_REFINEMENT, 0, words::sym_local, 0xFFFFFFFFu);
		block::append_value(spec, &local);
	}
	got = cells_of(found);
	uint32_t n = uint32_t(got.tail - got.head);
	for (uint32_t i = 0; i < n; i++) {
		Cell w = *(cells_of(found).head + i);
		if (is_symbol(&w, words::sym_local)) continue;
		block::append_value(spec, &w);
	}
	stack::pop(2);
}

Node make_at(Cell* out, const Cell* spec_in, const Cell* body_in, Node ctx, uint32_t flags) {
	Cell spec = *spec_in;
	Cell body = *body_in;
	if (spec.data1 != 0) {
		Cell copy;
		block::clone(&spec, &copy, false, false);
		spec = copy;
	}
	Cell* keep = stack::push(&spec);
	stack::push(&body);
	bool made = ctx == 0;
	if (made) ctx = context::make_from_spec(&spec, true, false, CONTEXT_KIND_FUNCTION);
	Node more = memory::alloc_unset_cells(MORE_CELLS);
	memory::series(more)->tail = MORE_CELLS * sizeof(Cell);
	Cell fn;
	cell::set(&fn, T_FUNCTION | flags | call_shape(&spec), ctx, spec.data2, more);
	Cell* body_copy = stack::alloc_slot();
	if (cell::is(&body, T_BLOCK)) {
		block::clone(&body, body_copy, true, true);
		if (made) context::bind_block(body_copy, ctx, false);
	} else {
		cell::make_none(body_copy);
	}
	memory::series(more)->head_cell()[0] = *body_copy;
	memory::series(ctx)->head_cell()[1] = fn;  // the self cell
	*out = fn;
	stack::top = keep;
	return ctx;
}

void make_func(const Cell* spec_in, const Cell* body_in, Cell* out) {
	Cell spec = *spec_in;
	Cell body = *body_in;
	uint32_t flags = validate_spec(&spec);
	make_at(out, &spec, &body, 0, flags);
}

void make_function(const Cell* spec_in, const Cell* body_in, Cell* out) {
	Cell* spec = stack::alloc_slot();
	block::clone(spec_in, spec, true, true);
	Cell body = *body_in;
	collect_local_words(spec, &body);
	Cell s = *spec;
	make_func(&s, &body, out);
}

void empty_spec(Cell* out) { make_block_at(out, 1); }

void local_spec(const Cell* vars, Cell* out) {
	block::clone(vars, out, false, false);
	Cell local;
	cell::set(&local, T_REFINEMENT, 0, words::sym_local, 0xFFFFFFFFu);
	block::insert_value(out, &local, false, false);
}

void init_type() {
	ActionRow row{};
	row.make = make;
	row.reflect = reflect;
	row.form = form;
	row.mold = mold;
	row.compare = compare;
	registry::register_type(T_FUNCTION, T_CONTEXT, "function!", row, 0);
	row.make = nullptr;
	row.reflect = nullptr;
	registry::register_type(T_ROUTINE, T_FUNCTION, "routine!", row, registry::slot_bit(A_REFLECT));
}

}  // namespace vyn::function
