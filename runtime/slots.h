// The slot table: values that windows refer to by a small integer, kept in
// a block held by a root cell so the collector sees them.
//
// Invariants: every cell of the block is a slot (its tail is its end). A
// free slot is an integer! whose word 2 is the next free slot (END closes
// the list); free_head is 0-based, END when the table is full. Indexes given
// out are 1-based. Which slots are in use is kept beside the block, because
// a stored value may itself be an integer!.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace vyn::slots {

constexpr uint32_t INITIAL_SLOTS = 100;
constexpr int32_t END = -1;

// Makes the table's block in `root`, every slot free.
void init(Cell* root);
// Copies the value into the most recently freed slot, doubling the table
// first when none is free; answers the slot's 1-based index.
int32_t put(const Cell* value);
// The slot's cell; an index outside the table or of a free slot raises
// script out-of-range.
Cell* get(int32_t index);
// Frees the slot; 0 is ignored, a slot already free raises internal wrong-mem.
void free(int32_t index);

uint32_t capacity();
Cell* root();

}  // namespace vyn::slots
