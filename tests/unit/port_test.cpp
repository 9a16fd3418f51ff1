#include "runtime/datatypes/port.h"

#include <gtest/gtest.h>

#include <string>

#include "runtime/context.h"
#include "runtime/symbol.h"
#include "tests/unit/object_support.h"

namespace vyn::test::objects {
namespace {

using Port = ObjectScript;

// The names of the actions from append to write, in slot order.
constexpr const char* ACTIONS[] = {
	"append", "at", "back", "change", "clear", "copy", "find", "head", "head?", "index?", "insert",
	"length?", "move", "next", "pick", "poke", "put", "remove", "reverse", "select", "sort", "skip",
	"swap", "tail", "tail?", "take", "trim", "create", "close", "delete", "modify", "open", "open?",
	"query", "read", "rename", "update", "write",
};

// An action's spec as the port reads calls of it: the arguments after the
// first, then one digit per refinement, its argument count.
std::string shape_of_spec(const Cell* action) {
	Series* spec = memory::series(action->data2);
	int arguments = -1;
	std::string refinements;
	for (const Cell* c = spec->head_cell(); c < spec->tail_cell(); c++) {
		Type t = cell::type_of(c);
		if (t == T_REFINEMENT) {
			refinements.push_back('0');
		} else if (t == T_WORD || t == T_GET_WORD || t == T_LIT_WORD) {
			if (refinements.empty())
				arguments++;
			else
				refinements.back()++;
		}
	}
	return std::to_string(arguments) + "|" + refinements;
}

// The table the forwarding reads must follow the actions' specs: a value
// out of place would reach the actor as another refinement's.
TEST_F(Port, TheForwardedShapesFollowTheActionSpecs) {
	int forwarded = 0;
	for (int s = A_APPEND; s <= A_WRITE; s++) {
		Slot slot = Slot(s);
		const char* name = ACTIONS[s - A_APPEND];
		const Cell* action = context::global_value(symbol::make(name));
		ASSERT_TRUE(action && cell::is(action, T_ACTION)) << name;
		ASSERT_EQ(action->data1 + 1, uint32_t(s)) << name;
		if (!port::forwards(slot)) continue;
		forwarded++;
		port::Shape shape = port::shape_of(slot);
		EXPECT_EQ(std::to_string(shape.arguments) + "|" + shape.refinements, shape_of_spec(action)) << name;
	}
	EXPECT_EQ(forwarded, 37);
	EXPECT_FALSE(port::forwards(A_OPEN_Q));
	EXPECT_FALSE(port::forwards(A_TO));
}

}  // namespace
}  // namespace vyn::test::objects
