#include "runtime/datatypes/handle.h"

#include "runtime/datatypes/compound.h"
#include "runtime/evaluator/stack.h"
#include "runtime/externals.h"
#include "runtime/memory.h"

namespace vyn::handle {

namespace {

constexpr const char* class_names[CLASS_COUNT] = {"null", "fd", "monitor", "window", "font", "rich-text"};

// The id as 8 uppercase hexadecimal digits and "h".
uint32_t hex_text(uint32_t id, char* out) {
	static constexpr char digits[] = "0123456789ABCDEF";
	for (int i = 7; i >= 0; i--) {
		out[i] = digits[id & 0xF];
		id >>= 4;
	}
	out[8] = 'h';
	return 9;
}

using compound::emit;

}  // namespace

const char* class_name(uint32_t cls) { return cls < CLASS_COUNT ? class_names[cls] : ""; }

Cell* make_at(Cell* out, int32_t slot, Class cls) {
	if (slot < 0) {
		cell::set(out, T_HANDLE, NULL_CLASS, 0, 0);
		return out;
	}
	cell::set(out, T_HANDLE, cls, uint32_t(slot) + 1, externals::generation(slot));
	return out;
}

Cell* box(int32_t slot, Class cls) {
	make_at(stack::arguments, slot, cls);
	return stack::keep();
}

Cell* push(int32_t slot, Class cls) { return make_at(stack::alloc_slot(), slot, cls); }

Cell* push_null() { return make_at(stack::alloc_slot(), -1, NULL_CLASS); }

Cell* make_in(const Cell* block, int32_t slot, Class cls) { return make_at(memory::alloc_tail(block), slot, cls); }

bool is_live(const Cell* h) {
	int32_t slot = slot_of(h);
	return slot >= 0 && externals::is_current(slot, h->data3);
}

void* data(const Cell* h) { return is_live(h) ? externals::data(slot_of(h)) : nullptr; }

void mark(const Cell* h) {
	if (is_live(h)) externals::mark(slot_of(h), nullptr);
}

int32_t form(const Cell* value, Cell* buffer, const Cell*, int32_t part) {
	char text[9];
	return emit(buffer, std::string_view(text, hex_text(id_of(value), text)), part);
}

int32_t mold(const Cell* value, Cell* buffer, bool, bool all, bool, const Cell* arg, int32_t part, int32_t) {
	if (!all) return emit(buffer, "handle!", part);
	part = emit(buffer, "#[handle! ", part);
	part = form(value, buffer, arg, part);
	uint32_t cls = class_of(value);
	if (cls != NULL_CLASS && cls < CLASS_COUNT) {
		part = emit(buffer, " ", part);
		part = emit(buffer, class_names[cls], part);
	}
	return emit(buffer, "]", part);
}

// Ordered by id as a signed value, then by generation: two handles to the
// same slot at different generations name different objects. The class
// takes no part. Another type is not comparable, so sorts stay consistent.
int32_t compare(const Cell* value1, const Cell* value2, CompareOp) {
	if (!cell::is(value2, T_HANDLE)) return COMPARE_UNRELATED;
	int32_t a = int32_t(id_of(value1)), b = int32_t(id_of(value2));
	if (a != b) return a < b ? -1 : 1;
	if (value1->data3 != value2->data3) return value1->data3 < value2->data3 ? -1 : 1;
	return 0;
}

void init_type() {
	ActionRow row{};
	row.form = form;
	row.mold = mold;
	row.compare = compare;
	registry::register_type(T_HANDLE, T_INTEGER, "handle!", row, 0);
}

}  // namespace vyn::handle
