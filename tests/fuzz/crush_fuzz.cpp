// Expands arbitrary input as a CRUSH stream. Checks: no out-of-bounds
// access (sanitizers); a size query and a decode agree; a short room
// stores nothing; and the input itself survives compression.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "runtime/io/crush.h"

using namespace vyn;

namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint32_t MAX_OUTPUT = 1 << 24;

void check(bool ok) {
	if (!ok) std::abort();
}

// Size query and decode must agree; a decode never writes past its room.
void probe(const Bytes& in) {
	uint32_t expanded = 0;
	int r = crush::decompress(nullptr, expanded, in.data(), in.size());
	check(r >= crush::DONE && r <= crush::CORRUPT);
	if (r == crush::CORRUPT || expanded > MAX_OUTPUT) return;
	Bytes out(expanded + 16, 0xA5);
	uint32_t room = expanded;
	check(crush::decompress(out.data(), room, in.data(), in.size()) == crush::DONE && room == expanded);
	for (size_t k = expanded; k < out.size(); k++) check(out[k] == 0xA5);
	if (expanded > 0) {
		Bytes part(expanded, 0x5A);
		room = expanded - 1;
		check(crush::decompress(part.data(), room, in.data(), in.size()) == crush::ROOM && room == expanded);
		for (uint8_t b : part) check(b == 0x5A);
	}
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
	Bytes in(data, data + size);  // exact size: a read past it is caught
	probe(in);

	static auto work = std::make_unique<crush::Workspace>();
	Bytes packed(size);
	int64_t n = crush::compress(in.data(), uint32_t(size), packed.data(), *work);
	if (n < 0) return 0;
	check(n <= int64_t(size));
	packed.resize(size_t(n));
	Bytes back(size);
	uint32_t room = uint32_t(size);
	check(crush::decompress(back.data(), room, packed.data(), packed.size()) == crush::DONE);
	check(room == size && back == in);

	// A near-valid stream reaches deeper into the decoder than random bytes:
	// flip one bit of the compressed form, chosen by the input's last bytes.
	uint32_t pick;
	std::memcpy(&pick, data + size - 4, 4);
	packed[8 + (pick >> 3) % (packed.size() - 8)] ^= uint8_t(1u << (pick & 7));
	probe(packed);
	return 0;
}
