#include "runtime/murmur.h"

namespace vyn::hash {

uint32_t seed = 0x5EED7A1Bu;

namespace {

inline uint32_t load32(const uint8_t* p) {
	uint32_t k;
	std::memcpy(&k, p, 4);
	return k;
}

// Lowers the four ASCII bytes of a little-endian word at once: a byte in
// 'A'-'Z' gets 0x20 added, every other byte stays.
inline uint32_t lower32(uint32_t k) {
	uint32_t high = k & 0x80808080u;
	uint32_t low7 = k & 0x7F7F7F7Fu;
	uint32_t above_a = low7 + 0x3F3F3F3Fu;   // bit 7 set where byte >= 'A'
	uint32_t above_z = low7 + 0x25252525u;   // bit 7 set where byte > 'Z'
	uint32_t capital = (above_a & ~above_z) & ~high & 0x80808080u;
	return k | (capital >> 2);
}

inline uint32_t lower8(uint32_t b) { return b - 'A' < 26 ? b + 0x20 : b; }

template <bool Lower>
uint32_t murmur(const uint8_t* p, size_t length) {
	uint32_t h = seed;
	size_t blocks = length / 4;
	for (size_t i = 0; i < blocks; i++) {
		uint32_t k = load32(p + 4 * i);
		h = murmur_step(h, Lower ? lower32(k) : k);
	}
	const uint8_t* tail = p + 4 * blocks;
	uint32_t k = 0;
	switch (length & 3) {
	case 3: k ^= (Lower ? lower8(tail[2]) : tail[2]) << 16; [[fallthrough]];
	case 2: k ^= (Lower ? lower8(tail[1]) : tail[1]) << 8; [[fallthrough]];
	case 1: k ^= Lower ? lower8(tail[0]) : tail[0];
	}
	return murmur_finish(h, k, length);
}

}  // namespace

uint32_t murmur3(const void* bytes, size_t length) { return murmur<false>(static_cast<const uint8_t*>(bytes), length); }

uint32_t murmur3_ascii_lower(const uint8_t* bytes, size_t length) { return murmur<true>(bytes, length); }

}  // namespace vyn::hash
