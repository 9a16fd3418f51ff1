// Base 64 and base 16 text of 64 MiB of bytes: encoding and decoding
// throughput of the codecs behind enbase and debase, and the hex mold of a
// binary! value. bench/binary_base_peer.py times CPython's base64 module
// on the same bytes.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "bench/value_boot.h"
#include "runtime/datatypes/binary.h"
#include "runtime/datatypes/binary_base.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/string.h"

using namespace vyn;

namespace {

constexpr size_t DATA_BYTES = size_t(64) << 20;

// The peer script's generator: bytes of a 32-bit LCG's high halves.
const std::vector<uint8_t>& data() {
	static std::vector<uint8_t> bytes = [] {
		std::vector<uint8_t> b(DATA_BYTES);
		uint32_t x = 2024;
		for (uint8_t& byte : b) {
			x = x * 1103515245u + 12345u;
			byte = uint8_t(x >> 16);
		}
		return b;
	}();
	return bytes;
}

template <int32_t Base>
const std::vector<uint8_t>& text() {
	static std::vector<uint8_t> t = [] {
		const std::vector<uint8_t>& in = data();
		std::vector<uint8_t> out(binary::encoded_room(Base, in.size()));
		uint32_t n = Base == 64 ? binary::encode_base64(out.data(), in.data(), uint32_t(in.size()))
								: binary::encode_base16(out.data(), in.data(), uint32_t(in.size()));
		out.resize(n);
		return out;
	}();
	return t;
}

template <int32_t Base>
void encode(benchmark::State& state) {
	const std::vector<uint8_t>& in = data();
	std::vector<uint8_t> out(binary::encoded_room(Base, in.size()));
	for (auto _ : state) {
		uint32_t n = Base == 64 ? binary::encode_base64(out.data(), in.data(), uint32_t(in.size()))
								: binary::encode_base16(out.data(), in.data(), uint32_t(in.size()));
		benchmark::DoNotOptimize(n);
	}
	state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(in.size()));
}

template <int32_t Base>
void decode(benchmark::State& state) {
	const std::vector<uint8_t>& in = text<Base>();
	std::vector<uint8_t> out(binary::decoded_room(Base, in.size()));
	for (auto _ : state) {
		int64_t n = Base == 64 ? binary::decode_base64(out.data(), in.data(), uint32_t(in.size()), 1)
							   : binary::decode_base16(out.data(), in.data(), uint32_t(in.size()), 1);
		benchmark::DoNotOptimize(n);
	}
	// Bytes produced, as the peer counts them.
	state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(DATA_BYTES));
}

// mold of a 64 MiB binary! into a string (hex, 32 bytes a line).
void mold_hex(benchmark::State& state) {
	bench::boot(series::init_type, string::init_type, binary::init_type);
	const std::vector<uint8_t>& in = data();
	for (auto _ : state) {
		Cell out;
		string::make_at(&out, uint32_t(in.size() * 2 + in.size() / 16 + 16));
		binary::mold_bytes(in.data(), uint32_t(in.size()), &out, false, false, 0x7FFFFFFF, 0);
		benchmark::DoNotOptimize(out);
		// Reclaim the output between rounds: nothing else lives here.
		state.PauseTiming();
		memory::free_all();
		memory::init();
		memory::new_node_frame(NODE_FRAME_NODES);
		memory::new_series_frame();
		state.ResumeTiming();
	}
	state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(in.size()));
}

}  // namespace

BENCHMARK(encode<64>)->Unit(benchmark::kMillisecond);
BENCHMARK(decode<64>)->Unit(benchmark::kMillisecond);
BENCHMARK(encode<16>)->Unit(benchmark::kMillisecond);
BENCHMARK(decode<16>)->Unit(benchmark::kMillisecond);
BENCHMARK(mold_hex)->Unit(benchmark::kMillisecond)->Iterations(3);
