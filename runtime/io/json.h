// JSON text to values and back: the entries that run load-json and to-json
// (the library keeps their definitions in Vyn, as a parse grammar and an
// encoder object), and the in-place unescaping routine of the decoder.
#pragma once

#include "runtime/cell.h"

namespace vyn::json {

// Resolves the JSON escapes of the string from its position to its tail,
// in place (the text only shrinks; a \u escape may widen the buffer). A bad
// escape or an unpaired high surrogate raises invalid-data.
void unescape(Cell* str);

// Routine and entry bodies, on the current frame.
void unescape_routine();
void load_entry();
void to_entry();

}  // namespace vyn::json
