// Deflate and inflate of a 100 MB text corpus, against zlib at levels 1 and 6.
// Throughput is of uncompressed bytes; "ratio" is compressed / original.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <vector>

#include "bench/corpus.h"
#include "runtime/io/deflate.h"

using namespace vyn;

namespace {

using Bytes = std::vector<uint8_t>;

Bytes vyn_deflate(const Bytes& in) {
	Bytes out(in.size() + in.size() / 4 + 64);
	uint32_t room = uint32_t(out.size());
	if (deflate::compress(out.data(), room, in.data(), in.size()) != deflate::DONE) return {};
	out.resize(room);
	return out;
}

Bytes zlib_deflate(const Bytes& in, int level) {
	z_stream z{};
	deflateInit2(&z, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
	Bytes out(deflateBound(&z, uLong(in.size())));
	z.next_in = const_cast<uint8_t*>(in.data());
	z.avail_in = uInt(in.size());
	z.next_out = out.data();
	z.avail_out = uInt(out.size());
	int r = ::deflate(&z, Z_FINISH);
	out.resize(r == Z_STREAM_END ? z.total_out : 0);
	deflateEnd(&z);
	return out;
}

bool zlib_inflate(const Bytes& in, Bytes& out) {
	z_stream z{};
	inflateInit2(&z, -15);
	z.next_in = const_cast<uint8_t*>(in.data());
	z.avail_in = uInt(in.size());
	z.next_out = out.data();
	z.avail_out = uInt(out.size());
	int r = ::inflate(&z, Z_FINISH);
	inflateEnd(&z);
	return r == Z_STREAM_END;
}

// Made before timing starts.
const std::vector<uint8_t>& text = corpus::text100();

// The corpus deflated by each writer: 0 ours, 1 zlib level 1, 6 zlib level 6.
const Bytes& stream(int which) {
	static const Bytes ours = vyn_deflate(corpus::text100());
	static const Bytes z1 = zlib_deflate(corpus::text100(), 1);
	static const Bytes z6 = zlib_deflate(corpus::text100(), 6);
	return which == 0 ? ours : which == 1 ? z1 : z6;
}

void report(benchmark::State& state, size_t original, size_t packed) {
	state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(original));
	state.counters["ratio"] = double(packed) / double(original);
}

void BM_DeflateVyn(benchmark::State& state) {
	const Bytes& in = corpus::text100();
	Bytes out(in.size() + in.size() / 4 + 64);
	uint32_t room = 0;
	for (auto _ : state) {
		room = uint32_t(out.size());
		if (deflate::compress(out.data(), room, in.data(), in.size()) != deflate::DONE) state.SkipWithError("deflate failed");
		benchmark::DoNotOptimize(out.data());
	}
	report(state, in.size(), room);
}

void BM_DeflateZlib(benchmark::State& state) {
	const Bytes& in = corpus::text100();
	size_t size = 0;
	for (auto _ : state) {
		Bytes out = zlib_deflate(in, int(state.range(0)));
		size = out.size();
		benchmark::DoNotOptimize(out.data());
	}
	report(state, in.size(), size);
}

// Inflates the stream of writer `range(0)` into a buffer of the known size.
void BM_InflateVyn(benchmark::State& state) {
	const Bytes& in = stream(int(state.range(0)));
	Bytes out(corpus::text100().size());
	for (auto _ : state) {
		uint32_t room = uint32_t(out.size());
		if (deflate::uncompress(out.data(), room, in.data(), in.size()) != deflate::DONE) state.SkipWithError("inflate failed");
		benchmark::DoNotOptimize(out.data());
	}
	if (out != corpus::text100()) state.SkipWithError("inflate differs");
	report(state, out.size(), in.size());
}

void BM_InflateZlib(benchmark::State& state) {
	const Bytes& in = stream(int(state.range(0)));
	Bytes out(corpus::text100().size());
	for (auto _ : state) {
		if (!zlib_inflate(in, out)) state.SkipWithError("inflate failed");
		benchmark::DoNotOptimize(out.data());
	}
	report(state, out.size(), in.size());
}

// The size query that precedes a decode: the stream counted, nothing stored.
void BM_InflateSizeVyn(benchmark::State& state) {
	const Bytes& in = stream(int(state.range(0)));
	for (auto _ : state) {
		uint32_t room = 0;
		deflate::uncompress(nullptr, room, in.data(), in.size());
		benchmark::DoNotOptimize(room);
	}
	report(state, corpus::text100().size(), in.size());
}

}  // namespace

BENCHMARK(BM_DeflateVyn)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DeflateZlib)->Arg(1)->Arg(6)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_InflateVyn)->Arg(0)->Arg(1)->Arg(6)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_InflateZlib)->Arg(0)->Arg(1)->Arg(6)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_InflateSizeVyn)->Arg(0)->Arg(6)->Unit(benchmark::kMillisecond)->UseRealTime();
