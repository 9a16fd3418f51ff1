#include "runtime/io/serial_codec.h"

#include "runtime/datatypes/binary.h"
#include "runtime/datatypes/block.h"
#include "runtime/errors.h"
#include "runtime/evaluator/actions.h"
#include "runtime/evaluator/stack.h"
#include "runtime/io/serial_reader.h"
#include "runtime/io/serial_writer.h"
#include "runtime/memory.h"

namespace vyn::serial_codec {

namespace {

constexpr uint32_t MIN_INPUT = 11;  // magic, version, flags and three bytes at least

}  // namespace

void encode_routine() {
	Cell data = stack::arguments[0];
	bool compact = cell::is(stack::arguments + 1, T_LOGIC) && stack::arguments[1].data1 != 0;
	Cell out;
	serial_writer::encode(&data, compact, &out);
	stack::set_result(&out);
}

void decode_routine() {
	Cell payload = stack::arguments[0];
	Cell bytes = payload;
	if (cell::is(&payload, T_FILE) || cell::is(&payload, T_URL)) {
		Cell* base = stack::top;
		Cell* source = stack::push(&payload);
		bytes = *actions::get<action::ReadFn>(source, A_READ)(source, nullptr, nullptr, true, false, false, nullptr);
		stack::top = base;
	}
	if (!cell::is(&bytes, T_BINARY) || binary::vs_length(&bytes) < MIN_INPUT)
		errors::fire(errors::id::script_invalid_data, &payload);
	Cell* kept = stack::push(&bytes);  // keeps the bytes reachable
	Cell* out = block::push_only(4);
	Series* s = memory::buffer_of(kept);
	// Decoding runs no Vyn code, so the input buffer does not move meanwhile.
	serial_reader::decode(s->head_ptr() + kept->data1, binary::vs_length(kept), out, serial_reader::Mode::codec,
		&payload);
	Cell result = *out;
	if (block::length(&result) == 1) result = *block::vs_abs_at(&result, 0);
	stack::set_result(&result);
}

}  // namespace vyn::serial_codec
