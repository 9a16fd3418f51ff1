// MurmurHash3 x86-32 with the process seed: the hash of every table key
// (hash.h) and of series bytes for random's seeding.
//
// The seed is fixed for the life of the process; nothing visible depends on
// its value, only on its staying the same.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace vyn::hash {

extern uint32_t seed;

constexpr uint32_t MURMUR_C1 = 0xCC9E2D51u;
constexpr uint32_t MURMUR_C2 = 0x1B873593u;

inline uint32_t rotl(uint32_t x, int r) { return (x << r) | (x >> (32 - r)); }

// The 32-bit finaliser: spreads every input bit over the whole word.
inline uint32_t mix(uint32_t h) {
	h ^= h >> 16;
	h *= 0x85EBCA6Bu;
	h ^= h >> 13;
	h *= 0xC2B2AE35u;
	h ^= h >> 16;
	return h;
}

// One 32-bit block folded into the running hash.
inline uint32_t murmur_step(uint32_t h, uint32_t k) {
	k *= MURMUR_C1;
	k = rotl(k, 15);
	k *= MURMUR_C2;
	h ^= k;
	h = rotl(h, 13);
	return h * 5 + 0xE6546B64u;
}

// The tail bytes (1 to 3) and the length, then the finaliser.
inline uint32_t murmur_finish(uint32_t h, uint32_t tail_k, size_t length) {
	if (tail_k) {
		tail_k *= MURMUR_C1;
		tail_k = rotl(tail_k, 15);
		tail_k *= MURMUR_C2;
		h ^= tail_k;
	}
	return mix(h ^ uint32_t(length));
}

uint32_t murmur3(const void* bytes, size_t length);
// The same over bytes whose ASCII capitals are taken as lower case letters,
// so that every ASCII case variant of a name hashes alike.
uint32_t murmur3_ascii_lower(const uint8_t* bytes, size_t length);

}  // namespace vyn::hash
