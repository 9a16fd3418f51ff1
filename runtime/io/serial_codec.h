// The serialisation codec's routines, which library/vynbin.vyn puts into
// the codec object: encode* (data, compact?) and decode (payload).
#pragma once

namespace vyn::serial_codec {

// encode*: the data in the compact encoding when compact? is true, else in
// the fixed-width one; answers a new binary!.
void encode_routine();

// decode: a binary! (a file! or url! is read first) of more than 10 bytes
// decoded in codec mode; answers the only value decoded, or the block of
// all of them.
void decode_routine();

}  // namespace vyn::serial_codec
