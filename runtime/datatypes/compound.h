// Helpers shared by the compound value types (pair!, the points, tuple!,
// vector!, money!, handle!, ref!): text output for form and mold, and the
// raising of errors whose arguments name datatypes and actions.
#pragma once

#include <cstdint>
#include <string_view>

#include "runtime/cell.h"
#include "runtime/datatypes/string.h"
#include "runtime/errors.h"
#include "runtime/evaluator/actions.h"
#include "runtime/evaluator/stack.h"
#include "runtime/memory.h"

namespace vyn::compound {

// Appends ASCII text; answers the part limit less its length.
inline int32_t emit(Cell* buffer, std::string_view text, int32_t part) {
	string::append_literal(buffer, text);
	return part - int32_t(text.size());
}

inline void datatype_cell(Type t, Cell* out) { cell::set(out, T_DATATYPE, t); }
// A word made from its name, none before the symbol table exists.
inline void word_cell(const char* name, Cell* out) {
	if (actions::make_word)
		actions::make_word(name, out);
	else
		cell::make_none(out);
}

// (datatype) or (datatype, value): invalid-type, bad-to-arg, type-limit ...
[[noreturn]] inline void fire_type(errors::Id id, Type t, const Cell* value = nullptr) {
	Cell type;
	datatype_cell(t, &type);
	errors::fire(id, &type, value);
}
// (word, datatype): not-related with an action's name.
[[noreturn]] inline void fire_word_type(errors::Id id, const char* word, Type t) {
	Cell w, type;
	word_cell(word, &w);
	datatype_cell(t, &type);
	errors::fire(id, &w, &type);
}
// (value) alone: out-of-range, invalid-data, invalid-arg ...
[[noreturn]] inline void fire_value(errors::Id id, const Cell* value) { errors::fire(id, value); }
[[noreturn]] inline void fire_integer(errors::Id id, int32_t n) {
	Cell c;
	cell::make_integer(&c, n);
	errors::fire(id, &c);
}
// invalid-refine-arg: (refinement word, argument).
[[noreturn]] inline void fire_refine(const char* refinement, const Cell* arg) {
	Cell w;
	word_cell(refinement, &w);
	errors::fire(errors::id::script_invalid_refine_arg, &w, arg);
}

// ASCII letter case ignored.
inline bool same_name(std::string_view a, std::string_view b) {
	if (a.size() != b.size()) return false;
	for (size_t i = 0; i < a.size(); i++) {
		char x = a[i], y = b[i];
		if (x >= 'A' && x <= 'Z') x = char(x + 32);
		if (y >= 'A' && y <= 'Z') y = char(y + 32);
		if (x != y) return false;
	}
	return true;
}
// The UTF-8 name of a word's symbol.
inline std::string_view word_name(const Cell*) { return {}; }

// The action word of a math-op code.
inline const char* action_name(MathOp op) {
	static constexpr const char* names[] = {"add", "subtract", "multiply", "divide", "remainder", "or~", "and~", "xor~"};
	return names[op];
}

// x op y in double precision for the math-op codes 0-4 (division by 0
// gives an infinity or NaN; remainder is fmod); the bitwise codes raise
// cannot-use naming float!.
inline double float_op(double x, double y, MathOp op) {
	switch (op) {
	case OP_ADD: return x + y;
	case OP_SUB: return x - y;
	case OP_MUL: return x * y;
	case OP_DIV: return x / y;
	case OP_REM: return __builtin_fmod(x, y);
	default: {
		Cell call, type;
		stack::get_call(&call);
		datatype_cell(T_FLOAT, &type);
		errors::fire(errors::id::script_cannot_use, &call, &type);
	}
	}
}

// The cells of an any-block value from its head (clamped to the tail).
struct Cells {
	Cell* begin;
	Cell* end;
	uint32_t size() const { return uint32_t(end - begin); }
};
inline Cells cells_of(const Cell* block) {
	Series* s = memory::buffer_of(block);
	uint32_t n = s->used() / uint32_t(sizeof(Cell));
	int32_t h = int32_t(block->data1);
	uint32_t head = h < 0 ? 0 : uint32_t(h) > n ? n : uint32_t(h);
	return {s->head_cell() + head, s->tail_cell()};
}

}  // namespace vyn::compound
