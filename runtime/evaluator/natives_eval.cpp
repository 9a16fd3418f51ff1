// The evaluation natives: do, get, set, reduce, compose, bind, in,
// context?, value?, unset, apply, transcode, construct, extend.
#include "runtime/context.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/map.h"
#include "runtime/datatypes/object.h"
#include "runtime/datatypes/string.h"
#include "runtime/errors.h"
#include "runtime/evaluator/actions.h"
#include "runtime/evaluator/interpreter.h"
#include "runtime/evaluator/lexer.h"
#include "runtime/evaluator/natives.h"
#include "runtime/evaluator/stack.h"
#include "runtime/symbol.h"
#include "runtime/words.h"

namespace vyn::natives {

namespace {

const Cell NONE_CELL{T_NONE, 0, 0, 0};
const Cell UNSET_CELL{T_UNSET, 0, 0, 0};
const Cell FALSE_CELL{T_LOGIC, 0, 0, 0};

inline Cell* args() { return stack::arguments; }
inline void result(const Cell* v) { stack::set_result(v); }

inline void result_of_into(const Cell* dst) { stack::set_result(dst); }
inline bool is_any_word(Type t) { return t >= T_WORD && t <= T_REFINEMENT; }
inline bool is_any_path(Type t) { return t >= T_PATH && t <= T_GET_PATH; }
inline bool is_function(Type t) {
	return t == T_NATIVE || t == T_ACTION || t == T_OP || t == T_FUNCTION || t == T_ROUTINE;
}
inline bool is_block_like(Type t) { return t == T_BLOCK || t == T_PAREN || t == T_HASH || is_any_path(t); }

// A function of the library, called with `count` arguments; its result
// goes to `out`.
void call_library(const Cell* fn, const Cell* name, Cell* call_args, uint32_t count, Cell* out) {
	if (!cell::is(fn, T_FUNCTION)) errors::fire(errors::id::internal_not_done);
	Cell f = *fn;
	stack::mark_symbol(stack::anon_symbol, stack::OPEN_NATIVE);
	Cell* slot = stack::alloc_slot();
	interpreter::call_for_value(&f, call_args, count, name, slot);
	if (errors::pending) return;
	*out = *slot;
	stack::unwind();
	stack::pop(1);
}

// The block the library's preprocessor makes of `block` (its `expand`
// function, called with none and false for its other arguments).
void expand_block(Cell* block) {
	Cell object_name, name;
	actions::make_word("preprocessor", &object_name);
	actions::make_word("expand", &name);
	Cell preprocessor = *context::get(&object_name);
	if (!cell::is(&preprocessor, T_OBJECT)) errors::fire(errors::id::internal_not_done);
	int32_t i = context::find_word(preprocessor.data1, name.data2, true);
	if (i < 0) errors::fire(errors::id::internal_not_done);
	Cell fn = context::values(preprocessor.data1)[i];
	Cell call_args[3] = {*block, NONE_CELL, FALSE_CELL};
	call_library(&fn, &name, call_args, 3, block);
	if (errors::pending) return;
	if (!cell::is(block, T_BLOCK)) {
		Cell wanted{T_DATATYPE, T_BLOCK, 0, 0}, got{T_DATATYPE, cell::type_of(block), 0, 0};
		errors::fire(errors::id::script_expect_val, &wanted, &got);
	}
}

// A file or URL is a script: the library's do-file runs it, with the
// trace callback and the /args value (none when not given).
void do_script(const int32_t* refs) {
	Cell name;
	actions::make_word("do-file", &name);
	Cell fn = *context::get(&name);
	Cell call_args[3] = {args()[0], refs[3] >= 0 ? args()[refs[3]] : NONE_CELL,
		refs[1] >= 0 ? args()[refs[1]] : NONE_CELL};
	Cell out;
	call_library(&fn, &name, call_args, 3, &out);
	if (errors::pending) return;
	result(&out);
}

// Evaluates a block (any list) as code; the result goes to the frame.
void do_block(Cell* block, const Cell* next_word, bool expand) {
	series::clamp_head(block);
	if (expand) {
		expand_block(block);
		if (errors::pending) return;
	}
	if (!next_word) {
		Cell b = *block;
		interpreter::eval(&b, true);
		return;
	}
	Cell b = *block;
	int32_t after = interpreter::eval_next_at(&b, false);
	if (errors::pending) return;
	Cell position = b;
	position.data1 = uint32_t(after);
	Cell w = *next_word;
	context::set(&w, &position);
}

void do_value(const int32_t* refs);

void n_do(bool, const int32_t* refs) {
	Type t = cell::type_of(args());
	if (t == T_FILE || t == T_URL) return do_script(refs);
	// /trace: a tracer sees the whole evaluation; while one runs already, the
	// code is traced by it, even when this do is called from untraced code.
	if (refs[3] < 0) return do_value(refs);
	if (interpreter::tracer_installed()) return interpreter::under_tracer([refs] { do_value(refs); });
	if (!interpreter::start_tracing(args() + refs[3])) return do_value(refs);
	try {
		do_value(refs);
	} catch (...) {
		interpreter::stop_tracing();
		throw;
	}
	interpreter::stop_tracing();
}

void do_value(const int32_t* refs) {
	Cell value = args()[0];
	const Cell* next_word = refs[2] >= 0 ? args() + refs[2] : nullptr;
	bool expand = refs[0] >= 0;
	switch (cell::type_of(&value)) {
	case T_BLOCK:
	case T_PAREN:
	case T_HASH: return do_block(&value, next_word, expand);
	case T_PATH:
	case T_LIT_PATH:
	case T_SET_PATH:
	case T_GET_PATH:
		interpreter::eval_path(&value, nullptr, false, false, false, false);
		return;
	case T_STRING: {
		Cell* block = stack::alloc_slot();
		lexer::load_string(&value, block);
		Cell b = *block;
		return do_block(&b, next_word, expand);
	}
	case T_ERROR: stack::throw_error(&value);
	default: interpreter::eval_value(&value, false); return;
	}
}

void n_get(bool, const int32_t* refs) {
	Cell target = args()[0];
	bool any = refs[0] >= 0, case_sensitive = refs[1] >= 0;
	Type t = cell::type_of(&target);
	if (is_any_path(t)) {
		interpreter::eval_path(&target, nullptr, false, true, false, case_sensitive);
		return;
	}
	if (t == T_OBJECT) {
		Cell* v = actions::get<action::ReflectFn>(&target, A_REFLECT)(&target, words::sym_values);
		return result(v);
	}
	Cell* v = context::get(&target);
	if (!any && cell::is(v, T_UNSET)) errors::fire(errors::id::script_no_value, &target);
	result(v);
}

// `set` on a block of words.
void set_words(const Cell* words, const Cell* value, bool any, bool only, bool some) {
	Series* ws = memory::buffer_of(words);
	uint32_t n = ws->used() / sizeof(Cell) - words->data1;
	bool spread = !only && is_block_like(cell::type_of(value));
	auto word_at = [&](uint32_t i) { return memory::buffer_of(words)->head_cell() + words->data1 + i; };
	auto value_at = [&](uint32_t i) -> Cell {
		if (!spread) return *value;
		Series* vs = memory::buffer_of(value);
		uint32_t at = value->data1 + i;
		return at < vs->used() / sizeof(Cell) ? *(vs->head_cell() + at) : NONE_CELL;
	};
	auto check_word = [](const Cell* w) {
		Type t = cell::type_of(w);
		if (t != T_WORD && t != T_SET_WORD && t != T_GET_WORD && t != T_LIT_WORD)
			errors::fire(errors::id::script_invalid_arg, w);
	};
	if (spread) {
		for (uint32_t i = 0; i < n; i++) {
			check_word(word_at(i));
			Cell v = value_at(i);
			if (!any && cell::is(&v, T_UNSET)) errors::fire(errors::id::script_need_value, word_at(i));
		}
	}
	for (uint32_t i = 0; i < n; i++) {
		Cell w = *word_at(i);
		check_word(&w);
		Cell v = value_at(i);
		if (some && cell::is(&v, T_NONE)) continue;
		context::set(&w, &v);
	}
}

void n_set(bool, const int32_t* refs) {
	Cell target = args()[0];
	Cell value = args()[1];
	bool any = refs[0] >= 0, case_sensitive = refs[1] >= 0, only = refs[2] >= 0, some = refs[3] >= 0;
	if (!any && cell::is(&value, T_UNSET)) errors::fire(errors::id::script_need_value, &target);
	Type t = cell::type_of(&target);
	if (is_any_path(t)) {
		// The path evaluation sets from the frame's first cell.
		args()[0] = value;
		interpreter::eval_path(&target, nullptr, true, false, false, case_sensitive);
	} else if (t == T_OBJECT) {
		if (!set_object) errors::fire(errors::id::internal_not_done);
		set_object(&target, &value, any, only, some);
	} else if (t == T_BLOCK) {
		stack::mark_symbol(stack::anon_symbol, stack::OPEN_NATIVE);
		set_words(&target, &value, any, only, some);
		stack::revert();
	} else {
		context::set(&target, &value);
	}
	result(&value);
}

// Adds a value to a reduce or compose target: appended at the tail,
// inserted at its position otherwise (the position moves past it).
// Whether the target is taken at its tail, decided once before adding.
bool at_tail(const Cell* target) { return target->data1 >= memory::buffer_of(target)->used() / sizeof(Cell); }

void add_value(Cell* target, const Cell* value, bool append) {
	if (append)
		block::append_value(target, value);
	else
		block::insert_value(target, value, false, true);
}

// Values a fresh reduce gathers on the data stack before it allocates its result.
constexpr int32_t GATHER_MAX = 32;

// Reduces a block into a fresh block. Its values wait on the data stack
// (where the collector sees them), so a short result is allocated at its
// exact size: small blocks built by the thousand (pairs, records, tree
// nodes) would otherwise each keep room for every source value. A longer
// result spills into a block sized like the source, and goes on as
// reduce_block does.
void reduce_fresh(const Cell* block, Cell* target) {
	Series* s = memory::buffer_of(block);
	interpreter::Code code{block->data2, int32_t(block->data1), int32_t(s->used() / sizeof(Cell))};
	stack::mark_symbol(stack::body_symbol, stack::OPEN_INTERP_NATIVE);
	Cell* first = stack::top;
	while (code.pos < code.limit()) {
		code.pos = interpreter::eval_expression(code, false, true, false);
		if (errors::pending) return;
		cell::clear_new_line(stack::top - 1);
		code.sync();
		if (stack::top - first < GATHER_MAX) continue;
		block::make_at(target, code.limit() - int32_t(block->data1));
		for (Cell* v = first; v < stack::top; v++) block::append_value(target, v);
		stack::top = first;
		while (code.pos < code.limit()) {
			code.pos = interpreter::eval_expression(code, false, true, false);
			if (errors::pending) return;
			Cell v = *(stack::top - 1);
			stack::top = first;
			cell::clear_new_line(&v);
			block::append_value(target, &v);
			code.sync();
		}
		return stack::revert();
	}
	int32_t count = int32_t(stack::top - first);
	block::make_at(target, count ? count : 1);
	Series* out = memory::buffer_of(target);
	std::memcpy(out->head_cell(), first, size_t(count) * sizeof(Cell));
	out->tail = out->head + uint32_t(count) * uint32_t(sizeof(Cell));
	stack::revert();
}

void n_reduce(bool, const int32_t* refs) {
	Cell value = args()[0];
	bool into = refs[0] >= 0;
	Cell* target = stack::alloc_slot();
	bool into_appended = false;
	if (into) {
		*target = args()[refs[0]];
		into_appended = at_tail(target);
	} else if (cell::is(&value, T_BLOCK)) {
		cell::make_none(target);  // seen by collections until the result is made
		reduce_fresh(&value, target);
		if (errors::pending) return;
		Cell out = *target;
		out.data1 = 0;
		return result(&out);
	} else {
		uint32_t n = is_block_like(cell::type_of(&value)) ? block::length(&value) : 1;
		block::make_at(target, int32_t(n ? n : 1));
	}
	if (cell::is(&value, T_BLOCK)) {
		reduce_block(&value, target);
		if (errors::pending) return;
	} else if (is_function(cell::type_of(&value))) {
		if (!into) return result(&value);
		add_value(target, &value, at_tail(target));
	} else {
		Cell* mark = stack::top;
		interpreter::eval_value(&value, true);
		if (errors::pending) return;
		Cell v = *(stack::top - 1);
		stack::top = mark;
		if (!into) return result(&v);
		add_value(target, &v, at_tail(target));
	}
	// As append answers a series at its head, and insert one past the insertion.
	if (into) {
		if (into_appended) target->data1 = 0;
		return result(target);
	}
	Cell out = *target;
	out.data1 = 0;
	result(&out);
}

void compose_into(const Cell* block, Cell* target, bool deep, bool only) {
	bool append = at_tail(target);
	Series* s = memory::buffer_of(block);
	uint32_t n = s->used() / sizeof(Cell);
	for (uint32_t i = block->data1; i < n && i < memory::buffer_of(block)->used() / sizeof(Cell); i++) {
		Cell v = *(memory::buffer_of(block)->head_cell() + i);
		Type t = cell::type_of(&v);
		if (t == T_BLOCK && deep) {
			Cell* inner = stack::alloc_slot();
			block::make_at(inner, int32_t(block::length(&v)));
			compose_into(&v, inner, deep, only);
			if (errors::pending) return;
			inner->header = (inner->header & ~TYPE_MASK) | T_BLOCK;
			inner->header |= v.header & FLAG_NEW_LINE;
			add_value(target, inner, append);
			stack::pop(1);
		} else if (t == T_PAREN) {
			if (block::length(&v) == 0) continue;
			Cell* mark = stack::top;
			interpreter::eval(&v, false);
			if (errors::pending) return;
			Cell r = *(stack::top - 1);
			stack::top = mark;
			if (cell::is(&r, T_UNSET)) continue;
			if (cell::is(&r, T_BLOCK) && !only) {
				Series* rs = memory::buffer_of(&r);
				uint32_t rn = rs->used() / sizeof(Cell);
				for (uint32_t k = r.data1; k < rn; k++) {
					Cell e = *(memory::buffer_of(&r)->head_cell() + k);
					add_value(target, &e, append);
				}
			} else {
				add_value(target, &r, append);
			}
		} else {
			add_value(target, &v, append);
		}
	}
}

void n_compose(bool, const int32_t* refs) {
	Cell value = args()[0];
	bool deep = refs[0] >= 0, only = refs[1] >= 0, into = refs[2] >= 0;
	if (!cell::is(&value, T_BLOCK)) {
		Cell expected{T_DATATYPE, T_BLOCK, 0, 0}, got{T_DATATYPE, cell::type_of(&value), 0, 0};
		errors::fire(errors::id::script_expect_val, &expected, &got);
	}
	Cell* target = stack::alloc_slot();
	if (into)
		*target = args()[refs[2]];
	else
		block::make_at(target, int32_t(block::length(&value)));
	bool appended = at_tail(target);
	compose_into(&value, target, deep, only);
	if (errors::pending) return;
	Cell out = *target;
	if (!into || appended) out.data1 = 0;
	result(&out);
}

Node context_of(const Cell* v) {
	Type t = cell::type_of(v);
	if (t == T_FUNCTION || t == T_ROUTINE || t == T_OBJECT || t == T_ERROR || t == T_PORT) return v->data1;
	if (is_any_word(t)) return v->data1;
	return 0;
}

void n_bind(bool, const int32_t* refs) {
	Cell target = args()[0];
	Node ctx = context_of(args() + 1);
	if (!ctx) errors::fire(errors::id::script_not_defined, args() + 1);
	if (cell::is(&target, T_BLOCK)) {
		if (refs[0] >= 0) {
			Cell* copy = stack::alloc_slot();
			block::clone(&target, copy, true, true);
			target = *copy;
		}
		context::bind_block(&target, ctx, cell::is(args() + 1, T_OBJECT));
		return result(&target);
	}
	context::bind_word(ctx, &target);
	result(&target);
}

void n_in(bool, const int32_t*) {
	Node ctx = context_of(args());
	Cell word = args()[1];
	if (cell::is(&word, T_REFINEMENT)) cell::set_type(&word, T_WORD);
	if (!ctx || context::find_word(ctx, word.data2, true) < 0) return result(&NONE_CELL);
	context::bind_word(ctx, &word);
	result(&word);
}

void n_context_q(bool, const int32_t*) {
	Node ctx = args()[0].data1;
	if (!ctx) return result(&NONE_CELL);
	result(memory::series(ctx)->head_cell() + 1);
}

void n_value_q(bool, const int32_t*) {
	Cell word = args()[0];
	Cell* v = nullptr;
	if (word.data1) {
		Node ctx = word.data1;
		bool has_values = context::on_stack(ctx) ? context::header(ctx)->data2 != 0 : true;
		if (has_values && context::find_word(ctx, word.data2, true) >= 0) v = context::get(&word);
	}
	Cell b;
	cell::make_logic(&b, v && !cell::is(v, T_UNSET));
	result(&b);
}

void n_unset(bool, const int32_t*) {
	Cell target = args()[0];
	if (cell::is(&target, T_WORD)) {
		context::set(&target, &UNSET_CELL);
	} else {
		Series* s = memory::buffer_of(&target);
		uint32_t n = s->used() / sizeof(Cell);
		for (uint32_t i = target.data1; i < n; i++) {
			Cell w = *(memory::buffer_of(&target)->head_cell() + i);
			if (cell::is(&w, T_WORD)) context::set(&w, &UNSET_CELL);
		}
	}
	result(&UNSET_CELL);
}

void n_apply(bool, const int32_t* refs) {
	Cell f = args()[0];
	Cell block = args()[1];
	uint32_t mode = refs[0] >= 0 ? interpreter::MODE_ALL : interpreter::MODE_PLAIN;
	if (refs[1] >= 0) mode |= interpreter::MODE_SAFER;
	Cell name, fn;
	const Cell* path = nullptr;
	Type t = cell::type_of(&f);
	if (is_any_word(t) || t == T_PATH) {
		Cell word = t == T_PATH ? *block::vs_head(&f) : f;
		cell::set_type(&word, T_WORD);
		Cell* v = context::get(&word);
		if (!is_function(cell::type_of(v))) errors::fire(errors::id::script_invalid_arg, &f);
		fn = *v;
		name = word;
		if (t == T_PATH) path = &f;
	} else {
		fn = f;
		cell::set(&name, T_WORD, 0, words::sym_frame_applied, 0xFFFFFFFFu);
	}
	if (cell::is(&fn, T_OP)) {
		cell::set_type(&fn, Type((fn.header >> 16) & 0xFF));
		fn.header &= ~0x00FF0000u;
	}
	stack::mark_interpreted();
	Cell p = path ? *path : NONE_CELL;
	interpreter::apply(&fn, &block, path ? &p : nullptr, &name, mode);
}

// transcode: source text into values, or the type of the next value.
void n_transcode(bool, const int32_t* refs) {
	Cell src = args()[0];
	bool next = refs[0] >= 0, one = refs[1] >= 0, prescan = refs[2] >= 0, scan = refs[3] >= 0;
	bool into = refs[5] >= 0;
	Cell* result = stack::alloc_slot();
	cell::make_unset(result);
	int64_t length = -1;
	if (refs[4] >= 0) {
		Cell* part = args() + refs[4];
		if (cell::is(part, T_INTEGER)) {
			length = cell::get_integer(part);
		} else {
			if (cell::type_of(part) != cell::type_of(&src) || part->data2 != src.data2)
				errors::fire(errors::id::script_not_same_type);
			length = int64_t(int32_t(part->data1)) - int32_t(src.data1);
		}
		if (length < 0) length = 0;
	}
	if (cell::is(&src, T_BINARY)) {
		Series* b = memory::buffer_of(&src);
		uint32_t head = src.data1 < b->used() ? src.data1 : b->used();
		const uint8_t* p = b->head_ptr() + head;
		uint32_t available = b->used() - head;
		uint32_t n = length < 0 || length > int64_t(available) ? available : uint32_t(length);
		if (n > 2 && p[0] == 0xEF && p[1] == 0xBB && p[2] == 0xBF) {
			src.data1 += 3;
			length = n - 3;
		}
	}
	lexer::Options options;
	options.one_value = next || one || scan;
	options.prescan = prescan;
	options.scan = scan;
	options.callback = refs[6] >= 0 ? args() + refs[6] : nullptr;
	options.into = into ? args() + refs[5] : nullptr;
	uint32_t consumed = 0;
	int32_t answer = lexer::scan_series(result, &src, length, options, &consumed);
	if (prescan || scan) {
		Cell type = NONE_CELL;
		bool empty = length == 0 || (cell::is(&src, T_STRING) ? string::vs_length(&src) == 0 :
			memory::buffer_of(&src)->used() <= src.data1);
		if (!empty && answer != 0) cell::set(&type, T_DATATYPE, answer < 0 ? uint32_t(T_ERROR) : uint32_t(answer));
		if (!next) return stack::set_result(&type), void();
		*result = type;
	}
	if (next && !(one && !scan)) {
		Cell value = *result;
		Cell rest = src;
		rest.data1 += consumed;
		Cell* pair = stack::alloc_slot();
		block::make_at(pair, 2);
		block::append_value(pair, &value);
		block::append_value(pair, &rest);
		return stack::set_result(pair), void();
	}
	if (into) return result_of_into(args() + refs[5]);
	stack::set_result(result);
}

}  // namespace

void reduce_block(const Cell* block, Cell* target) {
	bool append = at_tail(target);
	Series* s = memory::buffer_of(block);
	interpreter::Code code{block->data2, int32_t(block->data1), int32_t(s->used() / sizeof(Cell))};
	stack::mark_symbol(stack::body_symbol, stack::OPEN_INTERP_NATIVE);
	while (code.pos < code.limit()) {
		Cell* mark = stack::top;
		code.pos = interpreter::eval_expression(code, false, true, false);
		if (errors::pending) return;
		Cell v = *(stack::top - 1);
		stack::top = mark;
		cell::clear_new_line(&v);
		add_value(target, &v, append);
		code.sync();  // the target may be the block itself
	}
	stack::revert();
}

void (*set_object)(Cell* object, const Cell* value, bool any, bool only, bool some) = nullptr;

namespace {

void n_construct(bool, const int32_t* refs) {
	Cell spec = args()[0];
	Cell proto = refs[0] >= 0 ? args()[refs[0]] : NONE_CELL;
	Cell* obj = object::construct_push(&spec, refs[0] >= 0 ? &proto : nullptr, refs[1] >= 0);
	result(obj);
}

// Objects cannot be extended (yet): only maps take new keys.
void n_extend(bool, const int32_t* refs) {
	Cell target = args()[0];
	if (!cell::is(&target, T_MAP)) errors::fire(errors::id::internal_not_done);
	result(map::extend(&target, args() + 1, refs[0] >= 0));
}

}  // namespace

void register_evaluation() {
	set(N_DO, n_do);
	set(N_GET, n_get);
	set(N_SET, n_set);
	set(N_REDUCE, n_reduce);
	set(N_COMPOSE, n_compose);
	set(N_BIND, n_bind);
	set(N_IN, n_in);
	set(N_CONTEXT_Q, n_context_q);
	set(N_VALUE_Q, n_value_q);
	set(N_UNSET, n_unset);
	set(N_APPLY, n_apply);
	set(N_TRANSCODE, n_transcode);
	set(N_CONSTRUCT, n_construct);
	set(N_EXTEND, n_extend);
}

}  // namespace vyn::natives
