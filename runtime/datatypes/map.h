// map!: an unordered key/value store.
//
// Cell: word 1 the head (always 0 for a map as made; a foreach position
// otherwise), word 2 the node of the key/value block, word 3 the node of a
// kind 1 hash table over the block's keys.
//
// Invariants:
//  - The block holds key, value, key, value ... in insertion order. A removed
//    entry keeps both cells, its key stays indexed and its value cell gets
//    header 0; every walk skips such pairs, and a later put revives the entry.
//  - The table's live count is the number of entries not removed.
//  - Keys are stored in normal form (preprocess_key): any word as set-word!,
//    series keys as private copies from their head, the other key types as
//    they are. A lookup by any word finds the set-word! key.
//  - Lookups are case-insensitive by default (COMP_EQUAL), case-sensitive
//    with /case (COMP_STRICT_EQUAL), by identity with /same (COMP_SAME).
#pragma once

#include <cstdint>

#include "runtime/cell.h"
#include "runtime/memory.h"
#include "runtime/registry.h"

namespace vyn::map {

// Makes `out` a map over `block` (0: a new block of `size` cells), indexing
// its key/value cells from the first: a key met again gives the earlier
// entry the later value and its pair leaves the block. The block's length
// must be even.
Cell* make_at(Cell* out, Node block, uint32_t size);
// Entries not removed.
uint32_t count(const Cell* map);
// A copy of the map cell on the data stack.
Cell* push(const Cell* map);

// Whether values of the type may be keys.
bool valid_key(Type t);
// Brings a key cell into stored form in place; a key of another type raises
// script invalid-path with its datatype and the key. `map_block` is unused
// (the hash table's hook passes the block being indexed).
void preprocess_key(Cell* key, Cell* map_block);

// The key cell of the live entry matching `key` under `op` (its value cell
// follows it), or null.
Cell* find_entry(const Cell* map, const Cell* key, CompareOp op);
// Sets the value of `key`, adding the entry (or reviving a removed one)
// when it is missing; `case_sensitive` chooses the lookup.
void set_value(Cell* map, const Cell* key, const Cell* value, bool case_sensitive);

// extend on a map: the key/value pairs of a block!, hash! or map! spec are
// put one by one (case-sensitively with the flag). An odd spec raises
// invalid-arg; a key of a type that cannot be a key raises invalid-path
// before any change.
Cell* extend(Cell* map, const Cell* spec, bool case_sensitive);
// One foreach step: sets the `count` words of the block to the next keys
// and values from the map's position (word 1), skipping removed entries and
// giving set-word! keys as word!; words past the end get none. Answers
// false, setting nothing, when no entry is left.
bool set_words(Cell* map, const Cell* words, uint32_t count);

// Action implementations.
Cell* make(Cell* proto, Cell* spec, Type type);
Cell* to(Cell* proto, Cell* spec, Type type);
Cell* reflect(Cell* map, uint32_t field);
int32_t form(const Cell* value, Cell* buffer, const Cell* arg, int32_t part);
int32_t mold(const Cell* value, Cell* buffer, bool only, bool all, bool flat, const Cell* arg, int32_t part,
	int32_t indent);
Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* gparent, Cell* previous,
	int32_t index, bool case_sensitive, bool get, bool last, bool notify);
int32_t compare(const Cell* value1, const Cell* value2, CompareOp op);
Cell* clear(Cell* map);
Cell* copy(Cell* value, Cell* out, const Cell* part, bool deep, const Cell* types);
Cell* find(Cell* map, Cell* value, const Cell* part, bool only, bool case_sensitive, bool same, bool any,
	const Cell* with, const Cell* skip, bool last, bool reverse, bool tail, bool match);
int32_t length_q(Cell* map);
Cell* put(Cell* map, Cell* key, Cell* value, bool case_sensitive);
Cell* remove(Cell* map, const Cell* part, const Cell* key);
Cell* select(Cell* map, Cell* value, const Cell* part, bool only, bool case_sensitive, bool same, bool any,
	const Cell* with, const Cell* skip, bool last, bool reverse);

// Registers map! (id 40, no parent) and installs the key hook of the hash
// tables and the lexer's loader of map literals.
void init_type();

}  // namespace vyn::map
