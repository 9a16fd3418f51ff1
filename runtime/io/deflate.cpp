#include "runtime/io/deflate.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <iterator>

#include "runtime/io/byte_order.h"
#include "runtime/io/checksum.h"

namespace vyn::deflate {

namespace {

using byte_order::load_be32;
using byte_order::load_le32;
using byte_order::load_le64;
using byte_order::store_be32;
using byte_order::store_le32;

// The room slot is 32 bits: an output that needs more cannot be reported.
constexpr uint64_t SIZE_LIMIT = 0xFFFFFFFFu;

inline uint32_t saturate(uint64_t v) { return v > SIZE_LIMIT ? uint32_t(SIZE_LIMIT) : uint32_t(v); }

// Stores the size the output needs and answers whether it fitted.
int report(uint32_t& room, uint64_t needed) {
	if (needed > SIZE_LIMIT) return BAD_DATA;
	uint32_t had = room;
	room = uint32_t(needed);
	return needed > had ? ROOM : DONE;
}

constexpr uint32_t reverse_bits(uint32_t code, unsigned count) {
	uint32_t r = 0;
	for (unsigned i = 0; i < count; i++, code >>= 1) r = r << 1 | (code & 1);
	return r;
}

// ---- RFC 1951 length and distance codes ----

struct CodeRange {
	uint16_t base;
	uint8_t extra;
};

// Code i adds `extra` bits to `base`; extra is 0 for the first 2 * step
// codes, then grows by one every `step` codes.
template <size_t N>
constexpr std::array<CodeRange, N> code_ranges(uint16_t base, unsigned step) {
	std::array<CodeRange, N> t{};
	for (unsigned i = 0; i < N; i++) {
		uint8_t extra = uint8_t(i < 2 * step ? 0 : i / step - 1);
		t[i] = {base, extra};
		base = uint16_t(base + (1u << extra));
	}
	return t;
}

// Length symbols 257..285; 285 is 258 alone.
constexpr std::array<CodeRange, 29> length_codes = [] {
	auto t = code_ranges<29>(3, 4);
	t[28] = {258, 0};
	return t;
}();

// Distance codes 0..29.
constexpr std::array<CodeRange, 30> distance_codes = code_ranges<30>(1, 2);

// ---- Writer: one block with the fixed code ----

// A code and its extra bits, bit-reversed for the least-significant-first stream.
struct Field {
	uint32_t bits;
	uint32_t count;
};

constexpr Field fixed_literal(unsigned s) {
	if (s < 144) return {reverse_bits(0x30 + s, 8), 8};
	if (s < 256) return {reverse_bits(0x190 + s - 144, 9), 9};
	if (s < 280) return {reverse_bits(s - 256, 7), 7};
	return {reverse_bits(0xC0 + s - 280, 8), 8};
}

constexpr std::array<Field, 256> literal_fields = [] {
	std::array<Field, 256> t{};
	for (unsigned s = 0; s < 256; s++) t[s] = fixed_literal(s);
	return t;
}();

// Symbol and extra bits of each match length 3..258.
constexpr std::array<Field, 259> length_fields = [] {
	std::array<Field, 259> t{};
	for (unsigned len = 3; len <= 258; len++) {
		unsigned i = 28;
		while (length_codes[i].base > len) i--;
		Field code = fixed_literal(257 + i);
		t[len] = {code.bits | (len - length_codes[i].base) << code.count, code.count + length_codes[i].extra};
	}
	return t;
}();

inline Field distance_field(uint32_t distance) {
	uint32_t x = distance - 1;
	if (x < 4) return {reverse_bits(x, 5), 5};
	unsigned k = 31 - unsigned(__builtin_clz(x));  // x in [2^k, 2^(k+1))
	unsigned code = 2 * k + ((x >> (k - 1)) & 1);
	unsigned extra = k - 1;
	static constexpr std::array<uint8_t, 30> reversed = [] {
		std::array<uint8_t, 30> t{};
		for (unsigned c = 0; c < 30; c++) t[c] = uint8_t(reverse_bits(c, 5));
		return t;
	}();
	return {reversed[code] | (x & ((1u << extra) - 1)) << 5, 5 + extra};
}

// Bit writer that stores only inside the room but counts every byte.
struct Writer {
	uint8_t* out;
	uint64_t room;
	uint64_t pos = 0;
	uint64_t buf = 0;
	unsigned bits = 0;

	void put(uint32_t value, unsigned count) {  // count <= 32
		buf |= uint64_t(value) << bits;
		bits += count;
		if (bits >= 32) spill();
	}

	void spill() {
		if (pos + 4 <= room) {
			store_le32(out + pos, uint32_t(buf));
		} else {
			for (unsigned k = 0; k < 4; k++)
				if (pos + k < room) out[pos + k] = uint8_t(buf >> (8 * k));
		}
		pos += 4;
		buf >>= 32;
		bits -= 32;
	}

	// Pads with zero bits to a byte boundary.
	void finish() {
		while (bits > 0) {
			if (pos < room) out[pos] = uint8_t(buf);
			pos++;
			buf >>= 8;
			bits = bits > 8 ? bits - 8 : 0;
		}
		buf = 0;
	}
};

constexpr unsigned MAX_MATCH = 258;
constexpr uint32_t MATCH_WINDOW = 32768;  // a match source lies less than this far back
constexpr unsigned BUCKETS = 1024;
constexpr unsigned BUCKET_SLOTS = 4;

inline uint32_t three_bytes(const uint8_t* p) { return uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2]; }

inline uint32_t lowbias32(uint32_t x) {
	x ^= x >> 16;
	x *= 0x7FEB352Du;
	x ^= x >> 15;
	x *= 0x846CA68Bu;
	x ^= x >> 16;
	return x;
}

inline uint32_t match_length(const uint8_t* a, const uint8_t* b, size_t limit) {
	size_t n = 0;
	for (; n + 8 <= limit; n += 8) {
		uint64_t x = load_le64(a + n) ^ load_le64(b + n);
		if (x) return uint32_t(n + unsigned(__builtin_ctzll(x)) / 8);
	}
	while (n < limit && a[n] == b[n]) n++;
	return uint32_t(n);
}

// The greedy pass. Buckets hold position + 1 (0 = empty) of token starts;
// positions inside a match are not entered. The table is 16 KB.
void deflate_into(Writer& w, const uint8_t* in, size_t n) {
	w.put(3, 3);  // BFINAL 1, BTYPE 01
	uint32_t table[BUCKETS][BUCKET_SLOTS] = {};
	size_t i = 0;
	while (i < n) {
		size_t left = n - i;
		bool hashed = left >= 3;
		uint32_t bucket = 0;
		size_t length = 0, distance = 0;
		if (hashed) {
			uint32_t x = three_bytes(in + i);
			bucket = lowbias32(x) & (BUCKETS - 1);
			if (i >= 3) {
				for (uint32_t entry : table[bucket]) {
					if (entry == 0) continue;
					size_t p = entry - 1;
					if (p >= i || i - p >= MATCH_WINDOW || three_bytes(in + p) != x) continue;
					distance = i - p;
					length = 3 + match_length(in + p + 3, in + i + 3, std::min<size_t>(MAX_MATCH, left) - 3);
					break;
				}
			}
		}
		if (length) {
			Field l = length_fields[length];
			Field d = distance_field(uint32_t(distance));
			w.put(l.bits | d.bits << l.count, l.count + d.count);
		} else {
			length = 1;
			w.put(literal_fields[in[i]].bits, literal_fields[in[i]].count);
		}
		if (hashed) {
			size_t next = i + length;
			uint32_t slot = 0;
			if (n - next >= 3) {
				uint32_t x = three_bytes(in + next);
				slot = ((x >> 14) - x) & (BUCKET_SLOTS - 1);
			}
			table[bucket][slot] = uint32_t(i + 1);
		}
		i += length;
	}
	w.put(0, 7);  // end of block: symbol 256 is seven zero bits
	w.finish();
}

// ---- Inflater ----

// A table entry: value (literal, base length or base distance) in bits
// 16-31, kind in bits 8-10, extra bits in 4-7, code length in 0-3.
enum Kind : uint32_t { LITERAL = 0, MATCH = 1, END = 2, INVALID = 3, LONG = 4 };

constexpr uint32_t entry(uint32_t value, Kind kind, uint32_t extra = 0) {
	return value << 16 | uint32_t(kind) << 8 | extra << 4;
}
inline Kind kind_of(uint32_t e) { return Kind((e >> 8) & 7); }
inline unsigned code_length(uint32_t e) { return e & 15; }
inline unsigned extra_of(uint32_t e) { return (e >> 4) & 15; }
inline uint32_t value_of(uint32_t e) { return e >> 16; }

constexpr std::array<uint32_t, 288> literal_meaning = [] {
	std::array<uint32_t, 288> t{};
	for (unsigned s = 0; s < 256; s++) t[s] = entry(s, LITERAL);
	t[256] = entry(0, END);
	for (unsigned s = 257; s < 286; s++) t[s] = entry(length_codes[s - 257].base, MATCH, length_codes[s - 257].extra);
	t[286] = t[287] = entry(0, INVALID);  // take part in the code, never valid in data
	return t;
}();

constexpr std::array<uint32_t, 32> distance_meaning = [] {
	std::array<uint32_t, 32> t{};
	for (unsigned s = 0; s < 30; s++) t[s] = entry(distance_codes[s].base, MATCH, distance_codes[s].extra);
	t[30] = t[31] = entry(0, INVALID);
	return t;
}();

constexpr std::array<uint32_t, 19> length_code_meaning = [] {
	std::array<uint32_t, 19> t{};
	for (unsigned s = 0; s < 19; s++) t[s] = entry(s, LITERAL);
	return t;
}();

constexpr unsigned MAX_CODE = 15;

// A canonical Huffman code. Codes of up to ROOT bits decode with one look-up
// of the next ROOT stream bits; longer ones (rare) walk the canonical code
// length by length. Unassigned codes of an incomplete code decode as INVALID.
template <unsigned ROOT, unsigned SYMBOLS>
struct Huffman {
	static constexpr uint32_t MASK = (1u << ROOT) - 1;
	uint32_t table[1u << ROOT];
	uint16_t count[MAX_CODE + 1];
	uint16_t sorted[SYMBOLS];  // symbols by code length, then by value
	const uint32_t* meaning;

	// False for an over-subscribed code.
	bool build(const uint8_t* lengths, unsigned n, const uint32_t* meaning_of) {
		meaning = meaning_of;
		std::fill(std::begin(count), std::end(count), 0);
		for (unsigned s = 0; s < n; s++) count[lengths[s]]++;
		count[0] = 0;
		int left = 1;
		for (unsigned len = 1; len <= MAX_CODE; len++) {
			left = 2 * left - count[len];
			if (left < 0) return false;
		}
		uint16_t offset[MAX_CODE + 2] = {};
		for (unsigned len = 1; len <= MAX_CODE; len++) offset[len + 1] = uint16_t(offset[len] + count[len]);
		for (unsigned s = 0; s < n; s++)
			if (lengths[s]) sorted[offset[lengths[s]]++] = uint16_t(s);

		std::fill(std::begin(table), std::end(table), entry(0, INVALID));
		uint32_t code = 0;
		unsigned k = 0;
		for (unsigned len = 1; len <= MAX_CODE; len++, code <<= 1) {
			for (unsigned j = 0; j < count[len]; j++, code++) {
				uint32_t reversed = reverse_bits(code, len);
				if (len <= ROOT) {
					uint32_t e = meaning[sorted[k++]] | len;
					for (uint32_t at = reversed; at <= MASK; at += 1u << len) table[at] = e;
				} else {
					k++;
					table[reversed & MASK] = entry(0, LONG);
				}
			}
		}
		return true;
	}

	uint32_t decode_long(uint64_t bits) const {
		uint32_t code = 0, first = 0, index = 0;
		for (unsigned len = 1; len <= MAX_CODE; len++, bits >>= 1) {
			code |= uint32_t(bits & 1);
			uint32_t n = count[len];
			if (code - first < n) return meaning[sorted[index + code - first]] | len;
			index += n;
			first = (first + n) << 1;
			code <<= 1;
		}
		return entry(0, INVALID);
	}

	uint32_t lookup(uint64_t bits) const {
		uint32_t e = table[bits & MASK];
		return kind_of(e) == LONG ? decode_long(bits) : e;
	}
};

using LiteralCode = Huffman<10, 288>;
using DistanceCode = Huffman<8, 32>;

struct FixedCodes {
	LiteralCode literal;
	DistanceCode distance;
};

const FixedCodes& fixed_codes() {
	static const FixedCodes codes = [] {
		FixedCodes c;
		uint8_t lengths[288];
		std::fill(lengths, lengths + 144, 8);
		std::fill(lengths + 144, lengths + 256, 9);
		std::fill(lengths + 256, lengths + 280, 7);
		std::fill(lengths + 280, lengths + 288, 8);
		c.literal.build(lengths, 288, literal_meaning.data());
		std::fill(lengths, lengths + 32, 5);
		c.distance.build(lengths, 32, distance_meaning.data());
		return c;
	}();
	return codes;
}

// Output bytes kept between the fast loop's position and the room's end:
// the longest match plus the overshoot of 8-byte copies.
constexpr uint64_t FAST_ROOM = MAX_MATCH + 16;

// Internal answers of the block decoders besides the Result codes.
constexpr int AGAIN = -1;      // continue with the careful path
constexpr int END_BLOCK = -2;  // end-of-block symbol read

// Reading state. Bits are taken least significant first from a 64-bit
// buffer. Past the input's end the buffer is padded with `phantom` zero
// bytes, so decoding needs no check per bit; consuming one of those bits
// means the input was truncated.
struct Inflater {
	const uint8_t* p;
	const uint8_t* end;
	uint8_t* out;
	uint64_t room;  // bytes stored at most; beyond them bytes are only counted
	uint64_t pos = 0;
	uint64_t buf = 0;
	unsigned bits = 0;
	unsigned phantom = 0;

	// Needs 8 input bytes. Bits above `bits` already hold the bytes at p,
	// so or-ing them again is harmless.
	void refill_fast() {
		buf |= load_le64(p) << bits;
		p += (63 - bits) >> 3;
		bits |= 56;
	}

	// Fills the buffer to more than 56 bits.
	void refill() {
		if (end - p >= 8) {
			refill_fast();
			return;
		}
		for (; bits <= 56; bits += 8) {
			if (p < end)
				buf |= uint64_t(*p++) << bits;
			else
				phantom++;
		}
	}

	bool overrun() const { return bits < 8 * phantom; }

	void drop(unsigned n) {
		buf >>= n;
		bits -= n;
	}

	// The extra bits of a table entry; the buffer holds them.
	uint32_t take_extra(uint32_t e) {
		unsigned n = extra_of(e);
		uint32_t v = uint32_t(buf & ((1u << n) - 1));
		drop(n);
		return v;
	}

	uint32_t take(unsigned n) {  // n <= 16
		if (bits < n) refill();
		uint32_t v = uint32_t(buf & ((1u << n) - 1));
		drop(n);
		return v;
	}

	void put(uint8_t byte) {
		if (pos < room) out[pos] = byte;
		pos++;
	}

	// A match whose source lies inside the output (distance <= pos). Bytes
	// before the room's end are stored; a source is always before them.
	void put_match(uint32_t distance, uint32_t length) {
		if (pos < room) {
			uint64_t n = std::min<uint64_t>(length, room - pos);
			uint8_t* dst = out + pos;
			const uint8_t* src = dst - distance;
			for (uint64_t k = 0; k < n; k++) dst[k] = src[k];
		}
		pos += length;
	}
};

// After a length symbol's code: its extra bits, then the distance code
// and its extra bits. False for a distance code that is not valid.
inline bool read_match(Inflater& s, uint32_t e, const DistanceCode& dist, uint32_t& length, uint32_t& distance) {
	length = value_of(e) + s.take_extra(e);
	uint32_t d = dist.lookup(s.buf);
	if (kind_of(d) != MATCH) return false;
	s.drop(code_length(d));
	distance = value_of(d) + s.take_extra(d);
	return true;
}

inline void copy_match(uint8_t* dst, uint32_t distance, uint32_t length) {
	const uint8_t* src = dst - distance;
	if (distance >= 8) {
		// Each 8-byte step reads only bytes already written; it may write up
		// to 7 bytes past the match, inside FAST_ROOM.
		uint8_t* stop = dst + length;
		do {
			std::memcpy(dst, src, 8);
			dst += 8;
			src += 8;
		} while (dst < stop);
	} else if (distance == 1) {
		std::memset(dst, *src, length);
	} else {
		for (uint32_t k = 0; k < length; k++) dst[k] = src[k];
	}
}

// Decodes symbols while 8 input bytes remain and, when STORE, while
// FAST_ROOM bytes of room remain; when not STORE the output is past the
// room and only counted. One refill covers a whole length/distance pair
// (at most 48 bits).
template <bool STORE>
int decode_fast(Inflater& s, const LiteralCode& lit, const DistanceCode& dist) {
	while (s.end - s.p >= 8) {
		if constexpr (STORE) {
			if (s.room - s.pos < FAST_ROOM) return AGAIN;
		} else {
			if (s.pos > SIZE_LIMIT) return BAD_DATA;
		}
		s.refill_fast();
		uint32_t e = lit.lookup(s.buf);
		Kind kind = kind_of(e);
		if (kind == LITERAL) {
			s.drop(code_length(e));
			if constexpr (STORE) s.out[s.pos] = uint8_t(value_of(e));
			s.pos++;
			// A second literal fits in the bits left (at least 41).
			e = lit.lookup(s.buf);
			if (kind_of(e) == LITERAL) {
				s.drop(code_length(e));
				if constexpr (STORE) s.out[s.pos] = uint8_t(value_of(e));
				s.pos++;
			}
			continue;
		}
		if (kind != MATCH) {
			if (kind != END) return BAD_DATA;
			s.drop(code_length(e));
			return END_BLOCK;
		}
		s.drop(code_length(e));
		uint32_t length, distance;
		if (!read_match(s, e, dist, length, distance)) return BAD_DATA;
		if (distance > s.pos) return BAD_DISTANCE;
		if constexpr (STORE) copy_match(s.out + s.pos, distance, length);
		s.pos += length;
	}
	return AGAIN;
}

// Decodes one symbol near the ends of the input or of the room.
int decode_careful(Inflater& s, const LiteralCode& lit, const DistanceCode& dist) {
	s.refill();
	uint32_t e = lit.lookup(s.buf);
	Kind kind = kind_of(e);
	if (kind != LITERAL && kind != MATCH && kind != END) return BAD_DATA;
	s.drop(code_length(e));
	if (kind == LITERAL) {
		if (s.overrun()) return BAD_DATA;
		s.put(uint8_t(value_of(e)));
		return AGAIN;
	}
	if (kind == END) return s.overrun() ? BAD_DATA : END_BLOCK;
	uint32_t length, distance;
	if (!read_match(s, e, dist, length, distance) || s.overrun()) return BAD_DATA;
	if (distance > s.pos) return BAD_DISTANCE;
	s.put_match(distance, length);
	return s.pos > SIZE_LIMIT ? BAD_DATA : AGAIN;
}

int decode_block(Inflater& s, const LiteralCode& lit, const DistanceCode& dist) {
	for (;;) {
		int r = s.pos < s.room ? decode_fast<true>(s, lit, dist) : decode_fast<false>(s, lit, dist);
		if (r == AGAIN) r = decode_careful(s, lit, dist);
		if (r == AGAIN) continue;
		return r == END_BLOCK ? DONE : r;
	}
}

int stored_block(Inflater& s) {
	s.drop(s.bits & 7);
	if (s.overrun()) return BAD_DATA;
	// Give back the whole bytes still in the buffer.
	s.p -= s.bits / 8 - s.phantom;
	s.buf = 0;
	s.bits = 0;
	s.phantom = 0;
	if (s.end - s.p < 4) return BAD_DATA;
	uint32_t length = uint32_t(s.p[0]) | uint32_t(s.p[1]) << 8;
	uint32_t check = uint32_t(s.p[2]) | uint32_t(s.p[3]) << 8;
	s.p += 4;
	if (check != (~length & 0xFFFF)) return BAD_DATA;
	if (size_t(s.end - s.p) < length) return SHORT_STORED;
	if (s.pos < s.room) std::memcpy(s.out + s.pos, s.p, std::min<uint64_t>(length, s.room - s.pos));
	s.pos += length;
	s.p += length;
	return s.pos > SIZE_LIMIT ? BAD_DATA : DONE;
}

// Reads a dynamic block's code lengths and builds its two codes.
int dynamic_codes(Inflater& s, LiteralCode& lit, DistanceCode& dist) {
	static constexpr uint8_t order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
	s.refill();
	unsigned literals = s.take(5) + 257;
	unsigned distances = s.take(5) + 1;
	unsigned code_lengths = s.take(4) + 4;
	uint8_t lengths[288 + 32] = {};
	for (unsigned i = 0; i < code_lengths; i++) lengths[order[i]] = uint8_t(s.take(3));
	if (s.overrun()) return BAD_DATA;
	Huffman<7, 19> lengths_code;
	if (!lengths_code.build(lengths, 19, length_code_meaning.data())) return BAD_DATA;

	std::fill(lengths, lengths + 19, 0);
	unsigned total = literals + distances;
	for (unsigned i = 0; i < total;) {
		s.refill();
		uint32_t e = lengths_code.lookup(s.buf);
		if (kind_of(e) != LITERAL) return BAD_DATA;
		s.drop(code_length(e));
		uint32_t symbol = value_of(e);
		if (symbol < 16) {
			lengths[i++] = uint8_t(symbol);
			continue;
		}
		uint8_t repeated = 0;
		unsigned run;
		if (symbol == 16) {
			if (i == 0) return BAD_DATA;
			repeated = lengths[i - 1];
			run = 3 + s.take(2);
		} else if (symbol == 17) {
			run = 3 + s.take(3);
		} else {
			run = 11 + s.take(7);
		}
		if (run > total - i) return BAD_DATA;
		std::fill(lengths + i, lengths + i + run, repeated);
		i += run;
	}
	if (s.overrun()) return BAD_DATA;
	if (lengths[256] == 0) return BAD_DATA;  // a block that could never end
	if (!lit.build(lengths, literals, literal_meaning.data())) return BAD_DATA;
	if (!dist.build(lengths + literals, distances, distance_meaning.data())) return BAD_DATA;
	return DONE;
}

// Inflates the whole stream; `produced` gets the bytes it expands to (as far
// as it was decoded). A stream must end with its final block: running out of
// input before is BAD_DATA.
int inflate(uint8_t* out, uint64_t room, const uint8_t* in, size_t length, uint64_t& produced) {
	Inflater s{in, in + length, out, out ? room : 0};
	LiteralCode lit;
	DistanceCode dist;
	for (;;) {
		uint32_t header = s.take(3);
		int r;
		if (s.overrun()) {
			r = BAD_DATA;
		} else {
			switch (header >> 1) {
			case 0: r = stored_block(s); break;
			case 1: r = decode_block(s, fixed_codes().literal, fixed_codes().distance); break;
			case 2:
				r = dynamic_codes(s, lit, dist);
				if (r == DONE) r = decode_block(s, lit, dist);
				break;
			default: r = BAD_BLOCK; break;
			}
		}
		produced = s.pos;
		if (r != DONE || (header & 1)) return r;
	}
}

// Result of an inflate as the routines answer it.
int settle(int r, uint32_t& room, uint64_t produced) {
	if (r == BAD_DISTANCE) room = saturate(produced);
	if (r != DONE) return r;
	return report(room, produced);
}

bool is_gzip(const uint8_t* in, size_t length) {
	return length > 2 && in[0] == 0x1F && in[1] == 0x8B && in[2] == 0x08;
}

constexpr size_t ZLIB_FRAME = 6;
constexpr size_t GZIP_FRAME = 18;
constexpr uint8_t GZIP_HEADER[10] = {0x1F, 0x8B, 0x08, 0, 0, 0, 0, 0, 0x04, 0x04};
constexpr uint8_t FHCRC = 0x02, FEXTRA = 0x04, FNAME = 0x08, FCOMMENT = 0x10;

// Offset of the deflate data in a gzip member, or 0 when the header is bad.
size_t gzip_data_start(const uint8_t* in, size_t length) {
	if (length < GZIP_FRAME || !is_gzip(in, length) || in[3] >= 32) return 0;
	uint8_t flags = in[3];
	size_t limit = length - 8;  // the header ends before the trailer
	size_t at = 10;
	if (flags & FEXTRA) {
		if (limit - at < 2) return 0;
		size_t extra = size_t(in[at]) | size_t(in[at + 1]) << 8;
		at += 2;
		if (limit - at < extra) return 0;
		at += extra;
	}
	for (uint8_t field : {FNAME, FCOMMENT}) {
		if (!(flags & field)) continue;
		const void* zero = std::memchr(in + at, 0, limit - at);
		if (!zero) return 0;
		at = size_t(static_cast<const uint8_t*>(zero) - in) + 1;
	}
	if (flags & FHCRC) {
		if (limit - at < 2) return 0;
		uint32_t crc = checksum::crc32(in, at) & 0xFFFF;
		if ((uint32_t(in[at]) | uint32_t(in[at + 1]) << 8) != crc) return 0;
		at += 2;
	}
	return at;
}

}  // namespace

int compress(uint8_t* out, uint32_t& room, const uint8_t* in, size_t length) {
	if (length >= SIZE_LIMIT) return BAD_DATA;  // positions must fit the match table
	Writer w{out, out ? room : 0};
	deflate_into(w, in, length);
	return report(room, w.pos);
}

int uncompress(uint8_t* out, uint32_t& room, const uint8_t* in, size_t length) {
	uint64_t produced = 0;
	int r = inflate(out, room, in, length, produced);
	return settle(r, room, produced);
}

int zlib_compress(uint8_t* out, uint32_t& room, const uint8_t* in, size_t length) {
	if (!out || room < ZLIB_FRAME) {
		room = saturate(uint64_t(length) + ZLIB_FRAME);
		return BAD_DATA;
	}
	if (length >= SIZE_LIMIT) return BAD_DATA;
	out[0] = 0x78;
	out[1] = 0x01;
	Writer w{out + 2, room - ZLIB_FRAME};
	deflate_into(w, in, length);
	uint64_t needed = w.pos + ZLIB_FRAME;
	if (needed <= room) store_be32(out + 2 + w.pos, checksum::adler32(in, length));
	return report(room, needed);
}

int zlib_uncompress(uint8_t* out, uint32_t& room, const uint8_t* in, size_t length) {
	if (length < ZLIB_FRAME) return BAD_DATA;
	uint32_t cmf = in[0], flg = in[1];
	if ((cmf * 256 + flg) % 31 != 0 || (cmf & 0x0F) != 8 || (cmf & 0x80) || (flg & 0x20)) return BAD_DATA;
	uint64_t produced = 0;
	int r = inflate(out, room, in + 2, length - ZLIB_FRAME, produced);
	if (r != DONE) return settle(r, room, produced);
	// The check needs the whole output in hand.
	if ((out && produced <= room) || produced == 0)
		if (checksum::adler32(out, produced) != load_be32(in + length - 4)) return BAD_DATA;
	return report(room, produced);
}

int gzip_compress(uint8_t* out, uint32_t& room, const uint8_t* in, size_t length) {
	if (is_gzip(in, length)) {
		if (length > SIZE_LIMIT) return BAD_DATA;
		bool fits = out && length <= room;
		if (fits) std::memcpy(out, in, length);
		room = uint32_t(length);
		return fits ? DONE : ROOM;
	}
	if (!out || room < GZIP_FRAME) {
		room = saturate(uint64_t(length) + GZIP_FRAME);
		return BAD_DATA;
	}
	if (length >= SIZE_LIMIT) return BAD_DATA;
	std::memcpy(out, GZIP_HEADER, sizeof GZIP_HEADER);
	Writer w{out + 10, room - GZIP_FRAME};
	deflate_into(w, in, length);
	uint64_t needed = w.pos + GZIP_FRAME;
	if (needed <= room) {
		store_le32(out + 10 + w.pos, checksum::crc32(in, length));
		store_le32(out + 14 + w.pos, uint32_t(length));
	}
	return report(room, needed);
}

int gzip_uncompress(uint8_t* out, uint32_t& room, const uint8_t* in, size_t length) {
	size_t start = gzip_data_start(in, length);
	if (start == 0) return BAD_DATA;
	uint32_t crc = load_le32(in + length - 8);
	uint32_t size = load_le32(in + length - 4);
	// The trailer's size is only a claim: with too little room the data is
	// decoded (and counted) to learn the real size, which must agree.
	bool fits = out && size <= room;
	uint64_t produced = 0;
	int r = inflate(fits ? out : nullptr, room, in + start, length - 8 - start, produced);
	if (r != DONE) return settle(r, room, produced);
	if (produced != size) return BAD_DATA;
	if ((fits || produced == 0) && checksum::crc32(out, produced) != crc) return BAD_DATA;
	return report(room, produced);
}

}  // namespace vyn::deflate
