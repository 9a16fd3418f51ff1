// UTF-8 decoding throughput over 100 MiB of text: the lexer's fast decoder,
// codepoint counting and the loader that builds a string buffer.
// bench/utf8_decode_peer.py decodes the same bytes with CPython.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "runtime/memory.h"
#include "runtime/utf8.h"

using namespace vyn;

namespace {

constexpr size_t CHUNK_BYTES = size_t(1) << 20;
constexpr size_t CHUNKS = 100;

// One MiB of text from a fixed generator, repeated: 70% printable ASCII,
// 10% Latin-1, 15% CJK, 5% emoji by codepoint (the peer script's rule).
std::vector<uint8_t> make_text(bool ascii_only) {
	std::vector<uint8_t> chunk;
	uint32_t x = 2024;
	while (chunk.size() < CHUNK_BYTES) {
		x = x * 1103515245u + 12345u;
		uint32_t r = x >> 8;
		uint32_t kind = ascii_only ? 0 : r % 100;
		uint32_t cp = kind < 70   ? 0x20 + (r >> 7) % 95
					  : kind < 80 ? 0xA0 + (r >> 7) % 96
					  : kind < 95 ? 0x4E00 + (r >> 7) % 0x5000
								  : 0x1F300 + (r >> 7) % 0x300;
		uint8_t b[4];
		chunk.insert(chunk.end(), b, b + unicode::encode_utf8(cp, b));
	}
	std::vector<uint8_t> text;
	text.reserve(chunk.size() * CHUNKS + 1);
	for (size_t i = 0; i < CHUNKS; i++) text.insert(text.end(), chunk.begin(), chunk.end());
	return text;
}

const std::vector<uint8_t>& text(bool ascii_only) {
	static std::vector<uint8_t> mixed = make_text(false);
	static std::vector<uint8_t> ascii = make_text(true);
	return ascii_only ? ascii : mixed;
}

void fast_decode(benchmark::State& state) {
	std::vector<uint8_t> in = text(state.range(0));
	in.push_back(0);  // the decoder's terminator
	const uint8_t* end = in.data() + in.size() - 1;
	for (auto _ : state) {
		uint32_t sum = 0;
		for (const uint8_t* p = in.data(); p < end;) {
			int32_t cp;
			p = unicode::fast_decode_utf8_char(p, &cp);
			sum += uint32_t(cp);
		}
		benchmark::DoNotOptimize(sum);
	}
	state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(in.size() - 1));
}

void count(benchmark::State& state) {
	const std::vector<uint8_t>& in = text(state.range(0));
	uint32_t n = 0;
	for (auto _ : state) {
		n = unicode::count_codepoints(in.data(), in.data() + in.size());
		benchmark::DoNotOptimize(n);
	}
	state.counters["codepoints"] = n;
	state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(in.size()));
}

void load(benchmark::State& state) {
	const std::vector<uint8_t>& in = text(state.range(0));
	memory::init();
	for (auto _ : state) {
		Node node = unicode::load_utf8(in.data(), uint32_t(in.size()));
		benchmark::DoNotOptimize(node);
		state.PauseTiming();
		memory::free_all();
		state.ResumeTiming();
	}
	state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(in.size()));
}

}  // namespace

// Argument 0: mixed text; 1: ASCII only.
BENCHMARK(fast_decode)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(count)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(load)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
