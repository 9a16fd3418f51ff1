// Shared by the binary! module's files.
#pragma once

#include <cstdint>

#include "runtime/cell.h"
#include "runtime/memory.h"

namespace vyn::binary {

// The largest byte count a buffer may hold (its size is a 32-bit word).
constexpr uint64_t MAX_BYTES = 0xFFFFFF00u - SERIES_BLOCK_EXTRA;

// Room for `extra` more bytes past the value's tail; growth adds twice the
// old size. Raises internal no-memory past MAX_BYTES. Answers the buffer,
// which may have moved (the node follows it).
Series* make_room(Cell* value, uint64_t extra);

}  // namespace vyn::binary
