// image!: a two-dimensional series of 32-bit pixels.
//
// Cell: word 1 the head, a pixel number (0-based, row order); word 2 the
// node of the image's backing record (runtime/io/image_record.h), which
// every image has, pixels or not; word 3 the size word height << 16 |
// width. The cell header may carry ownership::IMAGE_OWNED.
//
// A pixel reaches the language as a 4-byte tuple R.G.B.A whose A is the
// transparency (0 opaque, 255 clear), 255 minus the stored opacity.
//
// back, head, head? and index? are the series! entries, which work on the
// record's pixel units; length? is width x height whatever the head.
#pragma once

#include <cstdint>

#include "runtime/cell.h"
#include "runtime/io/image_codec.h"
#include "runtime/registry.h"

namespace vyn::image {

// Pixel data methods of extract_data and set_data.
enum Method : int32_t { ALPHA = 0, RGB = 1, ARGB = 2 };

inline Node record_of(const Cell* img) { return img->data2; }
inline uint32_t width_of(const Cell* img) { return img->data3 & 0xFFFF; }
inline uint32_t height_of(const Cell* img) { return img->data3 >> 16; }

// Fills `out` with an image of the record, head 0.
Cell* init_image(Cell* out, Node record);

// A new image from encoded bytes by their signature; none in `out` when the
// bytes have no known signature; access bad-media when they do not decode.
Cell* load_binary(Cell* out, const uint8_t* bytes, size_t count);
// A new image from a binary! (bad-media when it is no image or corrupt) or a
// file! (cannot-open with the file when it cannot be read or decoded).
Cell* decode(Cell* out, const Cell* source);
// A binary! of the image encoded in a format; an image of size 0 raises
// bad-media.
Cell* encode(Cell* out, const Cell* img, image_codec::Format format);

// A new binary! of the pixel data (1, 3 or 4 bytes a pixel); argb gives the
// stored words as they lie in memory (B, G, R, opacity).
Cell* extract_data(Cell* out, const Cell* img, Method method);
// Replaces pixel data from a binary!, a tuple! or an integer!; other values
// raise invalid-arg. The owner is told afterwards.
void set_data(Cell* img, const Cell* value, Method method);
// A new image scaled to width x height (nearest neighbour).
Cell* resize(Cell* out, const Cell* img, uint32_t width, uint32_t height);
// Releases the platform objects a backend attached to the record.
void release(const Cell* img);

// The actions of the row.
Cell* make(Cell* proto, Cell* spec, Type type);
Cell* to(Cell* proto, Cell* spec, Type type);
// The rendering of a face into a new image (set by the GUI; false when the
// value is no face it can render).
extern bool (*face_renderer)(const Cell* face, Cell* out);
int32_t form(const Cell* value, Cell* buffer, const Cell* arg, int32_t part);
int32_t mold(const Cell* value, Cell* buffer, bool only, bool all, bool flat, const Cell* arg, int32_t part,
	int32_t indent);
int32_t compare(const Cell* value1, const Cell* value2, CompareOp op);
Cell* pick(Cell* img, int32_t index, const Cell* boxed);
Cell* poke(Cell* img, int32_t index, const Cell* boxed, Cell* value);
Cell* copy(Cell* value, Cell* out, const Cell* part, bool deep, const Cell* types);
Cell* change(Cell* img, Cell* value, int32_t part, bool only, int32_t dup);

// Registers image! (after series!) and the record's externals class.
void init_type();

}  // namespace vyn::image
