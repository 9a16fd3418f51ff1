// Test support for objects, errors and the compiled-code routines: the core
// tables booted with the datatypes that objects hold and print, source text
// loaded by the lexer into words of the real symbol table, and raised errors
// caught as error! values.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "boot/boot.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/char.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/error.h"
#include "runtime/datatypes/extended_math.h"
#include "runtime/datatypes/file.h"
#include "runtime/datatypes/float.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/object.h"
#include "runtime/datatypes/path.h"
#include "runtime/datatypes/percent.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/typeset.h"
#include "runtime/datatypes/unset.h"
#include "runtime/datatypes/url.h"
#include "runtime/evaluator/interpreter.h"
#include "runtime/evaluator/lexer.h"
#include "runtime/evaluator/natives.h"
#include "runtime/evaluator/token_loaders.h"
#include "runtime/utf8.h"
#include "tests/unit/core_tables.h"

// Everything here lives in its own namespace: other test supports define
// helpers of the same names (load, mold_of ...) in vyn::test, and inline
// functions of one name must be one function across the test binary.
namespace vyn::test::objects {

// Words the lexer makes: bound to the global context, refinements and issues
// unbound, as the boot wires them.
inline void lexer_word(Cell* out, Type type, const uint8_t* name, uint32_t length) {
	uint32_t s = symbol::make_sized(reinterpret_cast<const char*>(name), length);
	if (type == T_REFINEMENT || type == T_ISSUE) {
		cell::set(out, type, 0, s, 0xFFFFFFFFu);
		return;
	}
	word::make_at(s, out);
	cell::set_type(out, type);
}

inline const uint8_t* lexer_word_name(const Cell* word, uint32_t* length) {
	std::string_view n = symbol::name(word->data2);
	*length = uint32_t(n.size());
	return reinterpret_cast<const uint8_t*>(n.data());
}

// What objects and errors install beyond the core tables: saved when made,
// put back by restore().
struct InstalledHooks {
	errors::MakeHook make_hook = errors::make_hook;
	stack::Hooks stack_hooks = stack::hooks;

	void restore() const {
		errors::make_hook = make_hook;
		stack::hooks = stack_hooks;
		natives::set_object = nullptr;
		error::state = 0;
		cell::make_unset(&interpreter::current_code);
		lexer::release();
	}
};

class ObjectTest : public CoreTables {
protected:
	InstalledHooks installed;

	void SetUp() override {
		CoreTables::SetUp();
		datatype::init_type();
		unset::init_type();
		none::init_type();
		logic::init_type();
		series::init_type();
		block::init_type();
		string::init_type();
		url::init_type();
		file::init_type();
		integer::init_type();
		char_::init_type();
		path::init_types();
		float_::init_type();
		typeset::init_type();
		percent::init_type();
		ownership::init();
		object::init_type();
		error::init_type();
		actions::init();
		lexer::init();
		lexer::word_hooks = {lexer_word, lexer_word_name};
		// Frame names, as the boot gives them once the words exist.
		stack::body_symbol = words::sym_frame_body;
		stack::anon_symbol = words::sym_frame_anon;
		stack::not_found_symbol = words::sym_frame_not_found;
	}

	void TearDown() override {
		installed.restore();
		CoreTables::TearDown();
	}
};

// The values of source text, as a block at head 0.
inline Cell load(std::string_view text) {
	Cell* b = lexer::load(reinterpret_cast<const uint8_t*>(text.data()), uint32_t(text.size()));
	Cell v = *b;
	stack::pop(1);
	return v;
}

// The first value of source text.
inline Cell value_of(std::string_view text) {
	Cell b = load(text);
	return *block::vs_head(&b);
}

inline Cell construct(std::string_view spec, const Cell* proto = nullptr, bool only = false) {
	Cell s = load(spec);
	Cell o = *object::construct_push(&s, proto, only);
	stack::pop(1);
	return o;
}

inline std::string utf8_of(Cell* text) {
	int32_t count = -1;
	const uint8_t* bytes = unicode::to_utf8(text, &count);
	return std::string(reinterpret_cast<const char*>(bytes), size_t(count));
}

struct MoldOptions {
	bool only = false, all = false, flat = false;
	int32_t limit = -1;  // -1: no /part
};

inline std::string mold_of(const Cell& v, MoldOptions o = {}) {
	Cell out;
	string::make_at(&out, 16);
	Cell limit;
	cell::make_integer(&limit, o.limit);
	const Cell* arg = o.limit >= 0 ? &limit : nullptr;
	actions::mold(&v, &out, o.only, o.all, o.flat, arg, arg ? o.limit : 0x7FFFFFFF, 0);
	if (arg) string::truncate(&out, uint32_t(o.limit) < string::vs_length(&out) ? uint32_t(o.limit) : string::vs_length(&out));
	return utf8_of(&out);
}

inline std::string form_of(const Cell& v) {
	Cell out;
	string::make_at(&out, 16);
	actions::form(&v, &out, nullptr, 0x7FFFFFFF);
	return utf8_of(&out);
}

// The field of an object named `name`, as a copy.
inline Cell field(const Cell& obj, const char* name) {
	Cell w = word_of(name);
	return *object::get_word_value(&obj, &w);
}

// Runs `f` inside a try frame with the stacks restored afterwards; answers
// what `f` answers, or the error it raised.
template <typename F>
Cell in_try_frame(F f) {
	stack::Frame* frames = stack::frame_top();
	Cell* top = stack::top;
	Cell* arguments = stack::arguments;
	Cell result;
	stack::mark_try(nullptr);
	try {
		result = f();
	} catch (const Throw&) {
		result = *stack::get_top();
	}
	stack::set_frame_top(frames);
	stack::top = top;
	stack::arguments = arguments;
	cycles::reset();
	return result;
}

// The error `f` raised, none when it raised none.
template <typename F>
Cell caught(F f) {
	return in_try_frame([&] {
		f();
		Cell none;
		cell::make_none(&none);
		return none;
	});
}

// The code of the error `f` raised, 0 when it raised none.
template <typename F>
int32_t raised_code(F f) {
	Cell e = caught(f);
	return cell::is(&e, T_ERROR) ? error::code_of(&e) : 0;
}

// A booted runtime with the library, objects and errors: scripts run as the
// console runs them. The core tables' fixture saves and restores what the
// boot changes, so that the next test can boot again.
// The hooks the boot's other modules install; the suites that test those
// modules without a boot expect them as they were.
struct BootHooks {
	lexer::ExtendedLoaders loaders = lexer::extended;
	lexer::CallbackHooks callbacks = lexer::callback_hooks;
	extended_math::DoMath do_math[TYPE_COUNT];
	Cell* (*vector_scalar)(MathOp, Cell*, Cell*) = extended_math::vector_scalar;
	Cell* (*money_from_integer)(int32_t) = extended_math::money_from_integer;
	Cell* (*money_from_float)(double, bool) = extended_math::money_from_float;
	double (*money_to_float)(const Cell*) = extended_math::money_to_float;
	int32_t (*money_to_integer)(const Cell*) = extended_math::money_to_integer;
	double (*date_to_seconds)(const Cell*) = extended_math::date_to_seconds;
	series::VectorHooks vectors = series::vector_hooks;
	file::SimpleIo io = file::io;
	void (*call_comparator)(const Cell*, const Cell*, const Cell*, Cell*) = block::call_comparator;
	void (*parse_url)(Cell*, Cell*) = url::parse_url;
	void (*first_argument_word)(Slot, Cell*) = actions::first_argument_word;

	BootHooks() { std::memcpy(do_math, extended_math::do_math, sizeof do_math); }

	void restore() const {
		lexer::extended = loaders;
		lexer::callback_hooks = callbacks;
		std::memcpy(extended_math::do_math, do_math, sizeof do_math);
		extended_math::vector_scalar = vector_scalar;
		extended_math::money_from_integer = money_from_integer;
		extended_math::money_from_float = money_from_float;
		extended_math::money_to_float = money_to_float;
		extended_math::money_to_integer = money_to_integer;
		extended_math::date_to_seconds = date_to_seconds;
		series::vector_hooks = vectors;
		file::io = io;
		block::call_comparator = call_comparator;
		url::parse_url = parse_url;
		actions::first_argument_word = first_argument_word;
	}
};

class ObjectScript : public CoreTables {
protected:
	InstalledHooks installed;
	BootHooks boot_hooks;

	void SetUp() override {
		CoreTables::SetUp();
		// The boot makes its own heap: the fixture's root block and word
		// buffer go with the old one.
		context::root = nullptr;
		words::block = 0;
		boot::init_runtime();
		object::init_type();
		error::init_type();
	}

	void TearDown() override {
		installed.restore();
		boot_hooks.restore();
		CoreTables::TearDown();
	}

	// Evaluates source text in the global context; answers its value, or
	// the error it raised.
	static Cell run(std::string_view source) {
		Cell* top = stack::top;
		Cell block = *lexer::load(reinterpret_cast<const uint8_t*>(source.data()), uint32_t(source.size()));
		stack::top = top;
		return in_try_frame([&] {
			interpreter::eval(&block, false);
			return *stack::get_top();
		});
	}

	// The code of the error source text raised, 0 when it raised none.
	static int32_t error_code(std::string_view source) {
		Cell r = run(source);
		return cell::is(&r, T_ERROR) ? error::code_of(&r) : 0;
	}

	// The molded value of source text.
	static std::string molded(std::string_view source, MoldOptions options = {}) {
		return mold_of(run(source), options);
	}
};

}  // namespace vyn::test::objects
