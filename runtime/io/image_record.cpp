#include "runtime/io/image_record.h"

#include <cstring>

#include "runtime/collector.h"
#include "runtime/errors.h"
#include "runtime/externals.h"

namespace vyn::image_record {

int32_t externals_class = 0;
void (*release_platform)(void* data) = nullptr;

namespace {

constexpr uint32_t HEADER_UNITS = sizeof(Header) / 4;

void check_side(uint32_t side) {
	if (side <= MAX_SIDE) return;
	Cell n;
	cell::make_integer(&n, int32_t(side));
	errors::fire(errors::id::script_out_of_range, &n);
}

void release_object(void* data) {
	if (data && release_platform) release_platform(data);
}

// The collector reaches a record: its backend objects stay.
void keep_platform(Node n) {
	int32_t slot = header(n)->platform;
	if (slot >= 0) externals::mark(slot, nullptr);
}

}  // namespace

Node make(uint32_t width, uint32_t height) {
	check_side(width);
	check_side(height);
	uint64_t pixels = uint64_t(width) * height;
	// The buffer's byte size is 32-bit: past it the memory manager refuses.
	if ((pixels + HEADER_UNITS) * 4 > 0xFFFFFF00u) errors::fire(errors::id::internal_no_memory);
	Node n = memory::alloc_series(uint32_t(pixels) + HEADER_UNITS, 4, int32_t(sizeof(Header)));
	Series* s = memory::series(n);
	s->tail = s->head + uint32_t(pixels) * 4;
	*header(n) = Header{0, size_word(width, height), -1, 0};
	return n;
}

Node make_filled(uint32_t width, uint32_t height, uint32_t pixel) {
	Node n = make(width, height);
	uint32_t* p = pixels(n);
	uint32_t total = count(n);
	for (uint32_t i = 0; i < total; i++) p[i] = pixel;
	return n;
}

Node copy_rect(Node source, uint32_t x, uint32_t y, uint32_t w, uint32_t h) {
	Node n = make(w, h);
	uint32_t sw = width(source);
	const uint32_t* from = pixels(source) + size_t(y) * sw + x;
	uint32_t* to = pixels(n);
	for (uint32_t row = 0; row < h; row++) std::memcpy(to + size_t(row) * w, from + size_t(row) * sw, size_t(w) * 4);
	return n;
}

Node resize(Node source, uint32_t w, uint32_t h) {
	Node n = make(w, h);
	uint32_t sw = width(source), sh = height(source);
	uint32_t* to = pixels(n);
	if (sw == 0 || sh == 0) {
		std::memset(to, 0, size_t(w) * h * 4);
		return n;
	}
	const uint32_t* from = pixels(source);
	// Sample the centre of each target pixel.
	for (uint32_t row = 0; row < h; row++) {
		const uint32_t* line = from + size_t((uint64_t(row) * 2 + 1) * sh / (uint64_t(h) * 2)) * sw;
		for (uint32_t col = 0; col < w; col++)
			to[size_t(row) * w + col] = line[(uint64_t(col) * 2 + 1) * sw / (uint64_t(w) * 2)];
	}
	return n;
}

Node flip_vertical(Node source) {
	uint32_t w = width(source), h = height(source);
	Node n = make(w, h);
	const uint32_t* from = pixels(source);
	uint32_t* to = pixels(n);
	for (uint32_t row = 0; row < h; row++)
		std::memcpy(to + size_t(row) * w, from + size_t(h - 1 - row) * w, size_t(w) * 4);
	return n;
}

Node from_memory(uint32_t w, uint32_t h, uint32_t stride, const uint32_t* source) {
	Node n = make(w, h);
	size_t step = stride ? stride : size_t(w) * 4;
	const uint8_t* from = reinterpret_cast<const uint8_t*>(source);
	uint32_t* to = pixels(n);
	for (uint32_t row = 0; row < h; row++) std::memcpy(to + size_t(row) * w, from + row * step, size_t(w) * 4);
	return n;
}

void attach_platform(Node n, void* data) {
	Header* hd = header(n);
	if (hd->platform >= 0) {
		externals::set_data(hd->platform, data);
		return;
	}
	int32_t slot = externals::alloc_handle(data, externals_class);
	header(n)->platform = slot;
}

void* platform_data(Node n) {
	int32_t slot = header(n)->platform;
	return slot >= 0 ? externals::data(slot) : nullptr;
}

void release(Node n) {
	Header* hd = header(n);
	if (hd->platform < 0) return;
	int32_t slot = hd->platform;
	hd->platform = -1;
	externals::free_handle(slot, true);
}

void init() {
	externals_class = externals::register_class("image", release_object);
	collector::image_hook = keep_platform;
}

}  // namespace vyn::image_record
