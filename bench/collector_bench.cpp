// Collections over 100,000 live blocks of 10 cells each (1.1M live cells):
// marking alone, marking with half the blocks dead (sliding compaction), and
// the stress mode's move of every live buffer.
#include <benchmark/benchmark.h>

#include "runtime/collector.h"
#include "runtime/evaluator/stack.h"
#include "runtime/memory.h"
#include "bench/value_boot.h"

using namespace vyn;

namespace {

constexpr uint32_t BLOCKS = 100000;
constexpr uint32_t CELLS = 10;

void fresh_runtime() {
	bench::restart_memory();
	collector::init();
	collector::stress = false;
}

// A block of `count` blocks of CELLS integers on the data stack; with `dead`,
// as many blocks again are made and dropped between them.
void build(uint32_t count, bool dead) {
	stack::reset_all();
	Cell* root = stack::alloc_slot();
	cell::set(root, T_BLOCK, 0, memory::alloc_cells(count), 0);
	for (uint32_t i = 0; i < count; i++) {
		Node n = memory::alloc_cells(CELLS);
		Series* s = memory::series(n);
		for (uint32_t k = 0; k < CELLS; k++) cell::make_integer(s->head_cell() + k, int32_t(k));
		s->tail = CELLS * sizeof(Cell);
		if (dead) memory::alloc_cells(CELLS);
		Cell* slot = memory::alloc_at_tail(memory::buffer_of(root));
		cell::set(slot, T_BLOCK, 0, n, 0);
	}
}

void BM_CollectAllLive(benchmark::State& state) {
	fresh_runtime();
	build(BLOCKS, false);
	collector::run();
	for (auto _ : state) collector::run();
	state.SetItemsProcessed(state.iterations() * BLOCKS * (CELLS + 1));
}
BENCHMARK(BM_CollectAllLive)->Unit(benchmark::kMillisecond);

void BM_CollectHalfDead(benchmark::State& state) {
	fresh_runtime();
	for (auto _ : state) {
		state.PauseTiming();
		build(BLOCKS, true);
		state.ResumeTiming();
		collector::run();
	}
	state.SetItemsProcessed(state.iterations() * BLOCKS * 2);
}
BENCHMARK(BM_CollectHalfDead)->Unit(benchmark::kMillisecond);

void BM_CollectMovingEverything(benchmark::State& state) {
	fresh_runtime();
	build(BLOCKS, false);
	collector::stress = true;
	for (auto _ : state) collector::run();
	collector::stress = false;
	state.SetItemsProcessed(state.iterations() * BLOCKS * (CELLS + 1));
}
BENCHMARK(BM_CollectMovingEverything)->Unit(benchmark::kMillisecond);

}  // namespace
