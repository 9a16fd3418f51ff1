#include "runtime/evaluator/interpreter.h"

#include "runtime/context.h"
#include "runtime/cycles.h"
#include "runtime/errors.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/function.h"
#include "runtime/datatypes/pair.h"
#include "runtime/datatypes/routine.h"
#include "runtime/evaluator/actions.h"
#include "runtime/evaluator/lexer.h"
#include "runtime/evaluator/natives.h"
#include "runtime/evaluator/stack.h"
#include "runtime/registry.h"
#include "runtime/roots.h"
#include "runtime/symbol.h"
#include "runtime/words.h"

namespace vyn::interpreter {

Cell current_code;
bool tracing = false;
Cell tracer;
uint32_t event_mask = 0x1FFFF;

// Functions marked `trace` set tracing to this while a tracer is installed.
bool trace_all = false;

namespace {

// The tracer's events are held back while delivery is paused.
bool paused = false;
const Cell NONE_CELL{T_NONE, 0, 0, 0};
const Cell UNSET_CELL{T_UNSET, 0, 0, 0};
const Cell FALSE_CELL{T_LOGIC, 0, 0, 0};
// What a native is given for its refinements when the call used none.
struct Unrefined {
	int32_t at[32];
	constexpr Unrefined() : at() {
		for (int32_t& r : at) r = -1;
	}
};
constexpr Unrefined UNREFINED_CELLS;
constexpr const int32_t* UNREFINED = UNREFINED_CELLS.at;
constexpr uint32_t FN_TRACE = function::FLAG_TRACE, FN_NO_TRACE = function::FLAG_NO_TRACE;
// A cache built while some type word of the spec had no value yet.
constexpr uint32_t CACHE_INCOMPLETE = 0x00800000u;
// A cache whose required arguments are its first entries and that a call
// without a path fetches by counts alone: a function without refinements,
// or any native or action. Its word 3 holds the number of required
// arguments in bits 0-7, the cells after them in bits 8-23 (a function's
// locals; a native's refinement arguments, all none) and a native's
// refinement count in bits 24-29.
constexpr uint32_t CACHE_PLAIN = 0x00400000u;
// A plain cache of a native or action whose refinement entries hold where
// their arguments go (see lay_out_refinements): a call through a path fills
// the frame from them without walking the cache.
constexpr uint32_t CACHE_LAID_OUT = 0x00200000u;

// More block of a function value: body, argument cache, native entry, op
// copy, owner context.
enum More : int { MORE_BODY = 0, MORE_CACHE = 1, MORE_ENTRY = 2, MORE_OP = 3, MORE_OWNER = 4 };

inline Cell* more_cell(const Cell* fn, int i) { return memory::series(fn->data3)->head_cell() + i; }

inline bool is_function_type(Type t) {
	return t == T_NATIVE || t == T_ACTION || t == T_FUNCTION || t == T_ROUTINE;
}

// An argument typeset of the cache that holds every type (the check is skipped).
constexpr uint32_t ARG_ANY_TYPE = 0x400000u;

inline bool typeset_has(const Cell* ts, uint32_t t) {
	const uint8_t* bits = reinterpret_cast<const uint8_t*>(&ts->data1);
	return t < 96 && (bits[t >> 3] & (0x80 >> (t & 7)));
}

// Whether an argument entry of the cache accepts a value of type t.
inline bool accepts(const Cell* ts, uint32_t t) { return (ts->header & ARG_ANY_TYPE) || typeset_has(ts, t); }

inline void typeset_add(Cell* ts, uint32_t t) {
	uint8_t* bits = reinterpret_cast<uint8_t*>(&ts->data1);
	if (t < 96) bits[t >> 3] |= uint8_t(0x80 >> (t & 7));
}

void datatype_cell(Type t, Cell* out) { cell::set(out, T_DATATYPE, t); }

// The value cell of a bound word, or null when it is unbound or its
// context has no values now. Words with a known index take the fast path.
// The value cell at `index` of a context, or null when its values are not
// on the data stack now.
[[gnu::always_inline]] inline Cell* context_cell(Node ctx, int32_t index) {
	Cell* values = context::values(ctx);
	return values ? values + index : nullptr;
}

[[gnu::noinline]] Cell* value_cell_search(Cell* word) {
	// Looked up once; the word keeps its index (`self` stays -1).
	Node ctx = word->data1;
	int32_t index = context::find_word(ctx, word->data2, true);
	if (index < 0) return nullptr;
	word->data3 = uint32_t(index);
	return context_cell(ctx, index);
}

[[gnu::always_inline]] inline Cell* value_cell(Cell* word) {
	Node ctx = word->data1;
	if (!ctx) return nullptr;
	int32_t index = int32_t(word->data3);
	return index >= 0 ? context_cell(ctx, index) : value_cell_search(word);
}

// value_cell for a word that needs no search: null for an unbound word or
// one whose index is not known yet (or whose context has no values now).
[[gnu::always_inline]] inline Cell* indexed_value_cell(const Cell* word) {
	Node ctx = word->data1;
	int32_t index = int32_t(word->data3);
	return ctx && index >= 0 ? context_cell(ctx, index) : nullptr;
}

// Sets a word: a plain (non-object) context takes the value directly.
inline void assign_word(Cell* word, const Cell* value) {
	Node ctx = word->data1;
	if (ctx && int32_t(word->data3) >= 0 && !context::is_object(ctx)) {
		if (Cell* slot = value_cell(word)) {
			*slot = *value;
			return;
		}
	}
	context::set(word, value);
}

// Types that evaluate to themselves.
constexpr bool inert_type(uint32_t t) {
	switch (t) {
	case T_PAREN: case T_SET_WORD: case T_SET_PATH: case T_GET_WORD: case T_LIT_WORD: case T_WORD: case T_PATH:
	case T_GET_PATH: case T_LIT_PATH: case T_OP: case T_NATIVE: case T_ACTION: case T_FUNCTION: case T_ROUTINE:
	case T_ISSUE: return false;
	default: return true;
	}
}
struct InertTable {
	bool at[256];
	constexpr InertTable() : at() {
		for (uint32_t t = 0; t < 256; t++) at[t] = inert_type(t);
	}
};
constexpr InertTable INERT;

// Types of a word's value that make the word itself a plain value: all but
// unset, op and the function types.
struct PlainTable {
	bool at[256];
	constexpr PlainTable() : at() {
		for (uint32_t t = 0; t < 256; t++)
			at[t] = !(t == T_UNSET || t == T_OP || t == T_NATIVE || t == T_ACTION || t == T_FUNCTION || t == T_ROUTINE);
	}
};
constexpr PlainTable PLAIN_VALUE;

// The value of a word for evaluation; raises as the language says.
[[gnu::noinline]] Cell* word_value_slow(Cell* word) {
	return context::get(word);  // raises not-in-context or no-value, or answers self
}
[[gnu::always_inline]] inline Cell* word_value(Cell* word) {
	Cell* v = value_cell(word);
	return v ? v : word_value_slow(word);
}

Cell* build_cache(const Cell* fn);
const Cell* path_value(const Cell* path);
const Cell* path_function(const Cell* path);
bool paren_number(const Cell* paren, Cell* out, uint32_t depth = 0);
bool set_field(const Cell* path, const Cell* value);

// A safe point while `code` is held: a collection may move its block.
inline void safe_point(Code& code) {
	if (__builtin_expect(memory::collection_requested, false)) {
		interpreter::safe_point();
		code.sync();
	}
}

// The code of the evaluations this one is nested in stays in sight of the
// collector: a block may be reached from nowhere else while it runs.
struct CodeSaver {
	Cell saved;
	roots::Guard guard{&saved};
	CodeSaver() { stack::move_cell(&saved, &current_code); }
	~CodeSaver() { stack::move_cell(&current_code, &saved); }
};

// Restores a function context's values pointer on every way out.
struct ValuesGuard {
	Node ctx;
	uint32_t saved;
	ValuesGuard(Node c, uint32_t values) : ctx(c) {
		uint32_t& slot = stack::context_values(c);
		saved = slot;
		slot = values;
	}
	~ValuesGuard() { stack::context_values(ctx) = saved; }
};

struct TracingGuard {
	bool saved = tracing;
	~TracingGuard() { tracing = saved; }
};

// The tracer runs code: the code position is synced after it.
inline void fire(Event e, Code* code, int32_t pos, const Cell* value, const Cell* ref) {
	if (__builtin_expect(tracing, false) && (event_mask & e)) {
		Cell block;
		if (code) cell::set(&block, T_BLOCK, 0, code->node, 0);
		fire_event(e, code ? &block : nullptr, pos, value, ref);
		if (code) code->sync();
	}
}

void store(const Cell* value, bool push) {
	if (push)
		stack::push(value);
	else
		stack::set_result(value);
}

// ---------------------------------------------------------------- calls

int32_t eval_call(const Cell* fn, Code& code, int32_t pos, bool push, const Cell* name, const Cell* path,
	const Cell* parent, uint32_t mode, bool infix);
int32_t call_path(Code& code, int32_t pos, const Cell* at, bool push);

// The functions computed in place on two numbers: add, subtract, multiply
// and divide, the comparisons. Their specs take two evaluated arguments,
// each accepting every number. Decoded once per operator from the
// function's type and index, so each operation dispatches once.
enum class NumberOp : uint8_t {
	NONE, ADD, SUBTRACT, MULTIPLY, DIVIDE, EQUAL, NOT_EQUAL, LESSER, GREATER, LESSER_OR_EQUAL, GREATER_OR_EQUAL
};

inline NumberOp number_op_of(Type type, uint32_t index) {
	if (type == T_ACTION) {
		switch (index + 1) {
		case A_ADD: return NumberOp::ADD;
		case A_SUBTRACT: return NumberOp::SUBTRACT;
		case A_MULTIPLY: return NumberOp::MULTIPLY;
		case A_DIVIDE: return NumberOp::DIVIDE;
		default: return NumberOp::NONE;
		}
	}
	if (type != T_NATIVE) return NumberOp::NONE;
	switch (index + 1) {
	case natives::N_EQUAL_Q: case natives::N_STRICT_EQUAL_Q: return NumberOp::EQUAL;
	case natives::N_NOT_EQUAL_Q: return NumberOp::NOT_EQUAL;
	case natives::N_LESSER_Q: return NumberOp::LESSER;
	case natives::N_GREATER_Q: return NumberOp::GREATER;
	case natives::N_LESSER_OR_EQUAL_Q: return NumberOp::LESSER_OR_EQUAL;
	case natives::N_GREATER_OR_EQUAL_Q: return NumberOp::GREATER_OR_EQUAL;
	default: return NumberOp::NONE;
	}
}

// remainder of two integers, done in place of `left` as the action does;
// false (nothing done) for any other function, and where the action raises.
inline bool integer_remainder(const Cell* fn, Cell* left, const Cell* right) {
	if (!cell::is(fn, T_ACTION) || fn->data1 + 1 != A_REMAINDER) return false;
	int32_t a = cell::get_integer(left), b = cell::get_integer(right);
	if (b == 0 || (a == INT32_MIN && b == -1)) return false;
	left->data2 = uint32_t(a % b);
	return true;
}

// The function an operator cell is made from (type in header bits 16-23).
inline NumberOp number_op_of(const Cell* op) { return number_op_of(Type((op->header >> 16) & 0xFF), op->data1); }

// Whether number_op knows the function.
inline bool integer_function(Type type, uint32_t index) { return number_op_of(type, index) != NumberOp::NONE; }

// A comparison of two numbers of one C++ type (false for an equality
// test too: the caller answers those). An ordering with NaN is false.
template <typename T>
inline bool ordering(NumberOp op, T a, T b, bool& answer) {
	switch (op) {
	case NumberOp::LESSER: answer = a < b; return true;
	case NumberOp::GREATER: answer = a > b; return true;
	case NumberOp::LESSER_OR_EQUAL: answer = a <= b; return true;
	case NumberOp::GREATER_OR_EQUAL: answer = a >= b; return true;
	default: return false;
	}
}

// The result of a float operation in place of `left`, whose flags stay.
inline void store_float(Cell* left, double r) {
	uint64_t bits;
	std::memcpy(&bits, &r, sizeof bits);
	cell::store(left, ((left->header & ~TYPE_MASK) | T_FLOAT) | uint64_t(left->data1) << 32, bits);
}

// The operation on two integers, done in place of `left` as the full call
// would; false (nothing done) for a sum or product that leaves the integer
// range and a division the action raises on.
inline bool integer_op(NumberOp op, Cell* left, const Cell* right) {
	int32_t a = cell::get_integer(left), b = cell::get_integer(right), r;
	bool answer = false;
	switch (op) {
	case NumberOp::NONE: return false;
	case NumberOp::ADD: if (__builtin_add_overflow(a, b, &r)) return false; break;
	case NumberOp::SUBTRACT: if (__builtin_sub_overflow(a, b, &r)) return false; break;
	case NumberOp::MULTIPLY: if (__builtin_mul_overflow(a, b, &r)) return false; break;
	case NumberOp::DIVIDE:
		if (b == 0 || (a == INT32_MIN && b == -1)) return false;  // the action raises
		if (a % b != 0) {  // an inexact quotient is a float, as in the action
			store_float(left, double(a) / double(b));
			return true;
		}
		r = a / b;
		break;
	case NumberOp::EQUAL: cell::make_logic(left, a == b); return true;
	case NumberOp::NOT_EQUAL: cell::make_logic(left, a != b); return true;
	default:
		ordering(op, a, b, answer);
		cell::make_logic(left, answer);
		return true;
	}
	// The left operand's flags stay, as in the action.
	cell::store(left, left->header | uint64_t(left->data1) << 32, uint32_t(r) | uint64_t(left->data3) << 32);
	return true;
}

// Sums, differences, products, quotients and orderings of two floats, done
// in place of `left` as the float action and the comparison natives do;
// false (nothing done) for an equality test, which the natives decide.
inline bool float_op(NumberOp op, Cell* left, double x, double y) {
	bool answer;
	switch (op) {
	case NumberOp::ADD: store_float(left, x + y); return true;
	case NumberOp::SUBTRACT: store_float(left, x - y); return true;
	case NumberOp::MULTIPLY: store_float(left, x * y); return true;
	case NumberOp::DIVIDE: store_float(left, x / y); return true;  // by zero too: the action answers the infinity as well
	default:
		if (!ordering(op, x, y, answer)) return false;
		cell::make_logic(left, answer);
		return true;
	}
}

inline double number_value(const Cell* c) {
	return cell::is(c, T_INTEGER) ? double(cell::get_integer(c)) : cell::get_double(c);
}

// The operation `decode()` answers on two numbers, computed in place of
// `left`; false (nothing done) for other operands and functions. Two floats,
// the commonest pair in number code, are tested first; the operation is
// decoded only for numbers.
template <typename Decode>
[[gnu::always_inline]] inline bool number_op_by(Decode decode, Cell* left, const Cell* right) {
	Type lt = cell::type_of(left), rt = cell::type_of(right);
	if (lt == T_FLOAT && rt == T_FLOAT) return float_op(decode(), left, cell::get_double(left), cell::get_double(right));
	if (lt == T_INTEGER && rt == T_INTEGER) return integer_op(decode(), left, right);
	if ((lt != T_INTEGER && lt != T_FLOAT) || (rt != T_INTEGER && rt != T_FLOAT)) return false;
	return float_op(decode(), left, number_value(left), number_value(right));
}

[[gnu::always_inline]] inline bool number_op(NumberOp op, Cell* left, const Cell* right) {
	return number_op_by([op] { return op; }, left, right);
}

// The same for an operator cell's function.
[[gnu::always_inline]] inline bool number_op(const Cell* op, Cell* left, const Cell* right) {
	return number_op_by([op] { return number_op_of(op); }, left, right);
}

// The right operand of the operator at pos when it needs no evaluation: a
// literal, a word's value, a path's (see path_value) or a number paren's
// (see paren_number, worked out into `number`); null otherwise. `decode`
// answers the operator's NumberOp, as for number_op_by.
template <typename Decode>
inline const Cell* fast_operand(Decode decode, Code& code, int32_t pos, Cell* number) {
	const Cell* right = code.cell_at(pos + 1);
	if (!right) return nullptr;
	if (cell::is(right, T_WORD)) return value_cell(code.at(pos + 1));
	if (cell::is(right, T_PATH)) return path_value(right);
	if (cell::is(right, T_PAREN)) return decode() != NumberOp::NONE && paren_number(right, number) ? number : nullptr;
	return right;
}

// An operator on two numbers whose right operand is such a one: computed in
// place of the left operand, without a frame.
inline bool fast_op(const Cell* op, Code& code, int32_t pos, Cell* left) {
	Cell number;
	auto decode = [op] { return number_op_of(op); };
	const Cell* right = fast_operand(decode, code, pos, &number);
	if (!right || !number_op_by(decode, left, right)) return false;
	stack::top = left + 1;
	return true;
}

// Calls the operator `op` (the value of the word at `pos`) with the value at
// `start` as its left operand.
[[gnu::always_inline]] inline int32_t call_binary(const Cell* fn, const Cell* name, Code& code, int32_t pos, Cell* start, bool known);

[[gnu::always_inline]] inline int32_t call_operator(Code& code, int32_t pos, Cell* start, bool push, const Cell* op) {
	Cell op_word = *code.at(pos);
	Cell fn = *op;
	fire(EV_FETCH, &code, pos, &op_word, nullptr);
	cell::set_type(&fn, Type((fn.header >> 16) & 0xFF));
	fn.header &= ~0x00FF0000u;
	if (!tracing && (cell::is(&fn, T_ACTION) || cell::is(&fn, T_NATIVE))) {
		if (integer_function(cell::type_of(&fn), fn.data1))
			return call_binary(&fn, &op_word, code, pos + 1, start, true);
		const Cell* cache = more_cell(&fn, MORE_CACHE);
		if (cell::is(cache, T_BLOCK) && (cache->header & (CACHE_INCOMPLETE | CACHE_PLAIN)) == CACHE_PLAIN &&
			cache->data3 == 2)
			return call_binary(&fn, &op_word, code, pos + 1, start, false);
	}
	stack::top = start + 1;  // the left operand stays below anything the tracer pushes
	return eval_call(&fn, code, pos + 1, push, &op_word, nullptr, nullptr, 0, true);
}

// The operator named by the word at `pos`, or null.
[[gnu::always_inline]] inline Cell* operator_at(Code& code, int32_t pos) {
	Cell* next = code.cell_at(pos);
	if (!next || !cell::is(next, T_WORD)) return nullptr;
	Cell* v = value_cell(next);
	return v && cell::is(v, T_OP) ? v : nullptr;
}

// Applies the operators from `op` (the first one, at `pos`; null: the
// operator at `pos` if any) on. `called`: the first one takes the full call
// (its fast form was tried).
[[gnu::noinline]] int32_t apply_operator_run(Code& code, int32_t pos, Cell* start, bool push, Cell* op,
	bool called = false) {
	if (!op && !(op = operator_at(code, pos))) return pos;
	do {
		if (!called && !tracing && fast_op(op, code, pos, start)) {
			pos += 2;
			continue;
		}
		called = false;
		pos = call_operator(code, pos, start, push, op);  // answers with code synced
		if (errors::pending) return pos;
	} while ((op = operator_at(code, pos)));
	return pos;
}

// The same, with the commonest case first: one operator on two numbers
// whose right operand is a literal or a word's bound value. That path calls
// nothing, so it runs without saving registers; the rest goes to the loop.
[[gnu::noinline]] int32_t apply_operators(Code& code, int32_t pos, Cell* start, bool push, Cell* op) {
	if (__builtin_expect(tracing, false)) return apply_operator_run(code, pos, start, push, op);
	const Cell* right = code.cell_at(pos + 1);
	Cell number;
	if (right && cell::is(right, T_WORD))
		right = indexed_value_cell(right);
	else if (right && cell::is(right, T_PATH))
		right = path_value(right);
	else if (right && cell::is(right, T_PAREN))
		right = number_op_of(op) != NumberOp::NONE && paren_number(right, &number) ? &number : nullptr;
	if (!right || !number_op(op, start, right)) return apply_operator_run(code, pos, start, push, op, true);
	stack::top = start + 1;
	pos += 2;
	Cell* next = code.cell_at(pos);
	if (!next || !cell::is(next, T_WORD)) return pos;
	if (int32_t(next->data3) < 0) return apply_operator_run(code, pos, start, push, nullptr);  // looks it up
	Cell* v = indexed_value_cell(next);
	return v && cell::is(v, T_OP) ? apply_operator_run(code, pos, start, push, v) : pos;
}

// Applies the operators that follow a value, strictly left to right; the
// left operand is the cell at `start`, where each result goes.
[[gnu::always_inline]] inline int32_t eval_operators(Code& code, int32_t pos, Cell* start, bool push) {
	Cell* op = operator_at(code, pos);
	return op ? apply_operators(code, pos, start, push, op) : pos;
}

// The value of a cell of code that needs no evaluation of its own (a
// literal, or a word whose value is neither a function nor unset), or null.
inline const Cell* plain_value(Cell* c) {
	uint32_t t = cell::type_of(c);
	if (t == T_WORD) {
		const Cell* v = value_cell(c);
		if (!v) return nullptr;
		Type vt = cell::type_of(v);
		return PLAIN_VALUE.at[vt] ? v : nullptr;
	}
	return INERT.at[t] ? c : nullptr;
}

// The value of an expression that runs nothing and cannot raise, worked
// out into `out` with no frame: a plain value (see plain_value), a path's
// (see path_value) or a paren's (see paren_number), then the operators
// fast_op computes. Assignments use it: `x: x * 0.5` and `b/vx: b/vx - (dx *
// m)` set their target without opening a frame. Answers -1 (nothing done)
// when the first value is of another kind; else the position after the
// operators computed, with `more` set when an operator stands there that
// must be called in full: `out` is then its left operand, and the general
// path goes on from there (each operand is worked out once).
[[gnu::noinline]] int32_t quick_value(Code& code, int32_t pos, Cell* out, bool& more) {
	Cell* c = code.cell_at(pos);
	if (!c) return -1;
	const Cell* v;
	if (cell::is(c, T_PATH))
		v = path_value(c);
	else if (cell::is(c, T_PAREN))
		v = paren_number(c, out) ? out : nullptr;
	else
		v = plain_value(c);
	if (!v || cell::is(v, T_UNSET)) return -1;
	if (v != out) stack::move_cell(out, v);
	more = true;
	for (pos++;; pos += 2) {
		const Cell* op = operator_at(code, pos);
		if (!op) break;
		NumberOp k = number_op_of(op);
		if (k == NumberOp::NONE) return pos;
		Cell number;
		const Cell* right = fast_operand([k] { return k; }, code, pos, &number);
		// A failed operator leaves its left operand as it was.
		if (!right || !number_op(k, out, right)) return pos;
	}
	more = false;
	return pos;
}

// Pushes a value that needs no evaluation of its own (a literal, a word
// whose value is neither a function nor unset, or a path's, see
// path_value) and applies the operators after it unless `sub`; `c` is the
// cell at `pos`. Answers the position after them, or -1 (nothing done) for
// any other value and while tracing, which take the full path.
[[gnu::always_inline]] inline int32_t eval_simple(Code& code, int32_t pos, Cell* c, bool sub) {
	if (__builtin_expect(tracing, false)) return -1;
	uint32_t t = cell::type_of(c);
	const Cell* v = c;
	if (t == T_WORD) {
		v = value_cell(c);
		if (!v) return -1;
		Type vt = cell::type_of(v);
		if (!PLAIN_VALUE.at[vt]) return -1;
	} else if (!INERT.at[t]) {
		if (t != T_PATH || !(v = path_value(c))) return -1;
	}
	Cell* slot = stack::push(v);
	pos++;
	return sub ? pos : eval_operators(code, pos, slot, true);
}

// The word of argument n of a function's spec, for errors.
void argument_word(const Cell* fn, int32_t n, Cell* out) {
	Series* spec = memory::series(fn->data2);
	for (Cell* c = spec->head_cell(); c < spec->tail_cell(); c++) {
		Type t = cell::type_of(c);
		if (t == T_WORD || t == T_LIT_WORD || t == T_GET_WORD || t == T_REFINEMENT) {
			if (n-- == 0) {
				*out = *c;
				return;
			}
		}
	}
	cell::make_none(out);
}

// Which argument of the spec a cache entry stands for (for errors).
int32_t argument_number(const Cell* cache_head, const Cell* entry) {
	int32_t n = 0;
	for (const Cell* c = cache_head; c < entry; c++)
		if (cell::is(c, T_TYPESET) || cell::is(c, T_REFINEMENT)) n++;
	return n;
}

[[noreturn]] void expect_arg(const Cell* fn, const Cell* name, const Cell* value, int32_t arg) {
	Cell type, word;
	datatype_cell(cell::type_of(value), &type);
	argument_word(fn, arg, &word);
	errors::fire(errors::id::script_expect_arg, name, &type, &word);
}

[[noreturn]] void no_arg(const Cell* fn, const Cell* name, int32_t arg) {
	Cell word;
	argument_word(fn, arg, &word);
	errors::fire(errors::id::script_no_arg, name, &word);
}

// Fetches one argument by its mode into a pushed cell; answers the position after it.
int32_t fetch_argument(Code& code, int32_t pos, uint32_t mode, bool infix) {
	if (mode == ARG_EVALUATED) {
		code.pos = pos;
		return eval_expression(code, infix, true, false);
	}
	Cell value = *code.at(pos);
	pos++;
	if (mode == ARG_ESCAPABLE) {
		switch (cell::type_of(&value)) {
		case T_PAREN: {
			stack::mark_symbol(stack::body_symbol, stack::OPEN_INTERP_NATIVE);
			eval(&value, true);
			code.sync();
			if (errors::pending) return pos;
			stack::unwind();
			return pos;
		}
		case T_GET_WORD: stack::push(word_value(code.at(pos - 1))); return pos;
		case T_GET_PATH:
			eval_path(&value, nullptr, false, true, true, false);
			code.sync();
			return pos;
		default: break;
		}
	}
	stack::push(&value);
	return pos;
}

struct Fetch {
	const Cell* fn;
	const Cell* name;
	bool native;  // native or action: refinements as positions
	bool infix;   // an operator call: its right argument takes no operator
	int32_t refinements[32];  // read only when `refined`
	int32_t refinement_count;
	bool refined;  // a refinement was used: `refinements` holds each one's cell or -1
};

// Pushes the evaluated arguments of one run of typesets of the cache (the
// required arguments, or one refinement's), from entry `i`; answers the
// position after them and leaves `i` past the run. Entries are re-read by
// index: evaluating an argument may move the cache's buffer.
int32_t fetch_run(Fetch& f, Code& code, int32_t pos, Node cache, uint32_t& i, uint32_t len, bool& infix,
	uint32_t apply_mode, bool active) {
	for (; i < len; i++) {
		Cell* entry = memory::series(cache)->head_cell() + i;
		if (!cell::is(entry, T_TYPESET)) break;
		uint32_t mode = entry->header & ARG_MODE_MASK;
		if (mode == ARG_NOT_ARGUMENT) continue;
		if (infix) {  // the left operand is already on the stack
			infix = false;
			Cell* left = stack::top - 1;
			if (!accepts(entry, cell::type_of(left)))
				expect_arg(f.fn, f.name, left, argument_number(memory::series(cache)->head_cell(), entry));
			continue;
		}
		if (!active) {
			stack::push(&NONE_CELL);
			continue;
		}
		Cell* at = code.cell_at(pos);
		if (!at) {
			if (apply_mode & MODE_ALL) {
				stack::push(&NONE_CELL);
				continue;
			}
			if (mode == ARG_ESCAPABLE && typeset_has(entry, T_UNSET)) {
				stack::push(&UNSET_CELL);
				continue;
			}
			no_arg(f.fn, f.name, argument_number(memory::series(cache)->head_cell(), entry));
		}
		Cell* slot = stack::top;
		int32_t simple = mode == ARG_EVALUATED ? eval_simple(code, pos, at, f.infix) : -1;
		pos = simple >= 0 ? simple : fetch_argument(code, pos, mode, f.infix);
		if (errors::pending) return pos;
		entry = memory::series(cache)->head_cell() + i;
		if (!accepts(entry, cell::type_of(slot)))
			expect_arg(f.fn, f.name, slot, argument_number(memory::series(cache)->head_cell(), entry));
	}
	return pos;
}

// Pushes false then none for the locals of a function.
inline void push_locals(int32_t locals) {
	stack::push(&FALSE_CELL);
	for (int32_t l = 1; l < locals; l++) stack::push(&NONE_CELL);
}

// Path element p of a call's path as a refinement! into `element`; answers
// whether it is on (a get-word element: when its word's value is true).
bool refinement_element(const Cell* path, int32_t p, Cell* element) {
	*element = *(memory::series(path->data2)->head_cell() + p);
	bool on = true;
	if (cell::is(element, T_GET_WORD)) {
		on = truthy(word_value(element));
		cell::set_type(element, T_REFINEMENT);
	}
	// The lexer gives path elements as words: a word names a refinement too.
	if (cell::is(element, T_WORD)) cell::set_type(element, T_REFINEMENT);
	if (!cell::is(element, T_REFINEMENT)) errors::fire(errors::id::script_bad_refine, element);
	return on;
}

// Refinements, their arguments and locals: the slots after the required
// arguments, filled in spec order, then the refinements named by the path.
int32_t eval_refinements(Fetch& f, Code& code, int32_t pos, const Cell* path, Node cache, uint32_t i, uint32_t len,
	uint32_t apply_mode) {
	auto entry_at = [&](uint32_t k) { return memory::series(cache)->head_cell() + k; };
	Cell* base_frame = stack::arguments;
	struct RefSlot {
		uint32_t cache_index;  // of the refinement! entry
		int32_t cell;          // frame cell of the refinement (functions) or of its first argument
		int32_t args;
	};
	RefSlot slots[32];
	int nslots = 0;
	int32_t locals = -1;
	const Cell* entries = entry_at(0);  // nothing is evaluated until the slots are laid out
	for (uint32_t k = i; k < len; k++) {
		const Cell* e = entries + k;
		if (cell::is(e, T_REFINEMENT)) {
			int32_t args = 0;
			while (k + 1 + args < len && cell::is(entries + k + 1 + args, T_TYPESET) &&
				   (entries[k + 1 + args].header & ARG_MODE_MASK) != ARG_NOT_ARGUMENT)
				args++;
			if (nslots < 32) slots[nslots++] = {k, int32_t(stack::top - base_frame), args};
			if (!f.native) stack::push(&FALSE_CELL);
			for (int32_t a = 0; a < args; a++) stack::push(&NONE_CELL);
			k += uint32_t(args);
		} else if (cell::is(e, T_INTEGER) && locals < 0 && !f.native) {
			locals = cell::get_integer(e);
		}
	}
	f.refinement_count = nslots;
	for (int r = 0; r < nslots; r++) f.refinements[r] = -1;
	// Fetches the arguments of refinement `found` into their slots. An unused
	// one keeps none there: its values are evaluated for their effects, or
	// with /safer passed over, and not type-checked.
	auto take = [&](int found, bool on) {
		RefSlot& rs = slots[found];
		int32_t first = f.native ? rs.cell : rs.cell + 1;
		if (!f.native) cell::make_logic(base_frame + rs.cell, on);
		if (!on) {
			Cell* top_before = stack::top;
			for (int32_t a = 0; a < rs.args && pos < code.limit(); a++) {
				if (apply_mode & MODE_SAFER) {
					pos++;
					continue;
				}
				uint32_t mode = entry_at(rs.cache_index + 1 + uint32_t(a))->header & ARG_MODE_MASK;
				pos = fetch_argument(code, pos, mode, f.infix);
				if (errors::pending) return;
				stack::top = top_before;
			}
			return;
		}
		// The arguments are evaluated on top, then moved into their slots.
		Cell* top_before = stack::top;
		uint32_t e = rs.cache_index + 1;
		bool no_infix = false;
		pos = fetch_run(f, code, pos, cache, e, len, no_infix, apply_mode, true);
		if (errors::pending) return;
		if (on) {
			for (int32_t a = 0; a < rs.args; a++) base_frame[first + a] = top_before[a];
			f.refinements[found] = f.native ? (rs.args ? first : 0) : first;
			f.refined = true;
		}
		stack::top = top_before;
	};
	if (apply_mode & MODE_ALL) {
		// Every refinement in spec order, as a logic! value of the block.
		for (int k = 0; k < nslots && pos < code.limit(); k++) {
			Cell* flag = stack::top;
			pos = fetch_argument(code, pos, ARG_EVALUATED, f.infix);
			if (errors::pending) return pos;
			if (!cell::is(flag, T_LOGIC))
				expect_arg(f.fn, f.name, flag, argument_number(entry_at(0), entry_at(slots[k].cache_index)));
			bool on = flag->data1 != 0;
			stack::top = flag;
			take(k, on);
			if (errors::pending) return pos;
		}
	} else if (path) {
		Series* ps = memory::series(path->data2);
		int32_t plen = int32_t(ps->used() / sizeof(Cell));
		uint32_t used = 0;  // a bit per refinement slot
		for (int32_t p = int32_t(path->data1) + 1; p < plen; p++) {
			Cell element;
			bool on = refinement_element(path, p, &element);
			// Spelled as in the function's spec block, a refinement is found without resolving names.
			int found = -1;
			for (int k = 0; k < nslots && found < 0; k++)
				if (entry_at(slots[k].cache_index)->data2 == element.data2) found = k;
			uint32_t name = found < 0 ? symbol::resolve(element.data2) : 0;
			for (int k = 0; k < nslots && found < 0; k++)
				if (symbol::resolve(entry_at(slots[k].cache_index)->data2) == name) found = k;
			if (found < 0) errors::fire(errors::id::script_no_refine, f.name, &element);
			if (used & (1u << found)) errors::fire(errors::id::script_dup_refine, path);
			used |= 1u << found;
			take(found, on);
			if (errors::pending) return pos;
		}
	}
	if (locals > 0) push_locals(locals);
	return pos;
}

// A function called without refinements: from the cache entry `e` on, each
// refinement's slot is false and its arguments' none, then come the locals
// (as eval_refinements fills them, without a path).
void fill_unused_refinements(const Cell* e, const Cell* end) {
	int32_t locals = -1;
	for (; e < end; e++) {
		if (cell::is(e, T_REFINEMENT)) {
			stack::push(&FALSE_CELL);
			while (e + 1 < end && cell::is(e + 1, T_TYPESET) && (e[1].header & ARG_MODE_MASK) != ARG_NOT_ARGUMENT) {
				stack::push(&NONE_CELL);
				e++;
			}
		} else if (cell::is(e, T_INTEGER) && locals < 0) {
			locals = cell::get_integer(e);
		}
	}
	if (locals > 0) push_locals(locals);
}

// Pushes the arguments and refinements of a call by the argument cache.
int32_t eval_arguments(Fetch& f, Code& code, int32_t pos, const Cell* path, bool infix, uint32_t apply_mode) {
	Node cache = argument_cache(f.fn)->data2;
	uint32_t len = memory::series(cache)->used() / sizeof(Cell);
	uint32_t i = 0;
	pos = fetch_run(f, code, pos, cache, i, len, infix, apply_mode, true);
	if (errors::pending || i == len) return pos;
	// Common case: only locals follow.
	Cell* e = memory::series(cache)->head_cell() + i;
	if (!path && i + 1 == len && cell::is(e, T_INTEGER)) {
		if (!f.native) push_locals(cell::get_integer(e));
		return pos;
	}
	if (!path && !apply_mode && !f.native) {
		fill_unused_refinements(e, memory::series(cache)->head_cell() + len);
		return pos;
	}
	return eval_refinements(f, code, pos, path, cache, i, len, apply_mode);
}

// Pushes the arguments of a call whose cache is plain (see CACHE_PLAIN),
// type-checking each; answers the position after them.
// Pushes required arguments i .. count - 1 of a plain cache (node), checking
// their types; answers the position after them.
[[gnu::always_inline]] inline int32_t fetch_range(Fetch& f, Code& code, int32_t pos, Node node, uint32_t i,
	uint32_t count) {
	for (; i < count; i++) {
		Cell* slot = stack::top;
		uint32_t mode = memory::series(node)->head_cell()[i].header & ARG_MODE_MASK;
		Cell* at = code.cell_at(pos);
		if (!at) {
			if (mode == ARG_ESCAPABLE && typeset_has(memory::series(node)->head_cell() + i, T_UNSET)) {
				stack::push(&UNSET_CELL);
				continue;
			}
			no_arg(f.fn, f.name, int32_t(i));
		}
		int32_t simple = mode == ARG_EVALUATED ? eval_simple(code, pos, at, f.infix) : -1;
		pos = simple >= 0 ? simple : fetch_argument(code, pos, mode, f.infix);
		if (errors::pending) return pos;
		if (!accepts(memory::series(node)->head_cell() + i, cell::type_of(slot)))
			expect_arg(f.fn, f.name, slot, int32_t(i));
	}
	return pos;
}

// Pushes what follows the required arguments of a plain cache: a native's
// unused refinement arguments (none) or a function's locals.
inline void finish_plain(Fetch& f, uint32_t info) {
	uint32_t tail = (info >> 8) & 0xFFFF;
	if (f.native) {
		for (uint32_t k = 0; k < tail; k++) stack::push(&NONE_CELL);
		f.refinement_count = int32_t(info >> 24);
	} else if (tail) {
		push_locals(int32_t(tail));
	}
}

// Pushes the arguments of a call whose cache is plain (see CACHE_PLAIN),
// type-checking each; answers the position after them.
[[gnu::always_inline]] inline int32_t fetch_plain(Fetch& f, Code& code, int32_t pos, const Cell* cache, bool infix) {
	Node node = cache->data2;
	uint32_t info = cache->data3;  // the cache may move while arguments are evaluated
	uint32_t count = info & 0xFF;
	uint32_t i = 0;
	if (infix && count) {  // the left operand is already on the stack
		Cell* entry = memory::series(node)->head_cell();
		Cell* left = stack::top - 1;
		if (!accepts(entry, cell::type_of(left))) expect_arg(f.fn, f.name, left, 0);
		i = 1;
	}
	pos = fetch_range(f, code, pos, node, i, count);
	if (errors::pending) return pos;
	finish_plain(f, info);
	return pos;
}

// The refinement entry of a laid-out cache (node) that a refinement names,
// or null; its entries from `from` on are searched. Spelled as in the spec
// block, it is found without resolving names.
const Cell* find_refinement(Node node, uint32_t from, const Cell* refinement) {
	Series* s = memory::series(node);
	for (const Cell* e = s->head_cell() + from; e < s->tail_cell(); e++)
		if (cell::is(e, T_REFINEMENT) && e->data2 == refinement->data2) return e;
	uint32_t name = symbol::resolve(refinement->data2);
	for (const Cell* e = s->head_cell() + from; e < s->tail_cell(); e++)
		if (cell::is(e, T_REFINEMENT) && symbol::resolve(e->data2) == name) return e;
	return nullptr;
}

// Fetches the `count` arguments of a refinement, cache entries `i` on, into
// the frame cells from `first`, checking their types.
int32_t fetch_into(Fetch& f, Code& code, int32_t pos, Node node, uint32_t i, uint32_t first, uint32_t count) {
	for (uint32_t a = 0; a < count; a++, i++) {
		Cell* slot = stack::top;
		uint32_t mode = memory::series(node)->head_cell()[i].header & ARG_MODE_MASK;
		Cell* at = code.cell_at(pos);
		if (!at) {
			const Cell* entry = memory::series(node)->head_cell() + i;
			if (mode == ARG_ESCAPABLE && typeset_has(entry, T_UNSET)) {
				stack::push(&UNSET_CELL);
			} else {
				no_arg(f.fn, f.name, argument_number(memory::series(node)->head_cell(), entry));
			}
		} else {
			int32_t simple = mode == ARG_EVALUATED ? eval_simple(code, pos, at, f.infix) : -1;
			pos = simple >= 0 ? simple : fetch_argument(code, pos, mode, f.infix);
			if (errors::pending) return pos;
			const Cell* entry = memory::series(node)->head_cell() + i;
			if (!accepts(entry, cell::type_of(slot)))
				expect_arg(f.fn, f.name, slot, argument_number(memory::series(node)->head_cell(), entry));
		}
		stack::move_cell(stack::arguments + first + a, slot);
		stack::top = slot;
	}
	return pos;
}

// Evaluates the arguments of a refinement that is off for their effects
// alone, as far as the code goes: they are not type-checked.
int32_t skip_arguments(Fetch& f, Code& code, int32_t pos, Node node, uint32_t i, uint32_t count) {
	for (uint32_t a = 0; a < count && pos < code.limit(); a++, i++) {
		Cell* slot = stack::top;
		pos = fetch_argument(code, pos, memory::series(node)->head_cell()[i].header & ARG_MODE_MASK, f.infix);
		if (errors::pending) return pos;
		stack::top = slot;
	}
	return pos;
}

// Pushes the arguments of a native or action called through a path, its
// cache laid out: the required ones, none in every refinement argument's
// cell, then the arguments of each refinement the path names, in its order,
// straight into their cells.
[[gnu::noinline]] int32_t fetch_refined(Fetch& f, Code& code, int32_t pos, const Cell* cache, const Cell* path) {
	Node node = cache->data2;
	uint32_t info = cache->data3;
	uint32_t count = info & 0xFF;
	pos = fetch_range(f, code, pos, node, 0, count);
	if (errors::pending) return pos;
	finish_plain(f, info);
	f.refined = true;
	for (int32_t r = 0; r < f.refinement_count; r++) f.refinements[r] = -1;
	uint32_t used = 0;  // a bit per refinement
	for (int32_t p = int32_t(path->data1) + 1; p < int32_t(memory::series(path->data2)->used() / sizeof(Cell)); p++) {
		Cell element;
		bool on = refinement_element(path, p, &element);
		const Cell* entry = find_refinement(node, count, &element);
		if (!entry) errors::fire(errors::id::script_no_refine, f.name, &element);
		uint32_t i = uint32_t(entry - memory::series(node)->head_cell()) + 1;
		uint32_t layout = entry->data3;
		uint32_t first = layout & 0xFFFF, args = (layout >> 16) & 0xFF, number = layout >> 24;
		if (used & (1u << number)) errors::fire(errors::id::script_dup_refine, path);
		used |= 1u << number;
		if (!on) {
			pos = skip_arguments(f, code, pos, node, i, args);
			if (errors::pending) return pos;
			continue;
		}
		pos = fetch_into(f, code, pos, node, i, first, args);
		if (errors::pending) return pos;
		f.refinements[number] = args ? int32_t(first) : 0;
	}
	return pos;
}

[[gnu::always_inline]] inline int32_t fetch_arguments(Fetch& f, Code& code, int32_t pos, const Cell* path, bool infix,
	uint32_t mode) {
	const Cell* cache = more_cell(f.fn, MORE_CACHE);
	if (!cell::is(cache, T_BLOCK) || (cache->header & CACHE_INCOMPLETE)) cache = build_cache(f.fn);
	if (!mode && (cache->header & CACHE_PLAIN)) {
		if (!path) return fetch_plain(f, code, pos, cache, infix);
		if (!infix && (cache->header & CACHE_LAID_OUT)) return fetch_refined(f, code, pos, cache, path);
	}
	return eval_arguments(f, code, pos, path, infix, mode);
}

// Pushes the arguments and locals of a function whose header holds its call
// shape: evaluated arguments of any type, so none is checked.
[[gnu::always_inline]] inline int32_t fetch_simple(Fetch& f, Code& code, int32_t pos, uint32_t header) {
	uint32_t count = function::simple_arguments(header);
	for (uint32_t i = 0; i < count; i++) {
		Cell* at = code.cell_at(pos);
		if (!at) no_arg(f.fn, f.name, int32_t(i));
		int32_t simple = eval_simple(code, pos, at, false);
		pos = simple >= 0 ? simple : fetch_argument(code, pos, ARG_EVALUATED, false);
		if (errors::pending) return pos;
	}
	if (uint32_t locals = function::simple_locals(header)) push_locals(int32_t(locals));
	return pos;
}

// The block literal at `pos` when a plain argument fetch would take it as it
// is (no operator follows), else null.
inline Cell* literal_block(Code& code, int32_t pos) {
	Cell* c = code.cell_at(pos);
	return c && cell::is(c, T_BLOCK) && !operator_at(code, pos + 1) ? c : nullptr;
}

void eval_block(const Cell* block, bool chain);

// if, unless and either, called without a path while no tracer runs: once
// the condition is fetched, branches written as block literals are taken
// straight from the code; the chosen one is evaluated into the frame's
// result as the native would. Anything else goes on as a plain call.
// Answers the position after the call, or -1 when the native must be called.
int32_t call_branch(uint32_t slot, Fetch& f, Code& code, int32_t pos) {
	// The condition: evaluated, of any type (the natives' specs).
	uint32_t count = slot == natives::N_EITHER ? 3 : 2;
	Cell* at = code.cell_at(pos);
	if (!at) no_arg(f.fn, f.name, 0);
	int32_t simple = eval_simple(code, pos, at, false);
	pos = simple >= 0 ? simple : fetch_argument(code, pos, ARG_EVALUATED, false);
	if (errors::pending) return pos;
	Cell* first = literal_block(code, pos);
	Cell* second = first && count == 3 ? literal_block(code, pos + 1) : nullptr;
	if (!first || (count == 3 && !second)) {
		const Cell* cache = more_cell(f.fn, MORE_CACHE);
		if (!cell::is(cache, T_BLOCK) || (cache->header & CACHE_INCOMPLETE)) cache = build_cache(f.fn);
		uint32_t info = cache->data3;
		pos = fetch_range(f, code, pos, cache->data2, 1, count);
		if (errors::pending) return pos;
		finish_plain(f, info);
		return -1 - pos;
	}
	pos += int32_t(count) - 1;
	Cell* cond = stack::arguments;
	bool take;
	if (slot == natives::N_EITHER) {
		take = true;
		if (!condition(cond)) first = second;
	} else {
		take = truthy(cond) == (slot == natives::N_IF);
	}
	if (!take) {
		stack::set_result(&NONE_CELL);
		return pos;
	}
	// A branch of one plain value (a literal, or a word with a value that is
	// not a function) cannot raise: it is its own result.
	Series* bs = memory::series(first->data2);
	if (first->data1 + 1 == bs->used() / sizeof(Cell)) {
		if (const Cell* v = plain_value(bs->head_cell() + first->data1)) {
			stack::set_result(v);
			return pos;
		}
	}
	Cell block = *first;
	eval_block(&block, true);
	return pos;
}

// Calls the entry of a native or action of two arguments without refinements.
inline void call_binary_entry(const Cell* fn) {
	int32_t refs[1] = {-1};
	if (cell::is(fn, T_NATIVE))
		natives::table[fn->data1](false, refs);
	else
		actions::stack_forms[fn->data1](refs);
}

// Evaluates the right operand at code.pos of an operator on numbers whose
// fast form failed (see fast_operand): a paren there is then no number paren,
// so it is evaluated as a block at once rather than worked out again.
[[gnu::noinline]] int32_t eval_paren_operand(Code& code) {
	if (tracing) return eval_expression(code, true, true, false);
	Cell paren;
	stack::move_cell(&paren, code.at(code.pos));
	eval(&paren, false);
	code.sync();
	return code.pos + 1;
}

// An operator made from a native or action of exactly two arguments (its
// cache plain, data3 == 2), called while no tracer runs: the general call in
// infix mode without its bookkeeping. The result replaces the left operand
// at `start`.
[[gnu::always_inline]] inline int32_t call_binary(const Cell* fn, const Cell* name, Code& code, int32_t pos, Cell* start, bool known) {
	safe_point(code);
	stack::guard_native_stack();
	stack::top = start;
	stack::mark_interp_native(name);
	stack::top = start + 1;
	if (known && (cell::is(start, T_INTEGER) || cell::is(start, T_FLOAT))) {
		// A number on the left is accepted: the cache is read only when the
		// right operand is not a number too. That operand is seldom a plain
		// value (the caller computes those), so it is evaluated at once.
		Cell* right = stack::top;
		if (pos >= code.limit()) no_arg(fn, name, 1);
		code.pos = pos;
		pos = cell::is(code.at(pos), T_PAREN) ? eval_paren_operand(code) : eval_expression(code, true, true, false);
		if (errors::pending) return pos;
		if (number_op(number_op_of(cell::type_of(fn), fn->data1), start, right)) {
			stack::unwind();
			return pos;  // no code ran since the operand: `code` is still synced
		}
		const Cell* cache = argument_cache(fn);
		if (!accepts(memory::series(cache->data2)->head_cell() + 1, cell::type_of(right)))
			expect_arg(fn, name, right, 1);
		call_binary_entry(fn);
		if (errors::pending) return pos;
	} else {
		Node node = argument_cache(fn)->data2;
		if (!accepts(memory::series(node)->head_cell(), cell::type_of(start))) expect_arg(fn, name, start, 0);
		Fetch f;
		f.fn = fn;
		f.name = name;
		f.native = true;
		f.infix = true;
		f.refinement_count = 0;
		f.refined = false;
		pos = fetch_range(f, code, pos, node, 1, 2);
		if (errors::pending) return pos;
		if (!(known && number_op(number_op_of(cell::type_of(fn), fn->data1), start, start + 1))) {
			call_binary_entry(fn);
			if (errors::pending) return pos;
		}
	}
	stack::unwind();
	code.sync();
	return pos;
}

// An item of a block picked by an integer step, read in place; null sends
// the step the general way (past either end, other types).
inline const Cell* block_item(const Cell* current, const Cell* selector) {
	if (!cell::is(current, T_BLOCK) || !cell::is(selector, T_INTEGER)) return nullptr;
	int32_t n = cell::get_integer(selector);
	Series* s = memory::buffer_of(current);
	uint32_t length = s->used() / sizeof(Cell);
	if (n < 1 || current->data1 >= length || uint32_t(n) > length - current->data1) return nullptr;
	return s->head_cell() + current->data1 + (n - 1);
}

// pick and poke on a block by an integer within it, done in place of the
// action while no tracer runs: the result goes to the frame's first cell.
// False (nothing done) for any other call, which the action then makes.
inline bool block_pick_poke(const Cell* fn, Cell* a) {
	if (tracing || !cell::is(fn, T_ACTION) || !cell::is(a, T_BLOCK)) return false;
	uint32_t slot = fn->data1 + 1;
	if (slot != A_PICK && slot != A_POKE) return false;
	Cell* item = const_cast<Cell*>(block_item(a, a + 1));
	if (!item) return false;
	if (slot == A_PICK) {
		stack::move_cell(a, item);
		return true;
	}
	// A block an object's field owns tells the object of each change.
	if (memory::buffer_of(a)->flags & SERIES_OWNED) return false;
	*item = a[2];
	stack::move_cell(a, a + 2);
	return true;
}

void call_native(const Cell* fn, const Fetch& f) {
	Cell* a = stack::arguments;
	if (f.refinement_count == 0) {
		if (stack::top == a + 2 && cell::is(a, T_INTEGER) && cell::is(a + 1, T_INTEGER) &&
			(integer_op(number_op_of(cell::type_of(fn), fn->data1), a, a + 1) || integer_remainder(fn, a, a + 1)))
			return;
		if (block_pick_poke(fn, a)) return;
	}
	const int32_t* given = f.refined ? f.refinements : UNREFINED;
	uint32_t index = fn->data1;
	if (cell::is(fn, T_NATIVE))
		natives::table[index](false, given);
	else
		actions::stack_forms[index](given);
}

// Runs the C++ entry a library function was given for its hot path; its
// body stays the definition that reflection shows, and runs instead when
// the entry's guard declines the arguments. The frame is a return target,
// as for the body.
[[gnu::noinline]] void run_entry(const Cell* fn, const Cell* ref) {
	stack::Frame* frame = stack::frames_top - 1;
	frame->header |= stack::FRAME_RETURN_TARGET;
	fire(EV_PROLOG, nullptr, -1, fn, ref);
	routine::call(fn);
	if (errors::pending == THROW_RETURN || errors::pending == THROW_EXIT) errors::pending = THROW_NONE;
	if (errors::pending) return;
	frame->header &= ~stack::FRAME_RETURN_TARGET;
	fire(EV_EPILOG, nullptr, -1, stack::arguments, ref);
}

// Evaluates a function's body in its frame, the result the frame's first
// cell; a return or exit out of the body ends there.
[[gnu::always_inline]] inline void eval_body(const Cell* fn) {
	Cell body = *more_cell(fn, MORE_BODY);
	if (cell::is(&body, T_BLOCK))
		eval_block(&body, true);
	else
		stack::set_last(&UNSET_CELL);
	if (errors::pending == THROW_RETURN || errors::pending == THROW_EXIT) errors::pending = THROW_NONE;
}

// Runs the body of a function whose arguments and locals are the current
// frame's cells; `ref`, the word or path that called it, goes to the tracer.
[[gnu::always_inline]] inline void run_function(const Cell* fn, const Cell* ref) {
	if (cell::is(more_cell(fn, MORE_ENTRY), T_INTEGER) && routine::takes(fn)) return run_entry(fn, ref);
	TracingGuard tracing_guard;
	Node ctx = fn->data1;
	ValuesGuard values(ctx, stack::index_of(stack::arguments) + 1);
	stack::Frame* frame = stack::frames_top - 1;  // the call's frame: its callers opened it
	frame->header |= stack::FRAME_RETURN_TARGET;
	if (fn->header & (FN_TRACE | FN_NO_TRACE)) tracing = (fn->header & FN_NO_TRACE) ? false : trace_all;
	fire(EV_PROLOG, nullptr, -1, fn, ref);
	eval_body(fn);
	if (errors::pending) return;
	frame->header &= ~stack::FRAME_RETURN_TARGET;
	fire(EV_EPILOG, nullptr, -1, stack::arguments, ref);
}

// `untraced`: called while no tracer ran, so none can run when the call
// opens, calls and returns (a tracer started inside has ended by then).
[[gnu::always_inline]] inline int32_t call_value(const Cell* fn_in, Code& code, int32_t pos, bool push,
	const Cell* name, const Cell* path, uint32_t mode, bool infix, bool untraced = false) {
	Cell fn = *fn_in;
	// Callers pass names that outlive the call (their own copies).
	Cell anon;
	const Cell* frame_name = name;
	if (!name || !cell::is(name, T_WORD)) {
		cell::set(&anon, T_WORD, 0, stack::anon_symbol, 0xFFFFFFFFu);
		frame_name = &anon;
	}
	// What the tracer is told names the function: the path or word it was
	// called by, or for a call of a function value itself, that value.
	const Cell* ref = path ? path : frame_name == &anon ? &fn : frame_name;
	if (!untraced) fire(EV_OPEN, &code, pos, &fn, ref);
	// An operator's left operand stands just above the top: keep it in sight.
	stack::top += infix;
	safe_point(code);
	stack::top -= infix;
	stack::guard_native_stack();
	if (!infix) stack::push(&fn);
	Fetch f;
	f.fn = &fn;
	f.name = frame_name;
	f.native = false;
	f.infix = infix || (mode & MODE_SAFER);  // apply/safer: each argument is one value
	f.refinement_count = 0;
	f.refined = false;
	Type t = cell::type_of(&fn);
	switch (t) {
	case T_NATIVE:
	case T_ACTION:
	case T_ROUTINE: {
		f.native = t != T_ROUTINE;
		if (infix) stack::top--;  // the left operand becomes the frame's first cell
		stack::mark_interp_native(frame_name);
		if (infix) stack::top = stack::arguments + 1;
		uint32_t slot = fn.data1 + 1;
		if (t == T_NATIVE && (slot == natives::N_IF || slot == natives::N_UNLESS || slot == natives::N_EITHER) &&
			!infix && !path && !mode && !tracing) {
			pos = call_branch(slot, f, code, pos);
			if (errors::pending) return pos;
			if (pos >= 0) break;
			pos = -1 - pos;  // arguments fetched: call the native
		} else {
			pos = fetch_arguments(f, code, pos, path, infix, mode);
			if (errors::pending) return pos;
		}
		if (!untraced) fire(EV_CALL, &code, pos, &fn, ref);
		if (t == T_ROUTINE)
			routine::call(&fn);
		else
			call_native(&fn, f);
		break;
	}
	case T_FUNCTION: {
		if (infix) stack::top--;
		stack::mark_interp_call(frame_name);
		if (infix) stack::top = stack::arguments + 1;
		if ((fn.header & function::FLAG_SIMPLE) && !infix && !path && !mode)
			pos = fetch_simple(f, code, pos, fn.header);
		else
			pos = fetch_arguments(f, code, pos, path, infix, mode);
		if (errors::pending) return pos;
		if (!untraced) fire(EV_CALL, &code, pos, &fn, ref);
		run_function(&fn, ref);
		break;
	}
	default: errors::fire(errors::id::internal_not_done);
	}
	if (errors::pending) return pos;
	if (untraced && push && !infix) {
		// The result goes where the function value was pushed.
		Cell* result = stack::arguments;
		stack::unwind();
		stack::move_cell(result - 1, result);
		stack::top = result;
		code.sync();
		return pos;
	}
	if (push)
		stack::unwind();
	else
		stack::unwind_last();
	if (!untraced) fire(EV_RETURN, &code, pos, stack::top - 1, ref);
	if (!infix) {
		if (push)
			stack::pop_into_previous();
		else
			stack::top = stack::arguments + 1;
	}
	code.sync();
	return pos;
}

int32_t eval_call(const Cell* fn, Code& code, int32_t pos, bool push, const Cell* name, const Cell* path,
	const Cell*, uint32_t mode, bool infix) {
	return call_value(fn, code, pos, push, name, path, mode, infix);
}

// A path of the code at `at` (`pos` after it) whose first word's value is a
// function, evaluated while no tracer runs: the call eval_path makes, the
// path's other elements its refinements, without walking the path first.
// Answers the position after the call, or -1 (nothing done) for any other
// path.
[[gnu::noinline]] int32_t call_path(Code& code, int32_t pos, const Cell* at, bool push) {
	const Cell* fn = path_function(at);
	if (!fn) return -1;
	Cell path = *at;  // `at` is in the code's buffer, which may move
	Cell word = *(memory::series(path.data2)->head_cell() + path.data1);
	return call_value(fn, code, pos, push, &word, &path, 0, false, true);
}

// Evaluates a set-word: the value of the next expression goes into the
// word. `set_word` is read before anything runs (it may be the code's own
// cell), and kept as the frame's first cell. Never split into by-value
// words: the push reads it whole.
// With `partial`, the value's expression was worked out up to `pos` (see
// quick_value): that value goes on from there, its operator at `pos` called
// in full when `more`.
[[gnu::noipa]] int32_t eval_set_word(Code& code, int32_t pos, const Cell* set_word, bool push,
	const Cell* partial = nullptr, bool more = false) {
	stack::mark_interp_native(set_word);
	Cell* word = stack::push(set_word);
	fire(EV_PUSH, &code, pos, word, nullptr);
	if (partial) {
		Cell* slot = stack::push(partial);
		if (more) pos = apply_operator_run(code, pos, slot, true, nullptr, true);
	} else {
		Cell* at = code.cell_at(pos);
		if (!at) errors::fire(errors::id::script_need_value, word);
		int32_t simple = eval_simple(code, pos, at, false);
		if (simple >= 0) {
			pos = simple;
		} else {
			code.pos = pos;
			pos = eval_expression(code, false, true, false);
		}
	}
	if (errors::pending) return pos;
	Cell* value = stack::arguments + 1;
	word = stack::arguments;
	fire(EV_SET, &code, pos, value, word);
	if (cell::is(value, T_UNSET)) errors::fire(errors::id::script_need_value, word);
	assign_word(word, value);
	stack::set_last(value);
	if (push)
		stack::unwind();
	else
		stack::unwind_last();
	return pos;
}

// `partial` and `more` as for eval_set_word.
int32_t eval_set_path(Code& code, int32_t pos, const Cell* set_path, bool push, const Cell* partial = nullptr,
	bool more = false) {
	Cell path = *set_path;
	fire(EV_PUSH, &code, pos, &path, nullptr);
	if (!partial && pos >= code.limit()) errors::fire(errors::id::script_need_value, &path);
	Cell frame_name;
	cell::set(&frame_name, T_WORD, 0, words::sym_set_path, 0xFFFFFFFFu);
	stack::mark_interp_native(&frame_name);
	if (partial) {
		Cell* slot = stack::push(partial);
		if (more) pos = apply_operator_run(code, pos, slot, true, nullptr, true);
	} else {
		code.pos = pos;
		pos = eval_expression(code, false, true, false);
	}
	if (errors::pending) return pos;
	fire(EV_SET, &code, pos, stack::arguments, &path);
	// The value is the frame's first cell: the path evaluation sets from it.
	if (tracing || !set_field(&path, stack::arguments)) {
		eval_path(&path, nullptr, true, false, false, false);
		if (errors::pending) return pos;
	}
	if (push)
		stack::unwind();
	else
		stack::unwind_last();
	return pos;
}

bool is_system_issue(const Cell* issue) {
	uint32_t s = symbol::resolve(issue->data2);
	return s == symbol::resolve(words::sym_system) || s == symbol::resolve(words::sym_system_global);
}

// The frame cells a function needs beyond its first `args` arguments:
// refinement slots with their arguments, and locals.
uint32_t extra_slots(const Cell* fn, uint32_t args) {
	Cell cache = *argument_cache(fn);
	Series* cs = memory::series(cache.data2);
	uint32_t total = 0;
	for (Cell* e = cs->head_cell(); e < cs->tail_cell(); e++) {
		if (cell::is(e, T_TYPESET) && (e->header & ARG_MODE_MASK) != ARG_NOT_ARGUMENT) total++;
		if (cell::is(e, T_REFINEMENT)) total++;
		if (cell::is(e, T_INTEGER)) total += uint32_t(cell::get_integer(e));
	}
	return total > args ? total - args : 0;
}

bool inspect_lexer_callback(const Cell* callback, Cell* body, uint32_t* optional_slots) {
	if (!cell::is(callback, T_FUNCTION)) return false;
	*body = *more_cell(callback, MORE_BODY);
	*optional_slots = extra_slots(callback, 5);
	return true;
}

bool call_lexer_callback(const Cell* callback, const Cell* args, uint32_t optional_slots) {
	Cell fn = *callback;
	Cell name{T_WORD, 0, words::sym_frame_lexer_callback, 0xFFFFFFFFu};
	// The callback may move its input: the scan goes on from where it left it.
	Cell* moved = const_cast<Cell*>(args) + 1;
	return call_with(&fn, args, 5, optional_slots, &name, 1, moved);
}

// sort/compare with a function: its answer goes to `out`.
void call_comparator(const Cell* function, const Cell* first, const Cell* second, Cell* out) {
	Cell fn = *function;
	Cell args[2] = {*first, *second};
	Cell name{T_WORD, 0, words::sym_frame_compare_callback, 0xFFFFFFFFu};
	stack::mark_call(&name, fn.data1);
	stack::push(args);
	stack::push(args + 1);
	uint32_t padding = extra_slots(&fn, 2);
	if (padding) {
		stack::push(&FALSE_CELL);
		for (uint32_t i = 1; i < padding; i++) stack::push(&NONE_CELL);
	}
	call_function(&fn, fn.data1, &name, 0);
	if (errors::pending) return;
	*out = *stack::arguments;
	stack::unwind_call();
	stack::pop(1);
}

}  // namespace

bool call_with(const Cell* fn_in, const Cell* args, uint32_t count, uint32_t padding, const Cell* name,
	uint32_t copy_back, Cell* copy_to) {
	Cell fn = *fn_in;
	stack::mark_call(name, fn.data1);
	for (uint32_t i = 0; i < count; i++) stack::push(args + i);
	if (padding) {
		stack::push(&FALSE_CELL);
		for (uint32_t i = 1; i < padding; i++) stack::push(&NONE_CELL);
	}
	Cell* frame = stack::arguments;
	call_function(&fn, fn.data1, name, 0);
	if (errors::pending) return false;
	// The argument cells hold what the function left in them.
	if (copy_to) *copy_to = frame[copy_back];
	bool answer = truthy(stack::arguments);
	stack::unwind_call();
	stack::pop(1);
	return answer;
}

namespace {

void trace_error(const Cell* error) { fire_event(EV_ERROR, nullptr, -1, error, nullptr); }

}  // namespace

void call_for_value(const Cell* fn_in, const Cell* args, uint32_t count, const Cell* name, Cell* out) {
	Cell fn = *fn_in;
	uint32_t padding = extra_slots(&fn, count);
	stack::mark_call(name, fn.data1);
	for (uint32_t i = 0; i < count; i++) stack::push(args + i);
	if (padding) {
		stack::push(&FALSE_CELL);
		for (uint32_t i = 1; i < padding; i++) stack::push(&NONE_CELL);
	}
	call_function(&fn, fn.data1, name, 0);
	if (errors::pending) return;
	*out = *stack::arguments;
	stack::unwind_call();
	stack::pop(1);
}

void call_fitted(const Cell* fn_in, const Cell* args, uint32_t count, const Cell* name, Cell* out) {
	Cell fn = *fn_in;
	Node cache = argument_cache(&fn)->data2;
	// Kept on the stack: the function may replace itself where it was found.
	Cell* held = stack::push(&fn);
	stack::mark_call(name, fn.data1);
	uint32_t slot = 0;
	Series* cs = memory::series(cache);
	for (const Cell* e = cs->head_cell(); e < cs->tail_cell(); e++) {
		if (cell::is(e, T_TYPESET)) {
			if ((e->header & ARG_MODE_MASK) == ARG_NOT_ARGUMENT) continue;
			stack::push(slot < count ? args + slot : &NONE_CELL);
			slot++;
		} else if (cell::is(e, T_REFINEMENT)) {
			stack::push(slot < count ? args + slot : &FALSE_CELL);
			slot++;
		} else if (cell::is(e, T_INTEGER)) {
			function::push_inactive_refinement(cell::get_integer(e));
		}
	}
	call_function(&fn, fn.data1, name, 0);
	if (errors::pending) return;
	*out = *stack::arguments;
	stack::unwind_call();
	stack::top = held;
}

void init() {
	lexer::callback_hooks.inspect = inspect_lexer_callback;
	lexer::callback_hooks.call = call_lexer_callback;
	block::call_comparator = call_comparator;
	stack::hooks.trace_error = trace_error;
	cell::make_unset(&current_code);
	cell::make_none(&tracer);
	tracing = false;
	callbacks = 0;
	event_mask = 0x1FFFF;
}

void no_return() { errors::fire(errors::id::script_no_return); }

namespace {

// Evaluates the expressions of a block one after the other, each from the
// stack position `mark`: its value pushed there (Push) or made the frame's
// result; the last value stays.
template <bool Push>
[[gnu::always_inline]] inline void run_expressions(Code& code, const Cell* block, Cell* mark) {
	// Rewritten whole at each expression: nested evaluations copy it whole.
	uint64_t header = block->header;
	uint64_t high = block->data2 | uint64_t(block->data3) << 32;
	for (;;) {
		cell::store(&current_code, header | uint64_t(uint32_t(code.pos)) << 32, high);
		safe_point(code);
		code.pos = eval_expression(code, false, Push, false);
		if (errors::pending || code.pos >= code.limit()) return;
		stack::top = mark;
	}
}

// Block evaluation as the tracer sees it: in a frame of its own.
void eval_traced(Code& code, const Cell* block, bool chain) {
	stack::mark_symbol(stack::body_symbol, stack::OPEN_EVAL);
	fire(EV_ENTER, &code, code.pos, nullptr, nullptr);
	if (code.pos >= code.limit()) {
		interpreter::safe_point();  // a loop step, even with an empty body
		stack::set_result(&UNSET_CELL);
	} else {
		run_expressions<false>(code, block, stack::arguments);
		if (errors::pending) return;
	}
	fire(EV_EXIT, &code, code.pos, stack::arguments, nullptr);
	if (chain)
		stack::unwind_last();
	else
		stack::unwind();
}

// Without a tracer a block needs no frame of its own: each expression's
// value is pushed at the caller's top, which is where the block's frame
// would have begun, and every frame a nested exit searches for lies below.
[[gnu::always_inline]] inline void eval_block(const Cell* block, bool chain) {
	// Opening no frame, nested blocks and parens would never meet the frame
	// limit: the C++ stack is what bounds them.
	stack::guard_native_stack();
	Code code(block);
	CodeSaver saver;
	if (__builtin_expect(tracing, false)) return eval_traced(code, block, chain);
	Cell* mark = stack::top;
	if (code.pos >= code.limit()) {
		interpreter::safe_point();  // a loop step, even with an empty body
		stack::push(&UNSET_CELL);
	} else {
		run_expressions<true>(code, block, mark);
		if (errors::pending) return;
	}
	if (chain) stack::move_cell(stack::arguments, mark);
}

}  // namespace

void eval(const Cell* block, bool chain) { eval_block(block, chain); }

int32_t eval_next_at(const Cell* block, bool push) {
	Series* s = memory::series(block->data2);
	int32_t tail = int32_t(s->used() / sizeof(Cell));
	int32_t head = int32_t(block->data1);
	if (head >= tail) {
		Cell unset{T_UNSET, 0, 0, 0};
		store(&unset, push);
		return head;
	}
	Code code{block->data2, head, tail};
	CodeSaver saver;
	current_code = *block;
	stack::mark_symbol(stack::body_symbol, stack::OPEN_INTERP_NATIVE);
	int32_t pos = eval_expression(code, false, true, false);
	if (errors::pending) return pos;
	if (push)
		stack::unwind();
	else
		stack::unwind_last();
	if (!push) stack::top = stack::arguments + 1;
	return pos;
}

void eval_value(const Cell* value, bool push) {
	Node n = memory::alloc_cells(1);
	*memory::alloc_at_tail(memory::series(n)) = *value;
	roots::Guard guard(&n);
	Code code{n, 0, 1};
	eval_expression(code, false, push, false);
}

int32_t eval_expression(Code& code, bool sub, bool push, bool prefix) {
	if (__builtin_expect(!tracing, true)) {
		// The common expressions first: a literal, a word's value, a call
		// through a word. Anything else, and a word that would raise, takes
		// the general path below.
		Cell* at = code.at(code.pos);
		Type t = cell::type_of(at);
		if (t == T_WORD) {
			if (Cell* v = value_cell(at)) {
				Type vt = cell::type_of(v);
				if (is_function_type(vt)) {
					Cell word = *at;
					Cell* start = push ? stack::top : stack::arguments;
					int32_t pos = call_value(v, code, code.pos + 1, push, &word, nullptr, 0, false, true);
					return errors::pending || sub ? pos : eval_operators(code, pos, start, push);
				}
				if (vt != T_UNSET && vt != T_OP) {
					Cell* slot = push ? stack::push(v) : stack::set_result(v);
					return sub ? code.pos + 1 : eval_operators(code, code.pos + 1, slot, push);
				}
			}
		} else if (INERT.at[t]) {
			Cell* slot = push ? stack::push(at) : stack::set_result(at);
			return sub ? code.pos + 1 : eval_operators(code, code.pos + 1, slot, push);
		} else if (t == T_PATH) {
			if (const Cell* v = path_value(at)) {
				Cell* slot = push ? stack::push(v) : stack::set_result(v);
				return sub ? code.pos + 1 : eval_operators(code, code.pos + 1, slot, push);
			}
			Cell* start = push ? stack::top : stack::arguments;
			int32_t pos = call_path(code, code.pos + 1, at, push);
			if (pos >= 0) return errors::pending || sub ? pos : eval_operators(code, pos, start, push);
		} else if (t == T_SET_WORD) {
			// A word of a function or the global context (an object's runs
			// change handlers) set to a value quick_value works out takes no
			// frame; else the general way goes on from where it got to.
			Node ctx = at->data1;
			Cell value;
			bool more = true;
			int32_t next = -1;
			if (push && ctx && int32_t(at->data3) >= 0 && !context::is_object(ctx)) {
				next = quick_value(code, code.pos + 1, &value, more);
				Cell* slot = next >= 0 && !more ? context_cell(ctx, int32_t(at->data3)) : nullptr;
				if (slot) {
					stack::move_cell(slot, &value);
					stack::push(&value);
					return next;  // no operator follows the value
				}
			}
			Cell* start = push ? stack::top : stack::arguments;
			int32_t pos = next >= 0 ? eval_set_word(code, next, at, push, &value, more)
									: eval_set_word(code, code.pos + 1, at, push);
			code.sync();  // a change handler may have run
			return errors::pending || sub ? pos : eval_operators(code, pos, start, push);
		} else if (t == T_SET_PATH && push) {
			// The same for a set-path to an object's field (see set_field).
			Cell value;
			bool more = true;
			int32_t next = quick_value(code, code.pos + 1, &value, more);
			if (next >= 0) {
				if (!more && set_field(at, &value)) {
					stack::push(&value);
					return next;
				}
				Cell* start = stack::top;
				int32_t pos = eval_set_path(code, next, at, push, &value, more);
				code.sync();
				return errors::pending || sub ? pos : eval_operators(code, pos, start, push);
			}
		} else if (t == T_PAREN) {
			Cell number;
			if (paren_number(at, &number)) {
				Cell* slot = push ? stack::push(&number) : stack::set_result(&number);
				return sub ? code.pos + 1 : eval_operators(code, code.pos + 1, slot, push);
			}
			// The paren's value is pushed, or becomes the frame's result.
			Cell paren;
			stack::move_cell(&paren, at);
			int32_t pos = code.pos + 1;
			Cell* start = push ? stack::top : stack::arguments;
			if (!push) stack::top = stack::arguments;
			eval_block(&paren, !push);
			code.sync();
			if (errors::pending) return pos;
			if (!push) stack::top = stack::arguments + 1;
			return sub ? pos : eval_operators(code, pos, start, push);
		}
	}
	Cell* start = push ? stack::top : stack::arguments;
	int32_t pos = code.pos;
	Cell value = *code.at(pos);
	pos++;
	fire(EV_FETCH, &code, pos - 1, &value, nullptr);
	switch (cell::type_of(&value)) {
	case T_PAREN:
		// The paren's value is pushed, or becomes the frame's result.
		if (!push) stack::top = stack::arguments;
		eval(&value, !push);
		code.sync();
		if (errors::pending) return pos;
		if (!push) stack::top = stack::arguments + 1;
		break;
	case T_SET_WORD:
		pos = eval_set_word(code, pos, &value, push);
		code.sync();  // a change handler may have run
		if (errors::pending) return pos;
		break;
	case T_SET_PATH:
		pos = eval_set_path(code, pos, &value, push);
		code.sync();
		if (errors::pending) return pos;
		break;
	case T_GET_WORD: store(word_value(code.at(pos - 1)), push); break;
	case T_LIT_WORD:
		cell::set_type(&value, T_WORD);
		store(&value, push);
		break;
	case T_WORD: {
		Cell* v = word_value(code.at(pos - 1));
		Type t = cell::type_of(v);
		if (t == T_UNSET) errors::fire(errors::id::script_no_value, &value);
		if (is_function_type(t)) {
			pos = eval_call(v, code, pos, push, &value, nullptr, nullptr, 0, false);
			if (errors::pending) return pos;
			break;
		}
		if (t == T_OP) errors::fire(errors::id::script_no_op_arg, &value);
		store(v, push);
		break;
	}
	case T_PATH:
		code.pos = pos;
		pos = eval_path(&value, &code, false, false, push, false);
		code.sync();
		if (errors::pending) return pos;
		break;
	case T_GET_PATH:
		code.pos = pos;
		pos = eval_path(&value, &code, false, true, push, false);
		code.sync();
		if (errors::pending) return pos;
		break;
	case T_LIT_PATH:
		cell::set_type(&value, T_PATH);
		store(&value, push);
		break;
	case T_OP: errors::fire(errors::id::internal_not_done);
	case T_NATIVE:
	case T_ACTION:
	case T_FUNCTION:
	case T_ROUTINE:
		if (prefix) {
			store(&value, push);
			break;
		}
		pos = eval_call(&value, code, pos, push, nullptr, nullptr, nullptr, 0, false);
		if (errors::pending) return pos;
		break;
	case T_ISSUE:
		if (pos < code.limit() && cell::is(code.at(pos), T_BLOCK) && is_system_issue(&value))
			errors::fire(errors::id::internal_vyn_system);
		store(&value, push);
		break;
	default: store(&value, push); break;
	}
	fire(EV_PUSH, &code, pos, push ? stack::top - 1 : stack::arguments, nullptr);

	if (!sub) {
		pos = eval_operators(code, pos, start, push);
		if (errors::pending) return pos;
	}
	if (!push) fire(EV_EXPR, &code, pos, stack::arguments, nullptr);
	return pos;
}

namespace {

// Values a path step changes in place (the cell itself holds them): after a
// set, each must be stored back into the value it came from.
bool is_immediate(Type t) {
	switch (t) {
	case T_PAIR: case T_TUPLE: case T_TIME: case T_DATE: case T_POINT2D: case T_POINT3D: case T_MONEY:
	case T_EVENT:
		return true;
	default: return false;
	}
}

// A set field of an object, read by a word step, without the action
// dispatch; null sends the step the general way (other types, errors).
// The selector is bound to the object, as the general step binds it: a
// function called through the path is named by it in call traces.
inline const Cell* object_field(const Cell* current, Cell* selector, bool case_sensitive) {
	if (!cell::is(current, T_OBJECT) || !cell::is(selector, T_WORD) || case_sensitive) return nullptr;
	Node ctx = current->data1;
	int32_t k = context::find_word(ctx, selector->data2, true);
	if (k < 0) return nullptr;
	const Cell* v = context::values(ctx) + k;
	if (cell::is(v, T_UNSET)) return nullptr;
	selector->data1 = ctx;
	selector->data3 = uint32_t(k);
	return v;
}

// The value cell of the field a word names in an object's (or port's)
// context, or null when the word is not one of its words.
[[gnu::always_inline]] inline Cell* field_cell(const Cell* object, const Cell* word) {
	Node ctx = object->data1;
	int32_t k = context::find_word(ctx, word->data2, true);
	return k < 0 ? nullptr : context::values(ctx) + k;
}

inline bool has_fields(const Cell* v) { return cell::is(v, T_OBJECT) || cell::is(v, T_PORT); }

// The value the steps of a path from `e` to `end` reach from `v` through
// object fields named by words and block items picked by integers, read in
// place with no effect; null at any other step or an unset field (the
// general path raises or goes on there).
[[gnu::always_inline]] inline const Cell* walk_fields(const Cell* e, const Cell* end, const Cell* v) {
	for (; e < end; e++) {
		if (has_fields(v) && cell::is(e, T_WORD)) {
			v = field_cell(v, e);
			if (!v || cell::is(v, T_UNSET)) return nullptr;
		} else if (!(v = block_item(v, e))) {
			return nullptr;
		}
	}
	return v;
}

// The first word's value of a path of two or more elements, or null; `e`
// and `end` are set to the path's second element and its tail.
[[gnu::always_inline]] inline const Cell* path_start(const Cell* path, const Cell*& e, const Cell*& end) {
	Series* ps = memory::series(path->data2);
	Cell* first = ps->head_cell() + path->data1;
	end = ps->tail_cell();
	e = first + 1;
	if (e >= end || !cell::is(first, T_WORD)) return nullptr;
	return value_cell(first);
}

// A path read that only passes object fields and block items, to a value
// that is not a function (see walk_fields); null sends it the general way.
const Cell* path_value(const Cell* path) {
	const Cell *e, *end;
	const Cell* v = path_start(path, e, end);
	if (v) v = walk_fields(e, end, v);
	return v && PLAIN_VALUE.at[cell::type_of(v)] ? v : nullptr;
}

// The function a path of two or more elements calls when its first word's
// value is one (the other elements are its refinements), else null.
const Cell* path_function(const Cell* path) {
	const Cell *e, *end;
	const Cell* v = path_start(path, e, end);
	return v && is_function_type(cell::type_of(v)) ? v : nullptr;
}

// A paren's operand: a plain value (see plain_value), a path's (see
// path_value) or a nested paren's; null for any other.
inline const Cell* number_operand(const Cell* c, Cell* scratch, uint32_t depth) {
	if (cell::is(c, T_PATH)) return path_value(c);
	if (cell::is(c, T_PAREN)) return paren_number(c, scratch, depth + 1) ? scratch : nullptr;
	return plain_value(const_cast<Cell*>(c));
}

// Parens of arithmetic are everywhere in number code ((dx * dx) + ...):
// one that holds only numbers (literals, words' values, paths' values,
// nested such parens) joined by the operators fast_op computes is worked
// out here into `out` without opening a block evaluation. Nothing is
// evaluated, so nothing runs and nothing can raise; false (out spoiled)
// sends the paren the general way, which then does all of it itself.
// `depth` bounds the nesting followed: code may hold itself.
bool paren_number(const Cell* paren, Cell* out, uint32_t depth) {
	if (depth > 3) return false;
	Series* s = memory::series(paren->data2);
	const Cell* c = s->head_cell() + paren->data1;
	const Cell* end = s->tail_cell();
	if (c >= end) return false;
	Cell scratch;
	const Cell* v = number_operand(c, &scratch, depth);
	if (!v || !(cell::is(v, T_INTEGER) || cell::is(v, T_FLOAT))) return false;
	stack::move_cell(out, v);
	for (c++; c < end; c += 2) {
		if (c + 1 >= end || !cell::is(c, T_WORD)) return false;
		const Cell* op = value_cell(const_cast<Cell*>(c));
		if (!op || !cell::is(op, T_OP)) return false;
		NumberOp k = number_op_of(op);
		if (k == NumberOp::NONE) return false;
		const Cell* right = number_operand(c + 1, &scratch, depth);
		if (!right || !number_op(k, out, right)) return false;
	}
	return true;
}

// A set-path whose last step names a field of an object without change
// handlers, reached as path_value reaches values: the field is assigned as
// the object's path action would. False (nothing done) for any other path.
bool set_field(const Cell* path, const Cell* value) {
	const Cell *e, *end;
	const Cell* parent = path_start(path, e, end);
	if (parent) parent = walk_fields(e, end - 1, parent);
	// A port's fields are set as an object's (its path action is the object's).
	if (!parent || !has_fields(parent) || parent->data3) return false;
	e = end - 1;
	if (!cell::is(e, T_WORD)) return false;
	Node ctx = parent->data1;
	int32_t k = context::find_word(ctx, e->data2, true);
	if (k < 0 || symbol::same_name(e->data2, words::sym_self)) return false;
	context::word_cell(ctx, uint32_t(k))->header |= context::WORD_ASSIGNED;
	stack::move_cell(context::values(ctx) + k, value);
	return true;
}

// The values of a path's steps are the cells from `base` up; step k was
// reached from step k - 1 by the path's element head + k. Stores each changed
// immediate value back into its container, and the first into its word.
void write_back(const Cell* path, int32_t head, int32_t last, Cell* base, Cell* first) {
	for (int32_t k = last - head - 1; k >= 0; k--) {
		Cell* value = base + k;
		if (!is_immediate(cell::type_of(value))) return;
		if (k == 0) {
			context::set(first, value);
			return;
		}
		Cell element = *(memory::series(path->data2)->head_cell() + head + k);
		if (cell::is(&element, T_GET_WORD)) element = *word_value(&element);
		actions::eval_path(base + k - 1, &element, value, const_cast<Cell*>(path), nullptr, nullptr, head + k,
			false, false, true, false);
	}
}

}  // namespace

int32_t eval_path(const Cell* path_in, Code* code, bool set, bool get, bool push, bool case_sensitive) {
	Cell path = *path_in;
	Series* ps = memory::series(path.data2);
	int32_t len = int32_t(ps->used() / sizeof(Cell));
	int32_t head = int32_t(path.data1);
	if (head >= len) errors::fire(errors::id::script_empty_path);
	fire(EV_ENTER, code, code ? code->pos : -1, &path, nullptr);
	Cell* set_value = set ? stack::arguments : nullptr;  // a set-path's value: the frame's first cell
	Cell* base = stack::top;
	Cell first = *(memory::series(path.data2)->head_cell() + head);
	if (!cell::is(&first, T_WORD)) errors::fire(errors::id::script_word_first, &path);
	Cell* v = word_value(&first);
	Type vt = cell::type_of(v);
	if (is_function_type(vt)) {
		if (set) errors::fire(errors::id::script_invalid_path_set, &path);
		if (get) errors::fire(errors::id::script_invalid_path_get, &path);
		Cell fn = *v;
		Code here = code ? *code : Code{path.data2, len, len};
		here.sync();
		int32_t pos = eval_call(&fn, here, code ? code->pos : len, push, &first, &path, nullptr, 0, false);
		return pos;
	}
	if (vt == T_UNSET) errors::fire(errors::id::script_unset_path, &path, &first);
	stack::push(v);  // the current value
	Cell parent{T_NONE, 0, 0, 0};
	Cell previous = first;
	for (int32_t i = head + 1; i < len; i++) {
		Cell element = *(memory::series(path.data2)->head_cell() + i);
		Cell selector = element;
		if (cell::is(&element, T_GET_WORD)) {
			selector = *word_value(&element);
		} else if (cell::is(&element, T_PAREN)) {
			stack::mark_symbol(stack::body_symbol, stack::OPEN_INTERP_NATIVE);
			eval(&element, true);
			if (errors::pending) return code ? code->pos : 0;
			stack::unwind();
			selector = *(stack::top - 1);
			stack::pop(1);
		}
		if (cell::is(&selector, T_UNSET)) errors::fire(errors::id::script_invalid_path, &path, &element);
		bool last = i == len - 1;
		Cell* current = stack::top - 1;
		bool notify = false;
		if (set && last && len - head >= 3) {
			Type pt = cell::type_of(current);
			notify = pt == T_BLOCK || pt == T_PAREN || pt == T_HASH || (pt >= T_PATH && pt <= T_GET_PATH) ||
				(pt == T_OBJECT && current->data3 != 0 && cell::is(&previous, T_WORD));
		}
		Cell next;
		const Cell* field = nullptr;
		if (!(set && last)) {
			field = block_item(current, &selector);
			if (!field) field = object_field(current, &selector, case_sensitive);
		}
		if (field) {
			next = *field;
			parent = *current;
		} else {
			Cell parent_copy = *current;
			Cell* result = actions::eval_path(current, &selector, set && last ? set_value : nullptr, &path,
				&parent, &previous, i, case_sensitive, get, last, notify);
			parent = parent_copy;
			next = *result;
			stack::top = current + 1;  // a step that pushed its answer leaves one cell per step
			if (set && last && is_immediate(cell::type_of(current))) {
				write_back(&path, head, i, base, &first);
				stack::top = base;
				stack::push(&next);
				break;
			}
		}
		previous = selector;
		stack::push(&next);  // each step's value stays below the next one
		if (!set && !get && is_function_type(cell::type_of(&next)) && !last) {
			Cell fn = next;
			stack::top = base;
			Cell rest = path;
			rest.data1 = uint32_t(i);  // the function's element: the rest are its refinements
			Code here = code ? *code : Code{path.data2, len, len};
			here.sync();
			return eval_call(&fn, here, code ? code->pos : len, push, &selector, &rest, &parent, 0, false);
		}
		if (!set && !get && is_function_type(cell::type_of(&next)) && last) {
			Cell fn = next;
			stack::top = base;
			Code here = code ? *code : Code{path.data2, len, len};
			here.sync();
			return eval_call(&fn, here, code ? code->pos : len, push, &selector, nullptr, &parent, 0, false);
		}
	}
	Cell result = set ? *set_value : *(stack::top - 1);
	stack::top = base;
	fire(EV_EXIT, code, code ? code->pos : -1, &result, nullptr);
	store(&result, push);
	return code ? code->pos : len;
}

Node callbacks = 0;

namespace {

// The bits field of system/state/callbacks (0 when there is none).
uint32_t callback_bits() {
	if (!callbacks) return 0;
	int32_t i = context::find_word(callbacks, symbol::make("bits"), true);
	const Cell* v = i < 0 ? nullptr : context::values(callbacks) + i;
	return v && cell::is(v, T_INTEGER) ? uint32_t(cell::get_integer(v)) : 0;
}

}  // namespace

void call_function(const Cell* fn, Node, const Cell* name, uint32_t event_class) {
	if (event_class && tracing && !(callback_bits() & event_class)) {
		TracingGuard restore;
		tracing = false;
		run_function(fn, name);
		return;
	}
	run_function(fn, name);
}

Cell* argument_cache(const Cell* fn) {
	Cell* slot = more_cell(fn, MORE_CACHE);
	if (cell::is(slot, T_BLOCK) && !(slot->header & CACHE_INCOMPLETE)) return slot;
	return build_cache(fn);
}

namespace {

// Writes into word 3 of each refinement entry of a native's plain cache the
// frame cell of its first argument (bits 0-15), its argument count (bits
// 16-23) and its number from 0 (bits 24-28); the frame holds the required
// arguments, then every refinement's arguments in spec order. False when a
// refinement's run holds a return: entry (the general fetch deals with it).
bool lay_out_refinements(Node n, uint32_t arguments) {
	Series* s = memory::series(n);
	Cell* refinement = nullptr;
	uint32_t cell = arguments, number = 0;
	for (Cell* e = s->head_cell() + arguments; e < s->tail_cell(); e++) {
		if (cell::is(e, T_REFINEMENT)) {
			refinement = e;
			e->data3 = cell | (number++ << 24);
		} else if (refinement && cell::is(e, T_TYPESET)) {
			if ((e->header & ARG_MODE_MASK) == ARG_NOT_ARGUMENT) return false;
			if (((refinement->data3 >> 16) & 0xFF) == 0xFF || cell >= 0xFFFF) return false;
			refinement->data3 += 1u << 16;
			cell++;
		}
	}
	return true;
}

Cell* build_cache(const Cell* fn) {
	Cell* slot;
	bool native = cell::is(fn, T_NATIVE) || cell::is(fn, T_ACTION);
	Node n = memory::alloc_cells(8);
	Cell cache{T_BLOCK, 0, n, 0};
	Series* spec = memory::series(fn->data2);
	uint32_t spec_len = spec->used() / sizeof(Cell);
	int32_t refinements = 0;
	bool complete = true;
	bool plain = true;
	bool after_return = false;    // a return: entry came before the first refinement
	bool after_refinement = false;
	uint32_t arguments = 0;        // required ones
	uint32_t refinement_args = 0;
	bool in_locals = false;
	int32_t locals = 0;
	for (uint32_t i = 0; i < spec_len; i++) {
		Cell c = *(memory::series(fn->data2)->head_cell() + i);
		Type t = cell::type_of(&c);
		if (in_locals) {
			if (t == T_SET_WORD) {
				in_locals = false;
			} else {
				locals++;
				continue;
			}
		}
		uint32_t mode = 0;
		switch (t) {
		case T_WORD: mode = ARG_EVALUATED; break;
		case T_GET_WORD: mode = ARG_LITERAL; break;
		case T_LIT_WORD: mode = ARG_ESCAPABLE; break;
		case T_SET_WORD: mode = ARG_NOT_ARGUMENT; break;
		case T_REFINEMENT:
			if (symbol::resolve(c.data2) == symbol::resolve(words::sym_local)) {
				in_locals = true;
				locals = 1;
				continue;
			}
			if (!native) plain = false;
			after_refinement = true;
			refinements++;
			c.data3 = uint32_t(refinements);
			*memory::alloc_at_tail(memory::series(n)) = c;
			continue;
		default: continue;
		}
		Cell ts{T_TYPESET | mode, 0, 0, 0};
		Cell* types = i + 1 < spec_len ? memory::series(fn->data2)->head_cell() + i + 1 : nullptr;
		if (types && cell::is(types, T_BLOCK)) {
			Series* tb = memory::series(types->data2);
			for (Cell* e = tb->head_cell() + types->data1; e < tb->tail_cell(); e++) {
				const Cell* tv = e;
				if (cell::is(e, T_WORD)) tv = value_cell(e);
				if (!tv || cell::is(tv, T_UNSET)) {
					// A type word not defined yet (start-up): accept anything
					// for now and build the cache again on the next call.
					complete = false;
					for (uint32_t ty = 1; ty < TYPE_COUNT; ty++) typeset_add(&ts, ty);
					continue;
				}
				if (cell::is(tv, T_DATATYPE))
					typeset_add(&ts, tv->data1);
				else if (cell::is(tv, T_TYPESET)) {
					ts.data1 |= tv->data1;
					ts.data2 |= tv->data2;
					ts.data3 |= tv->data3;
				}
			}
		} else {
			for (uint32_t ty = 1; ty < TYPE_COUNT; ty++) typeset_add(&ts, ty);
		}
		bool every = true;
		for (uint32_t ty = 1; ty < TYPE_COUNT && every; ty++) every = typeset_has(&ts, ty);
		if (every) ts.header |= ARG_ANY_TYPE;
		*memory::alloc_at_tail(memory::series(n)) = ts;
		if (mode == ARG_NOT_ARGUMENT) {
			if (!after_refinement) after_return = true;
		} else if (after_refinement) {
			refinement_args++;
		} else {
			if (after_return) plain = false;
			arguments++;
		}
	}
	if (locals > 0) {
		Cell count;
		cell::make_integer(&count, locals);
		*memory::alloc_at_tail(memory::series(n)) = count;
	}
	if (native && refinements > 0) {
		Cell count;
		cell::make_integer(&count, refinements);
		*memory::alloc_at_tail(memory::series(n)) = count;
	}
	if (!complete) cache.header |= CACHE_INCOMPLETE;
	uint32_t tail = native ? refinement_args : uint32_t(locals);
	if (plain && arguments < 256 && tail < 0x10000 && refinements < 32) {
		cache.header |= CACHE_PLAIN;
		cache.data3 = arguments | (tail << 8) | (uint32_t(refinements) << 24);
		if (native && lay_out_refinements(n, arguments)) cache.header |= CACHE_LAID_OUT;
	}
	slot = more_cell(fn, MORE_CACHE);
	*slot = cache;
	return slot;
}

}  // namespace

void apply(const Cell* fn, const Cell* args, const Cell* path, const Cell* name, uint32_t mode) {
	Series* s = memory::series(args->data2);
	int32_t tail = int32_t(s->used() / sizeof(Cell));
	int32_t head = int32_t(args->data1);
	Code code{args->data2, head < tail ? head : tail, tail};
	eval_call(fn, code, code.pos, false, name, path, nullptr, mode, false);
}

namespace {

// The cells a tracer call pads after its six arguments (its locals).
uint32_t tracer_padding = 0;

struct EventName {
	Event event;
	Cell** word;
};
const EventName EVENT_NAMES[] = {
	{EV_INIT, &words::w_init}, {EV_END, &words::w_end}, {EV_PROLOG, &words::w_prolog},
	{EV_EPILOG, &words::w_epilog}, {EV_ENTER, &words::w_enter}, {EV_EXIT, &words::w_exit},
	{EV_OPEN, &words::w_open}, {EV_RETURN, &words::w_return}, {EV_FETCH, &words::w_fetch},
	{EV_PUSH, &words::w_push}, {EV_SET, &words::w_set}, {EV_CALL, &words::w_call}, {EV_ERROR, &words::w_error},
	{EV_THROW, &words::w_throw}, {EV_CATCH, &words::w_catch}, {EV_EXPR, &words::w_expr},
};

// The table lists the events in the order of their bits.
const Cell* event_word(Event e) {
	uint32_t i = uint32_t(__builtin_ctz(uint32_t(e) | 0x10000u));
	return i < sizeof EVENT_NAMES / sizeof EVENT_NAMES[0] ? *EVENT_NAMES[i].word : &NONE_CELL;
}

// The events whose reference value reaches the tracer.
constexpr uint32_t EVENTS_WITH_REF = EV_SET | EV_EPILOG | EV_PROLOG | EV_RETURN | EV_CALL | EV_OPEN;

}  // namespace

uint32_t event_mask_of(const Cell* fn) {
	constexpr uint32_t ALL = 0x1FFFF;
	if (!cell::is(fn, T_FUNCTION)) return ALL;
	Cell body = *more_cell(fn, MORE_BODY);
	if (!cell::is(&body, T_BLOCK)) return ALL;
	Series* s = memory::series(body.data2);
	if (body.data1 >= s->used() / sizeof(Cell)) return ALL;
	Cell events = s->head_cell()[body.data1];
	if (!cell::is(&events, T_BLOCK)) return ALL;
	uint32_t mask = 0;
	Series* es = memory::series(events.data2);
	for (const Cell* c = es->head_cell() + events.data1; c < es->tail_cell(); c++) {
		if (!cell::is(c, T_WORD)) continue;
		uint32_t sym = symbol::resolve(c->data2);
		for (const EventName& n : EVENT_NAMES)
			if (symbol::resolve((*n.word)->data2) == sym) mask |= n.event;
	}
	return mask;
}

namespace {

// The installed tracer's events go to the frameless handler: settled when
// it is installed.
bool frameless = false;
uint32_t frameless_entry = UINT32_MAX;
FramelessHandler frameless_handler;

bool frameless_tracer() {
	if (!frameless_handler) return false;
	const Cell* entry = more_cell(&tracer, MORE_ENTRY);
	return cell::is(entry, T_INTEGER) && uint32_t(cell::get_integer(entry)) == frameless_entry;
}

}  // namespace

bool start_tracing(const Cell* fn) {
	if (cell::is(&tracer, T_FUNCTION) || !cell::is(fn, T_FUNCTION)) return false;
	tracer = *fn;
	frameless = frameless_tracer();
	event_mask = event_mask_of(fn);
	tracer_padding = extra_slots(fn, 6);
	trace_all = true;
	tracing = true;
	paused = false;
	// A tracer that fails on `init` never starts: it is removed, so a later
	// trace can install one.
	try {
		fire_event(EV_INIT, nullptr, -1, stack::arguments, nullptr);
	} catch (...) {
		cell::make_none(&tracer);
		tracing = trace_all = paused = false;
		throw;
	}
	return true;
}

void stop_tracing() {
	// The hook goes also when the tracer raises an error on `end`: left in
	// place, it would swallow every later trace.
	struct Uninstall {
		~Uninstall() {
			cell::make_none(&tracer);
			tracing = false;
			trace_all = false;
			paused = false;
		}
	} uninstall;
	uint32_t pending = errors::pending;
	errors::pending = THROW_NONE;
	paused = false;  // a paused trace still sees its end
	fire_event(EV_END, nullptr, -1, stack::arguments, nullptr);
	errors::pending = pending;
}

bool tracer_installed() { return cell::is(&tracer, T_FUNCTION); }

void set_frameless_tracer(uint32_t index, FramelessHandler handler) {
	frameless_entry = index;
	frameless_handler = handler;
}

void set_delivery(bool on) { paused = !on; }

bool delivering() { return tracing && !paused && tracer_installed(); }

namespace {

// Runs the tracer's body in the frame call_tracer opened: what run_function
// does, less what cannot apply while nothing is traced.
inline void run_tracer_body(const Cell* fn) {
	ValuesGuard values(fn->data1, stack::index_of(stack::arguments) + 1);
	(stack::frames_top - 1)->header |= stack::FRAME_RETURN_TARGET;
	eval_body(fn);
}

// The tracer's call for one event: its arguments are written straight into
// its frame, as it runs on every event.
[[gnu::noinline]] void call_tracer(Event e, const Cell* code, int32_t pos, const Cell* value, const Cell* ref) {
	Cell* top = stack::top;
	Cell* arguments = stack::arguments;
	stack::Frame* frames = stack::frames_top;
	int32_t base_at = int32_t(stack::index_of(arguments));
	int32_t top_at = int32_t(stack::index_of(top));
	// The tracer's frame goes above the current frame's result, which an
	// exit leaves with nothing above it.
	if (stack::top <= stack::arguments) stack::top = stack::arguments + 1;
	Cell fn = tracer;
	Cell name{T_WORD, 0, words::sym_frame_interp_callback, 0xFFFFFFFFu};
	stack::mark_call(&name, fn.data1);
	Cell* a = stack::top;
	if (a + 6 + tracer_padding >= stack::end) stack::overflow();
	stack::move_cell(a, event_word(e));
	stack::move_cell(a + 1, code ? code : &NONE_CELL);
	cell::make_integer(a + 2, code ? pos : -1);
	stack::move_cell(a + 3, value ? value : &NONE_CELL);
	stack::move_cell(a + 4, ref && (e & EVENTS_WITH_REF) ? ref : &NONE_CELL);
	pair::make_at(a + 5, base_at, top_at);
	Cell* p = a + 6;
	if (tracer_padding) {
		stack::move_cell(p++, &FALSE_CELL);
		for (uint32_t i = 1; i < tracer_padding; i++) stack::move_cell(p++, &NONE_CELL);
	}
	stack::top = p;
	// The tracer's own evaluation is not traced; a throw out of it leaves
	// tracing off.
	tracing = false;
	bool all = trace_all;
	trace_all = false;
	if (cell::is(more_cell(&fn, MORE_ENTRY), T_INTEGER) && routine::takes(&fn)) {
		CodeSaver saver;
		call_function(&fn, fn.data1, &name, 0);
	} else {
		run_tracer_body(&fn);  // its block's evaluation keeps the code in sight
	}
	trace_all = all;
	if (errors::pending) return;
	// The tracer's frame closes as the stacks are put back, giving its
	// context the values it had.
	if (frames->callee_context) stack::context_values(frames->callee_context) = frames->saved_values;
	tracing = true;
	stack::top = top;
	stack::arguments = arguments;
	stack::frames_top = frames;
}

}  // namespace

void fire_event(Event e, const Cell* code, int32_t pos, const Cell* value, const Cell* ref) {
	if (!tracing || paused || !(event_mask & e) || !cell::is(&tracer, T_FUNCTION)) return;
	if (frameless) {
		// Untraced like a call; a throw out of it leaves tracing off.
		tracing = false;
		bool all = trace_all;
		trace_all = false;
		bool taken = frameless_handler(e, value ? value : &NONE_CELL, ref && (e & EVENTS_WITH_REF) ? ref : &NONE_CELL,
			int32_t(stack::index_of(stack::arguments)));
		trace_all = all;
		tracing = true;
		if (taken) return;
	}
	call_tracer(e, code, pos, value, ref);
}

}  // namespace vyn::interpreter
