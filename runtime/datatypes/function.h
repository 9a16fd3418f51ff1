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
// A function whose spec holds plain argument words only (no type blocks, no
// refinement but /local with words after it) keeps its call shape in its
// header: FLAG_SIMPLE, the argument count in bits 12-15 and its local slots
// (/local counted) in bits 16-23. An op! made from it does not keep them.
constexpr uint32_t FLAG_SIMPLE = 0x800;
inline uint32_t simple_arguments(uint32_t header) { return (header >> 12) & 0xF; }
inline uint32_t simple_locals(uint32_t header) { return (header >> 16) & 0xFF; }
// The call shape bits of a spec, or 0 when it is not that simple.
uint32_t call_shape(const Cell* spec);

// While set (the library's sources running at start-up), every function made
// is marked no-trace: tracing and debugging show the user's code, not the
// library's inner working.
extern bool boot_no_trace;

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
