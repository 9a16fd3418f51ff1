// Map-style insert and lookup of 1M string keys: the runtime's key/value
// table (as map! uses it) against std::unordered_map, and symbol interning.
// bench/hash_dict_peer.py and bench/hash_table_peer.lua time CPython's dict
// and Lua tables on the same keys ("key:" and (i * 2654435761) mod 2^32).
#include <benchmark/benchmark.h>

#include <string>
#include <unordered_map>
#include <vector>

#include "runtime/case_folding.h"
#include "runtime/datatypes/string.h"
#include "runtime/evaluator/stack.h"
#include "runtime/hash_table.h"
#include "runtime/memory.h"
#include "runtime/registry.h"
#include "runtime/symbol.h"

using namespace vyn;

namespace {

constexpr uint32_t KEYS = 1000000;

const std::vector<std::string>& keys() {
	static std::vector<std::string> all = [] {
		std::vector<std::string> k;
		k.reserve(KEYS);
		for (uint64_t i = 0; i < KEYS; i++) k.push_back("key:" + std::to_string((i * 2654435761u) % 4294967296u));
		return k;
	}();
	return all;
}

void fresh_runtime() {
	memory::free_all();
	memory::init();
	memory::new_node_frame(NODE_FRAME_NODES);
	memory::new_series_frame();
	stack::init();
	unicode::init_case_tables();
	string::init_type();
}

Cell string_value(const std::string& text) {
	Node n = memory::alloc_series(uint32_t(text.size()), 1, 0);
	Series* s = memory::series(n);
	std::memcpy(s->data(), text.data(), text.size());
	s->tail = uint32_t(text.size());
	Cell c;
	cell::set(&c, T_STRING, 0, n, 0);
	return c;
}

// A map block of key/value pairs and its table, filled with every key.
struct VynMap {
	Cell block;
	Node table;
};

VynMap fill_map() {
	VynMap m;
	cell::set(&m.block, T_BLOCK, 0, memory::alloc_cells(2 * KEYS), 0);
	m.table = hash::create(0, &m.block, hash::KIND_MAP, 0);
	int32_t value = 0;
	for (const std::string& k : keys()) {
		Cell key = string_value(k);
		Series* s = memory::buffer_of(&m.block);
		Cell* at = memory::alloc_at_tail(s);
		*at = key;
		cell::make_integer(memory::alloc_at_tail(memory::buffer_of(&m.block)), value++);
		hash::put(m.table, at);
	}
	return m;
}

void vyn_map_insert(benchmark::State& state) {
	keys();
	for (auto _ : state) {
		state.PauseTiming();
		fresh_runtime();
		state.ResumeTiming();
		VynMap m = fill_map();
		benchmark::DoNotOptimize(m.table);
	}
	state.SetItemsProcessed(int64_t(state.iterations()) * KEYS);
}

void vyn_map_lookup(benchmark::State& state) {
	fresh_runtime();
	VynMap m = fill_map();
	std::vector<Cell> probes;
	for (const std::string& k : keys()) probes.push_back(string_value(k));
	for (auto _ : state) {
		int64_t sum = 0;
		for (const Cell& p : probes) sum += cell::get_integer(hash::get(m.table, &p, 0, 1, COMP_EQUAL, false, false) + 1);
		benchmark::DoNotOptimize(sum);
	}
	state.SetItemsProcessed(int64_t(state.iterations()) * KEYS);
}

void std_map_insert(benchmark::State& state) {
	keys();
	for (auto _ : state) {
		auto* m = new std::unordered_map<std::string, int32_t>;
		int32_t value = 0;
		for (const std::string& k : keys()) m->emplace(k, value++);
		benchmark::DoNotOptimize(m->size());
		state.PauseTiming();  // freeing is not timed, as for the runtime's table
		delete m;
		state.ResumeTiming();
	}
	state.SetItemsProcessed(int64_t(state.iterations()) * KEYS);
}

void std_map_lookup(benchmark::State& state) {
	std::unordered_map<std::string, int32_t> m;
	int32_t value = 0;
	for (const std::string& k : keys()) m.emplace(k, value++);
	std::vector<std::string> probes = keys();
	for (auto _ : state) {
		int64_t sum = 0;
		for (const std::string& p : probes) sum += m.find(p)->second;
		benchmark::DoNotOptimize(sum);
	}
	state.SetItemsProcessed(int64_t(state.iterations()) * KEYS);
}

// Interning the same names as symbols, then finding them again.
void symbol_intern(benchmark::State& state) {
	keys();
	for (auto _ : state) {
		state.PauseTiming();
		fresh_runtime();
		symbol::init();
		state.ResumeTiming();
		for (const std::string& k : keys()) benchmark::DoNotOptimize(symbol::make(k));
	}
	state.SetItemsProcessed(int64_t(state.iterations()) * KEYS);
}

void symbol_find(benchmark::State& state) {
	fresh_runtime();
	symbol::init();
	for (const std::string& k : keys()) symbol::make(k);
	for (auto _ : state) {
		uint64_t sum = 0;
		for (const std::string& k : keys()) sum += symbol::make(k);
		benchmark::DoNotOptimize(sum);
	}
	state.SetItemsProcessed(int64_t(state.iterations()) * KEYS);
}

}  // namespace

BENCHMARK(vyn_map_insert)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(std_map_insert)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(vyn_map_lookup)->Unit(benchmark::kMillisecond);
BENCHMARK(std_map_lookup)->Unit(benchmark::kMillisecond);
BENCHMARK(symbol_intern)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(symbol_find)->Unit(benchmark::kMillisecond);
