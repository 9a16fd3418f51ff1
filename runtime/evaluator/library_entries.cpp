#include "runtime/evaluator/library_entries.h"

#include <string>
#include <utility>

#include "runtime/compiled.h"
#include "runtime/context.h"
#include "runtime/cycles.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/error.h"
#include "runtime/datatypes/routine.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/url.h"
#include "runtime/datatypes/url_parser.h"
#include "runtime/datatypes/word.h"
#include "runtime/errors.h"
#include "runtime/evaluator/actions.h"
#include "runtime/evaluator/interpreter.h"
#include "runtime/evaluator/natives.h"
#include "runtime/evaluator/path_entries.h"
#include "runtime/evaluator/profiler.h"
#include "runtime/evaluator/script_entries.h"
#include "runtime/evaluator/series_entries.h"
#include "runtime/evaluator/stack.h"
#include "runtime/io/json.h"
#include "runtime/symbol.h"

namespace vyn::library_entries {

namespace {

const Cell NONE_CELL{T_NONE, 0, 0, 0};

inline Cell* args() { return stack::arguments; }

// Calls an action's stack form on the current frame, without refinements.
inline void call_action(Slot slot) {
	int32_t refs[4] = {-1, -1, -1, -1};
	actions::stack_forms[slot - 1](refs);
}

// ---------------------------------------------------------------- attempt

// The frame of attempt's code catches errors only; a return in the code
// unwinds to attempt's own frame (a return target), so attempt answers its
// value and the caller goes on. The error of a throw without a catch passes.
void attempt() {
	Cell code = args()[0];
	stack::mark_symbol(stack::body_symbol, stack::OPEN_TRY);
	try {
		interpreter::eval(&code, true);
		if (errors::pending) return;
		stack::unwind_last();
	} catch (const Throw& t) {
		if (t.code != THROW_ERROR) throw;
		cycles::reset();
		stack::adjust_post_try();
		Cell err = *stack::arguments;
		if (error::code_of(&err) == int32_t(errors::id::throw_throw.code())) stack::rethrow_error(&err);
		stack::set_result(&NONE_CELL);
	}
}

// ---------------------------------------------------------------- pickers

template <int32_t N>
void pick_nth() {
	Cell index;
	cell::make_integer(&index, N);
	Cell* v = actions::pick(args(), &index);
	stack::set_result(v);
}

// ---------------------------------------------------------------- rejoin

Cell series_word;  // series!, read at each call as series? reads it

bool is_series(const Cell* value) {
	const Cell* series = compiled::get_word(&series_word);
	if (!cell::is(series, T_TYPESET)) errors::fire(errors::id::script_invalid_type, series);
	return compiled::typeset_has(series, cell::type_of(value));
}

// The base: a copy of the first value when it is a series, else its form,
// with room for the rest when it is text.
void rejoin_base(Cell* first, uint32_t rest, Cell* out) {
	if (!is_series(first)) {
		string::make_at(out, 16 + 8 * rest);
		actions::form(first, out, nullptr, 0x7FFFFFFF);
	} else if (cell::is(first, T_STRING)) {
		string::Text text = string::text_of(first);
		string::make_at_unit(out, text.length + 8 * rest, text.width);
		string::append_string(out, first, -1);
	} else {
		actions::copy(first, out, nullptr, false, nullptr);
	}
}

// The reduced values stay on the data stack instead of in a block; the
// rest are appended as append splices a block: a string takes each value's
// form, a block each value; other series go through append itself.
void rejoin() {
	Cell block = args()[0];
	interpreter::Code code(&block);
	stack::mark_symbol(stack::body_symbol, stack::OPEN_INTERP_NATIVE);
	while (code.pos < code.limit()) {
		code.pos = interpreter::eval_expression(code, false, true, false);
		if (errors::pending) return;
	}
	Cell* values = stack::arguments;
	uint32_t n = uint32_t(stack::top - values);
	for (Cell* v = values; v < stack::top; v++) cell::clear_new_line(v);
	Cell* out = stack::alloc_slot();
	if (n == 0) {
		block::make_at(out, 0);
	} else {
		rejoin_base(values, n - 1, out);
		if (cell::is(out, T_STRING)) {
			for (uint32_t i = 1; i < n; i++) actions::form(values + i, out, nullptr, 0x7FFFFFFF);
		} else if (cell::is(out, T_BLOCK)) {
			for (uint32_t i = 1; i < n; i++) block::append_value(out, values + i);
		} else if (n > 1) {
			Cell* rest = stack::alloc_slot();
			block::make_at(rest, int32_t(n - 1));
			for (uint32_t i = 1; i < n; i++) block::append_value(rest, values + i);
			Cell target = *out;
			Cell spliced = *rest;
			stack::keep();
			*stack::arguments = target;
			stack::push(&spliced);
			call_action(A_APPEND);
			out = stack::arguments;
		}
	}
	Cell result = *out;
	result.data1 = 0;
	stack::set_result(&result);
	stack::unwind_last();
}

// ---------------------------------------------------------------- converters

// Each converter's type word, read at each call.
constexpr const char* CONVERTED[] = {
	"bitset", "binary", "block", "char", "email", "file", "float", "get-path", "get-word", "hash",
	"integer", "issue", "lit-path", "lit-word", "logic", "map", "none", "pair", "paren", "path",
	"percent", "refinement", "set-path", "set-word", "string", "tag", "time", "typeset", "tuple",
	"unset", "url", "word", "image", "date", "money", "ref", "point2D", "point3D",
};
constexpr size_t CONVERTED_COUNT = sizeof CONVERTED / sizeof CONVERTED[0];
static_assert(CONVERTED_COUNT == 38);
Cell type_words[CONVERTED_COUNT];

template <size_t I>
void convert() {
	Cell value = args()[0];
	if (cell::is(&value, T_UNSET)) compiled::raise_expect_arg(0, &value);
	Cell type = *compiled::get_word(&type_words[I]);
	stack::keep();
	args()[0] = type;
	stack::push(&value);
	call_action(A_TO);
}

// ---------------------------------------------------------------- installing

void give_function(Cell* fn, routine::Entry entry, routine::Guard guard = nullptr) {
	if (!fn || !cell::is(fn, T_FUNCTION)) return;  // not in this library
	Cell* slot = memory::series(fn->data3)->head_cell() + 2;
	cell::make_integer(slot, int32_t(routine::register_entry(entry, guard)));
}

// The same for a function held by a global object.
void give_member(const char* object, const char* name, routine::Entry entry) {
	Cell* holder = context::global_value(symbol::make(object));
	if (!holder || !cell::is(holder, T_OBJECT)) return;
	int32_t i = context::find_word(holder->data1, symbol::make(name), true);
	if (i >= 0) give_function(context::values(holder->data1) + i, entry);
}

template <size_t... I>
void give_converters(std::index_sequence<I...>) {
	(
		[] {
			std::string name = CONVERTED[I];
			type_words[I] = *word::load((name + "!").c_str());
			give(("to-" + name).c_str(), convert<I>);
		}(),
		...);
}

}  // namespace

void give_value(Cell* fn, routine::Entry entry, routine::Guard guard) { give_function(fn, entry, guard); }

void give(const char* name, routine::Entry entry, routine::Guard guard) {
	give_function(context::global_value(symbol::make(name)), entry, guard);
}

void install() {
	series_word = *word::load("series!");
	give("attempt", attempt);
	give("first", pick_nth<1>);
	give("second", pick_nth<2>);
	give("third", pick_nth<3>);
	give("fourth", pick_nth<4>);
	give("fifth", pick_nth<5>);
	give("rejoin", rejoin);
	give("load-json", json::load_entry);
	give("to-json", json::to_entry);
	give_converters(std::make_index_sequence<CONVERTED_COUNT>{});
	series_entries::install();
	path_entries::install();
	script_entries::install();
	give_member("url-parser", "parse-url", url_parser::parse_url_entry);
	give("decode-url", url_parser::decode_url_entry);
	url::parse_url = url_parser::parse;
	profiler::install();
}

}  // namespace vyn::library_entries
