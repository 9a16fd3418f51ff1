// The serialiser's writer: any value, with every series and context it
// reaches, into one binary! container (serial_records.h), in the compact
// encoding (varints, one-byte small values) or the fixed-width one (32-bit
// words).
//
// Values met a second time (the same series or context node) are written as
// a reference: the path of positions at which the first meeting was written.
// Words bound to the global context carry their symbol only.
//
// Refused with access no-codec naming the value: routine!, triple!,
// handle!, port!, event!, an op! made from a routine!, and a word whose
// context belongs to something that is neither an object nor a function
// (the reader could not rebuild it).
//
// Every encode starts from an empty state and leaves none behind, so an
// encode aborted by an error cannot leak into the next one.
#pragma once

#include <cstdint>
#include <vector>

#include "runtime/cell.h"

namespace vyn::serial_writer {

// The container's bytes.
std::vector<uint8_t> encode_bytes(const Cell* value, bool compact);

// The same as a new binary! in `out`.
Cell* encode(const Cell* value, bool compact, Cell* out);

}  // namespace vyn::serial_writer
