// `unique` of 1M words (100,000 distinct) through the evaluator, and `sort`
// of the same block. Peers: bench/sets_peer.py (CPython set, dict.fromkeys)
// and bench/sets_peer.lua (a Lua table as a set).
#include <benchmark/benchmark.h>

#include <string_view>

#include "boot/boot.h"
#include "runtime/evaluator/interpreter.h"
#include "runtime/evaluator/lexer.h"
#include "runtime/evaluator/stack.h"

using namespace vyn;

namespace {

// Evaluates source text in the global context; the stack is left as found.
void run(std::string_view source) {
	Cell* top = stack::top;
	Cell block = *lexer::load(reinterpret_cast<const uint8_t*>(source.data()), uint32_t(source.size()));
	interpreter::eval(&block, false);
	stack::top = top;
}

void boot_once() {
	static bool done = false;
	if (done) return;
	done = true;
	boot::init_runtime();
	run("words: make block! 1000000 "
		"repeat i 1000000 [append words to word! append copy \"w\" remainder i 100000]");
}

void BM_UniqueWords(benchmark::State& state) {
	boot_once();
	for (auto _ : state) run("u: unique words");
	state.SetItemsProcessed(state.iterations() * 1000000);
}
BENCHMARK(BM_UniqueWords)->Unit(benchmark::kMillisecond);

void BM_SortWords(benchmark::State& state) {
	boot_once();
	for (auto _ : state) run("s: sort copy words");
	state.SetItemsProcessed(state.iterations() * 1000000);
}
BENCHMARK(BM_SortWords)->Unit(benchmark::kMillisecond);

}  // namespace
