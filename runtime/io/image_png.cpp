// PNG over libpng's full interface. The simplified interface is not used: it
// takes 16-bit samples as linear light and converts them with a gamma curve,
// where a sample 0x1212 must read as 0x12.
//
// libpng reports errors by longjmp to the setjmp of the function that called
// it; those functions keep every object with a destructor declared before the
// setjmp, and allocate records only between library calls.
#include <png.h>

#include <csetjmp>
#include <cstring>
#include <vector>

#include "runtime/io/image_codec.h"
#include "runtime/io/image_record.h"

namespace vyn::image_png {

namespace {

// Everything the decoding changes after its setjmp lives here: the library
// holds the address, so nothing of it stays in a register across a longjmp.
struct Source {
	const uint8_t* data;
	size_t size;
	size_t at;
	std::vector<png_bytep> rows;
};

void silent_error(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void silent_warning(png_structp, png_const_charp) {}

void read_bytes(png_structp png, png_bytep out, size_t n) {
	auto* src = static_cast<Source*>(png_get_io_ptr(png));
	if (src->size - src->at < n) png_error(png, "truncated");
	if (n == 0) return;
	std::memcpy(out, src->data + src->at, n);
	src->at += n;
}

struct Reader {
	png_structp png = nullptr;
	png_infop info = nullptr;
	~Reader() { png_destroy_read_struct(&png, info ? &info : nullptr, nullptr); }
};

// Asks for 8-bit B, G, R, A rows whatever the file holds.
void set_transforms(png_structp png, png_infop info) {
	int type = png_get_color_type(png, info);
	int depth = png_get_bit_depth(png, info);
	bool trns = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
	if (type == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
	if (type == PNG_COLOR_TYPE_GRAY && depth < 8) png_set_expand_gray_1_2_4_to_8(png);
	if (trns) png_set_tRNS_to_alpha(png);
	// Rounds v x 255 / 65535: 0x1212 gives 0x12.
	if (depth == 16) png_set_scale_16(png);
	if (!(type & PNG_COLOR_MASK_COLOR)) png_set_gray_to_rgb(png);
	png_set_bgr(png);
	if (!(type & PNG_COLOR_MASK_ALPHA) && !trns) png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
	png_set_interlace_handling(png);
	png_read_update_info(png, info);
}

}  // namespace

Node decode(const uint8_t* data, size_t size) {
	Source src{data, size, 0, {}};
	Reader r;
	Node record = 0;
	r.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, silent_error, silent_warning);
	if (!r.png) return 0;
	r.info = png_create_info_struct(r.png);
	if (!r.info) return 0;
	if (setjmp(png_jmpbuf(r.png))) return 0;
	png_set_user_limits(r.png, image_record::MAX_SIDE, image_record::MAX_SIDE);
	png_set_read_fn(r.png, &src, read_bytes);
	png_read_info(r.png, r.info);
	set_transforms(r.png, r.info);
	uint32_t w = png_get_image_width(r.png, r.info), h = png_get_image_height(r.png, r.info);
	if (png_get_rowbytes(r.png, r.info) != size_t(w) * 4) return 0;
	record = image_record::make(w, h);
	uint8_t* base = reinterpret_cast<uint8_t*>(image_record::pixels(record));
	src.rows.resize(h);
	for (uint32_t y = 0; y < h; y++) src.rows[y] = base + size_t(y) * w * 4;
	png_read_image(r.png, src.rows.data());
	png_read_end(r.png, nullptr);
	return record;
}

namespace {

void write_bytes(png_structp png, png_bytep bytes, size_t n) {
	auto* out = static_cast<simple_io::Bytes*>(png_get_io_ptr(png));
	if (!out->append(bytes, n)) png_error(png, "no memory");
}

void flush_nothing(png_structp) {}

struct Writer {
	png_structp png = nullptr;
	png_infop info = nullptr;
	bool rgb = false;
	~Writer() { png_destroy_write_struct(&png, info ? &info : nullptr); }
};

bool opaque(const uint32_t* pixels, size_t count) {
	uint32_t all = 0xFFFFFFFFu;
	for (size_t i = 0; i < count; i++) all &= pixels[i];
	return (all & image_record::OPAQUE) == image_record::OPAQUE;
}

}  // namespace

bool encode(const uint32_t* pixels, uint32_t w, uint32_t h, simple_io::Bytes& out) {
	Writer wr;
	std::vector<png_bytep> rows(h);
	wr.rgb = opaque(pixels, size_t(w) * h);
	wr.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, silent_error, silent_warning);
	if (!wr.png) return false;
	wr.info = png_create_info_struct(wr.png);
	if (!wr.info) return false;
	if (setjmp(png_jmpbuf(wr.png))) return false;
	png_set_write_fn(wr.png, &out, write_bytes, flush_nothing);
	png_set_IHDR(wr.png, wr.info, w, h, 8, wr.rgb ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
		PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
	png_write_info(wr.png, wr.info);
	png_set_bgr(wr.png);
	// The stored words are B, G, R, A in memory: RGB output drops the fourth byte.
	if (wr.rgb) png_set_filler(wr.png, 0, PNG_FILLER_AFTER);
	auto* base = reinterpret_cast<png_bytep>(const_cast<uint32_t*>(pixels));
	for (uint32_t y = 0; y < h; y++) rows[y] = base + size_t(y) * w * 4;
	png_write_image(wr.png, rows.data());
	png_write_end(wr.png, nullptr);
	return true;
}

}  // namespace vyn::image_png
