// CRC-32 and Adler-32 against zlib's, the Internet checksum, and SHA-256
// through libcrypto, over 4 KB, 1 MB and the 100 MB text corpus.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <vector>

#include "bench/corpus.h"
#include "runtime/io/checksum.h"

using namespace vyn;

namespace {

// Made before timing starts.
const std::vector<uint8_t>& text = corpus::text100();

const uint8_t* data() { return text.data(); }

void sizes(benchmark::internal::Benchmark* b) { b->Arg(4 << 10)->Arg(1 << 20)->Arg(100 << 20); }

template <class F>
void run(benchmark::State& state, F f) {
	size_t n = size_t(state.range(0));
	for (auto _ : state) benchmark::DoNotOptimize(f(data(), n));
	state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(n));
}

void BM_Crc32Vyn(benchmark::State& s) { run(s, checksum::crc32); }
void BM_Crc32Zlib(benchmark::State& s) {
	run(s, [](const uint8_t* p, size_t n) { return ::crc32(0, p, uInt(n)); });
}
void BM_Adler32Vyn(benchmark::State& s) { run(s, checksum::adler32); }
void BM_Adler32Zlib(benchmark::State& s) {
	run(s, [](const uint8_t* p, size_t n) { return ::adler32(1, p, uInt(n)); });
}
void BM_TcpVyn(benchmark::State& s) { run(s, checksum::tcp); }
void BM_Sha256Vyn(benchmark::State& s) {
	run(s, [](const uint8_t* p, size_t n) {
		uint8_t out[checksum::DIGEST_ROOM];
		checksum::crypto_hash(p, n, checksum::method_index(checksum::Method::sha256), out);
		return out[0];
	});
}

}  // namespace

BENCHMARK(BM_Crc32Vyn)->Apply(sizes);
BENCHMARK(BM_Crc32Zlib)->Apply(sizes);
BENCHMARK(BM_Adler32Vyn)->Apply(sizes);
BENCHMARK(BM_Adler32Zlib)->Apply(sizes);
BENCHMARK(BM_TcpVyn)->Apply(sizes);
BENCHMARK(BM_Sha256Vyn)->Apply(sizes);
