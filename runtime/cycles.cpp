#include "runtime/cycles.h"

#include <cstring>

#include "runtime/errors.h"
#include "runtime/memory.h"

namespace vyn::cycles {

Node entries[CAPACITY];
uint32_t count = 0;

namespace {

// Appends ASCII text to a string buffer of any unit width.
void append_ascii(Node output, const char* text, uint32_t length) {
	Series* s = memory::series(output);
	uint32_t unit = s->unit();
	uint8_t* p = memory::alloc_tail_bytes(s, length * unit);
	for (uint32_t i = 0; i < length; i++) {
		uint32_t c = uint8_t(text[i]);
		std::memcpy(p + i * unit, &c, unit);  // little-endian: low bytes first
	}
}

const char* ellipsis_of(Type t, bool mold) {
	if (!mold) return "...";
	switch (t) {
	case T_BLOCK:
	case T_HASH: return "[...]";
	case T_PAREN: return "(...)";
	case T_MAP: return "#[...]";
	case T_OBJECT: return "make object! [...]";
	default: return "...";
	}
}

}  // namespace

void push(Node node) {
	if (count + 1 >= CAPACITY) {
		count = 0;
		errors::fire(errors::id::internal_too_deep);
	}
	entries[count++] = node;
}

bool find(Node node) {
	for (uint32_t i = 0; i < count; i++)
		if (entries[i] == node) return true;
	return false;
}

bool mold_ellipsis(const Cell* value, Node output, int32_t& limit, bool mold) {
	if (!find(node_of(value))) return false;
	const char* text = ellipsis_of(cell::type_of(value), mold);
	uint32_t length = uint32_t(std::strlen(text));
	append_ascii(output, text, length);
	limit -= int32_t(length);
	return true;
}

int32_t indent(Node output, uint32_t n, int32_t limit) {
	for (uint32_t i = 0; i < n; i++) append_ascii(output, "    ", 4);
	return limit - int32_t(4 * n);
}

}  // namespace vyn::cycles
