// image! pixels to and from Cairo image surfaces. Images keep straight
// (not premultiplied) ARGB; Cairo's ARGB32 is premultiplied, in the same
// 32-bit word order.
#pragma once

#include <cairo.h>

#include <cstdint>

#include "runtime/cell.h"

namespace vyn::image_surface {

// Cairo's image surfaces are limited to this many pixels a side.
constexpr uint32_t MAX_SIDE = 32767;

void premultiply(const uint32_t* src, uint32_t* dst, uint32_t count);
void unpremultiply(const uint32_t* src, uint32_t* dst, uint32_t count);

// A new surface holding the rectangle (x, y, w, h) of the image, which must
// lie inside it; null when Cairo cannot make it.
cairo_surface_t* of_image(const Cell* img, uint32_t x, uint32_t y, uint32_t w, uint32_t h);
// Copies the surface's pixels (the image's size) back into the image.
void to_image(cairo_surface_t* surface, const Cell* img);

}  // namespace vyn::image_surface
