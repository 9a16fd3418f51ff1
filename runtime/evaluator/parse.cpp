// The parse engine. Rules are walked by index into their block (never by
// address), so a paren action may grow or move any buffer; the input is read
// through its node each time.
#include "runtime/evaluator/parse.h"

#include <unordered_map>

#include "runtime/case_folding.h"
#include "runtime/context.h"
#include "runtime/datatypes/binary.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/word.h"
#include "runtime/errors.h"
#include "runtime/evaluator/actions.h"
#include "runtime/evaluator/interpreter.h"
#include "runtime/evaluator/stack.h"
#include "runtime/symbol.h"
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
std::unordered_map<uint32_t, Kw> keywords;

// Command codes of the rule stack's command cells.
enum Command : int32_t {
	C_REPEAT = -1, C_TO = -2, C_THRU = -3, C_COPY = -4, C_SET = -5, C_NOT = -6, C_INTO = -7, C_REMOVE = -9,
	C_WHILE = -11, C_COLLECT = -12, C_KEEP = -13, C_KEEP_PAREN = -14, C_AHEAD = -16, C_CHANGE = -17,
	C_CHANGE_ONLY = -18, C_CASE = -19,
};

constexpr Type MARKER_TYPE = Type(31);
constexpr Type COMMAND_TYPE = Type(37);
constexpr uint32_t UNBOUNDED = 0xFFFFFFFFu;

// The outcome of matching one rule.
enum Res : uint8_t { FAIL, OK, BREAK, REJECT };
inline bool matched(Res r) { return r == OK || r == BREAK; }

// Leaves the engine when a paren action exited (errors::pending is set).
struct Leave {};

Kw keyword_of(const Cell* v) {
	if (!cell::is(v, T_WORD)) return K_NONE_KW;
	auto it = keywords.find(symbol::resolve(v->data2));
	return it == keywords.end() ? K_NONE_KW : it->second;
}

inline uint32_t cells_in(const Cell* block) { return memory::buffer_of(block)->used() / sizeof(Cell); }

struct Engine {
	Cell input;          // the series being matched; data1 unused (see pos)
	uint32_t part;       // index at which the input counts as ended
	bool text, binary;   // input kind (neither: a block)
	bool case_sensitive;
	Cell callback;
	bool tracing = false;
	bool stopped = false;  // the callback answered false
	uint32_t collects = 0;  // open collects of this parse
	uint32_t target_at = 0;  // the innermost collect's target in the series stack
	Cell* result_block = nullptr;  // a top-level plain collect's block
	Cell collected;

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

	// ---- Rules ----

	static Cell* rule(const Cell* rules, uint32_t i) { return block::vs_abs_at(rules, i); }

	// The index past the rule unit at i (a keyword with its arguments).
	uint32_t skip_unit(const Cell* rules, uint32_t i) const {
		uint32_t n = cells_in(rules);
		if (i >= n) return n;
		const Cell* v = rule(rules, i);
		if (cell::is(v, T_INTEGER)) {
			i++;
			if (i < n && cell::is(rule(rules, i), T_INTEGER)) i++;
			return skip_unit(rules, i);
		}
		switch (keyword_of(v)) {
		case K_ANY: case K_SOME: case K_OPT: case K_WHILE: case K_TO: case K_THRU: case K_NOT: case K_AHEAD:
		case K_INTO:
			return skip_unit(rules, i + 1);
		case K_QUOTE: case K_IF: case K_CASE: return i + 2 < n ? i + 2 : n;
		case K_COPY: case K_SET: return skip_unit(rules, i + 2);
		case K_REMOVE:
			if (i + 1 < n && cell::is(rule(rules, i + 1), T_GET_WORD)) return i + 2;
			return skip_unit(rules, i + 1);
		case K_KEEP:
			if (i + 1 < n && is_word(rule(rules, i + 1), words::sym_pick)) i++;
			return skip_unit(rules, i + 1);
		case K_COLLECT:
			if (i + 1 < n && collect_option(rule(rules, i + 1))) i += 2;
			return skip_unit(rules, i + 1);
		case K_INSERT:
			i++;
			if (i < n && is_word(rule(rules, i), words::sym_only)) i++;
			if (i < n && cell::is(rule(rules, i), T_GET_WORD)) i++;
			return i + 1 < n ? i + 1 : n;
		case K_CHANGE:
			i++;
			if (i < n && is_word(rule(rules, i), words::sym_only)) i++;
			i = skip_unit(rules, i);
			return i + 1 < n ? i + 1 : n;
		default: return i + 1;
		}
	}

	static bool is_word(const Cell* v, uint32_t sym) {
		return cell::is(v, T_WORD) && symbol::same_name(v->data2, sym);
	}
	static bool collect_option(const Cell* v) {
		return is_word(v, words::sym_set) || is_word(v, words::sym_into) || is_word(v, words::sym_after);
	}

	// ---- The work blocks ----

	void check_room(const Cell* stack) {
		if (cells_in(stack) + 3 > STACK_LIMIT) errors::fire(errors::id::script_parse_stack);
	}

	// Pushes a frame: the rules at i, the marker and the command.
	void push_frame(const Cell* rules, uint32_t i, uint32_t pos, int32_t command, uint32_t a, uint32_t b) {
		check_room(&rule_stack);
		check_room(&series_stack);
		stack::guard_native_stack();
		Cell r = *rules;
		r.data1 = i;
		block::append_value(&rule_stack, &r);
		Cell marker;
		cell::set(&marker, MARKER_TYPE, i, pos, length());
		block::append_value(&rule_stack, &marker);
		Cell cmd;
		cell::set(&cmd, COMMAND_TYPE, uint32_t(command), a, b);
		block::append_value(&rule_stack, &cmd);
		if (tracing) trace(words::w_push, true, rules, i, pos);
	}
	void pop_frame(const Cell* rules, uint32_t i, uint32_t pos, bool state) {
		block::set_tail_at(&rule_stack, cells_in(&rule_stack) - 3);
		if (tracing) trace(words::w_pop, state, rules, i, pos);
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
		stack::push(&rule_stack);
		Cell fn = callback;
		bool go = interpreter::call_with(&fn, args, 5, 0, words::w_frame_parse_callback);
		stack::top = base;
		if (errors::pending) throw Leave{};
		if (!go) stopped = true;
	}

	// ---- Evaluation ----

	// Evaluates a paren; its result to `out` (when given).
	void eval_paren(const Cell* paren, Cell* out) {
		Cell p = *paren;
		Cell* base = stack::top;
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
			Cell path = *v;
			cell::set_type(&path, cell::type_of(in));
			ok = series::any_block(cell::type_of(in)) && cell::type_of(in) >= T_PATH &&
				actions::compare(in, &path, op());
			break;
		}
		default: ok = actions::compare(in, v, op());
		}
		if (ok) pos++;
		return ok;
	}

	bool match_text(const Cell* v, uint32_t& pos, uint32_t end) {
		Type t = cell::type_of(v);
		if (t == T_DATATYPE || t == T_TYPESET) errors::fire(errors::id::script_parse_unsupported);
		if (t == T_CHAR) {
			if (pos >= end) return false;
			uint32_t a = unit(pos), b = v->data2;
			if (!case_sensitive) {
				a = unicode::to_upper(a);
				b = unicode::to_upper(b);
			}
			if (a != b) return false;
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
		case T_INTEGER: case T_CHAR: {
			uint32_t b = cell::is(v, T_CHAR) ? v->data2 : uint32_t(cell::get_integer(v));
			if (pos >= end || unit(pos) != b) return false;
			pos++;
			return true;
		}
		case T_BITSET:
			if (pos >= end || !string::bitset_has(v, unit(pos))) return false;
			pos++;
			return true;
		case T_DATATYPE: case T_TYPESET: errors::fire(errors::id::script_parse_rule, v);
		default: break;
		}
		// A text matches its UTF-8 bytes.
		const uint8_t* a = series::unit_at(memory::buffer_of(&input), pos);
		int64_t n = pos < end ? binary::match_at(a, end - pos, v) : binary::match_at(a, 0, v);
		if (n < 0) return false;
		pos += uint32_t(n);
		return true;
	}

	// ---- Captures and collections ----

	// A copy of the input from `from` to `to`.
	void copy_part(uint32_t from, uint32_t to, Cell* out) {
		Cell src = at_pos(from);
		Cell count;
		cell::make_integer(&count, int32_t(to - from));
		Cell* base = stack::top;
		Cell* slot = stack::alloc_slot();
		Cell* r = actions::copy(&src, slot, &count, false, nullptr);
		*out = *r;
		stack::top = base;
	}

	// Adds a value to the innermost collection.
	void keep_value(const Cell* value, const Cell* rules, uint32_t i) {
		if (!collects) errors::fire(errors::id::script_parse_keep, rule(rules, i));
		Cell* target = block::vs_abs_at(&series_stack, target_at);
		Cell t = *target;
		Cell v = *value;
		Cell* base = stack::top;
		Cell* r = actions::get<action::InsertFn>(&t, A_INSERT)(&t, &v, -1, true, 1, false);
		target->data1 = r->data1;
		stack::top = base;
	}

	// ---- The rules ----

	// Matches a block's alternatives at pos.
	Res match_block(const Cell* rules_in, uint32_t& pos, int32_t command = 0, uint32_t a = 0, uint32_t b = 0) {
		Cell rules = *rules_in;
		uint32_t start = series::clamp_head(&rules);
		push_frame(&rules, start, pos, command, a, b);
		uint32_t entry = pos;
		uint32_t i = start;
		Res res = OK;
		for (;;) {
			if (stopped) break;
			uint32_t n = cells_in(&rules);
			if (i >= n) break;
			const Cell* v = rule(&rules, i);
			if (keyword_of(v) == K_BAR) {
				if (i + 1 >= n) errors::fire(errors::id::script_parse_end, v);
				break;
			}
			if (tracing) trace(words::w_fetch, true, &rules, i, pos);
			uint32_t next = i;
			Res r = match_rule(&rules, next, pos);
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
			if (bar == UNBOUNDED) {
				res = FAIL;
				pos = entry;
				break;
			}
			i = bar + 1;
			pos = entry;
		}
		if (res == REJECT) pos = entry;
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

	void report_match(bool state, const Cell* rules, uint32_t i, uint32_t pos) {
		if (tracing) trace(words::w_match, state, rules, i, pos);
	}

	// Matches the rule unit at i; i moves past the unit.
	Res match_rule(const Cell* rules, uint32_t& i, uint32_t& pos) {
		uint32_t at = i;
		Cell v = *rule(rules, i);
		i++;
		switch (cell::type_of(&v)) {
		case T_BLOCK: return match_block(&v, pos);
		case T_PAREN: {
			eval_paren(&v, nullptr);
			uint32_t n = length();
			if (pos > n) pos = n;
			if (tracing) trace(words::w_paren, true, rules, i, pos);
			return OK;
		}
		case T_SET_WORD: {
			Cell here = at_pos(pos);
			set_word(&v, &here);
			return OK;
		}
		case T_GET_WORD: pos = position_of(&v); return OK;
		case T_INTEGER: return match_count(rules, at, i, pos);
		case T_PATH: errors::fire(errors::id::script_parse_rule, &v);
		case T_WORD: {
			Kw k = keyword_of(&v);
			if (k != K_NONE_KW) return match_keyword(k, rules, at, i, pos);
			Cell value = *context::get(&v);
			if (cell::is(&value, T_UNSET)) errors::fire(errors::id::script_no_value, &v);
			if (word::is_any_word(cell::type_of(&value)) && !cell::is(&value, T_LIT_WORD))
				errors::fire(errors::id::script_parse_rule, &v);
			if (cell::is(&value, T_BLOCK)) return match_block(&value, pos);
			bool ok = match_value(&value, pos);
			report_match(ok, rules, i, pos);
			return ok ? OK : FAIL;
		}
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
		return repeat(rules, i, pos, uint32_t(lo), uint32_t(hi), C_REPEAT);
	}

	// Repeats the rule unit at i from min to max times.
	Res repeat(const Cell* rules, uint32_t& i, uint32_t& pos, uint32_t min, uint32_t max, int32_t command) {
		uint32_t arg = i;
		uint32_t after = skip_unit(rules, arg);
		uint32_t count = 0;
		uint32_t entry = pos;
		Res res = OK;
		bool stop = false;
		while (count < max && !stopped) {
			if (count && tracing) trace(words::w_iterate, true, rules, arg, pos);
			uint32_t before = pos, size = length();
			uint32_t j = arg;
			Res r = match_rule(rules, j, pos);
			if (r == FAIL) {
				pos = before;
				break;
			}
			if (r == REJECT) {
				stop = true;
				pos = before;
				break;
			}
			count++;
			if (r == BREAK) break;
			if (command != C_WHILE && pos == before && length() >= size) break;
		}
		i = after;
		if (stop || count < min) res = FAIL;
		if (res == FAIL) pos = entry;
		return res;
	}

	Res match_keyword(Kw k, const Cell* rules, uint32_t at, uint32_t& i, uint32_t& pos) {
		uint32_t end = tail();
		switch (k) {
		case K_ANY: need(rules, i, at); return repeat(rules, i, pos, 0, UNBOUNDED, C_REPEAT);
		case K_SOME: need(rules, i, at); return repeat(rules, i, pos, 1, UNBOUNDED, C_REPEAT);
		case K_OPT: need(rules, i, at); return repeat(rules, i, pos, 0, 1, C_REPEAT);
		case K_WHILE: need(rules, i, at); return repeat(rules, i, pos, 0, UNBOUNDED, C_WHILE);
		case K_SKIP: {
			bool ok = pos < end;
			if (ok) pos++;
			report_match(ok, rules, i, pos);
			return ok ? OK : FAIL;
		}
		case K_END: {
			bool ok = pos >= end;
			report_match(ok, rules, i, pos);
			return ok ? OK : FAIL;
		}
		case K_NONE: report_match(true, rules, i, pos); return OK;
		case K_FAIL: report_match(false, rules, i, pos); return FAIL;
		case K_REJECT: report_match(false, rules, i, pos); return REJECT;
		case K_BREAK: report_match(true, rules, i, pos); return BREAK;
		case K_BAR: errors::fire(errors::id::script_parse_end, rule(rules, at));
		case K_TO: case K_THRU: need(rules, i, at); return search(k == K_THRU, rules, i, pos);
		case K_NOT: case K_AHEAD: {
			need(rules, i, at);
			uint32_t p = pos;
			Res r = match_rule(rules, i, p);
			bool ok = matched(r) != (k == K_NOT);
			report_match(ok, rules, i, pos);
			return ok ? OK : FAIL;
		}
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
			bool ok = interpreter::truthy(&r);
			report_match(ok, rules, i, pos);
			return ok ? OK : FAIL;
		}
		case K_CASE: {
			need(rules, i, at);
			Cell w = *rule(rules, i);
			i++;
			if (!cell::is(&w, T_WORD)) errors::fire(errors::id::script_parse_rule, &w);
			bool saved = case_sensitive;
			case_sensitive = interpreter::truthy(context::get(&w));
			need(rules, i, at);
			Res r;
			try {
				r = match_rule(rules, i, pos);
			} catch (...) {
				case_sensitive = saved;
				throw;
			}
			case_sensitive = saved;
			return r;
		}
		case K_COPY: case K_SET: {
			need(rules, i, at);
			Cell w = *rule(rules, i);
			if (!word::is_any_word(cell::type_of(&w)) || cell::is(&w, T_ISSUE))
				errors::fire(errors::id::script_parse_end, rule(rules, at));
			i++;
			need(rules, i, at);
			uint32_t from = pos;
			Res r = match_rule(rules, i, pos);
			if (!matched(r)) return r;
			Cell value;
			if (k == K_COPY)
				copy_part(from, pos, &value);
			else if (pos > from)
				value_at(from, &value);
			else
				cell::make_none(&value);
			set_word(&w, &value);
			return r;
		}
		case K_INTO: return match_into(rules, at, i, pos);
		case K_REMOVE: return match_remove(rules, at, i, pos);
		case K_INSERT: return match_insert(rules, at, i, pos);
		case K_CHANGE: return match_change(rules, at, i, pos);
		case K_COLLECT: return match_collect(rules, at, i, pos);
		case K_KEEP: return match_keep(rules, at, i, pos);
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
		uint32_t after = skip_unit(rules, i);
		for (uint32_t p = pos;; p++) {
			uint32_t end = tail();
			if (p > end) break;
			if (p > pos && tracing) trace(words::w_iterate, true, rules, start, p);
			uint32_t q = p, j = start;
			Res r = match_rule(rules, j, q);
			if (matched(r)) {
				pos = thru ? q : p;
				i = after;
				return OK;
			}
			if (stopped) break;
		}
		i = after;
		return FAIL;
	}

	Res match_into(const Cell* rules, uint32_t at, uint32_t& i, uint32_t& pos) {
		need(rules, i, at);
		if (text || binary) errors::fire(errors::id::script_parse_block, &input);
		uint32_t after = skip_unit(rules, i);
		if (pos >= tail()) {
			i = after;
			return FAIL;
		}
		Cell inner = *cell_at(pos);
		Type t = cell::type_of(&inner);
		if (!series::any_block(t) && !series::any_string(t) && t != T_BINARY) {
			i = after;
			return FAIL;
		}
		check_room(&series_stack);
		Cell saved = input;
		saved.data1 = pos;
		block::append_value(&series_stack, &saved);
		uint32_t saved_part = part;
		bool saved_text = text, saved_binary = binary;
		uint32_t p = series::clamp_head(&inner);
		enter(inner, 0);
		Res r = match_rule(rules, i, p);
		bool ok = matched(r) && p >= tail();
		Cell back = *(block::vs_tail(&series_stack) - 1);
		block::remove_last(&series_stack);
		input = back;
		part = saved_part;
		text = saved_text;
		binary = saved_binary;
		pos = back.data1;
		i = after;
		if (!ok) return r == REJECT ? REJECT : FAIL;
		pos++;
		return r;
	}

	Res match_remove(const Cell* rules, uint32_t at, uint32_t& i, uint32_t& pos) {
		need(rules, i, at);
		uint32_t from = pos;
		const Cell* arg = rule(rules, i);
		Res r = OK;
		if (cell::is(arg, T_GET_WORD)) {
			from = position_of(arg);
			i++;
		} else {
			r = match_rule(rules, i, pos);
			if (!matched(r)) return r;
		}
		uint32_t lo = from < pos ? from : pos, hi = from < pos ? pos : from;
		if (hi > lo) {
			Cell target = at_pos(lo);
			Cell count;
			cell::make_integer(&count, int32_t(hi - lo));
			Cell* base = stack::top;
			actions::get<action::RemoveFn>(&target, A_REMOVE)(&target, &count, nullptr);
			stack::top = base;
		}
		pos = lo;
		return r;
	}

	// [only] [get-word] value
	Res match_insert(const Cell* rules, uint32_t at, uint32_t& i, uint32_t& pos) {
		need(rules, i, at);
		bool only = is_word(rule(rules, i), words::sym_only);
		if (only) i++;
		need(rules, i, at);
		uint32_t where = pos;
		if (cell::is(rule(rules, i), T_GET_WORD)) {
			where = position_of(rule(rules, i));
			i++;
			need(rules, i, at);
		}
		Cell v;
		value_argument(rule(rules, i), &v);
		i++;
		if (tracing && cell::is(rule(rules, i - 1), T_PAREN)) trace(words::w_paren, true, rules, i, pos);
		Cell target = at_pos(where);
		Cell* base = stack::top;
		Cell* r = actions::get<action::InsertFn>(&target, A_INSERT)(&target, &v, -1, only, 1, false);
		uint32_t added = r->data1 - where;
		stack::top = base;
		if (pos >= where) pos += added;
		return OK;
	}

	// [only] rule value
	Res match_change(const Cell* rules, uint32_t at, uint32_t& i, uint32_t& pos) {
		need(rules, i, at);
		bool only = is_word(rule(rules, i), words::sym_only);
		if (only) i++;
		need(rules, i, at);
		uint32_t from = pos;
		Res r = match_rule(rules, i, pos);
		need(rules, i, at);
		if (!matched(r)) {
			i++;
			return r;
		}
		Cell v;
		value_argument(rule(rules, i), &v);
		i++;
		if (tracing && cell::is(rule(rules, i - 1), T_PAREN)) trace(words::w_paren, true, rules, i, pos);
		if (pos < from) from = pos;
		Cell target = at_pos(from);
		Cell* base = stack::top;
		Cell* res = actions::get<action::ChangeFn>(&target, A_CHANGE)(&target, &v, int32_t(pos - from), only, 1);
		pos = res->data1;
		stack::top = base;
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
			if (t != it && (t == T_BINARY || (string::any_string(t) && !text)))
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
		Res r;
		try {
			r = match_rule(rules, i, pos);
		} catch (...) {
			collects--;
			target_at = outer;
			throw;
		}
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
		} else if (!result_block) {
			collected = done;
			result_block = &collected;
		}
		return r;
	}

	// keep rule, keep (paren), keep pick rule, keep pick (paren)
	Res match_keep(const Cell* rules, uint32_t at, uint32_t& i, uint32_t& pos) {
		need(rules, i, at);
		bool pick = is_word(rule(rules, i), words::sym_pick);
		if (pick) i++;
		need(rules, i, at);
		if (!collects) errors::fire(errors::id::script_parse_keep, rule(rules, at));
		Cell arg = *rule(rules, i);
		if (cell::is(&arg, T_PAREN)) {
			i++;
			Cell v;
			eval_paren(&arg, &v);
			if (tracing) trace(words::w_paren, true, rules, i, pos);
			if (pick && series::any_block(cell::type_of(&v))) {
				uint32_t h = series::clamp_head(&v);
				for (uint32_t k = h; k < cells_in(&v); k++) {
					Cell e = *block::vs_abs_at(&v, k);
					keep_value(&e, rules, at);
				}
			} else {
				keep_value(&v, rules, at);
			}
			return OK;
		}
		uint32_t from = pos;
		Res r = match_rule(rules, i, pos);
		if (!matched(r) || pos <= from) return r;
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
	keywords.clear();
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
	}
	uint32_t rule_base = cells_in(&rule_stack), series_base = cells_in(&series_stack);
	Cell* data_top = stack::top;
	auto restore = [&] {
		block::set_tail_at(&rule_stack, rule_base);
		block::set_tail_at(&series_stack, series_base);
	};
	Res r;
	try {
		r = e.match_block(rules, pos);
	} catch (const Leave&) {
		restore();
		stack::top = data_top;
		return;
	} catch (...) {
		restore();
		throw;
	}
	bool state = matched(r) && (e.stopped || pos >= e.tail());
	if (e.stopped) state = matched(r);
	if (e.tracing && !e.stopped) {
		try {
			e.trace(words::w_end, state, rules, series::clamp_head(const_cast<Cell*>(rules)), pos);
		} catch (const Leave&) {
			restore();
			return;
		}
	}
	restore();
	if (e.result_block)
		*out = *e.result_block;
	else
		cell::make_logic(out, state);
}

}  // namespace vyn::parse
