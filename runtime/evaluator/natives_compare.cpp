// The comparison natives, not and type?.
#include <cstring>

#include "runtime/datatypes/block.h"
#include "runtime/evaluator/actions.h"
#include "runtime/evaluator/natives.h"
#include "runtime/evaluator/stack.h"
#include "runtime/registry.h"

namespace vyn::natives {

namespace {

inline Cell* args() { return stack::arguments; }

void box(bool b) {
	Cell r;
	cell::make_logic(&r, b);
	stack::set_result(&r);
}

template <CompareOp Op>
void compare_native(bool, const int32_t*) {
	box(actions::compare(args(), args() + 1, Op));
}

bool same_buffer_type(Type t) {
	switch (t) {
	case T_BLOCK: case T_PAREN: case T_PATH: case T_LIT_PATH: case T_SET_PATH: case T_GET_PATH: case T_HASH:
	case T_STRING: case T_FILE: case T_URL: case T_TAG: case T_EMAIL: case T_REF: case T_BINARY:
	case T_VECTOR: case T_IMAGE: return true;
	default: return false;
	}
}

}  // namespace

bool same(const Cell* a, const Cell* b) {
	Type t = cell::type_of(a);
	if (t != cell::type_of(b)) return false;
	switch (t) {
	case T_DATATYPE: case T_LOGIC: case T_OBJECT: return a->data1 == b->data1;
	case T_CHAR: case T_INTEGER: case T_BITSET: return a->data2 == b->data2;
	case T_FLOAT: case T_PERCENT: case T_PAIR: case T_TIME: return a->data2 == b->data2 && a->data3 == b->data3;
	case T_NONE: case T_UNSET: return true;
	case T_TUPLE: case T_MONEY: return actions::compare_raw(a, b, COMP_SAME) == 0;
	case T_ACTION: case T_NATIVE: case T_POINT2D: return a->data1 == b->data1 && a->data2 == b->data2;
	case T_OP: return a->data2 == b->data2 && a->data3 == b->data3;
	default:
		if (same_buffer_type(t)) return a->data2 == b->data2 && a->data1 == b->data1;
		return a->data1 == b->data1 && a->data2 == b->data2 && a->data3 == b->data3;
	}
}

namespace {

void n_same_q(bool, const int32_t*) { box(same(args(), args() + 1)); }

void n_not(bool, const int32_t*) {
	Type t = cell::type_of(args());
	box(t == T_NONE || (t == T_LOGIC && args()->data1 == 0));
}

void n_type_q(bool, const int32_t* refs) {
	Type t = cell::type_of(args());
	if (refs[0] >= 0) {
		Cell word{T_WORD, 0, registry::names[t].word_symbol, 0xFFFFFFFFu};
		actions::make_word(registry::names[t].name, &word);
		return (void)stack::set_result(&word);
	}
	Cell type{T_DATATYPE, t, 0, 0};
	stack::set_result(&type);
}

}  // namespace

void register_comparison() {
	set(N_EQUAL_Q, compare_native<COMP_EQUAL>);
	set(N_NOT_EQUAL_Q, compare_native<COMP_NOT_EQUAL>);
	set(N_STRICT_EQUAL_Q, compare_native<COMP_STRICT_EQUAL>);
	set(N_LESSER_Q, compare_native<COMP_LESSER>);
	set(N_GREATER_Q, compare_native<COMP_GREATER>);
	set(N_LESSER_OR_EQUAL_Q, compare_native<COMP_LESSER_EQUAL>);
	set(N_GREATER_OR_EQUAL_Q, compare_native<COMP_GREATER_EQUAL>);
	set(N_SAME_Q, n_same_q);
	set(N_NOT, n_not);
	set(N_TYPE_Q, n_type_q);
}

}  // namespace vyn::natives
