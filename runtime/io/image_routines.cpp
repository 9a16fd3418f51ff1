#include "runtime/io/image_routines.h"

#include "runtime/datatypes/image.h"
#include "runtime/errors.h"
#include "runtime/evaluator/actions.h"
#include "runtime/evaluator/stack.h"

namespace vyn::image_routines {

template <image_codec::Format F>
void encode_routine() {
	Cell img = stack::arguments[0];
	Cell where = stack::arguments[1];
	Cell* base = stack::top;
	Cell* bytes = image::encode(stack::alloc_slot(), &img, F);
	if (!cell::is(&where, T_FILE) && !cell::is(&where, T_URL)) {
		Cell result = *bytes;
		stack::top = base;
		stack::set_result(&result);
		return;
	}
	Cell* target = stack::push(&where);
	actions::get<action::WriteFn>(target, A_WRITE)(target, bytes, true, false, false, false, nullptr, nullptr,
		nullptr, nullptr);
	stack::top = base;
	stack::set_result(&where);
}

template void encode_routine<image_codec::BMP>();
template void encode_routine<image_codec::PNG>();
template void encode_routine<image_codec::GIF>();
template void encode_routine<image_codec::JPEG>();
template void encode_routine<image_codec::TIFF>();

void decode_routine() {
	Cell data = stack::arguments[0];
	Cell* base = stack::top;
	Cell* source = stack::push(&data);
	if (cell::is(&data, T_URL)) {
		source = actions::get<action::ReadFn>(source, A_READ)(source, nullptr, nullptr, true, false, false, nullptr);
	} else if (!cell::is(&data, T_BINARY) && !cell::is(&data, T_FILE)) {
		errors::fire(errors::id::script_invalid_data, &data);
	}
	Cell result;
	image::decode(&result, source);
	stack::top = base;
	stack::set_result(&result);
}

}  // namespace vyn::image_routines
