#include "runtime/io/crush.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "runtime/io/byte_order.h"

namespace vyn::crush {

namespace {

using byte_order::load_le32;
using byte_order::load_le64;
using byte_order::store_le32;

constexpr uint32_t HASH3_MASK = (1u << 19) - 1;
constexpr uint32_t HASH4_MASK = (1u << 20) - 1;
constexpr uint32_t CHAIN_MASK = WINDOW - 1;
constexpr int CHAIN_TRIES = 256;
constexpr uint32_t FAR_THREE = 65536;  // a 3-byte match beyond this costs more than literals

// ---- Writing ----

// Bit writer into out[pos .. limit); `full` once a byte would land past it.
struct Writer {
	uint8_t* out;
	uint64_t pos;
	uint64_t limit;
	uint64_t buf = 0;
	unsigned bits = 0;
	bool full = false;

	void put(uint32_t value, unsigned count) {  // count <= 32
		buf |= uint64_t(value) << bits;
		bits += count;
		if (bits >= 32) {
			if (pos + 4 > limit) {
				full = true;
			} else {
				store_le32(out + pos, uint32_t(buf));
				pos += 4;
			}
			buf >>= 32;
			bits -= 32;
		}
	}

	// Pads with zero bits to a byte boundary and writes the rest out.
	void flush() {
		while (bits > 0) {
			if (pos >= limit) {
				full = true;
				return;
			}
			out[pos++] = uint8_t(buf);
			buf >>= 8;
			bits = bits > 8 ? bits - 8 : 0;
		}
		buf = 0;
	}

	void put_word(uint32_t v) {  // at a byte boundary
		if (pos + 4 > limit) {
			full = true;
			return;
		}
		store_le32(out + pos, v);
		pos += 4;
	}
};

void put_match(Writer& w, uint32_t length, uint32_t distance) {
	uint32_t m = length - 3;
	w.put(1, 1);
	if (m < 4)
		w.put(1 | m << 1, 3);
	else if (m < 8)
		w.put(2 | (m - 4) << 2, 4);
	else if (m < 12)
		w.put(4 | (m - 8) << 3, 5);
	else if (m < 20)
		w.put(8 | (m - 12) << 4, 7);
	else if (m < 52)
		w.put(16 | (m - 20) << 5, 10);
	else
		w.put((m - 52) << 5, 14);
	uint32_t d = distance - 1;
	if (d < 8) {
		w.put(0, 4);
		w.put(d, 3);
	} else {
		unsigned k = 31 - unsigned(__builtin_clz(d));  // d in [2^k, 2^(k+1))
		w.put(k - 2, 4);
		w.put(d - (1u << k), k);
	}
}

// Equal bytes of a and b, up to limit.
inline uint32_t match_length(const uint8_t* a, const uint8_t* b, uint32_t limit) {
	uint32_t n = 0;
	for (; n + 8 <= limit; n += 8) {
		uint64_t x = load_le64(a + n) ^ load_le64(b + n);
		if (x) return n + unsigned(__builtin_ctzll(x)) / 8;
	}
	while (n < limit && a[n] == b[n]) n++;
	return n;
}

// Extra bits a match at `distance` must win by: one per three bits by
// which (distance >> 4) outgrows the best distance found so far.
inline uint32_t distance_penalty(uint32_t distance, uint32_t best_distance) {
	uint32_t penalty = 0;
	for (uint32_t t = distance >> 4; t > best_distance; t >>= 3) penalty++;
	return penalty;
}

// Makes `size` fresh positions available from ws.base on.
void claim_positions(Workspace& ws, uint32_t size) {
	if (ws.base == 0 || ws.base > UINT32_MAX - size) {
		std::fill(std::begin(ws.head3), std::end(ws.head3), 0);
		std::fill(std::begin(ws.head4), std::end(ws.head4), 0);
		ws.base = 1;
	}
}

void compress_block(const uint8_t* b, uint32_t size, Writer& w, Workspace& ws) {
	w.put_word(size);
	claim_positions(ws, size);
	// Table entries are base + position; anything below base belongs to an
	// earlier block and is as good as empty.
	const uint32_t base = ws.base;
	ws.base += size;
	// Bytes past the block read as 0 for hashing; matches never reach them.
	auto at = [b, size](uint32_t i) -> uint32_t { return i < size ? b[i] : 0; };
	uint32_t h3 = 0, h4 = 0;
	for (uint32_t k = 0; k < 3; k++) h3 = ((h3 << 7) + at(k)) & HASH3_MASK;
	for (uint32_t k = 0; k < 4; k++) h4 = ((h4 << 5) + at(k)) & HASH4_MASK;

	uint32_t pos = 0;
	while (pos < size) {
		uint32_t best = 2, best_distance = WINDOW;
		uint32_t limit = std::min(MAX_MATCH, size - pos);
		uint32_t window_start = base + (pos > WINDOW ? pos - WINDOW : 0);
		const uint8_t* here = b + pos;

		uint32_t c = ws.head3[h3];
		if (c >= window_start && b[c - base] == *here) {
			uint32_t j = match_length(b + (c - base), here, limit);
			if (j > best) {
				best = j;
				best_distance = base + pos - c;
			}
		}
		if (best < MAX_MATCH) {
			c = ws.head4[h4];
			for (int tries = 0; tries < CHAIN_TRIES && c >= window_start; tries++, c = ws.chain[c & CHAIN_MASK]) {
				if (best >= limit) break;  // no candidate can be longer
				const uint8_t* there = b + (c - base);
				if (there[best] != here[best] || *there != *here) continue;
				uint32_t j = match_length(there, here, limit);
				uint32_t distance = base + pos - c;
				if (j > best + distance_penalty(distance, best_distance)) {
					best = j;
					best_distance = distance;
				}
				if (j >= limit) break;
			}
		}
		if (best == 3 && best_distance > FAR_THREE) best = 2;

		uint32_t covered = 1;
		if (best < 3) {
			w.put(uint32_t(*here) << 1, 9);
		} else {
			put_match(w, best, best_distance);
			covered = best;
		}
		if (w.full) return;
		for (uint32_t k = 0; k < covered; k++) {
			uint32_t entry = base + pos;
			ws.head3[h3] = entry;
			ws.chain[entry & CHAIN_MASK] = ws.head4[h4];
			ws.head4[h4] = entry;
			pos++;
			h3 = ((h3 << 7) + at(pos + 2)) & HASH3_MASK;
			h4 = ((h4 << 5) + at(pos + 3)) & HASH4_MASK;
		}
	}
	w.flush();
}

// ---- Reading ----

// Bit reader over [p, end): a field past the end sets `bad` and reads 0.
struct Reader {
	const uint8_t* p;
	const uint8_t* end;
	uint64_t buf = 0;
	unsigned bits = 0;
	bool bad = false;

	void refill() {
		if (end - p >= 8) {
			// Bits above `bits` already hold the bytes at p: or-ing them again is harmless.
			buf |= load_le64(p) << bits;
			p += (63 - bits) >> 3;
			bits |= 56;
		} else {
			for (; bits <= 56 && p < end; bits += 8) buf |= uint64_t(*p++) << bits;
		}
	}

	uint32_t get(unsigned count) {  // count <= 24
		if (bits < count) {
			refill();
			if (bits < count) {
				bad = true;
				return 0;
			}
		}
		uint32_t v = uint32_t(buf & ((uint64_t(1) << count) - 1));
		buf >>= count;
		bits -= count;
		return v;
	}

	// The byte after the current one: drops the partial byte's bits.
	const uint8_t* next_byte() const { return p - bits / 8; }
};

// Length class: prefix bits and field.
uint32_t read_length(Reader& r) {
	static constexpr uint8_t field_bits[6] = {2, 2, 2, 3, 5, 9};
	static constexpr uint16_t base[6] = {0, 4, 8, 12, 20, 52};
	int cls = 0;
	while (cls < 5 && r.get(1) == 0) cls++;
	return base[cls] + r.get(field_bits[cls]) + 3;
}

uint32_t read_distance(Reader& r) {
	uint32_t slot = r.get(4);
	if (slot == 0) return r.get(3) + 1;
	unsigned k = slot + 2;
	return (1u << k) + r.get(k) + 1;
}

// Decodes the blocks in [p, end) into out (when STORE); false when corrupt.
template <bool STORE>
bool expand(uint8_t* out, const uint8_t* p, const uint8_t* end, uint32_t expected) {
	uint64_t produced = 0;
	while (p < end) {
		if (end - p < 4) return false;
		uint32_t size = load_le32(p);
		p += 4;
		if (size == 0 || size > BLOCK || produced + size > expected) return false;
		Reader r{p, end};
		[[maybe_unused]] uint8_t* block = STORE ? out + produced : nullptr;
		uint32_t done = 0;
		while (done < size) {
			if (r.get(1) == 0) {
				uint32_t byte = r.get(8);
				if (r.bad) return false;
				if constexpr (STORE) block[done] = uint8_t(byte);
				done++;
				continue;
			}
			uint32_t length = read_length(r);
			uint32_t distance = read_distance(r);
			if (r.bad || distance > done || length > size - done) return false;
			if constexpr (STORE) {
				uint8_t* dst = block + done;
				const uint8_t* src = dst - distance;
				if (distance >= length)
					std::memcpy(dst, src, length);
				else
					for (uint32_t k = 0; k < length; k++) dst[k] = src[k];  // overlapping: byte by byte
			}
			done += length;
		}
		produced += size;
		p = r.next_byte();
	}
	return produced == expected;
}

}  // namespace

int64_t compress(const uint8_t* in, uint32_t n, uint8_t* out, Workspace& work) {
	if (n < MIN_INPUT) return -1;
	Writer w{out, 8, n};
	for (uint32_t start = 0; start < n;) {
		uint32_t size = std::min(BLOCK, n - start);
		compress_block(in + start, size, w, work);
		if (w.full) return -1;
		start += size;
	}
	store_le32(out, uint32_t(w.pos - 8));
	store_le32(out + 4, n);
	return int64_t(w.pos);
}

int decompress(uint8_t* out, uint32_t& room, const uint8_t* in, size_t length) {
	if (length < 8) return CORRUPT;
	uint32_t blocks = load_le32(in), expanded = load_le32(in + 4);
	if (blocks > length - 8) return CORRUPT;
	const uint8_t* begin = in + 8;
	const uint8_t* end = begin + blocks;
	bool fits = out && expanded <= room;
	bool sound = fits ? expand<true>(out, begin, end, expanded) : expand<false>(out, begin, end, expanded);
	if (!sound) return CORRUPT;
	uint32_t had = room;
	room = expanded;
	return expanded > had ? ROOM : DONE;
}

}  // namespace vyn::crush
