// The symbol table: every name the runtime knows, interned once.
//
// Invariants:
//  - Symbol id N (1-based) is cell N - 1 of the symbol block, the key block
//    of the kind 2 table `table`. Symbols are only appended; ids are never
//    reused.
//  - Symbol cell: word 1 the alias, the id of the first symbol spelled the
//    same ignoring ASCII letter case (0 or less: the symbol is canonical);
//    word 2 the node of the name as a string!, made on first request (0
//    before); word 3 the node of a byte buffer holding the UTF-8 name, with a
//    NUL byte after its tail.
//  - An alias is always canonical itself, so resolving takes one step.
//  - Names hash as their UTF-8 bytes with A-Z lowered, so every ASCII case
//    variant of a name lies on one probe sequence.
#pragma once

#include <cstdint>
#include <string_view>

#include "runtime/cell.h"
#include "runtime/hash_table.h"
#include "runtime/memory.h"

namespace vyn::symbol {

constexpr uint32_t INITIAL_SYMBOLS = 4000;

extern Node table;  // the kind 2 hash table over the symbol block

// Makes the symbol block and its table (start-up, after the case tables).
void init(uint32_t size = INITIAL_SYMBOLS);

// Finds or adds a name. With `any_case`, an existing name differing only in
// ASCII letter case is answered as it is; without, such a name makes a new
// symbol whose alias is that name's canonical symbol.
uint32_t put_symbol(Node table, const uint8_t* name, uint32_t length, bool any_case);

inline uint32_t make_sized(const char* name, uint32_t length) {
	return put_symbol(table, reinterpret_cast<const uint8_t*>(name), length, false);
}
inline uint32_t make(std::string_view name) { return make_sized(name.data(), uint32_t(name.size())); }
inline uint32_t make_any_case(std::string_view name) {
	return put_symbol(table, reinterpret_cast<const uint8_t*>(name.data()), uint32_t(name.size()), true);
}
// The symbol of a string value's text from its head.
uint32_t make_from_string(Cell* string);

// The symbol cell of an id, as it is.
inline Cell* cell_of(uint32_t id) {
	return memory::series(hash::table_of(table)->block)->head_cell() + (id - 1);
}
inline uint32_t count() { return memory::series(hash::table_of(table)->block)->used() / sizeof(Cell); }

// The symbol cell, after making sure its name string exists.
Cell* get(uint32_t id);
// Makes the name string of a symbol cell when it has none.
void make_name_string(Cell* symbol);

// The UTF-8 name, NUL-terminated in place.
const char* c_name(uint32_t id);
inline std::string_view name(uint32_t id) {
	Series* s = memory::series(cell_of(id)->data3);
	return std::string_view(reinterpret_cast<const char*>(s->head_ptr()), s->used());
}

inline int32_t get_alias(uint32_t id) { return int32_t(cell_of(id)->data1); }
// The canonical id: two words are the same word when these are equal.
inline uint32_t resolve(uint32_t id) {
	int32_t alias = get_alias(id);
	return alias > 0 ? uint32_t(alias) : id;
}
inline bool same_name(uint32_t a, uint32_t b) { return a == b || resolve(a) == resolve(b); }
// True when the symbol resolves to `self`.
bool is_self(uint32_t id);

// Compares two symbols' names as texts under a comparison code: -1, 0 or 1.
int32_t compare_ids(uint32_t a, uint32_t b, CompareOp op);

// Registers symbol! (compare only).
void init_type();

}  // namespace vyn::symbol
