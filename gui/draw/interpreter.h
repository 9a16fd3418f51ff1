// The draw dialect interpreter: walks a draw block once, checks each
// command's arguments by datatype and calls the engine and primitives.
// It runs no Vyn code, so cell addresses hold for the whole walk.
#pragma once

#include "gui/draw/engine.h"
#include "runtime/cell.h"

namespace vyn::draw_interpreter {

// Thrown instead of an error in silent mode: the pass ends quietly.
struct Abandon {};

// Runs the commands of the block from its index to its tail.
void run(draw_engine::Context& c, const Cell* block);

// Raises draw-invalid with the block positioned at `at` (a cell of the
// block's buffer, or its tail); in silent mode throws Abandon instead.
[[noreturn]] void invalid(const Cell* block, const Cell* at);

// The value of an object's field, or null when the value is no object or
// has no such field.
const Cell* field(const Cell* obj, const char* name);

// Whether system/view/silent? is true.
bool silent();

// The value a word refers to, or null when it has none (no error).
const Cell* word_value(const Cell* word);

}  // namespace vyn::draw_interpreter
