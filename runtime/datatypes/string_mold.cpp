// Form and mold of string! values.
//
// Mold writes text that the lexer reads back as the same string: between
// double quotes with caret escapes, or between braces when the text holds a
// double quote, three or more line feeds, or is 50 units long or more.
// Plain characters are copied in runs; only the ones that need an escape go
// through append_escaped_char.
#include <algorithm>
#include <cstring>
#include <vector>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "runtime/datatypes/string.h"

namespace vyn::string {

int32_t form(const Cell* value, Cell* buffer, const Cell* arg, int32_t part) {
	Cell v = *value;
	uint32_t n = vs_length(&v);
	if (arg && uint32_t(std::max(part, 0)) < n) n = uint32_t(std::max(part, 0));
	append_range(buffer, v.data2, v.data1, n);
	return part - int32_t(n);
}

namespace {

constexpr uint32_t BRACES_LENGTH = 50;
constexpr uint32_t BRACES_LINES = 3;
constexpr uint32_t NONE = 0xFFFFFFFFu;

// Characters that the quoted form cannot write as they are.
inline bool quoted_special(uint32_t c, bool all) {
	return c < 32 || c == '"' || c == '^' || c == 127 || (c >= 0x80 && (all || c <= 0x9F || unicode::is_surrogate(c)));
}

inline bool braced_special(uint32_t c, bool all) {
	return c < 32 || c == '{' || c == '}' || c == '^' || c == 127 ||
		(c >= 0x80 && (all || c <= 0x9F || unicode::is_surrogate(c)));
}

struct Counts {
	uint32_t quotes = 0, lines = 0;
};

template <typename U>
Counts count_marks(const uint8_t* at, uint32_t n) {
	Counts c;
	uint32_t i = 0;
#if defined(__SSE2__)
	if constexpr (sizeof(U) == 1) {
		const __m128i quote = _mm_set1_epi8('"'), line = _mm_set1_epi8('\n');
		for (; i + 16 <= n; i += 16) {
			__m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + i));
			c.quotes += uint32_t(__builtin_popcount(uint32_t(_mm_movemask_epi8(_mm_cmpeq_epi8(b, quote)))));
			c.lines += uint32_t(__builtin_popcount(uint32_t(_mm_movemask_epi8(_mm_cmpeq_epi8(b, line)))));
		}
	}
#endif
	for (; i < n; i++) {
		U u;
		std::memcpy(&u, at + size_t(i) * sizeof(U), sizeof(U));
		c.quotes += u == '"';
		c.lines += u == '\n';
	}
	return c;
}

// The first "{" that no later "}" closes, or NONE. Scanning backwards, a
// "}" waits for an opening brace and a "{" with none waiting is unmatched;
// the last one met is the first in the text.
template <typename U>
uint32_t first_unmatched_open(const uint8_t* at, uint32_t n) {
	if (sizeof(U) == 1 && !std::memchr(at, '{', n)) return NONE;
	uint32_t waiting = 0, first = NONE;
	for (uint32_t i = n; i-- > 0;) {
		U u;
		std::memcpy(&u, at + size_t(i) * sizeof(U), sizeof(U));
		if (u == '}') {
			waiting++;
		} else if (u == '{') {
			if (waiting)
				waiting--;
			else
				first = i;
		}
	}
	return first;
}

struct Writer {
	Cell* out;
	const uint8_t* at;
	uint32_t width;
	uint32_t written = 0;
	uint32_t run = 0;  // start of the run of plain units not yet written

	void flush(uint32_t i) {
		if (i > run) append_units(out, at + size_t(run) * width, width, i - run);
		written += i - run;
		run = i + 1;
	}
	void caret(char c) {
		char pair[2] = {'^', c};
		append_literal(out, {pair, 2});
		written += 2;
	}
};

// The index of the next unit at or after i that may need attention, 16
// Latin-1 units at a time: below 32, 127, 0x80 and above (a signed compare
// catches both), "^", and the two delimiters asked for.
template <typename U>
inline uint32_t next_candidate(const uint8_t* at, uint32_t i, uint32_t n, char d1, char d2) {
#if defined(__SSE2__)
	if constexpr (sizeof(U) == 1) {
		const __m128i low = _mm_set1_epi8(32), del = _mm_set1_epi8(127), caret = _mm_set1_epi8('^');
		const __m128i c1 = _mm_set1_epi8(d1), c2 = _mm_set1_epi8(d2);
		for (; i + 16 <= n; i += 16) {
			__m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + i));
			__m128i hit = _mm_or_si128(_mm_cmplt_epi8(b, low), _mm_cmpeq_epi8(b, del));
			hit = _mm_or_si128(hit, _mm_or_si128(_mm_cmpeq_epi8(b, caret), _mm_cmpeq_epi8(b, c1)));
			hit = _mm_or_si128(hit, _mm_cmpeq_epi8(b, c2));
			uint32_t mask = uint32_t(_mm_movemask_epi8(hit));
			if (mask) return i + uint32_t(__builtin_ctz(mask));
		}
	}
#endif
	(void)at, (void)d1, (void)d2;
	return i;
}

template <typename U>
void mold_quoted(Writer& w, uint32_t n, bool all) {
	for (uint32_t i = next_candidate<U>(w.at, 0, n, '"', '"'); i < n; i = next_candidate<U>(w.at, i + 1, n, '"', '"')) {
		U u;
		std::memcpy(&u, w.at + size_t(i) * sizeof(U), sizeof(U));
		uint32_t c = u;
		if (!quoted_special(c, all)) continue;
		w.flush(i);
		w.written += append_escaped_char(w.out, c, true, all);
	}
	w.flush(n);
}

// An unmatched "}" gets a caret; from the first unmatched "{" on, every
// "{" gets one, so that the braces written always balance.
template <typename U>
void mold_braced(Writer& w, uint32_t n, bool all, uint32_t unmatched) {
	uint32_t depth = 0;
	for (uint32_t i = next_candidate<U>(w.at, 0, n, '{', '}'); i < n; i = next_candidate<U>(w.at, i + 1, n, '{', '}')) {
		U u;
		std::memcpy(&u, w.at + size_t(i) * sizeof(U), sizeof(U));
		uint32_t c = u;
		if (!braced_special(c, all)) continue;
		if (c == '{' && i < unmatched) {
			depth++;
			continue;
		}
		if (c == '}' && depth > 0) {
			depth--;
			continue;
		}
		w.flush(i);
		if (c == '{' || c == '}' || c == '^')
			w.caret(char(c));
		else
			w.written += append_escaped_char(w.out, c, true, all);
	}
	w.flush(n);
}

template <typename U>
uint32_t mold_units(Cell* out, const uint8_t* at, uint32_t n, uint32_t whole, bool all, bool quotes) {
	Counts c = count_marks<U>(at, n);
	bool braces = !quotes && (c.lines >= BRACES_LINES || c.quotes > 0 || whole >= BRACES_LENGTH);
	Writer w{out, at, sizeof(U)};
	append_char(out, braces ? '{' : '"');
	if (braces)
		mold_braced<U>(w, n, all, first_unmatched_open<U>(at, n));
	else
		mold_quoted<U>(w, n, all);
	append_char(out, braces ? '}' : '"');
	return w.written + 2;
}

int32_t mold_text(const Cell* value, Cell* buffer, bool all, const Cell* arg, int32_t part, bool quotes) {
	Cell v = *value;
	uint32_t whole = vs_length(&v);
	uint32_t n = whole;
	if (arg && uint32_t(std::max(part, 0)) < n) n = uint32_t(std::max(part, 0));
	uint32_t width = width_of(&v);
	const uint8_t* at = vs_head(&v);
	// Molding a string into its own buffer reads from a copy.
	std::vector<uint8_t> copy;
	if (v.data2 == buffer->data2) {
		copy.assign(at, at + size_t(n) * width);
		at = copy.data();
	}
	uint32_t written;
	switch (width) {
	case 1: written = mold_units<uint8_t>(buffer, at, n, whole, all, quotes); break;
	case 2: written = mold_units<uint16_t>(buffer, at, n, whole, all, quotes); break;
	default: written = mold_units<uint32_t>(buffer, at, n, whole, all, quotes); break;
	}
	return part - int32_t(written);
}

}  // namespace

int32_t mold(const Cell* value, Cell* buffer, bool, bool all, bool, const Cell* arg, int32_t part, int32_t) {
	return mold_text(value, buffer, all, arg, part, false);
}

int32_t mold_in_quotes(const Cell* value, Cell* buffer, bool all, const Cell* arg, int32_t part) {
	return mold_text(value, buffer, all, arg, part, true);
}

}  // namespace vyn::string
