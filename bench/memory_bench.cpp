// Bump allocation of series buffers and call-frame open/close, against malloc/free.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <vector>

#include "runtime/evaluator/stack.h"
#include "runtime/memory.h"

using namespace vyn;

namespace {

void fresh_runtime() {
	memory::free_all();
	memory::init();
	memory::new_node_frame(NODE_FRAME_NODES);
	memory::new_series_frame();
	stack::init();
}

// What a collection that finds everything dead leaves: empty frames and free nodes.
void release_all(const std::vector<Node>& nodes) {
	for (Node n : nodes) memory::release_node(n);
	for (SeriesFrame* f = memory::state.series_head; f; f = f->next) f->bump = f->start();
}

void BM_AllocSeries(benchmark::State& state) {
	uint32_t bytes = uint32_t(state.range(0));
	fresh_runtime();
	std::vector<Node> nodes;
	nodes.reserve(4096);
	for (auto _ : state) {
		nodes.push_back(memory::alloc_bytes(bytes));
		if (nodes.size() == 4096) {
			state.PauseTiming();
			release_all(nodes);
			nodes.clear();
			state.ResumeTiming();
		}
	}
}
BENCHMARK(BM_AllocSeries)->Arg(16)->Arg(64)->Arg(256);

void BM_Malloc(benchmark::State& state) {
	size_t bytes = size_t(state.range(0));
	for (auto _ : state) {
		void* p = std::malloc(bytes);
		benchmark::DoNotOptimize(p);
		std::free(p);
	}
}
BENCHMARK(BM_Malloc)->Arg(16)->Arg(64)->Arg(256);

void BM_FramePushPop(benchmark::State& state) {
	fresh_runtime();
	Cell w, v;
	cell::set(&w, T_WORD, 0, 1, 0xFFFFFFFFu);
	cell::make_integer(&v, 1);
	for (auto _ : state) {
		stack::mark_native(&w);
		stack::push(&v);
		stack::push(&v);
		stack::unwind_last();
		stack::reset();
		benchmark::ClobberMemory();
	}
}
BENCHMARK(BM_FramePushPop);

void BM_FrameMallocFree(benchmark::State& state) {
	struct Record {
		uint32_t words[6];
		Cell cells[2];
	};
	for (auto _ : state) {
		auto* r = static_cast<Record*>(std::malloc(sizeof(Record)));
		benchmark::DoNotOptimize(r);
		std::free(r);
	}
}
BENCHMARK(BM_FrameMallocFree);

}  // namespace
