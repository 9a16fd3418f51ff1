#include "runtime/io/checksum.h"

#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <array>
#include <cstring>

#include "runtime/cell.h"
#include "runtime/errors.h"

namespace vyn::checksum {

namespace {

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

inline uint32_t load32(const uint8_t* p) {
	uint32_t v;
	std::memcpy(&v, p, 4);
	return v;
}

inline uint64_t load64(const uint8_t* p) {
	uint64_t v;
	std::memcpy(&v, p, 8);
	return v;
}

// One's-complement fold of a sum to 16 bits (0 stays 0).
inline uint32_t fold16(uint64_t sum) {
	while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
	return uint32_t(sum);
}

// Slice-by-8 tables: crc_tables[0] is the byte table; crc_tables[k][n] is the
// CRC of byte n followed by k zero bytes, so eight bytes fold in one step.
using CrcTables = std::array<std::array<uint32_t, 256>, 8>;

constexpr CrcTables make_crc_tables() {
	CrcTables t{};
	for (uint32_t n = 0; n < 256; n++) {
		uint32_t c = n;
		for (int k = 0; k < 8; k++) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
		t[0][n] = c;
	}
	for (uint32_t n = 0; n < 256; n++)
		for (int k = 1; k < 8; k++) t[k][n] = (t[k - 1][n] >> 8) ^ t[0][t[k - 1][n] & 0xFF];
	return t;
}

constexpr CrcTables crc_tables = make_crc_tables();

// The largest run for which the unsigned Adler sums cannot overflow 32 bits:
// 255 n (n + 1) / 2 + (n + 1) (65521 - 1) < 2^32.
constexpr size_t ADLER_RUN = 5552;
constexpr uint32_t ADLER_MOD = 65521;

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
		a += load32(bytes + i);
		b += load32(bytes + i + 4);
	}
	for (; i < even; i += 2) a += uint32_t(bytes[i]) | uint32_t(bytes[i + 1]) << 8;
	uint32_t le = fold16(a + b);
	uint64_t sum = ((le & 0xFF) << 8) | (le >> 8);
	if (count & 1) sum += bytes[count - 1];  // the odd byte counts as the low byte
	return uint16_t(~fold16(sum) & 0xFFFF);
}

uint32_t crc32(const uint8_t* bytes, size_t count) {
	const auto& t = crc_tables;
	uint32_t crc = 0xFFFFFFFFu;
	for (; count >= 8; count -= 8, bytes += 8) {
		uint64_t v = load64(bytes) ^ crc;
		crc = t[7][v & 0xFF] ^ t[6][(v >> 8) & 0xFF] ^ t[5][(v >> 16) & 0xFF] ^
			t[4][(v >> 24) & 0xFF] ^ t[3][(v >> 32) & 0xFF] ^ t[2][(v >> 40) & 0xFF] ^
			t[1][(v >> 48) & 0xFF] ^ t[0][v >> 56];
	}
	for (; count; count--) crc = (crc >> 8) ^ t[0][(crc ^ *bytes++) & 0xFF];
	return ~crc;
}

uint32_t adler32(const uint8_t* bytes, size_t count) {
	uint32_t a = 1, b = 0;
	while (count) {
		size_t run = count < ADLER_RUN ? count : ADLER_RUN;
		count -= run;
		for (; run >= 16; run -= 16, bytes += 16)
			for (int k = 0; k < 16; k++) {
				a += bytes[k];
				b += a;
			}
		for (; run; run--) {
			a += *bytes++;
			b += a;
		}
		a %= ADLER_MOD;
		b %= ADLER_MOD;
	}
	return b << 16 | a;
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
