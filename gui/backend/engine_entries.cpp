#include "gui/backend/engine_entries.h"

#include "runtime/collector.h"
#include "runtime/compiled.h"
#include "runtime/context.h"
#include "runtime/cycles.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/map.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/word.h"
#include "runtime/errors.h"
#include "runtime/evaluator/actions.h"
#include "runtime/evaluator/interpreter.h"
#include "runtime/evaluator/library_entries.h"
#include "runtime/evaluator/stack.h"
#include "runtime/memory.h"
#include "runtime/symbol.h"

namespace vyn::engine_entries {

namespace {

// ---------------------------------------------------------------- face!/on-change*

// The global words the handler's quick path reads, bound at start-up and
// read at each call.
Cell quiet_bits_word, immediate_word, system_word, mark_unsynced_word, unsynced_faces_word;
// mark-unsynced as the library defined it: the entry does its work only
// while the word still holds it.
Cell library_mark_unsynced;
uint32_t sym_view, sym_debug, sym_auto_sync, sym_reactivity, sym_relations, sym_state, sym_type, sym_on_change,
	sym_rich_text, sym_screen;

void mark_kept() { collector::mark_cell(&library_mark_unsynced); }

// A global word's value, or null when unset.
const Cell* global(Cell* word) {
	const Cell* v = context::get(word);
	return cell::is(v, T_UNSET) ? nullptr : v;
}

// An object's field, or null.
Cell* field(const Cell* object, uint32_t symbol) {
	if (!object || !cell::is(object, T_OBJECT)) return nullptr;
	int32_t i = context::find_word(object->data1, symbol, true);
	return i < 0 ? nullptr : context::values(object->data1) + i;
}

bool owned(const Cell* series) { return memory::buffer_of(series)->flags & SERIES_OWNED; }

// What the guard found for the entry: the face, its state (a block when
// has_state), the facet's bit, whether the bits change at all and whether
// the face joins unsynced-faces (the list when it does).
struct Plan {
	Cell face;
	Cell state;
	bool has_state;
	bool changes;
	bool mark;
	int32_t bit;
	Cell unsynced;
} plan;

// The handler's quick path, read from its body: an immediate value assigned
// to a facet of quiet-facet-bits, debug off, and either a face not shown
// with sync off or a face without a state that is no rich-text box; then
// nothing at all when offset or size did not change, else the reactions
// (declined here unless there are none) and the bit. Arguments: word old new.
bool takes() {
	if (interpreter::tracing) return false;
	Cell* a = stack::arguments;
	const Cell* word = a;
	if (!cell::is(word, T_WORD) || !word->data1) return false;
	// The word is bound to the face whose handler runs (the runtime's call).
	Node ctx = word->data1;
	const Cell* face = context::owner(ctx);
	if (!cell::is(face, T_OBJECT) || face->data1 != ctx) return false;
	const Cell* handler = field(face, sym_on_change);
	stack::Frame* frame = stack::frames_top - 1;
	if (!handler || !cell::is(handler, T_FUNCTION) || handler->data1 != frame->callee_context) return false;

	const Cell* bits_map = global(&quiet_bits_word);
	if (!bits_map || !cell::is(bits_map, T_MAP)) return false;
	Cell key = *word;
	map::preprocess_key(&key, nullptr);
	const Cell* entry = map::find_entry(bits_map, &key, COMP_EQUAL);
	if (!entry || !cell::is(entry + 1, T_INTEGER)) return false;
	int32_t bit = cell::get_integer(entry + 1);

	const Cell* immediate = global(&immediate_word);
	if (!immediate || !cell::is(immediate, T_TYPESET)) return false;
	if (!compiled::typeset_has(immediate, cell::type_of(a + 1)) || !compiled::typeset_has(immediate, cell::type_of(a + 2)))
		return false;

	const Cell* system = global(&system_word);
	if (!system || !cell::is(system, T_OBJECT)) return false;
	const Cell* view = field(system, sym_view);
	const Cell* debug = field(view, sym_debug);
	if (!debug || interpreter::truthy(debug)) return false;
	const Cell* state = field(face, sym_state);
	const Cell* type = field(face, sym_type);
	if (!state || !type || !cell::is(type, T_WORD)) return false;
	bool has_state = cell::is(state, T_BLOCK);
	if (has_state) {
		const Cell* sync = field(view, sym_auto_sync);
		if (!sync || interpreter::truthy(sync)) return false;
	} else if (symbol::same_name(type->data2, sym_rich_text)) {
		return false;
	}

	plan.changes = !(bit < 8 && actions::compare(a + 1, a + 2, COMP_EQUAL));
	plan.mark = false;
	if (plan.changes) {
		Cell* relations = field(field(system, sym_reactivity), sym_relations);
		if (!relations || !cell::is(relations, T_BLOCK) || !block::vs_tail_q(relations)) return false;
		if (has_state) {
			Cell s = *state;
			if (owned(&s) || block::vs_length(&s) < 2 || !cell::is(block::vs_head(&s) + 1, T_INTEGER)) return false;
			if (cell::get_integer(block::vs_head(&s) + 1) == 0) {
				const Cell* mark = global(&mark_unsynced_word);
				const Cell* unsynced = global(&unsynced_faces_word);
				if (!mark || mark->header != library_mark_unsynced.header || mark->data1 != library_mark_unsynced.data1 ||
					mark->data3 != library_mark_unsynced.data3)
					return false;
				if (!unsynced || !cell::is(unsynced, T_BLOCK) || owned(unsynced)) return false;
				plan.mark = !symbol::same_name(type->data2, sym_screen);
				plan.unsynced = *unsynced;
			}
		}
	}
	plan.face = *face;
	plan.state = *state;
	plan.has_state = has_state;
	plan.bit = bit;
	return true;
}

// mark-unsynced: the face joins the list unless it is there already.
void mark_unsynced(Cell* list, const Cell* face) {
	for (Cell* c = block::vs_head(list); c < block::vs_tail(list); c++)
		if (cell::is(c, T_OBJECT) && c->data1 == face->data1) return;
	block::append_value(list, face);
}

void on_change() {
	Cell none;
	cell::make_none(&none);
	if (plan.changes && plan.has_state) {
		if (plan.mark) mark_unsynced(&plan.unsynced, &plan.face);
		Cell* bits = block::vs_head(&plan.state) + 1;
		cell::make_integer(bits, cell::get_integer(bits) | plan.bit);
	}
	stack::set_result(&none);
}

// ---------------------------------------------------------------- do-safe

Cell try_word, do_word, console_word, halt_request_word, print_word, stop_events_word;

// Calls the function a global word holds with the argument (none: without
// one), as apply/all would; the answer is dropped.
void call_global(Cell* word, const Cell* arg) {
	Cell fn = *context::get(word);
	if (cell::is(&fn, T_UNSET)) errors::fire(errors::id::script_no_value, word);
	Type t = cell::type_of(&fn);
	if (t != T_NATIVE && t != T_ACTION && t != T_FUNCTION && t != T_ROUTINE) errors::fire(errors::id::script_invalid_arg, &fn);
	Cell args;
	block::make_at(&args, 1);
	if (arg) block::append_value(&args, arg);
	Cell name = *word;
	stack::mark_native(&name);
	stack::push(&args);
	stack::mark_interpreted();
	interpreter::apply(&fn, &args, nullptr, &name, interpreter::MODE_ALL);
	if (errors::pending) return;
	stack::unwind();
}

// The body runs under a tracer, which sees its steps.
bool do_safe_takes() { return !interpreter::tracing; }

// do-safe code: the code's value, or unset when it failed or was halted; an
// error, a throw or a loop or function exit leaving the code is printed. The
// frames are those of the body: try/all around catch/name 'console around
// `do code`.
void do_safe() {
	Cell code = stack::arguments[0];
	Cell result;
	cell::make_unset(&result);
	stack::mark_try_all(&try_word);
	try {
		stack::mark_symbol(stack::body_symbol, stack::OPEN_CATCH);
		Cell caught;
		bool thrown = false;
		try {
			stack::mark_native(&do_word);
			stack::push(&code);
			series::clamp_head(&code);
			interpreter::eval(&code, true);
			if (errors::pending) return;
			stack::unwind_last();
			result = *stack::arguments;
			stack::unwind_last();
		} catch (const Throw& t) {
			if (t.code != THROW_THROW) throw;
			// The catch frame is open: its base holds the value, the next cell the name.
			Cell value = stack::arguments[0];
			Cell name = stack::arguments[1];
			bool mine = cell::is(&name, T_WORD) && symbol::resolve(name.data2) == symbol::resolve(console_word.data2);
			stack::unwind_last();
			if (!mine) {
				// Not the console's: on to the try/all, which makes it an error.
				stack::arguments[0] = value;
				stack::arguments[1] = name;
				stack::top = stack::arguments + 2;
				stack::throw_code(THROW_THROW);
			}
			stack::cursor = nullptr;
			caught = value;
			thrown = true;
		}
		if (thrown && actions::compare(&halt_request_word, &caught, COMP_EQUAL)) call_global(&stop_events_word, nullptr);
		Cell none;
		cell::make_none(&none);
		stack::set_result(&none);
		stack::unwind_last();
	} catch (const Throw& t) {
		if (t.code != THROW_ERROR) throw;
		cycles::reset();
		stack::adjust_post_try();
		Cell error = *stack::arguments;
		if (cell::is(&error, T_ERROR)) {
			stack::set_result(&error);  // kept in sight while it prints
			call_global(&print_word, &error);
			if (errors::pending) return;
		}
	}
	stack::set_result(&result);
}

}  // namespace

void install() {
	Cell* face = context::global_value(symbol::make("face!"));
	Cell* mark = context::global_value(symbol::make("mark-unsynced"));
	if (!face || !cell::is(face, T_OBJECT) || !mark || !cell::is(mark, T_FUNCTION)) return;
	quiet_bits_word = *word::load("quiet-facet-bits");
	immediate_word = *word::load("immediate!");
	system_word = *word::load("system");
	mark_unsynced_word = *word::load("mark-unsynced");
	unsynced_faces_word = *word::load("unsynced-faces");
	library_mark_unsynced = *mark;
	collector::register_marker(mark_kept);
	sym_view = symbol::make("view");
	sym_debug = symbol::make("debug?");
	sym_auto_sync = symbol::make("auto-sync?");
	sym_reactivity = symbol::make("reactivity");
	sym_relations = symbol::make("relations");
	sym_state = symbol::make("state");
	sym_type = symbol::make("type");
	sym_on_change = symbol::make("on-change*");
	sym_rich_text = symbol::make("rich-text");
	sym_screen = symbol::make("screen");
	library_entries::give_value(field(face, sym_on_change), on_change, takes);
	try_word = *word::load("try");
	do_word = *word::load("do");
	console_word = *word::load("console");
	halt_request_word = *word::load("halt-request");
	print_word = *word::load("print");
	stop_events_word = *word::load("stop-events");
	library_entries::give("do-safe", do_safe, do_safe_takes);
}

}  // namespace vyn::engine_entries
