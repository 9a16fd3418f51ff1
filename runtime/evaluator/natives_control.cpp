// The control natives: conditionals, loops, exits, catch, throw, try and
// the function makers.
#include <cmath>

#include "runtime/context.h"
#include "runtime/cycles.h"
#include "runtime/datatypes/error.h"
#include "runtime/datatypes/function.h"
#include "runtime/datatypes/map.h"
#include "runtime/errors.h"
#include "runtime/evaluator/actions.h"
#include "runtime/evaluator/interpreter.h"
#include "runtime/evaluator/natives.h"
#include "runtime/evaluator/stack.h"
#include "runtime/symbol.h"
#include "runtime/words.h"

namespace vyn::natives {

namespace {

using interpreter::truthy;

const Cell NONE_CELL{T_NONE, 0, 0, 0};
const Cell UNSET_CELL{T_UNSET, 0, 0, 0};

inline Cell* args() { return stack::arguments; }
inline void result(const Cell* v) { stack::set_result(v); }
inline void result_none() { result(&NONE_CELL); }

// Evaluates a block; its value becomes the frame's result.
inline void eval_block(const Cell* block) {
	Cell b = *block;
	interpreter::eval(&b, true);
}

// A loop step's outcome after the body ran.
enum class Step { next, stop, leave };

// Takes the code a loop body left: break ends the loop (its frame holds
// the result), continue goes on, anything else leaves at once.
inline Step after_body() {
	switch (errors::pending) {
	case THROW_NONE: return Step::next;
	case THROW_BREAK: errors::pending = THROW_NONE; return Step::stop;
	case THROW_CONTINUE: errors::pending = THROW_NONE; return Step::next;
	default: return Step::leave;
	}
}

inline void open_loop() { stack::mark_symbol(stack::body_symbol, stack::OPEN_LOOP); }

// Closes the loop frame; its result becomes the native's.
inline void close_loop() { stack::unwind_last(); }

// Runs a loop body; the loop frame's base keeps the result.
inline Step run_body(const Cell* body) {
	stack::keep();
	Cell b = *body;
	interpreter::eval(&b, true);
	return after_body();
}

// Truncates a loop count toward zero, refusing what no integer holds.
int64_t loop_count(const Cell* count) {
	if (cell::is(count, T_INTEGER)) return cell::get_integer(count);
	double d = cell::get_double(count);
	if (std::isnan(d)) errors::fire(errors::id::script_invalid_arg, count);
	d = std::trunc(d);
	if (d > 2147483647.0 || d < -2147483648.0) {
		Cell type{T_DATATYPE, T_INTEGER, 0, 0};
		errors::fire(errors::id::script_type_limit, &type);
	}
	return int64_t(d);
}

// ---------------------------------------------------------------- conditionals

void n_if(bool, const int32_t*) {
	if (!truthy(args())) return result_none();
	eval_block(args() + 1);
}

void n_unless(bool, const int32_t*) {
	if (truthy(args())) return result_none();
	eval_block(args() + 1);
}

void n_either(bool, const int32_t*) {
	bool c = interpreter::condition(args());
	eval_block(args() + (c ? 1 : 2));
}

// Evaluates the expressions of a block one by one; `stop` decides on each
// value whether it is the result. Answers false when the block ran out.
template <typename Stop>
bool scan_expressions(const Cell* block, Stop stop) {
	Series* s = memory::series(block->data2);
	int32_t tail = int32_t(s->used() / sizeof(Cell));
	interpreter::Code code{block->data2, int32_t(block->data1), tail};
	Cell* mark = stack::top;
	while (code.pos < code.limit()) {
		code.pos = interpreter::eval_expression(code, false, true, false);
		if (errors::pending) return true;
		Cell value = *(stack::top - 1);
		stack::top = mark;
		if (stop(&value)) return true;
	}
	return false;
}

void n_any(bool, const int32_t*) {
	Cell block = *args();
	if (!scan_expressions(&block, [](const Cell* v) {
			if (!truthy(v)) return false;
			result(v);
			return true;
		}))
		result_none();
}

void n_all(bool, const int32_t*) {
	Cell block = *args();
	Cell last = NONE_CELL;
	bool stopped = scan_expressions(&block, [&](const Cell* v) {
		if (!truthy(v)) return true;
		last = *v;
		return false;
	});
	if (errors::pending) return;
	result(stopped ? &NONE_CELL : &last);
}

void n_switch(bool, const int32_t* refs) {
	Cell value = args()[0];
	Cell cases = args()[1];
	if (!cell::is(&value, T_BLOCK)) {
		Series* s = memory::series(cases.data2);
		uint32_t tail = s->used() / sizeof(Cell);
		for (uint32_t i = cases.data1; i < tail; i++) {
			Cell* c = memory::series(cases.data2)->head_cell() + i;
			if (cell::type_of(c) != cell::type_of(&value) || !actions::compare(c, &value, COMP_EQUAL)) continue;
			for (uint32_t j = i + 1; j < memory::series(cases.data2)->used() / sizeof(Cell); j++) {
				Cell* b = memory::series(cases.data2)->head_cell() + j;
				if (cell::is(b, T_BLOCK)) return eval_block(b);
			}
			return result_none();
		}
	}
	if (refs[0] >= 0) return eval_block(args() + refs[0]);
	result_none();
}

void n_case(bool, const int32_t* refs) {
	Cell block = *args();
	bool all = refs[0] >= 0;
	Series* s = memory::series(block.data2);
	int32_t tail = int32_t(s->used() / sizeof(Cell));
	interpreter::Code code{block.data2, int32_t(block.data1), tail};
	if (code.pos >= code.limit()) return result_none();
	stack::mark_symbol(stack::anon_symbol, stack::OPEN_NATIVE);
	Cell outcome = NONE_CELL;
	while (code.pos < code.limit()) {
		Cell* mark = stack::top;
		code.pos = interpreter::eval_expression(code, false, true, false);
		if (errors::pending) return;
		Cell cond = *(stack::top - 1);
		stack::top = mark;
		if (code.pos >= code.limit()) {
			Cell w;
			actions::make_word("case", &w);
			errors::fire(errors::id::script_need_value, &w);
		}
		if (interpreter::condition(&cond)) {
			Cell* branch = code.at(code.pos);
			if (cell::is(branch, T_BLOCK)) {
				Cell b = *branch;
				code.pos++;
				interpreter::eval(&b, false);
				code.sync();
			} else {
				code.pos = interpreter::eval_expression(code, false, true, false);
			}
			if (errors::pending) return;
			outcome = *(stack::top - 1);
			stack::top = mark;
			if (!all) break;
		} else {
			code.pos++;
			outcome = NONE_CELL;
		}
	}
	stack::unwind();
	stack::pop(1);
	result(&outcome);
}

// ---------------------------------------------------------------- loops

void n_while(bool, const int32_t*) {
	Cell cond = args()[0];
	Cell body = args()[1];
	open_loop();
	for (;;) {
		stack::keep();
		interpreter::eval(&cond, true);
		if (errors::pending == THROW_BREAK || errors::pending == THROW_CONTINUE) {
			errors::pending = THROW_NONE;
			errors::fire(errors::id::throw_while_cond);
		}
		if (errors::pending) return;
		if (!interpreter::condition(stack::arguments)) break;
		Step step = run_body(&body);
		if (step == Step::leave) return;
		if (step == Step::stop) break;
	}
	close_loop();
	result(&UNSET_CELL);
}

void n_until(bool, const int32_t*) {
	Cell body = args()[0];
	open_loop();
	for (;;) {
		stack::keep();
		interpreter::eval(&body, true);
		if (errors::pending == THROW_CONTINUE) {
			errors::pending = THROW_NONE;
			continue;
		}
		Step step = after_body();
		if (step == Step::leave) return;
		if (step == Step::stop) break;
		if (interpreter::condition(stack::arguments)) break;
	}
	close_loop();
}

void n_loop(bool, const int32_t*) {
	int64_t count = loop_count(args());
	Cell body = args()[1];
	if (count <= 0) return result_none();
	open_loop();
	cell::make_unset(stack::arguments);
	for (int64_t i = 0; i < count; i++) {
		Step step = run_body(&body);
		if (step == Step::leave) return;
		if (step == Step::stop) break;
	}
	close_loop();
}

void n_repeat(bool, const int32_t*) {
	Cell word = args()[0];
	int64_t count = loop_count(args() + 1);
	Cell body = args()[2];
	if (count <= 0) return result_none();
	open_loop();
	for (int64_t i = 1; i <= count; i++) {
		Cell counter;
		cell::make_integer(&counter, int32_t(i));
		context::set(&word, &counter);
		Step step = run_body(&body);
		if (step == Step::leave) return;
		if (step == Step::stop) break;
	}
	close_loop();
}

void n_forever(bool, const int32_t*) {
	Cell body = args()[0];
	open_loop();
	for (;;) {
		Step step = run_body(&body);
		if (step == Step::leave) return;
		if (step == Step::stop) break;
	}
	close_loop();
}

bool is_block_like(Type t) {
	return t == T_BLOCK || t == T_PAREN || t == T_HASH || (t >= T_PATH && t <= T_GET_PATH);
}

bool is_word_entry(Type t) { return t == T_WORD || t == T_SET_WORD || t == T_GET_WORD || t == T_LIT_WORD; }

// Units of a series value from its buffer start to the tail.
uint32_t series_units(const Cell* series) {
	Series* s = memory::buffer_of(series);
	return s->used() / s->unit();
}

// The words of a foreach: a word, or every entry of a block of words.
uint32_t foreach_words(const Cell* spec) {
	if (!cell::is(spec, T_BLOCK)) return 1;
	Series* s = memory::series(spec->data2);
	uint32_t n = s->used() / sizeof(Cell) - spec->data1;
	if (n == 0) errors::fire(errors::id::script_invalid_arg, spec);
	for (uint32_t i = 0; i < n; i++) {
		Cell* w = s->head_cell() + spec->data1 + i;
		if (!is_word_entry(cell::type_of(w))) errors::fire(errors::id::script_invalid_arg, w);
	}
	return n;
}

// Sets the loop words to the next values of the series (a copy on the
// stack that the loop owns); answers false at the tail.
bool foreach_next(const Cell* spec, Cell* series, uint32_t n) {
	if (series->data1 >= series_units(series)) return false;
	for (uint32_t i = 0; i < n; i++) {
		Cell value;
		if (is_block_like(cell::type_of(series))) {
			Series* s = memory::buffer_of(series);
			uint32_t at = series->data1 + i;
			if (at < s->used() / sizeof(Cell))
				value = *(s->head_cell() + at);
			else
				value = NONE_CELL;
		} else {
			Cell index;
			cell::make_integer(&index, int32_t(i + 1));
			Cell* picked = actions::pick(series, &index);
			value = picked ? *picked : NONE_CELL;
		}
		Cell word = cell::is(spec, T_BLOCK) ? *(memory::series(spec->data2)->head_cell() + spec->data1 + i) : *spec;
		cell::set_type(&word, T_WORD);
		context::set(&word, &value);
	}
	series->data1 += n;
	return true;
}

void n_foreach(bool, const int32_t*) {
	Cell spec = args()[0];
	Cell body = args()[2];
	bool is_map = cell::is(args() + 1, T_MAP);
	if (is_map && (!cell::is(&spec, T_BLOCK) || foreach_words(&spec) != 2))
		errors::fire(errors::id::script_invalid_arg, &spec);
	uint32_t n = foreach_words(&spec);
	Cell* series = stack::push(args() + 1);  // a private position
	open_loop();
	cell::make_unset(stack::arguments);
	for (;;) {
		stack::keep();
		if (!(is_map ? map::set_words(series, &spec, n) : foreach_next(&spec, series, n))) break;
		Step step = run_body(&body);
		if (step == Step::leave) return;
		if (step == Step::stop) break;
	}
	close_loop();
}

bool is_series_type(Type t) {
	return is_block_like(t) || t == T_STRING || t == T_FILE || t == T_URL || t == T_TAG || t == T_EMAIL ||
		t == T_REF || t == T_BINARY || t == T_VECTOR || t == T_IMAGE;
}

// The word's value must still be the loop's series.
Cell* forall_series(Cell* word, const Cell* start) {
	Cell* now = context::get(word);
	if (!is_series_type(cell::type_of(now)) || now->data2 != start->data2)
		errors::fire(errors::id::script_bad_loop_series, now);
	return now;
}

void n_forall(bool, const int32_t*) {
	Cell word = args()[0];
	Cell body = args()[1];
	Cell start = *context::get(&word);
	if (!is_series_type(cell::type_of(&start))) {
		Cell call, type, arg;
		stack::get_call(&call);
		cell::set(&type, T_DATATYPE, cell::type_of(&start));
		actions::make_word("word", &arg);
		errors::fire(errors::id::script_expect_arg, &call, &type, &arg);
	}
	stack::push(&start);
	open_loop();
	cell::make_unset(stack::arguments);
	for (;;) {
		Cell* now = forall_series(&word, &start);
		if (now->data1 >= series_units(now)) break;
		Step step = run_body(&body);
		if (step == Step::leave) return;
		if (step == Step::stop) {
			close_loop();
			return;
		}
		forall_series(&word, &start)->data1++;
	}
	context::set(&word, &start);
	close_loop();
}

void n_remove_each(bool, const int32_t*) {
	Cell spec = args()[0];
	Cell data = args()[1];
	Cell body = args()[2];
	uint32_t n;
	if (cell::is(&spec, T_BLOCK)) {
		Series* s = memory::series(spec.data2);
		if (s->used() / sizeof(Cell) == spec.data1) return result(&data);
	}
	n = foreach_words(&spec);
	Cell* series = stack::push(&data);
	open_loop();
	cell::make_unset(stack::arguments);
	for (;;) {
		stack::keep();
		if (!foreach_next(&spec, series, n)) break;
		Step step = run_body(&body);
		if (step == Step::leave) return;
		if (step == Step::stop) break;
		if (truthy(stack::arguments)) {
			series->data1 -= n;
			Cell part;
			cell::make_integer(&part, int32_t(n));
			Cell target = *series;
			actions::get<action::RemoveFn>(&target, A_REMOVE)(&target, n > 1 ? &part : nullptr, nullptr);
		}
	}
	close_loop();
	result(&data);
}

// ---------------------------------------------------------------- exits

void n_break(bool, const int32_t* refs) {
	bool has_value = refs[0] >= 0;
	if (has_value) *stack::arguments = stack::arguments[refs[0]];
	stack::throw_break(has_value, false);
}

void n_continue(bool, const int32_t*) { stack::throw_break(false, true); }
void n_exit(bool, const int32_t*) { stack::throw_return(false, false); }
void n_return(bool, const int32_t*) { stack::throw_return(true, false); }

void n_throw(bool, const int32_t* refs) {
	Cell* a = args();
	if (refs[0] < 0) {
		stack::top = a + 1;
		stack::push(&UNSET_CELL);
	} else {
		a[1] = a[refs[0]];
		stack::top = a + 2;
	}
	interpreter::fire_event(interpreter::EV_THROW, nullptr, -1, a, nullptr);
	stack::throw_code(THROW_THROW);
}

bool name_matches(const Cell* name, const Cell* wanted) {
	if (!cell::is(name, T_WORD)) return false;
	if (cell::is(wanted, T_WORD)) return symbol::resolve(name->data2) == symbol::resolve(wanted->data2);
	Series* s = memory::series(wanted->data2);
	for (Cell* w = s->head_cell() + wanted->data1; w < s->tail_cell(); w++) {
		if (!cell::is(w, T_WORD)) {
			Cell refinement;
			actions::make_word("name", &refinement);
			errors::fire(errors::id::script_invalid_refine_arg, &refinement, wanted);
		}
		if (symbol::resolve(name->data2) == symbol::resolve(w->data2)) return true;
	}
	return false;
}

void n_catch(bool, const int32_t* refs) {
	Cell block = args()[0];
	Cell wanted = refs[0] >= 0 ? args()[refs[0]] : NONE_CELL;
	stack::mark_symbol(stack::body_symbol, stack::OPEN_CATCH);
	try {
		interpreter::eval(&block, true);
		if (errors::pending) return;
		stack::unwind_last();
	} catch (const Throw& t) {
		if (t.code != THROW_THROW) throw;
		// The catch frame is open: its base holds the value, the next cell the name.
		Cell value = stack::arguments[0];
		Cell name = stack::arguments[1];
		bool caught = refs[0] < 0 || name_matches(&name, &wanted);
		stack::unwind_last();
		if (!caught) {
			stack::arguments[0] = value;
			stack::arguments[1] = name;
			stack::top = stack::arguments + 2;
			stack::frames_top--;  // the catch call's own frame record
			stack::throw_code(THROW_THROW);
		}
		stack::cursor = nullptr;  // the throw ends here: a later error names its own frame
		stack::set_result(&value);
		interpreter::fire_event(interpreter::EV_CATCH, nullptr, -1, stack::arguments, nullptr);
	}
}

void n_try(bool, const int32_t* refs) {
	Cell block = args()[0];
	bool all = refs[0] >= 0;
	Cell name;
	actions::make_word("try", &name);
	if (all)
		stack::mark_try_all(&name);
	else
		stack::mark_try(&name);
	try {
		interpreter::eval(&block, true);
		if (errors::pending) {
			// break, continue, return or exit: a try-all frame turned them
			// into errors before they reached it, so these pass on.
			return;
		}
		stack::unwind_last();
	} catch (const Throw& t) {
		if (t.code != THROW_ERROR) throw;  // the language's throw and quit pass on
		cycles::reset();
		stack::adjust_post_try();
		if (refs[1] >= 0 && cell::is(stack::arguments, T_ERROR)) error::set_stack_trace(stack::arguments);
	}
}

// ---------------------------------------------------------------- function makers

void n_func(bool, const int32_t*) { function::make_func(args(), args() + 1, stack::arguments); }
void n_function(bool, const int32_t*) { function::make_function(args(), args() + 1, stack::arguments); }

void n_does(bool, const int32_t*) {
	Cell spec;
	function::empty_spec(&spec);
	Cell body = args()[0];
	function::make_func(&spec, &body, stack::arguments);
}

void n_has(bool, const int32_t*) {
	Cell spec;
	function::local_spec(args(), &spec);
	Cell body = args()[1];
	function::make_func(&spec, &body, stack::arguments);
}

}  // namespace

void register_control() {
	set(N_IF, n_if);
	set(N_UNLESS, n_unless);
	set(N_EITHER, n_either);
	set(N_ANY, n_any);
	set(N_ALL, n_all);
	set(N_WHILE, n_while);
	set(N_UNTIL, n_until);
	set(N_LOOP, n_loop);
	set(N_REPEAT, n_repeat);
	set(N_FOREVER, n_forever);
	set(N_FOREACH, n_foreach);
	set(N_FORALL, n_forall);
	set(N_REMOVE_EACH, n_remove_each);
	set(N_FUNC, n_func);
	set(N_FUNCTION, n_function);
	set(N_DOES, n_does);
	set(N_HAS, n_has);
	set(N_SWITCH, n_switch);
	set(N_CASE, n_case);
	set(N_BREAK, n_break);
	set(N_CONTINUE, n_continue);
	set(N_EXIT, n_exit);
	set(N_RETURN, n_return);
	set(N_THROW, n_throw);
	set(N_CATCH, n_catch);
	set(N_TRY, n_try);
}

}  // namespace vyn::natives
