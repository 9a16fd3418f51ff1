#include "runtime/datatypes/map.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "runtime/context.h"
#include "runtime/cycles.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/block_internal.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/string.h"
#include "runtime/errors.h"
#include "runtime/evaluator/actions.h"
#include "runtime/evaluator/lexer_scan.h"
#include "runtime/evaluator/stack.h"
#include "runtime/evaluator/token_loaders.h"
#include "runtime/hash_table.h"
#include "runtime/symbol.h"
#include "runtime/words.h"

namespace vyn::map {

namespace {

inline Series* cells_of(const Cell* m) { return memory::buffer_of(m); }
inline uint32_t cell_count(const Cell* m) { return cells_of(m)->used() / uint32_t(sizeof(Cell)); }
inline Cell* cell_at(const Cell* m, uint32_t i) { return cells_of(m)->head_cell() + i; }
inline hash::Table* table(const Cell* m) { return hash::table_of(m->data3); }

// A removed entry's value cell.
inline bool removed(const Cell* key) { return key[1].header == 0; }

inline bool any_word(Type t) { return t >= T_WORD && t <= T_GET_WORD; }

inline CompareOp lookup_op(bool case_sensitive, bool same) {
	return same ? COMP_SAME : case_sensitive ? COMP_STRICT_EQUAL : COMP_EQUAL;
}

// Stored cells carry no new-line marker: mold and body-of place their own.
inline Cell stored(const Cell* value) {
	Cell c = *value;
	cell::clear_new_line(&c);
	return c;
}

// A key as find and the reflectors give it back: set-word! keys as word!.
inline Cell given_key(const Cell* key) {
	Cell k = stored(key);
	if (cell::is(&k, T_SET_WORD)) cell::set_type(&k, T_WORD);
	return k;
}

// The first entry matching under `op`, removed ones included.
Cell* first_match(const Cell* m, const Cell* key, CompareOp op, hash::Probe& probe) {
	return hash::get_first(m->data3, key, op, probe);
}

// A matching key, live when there is one; else a removed one (or null).
Cell* find_any(const Cell* m, const Cell* key, CompareOp op) {
	hash::Probe probe;
	Cell* dead = nullptr;
	for (Cell* c = first_match(m, key, op, probe); c; c = hash::get_next(m->data3, key, probe, op)) {
		if (!removed(c)) return c;
		if (!dead) dead = c;
	}
	return dead;
}

// Appends the key (already in stored form) with an unset value and indexes
// it; answers the new key cell.
Cell* append_entry(Cell* m, const Cell* key) {
	Cell k = *key;
	Series* s = cells_of(m);
	auto* pair = reinterpret_cast<Cell*>(memory::alloc_tail_bytes(s, 2 * sizeof(Cell)));
	pair[0] = k;
	cell::make_unset(pair + 1);
	uint32_t at = cell_count(m) - 2;
	hash::put(m->data3, cell_at(m, at));
	return cell_at(m, at);
}

// Gives the entry of `key` (any form) the value: found live, revived, or new.
void store_value(Cell* m, const Cell* key, const Cell* value, CompareOp op) {
	Cell v = stored(value);
	Cell* entry = find_any(m, key, op);
	if (!entry) {
		Cell k = *key;
		preprocess_key(&k, nullptr);
		cell::clear_new_line(&k);
		entry = append_entry(m, &k);
	} else if (removed(entry)) {
		table(m)->live++;
	}
	entry[1] = v;
}

// Indexes the pairs of a fresh block from position `from`; a repeated key
// (matching without case) hands its value to the first and leaves.
void index_pairs(Cell* m, uint32_t from) {
	uint32_t p = from;
	while (p + 1 < cell_count(m)) {
		Cell* key = cell_at(m, p);
		preprocess_key(key, nullptr);
		key = cell_at(m, p);
		cell::clear_new_line(key);
		cell::clear_new_line(key + 1);
		hash::Probe probe;
		Cell* earlier = first_match(m, key, COMP_EQUAL, probe);
		if (!earlier) {
			hash::put(m->data3, key);
			p += 2;
			continue;
		}
		earlier[1] = key[1];
		Series* s = cells_of(m);
		Cell* base = s->head_cell();
		std::memmove(base + p, base + p + 2, size_t(cell_count(m) - p - 2) * sizeof(Cell));
		s->tail -= 2 * uint32_t(sizeof(Cell));
	}
}

[[noreturn]] void bad_to(const Cell* spec) { datatype::fire_type(errors::id::script_bad_to_arg, T_MAP, spec); }

// A new block holding copies of the cells of an any-block from its head.
Node copy_cells(const Cell* spec) {
	Cell v = *spec;
	uint32_t h = series::clamp_head(&v);
	return memory::copy_part(v.data2, h, series::buffer_length(&v) - h);
}

Cell* make_map(Cell* proto, Cell* spec, bool to) {
	switch (cell::type_of(spec)) {
	case T_INTEGER:
	case T_FLOAT: {
		if (to) bad_to(spec);
		int32_t n = block::capacity_of(spec);
		if (n < 0) errors::fire(errors::id::script_out_of_range, spec);
		uint64_t cells = uint64_t(n) * 2;
		if (cells > 0xFFFFFFFFu / sizeof(Cell)) errors::fire(errors::id::internal_no_memory);
		return make_at(proto, 0, uint32_t(cells));
	}
	case T_BLOCK:
	case T_PAREN:
	case T_HASH: {
		Cell v = *spec;
		if (block::length(&v) % 2) errors::fire(errors::id::script_invalid_arg, spec);
		return make_at(proto, copy_cells(&v), 0);
	}
	case T_MAP: {
		Cell v = *spec;
		return copy(&v, proto, nullptr, false, nullptr);
	}
	default: bad_to(spec);
	}
}

inline int32_t put_text(Cell* out, std::string_view text, int32_t part) {
	string::append_literal(out, text);
	return part - int32_t(text.size());
}

// The live entries as "key value", separated by `separator`; before each
// entry with `indent_each`, `inner` steps of indentation.
int32_t write_entries(const Cell* m, Cell* out, bool all, bool flat, const Cell* arg, int32_t part,
	std::string_view separator, bool indent_each, int32_t inner) {
	bool written = false;
	for (uint32_t i = 0; i + 1 < cell_count(m); i += 2) {
		if (arg && part < 1) break;
		if (removed(cell_at(m, i))) continue;
		if (indent_each) {
			part = cycles::indent(out->data2, uint32_t(inner), part);
		} else if (written) {
			part = put_text(out, separator, part);
		}
		written = true;
		Cell key = *cell_at(m, i);
		// Operator names have no set-word form that loads back (`<:` would
		// open a tag): such a key is written as its word.
		if (cell::is(&key, T_SET_WORD)) {
			std::string_view name = symbol::name(key.data2);
			if (!name.empty() && (name[0] == '<' || name[0] == '>' || name[0] == '/')) cell::set_type(&key, T_WORD);
		}
		part = actions::mold(&key, out, false, all, flat, arg, part, inner);
		part = put_text(out, " ", part);
		Cell value = *cell_at(m, i + 1);
		part = actions::mold(&value, out, false, all, flat, arg, part, inner);
		if (indent_each) part = put_text(out, "\n", part);
	}
	return part;
}

// Whether the values of two matching entries compare equal under `op`.
inline int32_t compare_values(const Cell* a, const Cell* b, CompareOp op) { return actions::compare_raw(a, b, op); }

inline bool equality_code(CompareOp op) {
	return op == COMP_EQUAL || op == COMP_NOT_EQUAL || op == COMP_STRICT_EQUAL || op == COMP_FIND_SELECT;
}

// The first map's entry against the second map: 0 when a matching key holds
// an equal value.
int32_t compare_entry(const Cell* other, const Cell* key, const Cell* value, CompareOp op) {
	if (op == COMP_STRICT_EQUAL) {
		Cell* found = find_entry(other, key, COMP_STRICT_EQUAL);
		return found ? compare_values(value, found + 1, op) : 1;
	}
	int32_t r = 1;
	hash::Probe probe;
	for (Cell* c = first_match(other, key, COMP_EQUAL, probe); c; c = hash::get_next(other->data3, key, probe, COMP_EQUAL)) {
		if (removed(c)) continue;
		r = compare_values(value, c + 1, op);
		if (r == 0) return 0;
	}
	return r;
}

// An answer cell on the data stack.
Cell* answer(const Cell* value) { return stack::push(value); }
Cell* answer_none() {
	Cell none;
	cell::make_none(&none);
	return stack::push(&none);
}

// The lexer's builder of a closed "#[...]" level.
void load_literal(lexer::Scan& s, Cell* out, const Cell* cells, uint32_t count) {
	for (uint32_t i = 0; i < count; i += 2)
		if (!valid_key(cell::type_of(cells + i))) lexer::fail(s, s.token_start, s.position, T_MAP);
	Node block = memory::alloc_cells(std::max<uint32_t>(count, 2));
	Series* b = memory::series(block);
	std::memcpy(b->head_cell(), cells, size_t(count) * sizeof(Cell));
	b->tail = b->head + count * uint32_t(sizeof(Cell));
	make_at(out, block, 0);
}

}  // namespace

Cell* make_at(Cell* out, Node block, uint32_t size) {
	if (!block) block = memory::alloc_cells(std::max<uint32_t>(size, 2));
	uint32_t cells = memory::series(block)->used() / uint32_t(sizeof(Cell));
	// The table starts empty (its source's head at the tail): index_pairs
	// fills it with the duplicate rule of maps.
	Cell source;
	cell::set(&source, T_BLOCK, cells, block, 0);
	Node t = hash::create(std::max(cells, size) / 2, &source, hash::KIND_MAP, 0);
	cell::set(out, T_MAP, 0, block, t);
	index_pairs(out, 0);
	return out;
}

uint32_t count(const Cell* m) { return table(m)->live; }

Cell* push(const Cell* m) { return stack::push(m); }

bool valid_key(Type t) {
	switch (t) {
	case T_STRING: case T_FILE: case T_URL: case T_CHAR: case T_INTEGER: case T_FLOAT: case T_WORD:
	case T_SET_WORD: case T_LIT_WORD: case T_GET_WORD: case T_REFINEMENT: case T_ISSUE: case T_PAIR:
	case T_PERCENT: case T_TUPLE: case T_BINARY: case T_TIME: case T_TAG: case T_EMAIL: case T_DATE:
	case T_MONEY: case T_REF: case T_POINT2D: case T_POINT3D:
		return true;
	default: return false;
	}
}

void preprocess_key(Cell* key, Cell*) {
	Type t = cell::type_of(key);
	if (any_word(t)) {
		cell::set_type(key, T_SET_WORD);
		return;
	}
	if (series::any_string(t) || t == T_BINARY) {
		Cell v = *key;
		uint32_t h = series::clamp_head(&v);
		Node copy = memory::copy_part(v.data2, h, series::buffer_length(&v) - h);
		cell::set(key, key->header, 0, copy, 0);
		return;
	}
	if (!valid_key(t)) datatype::fire_type(errors::id::script_invalid_path, t, key);
}

Cell* find_entry(const Cell* m, const Cell* key, CompareOp op) {
	Cell* c = find_any(m, key, op);
	return c && !removed(c) ? c : nullptr;
}

void set_value(Cell* m, const Cell* key, const Cell* value, bool case_sensitive) {
	store_value(m, key, value, lookup_op(case_sensitive, false));
}

Cell* extend(Cell* m, const Cell* spec, bool case_sensitive) {
	Cell pairs = *spec;
	if (cell::is(&pairs, T_MAP)) {
		Cell v = pairs;
		pairs = *reflect(&v, words::sym_body);
	}
	stack::push(&pairs);  // keeps a body block in sight
	uint32_t n = block::length(&pairs);
	if (n % 2) errors::fire(errors::id::script_invalid_arg, spec);
	for (uint32_t i = 0; i < n; i += 2) {
		Cell* key = block::vs_head(&pairs) + i;
		if (!valid_key(cell::type_of(key))) datatype::fire_type(errors::id::script_invalid_path, cell::type_of(key), key);
	}
	Series* s = cells_of(m);
	if (uint64_t(s->used()) + uint64_t(n) * sizeof(Cell) > s->size - s->head)
		series::reserve(s, uint64_t(s->used()) + uint64_t(n) * sizeof(Cell));
	CompareOp op = lookup_op(case_sensitive, false);
	for (uint32_t i = 0; i < n; i += 2) {
		Cell key = block::vs_head(&pairs)[i];
		Cell value = block::vs_head(&pairs)[i + 1];
		store_value(m, &key, &value, op);
	}
	stack::pop(1);
	return m;
}

bool set_words(Cell* m, const Cell* words, uint32_t n) {
	uint32_t pos = m->data1;
	uint32_t cells = cell_count(m);
	while (pos + 1 < cells && removed(cell_at(m, pos))) pos += 2;
	if (pos + 1 >= cells) {
		m->data1 = cells;
		return false;
	}
	for (uint32_t i = 0; i < n; i++) {
		if (i % 2 == 0)
			while (pos + 1 < cells && removed(cell_at(m, pos))) pos += 2;
		Cell value;
		if (pos < cells) {
			value = i % 2 == 0 ? given_key(cell_at(m, pos)) : *cell_at(m, pos);
			pos++;
		} else {
			cell::make_none(&value);
		}
		Cell word = cell::is(words, T_BLOCK) ? *(memory::series(words->data2)->head_cell() + words->data1 + i) : *words;
		Type wt = cell::type_of(&word);
		if (!any_word(wt)) errors::fire(errors::id::script_invalid_arg, &word);
		cell::set_type(&word, T_WORD);
		context::set(&word, &value);
	}
	m->data1 = pos;
	return true;
}

// ---------------------------------------------------------------- actions

Cell* make(Cell* proto, Cell* spec, Type) { return make_map(proto, spec, false); }

Cell* to(Cell* proto, Cell* spec, Type) { return make_map(proto, spec, true); }

Cell* reflect(Cell* value, uint32_t field) {
	Cell m = *value;
	bool words = symbol::same_name(field, words::sym_words);
	bool values = symbol::same_name(field, words::sym_values);
	bool body = symbol::same_name(field, words::sym_body);
	if (!words && !values && !body) errors::fire(errors::id::internal_not_done);
	uint32_t live = count(&m);
	block::make_at(value, int32_t(std::max<uint32_t>(body ? 2 * live : live, 1)));
	for (uint32_t i = 0; i + 1 < cell_count(&m); i += 2) {
		const Cell* key = cell_at(&m, i);
		if (removed(key)) continue;
		if (words) {
			Cell k = given_key(key);
			block::append_value(value, &k);
		} else if (values) {
			block::append_value(value, key + 1);
		} else {
			Cell k = *key;
			k.header |= FLAG_NEW_LINE;
			Cell v = key[1];
			block::append_value(value, &k);
			block::append_value(value, &v);
		}
	}
	return value;
}

int32_t form(const Cell* value, Cell* out, const Cell* arg, int32_t part) {
	if (cycles::mold_ellipsis(value, out->data2, part, false)) return part;
	block::Walk walk(value->data2);
	return write_entries(value, out, false, false, arg, part, "\n", false, 0);
}

int32_t mold(const Cell* value, Cell* out, bool only, bool all, bool flat, const Cell* arg, int32_t part,
	int32_t indent) {
	if (cycles::mold_ellipsis(value, out->data2, part, true)) return part;
	block::Walk walk(value->data2);
	if (flat) {
		if (!only) part = put_text(out, "#[", part);
		part = write_entries(value, out, all, true, arg, part, " ", false, indent);
	} else if (only) {
		return write_entries(value, out, all, false, arg, part, "\n", false, indent);
	} else {
		part = put_text(out, "#[", part);
		if (count(value)) {
			part = put_text(out, "\n", part);
			part = write_entries(value, out, all, false, arg, part, "", true, indent + 1);
			if (indent >= 1) part = cycles::indent(out->data2, uint32_t(indent), part);
		}
	}
	if (!only) part = put_text(out, "]", part);
	return part;
}

Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell*, Cell*, Cell*, int32_t, bool case_sensitive, bool,
	bool, bool) {
	if (value) {
		set_value(parent, element, value, case_sensitive);
		return value;
	}
	Cell* entry = find_entry(parent, element, lookup_op(case_sensitive, false));
	return entry ? entry + 1 : answer_none();
}

int32_t compare(const Cell* a, const Cell* b, CompareOp op) {
	if (!cell::is(a, T_MAP) || !cell::is(b, T_MAP)) return COMPARE_UNRELATED;
	if (a->data2 == b->data2 && a->data1 == b->data1) return 0;
	if (op == COMP_SAME) return -1;
	if (cycles::find(a->data2)) return cycles::find(b->data2) ? 0 : -1;
	uint32_t na = count(a), nb = count(b);
	if (na != nb) {
		if (equality_code(op)) return 1;
		return na < nb ? -1 : 1;
	}
	if (na == 0) return 0;
	block::Walk wa(a->data2);
	block::Walk wb(b->data2);
	uint32_t seen = 0;
	for (uint32_t i = 0; i + 1 < cell_count(a) && seen < na; i += 2) {
		const Cell* key = cell_at(a, i);
		if (removed(key)) continue;
		seen++;
		Cell k = *key, v = key[1];
		int32_t r = compare_entry(b, &k, &v, op);
		if (r != 0) return r;
	}
	return 0;
}

Cell* clear(Cell* m) {
	Series* s = cells_of(m);
	s->tail = s->head;
	hash::clear(m->data3);
	return m;
}

Cell* copy(Cell* value, Cell* out, const Cell* part, bool deep, const Cell* types) {
	(void)part;  // a map has no part to copy
	Cell m = *value;
	bool walking = deep && types;
	if (walking) {
		if (cycles::find(m.data2)) {
			cycles::reset();
			errors::fire(errors::id::internal_no_cycle);
		}
		cycles::push(m.data2);
	}
	Cell b;
	cell::set(&b, T_BLOCK, 0, memory::copy_part(m.data2, 0, cell_count(&m)), 0);
	if (deep && !types) {
		block::Walk walk(m.data2);
		block::copy_cells_deep(&b);
	}
	if (types) {
		Cell* first = block::vs_abs_at(&b, 1);
		block::copy_nested(first, block::vs_tail(&b), 2, deep, types);
	}
	if (walking) cycles::pop();
	Node t = hash::copy(m.data3, b.data2);
	cell::set(out, T_MAP, 0, b.data2, t);
	return out;
}

Cell* find(Cell* m, Cell* value, const Cell*, bool, bool case_sensitive, bool same, bool, const Cell*, const Cell*,
	bool, bool, bool, bool) {
	Cell* entry = find_entry(m, value, lookup_op(case_sensitive, same));
	if (!entry) return answer_none();
	Cell k = given_key(entry);
	return answer(&k);
}

int32_t length_q(Cell* m) { return int32_t(count(m)); }

Cell* put(Cell* m, Cell* key, Cell* value, bool case_sensitive) {
	set_value(m, key, value, case_sensitive);
	return value;
}

Cell* remove(Cell* m, const Cell*, const Cell* key) {
	if (!key) errors::fire(errors::id::script_missing_arg);
	Cell* entry = find_entry(m, key, COMP_STRICT_EQUAL);
	if (entry) hash::delete_key(m->data3, entry);
	return m;
}

Cell* select(Cell* m, Cell* value, const Cell*, bool, bool case_sensitive, bool same, bool, const Cell*, const Cell*,
	bool, bool) {
	Cell* entry = find_entry(m, value, lookup_op(case_sensitive, same));
	return entry ? entry + 1 : answer_none();
}

void init_type() {
	ActionRow row{};
	row.make = make;
	row.reflect = reflect;
	row.to = to;
	row.form = form;
	row.mold = mold;
	row.eval_path = eval_path;
	row.compare = compare;
	row.clear = clear;
	row.copy = copy;
	row.find = find;
	row.length_q = length_q;
	row.put = put;
	row.remove = remove;
	row.select = select;
	registry::register_type(T_MAP, Type(0), "map!", row, 0);
	hash::map_key_hook = preprocess_key;
	lexer::extended.map = load_literal;
}

}  // namespace vyn::map
