// Whole-file reads and writes of 1 GiB: the file layer's C++ calls and the
// file! workers that make and write binary! values. The file is made once
// in the temporary directory (and stays in the page cache after that);
// bench/simple_io_peer.py reads and writes the same file with CPython.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "runtime/cell.h"
#include "runtime/datatypes/string.h"
#include "runtime/evaluator/stack.h"
#include "runtime/io/simple_io.h"
#include "runtime/memory.h"

using namespace vyn;

namespace {

constexpr size_t FILE_BYTES = size_t(1) << 30;

std::string temp_path(const char* name) { return (std::filesystem::temp_directory_path() / name).string(); }

// The source file, made on first use (the peer script makes the same one).
const std::string& source() {
	static std::string path = [] {
		std::string p = temp_path("vyn-bench-1g.bin");
		std::error_code ec;
		if (std::filesystem::file_size(p, ec) != FILE_BYTES) {
			simple_io::Bytes chunk;
			chunk.reserve(1 << 20);
			uint32_t x = 2024;
			for (size_t i = 0; i < (1u << 20); i++) {
				x = x * 1103515245u + 12345u;
				uint8_t b = uint8_t(x >> 16);
				chunk.append(&b, 1);
			}
			std::string tmp = p + ".part";
			for (size_t i = 0; i < FILE_BYTES / chunk.size(); i++)
				simple_io::write_file(tmp, chunk.data(), chunk.size(), -1, i > 0);
			std::filesystem::rename(tmp, p);
		}
		return p;
	}();
	return path;
}

void boot() {
	memory::free_all();
	memory::init();
	memory::new_node_frame(NODE_FRAME_NODES);
	memory::new_series_frame();
	stack::init();
}

void read_file_bytes(benchmark::State& state) {
	const std::string& path = source();
	for (auto _ : state) {
		std::optional<simple_io::Bytes> data = simple_io::read_file(path);
		benchmark::DoNotOptimize(data->data());
	}
	state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(FILE_BYTES));
}

void read_binary_value(benchmark::State& state) {
	const std::string& path = source();
	for (auto _ : state) {
		state.PauseTiming();
		boot();  // no collector here: each run starts from an empty heap
		Cell file, out;
		string::load_at(&file, path);
		cell::set_type(&file, T_FILE);
		state.ResumeTiming();
		simple_io::read(&file, nullptr, nullptr, true, false, &out);
		benchmark::DoNotOptimize(memory::buffer_of(&out)->head_ptr());
	}
	state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(FILE_BYTES));
}

void write_file_bytes(benchmark::State& state) {
	std::optional<simple_io::Bytes> data = simple_io::read_file(source());
	std::string target = temp_path("vyn-bench-1g-out.bin");
	for (auto _ : state) simple_io::write_file(target, data->data(), data->size(), -1, false);
	unlink(target.c_str());
	state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(FILE_BYTES));
}

void write_binary_value(benchmark::State& state) {
	boot();
	Cell in, out, data;
	string::load_at(&in, source());
	string::load_at(&out, temp_path("vyn-bench-1g-out.bin"));
	cell::set_type(&in, T_FILE);
	cell::set_type(&out, T_FILE);
	simple_io::read(&in, nullptr, nullptr, true, false, &data);
	for (auto _ : state) simple_io::write(&out, &data, nullptr, nullptr, true, false, false);
	unlink(simple_io::utf8_text(&out).c_str());
	state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(FILE_BYTES));
}

BENCHMARK(read_file_bytes)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(read_binary_value)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(write_file_bytes)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(write_binary_value)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace
