#include "runtime/utf8.h"

#include <array>
#include <bit>
#include <cstdint>

#include "runtime/errors.h"

namespace vyn::unicode {

namespace {

constexpr int32_t CUT = -1;        // the input ends inside a sequence
constexpr int32_t MALFORMED = -2;

constexpr uint64_t HIGH_BITS = 0x8080808080808080ull;
constexpr uint64_t LOW_BITS = 0x0101010101010101ull;

inline uint64_t load8(const uint8_t* p) {
	uint64_t w;
	std::memcpy(&w, p, 8);
	return w;
}

// Non-zero when a byte of w equals `byte`.
inline uint64_t has_byte(uint64_t w, uint8_t byte) {
	uint64_t x = w ^ (LOW_BITS * byte);
	return (x - LOW_BITS) & ~x & HIGH_BITS;
}

// The end of the run of ASCII bytes at p, stopping also at `stop` when
// Stop is set.
template <bool Stop>
inline const uint8_t* ascii_run(const uint8_t* p, const uint8_t* end, uint8_t stop) {
	while (end - p >= 32) {
		uint64_t w0 = load8(p), w1 = load8(p + 8), w2 = load8(p + 16), w3 = load8(p + 24);
		if ((w0 | w1 | w2 | w3) & HIGH_BITS) break;
		if (Stop && (has_byte(w0, stop) | has_byte(w1, stop) | has_byte(w2, stop) | has_byte(w3, stop))) break;
		p += 32;
	}
	while (end - p >= 8) {
		uint64_t w = load8(p);
		if ((w & HIGH_BITS) || (Stop && has_byte(w, stop))) break;
		p += 8;
	}
	while (p < end && *p < 0x80 && !(Stop && *p == stop)) p++;
	return p;
}

// The checked decoder's rules; `left` >= 1. The followers present are
// checked before a cut is reported, so a cut is always a valid prefix.
inline int32_t decode_checked(const uint8_t* p, uint32_t left, uint32_t* length) {
	uint32_t b = p[0];
	if (b < 0x80) {
		*length = 1;
		return int32_t(b);
	}
	uint32_t need, cp;
	if (b < 0xC0) return MALFORMED;
	if (b < 0xE0) {
		need = 2;
		cp = b - 0xC0;
	} else if (b < 0xF0) {
		need = 3;
		cp = b - 0xE0;
	} else if (b < 0xF8) {
		need = 4;
		cp = b - 0xF0;
	} else {
		return MALFORMED;
	}
	uint32_t have = left < need ? left : need;
	for (uint32_t i = 1; i < have; i++) {
		uint32_t c = p[i];
		if ((c & 0xC0) != 0x80) return MALFORMED;
		cp = (cp << 6) | (c & 0x3F);
	}
	if (have < need) return CUT;
	if (need == 3 && (cp & 0xFF00) == 0xDC00) return MALFORMED;
	if (need == 4 && cp > MAX_CODEPOINT) return MALFORMED;
	*length = need;
	return int32_t(cp);
}

// Raises invalid-utf8 with the bytes from the offending lead byte (4 at
// most) as a binary! value.
[[noreturn]] void fire_invalid_utf8(const uint8_t* p, size_t left) {
	uint32_t n = left < 4 ? uint32_t(left) : 4;
	Node node = memory::alloc_bytes(n);
	Series* s = memory::series(node);
	std::memcpy(s->data(), p, n);
	s->tail = s->head + n;
	Cell bytes;
	cell::set(&bytes, T_BINARY, 0, node, 0);
	errors::fire(errors::id::access_invalid_utf8, &bytes);
}

[[noreturn]] void fire_invalid_char(uint32_t cp) {
	Cell c;
	cell::make_integer(&c, int32_t(cp));
	errors::fire(errors::id::script_invalid_char, &c);
}

static_assert(std::endian::native == std::endian::little);

// Sequence length by lead byte under the checked rules; 0: malformed lead.
constexpr std::array<uint8_t, 256> build_lead_lengths() {
	std::array<uint8_t, 256> t{};
	for (int b = 0; b < 256; b++) t[size_t(b)] = b < 0x80 ? 1 : b < 0xC0 ? 0 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : b < 0xF8 ? 4 : 0;
	return t;
}
constexpr std::array<uint8_t, 256> lead_length = build_lead_lengths();

// decode_checked when at least 4 bytes are left, without branching on the
// sequence length: all four bytes are read, the lead byte's table entry
// picks the masks, and every check folds into one condition.
inline int32_t decode_whole(const uint8_t* p, uint32_t* length) {
	static constexpr uint32_t lead_mask[5] = {0, 0x7F, 0x1F, 0x0F, 0x07};
	static constexpr uint32_t follower_mask[5] = {0, 0, 0xC000, 0xC0C000, 0xC0C0C000};
	static constexpr uint32_t follower_bits[5] = {0, 0, 0x8000, 0x808000, 0x80808000};
	static constexpr uint32_t shift[5] = {0, 18, 12, 6, 0};
	uint32_t w;
	std::memcpy(&w, p, 4);
	uint32_t len = lead_length[w & 0xFF];
	uint32_t cp = (w & lead_mask[len]) << 18 | (w >> 8 & 0x3F) << 12 | (w >> 16 & 0x3F) << 6 | (w >> 24 & 0x3F);
	cp >>= shift[len];
	bool bad = (len == 0) | ((w & follower_mask[len]) != follower_bits[len])
		| ((len == 3) & ((cp & 0xFF00) == 0xDC00)) | ((len == 4) & (cp > MAX_CODEPOINT));
	*length = len;
	return bad ? MALFORMED : int32_t(cp);
}

template <typename T>
inline void store_as(uint8_t* at, uint32_t cp) {
	T v = T(cp);
	std::memcpy(at, &v, sizeof v);
}

// A loader's progress through its input.
enum class Stop { end, cut, malformed, wider };
struct Run {
	const uint8_t* p;  // next input byte
	uint32_t n;        // units stored
	uint32_t cp;       // with Stop::wider: the decoded codepoint that does not fit
	Stop stop;
};

// Decodes into units of type T from unit r.n on, until the input ends,
// is cut or malformed, or a codepoint needs a wider unit. The caller
// guarantees room for one unit per input byte left.
template <typename T, bool LineEnds>
void decode_run(Run& r, const uint8_t* end, uint8_t* base) {
	constexpr uint32_t limit = T(~T(0));
	const uint8_t* p = r.p;
	uint8_t* out = base + size_t(r.n) * sizeof(T);
	r.stop = Stop::end;
	while (p < end) {
		// Whole words of ASCII are copied as they are checked.
		while (end - p >= 8) {
			uint64_t w = load8(p);
			if ((w & HIGH_BITS) || (LineEnds && has_byte(w, '\r'))) break;
			if constexpr (sizeof(T) == 1) {
				std::memcpy(out, &w, 8);
			} else {
				for (int k = 0; k < 8; k++) store_as<T>(out + k * sizeof(T), uint8_t(w >> (8 * k)));
			}
			out += 8 * sizeof(T);
			p += 8;
		}
		if (p == end) break;
		uint32_t length;
		int32_t cp = end - p >= 4 ? decode_whole(p, &length) : decode_checked(p, uint32_t(end - p), &length);
		if (cp < 0) {
			r.stop = cp == CUT ? Stop::cut : Stop::malformed;
			break;
		}
		p += length;
		// A CR: dropped before an LF (stored next), else stored as LF.
		if (LineEnds && cp == '\r') {
			if (p < end && *p == '\n') continue;
			cp = '\n';
		}
		if (uint32_t(cp) > limit) {
			r.stop = Stop::wider;
			r.cp = uint32_t(cp);
			break;
		}
		store_as<T>(out, uint32_t(cp));
		out += sizeof(T);
	}
	r.p = p;
	r.n = uint32_t((out - base) / sizeof(T));
}

template <bool LineEnds>
void decode_at_width(Run& r, const uint8_t* end, Series* s) {
	switch (s->unit()) {
	case 1: decode_run<uint8_t, LineEnds>(r, end, s->head_ptr()); break;
	case 2: decode_run<uint16_t, LineEnds>(r, end, s->head_ptr()); break;
	case 4: decode_run<uint32_t, LineEnds>(r, end, s->head_ptr()); break;
	default: bad_width(s->unit());
	}
}

// Widens a loader's buffer holding n units for `cp`, with room for it and
// one unit per input byte left, so the loader never checks for room.
Series* widen_for_load(Series* s, uint32_t n, uint32_t cp, size_t left) {
	uint32_t to = width_for(cp);
	s->tail = s->head + n * s->unit();
	uint64_t need = (uint64_t(n) + left + 1) * to;
	if (s->head + need > s->size) s = grow(s, need);
	return widen(s, to);
}

// Encodes n units of `width`; with crlf an LF gets a CR first. Answers the
// end of the output.
uint8_t* encode_units(const uint8_t* src, uint32_t n, uint32_t width, uint8_t* out, bool crlf) {
	if (width != 1 && width != 2 && width != 4) bad_width(width);
	const uint8_t* end = src + size_t(n) * width;
	while (src < end) {
		if (width == 1 && *src < 0x80) {
			const uint8_t* run = crlf ? ascii_run<true>(src, end, '\n') : ascii_run<false>(src, end, 0);
			std::memcpy(out, src, size_t(run - src));
			out += run - src;
			src = run;
			if (src == end) break;
		}
		uint32_t c = get_unit(src, width);
		src += width;
		if (c == '\n' && crlf) *out++ = '\r';
		out += encode_utf8(c, out);
	}
	return out;
}

// Units to encode from a value's head: all, or max_units when it is not
// negative and smaller.
uint32_t units_from_head(Cell* value, int64_t max_units) {
	uint32_t head = clamp_head(value);
	uint32_t n = unit_count(memory::buffer_of(value)) - head;
	if (max_units >= 0 && uint64_t(max_units) < n) n = uint32_t(max_units);
	return n;
}

}  // namespace

uint32_t count_codepoints(const uint8_t* p, const uint8_t* end) {
	uint32_t n = 0;
	while (p < end) {
		if (*p < 0x80) {
			const uint8_t* run = ascii_run<false>(p, end, 0);
			n += uint32_t(run - p);
			p = run;
			continue;
		}
		int32_t cp;
		p = detail::decode_sequence<true>(p, end, &cp);
		n++;
	}
	return n;
}

const uint8_t* skip_codepoints(const uint8_t* p, const uint8_t* end, uint32_t n) {
	while (n > 0 && p < end) {
		int32_t cp;
		p = detail::decode_sequence<true>(p, end, &cp);
		n--;
	}
	return p;
}

int32_t decode_utf8_checked(const uint8_t* p, uint32_t* remaining) {
	if (*remaining == 0) return CUT;
	uint32_t length;
	int32_t cp = decode_checked(p, *remaining, &length);
	if (cp == MALFORMED) fire_invalid_utf8(p, *remaining);
	if (cp != CUT) *remaining = length;
	return cp;
}

Loaded load_utf8_buffer(const uint8_t* bytes, uint32_t count, Node target, uint32_t* remainder, bool line_ends) {
	if (remainder) *remainder = 0;
	Node node = target;
	Series* s = reset_target(node, count, target ? memory::series(target)->unit() : 1);
	if (count == 0) return {node, s->tail};
	const uint8_t* end = bytes + count;
	Run r{bytes, 0, 0, Stop::end};
	if (count > 2 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) r.p += 3;
	for (;;) {
		if (line_ends)
			decode_at_width<true>(r, end, s);
		else
			decode_at_width<false>(r, end, s);
		if (r.stop != Stop::wider) break;
		s = widen_for_load(s, r.n, r.cp, size_t(end - r.p));
		put_unit(unit_at(s, r.n), s->unit(), r.cp);
		r.n++;
	}
	s->tail = s->head + r.n * s->unit();
	// Without a remainder to carry, a cut sequence would be lost: malformed.
	if (r.stop == Stop::malformed || (r.stop == Stop::cut && !remainder)) fire_invalid_utf8(r.p, size_t(end - r.p));
	if (r.stop == Stop::cut) *remainder = uint32_t(end - r.p);
	return {node, s->tail};
}

uint32_t codepoint_utf8_length(uint32_t cp) {
	if (cp < 0x80) return 1;
	if (cp < 0x800) return 2;
	if (cp < 0x10000) return 3;
	if (cp <= MAX_CODEPOINT) return 4;
	fire_invalid_char(cp);
}

uint32_t utf8_size(const uint8_t* start, const uint8_t* end, uint32_t width) {
	if (width != 1 && width != 2 && width != 4) bad_width(width);
	uint32_t bytes = 0;
	for (const uint8_t* p = start; p < end; p += width) bytes += codepoint_utf8_length(get_unit(p, width));
	return bytes;
}

uint32_t encode_utf8(uint32_t cp, uint8_t* out) {
	if (cp < 0x80) {
		out[0] = uint8_t(cp);
		return 1;
	}
	if (cp < 0x800) {
		out[0] = uint8_t(0xC0 | (cp >> 6));
		out[1] = uint8_t(0x80 | (cp & 0x3F));
		return 2;
	}
	if (cp < 0x10000) {
		out[0] = uint8_t(0xE0 | (cp >> 12));
		out[1] = uint8_t(0x80 | ((cp >> 6) & 0x3F));
		out[2] = uint8_t(0x80 | (cp & 0x3F));
		return 3;
	}
	if (cp > MAX_CODEPOINT) fire_invalid_char(cp);
	out[0] = uint8_t(0xF0 | (cp >> 18));
	out[1] = uint8_t(0x80 | ((cp >> 12) & 0x3F));
	out[2] = uint8_t(0x80 | ((cp >> 6) & 0x3F));
	out[3] = uint8_t(0x80 | (cp & 0x3F));
	return 4;
}

uint32_t encode_utf8_bounded(uint32_t cp, uint8_t* out, int32_t room) {
	uint8_t whole[4];
	uint32_t n = encode_utf8(cp, whole);
	if (room <= 0) return 0;
	if (uint32_t(room) < n) n = uint32_t(room);
	std::memcpy(out, whole, n);
	return n;
}

uint8_t* to_utf8_scratch(Cell* value, int32_t* count, bool crlf) {
	uint32_t n = units_from_head(value, *count);
	uint32_t width = memory::buffer_of(value)->unit();
	// The longest encoding of each unit, with room for a CR before each LF.
	uint64_t room = uint64_t(width == 4 ? 4 : width + 1) * (uint64_t(n) + 1);
	if (room > 0xFFFFFF00u) errors::fire(errors::id::internal_no_memory);
	uint8_t* out = scratch_buffer(value, uint32_t(room));
	Series* s = memory::buffer_of(value);
	uint8_t* end = encode_units(unit_at(s, value->data1), n, width, out, crlf);
	*end = 0;
	*count = int32_t(end - out);
	return out;
}

uint32_t to_utf8_into(Cell* value, uint8_t* out, int32_t max_units, bool terminate) {
	uint32_t n = units_from_head(value, max_units);
	Series* s = memory::buffer_of(value);
	uint8_t* end = encode_units(unit_at(s, value->data1), n, s->unit(), out, false);
	if (terminate) *end = 0;
	return uint32_t(end - out);
}

uint32_t to_utf8_part(Cell* value, uint8_t* buffer, uint32_t size, int32_t max_units, bool terminate) {
	uint32_t n = units_from_head(value, max_units > 0 ? max_units : -1);
	Series* s = memory::buffer_of(value);
	uint32_t width = s->unit();
	const uint8_t* src = unit_at(s, value->data1);
	// Keep one byte for the terminator so it never lands past the buffer.
	int64_t room = int64_t(size) - (terminate ? 1 : 0);
	if (room > INT32_MAX) room = INT32_MAX;
	uint32_t written = 0;
	for (uint32_t i = 0; i < n && room > 0; i++) {
		uint32_t c = get_unit(src + size_t(i) * width, width);
		uint32_t full = codepoint_utf8_length(c);
		uint32_t k = encode_utf8_bounded(c, buffer + written, int32_t(room));
		written += k;
		room -= k;
		if (k < full) break;
	}
	if (terminate && size > 0) buffer[written] = 0;
	return written;
}

}  // namespace vyn::unicode
