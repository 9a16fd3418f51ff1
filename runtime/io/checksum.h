// Checksums and digests: the Internet checksum, CRC-32, Adler-32 (our own
// code) and MD5, SHA-1, SHA-256, SHA-384, SHA-512 and HMAC (libcrypto).
//
// The digest routines write into a caller's buffer of DIGEST_ROOM bytes and
// never allocate; the caller takes the first digest_size(index) bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace vyn::checksum {

// The method words, in the order of their table indexes (tcp 0 .. sha512 6);
// adler32 and hash have no index.
enum class Method : uint8_t { tcp, crc32, md5, sha1, sha256, sha384, sha512, adler32, hash, none };

constexpr size_t DIGEST_ROOM = 64;  // the longest digest (SHA-512)

// Lines the caller prints for the two methods that compute nothing.
constexpr const char* NO_HMAC_MESSAGE = "The selected algorithm doesn't support HMAC calculation";
constexpr const char* HASH_MESSAGE = "** /hash support not yet implemented; algorithm TBD.";

// The method a word spells (ASCII case is ignored, as for words), or none.
Method method_of(std::string_view spelling);
inline bool method_q(std::string_view spelling) { return method_of(spelling) != Method::none; }
// Table index of tcp, crc32 and the five digests; -1 for the others.
int method_index(Method m);
// Bytes of the digest of a table index; 0 for an index that is no digest.
size_t digest_size(int index);

// The 16-bit one's-complement sum of big-endian words; an odd last byte is
// added as the low-order byte. Summed in 64 bits, so any length is exact.
uint16_t tcp(const uint8_t* bytes, size_t count);
// Reflected CRC-32, polynomial 0xEDB88320 (gzip, PNG).
uint32_t crc32(const uint8_t* bytes, size_t count);
// Adler-32 (zlib).
uint32_t adler32(const uint8_t* bytes, size_t count);

// Fetches the digest implementations once (start-up); later calls do nothing.
void acquire_provider();

// Digest of the bytes for a table index (2..6) into `out`; any other index
// raises script invalid-arg. A library failure raises internal feature-na.
void crypto_hash(const uint8_t* bytes, size_t count, int index, uint8_t out[DIGEST_ROOM]);

// HMAC (RFC 2104) of the data under the key with one of the five digests,
// into `out`; answers the digest size, or 0 for a method without a digest
// (tcp, crc32, adler32, hash), for which the caller prints NO_HMAC_MESSAGE.
size_t hmac(const uint8_t* data, size_t data_count, const uint8_t* key, size_t key_count, Method m,
	uint8_t out[DIGEST_ROOM]);

}  // namespace vyn::checksum
