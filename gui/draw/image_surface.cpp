#include "gui/draw/image_surface.h"

#include "runtime/datatypes/image.h"
#include "runtime/io/image_record.h"

namespace vyn::image_surface {

namespace {

// Applies `channel` (channel value, alpha) to the three colour channels of
// each partly transparent pixel; opaque ones are copied, clear ones zeroed.
template <class F>
void convert(const uint32_t* src, uint32_t* dst, uint32_t count, F channel) {
	for (uint32_t i = 0; i < count; i++) {
		uint32_t p = src[i], a = p >> 24;
		if (a == 255)
			dst[i] = p;
		else if (a == 0)
			dst[i] = 0;
		else
			dst[i] = a << 24 | channel((p >> 16) & 0xFF, a) << 16 | channel((p >> 8) & 0xFF, a) << 8 | channel(p & 0xFF, a);
	}
}

}  // namespace

void premultiply(const uint32_t* src, uint32_t* dst, uint32_t count) {
	convert(src, dst, count, [](uint32_t v, uint32_t a) {
		// v x a / 255 rounded, exactly, for products up to 255 x 255.
		uint32_t t = v * a + 128;
		return (t + (t >> 8)) >> 8;
	});
}

void unpremultiply(const uint32_t* src, uint32_t* dst, uint32_t count) {
	convert(src, dst, count, [](uint32_t v, uint32_t a) {
		uint32_t x = (v * 255 + a / 2) / a;
		return x > 255 ? 255u : x;
	});
}

cairo_surface_t* of_image(const Cell* img, uint32_t x, uint32_t y, uint32_t w, uint32_t h) {
	if (w == 0 || h == 0 || w > MAX_SIDE || h > MAX_SIDE) return nullptr;
	cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, int(w), int(h));
	if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
		cairo_surface_destroy(s);
		return nullptr;
	}
	Node rec = image::record_of(img);
	const uint32_t* pixels = image_record::pixels(rec);
	uint32_t width = image_record::width(rec);
	uint8_t* data = cairo_image_surface_get_data(s);
	int stride = cairo_image_surface_get_stride(s);
	for (uint32_t row = 0; row < h; row++)
		premultiply(pixels + size_t(y + row) * width + x, reinterpret_cast<uint32_t*>(data + size_t(row) * stride), w);
	cairo_surface_mark_dirty(s);
	return s;
}

void to_image(cairo_surface_t* surface, const Cell* img) {
	cairo_surface_flush(surface);
	Node rec = image::record_of(img);
	uint32_t* pixels = image_record::pixels(rec);
	uint32_t w = image_record::width(rec), h = image_record::height(rec);
	const uint8_t* data = cairo_image_surface_get_data(surface);
	int stride = cairo_image_surface_get_stride(surface);
	for (uint32_t row = 0; row < h; row++)
		unpremultiply(reinterpret_cast<const uint32_t*>(data + size_t(row) * stride), pixels + size_t(row) * w, w);
	image_record::touch(rec);
}

}  // namespace vyn::image_surface
