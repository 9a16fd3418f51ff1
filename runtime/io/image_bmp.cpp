// BMP, our own reader and writer.
//
// The reader takes every header kind (core 12 bytes, OS/2 16 to 64, info 40,
// 52, 56, 108, 124), 1, 2, 4, 8, 16, 24 and 32 bits a pixel, palettes,
// RLE8, RLE4 and OS/2's RLE24, bit fields (masks after a 40-byte header or
// inside a longer one, with or without alpha), and rows bottom-up (positive
// height) or top-down (negative). The fourth byte of a 32-bit pixel without
// bit fields is reserved, not alpha: such pixels are opaque. Pixels an RLE
// stream skips (by a delta or an early end of line) are transparent.
//
// Every read is bounds-checked against the bytes given: a truncated file,
// a palette index past the palette, or a header that does not add up is
// refused, never read past.
//
// The writer puts a version 5 header with bit fields and an alpha mask and
// 32-bit rows bottom-up: the pixels as stored, transparency kept.
#include <algorithm>
#include <cstring>
#include <vector>

#include "runtime/io/image_codec.h"
#include "runtime/io/image_record.h"

namespace vyn::image_bmp {

namespace {

constexpr uint32_t FILE_HEADER = 14;
enum Compression : uint32_t { RGB = 0, RLE8 = 1, RLE4 = 2, BITFIELDS = 3, OS2_RLE24 = 4, ALPHABITFIELDS = 6 };

inline uint16_t u16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
inline uint32_t u32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }

struct Info {
	uint32_t width = 0, height = 0;
	bool top_down = false;
	uint32_t bpp = 0;
	uint32_t compression = RGB;
	uint32_t masks[4] = {0, 0, 0, 0};  // red, green, blue, alpha
	uint32_t palette[256];
	uint32_t colours = 0;  // palette entries
	size_t data = 0;       // offset of the pixel data
};

bool is_info_size(uint32_t n) { return n == 40 || n == 52 || n == 56 || n == 108 || n == 124; }

// The palette: `count` entries of B, G, R (and a reserved byte when `quad`).
bool read_palette(const uint8_t* data, size_t size, size_t at, uint32_t count, bool quad, Info& info) {
	uint32_t entry = quad ? 4 : 3;
	if (count > 256) count = 256;
	// A palette cut short by the pixel data keeps the entries before it.
	size_t limit = std::min(size, info.data >= at ? info.data : size);
	if (at > limit) return false;
	count = uint32_t(std::min<size_t>(count, (limit - at) / entry));
	for (uint32_t i = 0; i < count; i++) {
		const uint8_t* p = data + at + size_t(i) * entry;
		info.palette[i] = image_record::OPAQUE | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
	}
	info.colours = count;
	return true;
}

bool parse(const uint8_t* data, size_t size, Info& info) {
	if (size < FILE_HEADER + 16 || data[0] != 'B' || data[1] != 'M') return false;
	uint32_t offset = u32(data + 10);
	uint32_t hsize = u32(data + 14);
	if (hsize < 12 || FILE_HEADER + size_t(hsize) > size) return false;
	const uint8_t* h = data + FILE_HEADER;
	int64_t width, height;
	uint32_t used = 0;
	bool core = hsize == 12;
	if (core) {
		width = u16(h + 4);
		height = u16(h + 6);
		info.bpp = u16(h + 10);
	} else {
		width = int32_t(u32(h + 4));
		height = int32_t(u32(h + 8));
		info.bpp = u16(h + 14);
		info.compression = hsize >= 20 ? u32(h + 16) : RGB;
		used = hsize >= 36 ? u32(h + 32) : 0;
	}
	bool os2 = !core && !is_info_size(hsize);
	if (os2) {
		// OS/2 numbers 3 as Huffman coding, which is not read; 4 is RLE24.
		if (info.compression == 3) return false;
	} else if (info.compression == OS2_RLE24) {
		return false;
	}
	if (width <= 0 || height == 0) return false;
	info.top_down = height < 0;
	info.width = uint32_t(width);
	info.height = uint32_t(height < 0 ? -height : height);
	if (info.width > image_record::MAX_SIDE || info.height > image_record::MAX_SIDE) return false;
	size_t after = FILE_HEADER + hsize;
	bool fields = !os2 && (info.compression == BITFIELDS || info.compression == ALPHABITFIELDS);
	if (fields) {
		uint32_t n = info.compression == ALPHABITFIELDS ? 4 : 3;
		const uint8_t* m = h + 40;
		if (hsize == 40) {
			if (after + 4 * n > size) return false;
			m = data + after;
			after += 4 * n;
		} else if (hsize >= 56) {
			n = 4;
		}
		for (uint32_t i = 0; i < n; i++) info.masks[i] = u32(m + 4 * i);
	}
	info.data = offset && offset < size ? offset : after;
	uint32_t colours = info.bpp <= 8 ? (used && used < (1u << info.bpp) ? used : 1u << info.bpp) : 0;
	return read_palette(data, size, after, colours, !core, info);
}

// ---- Bit fields ----

struct Field {
	uint32_t mask, shift, max;
	// The field's value scaled to 0..255 (`missing` when the mask is empty).
	uint32_t get(uint32_t v, uint32_t missing) const {
		if (!mask) return missing;
		uint32_t x = (v & mask) >> shift;
		return max == 255 ? x : (x * 255 + max / 2) / max;
	}
};

Field field_of(uint32_t mask) {
	if (!mask) return {0, 0, 0};
	uint32_t shift = uint32_t(__builtin_ctz(mask));
	uint32_t bits = 32 - uint32_t(__builtin_clz(mask >> shift));
	// Wide fields keep their top 8 bits.
	if (bits > 8) {
		shift += bits - 8;
		mask = 0xFFu << shift;
		bits = 8;
	}
	return {mask, shift, (1u << bits) - 1};
}

// ---- Uncompressed rows ----

inline uint32_t opaque_bgr(const uint8_t* p) { return image_record::OPAQUE | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0]; }

bool index_row(const Info& info, const uint8_t* row, uint32_t* out) {
	uint32_t bpp = info.bpp, per_byte = 8 / bpp, mask = (1u << bpp) - 1;
	for (uint32_t x = 0; x < info.width; x++) {
		uint32_t byte = row[x / per_byte];
		uint32_t index = (byte >> (8 - bpp * (x % per_byte + 1))) & mask;
		if (index >= info.colours) return false;
		out[x] = info.palette[index];
	}
	return true;
}

void bgr_row(const uint8_t* row, uint32_t* out, uint32_t w) {
	uint32_t x = 0;
	// Four pixels from three little-endian words.
	for (; x + 4 <= w; x += 4, row += 12) {
		uint32_t a = u32(row), b = u32(row + 4), c = u32(row + 8);
		out[x] = image_record::OPAQUE | a;
		out[x + 1] = image_record::OPAQUE | a >> 24 | b << 8;
		out[x + 2] = image_record::OPAQUE | b >> 16 | c << 16;
		out[x + 3] = image_record::OPAQUE | c >> 8;
	}
	for (; x < w; x++, row += 3) out[x] = opaque_bgr(row);
}

inline size_t stride_of(const Info& info) { return (size_t(info.width) * info.bpp + 31) / 32 * 4; }

// Whether the file holds every row (the last one without its padding).
bool rows_fit(const Info& info, size_t size) {
	size_t last = (size_t(info.width) * info.bpp + 7) / 8;
	return info.data <= size && size - info.data >= stride_of(info) * (info.height - 1) + last;
}

bool plain_rows(const Info& info, const uint8_t* data, uint32_t* pixels) {
	uint32_t w = info.width, h = info.height;
	size_t stride = stride_of(info);
	bool fields = info.compression == BITFIELDS || info.compression == ALPHABITFIELDS;
	uint32_t masks[4] = {info.masks[0], info.masks[1], info.masks[2], info.masks[3]};
	if (!fields && info.bpp == 16) {
		masks[0] = 0x7C00;
		masks[1] = 0x3E0;
		masks[2] = 0x1F;
	}
	Field f[4] = {field_of(masks[0]), field_of(masks[1]), field_of(masks[2]), field_of(masks[3])};
	bool stored = info.bpp == 32 && masks[0] == 0xFF0000 && masks[1] == 0xFF00 && masks[2] == 0xFF;
	for (uint32_t y = 0; y < h; y++) {
		const uint8_t* row = data + info.data + stride * (info.top_down ? y : h - 1 - y);
		uint32_t* out = pixels + size_t(y) * w;
		switch (info.bpp) {
		case 1: case 2: case 4: case 8:
			if (!index_row(info, row, out)) return false;
			break;
		case 24: bgr_row(row, out, w); break;
		case 32:
			if (!fields || (stored && masks[3] == 0xFF000000u)) {
				std::memcpy(out, row, size_t(w) * 4);
				if (!fields || !masks[3])
					for (uint32_t x = 0; x < w; x++) out[x] |= image_record::OPAQUE;
				break;
			}
			[[fallthrough]];
		case 16: {
			uint32_t unit = info.bpp / 8;
			for (uint32_t x = 0; x < w; x++) {
				uint32_t v = unit == 2 ? u16(row + 2 * x) : u32(row + 4 * x);
				out[x] = f[3].get(v, 255) << 24 | f[0].get(v, 0) << 16 | f[1].get(v, 0) << 8 | f[2].get(v, 0);
			}
			break;
		}
		default: return false;
		}
	}
	return true;
}

// ---- RLE ----

struct RleCanvas {
	const Info& info;
	uint32_t* pixels;
	uint32_t x = 0, y = 0;  // y counts rows in file order
	void put(uint32_t pixel) {
		if (x < info.width && y < info.height)
			pixels[size_t(info.top_down ? y : info.height - 1 - y) * info.width + x] = pixel;
		x++;
	}
	bool index(uint32_t i) {
		if (i >= info.colours) return false;
		put(info.palette[i]);
		return true;
	}
};

bool rle_rows(const Info& info, const uint8_t* data, size_t size, uint32_t* pixels) {
	std::memset(pixels, 0, size_t(info.width) * info.height * 4);
	RleCanvas c{info, pixels};
	uint32_t kind = info.compression == OS2_RLE24 ? 24 : info.compression == RLE8 ? 8 : 4;
	if (kind != info.bpp) return false;
	const uint8_t* p = data + info.data;
	const uint8_t* end = data + size;
	while (c.y < info.height) {
		// A stream that stops without its end marker keeps what it drew.
		if (end - p < 2) return true;
		uint32_t n = p[0], code = p[1];
		p += 2;
		if (n > 0) {
			if (kind == 24) {
				// code is the blue byte of the run's pixel: green and red follow.
				if (end - p < 2) return false;
				const uint8_t bgr[3] = {uint8_t(code), p[0], p[1]};
				p += 2;
				for (uint32_t i = 0; i < n; i++) c.put(opaque_bgr(bgr));
				continue;
			}
			for (uint32_t i = 0; i < n; i++)
				if (!c.index(kind == 8 ? code : (i & 1 ? code & 15 : code >> 4))) return false;
			continue;
		}
		if (code == 0) {
			c.x = 0;
			c.y++;
		} else if (code == 1) {
			return true;
		} else if (code == 2) {
			if (end - p < 2) return false;
			c.x += p[0];
			c.y += p[1];
			p += 2;
		} else {
			size_t bytes = kind == 24 ? size_t(code) * 3 : kind == 8 ? code : (code + 1) / 2;
			size_t padded = (bytes + 1) & ~size_t(1);
			if (size_t(end - p) < bytes) return false;
			for (uint32_t i = 0; i < code; i++) {
				bool ok = true;
				if (kind == 24)
					c.put(opaque_bgr(p + 3 * i));
				else
					ok = c.index(kind == 8 ? p[i] : (i & 1 ? p[i / 2] & 15 : p[i / 2] >> 4));
				if (!ok) return false;
			}
			p += std::min(padded, size_t(end - p));
		}
	}
	return true;
}

}  // namespace

Node decode(const uint8_t* data, size_t size) {
	Info info;
	if (!parse(data, size, info)) return 0;
	bool rle = info.compression == RLE8 || info.compression == RLE4 || info.compression == OS2_RLE24;
	bool plain = info.compression == RGB || info.compression == BITFIELDS || info.compression == ALPHABITFIELDS;
	if (!rle && !plain) return 0;
	if (info.bpp <= 8 && info.colours == 0) return 0;
	// Checked before the pixels are made: a header may claim gigabytes.
	if (plain && !rows_fit(info, size)) return 0;
	Node record = image_record::make(info.width, info.height);
	uint32_t* pixels = image_record::pixels(record);
	bool done = rle ? rle_rows(info, data, size, pixels) : plain_rows(info, data, pixels);
	return done ? record : 0;
}

namespace {

struct Out {
	uint8_t* p;
	void u16(uint32_t v) {
		p[0] = uint8_t(v);
		p[1] = uint8_t(v >> 8);
		p += 2;
	}
	void u32(uint32_t v) {
		for (int i = 0; i < 4; i++) p[i] = uint8_t(v >> (8 * i));
		p += 4;
	}
	void zeros(size_t n) {
		std::memset(p, 0, n);
		p += n;
	}
};

constexpr uint32_t V5_HEADER = 124;
constexpr uint32_t LCS_SRGB = 0x73524742;  // "sRGB"
constexpr uint32_t LCS_GM_IMAGES = 4;

}  // namespace

bool encode(const uint32_t* pixels, uint32_t w, uint32_t h, simple_io::Bytes& out) {
	size_t image = size_t(w) * h * 4;
	size_t offset = FILE_HEADER + V5_HEADER;
	size_t start = out.size();
	if (!out.reserve(start + offset + image)) return false;
	Out o{out.data() + start};
	o.u16('B' | 'M' << 8);
	o.u32(uint32_t(offset + image));
	o.u32(0);
	o.u32(uint32_t(offset));
	o.u32(V5_HEADER);
	o.u32(w);
	o.u32(h);
	o.u16(1);
	o.u16(32);
	o.u32(BITFIELDS);
	o.u32(uint32_t(image));
	o.u32(2835);  // 72 dots an inch, in dots a metre
	o.u32(2835);
	o.u32(0);
	o.u32(0);
	o.u32(0x00FF0000);
	o.u32(0x0000FF00);
	o.u32(0x000000FF);
	o.u32(0xFF000000);
	o.u32(LCS_SRGB);
	o.zeros(36 + 12);  // end points and gamma, unused with sRGB
	o.u32(LCS_GM_IMAGES);
	o.zeros(12);  // profile offset and size, reserved
	for (uint32_t y = 0; y < h; y++) std::memcpy(o.p + size_t(y) * w * 4, pixels + size_t(h - 1 - y) * w, size_t(w) * 4);
	out.set_size(start + offset + image);
	return true;
}

}  // namespace vyn::image_bmp
