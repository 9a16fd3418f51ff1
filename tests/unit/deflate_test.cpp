#include "runtime/io/deflate.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "runtime/io/checksum.h"
#include "tests/unit/codec_samples.h"

using namespace vyn;

namespace {

using Bytes = std::vector<uint8_t>;
using Routine = int (*)(uint8_t*, uint32_t&, const uint8_t*, size_t);

using codec_samples::noise;
using codec_samples::text;

// Byte k appears with probability about 2^-(k+1): its dynamic Huffman codes
// reach the 15-bit limit.
Bytes skewed(size_t n, uint32_t seed) {
	std::mt19937 gen(seed);
	Bytes b(n);
	for (auto& x : b) {
		uint32_t r = gen() | 1u << 31;
		x = uint8_t(__builtin_ctz(r) * 7 % 256);
	}
	return b;
}

struct Framing {
	const char* name;
	Routine compress, uncompress;
	int window_bits;  // zlib's spelling of the same framing
};

const Framing framings[] = {
	{"deflate", deflate::compress, deflate::uncompress, -15},
	{"zlib", deflate::zlib_compress, deflate::zlib_uncompress, 15},
	{"gzip", deflate::gzip_compress, deflate::gzip_uncompress, 31},
};

// The natives' protocol: a guessed room, then once more with the size reported.
int pack(Routine f, const Bytes& in, Bytes& out) {
	out.assign(in.size() + 32, 0);
	uint32_t room = uint32_t(out.size());
	int r = f(out.data(), room, in.data(), in.size());
	if (r == deflate::ROOM) {
		out.assign(room, 0);
		r = f(out.data(), room, in.data(), in.size());
	}
	if (r == deflate::DONE) out.resize(room);
	return r;
}

// Size query first, then into exactly that room. The input is an exact-size
// heap copy, so a read past it is caught by the sanitizer.
int unpack(Routine f, const Bytes& packed, Bytes& out) {
	Bytes in(packed);
	uint32_t room = 0;
	int r = f(nullptr, room, in.data(), in.size());
	if (r != deflate::DONE && r != deflate::ROOM) return r;
	uint32_t size = room;
	out.assign(size, 0xEE);
	r = f(out.data(), room, in.data(), in.size());
	EXPECT_EQ(room, size);
	return r;
}

// How zlib writes a stream: its settings, flushes every `flush_every` input
// bytes, and an optional gzip header.
struct ZlibWriter {
	int level = 6;
	int window_bits = 15;
	int strategy = Z_DEFAULT_STRATEGY;
	int mem_level = 8;
	int flush = Z_NO_FLUSH;
	size_t flush_every = 0;
	gz_header* header = nullptr;
};

Bytes z_compress(const Bytes& in, const ZlibWriter& w) {
	z_stream z{};
	EXPECT_EQ(deflateInit2(&z, w.level, Z_DEFLATED, w.window_bits, w.mem_level, w.strategy), Z_OK);
	if (w.header) {
		EXPECT_EQ(deflateSetHeader(&z, w.header), Z_OK);
	}
	Bytes out(deflateBound(&z, uLong(in.size())) + 256 + (w.flush_every ? in.size() / w.flush_every * 16 : 0));
	z.next_out = out.data();
	z.avail_out = uInt(out.size());
	size_t step = w.flush_every ? w.flush_every : in.size() + 1;
	for (size_t at = 0; at < in.size(); at += step) {
		z.next_in = const_cast<uint8_t*>(in.data() + at);
		z.avail_in = uInt(std::min(step, in.size() - at));
		EXPECT_EQ(::deflate(&z, w.flush), Z_OK);
	}
	EXPECT_EQ(::deflate(&z, Z_FINISH), Z_STREAM_END);
	out.resize(z.total_out);
	deflateEnd(&z);
	return out;
}

Bytes z_compress(const Bytes& in, int level, int window_bits, int strategy = Z_DEFAULT_STRATEGY) {
	ZlibWriter w;
	w.level = level;
	w.window_bits = window_bits;
	w.strategy = strategy;
	return z_compress(in, w);
}

// zlib's inflate; answers false unless the stream ends exactly at the input's end.
bool z_uncompress(const Bytes& in, int window_bits, size_t expected, Bytes& out) {
	z_stream z{};
	if (inflateInit2(&z, window_bits) != Z_OK) return false;
	out.assign(expected + 1, 0);
	z.next_in = const_cast<uint8_t*>(in.data());
	z.avail_in = uInt(in.size());
	z.next_out = out.data();
	z.avail_out = uInt(out.size());
	int r = inflate(&z, Z_FINISH);
	out.resize(z.total_out);
	bool ok = r == Z_STREAM_END && z.avail_in == 0;
	inflateEnd(&z);
	return ok;
}

// Hand-made DEFLATE bits: fields least significant bit first, Huffman codes
// most significant bit first.
struct Bits {
	Bytes bytes;
	size_t bit = 0;
	Bits& put(uint32_t v, unsigned n) {
		for (unsigned k = 0; k < n; k++, bit++) {
			if (bit / 8 == bytes.size()) bytes.push_back(0);
			bytes[bit / 8] |= uint8_t(((v >> k) & 1) << (bit % 8));
		}
		return *this;
	}
	Bits& code(uint32_t c, unsigned n) {
		for (unsigned k = n; k-- > 0;) put((c >> k) & 1, 1);
		return *this;
	}
	Bits& fixed(unsigned symbol) {
		if (symbol < 144) return code(0x30 + symbol, 8);
		if (symbol < 256) return code(0x190 + symbol - 144, 9);
		if (symbol < 280) return code(symbol - 256, 7);
		return code(0xC0 + symbol - 280, 8);
	}
	Bits& align() {
		bit = (bit + 7) / 8 * 8;
		return *this;
	}
	Bits& byte(uint8_t b) { return align().put(b, 8); }
};

}  // namespace

TEST(Deflate, EmptyInputIsHeaderAndEndCode) {
	Bytes out;
	ASSERT_EQ(pack(deflate::compress, {}, out), deflate::DONE);
	EXPECT_EQ(out, (Bytes{0x03, 0x00}));
	Bytes back;
	EXPECT_EQ(unpack(deflate::uncompress, out, back), deflate::DONE);
	EXPECT_TRUE(back.empty());
}

TEST(Deflate, GreedyMatchesWithTheFixedCode) {
	// Three literals, then "abcabc" found three bytes back: length 6 is
	// symbol 260, distance 3 is code 2.
	std::string s = "abcabcabc";
	Bytes out;
	ASSERT_EQ(pack(deflate::compress, Bytes(s.begin(), s.end()), out), deflate::DONE);
	Bits expected;
	expected.put(1, 1).put(1, 2).fixed('a').fixed('b').fixed('c').fixed(260).code(2, 5).fixed(256);
	EXPECT_EQ(out, expected.bytes);
}

TEST(Deflate, FramingBytes) {
	Bytes data = text(1000, 1);
	Bytes z;
	ASSERT_EQ(pack(deflate::zlib_compress, data, z), deflate::DONE);
	ASSERT_GE(z.size(), 6u);
	EXPECT_EQ(z[0], 0x78);
	EXPECT_EQ(z[1], 0x01);
	uint32_t adler = checksum::adler32(data.data(), data.size());
	EXPECT_EQ(Bytes(z.end() - 4, z.end()), (Bytes{uint8_t(adler >> 24), uint8_t(adler >> 16), uint8_t(adler >> 8), uint8_t(adler)}));

	Bytes g;
	ASSERT_EQ(pack(deflate::gzip_compress, data, g), deflate::DONE);
	EXPECT_EQ(Bytes(g.begin(), g.begin() + 10), (Bytes{0x1F, 0x8B, 0x08, 0, 0, 0, 0, 0, 0x04, 0x04}));
	uint32_t crc = checksum::crc32(data.data(), data.size());
	uint32_t size = uint32_t(data.size());
	EXPECT_EQ(Bytes(g.end() - 8, g.end()), (Bytes{uint8_t(crc), uint8_t(crc >> 8), uint8_t(crc >> 16), uint8_t(crc >> 24),
											   uint8_t(size), uint8_t(size >> 8), uint8_t(size >> 16), uint8_t(size >> 24)}));
}

TEST(Deflate, RoundTripsAndAgreesWithZlibBothWays) {
	struct Data {
		const char* name;
		Bytes bytes;
	} data[] = {
		{"empty", {}},
		{"one byte", {'x'}},
		{"three bytes", {'a', 'b', 'c'}},
		{"text", text(200000, 2)},
		{"noise", noise(100000, 3)},
		{"zeros", Bytes(300000, 0)},
		{"skewed", skewed(100000, 4)},
		{"text then noise then text", [] {
			 Bytes b = text(40000, 5), n = noise(40000, 5), t = text(40000, 6);
			 b.insert(b.end(), n.begin(), n.end());
			 b.insert(b.end(), t.begin(), t.end());
			 return b;
		 }()},
	};
	struct Zlib {
		int level, strategy;
	} zlib_settings[] = {
		{0, Z_DEFAULT_STRATEGY}, {1, Z_DEFAULT_STRATEGY}, {6, Z_DEFAULT_STRATEGY}, {9, Z_DEFAULT_STRATEGY},
		{6, Z_FILTERED}, {6, Z_HUFFMAN_ONLY}, {6, Z_RLE}, {6, Z_FIXED},
	};
	for (const auto& f : framings) {
		for (const auto& d : data) {
			Bytes packed, back;
			ASSERT_EQ(pack(f.compress, d.bytes, packed), deflate::DONE) << f.name << " " << d.name;
			ASSERT_EQ(unpack(f.uncompress, packed, back), deflate::DONE) << f.name << " " << d.name;
			EXPECT_EQ(back, d.bytes) << f.name << " " << d.name;
			ASSERT_TRUE(z_uncompress(packed, f.window_bits, d.bytes.size(), back)) << f.name << " " << d.name;
			EXPECT_EQ(back, d.bytes) << f.name << " " << d.name;

			for (const auto& z : zlib_settings) {
				Bytes theirs = z_compress(d.bytes, z.level, f.window_bits, z.strategy);
				ASSERT_EQ(unpack(f.uncompress, theirs, back), deflate::DONE)
					<< f.name << " " << d.name << " level " << z.level << " strategy " << z.strategy;
				EXPECT_EQ(back, d.bytes) << f.name << " " << d.name << " level " << z.level;
			}
		}
	}
}

TEST(Deflate, InflatesManyBlocksAndFlushPoints) {
	Bytes data = text(100000, 7);
	for (int flush : {Z_SYNC_FLUSH, Z_FULL_FLUSH, Z_PARTIAL_FLUSH}) {
		for (size_t every : {1u, 7u, 1000u}) {
			ZlibWriter w;
			w.window_bits = -15;
			w.flush = flush;
			w.flush_every = every;
			Bytes back;
			ASSERT_EQ(unpack(deflate::uncompress, z_compress(data, w), back), deflate::DONE) << flush << " " << every;
			EXPECT_EQ(back, data) << flush << " " << every;
		}
	}
	// Small windows and memory give other headers and many dynamic blocks.
	for (int bits : {9, 12}) {
		ZlibWriter w;
		w.level = 9;
		w.window_bits = bits;
		w.mem_level = 1;
		Bytes back;
		ASSERT_EQ(unpack(deflate::zlib_uncompress, z_compress(data, w), back), deflate::DONE) << bits;
		EXPECT_EQ(back, data);
	}
}

TEST(Deflate, WritersReportTheSizeAndStoreOnlyInsideTheRoom) {
	Bytes data = text(20000, 8);
	for (const auto& f : framings) {
		Bytes full;
		ASSERT_EQ(pack(f.compress, data, full), deflate::DONE);
		for (uint32_t room : {uint32_t(full.size() - 1), uint32_t(full.size() / 2), 20u}) {
			Bytes out(full.size() + 16, 0xEE);
			uint32_t slot = room;
			EXPECT_EQ(f.compress(out.data(), slot, data.data(), data.size()), deflate::ROOM) << f.name << " " << room;
			EXPECT_EQ(slot, full.size()) << f.name;
			for (size_t k = room; k < out.size(); k++) ASSERT_EQ(out[k], 0xEE) << f.name << " wrote at " << k;
		}
	}
	// Room below the framing's own bytes.
	struct Case {
		Routine f;
		uint32_t frame;
	} small[] = {{deflate::zlib_compress, 6}, {deflate::gzip_compress, 18}};
	for (const auto& c : small) {
		uint8_t out[8];
		uint32_t room = c.frame - 1;
		EXPECT_EQ(c.f(out, room, data.data(), data.size()), deflate::BAD_DATA);
		EXPECT_EQ(room, data.size() + c.frame);
	}
	// The raw writer counts from no room at all.
	uint32_t room = 0;
	EXPECT_EQ(deflate::compress(nullptr, room, data.data(), data.size()), deflate::ROOM);
	Bytes raw;
	pack(deflate::compress, data, raw);
	EXPECT_EQ(room, raw.size());
}

TEST(Deflate, InflatersReportTheSizeAndStoreOnlyInsideTheRoom) {
	Bytes data = text(30000, 9);
	for (const auto& f : framings) {
		Bytes packed;
		ASSERT_EQ(pack(f.compress, data, packed), deflate::DONE);
		for (uint32_t room : {0u, 1u, uint32_t(data.size() / 3), uint32_t(data.size() - 1)}) {
			Bytes out(data.size() + 16, 0xEE);
			uint32_t slot = room;
			EXPECT_EQ(f.uncompress(out.data(), slot, packed.data(), packed.size()), deflate::ROOM) << f.name << " " << room;
			EXPECT_EQ(slot, data.size()) << f.name << " " << room;
			for (size_t k = room; k < out.size(); k++) ASSERT_EQ(out[k], 0xEE) << f.name << " wrote at " << k;
			if (f.compress == deflate::compress) {
				// The raw inflater keeps what fits.
				EXPECT_TRUE(std::equal(out.begin(), out.begin() + room, data.begin())) << room;
			}
		}
		Bytes out(data.size() + 1, 0xEE);
		uint32_t slot = uint32_t(out.size());
		EXPECT_EQ(f.uncompress(out.data(), slot, packed.data(), packed.size()), deflate::DONE) << f.name;
		EXPECT_EQ(slot, data.size());
		EXPECT_EQ(out.back(), 0xEE);
	}
}

TEST(Deflate, GzipOfGzipDataIsACopy) {
	Bytes data = text(5000, 10), once, twice;
	ASSERT_EQ(pack(deflate::gzip_compress, data, once), deflate::DONE);
	ASSERT_EQ(pack(deflate::gzip_compress, once, twice), deflate::DONE);
	EXPECT_EQ(twice, once);

	// Copied only when it fits.
	Bytes out(once.size(), 0xEE);
	uint32_t room = uint32_t(once.size() - 1);
	EXPECT_EQ(deflate::gzip_compress(out.data(), room, once.data(), once.size()), deflate::ROOM);
	EXPECT_EQ(room, once.size());
	for (uint8_t x : out) ASSERT_EQ(x, 0xEE);
}

TEST(Deflate, GzipTrailerSizeIsCheckedAgainstTheData) {
	Bytes data = text(5000, 11), packed;
	ASSERT_EQ(pack(deflate::gzip_compress, data, packed), deflate::DONE);

	// Too little room: the size of the data (here equal to the trailer's),
	// and a second call with that room succeeds.
	Bytes out(data.size());
	uint32_t room = 100;
	EXPECT_EQ(deflate::gzip_uncompress(out.data(), room, packed.data(), packed.size()), deflate::ROOM);
	EXPECT_EQ(room, data.size());
	EXPECT_EQ(deflate::gzip_uncompress(out.data(), room, packed.data(), packed.size()), deflate::DONE);
	EXPECT_EQ(out, data);

	// A trailer claiming another size is bad data, with or without room.
	for (uint32_t claim : {0u, 4999u, 5001u, 0x40000000u, 0xFFFFFFFFu}) {
		Bytes lying = packed;
		std::memcpy(lying.data() + lying.size() - 4, &claim, 4);
		for (uint32_t given : {0u, 100u, 5000u, 0xFFFFFFFFu}) {
			room = given;
			Bytes o(std::min<uint32_t>(given, 10000));
			uint8_t* target = given <= 10000 ? o.data() : nullptr;
			EXPECT_EQ(deflate::gzip_uncompress(target, room, lying.data(), lying.size()), deflate::BAD_DATA)
				<< claim << " " << given;
		}
	}
	// A damaged CRC.
	Bytes bad = packed;
	bad[bad.size() - 8] ^= 1;
	EXPECT_EQ(unpack(deflate::gzip_uncompress, bad, out), deflate::BAD_DATA);
}

TEST(Deflate, GzipHeaderFields) {
	Bytes data = text(3000, 12);
	// zlib writes FEXTRA, FNAME, FCOMMENT and FHCRC.
	static Bytef extra[] = {'A', 'B', 3, 0, 'x', 'y', 'z'};
	static char name[] = "file.txt", comment[] = "a comment";
	gz_header h{};
	h.extra = extra;
	h.extra_len = sizeof extra;
	h.name = reinterpret_cast<Bytef*>(name);
	h.comment = reinterpret_cast<Bytef*>(comment);
	h.hcrc = 1;
	ZlibWriter w;
	w.window_bits = 31;
	w.header = &h;
	Bytes packed = z_compress(data, w);
	ASSERT_EQ(packed[3], 0x1E);

	Bytes out;
	ASSERT_EQ(unpack(deflate::gzip_uncompress, packed, out), deflate::DONE);
	EXPECT_EQ(out, data);

	size_t header_end = 10 + 2 + sizeof extra + sizeof name + sizeof comment;  // before the header CRC
	struct Case {
		const char* name;
		Bytes stream;
	} bad[] = {
		{"header CRC wrong", [&] {
			 Bytes b = packed;
			 b[header_end] ^= 1;
			 return b;
		 }()},
		{"flag byte 32", [&] {
			 Bytes b = packed;
			 b[3] |= 0x20;
			 return b;
		 }()},
		{"method 7", [&] {
			 Bytes b = packed;
			 b[2] = 7;
			 return b;
		 }()},
		{"magic", [&] {
			 Bytes b = packed;
			 b[1] = 0x8C;
			 return b;
		 }()},
		{"extra longer than the member", [&] {
			 Bytes b = packed;
			 b[10] = 0xFF;
			 b[11] = 0xFF;
			 return b;
		 }()},
		{"name never ends", [] {
			 Bytes b{0x1F, 0x8B, 0x08, 0x08, 0, 0, 0, 0, 0, 3};
			 for (int k = 0; k < 30; k++) b.push_back('n');
			 return b;
		 }()},
		{"17 bytes", Bytes(packed.begin(), packed.begin() + 17)},
	};
	for (const auto& c : bad) EXPECT_EQ(unpack(deflate::gzip_uncompress, c.stream, out), deflate::BAD_DATA) << c.name;
}

TEST(Deflate, ZlibHeaderAndTrailerChecks) {
	Bytes data = text(3000, 13), packed, out;
	ASSERT_EQ(pack(deflate::zlib_compress, data, packed), deflate::DONE);
	auto with_header = [&](uint8_t cmf, uint8_t flg) {
		Bytes b = packed;
		b[0] = cmf;
		b[1] = flg;
		return b;
	};
	auto flg_for = [](uint8_t cmf, uint8_t level_and_dict) {  // makes (cmf * 256 + flg) % 31 == 0
		uint8_t flg = level_and_dict;
		return uint8_t(flg + (31 - (cmf * 256 + flg) % 31) % 31);
	};
	struct Case {
		const char* name;
		Bytes stream;
		int result;
	} cases[] = {
		{"78 9C", with_header(0x78, 0x9C), deflate::DONE},
		{"small window", with_header(0x28, flg_for(0x28, 0)), deflate::DONE},
		{"preset dictionary", with_header(0x78, flg_for(0x78, 0x20)), deflate::BAD_DATA},
		{"check bits", with_header(0x78, 0x02), deflate::BAD_DATA},
		{"method 7", with_header(0x77, flg_for(0x77, 0)), deflate::BAD_DATA},
		{"window of 64 KB", with_header(0x88, flg_for(0x88, 0)), deflate::BAD_DATA},
		{"Adler-32", [&] {
			 Bytes b = packed;
			 b.back() ^= 0x40;
			 return b;
		 }(),
			deflate::BAD_DATA},
		{"5 bytes", Bytes(packed.begin(), packed.begin() + 5), deflate::BAD_DATA},
	};
	for (const auto& c : cases) EXPECT_EQ(unpack(deflate::zlib_uncompress, c.stream, out), c.result) << c.name;
}

TEST(Deflate, MalformedStreams) {
	auto stored = [](uint16_t len, uint16_t nlen, size_t bytes) {
		Bits b;
		b.put(1, 1).put(0, 2).byte(uint8_t(len)).byte(uint8_t(len >> 8)).byte(uint8_t(nlen)).byte(uint8_t(nlen >> 8));
		for (size_t k = 0; k < bytes; k++) b.byte('s');
		return b.bytes;
	};
	auto fixed = [] { return Bits().put(1, 1).put(1, 2); };
	// Dynamic header with 257 literal and 1 distance lengths, then the
	// lengths of the code-length code for 16, 17, 18, 0.
	auto dynamic = [](uint32_t l16, uint32_t l17, uint32_t l18, uint32_t l0) {
		Bits b;
		b.put(1, 1).put(2, 2).put(0, 5).put(0, 5).put(0, 4);
		b.put(l16, 3).put(l17, 3).put(l18, 3).put(l0, 3);
		return b;
	};
	struct Case {
		const char* name;
		Bytes stream;
		int result;
	} cases[] = {
		{"stored", stored(5, 0xFFFA, 5), deflate::DONE},
		{"stored NLEN wrong", stored(5, 0xFFFB, 5), deflate::BAD_DATA},
		{"stored longer than the input", stored(5, 0xFFFA, 3), deflate::SHORT_STORED},
		{"stored header cut", Bytes{0x01, 0x05, 0x00}, deflate::BAD_DATA},
		{"block type 3", Bits().put(1, 1).put(3, 2).bytes, deflate::BAD_BLOCK},
		{"distance before the start", fixed().fixed('a').fixed(257).code(1, 5).fixed(256).bytes, deflate::BAD_DISTANCE},
		{"length symbol 286", fixed().fixed('a').fixed(286).code(0, 5).fixed(256).bytes, deflate::BAD_DATA},
		{"length symbol 287", fixed().fixed('a').fixed(287).code(0, 5).fixed(256).bytes, deflate::BAD_DATA},
		{"distance code 30", fixed().fixed('a').fixed(257).code(30, 5).fixed(256).bytes, deflate::BAD_DATA},
		{"distance code 31", fixed().fixed('a').fixed(257).code(31, 5).fixed(256).bytes, deflate::BAD_DATA},
		{"no final block", [] {
			 Bits b;
			 b.put(0, 1).put(0, 2).byte(0).byte(0).byte(0xFF).byte(0xFF);
			 return b.bytes;
		 }(),
			deflate::BAD_DATA},
		{"no end of block", fixed().fixed('a').fixed('b').bytes, deflate::BAD_DATA},
		{"empty input", Bytes{}, deflate::BAD_DATA},
		// Code-length symbols: 0 -> code 0 and 16 -> code 1 (lengths 1, 1).
		{"repeat with no previous length", dynamic(1, 0, 0, 1).code(1, 1).put(0, 2).bytes, deflate::BAD_DATA},
		// 0 -> code 0 and 18 -> code 1: two runs of 138 zeros pass 258 lengths.
		{"repeat past the lengths", dynamic(0, 0, 1, 1).code(1, 1).put(127, 7).code(1, 1).put(127, 7).bytes, deflate::BAD_DATA},
		{"over-subscribed code-length code", dynamic(1, 1, 1, 1).bytes, deflate::BAD_DATA},
		// 138 + 120 zeros: a literal code with no end-of-block symbol.
		{"no end-of-block code", dynamic(0, 0, 1, 1).code(1, 1).put(127, 7).code(1, 1).put(109, 7).bytes, deflate::BAD_DATA},
	};
	for (const auto& c : cases) {
		Bytes in(c.stream), out(64, 0);
		uint32_t room = 64;
		EXPECT_EQ(deflate::uncompress(out.data(), room, in.data(), in.size()), c.result) << c.name;
		if (c.result == deflate::BAD_DISTANCE) {
			EXPECT_EQ(room, 1u) << "bytes produced before the bad distance";
		}
		if (c.result == deflate::DONE) {
			EXPECT_EQ(room, 5u);
			EXPECT_EQ(std::string(out.begin(), out.begin() + 5), "sssss");
		}
	}
}

TEST(Deflate, TruncatedStreamsAreRefused) {
	Bytes data = text(6000, 14);
	struct Case {
		const char* name;
		Routine uncompress;
		Bytes stream;
	} cases[] = {
		{"our fixed block", deflate::uncompress, [&] {
			 Bytes b;
			 pack(deflate::compress, data, b);
			 return b;
		 }()},
		{"dynamic blocks", deflate::uncompress, z_compress(data, 9, -15)},
		{"stored blocks", deflate::uncompress, z_compress(data, 0, -15)},
		{"zlib", deflate::zlib_uncompress, z_compress(data, 6, 15)},
		{"gzip", deflate::gzip_uncompress, z_compress(data, 6, 31)},
	};
	for (const auto& c : cases) {
		Bytes out;
		ASSERT_EQ(unpack(c.uncompress, c.stream, out), deflate::DONE) << c.name;
		for (size_t n = 0; n < c.stream.size(); n++) {
			Bytes cut(c.stream.begin(), c.stream.begin() + long(n));
			int r = unpack(c.uncompress, cut, out);
			ASSERT_TRUE(r != deflate::DONE && r != deflate::ROOM) << c.name << " cut to " << n;
		}
	}
}

TEST(Deflate, DamagedStreamsNeverReadOrWriteOutOfBounds) {
	Bytes data = text(20000, 15);
	struct Case {
		Routine uncompress;
		int window_bits;
	} cases[] = {{deflate::uncompress, -15}, {deflate::zlib_uncompress, 15}, {deflate::gzip_uncompress, 31}};
	std::mt19937 gen(16);
	for (const auto& c : cases) {
		Bytes packed = z_compress(data, 6, c.window_bits);
		for (int round = 0; round < 1500; round++) {
			Bytes s = packed;
			int flips = 1 + int(gen() % 3);
			for (int k = 0; k < flips; k++) s[gen() % s.size()] ^= uint8_t(1u << (gen() % 8));
			Bytes out, theirs;
			int r = unpack(c.uncompress, s, out);
			ASSERT_TRUE(r >= deflate::DONE && r <= deflate::BAD_DISTANCE);
			// What zlib reads whole, we read the same.
			if (z_uncompress(s, c.window_bits, 1 << 20, theirs)) {
				ASSERT_EQ(r, deflate::DONE);
				ASSERT_EQ(out, theirs);
			}
		}
	}
}
