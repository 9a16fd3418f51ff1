// Test support for the scalar datatypes: a booted heap, stacks and type
// rows; value builders; calling actions through their stack forms; texts
// of form and mold; and catching raised errors with their arguments.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "runtime/datatypes/char.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/float.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/percent.h"
#include "runtime/case_folding.h"
#include "runtime/context.h"
#include "runtime/cycles.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/time.h"
#include "runtime/datatypes/triple.h"
#include "runtime/datatypes/typeset.h"
#include "runtime/datatypes/unset.h"
#include "runtime/datatypes/word.h"
#include "runtime/errors.h"
#include "runtime/evaluator/actions.h"
#include "runtime/evaluator/lexer.h"
#include "runtime/evaluator/stack.h"
#include "runtime/memory.h"
#include "runtime/ownership.h"
#include "runtime/symbol.h"
#include "runtime/words.h"

#include "runtime/io/random.h"

namespace vyn::test {

// A runtime with the scalar rows, the series rows they convert from, and
// the symbol table, global context and predefined words (so that words
// name time fields and issues hold names). The hooks words install are put
// back afterwards.
class ScalarTest : public ::testing::Test {
protected:
	void (*saved_make_word)(const char*, Cell*) = nullptr;
	lexer::WordHooks saved_word_hooks{};
	Cell root{};

	void SetUp() override {
		saved_make_word = actions::make_word;
		saved_word_hooks = lexer::word_hooks;
		memory::free_all();
		memory::init();
		memory::new_node_frame(NODE_FRAME_NODES);
		memory::new_series_frame();
		stack::init();
		datatype::init_type();
		unset::init_type();
		none::init_type();
		logic::init_type();
		series::init_type();
		block::init_type();
		string::init_type();
		integer::init_type();
		char_::init_type();
		triple::init_type();
		float_::init_type();
		typeset::init_type();
		percent::init_type();
		time::init_type();
		actions::init();
		lexer::init();
		random::init();
		unicode::init_case_tables();
		cycles::reset();
		symbol::init_type();
		context::init_type();
		word::init_types();
		cell::set(&root, T_BLOCK, 0, memory::alloc_cells(64), 0);
		context::root = &root;
		context::starting = true;
		symbol::init();
		context::init_global();
		words::init();
		typereg::make_type_words();
		context::starting = false;
		float_::pretty = true;
	}
	void TearDown() override {
		actions::make_word = saved_make_word;
		lexer::word_hooks = saved_word_hooks;
		context::root = nullptr;
		context::on_change = nullptr;
		ownership::on_deep_change = nullptr;
		words::block = 0;
		cycles::reset();
		stack::reset_all();
		memory::free_all();
	}
};

inline Cell I(int32_t v) {
	Cell c;
	cell::make_integer(&c, v);
	return c;
}
inline Cell F(double d) {
	Cell c;
	float_::make_at(&c, d);
	return c;
}
inline Cell P(double fraction) {
	Cell c;
	percent::make_at(&c, fraction);
	return c;
}
inline Cell T(double seconds) {
	Cell c;
	time::make_at(&c, seconds);
	return c;
}
inline Cell C(uint32_t cp) {
	Cell c;
	char_::make_at(&c, cp);
	return c;
}
inline Cell D(Type t) {
	Cell c;
	datatype::make_at(&c, t);
	return c;
}
inline Cell L(bool b) {
	Cell c;
	cell::make_logic(&c, b);
	return c;
}
inline Cell NONE() {
	Cell c;
	cell::make_none(&c);
	return c;
}
inline Cell UNSET() {
	Cell c;
	cell::make_unset(&c);
	return c;
}
inline Cell S(std::string_view utf8, Type type = T_STRING) {
	Cell c;
	string::load_at(&c, utf8);
	cell::set_type(&c, type);
	return c;
}
inline Cell BIN(std::initializer_list<uint8_t> bytes) {
	Node n = memory::alloc_bytes(uint32_t(bytes.size()));
	Series* s = memory::series(n);
	if (bytes.size()) std::memcpy(s->head_ptr(), bytes.begin(), bytes.size());
	s->tail = s->head + uint32_t(bytes.size());
	Cell c;
	cell::set(&c, T_BINARY, 0, n);
	return c;
}
inline Cell BLOCK(std::initializer_list<Cell> items) {
	Cell b;
	cell::set(&b, T_BLOCK, 0, memory::alloc_cells(uint32_t(items.size()) + 1));
	for (const Cell& item : items) *memory::alloc_tail(&b) = item;
	return b;
}

// A word bound to the global context, optionally given a value there.
inline Cell W(const char* name, const Cell* value = nullptr, Type type = T_WORD) {
	Cell w = *word::load(name);
	cell::set_type(&w, type);
	if (value) context::set(&w, value);
	return w;
}
inline Cell ISSUE(const char* name) {
	Cell c;
	issue::make_at(&c, symbol::make(name));
	return c;
}
inline bool is_word_named(const Cell& w, const char* name) {
	return word::is_any_word(cell::type_of(&w)) && symbol::same_name(w.data2, symbol::make(name));
}

// Calls an action's stack form on a fresh frame holding the arguments; the
// refinement positions as the interpreter passes them.
inline Cell call(Slot slot, std::initializer_list<Cell> args, std::vector<int32_t> refinements = {}) {
	refinements.resize(16, -1);
	Cell* saved_args = stack::arguments;
	Cell* saved_top = stack::top;
	stack::arguments = stack::top;
	for (const Cell& a : args) stack::push(&a);
	Cell result;
	try {
		actions::stack_forms[slot - 1](refinements.data());
		result = *stack::arguments;
	} catch (...) {
		stack::arguments = saved_args;
		stack::top = saved_top;
		throw;
	}
	stack::arguments = saved_args;
	stack::top = saved_top;
	return result;
}

inline Cell op(MathOp code, const Cell& a, const Cell& b) {
	static constexpr Slot slots[] = {A_ADD, A_SUBTRACT, A_MULTIPLY, A_DIVIDE, A_REMAINDER, A_OR_T, A_AND_T, A_XOR_T};
	return call(slots[code], {a, b});
}

// random with /seed (refinement position 1) or /secure.
inline Cell random_of(const Cell& v, bool seed = false, bool secure = false) {
	return call(A_RANDOM, {v, L(true)}, {seed ? 1 : -1, secure ? 1 : -1, -1});
}

inline Cell make(Type t, const Cell& spec) { return call(A_MAKE, {D(t), spec}); }
inline Cell to(Type t, const Cell& spec) { return call(A_TO, {D(t), spec}); }

inline std::u32string units_text(Cell* s) {
	std::u32string out;
	uint32_t width = string::width_of(s);
	for (uint32_t i = 0; i < string::vs_length(s); i++) out += char32_t(string::get_char(string::vs_head(s) + i * width, width));
	return out;
}

inline std::string narrow(const std::u32string& s) {
	std::string out;
	for (char32_t c : s) out += c < 0x80 ? char(c) : '?';
	return out;
}

inline std::string form(const Cell& v) {
	if (!registry::entry(cell::type_of(&v), A_FORM)) return "<type " + std::to_string(cell::type_of(&v)) + ">";
	Cell r = call(A_FORM, {v});
	return narrow(units_text(&r));
}

// mold with /all when asked.
inline std::string mold(const Cell& v, bool all = false) {
	Cell r = call(A_MOLD, {v, L(true)}, {-1, all ? 1 : -1, -1, -1});
	return narrow(units_text(&r));
}

// The error a call raised: its code (0 when none) and arguments.
struct Raised {
	uint32_t code = 0;
	Cell args[3];
	bool has[3] = {false, false, false};
};

inline Raised& last_raised() {
	static Raised r;
	return r;
}

template <typename F>
Raised raised(F f) {
	errors::MakeHook saved = errors::make_hook;
	last_raised() = Raised{};
	errors::make_hook = [](errors::Id id, const Cell* a1, const Cell* a2, const Cell* a3, Cell* out) {
		const Cell* args[3] = {a1, a2, a3};
		for (int i = 0; i < 3; i++) {
			last_raised().has[i] = args[i] != nullptr;
			if (args[i]) last_raised().args[i] = *args[i];
		}
		last_raised().code = id.code();
		cell::set(out, T_ERROR, 0, id.code());
	};
	stack::Frame* frames = stack::frame_top();
	Cell* top = stack::top;
	Cell* arguments = stack::arguments;
	stack::mark_try(nullptr);
	bool thrown = false;
	try {
		f();
	} catch (const Throw&) {
		thrown = true;
	}
	stack::set_frame_top(frames);
	stack::top = top;
	stack::arguments = arguments;
	errors::make_hook = saved;
	Raised r = last_raised();
	if (!thrown) r.code = 0;
	return r;
}

inline uint32_t code(errors::Id id) { return id.code(); }

// Bits of a cell for exact comparisons.
inline bool same_cell(const Cell& a, const Cell& b) {
	return (a.header & TYPE_MASK) == (b.header & TYPE_MASK) && a.data2 == b.data2 &&
		(a.data3 == b.data3 || cell::type_of(&a) == T_INTEGER || cell::type_of(&a) == T_CHAR);
}

inline void expect_cell(const Cell& got, const Cell& want, const std::string& what) {
	EXPECT_EQ(cell::type_of(&got), cell::type_of(&want)) << what;
	EXPECT_TRUE(same_cell(got, want)) << what << ": got " << mold(got) << ", want " << mold(want);
}

// round with a refinement: its position among /to scale, /even, /down,
// /half-down, /floor, /ceiling, /half-ceiling.
enum Mode { PLAIN = -1, EVEN = 1, DOWN, HALF_DOWN, FLOOR, CEILING, HALF_CEILING };

inline Cell round_to(const Cell& value, const Cell* scale, Mode mode) {
	std::vector<int32_t> refs(7, -1);
	if (scale) refs[0] = 1;
	if (mode != PLAIN) refs[size_t(mode)] = 2;
	Cell flag = L(true);
	return call(A_ROUND, {value, scale ? *scale : flag, flag}, refs);
}

}  // namespace vyn::test
