// The interpreter: evaluates blocks of values directly.
//
// Code is addressed by (block node, index) pairs rather than cell addresses:
// a collection at a safe point, or the evaluated code growing its own block,
// may move the buffer, so a Code re-reads its head (sync) after every
// sub-evaluation and safe point. Every C++ caller of the evaluation functions
// checks errors::pending on return: when set (break, continue, return, exit),
// the call stack has already been unwound to the target frame and the caller
// returns at once without closing its own frames.
//
// While no tracer runs, a block needs no frame of its own (its values are
// pushed where that frame would begin), operators on two numbers and the
// branches of if, unless and either are computed in place, and two-argument
// native operators skip the general call; each gives the results, frames and
// errors of the general path, which the tracer always sees.
#pragma once

#include <cstdint>

#include "runtime/cell.h"
#include "runtime/collector.h"
#include "runtime/memory.h"

namespace vyn::interpreter {

// Argument modes kept in bits 20-21 of an argument-cache typeset's header.
constexpr uint32_t ARG_MODE_MASK = 0x300000u;
constexpr uint32_t ARG_EVALUATED = 0;
constexpr uint32_t ARG_LITERAL = 0x100000u;     // get-word in the spec
constexpr uint32_t ARG_ESCAPABLE = 0x200000u;   // lit-word in the spec
constexpr uint32_t ARG_NOT_ARGUMENT = 0x300000u;  // the return: type block

// Trace event codes.
enum Event : uint32_t {
	EV_INIT = 1, EV_END = 2, EV_PROLOG = 4, EV_EPILOG = 8, EV_ENTER = 16, EV_EXIT = 32,
	EV_OPEN = 64, EV_RETURN = 128, EV_FETCH = 256, EV_PUSH = 512, EV_SET = 1024, EV_CALL = 2048,
	EV_ERROR = 4096, EV_THROW = 8192, EV_CATCH = 16384, EV_EXPR = 32768,
};

// Apply modes.
constexpr uint32_t MODE_ALL = 1, MODE_PLAIN = 2, MODE_SAFER = 4;

extern Cell current_code;  // the block being evaluated, index at the expression
extern bool tracing;
extern Cell tracer;        // the tracer function, or none
extern uint32_t event_mask;

// A position in a block of code, with the block's head and limit as last
// read. Anything that may evaluate code can move or shorten the block, so
// sync() re-reads them; eval_expression, eval_next_at and the internal
// calls that take a Code return with it synced.
struct Code {
	Node node;     // the block's buffer
	int32_t pos;   // index from the buffer's head
	int32_t end;   // index of the tail when evaluation began
	Cell* head = nullptr;
	int32_t lim = 0;  // min(tail, end): a block shortened while it runs ends early

	Code(Node n, int32_t p, int32_t e) : node(n), pos(p), end(e) { sync(); }
	// A block value's code from its index (clamped to the tail) to its tail.
	explicit Code(const Cell* block) : node(block->data2) {
		Series* s = memory::series(node);
		head = s->head_cell();
		end = lim = int32_t(s->used() / sizeof(Cell));
		int32_t index = int32_t(block->data1);
		pos = index < end ? index : end;
	}
	void sync() {
		Series* s = memory::series(node);
		head = s->head_cell();
		int32_t tail = int32_t(s->used() / sizeof(Cell));
		lim = tail < end ? tail : end;
	}
	Cell* at(int32_t i) const { return head + i; }
	int32_t limit() const { return lim; }
	// The cell at i, or null at or past the limit.
	Cell* cell_at(int32_t i) const {
		if (i >= lim) return nullptr;
		Cell* c = head + i;
		if (!c) __builtin_unreachable();  // lets callers drop their null test on a cell in range
		return c;
	}
};

void init();

// Evaluates a whole block from its index. chain: the result goes to the
// caller's result slot; else it stays as one cell above the caller's frame.
void eval(const Cell* block, bool chain);
// Evaluates one expression at the block's index; answers the index after it
// (the block's own index at its tail, with an unset result).
int32_t eval_next_at(const Cell* block, bool push);
// Evaluates one expression; answers the position after it. push: the result
// is pushed, else it becomes the frame's result. sub: no operator may follow.
// prefix: function values met in the code are values, not calls.
int32_t eval_expression(Code& code, bool sub, bool push, bool prefix);
// Evaluates a single value as an expression made of it alone.
void eval_value(const Cell* value, bool push);
// Evaluates a path (any path type) from `code`; answers the position after it.
int32_t eval_path(const Cell* path, Code* code, bool set, bool get, bool push, bool case_sensitive);

// The context of system/state/callbacks, whose integer field `bits` says
// which callers' calls tracing reaches (0 until the system object exists).
extern Node callbacks;
// Calls a function value whose arguments are already on the stack (frame
// open), as the lexer, parse, sort and the change handlers do. A non-zero
// event class is a bit of callbacks/bits: when it is clear there, the call
// runs with tracing off.
void call_function(const Cell* fn, Node context, const Cell* name, uint32_t event_class);
// Calls a function! with `count` arguments, padding its other slots (an
// unused refinement: false, then none), in a compiled-call frame named by
// `name`; answers the truth of its result.
// With `copy_to`, argument cell `copy_back` is copied there after the call.
bool call_with(const Cell* fn, const Cell* args, uint32_t count, uint32_t padding, const Cell* name,
	uint32_t copy_back = 0, Cell* copy_to = nullptr);

// Calls a function! with `count` arguments, its other slots padded, in a
// compiled-call frame named by `name`; its result goes to `out` (which may
// be a data stack cell below the call).
void call_for_value(const Cell* fn, const Cell* args, uint32_t count, const Cell* name, Cell* out);

// Calls a function! with `args` as its slots in spec order (arguments, then
// each refinement's flag and its arguments): values past the slots its spec
// declares are left out, slots past `count` padded (false for a
// refinement, none for an argument). The result goes to `out`, as for
// call_for_value.
void call_fitted(const Cell* fn, const Cell* args, uint32_t count, const Cell* name, Cell* out);

// Calls `fn` with the values of `args` as its arguments (apply).
void apply(const Cell* fn, const Cell* args, const Cell* path, const Cell* name, uint32_t mode);

// The argument cache of a function value (built on first use): a block of
// typesets (one per argument), refinements, the /local count and, for
// natives and actions, the refinement count.
Cell* argument_cache(const Cell* fn);

// The truth of a value: only none and false are false.
inline bool truthy(const Cell* v) {
	Type t = cell::type_of(v);
	return t != T_NONE && !(t == T_LOGIC && v->data1 == 0);
}
// The condition test: unset raises no-return.
[[noreturn]] void no_return();
inline bool condition(const Cell* v) {
	if (cell::is(v, T_UNSET)) no_return();
	return truthy(v);
}

// Fires a trace event when tracing is on and the event is in the mask: calls
// the tracer with the event word, the code block (or none) and the position
// in it (-1 outside code), the value, the reference value (set, prolog,
// epilog, call and return only) and a pair! of the current frame's base and
// top as data stack indexes. The stacks are restored after the call.
void fire_event(Event e, const Cell* code, int32_t pos, const Cell* value, const Cell* ref);
// The events a tracer asks for: the event words of the block that begins its
// body, else every event.
uint32_t event_mask_of(const Cell* fn);
// Installs a tracer function and fires `init`; false (nothing done) while a
// tracer is installed already or for anything but a function!.
bool start_tracing(const Cell* fn);
// True while a tracer is installed, also where tracing is off (inside a
// function marked no-trace, inside the tracer itself).
bool tracer_installed();
// Pauses (false) or resumes (true) the delivery of events to the installed
// tracer. Kept apart from `tracing`, which function calls save and restore,
// so a pause made inside a function outlasts its return; each trace starts
// delivering.
void set_delivery(bool on);
bool delivering();
// Runs `body` (a callable) as code of the installed tracer's own trace:
// traced even when called from code that runs untraced, such as a library
// function.
template <typename F> void under_tracer(F body);
// Fires `end` (keeping any pending exit) and removes the tracer.
void stop_tracing();
// Names the C++ entry (with its index in the routine registry) of a tracer
// that runs no code: a tracer function given it has each event handed to
// `handler` as it fires (the value and the ref none when absent, the frame
// the index of the current frame's arguments), with no cells written and no
// frame opened. The handler leaves everything as it found it when it
// declines an event, which then goes to the body.
using FramelessHandler = bool (*)(Event e, const Cell* value, const Cell* ref, int32_t frame);
void set_frameless_tracer(uint32_t index, FramelessHandler handler);

extern bool trace_all;

template <typename F> void under_tracer(F body) {
	bool saved = tracing;
	tracing = trace_all;
	try {
		body();
	} catch (...) {
		tracing = saved;
		throw;
	}
	tracing = saved;
}

// The collector's safe point: runs a requested collection.
inline void safe_point() {
	if (memory::collection_requested) collector::run_requested();
}

}  // namespace vyn::interpreter
