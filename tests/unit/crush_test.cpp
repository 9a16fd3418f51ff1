#include "runtime/io/crush.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "tests/unit/codec_samples.h"

using namespace vyn;

namespace {

using Bytes = std::vector<uint8_t>;

std::unique_ptr<crush::Workspace> workspace() { return std::make_unique<crush::Workspace>(); }

using codec_samples::noise;
using codec_samples::text;

Bytes compress(const Bytes& in) {
	static auto ws = workspace();
	Bytes out(in.size());
	int64_t n = crush::compress(in.data(), uint32_t(in.size()), out.data(), *ws);
	if (n < 0) return {};
	out.resize(size_t(n));
	return out;
}

// Expands into a buffer of exactly the reported size; the input is an
// exact-size heap copy, so a read past it is caught by the sanitizer.
int expand(const Bytes& stream, Bytes& out) {
	Bytes in(stream);
	uint32_t room = 0;
	int r = crush::decompress(nullptr, room, in.data(), in.size());
	if (r == crush::CORRUPT) return r;
	out.assign(room, 0xEE);
	uint32_t size = room;
	r = crush::decompress(out.data(), room, in.data(), in.size());
	EXPECT_EQ(room, size);
	return r;
}

// A decoder written from the stream's description, bit by bit: reports
// the blocks' lengths and the tokens of the first block.
struct Token {
	bool match;
	uint32_t byte_or_length, distance;
};

struct Walk {
	bool ok = true;
	Bytes out;
	std::vector<uint32_t> blocks;
	std::vector<Token> first_tokens;
};

Walk walk(const Bytes& s) {
	Walk w;
	auto u32 = [&s](size_t at) { return uint32_t(s[at]) | uint32_t(s[at + 1]) << 8 | uint32_t(s[at + 2]) << 16 | uint32_t(s[at + 3]) << 24; };
	size_t end = 8 + u32(0);
	size_t byte = 8;
	while (byte < end) {
		uint32_t length = u32(byte);
		w.blocks.push_back(length);
		size_t bit = (byte + 4) * 8;
		auto get = [&](unsigned n) {
			uint32_t v = 0;
			for (unsigned k = 0; k < n; k++, bit++) v |= uint32_t((s[bit / 8] >> (bit % 8)) & 1) << k;
			return v;
		};
		size_t start = w.out.size();
		while (w.out.size() - start < length) {
			Token t{};
			if (get(1) == 0) {
				t.byte_or_length = get(8);
				w.out.push_back(uint8_t(t.byte_or_length));
			} else {
				t.match = true;
				static const unsigned fields[] = {2, 2, 2, 3, 5, 9}, bases[] = {0, 4, 8, 12, 20, 52};
				unsigned cls = 0;
				while (cls < 5 && get(1) == 0) cls++;
				t.byte_or_length = bases[cls] + get(fields[cls]) + 3;
				unsigned slot = get(4);
				uint32_t d = slot == 0 ? get(3) : (1u << (slot + 2)) + get(slot + 2);
				t.distance = d + 1;
				for (uint32_t k = 0; k < t.byte_or_length; k++) w.out.push_back(w.out[w.out.size() - t.distance]);
			}
			if (w.blocks.size() == 1) w.first_tokens.push_back(t);
		}
		byte = (bit + 7) / 8;
	}
	w.ok = byte == end && w.out.size() == u32(4);
	return w;
}

// Assembles a stream by hand from tokens (one block).
struct Builder {
	Bytes bytes;
	size_t bit = 0;
	void put(uint32_t v, unsigned n) {
		for (unsigned k = 0; k < n; k++, bit++) {
			if (bit / 8 == bytes.size()) bytes.push_back(0);
			bytes[bit / 8] |= uint8_t(((v >> k) & 1) << (bit % 8));
		}
	}
	void literal(uint8_t b) {
		put(0, 1);
		put(b, 8);
	}
	// Length in 3..6 and distance in 1..8: prefix 1, 2-bit field, slot 0, 3 bits.
	void short_match(uint32_t length, uint32_t distance) {
		put(1, 1);
		put(1, 1);
		put(length - 3, 2);
		put(0, 4);
		put(distance - 1, 3);
	}
	Bytes stream(uint32_t block_length, uint32_t expanded) const {
		Bytes s(12 + bytes.size());
		uint32_t c = uint32_t(bytes.size() + 4);
		std::memcpy(s.data(), &c, 4);
		std::memcpy(s.data() + 4, &expanded, 4);
		std::memcpy(s.data() + 8, &block_length, 4);
		std::copy(bytes.begin(), bytes.end(), s.begin() + 12);
		return s;
	}
};

}  // namespace

TEST(Crush, RoundTrips) {
	struct Case {
		const char* name;
		Bytes data;
	} cases[] = {
		{"128 bytes of text", text(128, 1)},
		{"text", text(100000, 2)},
		{"text past 64 KB", text(65536 * 3 + 7, 3)},
		{"one block exactly", text(crush::BLOCK, 4)},
		{"one byte repeated", Bytes(300000, 'x')},
		{"long matches far back", [] {
			 Bytes b = noise(200000, 5);
			 b.insert(b.end(), b.begin() + 1000, b.begin() + 60000);  // 59 KB repeated 199 KB back
			 return b;
		 }()},
		{"half noise", [] {
			 Bytes b = text(50000, 6), n = noise(20000, 6);
			 b.insert(b.end(), n.begin(), n.end());
			 return b;
		 }()},
	};
	for (const auto& c : cases) {
		Bytes packed = compress(c.data);
		ASSERT_FALSE(packed.empty()) << c.name;
		EXPECT_LT(packed.size(), c.data.size()) << c.name;
		Bytes out;
		ASSERT_EQ(expand(packed, out), crush::DONE) << c.name;
		EXPECT_EQ(out, c.data) << c.name;
		Walk w = walk(packed);
		EXPECT_TRUE(w.ok) << c.name;
		EXPECT_EQ(w.out, c.data) << c.name;
	}
}

TEST(Crush, TwoMegabytesAndOneByteMakeThreeBlocks) {
	Bytes data = text(2 * crush::BLOCK + 1, 8);
	Bytes packed = compress(data);
	ASSERT_FALSE(packed.empty());
	Walk w = walk(packed);
	EXPECT_TRUE(w.ok);
	EXPECT_EQ(w.blocks, (std::vector<uint32_t>{crush::BLOCK, crush::BLOCK, 1}));
	EXPECT_EQ(w.out, data);
	Bytes out;
	ASSERT_EQ(expand(packed, out), crush::DONE);
	EXPECT_EQ(out, data);
}

TEST(Crush, ARunOfOneByteIsALiteralThenMatchesAtDistanceOne) {
	Bytes data(5000, 'z');
	Walk w = walk(compress(data));
	ASSERT_TRUE(w.ok);
	ASSERT_GE(w.first_tokens.size(), 2u);
	EXPECT_FALSE(w.first_tokens[0].match);
	EXPECT_EQ(w.first_tokens[0].byte_or_length, uint32_t('z'));
	for (size_t k = 1; k < w.first_tokens.size(); k++) {
		EXPECT_TRUE(w.first_tokens[k].match) << k;
		EXPECT_EQ(w.first_tokens[k].distance, 1u) << k;
		EXPECT_LE(w.first_tokens[k].byte_or_length, crush::MAX_MATCH) << k;
	}
}

TEST(Crush, AReusedWorkspaceGivesTheSameStreamAsAFreshOne) {
	Bytes first = text(300000, 20), second = text(200000, 21);
	second.insert(second.end(), first.begin(), first.begin() + 50000);  // shares content with the first
	auto compress_with = [](crush::Workspace& ws, const Bytes& in) {
		Bytes out(in.size());
		int64_t n = crush::compress(in.data(), uint32_t(in.size()), out.data(), ws);
		out.resize(size_t(std::max<int64_t>(n, 0)));
		return out;
	};
	auto fresh = workspace();
	Bytes expected = compress_with(*fresh, second);
	ASSERT_FALSE(expected.empty());

	auto used = workspace();
	compress_with(*used, first);
	EXPECT_EQ(compress_with(*used, second), expected);
	used->base = UINT32_MAX - 1000;  // positions about to run out: the tables start over
	EXPECT_EQ(compress_with(*used, second), expected);
	EXPECT_EQ(compress_with(*used, second), expected);
}

TEST(Crush, CompressorRefusesShortOrIncompressibleInput) {
	auto ws = workspace();
	Bytes small = text(127, 9), out(200, 0xAA);
	EXPECT_EQ(crush::compress(small.data(), uint32_t(small.size()), out.data(), *ws), -1);
	Bytes n = noise(100000, 10);
	Bytes dest(n.size() + 64, 0xAA);
	EXPECT_EQ(crush::compress(n.data(), uint32_t(n.size()), dest.data(), *ws), -1);
	for (size_t k = n.size(); k < dest.size(); k++) ASSERT_EQ(dest[k], 0xAA) << "wrote past n bytes";
}

TEST(Crush, HandMadeStreams) {
	Builder b;
	b.literal('a');
	b.literal('b');
	b.short_match(4, 2);  // abab
	b.short_match(3, 1);  // bbb
	Bytes out;
	ASSERT_EQ(expand(b.stream(9, 9), out), crush::DONE);
	EXPECT_EQ(std::string(out.begin(), out.end()), "abababbbb");

	struct Case {
		const char* name;
		Bytes stream;
	} corrupt[] = {
		{"first token a match", [] {
			 Builder m;
			 m.short_match(3, 1);
			 return m.stream(3, 3);
		 }()},
		{"distance beyond the block's output", [] {
			 Builder m;
			 m.literal('a');
			 m.short_match(3, 2);
			 return m.stream(4, 4);
		 }()},
		{"match past the block length", [] {
			 Builder m;
			 m.literal('a');
			 m.short_match(6, 1);
			 return m.stream(4, 4);
		 }()},
		{"block length 0", b.stream(0, 0)},
		{"block length past 1 MB", b.stream(crush::BLOCK + 1, crush::BLOCK + 1)},
		{"expanded size larger than the blocks", b.stream(9, 10)},
		{"expanded size smaller than the blocks", b.stream(9, 8)},
		{"header only", Bytes{8, 0, 0, 0, 9, 0, 0, 0}},
		{"shorter than a header", Bytes{0, 0, 0, 0, 0, 0, 0}},
	};
	for (const auto& c : corrupt) {
		Bytes o;
		EXPECT_EQ(expand(c.stream, o), crush::CORRUPT) << c.name;
	}

	Bytes empty{0, 0, 0, 0, 0, 0, 0, 0};
	EXPECT_EQ(expand(empty, out), crush::DONE);
	EXPECT_TRUE(out.empty());
}

TEST(Crush, TruncatedOrMisframedStreamsAreCorrupt) {
	Bytes data = text(20000, 11);
	Bytes packed = compress(data);
	ASSERT_FALSE(packed.empty());
	Bytes out;
	for (size_t n = 0; n < packed.size(); n++) {
		Bytes cut(packed.begin(), packed.begin() + long(n));
		ASSERT_EQ(expand(cut, out), crush::CORRUPT) << n;
	}
	// C claiming less than the blocks, or more than there is.
	for (int32_t delta : {-1, 1, 1000}) {
		Bytes s = packed;
		uint32_t c;
		std::memcpy(&c, s.data(), 4);
		c = uint32_t(int64_t(c) + delta);
		std::memcpy(s.data(), &c, 4);
		EXPECT_EQ(expand(s, out), crush::CORRUPT) << delta;
	}
	// Bytes within C past the last block.
	Bytes padded = packed;
	padded.push_back(0);
	uint32_t c = uint32_t(padded.size() - 8);
	std::memcpy(padded.data(), &c, 4);
	EXPECT_EQ(expand(padded, out), crush::CORRUPT);
}

TEST(Crush, ExpandingReportsTheSizeAndStoresOnlyWithRoom) {
	Bytes data = text(50000, 12);
	Bytes packed = compress(data);
	uint32_t room = 0;
	EXPECT_EQ(crush::decompress(nullptr, room, packed.data(), packed.size()), crush::ROOM);
	EXPECT_EQ(room, data.size());

	Bytes out(data.size() + 16, 0xEE);
	room = uint32_t(data.size() - 1);
	EXPECT_EQ(crush::decompress(out.data(), room, packed.data(), packed.size()), crush::ROOM);
	EXPECT_EQ(room, data.size());
	for (uint8_t x : out) ASSERT_EQ(x, 0xEE);

	room = uint32_t(out.size());
	EXPECT_EQ(crush::decompress(out.data(), room, packed.data(), packed.size()), crush::DONE);
	EXPECT_EQ(room, data.size());
	EXPECT_TRUE(std::equal(data.begin(), data.end(), out.begin()));
	EXPECT_EQ(out[data.size()], 0xEE);
}

TEST(Crush, DamagedStreamsNeverReadOrWriteOutOfBounds) {
	Bytes data = text(30000, 13);
	Bytes packed = compress(data);
	std::mt19937 gen(14);
	for (int round = 0; round < 3000; round++) {
		Bytes s = packed;
		int flips = 1 + int(gen() % 4);
		for (int k = 0; k < flips; k++) s[8 + gen() % (s.size() - 8)] ^= uint8_t(1u << (gen() % 8));
		Bytes out;
		int r = expand(s, out);
		ASSERT_TRUE(r == crush::DONE || r == crush::CORRUPT);
		if (r == crush::DONE) {
			ASSERT_EQ(out.size(), data.size());
		}
	}
}
