// GIF over giflib, which reports failures by return codes.
//
// Decoding reads the records up to the first image only (an animation's
// later frames are never decoded) and paints it on a canvas of the logical
// screen's size, transparent where the frame does not reach; a frame the
// screen does not hold is the image alone. giflib hands
// the rows of an interlaced image over in file order (every 8th row from 0,
// every 8th from 4, every 4th from 2, every 2nd from 1); they are put back
// in place here.
//
// Encoding needs a palette of at most 256 entries: the image's own colours
// when it has that few, else a median cut over a 5-bit-per-channel
// histogram. Pixels less than half opaque take one transparent entry.
#include <gif_lib.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "runtime/io/image_codec.h"
#include "runtime/io/image_record.h"

namespace vyn::image_gif {

namespace {

struct Source {
	const uint8_t* data;
	size_t size;
	size_t at;
};

int read_bytes(GifFileType* gif, GifByteType* out, int n) {
	auto* src = static_cast<Source*>(gif->UserData);
	size_t room = src->size - src->at;
	size_t take = size_t(n) < room ? size_t(n) : room;
	if (take == 0) return 0;  // empty input may come with no address at all
	std::memcpy(out, src->data + src->at, take);
	src->at += take;
	return int(take);
}

struct Closer {
	GifFileType* gif = nullptr;
	~Closer() {
		int err;
		if (gif) DGifCloseFile(gif, &err);
	}
};

// The transparent index of a graphic control extension, or -1.
int transparent_index(const GifByteType* ext) {
	if (ext[0] < 4) return -1;
	return (ext[1] & 1) ? ext[4] : -1;
}

// Skips an extension's remaining sub-blocks.
bool skip_sub_blocks(GifFileType* gif, GifByteType* ext) {
	while (ext)
		if (DGifGetExtensionNext(gif, &ext) == GIF_ERROR) return false;
	return true;
}

// The row index of the n-th row giflib delivers.
uint32_t interlaced_row(uint32_t n, uint32_t h) {
	static constexpr uint32_t start[4] = {0, 4, 2, 1}, step[4] = {8, 8, 4, 2};
	for (int pass = 0; pass < 4; pass++) {
		uint32_t rows = start[pass] < h ? (h - start[pass] + step[pass] - 1) / step[pass] : 0;
		if (n < rows) return start[pass] + n * step[pass];
		n -= rows;
	}
	return h;
}

// Reads the first image's rows, in file order. They are read before the
// canvas is made, so a frame that claims more rows than its data holds
// fails having taken memory in proportion to the data alone.
bool read_rows(GifFileType* gif, std::vector<GifPixelType>& rows) {
	uint32_t fw = uint32_t(gif->Image.Width), fh = uint32_t(gif->Image.Height);
	for (uint32_t n = 0; n < fh; n++) {
		size_t at = rows.size();
		rows.resize(at + fw);
		if (DGifGetLine(gif, rows.data() + at, int(fw)) == GIF_ERROR) return false;
	}
	return true;
}

// Paints the rows read on the canvas.
bool paint(GifFileType* gif, int transparent, const std::vector<GifPixelType>& rows, uint32_t* canvas, uint32_t cw,
	uint32_t ch, uint32_t x0, uint32_t y0) {
	const GifImageDesc& d = gif->Image;
	const ColorMapObject* map = d.ColorMap ? d.ColorMap : gif->SColorMap;
	if (!map) return false;
	uint32_t colours[256];
	for (int i = 0; i < 256; i++) {
		if (i < map->ColorCount) {
			const GifColorType& c = map->Colors[i];
			colours[i] = image_record::OPAQUE | uint32_t(c.Red) << 16 | uint32_t(c.Green) << 8 | c.Blue;
		} else {
			colours[i] = image_record::OPAQUE;
		}
	}
	if (transparent >= 0) colours[transparent] = 0;
	uint32_t fw = uint32_t(d.Width), fh = uint32_t(d.Height);
	for (uint32_t n = 0; n < fh; n++) {
		const GifPixelType* line = rows.data() + size_t(n) * fw;
		uint32_t y = y0 + (d.Interlace ? interlaced_row(n, fh) : n);
		if (y >= ch) continue;
		uint32_t* row = canvas + size_t(y) * cw;
		uint32_t count = x0 < cw ? std::min(fw, cw - x0) : 0;
		for (uint32_t x = 0; x < count; x++) row[x0 + x] = colours[line[x]];
	}
	return true;
}

}  // namespace

Node decode(const uint8_t* data, size_t size) {
	Source src{data, size, 0};
	Closer c;
	int err;
	c.gif = DGifOpen(&src, read_bytes, &err);
	if (!c.gif) return 0;
	int transparent = -1;
	for (;;) {
		GifRecordType type;
		if (DGifGetRecordType(c.gif, &type) == GIF_ERROR) return 0;
		if (type == TERMINATE_RECORD_TYPE) return 0;
		if (type == EXTENSION_RECORD_TYPE) {
			int code;
			GifByteType* ext;
			if (DGifGetExtension(c.gif, &code, &ext) == GIF_ERROR) return 0;
			if (code == GRAPHICS_EXT_FUNC_CODE && ext) transparent = transparent_index(ext);
			if (!skip_sub_blocks(c.gif, ext)) return 0;
			continue;
		}
		if (type != IMAGE_DESC_RECORD_TYPE) continue;
		if (DGifGetImageDesc(c.gif) == GIF_ERROR) return 0;
		const GifImageDesc& d = c.gif->Image;
		if (d.Width <= 0 || d.Height <= 0 || d.Left < 0 || d.Top < 0) return 0;
		// A frame that reaches past the screen (or a screen of none) is the
		// image itself: its offset never makes a canvas larger than its data.
		uint32_t w = uint32_t(c.gif->SWidth), h = uint32_t(c.gif->SHeight);
		uint32_t x0 = uint32_t(d.Left), y0 = uint32_t(d.Top);
		if (x0 + uint32_t(d.Width) > w || y0 + uint32_t(d.Height) > h) {
			w = uint32_t(d.Width);
			h = uint32_t(d.Height);
			x0 = y0 = 0;
		}
		if (w > image_record::MAX_SIDE || h > image_record::MAX_SIDE) return 0;
		std::vector<GifPixelType> rows;
		if (!read_rows(c.gif, rows)) return 0;
		Node record = image_record::make(w, h);
		uint32_t* canvas = image_record::pixels(record);
		bool whole = x0 == 0 && y0 == 0 && uint32_t(d.Width) == w && uint32_t(d.Height) == h;
		if (!whole) std::memset(canvas, 0, size_t(w) * h * 4);
		return paint(c.gif, transparent, rows, canvas, w, h, x0, y0) ? record : 0;
	}
}

// ---- Encoding ----

namespace {

int write_bytes(GifFileType* gif, const GifByteType* bytes, int n) {
	auto* out = static_cast<simple_io::Bytes*>(gif->UserData);
	return out->append(bytes, size_t(n)) ? n : 0;
}

inline bool clear(uint32_t p) { return (p >> 24) < 128; }
inline uint32_t rgb_of(uint32_t p) { return p & 0xFFFFFF; }
inline uint32_t bin_of(uint32_t rgb) { return (rgb >> 9 & 0x7C00) | (rgb >> 6 & 0x3E0) | (rgb >> 3 & 0x1F); }

// The colours of an image with few of them: a small open-addressing set.
class ColourSet {
public:
	static constexpr uint32_t SLOTS = 1024;  // well above 256 entries
	// Adds the colour; false once more than `limit` colours were met.
	bool add(uint32_t rgb, uint32_t limit) {
		uint32_t i = hash(rgb);
		while (used_[i]) {
			if (keys_[i] == rgb) return true;
			i = (i + 1) & (SLOTS - 1);
		}
		if (colours.size() == limit) return false;
		used_[i] = true;
		keys_[i] = rgb;
		index_[i] = uint8_t(colours.size());
		colours.push_back(rgb);
		return true;
	}
	uint8_t index_of(uint32_t rgb) const {
		uint32_t i = hash(rgb);
		while (keys_[i] != rgb) i = (i + 1) & (SLOTS - 1);
		return index_[i];
	}
	std::vector<uint32_t> colours;

private:
	static uint32_t hash(uint32_t rgb) { return (rgb * 2654435761u) >> 22; }
	bool used_[SLOTS] = {};
	uint32_t keys_[SLOTS] = {};
	uint8_t index_[SLOTS] = {};
};

// A box of histogram bins for the median cut.
struct Box {
	uint32_t first, count;  // a range of the bins list
	uint64_t pixels;
};

struct Bin {
	uint16_t key;  // 5 bits each: r << 10 | g << 5 | b
	uint32_t pixels;
};

inline uint32_t channel(uint16_t key, int c) { return (key >> (10 - 5 * c)) & 31; }

// The channel of widest range in the box.
int widest(const std::vector<Bin>& bins, const Box& b) {
	uint32_t lo[3] = {31, 31, 31}, hi[3] = {0, 0, 0};
	for (uint32_t i = b.first; i < b.first + b.count; i++)
		for (int c = 0; c < 3; c++) {
			lo[c] = std::min(lo[c], channel(bins[i].key, c));
			hi[c] = std::max(hi[c], channel(bins[i].key, c));
		}
	int best = 0;
	for (int c = 1; c < 3; c++)
		if (hi[c] - lo[c] > hi[best] - lo[best]) best = c;
	return hi[best] > lo[best] ? best : -1;
}

// Median cut: splits the most populous splittable box until `limit` boxes.
std::vector<uint32_t> median_cut(std::vector<Bin>& bins, uint32_t limit, std::vector<uint8_t>& bin_index) {
	std::vector<Box> boxes{{0, uint32_t(bins.size()), 0}};
	for (const Bin& b : bins) boxes[0].pixels += b.pixels;
	while (boxes.size() < limit) {
		int pick = -1, axis = -1;
		for (size_t i = 0; i < boxes.size(); i++) {
			if (boxes[i].count < 2 || (pick >= 0 && boxes[i].pixels <= boxes[size_t(pick)].pixels)) continue;
			int a = widest(bins, boxes[i]);
			if (a < 0) continue;
			pick = int(i);
			axis = a;
		}
		if (pick < 0) break;
		Box& b = boxes[size_t(pick)];
		auto begin = bins.begin() + b.first, end = begin + b.count;
		std::sort(begin, end, [axis](const Bin& x, const Bin& y) { return channel(x.key, axis) < channel(y.key, axis); });
		// The cut leaves at least one bin on each side.
		uint64_t half = b.pixels / 2, seen = 0;
		uint32_t cut = 0;
		while (cut < b.count - 1 && seen < half) seen += bins[b.first + cut++].pixels;
		if (cut == 0) seen += bins[b.first + cut++].pixels;
		Box upper{b.first + cut, b.count - cut, b.pixels - seen};
		b.count = cut;
		b.pixels = seen;
		boxes.push_back(upper);
	}
	std::vector<uint32_t> palette;
	for (size_t i = 0; i < boxes.size(); i++) {
		uint64_t sum[3] = {0, 0, 0}, n = 0;
		for (uint32_t k = boxes[i].first; k < boxes[i].first + boxes[i].count; k++) {
			for (int c = 0; c < 3; c++) sum[c] += uint64_t(channel(bins[k].key, c)) * bins[k].pixels;
			n += bins[k].pixels;
			bin_index[bins[k].key] = uint8_t(i);
		}
		uint32_t rgb = 0;
		for (int c = 0; c < 3; c++) {
			uint32_t v = uint32_t((sum[c] + n / 2) / (n ? n : 1));
			rgb = rgb << 8 | (v << 3 | v >> 2);
		}
		palette.push_back(rgb);
	}
	return palette;
}

struct Encoder {
	GifFileType* gif = nullptr;
	ColorMapObject* map = nullptr;
	~Encoder() {
		int err;
		if (gif) EGifCloseFile(gif, &err);
		if (map) GifFreeMapObject(map);
	}
};

// The palette and each pixel's index.
struct Indexed {
	std::vector<uint32_t> palette;
	int transparent = -1;
	std::vector<uint8_t> indexes;
};

void index_pixels(const uint32_t* pixels, size_t n, Indexed& out) {
	bool any_clear = false;
	for (size_t i = 0; i < n && !any_clear; i++) any_clear = clear(pixels[i]);
	uint32_t limit = any_clear ? 255 : 256;
	auto set = std::make_unique<ColourSet>();
	bool few = true;
	for (size_t i = 0; i < n && few; i++)
		if (!clear(pixels[i])) few = set->add(rgb_of(pixels[i]), limit);
	out.indexes.resize(n);
	if (few) {
		out.palette = set->colours;
		for (size_t i = 0; i < n; i++)
			if (!clear(pixels[i])) out.indexes[i] = set->index_of(rgb_of(pixels[i]));
	} else {
		std::vector<uint32_t> counts(32768, 0);
		for (size_t i = 0; i < n; i++)
			if (!clear(pixels[i])) counts[bin_of(rgb_of(pixels[i]))]++;
		std::vector<Bin> bins;
		for (uint32_t k = 0; k < 32768; k++)
			if (counts[k]) bins.push_back({uint16_t(k), counts[k]});
		std::vector<uint8_t> bin_index(32768, 0);
		out.palette = median_cut(bins, limit, bin_index);
		for (size_t i = 0; i < n; i++)
			if (!clear(pixels[i])) out.indexes[i] = bin_index[bin_of(rgb_of(pixels[i]))];
	}
	if (any_clear) {
		out.transparent = int(out.palette.size());
		out.palette.push_back(0);
		for (size_t i = 0; i < n; i++)
			if (clear(pixels[i])) out.indexes[i] = uint8_t(out.transparent);
	}
}

ColorMapObject* make_map(const std::vector<uint32_t>& palette) {
	int size = 2;
	while (size_t(size) < palette.size()) size *= 2;
	ColorMapObject* map = GifMakeMapObject(size, nullptr);
	if (!map) return nullptr;
	for (int i = 0; i < size; i++) {
		uint32_t rgb = size_t(i) < palette.size() ? palette[size_t(i)] : 0;
		map->Colors[i] = GifColorType{GifByteType(rgb >> 16), GifByteType(rgb >> 8), GifByteType(rgb)};
	}
	return map;
}

}  // namespace

bool encode(const uint32_t* pixels, uint32_t w, uint32_t h, simple_io::Bytes& out) {
	Indexed ix;
	index_pixels(pixels, size_t(w) * h, ix);
	if (ix.palette.empty()) ix.palette.push_back(0);
	Encoder e;
	int err;
	e.map = make_map(ix.palette);
	if (!e.map) return false;
	e.gif = EGifOpen(&out, write_bytes, &err);
	if (!e.gif) return false;
	EGifSetGifVersion(e.gif, true);
	if (EGifPutScreenDesc(e.gif, int(w), int(h), e.map->BitsPerPixel, 0, e.map) == GIF_ERROR) return false;
	if (ix.transparent >= 0) {
		GifByteType control[4] = {1, 0, 0, GifByteType(ix.transparent)};
		if (EGifPutExtension(e.gif, GRAPHICS_EXT_FUNC_CODE, 4, control) == GIF_ERROR) return false;
	}
	if (EGifPutImageDesc(e.gif, 0, 0, int(w), int(h), false, nullptr) == GIF_ERROR) return false;
	for (uint32_t y = 0; y < h; y++)
		if (EGifPutLine(e.gif, ix.indexes.data() + size_t(y) * w, int(w)) == GIF_ERROR) return false;
	GifFileType* gif = e.gif;
	e.gif = nullptr;
	return EGifCloseFile(gif, &err) != GIF_ERROR;
}

}  // namespace vyn::image_gif
