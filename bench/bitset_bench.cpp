// bitset! and the base codecs on bulk data: a bitset made from a 1M-character
// text, a membership test of every character of that text, a union of two
// 64 KB bitsets, and base 64 and base 16 encoding and decoding of 1 MB.
// Peers: CPython `set(text)`, `set(text) <= s` and base64/binascii on the
// same sizes (timed with `python3 -m timeit`).
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "bench/value_boot.h"
#include "runtime/datatypes/binary_base.h"
#include "runtime/datatypes/bitset.h"
#include "runtime/datatypes/string.h"
#include "runtime/evaluator/actions.h"
#include "runtime/evaluator/stack.h"
#include "runtime/memory.h"

using namespace vyn;

namespace {

constexpr uint32_t MEG = 1 << 20;

void fresh_runtime() { bench::boot(bitset::init_type); }

// 1M characters drawn from the first 512 codepoints (a width-2 text).
Cell random_text() {
	std::mt19937 rng(1);
	Cell text;
	string::make_at(&text, MEG);
	for (uint32_t i = 0; i < MEG; i++) string::append_char(&text, 32 + rng() % 480);
	return text;
}

void BM_MakeFromText(benchmark::State& state) {
	fresh_runtime();
	Cell text = random_text();
	for (auto _ : state) {
		Cell b;
		bitset::make_at(&b, 64, false);
		bitset::process(&text, &b, bitset::Op::set, bitset::Caller::make);
		benchmark::DoNotOptimize(b);
	}
	state.SetItemsProcessed(int64_t(state.iterations()) * MEG);
}

void BM_TestText(benchmark::State& state) {
	fresh_runtime();
	Cell text = random_text();
	Cell b;
	bitset::make_at(&b, 64, false);
	bitset::process(&text, &b, bitset::Op::set, bitset::Caller::make);
	for (auto _ : state) benchmark::DoNotOptimize(bitset::process(&text, &b, bitset::Op::test, bitset::Caller::action));
	state.SetItemsProcessed(int64_t(state.iterations()) * MEG);
}

void BM_Union64K(benchmark::State& state) {
	fresh_runtime();
	Cell a, b;
	bitset::make_at(&a, 65536, false);
	bitset::make_at(&b, 65536, true);
	for (auto _ : state) {
		Cell* frame = stack::top;
		stack::arguments = frame;
		stack::push(&a);
		stack::push(&b);
		benchmark::DoNotOptimize(*bitset::do_bitwise(9));
		stack::top = frame;
	}
	state.SetBytesProcessed(int64_t(state.iterations()) * 65536);
}

std::vector<uint8_t> random_bytes() {
	std::mt19937 rng(2);
	std::vector<uint8_t> bytes(MEG);
	for (auto& b : bytes) b = uint8_t(rng());
	return bytes;
}

template <int Base>
void BM_Encode(benchmark::State& state) {
	std::vector<uint8_t> in = random_bytes();
	std::vector<uint8_t> out(binary::encoded_room(Base, MEG));
	auto encode = Base == 64 ? binary::encode_base64 : binary::encode_base16;
	for (auto _ : state) benchmark::DoNotOptimize(encode(out.data(), in.data(), MEG));
	state.SetBytesProcessed(int64_t(state.iterations()) * MEG);
}

template <int Base>
void BM_Decode(benchmark::State& state) {
	std::vector<uint8_t> in = random_bytes();
	std::vector<uint8_t> text(binary::encoded_room(Base, MEG));
	auto encode = Base == 64 ? binary::encode_base64 : binary::encode_base16;
	auto decode = Base == 64 ? binary::decode_base64 : binary::decode_base16;
	uint32_t n = encode(text.data(), in.data(), MEG);
	std::vector<uint8_t> out(binary::decoded_room(Base, n));
	for (auto _ : state) benchmark::DoNotOptimize(decode(out.data(), text.data(), n, 1));
	state.SetBytesProcessed(int64_t(state.iterations()) * MEG);
}

}  // namespace

BENCHMARK(BM_MakeFromText)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TestText)->Unit(benchmark::kMillisecond);
// Every union allocates its 64 KB result and nothing collects it here.
BENCHMARK(BM_Union64K)->Unit(benchmark::kMicrosecond)->Iterations(1000);
BENCHMARK(BM_Encode<64>)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Decode<64>)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Encode<16>)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Decode<16>)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
