#include "runtime/datatypes/ref.h"

#include "runtime/datatypes/string.h"
#include "runtime/evaluator/stack.h"
#include "runtime/registry.h"

namespace vyn::ref {

Cell* load_at(Cell* out, const uint8_t* bytes, uint32_t size) {
	string::load_at(out, bytes, size);
	return cell::set_type(out, T_REF);
}

Cell* push(const Cell* ref) { return stack::push(ref); }

int32_t mold(const Cell* value, Cell* buffer, bool, bool, bool, const Cell* arg, int32_t part, int32_t) {
	string::append_char(buffer, '@');
	return string::form(value, buffer, arg, part - 1);
}

void init_type() {
	ActionRow row{};
	row.mold = mold;
	uint64_t inherited = 0;
	for (Slot s : {A_MAKE, A_REFLECT, A_TO, A_FORM, A_COMPARE, A_AT, A_BACK, A_CHANGE, A_CLEAR, A_COPY, A_FIND, A_HEAD,
			 A_HEAD_Q, A_INDEX_Q, A_INSERT, A_LENGTH_Q, A_MOVE, A_NEXT, A_PICK, A_POKE, A_REMOVE, A_REVERSE, A_SELECT,
			 A_SKIP, A_SWAP, A_TAIL, A_TAIL_Q, A_TAKE, A_MODIFY})
		inherited |= registry::slot_bit(s);
	registry::register_type(T_REF, T_STRING, "ref!", row, inherited);
}

}  // namespace vyn::ref
