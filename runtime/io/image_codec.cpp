#include "runtime/io/image_codec.h"

#include <cstring>

namespace vyn::image_codec {

namespace {

bool starts(const uint8_t* data, size_t size, const char* sig, size_t n) {
	return size >= n && std::memcmp(data, sig, n) == 0;
}

}  // namespace

Format sniff(const uint8_t* data, size_t size) {
	if (starts(data, size, "\x89PNG", 4)) return PNG;
	if (starts(data, size, "\xFF\xD8\xFF", 3)) return JPEG;
	if (starts(data, size, "BM", 2)) return BMP;
	if (starts(data, size, "GIF87a", 6) || starts(data, size, "GIF89a", 6)) return GIF;
	if (starts(data, size, "II*\0", 4) || starts(data, size, "MM\0*", 4)) return TIFF;
	return UNKNOWN;
}

Node decode(Format format, const uint8_t* data, size_t size) {
	switch (format) {
	case BMP: return image_bmp::decode(data, size);
	case PNG: return image_png::decode(data, size);
	case GIF: return image_gif::decode(data, size);
	case JPEG: return image_jpeg::decode(data, size);
	case TIFF: return image_tiff::decode(data, size);
	default: return 0;
	}
}

Node decode_any(const uint8_t* data, size_t size) { return decode(sniff(data, size), data, size); }

bool encode(Format format, const uint32_t* pixels, uint32_t width, uint32_t height, simple_io::Bytes& out) {
	switch (format) {
	case BMP: return image_bmp::encode(pixels, width, height, out);
	case PNG: return image_png::encode(pixels, width, height, out);
	case GIF: return image_gif::encode(pixels, width, height, out);
	case JPEG: return image_jpeg::encode(pixels, width, height, out);
	case TIFF: return image_tiff::encode(pixels, width, height, out);
	default: return false;
	}
}

}  // namespace vyn::image_codec
