// The image backing record: where an image!'s pixels live.
//
// A record is one series buffer of 4-byte units. Its first 16 bytes, below
// the series head, hold the record header; from the head come width x
// height pixels, row after row, the top row first, stride width x 4 bytes.
// Keeping the pixels in the memory manager's buffer lets the collector see
// their weight and free them with the image, and lets the series actions
// that work by unit (head, back, index?) serve images unchanged.
//
// A pixel is the 32-bit word A << 24 | R << 16 | G << 8 | B (bytes B, G, R,
// A in memory), with A the opacity (255 opaque), never premultiplied; the
// language shows 255 - A as the tuple's fourth byte.
//
// Width and height are at most 65,535 each; a record of 0 pixels has no
// pixel units but still a header, so every image! value has a record.
//
// Addresses from pixels() hold until the next collection, that is until
// Vyn code runs (an owner's change handler) or a safe point is passed.
#pragma once

#include <cstdint>

#include "runtime/cell.h"
#include "runtime/memory.h"

namespace vyn::image_record {

constexpr uint32_t MAX_SIDE = 0xFFFF;
constexpr uint32_t OPAQUE = 0xFF000000u;
constexpr uint32_t WHITE = 0xFFFFFFFFu;

// Header flags.
constexpr uint32_t MODIFIED = 0x02;  // pixels written since a backend last took them

struct Header {
	uint32_t flags;
	uint32_t size;      // height << 16 | width
	int32_t platform;   // externals slot of the backend's objects, -1 when none
	uint32_t spare;
};
static_assert(sizeof(Header) == 16);

inline uint32_t size_word(uint32_t width, uint32_t height) { return height << 16 | width; }
inline uint32_t width_of(uint32_t size) { return size & 0xFFFF; }
inline uint32_t height_of(uint32_t size) { return size >> 16; }

// A new record of width x height pixels, their values left undefined.
// Sides above MAX_SIDE raise script out-of-range; a size past what a buffer
// can hold raises internal no-memory.
Node make(uint32_t width, uint32_t height);
// The same with every pixel set to `pixel`.
Node make_filled(uint32_t width, uint32_t height, uint32_t pixel);
// A new record holding a copy of the pixels of the rectangle (x, y, w, h),
// which must lie inside the source.
Node copy_rect(Node source, uint32_t x, uint32_t y, uint32_t w, uint32_t h);
// A new record of the given size scaled from the source with
// nearest-neighbour sampling.
Node resize(Node source, uint32_t width, uint32_t height);
// A new record holding the source's rows in reverse order.
Node flip_vertical(Node source);
// A new record over a copy of 32-bit pixels with `stride` bytes a row
// (0: width x 4).
Node from_memory(uint32_t width, uint32_t height, uint32_t stride, const uint32_t* pixels);

inline Header* header(Node n) { return reinterpret_cast<Header*>(memory::series(n)->data()); }
inline uint32_t* pixels(Node n) { return reinterpret_cast<uint32_t*>(memory::series(n)->head_ptr()); }
inline uint32_t width(Node n) { return width_of(header(n)->size); }
inline uint32_t height(Node n) { return height_of(header(n)->size); }
inline uint32_t count(Node n) { return width(n) * height(n); }

// Marks the pixels written, for the backend's cached copies.
inline void touch(Node n) { header(n)->flags |= MODIFIED; }

// ---- Objects a platform backend keeps for a record (a drawing surface) ----

// The externals class "image", registered at start-up.
extern int32_t externals_class;
// Releases a backend object; the backend installs it (null: nothing to do).
extern void (*release_platform)(void* data);

// Attaches `data` to the record (releasing what was attached before).
void attach_platform(Node n, void* data);
// The attached object, or null.
void* platform_data(Node n);
// Releases the attached object at once.
void release(Node n);

// Registers the externals class and installs the collector's image hook,
// which keeps the attached objects of reachable records.
void init();

}  // namespace vyn::image_record
