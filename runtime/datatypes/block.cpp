#include "runtime/datatypes/block.h"

#include <cstring>
#include <vector>

#include "runtime/cycles.h"
#include "runtime/datatypes/block_internal.h"
#include "runtime/errors.h"
#include "runtime/evaluator/actions.h"
#include "runtime/evaluator/lexer.h"
#include "runtime/evaluator/stack.h"
#include "runtime/words.h"

namespace vyn::block {

Cell root;
int32_t mold_nesting = 0;

namespace {

inline uint32_t clamp_capacity(int32_t capacity) { return capacity < 1 ? 1 : uint32_t(capacity); }

// Room for `extra` more cells, doubling so that repeated growth is amortised.
Series* room_for(Cell* b, uint64_t extra) {
	Series* s = buffer(b);
	uint64_t needed = uint64_t(s->used()) + extra * sizeof(Cell);
	if (needed <= s->size - s->head) return s;
	return series::reserve(s, grown_size(needed));
}

}  // namespace

void refuse_cycle(Node node) {
	if (cycles::find(node)) errors::fire(errors::id::internal_no_cycle);
}

uint64_t grown_size(uint64_t needed) {
	uint64_t doubled = needed * 2;
	return doubled > MAX_BYTES ? needed : doubled;
}

void clear_at_head(Cell* b) {
	Series* s = buffer(b);
	s->tail = s->head + series::clamp_head(b) * uint32_t(sizeof(Cell));
}

void set_tail_at(Cell* b, uint32_t n) {
	Series* s = buffer(b);
	s->tail = s->head + n * uint32_t(sizeof(Cell));
}

Cell* make_at(Cell* out, int32_t capacity) {
	Node n = memory::alloc_cells(clamp_capacity(capacity));
	cell::set(out, T_BLOCK, 0, n, 0);
	return out;
}

Cell* make_at_ex(Cell* out, int32_t capacity, bool fixed) {
	uint32_t cells = clamp_capacity(capacity);
	Node n = fixed ? memory::alloc_fixed(cells, sizeof(Cell), 0) : memory::alloc_unset_cells(cells);
	cell::set(out, T_BLOCK, 0, n, 0);
	return out;
}

Cell* make_in(Cell* parent, int32_t capacity) {
	Cell* c = parent ? memory::alloc_tail(parent) : &root;
	return make_at(c, capacity);
}

Cell* make_fixed_in(Cell* parent, int32_t capacity) {
	Cell* c = parent ? memory::alloc_tail(parent) : &root;
	return make_at_ex(c, capacity, true);
}

Cell* push(const Cell* b) { return stack::push(b); }

Cell* push_only(int32_t capacity) { return make_at(stack::alloc_slot(), capacity); }

Cell* append_value(Cell* b, const Cell* value) {
	Cell v = *value;  // the value may lie in the buffer about to grow
	Cell* c = memory::alloc_tail(b);
	*c = v;
	return c;
}

void remove_last(Cell* b) {
	Series* s = buffer(b);
	if (s->used() < sizeof(Cell)) return;
	s->tail -= sizeof(Cell);
	series::clamp_head(b);
}

void append_cells(Cell* b, Cell* src) {
	uint32_t n = length(src);
	if (n == 0) return;
	Series* s = room_for(b, n);
	// Read the source after the growth: it may be the same buffer.
	std::memcpy(s->tail_ptr(), vs_head(src), size_t(n) * sizeof(Cell));
	s->tail += n * uint32_t(sizeof(Cell));
}

Cell* insert_value(Cell* b, const Cell* value, bool at_start, bool advance_head) {
	Cell v = *value;
	uint32_t pos = at_start ? 0 : series::clamp_head(b);
	room_for(b, 1);
	Series* s = series::open_gap(buffer(b), pos, 1);
	s->head_cell()[pos] = v;
	series::hash_inserted(b, pos, 1);
	if (advance_head) b->data1++;
	return buffer(b)->head_cell() + pos;
}

void insert_cells(Cell* b, Cell* src) {
	uint32_t n = length(src);
	if (n == 0) return;
	std::vector<Cell> cells(vs_head(src), vs_head(src) + n);
	uint32_t pos = series::clamp_head(b);
	room_for(b, n);
	Series* s = series::open_gap(buffer(b), pos, n);
	std::memcpy(s->head_cell() + pos, cells.data(), size_t(n) * sizeof(Cell));
	series::hash_inserted(b, pos, n);
	b->data1 = pos + n;
}

namespace {

// Appends a value, indexing it in a hash!.
void append_indexed(Cell* b, const Cell* value) {
	append_value(b, value);
	series::hash_inserted(b, buffer_length_cells(b) - 1, 1);
}

}  // namespace

void insert_result() { insert_value(stack::arguments - 1, stack::arguments, false, true); }
void append_result() { append_indexed(stack::arguments - 1, stack::arguments); }
void append_second_arg() { append_indexed(stack::arguments, stack::arguments + 1); }

Cell* select_value(Cell* b, const Cell* value) {
	Cell* c = vs_head(b);
	for (Cell* tail = vs_tail(b); c < tail; c++)
		if (matches(c, value, COMP_FIND_SELECT)) return c + 1 < vs_tail(b) ? c + 1 : nullptr;
	return nullptr;
}

Cell* select_word(Cell* b, const Cell* word, bool strict) {
	Cell* tail = vs_tail(b);
	for (Cell* c = vs_head(b); c < tail; c++) {
		Type t = cell::type_of(c);
		if (t < T_WORD || t > T_GET_WORD) continue;
		bool same = strict ? c->data2 == word->data2 : actions::compare_raw(c, word, COMP_FIND_SELECT) == 0;
		if (same) return c + 1 < tail ? c + 1 : nullptr;
	}
	return nullptr;
}

int remove_value(Cell* b, const Cell* value, bool from_start) {
	uint32_t h = series::clamp_head(b);
	uint32_t n = buffer_length_cells(b);
	for (uint32_t i = from_start ? 0 : h; i < n; i++) {
		if (!matches(vs_abs_at(b, i), value, COMP_FIND_SELECT)) continue;
		series::hash_unindex(b, i, 1);
		series::close_gap(buffer(b), i, 1);
		series::hash_removed(b, i, 1);
		return i < h + 1 ? 1 : 2;
	}
	return 0;
}

// make and to.

namespace {

[[noreturn]] void bad_make(Type type, const Cell* spec) {
	Cell t;
	cell::set(&t, T_DATATYPE, type);
	errors::fire(errors::id::script_bad_make_arg, &t, spec);
}

// A shallow copy of an any-block from its head, retyped.
Cell* shallow(Cell* out, Cell* spec, Type type) {
	Cell v = *spec;
	series::copy(&v, out, nullptr, false, nullptr);
	cell::set_type(out, type);
	cell::clear_new_line(out);
	return out;
}

// The body block of an object! or map! (reflect with the field body).
Cell* body_of(Cell* out, const Cell* spec) {
	Cell v = *spec;
	*out = *actions::get<action::ReflectFn>(&v, A_REFLECT)(&v, words::sym_body);
	return out;
}

Cell* typeset_block(Cell* out, const Cell* typeset) {
	Cell ts = *typeset;
	make_at(out, 8);
	for (int t = 1; t < registry::TYPE_SLOTS; t++) {
		if (!typeset_has(&ts, Type(t))) continue;
		Cell d;
		cell::set(&d, T_DATATYPE, uint32_t(t));
		append_value(out, &d);
	}
	return out;
}

}  // namespace

int32_t capacity_of(const Cell* spec) {
	if (cell::is(spec, T_INTEGER)) return cell::get_integer(spec);
	double d = cell::get_double(spec);
	if (!(d > -2147483649.0 && d < 2147483648.0)) errors::fire(errors::id::script_out_of_range, spec);
	return int32_t(d);
}

Cell* make(Cell* proto, Cell* spec, Type type) {
	Type st = cell::type_of(spec);
	if (series::any_block(st)) return shallow(proto, spec, type);
	if (st == T_INTEGER || st == T_FLOAT) {
		make_at(proto, capacity_of(spec));
		return cell::set_type(proto, type);
	}
	if (st == T_VECTOR) {
		series::vector_hooks.to_block(spec, proto);
		return cell::set_type(proto, type);
	}
	if (st == T_OBJECT || st == T_MAP) return cell::set_type(body_of(proto, spec), type);
	bad_make(type, spec);
}

Cell* to(Cell* proto, Cell* spec, Type type) {
	Type st = cell::type_of(spec);
	if (series::any_block(st)) return shallow(proto, spec, type);
	if (st == T_VECTOR) {
		series::vector_hooks.to_block(spec, proto);
	} else if (st == T_OBJECT || st == T_MAP) {
		body_of(proto, spec);
	} else if (st == T_TYPESET) {
		typeset_block(proto, spec);
	} else if (st == T_STRING) {
		Cell text = *spec;
		Cell* slot = stack::alloc_slot();
		cell::make_none(slot);
		lexer::scan_string(slot, &text, -1, lexer::Options{});
		*proto = *slot;
		stack::pop(1);
	} else {
		Cell v = *spec;
		make_at(proto, 1);
		append_value(proto, &v);
	}
	return cell::set_type(proto, type);
}

// Comparison.

namespace {

inline bool word_type(Type t) { return t >= T_WORD && t <= T_ISSUE; }
inline bool number_type(Type t) { return t == T_INTEGER || t == T_FLOAT || t == T_PERCENT; }

inline bool equality_code(CompareOp op) {
	return op == COMP_EQUAL || op == COMP_NOT_EQUAL || op == COMP_STRICT_EQUAL || op == COMP_FIND_CASE ||
		op == COMP_FIND || op == COMP_FIND_SELECT;
}

inline bool path_pair(Type a, Type b) {
	return (a == T_PATH && b == T_LIT_PATH) || (a == T_LIT_PATH && b == T_PATH);
}

}  // namespace

int32_t compare(const Cell* value1, const Cell* value2, CompareOp op) {
	Type a = cell::type_of(value1);
	Type b = cell::type_of(value2);
	if (a != b && !((op == COMP_FIND_CASE || op == COMP_FIND) && path_pair(a, b))) return COMPARE_UNRELATED;
	return compare_each(value1, value2, op);
}

int32_t compare_each(const Cell* value1, const Cell* value2, CompareOp op) {
	if (value1->data2 == value2->data2 && value1->data1 == value2->data1) return 0;
	if (op == COMP_SAME) return -1;
	if (cycles::find(value1->data2)) return cycles::find(value2->data2) ? 0 : -1;
	Cell a = *value1;
	Cell b = *value2;
	uint32_t la = length(&a);
	uint32_t lb = length(&b);
	if (la != lb && equality_code(op)) return 1;
	if (la == 0) return 0;
	int32_t r = 0;
	{
		Walk wa(a.data2);
		Walk wb(b.data2);
		uint32_t n = la < lb ? la : lb;
		for (uint32_t i = 0; i < n && r == 0; i++) {
			const Cell* x = vs_head(&a) + i;
			const Cell* y = vs_head(&b) + i;
			Type tx = cell::type_of(x);
			Type ty = cell::type_of(y);
			bool comparable = tx == ty || (word_type(tx) && word_type(ty)) || (number_type(tx) && number_type(ty));
			r = comparable ? actions::compare_raw(x, y, op) : tx < ty ? -1 : 1;
		}
	}
	if (r != 0) return r;
	return la < lb ? -1 : la > lb ? 1 : 0;
}

// Path steps.

Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell*, Cell*, int32_t, bool case_sensitive,
	bool, bool, bool) {
	if (cell::is(element, T_INTEGER)) {
		if (!value) return actions::pick(parent, element);
		actions::poke(parent, element, value);
		return value;
	}
	Cell at = *parent;
	if (!value) {
		if (cell::is(element, T_WORD) && !cell::is(parent, T_HASH)) {
			Cell* r = select_word(&at, element, case_sensitive);
			if (r) return r;
			Cell* none = stack::alloc_slot();
			cell::make_none(none);
			return none;
		}
		return actions::get<action::SelectFn>(&at, A_SELECT)(&at, element, nullptr, true, case_sensitive, false,
			false, nullptr, nullptr, false, false);
	}
	Cell* found = actions::find(&at, element, nullptr, true, case_sensitive, false, false, nullptr, nullptr, false,
		false, false, false);
	if (cell::is(found, T_NONE)) {
		Cell none;
		cell::make_none(&none);
		errors::fire(errors::id::script_bad_path_set, path ? path : &none, element);
	}
	Cell two;
	cell::make_integer(&two, 2);
	actions::poke(found, &two, value);
	return value;
}

void init_type() {
	ActionRow row{};
	row.make = make;
	row.to = to;
	row.form = form;
	row.mold = mold;
	row.eval_path = eval_path;
	row.compare = compare;
	row.append = insert;
	row.change = change;
	row.copy = copy;
	row.find = find;
	row.insert = insert;
	row.put = put;
	row.select = select;
	row.sort = sort;
	row.swap = swap;
	row.take = take;
	row.trim = trim;
	registry::register_type(T_BLOCK, T_SERIES, "block!", row, INHERITED_FROM_SERIES);
}

}  // namespace vyn::block
