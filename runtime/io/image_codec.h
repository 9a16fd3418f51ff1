// Image codecs: PNG, JPEG, GIF and TIFF over their C libraries, BMP our
// own; decoding into new image records (image_record.h) and encoding a
// record's pixels into file bytes.
//
// Decoding is eager: a decoder reads the whole first frame (GIF and TIFF
// files with several give their first) before it answers, so corrupt data is
// found at once. A decoder answers the new record, or 0 when the data is
// corrupt, truncated, of a kind it cannot read, or has a side of 0 or above
// 65,535 pixels. Only a size past what a buffer can hold raises (internal
// no-memory). No error crosses a C library's frames: libpng and libjpeg
// report through longjmp to the function that called them, giflib and
// libtiff through return codes.
//
// The byte addresses handed to a decoder must stay valid while it runs:
// decoding allocates one record and runs no Vyn code, so no collection moves
// a buffer meanwhile.
#pragma once

#include <cstddef>
#include <cstdint>

#include "runtime/cell.h"
#include "runtime/io/simple_io.h"

namespace vyn::image_codec {

// The encoder indexes.
enum Format : int32_t { UNKNOWN = -1, BMP = 0, PNG = 1, GIF = 2, JPEG = 3, TIFF = 4 };
constexpr int32_t FORMAT_COUNT = 5;

// The format whose signature starts the bytes, or UNKNOWN.
Format sniff(const uint8_t* data, size_t size);

// Decodes bytes of a known format; 0 when they do not decode.
Node decode(Format format, const uint8_t* data, size_t size);
// Decodes bytes of whatever known format they start with; 0 when they have
// no known signature or do not decode.
Node decode_any(const uint8_t* data, size_t size);

// Appends the encoding of width x height pixels (stride width x 4) to `out`;
// false when the library fails or memory runs out.
bool encode(Format format, const uint32_t* pixels, uint32_t width, uint32_t height, simple_io::Bytes& out);

}  // namespace vyn::image_codec

// The formats, one module each.
namespace vyn::image_png {
Node decode(const uint8_t* data, size_t size);
// Opaque images are written as RGB, others as RGBA; zlib at its default level.
bool encode(const uint32_t* pixels, uint32_t width, uint32_t height, simple_io::Bytes& out);
}  // namespace vyn::image_png

namespace vyn::image_jpeg {
Node decode(const uint8_t* data, size_t size);
// Quality 90; the alpha is dropped.
bool encode(const uint32_t* pixels, uint32_t width, uint32_t height, simple_io::Bytes& out);
}  // namespace vyn::image_jpeg

namespace vyn::image_gif {
Node decode(const uint8_t* data, size_t size);
// At most 256 colours: the image's own when it has that few, else a
// median-cut palette; pixels less than half opaque become transparent.
bool encode(const uint32_t* pixels, uint32_t width, uint32_t height, simple_io::Bytes& out);
}  // namespace vyn::image_gif

namespace vyn::image_tiff {
Node decode(const uint8_t* data, size_t size);
// RGB, or RGB with unassociated alpha when a pixel is not opaque; LZW.
bool encode(const uint32_t* pixels, uint32_t width, uint32_t height, simple_io::Bytes& out);
}  // namespace vyn::image_tiff

namespace vyn::image_bmp {
Node decode(const uint8_t* data, size_t size);
// 32 bits a pixel with an alpha mask (version 5 header), rows bottom-up.
bool encode(const uint32_t* pixels, uint32_t width, uint32_t height, simple_io::Bytes& out);
}  // namespace vyn::image_bmp
