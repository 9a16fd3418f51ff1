// vyn-image: writes the boot image. Loads, without evaluating, every Vyn
// source the manifest lists, in its order, and serialises them as one block
// of file name / loaded block pairs in the compact encoding:
//   vyn-image <source-root> <manifest> <output>
// The output depends on the sources alone (no time stamps; symbols in first
// use order), so identical sources give identical images.
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "boot/boot.h"
#include "runtime/collector.h"
#include "runtime/context.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/file.h"
#include "runtime/datatypes/string.h"
#include "runtime/errors.h"
#include "runtime/evaluator/lexer.h"
#include "runtime/evaluator/stack.h"
#include "runtime/io/serial_writer.h"
#include "runtime/memory.h"

using namespace vyn;

namespace {

bool read_text(const std::string& path, std::string& out) {
	std::ifstream in(path, std::ios::binary);
	if (!in) return false;
	std::stringstream s;
	s << in.rdbuf();
	out = s.str();
	return true;
}

// The manifest's paths: one a line, blank lines and # comments skipped.
std::vector<std::string> manifest_paths(const std::string& text) {
	std::vector<std::string> paths;
	std::istringstream lines(text);
	std::string line;
	while (std::getline(lines, line)) {
		size_t a = line.find_first_not_of(" \t\r");
		if (a == std::string::npos || line[a] == '#') continue;
		size_t b = line.find_last_not_of(" \t\r");
		paths.push_back(line.substr(a, b - a + 1));
	}
	return paths;
}

std::string file_name(const std::string& path) {
	size_t slash = path.rfind('/');
	return slash == std::string::npos ? path : path.substr(slash + 1);
}

int build(const std::string& root, const std::string& manifest, const std::string& output) {
	std::string text;
	if (!read_text(manifest, text)) {
		std::fprintf(stderr, "vyn-image: cannot read %s\n", manifest.c_str());
		return 1;
	}
	Cell* groups = block::make_in(context::root, 32);
	uint32_t at = memory::buffer_of(context::root)->used() / sizeof(Cell) - 1;
	for (const std::string& path : manifest_paths(text)) {
		std::string source;
		if (!read_text(root + "/" + path, source)) {
			std::fprintf(stderr, "vyn-image: cannot read %s\n", path.c_str());
			return 1;
		}
		std::string name = file_name(path);
		groups = memory::buffer_of(context::root)->head_cell() + at;
		Cell n;
		file::load(&n, reinterpret_cast<const uint8_t*>(name.data()), uint32_t(name.size()), string::ENC_UTF8);
		block::append_value(groups, &n);
		Cell* loaded = lexer::load(reinterpret_cast<const uint8_t*>(source.data()), uint32_t(source.size()));
		Cell b = *loaded;
		groups = memory::buffer_of(context::root)->head_cell() + at;
		block::append_value(groups, &b);
		stack::reset_all();
	}
	groups = memory::buffer_of(context::root)->head_cell() + at;
	std::vector<uint8_t> image = serial_writer::encode_bytes(groups, true);
	std::ofstream out(output, std::ios::binary | std::ios::trunc);
	out.write(reinterpret_cast<const char*>(image.data()), std::streamsize(image.size()));
	if (!out) {
		std::fprintf(stderr, "vyn-image: cannot write %s\n", output.c_str());
		return 1;
	}
	return 0;
}

}  // namespace

int main(int argc, char** argv) {
	if (argc != 4) {
		std::fprintf(stderr, "usage: vyn-image <source-root> <manifest> <output>\n");
		return 2;
	}
	try {
		boot::init_core();
		collector::active = false;
		return build(argv[1], argv[2], argv[3]);
	} catch (const Throw&) {
		std::fprintf(stderr, "vyn-image: a source could not be loaded\n");
		return 1;
	}
}
