// Token loaders: one recognised token into one value cell at the tail of the
// token buffer, with the syntax rules the automaton cannot express.
//
// Every loader takes (scan, token start, token end, token flags, build):
// with build false it only validates (and may set the token's type). Rule
// violations go through lexer::fail with the datatype (or code) they name.
#pragma once

#include <cstdint>

#include "runtime/evaluator/lexer_scan.h"

namespace vyn::lexer {

struct TokenEntry {
	TokenFn scanner;  // null: the class has none
	TokenFn loader;   // null: structural token
};
// Indexed by token class.
extern const TokenEntry token_entries[TOKEN_CLASSES];

// Literals of the datatypes that live in their own modules. Each entry is
// the loader of its token class, installed by that module; until then it
// validates nothing and raises `invalid` with the datatype when asked to
// build. A loader appends its value with emit(s) and reports rule
// violations with fail(s, start, end, datatype).
struct ExtendedLoaders {
	TokenFn pair;    // "1x2": the whole token
	TokenFn tuple;   // "1.2.3"
	TokenFn date;    // "12-Dec-2012/10:00+1:00"
	TokenFn money;   // "-USD$1'000.50"
	TokenFn binary;  // "#{...}" with an optional base before "#"
	TokenFn point;   // from after "(" to after ")", or to the end when ")" is missing
	TokenFn ref;     // "@name"
	// Builds the map of a closed "#[ ... ]" level from `count` cells (an
	// even count) into `out`; raises `invalid` map! for a bad key
	// (s.token_start is the map's opening token).
	void (*map)(Scan& s, Cell* out, const Cell* cells, uint32_t count);
};
extern ExtendedLoaders extended;

// The string loader over a body (without its delimiters): decodes UTF-8,
// and caret escapes when `carets` is set, into a new string of `type`.
void load_text(Scan& s, Cell* out, const uint8_t* start, const uint8_t* end, uint32_t flags,
	bool carets, Type type);
// Validates the body as load_text would decode it.
void check_text(Scan& s, const uint8_t* start, const uint8_t* end, bool carets, Type type);

// Word scanner pieces used by the machine.
bool is_space_codepoint(int32_t cp);

// "1.#NaN" or "1.#INF" (any case) with an optional sign into *out; false
// for any other text.
bool special_float(const uint8_t* start, const uint8_t* end, double* out);

}  // namespace vyn::lexer
