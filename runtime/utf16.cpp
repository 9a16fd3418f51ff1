#include "runtime/utf16.h"

#include "runtime/errors.h"

namespace vyn::unicode {

namespace {

inline uint32_t unit16(const uint8_t* units, uint32_t i) {
	return uint32_t(units[2 * size_t(i)]) | uint32_t(units[2 * size_t(i) + 1]) << 8;
}

inline bool high_surrogate(uint32_t u) { return (u & 0xFC00) == 0xD800; }
inline bool low_surrogate(uint32_t u) { return (u & 0xFC00) == 0xDC00; }

// Stores the units into `out` at width 1 or 2, dropping CRs when asked;
// answers the units stored.
uint32_t store_narrow(const uint8_t* units, uint32_t count, uint8_t* out, uint32_t width, bool cr) {
	if (width == 2 && !cr) {
		std::memcpy(out, units, size_t(count) * 2);  // little-endian both sides
		return count;
	}
	uint32_t n = 0;
	for (uint32_t i = 0; i < count; i++) {
		uint32_t u = unit16(units, i);
		if (cr && u == '\r') continue;
		put_unit(out + size_t(n) * width, width, u);
		n++;
	}
	return n;
}

// Stores at width 4, joining surrogate pairs; an unpaired surrogate is
// stored as itself.
uint32_t store_wide(const uint8_t* units, uint32_t count, uint8_t* out, bool cr) {
	uint32_t n = 0;
	for (uint32_t i = 0; i < count; i++) {
		uint32_t u = unit16(units, i);
		if (cr && u == '\r') continue;
		if (high_surrogate(u) && i + 1 < count && low_surrogate(unit16(units, i + 1))) {
			u = 0x10000 + ((u & 0x3FF) << 10) + (unit16(units, i + 1) & 0x3FF);
			i++;
		}
		put_unit(out + size_t(n) * 4, 4, u);
		n++;
	}
	return n;
}

}  // namespace

uint32_t utf16_unit_width(const uint8_t* units, uint32_t count) {
	uint32_t width = 1;
	for (uint32_t i = 0; i < count; i++) {
		uint8_t high = units[2 * size_t(i) + 1];
		if (high >= 0xD8 && high <= 0xDF) return 4;
		if (high) width = 2;
	}
	return width;
}

Loaded load_utf16(const uint8_t* units, uint32_t count, Cell* value, bool cr) {
	if (!units) {
		// The value's scratch buffer holds the input; never read past it.
		Series* scratch = value && value->data3 ? memory::series(value->data3) : nullptr;
		uint32_t room = scratch ? scratch->size / 2 : 0;
		if (count > room) count = room;
		units = scratch ? scratch->data() : nullptr;
	}
	uint32_t width = utf16_unit_width(units, count);
	Node node = value ? value->data2 : 0;
	Series* s = reset_target(node, count, width);
	s->flags |= SERIES_UTF16;
	uint32_t n = count == 0 ? 0
		: width == 4 ? store_wide(units, count, s->head_ptr(), cr)
		: store_narrow(units, count, s->head_ptr(), width, cr);
	s->tail = s->head + n * width;
	return {node, s->tail};
}

uint32_t utf16_extra_bytes(const uint8_t* start, const uint8_t* end, uint32_t width) {
	if (width != 1 && width != 2 && width != 4) bad_width(width);
	uint32_t extra = 0;
	for (const uint8_t* p = start; p < end; p += width) {
		uint32_t c = get_unit(p, width);
		if (c == '\n' || c > 0xFFFF) extra += 2;
	}
	return extra;
}

uint32_t encode_utf16(uint32_t cp, uint16_t* out) {
	if (cp < 0x10000) {
		out[0] = uint16_t(cp);
		return 1;
	}
	if (cp > MAX_CODEPOINT) return 0;
	cp -= 0x10000;
	out[0] = uint16_t(0xD800 | (cp >> 10));
	out[1] = uint16_t(0xDC00 | (cp & 0x3FF));
	return 2;
}

uint16_t* to_utf16_part(Cell* value, int32_t* count, bool crlf) {
	uint32_t head = clamp_head(value);
	Series* s = memory::buffer_of(value);
	uint32_t width = s->unit();
	uint32_t n = unit_count(s) - head;
	if (*count >= 0 && uint32_t(*count) < n) n = uint32_t(*count);
	const uint8_t* src = unit_at(s, head);
	uint64_t room = 2 * uint64_t(n) + 2 + utf16_extra_bytes(src, src + size_t(n) * width, width);
	if (room > 0xFFFFFF00u) errors::fire(errors::id::internal_no_memory);
	auto* out = reinterpret_cast<uint16_t*>(scratch_buffer(value, uint32_t(room)));
	src = unit_at(memory::buffer_of(value), head);
	uint16_t* at = out;
	if (width == 2 && !crlf) {
		std::memcpy(at, src, size_t(n) * 2);
		at += n;
	} else {
		for (uint32_t i = 0; i < n; i++) {
			uint32_t c = get_unit(src + size_t(i) * width, width);
			if (c == '\n' && crlf) *at++ = '\r';
			uint32_t k = encode_utf16(c, at);
			if (k == 0) {
				*count = 0;
				return nullptr;
			}
			at += k;
		}
	}
	*at = 0;
	*count = int32_t(at - out);
	return out;
}

uint16_t* to_utf16(Cell* value) {
	int32_t count = -1;
	return to_utf16_part(value, &count, true);
}

void ascii_to_utf16(const char* text, uint16_t* out) {
	while (*text) *out++ = uint8_t(*text++);
	*out = 0;
}

}  // namespace vyn::unicode
