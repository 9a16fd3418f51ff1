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
#include "runtime/evaluator/tick_clock.h"
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

// now/precise, on the tick clock. The zone and the date are those of the
// clock's whole second, so they are worked out once a second; within the day
// the time needs no normalising (its local value lies in [0, 86400)).
void now_precise(Cell* out) {
	static int64_t second_ns = 0;  // the whole second's start, in ns since the epoch
	static uint32_t packed = 0;
	static double second_of_day = 0;  // the whole second's stored time
	int64_t ns = tick_clock::now_ns();
	if (ns < second_ns || ns - second_ns >= 1000000000) {
		timespec clock{time_t(ns / 1000000000 - (ns % 1000000000 < 0)), 0};
		uint32_t zone = platform::date_of(clock, false) & date::ZONE_BITS;
		int64_t local = int64_t(clock.tv_sec) + date::zone_seconds(zone);
		int64_t days = local / 86400 - (local % 86400 < 0);
		second_of_day = double(local - days * 86400) - date::zone_seconds(zone);
		Cell whole;
		date::rebuild(&whole, date::day_number(1970, 1, 1) + days, second_of_day, date::TIME_FLAG | zone);
		packed = date::packed_of(&whole);
		second_ns = int64_t(clock.tv_sec) * 1000000000;
	}
	date::set_at(out, packed, second_of_day + double(ns - second_ns) * 1e-9);
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

// How many seconds from `start` to `end`, both dates: those of one day
// differ by their times alone.
double seconds_between(const Cell* end, const Cell* start) {
	constexpr uint32_t DAY_BITS = ~(date::ZONE_BITS | date::TIME_FLAG);
	if ((date::packed_of(end) & DAY_BITS) == (date::packed_of(start) & DAY_BITS))
		return date::time_of(end) - date::time_of(start);
	Cell took = *end;
	date::difference(&took, start);
	return time::get(&took);
}

// A block's cells from its index to its tail, read once an event; the
// index lies within the tail.
struct Cells {
	Cell* head;
	int32_t n;
	explicit Cells(const Cell* b) {
		Series* s = block::buffer(b);
		head = s->head_cell() + b->data1;
		n = int32_t(s->used() / sizeof(Cell)) - int32_t(b->data1);
	}
};

// fun-stk's cells.
struct Entries : Cells {
	explicit Entries(const Cell* stk) : Cells(stk) {}
	// The frame base of the entry at p, or null when past the tail or not an
	// integer (the body then raises).
	const Cell* base_of(int32_t p) const {
		return p + 3 < n && cell::is(head + p + 3, T_INTEGER) ? head + p + 3 : nullptr;
	}
};

// The earliest of the last entries whose frame base lies above `base`:
// calls in that frame, or ended early there. fun-stk's length when none
// does; -1 when a base is not an integer (the body then raises).
int32_t above(const Entries& stk, int32_t base) {
	int32_t p = stk.n;
	while (p > 0) {
		int32_t q = p > ENTRY ? p - ENTRY : 0;
		const Cell* b = stk.base_of(q);
		if (!b) return -1;
		if (base >= cell::get_integer(b)) break;
		p = q;
	}
	return p;
}

// A field of an object by a lookup kept from the last time: the profiler
// reads the same two fields at every call. An object's values stay in the
// buffer it was made with, and its words keep their places.
struct Field {
	Node ctx = 0;
	uint32_t epoch = 0;
	Node values = 0;
	int32_t index = -1;
};
Cell* cached_field(Field& f, const Cell* object, uint32_t symbol) {
	if (!cell::is(object, T_OBJECT)) return nullptr;
	Node ctx = object->data1;
	if (f.ctx != ctx || f.epoch != memory::handle_epoch) {
		f.index = context::find_word(ctx, symbol, true);
		f.values = context::on_stack(ctx) ? 0 : context::header(ctx)->data2;
		f.ctx = ctx;
		f.epoch = memory::handle_epoch;
	}
	if (f.index < 0 || !f.values) return nullptr;
	Series* values = memory::series(f.values);
	if (uint32_t(f.index) >= values->used() / sizeof(Cell)) return nullptr;
	Cell* v = values->head_cell() + f.index;
	return cell::is(v, T_UNSET) ? nullptr : v;
}
Field profile_field, types_field;

// Records found before, by the symbol of their word name. An entry is only
// trusted while the record at its place still holds that very symbol; the
// profiler appends a name's record once, so no earlier one can match it.
constexpr uint32_t KNOWN = 256;
struct Known {
	uint32_t symbol;
	int32_t record;
};
Known known[KNOWN];
inline Known& known_of(uint32_t symbol) { return known[(symbol * 0x9E3779B1u) >> 24]; }

int32_t find_record(Cell* profiling, const Cells& records, const Cell* name) {
	if (cell::is(name, T_WORD)) {
		Known& k = known_of(name->data2);
		if (k.symbol == name->data2 && k.record % 3 == 0 && k.record + 2 < records.n &&
			cell::is(records.head + k.record, T_WORD) && records.head[k.record].data2 == name->data2)
			return k.record;
		int32_t r = record_of(profiling, const_cast<Cell*>(name));
		if (r >= 0) k = {name->data2, r};
		return r;
	}
	return record_of(profiling, const_cast<Cell*>(name));
}

// A global's value by the buffer of its context's values, found once.
struct Slot {
	Node values = 0;
	uint32_t index = 0;
	bool set(const Cell* word) {
		Node ctx = word->data1;
		if (!ctx || int32_t(word->data3) < 0 || context::on_stack(ctx)) return false;
		values = context::header(ctx)->data2;
		index = word->data3;
		return true;
	}
	Cell* get() const {
		Series* s = memory::series(values);
		if (index >= s->used() / sizeof(Cell)) return nullptr;
		Cell* v = s->head_cell() + index;
		return cell::is(v, T_UNSET) ? nullptr : v;
	}
};

// any-function!, read at each call as any-function? reads it.
Slot any_function_slot;
const Cell* any_function() {
	Cell* v = any_function_slot.get();
	return v && cell::is(v, T_TYPESET) ? v : nullptr;
}

// profiling, fun-stk and options are fields of the tools object: an event
// looks its values up once for the three.
bool shared_context;
Node tools_values;
struct Tools {
	Cell* values = nullptr;
	uint32_t count = 0;
	bool read = false;

	Cell* get(Word w) {
		if (!shared_context || w == ANON_COUNT) return value_of(&words[w]);
		if (!read) {
			Series* s = memory::series(tools_values);
			values = s->head_cell();
			count = s->used() / sizeof(Cell);
			read = true;
		}
		uint32_t i = words[w].data3;
		if (i >= count || cell::is(values + i, T_UNSET)) return nullptr;
		return values + i;
	}
	Cell* block_of(Word w) {
		Cell* b = get(w);
		return b && cell::is(b, T_BLOCK) && block::vs_length(b) >= 0 ? b : nullptr;
	}
	// fun-stk: a block from its first cell, so entries are counted from there.
	Cell* stk() {
		Cell* b = block_of(FUN_STK);
		return b && b->data1 == 0 ? b : nullptr;
	}
};

// Room for `cells` more at the block's tail, grown only when full.
inline Cell* tail_room(Cell* block, uint32_t cells) {
	Series* s = block::buffer(block);
	uint32_t bytes = cells * uint32_t(sizeof(Cell));
	if (uint64_t(s->tail) + bytes > s->size) return reinterpret_cast<Cell*>(memory::alloc_tail_bytes(s, bytes));
	Cell* c = s->tail_cell();
	s->tail += bytes;
	return c;
}

void append_entry(Cell* stk, const Cell* name, const Cell* start, int32_t base) {
	Cell* c = tail_room(stk, ENTRY);
	c[0] = *name;
	c[1] = *start;
	c[2] = NONE_CELL;
	cell::make_integer(c + 3, base);
}

bool on_init() {
	Tools tools;
	Cell* profiling = tools.block_of(PROFILING);
	Cell* stk = tools.stk();
	if (!profiling || !stk) return false;
	block::set_tail_at(profiling, profiling->data1);
	block::set_tail_at(stk, 0);
	return true;
}

// Everything is checked before anything changes: a call the entry declines
// has left the state as it found it for the body.
bool on_call(int32_t base, const Cell* fn, const Cell* ref) {
	Tools tools;
	Cell* profiling = tools.block_of(PROFILING);
	Cell* stk = tools.stk();
	if (!profiling || !stk) return false;
	// options/profile/types; a path that does not reach it raises.
	Cell* options = tools.get(OPTIONS);
	Cell* profile = options ? cached_field(profile_field, options, sym_profile) : nullptr;
	Cell* types = profile ? cached_field(types_field, profile, sym_types) : nullptr;
	if (!types) return false;
	if (!cell::is(types, T_TYPESET) || !compiled::typeset_has(types, cell::type_of(fn))) {
		append_entry(stk, &NONE_CELL, &NONE_CELL, base);
		return true;
	}
	const Cell* functions = any_function();
	if (!functions) return false;
	// Collections wait for the evaluator's safe points: a new tag needs no
	// root while it goes onto the blocks.
	Cell name = *ref;
	Cell* anon = nullptr;
	if (compiled::typeset_has(functions, cell::type_of(&name))) {
		anon = tools.get(ANON_COUNT);
		if (!anon || !cell::is(anon, T_INTEGER) || cell::get_integer(anon) == INT32_MAX) return false;
		// A function value is named by the next numbered tag.
		string::make_at(&name, 16);
		string::append_literal(&name, "anon");
		string::append_literal(&name, std::to_string(cell::get_integer(anon) + 1));
		cell::set_type(&name, T_TAG);
	}
	Cells records(profiling);
	int32_t r = find_record(profiling, records, &name);
	if (r >= 0) {
		Cell* count = records.head + r + 1;
		if (!cell::is(count, T_INTEGER) || cell::get_integer(count) == INT32_MAX) return false;
		cell::make_integer(count, cell::get_integer(count) + 1);
	} else {
		Cell* c = tail_room(profiling, 3);
		c[0] = name;
		cell::make_integer(c + 1, 1);
		cell::make_integer(c + 2, 0);
		if (cell::is(&name, T_WORD)) known_of(name.data2) = {name.data2, int32_t(c - block::vs_head(profiling))};
	}
	if (anon) {
		cell::make_integer(anon, cell::get_integer(anon) + 1);
		context::word_cell(words[ANON_COUNT].data1, uint32_t(words[ANON_COUNT].data3))->header |=
			context::WORD_ASSIGNED;
	}
	// A function's prolog comes next and takes the start again: the clock
	// is read there alone.
	Cell now = NONE_CELL;
	if (!cell::is(fn, T_FUNCTION) || (fn->header & (function::FLAG_TRACE | function::FLAG_NO_TRACE)))
		now_precise(&now);
	append_entry(stk, &name, &now, base);
	return true;
}

// prolog and epilog stamp the start and the end of the last entry when it is
// the profiled call of this frame.
bool on_mark(int32_t base, bool prolog) {
	Tools tools;
	Cell* stk = tools.stk();
	if (!stk) return false;
	Entries entries(stk);
	int32_t p = above(entries, base);
	if (p <= 0) return p == 0;
	int32_t at = p > ENTRY ? p - ENTRY : 0;
	Cell* e = entries.head + at;
	// above() found this base an integer no greater than the frame's.
	if (interpreter::truthy(e) && cell::get_integer(e + 3) == base) now_precise(e + (prolog ? 1 : 2));
	return true;
}

bool on_return(int32_t base) {
	Tools tools;
	Cell* stk = tools.stk();
	if (!stk) return false;
	Entries entries(stk);
	int32_t p = above(entries, base);
	if (p < 0) return false;
	int32_t n = entries.n;
	if (p == n) {
		// None above: an operator's call, made in the frame returned to.
		int32_t at = n > ENTRY ? n - ENTRY : 0;
		if (n == 0 || cell::get_integer(entries.head + at + 3) != base) return true;
		p = at;
	}
	Cell* e = entries.head + p;
	if (interpreter::truthy(e)) {
		Cell* profiling = tools.block_of(PROFILING);
		if (!profiling) return false;
		Cells records(profiling);
		int32_t r = find_record(profiling, records, e);
		if (r >= 0) {
			Cell* start = p + 1 < n ? e + 1 : nullptr;
			Cell* end = p + 2 < n ? e + 2 : nullptr;
			if (!start || !cell::is(start, T_DATE) || (end && !cell::is(end, T_NONE) && !cell::is(end, T_DATE)) ||
				r + 2 >= records.n)
				return false;
			Cell now;
			if (!end || !cell::is(end, T_DATE)) now_precise(end = &now);
			double took = seconds_between(end, start);
			Cell* total = records.head + r + 2;
			time::make_at(total, cell::is(total, T_TIME) ? took + time::get(total) : took);
		}
	}
	Series* entries_buffer = block::buffer(stk);
	entries_buffer->tail = entries_buffer->head + uint32_t(p) * uint32_t(sizeof(Cell));
	return true;
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

// system/tools/profiler, or null.
Cell* profiler_function() {
	Cell* system = context::global_value(symbol::make("system"));
	Cell* tools = system ? field_of(system, symbol::make("tools")) : nullptr;
	Cell* fn = tools ? field_of(tools, symbol::make("profiler")) : nullptr;
	return fn && cell::is(fn, T_FUNCTION) ? fn : nullptr;
}

// Copies the state's words from the body with their binding; again once a
// collection has renumbered nodes, which the copies do not follow.
// bound_cycles is the node cycle they were copied in, another while unbound.
uint32_t bound_cycles = UINT32_MAX;
bool bind() {
	bound_cycles = memory::nodes_cycles - 1;
	Cell* fn = profiler_function();
	if (!fn) return false;
	const Cell* body = memory::series(fn->data3)->head_cell();
	if (!cell::is(body, T_BLOCK)) return false;
	for (int i = 0; i < WORD_COUNT; i++) {
		const Cell* w = find_word(body, symbol::make(WORD_NAMES[i]));
		if (!w || !w->data1) return false;
		words[i] = *w;
		if (int32_t(words[i].data3) < 0) {
			int32_t k = context::find_word(w->data1, w->data2, true);
			if (k < 0) return false;
			words[i].data3 = uint32_t(k);
		}
	}
	Node ctx = words[PROFILING].data1;
	shared_context = !context::on_stack(ctx) && words[FUN_STK].data1 == ctx && words[OPTIONS].data1 == ctx;
	tools_values = shared_context ? context::header(ctx)->data2 : 0;
	if (!any_function_slot.set(word::load("any-function!"))) return false;
	sym_init = symbol::resolve(symbol::make("init"));
	sym_call = symbol::resolve(symbol::make("call"));
	sym_return = symbol::resolve(symbol::make("return"));
	sym_prolog = symbol::resolve(symbol::make("prolog"));
	sym_epilog = symbol::resolve(symbol::make("epilog"));
	sym_profile = symbol::make("profile");
	sym_types = symbol::make("types");
	bound_cycles = memory::nodes_cycles;
	return true;
}

// The whole event is done here, in one pass, when the state is what the
// profiler itself keeps: the blocks, counts, bases and instants of the types
// it puts there. Anything else is declined untouched and runs the body.
bool handle(interpreter::Event e, const Cell* value, const Cell* ref, int32_t base) {
	if (bound_cycles != memory::nodes_cycles && !bind()) return false;
	switch (e) {
	case interpreter::EV_CALL: return on_call(base, value, ref);
	case interpreter::EV_RETURN: return on_return(base);
	case interpreter::EV_PROLOG: return on_mark(base, true);
	case interpreter::EV_EPILOG: return on_mark(base, false);
	case interpreter::EV_INIT: return on_init();
	default: return true;
	}
}

// The same for a call of the function itself, on its arguments' cells: the
// event a word, the frame a pair.
bool guard() {
	if (!cell::is(arg(EVENT), T_WORD) || !cell::is(arg(FRAME), T_PAIR)) return false;
	uint32_t e = symbol::resolve(arg(EVENT)->data2);
	int32_t base = pair::x_of(arg(FRAME));
	constexpr interpreter::Event NONE_EVENT = interpreter::Event(0);
	interpreter::Event event = e == sym_call ? interpreter::EV_CALL
		: e == sym_return                    ? interpreter::EV_RETURN
		: e == sym_prolog                    ? interpreter::EV_PROLOG
		: e == sym_epilog                    ? interpreter::EV_EPILOG
		: e == sym_init                      ? interpreter::EV_INIT
											 : NONE_EVENT;
	return handle(event, arg(VALUE), arg(REF), base);
}

void entry() { stack::set_result(&NONE_CELL); }

}  // namespace

void install() {
	if (!bind()) return;
	Cell* fn = profiler_function();
	library_entries::give_value(fn, entry, guard);
	interpreter::set_frameless_tracer(uint32_t(cell::get_integer(memory::series(fn->data3)->head_cell() + 2)), handle);
}

}  // namespace vyn::profiler
