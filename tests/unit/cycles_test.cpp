#include "runtime/cycles.h"

#include <gtest/gtest.h>

#include "runtime/datatypes/string.h"
#include "runtime/evaluator/stack.h"
#include "runtime/memory.h"

using namespace vyn;

namespace {

class Cycles : public ::testing::Test {
protected:
	void SetUp() override {
		memory::free_all();
		memory::init();
		memory::new_node_frame(NODE_FRAME_NODES);
		memory::new_series_frame();
		stack::init();
		cycles::reset();
	}
	static std::string text(Cell* s) {
		std::string out;
		for (uint8_t* p = string::vs_head(s); p < string::vs_tail(s); p++) out += char(*p);
		return out;
	}
};

TEST_F(Cycles, TheThousandthPushRaisesTooDeepAndEmptiesTheStack) {
	for (uint32_t i = 1; i < cycles::CAPACITY; i++) cycles::push(i);
	EXPECT_EQ(cycles::count, cycles::CAPACITY - 1) << "999 deep is fine";
	stack::mark_try(nullptr);
	try {
		cycles::push(5000);
		FAIL() << "no error";
	} catch (const Throw& t) {
		EXPECT_EQ(t.code, THROW_ERROR);
		EXPECT_EQ(errors::code_of(stack::get_top()), errors::id::internal_too_deep.code());
	}
	EXPECT_EQ(cycles::count, 0u);
}

TEST_F(Cycles, PopDropAndFind) {
	cycles::pop();
	EXPECT_EQ(cycles::count, 0u) << "pop on an empty stack does nothing";
	for (Node n : {7u, 8u, 9u}) cycles::push(n);
	EXPECT_TRUE(cycles::find(7));
	EXPECT_FALSE(cycles::find(10));
	cycles::drop(2);
	EXPECT_EQ(cycles::count, 1u);
	cycles::drop(5);
	EXPECT_EQ(cycles::count, 0u);
}

TEST_F(Cycles, EllipsisTextsAndBudgets) {
	struct Case {
		Type type;
		bool mold;
		const char* text;
	} cases[] = {
		{T_BLOCK, true, "[...]"}, {T_HASH, true, "[...]"}, {T_PAREN, true, "(...)"}, {T_MAP, true, "#[...]"},
		{T_OBJECT, true, "make object! [...]"}, {T_PATH, true, "..."}, {T_BLOCK, false, "..."},
	};
	for (const Case& c : cases) {
		Cell value;
		Node node = 42;
		if (c.type == T_OBJECT)
			cell::set(&value, c.type, node, 0, 0);
		else
			cell::set(&value, c.type, 0, node, 0);
		Cell out;
		string::make_at(&out, 8);
		int32_t limit = 100;
		EXPECT_FALSE(cycles::mold_ellipsis(&value, out.data2, limit, c.mold)) << "not on the stack";
		cycles::push(node);
		EXPECT_TRUE(cycles::mold_ellipsis(&value, out.data2, limit, c.mold));
		EXPECT_EQ(text(&out), c.text);
		EXPECT_EQ(limit, 100 - int32_t(std::strlen(c.text)));
		cycles::reset();
	}
}

TEST_F(Cycles, IndentWritesFourSpacesAStep) {
	Cell out;
	string::make_at(&out, 8);
	EXPECT_EQ(cycles::indent(out.data2, 3, 20), 8);
	EXPECT_EQ(text(&out), std::string(12, ' '));
}

}  // namespace
