// Lexer throughput over a generated 50 MB source, in MB/s: loading every
// value, and scanning for the type of the next value (what parse and the
// console's completeness test do).
#include <benchmark/benchmark.h>

#include <string>

#include "runtime/case_folding.h"
#include "runtime/context.h"
#include "runtime/datatypes/word.h"
#include "runtime/evaluator/lexer.h"
#include "runtime/evaluator/stack.h"
#include "runtime/memory.h"
#include "runtime/symbol.h"

using namespace vyn;

namespace {

constexpr size_t SOURCE_BYTES = 50u << 20;

// Source shaped like scripts: definitions, calls, literals, nested blocks,
// paths, strings and comments.
const std::string& source() {
	static std::string text = [] {
		static const char* const lines[] = {
			"count: count + 1 ; bump the counter\n",
			"either value > 10 [print \"big\" big/total: big/total + value] [small: small + 1]\n",
			"data: [1 2.5 -3 4'000 \"text\" #\"c\" 50% 1:30 %file.txt http://x.com/a?b=c]\n",
			"foo: func [a [integer!] /local b][b: a * 2 if b > 100 [return none] b]\n",
			"{A braced string\nspanning two lines} <tag attr=\"v\"> user@example.com #issue 'lit :get\n",
			"repeat i 10 [append out rejoin [\"item-\" i] (i * 3.14159)] /refine ABCDh\n",
		};
		std::string s;
		s.reserve(SOURCE_BYTES + 200);
		size_t k = 0;
		while (s.size() < SOURCE_BYTES) s += lines[k++ % 6];
		return s;
	}();
	return text;
}

Cell root;

// The runtime as far as words need it: symbols, the global context, words.
void fresh_runtime() {
	memory::free_all();
	memory::init();
	memory::new_node_frame(NODE_FRAME_NODES);
	memory::new_series_frame();
	stack::init();
	lexer::release();
	lexer::init();
	unicode::init_case_tables();
	symbol::init_type();
	context::init_type();
	word::init_types();
	cell::set(&root, T_BLOCK, 0, memory::alloc_cells(64), 0);
	context::root = &root;
	symbol::init();
	context::init_global();
}

void BM_LoadSource(benchmark::State& state) {
	const std::string& text = source();
	for (auto _ : state) {
		state.PauseTiming();
		fresh_runtime();
		state.ResumeTiming();
		Cell* block = lexer::load(reinterpret_cast<const uint8_t*>(text.data()), uint32_t(text.size()));
		benchmark::DoNotOptimize(block);
	}
	state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
	memory::free_all();
}
BENCHMARK(BM_LoadSource)->Unit(benchmark::kMillisecond)->Iterations(3);

// Value by value in scan mode, as a caller stepping through the text does.
void BM_ScanEachValue(benchmark::State& state) {
	const std::string& text = source();
	fresh_runtime();
	Cell* result = stack::alloc_slot();
	lexer::Options scan;
	scan.scan = true;
	for (auto _ : state) {
		const uint8_t* p = reinterpret_cast<const uint8_t*>(text.data());
		const uint8_t* end = p + text.size();
		while (p < end) {
			uint32_t consumed = 0;
			lexer::scan(result, p, uint32_t(end - p), scan, &consumed);
			if (!consumed) break;
			p += consumed;
		}
	}
	state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
	memory::free_all();
}
BENCHMARK(BM_ScanEachValue)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
