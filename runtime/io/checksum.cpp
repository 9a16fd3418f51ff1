#include "runtime/io/checksum.h"

#include <openssl/evp.h>
#include <openssl/hmac.h>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include <algorithm>
#include <array>
#include <cstring>

#include "runtime/cell.h"
#include "runtime/errors.h"
#include "runtime/io/byte_order.h"

namespace vyn::checksum {

namespace {

using byte_order::load_le32;
using byte_order::load_le64;

constexpr const char* method_names[] = {"tcp", "crc32", "md5", "sha1", "sha256", "sha384",
	"sha512", "adler32", "hash"};

bool same_word(std::string_view a, const char* b) {
	size_t n = std::strlen(b);
	if (a.size() != n) return false;
	for (size_t i = 0; i < n; i++) {
		char c = a[i];
		if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
		if (c != b[i]) return false;
	}
	return true;
}

// One's-complement fold of a sum to 16 bits (0 stays 0).
inline uint32_t fold16(uint64_t sum) {
	while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
	return uint32_t(sum);
}

// CRC registers are kept reflected: bit 31 is the coefficient of x^0.
constexpr uint32_t CRC_POLY = 0xEDB88320u;

// Slice-by-8 tables: crc_tables[0] is the byte table; crc_tables[k][n] is the
// CRC of byte n followed by k zero bytes, so eight bytes fold in one step.
using CrcTables = std::array<std::array<uint32_t, 256>, 8>;

constexpr CrcTables make_crc_tables() {
	CrcTables t{};
	for (uint32_t n = 0; n < 256; n++) {
		uint32_t c = n;
		for (int k = 0; k < 8; k++) c = (c & 1) ? (c >> 1) ^ CRC_POLY : c >> 1;
		t[0][n] = c;
	}
	for (uint32_t n = 0; n < 256; n++)
		for (int k = 1; k < 8; k++) t[k][n] = (t[k - 1][n] >> 8) ^ t[0][t[k - 1][n] & 0xFF];
	return t;
}

constexpr CrcTables crc_tables = make_crc_tables();

inline uint32_t crc_step8(uint32_t crc, const uint8_t* p) {
	const auto& t = crc_tables;
	uint64_t v = load_le64(p) ^ crc;
	return t[7][v & 0xFF] ^ t[6][(v >> 8) & 0xFF] ^ t[5][(v >> 16) & 0xFF] ^ t[4][(v >> 24) & 0xFF] ^
		t[3][(v >> 32) & 0xFF] ^ t[2][(v >> 40) & 0xFF] ^ t[1][(v >> 48) & 0xFF] ^ t[0][v >> 56];
}

// a(x) b(x) mod P.
constexpr uint32_t gf_multiply(uint32_t a, uint32_t b) {
	uint32_t product = 0;
	for (int i = 0; i < 32; i++) {
		if (a & (0x80000000u >> i)) product ^= b;
		b = (b & 1) ? (b >> 1) ^ CRC_POLY : b >> 1;  // b *= x
	}
	return product;
}

constexpr uint32_t gf_power_of_x(uint64_t n) {
	uint32_t result = 0x80000000u, base = 0x40000000u;
	for (; n; n >>= 1, base = gf_multiply(base, base))
		if (n & 1) result = gf_multiply(result, base);
	return result;
}

// Long inputs run as four interleaved lanes of LANE bytes, so four
// independent table chains overlap; a lane's register is then carried
// over the next lane's bytes by multiplying it by x^(8 LANE) (the effect
// of LANE zero bytes), done with one table per register byte.
constexpr size_t LANE = 1024;

constexpr std::array<std::array<uint32_t, 256>, 4> lane_shift_tables = [] {
	std::array<std::array<uint32_t, 256>, 4> t{};
	uint32_t factor = gf_power_of_x(8 * LANE);
	for (int k = 0; k < 4; k++)
		for (uint32_t n = 0; n < 256; n++) t[k][n] = gf_multiply(n << (8 * k), factor);
	return t;
}();

inline uint32_t shift_over_lane(uint32_t crc) {
	const auto& t = lane_shift_tables;
	return t[0][crc & 0xFF] ^ t[1][(crc >> 8) & 0xFF] ^ t[2][(crc >> 16) & 0xFF] ^ t[3][crc >> 24];
}

// Adler sums are reduced after each run of this many bytes: the largest n
// with 255 n (n + 1) / 2 + (n + 1) (65521 - 1) < 2^32, so 32-bit sums of a
// run cannot overflow. A multiple of 16.
constexpr size_t ADLER_RUN = 5552;
constexpr uint32_t ADLER_MOD = 65521;

#ifdef __SSE2__
// Adler sums over n 16-byte chunks, vectorised: with S the bytes' sum and
// q = sum over chunks of the sum of all chunks before it,
//   a += S;  b += 16 n a + 16 q + sum over chunks of sum (16 - i) byte[i].
void adler_chunks(uint32_t& a, uint32_t& b, const uint8_t* p, size_t n) {
	const __m128i zero = _mm_setzero_si128();
	const __m128i weights_low = _mm_setr_epi16(16, 15, 14, 13, 12, 11, 10, 9);
	const __m128i weights_high = _mm_setr_epi16(8, 7, 6, 5, 4, 3, 2, 1);
	__m128i sums = zero, prefix = zero, weighted = zero;
	for (size_t j = 0; j < n; j++, p += 16) {
		__m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
		prefix = _mm_add_epi64(prefix, sums);
		sums = _mm_add_epi64(sums, _mm_sad_epu8(c, zero));
		weighted = _mm_add_epi32(weighted, _mm_madd_epi16(_mm_unpacklo_epi8(c, zero), weights_low));
		weighted = _mm_add_epi32(weighted, _mm_madd_epi16(_mm_unpackhi_epi8(c, zero), weights_high));
	}
	uint64_t lanes[2];
	_mm_storeu_si128(reinterpret_cast<__m128i*>(lanes), sums);
	uint64_t s = lanes[0] + lanes[1];
	_mm_storeu_si128(reinterpret_cast<__m128i*>(lanes), prefix);
	uint64_t q = lanes[0] + lanes[1];
	uint32_t w[4];
	_mm_storeu_si128(reinterpret_cast<__m128i*>(w), weighted);
	uint64_t big_b = b + 16 * uint64_t(n) * a + 16 * q + uint64_t(w[0]) + w[1] + w[2] + w[3];
	a = uint32_t((a + s) % ADLER_MOD);
	b = uint32_t(big_b % ADLER_MOD);
}
#else
void adler_chunks(uint32_t& a, uint32_t& b, const uint8_t* p, size_t n) {
	for (size_t k = 0; k < 16 * n; k++) {
		a += p[k];
		b += a;
	}
	a %= ADLER_MOD;
	b %= ADLER_MOD;
}
#endif

// Digest implementations by table index (2..6); null where unavailable.
struct Provider {
	const EVP_MD* md[7] = {};
	Provider() {
		static constexpr const char* names[7] = {nullptr, nullptr, "MD5", "SHA1", "SHA256",
			"SHA384", "SHA512"};
		for (int i = 2; i < 7; i++) md[i] = EVP_MD_fetch(nullptr, names[i], nullptr);
	}
};

const Provider& provider() {
	static const Provider p;  // never released: lives as long as the process
	return p;
}

const EVP_MD* digest_of(int index) {
	const EVP_MD* md = provider().md[index];
	if (!md) errors::fire(errors::id::internal_feature_na);
	return md;
}

// Stands in for a null pointer of zero bytes: libcrypto may treat a null key
// as "keep the previous key".
constexpr uint8_t empty_bytes[1] = {0};

}  // namespace

Method method_of(std::string_view spelling) {
	for (size_t i = 0; i < std::size(method_names); i++)
		if (same_word(spelling, method_names[i])) return Method(i);
	return Method::none;
}

int method_index(Method m) { return m <= Method::sha512 ? int(m) : -1; }

size_t digest_size(int index) {
	switch (index) {
	case 2: return 16;
	case 3: return 20;
	case 4: return 32;
	case 5: return 48;
	case 6: return 64;
	default: return 0;
	}
}

uint16_t tcp(const uint8_t* bytes, size_t count) {
	// The one's-complement sum commutes with byte swapping, so little-endian
	// 32-bit words are summed and the folded result swapped once at the end.
	size_t even = count & ~size_t(1);
	uint64_t a = 0, b = 0;
	size_t i = 0;
	for (; i + 8 <= even; i += 8) {
		a += load_le32(bytes + i);
		b += load_le32(bytes + i + 4);
	}
	for (; i < even; i += 2) a += uint32_t(bytes[i]) | uint32_t(bytes[i + 1]) << 8;
	uint32_t le = fold16(a + b);
	uint64_t sum = ((le & 0xFF) << 8) | (le >> 8);
	if (count & 1) sum += bytes[count - 1];  // the odd byte counts as the low byte
	return uint16_t(~fold16(sum) & 0xFFFF);
}

uint32_t crc32(const uint8_t* bytes, size_t count) {
	uint32_t crc = 0xFFFFFFFFu;
	for (; count >= 4 * LANE; count -= 4 * LANE, bytes += 4 * LANE) {
		uint32_t c0 = crc, c1 = 0, c2 = 0, c3 = 0;
		for (size_t i = 0; i < LANE; i += 8) {
			c0 = crc_step8(c0, bytes + i);
			c1 = crc_step8(c1, bytes + LANE + i);
			c2 = crc_step8(c2, bytes + 2 * LANE + i);
			c3 = crc_step8(c3, bytes + 3 * LANE + i);
		}
		crc = shift_over_lane(shift_over_lane(shift_over_lane(c0) ^ c1) ^ c2) ^ c3;
	}
	for (; count >= 8; count -= 8, bytes += 8) crc = crc_step8(crc, bytes);
	for (; count; count--) crc = (crc >> 8) ^ crc_tables[0][(crc ^ *bytes++) & 0xFF];
	return ~crc;
}

uint32_t adler32(const uint8_t* bytes, size_t count) {
	uint32_t a = 1, b = 0;
	while (count >= 16) {
		size_t chunks = std::min(count, ADLER_RUN) / 16;
		adler_chunks(a, b, bytes, chunks);
		bytes += 16 * chunks;
		count -= 16 * chunks;
	}
	for (; count; count--) {
		a += *bytes++;
		b += a;
	}
	return (b % ADLER_MOD) << 16 | (a % ADLER_MOD);
}

void acquire_provider() { provider(); }

void crypto_hash(const uint8_t* bytes, size_t count, int index, uint8_t out[DIGEST_ROOM]) {
	if (digest_size(index) == 0) {
		Cell arg;
		cell::make_integer(&arg, index);
		errors::fire(errors::id::script_invalid_arg, &arg);
	}
	unsigned int written = 0;
	if (!EVP_Digest(count ? bytes : empty_bytes, count, out, &written, digest_of(index), nullptr) ||
		written != digest_size(index))
		errors::fire(errors::id::internal_feature_na);
}

size_t hmac(const uint8_t* data, size_t data_count, const uint8_t* key, size_t key_count, Method m,
	uint8_t out[DIGEST_ROOM]) {
	int index = method_index(m);
	size_t size = index < 0 ? 0 : digest_size(index);
	if (size == 0) return 0;
	// A key longer than the digest's block is replaced by its digest (as
	// RFC 2104 does); doing it here keeps any key length within an int.
	uint8_t short_key[DIGEST_ROOM];
	size_t block = (m == Method::sha384 || m == Method::sha512) ? 128 : 64;
	if (key_count > block) {
		crypto_hash(key, key_count, index, short_key);
		key = short_key;
		key_count = size;
	}
	unsigned int written = 0;
	if (!HMAC(digest_of(index), key_count ? key : empty_bytes, int(key_count),
			data_count ? data : empty_bytes, data_count, out, &written) ||
		written != size)
		errors::fire(errors::id::internal_feature_na);
	return size;
}

}  // namespace vyn::checksum
