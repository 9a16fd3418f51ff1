// Shared by the binary! module's files.
#pragma once

#include <cstdint>

#include "runtime/cell.h"
#include "runtime/memory.h"

namespace vyn::binary {

// The largest byte count a binary may hold: its positions are signed 32-bit
// head indexes.
constexpr uint64_t MAX_BYTES = 0x7FFFFF00u - SERIES_BLOCK_EXTRA;

// Room for `extra` more bytes past the value's tail; growth adds twice the
// old size. Raises internal no-memory past MAX_BYTES. Answers the buffer,
// which may have moved (the node follows it).
Series* make_room(Cell* value, uint64_t extra);

}  // namespace vyn::binary
