// Series ownership: which object field owns a series, so that modifying the
// series in place tells the object (its on-deep-change* handler).
//
// Invariants:
//  - An owned series buffer carries SERIES_OWNED (an image! value carries
//    IMAGE_OWNED in its cell header instead) and has one entry in `table`, a
//    kind 4 hash table keyed by the buffer's node whose entries hold a copy
//    of the owned value, the owner object and the field word.
//  - Ownership is deep: the series nested in an owned block, and the fields
//    of nested objects that are not owners themselves, belong to the same
//    owner and field. Walks stop at values already on the cycle stack.
//  - An object whose context carries context::FLAG_OWNER owns series itself:
//    an outer owner does not take its fields over.
//  - One series may be watched: it carries SERIES_OWNED without an entry, so
//    the modifying actions report to `check`, which tells `on_watched_change`
//    the position of each change.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace vyn::ownership {

constexpr uint32_t ENTRIES = 1000;
constexpr uint32_t IMAGE_OWNED = 0x10000u;

extern Node table;

// Runs the owner's on-deep-change* with cells on the data stack: the owner
// object, the field word, the changed value, the action word, the new value
// (none when absent), then the index and part. Installed by the object
// datatype; null calls nothing.
extern void (*on_deep_change)(Cell* owner, Cell* word, Cell* target, Cell* action, Cell* value, int32_t index,
	int32_t part);

// The watched series (0: none) and what hears of its changes.
extern Node watched;
extern void (*on_watched_change)(int32_t index);
// Watches the series of `node` instead of the one watched before.
void watch(Node node);

// Makes the ownership table (start-up).
void init();

// Marks the value as owned by the owner's field `word`, deeply.
void bind(Cell* value, const Cell* owner, const Cell* word);
// The same, then marks the owner object as an owner.
void bind_owned(Cell* value, const Cell* owner, const Cell* word);
// Removes ownership deeply.
void unbind(Cell* value);
// unbind on `count` cells of the block from `index`.
void unbind_cells(const Cell* block, uint32_t index, uint32_t count);

// The owner object of the node's entry, or null.
Cell* find_owner(Node node);

// Called by modifying actions with their word before the change and its
// past-tense word after it: when the value is owned by an object with
// change handlers, calls on_deep_change and answers true.
bool check(const Cell* value, const Cell* action, int32_t index, int32_t part, const Cell* new_value = nullptr);

// For the collector, after marking: drops the entries whose series or owner
// context `alive` refuses.
void sweep(bool (*alive)(Node node));

}  // namespace vyn::ownership
