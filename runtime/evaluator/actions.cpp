#include "runtime/evaluator/actions.h"

#include "runtime/datatypes/port.h"
#include "runtime/datatypes/string.h"
#include "runtime/memory.h"

namespace vyn::actions {

StackForm stack_forms[ACTION_COUNT];
void (*first_argument_word)(Slot slot, Cell* out) = nullptr;
void (*make_word)(const char* name, Cell* out) = nullptr;

namespace {

using namespace action;

inline Cell* args() { return stack::arguments; }
inline const Cell* arg_at(const int32_t* refs, int i) { return refs[i] >= 0 ? args() + refs[i] : nullptr; }
inline bool flag(const int32_t* refs, int i) { return refs[i] >= 0; }

void datatype_cell(Type t, Cell* out) { cell::set(out, T_DATATYPE, t); }

void word_cell(const char* name, Cell* out) {
	if (make_word)
		make_word(name, out);
	else
		cell::make_none(out);
}

// Leaves an implementation's answer in the result slot.
inline void answer(const Cell* result) {
	if (result && result != args()) stack::set_last(result);
}

bool has_series_buffer(Type t) {
	switch (t) {
	case T_BLOCK: case T_PAREN: case T_HASH: case T_PATH: case T_LIT_PATH: case T_SET_PATH:
	case T_GET_PATH: case T_STRING: case T_FILE: case T_URL: case T_TAG: case T_EMAIL: case T_REF:
	case T_BINARY: case T_VECTOR: case T_MAP: case T_IMAGE: return true;
	default: return false;
	}
}

// Units from a series value's buffer start to its tail.
uint32_t units_of(const Cell* value) {
	Series* s = memory::buffer_of(value);
	return s->used() / s->unit();
}

[[noreturn]] void refine_error(const char* refinement, const Cell* arg) {
	Cell w;
	word_cell(refinement, &w);
	errors::fire(errors::id::script_invalid_refine_arg, &w, arg);
}

// The /part count of append, insert and change; -1 without /part.
int32_t insertion_count(Cell* value, const Cell* part) {
	if (!part) return -1;
	if (!has_series_buffer(cell::type_of(value))) errors::fire(errors::id::script_invalid_part, part);
	uint32_t tail = units_of(value);
	if (value->data1 > tail) value->data1 = tail;
	int64_t count;
	if (cell::is(part, T_INTEGER)) {
		count = cell::get_integer(part);
	} else if (cell::type_of(part) == cell::type_of(value) && part->data2 == value->data2) {
		count = int64_t(int32_t(part->data1)) - int32_t(value->data1);
	} else {
		refine_error("part", part);
	}
	if (count < 0) {
		int64_t back = -count < int64_t(value->data1) ? -count : int64_t(value->data1);
		value->data1 -= uint32_t(back);
		count = back;
	}
	return int32_t(count);
}

int32_t dup_count(const Cell* dup) { return dup ? cell::get_integer(dup) : 1; }

void insert_form(const int32_t* refs, Slot slot, bool append) {
	Cell* series = args();
	Cell* value = args() + 1;
	int32_t part = insertion_count(value, arg_at(refs, 0));
	int32_t dup = dup_count(arg_at(refs, 2));
	if (part == 0 || dup <= 0) return;  // the series is the result as it is
	answer(get<InsertFn>(series, slot)(series, value, part, flag(refs, 1), dup, append));
}

int32_t pick_index(const Cell* index) {
	switch (cell::type_of(index)) {
	case T_INTEGER:
	case T_CHAR: return int32_t(index->data2);
	case T_LOGIC: return index->data1 ? 1 : 2;
	default: return 0;
	}
}

// make and to: a datatype! first argument chooses the row.
void make_or_to(Slot slot) {
	Cell* proto = args();
	Type t = cell::is(proto, T_DATATYPE) ? Type(proto->data1) : cell::type_of(proto);
	answer(get_for_type<MakeFn>(t, proto, slot)(proto, args() + 1, t));
}

template <Slot S>
void frame_form(const int32_t*) {
	get<FrameFn>(args(), S)();
}

// Makes the string a form or mold writes into; null when the limit is spent.
Cell* text_result(const Cell* part_arg, int32_t& limit) {
	limit = 0x7FFFFFFF;
	if (part_arg) {
		limit = cell::get_integer(part_arg);
		if (limit <= 0) {
			string::make_at(args(), 0);
			stack::keep();
			return nullptr;
		}
	}
	stack::keep();
	Cell* buffer = stack::alloc_slot();
	string::make_at(buffer, 16);
	return buffer;
}

void cut_to(Cell* buffer, const Cell* part_arg, int32_t limit) {
	if (!part_arg) return;
	Series* s = memory::buffer_of(buffer);
	uint64_t bytes = uint64_t(limit) * s->unit();
	if (s->used() > bytes) s->tail = s->head + uint32_t(bytes);
}

void form_form(const int32_t* refs) {
	const Cell* part = arg_at(refs, 0);
	Cell value = *args();
	int32_t limit;
	Cell* buffer = text_result(part, limit);
	if (!buffer) return;
	get<FormFn>(&value, A_FORM)(&value, buffer, part, limit);
	cut_to(buffer, part, limit);
	stack::set_last(buffer);
	stack::keep();
}

void mold_form(const int32_t* refs) {
	const Cell* part = arg_at(refs, 3);
	Cell value = *args();
	int32_t limit;
	Cell* buffer = text_result(part, limit);
	if (!buffer) return;
	get<MoldFn>(&value, A_MOLD)(&value, buffer, flag(refs, 0), flag(refs, 1), flag(refs, 2), part, limit, 0);
	cut_to(buffer, part, limit);
	stack::set_last(buffer);
	stack::keep();
}

void make_form(const int32_t*) { make_or_to(A_MAKE); }
void to_form(const int32_t*) { make_or_to(A_TO); }

void random_form(const int32_t* refs) {
	answer(get<RandomFn>(args(), A_RANDOM)(args(), flag(refs, 0), flag(refs, 1), flag(refs, 2)));
}

void reflect_form(const int32_t*) { answer(get<ReflectFn>(args(), A_REFLECT)(args(), args()[1].data2)); }

void eval_path_form(const int32_t* refs) {
	Cell* value = flag(refs, 0) ? args() + 2 : nullptr;
	answer(eval_path(args(), args() + 1, value, nullptr, nullptr, nullptr, -1, false, false, true, false));
}

void compare_form(const int32_t*) { compare_on_stack(CompareOp(cell::get_integer(args() + 2))); }

void negate_form(const int32_t*) { answer(get<UnaryFn>(args(), A_NEGATE)(args())); }

void round_form(const int32_t* refs) {
	answer(get<RoundFn>(args(), A_ROUND)(args(), arg_at(refs, 0), flag(refs, 1), flag(refs, 2),
		flag(refs, 3), flag(refs, 4), flag(refs, 5), flag(refs, 6)));
}

template <Slot S>
void predicate_form(const int32_t*) {
	bool b = get<PredicateFn>(args(), S)(args());
	cell::make_logic(args(), b);
	stack::keep();
}

template <Slot S>
void unary_form(const int32_t*) {
	answer(get<UnaryFn>(args(), S)(args()));
}

void append_form(const int32_t* refs) { insert_form(refs, A_APPEND, true); }
void insert_action_form(const int32_t* refs) { insert_form(refs, A_INSERT, false); }

// The /part of change counts the cells of the series to replace, not of the
// value: an integer!, or a position of the same series; -1 without /part.
int32_t replaced_count(const Cell* series, const Cell* part) {
	if (!part) return -1;
	int64_t count;
	if (cell::is(part, T_INTEGER))
		count = cell::get_integer(part);
	else if (cell::type_of(part) == cell::type_of(series) && part->data2 == series->data2)
		count = int64_t(int32_t(part->data1)) - int32_t(series->data1);
	else
		refine_error("part", part);
	return count < 0 ? 0 : int32_t(count);
}

void change_form(const int32_t* refs) {
	Cell* series = args();
	Cell* value = args() + 1;
	int32_t part = replaced_count(series, arg_at(refs, 0));
	int32_t dup = dup_count(arg_at(refs, 2));
	if (dup <= 0) return;
	answer(get<ChangeFn>(series, A_CHANGE)(series, value, part, flag(refs, 1), dup));
}

void copy_form(const int32_t* refs) {
	const Cell* types = arg_at(refs, 2);
	if (types && !cell::is(types, T_DATATYPE) && !cell::is(types, T_TYPESET)) {
		Cell call, type, kind;
		stack::get_call(&call);
		datatype_cell(cell::type_of(types), &type);
		word_cell("kind", &kind);
		errors::fire(errors::id::script_expect_arg, &call, &type, &kind);
	}
	Cell* out = stack::alloc_slot();
	cell::make_none(out);
	answer(copy(args(), out, arg_at(refs, 0), flag(refs, 1), types));
	stack::keep();
}

void find_form(const int32_t* r) {
	answer(find(args(), args() + 1, arg_at(r, 0), flag(r, 1), flag(r, 2), flag(r, 3), flag(r, 4),
		arg_at(r, 5), arg_at(r, 6), flag(r, 7), flag(r, 8), flag(r, 9), flag(r, 10)));
}

void select_form(const int32_t* r) {
	answer(get<SelectFn>(args(), A_SELECT)(args(), args() + 1, arg_at(r, 0), flag(r, 1), flag(r, 2),
		flag(r, 3), flag(r, 4), arg_at(r, 5), arg_at(r, 6), flag(r, 7), flag(r, 8)));
}

void length_form(const int32_t*) {
	int32_t n = get<LengthFn>(args(), A_LENGTH_Q)(args());
	if (n < 0)
		cell::make_none(args());
	else
		cell::make_integer(args(), n);
	stack::keep();
}

void move_form(const int32_t* refs) {
	answer(get<MoveFn>(args(), A_MOVE)(args(), args() + 1, arg_at(refs, 0)));
}

void pick_form(const int32_t*) { answer(pick(args(), args() + 1)); }
void poke_form(const int32_t*) { answer(poke(args(), args() + 1, args() + 2)); }

void put_form(const int32_t* refs) {
	answer(get<PutFn>(args(), A_PUT)(args(), args() + 1, args() + 2, flag(refs, 0)));
}

void remove_form(const int32_t* refs) {
	answer(get<RemoveFn>(args(), A_REMOVE)(args(), arg_at(refs, 0), arg_at(refs, 1)));
}

void reverse_form(const int32_t* refs) {
	answer(get<ReverseFn>(args(), A_REVERSE)(args(), arg_at(refs, 0), arg_at(refs, 1)));
}

void sort_form(const int32_t* r) {
	answer(get<SortFn>(args(), A_SORT)(args(), flag(r, 0), arg_at(r, 1), arg_at(r, 2), arg_at(r, 3),
		flag(r, 4), flag(r, 5), flag(r, 6)));
}

void swap_form(const int32_t*) { answer(get<SwapFn>(args(), A_SWAP)(args(), args() + 1)); }

void take_form(const int32_t* refs) {
	answer(get<TakeFn>(args(), A_TAKE)(args(), arg_at(refs, 0), flag(refs, 1), flag(refs, 2)));
}

void trim_form(const int32_t* r) {
	answer(get<TrimFn>(args(), A_TRIM)(args(), flag(r, 0), flag(r, 1), flag(r, 2), flag(r, 3), flag(r, 4),
		arg_at(r, 5)));
}

void modify_form(const int32_t* refs) {
	answer(get<ModifyFn>(args(), A_MODIFY)(args(), args() + 1, args() + 2, flag(refs, 0)));
}

void open_form(const int32_t* r) {
	answer(get<OpenFn>(args(), A_OPEN)(args(), flag(r, 0), flag(r, 1), flag(r, 2), flag(r, 3), flag(r, 4),
		arg_at(r, 4)));
}

void read_form(const int32_t* r) {
	answer(get<ReadFn>(args(), A_READ)(args(), arg_at(r, 0), arg_at(r, 1), flag(r, 2), flag(r, 3), flag(r, 4),
		arg_at(r, 5)));
}

void rename_form(const int32_t*) { answer(get<RenameFn>(args(), A_RENAME)(args(), args() + 1)); }

void write_form(const int32_t* r) {
	answer(get<WriteFn>(args(), A_WRITE)(args(), args() + 1, flag(r, 0), flag(r, 1), flag(r, 2), flag(r, 3),
		arg_at(r, 4), arg_at(r, 5), arg_at(r, 6), arg_at(r, 7)));
}

// A port hands its actor the call as it was made, before any type's
// preparation of the arguments (which suits series).
template <Slot S, StackForm Form>
void or_port(const int32_t* refs) {
	static_assert(S != A_OPEN_Q);
	if (cell::is(args(), T_PORT)) [[unlikely]] {
		port::forward(S, refs);
		return;
	}
	Form(refs);
}

}  // namespace

void unsupported(const Cell* value, Slot slot) {
	Cell call, type, argument;
	stack::get_call(&call);
	datatype_cell(cell::type_of(value), &type);
	if (first_argument_word)
		first_argument_word(slot, &argument);
	else
		cell::make_none(&argument);
	errors::fire(errors::id::script_expect_arg, &call, &type, &argument);
}

int32_t form(const Cell* value, Cell* buffer, const Cell* arg, int32_t part) {
	return get<FormFn>(value, A_FORM)(value, buffer, arg, part);
}

int32_t mold(const Cell* value, Cell* buffer, bool only, bool all, bool flat, const Cell* arg, int32_t part,
	int32_t indent) {
	return get<MoldFn>(value, A_MOLD)(value, buffer, only, all, flat, arg, part, indent);
}

int32_t compare_raw(const Cell* a, const Cell* b, CompareOp op) {
	Type ta = cell::type_of(a);
	if (ta == T_LOGIC && cell::is(b, T_LOGIC)) return int32_t(a->data1) - int32_t(b->data1);
	if ((ta == T_NATIVE || ta == T_ACTION || ta == T_OP) && cell::type_of(b) == ta) {
		if (a->data1 == b->data1) return 0;
		return a->data1 < b->data1 ? -1 : 1;
	}
	if ((ta == T_FUNCTION || ta == T_ROUTINE) && cell::type_of(b) == ta) {
		if (a->data3 == b->data3) return 0;
		return a->data3 < b->data3 ? -1 : 1;
	}
	return get<CompareFn>(a, A_COMPARE)(a, b, op);
}

bool compare(const Cell* a, const Cell* b, CompareOp op) {
	// The type decides here: the raw shortcuts (logic by truth word) would
	// let `true < false` answer instead of raising invalid-compare.
	int32_t r = get<CompareFn>(a, A_COMPARE)(a, b, op);
	if (r == COMPARE_UNRELATED) {
		switch (op) {
		case COMP_EQUAL: case COMP_STRICT_EQUAL: case COMP_SAME: case COMP_FIND_CASE: case COMP_FIND:
		case COMP_FIND_SELECT: return false;
		case COMP_NOT_EQUAL: return true;
		default: errors::fire(errors::id::script_invalid_compare, a, b);
		}
	}
	switch (op) {
	case COMP_NOT_EQUAL: return r != 0;
	case COMP_LESSER: return r < 0;
	case COMP_LESSER_EQUAL: return r <= 0;
	case COMP_GREATER: return r > 0;
	case COMP_GREATER_EQUAL: return r >= 0;
	default: return r == 0;
	}
}

void compare_on_stack(CompareOp op) {
	bool b = compare(args(), args() + 1, op);
	cell::make_logic(args(), b);
	stack::keep();
}

Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* gparent, Cell* previous,
	int32_t index, bool case_sensitive, bool get_flag, bool last, bool notify) {
	void* e = registry::entry(cell::type_of(parent), A_EVAL_PATH);
	if (!e) {
		Cell type;
		datatype_cell(cell::type_of(parent), &type);
		if (!path) errors::fire(errors::id::script_bad_path_type2, element, &type);
		errors::fire(errors::id::script_bad_path_type, path, &type, element);
	}
	return reinterpret_cast<EvalPathFn>(e)(parent, element, value, path, gparent, previous, index,
		case_sensitive, get_flag, last, notify);
}

Cell* copy(Cell* value, Cell* out, const Cell* part, bool deep, const Cell* types) {
	return get<CopyFn>(value, A_COPY)(value, out, part, deep, types);
}

Cell* find(Cell* series, Cell* value, const Cell* part, bool only, bool case_sensitive, bool same, bool any,
	const Cell* with, const Cell* skip, bool last, bool reverse, bool tail, bool match) {
	return get<FindFn>(series, A_FIND)(series, value, part, only, case_sensitive, same, any, with, skip, last,
		reverse, tail, match);
}

Cell* pick(Cell* series, const Cell* index) {
	return get<PickFn>(series, A_PICK)(series, pick_index(index), index);
}

Cell* poke(Cell* series, const Cell* index, Cell* value) {
	return get<PokeFn>(series, A_POKE)(series, pick_index(index), index, value);
}

void init() {
	StackForm forms[ACTION_COUNT] = {
		make_form, random_form, reflect_form, to_form, form_form, mold_form, eval_path_form, nullptr,
		compare_form, frame_form<A_ABSOLUTE>, frame_form<A_ADD>, frame_form<A_DIVIDE>,
		frame_form<A_MULTIPLY>, negate_form, frame_form<A_POWER>, frame_form<A_REMAINDER>, round_form,
		frame_form<A_SUBTRACT>, predicate_form<A_EVEN_Q>, predicate_form<A_ODD_Q>, frame_form<A_AND_T>,
		unary_form<A_COMPLEMENT>, frame_form<A_OR_T>, frame_form<A_XOR_T>,
		or_port<A_APPEND, append_form>, or_port<A_AT, frame_form<A_AT>>, or_port<A_BACK, frame_form<A_BACK>>,
		or_port<A_CHANGE, change_form>, or_port<A_CLEAR, unary_form<A_CLEAR>>, or_port<A_COPY, copy_form>,
		or_port<A_FIND, find_form>, or_port<A_HEAD, frame_form<A_HEAD>>, or_port<A_HEAD_Q, frame_form<A_HEAD_Q>>,
		or_port<A_INDEX_Q, frame_form<A_INDEX_Q>>, or_port<A_INSERT, insert_action_form>,
		or_port<A_LENGTH_Q, length_form>, or_port<A_MOVE, move_form>, or_port<A_NEXT, frame_form<A_NEXT>>,
		or_port<A_PICK, pick_form>, or_port<A_POKE, poke_form>, or_port<A_PUT, put_form>,
		or_port<A_REMOVE, remove_form>, or_port<A_REVERSE, reverse_form>, or_port<A_SELECT, select_form>,
		or_port<A_SORT, sort_form>, or_port<A_SKIP, frame_form<A_SKIP>>, or_port<A_SWAP, swap_form>,
		or_port<A_TAIL, frame_form<A_TAIL>>, or_port<A_TAIL_Q, frame_form<A_TAIL_Q>>, or_port<A_TAKE, take_form>,
		or_port<A_TRIM, trim_form>, or_port<A_CREATE, unary_form<A_CREATE>>, or_port<A_CLOSE, unary_form<A_CLOSE>>,
		or_port<A_DELETE, unary_form<A_DELETE>>, or_port<A_MODIFY, modify_form>, or_port<A_OPEN, open_form>,
		unary_form<A_OPEN_Q>, or_port<A_QUERY, unary_form<A_QUERY>>, or_port<A_READ, read_form>,
		or_port<A_RENAME, rename_form>, or_port<A_UPDATE, unary_form<A_UPDATE>>, or_port<A_WRITE, write_form>,
	};
	for (int i = 0; i < ACTION_COUNT; i++) stack_forms[i] = forms[i];
}

}  // namespace vyn::actions
