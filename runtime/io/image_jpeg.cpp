// JPEG over libjpeg-turbo. Colour and grey images decode straight into the
// record's rows as B, G, R, A (the library fills A with 255); CMYK and YCCK
// images come out as CMYK and are converted here. Files with an Adobe
// marker (Photoshop's) store CMYK inverted, the others plain.
//
// libjpeg reports errors through error_exit, which here longjmps to the
// setjmp of the function that called the library; objects with destructors
// are declared before that setjmp.
#include <cstdio>  // jpeglib.h needs FILE and size_t first
#include <jpeglib.h>
#include <jerror.h>

#include <csetjmp>
#include <vector>

#include "runtime/io/image_codec.h"
#include "runtime/io/image_record.h"

namespace vyn::image_jpeg {

namespace {

struct ErrorManager {
	jpeg_error_mgr base;
	jmp_buf escape;
	bool truncated;
};

void error_exit(j_common_ptr info) { std::longjmp(reinterpret_cast<ErrorManager*>(info->err)->escape, 1); }

// Warnings go unprinted; data that ends early is corrupt, not a warning.
void emit_message(j_common_ptr info, int level) {
	auto* err = reinterpret_cast<ErrorManager*>(info->err);
	if (level < 0 && err->base.msg_code == JWRN_JPEG_EOF) err->truncated = true;
}

void output_nothing(j_common_ptr) {}

ErrorManager* install_errors(ErrorManager* err) {
	jpeg_std_error(&err->base);
	err->base.error_exit = error_exit;
	err->base.emit_message = emit_message;
	err->base.output_message = output_nothing;
	err->truncated = false;
	return err;
}

// What the decoding changes after its setjmp lives here, next to the
// library's own record, whose address the library holds.
struct Decompressor {
	jpeg_decompress_struct info{};
	bool made = false;
	std::vector<uint8_t> line;
	~Decompressor() {
		if (made) jpeg_destroy_decompress(&info);
	}
};

// round(a x b / 255)
inline uint32_t mul255(uint32_t a, uint32_t b) {
	uint32_t t = a * b + 128;
	return (t + (t >> 8)) >> 8;
}

void cmyk_row(const uint8_t* in, uint32_t* out, uint32_t w, bool inverted) {
	for (uint32_t x = 0; x < w; x++, in += 4) {
		uint32_t c = in[0], m = in[1], y = in[2], k = in[3];
		if (!inverted) {
			c = 255 - c;
			m = 255 - m;
			y = 255 - y;
			k = 255 - k;
		}
		out[x] = image_record::OPAQUE | mul255(c, k) << 16 | mul255(m, k) << 8 | mul255(y, k);
	}
}

}  // namespace

Node decode(const uint8_t* data, size_t size) {
	Decompressor d;
	ErrorManager err;
	Node record = 0;
	d.info.err = &install_errors(&err)->base;
	if (setjmp(err.escape)) return 0;
	jpeg_create_decompress(&d.info);
	d.made = true;
	jpeg_mem_src(&d.info, data, static_cast<unsigned long>(size));
	jpeg_read_header(&d.info, TRUE);
	bool cmyk = d.info.jpeg_color_space == JCS_CMYK || d.info.jpeg_color_space == JCS_YCCK;
	d.info.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGRA;
	jpeg_start_decompress(&d.info);
	uint32_t w = d.info.output_width, h = d.info.output_height;
	if (w == 0 || h == 0 || w > image_record::MAX_SIDE || h > image_record::MAX_SIDE || d.info.output_components != 4)
		return 0;
	record = image_record::make(w, h);
	uint32_t* pixels = image_record::pixels(record);
	if (cmyk) d.line.resize(size_t(w) * 4);
	while (d.info.output_scanline < h) {
		uint32_t y = d.info.output_scanline;
		JSAMPROW row = cmyk ? d.line.data() : reinterpret_cast<JSAMPROW>(pixels + size_t(y) * w);
		if (jpeg_read_scanlines(&d.info, &row, 1) != 1) return 0;
		if (cmyk) cmyk_row(d.line.data(), pixels + size_t(y) * w, w, d.info.saw_Adobe_marker);
		if (err.truncated) return 0;
	}
	jpeg_finish_decompress(&d.info);
	return err.truncated ? 0 : record;
}

namespace {

struct Compressor {
	jpeg_compress_struct info{};
	bool made = false;
	unsigned char* buffer = nullptr;
	unsigned long size = 0;
	~Compressor() {
		if (made) jpeg_destroy_compress(&info);
		std::free(buffer);
	}
};

}  // namespace

bool encode(const uint32_t* pixels, uint32_t w, uint32_t h, simple_io::Bytes& out) {
	Compressor c;
	ErrorManager err;
	c.info.err = &install_errors(&err)->base;
	if (setjmp(err.escape)) return false;
	jpeg_create_compress(&c.info);
	c.made = true;
	jpeg_mem_dest(&c.info, &c.buffer, &c.size);
	c.info.image_width = w;
	c.info.image_height = h;
	c.info.input_components = 4;
	c.info.in_color_space = JCS_EXT_BGRX;
	jpeg_set_defaults(&c.info);
	jpeg_set_quality(&c.info, 90, TRUE);
	jpeg_start_compress(&c.info, TRUE);
	while (c.info.next_scanline < h) {
		JSAMPROW row = reinterpret_cast<JSAMPROW>(const_cast<uint32_t*>(pixels) + size_t(c.info.next_scanline) * w);
		jpeg_write_scanlines(&c.info, &row, 1);
	}
	jpeg_finish_compress(&c.info);
	return out.append(c.buffer, c.size);
}

}  // namespace vyn::image_jpeg
