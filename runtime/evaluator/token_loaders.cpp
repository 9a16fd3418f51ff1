#include "runtime/evaluator/token_loaders.h"

#include <bit>
#include <cmath>
#include <cstring>
#include <string_view>

#include "runtime/datatypes/char.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/percent.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/time.h"
#include "runtime/memory.h"
#include "runtime/number_text.h"
#include "runtime/registry.h"
#include "runtime/unicode.h"
#include "runtime/utf8.h"

namespace vyn::lexer {

namespace {

// ---------------------------------------------------------------- text

inline bool is_digit(uint8_t c) { return c >= '0' && c <= '9'; }

inline int hex_value(uint8_t c) {
	if (c >= '0' && c <= '9') return c - '0';
	if (c >= 'A' && c <= 'F') return c - 'A' + 10;
	if (c >= 'a' && c <= 'f') return c - 'a' + 10;
	return -1;
}

inline uint8_t lower(uint8_t c) { return c >= 'A' && c <= 'Z' ? uint8_t(c + 32) : c; }

bool equal_any_case(const uint8_t* a, const char* b, uint32_t n) {
	for (uint32_t i = 0; i < n; i++)
		if (lower(a[i]) != lower(uint8_t(b[i]))) return false;
	return true;
}

// One codepoint of UTF-8 within [p, end), p < end; -1 for a malformed or
// cut sequence.
inline const uint8_t* next_codepoint(const uint8_t* p, const uint8_t* end, int32_t* cp) {
	return unicode::detail::decode_sequence<true>(p, end, cp);
}

struct EscapeName {
	const char* name;
	uint32_t length;
	int32_t code;
};
constexpr EscapeName escape_names[] = {
	{"null", 4, 0}, {"back", 4, 8}, {"tab", 3, 9}, {"line", 4, 10},
	{"page", 4, 12}, {"esc", 3, 27}, {"del", 3, 127},
};

// The escape after a "^" at p (p <= end): answers the pointer past it and
// the codepoint, or null when it is invalid. Codepoints above U+10FFFF are
// invalid here, for strings as for chars.
const uint8_t* decode_escape(const uint8_t* p, const uint8_t* end, int32_t* cp) {
	if (p >= end) return nullptr;
	uint8_t c = *p;
	if (c == '(') {
		const uint8_t* body = p + 1;
		auto close = static_cast<const uint8_t*>(std::memchr(body, ')', size_t(end - body)));
		if (!close || close == body) return nullptr;
		uint32_t n = uint32_t(close - body);
		uint32_t value = 0;
		bool hex = true;
		for (uint32_t i = 0; i < n && hex; i++) {
			int v = hex_value(body[i]);
			if (v < 0) hex = false;
			else value = value << 4 | uint32_t(v);
		}
		if (hex) {
			if (n > 6 || value > unicode::MAX_CODEPOINT) return nullptr;
			*cp = int32_t(value);
			return close + 1;
		}
		for (const EscapeName& e : escape_names)
			if (e.length == n && equal_any_case(body, e.name, n)) {
				*cp = e.code;
				return close + 1;
			}
		return nullptr;
	}
	switch (c) {
	case '"': case '^': case '{': case '}': *cp = c; return p + 1;
	case '-': *cp = '\t'; return p + 1;
	case '/': *cp = '\n'; return p + 1;
	case '~': *cp = 127; return p + 1;
	case '@': *cp = 0; return p + 1;
	default: break;
	}
	if (c >= 'a' && c <= 'z') {
		*cp = c - 'a' + 1;
		return p + 1;
	}
	if (c >= 'A' && c <= '_') {
		*cp = c - 'A' + 1;
		return p + 1;
	}
	if (c < 0x80) {
		*cp = c;
		return p + 1;
	}
	p = next_codepoint(p, end, cp);
	return *cp < 0 ? nullptr : p;
}

// Writes codepoints into a new string, widening it when one does not fit.
// Capacity: one unit per source byte, which no decoding exceeds.
struct Writer {
	Cell* out;
	uint8_t* data;
	uint32_t unit;
	uint32_t count;
	uint32_t capacity;

	Writer(Cell* target, Type type, uint32_t units, uint32_t width) : out(target), unit(width), count(0), capacity(units) {
		string::make_at_unit(out, units, width);
		cell::set_type(out, type);
		data = memory::buffer_of(out)->head_ptr();
	}
	void widen(uint32_t width) {
		Series* s = memory::buffer_of(out);
		s->tail = s->head + count * unit;
		s = unicode::widen(s, width);
		s = unicode::grow(s, uint64_t(capacity) * width);
		unit = width;
		data = s->head_ptr();
	}
	void put(uint32_t cp) {
		if (unicode::width_for(cp) > unit) widen(unicode::width_for(cp));
		unicode::put_unit(data + size_t(count) * unit, unit, cp);
		count++;
	}
	void put_ascii(const uint8_t* p, uint32_t n) {
		if (unit == 1) {
			std::memcpy(data + count, p, n);
			count += n;
			return;
		}
		for (uint32_t i = 0; i < n; i++) put(p[i]);
	}
	void finish() {
		Series* s = memory::buffer_of(out);
		s->tail = s->head + count * unit;
	}
};

// The body's codepoints, carets decoded when asked; Build writes them.
template <bool Build>
void decode_text(Scan& s, Writer* w, const uint8_t* start, const uint8_t* end, bool carets, Type type) {
	const uint8_t* p = start;
	while (p < end) {
		// Runs of plain ASCII go in one copy.
		const uint8_t* run = p;
		while (p < end && *p < 0x80 && !(carets && *p == '^')) p++;
		if (Build && p > run) w->put_ascii(run, uint32_t(p - run));
		if (p >= end) break;
		int32_t cp;
		if (*p == '^') {
			p = decode_escape(p + 1, end, &cp);
			if (!p) fail(s, s.token_start, end, type);
		} else {
			p = next_codepoint(p, end, &cp);
			if (cp < 0) fail(s, s.token_start, end, type);
		}
		if (Build) w->put(uint32_t(cp));
	}
}

// Percent-decoding of url and file text, as url! decodes: a valid "%xx" of
// a lead byte gathers the escapes that follow it and decodes them as one
// codepoint (a malformed sequence is an invalid literal); a lead byte whose
// sequence does not complete, and any other valid escape, gives its byte as
// a Latin-1 character; an invalid escape stays as written.
template <bool Build>
void decode_percent(Scan& s, Writer* w, const uint8_t* start, const uint8_t* end, Type type) {
	auto escape_at = [end](const uint8_t* q) -> int {
		if (end - q < 3 || *q != '%') return -1;
		int hi = hex_value(q[1]), lo = hex_value(q[2]);
		return hi < 0 || lo < 0 ? -1 : hi << 4 | lo;
	};
	const uint8_t* p = start;
	while (p < end) {
		int byte = escape_at(p);
		int32_t cp = byte;
		if (byte < 0) {
			if (*p < 0x80) {
				cp = *p++;
			} else {
				p = next_codepoint(p, end, &cp);
				if (cp < 0) fail(s, s.token_start, end, type);
			}
		} else {
			uint32_t n = unicode::utf8_length(uint8_t(byte));
			uint8_t seq[4] = {uint8_t(byte)};
			uint32_t have = 1;
			for (int next; have < n && (next = escape_at(p + 3 * have)) >= 0;) seq[have++] = uint8_t(next);
			if (n >= 2 && have == n) {
				next_codepoint(seq, seq + n, &cp);
				if (cp < 0) fail(s, s.token_start, end, type);
			} else {
				have = 1;
			}
			p += 3 * have;
		}
		if (Build) w->put(uint32_t(cp));
	}
}

// ---------------------------------------------------------------- strings

void string_loader(Scan& s, const uint8_t* start, const uint8_t* end, uint32_t flags, bool build) {
	Type type = s.string_type < 0 ? T_STRING : Type(s.string_type);
	if (build) load_text(s, emit(s), start + 1, end - 1, flags, true, type);
	else check_text(s, start + 1, end - 1, true, type);
}

// Validates the string unless the loader will decode it anyway.
void string_scanner(Scan& s, const uint8_t* start, const uint8_t* end, uint32_t flags, bool build) {
	if (!s.load) string_loader(s, start, end, flags, build);
}

void raw_string_loader(Scan& s, const uint8_t* start, const uint8_t* end, uint32_t flags, bool build) {
	uint32_t n = 0;
	while (start[n] == '%') n++;
	const uint8_t* body = start + n + 1;
	uint32_t m = 0;
	while (m < uint32_t(end - body) && end[-1 - int32_t(m)] == '%') m++;
	const uint8_t* body_end = end - m - 1;  // at the closing "}"
	if (m != n) {
		// Not this "}": the text goes on to a "}" followed by exactly n "%".
		const uint8_t* p = end;
		body_end = nullptr;
		while (p < s.input_end) {
			auto close = static_cast<const uint8_t*>(std::memchr(p, '}', size_t(s.input_end - p)));
			if (!close) break;
			const uint8_t* q = close + 1;
			while (q < s.input_end && *q == '%') q++;
			if (uint32_t(q - close - 1) == n) {
				body_end = close;
				end = q;
				break;
			}
			p = close + 1;
		}
		if (!body_end) fail(s, start, s.input_end, T_STRING);
		for (const uint8_t* c = s.token_end; c < end; c++) s.line += *c == '\n';
		s.position = s.token_end = end;
	}
	if (!build) {
		Writer* none = nullptr;
		decode_text<false>(s, none, body, body_end, false, T_STRING);
		return;
	}
	load_text(s, emit(s), body, body_end, flags, false, T_STRING);
}

// Unquoted file and url text: no carets, percent-decoded when it holds "%".
void resource_text(Scan& s, const uint8_t* start, const uint8_t* end, uint32_t flags, bool build, Type type) {
	bool percents = std::memchr(start, '%', size_t(end - start)) != nullptr;
	if (!percents) {
		if (build) load_text(s, emit(s), start, end, flags, false, type);
		else check_text(s, start, end, false, type);
		return;
	}
	if (!build) return decode_percent<false>(s, nullptr, start, end, type);
	Writer w(emit(s), type, uint32_t(end - start), unit_of_flags(flags));
	decode_percent<true>(s, &w, start, end, type);
	w.finish();
}

void file_loader(Scan& s, const uint8_t* start, const uint8_t* end, uint32_t flags, bool build) {
	if (start[1] == '"') {
		if (end - start < 3 || end[-1] != '"') fail(s, start, end, T_FILE);
		if (build) load_text(s, emit(s), start + 2, end - 1, flags, true, T_FILE);
		else check_text(s, start + 2, end - 1, true, T_FILE);
		return;
	}
	resource_text(s, start + 1, end, flags, build, T_FILE);
}

void url_loader(Scan& s, const uint8_t* start, const uint8_t* end, uint32_t flags, bool build) {
	if (s.start_state == ST_SEGMENT) fail(s, start, end, T_PATH);
	if (*start == ':') fail(s, start, end, T_GET_WORD);
	if (*start == '\'') fail(s, start, end, T_LIT_WORD);
	resource_text(s, start, end, flags, build, T_URL);
}

void tag_loader(Scan& s, const uint8_t* start, const uint8_t* end, uint32_t flags, bool build) {
	if (*start != '<' || end - start < 2 || end[-1] != '>') fail(s, start, end, T_TAG);
	if (build) load_text(s, emit(s), start + 1, end - 1, flags, false, T_TAG);
	else check_text(s, start + 1, end - 1, false, T_TAG);
}

void email_loader(Scan& s, const uint8_t* start, const uint8_t* end, uint32_t flags, bool build) {
	if (build) load_text(s, emit(s), start, end, flags, false, T_EMAIL);
	else check_text(s, start, end, false, T_EMAIL);
}

void char_loader(Scan& s, const uint8_t* start, const uint8_t* end, uint32_t, bool build) {
	const uint8_t* body = start + 2;
	const uint8_t* body_end = end - 1;
	if (body >= body_end) fail(s, start, end, T_CHAR);
	int32_t cp;
	const uint8_t* p;
	if (*body == '^') {
		p = decode_escape(body + 1, body_end, &cp);
		if (!p) fail(s, start, end, T_CHAR);
	} else if (*body < 0x80) {
		cp = *body;
		p = body + 1;
	} else {
		p = next_codepoint(body, body_end, &cp);
		if (cp < 0) fail(s, start, end, T_CHAR);
	}
	if (p != body_end) fail(s, start, end, T_CHAR);
	if (build) char_::make_at(emit(s), uint32_t(cp));
}

// ---------------------------------------------------------------- words

// Names become symbols as they are: their bytes must be whole UTF-8
// characters (no cut, overlong or surrogate sequence, nothing past
// U+10FFFF), as the text of a string must.
void check_name(Scan& s, const uint8_t* start, const uint8_t* end, uint32_t flags, Type type) {
	if (!(flags & FL_NON_ASCII)) return;
	for (const uint8_t* p = start; p < end;) {
		int32_t cp;
		p = next_codepoint(p, end, &cp);
		if (cp < 0) fail(s, start, end, type);
	}
}

// Sets the token's type from its prefix and suffix; refuses misplaced
// colons and names that start with a digit.
void word_scanner(Scan& s, const uint8_t* start, const uint8_t* end, uint32_t flags, bool) {
	Type type = T_WORD;
	uint8_t first = *start;
	bool leading_colon = first == ':';
	bool trailing_colon = end - start > 1 && end[-1] == ':';
	if (flags & FL_COLON) {
		const uint8_t* inner_start = start + (leading_colon ? 1 : 0);
		const uint8_t* inner_end = end - (trailing_colon ? 1 : 0);
		if (inner_start < inner_end && std::memchr(inner_start, ':', size_t(inner_end - inner_start)))
			fail(s, start, end, T_WORD);
		if (leading_colon && trailing_colon) {
			// The last segment of a set-path may be a get-word ("m/:k: v"):
			// the closing ":" is left for the path to read.
			bool path_ends = end == s.input_end || path_end[class_of(*end)];
			if (s.start_state != ST_SEGMENT || end - start < 3 || !path_ends) fail(s, start, end, T_WORD);
			s.position = s.token_end = end - 1;
		}
		if (leading_colon) type = T_GET_WORD;
		else if (trailing_colon) type = T_SET_WORD;
	}
	if (first == '\'') {
		if (trailing_colon) fail(s, start, end, T_LIT_WORD);
		type = T_LIT_WORD;
	}
	const uint8_t* name = start + (type == T_GET_WORD || type == T_LIT_WORD ? 1 : 0);
	// A prefix alone (":" or "'" that white space such as U+00A0 cut off)
	// names nothing.
	if (name == end) fail(s, start, end, T_WORD);
	if (is_digit(*name)) fail(s, start, end, T_WORD);
	check_name(s, start, end, flags, T_WORD);
	s.token_type = type;
}

void word_loader(Scan& s, const uint8_t* start, const uint8_t* end, uint32_t, bool build) {
	if (!build) return;
	Type type = Type(s.token_type);
	const uint8_t* name = start;
	const uint8_t* name_end = end;
	if (type == T_GET_WORD || type == T_LIT_WORD) name++;
	if (type == T_SET_WORD || (type == T_GET_WORD && end[-1] == ':')) name_end--;
	make_word(emit(s), type, name, uint32_t(name_end - name));
}

void issue_scanner(Scan& s, const uint8_t* start, const uint8_t* end, uint32_t flags, bool) {
	if (*start != '#' || end - start < 2) fail(s, start, end, T_ISSUE);
	check_name(s, start, end, flags, T_ISSUE);
	s.token_type = T_ISSUE;
}

void issue_loader(Scan& s, const uint8_t* start, const uint8_t* end, uint32_t, bool build) {
	if (build) make_word(emit(s), T_ISSUE, start + 1, uint32_t(end - start - 1));
}

void refinement_loader(Scan& s, const uint8_t* start, const uint8_t* end, uint32_t flags, bool build) {
	static const uint8_t slash = '/';
	check_name(s, start, end, flags, T_REFINEMENT);
	if (end - start == 2 && (start[0] != '/' || start[1] == ':')) {
		Type type = start[0] == '\'' ? T_LIT_WORD : start[0] == ':' ? T_GET_WORD : T_SET_WORD;
		if (start[0] == '/' || start[1] == '/') {
			s.token_type = type;
			if (build) make_word(emit(s), type, &slash, 1);
			return;
		}
	}
	if (*start != '/' || end - start < 2 || std::memchr(start, ':', size_t(end - start)))
		fail(s, start, end, T_REFINEMENT);
	s.token_type = T_REFINEMENT;
	if (build) make_word(emit(s), T_REFINEMENT, start + 1, uint32_t(end - start - 1));
}

// ---------------------------------------------------------------- numbers

constexpr uint32_t FLOAT_TEXT_MAX = 312;

// The float syntax automaton over ASCII text.
bool float_syntax(const uint8_t* p, const uint8_t* end) {
	// Classes: 0 other, 1 sign, 2 digit, 3 e/E, 4 ".", 5 apostrophe.
	static constexpr int8_t next[9][6] = {
		{-1, 0, 1, -1, 4, -1},   // 0: start
		{-1, -1, 1, 6, 5, 2},    // 1: integer digits
		{-1, -1, 1, -1, -1, -1}, // 2: after an apostrophe
		{-1, -1, 3, 6, -1, 4},   // 3: fraction digits
		{-1, -1, 3, -1, -1, -1}, // 4: after "." or a fraction apostrophe
		{-1, -1, 3, -1, -1, -1}, // 5: after digits and "."
		{-1, 7, 8, -1, -1, -1},  // 6: after the exponent letter
		{-1, -1, 8, -1, -1, -1}, // 7: after the exponent sign
		{-1, -1, 8, -1, -1, -1}, // 8: exponent digits
	};
	int state = 0;
	for (; p < end; p++) {
		uint8_t c = *p;
		int k = c == '+' || c == '-' ? 1 : is_digit(c) ? 2 : c == 'e' || c == 'E' ? 3 : c == '.' ? 4 : c == '\'' ? 5 : 0;
		state = next[state][k];
		if (state < 0) return false;
	}
	return (state >= 1 && state <= 5) || state == 8;
}

// Decimal text (ASCII bytes, "," already a ".") to a double; false when it
// is not a float. Apostrophes are dropped before conversion.
bool text_to_float(const uint8_t* p, const uint8_t* end, int extra_exponent, double* out) {
	if (uint32_t(end - p) > FLOAT_TEXT_MAX || !float_syntax(p, end)) return false;
	char text[FLOAT_TEXT_MAX];
	size_t n = 0;
	for (; p < end; p++)
		if (*p != '\'') text[n++] = char(*p);
	size_t unconsumed;
	*out = numconv::decimal_to_float(std::string_view(text, n), extra_exponent, unconsumed);
	return unconsumed == 0 && n > 0;
}

// Decimal literals past the double range are refused: they would load as
// an infinity, whose mold is not the literal (a percent's reloads as a float).
void float_loader(Scan& s, const uint8_t* start, const uint8_t* end, uint32_t, bool build) {
	double d;
	if (!text_to_float(start, end, 0, &d) || !std::isfinite(d)) fail(s, start, end, T_FLOAT);
	s.token_type = T_FLOAT;
	if (build) cell::make_float(emit(s), d);
}

void percent_loader(Scan& s, const uint8_t* start, const uint8_t* end, uint32_t, bool build) {
	double d;
	if (!text_to_float(start, end - 1, -2, &d) || !std::isfinite(d)) fail(s, start, end, T_PERCENT);
	if (build) percent::make_at(emit(s), d);
}

void special_float_loader(Scan& s, const uint8_t* start, const uint8_t* end, uint32_t, bool build) {
	double d;
	if (!special_float(start, end, &d)) fail(s, start, end, T_FLOAT);
	if (build) cell::make_float(emit(s), d);
}

// Digits with apostrophes as a magnitude; false for a doubled apostrophe or
// no digit. *digits counts them; the magnitude saturates past 2^59, far
// beyond any integer and any time's minutes.
bool read_digits(const uint8_t*& p, const uint8_t* end, uint64_t* value, uint32_t* digits) {
	uint64_t v = 0;
	uint32_t n = 0;
	bool after_quote = false;
	for (; p < end; p++) {
		uint8_t c = *p;
		if (c == '\'') {
			if (after_quote) return false;
			after_quote = true;
			continue;
		}
		if (!is_digit(c)) break;
		after_quote = false;
		if (v < (uint64_t(1) << 59)) v = v * 10 + (c - '0');
		n++;
	}
	*value = v;
	*digits = n;
	return n > 0;
}

void integer_loader(Scan& s, const uint8_t* start, const uint8_t* end, uint32_t flags, bool build) {
	if (end - start == 1) {
		if (build) cell::make_integer(emit(s), *start - '0');
		return;
	}
	const uint8_t* p = start;
	bool negative = *p == '-';
	if (*p == '-' || *p == '+') p++;
	if (p == end) fail(s, start, end, T_PAIR);
	uint64_t v;
	uint32_t digits;
	if (!read_digits(p, end, &v, &digits) || p != end) fail(s, start, end, T_INTEGER);
	uint64_t limit = negative ? 0x80000000ull : 0x7FFFFFFFull;
	if (digits > 10 || v > limit) {
		// A path segment holds no float (none could be molded back there).
		if (s.start_state == ST_SEGMENT) fail(s, start, end, T_INTEGER);
		float_loader(s, start, end, flags, build);
		return;
	}
	int64_t value = negative ? -int64_t(v) : int64_t(v);
	if (build) cell::make_integer(emit(s), int32_t(value));
}

void hex_loader(Scan& s, const uint8_t* start, const uint8_t* end, uint32_t, bool build) {
	const uint8_t* digits_end = end - 1;  // at the "h"
	uint32_t n = uint32_t(digits_end - start);
	if (!is_digit(*start) && n < 2) fail(s, start, end, T_WORD);
	if (n < 2 || n > 8) fail(s, start, end, T_INTEGER);
	uint32_t value = 0;
	for (const uint8_t* p = start; p < digits_end; p++) {
		int v = hex_value(*p);
		if (v < 0) fail(s, start, end, T_INTEGER);
		value = value << 4 | uint32_t(v);
	}
	s.token_type = T_INTEGER;
	if (build) cell::make_integer(emit(s), int32_t(value));
}

// Seconds: digits with an optional "." or "," fraction; -1 when malformed.
double read_seconds(const uint8_t* p, const uint8_t* end) {
	if (p == end || uint32_t(end - p) > FLOAT_TEXT_MAX) return -1;
	uint8_t text[FLOAT_TEXT_MAX];
	uint32_t n = 0;
	bool point = false;
	for (; p < end; p++) {
		uint8_t c = *p;
		if (c == '.' || c == ',') {
			if (point) return -1;
			point = true;
			c = '.';
		} else if (!is_digit(c)) {
			return -1;
		}
		text[n++] = c;
	}
	double d;
	return text_to_float(text, text + n, 0, &d) ? d : -1;
}

void time_loader(Scan& s, const uint8_t* start, const uint8_t* end, uint32_t flags, bool build) {
	const uint8_t* p = start;
	bool negative = *p == '-';
	if (*p == '-' || *p == '+') p++;
	uint64_t first, second;
	uint32_t digits;
	if (!read_digits(p, end, &first, &digits) || p == end || *p != ':') fail(s, start, end, T_TIME);
	if (first > (negative ? 0x80000000ull : 0x7FFFFFFFull)) fail(s, start, end, T_TIME);
	p++;
	const uint8_t* minutes_start = p;
	if (!read_digits(p, end, &second, &digits)) fail(s, start, end, T_TIME);
	double hours = double(first), minutes = double(second), seconds = 0;
	if (p < end) {
		uint8_t separator = *p;
		if (flags & FL_EXPONENT) fail(s, start, end, T_TIME);
		if (separator == ':') {
			if (p + 1 == end) fail(s, start, end, T_TIME);
			seconds = read_seconds(p + 1, end);
		} else if (separator == '.' || separator == ',') {
			// minutes:seconds.fraction
			seconds = read_seconds(minutes_start, end);
			minutes = hours;
			hours = 0;
		} else {
			fail(s, start, end, T_TIME);
		}
		if (seconds < 0) fail(s, start, end, T_TIME);
	}
	double total = hours * 3600 + minutes * 60 + seconds;
	// Minutes and seconds are not bounded, but the hours they add up to
	// must be as the hour field's (else the time's mold would not load);
	// the extra second covers seconds that mold rounds up to a minute.
	double hour_limit = negative ? 2147483648.0 : 2147483647.0;
	if (total + 1 >= (hour_limit + 1) * 3600) fail(s, start, end, T_TIME);
	if (build) time::make_at(emit(s), negative ? -total : total);
}

// ---------------------------------------------------------------- construction

struct ConstructName {
	const char* name;
	Type type;
	uint32_t value;
	uint32_t length;
};
constexpr ConstructName construct_names[] = {
	{"true", T_LOGIC, 1, 4}, {"false", T_LOGIC, 0, 5}, {"none", T_NONE, 0, 4}, {"unset", T_UNSET, 0, 5},
};

void construct_scanner(Scan& s, const uint8_t* start, const uint8_t* end, uint32_t, bool build) {
	const uint8_t* body = start + 2;
	uint32_t n = uint32_t(end - 1 - body);
	for (const ConstructName& c : construct_names) {
		if (n < c.length || !equal_any_case(body, c.name, c.length)) continue;
		if (n != c.length) fail(s, start, end, ERR_MALCONSTRUCT);
		s.token_type = c.type;
		if (build) cell::set(emit(s), c.type, c.value);
		return;
	}
	for (int id = 1; id <= registry::type_count; id++) {
		const registry::TypeName& t = registry::names[id];
		if (!t.name || std::strlen(t.name) != n || !equal_any_case(body, t.name, n)) continue;
		s.token_type = T_DATATYPE;
		if (build) datatype::make_at(emit(s), Type(id));
		return;
	}
	fail(s, start, end, ERR_MALCONSTRUCT);
}

// ---------------------------------------------------------------- extended

// Until their datatype modules install a loader, these literals cannot be
// built: scanning them answers the type the automaton recognised, loading
// them raises `invalid` with it.
template <Type type>
void not_loadable(Scan& s, const uint8_t* start, const uint8_t* end, uint32_t, bool build) {
	if (build) fail(s, start, end, type);
}

void point_not_loadable(Scan& s, const uint8_t* start, const uint8_t* end, uint32_t, bool build) {
	if (!build) return;
	uint32_t commas = 0;
	for (const uint8_t* p = start; p < end; p++) commas += *p == ',';
	fail(s, start, end, commas == 2 ? T_POINT3D : T_POINT2D);
}

void map_not_loadable(Scan& s, Cell*, const Cell*, uint32_t) {
	fail(s, s.token_start, s.position, T_MAP);
}

// Each extended entry goes through its hook, read at call time.
void pair_entry(Scan& s, const uint8_t* a, const uint8_t* b, uint32_t f, bool build) { extended.pair(s, a, b, f, build); }
void tuple_entry(Scan& s, const uint8_t* a, const uint8_t* b, uint32_t f, bool build) { extended.tuple(s, a, b, f, build); }
void date_entry(Scan& s, const uint8_t* a, const uint8_t* b, uint32_t f, bool build) { extended.date(s, a, b, f, build); }
void money_entry(Scan& s, const uint8_t* a, const uint8_t* b, uint32_t f, bool build) { extended.money(s, a, b, f, build); }
void binary_entry(Scan& s, const uint8_t* a, const uint8_t* b, uint32_t f, bool build) { extended.binary(s, a, b, f, build); }
void point_entry(Scan& s, const uint8_t* a, const uint8_t* b, uint32_t f, bool build) { extended.point(s, a, b, f, build); }
void ref_entry(Scan& s, const uint8_t* a, const uint8_t* b, uint32_t f, bool build) { extended.ref(s, a, b, f, build); }

}  // namespace

ExtendedLoaders extended = {
	not_loadable<T_PAIR>, not_loadable<T_TUPLE>, not_loadable<T_DATE>, not_loadable<T_MONEY>,
	not_loadable<T_BINARY>, point_not_loadable, not_loadable<T_REF>, map_not_loadable,
};

const TokenEntry token_entries[TOKEN_CLASSES] = {
	{nullptr, nullptr},                     // end
	{nullptr, nullptr},                     // error
	{nullptr, nullptr},                     // [
	{nullptr, nullptr},                     // ]
	{nullptr, nullptr},                     // (
	{nullptr, nullptr},                     // )
	{nullptr, nullptr},                     // {
	{nullptr, nullptr},                     // }
	{nullptr, nullptr},                     // #[
	{nullptr, nullptr},                     // / after a path segment
	{construct_scanner, nullptr},           // #( )
	{nullptr, nullptr},                     // comment
	{nullptr, nullptr},                     // ,
	{string_scanner, string_loader},        // "string"
	{word_scanner, word_loader},            // word
	{issue_scanner, issue_loader},          // #issue
	{nullptr, integer_loader},              // integer
	{nullptr, refinement_loader},           // /refinement
	{nullptr, char_loader},                 // #"c"
	{nullptr, file_loader},                 // %file
	{nullptr, binary_entry},                // #{ }
	{nullptr, percent_loader},              // percent
	{nullptr, float_loader},                // float
	{nullptr, special_float_loader},        // 1.#NaN 1.#INF
	{nullptr, tuple_entry},                 // tuple
	{nullptr, date_entry},                  // date
	{nullptr, pair_entry},                  // pair
	{nullptr, point_entry},                 // ( , )
	{nullptr, time_loader},                 // time
	{nullptr, money_entry},                 // money
	{nullptr, tag_loader},                  // <tag>
	{nullptr, url_loader},                  // url
	{nullptr, email_loader},                // email
	{nullptr, hex_loader},                  // FFh
	{nullptr, raw_string_loader},           // %{ }%
	{nullptr, ref_entry},                   // @ref
};

void load_text(Scan& s, Cell* out, const uint8_t* start, const uint8_t* end, uint32_t flags, bool carets,
	Type type) {
	uint32_t length = uint32_t(end - start);
	uint32_t unit = unit_of_flags(flags);
	if (!(carets && (flags & FL_CARET)) && unicode::all_ascii(start, end)) unit = 1;
	Writer w(out, type, length, unit);
	decode_text<true>(s, &w, start, end, carets, type);
	w.finish();
}

void check_text(Scan& s, const uint8_t* start, const uint8_t* end, bool carets, Type type) {
	decode_text<false>(s, nullptr, start, end, carets, type);
}

bool special_float(const uint8_t* start, const uint8_t* end, double* out) {
	const uint8_t* p = start;
	bool negative = p < end && *p == '-';
	if (p < end && (*p == '-' || *p == '+')) p++;
	if (end - p != 6 || p[0] != '1' || p[1] != '.' || p[2] != '#') return false;
	if (equal_any_case(p + 3, "nan", 3))
		*out = std::bit_cast<double>(uint64_t(0x7FF8000000000000ull));
	else if (equal_any_case(p + 3, "inf", 3))
		*out = negative ? -__builtin_inf() : __builtin_inf();
	else
		return false;
	return true;
}

bool is_space_codepoint(int32_t cp) {
	if (cp < 0x85 || cp > 0x2062) return false;
	switch (cp) {
	case 0x85: case 0xA0: case 0x1680: case 0x180E: case 0x2028: case 0x2029: case 0x202F: case 0x205F:
		return true;
	default: return cp >= 0x2000 && cp <= 0x200B;
	}
}

// ---------------------------------------------------------------- number text helpers

namespace {

// Copies units to ASCII bytes; false when a unit is not ASCII or the text is
// too long for `room`.
bool units_to_ascii(const uint8_t* units, uint32_t unit, uint32_t length, uint8_t* out, uint32_t room) {
	if (length > room) return false;
	for (uint32_t i = 0; i < length; i++) {
		uint32_t u = unicode::get_unit(units + size_t(i) * unit, unit);
		if (u >= 0x80) return false;
		out[i] = uint8_t(u);
	}
	return true;
}

}  // namespace

int32_t scan_integer(const uint8_t* units, uint32_t unit, uint32_t length, int32_t* error) {
	*error = 0;
	uint32_t i = 0;
	bool negative = false;
	auto at = [&](uint32_t k) { return unicode::get_unit(units + size_t(k) * unit, unit); };
	if (i < length && (at(i) == '-' || at(i) == '+')) negative = at(i++) == '-';
	uint64_t v = 0;
	uint32_t digits = 0;
	for (; i < length; i++) {
		uint32_t c = at(i);
		if (c == '\'') continue;
		if (c < '0' || c > '9') {
			*error = -1;
			return 0;
		}
		if (v <= 0x80000000ull) v = v * 10 + (c - '0');
		digits++;
	}
	if (digits == 0) {
		*error = -1;
		return 0;
	}
	if (v > (negative ? 0x80000000ull : 0x7FFFFFFFull)) {
		*error = -2;
		return 0;
	}
	return int32_t(negative ? -int64_t(v) : int64_t(v));
}

double scan_float(const uint8_t* units, uint32_t unit, uint32_t length, int32_t* error) {
	uint8_t text[FLOAT_TEXT_MAX];
	double d;
	*error = 0;
	if (length <= FLOAT_TEXT_MAX && units_to_ascii(units, unit, length, text, FLOAT_TEXT_MAX)) {
		for (uint32_t i = 0; i < length; i++)
			if (text[i] == ',') text[i] = '.';
		if (text_to_float(text, text + length, 0, &d)) return d;
	}
	*error = -1;
	return std::bit_cast<double>(uint64_t(0x7FF8000000000000ull));
}

}  // namespace vyn::lexer
