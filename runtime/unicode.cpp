#include "runtime/unicode.h"

#include <cstdio>
#include <cstdlib>

#include "runtime/errors.h"

namespace vyn::unicode {

namespace {

constexpr uint64_t MAX_BUFFER_BYTES = 0xFFFFFF00u;

uint32_t checked_size(uint64_t bytes) {
	if (bytes > MAX_BUFFER_BYTES) errors::fire(errors::id::internal_no_memory);
	return uint32_t(bytes);
}

// Rewrites n units of type From at `base` as units of type To, last first:
// every source unit still to be read lies below the block being written,
// so nothing is overwritten before it is read. Blocks go through locals so
// the conversion loop vectorises.
template <typename From, typename To>
void spread(uint8_t* base, uint32_t n) {
	constexpr uint32_t BLOCK = 16;
	uint32_t i = n;
	while (i >= BLOCK) {
		i -= BLOCK;
		From src[BLOCK];
		To dst[BLOCK];
		std::memcpy(src, base + size_t(i) * sizeof(From), sizeof src);
		for (uint32_t k = 0; k < BLOCK; k++) dst[k] = src[k];
		std::memcpy(base + size_t(i) * sizeof(To), dst, sizeof dst);
	}
	while (i > 0) {
		i--;
		From u;
		std::memcpy(&u, base + size_t(i) * sizeof(From), sizeof u);
		To v = u;
		std::memcpy(base + size_t(i) * sizeof(To), &v, sizeof v);
	}
}

// Makes room for n units of the new width plus one, moving the buffer only
// when its capacity is short.
Series* room_to_widen(Series* s, uint32_t to) {
	uint64_t need = uint64_t(unit_count(s)) * to + to;
	return s->head + need > s->size ? grow(s, need) : s;
}

Series* finish_widening(Series* s, uint32_t n, uint32_t to) {
	s->tail = s->head + n * to;
	s->flags = (s->flags & ~SERIES_UNIT_MASK) | to;
	return s;
}

}  // namespace

void bad_width(uint32_t width) {
	std::fflush(stdout);
	std::fprintf(stderr, "*** Internal Error: string unit width %u\n", width);
	std::abort();
}

Series* grow(Series* s, uint64_t bytes) {
	const uint8_t* text = s->head_ptr();
	uint32_t used = s->used();
	Series* fresh = memory::expand_buffer(s, checked_size(bytes));
	// The abandoned buffer stays readable until the next collection.
	std::memcpy(fresh->head_ptr(), text, used);
	return fresh;
}

Series* widen_1_to_2(Series* s) {
	uint32_t n = unit_count(s);
	s = room_to_widen(s, 2);
	spread<uint8_t, uint16_t>(s->head_ptr(), n);
	return finish_widening(s, n, 2);
}

Series* widen_1_to_4(Series* s) {
	uint32_t n = unit_count(s);
	s = room_to_widen(s, 4);
	spread<uint8_t, uint32_t>(s->head_ptr(), n);
	return finish_widening(s, n, 4);
}

Series* widen_2_to_4(Series* s) {
	uint32_t n = unit_count(s);
	s = room_to_widen(s, 4);
	spread<uint16_t, uint32_t>(s->head_ptr(), n);
	return finish_widening(s, n, 4);
}

Series* widen(Series* s, uint32_t width) {
	uint32_t from = s->unit();
	if (from == 1 && width == 2) return widen_1_to_2(s);
	if (from == 1 && width == 4) return widen_1_to_4(s);
	if (from == 2 && width == 4) return widen_2_to_4(s);
	if (from != 1 && from != 2 && from != 4) bad_width(from);
	if (width != 1 && width != 2 && width != 4) bad_width(width);
	return s;  // already as wide or wider
}

Series* store(Series* s, uint32_t index, uint32_t cp) {
	uint32_t need = width_for(cp);
	if (need > s->unit()) s = widen(s, need);
	put_unit(unit_at(s, index), s->unit(), cp);
	return s;
}

uint8_t* scratch_buffer(Cell* value, uint32_t size) {
	Node node = value->data3;
	if (node) {
		Series* s = memory::series(node);
		if (s->size < size) s = memory::expand_buffer(s, size);
		return s->data();
	}
	node = memory::alloc_bytes(size);
	value->data3 = node;
	return memory::series(node)->data();
}

Series* reset_target(Node& node, uint32_t units, uint32_t width) {
	if (width != 1 && width != 2 && width != 4) bad_width(width);
	if (units == 0) units = 1;
	Series* s;
	if (!node) {
		node = memory::alloc_series(units, width, 0);
		s = memory::series(node);
	} else {
		s = memory::series(node);
		uint64_t bytes = uint64_t(units) * width;
		// The old content is replaced: grow without copying it.
		if (s->head + bytes > s->size) s = memory::expand_buffer(s, checked_size(bytes));
		s->flags = (s->flags & ~SERIES_UNIT_MASK) | width;
	}
	s->tail = s->head;
	return s;
}

// The published code page; its one undefined byte, 0x98, stands for U+0098.
const uint16_t cp1251_high[128] = {
	0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021,
	0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F,
	0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
	0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F,
	0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7,
	0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,
	0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7,
	0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,
	0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417,
	0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F,
	0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427,
	0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F,
	0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437,
	0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F,
	0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447,
	0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F,
};

Loaded load_cp1251(const uint8_t* bytes, uint32_t count, Cell* value, bool cr) {
	uint32_t width = 1;
	for (uint32_t i = 0; i < count && width == 1; i++)
		if (bytes[i] >= 0x80 && cp1251_high[bytes[i] - 0x80] > 0xFF) width = 2;
	Node node = value ? value->data2 : 0;
	if (node && memory::series(node)->unit() > width) width = memory::series(node)->unit();
	Series* s = reset_target(node, count, width);
	uint8_t* out = s->head_ptr();
	uint32_t n = 0;
	for (uint32_t i = 0; i < count; i++) {
		uint32_t cp = bytes[i];
		if (cr && cp == '\r') {
			if (i + 1 < count && bytes[i + 1] == '\n') continue;  // the LF comes next
			cp = '\n';
		}
		if (cp >= 0x80) cp = cp1251_high[cp - 0x80];
		put_unit(out + size_t(n) * width, width, cp);
		n++;
	}
	s->tail = s->head + n * width;
	return {node, s->tail};
}

}  // namespace vyn::unicode
