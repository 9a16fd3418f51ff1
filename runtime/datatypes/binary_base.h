// The text encodings of binary data: bases 2, 16, 58 and 64.
//
// Encoders write contiguous text (no line breaks) into room the caller
// sized with encoded_room and answer the count of characters written.
// Decoders read text of any unit width (1, 2 or 4 bytes), skip a ";"
// comment to the end of its line, write at most decoded_room bytes and
// answer the count written, or -1 when the text is invalid. A character
// code above 127 is never a digit: the text holding one is invalid.
#pragma once

#include <cstdint>

namespace vyn::binary {

// Output room in characters for `count` input bytes; 0 for an unknown base,
// UINT64 values past 32 bits mean the text would be too long.
uint64_t encoded_room(int32_t base, uint64_t count);
uint32_t encode_base2(uint8_t* out, const uint8_t* bytes, uint32_t count);
uint32_t encode_base16(uint8_t* out, const uint8_t* bytes, uint32_t count);
uint32_t encode_base58(uint8_t* out, const uint8_t* bytes, uint32_t count);
uint32_t encode_base64(uint8_t* out, const uint8_t* bytes, uint32_t count);

// Output room in bytes for `count` characters.
uint64_t decoded_room(int32_t base, uint64_t count);
int64_t decode_base2(uint8_t* out, const uint8_t* text, uint32_t count, uint32_t width);
int64_t decode_base16(uint8_t* out, const uint8_t* text, uint32_t count, uint32_t width);
int64_t decode_base58(uint8_t* out, const uint8_t* text, uint32_t count, uint32_t width);
int64_t decode_base64(uint8_t* out, const uint8_t* text, uint32_t count, uint32_t width);

// The body of a source literal (UTF-8, between "#{" and "}") in base 2, 16
// or 64: as the decoders above, except that a digit left over (an odd hex
// digit, an unfinished base 64 group, a partial byte) makes it invalid.
// Another base answers -1.
int64_t decode_literal(uint8_t* out, int32_t base, const uint8_t* text, uint32_t count);

}  // namespace vyn::binary
