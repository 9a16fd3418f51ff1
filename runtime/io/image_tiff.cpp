// TIFF over libtiff, from and to memory, which reports failures by return
// codes. The first directory (page) is decoded.
//
// 8-bit RGB and RGBA images in strips, top row first, are read strip by
// strip and converted here. Every other kind goes through the library's
// RGBA reader, asked for the top-left orientation (its plain call answers
// rows bottom-up and ignores the Orientation tag); that reader premultiplies
// the colours of an image with alpha, associated or not, so they are
// divided back: pixels stay straight.
#include <tiffio.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "runtime/io/image_codec.h"
#include "runtime/io/image_record.h"
#include "runtime/shared_library.h"

namespace vyn::image_tiff {

namespace {

// libtiff is loaded at the first TIFF read or written.
#define TIFF_FUNCTIONS(X) \
	X(TIFFClientOpen) \
	X(TIFFClose) \
	X(TIFFComputeStrip) \
	X(TIFFDefaultStripSize) \
	X(TIFFFlush) \
	X(TIFFGetField) \
	X(TIFFGetFieldDefaulted) \
	X(TIFFIsTiled) \
	X(TIFFRGBAImageOK) \
	X(TIFFReadEncodedStrip) \
	X(TIFFReadRGBAImageOriented) \
	X(TIFFSetErrorHandler) \
	X(TIFFSetField) \
	X(TIFFSetWarningHandler) \
	X(TIFFWriteScanline)

struct {
	TIFF_FUNCTIONS(VYN_LIBRARY_FIELD)
} lib;

// The library would print its complaints on standard error; a failure
// reaches the language as an error of its own.
bool loaded() {
	static const bool ok = [] {
		if (!shared_library::load("libtiff.so.6", {TIFF_FUNCTIONS(VYN_LIBRARY_ENTRY)})) return false;
		lib.TIFFSetErrorHandler(nullptr);
		lib.TIFFSetWarningHandler(nullptr);
		return true;
	}();
	return ok;
}

// A file in memory: read from `data`, or written into `out` from its byte
// `base` on (positions are the file's own, from 0).
struct Memory {
	const uint8_t* data;
	size_t size;
	size_t at;
	simple_io::Bytes* out;
	size_t base;
	size_t written() const { return out->size() - base; }
};

tmsize_t read_proc(thandle_t h, void* buf, tmsize_t n) {
	auto* m = static_cast<Memory*>(h);
	if (n < 0 || m->at > m->size) return 0;
	size_t take = std::min(size_t(n), m->size - m->at);
	if (take == 0) return 0;  // empty input may come with no address at all
	std::memcpy(buf, m->data + m->at, take);
	m->at += take;
	return tmsize_t(take);
}

tmsize_t write_proc(thandle_t h, void* buf, tmsize_t n) {
	auto* m = static_cast<Memory*>(h);
	if (n < 0 || !m->out) return -1;
	size_t end = m->base + m->at + size_t(n);
	if (end > m->out->size()) {
		if (!m->out->reserve(end)) return -1;
		// Room skipped by a seek past the end reads as zeros.
		std::memset(m->out->data() + m->out->size(), 0, end - m->out->size());
		m->out->set_size(end);
	}
	std::memcpy(m->out->data() + m->base + m->at, buf, size_t(n));
	m->at += size_t(n);
	return n;
}

toff_t seek_proc(thandle_t h, toff_t offset, int whence) {
	auto* m = static_cast<Memory*>(h);
	size_t size = m->out ? m->written() : m->size;
	uint64_t base = whence == SEEK_CUR ? m->at : whence == SEEK_END ? size : 0;
	m->at = size_t(base + offset);
	return toff_t(m->at);
}

int close_proc(thandle_t) { return 0; }

toff_t size_proc(thandle_t h) {
	auto* m = static_cast<Memory*>(h);
	return toff_t(m->out ? m->written() : m->size);
}

// Reading maps the bytes as they are, so uncompressed strips are not copied.
int map_proc(thandle_t h, void** base, toff_t* size) {
	auto* m = static_cast<Memory*>(h);
	if (m->out) return 0;
	*base = const_cast<uint8_t*>(m->data);
	*size = toff_t(m->size);
	return 1;
}

void unmap_proc(thandle_t, void*, toff_t) {}

TIFF* open(Memory* m, const char* mode) {
	return lib.TIFFClientOpen("memory", mode, m, read_proc, write_proc, seek_proc, close_proc, size_proc, map_proc,
		unmap_proc);
}

struct Closer {
	TIFF* tif = nullptr;
	~Closer() {
		if (tif) lib.TIFFClose(tif);
	}
};

// c x 255 / a, rounded, for a premultiplied colour channel.
inline uint32_t unpremultiply(uint32_t c, uint32_t a) { return std::min<uint32_t>((c * 255 + a / 2) / a, 255); }

inline uint32_t straight(uint32_t r, uint32_t g, uint32_t b, uint32_t a, bool premultiplied) {
	if (premultiplied && a != 255) {
		if (a == 0) return 0;
		r = unpremultiply(r, a);
		g = unpremultiply(g, a);
		b = unpremultiply(b, a);
	}
	return a << 24 | r << 16 | g << 8 | b;
}

// The kind the strip reader takes: 8-bit RGB(A), contiguous, in strips,
// top-left. Answers the samples a pixel (3 or 4), 0 for another kind.
uint32_t plain_samples(TIFF* tif, bool& premultiplied) {
	uint16_t bits = 1, samples = 1, photometric = 0, planar = PLANARCONFIG_CONTIG, orientation = ORIENTATION_TOPLEFT;
	lib.TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
	lib.TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
	lib.TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar);
	lib.TIFFGetFieldDefaulted(tif, TIFFTAG_ORIENTATION, &orientation);
	if (!lib.TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric)) return 0;
	if (bits != 8 || photometric != PHOTOMETRIC_RGB || planar != PLANARCONFIG_CONTIG ||
		orientation != ORIENTATION_TOPLEFT || lib.TIFFIsTiled(tif))
		return 0;
	uint16_t extra = 0;
	uint16_t* kinds = nullptr;
	lib.TIFFGetFieldDefaulted(tif, TIFFTAG_EXTRASAMPLES, &extra, &kinds);
	if (samples == 3 && extra == 0) return 3;
	if (samples != 4 || extra != 1) return 0;
	// An unspecified extra sample counts as associated alpha, as the library takes it.
	premultiplied = kinds[0] != EXTRASAMPLE_UNASSALPHA;
	return 4;
}

bool read_strips(TIFF* tif, uint32_t samples, bool premultiplied, uint32_t* pixels, uint32_t w, uint32_t h) {
	uint32_t rows_per_strip = h;
	lib.TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &rows_per_strip);
	rows_per_strip = std::clamp<uint32_t>(rows_per_strip, 1, h);
	size_t row_bytes = size_t(w) * samples;
	std::vector<uint8_t> strip(row_bytes * rows_per_strip);
	for (uint32_t y = 0; y < h; y += rows_per_strip) {
		uint32_t rows = std::min(rows_per_strip, h - y);
		tmsize_t want = tmsize_t(row_bytes * rows);
		if (lib.TIFFReadEncodedStrip(tif, lib.TIFFComputeStrip(tif, y, 0), strip.data(), want) < want) return false;
		const uint8_t* p = strip.data();
		uint32_t* out = pixels + size_t(y) * w;
		size_t n = size_t(w) * rows;
		if (samples == 3) {
			for (size_t i = 0; i < n; i++, p += 3) out[i] = image_record::OPAQUE | uint32_t(p[0]) << 16 | p[1] << 8 | p[2];
		} else {
			for (size_t i = 0; i < n; i++, p += 4) out[i] = straight(p[0], p[1], p[2], p[3], premultiplied);
		}
	}
	return true;
}

// The library's RGBA words hold R in the low byte.
bool read_rgba(TIFF* tif, uint32_t* pixels, uint32_t w, uint32_t h) {
	if (!lib.TIFFReadRGBAImageOriented(tif, w, h, pixels, ORIENTATION_TOPLEFT, 0)) return false;
	size_t n = size_t(w) * h;
	for (size_t i = 0; i < n; i++) {
		uint32_t v = pixels[i];
		pixels[i] = straight(TIFFGetR(v), TIFFGetG(v), TIFFGetB(v), TIFFGetA(v), true);
	}
	return true;
}

}  // namespace

Node decode(const uint8_t* data, size_t size) {
	if (!loaded()) return 0;
	Memory m{data, size, 0, nullptr, 0};
	Closer c;
	c.tif = open(&m, "r");
	if (!c.tif) return 0;
	uint32_t w = 0, h = 0;
	if (!lib.TIFFGetField(c.tif, TIFFTAG_IMAGEWIDTH, &w) || !lib.TIFFGetField(c.tif, TIFFTAG_IMAGELENGTH, &h)) return 0;
	if (w == 0 || h == 0 || w > image_record::MAX_SIDE || h > image_record::MAX_SIDE) return 0;
	char message[1024];
	if (!lib.TIFFRGBAImageOK(c.tif, message)) return 0;
	Node record = image_record::make(w, h);
	uint32_t* pixels = image_record::pixels(record);
	bool premultiplied = false;
	uint32_t samples = plain_samples(c.tif, premultiplied);
	bool done = samples ? read_strips(c.tif, samples, premultiplied, pixels, w, h) : read_rgba(c.tif, pixels, w, h);
	return done ? record : 0;
}

bool encode(const uint32_t* pixels, uint32_t w, uint32_t h, simple_io::Bytes& out) {
	if (!loaded()) return false;
	size_t n = size_t(w) * h;
	bool alpha = false;
	for (size_t i = 0; i < n && !alpha; i++) alpha = (pixels[i] >> 24) != 255;
	uint32_t samples = alpha ? 4 : 3;
	Memory m{nullptr, 0, 0, &out, out.size()};
	Closer c;
	c.tif = open(&m, "w");
	if (!c.tif) return false;
	lib.TIFFSetField(c.tif, TIFFTAG_IMAGEWIDTH, w);
	lib.TIFFSetField(c.tif, TIFFTAG_IMAGELENGTH, h);
	lib.TIFFSetField(c.tif, TIFFTAG_BITSPERSAMPLE, 8);
	lib.TIFFSetField(c.tif, TIFFTAG_SAMPLESPERPIXEL, samples);
	lib.TIFFSetField(c.tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
	lib.TIFFSetField(c.tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
	lib.TIFFSetField(c.tif, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
	lib.TIFFSetField(c.tif, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
	lib.TIFFSetField(c.tif, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
	if (alpha) {
		uint16_t kind = EXTRASAMPLE_UNASSALPHA;
		lib.TIFFSetField(c.tif, TIFFTAG_EXTRASAMPLES, 1, &kind);
	}
	lib.TIFFSetField(c.tif, TIFFTAG_ROWSPERSTRIP, lib.TIFFDefaultStripSize(c.tif, 0));
	std::vector<uint8_t> row(size_t(w) * samples);
	for (uint32_t y = 0; y < h; y++) {
		const uint32_t* p = pixels + size_t(y) * w;
		uint8_t* o = row.data();
		for (uint32_t x = 0; x < w; x++, o += samples) {
			o[0] = uint8_t(p[x] >> 16);
			o[1] = uint8_t(p[x] >> 8);
			o[2] = uint8_t(p[x]);
			if (alpha) o[3] = uint8_t(p[x] >> 24);
		}
		if (lib.TIFFWriteScanline(c.tif, row.data(), y, 0) < 0) return false;
	}
	return lib.TIFFFlush(c.tif) == 1;
}

}  // namespace vyn::image_tiff
