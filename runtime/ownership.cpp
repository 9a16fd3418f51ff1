#include "runtime/ownership.h"

#include <vector>

#include "runtime/context.h"
#include "runtime/cycles.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/word.h"
#include "runtime/evaluator/stack.h"
#include "runtime/hash_table.h"
#include "runtime/memory.h"

namespace vyn::ownership {

Node table = 0;
void (*on_deep_change)(Cell* owner, Cell* word, Cell* target, Cell* action, Cell* value, int32_t index,
	int32_t part) = nullptr;
Node watched = 0;
void (*on_watched_change)(int32_t index) = nullptr;

namespace {

enum class Shape { none, block, series, bitset, image, object };

Shape shape_of(Type t) {
	switch (t) {
	case T_BLOCK: case T_PAREN: case T_HASH: case T_PATH: case T_LIT_PATH: case T_SET_PATH: case T_GET_PATH:
		return Shape::block;
	case T_STRING: case T_FILE: case T_URL: case T_TAG: case T_EMAIL: case T_REF: case T_BINARY: case T_VECTOR:
		return Shape::series;
	case T_BITSET: return Shape::bitset;
	case T_IMAGE: return Shape::image;
	case T_OBJECT: return Shape::object;
	default: return Shape::none;
	}
}

void add_entry(Node node, const Cell* value, const Cell* owner, const Cell* word) {
	Cell v = *value, o = *owner, w = *word;
	Cell* e = hash::put_node(table, node);
	e[0] = v;
	e[1] = o;
	e[2] = w;
}

void remove_entry(Node node) {
	Cell* e = hash::find_node(table, node);
	if (!e) return;
	for (int i = 0; i < 3; i++) cell::make_unset(e + i);
	hash::remove_node(table, node);
}

// Takes the series (not yet owned) into the table.
void own(Node node, const Cell* value, const Cell* owner, const Cell* word) {
	Series* s = memory::series(node);
	if (s->flags & SERIES_OWNED) return;
	s->flags |= SERIES_OWNED;
	add_entry(node, value, owner, word);
}

bool is_owner(Node ctx) { return (context::header(ctx)->header & context::FLAG_OWNER) != 0; }

template <class F>
void walk_cells(Node node, uint32_t from, F&& each) {
	if (cycles::find(node)) return;
	cycles::push(node);
	// Walks allocate only table entries, so the cells stay where they are.
	for (uint32_t i = from; i < memory::series(node)->used() / sizeof(Cell); i++)
		each(memory::series(node)->head_cell() + i, i);
	cycles::pop();
}

// The string module names its change words as texts.
void notify_string(Cell* series, const char* action, uint32_t index, uint32_t part) {
	Cell word = *word::load(action);
	check(series, &word, int32_t(index), int32_t(part));
}

}  // namespace

void init() {
	table = hash::create(ENTRIES, nullptr, hash::KIND_OWNERSHIP, 3);
	string::notify_hook = notify_string;
}

// The series watched before keeps its flag: its handle may be stale by now.
void watch(Node node) {
	watched = node;
	if (node) memory::series(node)->flags |= SERIES_OWNED;
}

void bind(Cell* value, const Cell* owner, const Cell* word) {
	Cell o = *owner, w = *word;
	switch (shape_of(cell::type_of(value))) {
	case Shape::block: {
		Node node = value->data2;
		own(node, value, &o, &w);
		walk_cells(node, value->data1, [&](Cell* c, uint32_t) { bind(c, &o, &w); });
		return;
	}
	case Shape::series:
	case Shape::bitset: own(value->data2, value, &o, &w); return;
	case Shape::image:
		if (value->header & IMAGE_OWNED) return;
		value->header |= IMAGE_OWNED;
		if (value->data2) add_entry(value->data2, value, &o, &w);
		return;
	case Shape::object: {
		Node ctx = value->data1;
		if (is_owner(ctx)) return;
		walk_cells(context::header(ctx)->data2, 0, [&](Cell* c, uint32_t i) {
			if (cell::is(c, T_OBJECT) && c->data1 == o.data1) return;
			Cell field = *context::word_cell(ctx, i);
			bind(c, &o, &field);
		});
		return;
	}
	case Shape::none: return;
	}
}

void bind_owned(Cell* value, const Cell* owner, const Cell* word) {
	Cell o = *owner;
	bind(value, &o, word);
	context::header(o.data1)->header |= context::FLAG_OWNER;
}

void unbind(Cell* value) {
	switch (shape_of(cell::type_of(value))) {
	case Shape::block: {
		Node node = value->data2;
		memory::series(node)->flags &= ~SERIES_OWNED;
		remove_entry(node);
		walk_cells(node, value->data1, [](Cell* c, uint32_t) { unbind(c); });
		return;
	}
	case Shape::series:
	case Shape::bitset:
		memory::series(value->data2)->flags &= ~SERIES_OWNED;
		remove_entry(value->data2);
		return;
	case Shape::image:
		value->header &= ~IMAGE_OWNED;
		if (value->data2) remove_entry(value->data2);
		return;
	case Shape::object: {
		Node ctx = value->data1;
		if (is_owner(ctx)) return;
		walk_cells(context::header(ctx)->data2, 0, [](Cell* c, uint32_t) { unbind(c); });
		return;
	}
	case Shape::none: return;
	}
}

void unbind_cells(const Cell* block, uint32_t index, uint32_t count) {
	Node node = block->data2;
	for (uint32_t i = index; i - index < count && i < memory::series(node)->used() / sizeof(Cell); i++) {
		unbind(memory::series(node)->head_cell() + i);
	}
}

Cell* find_owner(Node node) {
	Cell* e = hash::find_node(table, node);
	return e ? e + 1 : nullptr;
}

bool check(const Cell* value, const Cell* action, int32_t index, int32_t part, const Cell* new_value) {
	Node node;
	switch (shape_of(cell::type_of(value))) {
	case Shape::block:
	case Shape::series:
	case Shape::bitset:
		node = value->data2;
		if (!(memory::series(node)->flags & SERIES_OWNED)) return false;
		if (node == watched && on_watched_change) on_watched_change(index);
		break;
	case Shape::image:
		if (!(value->header & IMAGE_OWNED)) return false;
		node = value->data2;
		break;
	case Shape::object: node = value->data1; break;
	default: return false;
	}
	Cell* e = node ? hash::find_node(table, node) : nullptr;
	if (!e || !e[1].data3 || !on_deep_change) return false;
	// The handler runs Vyn code: what it gets lives on the data stack.
	Cell* saved = stack::top;
	Cell* owner = stack::push(e + 1);
	Cell* word = stack::push(e + 2);
	Cell* target = stack::push(value);
	Cell* act = stack::push(action);
	Cell* fresh = stack::alloc_slot();
	if (new_value)
		*fresh = *new_value;
	else
		cell::make_none(fresh);
	on_deep_change(owner, word, target, act, fresh, index, part);
	stack::top = saved;
	return true;
}

void sweep(bool (*alive)(Node node)) {
	std::vector<Node> dead;
	hash::for_each_entry(table, [&](Cell* key) {
		const Cell* owner = key + 2;
		bool owner_alive = !cell::is(owner, T_OBJECT) || alive(owner->data1);
		if (!alive(key->data1) || !owner_alive) dead.push_back(key->data1);
	});
	for (Node n : dead) remove_entry(n);
}

}  // namespace vyn::ownership
