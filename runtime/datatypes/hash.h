// hash!: a block whose cells are indexed by a kind 0 hash table, so that find
// and select are lookups instead of scans.
//
// Cell: word 1 the head index, word 2 the node of the block, word 3 the node
// of the table (0 for a hash! made without one, which acts as a plain
// block).
//
// Invariant: every cell of the block, from its first cell to its tail, is a
// key of the table recorded by its position (equal values share a bucket
// through a chain). The block actions hash! inherits keep it so themselves
// (series::hash_*); the actions here either build a new index or rebuild
// the range they moved cells in.
#pragma once

#include <cstdint>

#include "runtime/cell.h"
#include "runtime/registry.h"

namespace vyn::hash_ {

// Makes `out` a hash! over a new empty block with room for `capacity`
// cells (at least one).
Cell* make_at(Cell* out, int32_t capacity);

Cell* make(Cell* proto, Cell* spec, Type type);
Cell* to(Cell* proto, Cell* spec, Type type);
int32_t mold(const Cell* value, Cell* buffer, bool only, bool all, bool flat, const Cell* arg, int32_t part,
	int32_t indent);
Cell* copy(Cell* value, Cell* out, const Cell* part, bool deep, const Cell* types);
Cell* sort(Cell* series, bool case_sensitive, const Cell* skip, const Cell* compare, const Cell* part, bool all,
	bool reverse, bool stable);
Cell* trim(Cell* series, bool head, bool tail, bool automatic, bool lines, bool all, const Cell* with);

// Registers hash! (id 36, parent block!); block! must be registered first.
void init_type();

}  // namespace vyn::hash_
