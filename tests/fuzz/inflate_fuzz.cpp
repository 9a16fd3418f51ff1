// Inflates arbitrary input in each framing. Checks: no out-of-bounds access
// (sanitizers); the size a query reports is the size a decode produces;
// a short room stores a prefix of the output and nothing past the room;
// whatever zlib inflates whole, we inflate to the same bytes; and the input
// itself survives our deflate and inflate.
#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "runtime/io/deflate.h"

using namespace vyn;

namespace {

using Bytes = std::vector<uint8_t>;
using Routine = int (*)(uint8_t*, uint32_t&, const uint8_t*, size_t);

constexpr uint32_t MAX_OUTPUT = 1 << 22;  // larger outputs are only counted

void check(bool ok) {
	if (!ok) std::abort();
}

// zlib's inflate into a buffer kept across runs; false unless the stream
// ends exactly at the input's end.
bool zlib_inflate(const uint8_t* in, size_t length, int window_bits, const uint8_t*& out, size_t& out_size) {
	static Bytes buffer(MAX_OUTPUT);
	z_stream z{};
	if (inflateInit2(&z, window_bits) != Z_OK) return false;
	z.next_in = const_cast<uint8_t*>(in);
	z.avail_in = uInt(length);
	z.next_out = buffer.data();
	z.avail_out = uInt(buffer.size());
	int r = inflate(&z, Z_FINISH);
	out = buffer.data();
	out_size = z.total_out;
	bool ok = r == Z_STREAM_END && z.avail_in == 0;
	inflateEnd(&z);
	return ok;
}

void exercise(Routine uncompress, int window_bits, const uint8_t* in, size_t length) {
	uint32_t size = 0;
	int r = uncompress(nullptr, size, in, length);
	check(r >= deflate::DONE && r <= deflate::BAD_DISTANCE);
	const uint8_t* theirs = nullptr;
	size_t their_size = 0;
	bool zlib_ok = zlib_inflate(in, length, window_bits, theirs, their_size);
	if (r != deflate::DONE && r != deflate::ROOM) {
		check(!zlib_ok);
		return;
	}
	if (size > MAX_OUTPUT) return;

	Bytes out(size + 16, 0xA5);
	uint32_t room = size;
	r = uncompress(out.data(), room, in, length);
	for (size_t k = size; k < out.size(); k++) check(out[k] == 0xA5);
	if (r != deflate::DONE) {
		// Only a framing's checksum, unseen while counting, can fail now.
		check(r == deflate::BAD_DATA && uncompress != deflate::uncompress && !zlib_ok);
		return;
	}
	check(room == size);
	out.resize(size);
	if (zlib_ok) check(their_size == size && std::memcmp(theirs, out.data(), size) == 0);

	if (size > 1) {
		Bytes part(size / 2 + 16, 0x5A);
		room = size / 2;
		check(uncompress(part.data(), room, in, length) == deflate::ROOM && room == size);
		for (size_t k = size / 2; k < part.size(); k++) check(part[k] == 0x5A);
		if (uncompress == deflate::uncompress) check(std::memcmp(part.data(), out.data(), size / 2) == 0);
	}
}

void round_trip(Routine compress, Routine uncompress, const uint8_t* in, size_t length) {
	Bytes packed(length + length / 8 + 64);
	uint32_t room = uint32_t(packed.size());
	check(compress(packed.data(), room, in, length) == deflate::DONE);
	Bytes back(length + 1);
	uint32_t size = uint32_t(back.size());
	check(uncompress(back.data(), size, packed.data(), room) == deflate::DONE);
	check(size == length && (length == 0 || std::memcmp(back.data(), in, length) == 0));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
	if (size == 0) return 0;
	// The first byte picks the framing; the rest is the stream.
	static const struct {
		Routine compress, uncompress;
		int window_bits;
	} framings[] = {
		{deflate::compress, deflate::uncompress, -15},
		{deflate::zlib_compress, deflate::zlib_uncompress, 15},
		{deflate::gzip_compress, deflate::gzip_uncompress, 31},
	};
	const auto& f = framings[data[0] % 3];
	Bytes in(data + 1, data + size);  // exact size: a read past it is caught
	exercise(f.uncompress, f.window_bits, in.data(), in.size());
	if (!(in.size() > 2 && in[0] == 0x1F && in[1] == 0x8B && in[2] == 0x08)) round_trip(f.compress, f.uncompress, in.data(), in.size());
	return 0;
}
