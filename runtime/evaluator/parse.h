// The parse dialect: matches a rules block against a series (any block type,
// any string type or binary!), capturing, collecting and modifying the input
// as it goes.
//
// Invariants:
//  - The engine keeps its frames in two work blocks made by `init`: the rule
//    stack (three cells a frame: the rules at the resume position, a marker,
//    a command) and the series stack (the inputs saved by `into`, the targets
//    of `collect`). Either holding more than STACK_LIMIT cells raises
//    parse-stack, so a rule re-entering itself without consuming ends there.
//    Every sub-rule pushes a frame; a keyword's command pushes one only while
//    tracing (the trace is what shows them), and otherwise counts its nesting
//    against the same limit.
//  - A nested parse (from a paren action) works above the tails it found and
//    leaves both blocks at those lengths, whether it ends, raises or exits.
//  - Paren actions and the trace callback run Vyn code: every buffer address
//    is re-derived after them, values the engine still needs stay on the data
//    stack or in the work blocks, and the input position is pulled back when
//    the input shrank. The callback sees a copy of the rule stack.
//  - The collector must treat the two work blocks (the statics of parse.cpp)
//    as roots: they hold the frames' rules, saved inputs and collect targets.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace vyn::parse {

constexpr uint32_t STACK_LIMIT = 10001;  // cells in either work block

// Makes the two work blocks (start-up).
void init();

// Runs `rules` against `input` from its index. `limit`: an input index at
// which the input counts as ended (0: its tail). `callback`: a function! to
// trace with, or null. The answer goes to `out`: a logic!, or the block of
// a top-level collect. An exit from a paren action returns with
// errors::pending set.
void run(const Cell* input, const Cell* rules, bool case_sensitive, uint32_t limit, const Cell* callback,
	Cell* out);

}  // namespace vyn::parse
