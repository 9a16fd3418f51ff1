// UTF-8: decoding into string buffers, encoding them back, measuring.
//
// Two decoders with different contracts:
//  - fast_decode_utf8_char, for the lexer: a table-driven automaton that
//    rejects overlong forms, surrogates and anything above U+10FFFF, and
//    answers -1 for a rejected sequence. It reads follower bytes without a
//    bound, so its input must be terminated by a byte below 0x80 (the
//    lexer's NUL): any such byte ends a pending sequence.
//  - decode_utf8_checked, for the loaders: bounded by a byte count; accepts
//    overlong forms and surrogates other than U+DC00-U+DCFF (an unpaired
//    UTF-16 surrogate written as UTF-8 loads as itself) and raises the access
//    error invalid-utf8 for a malformed sequence.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>

#include "runtime/unicode.h"

namespace vyn::unicode {

namespace detail {

// Bytes 0-255: each byte's class; bytes 256-363: the transitions, indexed
// by state + class. States are multiples of 12: 0 accepts, 12 rejects.
constexpr std::array<uint8_t, 364> build_utf8_automaton() {
	std::array<uint8_t, 364> t{};
	struct Span {
		int first, last;
		uint8_t k;
	};
	constexpr Span classes[] = {
		{0x00, 0x7F, 0}, {0x80, 0x8F, 1}, {0x90, 0x9F, 9}, {0xA0, 0xBF, 7},
		{0xC0, 0xC1, 8}, {0xC2, 0xDF, 2}, {0xE0, 0xE0, 10}, {0xE1, 0xEC, 3},
		{0xED, 0xED, 4}, {0xEE, 0xEF, 3}, {0xF0, 0xF0, 11}, {0xF1, 0xF3, 6},
		{0xF4, 0xF4, 5}, {0xF5, 0xFF, 8},
	};
	for (const Span& s : classes)
		for (int b = s.first; b <= s.last; b++) t[size_t(b)] = s.k;
	constexpr uint8_t transitions[9][12] = {
		{0, 12, 24, 36, 60, 96, 84, 12, 12, 12, 48, 72},
		{12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12},
		{12, 0, 12, 12, 12, 12, 12, 0, 12, 0, 12, 12},
		{12, 24, 12, 12, 12, 12, 12, 24, 12, 24, 12, 12},
		{12, 12, 12, 12, 12, 12, 12, 24, 12, 12, 12, 12},
		{12, 24, 12, 12, 12, 12, 12, 12, 12, 24, 12, 12},
		{12, 12, 12, 12, 12, 12, 12, 36, 12, 36, 12, 12},
		{12, 36, 12, 12, 12, 12, 12, 36, 12, 36, 12, 12},
		{12, 36, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12},
	};
	for (int state = 0; state < 9; state++)
		for (int k = 0; k < 12; k++) t[size_t(256 + state * 12 + k)] = transitions[state][k];
	return t;
}

}  // namespace detail

inline constexpr std::array<uint8_t, 364> utf8_automaton = detail::build_utf8_automaton();
constexpr uint32_t UTF8_ACCEPT = 0, UTF8_REJECT = 12;

namespace detail {

// The automaton over one sequence; Bounded stops at `end` as at a
// rejecting byte.
template <bool Bounded>
inline const uint8_t* decode_sequence(const uint8_t* p, const uint8_t* end, int32_t* cp) {
	uint32_t b = *p++;
	if (b < 0x80) {  // the automaton would give the same
		*cp = int32_t(b);
		return p;
	}
	uint32_t k = utf8_automaton[b];
	uint32_t c = (0xFFu >> k) & b;
	uint32_t state = utf8_automaton[256 + k];
	while (state != UTF8_ACCEPT) {
		if (state == UTF8_REJECT || (Bounded && p == end)) {
			*cp = -1;
			return p;
		}
		b = *p++;
		k = utf8_automaton[b];
		c = (c << 6) | (b & 0x3F);
		state = utf8_automaton[256 + state + k];
	}
	*cp = int32_t(c);
	return p;
}

}  // namespace detail

// Decodes one codepoint (-1 for a rejected sequence, whose bytes up to and
// including the offending one are consumed); answers the pointer past it.
inline const uint8_t* fast_decode_utf8_char(const uint8_t* p, int32_t* cp) {
	return detail::decode_sequence<false>(p, nullptr, cp);
}

// Codepoints in a byte range, as the fast decoder splits it; a sequence cut
// by the end counts as one and nothing past the end is read.
uint32_t count_codepoints(const uint8_t* start, const uint8_t* end);
// The pointer after n codepoints, stopping at the end.
const uint8_t* skip_codepoints(const uint8_t* start, const uint8_t* end, uint32_t n);

// Decodes the sequence at p of at most *remaining bytes: answers the
// codepoint and writes its length into *remaining; answers -1 (remaining
// untouched) when the input ends inside a sequence whose bytes so far are
// valid; raises invalid-utf8 for a malformed one.
int32_t decode_utf8_checked(const uint8_t* p, uint32_t* remaining);

// Whether every byte below `end` is below 0x80, eight at a time.
inline bool all_ascii(const uint8_t* p, const uint8_t* end) {
	uint64_t seen = 0;
	for (; end - p >= 8; p += 8) {
		uint64_t word;
		std::memcpy(&word, p, 8);
		seen |= word;
	}
	for (; p < end; p++) seen |= *p;
	return (seen & 0x8080808080808080u) == 0;
}

// Sequence length announced by a lead byte: 2, 3 or 4; 0 for ASCII and
// follower bytes.
inline uint32_t utf8_length(uint8_t lead) {
	if ((lead & 0xF0) == 0xF0) return 4;
	if ((lead & 0xE0) == 0xE0) return 3;
	if ((lead & 0xC0) == 0xC0) return 2;
	return 0;
}

// Decodes UTF-8 into `target`'s buffer (kept at its width, widened when
// needed, content replaced) or, when target is 0, a new width-1 buffer.
// A leading byte-order mark is skipped. When the input ends inside a
// sequence, decoding stops there and the bytes left over are written to
// *remainder for a streaming caller; without one that is malformed input. With `line_ends`, CR LF
// becomes LF and a lone CR becomes LF. Malformed input raises invalid-utf8;
// the buffer keeps what was stored before it.
Loaded load_utf8_buffer(const uint8_t* bytes, uint32_t count, Node target, uint32_t* remainder, bool line_ends);
inline Loaded load_utf8_into(const uint8_t* bytes, uint32_t count, Cell* value, uint32_t* remainder) {
	return load_utf8_buffer(bytes, count, value->data2, remainder, false);
}
inline Node load_utf8(const uint8_t* bytes, uint32_t count) {
	return load_utf8_buffer(bytes, count, 0, nullptr, false).node;
}

// Bytes of a codepoint's encoding; above U+10FFFF raises invalid-char.
uint32_t codepoint_utf8_length(uint32_t cp);
// UTF-8 bytes that the units of a range need; a unit above U+10FFFF raises
// invalid-char.
uint32_t utf8_size(const uint8_t* start, const uint8_t* end, uint32_t width);
// Writes 1 to 4 bytes and answers their count; above U+10FFFF raises
// invalid-char.
uint32_t encode_utf8(uint32_t cp, uint8_t* out);
// Like encode_utf8, writing only the leading bytes that fit in `room`.
uint32_t encode_utf8_bounded(uint32_t cp, uint8_t* out, int32_t room);

// Encodes a string value from its head into its scratch buffer and answers
// the NUL-terminated bytes. *count goes in as the maximum number of units
// (negative: all) and comes back as the bytes written, NUL excluded. With
// `crlf` an LF is written as CR LF.
uint8_t* to_utf8_scratch(Cell* value, int32_t* count, bool crlf);
inline uint8_t* to_utf8(Cell* value, int32_t* count) { return to_utf8_scratch(value, count, false); }
inline uint8_t* to_utf8_crlf(Cell* value, int32_t* count, bool crlf) { return to_utf8_scratch(value, count, crlf); }
// Encodes at most max_units units (negative: all) from the head to `out`,
// which has room for them (utf8_size); answers the bytes written, NUL
// excluded.
uint32_t to_utf8_into(Cell* value, uint8_t* out, int32_t max_units, bool terminate);
// Encodes into a buffer of `size` bytes, stopping when it is full (the NUL,
// when asked for, always fits); max_units of 0 or less, or not below the
// length, means all units. Answers the bytes written, NUL excluded.
uint32_t to_utf8_part(Cell* value, uint8_t* buffer, uint32_t size, int32_t max_units, bool terminate);

}  // namespace vyn::unicode
