// The cycle stack: the series a deep walk (mold, form, compare, copy, bind,
// ownership) is inside of, so that a value containing itself is met once.
// Also the two text helpers of mold: the ellipsis and indentation.
//
// Holds node handles; the collector rewrites them when it moves nodes.
// Pushing the 1000th entry empties the stack and raises too-deep; an error
// unwinding through walks leaves entries behind, so the evaluator resets it.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace vyn::cycles {

constexpr uint32_t CAPACITY = 1000;

extern Node entries[CAPACITY];
extern uint32_t count;

void push(Node node);
inline void pop() {
	if (count) count--;
}
inline void drop(uint32_t n) { count = n < count ? count - n : 0; }
inline void reset() { count = 0; }
bool find(Node node);

// The node a walk pushes for a value: word 1 of an object, else word 2.
inline Node node_of(const Cell* value) { return cell::is(value, T_OBJECT) ? value->data1 : value->data2; }

// Appends the ellipsis of a value already on the stack ("[...]" and the
// like when molding, "..." when forming) and lowers `limit` by its length;
// answers false, writing nothing, when the value is not on the stack.
bool mold_ellipsis(const Cell* value, Node output, int32_t& limit, bool mold);
// Appends n indentation steps of four spaces; answers limit - 4n.
int32_t indent(Node output, uint32_t n, int32_t limit);

}  // namespace vyn::cycles
