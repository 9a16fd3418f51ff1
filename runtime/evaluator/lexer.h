// The lexer: source text (UTF-8) into values.
//
// A table-driven automaton (lexer_tables.h) splits the text into tokens;
// token loaders (token_loaders.h) build one value per token. Values are
// gathered flat in one token buffer shared by the active scans; nested
// blocks, parens, maps and paths are level marker cells there until their
// closing token turns the cells after the marker into a series.
//
// Modes: load builds every value; one-value stops after the first complete
// top-level value; scan recognises the next value without building it;
// prescan only guesses the type of the next token.
//
// Every entry leaves its result in a cell the caller gives (a data-stack
// slot, so the collector sees it) and answers the type of the last token:
// a datatype id, 0 for none, T_ERROR when a non-loading scan met an error.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace vyn::lexer {

struct Options {
	bool one_value = false;     // stop after the first complete top-level value
	bool prescan = false;       // guess the type of the next token only
	bool scan = false;          // recognise the next value, build nothing
	bool always_block = false;  // one-value mode still answers a block
	const Cell* callback = nullptr;  // trace function! or null
	Cell* source = nullptr;          // the series the text comes from, or null
	Cell* into = nullptr;            // block to append the values to, or null
};

// Allocates the token and scratch buffers; idempotent.
void init();
// Releases them (tests and shutdown).
void release();

// Scans `length` bytes. The bytes need no terminator; a NUL among them ends
// the text. *consumed (when given) receives the length scanned: codepoints
// when the source is a string!, else bytes.
int32_t scan(Cell* result, const uint8_t* bytes, uint32_t length, const Options& options,
	uint32_t* consumed = nullptr);

// Scans the characters of a string! from its head (length -1: up to the
// tail, else clamped to it), converted to UTF-8 first.
int32_t scan_string(Cell* result, Cell* string, int32_t length, const Options& options,
	uint32_t* consumed = nullptr);

// Scans a binary! (bytes) or string! (characters) from its head: `length`
// units, clamped to what the series holds (negative: all). The bytes of a
// binary are read in place.
int32_t scan_series(Cell* result, Cell* series, int64_t length, const Options& options,
	uint32_t* consumed = nullptr);

// Whether the text after a "(" makes it a point literal: point characters
// (blanks, digits, signs, ".", "#" and the letters of special floats) up to a ",".
bool point_ahead(const uint8_t* p, const uint8_t* end);

// Loads UTF-8 text into a new block pushed on the data stack (the console
// line, `do` of text); answers the block cell.
Cell* load(const uint8_t* bytes, uint32_t length);

// All the values of a string!'s text, from its head, into a new block in
// `out` (`to block!` of text).
void load_string(Cell* text, Cell* out);

// One value from UTF-8 text, for literal loading and `to` conversions:
// `out` receives the first value, unset! when the text holds none, none
// when text is left after it.
void load_value(const uint8_t* text, uint32_t size, Cell* out);

// For the collector: calls `visit` with every cell the active scans hold
// (their output cells, source values and callbacks).
void mark_buffers(void (*visit)(Cell* value, void* data), void* data);

// The trace callback is a function! value: the evaluator installs the call.
struct CallbackHooks {
	// The callback's body block into *body, and the count of its optional
	// slots; false when the value is not a callable function.
	bool (*inspect)(const Cell* callback, Cell* body, uint32_t* optional_slots);
	// Calls the callback with `args` (event, input, type, line, token) in a
	// frame named "<lexer-callback>", filling its optional slots as inactive
	// refinements; answers the truth of its result. Before answering it
	// copies the callback's `input` argument, as the callback left it, back
	// into args[1]: a moved position moves the scan (within the input).
	bool (*call)(const Cell* callback, const Cell* args, uint32_t optional_slots);
};
extern CallbackHooks callback_hooks;

// Words: installed by the word module, which owns symbols and binding.
struct WordHooks {
	// Makes `out` a word of `type` named by the UTF-8 bytes (interned),
	// bound to the global context (refinements unbound).
	void (*make)(Cell* out, Type type, const uint8_t* name, uint32_t length);
	// The UTF-8 name of a word's symbol.
	const uint8_t* (*name)(const Cell* word, uint32_t* length);
};
extern WordHooks word_hooks;

// The token-class words of the runtime's lexer object (a block indexed by
// token class), reported for events of tokens without a datatype; none
// until start-up sets it.
extern Cell token_class_words;

// Trace event bits.
enum Event : uint32_t {
	EV_PRESCAN = 1, EV_SCAN = 2, EV_LOAD = 4, EV_OPEN = 8, EV_CLOSE = 16, EV_ERROR = 32,
	EV_ALL = 63,
};

// Number text helpers shared with the `to` conversions: they read the
// characters of a string buffer (any unit) from `start` for `length` units,
// report failure through *error (0 when none) and never raise.
// scan_integer: -1 for a bad character, -2 for an overflow (answering 0).
int32_t scan_integer(const uint8_t* units, uint32_t unit, uint32_t length, int32_t* error);
// scan_float: -1 and NaN on failure.
double scan_float(const uint8_t* units, uint32_t unit, uint32_t length, int32_t* error);

}  // namespace vyn::lexer
