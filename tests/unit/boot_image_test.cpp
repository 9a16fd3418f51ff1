// The embedded boot image: it holds the manifest's sources as the lexer
// loads them, every value the library defines survives a round trip
// through the serialiser, and a damaged image stops the start-up.
#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "runtime/io/serial_reader.h"
#include "runtime/io/serial_writer.h"
#include "runtime/io/simple_io.h"
#include "tests/unit/object_support.h"

extern "C" {
extern const uint8_t vyn_boot_image[];
extern const uint8_t vyn_boot_image_end[];
}

namespace vyn::test::objects {
namespace {

std::string read_text(const std::string& path) {
	std::ifstream in(path, std::ios::binary);
	std::stringstream s;
	s << in.rdbuf();
	return s.str();
}

std::vector<std::string> manifest() {
	std::vector<std::string> paths;
	std::istringstream lines(read_text(std::string(VYN_SOURCE_DIR) + "/boot/manifest.txt"));
	std::string line;
	while (std::getline(lines, line))
		if (!line.empty() && line[0] != '#') paths.push_back(line);
	return paths;
}

bool unserialisable(const Cell& v);

// Whether a block (deeply) holds a word bound to an object the codec refuses.
bool reaches_unserialisable(const Cell* block, int depth) {
	Series* s = memory::buffer_of(block);
	for (Cell* c = s->head_cell(); c < s->tail_cell(); c++) {
		if (word::is_any_word(cell::type_of(c)) && c->data1 && context::is_object(c->data1) &&
			cell::is(context::owner(c->data1), T_OBJECT) && unserialisable(*context::owner(c->data1)))
			return true;
		if (series::any_block(c) && depth < 8 && reaches_unserialisable(c, depth + 1)) return true;
	}
	return false;
}

// Values the codec refuses: routines (and operators made from them) and
// handles, objects holding one, and functions bound to such objects (as the
// codecs' functions are, whose objects hold their routines).
bool unserialisable(const Cell& v) {
	if (cell::is(&v, T_ROUTINE) || cell::is(&v, T_HANDLE)) return true;
	if (cell::is(&v, T_OP)) return ((v.header >> 16) & 0xFF) == T_ROUTINE;
	if (cell::is(&v, T_FUNCTION)) {
		Cell body = *memory::series(v.data3)->head_cell();
		return reaches_unserialisable(&body, 0);
	}
	if (!cell::is(&v, T_OBJECT)) return false;
	static std::set<Node> visiting;  // an object's functions are bound to the object itself
	if (!visiting.insert(v.data1).second) return false;
	bool refused = false;
	uint32_t n = context::word_count(v.data1);
	for (uint32_t i = 0; i < n && !refused; i++) refused = unserialisable(context::values(v.data1)[i]);
	visiting.erase(v.data1);
	return refused;
}

class BootImage : public ObjectScript {
protected:
	static Cell decode(const uint8_t* data, size_t size, serial_reader::Mode mode) {
		Cell b;
		block::make_in(context::root, 4);
		b = *(memory::buffer_of(context::root)->tail_cell() - 1);
		serial_reader::decode(data, size, &b, mode);
		return b;
	}
};

TEST_F(BootImage, HoldsTheManifestSourcesAsLoaded) {
	Cell decoded = decode(vyn_boot_image, size_t(vyn_boot_image_end - vyn_boot_image), serial_reader::Mode::boot);
	ASSERT_EQ(block::length(&decoded), 1u);
	Cell groups = *block::vs_abs_at(&decoded, 0);
	std::vector<std::string> paths = manifest();
	ASSERT_EQ(block::length(&groups), 2 * paths.size());
	for (size_t i = 0; i < paths.size(); i++) {
		Cell name = *block::vs_abs_at(&groups, uint32_t(2 * i));
		EXPECT_EQ(paths[i].substr(paths[i].rfind('/') + 1), simple_io::utf8_text(&name));
		std::string text = read_text(std::string(VYN_SOURCE_DIR) + "/" + paths[i]);
		Cell* top = stack::top;
		Cell loaded = *lexer::load(reinterpret_cast<const uint8_t*>(text.data()), uint32_t(text.size()));
		stack::top = top;
		EXPECT_EQ(mold_of(*block::vs_abs_at(&groups, uint32_t(2 * i + 1))), mold_of(loaded)) << paths[i];
	}
}

TEST_F(BootImage, EveryLibraryValueSurvivesARoundTrip) {
	Node global = context::global;
	uint32_t n = context::word_count(global);
	uint32_t checked = 0;
	for (uint32_t i = 0; i < n; i++) {
		Cell v = context::values(global)[i];
		Type t = cell::type_of(&v);
		std::string name(symbol::name(context::word_cell(global, i)->data2));
		if (t == T_UNSET) continue;
		if (unserialisable(v)) {
			EXPECT_EQ(raised_code([&] { serial_writer::encode_bytes(&v, true); }), 512) << name;
			continue;
		}
		// A function can reach a routine through objects its words are bound
		// to at any depth (the developer tools' functions, through system):
		// the codec refuses it, as it must.
		if (cell::is(&v, T_FUNCTION) && raised_code([&] { serial_writer::encode_bytes(&v, true); }) == 512) continue;
		for (bool compact : {true, false}) {
			std::vector<uint8_t> bytes;
			Cell out = in_try_frame([&] {
				bytes = serial_writer::encode_bytes(&v, compact);
				Cell b;
				block::make_in(context::root, 4);
				b = *(memory::buffer_of(context::root)->tail_cell() - 1);
				serial_reader::decode(bytes.data(), bytes.size(), &b, serial_reader::Mode::codec);
				return b;
			});
			ASSERT_TRUE(cell::is(&out, T_BLOCK)) << name << ": error " << error::code_of(&out);
			ASSERT_EQ(block::length(&out), 1u) << name;
			EXPECT_EQ(mold_of(*block::vs_abs_at(&out, 0)), mold_of(v)) << name << (compact ? " compact" : " fixed");
		}
		checked++;
	}
	EXPECT_GT(checked, 200u);
}

TEST_F(BootImage, DamagedImagesStopTheStartUp) {
	std::vector<uint8_t> image(vyn_boot_image, vyn_boot_image_end);
	std::vector<uint8_t> bad = image;
	bad[0] = 'X';
	EXPECT_EXIT(serial_reader::boot_load(bad.data(), bad.size()), testing::ExitedWithCode(1),
		"Error: Not a Vynbin file!");
	bad = {'V', 'Y', 'N', 'B', 'I', 'N', 1, 7, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9};
	EXPECT_EXIT(serial_reader::boot_load(bad.data(), bad.size()), testing::ExitedWithCode(1),
		"Error: Vynbin compressed data corrupted!");
}

}  // namespace
}  // namespace vyn::test::objects
