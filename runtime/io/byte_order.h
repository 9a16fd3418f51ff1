// Unaligned little- and big-endian loads and stores for the codecs' byte
// streams. The little-endian ones are plain copies: the target is x86-64.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

namespace vyn::byte_order {

static_assert(std::endian::native == std::endian::little);

inline uint32_t load_le32(const uint8_t* p) {
	uint32_t v;
	std::memcpy(&v, p, 4);
	return v;
}

inline uint64_t load_le64(const uint8_t* p) {
	uint64_t v;
	std::memcpy(&v, p, 8);
	return v;
}

inline void store_le32(uint8_t* p, uint32_t v) { std::memcpy(p, &v, 4); }

inline uint32_t load_be32(const uint8_t* p) {
	return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

inline void store_be32(uint8_t* p, uint32_t v) {
	p[0] = uint8_t(v >> 24);
	p[1] = uint8_t(v >> 16);
	p[2] = uint8_t(v >> 8);
	p[3] = uint8_t(v);
}

}  // namespace vyn::byte_order
