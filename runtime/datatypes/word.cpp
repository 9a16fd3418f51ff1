#include "runtime/datatypes/word.h"

#include <string>

#include "runtime/context.h"
#include "runtime/datatypes/string.h"
#include "runtime/errors.h"
#include "runtime/evaluator/actions.h"
#include "runtime/evaluator/lexer.h"
#include "runtime/evaluator/stack.h"
#include "runtime/memory.h"
#include "runtime/symbol.h"
#include "runtime/unicode.h"
#include "runtime/utf8.h"
#include "runtime/words.h"

namespace vyn::word {

namespace {

constexpr uint32_t UNLOOKED = 0xFFFFFFFFu;

// A word cell answered to the caller: kept at the root block's tail while
// starting, else in a scratch cell valid until the next call.
Cell* answer(const Cell* word) {
	if (context::starting && context::root) {
		Cell copy = *word;
		Cell* c = memory::alloc_tail(context::root);
		*c = copy;
		return c;
	}
	static Cell scratch;
	scratch = *word;
	return &scratch;
}

// The global word of a symbol as a cell: the slot shared by every spelling,
// the spelling asked for.
Cell global_word(uint32_t symbol, Type type) {
	Cell w = *context::find_or_add_global(symbol, true, false);
	w.header = type;
	w.data2 = symbol;
	return w;
}

Cell* values_or_raise(Node ctx, uint32_t index) {
	Cell* v = context::values(ctx);
	if (!v) errors::fire(errors::id::script_not_defined, context::word_cell(ctx, index));
	return v;
}

void store_at(Node ctx, uint32_t index, const Cell* value) {
	Cell v = *value;
	Cell* vals = values_or_raise(ctx, index);
	if (context::is_object(ctx)) context::word_cell(ctx, index)->header |= context::WORD_ASSIGNED;
	vals[index] = v;
}

// ------------------------------------------------------------ make and to

[[noreturn]] void bad_to(Type type, const Cell* spec) {
	Cell t;
	cell::set(&t, T_DATATYPE, type);
	errors::fire(errors::id::script_bad_to_arg, &t, spec);
}

bool loads_as_word(Type t) { return t == T_WORD || t == T_SET_WORD || t == T_LIT_WORD || t == T_GET_WORD; }

// The type of the first value of UTF-8 text, as the lexer recognises it
// without building anything or raising (0 for none, T_ERROR for bad text);
// *consumed gets the bytes it spans.
Type recognise(const uint8_t* text, uint32_t size, uint32_t* consumed) {
	Cell* result = stack::alloc_slot();
	lexer::Options o;
	o.one_value = o.scan = true;
	Type type = Type(lexer::scan(result, text, size, o, consumed));
	stack::pop(1);
	return type;
}

// The type of the text's only value; 0 when it holds none or more than one
// (a word is never cut out of longer text, "a<b" is not the word a).
Type recognise_one(const uint8_t* text, uint32_t size) {
	uint32_t consumed = 0;
	Type type = recognise(text, size, &consumed);
	if (consumed > size) consumed = size;
	uint32_t rest = 0;
	if (type == 0 || recognise(text + consumed, size - consumed, &rest) != 0) return Type(0);
	return type;
}

// The first value of UTF-8 text as the lexer loads it (unset! for none).
Cell load_first(const uint8_t* text, uint32_t size) {
	Cell* result = stack::alloc_slot();
	lexer::Options o;
	o.one_value = o.always_block = true;
	lexer::scan(result, text, size, o);
	Series* b = memory::buffer_of(result);
	Cell out;
	if (b->used())
		out = *b->head_cell();
	else
		cell::make_unset(&out);
	stack::pop(1);
	return out;
}

// Text that must load as one of the six word types.
Cell from_text(const uint8_t* text, uint32_t size) {
	if (!is_any_word(recognise_one(text, size))) errors::fire(errors::id::script_invalid_chars);
	return load_first(text, size);
}

Cell from_string(Cell* string) {
	int32_t count = -1;
	const uint8_t* bytes = unicode::to_utf8(string, &count);
	// The scratch encoding lives in the string's own buffer: copy it out of
	// the way of anything the lexer allocates.
	std::string text(reinterpret_cast<const char*>(bytes), size_t(count));
	return from_text(reinterpret_cast<const uint8_t*>(text.data()), uint32_t(text.size()));
}

// The word rules of make and to, the result not yet retyped.
Cell convert(const Cell* spec, Type type) {
	Cell spec_copy = *spec;
	switch (cell::type_of(spec)) {
	case T_DATATYPE: {
		const registry::TypeName& n = registry::names[spec->data1 < registry::TYPE_SLOTS ? spec->data1 : 0];
		if (!n.name) bad_to(type, spec);
		uint32_t symbol = n.word_symbol ? n.word_symbol : symbol::make(n.name);
		return global_word(symbol, T_WORD);
	}
	case T_LOGIC: return global_word(spec->data1 ? words::sym_true : words::sym_false, T_WORD);
	case T_STRING: return from_string(&spec_copy);
	case T_CHAR: {
		uint8_t bytes[4];
		return from_text(bytes, unicode::encode_utf8(spec->data2, bytes));
	}
	case T_WORD: case T_SET_WORD: case T_LIT_WORD: case T_GET_WORD: return *spec;
	case T_REFINEMENT: case T_ISSUE: {
		std::string name(symbol::name(spec->data2));
		const uint8_t* text = reinterpret_cast<const uint8_t*>(name.data());
		if (!loads_as_word(recognise_one(text, uint32_t(name.size())))) bad_to(type, spec);
		// Loading adds the word to the global context: a word that was not
		// there before stays unbound.
		uint32_t known = context::word_count(context::global);
		Cell loaded = load_first(text, uint32_t(name.size()));
		int32_t index = context::find_word(context::global, loaded.data2, true);
		Cell w;
		if (index < 0 || uint32_t(index) >= known)
			cell::set(&w, T_WORD, 0, loaded.data2, UNLOOKED);
		else
			cell::set(&w, T_WORD, context::global, loaded.data2, uint32_t(index));
		return w;
	}
	default: bad_to(type, spec);
	}
}

Cell* make_word(Cell* proto, Cell* spec, Type type) {
	Cell w = convert(spec, type);
	cell::set_type(&w, type);
	*proto = w;
	return proto;
}

Cell* make_issue(Cell* proto, Cell* spec, Type) {
	Cell w;
	switch (cell::type_of(spec)) {
	case T_STRING: {
		Cell s = *spec;
		issue::make_at(&w, symbol::make_from_string(&s));
		break;
	}
	case T_CHAR: {
		uint8_t bytes[4];
		uint32_t n = unicode::encode_utf8(spec->data2, bytes);
		issue::make_at(&w, symbol::make_sized(reinterpret_cast<const char*>(bytes), n));
		break;
	}
	case T_WORD: case T_SET_WORD: case T_LIT_WORD: case T_GET_WORD: case T_REFINEMENT: case T_ISSUE:
		w = *spec;
		cell::set_type(&w, T_ISSUE);
		w.data3 = UNLOOKED;
		break;
	default:
		w = convert(spec, T_ISSUE);
		cell::set_type(&w, T_ISSUE);
		w.data3 = UNLOOKED;
	}
	*proto = w;
	return proto;
}

// ------------------------------------------------------------ form and mold

int32_t write_name(const Cell* value, Cell* buffer, int32_t part) {
	std::string_view name = symbol::name(value->data2);
	Series* s = memory::buffer_of(buffer);
	uint32_t before = s->used() / s->unit();
	string::append_utf8(buffer, reinterpret_cast<const uint8_t*>(name.data()), uint32_t(name.size()));
	s = memory::buffer_of(buffer);
	uint32_t written = s->used() / s->unit() - before;
	return part - int32_t(written);
}

int32_t mold_marked(const Cell* value, Cell* buffer, int32_t part) {
	switch (cell::type_of(value)) {
	case T_SET_WORD:
		part = write_name(value, buffer, part);
		string::append_char(buffer, ':');
		return part - 1;
	case T_LIT_WORD: string::append_char(buffer, '\''); break;
	case T_GET_WORD: string::append_char(buffer, ':'); break;
	case T_REFINEMENT: string::append_char(buffer, '/'); break;
	case T_ISSUE: string::append_char(buffer, '#'); break;
	default: return write_name(value, buffer, part);
	}
	return write_name(value, buffer, part - 1);
}

int32_t mold(const Cell* value, Cell* buffer, bool, bool, bool, const Cell*, int32_t part, int32_t) {
	return mold_marked(value, buffer, part);
}

// ------------------------------------------------------------ compare and index?

bool word_and_lit(Type a, Type b) {
	return (a == T_WORD && b == T_LIT_WORD) || (a == T_LIT_WORD && b == T_WORD);
}

int32_t issue_compare(const Cell* a, const Cell* b, CompareOp op) {
	if (!cell::is(b, T_ISSUE)) return COMPARE_UNRELATED;
	return compare(a, b, op);
}

Cell* index_q() {
	Cell* a = stack::arguments;
	int32_t index = int32_t(a->data3);
	if (index < 0)
		cell::make_none(a);
	else
		cell::make_integer(a, index + 1);
	return stack::keep();
}

void make_word_hook(const char* name, Cell* out) { *out = *load(name); }

// The lexer's words: interned, bound to the global context (refinements
// unbound, issues as issue! cells).
void lexer_make(Cell* out, Type type, const uint8_t* name, uint32_t length) {
	uint32_t symbol = symbol::put_symbol(symbol::table, name, length, false);
	if (type == T_REFINEMENT)
		cell::set(out, T_REFINEMENT, 0, symbol, UNLOOKED);
	else if (type == T_ISSUE)
		issue::make_at(out, symbol);
	else
		*out = global_word(symbol, type);
}

const uint8_t* lexer_name(const Cell* word, uint32_t* length) {
	std::string_view n = symbol::name(word->data2);
	*length = uint32_t(n.size());
	return reinterpret_cast<const uint8_t*>(n.data());
}

}  // namespace

// ------------------------------------------------------------ words by name

Cell* load(const char* name) { return load_typed(name, T_WORD); }

Cell* load_typed(const char* name, Type type) {
	Cell w = global_word(symbol::make(name), type);
	return answer(&w);
}

Cell* make_at(uint32_t symbol, Cell* out) {
	*out = global_word(symbol, T_WORD);
	return out;
}

Cell* make_in(Cell* block, uint32_t symbol) {
	Cell w = global_word(symbol, T_WORD);
	Cell* c = memory::alloc_tail(block);
	*c = w;
	return c;
}

Cell* make_in_named(Cell* block, const char* name, Type type) {
	Cell* c = make_in(block, symbol::make(name));
	cell::set_type(c, type);
	return c;
}

Cell* push_new(uint32_t symbol) {
	Cell w = global_word(symbol, T_WORD);
	return stack::push(&w);
}

Cell* get_or_add_word(Node ctx, uint32_t symbol) {
	int32_t index = context::find_word(ctx, symbol, true);
	if (index >= 0) return context::word_cell(ctx, uint32_t(index));
	return context::find_or_add_global(symbol, true, false);
}

Cell* word_cell_at(Node ctx, uint32_t index) { return context::word_cell(ctx, index); }

Cell* push_word_at(Node ctx, uint32_t index, Type type) {
	return push_typed(context::word_cell(ctx, index), type);
}

Cell* push_typed(const Cell* word, Type type) {
	Cell* c = stack::push(word);
	cell::set_type(c, type);
	return c;
}

Cell* push_name_string(uint32_t symbol) {
	Cell s;
	cell::set(&s, T_STRING, 0, symbol::get(symbol)->data2, 0);
	return stack::push(&s);
}

// ------------------------------------------------------------ values by index

Cell* push(const Cell* value) { return stack::push(value); }

Cell* value_address_at(Node ctx, uint32_t index) {
	Cell* v = context::values(ctx);
	return v ? v + index : nullptr;
}

Cell* push_value_at(Node ctx, uint32_t index) { return stack::push(values_or_raise(ctx, index) + index); }

void set_value_at(Node ctx, uint32_t index) { store_at(ctx, index, stack::get_top()); }

Cell* set_value_at_push(Node ctx, uint32_t index) {
	Cell previous = *stack::get_top();
	Cell* pushed = push_value_at(ctx, index);
	store_at(ctx, index, &previous);
	return pushed;
}

void set_result_at(Node ctx, uint32_t index) { store_at(ctx, index, stack::arguments); }

Cell* set_from_next_slot() {
	Cell* w = stack::arguments;
	if (cell::is(w + 1, T_UNSET)) errors::fire(errors::id::script_need_value, w);
	return set_frame();
}

Cell* set_frame() {
	Cell* w = stack::arguments;
	Cell value = w[1];
	context::set(w, &value);
	return stack::set_result(&value);
}

Cell* get_frame() {
	Cell value = *context::get(stack::arguments);
	return stack::set_result(&value);
}

Cell* get(Cell* word) {
	Cell* v = context::get(word);
	if (cell::is(v, T_UNSET)) errors::fire(errors::id::script_no_value, word);
	return stack::push(v);
}

Cell* push_any_value(Cell* word) { return stack::push(context::get(word)); }

// ------------------------------------------------------------ actions

int32_t compare(const Cell* a, const Cell* b, CompareOp op) {
	Type ta = cell::type_of(a), tb = cell::type_of(b);
	if (!is_any_word(tb) || (ta == T_ISSUE) != (tb == T_ISSUE)) return COMPARE_UNRELATED;
	bool same_symbol = a->data2 == b->data2;
	switch (op) {
	case COMP_SAME: return same_symbol && a->data1 == b->data1 && ta == tb ? 0 : 1;
	case COMP_FIND_CASE:
		if (word_and_lit(ta, tb)) return same_symbol ? 0 : 1;
		[[fallthrough]];
	case COMP_STRICT_EQUAL: return ta == tb && same_symbol ? 0 : 1;
	case COMP_FIND:
		if (word_and_lit(ta, tb)) return symbol::same_name(a->data2, b->data2) ? 0 : 1;
		return ta == tb && symbol::same_name(a->data2, b->data2) ? 0 : 1;
	case COMP_EQUAL: case COMP_NOT_EQUAL: case COMP_FIND_SELECT:
		return symbol::same_name(a->data2, b->data2) ? 0 : 1;
	default: return symbol::compare_ids(a->data2, b->data2, op);
	}
}

int32_t form(const Cell* value, Cell* buffer, const Cell*, int32_t part) { return write_name(value, buffer, part); }

void init_types() {
	using registry::slot_bit;
	ActionRow word{};
	word.make = word.to = make_word;
	word.form = form;
	word.mold = mold;
	word.compare = compare;
	word.index_q = index_q;
	registry::register_type(T_WORD, T_SYMBOL, "word!", word, 0);
	uint64_t shared = slot_bit(A_MAKE) | slot_bit(A_TO) | slot_bit(A_FORM) | slot_bit(A_COMPARE);
	ActionRow marked{};
	marked.mold = mold;
	registry::register_type(T_SET_WORD, T_WORD, "set-word!", marked, shared | slot_bit(A_INDEX_Q));
	registry::register_type(T_LIT_WORD, T_WORD, "lit-word!", marked, shared | slot_bit(A_INDEX_Q));
	registry::register_type(T_GET_WORD, T_WORD, "get-word!", marked, shared | slot_bit(A_INDEX_Q));
	registry::register_type(T_REFINEMENT, T_WORD, "refinement!", marked, shared);
	ActionRow issue{};
	issue.make = issue.to = make_issue;
	issue.mold = mold;
	issue.compare = issue_compare;
	registry::register_type(T_ISSUE, T_WORD, "issue!", issue, slot_bit(A_FORM));
	actions::make_word = make_word_hook;
	lexer::word_hooks = {lexer_make, lexer_name};
}

bool from_utf8(const uint8_t* text, uint32_t size, Cell* out) {
	if (!is_any_word(recognise_one(text, size))) return false;
	*out = load_first(text, size);
	cell::set_type(out, T_WORD);
	return true;
}

}  // namespace vyn::word

namespace vyn::refinement {

Cell* load(const char* name) {
	Cell r;
	cell::set(&r, T_REFINEMENT, 0, symbol::make(name), 0xFFFFFFFFu);
	if (context::root) {
		Cell* c = memory::alloc_tail(context::root);
		*c = r;
		return c;
	}
	static Cell scratch;
	scratch = r;
	return &scratch;
}

}  // namespace vyn::refinement

namespace vyn::issue {

Cell* make_at(Cell* out, uint32_t symbol) {
	cell::set(out, T_ISSUE, context::global, symbol, 0xFFFFFFFFu);
	return out;
}

Cell* make_in(Cell* block, uint32_t symbol) { return make_at(memory::alloc_tail(block), symbol); }

Cell* load(const char* name) {
	Cell i;
	make_at(&i, symbol::make(name));
	if (context::starting && context::root) {
		Cell* c = memory::alloc_tail(context::root);
		*c = i;
		return c;
	}
	return stack::push(&i);
}

}  // namespace vyn::issue
