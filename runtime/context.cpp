#include "runtime/context.h"

#include "runtime/cycles.h"
#include "runtime/errors.h"
#include "runtime/evaluator/stack.h"
#include "runtime/hash_table.h"
#include "runtime/registry.h"
#include "runtime/symbol.h"

namespace vyn::context {

Node global = 0;
Cell* root = nullptr;
bool starting = false;
bool decoding_boot = false;
void (*on_change)(Cell* owner, Cell* word, Cell* old_value, Cell* new_value) = nullptr;

namespace {

constexpr uint32_t NONE = 0xFFFFFFFFu;

// The word-list position of the cell naming the symbol, or NONE. In add mode
// a missing symbol gets a new word! cell at the tail of the list, and
// `added` is set.
uint32_t lookup(Node ctx, uint32_t symbol, bool case_insensitive, bool add, bool& added) {
	added = false;
	Node table = word_table(ctx);
	hash::Table* t = add ? hash::grow_names(table) : hash::table_of(table);
	uint32_t canonical = symbol::resolve(symbol);
	uint32_t wanted = case_insensitive ? canonical : symbol;
	const uint32_t* flags = hash::flag_words(t);
	const uint32_t* keys = hash::key_words(t);
	const Cell* list = memory::series(t->block)->head_cell();
	uint32_t b = hash::first_bucket(t, hash::mix(canonical));
	for (uint32_t step = 1; step <= t->buckets; step++) {
		uint32_t f = hash::bucket_flag(flags, b);
		if (f == hash::EMPTY) {
			if (!add) return NONE;
			Series* words = memory::series(t->block);
			uint32_t position = words->used() / sizeof(Cell);
			Cell* w = memory::alloc_at_tail(words);
			cell::set(w, T_WORD, ctx, symbol, position);
			hash::occupy(t, b, position);
			added = true;
			return position;
		}
		if (f == hash::USED) {
			uint32_t stored = list[keys[b]].data2;
			if ((case_insensitive ? symbol::resolve(stored) : stored) == wanted) return keys[b];
		}
		b = hash::next_bucket(t, b, step);
	}
	if (add) errors::fire(errors::id::internal_limit_hit);  // grow_names leaves empty buckets
	return NONE;
}

// A new value slot for a word just added to a heap context.
Cell* append_value(Node ctx) {
	Cell* h = header(ctx);
	if (h->header & FLAG_STACK) return nullptr;
	return memory::alloc_at_tail(memory::series(h->data2));
}

[[noreturn]] void raise_with_word(errors::Id id, const Cell* word) { errors::fire(id, word); }

bool binds(Type t) { return t >= T_WORD && t <= T_GET_WORD; }
bool walked(Type t) {
	return t == T_BLOCK || t == T_PAREN || t == T_HASH || (t >= T_PATH && t <= T_GET_PATH);
}

// Appends a copy of the word to the root block; without one, the copy lives
// in a scratch cell until the next call.
Cell* keep_in_root(const Cell* word) {
	static Cell scratch;
	if (!root) {
		scratch = *word;
		return &scratch;
	}
	Cell copy = *word;
	Cell* c = memory::alloc_tail(root);
	*c = copy;
	return c;
}

}  // namespace



uint32_t flags(const Cell* value) {
	if (cell::is(value, T_CONTEXT)) return value->header;
	return value->data1 ? header(value->data1)->header : 0;
}

void init_global(uint32_t words) { global = create(words, false, false, 0, 0); }

Node create(uint32_t slots, bool stack, bool maker, Node source, uint32_t kind) {
	if (slots == 0) slots = 1;
	Node ctx = memory::alloc_cells(2);
	Series* s = memory::series(ctx);
	s->tail = 2 * sizeof(Cell);
	Cell* h = s->head_cell();
	uint32_t head = T_CONTEXT | ((kind << KIND_SHIFT) & KIND_MASK);
	if (stack) head |= FLAG_STACK;
	if (maker) head |= FLAG_MAKER;
	cell::set(h, head);
	cell::make_unset(h + 1);
	Node table;
	uint32_t words = 0;
	if (source) {
		Node source_table = word_table(source);
		Node list = memory::copy_series(words_buffer(source));
		table = hash::copy(source_table, list);
		Series* l = memory::series(list);
		words = l->used() / sizeof(Cell);
		for (Cell* w = l->head_cell(); w < l->tail_cell(); w++) w->data1 = ctx;
	} else {
		table = hash::create(slots, nullptr, hash::KIND_NAMES, 0);
	}
	h = header(ctx);
	h->data1 = table;
	if (!stack) {
		Node v = memory::alloc_unset_cells(words > slots ? words : slots);
		memory::series(v)->tail = words * sizeof(Cell);
		header(ctx)->data2 = v;
	}
	return ctx;
}

FoundWord found_words[FOUND_WORDS];

int32_t find_word_slow(Node ctx, uint32_t symbol, bool case_insensitive) {
	bool added;
	uint32_t p = lookup(ctx, symbol, case_insensitive, false, added);
	if (p == NONE) return -1;
	int32_t index = int32_t(word_cell(ctx, p)->data3);
	if (case_insensitive) found_word(ctx, symbol) = FoundWord{ctx, symbol, memory::handle_epoch, index};
	return index;
}

int32_t find_symbol(Node ctx, uint32_t symbol, bool case_insensitive, int32_t* out) {
	bool added;
	uint32_t p = lookup(ctx, symbol, case_insensitive, true, added);
	if (added) {
		*out = int32_t(p);
		return -1;
	}
	return int32_t(word_cell(ctx, p)->data3);
}

int32_t add_word(Node ctx, const Cell* word) {
	int32_t out = -1;
	int32_t index = find_symbol(ctx, word->data2, true, &out);
	if (index >= 0) return index;
	append_value(ctx);
	return out;
}

Cell* add_with_value(Node ctx, const Cell* word, const Cell* value) {
	Cell v = *value;
	int32_t out = -1;
	if (find_symbol(ctx, word->data2, true, &out) >= 0) return nullptr;
	Cell* slot = append_value(ctx);
	if (!slot) {
		Cell* vals = values(ctx);
		if (!vals) return nullptr;
		slot = vals + out;
	}
	*slot = v;
	return slot;
}

void put(Node ctx, const Cell* word, const Cell* value) {
	Cell v = *value;
	int32_t index = add_word(ctx, word);
	Cell* vals = values(ctx);
	if (!vals) raise_with_word(errors::id::script_not_defined, word);
	vals[index] = v;
}

bool collect_set_words(Node ctx, Cell* block) {
	Series* s = memory::buffer_of(block);
	uint32_t count = s->used() / sizeof(Cell);
	if (block->data1 > count) block->data1 = count;
	bool grew = false;
	for (uint32_t i = block->data1; i < count; i++) {
		const Cell* c = memory::buffer_of(block)->head_cell() + i;
		if (!cell::is(c, T_SET_WORD)) continue;
		int32_t out = -1;
		if (find_symbol(ctx, c->data2, true, &out) >= 0) continue;
		append_value(ctx);
		grew = true;
	}
	return grew;
}

Cell* find_or_add_global(uint32_t symbol, bool case_insensitive, bool copy) {
	bool added;
	uint32_t p = lookup(global, symbol, case_insensitive, false, added);
	if (p == NONE) {
		// Any spelling already present lends its slot to the new one.
		uint32_t shared = case_insensitive ? NONE : lookup(global, symbol, true, false, added);
		p = lookup(global, symbol, false, true, added);
		append_value(global);
		if (shared != NONE) word_cell(global, p)->data3 = word_cell(global, shared)->data3;
		Cell* w = word_cell(global, p);
		if (decoding_boot) return keep_in_root(w);
		return w;
	}
	Cell* w = word_cell(global, p);
	if (copy && w->data2 != symbol) {
		Cell spelled = *w;
		spelled.data2 = symbol;
		return keep_in_root(&spelled);
	}
	return w;
}

void get_global(uint32_t symbol, Cell* out) {
	Cell* w = find_or_add_global(symbol, false, false);
	*out = values(global)[w->data3];
}

Cell* global_value(uint32_t symbol) {
	int32_t index = find_word(global, symbol, true);
	return index < 0 ? nullptr : values(global) + index;
}

Cell* get_value_or_global(Node ctx, uint32_t symbol) {
	if (on_stack(ctx)) return global_value(symbol);
	int32_t index = find_word(ctx, symbol, true);
	return index < 0 ? nullptr : values(ctx) + index;
}

Cell* get_in(Node ctx, Cell* word) {
	if (!ctx) raise_with_word(errors::id::script_no_value, word);
	int32_t index = int32_t(word->data3);
	if (index < 0) {
		if (symbol::is_self(word->data2)) return owner(ctx);
		index = find_word(ctx, word->data2, true);
		if (index < 0) raise_with_word(errors::id::script_no_value, word);
		word->data3 = uint32_t(index);
	}
	Cell* vals = values(ctx);
	if (!vals) raise_with_word(errors::id::script_not_in_context, word);
	if (!on_stack(ctx) && uint32_t(index) >= memory::series(header(ctx)->data2)->used() / sizeof(Cell))
		raise_with_word(errors::id::script_no_value, word);
	return vals + index;
}

Cell* get(Cell* word) { return get_in(word->data1, word); }

Cell* set_in(Cell* word, const Cell* value, Node ctx, bool notify) {
	Cell v = *value;
	if (!ctx) raise_with_word(errors::id::script_not_defined, word);
	int32_t index = int32_t(word->data3);
	if (index < 0) {
		index = find_word(ctx, word->data2, false);
		if (index < 0) index = add_word(ctx, word);
		word->data3 = uint32_t(index);
	}
	Cell* vals = values(ctx);
	if (!vals) raise_with_word(errors::id::script_not_defined, word);
	if (!is_object(ctx)) {
		vals[index] = v;
		return vals + index;
	}
	word_cell(ctx, uint32_t(index))->header |= WORD_ASSIGNED;
	const Cell* own = owner(ctx);
	if (!notify || !on_change || !cell::is(own, T_OBJECT) || !own->data3) {
		vals[index] = v;
		return vals + index;
	}
	// The handler runs Vyn code: every cell it gets lives on the data stack.
	Cell* saved = stack::top;
	Cell* o = stack::push(own);
	Cell* w = stack::push(word);
	Cell* old = stack::push(vals + index);
	vals[index] = v;
	Cell* fresh = stack::push(&v);
	on_change(o, w, old, fresh);
	stack::top = saved;
	return values(ctx) + index;
}

Cell* set(Cell* word, const Cell* value) { return set_in(word, value, word->data1, true); }

void set_integer(Node ctx, Cell* word, int32_t n) {
	Cell v;
	cell::make_integer(&v, n);
	set_in(word, &v, ctx, false);
}

Node copy(Cell* value, uint32_t kind) {
	Node old = value->data1;
	uint32_t head = header(old)->header;
	Node fresh = create(word_count(old), (head & FLAG_STACK) != 0, (head & FLAG_MAKER) != 0, old, kind);
	Cell* h = header(fresh);
	h->header = (head & ~KIND_MASK) | ((kind << KIND_SHIFT) & KIND_MASK);
	value->data1 = fresh;
	return fresh;
}

Node make_from_spec(Cell* spec, bool stack, bool maker, uint32_t kind) {
	Series* s = memory::buffer_of(spec);
	uint32_t count = s->used() / sizeof(Cell);
	uint32_t head = spec->data1 < count ? spec->data1 : count;
	Node ctx = create(count - head, stack, maker, 0, kind);
	for (uint32_t i = head; i < count; i++) {
		const Cell* c = memory::buffer_of(spec)->head_cell() + i;
		Type t = cell::type_of(c);
		if (t != T_WORD && t != T_GET_WORD && t != T_LIT_WORD && t != T_REFINEMENT) continue;
		int32_t out = -1;
		if (find_symbol(ctx, c->data2, true, &out) < 0) append_value(ctx);
	}
	return ctx;
}

int32_t bind_word(Node ctx, Cell* word) {
	int32_t index = find_word(ctx, word->data2, true);
	if (index >= 0) {
		word->data1 = ctx;
		word->data3 = uint32_t(index);
	}
	return index;
}

void bind_block(Cell* block, Node ctx, bool self) {
	Node node = block->data2;
	if (cycles::find(node)) return;
	cycles::push(node);
	uint32_t count = memory::series(node)->used() / sizeof(Cell);
	for (uint32_t i = block->data1; i < count; i++) {
		Cell* c = memory::series(node)->head_cell() + i;
		Type t = cell::type_of(c);
		if (binds(t)) {
			if (self && t == T_WORD && symbol::is_self(c->data2)) {
				c->data1 = ctx;
				c->data3 = uint32_t(-1);
			} else {
				bind_word(ctx, c);
			}
		} else if (walked(t)) {
			Cell inner = *c;
			bind_block(&inner, ctx, self);
		}
	}
	cycles::pop();
}

void init_type() { registry::register_type(T_CONTEXT, Type(0), "context!", ActionRow{}, 0); }

}  // namespace vyn::context
