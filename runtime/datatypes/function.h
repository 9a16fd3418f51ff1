// function! and routine!: user-defined functions and compiled routines.
//
// A function! cell: header (type 24, attribute flags 0x400 trace and 0x200
// no-trace), word 1 its context node (arguments and locals; the context's
// self cell holds the function), word 2 the spec block's node (kept at head
// 0), word 3 the node of the more block of five cells: the body (a deep copy
// bound to the context), the argument cache, the native entry (integer!) or
// unset, a copy of the function once made into an op!, and the owner
// context (integer!) or unset.
// A routine! (type 29) uses the same layout; its body entry is a registry
// index and header bits 25-29 count its plain word arguments.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace vyn::function {

constexpr uint32_t FLAG_TRACE = 0x400, FLAG_NO_TRACE = 0x200;

// Checks a spec block; answers the attribute flags or raises.
uint32_t validate_spec(const Cell* spec);
// 1 for /local plus 1 per word after it; 0 without /local.
int32_t count_locals(const Cell* spec);
// Appends to `spec` (a copy) the set-words and loop words gathered from the body.
void collect_local_words(Cell* spec, const Cell* body);
// Pushes false then n - 1 none values: an unused refinement of n cells.
void push_inactive_refinement(int32_t n);

// Builds a function from spec and body (validated by the caller) in `out`;
// `context` is made from the spec when 0. Answers the context node.
Node make_at(Cell* out, const Cell* spec, const Cell* body, Node context, uint32_t flags);

// The natives' makers.
void make_func(const Cell* spec, const Cell* body, Cell* out);
void make_function(const Cell* spec, const Cell* body, Cell* out);
void empty_spec(Cell* out);
// [/local vars...] for has.
void local_spec(const Cell* vars, Cell* out);

void init_type();

}  // namespace vyn::function
