#include "runtime/evaluator/profiler.h"

#include <ctime>
#include <string>

#include "runtime/compiled.h"
#include "runtime/context.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/date.h"
#include "runtime/datatypes/function.h"
#include "runtime/datatypes/pair.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/time.h"
#include "runtime/datatypes/word.h"
#include "runtime/evaluator/actions.h"
#include "runtime/evaluator/interpreter.h"
#include "runtime/evaluator/library_entries.h"
#include "runtime/evaluator/stack.h"
#include "runtime/platform.h"
#include "runtime/symbol.h"

namespace vyn::profiler {

namespace {

// The words of the body that name the profiler's state, copied with their
// binding from the body when the entry is given. The body's own words keep
// the contexts alive: the entry runs only while the function does.
enum Word { PROFILING, FUN_STK, OPTIONS, ANON_COUNT, WORD_COUNT };
constexpr const char* WORD_NAMES[WORD_COUNT] = {"profiling", "fun-stk", "options", "anon-count"};
Cell words[WORD_COUNT];
uint32_t sym_init, sym_call, sym_return, sym_prolog, sym_epilog, sym_profile, sym_types;

// Slots of the call: the callback's arguments.
enum Arg { EVENT, CODE, OFFSET, VALUE, REF, FRAME };
// Cells of one fun-stk entry: name, start, end, frame base.
constexpr int32_t ENTRY = 4;

const Cell NONE_CELL{T_NONE, 0, 0, 0};

inline Cell* arg(int i) { return stack::arguments + i; }

// The value cell of a bound word; null when it has none.
Cell* value_of(Cell* word) {
	Node ctx = word->data1;
	if (!ctx) return nullptr;
	int32_t i = int32_t(word->data3);
	if (i < 0 && (i = context::find_word(ctx, word->data2, true)) < 0) return nullptr;
	Cell* values = context::values(ctx);
	if (!values || (!context::on_stack(ctx) && uint32_t(i) >= memory::series(context::header(ctx)->data2)->used() / sizeof(Cell)))
		return nullptr;
	Cell* v = values + i;
	return cell::is(v, T_UNSET) ? nullptr : v;
}

// A field of an object, null when absent or unset.
Cell* field_of(const Cell* object, uint32_t symbol) {
	if (!cell::is(object, T_OBJECT)) return nullptr;
	Node ctx = object->data1;
	int32_t i = context::find_word(ctx, symbol, true);
	if (i < 0) return nullptr;
	Cell* v = context::values(ctx) + i;
	return cell::is(v, T_UNSET) ? nullptr : v;
}

// Event symbols are compared resolved; those of the install are resolved
// there.
uint32_t event_of() { return symbol::resolve(arg(EVENT)->data2); }
inline bool is_event(uint32_t e, uint32_t sym) { return e == sym; }

// now/precise. The zone and the date are those of the clock's whole second,
// so they are worked out once a second; within the day the time needs no
// normalising (its local value lies in [0, 86400)).
void now_precise(Cell* out) {
	static time_t last_second = -1;
	static uint32_t zone = 0, packed = 0;
	static int64_t days = 0;
	timespec clock = platform::read_clock();
	int64_t local;
	if (clock.tv_sec != last_second) {
		zone = platform::date_of(clock, false) & date::ZONE_BITS;
		local = int64_t(clock.tv_sec) + date::zone_seconds(zone);
		days = local / 86400 - (local % 86400 < 0);
		Cell whole;
		date::rebuild(&whole, date::day_number(1970, 1, 1) + days, double(local - days * 86400) - date::zone_seconds(zone),
			date::TIME_FLAG | zone);
		packed = date::packed_of(&whole);
		last_second = clock.tv_sec;
	}
	local = int64_t(clock.tv_sec) + date::zone_seconds(zone);
	double time_of_day = double(local - days * 86400);
	time_of_day += double(clock.tv_nsec) / 1e9;
	date::set_at(out, packed, time_of_day - date::zone_seconds(zone));
}

// The record of `name` in profiling (a find/only/skip by 3), or -1; its
// cells are counted from the block's head index. Names are words but for
// anonymous calls: a word record is settled by its spelling, anything else
// goes to find.
int32_t record_of(Cell* profiling, Cell* name) {
	if (cell::is(name, T_WORD)) {
		int32_t n = block::vs_length(profiling);
		Cell* head = block::vs_head(profiling);
		int32_t r = 0;
		for (; r < n && cell::is(head + r, T_WORD); r += 3)
			if (symbol::same_name(head[r].data2, name->data2)) return r;
		if (r >= n) return -1;
	}
	Cell at = *profiling, skip;
	cell::make_integer(&skip, 3);
	actions::find(&at, name, nullptr, true, false, false, false, nullptr, &skip, false, false, false, false);
	return cell::is(&at, T_BLOCK) ? int32_t(at.data1 - profiling->data1) : -1;
}

// How long from `start` to `end`, both dates: those of one day differ by
// their times alone.
void difference(Cell* end, const Cell* start) {
	constexpr uint32_t DAY_BITS = ~(date::ZONE_BITS | date::TIME_FLAG);
	if ((date::packed_of(end) & DAY_BITS) == (date::packed_of(start) & DAY_BITS))
		time::make_at(end, date::time_of(end) - date::time_of(start));
	else
		date::difference(end, start);
}

// The cell `i` items past the block's index, or null past its tail.
inline Cell* item(Cell* block, int32_t i) {
	return i >= 0 && i < block::vs_length(block) ? block::vs_head(block) + i : nullptr;
}

// The entry a return ends: the earliest of the last entries whose frame base
// is at or above the frame returned to (fun-stk's length when none is).
// -1 when a base is not an integer (the body then raises).
int32_t returning_entry(Cell* stk, int32_t base) {
	int32_t p = block::vs_length(stk);
	while (p > 0) {
		Cell* b = item(stk, (p > ENTRY ? p - ENTRY : 0) + 3);
		if (!b || !cell::is(b, T_INTEGER)) return -1;
		if (base > cell::get_integer(b)) break;
		p = p > ENTRY ? p - ENTRY : 0;
	}
	return p;
}

struct State {
	Cell* profiling;
	Cell* stk;
	Cell* anon;
	const Cell* types;  // for a call: the profiled types, or null
	int32_t entry;      // for a return: the entry it ends
	int32_t record;     // for a call or a return: the name's record, or -1
	Cell name;          // for a call: the name it is profiled by
};
// What the guard read, for the entry that runs right after it (nothing
// in between allocates or runs code).
State taken;

bool state(State& s) {
	s.profiling = value_of(&words[PROFILING]);
	s.stk = value_of(&words[FUN_STK]);
	s.anon = value_of(&words[ANON_COUNT]);
	return s.profiling && cell::is(s.profiling, T_BLOCK) && s.stk && cell::is(s.stk, T_BLOCK) && s.stk->data1 == 0 &&
		s.anon &&
		cell::is(s.anon, T_INTEGER) && cell::get_integer(s.anon) < INT32_MAX;
}

// any-function!, read at each call as any-function? reads it.
Cell any_function_word;
const Cell* any_function() {
	Cell* v = value_of(&any_function_word);
	return v && cell::is(v, T_TYPESET) ? v : nullptr;
}
inline bool is_function(Type t) { return compiled::typeset_has(any_function(), t); }

// Takes the calls whose state is what the profiler itself keeps: the
// event a word, the frame a pair, the blocks, counts, bases and instants of
// the types it puts there. Anything else runs the body.
bool guard() {
	State& s = taken;
	s.types = nullptr;
	s.record = -1;
	if (!cell::is(arg(EVENT), T_WORD) || !cell::is(arg(FRAME), T_PAIR) || !state(s)) return false;
	uint32_t e = event_of();
	int32_t base = pair::x_of(arg(FRAME));
	if (is_event(e, sym_call)) {
		// options/profile/types; a path that does not reach it raises.
		Cell* options = value_of(&words[OPTIONS]);
		Cell* profile = options ? field_of(options, sym_profile) : nullptr;
		Cell* types = profile ? field_of(profile, sym_types) : nullptr;
		if (!types) return false;
		s.types = cell::is(types, T_TYPESET) ? types : nullptr;
		if (!s.types || !compiled::typeset_has(types, cell::type_of(arg(VALUE)))) return true;
		if (!any_function()) return false;
		s.name = *arg(REF);
		if (is_function(cell::type_of(&s.name))) {
			// A function value is named by the next numbered tag. Nothing
			// collects before the entry runs: the new string stays put.
			string::make_at(&s.name, 16);
			string::append_literal(&s.name, "anon");
			string::append_literal(&s.name, std::to_string(cell::get_integer(s.anon) + 1));
			cell::set_type(&s.name, T_TAG);
		}
		int32_t r = s.record = record_of(s.profiling, &s.name);
		if (r < 0) return true;
		Cell* count = item(s.profiling, r + 1);
		return count && cell::is(count, T_INTEGER) && cell::get_integer(count) < INT32_MAX;
	}
	if (is_event(e, sym_prolog) || is_event(e, sym_epilog)) {
		int32_t n = block::vs_length(s.stk);
		if (n == 0) return true;
		int32_t at = n > ENTRY ? n - ENTRY : 0;
		Cell* b = item(s.stk, at + 3);
		if (b && !cell::is(b, T_INTEGER) && !cell::is(b, T_NONE)) return false;  // = may match other types
		bool hit = b && cell::is(b, T_INTEGER) && cell::get_integer(b) == base && interpreter::truthy(item(s.stk, at));
		return !hit || item(s.stk, at + 2);
	}
	if (is_event(e, sym_return)) {
		int32_t p = s.entry = returning_entry(s.stk, base);
		if (p < 0) return false;
		Cell* name = item(s.stk, p);
		if (!name || !interpreter::truthy(name)) return true;
		int32_t r = s.record = record_of(s.profiling, name);
		if (r < 0) return true;
		Cell* start = item(s.stk, p + 1);
		Cell* end = item(s.stk, p + 2);
		return start && cell::is(start, T_DATE) && (!end || cell::is(end, T_NONE) || cell::is(end, T_DATE)) &&
			item(s.profiling, r + 2);
	}
	return true;
}

void on_call(State& s) {
	const Cell* types = s.types;
	if (types && compiled::typeset_has(types, cell::type_of(arg(VALUE)))) {
		Cell name = s.name;
		if (is_function(cell::type_of(arg(REF)))) {
			cell::make_integer(s.anon, cell::get_integer(s.anon) + 1);
			context::word_cell(words[ANON_COUNT].data1, uint32_t(words[ANON_COUNT].data3))->header |=
				context::WORD_ASSIGNED;
		}
		stack::push(&name);  // in sight of the collector while blocks grow
		int32_t r = s.record;
		if (r >= 0) {
			Cell* count = item(s.profiling, r + 1);
			cell::make_integer(count, cell::get_integer(count) + 1);
		} else {
			Cell one, zero;
			cell::make_integer(&one, 1);
			cell::make_integer(&zero, 0);
			block::append_value(s.profiling, &name);
			block::append_value(s.profiling, &one);
			block::append_value(s.profiling, &zero);
		}
		// A function's prolog comes next and takes the start again: the
		// clock is read there alone.
		Cell now = NONE_CELL;
		const Cell* fn = arg(VALUE);
		if (!cell::is(fn, T_FUNCTION) || (fn->header & (function::FLAG_TRACE | function::FLAG_NO_TRACE)))
			now_precise(&now);
		block::append_value(s.stk, &name);
		block::append_value(s.stk, &now);
	} else {
		block::append_value(s.stk, &NONE_CELL);
		block::append_value(s.stk, &NONE_CELL);
	}
	Cell base;
	cell::make_integer(&base, pair::x_of(arg(FRAME)));
	block::append_value(s.stk, &NONE_CELL);
	block::append_value(s.stk, &base);
}

void on_mark(State& s, bool prolog) {
	int32_t n = block::vs_length(s.stk);
	if (n == 0) return;
	int32_t at = n > ENTRY ? n - ENTRY : 0;
	Cell* b = item(s.stk, at + 3);
	if (!b || !cell::is(b, T_INTEGER) || cell::get_integer(b) != pair::x_of(arg(FRAME))) return;
	if (!interpreter::truthy(item(s.stk, at))) return;
	Cell now;
	now_precise(&now);
	*item(s.stk, at + (prolog ? 1 : 2)) = now;
}

void on_return(State& s) {
	int32_t p = s.entry;
	if (p >= block::vs_length(s.stk)) return;
	Cell* name = item(s.stk, p);
	int32_t r = interpreter::truthy(name) ? s.record : -1;
	if (r >= 0) {
		Cell* end = item(s.stk, p + 2);
		Cell took;
		if (end && cell::is(end, T_DATE))
			took = *end;
		else
			now_precise(&took);
		difference(&took, item(s.stk, p + 1));
		Cell* total = item(s.profiling, r + 2);
		if (cell::is(total, T_TIME)) time::make_at(&took, time::get(&took) + time::get(total));
		*total = took;
	}
	block::set_tail_at(s.stk, s.stk->data1 + uint32_t(p));
}

void entry() {
	State& s = taken;
	uint32_t e = event_of();
	if (is_event(e, sym_init)) {
		block::set_tail_at(s.profiling, s.profiling->data1);
		block::set_tail_at(s.stk, s.stk->data1);
	} else if (is_event(e, sym_call)) {
		on_call(s);
	} else if (is_event(e, sym_prolog) || is_event(e, sym_epilog)) {
		on_mark(s, is_event(e, sym_prolog));
	} else if (is_event(e, sym_return)) {
		on_return(s);
	}
	stack::set_result(&NONE_CELL);
}

// The first word of the block (searched deeply, paths too) spelled as `symbol`.
const Cell* find_word(const Cell* block, uint32_t symbol) {
	Series* s = memory::series(block->data2);
	for (Cell* c = s->head_cell(); c < s->tail_cell(); c++) {
		if (cell::is(c, T_WORD) && symbol::same_name(c->data2, symbol)) return c;
		Type t = cell::type_of(c);
		if (t == T_BLOCK || t == T_PAREN || t == T_PATH || t == T_SET_PATH || t == T_GET_PATH)
			if (const Cell* w = find_word(c, symbol)) return w;
	}
	return nullptr;
}

}  // namespace

void install() {
	Cell* system = context::global_value(symbol::make("system"));
	Cell* tools = system ? field_of(system, symbol::make("tools")) : nullptr;
	Cell* fn = tools ? field_of(tools, symbol::make("profiler")) : nullptr;
	if (!fn || !cell::is(fn, T_FUNCTION)) return;
	const Cell* body = memory::series(fn->data3)->head_cell();
	if (!cell::is(body, T_BLOCK)) return;
	for (int i = 0; i < WORD_COUNT; i++) {
		const Cell* w = find_word(body, symbol::make(WORD_NAMES[i]));
			if (!w || !w->data1) return;
		words[i] = *w;
		if (int32_t(words[i].data3) < 0) {
			int32_t k = context::find_word(w->data1, w->data2, true);
			if (k < 0) return;
			words[i].data3 = uint32_t(k);
		}
	}
	any_function_word = *word::load("any-function!");
	sym_init = symbol::resolve(symbol::make("init"));
	sym_call = symbol::resolve(symbol::make("call"));
	sym_return = symbol::resolve(symbol::make("return"));
	sym_prolog = symbol::resolve(symbol::make("prolog"));
	sym_epilog = symbol::resolve(symbol::make("epilog"));
	sym_profile = symbol::make("profile");
	sym_types = symbol::make("types");
	library_entries::give_value(fn, entry, guard);
	interpreter::set_frameless_tracer(uint32_t(cell::get_integer(memory::series(fn->data3)->head_cell() + 2)), entry, guard);
}

}  // namespace vyn::profiler
