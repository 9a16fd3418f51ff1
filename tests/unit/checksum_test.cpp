#include "runtime/io/checksum.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <string>
#include <vector>

#include "runtime/errors.h"
#include "runtime/evaluator/stack.h"
#include "tests/unit/raised.h"

using namespace vyn;

namespace {

const uint8_t* bytes_of(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }

std::vector<uint8_t> random_bytes(size_t n, uint32_t seed) {
	std::mt19937 gen(seed);
	std::vector<uint8_t> v(n);
	for (auto& b : v) b = uint8_t(gen());
	return v;
}

std::string hex(const uint8_t* p, size_t n) {
	static const char digits[] = "0123456789abcdef";
	std::string s;
	for (size_t i = 0; i < n; i++) {
		s += digits[p[i] >> 4];
		s += digits[p[i] & 15];
	}
	return s;
}

// The Internet checksum as a careful reference: end-around carry after
// every word, so it cannot overflow at any length.
uint16_t tcp_reference(const std::vector<uint8_t>& d) {
	uint32_t sum = 0;
	auto add = [&sum](uint32_t w) {
		sum += w;
		sum = (sum & 0xFFFF) + (sum >> 16);
	};
	size_t i = 0;
	for (; i + 1 < d.size(); i += 2) add(uint32_t(d[i]) << 8 | d[i + 1]);
	if (i < d.size()) add(d[i]);
	return uint16_t(~sum & 0xFFFF);
}

}  // namespace

TEST(Checksum, KnownValues) {
	struct Case {
		std::string data;
		uint32_t crc32, adler32;
	} cases[] = {
		{"", 0, 1},
		{"123456789", 0xCBF43926u, 0x091E01DEu},
		{"Wikipedia", 0xADAAC02Eu, 0x11E60398u},
		{"The quick brown fox jumps over the lazy dog", 0x414FA339u, 0x5BDC0FDAu},
	};
	for (const auto& c : cases) {
		EXPECT_EQ(checksum::crc32(bytes_of(c.data), c.data.size()), c.crc32) << c.data;
		EXPECT_EQ(checksum::adler32(bytes_of(c.data), c.data.size()), c.adler32) << c.data;
	}
	std::string digits = "123456789";
	EXPECT_EQ(int32_t(checksum::crc32(bytes_of(digits), 9)), -873187034);
}

TEST(Checksum, Crc32AndAdler32AgreeWithZlibAtEveryLengthAndAlignment) {
	// Lengths around the 8- and 16-byte steps, the 4 KB interleaved CRC
	// segments and the Adler reduction run; every start offset within a word.
	auto data = random_bytes(3 * 5552 + 64, 7);
	std::vector<size_t> lengths;
	for (size_t n = 0; n <= 40; n++) lengths.push_back(n);
	for (size_t n : {4095u, 4096u, 4097u, 4103u, 4104u, 5551u, 5552u, 5553u, 8192u, 8199u, 11104u, 11105u,
			 3u * 5552u + 17u})
		lengths.push_back(n);
	for (size_t offset = 0; offset < 8; offset++)
		for (size_t n : lengths) {
			const uint8_t* p = data.data() + offset;
			ASSERT_EQ(checksum::crc32(p, n), ::crc32(0, p, uInt(n))) << offset << " " << n;
			ASSERT_EQ(checksum::adler32(p, n), ::adler32(1, p, uInt(n))) << offset << " " << n;
		}
	// All 0xFF maximises the Adler sums between reductions.
	std::vector<uint8_t> ones(1 << 20, 0xFF);
	EXPECT_EQ(checksum::adler32(ones.data(), ones.size()), ::adler32(1, ones.data(), uInt(ones.size())));
	EXPECT_EQ(checksum::crc32(ones.data(), ones.size()), ::crc32(0, ones.data(), uInt(ones.size())));
}

TEST(Checksum, TcpSumsBigEndianWordsAndTheOddByteAsLow) {
	struct Case {
		std::vector<uint8_t> data;
		uint16_t sum;
	} cases[] = {
		{{}, 0xFFFF},
		{{0x01}, 0xFFFE},
		{{0x00, 0x01}, 0xFFFE},
		{{0x01, 0x00}, 0xFEFF},
		{{0x00, 0x01, 0xF2, 0x03, 0xF4, 0xF5, 0xF6, 0xF7}, 0x220D},
		{{0xFF, 0xFF}, 0x0000},
		{{0x12, 0x34, 0x56}, uint16_t(~(0x1234 + 0x56) & 0xFFFF)},
	};
	for (const auto& c : cases) EXPECT_EQ(checksum::tcp(c.data.data(), c.data.size()), c.sum);
}

TEST(Checksum, TcpMatchesTheCarefulSumAtAnyLength) {
	for (size_t n : {3u, 7u, 8u, 9u, 15u, 16u, 17u, 1001u, 65535u, 65536u}) {
		auto d = random_bytes(n, uint32_t(n));
		EXPECT_EQ(checksum::tcp(d.data(), n), tcp_reference(d)) << n;
	}
	// Past 128 KB of 0xFF words a 32-bit sum would overflow.
	for (size_t n : {(128u << 10) + 2, (1u << 20) + 1, 3u << 20}) {
		std::vector<uint8_t> d(n, 0xFF);
		EXPECT_EQ(checksum::tcp(d.data(), n), tcp_reference(d)) << n;
		d = random_bytes(n, 99);
		EXPECT_EQ(checksum::tcp(d.data(), n), tcp_reference(d)) << n;
	}
}

TEST(Checksum, MethodWords) {
	struct Case {
		const char* word;
		checksum::Method method;
		int index;
		size_t digest;
	} cases[] = {
		{"tcp", checksum::Method::tcp, 0, 0},
		{"crc32", checksum::Method::crc32, 1, 0},
		{"MD5", checksum::Method::md5, 2, 16},
		{"sha1", checksum::Method::sha1, 3, 20},
		{"Sha256", checksum::Method::sha256, 4, 32},
		{"sha384", checksum::Method::sha384, 5, 48},
		{"sha512", checksum::Method::sha512, 6, 64},
		{"adler32", checksum::Method::adler32, -1, 0},
		{"hash", checksum::Method::hash, -1, 0},
	};
	for (const auto& c : cases) {
		EXPECT_TRUE(checksum::method_q(c.word)) << c.word;
		EXPECT_EQ(checksum::method_of(c.word), c.method) << c.word;
		EXPECT_EQ(checksum::method_index(c.method), c.index) << c.word;
		if (c.index >= 0) {
			EXPECT_EQ(checksum::digest_size(c.index), c.digest) << c.word;
		}
	}
	for (const char* word : {"", "sha", "sha2566", "crc", "md5 ", "adler-32"}) EXPECT_FALSE(checksum::method_q(word)) << word;
	EXPECT_EQ(checksum::digest_size(7), 0u);
	EXPECT_EQ(checksum::digest_size(-1), 0u);
}

TEST(Checksum, Digests) {
	struct Case {
		std::string data;
		int index;
		const char* digest;
	} cases[] = {
		{"", 2, "d41d8cd98f00b204e9800998ecf8427e"},
		{"abc", 3, "a9993e364706816aba3e25717850c26c9cd0d89d"},
		{"abc", 4, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
		{"abc", 5,
			"cb00753f45a35e8bb5a03d699ac65007272c32ab0eded1631a8b605a43ff5bed8086072ba1e7cc2358baeca134c825a7"},
		{"abc", 6,
			"ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a2192992a274fc1a836ba3c23a3feebbd4"
			"54d4423643ce80e2a9ac94fa54ca49f"},
	};
	checksum::acquire_provider();
	for (const auto& c : cases) {
		uint8_t out[checksum::DIGEST_ROOM];
		checksum::crypto_hash(bytes_of(c.data), c.data.size(), c.index, out);
		EXPECT_EQ(hex(out, checksum::digest_size(c.index)), c.digest) << c.index;
	}
}

TEST(Checksum, DigestOfAnIndexWithoutAlgorithmRaisesInvalidArg) {
	stack::init();
	for (int index : {0, 1, 7, -1}) {
		uint8_t out[checksum::DIGEST_ROOM];
		uint32_t code = test::raised([&] { checksum::crypto_hash(nullptr, 0, index, out); });
		EXPECT_EQ(code, errors::id::script_invalid_arg.code()) << index;
	}
}

TEST(Checksum, Hmac) {
	std::string key20(20, '\x0b'), key16(16, '\x0b');
	struct Case {
		std::string key, data;
		checksum::Method method;
		const char* mac;
	} cases[] = {
		{key16, "Hi There", checksum::Method::md5, "9294727a3638bb1c13f48ef8158bfc9d"},
		{"Jefe", "what do ya want for nothing?", checksum::Method::sha1, "effcdf6ae5eb2fa2d27416d5f184df9c259a7c79"},
		{key20, "Hi There", checksum::Method::sha256,
			"b0344c61d8db38535ca8afceaf0bf12b881dc200c9833da726e9376c2e32cff7"},
		{"Jefe", "what do ya want for nothing?", checksum::Method::sha384,
			"af45d2e376484031617f78d2b58a6b1b9c7ef464f5a01b47e42ec3736322445e8e2240ca5e69e2c78b3239ecfab21649"},
		{key20, "Hi There", checksum::Method::sha512,
			"87aa7cdea5ef619d4ff0b4241a1d6cb02379f4e2ce4ec2787ad0b30545e17cdedaa833b7d6b8a702038b274eaea3f4e4b"
			"e9d914eeb61f1702e696c203a126854"},
	};
	for (const auto& c : cases) {
		uint8_t out[checksum::DIGEST_ROOM];
		size_t n = checksum::hmac(bytes_of(c.data), c.data.size(), bytes_of(c.key), c.key.size(), c.method, out);
		EXPECT_EQ(hex(out, n), c.mac);
	}
}

TEST(Checksum, HmacKeyLongerThanTheBlockEqualsItsDigestAsKey) {
	std::string data = "message";
	for (auto method : {checksum::Method::md5, checksum::Method::sha1, checksum::Method::sha256,
			 checksum::Method::sha384, checksum::Method::sha512}) {
		for (size_t key_length : {65u, 129u, 1000u}) {
			std::string key(key_length, 'k');
			uint8_t key_digest[checksum::DIGEST_ROOM], a[checksum::DIGEST_ROOM], b[checksum::DIGEST_ROOM];
			int index = checksum::method_index(method);
			checksum::crypto_hash(bytes_of(key), key.size(), index, key_digest);
			size_t na = checksum::hmac(bytes_of(data), data.size(), bytes_of(key), key.size(), method, a);
			size_t nb = checksum::hmac(bytes_of(data), data.size(), key_digest, checksum::digest_size(index), method, b);
			ASSERT_EQ(na, checksum::digest_size(index));
			// A 65-byte key is within the 128-byte block of SHA-384/512 and is used as it is.
			bool hashed = key_length > ((method == checksum::Method::sha384 || method == checksum::Method::sha512) ? 128u : 64u);
			EXPECT_EQ(hex(a, na) == hex(b, nb), hashed) << int(method) << " " << key_length;
		}
	}
}

TEST(Checksum, HmacEmptyKeyAndData) {
	// HMAC-SHA-256 with an empty key over empty data (a well-known value).
	uint8_t out[checksum::DIGEST_ROOM];
	size_t n = checksum::hmac(nullptr, 0, nullptr, 0, checksum::Method::sha256, out);
	EXPECT_EQ(hex(out, n), "b613679a0814d9ec772f95d778c35fc5ff1697c493715653c6c712144292c5ad");
}

TEST(Checksum, HmacOfAMethodWithoutDigestComputesNothing) {
	std::string key = "key", data = "data";
	for (auto method : {checksum::Method::tcp, checksum::Method::crc32, checksum::Method::adler32,
			 checksum::Method::hash, checksum::Method::none}) {
		uint8_t out[checksum::DIGEST_ROOM];
		EXPECT_EQ(checksum::hmac(bytes_of(data), data.size(), bytes_of(key), key.size(), method, out), 0u);
	}
}
