// Contexts: word lists and the values they name.
//
// A context is a node whose buffer holds two cells:
//  1. the header cell, type context!: word 0 the type and flags (values on
//     the data stack, owner of series, kind in bits 11-12, maker flag);
//     word 1 the node of the word table, a kind 2 hash table whose key block
//     is the word list; word 2 the node of the values block or, for a
//     context whose values live on the data stack, 1 + the data index of
//     its first value while the function runs (0 when it does not);
//  2. the owner cell (`self`): the object or function owning the context.
//
// Invariants:
//  - Word i of the word list (a word! cell: the context's node, its symbol,
//    its index) names value i. A heap context has as many used value cells
//    as words; a stack context's values are the function frame's.
//  - Lookups ignore letter case through the symbols' canonical ids; each
//    word keeps its spelling. In the global context, two spellings of one
//    name share one value slot: the later spelling's word-list cell carries
//    the earlier one's index (word 3), which lookups answer.
//  - A bound word carries the context node in word 1 and its index in word
//    3 (-1 until looked up; a `self` bound with the self flag stays -1 and
//    stands for the owner cell).
#pragma once

#include <cstdint>

#include "runtime/cell.h"
#include "runtime/evaluator/stack.h"
#include "runtime/hash_table.h"
#include "runtime/memory.h"

namespace vyn::context {

constexpr uint32_t FLAG_OWNER = 0x00010000u;    // the object owns series
constexpr uint32_t FLAG_STACK = 0x00400000u;    // values on the data stack
constexpr uint32_t FLAG_MAKER = 0x01000000u;    // passed through by the maker
constexpr uint32_t KIND_SHIFT = 11;
constexpr uint32_t KIND_MASK = 0x3u << KIND_SHIFT;
constexpr uint32_t KIND_OBJECT = 2;
constexpr uint32_t WORD_ASSIGNED = 0x2000u;     // on an object's word-list cell
constexpr uint32_t GLOBAL_WORDS = 4000;

extern Node global;

// Start-up state, set by the boot sequence: the root block's cell (null
// before it exists), the start-up flag, and the boot-data decoding flag.
extern Cell* root;
extern bool starting;
extern bool decoding_boot;

// Called when a field of an object with change handlers is assigned, with
// cells on the data stack: the owner object, the word, the old and the new
// value. Installed by the object datatype; null calls nothing.
extern void (*on_change)(Cell* owner, Cell* word, Cell* old_value, Cell* new_value);

// Contexts are passed by node; these reach the two cells.
inline Cell* header(Node ctx) { return memory::series(ctx)->head_cell(); }
inline Cell* owner(Node ctx) { return header(ctx) + 1; }
inline uint32_t kind_of(Node ctx) { return (header(ctx)->header & KIND_MASK) >> KIND_SHIFT; }
inline bool on_stack(Node ctx) { return (header(ctx)->header & FLAG_STACK) != 0; }
inline bool is_object(Node ctx) { return kind_of(ctx) == KIND_OBJECT; }

// Word list and values.
inline Node word_table(Node ctx) { return header(ctx)->data1; }
inline Series* words_buffer(Node ctx) { return memory::series(hash::table_of(word_table(ctx))->block); }
inline uint32_t word_count(Node ctx) { return words_buffer(ctx)->used() / sizeof(Cell); }
inline Cell* word_cell(Node ctx, uint32_t n) { return words_buffer(ctx)->head_cell() + n; }
// The first value cell, or null when the context has no values (a stack
// context whose function is not running). Every word read goes through it:
// always inlined, whatever the size of the caller.
[[gnu::always_inline]] inline Cell* values(Node ctx) {
	Cell* h = header(ctx);
	if (h->header & FLAG_STACK) return h->data2 ? stack::at(h->data2 - 1) : nullptr;
	return memory::series(h->data2)->head_cell();
}
// The header word of the context a word or context value refers to.
uint32_t flags(const Cell* value);

// Makes the global context (start-up).
void init_global(uint32_t words = GLOBAL_WORDS);

// A new context for `slots` words (0 counts as 1). A heap context gets a
// values block with room for them (none used) and a new word table, or a
// copy of `source`'s (0: none) word table and word list.
Node create(uint32_t slots, bool stack, bool maker, Node source, uint32_t kind);

// Field lookups repeat the same few (context, name) pairs: b/vx in a loop,
// select on records. A word list only ever grows at its tail, so the place
// a context gives a name never changes while the context lives, and its
// node names it until the handle epoch moves on. The value index found for
// a pair is kept here for that long: a path or a binding changed since
// does not matter (the pair is looked up again), nor a word added since
// (only found names are kept).
struct FoundWord {
	Node ctx;
	uint32_t symbol;
	uint32_t epoch;
	int32_t index;
};
constexpr uint32_t FOUND_WORDS = 1024;
extern FoundWord found_words[FOUND_WORDS];

inline FoundWord& found_word(Node ctx, uint32_t symbol) {
	return found_words[((ctx * 0x9E3779B1u) ^ (symbol * 0x85EBCA77u)) >> 22];
}

int32_t find_word_slow(Node ctx, uint32_t symbol, bool case_insensitive);
// Index of the symbol in the word list, -1 when absent.
inline int32_t find_word(Node ctx, uint32_t symbol, bool case_insensitive) {
	if (case_insensitive) {
		const FoundWord& f = found_word(ctx, symbol);
		if (f.ctx == ctx && f.symbol == symbol && f.epoch == memory::handle_epoch) return f.index;
	}
	return find_word_slow(ctx, symbol, case_insensitive);
}
// The same, adding the word when absent: then answers -1 and writes the
// new index to *out.
int32_t find_symbol(Node ctx, uint32_t symbol, bool case_insensitive, int32_t* out);
// Adds the word's symbol when absent (with an unset! value slot for a heap
// context); answers its index.
int32_t add_word(Node ctx, const Cell* word);
// Adds the word with the value; null when the word was already there.
Cell* add_with_value(Node ctx, const Cell* word, const Cell* value);
// Sets the word's value, adding the word when absent.
void put(Node ctx, const Cell* word, const Cell* value);
// Adds every set-word! of the block from its index; true when the context grew.
bool collect_set_words(Node ctx, Cell* block);

// Global context.
Cell* find_or_add_global(uint32_t symbol, bool case_insensitive, bool copy);
inline Cell* add_global(uint32_t symbol) { return find_or_add_global(symbol, false, false); }
// Copies the global value of the symbol (found exactly, added when absent).
void get_global(uint32_t symbol, Cell* out);
// The global value cell of the symbol, found ignoring case; null when absent.
Cell* global_value(uint32_t symbol);
// The symbol's value cell in the context, or in the global context when
// the context's values live on the data stack; null when absent.
Cell* get_value_or_global(Node ctx, uint32_t symbol);

// Get and set.
Cell* get_in(Node ctx, Cell* word);
Cell* get(Cell* word);
Cell* set_in(Cell* word, const Cell* value, Node ctx, bool notify);
Cell* set(Cell* word, const Cell* value);
void set_integer(Node ctx, Cell* word, int32_t n);

// Making, copying and binding.
// A context like the value's (word 1), with a copy of its word table whose
// word list points at the new context; its values are unset!. The value's
// word 1 receives the new node.
Node copy(Cell* value, uint32_t kind);
// A context for the words, get-words, lit-words and refinements of a spec
// block (each name once, case-insensitively).
Node make_from_spec(Cell* spec, bool stack, bool maker, uint32_t kind);
// Binds the word when the context has it (ignoring case); its index or -1.
int32_t bind_word(Node ctx, Cell* word);
// Binds every word of the block and of its nested blocks, parens, paths and
// hash! values; with `self`, the word! `self` stands for the owner.
void bind_block(Cell* block, Node ctx, bool self);

// Registers context! (no actions).
void init_type();

}  // namespace vyn::context
