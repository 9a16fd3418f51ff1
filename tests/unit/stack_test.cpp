#include "runtime/evaluator/stack.h"

#include <gtest/gtest.h>

#include "runtime/cycles.h"
#include "runtime/memory.h"

using namespace vyn;

namespace {

Cell word(uint32_t symbol) {
	Cell w;
	cell::set(&w, T_WORD, 0, symbol, 0xFFFFFFFFu);
	return w;
}

Cell integer(int32_t v) {
	Cell c;
	cell::make_integer(&c, v);
	return c;
}

// A context of two cells whose values live on the data stack.
Node stack_context() {
	Node n = memory::alloc_cells(2);
	Series* s = memory::series(n);
	Cell* header = memory::alloc_at_tail(s);
	cell::set(header, T_CONTEXT | 0x400000u);
	memory::alloc_at_tail(memory::series(n));
	return n;
}

class Stack : public ::testing::Test {
protected:
	Cell loop_w = word(101), native_w = word(102), func_w = word(103), try_w = word(104);

	void SetUp() override {
		memory::free_all();
		memory::init();
		memory::new_node_frame(NODE_FRAME_NODES);
		memory::new_series_frame();
		stack::init();
		cycles::reset();
	}
	void TearDown() override { stack::reset_all(); }

	// Runs `body` under a try frame; answers the caught error's code, or 0.
	template <typename F>
	uint32_t error_code_of(F body) {
		stack::mark_try(&try_w);
		stack::Frame* try_frame = stack::frames_top - 1;
		try {
			body();
		} catch (const Throw& t) {
			EXPECT_EQ(t.code, THROW_ERROR);
			EXPECT_EQ(stack::frames_top, try_frame) << "the try frame is popped";
			return errors::code_of(stack::get_top());
		}
		stack::unwind();
		return 0;
	}
};

TEST_F(Stack, UnwindVariantsLeaveTheRightCells) {
	Cell v = integer(7), r = integer(9);
	stack::push(&v);  // caller's result slot
	Cell* caller = stack::arguments;

	stack::mark_native(&native_w);
	stack::push(&r);
	stack::push(&v);
	stack::unwind();
	EXPECT_EQ(stack::arguments, caller);
	EXPECT_EQ(stack::top, caller + 2) << "the callee's result stays as one cell";
	EXPECT_EQ(cell::get_integer(caller + 1), 9);

	stack::mark_native(&native_w);
	stack::push(&r);
	stack::unwind_last();
	EXPECT_EQ(cell::get_integer(caller), 9) << "copied into the caller's result slot";

	stack::mark_native(&native_w);
	stack::push(&r);
	stack::revert();
	EXPECT_EQ(stack::top, stack::arguments) << "revert empties the caller's frame";
}

TEST_F(Stack, PopClampsAndGetTopOfEmptyIsBottom) {
	EXPECT_EQ(stack::get_top(), stack::bottom);
	Cell v = integer(1);
	stack::push(&v);
	stack::pop(10);
	EXPECT_EQ(stack::top, stack::bottom);
}

TEST_F(Stack, BreakAndContinueReachTheLoopFrame) {
	struct Case {
		bool has_value, is_continue;
		uint32_t code;
		Type result;
	} cases[] = {
		{true, false, THROW_BREAK, T_INTEGER},
		{false, false, THROW_BREAK, T_UNSET},
		{true, true, THROW_CONTINUE, T_UNSET},
	};
	for (const Case& c : cases) {
		stack::reset_all();
		stack::mark_loop(&loop_w);
		stack::Frame* loop = stack::frames_top - 1;
		Cell* loop_base = stack::arguments;
		Cell filler = integer(1);
		stack::push(&filler);
		stack::mark_native(&func_w);  // some frame in between
		stack::push(&filler);
		stack::mark_native(&native_w);  // the break native's own frame
		Cell v = integer(42);
		stack::push(&v);
		stack::throw_break(c.has_value, c.is_continue);
		EXPECT_EQ(errors::pending, c.code);
		EXPECT_EQ(stack::frames_top, loop + 1) << "the loop frame stays open";
		EXPECT_EQ(stack::arguments, loop_base);
		EXPECT_EQ(stack::top, loop_base);
		EXPECT_EQ(cell::type_of(loop_base), c.result);
		errors::pending = THROW_NONE;
	}
}

TEST_F(Stack, ExitsDoNotCrossATryAllFrame) {
	struct Case {
		const char* name;
		void (*exit)();
		uint32_t code;
	} cases[] = {
		{"break", [] { stack::throw_break(false, false); }, errors::id::throw_break.code()},
		{"continue", [] { stack::throw_break(false, true); }, errors::id::throw_continue.code()},
		{"return", [] { stack::throw_return(true, false); }, errors::id::throw_return.code()},
		{"throw", [] { stack::throw_code(THROW_THROW); }, errors::id::throw_throw.code()},
	};
	for (const Case& c : cases) {
		stack::reset_all();
		stack::mark_loop(&loop_w);
		stack::set_return_target(true);
		stack::mark_catch(&loop_w);
		stack::mark_try_all(&try_w);  // do-safe: catches the error itself
		stack::Frame* barrier = stack::frames_top - 1;
		stack::mark_native(&native_w);
		Cell v = integer(1);
		stack::push(&v);
		stack::push(&v);
		try {
			c.exit();
			ADD_FAILURE() << c.name << " crossed the barrier";
		} catch (const Throw& t) {
			EXPECT_EQ(t.code, THROW_ERROR);
			EXPECT_EQ(errors::code_of(stack::get_top()), c.code) << c.name;
			EXPECT_EQ(stack::frames_top, barrier) << c.name;
		}
		EXPECT_EQ(errors::pending, THROW_NONE) << c.name;
	}
}

TEST_F(Stack, ExitsWithoutTargetRaiseFromTheirOwnFrame) {
	uint32_t code = error_code_of([&] {
		stack::mark_native(&native_w);
		stack::throw_break(false, false);
	});
	EXPECT_EQ(code, errors::id::throw_break.code());
	code = error_code_of([&] {
		stack::mark_native(&native_w);
		stack::throw_return(false, false);
	});
	EXPECT_EQ(code, errors::id::throw_return.code());
}

TEST_F(Stack, ReturnAndExitReachTheFunctionBody) {
	for (bool has_value : {true, false}) {
		stack::reset_all();
		Node ctx = stack_context();
		Cell arg = integer(5);
		stack::mark_native(&native_w);  // the caller's call frame
		stack::push(&arg);
		Cell* args = stack::arguments;
		stack::mark_func(&func_w, ctx);
		stack::Frame* body = stack::frames_top - 1;
		Cell* base = stack::arguments;
		EXPECT_EQ(stack::context_values(ctx), stack::index_of(args) + 1) << "locals are the caller's cells";
		stack::mark_native(&native_w);  // the return native
		Cell v = integer(77);
		stack::push(&v);
		stack::throw_return(has_value, false);
		EXPECT_EQ(errors::pending, has_value ? THROW_RETURN : THROW_EXIT);
		EXPECT_EQ(stack::frames_top, body + 1);
		EXPECT_EQ(stack::arguments, base);
		if (has_value)
			EXPECT_EQ(cell::get_integer(base), 77);
		else
			EXPECT_EQ(cell::type_of(base), T_UNSET);
		errors::pending = THROW_NONE;
	}
}

TEST_F(Stack, ThrowLeavesValueAndNameInTheCatchFrame) {
	stack::mark_catch(&loop_w);
	stack::Frame* catcher = stack::frames_top - 1;
	Cell* base = stack::arguments;
	stack::mark_loop(&loop_w);
	stack::mark_native(&native_w);
	Cell v = integer(3), name = word(200);
	stack::push(&v);
	stack::push(&name);
	try {
		stack::throw_code(THROW_THROW);
		FAIL();
	} catch (const Throw& t) {
		EXPECT_EQ(t.code, THROW_THROW);
	}
	EXPECT_EQ(stack::frames_top, catcher + 1);
	EXPECT_EQ(stack::top, base + 2);
	EXPECT_EQ(cell::get_integer(base), 3);
	EXPECT_EQ(base[1].data2, 200u);
}

TEST_F(Stack, ErrorsPopToTheNearestTryFrame) {
	uint32_t code = error_code_of([&] {
		stack::mark_loop(&loop_w);
		stack::mark_catch(&loop_w);
		stack::mark_native(&native_w);
		errors::fire(errors::id::math_zero_divide);
	});
	EXPECT_EQ(code, errors::id::math_zero_divide.code());
	EXPECT_EQ(stack::frames_top, stack::frames_bottom);
}

TEST_F(Stack, DataStackOverflowRaisesAndLeavesRoom) {
	Cell v = integer(0);
	uint32_t code = error_code_of([&] {
		for (;;) stack::push(&v);
	});
	EXPECT_EQ(code, errors::id::internal_stack_overflow.code());
	EXPECT_LT(stack::top, stack::end);
}

TEST_F(Stack, CallStackOverflowRaises) {
	uint32_t code = error_code_of([&] {
		for (;;) stack::mark_native(&native_w);
	});
	EXPECT_EQ(code, errors::id::internal_stack_overflow.code());
	// The stacks still work afterwards.
	stack::mark_native(&native_w);
	stack::unwind();
}

TEST_F(Stack, OverflowResetsTheCycleStack) {
	cycles::push(5);
	Cell v = integer(0);
	error_code_of([&] {
		for (;;) stack::push(&v);
	});
	EXPECT_EQ(cycles::count, 0u);
}

int recurse(int depth) {
	volatile char pad[512];
	pad[0] = char(depth);
	stack::guard_native_stack();
	if (depth > 100000000) return 0;
	return recurse(depth + 1) + pad[0];
}

TEST_F(Stack, DeepNativeRecursionRaisesStackOverflow) {
	uint32_t code = error_code_of([] { recurse(0); });
	EXPECT_EQ(code, errors::id::internal_stack_overflow.code());
}

TEST_F(Stack, CompiledCallsRestoreTheCalleeContext) {
	Node ctx = stack_context();
	stack::context_values(ctx) = 0;
	Cell a = integer(1);
	stack::mark_call(&func_w, ctx);  // outer activation
	stack::push(&a);
	stack::mark_func(&func_w, ctx);
	uint32_t outer = stack::context_values(ctx);
	stack::mark_call(&func_w, ctx);  // recursive call
	stack::push(&a);
	stack::mark_func(&func_w, ctx);
	EXPECT_NE(stack::context_values(ctx), outer);
	stack::unwind_last();       // inner body
	stack::unwind_call_last();  // inner call restores the outer values
	EXPECT_EQ(stack::context_values(ctx), outer);
}

TEST_F(Stack, UnwindToKeepsTheFoundFrameOpen) {
	stack::mark_loop(&loop_w);
	stack::Frame* loop = stack::frames_top - 1;
	Cell* own = stack::arguments;
	Cell v = integer(1);
	stack::push(&v);
	stack::mark_native(&native_w);
	stack::push(&v);
	stack::mark_native(&native_w);
	Cell* innermost = stack::arguments;
	stack::unwind_to(stack::KIND_LOOP, true);
	EXPECT_EQ(stack::frames_top, loop + 1);
	EXPECT_EQ(stack::arguments, own);
	EXPECT_EQ(stack::top, innermost + 1);
}

TEST_F(Stack, UnwindToTheInnermostFrameGoesBackToItsCallersBase) {
	Cell v = integer(1);
	stack::mark_native(&native_w);
	Cell* caller = stack::arguments;
	stack::push(&v);
	stack::mark_loop(&loop_w);
	stack::unwind_to(stack::KIND_LOOP, false);
	EXPECT_EQ(stack::arguments, caller);
	stack::mark_loop(&loop_w);
	Cell* own = stack::arguments;
	stack::unwind_to(stack::KIND_LOOP, true);
	EXPECT_EQ(stack::arguments, own);
}

TEST_F(Stack, ReturnTargetClaimAndRelease) {
	stack::mark_native(&func_w);
	stack::mark_native(&native_w);
	stack::Frame* claimed = stack::claim_return_target();
	ASSERT_NE(claimed, nullptr);
	EXPECT_EQ(stack::claim_return_target(), nullptr) << "already a target";
	stack::release_return_target(claimed);
	EXPECT_FALSE(claimed->header & stack::FRAME_RETURN_TARGET);
}

TEST_F(Stack, GetCallSkipsUnnamedFrames) {
	stack::body_symbol = 1;
	stack::anon_symbol = 2;
	stack::not_found_symbol = 3;
	Cell body = word(1), f = word(150);
	Cell out;
	stack::get_call(&out);
	EXPECT_EQ(out.data2, 3u) << "<not-found> on an empty call stack";
	stack::mark_native(&f);
	stack::mark_eval(&body);
	stack::get_call(&out);
	EXPECT_EQ(out.data2, 150u);
	EXPECT_EQ(cell::type_of(&out), T_WORD);
}

TEST(StackDeath, UncaughtErrorEndsWithStatus254) {
	EXPECT_EXIT(
		{
			memory::init();
			memory::new_node_frame(NODE_FRAME_NODES);
			memory::new_series_frame();
			stack::init();
			errors::fire(errors::id::math_zero_divide);
		},
		::testing::ExitedWithCode(254), "");
}

}  // namespace
