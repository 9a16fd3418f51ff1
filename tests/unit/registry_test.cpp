#include "runtime/registry.h"

#include <gtest/gtest.h>

#include "runtime/evaluator/actions.h"
#include "runtime/evaluator/stack.h"
#include "runtime/memory.h"

using namespace vyn;

namespace {

int32_t parent_form(const Cell*, Cell*, const Cell*, int32_t part) { return part - 1; }
int32_t child_form(const Cell*, Cell*, const Cell*, int32_t part) { return part - 2; }
int32_t parent_compare(const Cell*, const Cell*, CompareOp) { return 0; }

// Rows registered on spare ids, restored afterwards.
class Registry : public ::testing::Test {
protected:
	ActionRow saved[4];
	registry::TypeName saved_names[4];
	static constexpr Type ids[4] = {T_TRIPLE, T_BITSET, T_IMAGE, T_EVENT};
	void SetUp() override {
		for (int i = 0; i < 4; i++) {
			saved[i] = registry::rows[ids[i]];
			saved_names[i] = registry::names[ids[i]];
		}
		memory::free_all();
		memory::init();
		memory::new_node_frame(NODE_FRAME_NODES);
		memory::new_series_frame();
		stack::init();
	}
	void TearDown() override {
		for (int i = 0; i < 4; i++) {
			registry::rows[ids[i]] = saved[i];
			registry::names[ids[i]] = saved_names[i];
		}
	}
};

TEST_F(Registry, ChildrenInheritTheirParentsEntriesAtRegistration) {
	ActionRow parent{};
	parent.form = parent_form;
	parent.compare = parent_compare;
	registry::register_type(T_TRIPLE, Type(0), "triple!", parent);
	ActionRow child{};
	child.form = child_form;
	registry::register_type(T_BITSET, T_TRIPLE, "bitset!", child);
	EXPECT_EQ(registry::rows[T_BITSET].form, child_form) << "an own entry wins";
	EXPECT_EQ(registry::rows[T_BITSET].compare, parent_compare) << "a null entry inherits";
	EXPECT_EQ(registry::rows[T_BITSET].mold, nullptr) << "inheriting a parent's 0 gives 0";

	registry::register_type(T_IMAGE, T_TRIPLE, "image!", ActionRow{}, registry::INHERIT_ALL & ~registry::slot_bit(A_COMPARE));
	EXPECT_EQ(registry::rows[T_IMAGE].form, parent_form);
	EXPECT_EQ(registry::rows[T_IMAGE].compare, nullptr) << "a slot left out of the mask is unsupported";

	registry::register_type(T_EVENT, Type(0), "event!", ActionRow{});
	EXPECT_EQ(registry::rows[T_EVENT].form, nullptr) << "no parent: nothing to inherit";
	EXPECT_TRUE(registry::is_a(T_BITSET, T_TRIPLE));
	EXPECT_FALSE(registry::is_a(T_TRIPLE, T_BITSET));
}

TEST_F(Registry, NameLengthLeavesOutTheExclamationMark) {
	registry::register_type(T_TRIPLE, Type(0), "integer!", ActionRow{});
	EXPECT_EQ(registry::names[T_TRIPLE].length, 7u);
}

TEST_F(Registry, UnsupportedActionRaisesExpectArg) {
	registry::register_type(T_TRIPLE, Type(0), "triple!", ActionRow{});
	Cell v{T_TRIPLE, 1, 2, 3};
	stack::mark_try(nullptr);
	try {
		actions::form(&v, nullptr, nullptr, 10);
		FAIL() << "no error";
	} catch (const Throw& t) {
		EXPECT_EQ(t.code, THROW_ERROR);
		EXPECT_EQ(errors::code_of(stack::get_top()), errors::id::script_expect_arg.code());
	}
}

TEST_F(Registry, ComparisonCodesOverTheRawAnswer) {
	ActionRow row{};
	row.compare = [](const Cell* a, const Cell* b, CompareOp) -> int32_t {
		return a->data1 == b->data1 ? 0 : a->data1 < b->data1 ? -1 : 1;
	};
	registry::register_type(T_TRIPLE, Type(0), "triple!", row);
	Cell one{T_TRIPLE, 1, 0, 0}, two{T_TRIPLE, 2, 0, 0};
	struct Case {
		CompareOp op;
		bool answer;
	} cases[] = {{COMP_EQUAL, false}, {COMP_NOT_EQUAL, true}, {COMP_LESSER, true}, {COMP_LESSER_EQUAL, true},
		{COMP_GREATER, false}, {COMP_GREATER_EQUAL, false}};
	for (const Case& c : cases) EXPECT_EQ(actions::compare(&one, &two, c.op), c.answer) << int(c.op);
}

}  // namespace
