#include "runtime/datatypes/string.h"

#include "runtime/utf8.h"

namespace vyn::string {

Cell* make_at(Cell* out, uint32_t size) {
	Node n = memory::alloc_series(size ? size : 1, 1, 0);
	cell::set(out, T_STRING, 0, n, 0);
	return out;
}

Cell* make_at_unit(Cell* out, uint32_t units, uint32_t width) {
	Node n = memory::alloc_series(units ? units : 1, width, 0);
	cell::set(out, T_STRING, 0, n, 0);
	return out;
}

void reset(Cell* value) {
	Series* s = memory::buffer_of(value);
	s->flags = (s->flags & ~SERIES_UNIT_MASK) | 1;
	s->tail = s->head;
	value->data1 = 0;
}

void append_char(Cell* buffer, uint32_t cp) {
	Series* s = memory::buffer_of(buffer);
	uint32_t width = s->unit();
	if (width == 1 ? cp > 0x7F : cp > 0xFFFF && width == 2) {
		uint32_t wanted = cp > 0xFFFF ? 4 : 2;
		s = unicode::widen(s, wanted);
		width = wanted;
	}
	uint8_t* at = memory::alloc_tail_bytes(s, width);
	unicode::put_unit(at, width, cp);
}

void append_bytes(Cell* buffer, const uint8_t* bytes, uint32_t n) {
	Series* s = memory::buffer_of(buffer);
	uint32_t width = s->unit();
	if (width == 1) {
		// Latin-1 above 0x7F widens, as append_char does.
		for (uint32_t i = 0; i < n; i++)
			if (bytes[i] > 0x7F) {
				s = unicode::widen(s, 2);
				width = 2;
				break;
			}
	}
	uint8_t* at = memory::alloc_tail_bytes(s, n * width);
	if (width == 1) {
		std::memcpy(at, bytes, n);
		return;
	}
	for (uint32_t i = 0; i < n; i++) unicode::put_unit(at + i * width, width, bytes[i]);
}

void append_utf8(Cell* buffer, const uint8_t* bytes, uint32_t n) {
	const uint8_t* p = bytes;
	const uint8_t* end = bytes + n;
	while (p < end) {
		if (*p < 0x80) {
			const uint8_t* run = p;
			while (p < end && *p < 0x80) p++;
			append_bytes(buffer, run, uint32_t(p - run));
			continue;
		}
		uint32_t remaining = uint32_t(end - p);
		int32_t cp = unicode::decode_utf8_checked(p, &remaining);
		if (cp < 0) break;  // cut at the end: nothing more to take
		append_char(buffer, uint32_t(cp));
		p += remaining;
	}
}

void append_string(Cell* buffer, Cell* source, int32_t count) {
	uint32_t length = vs_length(source);
	uint32_t n = count < 0 || uint32_t(count) > length ? length : uint32_t(count);
	if (n == 0) return;
	uint32_t from = memory::buffer_of(source)->unit();
	Series* s = memory::buffer_of(buffer);
	if (s->unit() < from) s = unicode::widen(s, from);
	uint32_t width = s->unit();
	uint8_t* at = memory::alloc_tail_bytes(s, n * width);
	// The source is re-read after the growth: it may be the same buffer.
	const uint8_t* src = vs_head(source);
	if (from == width) {
		std::memmove(at, src, size_t(n) * width);
		return;
	}
	for (uint32_t i = 0; i < n; i++) unicode::put_unit(at + i * width, width, unicode::get_unit(src + i * from, from));
}

Cell* load_at(Cell* out, const uint8_t* bytes, uint32_t size) {
	Node n = unicode::load_utf8(bytes, size);
	cell::set(out, T_STRING, 0, n, 0);
	return out;
}

void truncate(Cell* value, uint32_t n) {
	Series* s = memory::buffer_of(value);
	uint64_t bytes = uint64_t(n) * s->unit();
	if (s->used() > bytes) s->tail = s->head + uint32_t(bytes);
}

}  // namespace vyn::string
