// The lexer's automaton: byte classes, the transition table and the tables
// indexed by state and by class.
//
// Invariants:
//  - classes[b] holds the class of byte b in its low 8 bits and the token
//    flags of that byte above; the scan ORs the whole entry into the token's
//    flags, so flag bits never overlap the class byte.
//  - transitions[state * CLASS_COUNT + class] is the next state: below
//    WORKING_STATES a working state, from FINAL_BASE on the final state of
//    token class (value - FINAL_BASE). Every working state leaves on
//    CL_END to a final state, so a scan always stops at a NUL or the end.
//  - A final transition does not consume its byte; token classes listed in
//    closes_on_byte take that byte as their last one (the scanner steps over
//    it).
#pragma once

#include <array>
#include <cstdint>

#include "runtime/cell.h"

namespace vyn::lexer {

constexpr int CLASS_COUNT = 40;
constexpr int WORKING_STATES = 65;
constexpr int FINAL_BASE = 66;
constexpr int TOKEN_CLASSES = 36;
constexpr int STATE_SLOTS = 104;  // working and final states, for the per-state tables

enum ByteClass : uint8_t {
	CL_BLANK, CL_LF, CL_DIGIT, CL_ZERO, CL_BLOCK_OPEN, CL_BLOCK_CLOSE, CL_PAREN_OPEN,
	CL_PAREN_CLOSE, CL_BRACE_OPEN, CL_BRACE_CLOSE, CL_DQUOTE, CL_HASH, CL_QUOTE, CL_COLON,
	CL_X, CL_T, CL_H, CL_E_LOWER, CL_E_UPPER, CL_HEX_LOWER, CL_HEX_UPPER, CL_SLASH,
	CL_BACKSLASH, CL_LESS, CL_GREATER, CL_EQUAL, CL_PERCENT, CL_COMMA, CL_SEMICOLON, CL_AT,
	CL_DOT, CL_DOLLAR, CL_PLUS, CL_MINUS, CL_CARET, CL_CONTROL, CL_FOLLOWER, CL_WORD,
	CL_INVALID, CL_END,
};

// Token flags gathered over a token's bytes.
constexpr uint32_t FL_NON_ASCII = 0x100;  // a byte of 0x80 or above: the token's UTF-8 needs checking
constexpr uint32_t FL_GREATER = 0x80000;
constexpr uint32_t FL_PERCENT = 0x40000;
constexpr uint32_t FL_BRACE_NEW_LINE = 0x20000;  // set by the braced-string scanner
constexpr uint32_t FL_LESS = 0x100000;
constexpr uint32_t FL_SIGN = 0x200000;
constexpr uint32_t FL_END = 0x400000;
constexpr uint32_t FL_HASH = 0x800000;
constexpr uint32_t FL_EXPONENT = 0x1000000;
constexpr uint32_t FL_QUOTE = 0x2000000;
constexpr uint32_t FL_COLON = 0x4000000;
constexpr uint32_t FL_COMMA = 0x8000000;
constexpr uint32_t FL_DOT = 0x10000000;
constexpr uint32_t FL_CARET = 0x20000000;
constexpr uint32_t FL_UTF8_2 = 0x40000000;  // a lead byte of a 2- or 3-byte sequence
constexpr uint32_t FL_UTF8_4 = 0x80000000u; // a lead byte of a 4-byte sequence
constexpr uint32_t FL_WIDE = FL_UTF8_2 | FL_UTF8_4;

// Unit of a string built from a token: 1 << (flags >> 30), at most 4.
inline uint32_t unit_of_flags(uint32_t flags) {
	uint32_t u = 1u << (flags >> 30);
	return u > 4 ? 4 : u;
}

// Token classes (final state - FINAL_BASE).
enum Token : uint8_t {
	TK_END, TK_ERROR, TK_BLOCK_OPEN, TK_BLOCK_CLOSE, TK_PAREN_OPEN, TK_PAREN_CLOSE,
	TK_BRACE_OPEN, TK_BRACE_CLOSE, TK_MAP_OPEN, TK_PATH, TK_CONSTRUCT, TK_COMMENT, TK_COMMA,
	TK_STRING, TK_WORD, TK_ISSUE, TK_INTEGER, TK_REFINEMENT, TK_CHAR, TK_FILE, TK_BINARY,
	TK_PERCENT, TK_FLOAT, TK_SPECIAL_FLOAT, TK_TUPLE, TK_DATE, TK_PAIR, TK_POINT, TK_TIME,
	TK_MONEY, TK_TAG, TK_URL, TK_EMAIL, TK_HEX, TK_RAW_STRING, TK_REF,
};

// Working states. Start states: ST_START, ST_BRACED, ST_POINT, ST_SEGMENT.
enum State : uint8_t {
	ST_START, ST_COMMENT, ST_STRING, ST_STRING_ESCAPE, ST_BRACED, ST_BRACED_ESCAPE,
	ST_FILE_START, ST_FILE, ST_FILE_QUOTED, ST_FILE_PERCENTS, ST_RAW, ST_RAW_CLOSE,
	ST_RAW_PERCENTS, ST_SLASH, ST_REFINEMENT, ST_SLASH_SLASH, ST_HASH, ST_BINARY,
	ST_BINARY_COMMENT, ST_CHAR, ST_CHAR_ESCAPE, ST_CONSTRUCT, ST_ISSUE, ST_INTEGER,
	ST_INTEGER_DOT, ST_FRACTION, ST_EXPONENT, ST_DIGITS_E, ST_SPECIAL, ST_TUPLE, ST_DATE,
	ST_TIME_COLON, ST_TIME, ST_PAIR_X, ST_PAIR_Y, ST_POINT, ST_MONEY, ST_MONEY_DIGITS,
	ST_MONEY_FRACTION, ST_HEX_WORD, ST_DIGITS_E_DIGITS, ST_HEX_DIGITS, ST_HEX_WORD_H,
	ST_TAG_START, ST_TAG, ST_TAG_DQUOTE, ST_TAG_QUOTE, ST_SIGN, ST_SIGN_DOT, ST_DOT,
	ST_EXPONENT_DIGITS, ST_WORD, ST_EXPONENT_SIGN, ST_SET_WORD, ST_PERCENT, ST_URL,
	ST_EMAIL, ST_REF, ST_PREFIXED_WORD, ST_SEGMENT, ST_SEGMENT_INTEGER, ST_GET, ST_LIT,
	ST_HEX_DIGITS_H, ST_SLASH_WORD,
};
static_assert(ST_SLASH_WORD + 1 == WORKING_STATES);

extern const std::array<uint32_t, 256> classes;
extern const std::array<uint8_t, WORKING_STATES * CLASS_COUNT> transitions;
// The transitions as the scan loop walks them: a working state's row offset
// (state x CLASS_COUNT), or STEP_FINAL | final state.
constexpr uint16_t STEP_FINAL = 0x8000;
extern const std::array<uint16_t, WORKING_STATES * CLASS_COUNT> steps;
// Per state (working and final): the datatype the state reads (0 for none).
// Only ST_START skips its bytes as leading white space.
extern const std::array<uint8_t, STATE_SLOTS> state_types;
// Per class: 1 for the bytes that end a path.
extern const std::array<uint8_t, CLASS_COUNT> path_end;
// Per token class: 1 when the byte of the final transition is the token's
// own last byte.
extern const std::array<uint8_t, TOKEN_CLASSES> closes_on_byte;

inline ByteClass class_of(uint8_t byte) { return ByteClass(classes[byte] & 0xFF); }

}  // namespace vyn::lexer
