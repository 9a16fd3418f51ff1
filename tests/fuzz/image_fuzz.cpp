// Decodes arbitrary bytes as each image format. Checks: no read past the
// input (sanitizers) and no crash; a decoded image has sides in 1..65,535
// and encodes to every format and back to the same size.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "runtime/io/image_codec.h"
#include "runtime/io/image_record.h"
#include "runtime/errors.h"
#include "runtime/evaluator/stack.h"
#include "runtime/memory.h"

using namespace vyn;

namespace {

void check(bool ok) {
	if (!ok) std::abort();
}

// A heap of its own, made anew for each input: records are never collected
// here, and one input may make a record of a gigabyte.
void fresh_heap() {
	memory::free_all();
	memory::init();
	memory::new_node_frame(NODE_FRAME_NODES);
	memory::new_series_frame();
	stack::init();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
	fresh_heap();
	std::vector<uint8_t> in(data, data + size);  // exact size: a read past it is caught
	for (int32_t f = 0; f < image_codec::FORMAT_COUNT; f++) {
		// A header may claim more pixels than a buffer holds: no-memory,
		// raised as a language error, caught here as a try frame would.
		Node n = 0;
		stack::Frame* frames = stack::frame_top();
		stack::mark_try(nullptr);
		try {
			n = image_codec::decode(image_codec::Format(f), in.data(), in.size());
		} catch (const Throw&) {
		}
		stack::set_frame_top(frames);
		stack::reset_all();
		if (!n) continue;
		uint32_t w = image_record::width(n), h = image_record::height(n);
		check(w >= 1 && h >= 1 && w <= image_record::MAX_SIDE && h <= image_record::MAX_SIDE);
		if (uint64_t(w) * h > 1 << 16) continue;  // keep each input quick
		for (int32_t g = 0; g < image_codec::FORMAT_COUNT; g++) {
			simple_io::Bytes out;
			check(image_codec::encode(image_codec::Format(g), image_record::pixels(n), w, h, out));
			Node back = image_codec::decode(image_codec::Format(g), out.data(), out.size());
			check(back && image_record::width(back) == w && image_record::height(back) == h);
		}
	}
	return 0;
}
