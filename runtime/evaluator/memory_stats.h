// Memory statistics: what the memory manager's frames hold, for `stats`.
//
// The report block holds, in order: a block of node frames (one new-line
// sub-block [free used capacity] each, in nodes), a block of series frames
// (one new-line sub-block [free used total] each, in bytes), a block of big
// frame sizes (each on a new line), the bytes reserved in all plus the
// C heap, and the C heap alone. The figures are read before the report is
// built, so the report's own allocations never show in it.
#pragma once

#include <cstdint>

#include "runtime/cell.h"
#include "runtime/memory.h"

namespace vyn::stats {

// Bytes a node slot, a node frame's record, and a C-heap block's bookkeeping take.
constexpr uint64_t NODE_SLOT_BYTES = sizeof(Series*);
constexpr uint64_t NODE_FRAME_BYTES = sizeof(NodeFrame);
constexpr uint64_t HEAP_BLOCK_EXTRA = 16;

// Level 1 (or below) answers the bytes in use; level 2 and above appends
// the report to `block` and answers 0.
uint64_t memory(const Cell* block, int32_t level);

// Appends a count to the block: an integer! up to 2147483647, else a float!.
Cell* push_number(const Cell* block, uint64_t value);

}  // namespace vyn::stats
