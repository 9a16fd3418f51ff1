// Decodes arbitrary input as a serialised container in codec mode, in a
// booted runtime. Checks: no out-of-bounds access or crash (sanitizers);
// corrupt input ends in a language error; whatever decodes can be molded
// and serialised again. (What a failed decode appended is never handed
// out, so only a whole decode is used.)
#include <cstdint>
#include <vector>

#include "boot/boot.h"
#include "runtime/collector.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/string.h"
#include "runtime/errors.h"
#include "runtime/evaluator/actions.h"
#include "runtime/evaluator/stack.h"
#include "runtime/io/serial_reader.h"
#include "runtime/io/serial_writer.h"

using namespace vyn;

namespace {

constexpr int32_t MOLD_LIMIT = 4096;

void use(Cell* values) {
	Cell out;
	string::make_at(&out, 64);
	Cell limit;
	cell::make_integer(&limit, MOLD_LIMIT);
	actions::mold(values, &out, false, true, false, &limit, MOLD_LIMIT, 0);
	serial_writer::encode_bytes(values, true);
	serial_writer::encode_bytes(values, false);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
	boot::init_runtime();
	return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
	static uint32_t runs = 0;
	std::vector<uint8_t> in(data, data + size);  // exact size: a read past it is caught
	stack::reset_all();
	stack::mark_try_all(nullptr);
	Cell* block = block::push_only(4);
	try {
		serial_reader::decode(in.data(), in.size(), block, serial_reader::Mode::codec);
		use(block);
	} catch (const Throw&) {
	}
	stack::reset_all();
	if (++runs % 256 == 0) collector::run(true);
	return 0;
}
