#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <initializer_list>
#include <limits>

#include "runtime/compiled.h"
#include "tests/unit/object_support.h"

namespace vyn::test::objects {
namespace {

using CompiledCode = ObjectTest;

Cell typeset_of(std::initializer_list<Type> types) {
	Cell t;
	cell::set(&t, T_TYPESET);
	auto* bytes = reinterpret_cast<uint8_t*>(&t.data1);
	for (Type type : types) bytes[type >> 3] |= uint8_t(0x80 >> (type & 7));
	return t;
}

Cell floating(double d) {
	Cell c;
	cell::make_float(&c, d);
	return c;
}

// A function! cell over a spec, enough for the argument words of errors.
void define_function(const char* name, const char* spec) {
	Cell s = load(spec);
	Cell fn;
	cell::set(&fn, T_FUNCTION, 0, s.data2, 0);
	Cell w = word_of(name);
	context::set(&w, &fn);
}

std::string word_name(const Cell& w) { return cell::is(&w, T_NONE) ? "none" : std::string(symbol::name(w.data2)); }

TEST_F(CompiledCode, ArgumentChecksNameTheCallTheTypeAndTheArgument) {
	define_function("demo", "a [integer!] /opt b [string!]");
	Cell demo = word_of("demo");
	Cell ints = typeset_of({T_INTEGER}), one = integer(1), text = value_of("\"x\""), off, on, unset;
	cell::make_logic(&off, false);
	cell::make_logic(&on, true);
	cell::make_unset(&unset);
	Cell e = caught([&] {
		stack::mark_native(&demo);
		EXPECT_EQ(compiled::check_arg_type(&ints, 0, &one), &one);
		compiled::check_arg_type(&ints, 2, &text);
	});
	ASSERT_TRUE(cell::is(&e, T_ERROR));
	EXPECT_EQ(error::code_of(&e), int32_t(errors::id::script_expect_arg.code()));
	EXPECT_EQ(word_name(field(e, "arg1")), "demo");
	EXPECT_EQ(mold_of(field(e, "arg2")), "string!");
	EXPECT_EQ(word_name(field(e, "arg3")), "b");

	struct Case {
		const char* what;
		std::function<void()> run;
		bool raises;
	} cases[] = {
		{"absent refinement argument", [&] { compiled::check_arg_at(-1, &ints, 0); }, false},
		{"argument at a position", [&] {
			 stack::push(&text);
			 compiled::check_arg_at(0, &ints, 0);
		 }, true},
		{"unused refinement", [&] { compiled::check_opt_arg_type(&off, &ints, 1, &text); }, false},
		{"used refinement", [&] { compiled::check_opt_arg_type(&on, &ints, 1, &text); }, true},
		{"unset argument", [&] { compiled::check_arg_unset(0, &unset); }, true},
		{"set argument", [&] { compiled::check_arg_unset(0, &one); }, false},
	};
	for (const Case& c : cases) {
		int32_t code = raised_code([&] {
			stack::mark_native(&demo);
			c.run();
		});
		EXPECT_EQ(code, c.raises ? int32_t(errors::id::script_expect_arg.code()) : 0) << c.what;
	}
}

TEST_F(CompiledCode, WordAccessChecksForValues) {
	Cell w = word_of("fresh-word");
	Cell e = caught([&] { compiled::get_word(&w); });
	EXPECT_EQ(error::code_of(&e), int32_t(errors::id::script_no_value.code()));
	EXPECT_EQ(word_name(field(e, "arg1")), "fresh-word");

	Cell unset, seven = integer(7);
	cell::make_unset(&unset);
	EXPECT_EQ(raised_code([&] {
		stack::push(&unset);
		compiled::set_word(&w);
	}),
		int32_t(errors::id::script_need_value.code()));

	stack::mark_native(nullptr);
	stack::push(&seven);
	compiled::set_word(&w);
	EXPECT_EQ(stack::top, stack::arguments + 1) << "set-word leaves the stack as it is";
	compiled::set_word_reset(&w);
	EXPECT_EQ(stack::top, stack::arguments);
	stack::unwind_drop();
	EXPECT_EQ(cell::get_integer(compiled::get_word(&w)), 7);
}

TEST_F(CompiledCode, ContextSlotsAndMembers) {
	Cell o = construct("a: 1 b: 2");
	Node ctx = o.data1;
	Cell one = integer(1), unset;
	cell::make_unset(&unset);
	stack::mark_native(nullptr);
	stack::push(&one);
	compiled::set_member(ctx, 0);
	EXPECT_EQ(stack::top, stack::arguments);
	Cell r = o;
	EXPECT_EQ(mold_of(*object::reflect(&r, sym("changed")), {.flat = true}), "[a]")
		<< "a member is marked assigned even when its value stays";

	Cell three = integer(3);
	stack::push(&three);
	Cell* slot = compiled::set_ctx_value(ctx, 1);
	EXPECT_EQ(cell::get_integer(slot), 3);
	EXPECT_EQ(slot, compiled::ctx_value_slot(ctx, 1));
	EXPECT_EQ(stack::top, stack::arguments + 1);
	compiled::set_ctx_value_reset(ctx, 1);
	EXPECT_EQ(stack::top, stack::arguments);
	stack::unwind_drop();

	Cell e = caught([&] {
		stack::push(&unset);
		compiled::set_ctx_value(ctx, 1);
	});
	EXPECT_EQ(error::code_of(&e), int32_t(errors::id::script_need_value.code()));
	EXPECT_EQ(word_name(field(e, "arg1")), "b");

	Cell spec = load("x y");
	Node idle = context::make_from_spec(&spec, true, false, 1);  // a function context not running
	e = caught([&] { compiled::ctx_value_slot(idle, 1); });
	EXPECT_EQ(error::code_of(&e), int32_t(errors::id::script_not_defined.code()));
	EXPECT_EQ(word_name(field(e, "arg1")), "y");
}

TEST_F(CompiledCode, RunTimeRefinementsSwitchOnOrClearTheirArguments) {
	Cell frame = load("false 1 2 3");
	stack::mark_native(nullptr);
	for (Cell* c = block::vs_head(&frame); c < block::vs_tail(&frame); c++) stack::push(c);
	cell::make_logic(stack::arguments, false);
	Cell on, off;
	cell::make_logic(&on, true);
	cell::make_logic(&off, false);
	compiled::set_refinement(&on, 0, 3);
	EXPECT_EQ(mold_of(*stack::arguments), "true");
	compiled::set_refinement(&off, 0, 2);
	EXPECT_EQ(mold_of(stack::arguments[1]) + " " + mold_of(stack::arguments[2]) + " " + mold_of(stack::arguments[3]),
		"none none 3");
	stack::unwind_drop();
}

TEST_F(CompiledCode, CallWithRefinementsPassesThePositionsOfActiveOnes) {
	Cell b = load("1 2 3 4");
	Cell two = integer(2), on, off;
	cell::make_logic(&on, true);
	cell::make_logic(&off, false);
	Cell copy_word = word_of("copy");
	stack::mark_native(&copy_word);
	stack::push(&b);    // value
	stack::push(&two);  // /part length
	stack::push(&two);  // /types kind, cleared below
	compiled::Refinement records[] = {{&on, 1, 1, 1}, {&off, 2, 2, 0}, {&off, 3, 2, 1}};
	compiled::call_with_refinements(A_COPY, false, 3, records, 3);
	EXPECT_TRUE(cell::is(stack::arguments + 2, T_NONE)) << "the unused refinement's argument";
	Cell result = *stack::arguments;
	stack::unwind_drop();
	EXPECT_EQ(mold_of(result), "[1 2]");
	EXPECT_NE(result.data2, b.data2);
}

TEST_F(CompiledCode, PathListsGetAndSetThroughEachStep) {
	Cell inner = construct("c: 2");
	Cell o = construct("a: 1 b: none");
	Cell bw = word_of("b");
	object::put(&o, &bw, &inner, false);
	Cell ow = word_of("o");
	context::set(&ow, &o);
	Cell path = load("o/b/c");
	cell::set_type(&path, T_PATH);
	Cell elements = load("o b c");
	Cell* e = block::vs_head(&elements);

	stack::mark_native(nullptr);
	stack::push(&ow);
	compiled::eval_path(false, &path, e, 3);
	EXPECT_EQ(cell::get_integer(stack::arguments), 2);
	Cell nine = integer(9);
	stack::set_last(&nine);
	compiled::eval_path(true, &path, e, 3);
	EXPECT_EQ(cell::get_integer(stack::arguments), 9);
	stack::unwind_drop();
	EXPECT_EQ(mold_of(field(inner, "c")), "9");

	Cell missing = load("o nope");
	EXPECT_EQ(raised_code([&] {
		stack::mark_native(nullptr);
		stack::push(&ow);
		compiled::eval_path(false, &path, block::vs_head(&missing), 2);
	}),
		int32_t(errors::id::script_unset_path.code()));
}

TEST_F(CompiledCode, SwitchLookupFindsTheValueAfterTheMatchOrNone) {
	struct Case {
		const char* value;
		const char* block;
		bool step1, block_body;
		const char* result;
	} cases[] = {
		{"2", "[1 a 2 b 3 c]", false, false, "b"},
		{"b", "[1 a 2 b 3 c]", false, false, "none"},  // by step 2 only keys are looked at
		{"b", "[1 a 2 b 3 c]", true, false, "3"},
		{"3", "[1 a 2 b 3]", false, false, "none"},  // the match is the last value
		{"9", "[1 a 2 b]", false, false, "none"},
		{"1", "[1.0 a 1 b]", false, false, "b"},  // the type must match too
		{"2", "[1 [x] 2 3 [y] 4 [z]]", true, true, "[y]"},
		{"4", "[1 [x] 4 5]", true, true, "none"},  // no block after the match
		{"[1]", "[[1] a]", true, false, "none"},  // a block is never looked up
	};
	for (const Case& c : cases) {
		Cell v = value_of(c.value), b = value_of(c.block);
		stack::mark_native(nullptr);
		stack::push(&v);
		stack::push(&b);
		compiled::switch_lookup(c.step1, c.block_body);
		Cell result = c.step1 ? *stack::get_top() : *stack::arguments;
		EXPECT_EQ(stack::top, stack::arguments + (c.step1 ? 3 : 1));
		stack::unwind_drop();
		EXPECT_EQ(mold_of(result), c.result) << c.value << " in " << c.block;
	}
}

TEST_F(CompiledCode, LoadValueTakesOneValueOfTheWholeText) {
	struct Case {
		const char* text;
		const char* molded;
	} cases[] = {
		{"", "unset"},
		{"   ", "unset"},
		{"42", "42"},
		{"[a b]", "[a b]"},
		{"1 2", "none"},
		{"\"x\"", "\"x\""},
	};
	for (const Case& c : cases) {
		Cell s;
		string::load_at(&s, c.text);
		stack::mark_native(nullptr);
		stack::push(&s);
		Cell* result = compiled::load_value_result(&s);
		EXPECT_EQ(result, stack::arguments);
		Cell v = *result;
		stack::unwind_drop();
		EXPECT_EQ(mold_of(v), c.molded) << "'" << c.text << "'";
	}
}

TEST_F(CompiledCode, ToIntCheckedTruncatesInRangeAndRaisesOutside) {
	struct Case {
		Cell value;
		int32_t result;  // when not raising
		bool raises;
	} cases[] = {
		{integer(-5), -5, false},
		{floating(2147483647.0), 2147483647, false},
		{floating(-2147483648.0), -2147483647 - 1, false},
		{floating(-1.9), -1, false},
		{floating(1.9), 1, false},
		{floating(2147483648.0), 0, true},
		{floating(-2147483649.0), 0, true},
		{floating(std::numeric_limits<double>::quiet_NaN()), 0, true},
		{floating(std::numeric_limits<double>::infinity()), 0, true},
	};
	for (const Case& c : cases) {
		int32_t got = 0;
		int32_t code = raised_code([&] { got = compiled::to_int_checked(&c.value); });
		EXPECT_EQ(code, c.raises ? int32_t(errors::id::script_out_of_range.code()) : 0) << mold_of(c.value);
		EXPECT_EQ(got, c.result) << mold_of(c.value);
	}
}

}  // namespace
}  // namespace vyn::test::objects
