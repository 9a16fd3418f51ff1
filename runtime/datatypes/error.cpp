#include "runtime/datatypes/error.h"

#include <charconv>
#include <cstring>
#include <string_view>

#include "runtime/context.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/object.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/string.h"
#include "runtime/errors.h"
#include "runtime/evaluator/actions.h"
#include "runtime/evaluator/interpreter.h"
#include "runtime/evaluator/natives.h"
#include "runtime/evaluator/stack.h"
#include "runtime/memory.h"
#include "runtime/symbol.h"
#include "runtime/unicode.h"
#include "runtime/utf8.h"
#include "runtime/words.h"

namespace vyn::error {

Node state = 0;
Node catalog_owner = 0;

namespace {

using errors::Category;

constexpr const char* FIELD_NAMES[FIELD_COUNT] = {
	"code", "type", "id", "arg1", "arg2", "arg3", "near", "where", "stack", "files",
};
constexpr uint32_t UNLOOKED = 0xFFFFFFFFu;

// ------------------------------------------------------------ kept values

// A value the module keeps for the process: in the root block when there is
// one (the collector reaches it there and may rewrite it), else here.
struct Kept {
	bool made = false;
	uint32_t index = 0;  // position in the root block
	Cell local;

	Cell* get() {
		if (!made) return nullptr;
		return context::root ? memory::buffer_of(context::root)->head_cell() + index : &local;
	}
	void set(const Cell* value) {
		Cell v = *value;
		if (context::root) {
			Cell* c = memory::alloc_tail(context::root);
			*c = v;
			index = uint32_t(c - memory::buffer_of(context::root)->head_cell());
		} else {
			local = v;
		}
		made = true;
	}
};

Kept kept_catalog, kept_prototype;

Cell word_of(uint32_t sym, Type type = T_WORD) {
	Cell w;
	cell::set(&w, type, 0, sym, UNLOOKED);
	return w;
}

void put_field(Node ctx, const char* name, const Cell* value) {
	Cell w = word_of(symbol::make(name));
	context::put(ctx, &w, value);
}

Cell object_over(Node ctx) {
	Cell o;
	cell::set(&o, T_OBJECT, ctx, uint32_t(object::new_class_id()), 0);
	*context::owner(ctx) = o;
	return o;
}

// ------------------------------------------------------------ the catalog

// Templates name the arguments with get-words, except the user message and
// three internal templates, which use plain words.
bool plain_arguments(Category c, const char* id) {
	if (c == Category::user) return true;
	if (c != Category::internal) return false;
	std::string_view name(id);
	return name == "bad-path" || name == "not-here" || name == "deprecated";
}

void make_template(Category c, const errors::IdEntry& e, Cell* out) {
	static constexpr const char* ARG_NAMES[4] = {"", "arg1", "arg2", "arg3"};
	bool plain = plain_arguments(c, e.name);
	if (e.part_count == 1 && e.parts[0].text) {
		string::load_at(out, e.parts[0].text);
		return;
	}
	if (e.part_count == 1 && plain) {
		*out = word_of(symbol::make(ARG_NAMES[e.parts[0].arg]));
		return;
	}
	block::make_at(out, e.part_count);
	for (uint32_t i = 0; i < e.part_count; i++) {
		const errors::TemplatePart& p = e.parts[i];
		Cell item;
		if (p.text)
			string::load_at(&item, p.text);
		else
			item = word_of(symbol::make(ARG_NAMES[p.arg]), plain ? T_WORD : T_GET_WORD);
		block::append_value(out, &item);
	}
}

void build_catalog(Cell* out) {
	Node cat = context::create(errors::CATEGORY_COUNT, false, false, 0, context::KIND_OBJECT);
	for (int c = 0; c < errors::CATEGORY_COUNT; c++) {
		const errors::CategoryEntry& e = errors::catalog[c];
		Node ctx = context::create(FIRST_ID_FIELD + e.id_count, false, false, 0, context::KIND_OBJECT);
		Cell v;
		cell::make_integer(&v, c * 100);
		put_field(ctx, "code", &v);
		string::load_at(&v, e.display);
		put_field(ctx, "type", &v);
		for (uint32_t i = 0; i < e.id_count; i++) {
			make_template(Category(c), e.ids[i], &v);
			put_field(ctx, e.ids[i].name, &v);
		}
		Cell o = object_over(ctx);
		put_field(cat, e.name, &o);
	}
	*out = object_over(cat);
}

Cell* builtin_catalog() {
	if (!kept_catalog.made) {
		Cell c;
		build_catalog(&c);
		kept_catalog.set(&c);
	}
	return kept_catalog.get();
}

Node catalog_context() {
	if (catalog_owner) {
		// system/catalog/errors, whatever object it holds now.
		static const uint32_t errors_symbol = symbol::make("errors");
		int32_t i = context::find_word(catalog_owner, errors_symbol, true);
		const Cell* v = i < 0 ? nullptr : context::values(catalog_owner) + i;
		if (v && cell::is(v, T_OBJECT)) return v->data1;
	}
	return builtin_catalog()->data1;
}

Node prototype_context() {
	if (!kept_prototype.made) {
		Node ctx = context::create(FIELD_COUNT, false, false, 0, context::KIND_OBJECT);
		Cell none;
		cell::make_none(&none);
		for (const char* name : FIELD_NAMES) put_field(ctx, name, &none);
		Cell o;
		cell::set(&o, T_OBJECT, ctx, 0, 0);
		*context::owner(ctx) = o;
		kept_prototype.set(&o);
	}
	return kept_prototype.get()->data1;
}

// The category object at position c of the catalog, in `out`; false when
// the catalog holds no object there.
bool category_at(int32_t c, Cell* out) {
	Node cat = catalog_context();
	if (c < 0 || uint32_t(c) >= context::word_count(cat)) return false;
	*out = context::values(cat)[c];
	return object::is_object_like(cell::type_of(out));
}

int32_t category_named(uint32_t sym) { return context::find_word(catalog_context(), sym, true); }

// Position of an id among its category's fields, -1 when absent.
int32_t id_named(const Cell* category, uint32_t sym) {
	int32_t i = context::find_word(category->data1, sym, true);
	return i >= int32_t(FIRST_ID_FIELD) ? i : -1;
}

int32_t id_count(const Cell* category) { return int32_t(context::word_count(category->data1)) - int32_t(FIRST_ID_FIELD); }

// code, type and id of the error in ctx from catalog positions (the id is
// the id's number). The words are bound to the catalog and the category.
void set_code(Node ctx, int32_t c, int32_t n) {
	Node cat = catalog_context();
	Cell category;
	Cell* v = context::values(ctx);
	cell::make_integer(v + CODE, c * 100 + n);
	if (!category_at(c, &category)) return;
	uint32_t id_field = uint32_t(n) + FIRST_ID_FIELD;
	cell::set(v + TYPE, T_WORD, cat, context::word_cell(cat, uint32_t(c))->data2, uint32_t(c));
	cell::set(v + ID, T_WORD, category.data1, context::word_cell(category.data1, id_field)->data2, id_field);
}

// A new error cell over a copy of the prototype (or of `from`, an error).
Cell* new_error(Cell* out, const Cell* from) {
	Cell proto;
	if (from && cell::is(from, T_ERROR))
		proto = *from;
	else
		cell::set(&proto, T_OBJECT, prototype_context(), 0, 0);
	Node ctx = object::copy_context(&proto);
	cell::set(out, T_ERROR, ctx, uint32_t(CLASS_ID), 0);
	*context::owner(ctx) = *out;
	return out;
}

Cell* field(const Cell* error, Field f) { return context::values(error->data1) + f; }

void store_self(const Cell* error) {
	Cell e = *error;
	*context::owner(e.data1) = e;
}

// ------------------------------------------------------------ make

[[noreturn]] void spec_field_error(const Cell* word) { errors::fire(errors::id::script_invalid_spec_field, word); }

// code, type and id from a category word and an id value, as make error!
// checks them.
void set_from_words(Cell* err, const Cell* type, const Cell* id) {
	Cell category;
	if (!cell::is(type, T_WORD) || !category_at(category_named(type->data2), &category))
		spec_field_error(words::w_type);
	if (cell::is(id, T_NONE) || cell::is(id, T_UNSET)) spec_field_error(words::w_id);
	if (!cell::is(id, T_WORD)) errors::fire(errors::id::script_invalid_arg, id);
	int32_t n = id_named(&category, id->data2);
	if (n < 0) spec_field_error(words::w_id);
	set_code(err->data1, category_named(type->data2), n - int32_t(FIRST_ID_FIELD));
}

void make_from_code(Cell* err, const Cell* spec) {
	int32_t code = cell::get_integer(spec);
	Cell category;
	if (code < 0 || !category_at(code / 100, &category) || code % 100 >= id_count(&category))
		errors::fire(errors::id::script_out_of_range, spec);
	set_code(err->data1, code / 100, code % 100);
}

// False when an exit is unwinding through the spec's evaluation.
bool make_from_block(Cell* err, const Cell* spec) {
	Cell* body = stack::push(spec);
	uint32_t head = series::clamp_head(body);
	Series* s = memory::buffer_of(body);
	uint32_t n = s->used() / sizeof(Cell);
	Cell first;
	if (head < n)
		first = s->head_cell()[head];
	else
		cell::make_none(&first);
	if (cell::is(&first, T_WORD)) {
		Cell second;
		if (head + 1 < n)
			second = s->head_cell()[head + 1];
		else
			cell::make_none(&second);
		set_from_words(err, &first, &second);
		return true;
	}
	if (!cell::is(&first, T_SET_WORD)) {
		if (head < n) errors::fire(errors::id::internal_invalid_error, &first);
		errors::fire(errors::id::internal_invalid_error);
	}
	context::bind_block(body, err->data1, true);
	interpreter::eval(body, false);
	if (errors::unwinding()) return false;
	stack::top = body;
	Cell type = *field(err, TYPE);
	Cell id = *field(err, ID);
	set_from_words(err, &type, &id);
	return true;
}

// ------------------------------------------------------------ the report

// Appends to a string! cell, counting what was written.
struct Report {
	Cell* out;

	uint32_t length() const { return unicode::unit_count(memory::buffer_of(out)); }
	void text(std::string_view t) { string::append_literal(out, t); }
	void string(const Cell* s) {
		Cell v = *s;
		string::append_string(out, &v, -1);
	}
	// A value formed or molded flat (`only`: without its outer brackets),
	// cut to `budget` characters.
	void value(const Cell* v, bool formed, bool only, int32_t budget) {
		uint32_t before = length();
		Cell limit;
		cell::make_integer(&limit, budget);
		if (formed)
			actions::form(v, out, &limit, budget);
		else
			actions::mold(v, out, only, false, true, &limit, budget, 0);
		if (length() - before > uint32_t(budget)) string::truncate(out, before + uint32_t(budget));
	}
};

// What the report reads of the error: its fields, and the catalog entries
// they name (or those of internal invalid-error when they name none).
struct Reading {
	Cell fields[FIELD_COUNT];
	Node ctx;
	Cell category;
	Cell message;  // the template
	bool syntax;
};

const Cell* state_field(const char* name) {
	if (!state) return nullptr;
	int32_t i = context::find_word(state, symbol::make(name), true);
	Cell* v = i < 0 ? nullptr : context::values(state);
	return v ? v + i : nullptr;
}

int32_t trace_level() {
	const Cell* v = state_field("stack-trace");
	return v && cell::is(v, T_INTEGER) ? cell::get_integer(v) : 0;
}

void read_error(const Cell* error, Reading& r) {
	r.ctx = error->data1;
	const Cell* v = context::values(r.ctx);
	for (uint32_t i = 0; i < FIELD_COUNT; i++) r.fields[i] = v[i];
	const Cell* type = r.fields + TYPE;
	const Cell* id = r.fields + ID;
	cell::make_none(&r.category);
	int32_t c = cell::is(type, T_WORD) ? category_named(type->data2) : -1;
	int32_t n = -1;
	if (category_at(c, &r.category) && cell::is(id, T_WORD)) n = id_named(&r.category, id->data2);
	if (n < 0) {
		// Reported as the internal error invalid-error, naming what is unknown.
		r.fields[ARG1] = c < 0 ? *type : *id;
		c = int32_t(Category::internal);
		n = category_at(c, &r.category) ? id_named(&r.category, words::sym_invalid_error) : -1;
	}
	r.syntax = c == int32_t(Category::syntax);
	if (n < 0)
		cell::make_none(&r.message);
	else
		r.message = context::values(r.category.data1)[n];
}

// The value a template word stands for: the error's field of that name.
const Cell* template_argument(const Reading& r, const Cell* word) {
	int32_t i = context::find_word(r.ctx, word->data2, true);
	if (i < 0) return nullptr;
	if (uint32_t(i) < FIELD_COUNT) return r.fields + i;
	return context::values(r.ctx) + i;
}

void write_argument(Report& out, const Reading& r, const Cell* item) {
	Type t = cell::type_of(item);
	if (t == T_WORD || t == T_GET_WORD) {
		const Cell* v = template_argument(r, item);
		if (!v) {
			out.value(item, true, false, ARGUMENT_BUDGET);
			return;
		}
		out.value(v, r.syntax, false, ARGUMENT_BUDGET);
		return;
	}
	if (series::any_string(t)) {
		out.string(item);
		return;
	}
	out.value(item, true, false, ARGUMENT_BUDGET);
}

void write_message(Report& out, const Reading& r) {
	Cell m = r.message;
	if (cell::is(&m, T_WORD) || cell::is(&m, T_GET_WORD)) {
		const Cell* v = template_argument(r, &m);
		if (v && (series::any_string(cell::type_of(v)) || cell::is(v, T_BLOCK))) m = *v;
	}
	if (!cell::is(&m, T_BLOCK)) {
		write_argument(out, r, &m);
		return;
	}
	uint32_t head = series::clamp_head(&m);
	for (uint32_t i = head; i < memory::buffer_of(&m)->used() / sizeof(Cell); i++) {
		if (i > head) out.text(" ");
		Cell item = memory::buffer_of(&m)->head_cell()[i];
		write_argument(out, r, &item);
	}
}

bool live_context(Node n) {
	if (n == 0 || n > memory::node_frame_count * NODE_FRAME_NODES) return false;
	Series* s = memory::series(n);
	return s && !memory::node_is_free_slot(s) && cell::is(s->head_cell(), T_CONTEXT);
}

// The frames of the call trace up to (not including) record `end`: named
// frames whose word refers to a function!, or every named frame when the
// level is above 1.
template <class F>
void each_call(uint32_t end, int32_t level, F&& visit) {
	if (end > stack::CALL_FRAMES) end = stack::CALL_FRAMES;
	uint32_t floor = uint32_t(stack::trace_floor - stack::frames_bottom);
	for (uint32_t k = floor <= end ? floor : 0; k < end; k++) {
		const stack::Frame* f = stack::frames_bottom + k;
		uint32_t sym = f->symbol;
		if (sym == 0 || sym == stack::body_symbol || sym == stack::anon_symbol) continue;
		Node ctx = live_context(f->word_context) ? f->word_context : 0;
		if (level <= 1) {
			const Cell* v = ctx ? context::get_value_or_global(ctx, sym) : context::global_value(sym);
			if (!v || !cell::is(v, T_FUNCTION)) continue;
		}
		Cell w;
		cell::set(&w, T_WORD, ctx, sym, UNLOOKED);
		visit(&w);
	}
}

void write_report(Report& out, const Cell* error) {
	Reading r;
	read_error(error, r);
	out.text("*** ");
	if (object::is_object_like(cell::type_of(&r.category)) && context::word_count(r.category.data1) > 1) {
		const Cell* display = context::values(r.category.data1) + 1;
		if (series::any_string(cell::type_of(display))) out.string(display);
	}
	out.text(": ");
	write_message(out, r);

	out.text("\n*** Where: ");
	const Cell* where = r.fields + WHERE;
	Type wt = cell::type_of(where);
	if ((wt >= T_WORD && wt <= T_ISSUE) || series::any_string(wt))
		out.value(where, true, false, 0x7FFFFFFF);
	else
		out.text("???");

	out.text("\n*** Near : ");
	out.value(r.fields + NEAR, false, true, NEAR_BUDGET);

	int32_t level = trace_level();
	if (level > 0) {
		out.text("\n*** Stack: ");
		const Cell* s = r.fields + STACK;
		if (cell::is(s, T_INTEGER)) {
			each_call(uint32_t(cell::get_integer(s)), level, [&](const Cell* w) {
				out.value(w, true, false, 0x7FFFFFFF);
				out.text(" ");
			});
		} else if (cell::is(s, T_BLOCK)) {
			out.value(s, true, false, 0x7FFFFFFF);
		}
	}
	if (cell::is(r.fields + FILES, T_BLOCK)) {
		out.text("\n*** Files: ");
		out.value(r.fields + FILES, false, true, NEAR_BUDGET);
	}
}

}  // namespace

// ------------------------------------------------------------ interface

void catalog(Cell* out) { *out = *builtin_catalog(); }

Cell* create(errors::Id id, const Cell* arg1, const Cell* arg2, const Cell* arg3, Cell* out) {
	const Cell* args[3] = {arg1, arg2, arg3};
	Cell copies[3];
	for (int i = 0; i < 3; i++)
		if (args[i]) copies[i] = *args[i];
	Cell err;
	new_error(&err, nullptr);
	set_code(err.data1, int32_t(id.category), id.number);
	Cell* v = context::values(err.data1);
	for (int i = 0; i < 3; i++)
		if (args[i]) v[ARG1 + i] = copies[i];
	const Cell* code = &interpreter::current_code;
	if (series::any_block(cell::type_of(code))) v[NEAR] = *code;
	*out = err;
	return out;
}

uint32_t get_category(const Cell* error) {
	const Cell* t = field(error, TYPE);
	return cell::is(t, T_WORD) ? t->data2 : 0;
}

uint32_t get_id(const Cell* error) {
	const Cell* t = field(error, ID);
	return cell::is(t, T_WORD) ? t->data2 : 0;
}

bool get_where(const Cell* error, Cell* out) {
	const Cell* w = field(error, WHERE);
	if (cell::is(w, T_NONE)) return false;
	*out = *w;
	return true;
}

int32_t code_of(const Cell* error) {
	const Cell* c = field(error, CODE);
	return cell::is(c, T_INTEGER) ? cell::get_integer(c) : -1;
}

void argument_word(const Cell* word, uint32_t n, Cell* out) {
	cell::make_none(out);
	if (!word->data1 && !word->data2) return;
	const Cell* fn = word->data1 && live_context(word->data1) ? context::get_value_or_global(word->data1, word->data2)
															  : context::global_value(word->data2);
	if (!fn) return;
	switch (cell::type_of(fn)) {
	case T_NATIVE: case T_ACTION: case T_OP: case T_FUNCTION: case T_ROUTINE: break;
	default: return;
	}
	Series* spec = memory::series(fn->data2);
	uint32_t seen = 0;
	for (const Cell* c = spec->head_cell(); c < spec->tail_cell(); c++) {
		Type t = cell::type_of(c);
		if (t != T_WORD && t != T_LIT_WORD && t != T_GET_WORD && t != T_REFINEMENT) continue;
		if (seen++ < n) continue;
		*out = *c;
		out->header = T_WORD;
		return;
	}
}

void set_stack_trace(Cell* error) {
	Cell* s = field(error, STACK);
	if (!cell::is(s, T_INTEGER)) return;
	uint32_t end = uint32_t(cell::get_integer(s));
	int32_t level = trace_level();
	Cell* trace = stack::alloc_slot();
	block::make_at(trace, 8);
	each_call(end, level > 0 ? level : 1, [&](const Cell* w) { block::append_value(trace, w); });
	*field(error, STACK) = *trace;
	stack::pop(1);
	const Cell* files = state_field("source-files");
	if (files && cell::is(files, T_BLOCK) && block::vs_length(files) > 0) {
		Cell copy;
		block::clone(files, &copy, false, false);
		*field(error, FILES) = copy;
	}
}

void print(errors::Id id, const Cell* arg1, const Cell* arg2, const Cell* arg3) {
	Cell name;
	cell::set(&name, T_WORD, 0, stack::body_symbol, UNLOOKED);
	stack::mark_native(&name);
	create(id, arg1, arg2, arg3, stack::alloc_slot());
	natives::table[natives::N_PRINT - 1](false, nullptr);
	Cell unset;
	cell::make_unset(&unset);
	stack::set_result(&unset);
	stack::unwind_drop();
}

void prepare(Cell* error) {
	if (!cell::is(error, T_ERROR) || !error->data1) return;
	Cell where;
	stack::get_call(&where);
	*field(error, WHERE) = where;
	Cell* s = field(error, STACK);
	if (!cell::is(s, T_BLOCK)) cell::make_integer(s, int32_t(stack::depth()));
}

void form_report(const Cell* error, char* out, uint32_t room) {
	if (room == 0) return;
	if (!cell::is(error, T_ERROR) || !error->data1) {
		// An error made before the catalog could be: its code alone.
		char text[32] = "*** Error ";
		auto end = std::to_chars(text + 10, text + sizeof text - 1, errors::code_of(error)).ptr;
		*end = 0;
		uint32_t n = uint32_t(end - text) < room - 1 ? uint32_t(end - text) : room - 1;
		std::memcpy(out, text, n);
		out[n] = 0;
		return;
	}
	Cell text;
	string::make_at(&text, 256);
	Report report{&text};
	write_report(report, error);
	unicode::to_utf8_part(&text, reinterpret_cast<uint8_t*>(out), room, -1, true);
}

Cell* make(Cell* proto, Cell* spec, Type) {
	Cell s = *spec;
	Cell* err = stack::alloc_slot();
	new_error(err, proto);
	switch (cell::type_of(&s)) {
	case T_INTEGER: make_from_code(err, &s); break;
	case T_BLOCK:
		if (!make_from_block(err, &s)) return nullptr;
		stack::top = err + 1;
		break;
	case T_STRING:
		set_code(err->data1, int32_t(Category::user), errors::id::user_message.number);
		*field(err, ARG1) = s;
		break;
	default: {
		Cell t;
		cell::set(&t, T_DATATYPE, T_ERROR);
		errors::fire(errors::id::script_bad_make_arg, &t, &s);
	}
	}
	store_self(err);
	return err;
}

int32_t form(const Cell* error, Cell* out, const Cell*, int32_t part) {
	Report report{out};
	uint32_t before = report.length();
	write_report(report, error);
	return part - int32_t(report.length() - before);
}

int32_t compare(const Cell* a, const Cell* b, CompareOp op) {
	if (cell::type_of(a) != cell::type_of(b)) return COMPARE_UNRELATED;
	return object::compare(a, b, op);
}

void init_type() {
	ActionRow row{};
	row.make = make;
	row.form = form;
	row.mold = object::mold;
	row.eval_path = object::eval_path;
	row.compare = compare;
	registry::register_type(T_ERROR, T_OBJECT, "error!", row,
		registry::slot_bit(A_REFLECT) | registry::slot_bit(A_COPY) | registry::slot_bit(A_FIND) |
			registry::slot_bit(A_SELECT));
	kept_catalog = Kept{};
	kept_prototype = Kept{};
	state = 0;
	catalog_owner = 0;
	errors::make_hook = [](errors::Id id, const Cell* a1, const Cell* a2, const Cell* a3, Cell* out) {
		// Before the symbols and the global context exist (early start-up)
		// no catalog can be built: the error is its code alone.
		if (!symbol::table || !context::global) {
			cell::set(out, T_ERROR, 0, id.code());
			return;
		}
		create(id, a1, a2, a3, out);
	};
	stack::hooks.prepare_error = prepare;
	stack::hooks.form_error = form_report;
}

}  // namespace vyn::error
