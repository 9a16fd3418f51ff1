// The data stack and the call stack: every evaluation runs on them.
//
// Invariants:
//  - The data stack is a fixed array of DATA_CELLS cells that never moves;
//    `arguments` is the current frame's base, at once its first argument and
//    its result slot; the frame's cells run from `arguments` up to `top`.
//  - One data cell is never handed out: pushing into the last cell raises
//    stack-overflow, after dropping 5 cells so the error itself can be built.
//  - A call frame records the caller's base as a cell index, so frames hold
//    no addresses. Its kind is the four bits 24-27 of the header; bit 28
//    marks a return target, bit 31 a frame opened by the interpreter.
//  - A function context whose values live on the data stack keeps, in word 2
//    of its header cell, 1 + the data index of its first value (0: not running).
//
// Exits: break, continue, return and exit unwind the call stack here and
// leave their code in errors::pending (no C++ exception); errors and the
// language's throw unwind here, then raise Throw{code}.
#pragma once

#include <cstdint>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "runtime/cell.h"
#include "runtime/errors.h"
#include "runtime/memory.h"

namespace vyn::stack {

constexpr uint32_t DATA_CELLS = 20000;
constexpr uint32_t CALL_FRAMES = 12000;
constexpr uint32_t OVERFLOW_DROP = 5;

enum Kind : uint32_t {
	KIND_CALL = 0x01,
	KIND_NATIVE = 0x02,
	KIND_TRY = 0x04,
	KIND_TRY_ALL = 0x05,
	KIND_CATCH = 0x06,
	KIND_EVAL = 0x07,
	KIND_LOOP = 0x08,
};

constexpr uint32_t FRAME_KIND_SHIFT = 24;
constexpr uint32_t FRAME_KIND_MASK = 0x0F000000u;
constexpr uint32_t FRAME_RETURN_TARGET = 0x10000000u;
constexpr uint32_t FRAME_INTERPRETED = 0x80000000u;

// Kind bits as opened (bits 24-31 of the header).
constexpr uint32_t OPEN_CALL = 0x01, OPEN_INTERP_CALL = 0x81, OPEN_NATIVE = 0x02,
				   OPEN_INTERP_NATIVE = 0x82, OPEN_FUNC = 0x12, OPEN_TRY = 0x04,
				   OPEN_TRY_ALL = 0x05, OPEN_CATCH = 0x06, OPEN_EVAL = 0x87, OPEN_LOOP = 0x08;

struct Frame {
	uint32_t header;        // kind and flags in bits 24-31
	uint32_t symbol;        // the frame's name, full symbol id
	uint32_t saved_base;    // the caller's frame base, as a data index
	Node word_context;      // context of the called word
	Node callee_context;    // locals context of a compiled call, else 0
	uint32_t saved_values;  // that context's values word before the call

	uint32_t kind() const { return (header & FRAME_KIND_MASK) >> FRAME_KIND_SHIFT; }
};

// Copies a cell as one 16-byte move (the compiler otherwise rebuilds it
// from its words when some of them are already in registers).
inline void move_cell(Cell* dst, const Cell* src) {
#if defined(__SSE2__)
	_mm_storeu_si128(reinterpret_cast<__m128i*>(dst), _mm_loadu_si128(reinterpret_cast<const __m128i*>(src)));
#else
	std::memcpy(dst, src, sizeof(Cell));
#endif
}

extern Cell* bottom;     // first data cell
extern Cell* top;        // next free data cell
extern Cell* arguments;  // current frame base
extern Cell* end;        // one past the last data cell
extern Frame* frames_bottom;
extern Frame* frames_top;  // next free record
// Frames below it belong to the console that runs the code: call traces and
// error reports leave them out, so code typed at the prompt reads as top level.
extern Frame* trace_floor;
extern Frame* frames_end;
extern Frame* cursor;      // set by the language's throw, consumed by get_call
extern uint32_t body_symbol, anon_symbol, not_found_symbol;

inline uint32_t index_of(const Cell* c) { return uint32_t(c - bottom); }
inline Cell* at(uint32_t index) { return bottom + index; }

void init();
void reset_all();  // empties both stacks (console recovery, tests)

[[noreturn]] void overflow();

// Opening frames.
inline void open(uint32_t kind_bits, uint32_t symbol, Node word_context) {
	if (frames_top >= frames_end) overflow();
	Frame* f = frames_top++;
	f->header = kind_bits << FRAME_KIND_SHIFT;
	f->symbol = symbol;
	f->saved_base = index_of(arguments);
	f->word_context = word_context;
	f->callee_context = 0;
	f->saved_values = 0;
	arguments = top;
}
inline void mark(const Cell* word, uint32_t kind_bits) {
	open(kind_bits, word ? word->data2 : 0, word ? word->data1 : 0);
}
void mark_call(const Cell* word, Node callee_context);
void mark_func(const Cell* word, Node context);
inline void mark_native(const Cell* w) { mark(w, OPEN_NATIVE); }
inline void mark_try(const Cell* w) { mark(w, OPEN_TRY); }
inline void mark_try_all(const Cell* w) { mark(w, OPEN_TRY_ALL); }
inline void mark_catch(const Cell* w) { mark(w, OPEN_CATCH); }
inline void mark_eval(const Cell* w) { mark(w, OPEN_EVAL); }
inline void mark_loop(const Cell* w) { mark(w, OPEN_LOOP); }
inline void mark_interp_native(const Cell* w) { mark(w, OPEN_INTERP_NATIVE); }
inline void mark_interp_call(const Cell* w) { mark(w, OPEN_INTERP_CALL); }
// Opens a frame named by a symbol alone (no word context).
inline void mark_symbol(uint32_t symbol, uint32_t kind_bits) { open(kind_bits, symbol, 0); }

// Marking an open frame.
inline void set_return_target(bool flag) {
	if (frames_top == frames_bottom) return;
	Frame* f = frames_top - 1;
	if (flag)
		f->header |= FRAME_RETURN_TARGET;
	else
		f->header &= ~FRAME_RETURN_TARGET;
}
void mark_interpreted();
Frame* claim_return_target();
void release_return_target(Frame* frame);
void rename_frame(const Cell* value);

// Closing frames.
inline void unwind() {
	Frame* f = --frames_top;
	top = arguments + 1;
	arguments = at(f->saved_base);
}
inline void unwind_last() {
	Cell* callee = arguments;
	unwind();
	move_cell(arguments, callee);
}
void unwind_call();
void unwind_call_last();
void revert();
void revert_call();
void unwind_drop();
void unwind_drop_one();
void unwind_to(uint32_t kind, bool keep_base);
void unwind_to_last(uint32_t kind);
void unwind_loop(bool continue_flag);
inline Frame* frame_top() { return frames_top; }
void set_frame_top(Frame* position);

// Data stack operations.
inline Cell* alloc_slot() {
	Cell* c = top;
	if (++top >= end) overflow();
	return c;
}
inline Cell* push(const Cell* value) {
	Cell* c = top;
	move_cell(c, value);
	if (++top >= end) overflow();
	return c;
}
inline void pop(uint32_t n) { top = (uint32_t(top - bottom) > n) ? top - n : bottom; }
inline Cell* get_top() { return top > bottom ? top - 1 : bottom; }
inline Type top_type() { return cell::type_of(get_top()); }
bool func_on_top();
inline Cell* reset() {
	top = arguments;
	return arguments;
}
inline Cell* keep() {
	top = arguments + 1;
	return arguments;
}
inline Cell* set_last(const Cell* value) {
	move_cell(arguments, value);
	return arguments;
}
inline Cell* set_result(const Cell* value) {
	top = arguments + 1;
	move_cell(arguments, value);
	return arguments;
}
inline void pop_into_previous() {
	if (top - bottom < 2) return;
	move_cell(top - 2, top - 1);
	top--;
}
void adjust_post_try();

// The values word of a context's header cell (word 2).
inline uint32_t& context_values(Node context) { return memory::series(context)->head_cell()->data2; }

// Queries.
inline Frame* top_frame() { return frames_top > frames_bottom ? frames_top - 1 : nullptr; }
inline uint32_t depth() { return uint32_t(frames_top - frames_bottom); }
bool eval_p(Frame* from, bool one_level);
// The word naming the innermost named frame, in `out`.
void get_call(Cell* out);

// Appends the word and base index of every named frame, top down.
void collect_calls(Cell* block);
// Appends, from the bottom frame up to (not including) `end_frame`, the word
// of each named frame whose value is a function (level 1), or of every named
// frame (level above 1).
void collect_call_words(int32_t level, Cell* block, Frame* end_frame);
// Forms those words, each followed by a space, into a string value while
// the budget lasts; answers what is left of it.
int32_t form_call_trace(int32_t level, Frame* end_frame, Cell* buffer, int32_t budget);

// Calls `visit` with each frame's nodes for the collector: the word context
// (as a block when the frame is named `self`), the callee context, and the
// saved values when they are a values block.
void for_each_frame_node(void (*visit)(Node node, bool as_context, void* data), void* data);

// Throws. throw_break and throw_return return normally, with
// errors::pending set: the caller returns at once and its callers propagate.
void throw_break(bool has_value, bool continue_flag);
void throw_return(bool has_value, bool top_is_target);
[[noreturn]] void throw_code(uint32_t code);
[[noreturn]] void throw_error(const Cell* error);
// Raises a caught error again as it is: its where and stack stay those of
// its first raising.
[[noreturn]] void rethrow_error(const Cell* error);

// The language's uncaught error: reports it and ends the process (status 254).
[[noreturn]] void uncaught(const Cell* error);

// Hooks filled by later modules; each may be null.
struct Hooks {
	// Sets an error's `where` and frame position as it is raised.
	void (*prepare_error)(Cell* error);
	// Forms an error's report into `out` (UTF-8, NUL-terminated).
	void (*form_error)(const Cell* error, char* out, uint32_t room);
	// Shows the error box (GUI); the text goes to standard error anyway.
	void (*show_error_box)(const char* caption, const char* text);
	// The caption start-up designated for the uncaught-error box, or null.
	const char* (*error_caption)();
	// Reports an error being raised to the tracer.
	void (*trace_error)(const Cell* error);
};
extern Hooks hooks;

// Guards the C++ stack against deep recursion: raises stack-overflow when
// fewer than a safety margin of bytes are left below the current frame.
void check_native_stack();
extern uintptr_t native_stack_limit;
inline void guard_native_stack() {
	char probe;
	if (reinterpret_cast<uintptr_t>(&probe) < native_stack_limit) check_native_stack();
}

}  // namespace vyn::stack
