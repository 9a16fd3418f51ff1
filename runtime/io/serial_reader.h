// The serialiser's reader: a container (serial_records.h) in either
// encoding, optionally CRUSH-compressed, back into values.
//
// Two modes:
//  - codec: data from anywhere. Every index the data carries is checked
//    before use (a word's index in its context, a native's slot, a
//    function's context against its spec, handler slots, error codes,
//    dates, characters, vector element kinds, money digits), sizes are
//    checked against the bytes left before anything is allocated, and
//    objects get class id -1. The set prefix is refused.
//  - boot: the runtime's own image. Words may name their context by
//    literal index and set records assign words.
//
// A value that contains others is put in the output before its contents
// are read, so that a path may point into a value still being read (shared
// series, cycles, words bound to the enclosing object). Decoding fires no
// change handler and no ownership notification; objects that had handlers
// get them and their fields' ownership set up again, maps and hashes get
// their indexes rebuilt.
//
// Corrupt data raises script vb-invalid-record with the 1-based position
// of the failing byte, counted from the magic's first byte; the output
// block keeps what was appended before. Data of routine!, triple!,
// handle!, port!, event! and image! raise access no-codec naming the
// datatype.
#pragma once

#include <cstddef>
#include <cstdint>

#include "runtime/cell.h"

namespace vyn::serial_reader {

enum class Mode { codec, boot };

// Decodes the container at `data` (`length` bytes) and appends its values
// to the block `out`. In codec mode a wrong magic, a corrupt compressed
// payload or a container shorter than its header raise script
// invalid-data naming `argument` (none when null). Answers the number of
// bytes read.
size_t decode(const uint8_t* data, size_t length, Cell* out, Mode mode, const Cell* argument = nullptr);

// Start-up: decodes the boot image in boot mode with the collector off
// into a new block appended to the root block, answers that block's cell
// and points the boot literal table at its first value. A wrong magic or a
// corrupt compressed payload prints the message on standard error and
// ends the process with status 1.
Cell* boot_load(const uint8_t* image, size_t size);

}  // namespace vyn::serial_reader
