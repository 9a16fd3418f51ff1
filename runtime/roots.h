// Roots held by C++ code: cells and node handles that a function keeps in
// its own locals across a call that may evaluate Vyn code (and so collect).
//
// The collector does not scan the C++ stack. A local that must keep a value
// alive, or whose node handle must follow a node move, is registered with a
// Guard for as long as it lives. Guards nest strictly (RAII), so the
// registry is a stack; the collector marks every registered cell and
// rewrites every registered handle.
//
// Buffer addresses are never registered: code re-derives them through the
// node after every call that may evaluate.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace vyn::roots {

struct Entry {
	void* at;        // first cell, or the node handle
	uint32_t count;  // cells; 0 for a node handle
};

extern Entry* entries;
extern uint32_t count;
extern uint32_t capacity;

void grow();

inline void push(void* at, uint32_t n) {
	if (count == capacity) grow();
	entries[count++] = Entry{at, n};
}

class Guard {
public:
	explicit Guard(Cell* cells, uint32_t n = 1) { push(cells, n); }
	explicit Guard(Node* node) { push(node, 0); }
	~Guard() { count--; }
	Guard(const Guard&) = delete;
	Guard& operator=(const Guard&) = delete;
};

}  // namespace vyn::roots
