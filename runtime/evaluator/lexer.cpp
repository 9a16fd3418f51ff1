#include "runtime/evaluator/lexer.h"

#include <cstdlib>
#include <cstring>

#include "runtime/datatypes/block.h"
#include "runtime/datatypes/string.h"
#include "runtime/errors.h"
#include "runtime/evaluator/lexer_scan.h"
#include "runtime/evaluator/stack.h"
#include "runtime/evaluator/token_loaders.h"
#include "runtime/memory.h"
#include "runtime/utf8.h"

namespace vyn::lexer {

Cell* tokens = nullptr;
CallbackHooks callback_hooks = {nullptr, nullptr};
WordHooks word_hooks = {nullptr, nullptr};
Cell token_class_words = {T_NONE, 0, 0, 0};

namespace {

constexpr uint32_t TOKEN_CELLS_INITIAL = 1000;
constexpr uint32_t SCRATCH_BYTES = 100000;
constexpr uint32_t NEAR_BYTES = 30;

uint32_t token_capacity = 0;
Scan* active = nullptr;  // innermost active scan
uint8_t* scratch = nullptr;
uint32_t scratch_used = 0;

// Unwinds a scan that a non-loading error (or a callback) stopped.
struct Stop {};
// Unwinds to the scan loop when an error's callback moved the input past
// the error: the scan goes on from there.
struct Resume {};

// A text source counts positions in codepoints, a binary one in bytes.
inline bool is_text(const Cell* source) { return source && !cell::is(source, T_BINARY); }

inline bool is_marker(const Cell* c) { return cell::type_of(c) == T_TRIPLE; }
inline uint32_t level_type(const Cell* marker) { return marker->data2 & 0xFFFF; }
inline bool is_path_type(uint32_t t) { return t >= T_PATH && t <= T_GET_PATH; }

// The innermost level's marker, or null at the top level.
inline Cell* innermost(Scan& s) { return s.head > s.base ? cell_at(s.head - 1) : nullptr; }
inline bool in_path(Scan& s) {
	Cell* m = innermost(s);
	return m && is_path_type(level_type(m));
}

// ---------------------------------------------------------------- errors

// A string! of the text at `start`: up to a line feed, the end or 30 bytes,
// whole UTF-8 sequences only; bytes that are not UTF-8 come as Latin-1.
void near_text(Cell* out, const uint8_t* start, const uint8_t* end) {
	string::make_at(out, NEAR_BYTES);
	const uint8_t* limit = end - start > NEAR_BYTES ? start + NEAR_BYTES : end;
	const uint8_t* p = start;
	while (p < limit && *p != '\n' && *p != 0) {
		int32_t cp;
		const uint8_t* q = unicode::detail::decode_sequence<true>(p, end, &cp);
		if (q > limit) break;
		if (cp < 0) {
			cp = *p;
			q = p + 1;
		}
		string::append_char(out, uint32_t(cp));
		p = q;
	}
}

void line_text(Cell* out, int32_t line) {
	char text[32] = "(line ";
	char* p = text + 6;
	char digits[12];
	int n = 0;
	uint32_t v = uint32_t(line);
	do {
		digits[n++] = char('0' + v % 10);
		v /= 10;
	} while (v);
	while (n) *p++ = digits[--n];
	*p++ = ')';
	string::make_at(out, uint32_t(p - text));
	string::append_literal(out, std::string_view(text, size_t(p - text)));
}

[[noreturn]] void raise_syntax(Scan& s, const uint8_t* start, int32_t code) {
	Cell line, near, what;
	line_text(&line, s.line);
	near_text(&near, start, s.input_end);
	bool level_error = code == ERR_UNMATCHED || code == ERR_UNCLOSED;
	if (code == ERR_BAD_CHAR || (level_error && is_path_type(uint32_t(s.unmatched_type))))
		errors::fire(errors::id::syntax_bad_char, &line, &near);
	if (code == ERR_MALCONSTRUCT) errors::fire(errors::id::syntax_malconstruct, &line, &near);
	if (level_error) {
		bool block = s.unmatched_type == T_BLOCK || s.unmatched_type == T_MAP;
		uint8_t at = start < s.input_end ? *start : 0;
		const char* missing;
		if (code == ERR_UNCLOSED) missing = block ? "]" : ")";
		else if (block) missing = at == ']' ? "[" : "]";
		else missing = at == ')' ? "(" : ")";
		string::make_at(&what, 1);
		string::append_literal(&what, missing);
		errors::fire(errors::id::syntax_missing, &line, &what, &near);
	}
	cell::set(&what, T_DATATYPE, uint32_t(code));
	errors::fire(errors::id::syntax_invalid, &line, &what, &near);
}

bool report(Scan& s, Event event, int32_t type, const uint8_t* start, const uint8_t* end, const Cell* value);

}  // namespace

void fail(Scan& s, const uint8_t* start, const uint8_t* end, int32_t code) {
	if (!s.load) {
		s.token_type = T_ERROR;
		throw Stop{};
	}
	if (s.callback && (s.event_mask & EV_ERROR)) {
		int32_t type = code > 0 ? code
			: s.unmatched_type > 0 ? s.unmatched_type
			: s.token_type > 0 ? s.token_type
			: s.string_type > 0 ? s.string_type : T_ERROR;
		const uint8_t* at = s.position;
		if (!report(s, EV_ERROR, type, start, end, nullptr)) {
			if (s.position > at && !in_path(s)) throw Resume{};
			s.token_type = T_ERROR;
			throw Stop{};
		}
	}
	raise_syntax(s, start, code);
}

void make_word(Cell* out, Type type, const uint8_t* name, uint32_t length) {
	if (!word_hooks.make) errors::fire(errors::id::internal_not_done);
	word_hooks.make(out, type, name, length);
}

Cell* emit(Scan& s) {
	if (s.tail >= token_capacity) {
		uint32_t capacity = token_capacity * 2;
		auto grown = static_cast<Cell*>(std::realloc(tokens, size_t(capacity) * sizeof(Cell)));
		if (!grown) errors::fire(errors::id::internal_no_memory);
		tokens = grown;
		token_capacity = capacity;
	}
	Cell* c = tokens + s.tail++;
	cell::make_none(c);
	return c;
}

namespace {

// ---------------------------------------------------------------- callback

// Position of a byte for the callback: codepoints from the input start when
// the source is a string, else bytes; the last answer is cached because
// tokens come in order.
uint32_t source_index(Scan& s, const uint8_t* at) {
	if (!is_text(s.source)) return uint32_t(at - s.input);
	if (at < s.cached_position) {
		s.cached_position = s.input;
		s.cached_codepoints = 0;
	}
	s.cached_codepoints += unicode::count_codepoints(s.cached_position, at);
	s.cached_position = at;
	return s.cached_codepoints;
}

const char* const event_names[] = {"prescan", "scan", "load", "open", "close", "error"};

uint32_t event_index(Event e) {
	uint32_t i = 0;
	while ((1u << i) != e) i++;
	return i;
}

// The position of a token class in the exit-states block, which has no
// entry for commas and points (-1: the callback gets none).
int32_t exit_state_of(uint32_t k) {
	if (k < TK_COMMA) return int32_t(k);
	if (k == TK_COMMA || k == TK_POINT) return -1;
	return int32_t(k) - (k < TK_POINT ? 1 : 2);
}

// Reports an event; answers the callback's verdict. A callback that moved
// the input's position moves the scan there (within the input).
bool report(Scan& s, Event event, int32_t type, const uint8_t* start, const uint8_t* end, const Cell* value) {
	if (!s.callback || !(s.event_mask & event) || !callback_hooks.call) return true;
	Cell* args = stack::alloc_slot();
	for (int i = 1; i < 5; i++) stack::alloc_slot();
	const char* name = event_names[event_index(event)];
	make_word(&args[0], T_WORD, reinterpret_cast<const uint8_t*>(name), uint32_t(std::strlen(name)));
	bool at_start = event == EV_OPEN || (event == EV_PRESCAN && type <= 0);
	uint32_t base_index = s.source ? s.source->data1 : 0;
	uint32_t set_index = base_index + source_index(s, at_start ? start : end);
	if (s.source) {
		args[1] = *s.source;
		args[1].data1 = set_index;
	} else {
		cell::make_none(&args[1]);
	}
	if (type > 0) {
		cell::set(&args[2], T_DATATYPE, uint32_t(type));
	} else if (type < 0 && cell::is(&token_class_words, T_BLOCK) && exit_state_of(uint32_t(-type - 1)) >= 0) {
		Series* words = memory::buffer_of(&token_class_words);
		uint32_t at = token_class_words.data1 + uint32_t(exit_state_of(uint32_t(-type - 1)));
		if (at < words->used() / sizeof(Cell)) args[2] = words->head_cell()[at];
		else cell::make_none(&args[2]);
	} else {
		cell::make_none(&args[2]);
	}
	cell::make_integer(&args[3], s.line);
	if (value) {
		args[4] = *value;
	} else {
		uint32_t a = base_index + source_index(s, start) + 1;
		uint32_t b = base_index + source_index(s, end) + 1;
		cell::set(&args[4], T_PAIR, 0, a, b);
	}
	bool verdict = callback_hooks.call(s.callback, args, s.optional_slots);
	if (s.source && cell::type_of(&args[1]) == cell::type_of(s.source) && args[1].data1 != set_index) {
		int64_t index = int64_t(int32_t(args[1].data1)) - int64_t(base_index);
		if (index < 0) index = 0;
		const uint8_t* p = is_text(s.source)
			? unicode::skip_codepoints(s.input, s.input_end, uint32_t(index))
			: s.input + (index > s.input_end - s.input ? s.input_end - s.input : index);
		s.position = p;
		s.cached_position = s.input;
		s.cached_codepoints = 0;
	}
	stack::top = args;
	return verdict;
}

// A name against an event name, ignoring the case of ASCII letters.
bool same_ascii_name(const char* event, const uint8_t* name, uint32_t length) {
	if (std::strlen(event) != length) return false;
	for (uint32_t i = 0; i < length; i++) {
		uint8_t c = name[i] >= 'A' && name[i] <= 'Z' ? uint8_t(name[i] + 32) : name[i];
		if (c != uint8_t(event[i])) return false;
	}
	return true;
}

// The event mask of a callback: the event words of the block that opens
// its body, else every event.
uint32_t event_mask_of(const Cell* callback, uint32_t* optional_slots) {
	Cell body;
	*optional_slots = 0;
	if (!callback_hooks.inspect || !callback_hooks.inspect(callback, &body, optional_slots)) return EV_ALL;
	if (!cell::is(&body, T_BLOCK)) return EV_ALL;
	Series* b = memory::buffer_of(&body);
	if (body.data1 >= b->used() / sizeof(Cell)) return EV_ALL;
	Cell* first = b->head_cell() + body.data1;
	if (!cell::is(first, T_BLOCK) || !word_hooks.name) return EV_ALL;
	uint32_t mask = 0;
	Series* events = memory::buffer_of(first);
	Cell* end = events->tail_cell();
	for (Cell* w = events->head_cell() + first->data1; w < end; w++) {
		if (!cell::is(w, T_WORD)) continue;
		uint32_t length;
		const uint8_t* name = word_hooks.name(w, &length);
		for (uint32_t i = 0; i < 6; i++)
			if (same_ascii_name(event_names[i], name, length)) mask |= 1u << i;
	}
	return mask;
}

// ---------------------------------------------------------------- levels

// Makes `out` a block! of `count` token cells from `first` (the token
// buffer does not move: nothing is emitted meanwhile).
void make_series(Cell* out, uint32_t first, uint32_t count) {
	block::make_at(out, int32_t(count));
	Series* b = memory::buffer_of(out);
	std::memcpy(b->head_ptr(), cell_at(first), size_t(count) * sizeof(Cell));
	b->tail = b->head + count * uint32_t(sizeof(Cell));
}

void open_level(Scan& s, uint32_t type, const uint8_t* start, bool new_line) {
	uint32_t marker = s.tail;
	Cell* m = emit(s);
	cell::set(m, T_TRIPLE | (new_line ? FLAG_NEW_LINE : 0), marker - s.head, type, uint32_t(start - s.input));
	s.head = marker + 1;
	s.start_state = ST_START;
	s.token_type = int32_t(type);
	report(s, EV_OPEN, int32_t(type), start, start + 1, nullptr);
}

// The cells of the innermost level become one value of `type` written over
// its marker (nothing is built when not loading).
void close_level(Scan& s, uint32_t type, const uint8_t* start, const uint8_t* end) {
	uint32_t marker = s.head - 1;
	Cell* m = cell_at(marker);
	uint32_t outer_head = marker - m->data1;
	uint32_t count = s.tail - s.head;
	if (s.load) {
		if (type == T_MAP) {
			if (count % 2) fail(s, s.input + m->data3, end, T_MAP);
			Cell out = *m;
			s.token_start = s.input + m->data3;
			extended.map(s, &out, cell_at(s.head), count);
			m = cell_at(marker);
			m->header = (out.header & ~FLAG_NEW_LINE) | (m->header & FLAG_NEW_LINE);
			m->data1 = out.data1;
			m->data2 = out.data2;
			m->data3 = out.data3;
		} else {
			uint32_t new_line = m->header & FLAG_NEW_LINE;
			make_series(m, s.head, count);
			m->header = new_line | type;
		}
		s.tail = marker + 1;
	} else {
		s.tail = marker;
	}
	s.head = outer_head;
	s.start_state = ST_START;
	s.token_type = int32_t(type);
	report(s, EV_CLOSE, int32_t(type), start, end, nullptr);
}

// A closing "]" or ")" for a level of `type`.
void close_with(Scan& s, uint32_t type, const uint8_t* start, const uint8_t* end) {
	Cell* m = innermost(s);
	uint32_t open = m ? level_type(m) : type;
	bool matches = m && (open == type || (type == T_BLOCK && open == T_MAP));
	if (!matches) {
		s.unmatched_type = int32_t(open);
		fail(s, start, end, ERR_UNMATCHED);
	}
	close_level(s, open, start, end);
}

// Ends the innermost path level: a ":" after it (or a set-word as its last
// segment) makes it a set-path!.
void close_path(Scan& s) {
	const uint8_t* p = s.position;
	Cell* m = innermost(s);
	uint32_t type = level_type(m);
	bool set = false;
	if (p < s.input_end && *p == ':') {
		set = true;
		p++;
		if (p < s.input_end && *p == '/') fail(s, s.input + m->data3, p + 1, T_PATH);
	} else if (s.token_type == T_SET_WORD) {
		set = true;
		if (s.load && s.tail > s.head) cell::set_type(cell_at(s.tail - 1), T_WORD);
	}
	if (set) {
		if (type != T_PATH) {
			s.unmatched_type = int32_t(type);
			fail(s, s.input + m->data3, p, ERR_UNMATCHED);
		}
		type = T_SET_PATH;
	}
	s.position = p;
	close_level(s, type, s.input + m->data3, p);
}

// After a segment: "/" reads the next one, anything else ends the path.
void path_continue(Scan& s) {
	const uint8_t* p = s.position;
	if (p < s.input_end && *p == '/') {
		s.position = p + 1;
		s.start_state = ST_SEGMENT;
		return;
	}
	close_path(s);
}

// "/" after a word: opens a path (or goes on with one) and loads the word.
void path_scanner(Scan& s, const uint8_t* start, const uint8_t* end, uint32_t flags) {
	const uint8_t* word_end = end - 1;
	bool opening = s.start_state != ST_SEGMENT;
	if (opening) {
		uint32_t type = *start == '\'' ? T_LIT_PATH : *start == ':' ? T_GET_PATH : T_PATH;
		open_level(s, type, start, s.line_feeds > 0);
		if (type != T_PATH) start++;
	}
	token_entries[TK_WORD].scanner(s, start, word_end, flags, false);
	if (s.load) {
		uint32_t mark = s.tail;
		token_entries[TK_WORD].loader(s, start, word_end, flags, true);
		if (!opening && s.line_feeds > 0 && s.tail > mark) cell_at(mark)->header |= FLAG_NEW_LINE;
	}
	s.token_type = int32_t(level_type(innermost(s)));
	s.position = end;
	s.start_state = ST_SEGMENT;
}

}  // namespace

// "(": a point literal when the text up to the first "," is all point
// characters, else a paren level. Text that ends before any "," is a paren,
// so an unfinished "(1 + 2" is reported as a missing ")".
bool point_ahead(const uint8_t* p, const uint8_t* end) {
	if (end - p < 3) return false;
	for (; p < end; p++) {
		switch (*p) {
		case ',': return true;
		case '\t': case ' ': case '#': case '+': case '-': case '.':
		case 'A': case 'E': case 'F': case 'I': case 'N': case 'a': case 'e': case 'f': case 'i': case 'n':
			continue;
		default:
			if (*p >= '0' && *p <= '9') continue;
			return false;
		}
	}
	return false;
}

namespace {

// ---------------------------------------------------------------- the machine

struct Lexeme {
	const uint8_t* start;
	const uint8_t* end;
	uint32_t flags;
	uint32_t k;
	uint8_t before;  // the working state before the final one
};

// Reads one token from the scan's position in its start state.
inline Lexeme next_token(Scan& s) {
	const uint8_t* p = s.position;
	const uint8_t* end = s.input_end;
	uint32_t state = s.start_state;
	int32_t line = s.line;
	if (state == ST_START) {
		// Leading white space, line feeds counted for the new-line marker.
		while (p < end) {
			uint32_t k = classes[*p] & 0xFF;
			if (k == CL_LF) line++;
			else if (k != CL_BLANK && k != CL_CONTROL) break;
			p++;
		}
	}
	s.line_feeds = line - s.line + s.carried_feeds;
	s.carried_feeds = 0;
	Lexeme t;
	t.start = p;
	uint32_t flags = 0;
	uint32_t row = state * CLASS_COUNT;
	uint32_t next;
	for (;;) {
		uint32_t k;
		if (p < end) {
			uint32_t entry = classes[*p];
			flags |= entry;
			k = entry & 0xFF;
		} else {
			k = CL_END;
			flags |= FL_END;
		}
		next = steps[row + k];
		if (next & STEP_FINAL) break;
		line += k == CL_LF;
		row = next;
		p++;
	}
	next &= ~uint32_t(STEP_FINAL);
	state = row / CLASS_COUNT;
	s.line = line;
	t.k = next - FINAL_BASE;
	t.before = uint8_t(state);
	t.flags = flags;
	bool own_byte = p < end && (closes_on_byte[t.k] || t.k == TK_ERROR || (t.k == TK_FILE && state == ST_FILE_QUOTED) ||
		(t.k == TK_POINT && state == ST_POINT));
	t.end = p + (own_byte ? 1 : 0);
	s.token_start = t.start;
	s.token_end = t.end;
	s.position = t.end;
	s.before_final = t.before;
	s.string_type = -1;
	s.token_type = state_types[next];
	s.token_class = int32_t(t.k);
	return t;
}

// A word token may carry white-space codepoints (U+00A0 and the like):
// leading ones are skipped, the word ends before the first one inside.
// Answers false when nothing but white space was there.
bool trim_word(Scan& s, Lexeme& t) {
	const uint8_t* p = t.start;
	while (p < t.end && *p >= 0x80) {
		int32_t cp;
		const uint8_t* q = unicode::detail::decode_sequence<true>(p, t.end, &cp);
		if (cp < 0) fail(s, t.start, t.end, T_WORD);
		if (!is_space_codepoint(cp)) break;
		p = q;
	}
	if (p == t.end) return false;
	t.start = p;
	for (const uint8_t* q = p; q < t.end;) {
		if (*q < 0x80) {
			q++;
			continue;
		}
		int32_t cp;
		const uint8_t* r = unicode::detail::decode_sequence<true>(q, t.end, &cp);
		if (cp >= 0 && is_space_codepoint(cp)) {
			t.end = q;
			s.position = s.token_end = q;
			break;
		}
		q = r;
	}
	return true;
}

void braced_open(Scan& s, const Lexeme& t) {
	if (s.brace_depth == 0) {
		s.brace_start = t.start;
		s.brace_flags = s.line_feeds > 0 ? FL_BRACE_NEW_LINE : 0;
		report(s, EV_OPEN, T_STRING, t.start, t.end, nullptr);
	}
	s.brace_depth++;
	s.brace_flags |= t.flags;
	s.start_state = ST_BRACED;
}

// A "}" in a braced string; at depth 0 the string is complete.
void braced_close(Scan& s, const Lexeme& t) {
	s.brace_flags |= t.flags;
	if (--s.brace_depth > 0) return;
	s.start_state = ST_START;
	s.token_type = T_STRING;
	const uint8_t* start = s.brace_start;
	s.token_start = start;
	if (!s.load) {
		check_text(s, start + 1, t.end - 1, true, T_STRING);
		return;
	}
	uint32_t mark = s.tail;
	load_text(s, emit(s), start + 1, t.end - 1, s.brace_flags, true, T_STRING);
	if (s.brace_flags & FL_BRACE_NEW_LINE) cell_at(mark)->header |= FLAG_NEW_LINE;
	if (!report(s, EV_LOAD, T_STRING, start, t.end, cell_at(mark))) s.tail = mark;
}

void comma(Scan& s, const Lexeme& t) {
	Cell* m = innermost(s);
	if (!m || (level_type(m) != T_PAREN && level_type(m) != T_POINT2D)) fail(s, t.start, t.end, T_POINT2D);
	uint32_t commas = (m->data2 >> 16) + 1;
	m->data2 = commas << 16 | T_POINT2D;
}

// Structural tokens (classes up to the comma).
void structural(Scan& s, Lexeme& t) {
	switch (t.k) {
	case TK_BLOCK_OPEN: open_level(s, T_BLOCK, t.start, s.line_feeds > 0); break;
	case TK_BLOCK_CLOSE: close_with(s, T_BLOCK, t.start, t.end); break;
	case TK_PAREN_OPEN:
		if (point_ahead(t.end, s.input_end)) {
			s.point_line_feeds = s.line_feeds;
			s.start_state = ST_POINT;
		} else {
			open_level(s, T_PAREN, t.start, s.line_feeds > 0);
		}
		break;
	case TK_PAREN_CLOSE: close_with(s, T_PAREN, t.start, t.end); break;
	case TK_BRACE_OPEN: braced_open(s, t); break;
	case TK_BRACE_CLOSE: braced_close(s, t); break;
	case TK_MAP_OPEN: open_level(s, T_MAP, t.start, s.line_feeds > 0); break;
	case TK_PATH: path_scanner(s, t.start, t.end, t.flags); break;
	case TK_CONSTRUCT: {
		uint32_t mark = s.tail;
		token_entries[TK_CONSTRUCT].scanner(s, t.start, t.end, t.flags, s.load);
		if (s.load && s.line_feeds > 0) cell_at(mark)->header |= FLAG_NEW_LINE;
		break;
	}
	case TK_COMMA: comma(s, t); break;
	default: break;  // comments
	}
}

// Value tokens: validate, report, build, report.
void value(Scan& s, Lexeme& t) {
	const TokenEntry& e = token_entries[t.k];
	bool wants_scan = s.callback && (s.event_mask & EV_SCAN);
	bool build = s.load;
	const uint8_t* start = t.start;
	const uint8_t* end = t.end;
	if (!s.load || e.scanner || wants_scan) {
		(e.scanner ? e.scanner : e.loader)(s, start, end, t.flags, false);
		if (wants_scan) {
			const uint8_t* a = t.k == TK_POINT ? start - 1 : start;
			build = report(s, EV_SCAN, s.token_type, a, end, nullptr) && build;
		}
	}
	if (!build) return;
	uint32_t mark = s.tail;
	e.loader(s, start, end, t.flags, true);
	if (s.tail == mark) return;
	int32_t feeds = t.k == TK_POINT ? s.point_line_feeds : s.line_feeds;
	if (feeds > 0) cell_at(mark)->header |= FLAG_NEW_LINE;
	if (s.callback && !report(s, EV_LOAD, s.token_type, start, end, cell_at(mark))) s.tail = mark;
}

// The prescan answer for a token: its level's type for openings.
int32_t prescan_type(Scan& s, const Lexeme& t) {
	switch (t.k) {
	case TK_BLOCK_OPEN: return T_BLOCK;
	case TK_PAREN_OPEN: return point_ahead(t.end, s.input_end) ? T_POINT2D : T_PAREN;
	case TK_BRACE_OPEN: return T_STRING;
	case TK_MAP_OPEN: return T_MAP;
	case TK_PATH: return *t.start == '\'' ? T_LIT_PATH : *t.start == ':' ? T_GET_PATH : T_PATH;
	default: return s.token_type;
	}
}

// True when one-value modes have their value.
inline bool complete(Scan& s) {
	if (s.token_type <= 0 || s.brace_depth > 0 || in_path(s) || s.start_state == ST_POINT) return false;
	uint32_t n = s.tail - s.base;
	return n == 0 || (n == 1 && !is_marker(cell_at(s.base)));
}

// A token that completes a value (a value token, a closing, a construction),
// outside a braced string or a point literal still being read.
inline bool completes_value(const Scan& s, uint32_t k) {
	if (s.brace_depth > 0 || s.start_state == ST_POINT) return false;
	return k > TK_COMMA || k == TK_BLOCK_CLOSE || k == TK_PAREN_CLOSE || k == TK_BRACE_CLOSE || k == TK_CONSTRUCT;
}

void run(Scan& s) {
	while (s.position < s.input_end) {
		uint8_t start_state = s.start_state;
		Lexeme t = next_token(s);
		if (t.k == TK_END) {
			s.position = s.input_end;
			break;
		}
		if (t.k == TK_ERROR) {
			int32_t code = state_types[t.before] ? int32_t(state_types[t.before]) : int32_t(ERR_BAD_CHAR);
			if (s.brace_depth > 0) t.start = s.brace_start;
			fail(s, t.start, t.end, code);
		}
		if (t.k == TK_WORD && (t.flags & FL_WIDE)) {
			// White space such as U+00A0 that the automaton read as a word:
			// what follows it is read anew, as after any white space.
			const uint8_t* start = t.start;
			bool word = trim_word(s, t);
			if (!word || t.start != start) {
				if (word) s.position = t.start;  // else it is past the white space
				s.carried_feeds += s.line_feeds;
				continue;
			}
		}
		if (s.prescan) {
			if (t.k <= TK_STRING && token_entries[t.k].scanner) token_entries[t.k].scanner(s, t.start, t.end, t.flags, false);
			s.token_type = prescan_type(s, t);
			if (s.token_type > 0) break;
			if (t.k == TK_BRACE_CLOSE || t.k == TK_BLOCK_CLOSE || t.k == TK_PAREN_CLOSE) fail(s, t.start, t.end, ERR_UNMATCHED);
			continue;
		}
		if (s.callback && start_state != ST_BRACED) {
			int32_t type = s.token_type > 0 ? s.token_type : -int32_t(t.k + 1);
			const uint8_t* position = s.position;
			bool wanted = report(s, EV_PRESCAN, type, t.start, t.end, nullptr);
			if (!wanted || s.position != position) continue;  // skipped, or moved past it
		}
		if (t.k <= TK_COMMA) {
			structural(s, t);
		} else {
			value(s, t);
			if (start_state == ST_POINT) s.start_state = ST_START;
		}
		if (completes_value(s, t.k) && in_path(s)) path_continue(s);
		if (s.one_value && complete(s)) break;
	}
}

// Raises for the innermost level left open at the end.
void check_levels(Scan& s) {
	Cell* m = innermost(s);
	if (!m) return;
	if (s.prescan && is_path_type(level_type(m))) {
		s.token_type = int32_t(level_type(m));
		return;
	}
	if (s.start_state == ST_SEGMENT) fail(s, s.input + m->data3, s.input_end, T_PATH);
	s.unmatched_type = int32_t(level_type(m));
	fail(s, s.input + m->data3, s.input_end, ERR_UNCLOSED);
}

// Unlinks a scan however it ends; a throw drops its output.
struct Link {
	Scan& s;
	explicit Link(Scan& scan) : s(scan) {
		s.previous = active;
		if (active) active->next = &s;
		active = &s;
	}
	~Link() {
		active = s.previous;
		if (active) active->next = nullptr;
	}
};

// Room on the scratch stack, or on the heap when the scratch has too
// little left; given back when it goes out of scope (scans nest, so the
// scratch is used as a stack).
struct ScratchRoom {
	uint8_t* heap = nullptr;
	uint32_t saved = scratch_used;
	uint8_t* reserve(uint64_t size) {
		if (size <= SCRATCH_BYTES - scratch_used) {
			uint8_t* at = scratch + scratch_used;
			scratch_used += uint32_t(size);
			return at;
		}
		heap = static_cast<uint8_t*>(std::malloc(size_t(size)));
		if (!heap) errors::fire(errors::id::internal_no_memory);
		return heap;
	}
	~ScratchRoom() {
		std::free(heap);
		scratch_used = saved;
	}
};

void result_of(Scan& s, Cell* result, const Options& o) {
	uint32_t count = s.tail - s.base;
	if (s.token_type == T_ERROR && !s.load) {
		cell::make_none(result);
		return;
	}
	if (o.one_value && count >= 1 && !o.always_block && !o.into) {
		*result = *cell_at(s.base);
		return;
	}
	if (o.into) {
		for (uint32_t i = 0; i < count; i++) block::append_value(o.into, cell_at(s.base + i));
		*result = *o.into;
		return;
	}
	make_series(result, s.base, count);
}

}  // namespace

void init() {
	if (tokens) return;
	tokens = static_cast<Cell*>(std::malloc(TOKEN_CELLS_INITIAL * sizeof(Cell)));
	scratch = static_cast<uint8_t*>(std::malloc(SCRATCH_BYTES));
	if (!tokens || !scratch) errors::fire(errors::id::internal_no_memory);
	token_capacity = TOKEN_CELLS_INITIAL;
	scratch_used = 0;
	active = nullptr;
}

void release() {
	std::free(tokens);
	std::free(scratch);
	tokens = nullptr;
	scratch = nullptr;
	token_capacity = 0;
	active = nullptr;
}

namespace {

// `stable`: the bytes stay where they are while callbacks run.
int32_t scan_bytes(Cell* result, const uint8_t* bytes, uint32_t length, const Options& o, uint32_t* consumed,
	bool stable) {
	init();
	Scan s{};
	s.base = s.head = s.tail = active ? active->tail : 0;
	// A callback runs code that may move the source's buffer: scan a copy.
	ScratchRoom copy;
	if (o.callback && callback_hooks.call && !stable) {
		uint8_t* at = copy.reserve(uint64_t(length) + 1);
		std::memcpy(at, bytes, length);
		bytes = at;
	}
	s.input = s.position = s.token_end = bytes;
	s.input_end = bytes + length;
	s.line = 1;
	s.string_type = -1;
	s.load = !o.prescan && !o.scan;
	s.one_value = o.one_value || o.scan;
	s.prescan = o.prescan;
	s.source = o.source;
	s.cached_position = bytes;
	if (o.callback && callback_hooks.call) {
		s.callback = o.callback;
		s.event_mask = event_mask_of(o.callback, &s.optional_slots);
	}
	Link link(s);
	try {
		for (;;) {
			try {
				run(s);
				if (s.brace_depth > 0) fail(s, s.brace_start, s.input_end, T_STRING);
				check_levels(s);
				break;
			} catch (const Resume&) {
				// The bad token is dropped; the next one starts afresh.
				s.start_state = ST_START;
				s.brace_depth = 0;
				s.token_type = 0;
				s.unmatched_type = 0;
				s.string_type = -1;
			}
		}
	} catch (const Stop&) {
		// the type says what stopped it
	} catch (...) {
		// A traced scan into a block keeps the top-level values read before
		// the error (load/trap answers them with the error).
		if (o.into && o.callback && errors::pending == THROW_NONE) {
			for (uint32_t i = s.base; i < s.tail && !is_marker(cell_at(i)); i++) {
				Cell v = *cell_at(i);
				block::append_value(o.into, &v);
			}
		}
		s.tail = s.base;
		throw;
	}
	if (consumed) *consumed = is_text(s.source)
		? unicode::count_codepoints(s.input, s.position) : uint32_t(s.position - s.input);
	result_of(s, result, o);
	s.tail = s.base;
	int32_t type = s.token_type;
	return type < 0 ? 0 : type;
}

}  // namespace

int32_t scan(Cell* result, const uint8_t* bytes, uint32_t length, const Options& o, uint32_t* consumed) {
	return scan_bytes(result, bytes, length, o, consumed, false);
}

int32_t scan_string(Cell* result, Cell* string, int32_t length, const Options& options, uint32_t* consumed) {
	init();
	uint32_t units = string::vs_length(string);
	if (length >= 0 && uint32_t(length) < units) units = uint32_t(length);
	uint32_t width = string::width_of(string);
	uint64_t room = uint64_t(units) * (width == 1 ? 2 : width == 2 ? 3 : 4) + 1;
	ScratchRoom text;
	uint8_t* at = text.reserve(room);
	uint32_t bytes = unicode::to_utf8_into(string, at, int32_t(units), true);
	Options o = options;
	if (!o.source) o.source = string;
	return scan_bytes(result, at, bytes, o, consumed, true);
}

int32_t scan_series(Cell* result, Cell* series, int64_t length, const Options& options, uint32_t* consumed) {
	if (is_text(series))
		return scan_string(result, series, length < 0 ? -1 : int32_t(length > INT32_MAX ? INT32_MAX : length), options, consumed);
	Series* b = memory::buffer_of(series);
	uint32_t head = series->data1 < b->used() ? series->data1 : b->used();
	uint32_t available = b->used() - head;
	uint32_t n = length < 0 || length > int64_t(available) ? available : uint32_t(length);
	Options o = options;
	if (o.callback && !o.source) o.source = series;
	return scan(result, b->head_ptr() + head, n, o, consumed);
}

Cell* load(const uint8_t* bytes, uint32_t length) {
	Cell* slot = stack::alloc_slot();
	cell::make_none(slot);
	scan(slot, bytes, length, Options{});
	return slot;
}

void load_string(Cell* text, Cell* out) {
	Cell* slot = stack::alloc_slot();
	scan_string(slot, text, -1, Options{});
	*out = *slot;
	stack::pop(1);
}

void load_value(const uint8_t* text, uint32_t size, Cell* out) {
	Cell* block = stack::alloc_slot();
	Options o;
	o.one_value = true;
	o.always_block = true;
	uint32_t consumed = 0;
	scan(block, text, size, o, &consumed);
	// White space after the value is not more text ("1:30 " is one time!).
	while (consumed < size) {
		ByteClass k = class_of(text[consumed]);
		if (k != CL_BLANK && k != CL_LF && k != CL_CONTROL) break;
		consumed++;
	}
	Series* b = memory::buffer_of(block);
	if (consumed < size) cell::make_none(out);
	else if (b->used() == 0) cell::make_unset(out);
	else *out = *b->head_cell();
	stack::pop(1);
}

void mark_buffers(void (*visit)(Cell* value, void* data), void* data) {
	for (Scan* s = active; s; s = s->previous) {
		for (uint32_t i = s->base; i < s->tail; i++)
			if (!is_marker(cell_at(i))) visit(cell_at(i), data);
		if (s->source) visit(s->source, data);
		if (s->callback) visit(const_cast<Cell*>(s->callback), data);
	}
	if (!cell::is(&token_class_words, T_NONE)) visit(&token_class_words, data);
}

}  // namespace vyn::lexer
