// The state of one active scan, shared by the lexer's machine and the token
// loaders.
//
// Invariants:
//  - Active scans form a chain; a nested scan (from a callback or a loader)
//    starts its output at the tail of the scan that called it, so the token
//    buffer holds the scans' outputs one after another.
//  - base <= head <= tail index the token buffer: base is the scan's first
//    cell, head the first cell of the innermost open level (base at the top
//    level), tail the next free cell. When head > base, cell head - 1 is the
//    innermost level's marker.
//  - A marker is a T_TRIPLE cell: word 1 the distance back from the marker
//    to the enclosing level's head, word 2 the level's type (a point level
//    counts its commas in bits 16-31), word 3 the byte offset of its opening
//    token; its header keeps the opening token's new-line flag.
//  - The token buffer may move when it grows: code keeps indexes, never cell
//    addresses, across emit().
#pragma once

#include <cstdint>

#include "runtime/cell.h"
#include "runtime/evaluator/lexer.h"
#include "runtime/evaluator/lexer_tables.h"

namespace vyn::lexer {

// Error codes of the syntax error routine (a datatype id gives `invalid`).
enum ErrorCode : int32_t {
	ERR_BAD_CHAR = -1,
	ERR_MALCONSTRUCT = -2,
	ERR_UNMATCHED = -3,  // a closing token without its level
	ERR_UNCLOSED = -4,   // a level still open at the end
};

struct Scan {
	Scan* next;
	Scan* previous;
	uint32_t base, head, tail;
	const uint8_t* input;      // first byte of the text
	const uint8_t* input_end;  // one past the last
	const uint8_t* position;   // next byte to read
	const uint8_t* token_start;  // of the last token, or of the value being closed
	const uint8_t* token_end;
	int32_t line;
	int32_t line_feeds;        // before the last token: its new-line marker
	int32_t carried_feeds;     // line feeds before white space that a word token held
	int32_t string_type;       // type of the string loader's value, -1 string!
	int32_t token_type;
	uint8_t start_state;
	uint8_t before_final;
	int32_t unmatched_type;
	int32_t token_class;
	const uint8_t* brace_start;
	int32_t brace_depth;
	uint32_t brace_flags;
	int32_t point_line_feeds;
	const Cell* callback;
	uint32_t optional_slots;
	uint32_t event_mask;
	Cell* source;
	bool load;
	const uint8_t* cached_position;  // last byte position converted for the callback
	uint32_t cached_codepoints;      // and its codepoint count
	// Modes of this scan.
	bool one_value;
	bool prescan;
	bool in_path_segment;  // the last token was a path segment
};

// The token buffer.
extern Cell* tokens;

// A new cell at the scan's tail (the buffer may move).
Cell* emit(Scan& s);
inline Cell* cell_at(uint32_t index) { return tokens + index; }

// The syntax error routine: raises the `syntax` error when loading, else
// marks the scan's result as an error and stops the scan.
[[noreturn]] void fail(Scan& s, const uint8_t* start, const uint8_t* end, int32_t code);

// Scanners and loaders share one signature; `build` false only validates.
using TokenFn = void (*)(Scan& s, const uint8_t* start, const uint8_t* end, uint32_t flags, bool build);

// Words: interns the name and makes `out` a word of `type` bound to the
// global context (refinements unbound).
void make_word(Cell* out, Type type, const uint8_t* name, uint32_t length);

}  // namespace vyn::lexer
