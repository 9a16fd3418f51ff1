// UTF-16LE: decoding into string buffers and encoding them for callers that
// take UTF-16 text.
//
// An unpaired surrogate, high or low, is stored as that codepoint (as the
// UTF-8 loader stores ED A0 80 as U+D800) and written back as that unit;
// bad input never ends the process.
#pragma once

#include <cstdint>

#include "runtime/unicode.h"

namespace vyn::unicode {

// The width the loader needs for `count` UTF-16LE units (2 bytes each, low
// byte first, any alignment): 4 as soon as a unit's high byte is 0xD8-0xDF,
// else 2 when any high byte is non-zero, else 1.
uint32_t utf16_unit_width(const uint8_t* units, uint32_t count);

// Decodes UTF-16LE units into the value's buffer (content replaced, width
// set to what the text needs) or, when value is null, a new buffer; marks
// the buffer as loaded from UTF-16. With no units the input is the value's
// own scratch buffer (where a callee wrote its answer). With `cr` every
// 0x000D unit is dropped.
Loaded load_utf16(const uint8_t* units, uint32_t count, Cell* value, bool cr);

// Encodes a string value from its head into its scratch buffer as
// NUL-terminated UTF-16. *count goes in as the maximum number of units
// (negative: all) and comes back as the UTF-16 units written (CRs and the
// second units of pairs included, the 0 unit excluded). With `crlf` an LF
// is written as CR LF. Answers null (no conversion) when a unit exceeds
// U+10FFFF.
uint16_t* to_utf16_part(Cell* value, int32_t* count, bool crlf);
// The whole value from its head, LF written as CR LF.
uint16_t* to_utf16(Cell* value);

// Room beyond 2 bytes a unit that the UTF-16 of a range may need: 2 bytes
// for every LF (a CR before it) and every codepoint above 0xFFFF (a pair).
uint32_t utf16_extra_bytes(const uint8_t* start, const uint8_t* end, uint32_t width);

// Writes one unit or a surrogate pair and answers 1 or 2; answers 0 and
// writes nothing above U+10FFFF.
uint32_t encode_utf16(uint32_t cp, uint16_t* out);

// Zero-extends NUL-terminated bytes into 16-bit units, with a 0 unit last.
void ascii_to_utf16(const char* text, uint16_t* out);

}  // namespace vyn::unicode
