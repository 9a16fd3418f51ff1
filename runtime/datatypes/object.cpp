#include "runtime/datatypes/object.h"

#include "runtime/context.h"
#include "runtime/cycles.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/function.h"
#include "runtime/datatypes/series.h"
#include "runtime/errors.h"
#include "runtime/evaluator/actions.h"
#include "runtime/evaluator/interpreter.h"
#include "runtime/evaluator/natives.h"
#include "runtime/evaluator/stack.h"
#include "runtime/memory.h"
#include "runtime/ownership.h"
#include "runtime/symbol.h"
#include "runtime/words.h"

namespace vyn::object {

int32_t last_class_id = FIRST_CLASS_ID;

namespace {

// Answered by the accessors for an absent field; reset before each answer,
// since callers may write into what they get.
Cell none_answer;

Cell* none_cell() {
	cell::make_none(&none_answer);
	return &none_answer;
}

inline Cell* values_of(Node ctx) { return context::values(ctx); }
inline uint32_t count_of(Node ctx) { return context::word_count(ctx); }

void datatype_of(const Cell* v, Cell* out) { cell::set(out, T_DATATYPE, cell::type_of(v)); }

inline bool any_word(Type t) { return t >= T_WORD && t <= T_ISSUE; }

// Word i of the word list as a plain word! bound to the context (the
// assigned flag and the new-line flag dropped).
Cell field_word(Node ctx, uint32_t i) {
	Cell w = *context::word_cell(ctx, i);
	w.header = T_WORD;
	return w;
}

bool names(uint32_t symbol, uint32_t wanted) { return symbol::same_name(symbol, wanted); }

void store_self(const Cell* obj) {
	Cell o = *obj;
	*context::owner(o.data1) = o;
}

// ------------------------------------------------------------ on-set record

struct Handler {
	uint32_t position;
	uint32_t locals;
	Node spec;
};
constexpr Handler no_handler{NO_HANDLER, 0, 0};

void write_slot(Cell* c, Handler h) {
	cell::set(c, T_PAIR, 0, (h.position << 16) | (h.locals & 0xFFFFu), h.spec);
}

Node make_record(Handler change, Handler deep) {
	Node record = memory::alloc_cells(2);
	Series* s = memory::series(record);
	s->tail = s->head + 2 * uint32_t(sizeof(Cell));
	write_slot(s->head_cell(), change);
	write_slot(s->head_cell() + 1, deep);
	return record;
}

int32_t locals_of(const Cell* fn) {
	Cell spec;
	cell::set(&spec, T_BLOCK, 0, fn->data2, 0);
	return function::count_locals(&spec);
}

Handler handler_at(Node ctx, int32_t index) {
	if (index == ABSENT) return no_handler;
	Cell v = values_of(ctx)[index];
	if (!cell::is(&v, T_FUNCTION) && !cell::is(&v, T_ROUTINE)) {
		Cell w = field_word(ctx, uint32_t(index));
		Cell t;
		datatype_of(&v, &t);
		errors::fire(errors::id::script_bad_field_set, &w, &t);
	}
	return {uint32_t(index), uint32_t(locals_of(&v)), v.data2};
}

// Positions of the two handler fields (the last occurrence wins).
void find_handlers(Node ctx, int32_t& change, int32_t& deep) {
	change = deep = ABSENT;
	uint32_t n = count_of(ctx);
	for (uint32_t i = 0; i < n; i++) {
		uint32_t sym = context::word_cell(ctx, i)->data2;
		if (names(sym, words::sym_on_change))
			change = int32_t(i);
		else if (names(sym, words::sym_on_deep_change))
			deep = int32_t(i);
	}
}

// The object owns the series of its fields (it is marked owner first, so a
// field holding the object itself is not walked into).
void own_fields(Cell* obj) {
	Node ctx = obj->data1;
	context::header(ctx)->header |= context::FLAG_OWNER;
	for (uint32_t i = 0; i < count_of(ctx); i++) {
		Cell w = field_word(ctx, i);
		ownership::bind_owned(values_of(ctx) + i, obj, &w);
	}
}

// ------------------------------------------------------------ field copies

// What renew_fields replaces by copies; function fields are always rebound.
enum : uint32_t {
	COPY_BLOCKS = 1,    // any-block values, deep
	COPY_STRINGS = 2,   // any-string values
	COPY_BINARIES = 4,  // vector!, binary!, image!
	REBIND = 8,         // copied any-block values bound to the object
	COPY_SERIES = COPY_BLOCKS | COPY_STRINGS | COPY_BINARIES,
};

// A method inherited by a new object: a copy of its context and a deep copy
// of its body, bound first to the object and then to the copied context, so
// that it sees the new object's fields.
void rebind_function(Cell* fn, Node obj_ctx) {
	Cell f = *fn;
	Node old_more = f.data3;
	Cell body = memory::series(old_more)->head_cell()[0];
	if (!cell::is(&body, T_BLOCK)) errors::fire(errors::id::script_bad_func_def, fn);
	Node fctx = context::copy(&f, context::kind_of(f.data1));
	Node more = memory::copy_series(memory::series(old_more));
	f.data3 = more;
	Cell copied;
	block::clone(&body, &copied, true, true);
	context::bind_block(&copied, obj_ctx, true);
	context::bind_block(&copied, fctx, false);
	Cell* m = memory::series(more)->head_cell();
	m[0] = copied;
	cell::make_unset(m + 1);  // the argument cache is rebuilt on first call
	cell::make_unset(m + 3);  // no op! made from this copy yet
	*context::owner(fctx) = f;
	*fn = f;
}

bool renewed(Type t, uint32_t mode) {
	if (series::any_block(t)) return mode & COPY_BLOCKS;
	if (series::any_string(t)) return mode & COPY_STRINGS;
	if (t == T_VECTOR || t == T_BINARY || t == T_IMAGE) return mode & COPY_BINARIES;
	return false;
}

// Replaces the fields' series by copies as `mode` asks and rebinds the
// function fields to the object. Copies only allocate, so the values stay
// where they are between fields; they are re-read anyway.
void renew_fields(Cell* obj, uint32_t mode) {
	for (uint32_t i = 0; i < count_of(obj->data1); i++) {
		Node ctx = obj->data1;
		Cell v = values_of(ctx)[i];
		Type t = cell::type_of(&v);
		Cell fresh;
		if (t == T_FUNCTION) {
			fresh = v;
			rebind_function(&fresh, ctx);
		} else if (renewed(t, mode)) {
			// A hash! keeps its table: it is copied whole, not deep.
			actions::copy(&v, &fresh, nullptr, t != T_HASH && series::any_block(t), nullptr);
			if ((mode & REBIND) && series::any_block(t)) context::bind_block(&fresh, ctx, true);
		} else {
			continue;
		}
		fresh.header = (fresh.header & ~FLAG_NEW_LINE) | (v.header & FLAG_NEW_LINE);
		values_of(obj->data1)[i] = fresh;
	}
}

void clear_assigned(Node ctx) {
	uint32_t n = count_of(ctx);
	for (uint32_t i = 0; i < n; i++) context::word_cell(ctx, i)->header &= ~context::WORD_ASSIGNED;
}

// ------------------------------------------------------------ notification

// Loads handler `which` (0 on-change*, 1 on-deep-change*) into `fn`; false
// when the object has none. The locals count is refreshed when the handler
// was redefined with another spec.
bool load_handler(const Cell* obj, uint32_t which, Cell* fn, int32_t* locals) {
	Node record = obj->data3;
	Cell* slot = memory::series(record)->head_cell() + which;
	uint32_t position = slot->data2 >> 16;
	if (position == NO_HANDLER) return false;
	Cell v = values_of(obj->data1)[position];
	if (!cell::is(&v, T_FUNCTION)) errors::fire(errors::id::script_invalid_obj_evt, &v);
	if (v.data2 != slot->data3) {
		uint32_t n = uint32_t(locals_of(&v));
		slot = memory::series(record)->head_cell() + which;
		slot->data2 = (position << 16) | (n & 0xFFFFu);
		slot->data3 = v.data2;
	}
	*fn = v;
	*locals = int32_t(slot->data2 & 0xFFFFu);
	return true;
}

// The field word as a handler gets it: bound to the object (a bound copy is
// pushed when it is not).
// Handlers always get a word!, whatever kind of word did the setting
// (a set-word bound to the object, for one).
Cell* bound_word(Cell* word, Node ctx) {
	if (word->data1 == ctx && cell::is(word, T_WORD)) return word;
	Cell w = *word;
	cell::set_type(&w, T_WORD);
	if (w.data1 != ctx) {
		w.data1 = ctx;
		w.data3 = uint32_t(context::find_word(ctx, w.data2, true));
	}
	return stack::push(&w);
}

// Calls the handler in a compiled-call frame named `name` with the
// arguments, then the unused /local refinement. A pending exit leaves the
// stacks as the unwinding left them.
void run_handler(const Cell* fn, Node ctx, const Cell* name, uint32_t event_class, Cell* const* args,
	uint32_t count, int32_t locals) {
	Cell* saved = stack::top;
	Cell* held = stack::push(fn);  // keeps the function reachable while it runs
	stack::mark_call(name, held->data1);
	for (uint32_t i = 0; i < count; i++) stack::push(args[i]);
	if (locals >= 1) function::push_inactive_refinement(locals);
	interpreter::call_function(held, ctx, name, event_class);
	if (errors::unwinding()) return;
	stack::unwind_call();
	stack::top = saved;
}

// Assigns field i, marking it assigned; with a record, on-change* runs with
// the word, the old and the new value.
void assign_field(const Cell* obj, Cell* word, uint32_t i, const Cell* value) {
	Cell v = *value;
	Node ctx = obj->data1;
	context::word_cell(ctx, i)->header |= context::WORD_ASSIGNED;
	if (!obj->data3) {
		values_of(ctx)[i] = v;
		return;
	}
	Cell* saved = stack::top;
	Cell* o = stack::push(obj);
	Cell* w = stack::push(word);
	Cell* old = stack::push(values_of(ctx) + i);
	values_of(ctx)[i] = v;
	Cell* fresh = stack::push(&v);
	notify_change(o, w, old, fresh);
	if (errors::unwinding()) return;
	stack::top = saved;
}

// ------------------------------------------------------------ make

// construct's collection: each set-word takes the first value after its
// run of set-words (none at the end); without `only`, the words true, yes,
// on, false, no, off and none become their values. True when it grew.
bool collect_spec(Cell* obj, Cell* spec, bool only) {
	Node ctx = obj->data1;
	uint32_t before = count_of(ctx);
	Cell s = *spec;
	uint32_t n = memory::buffer_of(&s)->used() / sizeof(Cell);
	uint32_t head = s.data1 < n ? s.data1 : n;
	uint32_t run = n;  // first set-word of the pending run; n: none
	auto give = [&](uint32_t end, const Cell* value) {
		Cell v = *value;
		for (uint32_t k = run; k < end; k++) {
			Cell w = memory::buffer_of(&s)->head_cell()[k];
			context::put(ctx, &w, &v);
		}
		run = n;
	};
	for (uint32_t i = head; i < n; i++) {
		Cell c = memory::buffer_of(&s)->head_cell()[i];
		if (cell::is(&c, T_SET_WORD)) {
			if (run == n) run = i;
			continue;
		}
		if (run == n) continue;
		if (!only && cell::is(&c, T_WORD)) {
			uint32_t sym = c.data2;
			if (names(sym, words::sym_true) || names(sym, words::sym_yes) || names(sym, words::sym_on))
				cell::make_logic(&c, true);
			else if (names(sym, words::sym_false) || names(sym, words::sym_no) || names(sym, words::sym_off))
				cell::make_logic(&c, false);
			else if (names(sym, words::sym_none))
				cell::make_none(&c);
		}
		give(i, &c);
	}
	if (run != n) give(n, none_cell());
	return count_of(ctx) > before;
}

// make with an object spec: its fields added or overwritten, then the
// series copied and the methods rebound. True when the object grew.
bool merge_object(Cell* obj, const Cell* spec) {
	Node ctx = obj->data1;
	uint32_t before = count_of(ctx);
	Cell s = *spec;
	for (uint32_t i = 0; i < count_of(s.data1); i++) {
		Cell w = field_word(s.data1, i);
		Cell v = values_of(s.data1)[i];
		context::put(ctx, &w, &v);
	}
	bool grew = count_of(ctx) > before;
	renew_fields(obj, COPY_SERIES);
	return grew;
}

// make with a block spec: the set-words become fields, the block is bound to
// the object and evaluated. False when an exit is unwinding through.
bool eval_spec(Cell* obj, const Cell* spec, bool from_proto, bool* grew) {
	Cell* body = stack::push(spec);
	*grew = context::collect_set_words(obj->data1, body);
	context::bind_block(body, obj->data1, true);
	if (from_proto) renew_fields(obj, COPY_SERIES | REBIND);
	store_self(obj);  // `self` is the object while the spec runs
	interpreter::eval(body, false);
	if (errors::unwinding()) return false;
	stack::top = obj + 1;
	Node ctx = obj->data1;
	clear_assigned(ctx);
	clear_new_lines(values_of(ctx), values_of(ctx) + count_of(ctx));
	return true;
}

}  // namespace

// ------------------------------------------------------------ constructors

Cell* push(Node ctx, int32_t class_id) { return push_with_on_set(ctx, class_id, 0); }

Cell* push_with_on_set(Node ctx, int32_t class_id, Node record) {
	Node values = context::header(ctx)->data2;
	if (memory::series(values)->used() == 0) {
		uint32_t n = count_of(ctx);
		for (uint32_t i = 0; i < n; i++) cell::make_unset(memory::alloc_at_tail(memory::series(values)));
	}
	Cell obj;
	cell::set(&obj, T_OBJECT, ctx, uint32_t(class_id), record);
	Cell* c = stack::push(&obj);
	store_self(c);
	return c;
}

Cell* make_at(Cell* out, uint32_t slots) {
	Node ctx = context::create(slots, false, false, 0, context::KIND_OBJECT);
	cell::set(out, T_OBJECT, ctx, 0, 0);
	store_self(out);
	return out;
}

void set_change_handlers(Node ctx, int32_t change_index, int32_t change_locals, int32_t deep_index,
	int32_t deep_locals) {
	Cell* obj = stack::get_top();
	auto slot = [&](int32_t index, int32_t locals) {
		if (index == ABSENT) return no_handler;
		return Handler{uint32_t(index), uint32_t(locals), values_of(ctx)[index].data2};
	};
	obj->data3 = make_record(slot(change_index, change_locals), slot(deep_index, deep_locals));
	if (deep_index != ABSENT) own_fields(obj);
	store_self(obj);
}

Cell* construct_push(Cell* spec, const Cell* proto, bool only) {
	Cell s = *spec;
	bool from_proto = proto && cell::is(proto, T_OBJECT);
	Cell p;
	if (from_proto) p = *proto;
	Cell* obj = stack::alloc_slot();
	Node ctx = from_proto ? copy_context(&p) : context::create(4, false, false, 0, context::KIND_OBJECT);
	cell::set(obj, T_OBJECT, ctx, from_proto ? p.data2 : 0, 0);
	if (from_proto) renew_fields(obj, 0);
	bool grew = collect_spec(obj, &s, only);
	if (grew || !from_proto) obj->data2 = uint32_t(new_class_id());
	if (from_proto && p.data3)
		finish(obj);
	else
		store_self(obj);
	return obj;
}

Node copy_context(const Cell* proto) {
	Cell p = *proto;
	Node old = p.data1;
	Node fresh = context::copy(&p, context::KIND_OBJECT);
	context::header(fresh)->header &= ~context::FLAG_OWNER;
	uint32_t n = count_of(old);
	Cell* from = values_of(old);
	Cell* to = values_of(fresh);
	for (uint32_t i = 0; i < n; i++) to[i] = from[i];
	return fresh;
}

void finish(Cell* obj) {
	Node ctx = obj->data1;
	int32_t change, deep;
	find_handlers(ctx, change, deep);
	obj->data3 = 0;
	if (change != ABSENT || deep != ABSENT) {
		Handler a = handler_at(ctx, change);
		Handler b = handler_at(ctx, deep);
		obj->data3 = make_record(a, b);
	}
	if (deep != ABSENT) own_fields(obj);
	store_self(obj);
}

// ------------------------------------------------------------ accessors

Cell* get_word_value(const Cell* obj, const Cell* word) {
	Node ctx = obj->data1;
	int32_t i = context::find_word(ctx, word->data2, true);
	return i < 0 ? none_cell() : values_of(ctx) + i;
}

Cell* get_word_at(Node ctx, uint32_t n) { return context::word_cell(ctx, n); }

Cell* get_values(const Cell* obj) { return values_of(obj->data1); }

bool word_of_class_q(const Cell* word, int32_t class_id) {
	if (!word->data1 || int32_t(word->data3) < 0) return false;
	Cell* values = context::values(word->data1);
	if (!values) return false;
	const Cell* v = values + word->data3;
	return cell::is(v, T_OBJECT) && class_of(v) == class_id;
}

bool member_of_class_q(Node ctx, uint32_t index, int32_t class_id) {
	const Cell* v = values_of(ctx) + index;
	return cell::is(v, T_OBJECT) && class_of(v) == class_id;
}

void clear_new_lines(Cell* first, Cell* end) {
	for (Cell* c = first; c < end; c++) cell::clear_new_line(c);
}

// ------------------------------------------------------------ notifiers

void notify_change(Cell* obj, Cell* word, Cell* old_value, Cell* new_value) {
	if (!obj->data3) return;
	Cell fn;
	int32_t locals;
	if (!load_handler(obj, 0, &fn, &locals)) return;
	Cell* saved = stack::top;
	Cell* args[] = {bound_word(word, obj->data1), old_value, new_value};
	run_handler(&fn, obj->data1, words::w_on_change, EVENT_CHANGE, args, 3, locals);
	if (errors::unwinding()) return;
	stack::top = saved;
}

void notify_change_from_stack(Cell* obj, Cell* word) {
	Cell* old_value = stack::get_top();
	notify_change(obj, word, old_value, old_value - 1);
}

void notify_word_change(Cell* word, Cell* old_value, Cell* new_value) {
	Cell* saved = stack::top;
	Cell* obj = stack::push(context::owner(word->data1));
	if (cell::is(obj, T_OBJECT)) notify_change(obj, word, old_value, new_value);
	if (errors::unwinding()) return;
	stack::top = saved;
}

void notify_deep_change(Cell* owner, Cell* word, Cell* target, Cell* action, Cell* value, int32_t index,
	int32_t part) {
	if (!owner->data3) errors::fire(errors::id::script_invalid_obj_evt, owner);
	Cell fn;
	int32_t locals;
	if (!load_handler(owner, 1, &fn, &locals)) return;
	Cell* saved = stack::top;
	Cell* w = bound_word(word, owner->data1);
	Cell* v = stack::push(value ? value : none_cell());
	Cell* i = stack::alloc_slot();
	cell::make_integer(i, index);
	Cell* p = stack::alloc_slot();
	cell::make_integer(p, part);
	Cell* args[] = {owner, w, target, action, v, i, p};
	run_handler(&fn, owner->data1, words::w_on_deep_change, EVENT_DEEP_CHANGE, args, 7, locals);
	if (errors::unwinding()) return;
	stack::top = saved;
}

// ------------------------------------------------------------ set

void set_many(Cell* obj, const Cell* value, bool any, bool only, bool some) {
	Cell* saved = stack::top;
	Cell* o = stack::push(obj);
	Cell* source = stack::push(value);
	bool guarded = o->data3 != 0;  // handler fields keep their values
	Type st = cell::type_of(source);
	enum { FROM_BLOCK, FROM_OBJECT, SAME } mode = SAME;
	if (!only && st == T_BLOCK) mode = FROM_BLOCK;
	if (!only && is_object_like(st)) mode = FROM_OBJECT;
	uint32_t head = 0;
	if (mode == FROM_BLOCK) head = series::clamp_head(source);
	for (uint32_t i = 0; i < count_of(o->data1); i++) {
		Cell w = field_word(o->data1, i);
		if (guarded && (names(w.data2, words::sym_on_change) || names(w.data2, words::sym_on_deep_change)))
			continue;
		Cell v = *source;
		if (mode == FROM_BLOCK) {
			uint32_t n = memory::buffer_of(source)->used() / sizeof(Cell);
			if (head + i < n)
				v = memory::buffer_of(source)->head_cell()[head + i];
			else
				cell::make_none(&v);
		} else if (mode == FROM_OBJECT) {
			int32_t k = context::find_word(source->data1, w.data2, true);
			if (k < 0) continue;
			v = values_of(source->data1)[k];
		}
		if (mode != SAME) {
			if (cell::is(&v, T_UNSET) && !any && !some) errors::fire(errors::id::script_need_value, &w);
			if (some && cell::is(&v, T_NONE)) continue;
		}
		Cell* wp = stack::push(&w);
		assign_field(o, wp, i, &v);
		if (errors::unwinding()) return;
		stack::top = source + 1;
	}
	stack::top = saved;
}

// ------------------------------------------------------------ actions

Cell* make(Cell* proto, Cell* spec, Type) {
	Cell p = *proto;
	Type st = cell::type_of(spec);
	if (st != T_BLOCK && !is_object_like(st)) errors::fire(errors::id::syntax_malconstruct, spec);
	bool from_proto = cell::is(&p, T_OBJECT);
	Cell* obj = stack::alloc_slot();
	Node ctx = from_proto ? copy_context(&p) : context::create(4, false, false, 0, context::KIND_OBJECT);
	cell::set(obj, T_OBJECT, ctx, from_proto ? p.data2 : 0, 0);
	bool grew;
	if (st == T_BLOCK) {
		if (!eval_spec(obj, spec, from_proto, &grew)) return nullptr;
	} else {
		grew = merge_object(obj, spec);
	}
	if (grew || !from_proto) obj->data2 = uint32_t(new_class_id());
	finish(obj);
	return obj;
}

Cell* reflect(Cell* obj, uint32_t field) {
	Cell o = *obj;
	Node ctx = o.data1;
	uint32_t n = count_of(ctx);
	if (names(field, words::sym_changed)) {
		block::make_at(obj, int32_t(n));
		for (uint32_t i = 0; i < n; i++) {
			if (!(context::word_cell(ctx, i)->header & context::WORD_ASSIGNED)) continue;
			Cell w = field_word(ctx, i);
			block::append_value(obj, &w);
		}
	} else if (names(field, words::sym_class)) {
		cell::make_integer(obj, class_of(&o));
	} else if (names(field, words::sym_words)) {
		block::make_at(obj, int32_t(n));
		for (uint32_t i = 0; i < n; i++) {
			Cell w = field_word(ctx, i);
			block::append_value(obj, &w);
		}
	} else if (names(field, words::sym_values)) {
		block::make_at(obj, int32_t(n));
		for (uint32_t i = 0; i < n; i++) {
			Cell v = values_of(ctx)[i];
			block::append_value(obj, &v);
		}
	} else if (names(field, words::sym_body)) {
		block::make_at(obj, int32_t(2 * n));
		for (uint32_t i = 0; i < n; i++) {
			Cell w = field_word(ctx, i);
			w.header = T_SET_WORD | FLAG_NEW_LINE;
			block::append_value(obj, &w);
			Cell v = values_of(ctx)[i];
			if (cell::is(&v, T_WORD)) cell::set_type(&v, T_LIT_WORD);
			if (cell::is(&v, T_PATH)) cell::set_type(&v, T_LIT_PATH);
			block::append_value(obj, &v);
		}
	} else if (names(field, words::sym_owner)) {
		cell::make_logic(obj, (context::header(ctx)->header & context::FLAG_OWNER) != 0);
	} else if (names(field, words::sym_events_q)) {
		cell::make_logic(obj, o.data3 != 0);
	} else {
		errors::fire(errors::id::internal_not_done);
	}
	return obj;
}

Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell*, Cell*, int32_t,
	bool case_sensitive, bool get, bool, bool) {
	auto raise = [&](errors::Id id) {
		Cell p;
		if (path)
			p = *path;
		else
			cell::make_none(&p);
		errors::fire(id, &p, element);
	};
	Type et = cell::type_of(element);
	if (et != T_WORD && et != T_SET_WORD && et != T_GET_WORD && et != T_LIT_WORD)
		raise(errors::id::script_invalid_path);
	Node ctx = parent->data1;
	int32_t i = int32_t(element->data3);
	bool bound = element->data1 == ctx && i >= 0 && uint32_t(i) < count_of(ctx) &&
		(!case_sensitive || context::word_cell(ctx, uint32_t(i))->data2 == element->data2);
	if (!bound) {
		i = context::find_word(ctx, element->data2, !case_sensitive);
		if (i >= 0) {
			element->data1 = ctx;
			element->data3 = uint32_t(i);
		}
	}
	if (value) {
		if (i < 0 || symbol::is_self(element->data2)) raise(errors::id::script_invalid_path);
		assign_field(parent, element, uint32_t(i), value);
		return value;
	}
	if (i < 0) raise(errors::id::script_unset_path);
	Cell* v = values_of(ctx) + i;
	// A get-path takes the field as it is, unset! included.
	if (cell::is(v, T_UNSET) && !get) raise(errors::id::script_unset_path);
	return v;
}

int32_t compare(const Cell* a, const Cell* b, CompareOp op) {
	if (cell::type_of(a) != cell::type_of(b)) return COMPARE_UNRELATED;
	Node ca = a->data1, cb = b->data1;
	if (ca == cb) return 0;
	if (op == COMP_SAME) return -1;
	bool seen_a = cycles::find(ca), seen_b = cycles::find(cb);
	if (seen_a || seen_b) return seen_a && seen_b ? 0 : (seen_a ? 1 : -1);
	uint32_t na = count_of(ca), nb = count_of(cb);
	if (na != nb) return na < nb ? -1 : 1;
	Walk walk_a(ca);
	Walk walk_b(cb);
	for (uint32_t i = 0; i < na; i++) {
		uint32_t sa = symbol::resolve(context::word_cell(ca, i)->data2);
		uint32_t sb = symbol::resolve(context::word_cell(cb, i)->data2);
		if (sa != sb) return sa < sb ? -1 : 1;
		const Cell* va = values_of(ca) + i;
		const Cell* vb = values_of(cb) + i;
		Type ta = cell::type_of(va), tb = cell::type_of(vb);
		auto number = [](Type t) { return t == T_INTEGER || t == T_FLOAT || t == T_PERCENT; };
		int32_t r;
		if (ta != tb && !(any_word(ta) && any_word(tb)) && !(number(ta) && number(tb)))
			r = ta < tb ? -1 : 1;
		else
			r = actions::compare_raw(va, vb, op);
		if (r != 0) return r;
	}
	return 0;
}

Cell* copy(Cell* obj, Cell* out, const Cell* part, bool deep, const Cell* types) {
	if (part) errors::fire(errors::id::script_invalid_refine_arg, words::r_part, part);
	Cell o = *obj;
	Cell* fresh = stack::alloc_slot();
	Node ctx = copy_context(&o);
	cell::set(fresh, cell::type_of(&o), ctx, o.data2, 0);
	renew_fields(fresh, types || !deep ? 0 : COPY_BLOCKS | COPY_STRINGS);
	if (types) {
		if (cycles::find(o.data1)) errors::fire(errors::id::internal_no_cycle);
		Walk walk(o.data1);
		Cell* values = values_of(ctx);
		block::copy_nested(values, values + count_of(ctx), 1, deep, types);
	}
	finish(fresh);
	*out = *fresh;
	return out;
}

Cell* put(Cell* obj, Cell* key, Cell* value, bool case_sensitive) {
	if (!cell::is(key, T_WORD)) {
		Cell t;
		datatype_of(key, &t);
		errors::fire(errors::id::script_invalid_key_type, &t);
	}
	return eval_path(obj, key, value, nullptr, nullptr, nullptr, -1, case_sensitive, false, true, false);
}

Cell* select(Cell* obj, Cell* key, const Cell*, bool, bool case_sensitive, bool, bool, const Cell*, const Cell*,
	bool, bool) {
	if (!any_word(cell::type_of(key))) {
		Cell t;
		datatype_of(key, &t);
		errors::fire(errors::id::script_invalid_type, &t);
	}
	Node ctx = obj->data1;
	int32_t i = context::find_word(ctx, key->data2, !case_sensitive);
	return i < 0 ? none_cell() : values_of(ctx) + i;
}

Cell* modify(Cell* obj, Cell* field, Cell* value, bool) {
	uint32_t sym = any_word(cell::type_of(field)) ? field->data2 : 0;
	if (sym && names(sym, words::sym_changed)) {
		if (!cell::is(value, T_NONE)) errors::fire(errors::id::script_invalid_arg, value);
		clear_assigned(obj->data1);
	} else if (sym && names(sym, words::sym_owner)) {
		own_fields(obj);
	} else if (sym && names(sym, words::sym_owned)) {
		if (cell::is(value, T_NONE)) {
			ownership::unbind(obj);
		} else if (cell::is(value, T_BLOCK) && block::vs_length(value) >= 2) {
			Cell owner = block::vs_head(value)[0];
			Cell word = block::vs_head(value)[1];
			ownership::bind(obj, &owner, &word);
		} else {
			errors::fire(errors::id::script_invalid_arg, value);
		}
	} else {
		errors::fire(errors::id::script_invalid_arg, field);
	}
	return obj;
}

void init_type() {
	ActionRow row{};
	row.make = make;
	row.reflect = reflect;
	row.form = form;
	row.mold = mold;
	row.eval_path = eval_path;
	row.compare = compare;
	row.copy = copy;
	row.put = put;
	row.select = select;
	row.modify = modify;
	registry::register_type(T_OBJECT, Type(0), "object!", row, 0);
	context::on_change = notify_change;
	ownership::on_deep_change = notify_deep_change;
	natives::set_object = set_many;
}

}  // namespace vyn::object
