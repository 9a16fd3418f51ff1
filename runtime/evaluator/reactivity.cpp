#include "runtime/evaluator/reactivity.h"

#include <algorithm>
#include <unordered_map>
#include <vector>

#include "runtime/collector.h"
#include "runtime/compiled.h"
#include "runtime/context.h"
#include "runtime/cycles.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/routine.h"
#include "runtime/datatypes/string.h"
#include "runtime/errors.h"
#include "runtime/evaluator/actions.h"
#include "runtime/evaluator/interpreter.h"
#include "runtime/evaluator/natives.h"
#include "runtime/evaluator/stack.h"
#include "runtime/memory.h"
#include "runtime/ownership.h"
#include "runtime/symbol.h"

namespace vyn::reactivity {

namespace {

const Cell NONE_CELL{T_NONE, 0, 0, 0};
const Cell UNSET_CELL{T_UNSET, 0, 0, 0};
constexpr uint32_t RECORD = 4;  // source, field, reaction, target
constexpr uint32_t ENTRY = 4;   // reactor, reaction, target, done?
constexpr int32_t NEAR_LIMIT = 80;  // characters of a failed reaction's code shown

// The context of system/reactivity and the positions of the fields the
// entries read (a collector root: its handle follows node moves).
Node engine = 0;
uint32_t f_relations, f_queue, f_eat_events, f_not_safe;
Cell try_word, eval_word, code_word;

Cell* field(uint32_t i) { return context::values(engine) + i; }

inline uint32_t cells_of(const Cell* b) { return memory::buffer_of(b)->used() / sizeof(Cell); }

// The relations or queue block, which the engine keeps as plain blocks.
Cell block_field(uint32_t i) {
	Cell b = *field(i);
	if (!cell::is(&b, T_BLOCK)) {
		Cell t;
		cell::set(&t, T_DATATYPE, cell::type_of(&b));
		errors::fire(errors::id::script_invalid_type, &t);
	}
	return b;
}

// ---------------------------------------------------------------- index

struct Index {
	Node node = 0;
	uint32_t indexed = 0;
	uint32_t nodes_cycles = 0;
	bool valid = false;
	std::unordered_map<Node, std::vector<uint32_t>> by_source;
} index;

void drop_index() {
	index.valid = false;
	index.indexed = 0;
	index.by_source.clear();
}

void heard_change(int32_t position) {
	if (index.valid && (position < 0 || uint32_t(position) < index.indexed)) drop_index();
}

// Brings the index up to the relations block's buffer.
void sync(const Cell* relations) {
	Node node = relations->data2;
	Series* s = memory::series(node);
	uint32_t used = s->used() / sizeof(Cell);
	bool current = index.valid && index.node == node && index.nodes_cycles == memory::nodes_cycles &&
		ownership::watched == node && (s->flags & SERIES_OWNED) && used >= index.indexed;
	if (!current) {
		drop_index();
		index.node = node;
		index.nodes_cycles = memory::nodes_cycles;
		index.valid = true;
		ownership::watch(node);
	}
	Cell* cells = s->head_cell();
	for (uint32_t i = index.indexed; i < used; i++)
		if (cell::is(cells + i, T_OBJECT)) index.by_source[cells[i].data1].push_back(i);
	index.indexed = used;
}

// The first record from cell `from` on whose source is the context, on the
// record boundaries counted from `base`; -1 when there is none.
int64_t next_record(const Cell* relations, Node source, uint32_t base, uint32_t from) {
	sync(relations);
	auto it = index.by_source.find(source);
	if (it == index.by_source.end()) return -1;
	const std::vector<uint32_t>& at = it->second;
	for (auto p = std::lower_bound(at.begin(), at.end(), from); p != at.end(); ++p)
		if ((*p - base) % RECORD == 0) return *p;
	return -1;
}

// ---------------------------------------------------------------- queue

bool pending(const Cell* reactor, const Cell* reaction) {
	Cell queue = block_field(f_queue);
	uint32_t n = cells_of(&queue);
	Cell* cells = memory::buffer_of(&queue)->head_cell();
	for (uint32_t i = queue.data1; i < n; i += ENTRY) {
		if (natives::same(cells + i, reactor))
			if (i + 1 < n && natives::same(cells + i + 1, reaction)) return true;
	}
	return false;
}

void queue_entry(const Cell* reactor, const Cell* reaction, const Cell* target, bool done) {
	Cell queue = block_field(f_queue);
	Cell flag;
	cell::make_logic(&flag, done);
	block::append_value(&queue, reactor);
	block::append_value(&queue, reaction);
	block::append_value(&queue, target);
	block::append_value(&queue, &flag);
}

void clear_queue() {
	Cell queue = *field(f_queue);
	if (cell::is(&queue, T_BLOCK)) block::set_tail_at(&queue, std::min(queue.data1, cells_of(&queue)));
}

// ---------------------------------------------------------------- evaluation

// Runs `body`, which leaves a value in the current frame's result slot,
// under try (or try/all): *out takes the value, or the error raised. False
// when an exit is unwinding.
template <class F>
bool guarded(bool all, F body, Cell* out) {
	Cell* saved = stack::top;
	stack::mark_symbol(stack::body_symbol, stack::OPEN_NATIVE);
	if (all)
		stack::mark_try_all(&try_word);
	else
		stack::mark_try(&try_word);
	try {
		body();
		if (errors::pending) return false;
		stack::unwind_last();
	} catch (const Throw& t) {
		if (t.code != THROW_ERROR) throw;
		cycles::reset();
		stack::adjust_post_try();
	}
	*out = *stack::arguments;
	stack::unwind();
	stack::top = saved;
	return true;
}

// The value of `code` goes to *out; an error is printed with the start of
// the code and gives none. False when an exit is unwinding.
bool eval_safe(const Cell* code_in, Cell* out) {
	Cell* code = stack::push(code_in);
	if (!cell::is(code, T_BLOCK)) {
		Cell t;
		cell::set(&t, T_DATATYPE, cell::type_of(code));
		errors::fire(errors::id::script_expect_arg, &eval_word, &t, &code_word);
	}
	if (!guarded(true, [&] { interpreter::eval(code, true); }, out)) return false;
	if (cell::is(out, T_ERROR)) {
		Cell* report = stack::push(out);
		natives::print(report, true);
		if (errors::pending) return false;
		string::make_at(report, 100);
		string::append_literal(report, "*** Near: ");
		natives::print(report, false);
		if (errors::pending) return false;
		string::make_at(report, 100);
		Cell limit;
		cell::make_integer(&limit, NEAR_LIMIT);
		actions::mold(code, report, false, false, true, &limit, NEAR_LIMIT, 0);
		string::truncate(report, NEAR_LIMIT);
		natives::print(report, true);
		if (errors::pending) return false;
		*out = NONE_CELL;
	}
	stack::top = code;
	return true;
}

// Runs one reaction; a set-word target takes its value. False when an exit
// is unwinding.
bool eval_reaction(const Cell* reactor, const Cell* reaction, const Cell* target, bool mark) {
	if (mark) queue_entry(reactor, reaction, target, true);
	Cell* value = stack::alloc_slot();
	Cell* t = stack::push(target);
	if (cell::is(t, T_SET_WORD)) {
		if (!eval_safe(reaction, value)) return false;
		context::set(t, value);
	} else {
		if (!eval_safe(cell::is(reaction, T_BLOCK) ? reaction : t, value)) return false;
	}
	stack::top = value;
	return true;
}

// Drains the queue from its tail: a done entry goes; a waiting one runs and
// goes, unless it queued others, which run first while it stays, done. The
// pass ends with the removal of the head entry (the one that began it).
bool drain() {
	for (;;) {
		Cell queue = block_field(f_queue);
		uint32_t used = cells_of(&queue);
		if (used < ENTRY) return true;
		uint32_t e = used - ENTRY;
		Cell* cells = memory::buffer_of(&queue)->head_cell() + e;
		if (interpreter::truthy(cells + 3)) {
			block::set_tail_at(&queue, e);
		} else {
			Cell* entry = stack::top;
			for (uint32_t i = 0; i < 3; i++) stack::push(cells + i);
			if (!eval_reaction(entry, entry + 1, entry + 2, false)) return false;
			stack::top = entry;
			queue = block_field(f_queue);
			if (cells_of(&queue) == used)
				block::set_tail_at(&queue, e);
			else if (e + 3 < cells_of(&queue))
				cell::make_logic(memory::buffer_of(&queue)->head_cell() + e + 3, true);
		}
		if (e == 0) return true;
	}
}

// A pass: the first reaction, then the drain. The queue is cleared however
// the pass ends, so a failed pass does not stop every later one.
bool run_pass(const Cell* reactor, const Cell* reaction, const Cell* target) {
	bool finished;
	try {
		finished = eval_reaction(reactor, reaction, target, true) && drain();
	} catch (...) {
		clear_queue();
		throw;
	}
	clear_queue();
	return finished;
}

// Fires the reactions of a changed object: with `field`, only those of
// that field. False when an exit is unwinding.
bool check(const Cell* reactor_in, const Cell* field_in) {
	Cell* reactor = stack::push(reactor_in);
	Cell* wanted = field_in ? stack::push(field_in) : nullptr;
	Cell held = block_field(f_relations);
	Cell* relations = stack::push(&held);
	uint32_t base = relations->data1;
	if (base >= cells_of(relations)) return true;
	Cell* record = stack::alloc_slot();  // reaction, target
	stack::alloc_slot();
	Node source = reactor->data1;
	uint32_t from = base;
	for (int64_t at; (at = next_record(relations, source, base, from)) >= 0;) {
		uint32_t p = uint32_t(at);
		from = p + RECORD;
		uint32_t n = cells_of(relations);
		Cell* cells = memory::buffer_of(relations)->head_cell();
		record[0] = p + 2 < n ? cells[p + 2] : NONE_CELL;
		record[1] = p + 3 < n ? cells[p + 3] : NONE_CELL;
		if (wanted) {
			Cell name = p + 1 < n ? cells[p + 1] : NONE_CELL;
			if (!actions::compare(wanted, &name, COMP_EQUAL)) continue;
		}
		Cell queue = block_field(f_queue);
		bool running = queue.data1 < cells_of(&queue);
		if (running && pending(reactor, record)) continue;
		if (!running) {
			if (!run_pass(reactor, record, record + 1)) return false;
		} else if (!(interpreter::truthy(field(f_eat_events)) && pending(reactor, record))) {
			queue_entry(reactor, record, record + 1, false);
		}
	}
	return true;
}

// ---------------------------------------------------------------- recording

// Appends the record unless an identical one (every value the same) starts
// at a record boundary; answers whether it did.
bool add_relation(const Cell* source, const Cell* word, const Cell* reaction, const Cell* target) {
	Cell relations = block_field(f_relations);
	uint32_t base = relations.data1;
	for (int64_t at = next_record(&relations, source->data1, base, base); at >= 0;
		 at = next_record(&relations, source->data1, base, uint32_t(at) + RECORD)) {
		uint32_t p = uint32_t(at);
		Cell* cells = memory::buffer_of(&relations)->head_cell();
		if (p + 3 < cells_of(&relations) && natives::same(cells + p + 1, word) &&
			natives::same(cells + p + 2, reaction) && natives::same(cells + p + 3, target))
			return false;
	}
	const Cell* record[] = {source, word, reaction, target};
	for (const Cell* v : record) block::append_value(&relations, v);
	return true;
}

bool not_safe(const Cell* value) {
	const Cell* types = field(f_not_safe);
	return cell::is(types, T_TYPESET) && compiled::typeset_has(types, cell::type_of(value));
}

// Walks the path from its head, recording (value of the prefix, next
// word) for each reactive object it passes through; `found` tells whether
// it recorded any. The walk stops at an element that is not a word and at
// a prefix that fails or gives a function, unset or error. False when an
// exit is unwinding.
bool identify_sources(const Cell* path_in, const Cell* reaction_in, const Cell* ctx_in, bool* found) {
	*found = false;
	Cell* path = stack::push(path_in);
	Cell* reaction = stack::push(reaction_in);
	Cell* ctx = stack::push(ctx_in);
	Cell* slice = stack::alloc_slot();
	Cell* value = stack::alloc_slot();
	auto element = [&](uint32_t i) { return memory::buffer_of(path)->head_cell() + i; };
	uint32_t head = series::clamp_head(path);
	uint32_t n = cells_of(path);
	if (head >= n || !cell::is(element(head), T_WORD)) return true;
	if (not_safe(context::get(element(head)))) return true;
	for (uint32_t p = head; p < cells_of(path); p++) {
		bool last = p + 1 >= cells_of(path);
		if (!last && !cell::is(element(p + 1), T_WORD)) return true;
		block::make_at(slice, int32_t(p - head + 1));
		for (uint32_t i = head; i <= p; i++) block::append_value(slice, element(i));
		cell::set_type(slice, T_PATH);
		if (!guarded(false, [&] { interpreter::eval_path(slice, nullptr, false, true, false, false); }, value))
			return false;
		if (not_safe(value)) return true;
		if (!last && cell::is(value, T_OBJECT) && value->data3) {
			Cell word = *element(p + 1);
			add_relation(value, &word, reaction, ctx);
			*found = true;
		}
	}
	return true;
}

// ---------------------------------------------------------------- entries

inline Cell* args() { return stack::arguments; }

// add-relation obj word reaction targets
void add_relation_entry() {
	Cell* a = args();
	if (add_relation(a, a + 1, a + 2, a + 3))
		stack::set_result(field(f_relations));
	else
		stack::set_result(&NONE_CELL);
}

// identify-sources path reaction ctx
void identify_sources_entry() {
	bool found;
	if (!identify_sources(args(), args() + 1, args() + 2, &found)) return;
	Cell answer;
	cell::make_logic(&answer, found);
	stack::set_result(&answer);
}

// check reactor /only field
void check_entry() {
	Cell* a = args();
	bool only = interpreter::truthy(a + 1);
	if (!check(a, only ? a + 2 : nullptr)) return;
	stack::set_result(&UNSET_CELL);
}

// eval-reaction reactor reaction target /mark
void eval_reaction_entry() {
	Cell* a = args();
	if (!eval_reaction(a, a + 1, a + 2, interpreter::truthy(a + 3))) return;
	stack::set_result(&UNSET_CELL);
}

// eval code /safe
void eval_entry() {
	Cell* a = args();
	if (!interpreter::truthy(a + 1)) {
		Cell code = a[0];
		stack::keep();
		interpreter::eval(&code, true);
		return;
	}
	Cell* value = stack::top;
	stack::alloc_slot();
	if (!eval_safe(a, value)) return;
	stack::set_result(value);
}

// pending? reactor reaction
void pending_entry() {
	Cell answer;
	cell::make_logic(&answer, pending(args(), args() + 1));
	stack::set_result(&answer);
}

void mark_engine() {
	if (engine) collector::mark_context(&engine);
}

uint32_t field_index(const char* name) {
	int32_t i = context::find_word(engine, symbol::make(name), true);
	return i < 0 ? 0 : uint32_t(i);
}

void give(const char* name, routine::Entry entry) {
	int32_t i = context::find_word(engine, symbol::make(name), true);
	if (i < 0) return;
	Cell* fn = field(uint32_t(i));
	if (!cell::is(fn, T_FUNCTION)) return;
	Cell* slot = memory::series(fn->data3)->head_cell() + 2;
	cell::make_integer(slot, int32_t(routine::register_entry(entry)));
}

}  // namespace

void install() {
	Cell* system = context::global_value(symbol::make("system"));
	if (!system || !cell::is(system, T_OBJECT)) return;
	int32_t at = context::find_word(system->data1, symbol::make("reactivity"), true);
	if (at < 0) return;
	Cell* object = context::values(system->data1) + at;
	if (!cell::is(object, T_OBJECT)) return;
	engine = object->data1;
	collector::register_marker(mark_engine);
	f_relations = field_index("relations");
	f_queue = field_index("queue");
	f_eat_events = field_index("eat-events?");
	f_not_safe = field_index("not-safe!");
	actions::make_word("try", &try_word);
	actions::make_word("eval", &eval_word);
	actions::make_word("code", &code_word);
	ownership::on_watched_change = heard_change;
	give("add-relation", add_relation_entry);
	give("identify-sources", identify_sources_entry);
	give("check", check_entry);
	give("eval-reaction", eval_reaction_entry);
	give("eval", eval_entry);
	give("pending?", pending_entry);
}

}  // namespace vyn::reactivity
