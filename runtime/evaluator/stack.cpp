#include "runtime/evaluator/stack.h"

#include <pthread.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "runtime/context.h"
#include "runtime/cycles.h"
#include "runtime/datatypes/string.h"
#include "runtime/evaluator/actions.h"
#include "runtime/memory.h"

namespace vyn::stack {

namespace {

alignas(16) Cell data_cells[DATA_CELLS];
Frame frame_records[CALL_FRAMES];

constexpr uint32_t SYMBOL_NONE = 0;

// Room the guard keeps on the C++ stack for the error to be built and caught.
#if defined(__SANITIZE_ADDRESS__)
constexpr size_t NATIVE_MARGIN = 1u << 20;
#else
constexpr size_t NATIVE_MARGIN = 256u << 10;
#endif


inline bool is_named(const Frame* f) { return f->symbol != body_symbol && f->symbol != anon_symbol; }

// The base of frame f: the `arguments` it opened, kept by the frame above it.
inline Cell* own_base(const Frame* f) { return f + 1 < frames_top ? at(f[1].saved_base) : arguments; }

inline void restore_callee(const Frame* f) {
	if (f->callee_context) context_values(f->callee_context) = f->saved_values;
}

// Pops down to `target` (which stays open), restoring compiled-call contexts.
void pop_to(Frame* target) {
	while (frames_top - 1 > target) {
		Frame* f = --frames_top;
		if (f->kind() == KIND_CALL) restore_callee(f);
	}
}

struct Saved {
	Cell* arguments;
	Cell* top;
	Frame* frames_top;
};
inline Saved save() { return {arguments, top, frames_top}; }
inline void restore(const Saved& s) {
	arguments = s.arguments;
	top = s.top;
	frames_top = s.frames_top;
}

void make_word(uint32_t symbol, Node context, Cell* out) { cell::set(out, T_WORD, context, symbol, 0xFFFFFFFFu); }

// Reads the native stack bounds of the calling thread.
uintptr_t read_native_limit() {
	pthread_attr_t attr;
	if (pthread_getattr_np(pthread_self(), &attr) != 0) return 0;
	void* base = nullptr;
	size_t size = 0;
	pthread_attr_getstack(&attr, &base, &size);
	pthread_attr_destroy(&attr);
	if (!base || size <= NATIVE_MARGIN * 2) return 0;
	return reinterpret_cast<uintptr_t>(base) + NATIVE_MARGIN;
}

}  // namespace

Cell* bottom = nullptr;
Cell* top = nullptr;
Cell* arguments = nullptr;
Cell* end = nullptr;
Frame* frames_bottom = nullptr;
Frame* frames_top = nullptr;
Frame* trace_floor = nullptr;
Frame* frames_end = nullptr;
Frame* cursor = nullptr;
uint32_t body_symbol = SYMBOL_NONE, anon_symbol = SYMBOL_NONE, not_found_symbol = SYMBOL_NONE;
uintptr_t native_stack_limit = 0;
Hooks hooks{};

void init() {
	bottom = top = arguments = data_cells;
	end = data_cells + DATA_CELLS;
	frames_bottom = frames_top = trace_floor = frame_records;
	frames_end = frame_records + CALL_FRAMES;
	cursor = nullptr;
	errors::pending = THROW_NONE;
	native_stack_limit = read_native_limit();
}

void reset_all() {
	top = arguments = bottom;
	frames_top = trace_floor = frames_bottom;
	cursor = nullptr;
	errors::pending = THROW_NONE;
}

void overflow() {
	top = uint32_t(top - bottom) > OVERFLOW_DROP ? top - OVERFLOW_DROP : bottom;
	cycles::reset();
	errors::fire(errors::id::internal_stack_overflow);
}

void check_native_stack() {
	char probe;
	if (native_stack_limit && reinterpret_cast<uintptr_t>(&probe) < native_stack_limit) {
		// Raise once with room to spare; the guard stays armed for the next.
		overflow();
	}
}




void mark_call(const Cell* word, Node callee_context) {
	mark(word, OPEN_CALL);
	Frame* f = frames_top - 1;
	if (callee_context) {
		f->callee_context = callee_context;
		f->saved_values = context_values(callee_context);
	}
}

void mark_func(const Cell* word, Node context) {
	context_values(context) = index_of(arguments) + 1;
	mark(word, OPEN_FUNC);
}


void mark_interpreted() {
	if (Frame* f = top_frame()) f->header |= FRAME_INTERPRETED;
}

Frame* claim_return_target() {
	if (frames_top - frames_bottom < 2) return nullptr;
	Frame* f = frames_top - 2;
	if (f->header & FRAME_RETURN_TARGET) return nullptr;
	f->header |= FRAME_RETURN_TARGET;
	return f;
}

void release_return_target(Frame* frame) {
	if (frame) frame->header &= ~FRAME_RETURN_TARGET;
}

void rename_frame(const Cell* value) {
	if (!cell::is(value, T_WORD)) return;
	Frame* f = cursor ? cursor - 1 : top_frame();
	if (f && f >= frames_bottom) f->symbol = value->data2;
}



void unwind_call() {
	restore_callee(frames_top - 1);
	unwind();
}

void unwind_call_last() {
	restore_callee(frames_top - 1);
	unwind_last();
}

void revert() {
	Frame* f = --frames_top;
	arguments = at(f->saved_base);
	top = arguments;
}

void revert_call() {
	restore_callee(frames_top - 1);
	revert();
}

void unwind_drop() {
	Frame* f = --frames_top;
	if (f->kind() == KIND_CALL) restore_callee(f);
	top = arguments;
	arguments = at(f->saved_base);
	if (frames_top == frames_bottom) top = arguments = bottom;
}

void unwind_drop_one() {
	Frame* f = --frames_top;
	if (f->kind() == KIND_CALL) restore_callee(f);
	arguments = frames_top == frames_bottom ? bottom : at(f->saved_base);
	pop(1);
}

void unwind_to(uint32_t kind, bool keep_base) {
	Frame* start = frames_top;
	Cell* innermost = arguments;
	Frame* f = frames_top;
	while (f > frames_bottom) {
		f--;
		if (f->kind() == KIND_CALL) restore_callee(f);
		if (f->kind() == kind || f->kind() == KIND_TRY_ALL || f == frames_bottom) break;
	}
	if (f == start - 1) {
		// The innermost frame is the one sought.
		top = arguments + 1;
		if (!keep_base) arguments = f == frames_bottom ? bottom : at(f->saved_base);
		return;
	}
	Cell* own = at(f[1].saved_base);
	frames_top = f + 1;
	if (f == frames_bottom && !keep_base) {
		arguments = top = bottom;
		return;
	}
	top = innermost + 1;
	arguments = keep_base ? own : at(f->saved_base);
}

void unwind_to_last(uint32_t kind) {
	Cell* innermost = arguments;
	Frame* start = frames_top;
	unwind_to(kind, false);
	Frame* target = frames_top - 1;
	Cell* base = target + 1 < start ? at(target[1].saved_base) : innermost;
	*base = *innermost;
	arguments = top = base;
}

void unwind_loop(bool continue_flag) { unwind_to(KIND_LOOP, continue_flag); }

void set_frame_top(Frame* position) { frames_top = position; }

bool func_on_top() {
	Type t = top_type();
	return t == T_FUNCTION || t == T_ROUTINE;
}


void adjust_post_try() {
	if (top > bottom && cell::is(top - 1, T_ERROR)) set_last(top - 1);
	top = arguments + 1;
}

bool eval_p(Frame* from, bool one_level) {
	Frame* f = from ? from : frames_top;
	while (f > frames_bottom) {
		f--;
		if (f->header & FRAME_INTERPRETED) return true;
		if (one_level) return false;
	}
	return false;
}

// The lowest frame a trace from `from` down shows: the console's floor when
// `from` stands above it (code the console runs), else the bottom.
static Frame* floor_below(const Frame* from) { return from >= trace_floor ? trace_floor : frames_bottom; }

void get_call(Cell* out) {
	Frame* f = cursor ? cursor : frames_top;
	cursor = nullptr;
	Frame* low = floor_below(f);
	while (f > low) {
		f--;
		if (is_named(f) && f->symbol != SYMBOL_NONE) {
			make_word(f->symbol, f->word_context, out);
			return;
		}
	}
	make_word(not_found_symbol, 0, out);
}

void collect_calls(Cell* block) {
	for (Frame* f = frames_top, *low = floor_below(frames_top); f > low;) {
		f--;
		if (!is_named(f) || f->symbol == SYMBOL_NONE) continue;
		make_word(f->symbol, f->callee_context ? f->callee_context : f->word_context, memory::alloc_tail(block));
		cell::make_integer(memory::alloc_tail(block), int32_t(f->saved_base));
	}
}

namespace {

bool names_function(const Frame* f) {
	Node ctx = f->callee_context ? f->callee_context : f->word_context;
	Cell* v = ctx ? context::get_value_or_global(ctx, f->symbol) : context::global_value(f->symbol);
	if (!v) return false;
	Type t = cell::type_of(v);
	return t == T_FUNCTION || t == T_ROUTINE || t == T_NATIVE || t == T_ACTION || t == T_OP;
}

template <typename Visit>
void walk_call_words(int32_t level, Frame* end_frame, Visit visit) {
	for (Frame* f = floor_below(end_frame); f < end_frame && f < frames_top; f++) {
		if (!is_named(f) || f->symbol == SYMBOL_NONE) continue;
		if (level <= 1 && !names_function(f)) continue;
		Cell word;
		make_word(f->symbol, f->word_context, &word);
		if (!visit(&word)) return;
	}
}

}  // namespace

void collect_call_words(int32_t level, Cell* block, Frame* end_frame) {
	walk_call_words(level, end_frame, [&](const Cell* word) {
		*memory::alloc_tail(block) = *word;
		return true;
	});
}

int32_t form_call_trace(int32_t level, Frame* end_frame, Cell* buffer, int32_t budget) {
	walk_call_words(level, end_frame, [&](const Cell* word) {
		budget = actions::form(word, buffer, nullptr, budget) - 1;
		string::append_char(buffer, ' ');
		return budget > 0;
	});
	return budget;
}

void for_each_frame_node(void (*visit)(Node, bool, void*), void* data) {
	for (Frame* f = frames_bottom; f < frames_top; f++) {
		if (f->word_context) visit(f->word_context, true, data);
		if (f->callee_context) {
			visit(f->callee_context, true, data);
			bool on_stack = memory::series(f->callee_context)->head_cell()->header & 0x400000u;
			if (!on_stack && f->saved_values) visit(f->saved_values, false, data);
		}
	}
}

void throw_break(bool has_value, bool continue_flag) {
	Saved saved = save();
	Cell value = *arguments;
	Frame* f = frames_top;
	Frame* loop = nullptr;
	bool first = true;
	while (f > frames_bottom) {
		f--;
		if (f->kind() == KIND_TRY_ALL) break;
		if (!first && f->kind() == KIND_LOOP) {
			loop = f;
			break;
		}
		first = false;
	}
	auto id = continue_flag ? errors::id::throw_continue : errors::id::throw_break;
	if (!loop) {
		restore(saved);
		errors::fire(id);
	}
	Cell* base = at(loop[1].saved_base);
	pop_to(loop);
	arguments = top = base;
	if (has_value && !continue_flag)
		*arguments = value;
	else
		cell::make_unset(arguments);
	errors::pending = continue_flag ? THROW_CONTINUE : THROW_BREAK;
}

void throw_return(bool has_value, bool top_is_target) {
	Saved saved = save();
	Cell value = *arguments;
	Frame* f = frames_top;
	Frame* target = nullptr;
	bool first = true;
	while (f > frames_bottom) {
		f--;
		if (f->kind() == KIND_TRY_ALL) break;
		if ((top_is_target || !first) && (f->header & FRAME_RETURN_TARGET)) {
			target = f;
			break;
		}
		first = false;
	}
	if (!target) {
		restore(saved);
		errors::fire(errors::id::throw_return);
	}
	Cell* base = own_base(target);
	pop_to(target);
	arguments = top = base;
	if (has_value)
		*arguments = value;
	else
		cell::make_unset(arguments);
	errors::pending = has_value ? THROW_RETURN : THROW_EXIT;
}

void throw_code(uint32_t code) {
	Saved saved = save();
	Cell value = arguments[0];
	Cell name = arguments[1];
	if (!cursor) cursor = frames_top;
	Frame* f = frames_top;
	Frame* target = nullptr;
	while (f > frames_bottom) {
		f--;
		if (f->kind() == KIND_TRY_ALL) break;
		if (f->kind() == KIND_CATCH) {
			target = f;
			break;
		}
	}
	if (!target) {
		restore(saved);
		errors::fire(errors::id::throw_throw, &value);
	}
	Cell* base = own_base(target);
	pop_to(target);
	arguments = top = base;
	push(&value);
	push(&name);
	throw Throw{code};
}

void throw_error(const Cell* error) {
	Cell err = *error;
	if (frames_top == frames_bottom) uncaught(&err);
	if (hooks.prepare_error) hooks.prepare_error(&err);
	if (hooks.trace_error) hooks.trace_error(&err);
	rethrow_error(&err);
}

void rethrow_error(const Cell* error) {
	Cell err = *error;
	if (frames_top == frames_bottom) uncaught(&err);
	Cell* saved_top = top;
	unwind_to(KIND_TRY, false);
	Frame* found = --frames_top;
	top = saved_top;
	if (found->kind() != KIND_TRY && found->kind() != KIND_TRY_ALL) uncaught(&err);
	if (top >= end - 1) top = end - 2;  // room for the error itself
	push(&err);
	throw Throw{THROW_ERROR};
}

void uncaught(const Cell* error) {
	if (top > bottom || arguments < end) *arguments = *error;
	char text[4096];
	if (hooks.form_error)
		hooks.form_error(error, text, sizeof text);
	else
		std::snprintf(text, sizeof text, "*** Error %u", errors::code_of(error));
	const char* caption = hooks.error_caption ? hooks.error_caption() : nullptr;
	if (!caption) caption = "Vyn NoName App";
	std::fflush(stdout);
	std::fprintf(stderr, "%s\n", text);
	if (hooks.show_error_box) hooks.show_error_box(caption, text);
	std::exit(-2 & 0xFF);
}

}  // namespace vyn::stack
