// The parse engine. Rules are walked by index into their block (never by
// address), so a paren action may grow or move any buffer; the input is read
// through its node each time, and no buffer address is kept across a call
// that evaluates Vyn code (paren actions, the trace callback).
#include "runtime/evaluator/parse.h"

#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include "runtime/case_folding.h"
#include "runtime/collector.h"
#include "runtime/context.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/word.h"
#include "runtime/errors.h"
#include "runtime/evaluator/actions.h"
#include "runtime/evaluator/interpreter.h"
#include "runtime/evaluator/lexer.h"
#include "runtime/evaluator/stack.h"
#include "runtime/symbol.h"
#include "runtime/utf8.h"
#include "runtime/words.h"

namespace vyn::parse {

namespace {

Cell rule_stack;    // block!: three cells a frame
Cell series_stack;  // block!: saved inputs and collect targets

enum Kw : uint8_t {
	K_NONE_KW, K_ANY, K_SOME, K_OPT, K_WHILE, K_TO, K_THRU, K_SKIP, K_END, K_NONE, K_FAIL, K_REJECT,
	K_BREAK, K_NOT, K_AHEAD, K_QUOTE, K_IF, K_CASE, K_COPY, K_SET, K_INTO, K_REMOVE, K_INSERT,
	K_CHANGE, K_COLLECT, K_KEEP, K_BAR,
};
std::unordered_map<uint32_t, Kw> keywords;  // by canonical symbol
// By symbol id as written: the keyword + 1, or 0 when not looked up yet.
// Keeps the canonical lookup off the hot path of rule dispatch.
std::vector<uint8_t> keyword_cache;

// Command codes of the rule stack's command cells.
enum Command : int32_t {
	C_REPEAT = -1, C_TO = -2, C_THRU = -3, C_COPY = -4, C_SET = -5, C_NOT = -6, C_INTO = -7, C_REMOVE = -9,
	C_WHILE = -11, C_COLLECT = -12, C_KEEP = -13, C_KEEP_PAREN = -14, C_AHEAD = -16, C_CHANGE = -17,
	C_CHANGE_ONLY = -18, C_CASE = -19,
};

constexpr Type MARKER_TYPE = Type(31);
constexpr Type COMMAND_TYPE = Type(37);
constexpr uint32_t UNBOUNDED = 0xFFFFFFFFu;
constexpr uint32_t FRAME_BYTES = 3 * sizeof(Cell);
constexpr uint32_t BITSET_COMPLEMENT = 0x00080000u;  // series flag of a complemented bitset

// The outcome of matching one rule.
enum Res : uint8_t { FAIL, OK, BREAK, REJECT };
inline bool matched(Res r) { return r == OK || r == BREAK; }

// Leaves the engine when a paren action exited (errors::pending is set).
struct Leave {};

Kw learn_keyword(uint32_t id) {
	auto it = keywords.find(symbol::resolve(id));
	Kw k = it == keywords.end() ? K_NONE_KW : it->second;
	if (id >= keyword_cache.size()) keyword_cache.resize(size_t(id) + 256, 0);
	keyword_cache[id] = uint8_t(k + 1);
	return k;
}

inline Kw keyword_of(const Cell* v) {
	if (!cell::is(v, T_WORD)) return K_NONE_KW;
	uint32_t id = v->data2;
	if (id < keyword_cache.size() && keyword_cache[id]) return Kw(keyword_cache[id] - 1);
	return learn_keyword(id);
}

inline uint32_t cells_in(const Cell* block) { return memory::buffer_of(block)->used() / sizeof(Cell); }

// The cell at index i of a block's buffer, or null past its tail: one read
// of the buffer for the bound check and the address.
inline const Cell* cell_in(const Cell* block, uint32_t i) {
	Series* s = memory::buffer_of(block);
	return i < s->used() / sizeof(Cell) ? s->head_cell() + i : nullptr;
}

// A rule word's value. `rule_word` is the cell in the rules block itself: the
// first lookup leaves the word's index there (as evaluation does in code
// blocks), and later ones read the context's values straight. Anything else
// goes through context::get, which also raises for words without a value.
// No Vyn code runs here.
inline const Cell* value_of(const Cell* rule_word) {
	Cell* word = const_cast<Cell*>(rule_word);
	int32_t index = int32_t(word->data3);
	if (word->data1 && index >= 0)
		if (Cell* values = context::values(word->data1)) return values + index;
	return context::get(word);
}

// Bitset membership read straight from its bits (see string::bitset_has).
struct Bits {
	const uint8_t* bits;
	uint32_t bytes;
	bool complement;
	explicit Bits(const Cell* bitset) {
		Series* s = memory::buffer_of(bitset);
		bits = s->head_ptr();
		bytes = s->used();
		complement = (s->flags & BITSET_COMPLEMENT) != 0;
	}
	bool has(uint32_t cp) const {
		uint32_t byte = cp >> 3;
		return byte < bytes ? (bits[byte] & (0x80u >> (cp & 7))) != 0 : complement;
	}
};

// The bytes a value stands for on binary input: a byte (an integer or a
// char's code), a binary's bytes, a string's text as UTF-8. False for any
// other value, and for a byte value above 255: it matches nothing there.
bool needle_bytes(const Cell* v, std::string& out) {
	out.clear();
	switch (cell::type_of(v)) {
	case T_INTEGER: case T_CHAR: {
		uint32_t b = cell::is(v, T_CHAR) ? v->data2 : uint32_t(cell::get_integer(v));
		if (b > 255) return false;
		out.push_back(char(b));
		return true;
	}
	default: break;
	}
	Type t = cell::type_of(v);
	if (t != T_BINARY && !string::any_string(t)) return false;
	Cell c = *v;
	Series* s = memory::buffer_of(&c);
	uint32_t h = series::clamp_head(&c), n = series::units(s);
	if (t == T_BINARY) {
		out.assign(reinterpret_cast<const char*>(series::unit_at(s, h)), n - h);
		return true;
	}
	uint8_t u[4];
	for (uint32_t k = h; k < n; k++)
		out.append(reinterpret_cast<char*>(u), unicode::encode_utf8(unicode::get_unit(series::unit_at(s, k), s->unit()), u));
	return true;
}

// The upper-case mapping of every one-byte unit (some map above 255), for
// case-insensitive scans of one-byte text. Filled on first use, after the
// case tables exist.
const uint16_t* latin1_upper() {
	static uint16_t table[256];
	static bool filled = false;
	if (!filled) {
		for (uint32_t c = 0; c < 256; c++) table[c] = uint16_t(unicode::to_upper(c));
		filled = true;
	}
	return table;
}

// True for a codepoint that case folding leaves alone, so that a
// case-insensitive search may look for it as it is.
inline bool caseless(uint32_t cp) { return unicode::to_upper(cp) == cp && unicode::change_case(cp, false) == cp; }

struct Engine {
	Cell input;          // the series being matched; data1 unused (see pos)
	uint32_t part;       // index at which the input counts as ended
	bool text, binary;   // input kind (neither: a block)
	bool case_sensitive;
	Cell callback;
	uint32_t callback_slots = 0;  // its frame cells beyond the five arguments
	uint32_t bare_depth = 0;      // nested commands run without frames
	bool tracing = false;
	bool stopped = false;     // the callback answered false
	bool stop_state = false;  // the match state it was given then
	uint32_t collects = 0;    // open collects of this parse
	uint32_t target_at = 0;   // the innermost collect's target in the series stack
	Cell* result = nullptr;   // data-stack slot for a top-level plain collect's block
	bool collected = false;   // the slot holds it
	std::string needle;       // scratch: the bytes of a value on binary input
	// Counts the events after which the input may have shrunk: runs of Vyn
	// code (actions, trace calls, change handlers) and the engine's own
	// changes to a series.
	uint32_t epoch = 0;

	// ---- The input ----

	uint32_t length() const { return series::buffer_length(&input); }
	uint32_t tail() const {
		uint32_t n = length();
		return part < n ? part : n;
	}
	Cell at_pos(uint32_t pos) const {
		Cell c = input;
		c.data1 = pos;
		return c;
	}
	uint32_t unit(uint32_t pos) const {
		Series* s = memory::buffer_of(&input);
		return unicode::get_unit(series::unit_at(s, pos), s->unit());
	}
	Cell* cell_at(uint32_t pos) const { return block::vs_abs_at(&input, pos); }
	CompareOp op() const { return case_sensitive ? COMP_STRICT_EQUAL : COMP_EQUAL; }

	// The value at a position as one value: a cell, a char! or a byte.
	void value_at(uint32_t pos, Cell* out) const {
		if (text)
			cell::set(out, T_CHAR, 0, unit(pos));
		else if (binary)
			cell::make_integer(out, int32_t(unit(pos)));
		else
			*out = *cell_at(pos);
	}

	// After Vyn code ran: a position past the input's end comes back to it.
	void pull_back(uint32_t& pos) const {
		uint32_t n = length();
		if (pos > n) pos = n;
	}
	// A matched part [from, to) within the input, whatever the trace
	// callback or an action did to it meanwhile.
	void clamp_span(uint32_t& from, uint32_t& to) const {
		pull_back(to);
		if (from > to) from = to;
	}

	// ---- Rules ----

	static Cell* rule(const Cell* rules, uint32_t i) { return block::vs_abs_at(rules, i); }

	// The index past the rule unit at i (a keyword with its arguments). A
	// loop, not recursion: a chain of prefix keywords may be long.
	uint32_t skip_unit(const Cell* rules, uint32_t i) const {
		uint32_t n = cells_in(rules);
		uint32_t values = 0;  // replacement values of change after the unit
		while (i < n) {
			const Cell* v = rule(rules, i);
			if (cell::is(v, T_INTEGER)) {
				i++;
				if (i < n && cell::is(rule(rules, i), T_INTEGER)) i++;
				continue;
			}
			bool prefix = true;  // the unit goes on with a rule after these cells
			switch (keyword_of(v)) {
			case K_ANY: case K_SOME: case K_OPT: case K_WHILE: case K_TO: case K_THRU: case K_NOT: case K_AHEAD:
			case K_INTO:
				i++;
				break;
			case K_CASE: case K_COPY: case K_SET: i += 2; break;
			case K_QUOTE: case K_IF:
				i += 2;
				prefix = false;
				break;
			case K_REMOVE:
				prefix = !(i + 1 < n && cell::is(rule(rules, i + 1), T_GET_WORD));
				i += prefix ? 1 : 2;
				break;
			case K_KEEP:
				if (i + 1 < n && is_word(rule(rules, i + 1), words::sym_pick)) i++;
				i++;
				break;
			case K_COLLECT:
				if (i + 1 < n && collect_option(rule(rules, i + 1))) i += 2;
				i++;
				break;
			case K_INSERT:
				i++;
				if (i < n && is_word(rule(rules, i), words::sym_only)) i++;
				if (i < n && cell::is(rule(rules, i), T_GET_WORD)) i++;
				i++;
				prefix = false;
				break;
			case K_CHANGE:
				i++;
				if (i < n && is_word(rule(rules, i), words::sym_only)) i++;
				values++;
				break;
			default:
				i++;
				prefix = false;
			}
			if (!prefix) break;
		}
		i += values;
		return i < n ? i : n;
	}

	static bool is_word(const Cell* v, uint32_t sym) {
		return cell::is(v, T_WORD) && symbol::same_name(v->data2, sym);
	}
	static bool collect_option(const Cell* v) {
		return is_word(v, words::sym_set) || is_word(v, words::sym_into) || is_word(v, words::sym_after);
	}

	// The value a rule unit matches directly, when it is one: a literal, or
	// the value of a word that holds no block (into `tmp`). Null for sub-rules,
	// keywords, counts, actions and position words, which need the full
	// dispatch.
	const Cell* plain_value(const Cell* rules, uint32_t i, Cell& tmp) const {
		const Cell* v = cell_in(rules, i);
		if (!v) return nullptr;
		switch (cell::type_of(v)) {
		case T_BLOCK: case T_PAREN: case T_SET_WORD: case T_GET_WORD: case T_INTEGER: case T_PATH:
			return nullptr;
		case T_WORD: {
			if (keyword_of(v) != K_NONE_KW) return nullptr;
			tmp = *value_of(v);
			Type t = cell::type_of(&tmp);
			if (t == T_BLOCK || t == T_UNSET || (word::is_any_word(t) && t != T_LIT_WORD)) return nullptr;
			return &tmp;
		}
		default: return v;
		}
	}

	// ---- The work blocks ----

	static void check_room(const Cell* stack) {
		if (cells_in(stack) + 1 > STACK_LIMIT) errors::fire(errors::id::script_parse_stack);
	}

	// Three cells at the rule stack's tail, within its limit.
	static Cell* grow_rule_stack() {
		Series* s = memory::buffer_of(&rule_stack);
		if (s->used() + FRAME_BYTES > STACK_LIMIT * sizeof(Cell)) errors::fire(errors::id::script_parse_stack);
		if (s->size - s->tail >= FRAME_BYTES) {
			Cell* c = s->tail_cell();
			s->tail += FRAME_BYTES;
			return c;
		}
		for (int k = 0; k < 3; k++) memory::alloc_tail(&rule_stack);
		return block::vs_tail(&rule_stack) - 3;
	}

	// Pushes a frame: the rules at i, the marker and the command. The
	// marker's input length is read by the trace only, so it is filled in
	// only when tracing.
	void push_frame(const Cell* rules, uint32_t i, uint32_t pos, int32_t command, uint32_t a, uint32_t b) {
		stack::guard_native_stack();
		Cell r = *rules;
		Cell* f = grow_rule_stack();
		f[0] = r;
		f[0].data1 = i;
		cell::set(f + 1, MARKER_TYPE, i, pos, tracing ? length() : 0);
		cell::set(f + 2, COMMAND_TYPE, uint32_t(command), a, b);
		if (tracing) trace(words::w_push, true, rules, i, pos);
	}
	void pop_frame(const Cell* rules, uint32_t i, uint32_t pos, bool state) {
		memory::buffer_of(&rule_stack)->tail -= FRAME_BYTES;
		if (tracing) trace(words::w_pop, state, rules, i, pos);
	}

	// Runs `body` inside a command frame for the keyword at `at`.
	template <class Body>
	Res command(const Cell* rules, uint32_t at, uint32_t& i, uint32_t& pos, int32_t code, uint32_t a, uint32_t b,
		Body body) {
		if (!tracing) {
			// No frame is pushed (only the trace shows them), but the
			// nesting is bounded all the same. A keyword's nesting takes
			// more machine stack than a block's frame: it counts as two
			// frames, so the limit comes before the machine stack's end.
			if (++bare_depth > STACK_LIMIT / 6) errors::fire(errors::id::script_parse_stack);
			Res r = body();
			bare_depth--;
			return r;
		}
		push_frame(rules, at, pos, code, a, b);
		Res r = body();
		pop_frame(rules, i, pos, matched(r));
		return r;
	}

	// ---- Tracing ----

	void trace(const Cell* event, bool state, const Cell* rules, uint32_t i, uint32_t pos) {
		if (stopped) return;
		Cell* base = stack::top;
		Cell* args = stack::alloc_slot();
		args[0] = *event;
		stack::alloc_slot();
		cell::make_logic(args + 1, state);
		Cell* r = stack::push(rules);
		r->data1 = i;
		Cell in = at_pos(pos);
		stack::push(&in);
		// A copy: the engine's own frames stay out of the callback's reach.
		Cell frames = rule_stack;
		Cell* copy = stack::alloc_slot();
		*copy = *actions::copy(&frames, copy, nullptr, false, nullptr);
		Cell fn = callback;
		epoch++;
		bool go = interpreter::call_with(&fn, args, 5, callback_slots, words::w_frame_parse_callback);
		stack::top = base;
		if (errors::pending) throw Leave{};
		if (!go) {
			stopped = true;
			stop_state = state;
		}
	}

	void report_match(bool state, const Cell* rules, uint32_t i, uint32_t pos) {
		if (tracing) trace(words::w_match, state, rules, i, pos);
	}

	// ---- Evaluation ----

	// Evaluates a paren; its result to `out` (when given).
	void eval_paren(const Cell* paren, Cell* out) {
		Cell p = *paren;
		Cell* base = stack::top;
		epoch++;
		interpreter::eval(&p, false);
		if (errors::pending) throw Leave{};
		if (out) *out = *base;
		stack::top = base;
	}

	// The value argument of insert and change: a paren's result, a word's
	// value, else the value itself.
	void value_argument(const Cell* v, Cell* out) {
		if (cell::is(v, T_PAREN)) return eval_paren(v, out);
		if (cell::is(v, T_PATH)) errors::fire(errors::id::script_parse_rule, v);
		if (cell::is(v, T_WORD)) {
			Cell w = *v;
			*out = *context::get(&w);
			return;
		}
		*out = *v;
	}

	// The value argument of insert and change at i, in a new data-stack slot
	// (where the collector sees it while the trace callback runs); i moves
	// past it. The caller drops the slot.
	Cell* take_value(const Cell* rules, uint32_t& i, uint32_t& pos) {
		Cell* slot = stack::alloc_slot();
		bool paren = cell::is(rule(rules, i), T_PAREN);
		value_argument(rule(rules, i), slot);
		i++;
		if (tracing && paren) trace(words::w_paren, true, rules, i, pos);
		pull_back(pos);
		return slot;
	}

	// A position held by a get-word: it must be in the input series.
	uint32_t position_of(const Cell* get_word) {
		Cell w = *get_word;
		Cell v = *context::get(&w);
		if (!series::same_series(&v, &input)) errors::fire(errors::id::script_parse_invalid_ref, get_word);
		uint32_t n = length();
		return int32_t(v.data1) < 0 ? 0 : (v.data1 > n ? n : v.data1);
	}

	void set_word(const Cell* word, const Cell* value) {
		Cell w = *word;
		epoch++;  // an object's change handler may run
		context::set(&w, value);
	}

	// ---- Matching values ----

	// Matches one value at pos; on a match moves pos past it.
	bool match_value(const Cell* v, uint32_t& pos) {
		uint32_t end = tail();
		if (text) return match_text(v, pos, end);
		if (binary) return match_bytes(v, pos, end);
		if (pos >= end) return false;
		const Cell* in = cell_at(pos);
		bool ok;
		switch (cell::type_of(v)) {
		case T_DATATYPE: ok = cell::type_of(in) == Type(v->data1); break;
		case T_TYPESET: ok = block::typeset_has(v, cell::type_of(in)); break;
		case T_LIT_WORD:
			ok = word::is_any_word(cell::type_of(in)) && symbol::same_name(in->data2, v->data2);
			break;
		case T_LIT_PATH: {
			// Any of the four path types, compared as the input's type.
			Type t = cell::type_of(in);
			Cell path = *v;
			cell::set_type(&path, t);
			ok = t >= T_PATH && t <= T_GET_PATH && actions::compare(in, &path, op());
			break;
		}
		default: ok = actions::compare(in, v, op());
		}
		if (ok) pos++;
		return ok;
	}

	bool same_char(uint32_t a, uint32_t b) const {
		return a == b || (!case_sensitive && unicode::to_upper(a) == unicode::to_upper(b));
	}

	bool match_text(const Cell* v, uint32_t& pos, uint32_t end) {
		Type t = cell::type_of(v);
		if (t == T_DATATYPE || t == T_TYPESET) errors::fire(errors::id::script_parse_unsupported);
		if (t == T_CHAR) {
			if (pos >= end || !same_char(unit(pos), v->data2)) return false;
			pos++;
			return true;
		}
		if (t == T_BITSET) {
			if (pos >= end || !string::bitset_has(v, unit(pos))) return false;
			pos++;
			return true;
		}
		if (!string::any_string(t)) return false;
		Cell needle = *v;
		uint32_t n = string::vs_length(&needle) + (t == T_TAG ? 2 : 0);
		if (n == 0) return true;
		if (pos + uint64_t(n) > end) return false;
		Cell here = at_pos(pos);
		if (!string::match_value(&here, &needle, op())) return false;
		pos += n;
		return true;
	}

	bool match_bytes(const Cell* v, uint32_t& pos, uint32_t end) {
		switch (cell::type_of(v)) {
		case T_BITSET:
			if (pos >= end || !string::bitset_has(v, unit(pos))) return false;
			pos++;
			return true;
		case T_DATATYPE: case T_TYPESET: return match_scanned(v, pos, end);
		default: break;
		}
		if (!needle_bytes(v, needle)) return false;
		uint32_t n = uint32_t(needle.size());
		if (pos + uint64_t(n) > end) return false;
		const uint8_t* a = series::unit_at(memory::buffer_of(&input), pos);
		if (n && std::memcmp(a, needle.data(), n) != 0) return false;
		pos += n;
		return true;
	}

	// A datatype or typeset on binary input: the lexer recognises one value
	// in the bytes at pos (as UTF-8 source); it matches by its type, and the
	// input moves past what was scanned.
	bool match_scanned(const Cell* v, uint32_t& pos, uint32_t end) {
		if (pos >= end) return false;
		Cell rule_value = *v;
		Cell* slot = stack::alloc_slot();
		lexer::Options o;
		o.one_value = o.scan = true;
		uint32_t consumed = 0;
		const uint8_t* at = series::unit_at(memory::buffer_of(&input), pos);
		int32_t scanned = lexer::scan(slot, at, end - pos, o, &consumed);  // 0: no value
		stack::pop(1);
		Type t = Type(scanned);
		bool ok = scanned > 0 && t != T_ERROR && consumed &&
			(cell::is(&rule_value, T_DATATYPE) ? t == Type(rule_value.data1) : block::typeset_has(&rule_value, t));
		if (!ok) return false;
		pos += consumed < end - pos ? consumed : end - pos;
		return true;
	}

	// ---- Fast paths (no tracing) ----

	// A value that matches exactly one unit of text or binary input.
	bool single_unit(const Cell* v) const {
		switch (cell::type_of(v)) {
		case T_BITSET: return true;
		case T_CHAR: return text || v->data2 <= 0xFF;
		default: return false;
		}
	}

	// How many units from pos (at most max, before end) the single-unit value
	// v matches in a row.
	uint32_t span(const Cell* v, uint32_t pos, uint32_t end, uint32_t max) const {
		Series* s = memory::buffer_of(&input);
		uint32_t w = s->unit();
		uint32_t stop = end - pos > max ? pos + max : end;
		uint32_t p = pos;
		if (cell::is(v, T_BITSET)) {
			Bits bs(v);
			if (w == 1) {
				const uint8_t* u = s->head_ptr();
				while (p < stop && bs.has(u[p])) p++;
			} else {
				while (p < stop && bs.has(unicode::get_unit(series::unit_at(s, p), w))) p++;
			}
			return p - pos;
		}
		uint32_t c = v->data2;
		if (binary || case_sensitive || caseless(c)) {
			while (p < stop && unicode::get_unit(series::unit_at(s, p), w) == c) p++;
		} else {
			uint32_t up = unicode::to_upper(c);
			while (p < stop && unicode::to_upper(unicode::get_unit(series::unit_at(s, p), w)) == up) p++;
		}
		return p - pos;
	}

	// Searches text input from pos for a char, bitset or any-string value;
	// answers where its match starts (UNBOUNDED: nowhere) and in `after` where
	// it ends.
	uint32_t find_text(const Cell* v, uint32_t pos, uint32_t end, uint32_t& after) {
		Type t = cell::type_of(v);
		Series* s = memory::buffer_of(&input);
		uint32_t w = s->unit();
		if (t == T_BITSET) {
			Bits bs(v);
			for (uint32_t p = pos; p < end; p++)
				if (bs.has(unicode::get_unit(series::unit_at(s, p), w))) {
					after = p + 1;
					return p;
				}
			return UNBOUNDED;
		}
		Cell needle = *v;
		uint32_t n = 1, first;
		if (t == T_CHAR) {
			first = v->data2;
		} else {
			n = string::vs_length(&needle) + (t == T_TAG ? 2 : 0);
			if (n == 0) {
				after = pos;
				return pos;
			}
			first = t == T_TAG ? '<' : string::abs_char_at(&needle, needle.data1);
		}
		if (end < n) return UNBOUNDED;
		uint32_t last = end - n;  // the last position a match may start at
		bool exact = case_sensitive || caseless(first);
		uint32_t up = unicode::to_upper(first);
		for (uint32_t p = pos; p <= last; p++) {
			if (exact && w == 1) {
				if (first > 0xFF) return UNBOUNDED;
				const uint8_t* u = s->head_ptr();
				const void* hit = std::memchr(u + p, int(first), last + 1 - p);
				if (!hit) return UNBOUNDED;
				p = uint32_t(static_cast<const uint8_t*>(hit) - u);
			} else if (w == 1) {
				const uint8_t* u = s->head_ptr();
				const uint16_t* upper = latin1_upper();
				while (p <= last && upper[u[p]] != up) p++;
				if (p > last) return UNBOUNDED;
			} else {
				uint32_t c = unicode::get_unit(series::unit_at(s, p), w);
				if (exact ? c != first : unicode::to_upper(c) != up) continue;
			}
			if (n > 1) {
				Cell here = at_pos(p);
				if (!string::match_value(&here, &needle, op())) continue;
				s = memory::buffer_of(&input);
			}
			after = p + n;
			return p;
		}
		return UNBOUNDED;
	}

	// Searches binary input from pos for a value's bytes or a bitset.
	uint32_t find_bytes(const Cell* v, uint32_t pos, uint32_t end, uint32_t& after) {
		const uint8_t* u = memory::buffer_of(&input)->head_ptr();
		if (cell::is(v, T_BITSET)) {
			Bits bs(v);
			for (uint32_t p = pos; p < end; p++)
				if (bs.has(u[p])) {
					after = p + 1;
					return p;
				}
			return UNBOUNDED;
		}
		if (!needle_bytes(v, needle)) return UNBOUNDED;
		uint32_t n = uint32_t(needle.size());
		if (pos + uint64_t(n) > end) return UNBOUNDED;
		const void* hit = n ? memmem(u + pos, end - pos, needle.data(), n) : u + pos;
		if (!hit) return UNBOUNDED;
		uint32_t p = uint32_t(static_cast<const uint8_t*>(hit) - u);
		after = p + n;
		return p;
	}

	// Searches block input from pos for a value that matches v.
	uint32_t find_cell(const Cell* v, uint32_t pos, uint32_t end, uint32_t& after) {
		for (uint32_t p = pos; p < end; p++) {
			uint32_t q = p;
			if (match_value(v, q)) {
				after = q;
				return p;
			}
		}
		return UNBOUNDED;
	}

	// ---- Captures and collections ----

	// A copy of the input from `from` to `to`.
	void copy_part(uint32_t from, uint32_t to, Cell* out) {
		Cell src = at_pos(from);
		Cell count;
		cell::make_integer(&count, to > from ? int32_t(to - from) : 0);
		Cell* base = stack::top;
		Cell* slot = stack::alloc_slot();
		Cell* r = actions::copy(&src, slot, &count, false, nullptr);
		*out = *r;
		stack::top = base;
	}

	// Adds a value to the innermost collection.
	void keep_value(const Cell* value, const Cell* rules, uint32_t i) {
		if (!collects) errors::fire(errors::id::script_parse_keep, rule(rules, i));
		Cell t = *block::vs_abs_at(&series_stack, target_at);
		Cell v = *value;
		Cell* base = stack::top;
		epoch++;
		Cell* r = actions::get<action::InsertFn>(&t, A_INSERT)(&t, &v, -1, true, 1, false);
		uint32_t at = r->data1;
		stack::top = base;
		// The insert may have run change handlers: re-derive the slot.
		block::vs_abs_at(&series_stack, target_at)->data1 = at;
	}

	// ---- The rules ----

	// Matches a block's alternatives at pos.
	Res match_block(const Cell* rules_in, uint32_t& pos) {
		Cell rules = *rules_in;
		uint32_t start = series::clamp_head(&rules);
		push_frame(&rules, start, pos, 0, 0, 0);
		uint32_t entry = pos, seen = epoch;
		uint32_t i = start;
		Res res = OK;
		for (;;) {
			if (stopped) break;
			Series* rs = memory::buffer_of(&rules);
			uint32_t n = rs->used() / sizeof(Cell);
			if (i >= n) break;
			const Cell* v = rs->head_cell() + i;
			// The dispatch of match_rule, inline: the keyword is looked up once.
			Kw k = keyword_of(v);
			if (k == K_BAR) {
				if (i + 1 >= n) errors::fire(errors::id::script_parse_end, v);
				break;
			}
			if (tracing) {
				trace(words::w_fetch, true, &rules, i, pos);
				// The callback ran code: the rules' buffer may have moved.
				v = cell_in(&rules, i);
				if (!v) break;
			}
			uint32_t next = i + 1;
			Res r;
			if (k != K_NONE_KW)
				r = match_keyword(k, &rules, i, next, pos);
			else if (cell::is(v, T_WORD))
				r = match_word(&rules, i, next, pos);
			else {
				next = i;
				r = match_rule(&rules, next, pos);
			}
			if (r == OK) {
				i = next;
				continue;
			}
			if (r != FAIL) {
				res = r;
				break;
			}
			// Failed: on to the next alternative, from the block's entry.
			uint32_t bar = find_bar(&rules, next);
			pos = entry;
			if (bar == UNBOUNDED) {
				res = FAIL;
				break;
			}
			i = bar + 1;
		}
		if (res == REJECT) pos = entry;
		if (epoch != seen) pull_back(pos);
		pop_frame(&rules, i, pos, matched(res));
		return res;
	}

	uint32_t find_bar(const Cell* rules, uint32_t i) const {
		uint32_t n = cells_in(rules);
		for (; i < n; i++)
			if (keyword_of(rule(rules, i)) == K_BAR) return i;
		return UNBOUNDED;
	}

	// The keyword's argument must be there.
	void need(const Cell* rules, uint32_t i, uint32_t kw_index) {
		if (i >= cells_in(rules)) errors::fire(errors::id::script_parse_end, rule(rules, kw_index));
	}

	// Matches the rule unit at i; i moves past the unit. A position past the
	// rules' end (an action shortened them) is an empty rule.
	Res match_rule(const Cell* rules, uint32_t& i, uint32_t& pos) {
		uint32_t at = i;
		const Cell* c = cell_in(rules, at);
		if (!c) return OK;
		i++;
		// Kept small, with the common kinds tested first: the heavy cases
		// live in their own functions so this one needs no large frame.
		switch (cell::type_of(c)) {
		case T_WORD: {
			Kw k = keyword_of(c);
			if (k != K_NONE_KW) return match_keyword(k, rules, at, i, pos);
			return match_word(rules, at, i, pos);
		}
		case T_BLOCK: {
			Cell v = *c;
			return match_block(&v, pos);
		}
		case T_PAREN: return match_paren(rules, at, i, pos);
		default: return match_other(rules, at, i, pos);
		}
	}

	[[gnu::noinline]] Res match_paren(const Cell* rules, uint32_t at, uint32_t& i, uint32_t& pos) {
		eval_paren(rule(rules, at), nullptr);
		pull_back(pos);
		// The action may have shortened the rules.
		uint32_t n = cells_in(rules);
		if (i > n) i = n;
		if (tracing) trace(words::w_paren, true, rules, i, pos);
		return OK;
	}

	// A word that is no keyword: its value is the rule.
	[[gnu::noinline]] Res match_word(const Cell* rules, uint32_t at, uint32_t& i, uint32_t& pos) {
		Cell w = *rule(rules, at);
		Cell value = *value_of(rule(rules, at));
		if (cell::is(&value, T_UNSET)) errors::fire(errors::id::script_no_value, &w);
		if (word::is_any_word(cell::type_of(&value)) && !cell::is(&value, T_LIT_WORD))
			errors::fire(errors::id::script_parse_rule, &w);
		if (cell::is(&value, T_BLOCK)) return match_block(&value, pos);
		bool ok = match_value(&value, pos);
		report_match(ok, rules, i, pos);
		return ok ? OK : FAIL;
	}

	[[gnu::noinline]] Res match_other(const Cell* rules, uint32_t at, uint32_t& i, uint32_t& pos) {
		Cell v = *rule(rules, at);
		switch (cell::type_of(&v)) {
		case T_SET_WORD: {
			Cell here = at_pos(pos);
			set_word(&v, &here);
			return OK;
		}
		case T_GET_WORD: pos = position_of(&v); return OK;
		case T_INTEGER: return match_count(rules, at, i, pos);
		case T_PATH: errors::fire(errors::id::script_parse_rule, &v);
		default: {
			bool ok = match_value(&v, pos);
			report_match(ok, rules, i, pos);
			return ok ? OK : FAIL;
		}
		}
	}

	// n rule, or n m rule.
	Res match_count(const Cell* rules, uint32_t at, uint32_t& i, uint32_t& pos) {
		const Cell* first = rule(rules, at);
		int32_t lo = cell::get_integer(first), hi = lo;
		uint32_t n = cells_in(rules);
		if (i < n && cell::is(rule(rules, i), T_INTEGER)) {
			hi = cell::get_integer(rule(rules, i));
			i++;
		}
		if (lo < 0 || hi < 0) errors::fire(errors::id::script_out_of_range, lo < 0 ? first : rule(rules, i - 1));
		if (i >= n || hi < lo) errors::fire(errors::id::script_parse_rule, rule(rules, i - 1));
		if (hi == 0) {
			i = skip_unit(rules, i);
			return OK;
		}
		return repeat(rules, at, i, pos, uint32_t(lo), uint32_t(hi), C_REPEAT);
	}

	// Repeats the rule unit at i from min to max times.
	Res repeat(const Cell* rules, uint32_t at, uint32_t& i, uint32_t& pos, uint32_t min, uint32_t max,
		int32_t code) {
		uint32_t arg = i;
		return command(rules, at, i, pos, code, min, max, [&] {
			if (!tracing && code == C_REPEAT) {
				Cell tmp;
				if (const Cell* v = plain_value(rules, arg, tmp)) {
					i = arg + 1;
					return repeat_value(v, pos, min, max);
				}
			}
			i = skip_unit(rules, arg);
			uint32_t count = 0, entry = pos, seen = epoch;
			while (count < max && !stopped) {
				if (count && tracing) trace(words::w_iterate, true, rules, arg, pos);
				uint32_t before = pos, size = length();
				Res r;
				const Cell* c = cell_in(rules, arg);
				if (c && cell::is(c, T_BLOCK)) {
					Cell b = *c;
					r = match_block(&b, pos);
				} else {
					uint32_t j = arg;
					r = match_rule(rules, j, pos);
				}
				if (r == FAIL) {
					pos = before;
					break;
				}
				if (r == REJECT) {
					pos = entry;
					pull_back(pos);
					return FAIL;
				}
				count++;
				if (r == BREAK) break;
				if (code != C_WHILE && pos == before && length() >= size) break;
			}
			if (count < min) pos = entry;
			// A position restored from before an action may lie past the end.
			if (epoch != seen) pull_back(pos);
			if (count < min) return FAIL;
			return OK;
		});
	}

	// A repetition of a plain value, without the dispatch of each iteration.
	Res repeat_value(const Cell* v, uint32_t& pos, uint32_t min, uint32_t max) {
		uint32_t count;
		if ((text || binary) && single_unit(v)) {
			uint32_t end = tail();
			count = pos < end ? span(v, pos, end, max) : 0;
			if (count < min) return FAIL;
			pos += count;
			return OK;
		}
		uint32_t p = pos;
		for (count = 0; count < max; count++) {
			uint32_t before = p;
			if (!match_value(v, p)) break;
			if (p == before) {  // no progress ends the loop, as in repeat
				count++;
				break;
			}
		}
		if (count < min) return FAIL;
		pos = p;
		return OK;
	}

	[[gnu::noinline]] Res match_keyword(Kw k, const Cell* rules, uint32_t at, uint32_t& i, uint32_t& pos) {
		// Keywords nest without frames when not tracing: a long chain of them
		// must meet the machine stack's limit as an error.
		stack::guard_native_stack();
		switch (k) {
		case K_ANY: need(rules, i, at); return repeat(rules, at, i, pos, 0, UNBOUNDED, C_REPEAT);
		case K_SOME: need(rules, i, at); return repeat(rules, at, i, pos, 1, UNBOUNDED, C_REPEAT);
		case K_OPT: need(rules, i, at); return repeat(rules, at, i, pos, 0, 1, C_REPEAT);
		case K_WHILE: need(rules, i, at); return repeat(rules, at, i, pos, 0, UNBOUNDED, C_WHILE);
		case K_SKIP: {
			bool ok = pos < tail();
			if (ok) pos++;
			report_match(ok, rules, i, pos);
			return ok ? OK : FAIL;
		}
		case K_END: {
			bool ok = pos >= tail();
			report_match(ok, rules, i, pos);
			return ok ? OK : FAIL;
		}
		case K_NONE: report_match(true, rules, i, pos); return OK;
		case K_FAIL: report_match(false, rules, i, pos); return FAIL;
		case K_REJECT: report_match(false, rules, i, pos); return REJECT;
		case K_BREAK: report_match(true, rules, i, pos); return BREAK;
		case K_BAR: errors::fire(errors::id::script_parse_end, rule(rules, at));
		case K_TO: case K_THRU:
			need(rules, i, at);
			return command(rules, at, i, pos, k == K_THRU ? C_THRU : C_TO, 0, 0,
				[&] { return search(k == K_THRU, rules, i, pos); });
		case K_NOT: case K_AHEAD:
			need(rules, i, at);
			return command(rules, at, i, pos, k == K_NOT ? C_NOT : C_AHEAD, 0, 0, [&] {
				uint32_t p = pos;
				Res r = match_rule(rules, i, p);
				pull_back(pos);
				bool ok = matched(r) != (k == K_NOT);
				report_match(ok, rules, i, pos);
				return ok ? OK : FAIL;
			});
		case K_QUOTE: {
			need(rules, i, at);
			Cell v = *rule(rules, i);
			i++;
			bool ok = match_value(&v, pos);
			report_match(ok, rules, i, pos);
			return ok ? OK : FAIL;
		}
		case K_IF: {
			need(rules, i, at);
			Cell v = *rule(rules, i);
			i++;
			if (!cell::is(&v, T_PAREN)) errors::fire(errors::id::script_parse_rule, &v);
			Cell r;
			eval_paren(&v, &r);
			pull_back(pos);
			bool ok = interpreter::truthy(&r);
			report_match(ok, rules, i, pos);
			return ok ? OK : FAIL;
		}
		case K_CASE: {
			need(rules, i, at);
			Cell w = *rule(rules, i);
			i++;
			if (!cell::is(&w, T_WORD)) errors::fire(errors::id::script_parse_rule, &w);
			need(rules, i, at);
			bool saved = case_sensitive;
			bool now = interpreter::truthy(context::get(&w));
			return command(rules, at, i, pos, C_CASE, now ? 2 : 0, 0, [&] {
				case_sensitive = now;
				Res r = match_rule(rules, i, pos);
				case_sensitive = saved;
				return r;
			});
		}
		case K_COPY: case K_SET: {
			need(rules, i, at);
			Cell w = *rule(rules, i);
			if (!word::is_any_word(cell::type_of(&w)) || cell::is(&w, T_ISSUE))
				errors::fire(errors::id::script_parse_end, rule(rules, at));
			i++;
			need(rules, i, at);
			return command(rules, at, i, pos, k == K_COPY ? C_COPY : C_SET, 0, 0, [&] {
				uint32_t from = pos;
				Res r = match_rule(rules, i, pos);
				if (!matched(r)) return r;
				clamp_span(from, pos);
				Cell value;
				if (k == K_COPY)
					copy_part(from, pos, &value);
				else if (pos > from)
					value_at(from, &value);
				else
					cell::make_none(&value);
				set_word(&w, &value);
				return r;
			});
		}
		case K_INTO:
			need(rules, i, at);
			return command(rules, at, i, pos, C_INTO, 0, 0, [&] { return match_into(rules, i, pos); });
		case K_REMOVE:
			need(rules, i, at);
			return command(rules, at, i, pos, C_REMOVE, 0, 0, [&] { return match_remove(rules, i, pos); });
		case K_INSERT: return match_insert(rules, at, i, pos);
		case K_CHANGE: {
			need(rules, i, at);
			bool only = is_word(rule(rules, i), words::sym_only);
			if (only) i++;
			need(rules, i, at);
			return command(rules, at, i, pos, only ? C_CHANGE_ONLY : C_CHANGE, 0, 0,
				[&] { return match_change(rules, at, only, i, pos); });
		}
		case K_COLLECT: return match_collect(rules, at, i, pos);
		case K_KEEP: {
			need(rules, i, at);
			bool pick = is_word(rule(rules, i), words::sym_pick);
			if (pick) i++;
			need(rules, i, at);
			if (!collects) errors::fire(errors::id::script_parse_keep, rule(rules, at));
			bool paren = cell::is(rule(rules, i), T_PAREN);
			return command(rules, at, i, pos, paren ? C_KEEP_PAREN : C_KEEP, pick, 0,
				[&] { return match_keep(rules, at, pick, i, pos); });
		}
		case K_NONE_KW: break;
		}
		return FAIL;
	}

	// to and thru: the rule tried at each position from pos on.
	Res search(bool thru, const Cell* rules, uint32_t& i, uint32_t& pos) {
		const Cell* arg = rule(rules, i);
		if (keyword_of(arg) == K_END) {
			i++;
			pos = tail();
			report_match(true, rules, i, pos);
			return OK;
		}
		uint32_t start = i;
		Cell tmp;
		const Cell* v = tracing ? nullptr : plain_value(rules, start, tmp);
		i = v ? start + 1 : skip_unit(rules, start);
		if (v && !(binary && (cell::is(v, T_DATATYPE) || cell::is(v, T_TYPESET)))) {
			uint32_t end = tail(), after = 0, found = UNBOUNDED;
			if (text) {
				Type t = cell::type_of(v);
				if (t == T_DATATYPE || t == T_TYPESET) errors::fire(errors::id::script_parse_unsupported);
				if (t == T_CHAR || t == T_BITSET || string::any_string(t)) found = find_text(v, pos, end, after);
			} else if (binary) {
				found = find_bytes(v, pos, end, after);
			} else {
				found = find_cell(v, pos, end, after);
			}
			if (found == UNBOUNDED) return FAIL;
			pos = thru ? after : found;
			return OK;
		}
		for (uint32_t p = pos;; p++) {
			if (p > tail()) break;
			if (p > pos && tracing) trace(words::w_iterate, true, rules, start, p);
			uint32_t q = p, j = start;
			Res r = match_rule(rules, j, q);
			if (matched(r)) {
				pos = thru ? q : p;
				return OK;
			}
			if (stopped) break;
		}
		pull_back(pos);
		return FAIL;
	}

	Res match_into(const Cell* rules, uint32_t& i, uint32_t& pos) {
		if (text || binary) errors::fire(errors::id::script_parse_block, &input);
		uint32_t arg = i;
		i = skip_unit(rules, i);
		if (pos >= tail()) return FAIL;
		Cell inner = *cell_at(pos);
		Type t = cell::type_of(&inner);
		if (!series::any_block(t) && !series::any_string(t) && t != T_BINARY) return FAIL;
		check_room(&series_stack);
		Cell saved = input;
		saved.data1 = pos;
		block::append_value(&series_stack, &saved);
		uint32_t saved_part = part;
		uint32_t p = series::clamp_head(&inner);
		enter(inner, 0);
		// An action may take the inner series out of the outer one: the data
		// stack keeps it alive while it is the input.
		Cell* held = stack::push(&inner);
		uint32_t j = arg;
		Res r = match_rule(rules, j, p);
		bool ok = matched(r) && p >= tail();
		stack::top = held;
		Cell back = *(block::vs_tail(&series_stack) - 1);
		block::remove_last(&series_stack);
		enter(back, saved_part);
		pos = back.data1;
		pull_back(pos);
		if (!ok) return r == REJECT ? REJECT : FAIL;
		pos++;
		return r;
	}

	Res match_remove(const Cell* rules, uint32_t& i, uint32_t& pos) {
		uint32_t from = pos;
		Res r = OK;
		if (cell::is(rule(rules, i), T_GET_WORD)) {
			from = position_of(rule(rules, i));
			i++;
		} else {
			r = match_rule(rules, i, pos);
			if (!matched(r)) return r;
		}
		pull_back(pos);
		uint32_t lo = from < pos ? from : pos, hi = from < pos ? pos : from;
		if (hi > lo) {
			Cell target = at_pos(lo);
			Cell count;
			cell::make_integer(&count, int32_t(hi - lo));
			Cell* base = stack::top;
			epoch++;
			actions::get<action::RemoveFn>(&target, A_REMOVE)(&target, &count, nullptr);
			stack::top = base;
		}
		pos = lo;
		pull_back(pos);
		return r;
	}

	// [only] [get-word] value
	Res match_insert(const Cell* rules, uint32_t at, uint32_t& i, uint32_t& pos) {
		need(rules, i, at);
		bool only = is_word(rule(rules, i), words::sym_only);
		if (only) i++;
		need(rules, i, at);
		const Cell* where_word = nullptr;
		Cell gw;
		if (cell::is(rule(rules, i), T_GET_WORD)) {
			gw = *rule(rules, i);
			where_word = &gw;
			i++;
			need(rules, i, at);
		}
		Cell* v = take_value(rules, i, pos);
		// The position is read after the value's evaluation, which may move it.
		uint32_t where = where_word ? position_of(where_word) : pos;
		Cell target = at_pos(where);
		epoch++;
		Cell* r = actions::get<action::InsertFn>(&target, A_INSERT)(&target, v, -1, only, 1, false);
		uint32_t added = r->data1 - where;
		stack::top = v;
		if (pos >= where) pos += added;
		return OK;
	}

	// [only] rule value
	Res match_change(const Cell* rules, uint32_t at, bool only, uint32_t& i, uint32_t& pos) {
		uint32_t from = pos;
		Res r = match_rule(rules, i, pos);
		need(rules, i, at);
		if (!matched(r)) {
			i++;
			return r;
		}
		Cell* v = take_value(rules, i, pos);
		if (from > pos) from = pos;
		Cell target = at_pos(from);
		epoch++;
		Cell* res = actions::get<action::ChangeFn>(&target, A_CHANGE)(&target, v, int32_t(pos - from), only, 1);
		pos = res->data1;
		stack::top = v;
		return r;
	}

	// [set word | into word | after word] rule
	Res match_collect(const Cell* rules, uint32_t at, uint32_t& i, uint32_t& pos) {
		need(rules, i, at);
		Cell option{T_NONE, 0, 0, 0}, word{T_NONE, 0, 0, 0};
		if (collect_option(rule(rules, i))) {
			option = *rule(rules, i);
			i++;
			need(rules, i, at);
			word = *rule(rules, i);
			if (!cell::is(&word, T_WORD)) errors::fire(errors::id::script_parse_end, &option);
			i++;
			need(rules, i, at);
		}
		bool into = is_word(&option, words::sym_into) || is_word(&option, words::sym_after);
		Cell target;
		if (into) {
			target = *context::get(&word);
			Type t = cell::type_of(&target);
			if (!series::movable(t) || t == T_VECTOR || t == T_IMAGE)
				errors::fire(errors::id::script_parse_into_type);
			if (target.data2 == input.data2) errors::fire(errors::id::script_parse_into_bad);
			Type it = cell::type_of(&input);
			if (t != it && (t == T_BINARY || (string::any_string(t) && series::any_block(it))))
				errors::fire(errors::id::script_parse_into_type);
			series::clamp_head(&target);
		} else {
			block::make_at(&target, 8);
		}
		check_room(&series_stack);
		uint32_t outer = target_at;
		target_at = cells_in(&series_stack);
		block::append_value(&series_stack, &target);
		collects++;
		Res r = command(rules, at, i, pos, C_COLLECT, 0, 0, [&] { return match_rule(rules, i, pos); });
		collects--;
		target_at = outer;
		Cell done = *(block::vs_tail(&series_stack) - 1);
		block::remove_last(&series_stack);
		if (into) {
			if (is_word(&option, words::sym_after)) set_word(&word, &done);
			return r;
		}
		done.data1 = 0;
		if (is_word(&option, words::sym_set)) {
			set_word(&word, &done);
		} else if (collects) {
			keep_value(&done, rules, at);
		} else if (!collected) {
			*result = done;
			collected = true;
		}
		return r;
	}

	// keep rule, keep (paren), keep pick rule, keep pick (paren)
	Res match_keep(const Cell* rules, uint32_t at, bool pick, uint32_t& i, uint32_t& pos) {
		Cell arg = *rule(rules, i);
		if (cell::is(&arg, T_PAREN)) {
			i++;
			Cell* slot = stack::alloc_slot();  // keeps the result where the collector sees it
			eval_paren(&arg, slot);
			pull_back(pos);
			if (tracing) trace(words::w_paren, true, rules, i, pos);
			Cell v = *slot;
			if (pick && series::any_block(cell::type_of(&v))) {
				uint32_t h = series::clamp_head(&v);
				for (uint32_t k = h; k < cells_in(&v); k++) {
					Cell e = *block::vs_abs_at(&v, k);
					keep_value(&e, rules, at);
				}
			} else {
				keep_value(&v, rules, at);
			}
			stack::pop(1);
			return OK;
		}
		uint32_t from = pos;
		Res r = match_rule(rules, i, pos);
		if (!matched(r)) return r;
		clamp_span(from, pos);
		if (pos <= from) return r;
		Cell v;
		if (pick || pos - from == 1) {
			for (uint32_t k = from; k < pos; k++) {
				value_at(k, &v);
				keep_value(&v, rules, at);
			}
		} else {
			copy_part(from, pos, &v);
			keep_value(&v, rules, at);
		}
		return r;
	}

	// Makes `series` the input, counting it ended at `limit` (0: its tail).
	void enter(const Cell& series, uint32_t limit) {
		input = series;
		Type t = cell::type_of(&series);
		text = string::any_string(t);
		binary = t == T_BINARY;
		part = limit ? limit : UNBOUNDED;
	}
};

}  // namespace

void init() {
	block::make_at(&series_stack, 8);
	block::make_at(&rule_stack, 100);
	collector::register_marker([] {
		collector::mark_cell(&series_stack);
		collector::mark_cell(&rule_stack);
	});
	keywords.clear();
	keyword_cache.clear();
	const std::pair<uint32_t, Kw> table[] = {
		{words::sym_any, K_ANY}, {words::sym_some, K_SOME}, {words::sym_opt, K_OPT},
		{words::sym_while, K_WHILE}, {words::sym_to, K_TO}, {words::sym_thru, K_THRU},
		{words::sym_skip, K_SKIP}, {words::sym_end, K_END}, {words::sym_none, K_NONE},
		{words::sym_fail, K_FAIL}, {words::sym_reject, K_REJECT}, {words::sym_break, K_BREAK},
		{words::sym_not, K_NOT}, {words::sym_ahead, K_AHEAD}, {words::sym_quote, K_QUOTE},
		{words::sym_if, K_IF}, {words::sym_case, K_CASE}, {words::sym_copy, K_COPY}, {words::sym_set, K_SET},
		{words::sym_into, K_INTO}, {words::sym_remove, K_REMOVE}, {words::sym_insert, K_INSERT},
		{words::sym_change, K_CHANGE}, {words::sym_collect, K_COLLECT}, {words::sym_keep, K_KEEP},
		{words::sym_bar, K_BAR},
	};
	for (const auto& [sym, kw] : table) keywords[symbol::resolve(sym)] = kw;
}

void run(const Cell* input, const Cell* rules, bool case_sensitive, uint32_t limit, const Cell* callback,
	Cell* out) {
	Engine e;
	Cell in = *input;
	uint32_t pos = series::clamp_head(&in);
	e.enter(in, limit);
	e.case_sensitive = case_sensitive;
	if (callback) {
		e.callback = *callback;
		e.tracing = true;
		// Its refinements and locals are passed inactive, as the lexer does
		// for its own callback.
		Cell body;
		if (lexer::callback_hooks.inspect) lexer::callback_hooks.inspect(callback, &body, &e.callback_slots);
	}
	// A limit before the start: the input counts as ended where it starts.
	if (limit && limit < pos) e.part = pos;
	uint32_t rule_base = cells_in(&rule_stack), series_base = cells_in(&series_stack);
	Cell* data_top = stack::top;
	e.result = stack::alloc_slot();
	cell::make_none(e.result);
	auto restore = [&] {
		block::set_tail_at(&rule_stack, rule_base);
		block::set_tail_at(&series_stack, series_base);
	};
	Res r;
	bool state;
	try {
		r = e.match_block(rules, pos);
		state = e.stopped ? e.stop_state : matched(r) && pos >= e.tail();
		if (e.tracing && !e.stopped)
			e.trace(words::w_end, state, rules, series::clamp_head(const_cast<Cell*>(rules)), pos);
	} catch (const Leave&) {
		restore();
		stack::top = data_top;
		return;
	} catch (...) {
		// The error has already unwound the data stack to its catcher.
		restore();
		throw;
	}
	if (e.collected)
		*out = *e.result;
	else
		cell::make_logic(out, state);
	restore();
	stack::top = data_top;
}

}  // namespace vyn::parse
