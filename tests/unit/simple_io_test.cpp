#include "runtime/io/simple_io.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "runtime/datatypes/block.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/string.h"
#include "tests/unit/string_support.h"

using namespace vyn;
namespace fs = std::filesystem;

namespace {

// Each test gets a fresh temporary directory, removed afterwards.
class FileTest : public ::testing::Test {
protected:
	std::string dir;

	void SetUp() override {
		std::string pattern = (fs::temp_directory_path() / "vyn-io-XXXXXX").string();
		ASSERT_NE(mkdtemp(pattern.data()), nullptr);
		dir = pattern + "/";
	}
	void TearDown() override { fs::remove_all(dir); }

	std::string at(std::string_view name) const { return dir + std::string(name); }
	void put(std::string_view name, std::string_view content) const {
		std::ofstream(at(name), std::ios::binary) << content;
	}
	std::string content(std::string_view name) const {
		std::ifstream in(at(name), std::ios::binary);
		return std::string(std::istreambuf_iterator<char>(in), {});
	}
	std::optional<std::string> read(const std::string& path, int64_t part = -1, int64_t seek = -1) const {
		std::optional<simple_io::Bytes> got = simple_io::read_file(path, part, seek);
		if (!got) return std::nullopt;
		return std::string(got->view());
	}
};

// Feeds `content` to a named pipe from another thread: a reader sees a
// stream of unknown size that cannot seek.
class Fifo {
public:
	Fifo(const std::string& path, std::string content) : path_(path) {
		EXPECT_EQ(mkfifo(path.c_str(), 0600), 0);
		writer_ = std::thread([this, content = std::move(content)] {
			int fd = ::open(path_.c_str(), O_WRONLY | O_CLOEXEC);
			if (fd < 0) return;
			// The reader may stop early (part): its close fails our writes
			// with EPIPE, and the signal stays blocked in this thread.
			sigset_t pipe_signal;
			sigemptyset(&pipe_signal);
			sigaddset(&pipe_signal, SIGPIPE);
			pthread_sigmask(SIG_BLOCK, &pipe_signal, nullptr);
			(void)simple_io::write_data(fd, reinterpret_cast<const uint8_t*>(content.data()), content.size());
			::close(fd);
		});
	}
	~Fifo() { writer_.join(); }

private:
	std::string path_;
	std::thread writer_;
};

std::string pattern_text(size_t n) {
	std::string s(n, '\0');
	for (size_t i = 0; i < n; i++) s[i] = char('a' + (i * 7 + i / 251) % 26);
	return s;
}

struct Slice {
	int64_t part;
	int64_t seek;
	std::string expected;
};

// The same slices whether the size is known (a file) or not (a pipe).
const std::vector<Slice> TEN_BYTE_SLICES = {
	{-1, -1, "0123456789"}, {0, -1, ""}, {3, -1, "012"}, {10, -1, "0123456789"}, {20, -1, "0123456789"},
	{-1, 0, "0123456789"}, {-1, 3, "3456789"}, {2, 3, "34"}, {0, 3, ""}, {-1, 9, "9"}, {5, 8, "89"},
	{-1, 10, ""}, {4, 10, ""}, {-1, 11, ""}, {-1, 1000000, ""}, {-7, -5, "0123456789"},
};

TEST_F(FileTest, PartAndSeekSliceAFileOfKnownSize) {
	put("ten", "0123456789");
	for (const Slice& c : TEN_BYTE_SLICES)
		EXPECT_EQ(read(at("ten"), c.part, c.seek), c.expected) << "part " << c.part << " seek " << c.seek;
}

TEST_F(FileTest, PartAndSeekSliceAPipeWithoutLosingBytes) {
	for (const Slice& c : TEN_BYTE_SLICES) {
		std::string path = at("pipe");
		{
			Fifo fifo(path, "0123456789");
			EXPECT_EQ(read(path, c.part, c.seek), c.expected) << "part " << c.part << " seek " << c.seek;
		}
		unlink(path.c_str());
	}
}

TEST_F(FileTest, StreamsOfUnknownSizeAreReadWhole) {
	// Past the first 64 KB chunk and several doublings; seeks skip across chunks.
	std::string big = pattern_text(1000003);
	struct Case {
		int64_t part, seek;
	} cases[] = {{-1, -1}, {-1, 70000}, {200000, 65535}, {65536, -1}, {-1, 999999}, {-1, 1000003}};
	for (const Case& c : cases) {
		std::string path = at("big-pipe");
		{
			Fifo fifo(path, big);
			size_t from = c.seek < 0 ? 0 : std::min(size_t(c.seek), big.size());
			std::string expected = big.substr(from, c.part < 0 ? std::string::npos : size_t(c.part));
			std::optional<std::string> got = read(path, c.part, c.seek);
			ASSERT_TRUE(got) << c.seek;
			EXPECT_EQ(got->size(), expected.size()) << "part " << c.part << " seek " << c.seek;
			EXPECT_TRUE(*got == expected) << "part " << c.part << " seek " << c.seek;
		}
		unlink(path.c_str());
	}
}

TEST_F(FileTest, ProcFilesReportingSizeZeroAreReadWhole) {
	struct stat st;
	ASSERT_EQ(stat("/proc/self/status", &st), 0);
	ASSERT_EQ(st.st_size, 0) << "the case this covers: a file that says it is empty";
	std::optional<std::string> status = read("/proc/self/status");
	ASSERT_TRUE(status);
	EXPECT_EQ(status->rfind("Name:", 0), 0u);
	EXPECT_NE(status->find("\nPid:"), std::string::npos);
	EXPECT_EQ(status->back(), '\n');
}

TEST_F(FileTest, BinaryRoundTripsKeepEveryByte) {
	std::string all_bytes;
	for (int b = 0; b < 256; b++) all_bytes += char(b);
	std::string cases[] = {"", std::string("\0", 1), "a\r\nb\rc\n", all_bytes, pattern_text(3 << 20)};
	for (const std::string& data : cases) {
		ASSERT_TRUE(simple_io::write_file(at("round"), reinterpret_cast<const uint8_t*>(data.data()), data.size(), -1, false));
		std::optional<std::string> back = read(at("round"));
		ASSERT_TRUE(back);
		EXPECT_TRUE(*back == data) << "size " << data.size();
	}
}

TEST_F(FileTest, WriteModesKeepOrReplaceContents) {
	struct Case {
		const char* before;  // null: no file yet
		const char* data;
		int64_t seek;
		bool append;
		std::string after;
	} cases[] = {
		{nullptr, "new", -1, false, "new"},
		{"0123456789", "ab", -1, false, "ab"},
		{"0123456789", "ab", -1, true, "0123456789ab"},
		{nullptr, "ab", -1, true, "ab"},
		{"0123456789", "ab", 0, false, "ab23456789"},
		{"0123456789", "ab", 4, false, "0123ab6789"},
		{"0123456789", "ab", 9, false, "012345678ab"},
		{"0123", "ab", 6, false, std::string("0123\0\0ab", 8)},
		{"0123456789", "ab", 4, true, "0123456789ab"},
		{"0123456789", "", -1, false, ""},
		{"0123456789", "", 0, false, "0123456789"},
		{nullptr, "xy", 3, false, std::string("\0\0\0xy", 5)},
	};
	for (const Case& c : cases) {
		std::string path = at("w");
		unlink(path.c_str());
		if (c.before) put("w", c.before);
		std::string_view data = c.data;
		EXPECT_TRUE(simple_io::write_file(path, reinterpret_cast<const uint8_t*>(data.data()), data.size(), c.seek, c.append));
		EXPECT_EQ(content("w"), c.after) << (c.before ? c.before : "(none)") << " seek " << c.seek << " append " << c.append;
	}
}

TEST_F(FileTest, FailedOpensAndWritesReportFailure) {
	put("file", "x");
	mkdir(at("sub").c_str(), 0700);
	const uint8_t data[] = {'a', 'b'};
	std::string cases[] = {at("sub"), at("sub/"), at("no-dir/f"), at("file/f"), std::string("nul\0l", 5), "/dev/full"};
	for (const std::string& path : cases) {
		EXPECT_FALSE(simple_io::write_file(path, data, 2, -1, false)) << path;
		EXPECT_FALSE(simple_io::write_file(path, data, 2, -1, true)) << path;
	}
	EXPECT_EQ(content("file"), "x");
}

TEST_F(FileTest, ReadingWhatIsNoFileFails) {
	put("file", "x");
	mkdir(at("sub").c_str(), 0700);
	put("nul", "x");
	std::string cases[] = {at("missing"), at("sub"), at("sub/"), at("file/"), at(std::string("nul\0x", 5)), ""};
	for (const std::string& path : cases) EXPECT_FALSE(read(path)) << path;
	for (const std::string& path : cases) EXPECT_FALSE(simple_io::size_q(path)) << path;
}

TEST_F(FileTest, EmptyFilesReadEmpty) {
	put("empty", "");
	for (int64_t seek : {-1, 0, 5}) EXPECT_EQ(read(at("empty"), -1, seek), "") << seek;
	EXPECT_EQ(simple_io::size_q(at("empty")), 0);
}

TEST_F(FileTest, SizesAndSeeksPastFourGigabytes) {
	// A sparse file of 5 GB: only the last bytes are written.
	const int64_t size = int64_t(5) << 30;
	std::string path = at("huge");
	int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
	ASSERT_GE(fd, 0);
	if (ftruncate(fd, size - 3) != 0) {
		::close(fd);
		GTEST_SKIP() << "no sparse 5 GB file here";
	}
	::close(fd);
	const uint8_t tail[] = {'e', 'n', 'd'};
	ASSERT_TRUE(simple_io::write_file(path, tail, 3, size - 3, false));
	EXPECT_EQ(simple_io::size_q(path), size);
	EXPECT_EQ(read(path, -1, size - 3), "end");
	EXPECT_EQ(read(path, 2, size - 4), std::string("\0e", 2));
	EXPECT_EQ(read(path, -1, size), "");
	// An offset cut to 32 bits would land on byte 1.
	const int64_t past_4g = (int64_t(1) << 32) + 1;
	const uint8_t mark[] = {'m', 'i', 'd'};
	ASSERT_TRUE(simple_io::write_file(path, mark, 3, past_4g, false));
	EXPECT_EQ(read(path, 3, past_4g), "mid");
	EXPECT_EQ(read(path, 3, 1), std::string(3, '\0'));
	EXPECT_EQ(simple_io::size_q(path), size);
}

TEST(DirSpelling, NamesDirectoriesByTheirText) {
	struct Case {
		const char* spelling;
		bool dir;
	} cases[] = {
		{"", false}, {"a", false}, {"a/", true}, {"/", true}, {".", true}, {"..", true}, {"a/.", true},
		{"a/..", true}, {"./", true}, {"a.", false}, {"a..", false}, {"a/b.", false}, {"a/b..", false},
		{"...", false}, {"a/...", false}, {".a", false}, {"a\\", false},
	};
	for (const Case& c : cases) EXPECT_EQ(simple_io::dir_q(c.spelling), c.dir) << c.spelling;
}

TEST_F(FileTest, ListingsMarkSubdirectoriesAndSortByBytes) {
	put("b.txt", "");
	put("a", "");
	put("B", "");
	put("\xC3\xA9t\xC3\xA9", "");
	mkdir(at("sub").c_str(), 0700);
	mkdir(at("empty").c_str(), 0700);
	put("sub/inner", "x");
	ASSERT_EQ(symlink(at("sub").c_str(), at("to-sub").c_str()), 0);
	ASSERT_EQ(symlink(at("b.txt").c_str(), at("to-file").c_str()), 0);
	ASSERT_EQ(symlink(at("missing").c_str(), at("dangling").c_str()), 0);
	std::vector<std::string> expected = {"B", "a", "b.txt", "dangling", "empty/", "sub/", "to-file", "to-sub/", "\xC3\xA9t\xC3\xA9"};
	for (const std::string& spelling : {dir, dir.substr(0, dir.size() - 1), dir + ".", dir + "sub/.."})
		EXPECT_EQ(simple_io::read_dir(spelling), expected) << spelling;
	EXPECT_EQ(simple_io::read_dir(at("empty/")), std::vector<std::string>{});
	EXPECT_EQ(simple_io::read_dir(at("sub")), std::vector<std::string>{"inner"});
	for (const char* bad : {"missing/", "b.txt", "b.txt/"}) EXPECT_FALSE(simple_io::read_dir(at(bad))) << bad;
	std::optional<std::vector<std::string>> root = simple_io::read_dir("/");
	ASSERT_TRUE(root);
	EXPECT_NE(std::find(root->begin(), root->end(), "tmp/"), root->end());
}

TEST_F(FileTest, DeleteRemovesFilesAndEmptyDirectories) {
	struct Case {
		const char* target;
		bool deleted;
	} cases[] = {
		{"file", true}, {"empty/", true}, {"empty/.", false}, {"full/", false}, {"full", false},
		{"file/", false}, {"missing", false}, {"missing/", false},
	};
	for (const Case& c : cases) {
		fs::remove_all(at("file"));
		fs::remove_all(at("empty"));
		fs::remove_all(at("full"));
		put("file", "x");
		mkdir(at("empty").c_str(), 0700);
		mkdir(at("full").c_str(), 0700);
		put("full/inside", "y");
		EXPECT_EQ(simple_io::delete_(at(c.target)), c.deleted) << c.target;
		std::string name = c.target;
		if (name.find('/') != std::string::npos) name.resize(name.find('/'));
		if (name != "missing") {
			EXPECT_EQ(fs::exists(at(name)), !c.deleted) << c.target;
		}
	}
	EXPECT_EQ(content("full/inside"), "y");
}

TEST_F(FileTest, RenameNeverReplacesAnExistingTarget) {
	mkdir(at("sub").c_str(), 0700);
	mkdir(at("other").c_str(), 0700);
	struct Case {
		const char* from;
		const char* to;
		bool renamed;
	} cases[] = {
		{"one", "fresh", true},  {"one", "sub/moved", true}, {"one", "two", false}, {"one", "sub", false},
		{"sub", "other", false}, {"sub", "renamed", true},   {"sub/", "renamed/", true}, {"missing", "fresh", false},
		{"one", "no-dir/fresh", false},
	};
	for (const Case& c : cases) {
		put("one", "first");
		put("two", "second");
		EXPECT_EQ(simple_io::rename(at(c.from), at(c.to)), c.renamed) << c.from << " -> " << c.to;
		if (c.renamed) {
			EXPECT_FALSE(fs::exists(at(c.from))) << c.from;
			if (std::string_view(c.from) == "one") {
				EXPECT_EQ(content(c.to), "first");
			}
			fs::rename(at(c.to), at(c.from));
		}
		EXPECT_EQ(content("one"), "first");
		EXPECT_EQ(content("two"), "second");
		EXPECT_TRUE(fs::is_directory(at("sub")));
		EXPECT_TRUE(fs::is_directory(at("other")));
		fs::remove(at("fresh"));
		fs::remove(at("sub/moved"));
	}
}

TEST_F(FileTest, QueryGivesTheLastWriteInUtcToTheMillisecond) {
	put("file", "x");
	mkdir(at("sub").c_str(), 0700);
	struct Case {
		timespec when;
		simple_io::FileTime expected;
	} cases[] = {
		{{1614834367, 890123456}, {2021, 3, 4, 5, 6, 7, 890000000}},
		{{0, 0}, {1970, 1, 1, 0, 0, 0, 0}},
		{{-1, 999999999}, {1969, 12, 31, 23, 59, 59, 999000000}},
		{{951782400, 1000000}, {2000, 2, 29, 0, 0, 0, 1000000}},
		{{4102444799, 0}, {2099, 12, 31, 23, 59, 59, 0}},
	};
	for (const Case& c : cases) {
		for (const char* name : {"file", "sub/"}) {
			timespec times[2] = {c.when, c.when};
			ASSERT_EQ(utimensat(AT_FDCWD, at(name).c_str(), times, 0), 0);
			std::optional<simple_io::FileTime> t = simple_io::query(at(name));
			ASSERT_TRUE(t) << name;
			const simple_io::FileTime& e = c.expected;
			EXPECT_EQ(std::vector<int32_t>({t->year, t->month, t->day, t->hour, t->minute, t->second, t->nanosecond}),
				std::vector<int32_t>({e.year, e.month, e.day, e.hour, e.minute, e.second, e.nanosecond}))
				<< name << " at " << c.when.tv_sec;
		}
	}
	for (const char* name : {"missing", "file/", "missing/"}) EXPECT_FALSE(simple_io::query(at(name))) << name;
}

TEST_F(FileTest, MakeDirAndExistence) {
	put("file", "x");
	EXPECT_TRUE(simple_io::make_dir(at("new")));
	EXPECT_TRUE(fs::is_directory(at("new")));
	EXPECT_TRUE(simple_io::make_dir(at("new/inner/")));
	for (const char* bad : {"new", "file", "no/such/parent"}) EXPECT_FALSE(simple_io::make_dir(at(bad))) << bad;
	struct Case {
		const char* name;
		bool exists;
	} cases[] = {{"file", true}, {"new", true}, {"new/", true}, {"new/inner", true}, {"missing", false}, {"file/", false}};
	for (const Case& c : cases) EXPECT_EQ(simple_io::file_exists_q(at(c.name)), c.exists) << c.name;
}

TEST(Lines, SplitAtLineFeedsDroppingOnlyTheCarriageReturnBeforeThem) {
	struct Case {
		std::string bytes;
		std::vector<std::string> lines;
	} cases[] = {
		{"", {}},
		{"a\r\nb\rc", {"a", "b\rc"}},
		{"a\n\nb\n", {"a", "", "b"}},
		{"\n", {""}},
		{"\r\n", {""}},
		{"abc\r", {"abc\r"}},
		{"a\r\r\n", {"a\r"}},
		{"\xEF\xBB\xBFx\ny", {"x", "y"}},
		{"\xEF\xBB\xBF", {}},
		{"x\n\xEF\xBB\xBFy", {"x", "\xEF\xBB\xBFy"}},
		{"no end", {"no end"}},
	};
	for (const Case& c : cases) {
		const uint8_t* bytes = reinterpret_cast<const uint8_t*>(c.bytes.data());
		std::vector<std::string> got;
		for (simple_io::Line l : simple_io::split_lines(bytes, c.bytes.size()))
			got.emplace_back(c.bytes.substr(l.start, l.size));
		EXPECT_EQ(got, c.lines) << c.bytes;
	}
}

class TextValues : public test::TextTest {};

TEST_F(TextValues, LoadTextSkipsTheMarkAndReadsEveryLineEndAsLineFeed) {
	struct Case {
		std::string bytes;
		std::u32string text;
	} cases[] = {
		{"a\r\nb\rc", U"a\nb\nc"},
		{"\xEF\xBB\xBF" "a\r\n", U"a\n"},
		{"\xEF\xBB\xBF", U""},
		{"", U""},
		{"\r\r\n\n\r", U"\n\n\n\n"},
		{"x\xEF\xBB\xBFy", U"x\uFEFFy"},
		{"\xC3\xA9\r\n\xE2\x82\xAC\r\xF0\x9F\x98\x80", U"\u00e9\n\u20ac\n\U0001F600"},
	};
	for (const Case& c : cases) {
		Cell s;
		simple_io::load_text(reinterpret_cast<const uint8_t*>(c.bytes.data()), c.bytes.size(), &s);
		EXPECT_EQ(cell::type_of(&s), T_STRING);
		EXPECT_EQ(test::text_of(s.data2), c.text) << c.bytes;
	}
}

TEST_F(TextValues, LoadTextRefusesMalformedText) {
	// A sequence cut by the end is as malformed as one cut by another byte.
	for (std::string bad : {"\xFF", "ok\xE2\x28\xA1", "\xC3(", "a\xED\xB3\x80", "a\xC3", "\xE2\x82", "\xEF\xBB"}) {
		Cell s;
		EXPECT_EQ(test::raised([&] { simple_io::load_text(reinterpret_cast<const uint8_t*>(bad.data()), bad.size(), &s); }),
			errors::id::access_invalid_utf8.code())
			<< bad;
	}
}

TEST_F(TextValues, PathsAreTheValueTextFromItsHeadAsUtf8) {
	struct Case {
		std::u32string text;
		uint32_t width;
		uint32_t head;
		std::string path;
	} cases[] = {
		{U"/tmp/a b", 1, 0, "/tmp/a b"},
		{U"dir/\u00e9t\u00e9", 1, 4, "\xC3\xA9t\xC3\xA9"},
		{U"\u20ac/x", 2, 0, "\xE2\x82\xAC/x"},
		{U"\U0001F600", 4, 0, "\xF0\x9F\x98\x80"},
		{U"abc", 1, 7, ""},
	};
	for (const Case& c : cases) {
		Cell f = test::make_string(c.text, c.width, T_FILE);
		f.data1 = c.head;
		EXPECT_EQ(simple_io::utf8_text(&f), c.path);
	}
}

TEST_F(TextValues, LenientTextReplacesEachByteOfWhatIsNoText) {
	struct Case {
		std::string bytes;
		std::u32string text;
	} cases[] = {
		{"vyn a.vyn", U"vyn a.vyn"},
		{"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80", U"caf\u00e9 \u20ac \U0001F600"},
		{"latin\xE9 x", U"latin\uFFFD x"},
		{"cut\xE2\x82", U"cut\uFFFD\uFFFD"},
		{"\xC3(", U"\uFFFD("},
		{"\xED\xA0\x80", U"\uFFFD\uFFFD\uFFFD"},
		{"", U""},
	};
	for (const Case& c : cases) {
		Cell s;
		simple_io::load_lenient_text(c.bytes, &s);
		EXPECT_EQ(test::text_of(s.data2), c.text) << c.bytes;
	}
}

// The file! workers, on values, in a temporary directory.
class FileValues : public test::StringTest {
protected:
	std::string dir;

	void SetUp() override {
		test::StringTest::SetUp();
		series::init_type();
		block::init_type();
		integer::init_type();
		none::init_type();
		simple_io::init();
		std::string pattern = (fs::temp_directory_path() / "vyn-io-XXXXXX").string();
		ASSERT_NE(mkdtemp(pattern.data()), nullptr);
		dir = pattern + "/";
	}
	void TearDown() override {
		fs::remove_all(dir);
		test::StringTest::TearDown();
	}

	Cell file(std::string_view name) const { return test::str(dir + std::string(name), T_FILE); }
	void put(std::string_view name, std::string_view content) const {
		std::ofstream(dir + std::string(name), std::ios::binary) << content;
	}
	std::string content(std::string_view name) const {
		std::ifstream in(dir + std::string(name), std::ios::binary);
		return std::string(std::istreambuf_iterator<char>(in), {});
	}
	static Cell binary(std::string_view bytes) {
		Cell c;
		return *simple_io::load_binary(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), &c);
	}
	static std::string bytes_of(Cell b) {
		Series* s = memory::buffer_of(&b);
		return std::string(reinterpret_cast<const char*>(s->head_ptr()) + b.data1, s->used() - b.data1);
	}
	static std::vector<std::string> strings_of(Cell b) {
		std::vector<std::string> out;
		for (Cell* v = block::vs_head(&b); v < block::vs_tail(&b); v++) out.push_back(test::utf8(*v));
		return out;
	}
	Cell read(std::string_view name, const Cell* part, const Cell* seek, bool binary, bool lines) {
		Cell f = file(name), out;
		simple_io::read(&f, part, seek, binary, lines, &out);
		return out;
	}
};

TEST_F(FileValues, BinaryWrittenLineEndsReadBackAsLineFeeds) {
	Cell f = file("t.txt");
	Cell data = binary("a\r\nb\rc");
	simple_io::write(&f, &data, nullptr, nullptr, true, false, false);
	EXPECT_EQ(content("t.txt"), "a\r\nb\rc");
	Cell text = read("t.txt", nullptr, nullptr, false, false);
	ASSERT_EQ(cell::type_of(&text), T_STRING);
	EXPECT_EQ(test::utf8(text), "a\nb\nc");
	Cell lines = read("t.txt", nullptr, nullptr, false, true);
	ASSERT_EQ(cell::type_of(&lines), T_BLOCK);
	EXPECT_EQ(strings_of(lines), (std::vector<std::string>{"a", "b\rc"}));
}

TEST_F(FileValues, BinaryReadsSliceByPartAndSeek) {
	put("ten", "0123456789");
	struct Case {
		int32_t part, seek;  // -1: refinement not used
		std::string bytes;
	} cases[] = {
		{-1, -1, "0123456789"}, {0, -1, ""}, {4, -1, "0123"}, {99, -1, "0123456789"}, {-1, 3, "3456789"},
		{2, 3, "34"}, {-1, 10, ""}, {-1, 12, ""}, {3, 9, "9"},
	};
	for (const Case& c : cases) {
		Cell part = test::int_value(c.part), seek = test::int_value(c.seek);
		Cell got = read("ten", c.part < 0 ? nullptr : &part, c.seek < 0 ? nullptr : &seek, true, false);
		ASSERT_EQ(cell::type_of(&got), T_BINARY);
		EXPECT_EQ(bytes_of(got), c.bytes) << c.part << " " << c.seek;
		Cell text = read("ten", c.part < 0 ? nullptr : &part, c.seek < 0 ? nullptr : &seek, false, false);
		EXPECT_EQ(test::utf8(text), c.bytes) << c.part << " " << c.seek;
	}
}

TEST_F(FileValues, EmptyFilesGiveEmptyValuesOfTheAskedKind) {
	put("empty", "");
	Cell b = read("empty", nullptr, nullptr, true, false);
	EXPECT_EQ(cell::type_of(&b), T_BINARY);
	EXPECT_EQ(bytes_of(b), "");
	Cell t = read("empty", nullptr, nullptr, false, false);
	EXPECT_EQ(cell::type_of(&t), T_STRING);
	EXPECT_EQ(test::utf8(t), "");
	Cell l = read("empty", nullptr, nullptr, false, true);
	EXPECT_EQ(cell::type_of(&l), T_BLOCK);
	EXPECT_EQ(block::length(&l), 0u);
}

TEST_F(FileValues, FailuresRaiseCannotOpenNamingTheFile) {
	put("file", "x");
	for (const char* name : {"nofile.txt", "file/", "missing/"}) {
		EXPECT_EQ(test::raised([&] { read(name, nullptr, nullptr, false, false); }), errors::id::access_cannot_open.code())
			<< name;
		ASSERT_TRUE(test::last_error_has_arg);
		EXPECT_EQ(cell::type_of(&test::last_error_arg), T_FILE);
		EXPECT_EQ(test::utf8(test::last_error_arg), dir + name);
	}
	mkdir((dir + "sub").c_str(), 0700);
	for (const char* name : {"sub", "sub/", "no-dir/x"}) {
		Cell f = file(name), data = test::str("data");
		EXPECT_EQ(test::raised([&] { simple_io::write(&f, &data, nullptr, nullptr, false, false, false); }),
			errors::id::access_cannot_open.code())
			<< name;
		EXPECT_EQ(test::utf8(test::last_error_arg), dir + name);
	}
}

TEST_F(FileValues, RefinementsOtherThanIntegersAreRefused) {
	put("ten", "0123456789");
	Cell f = file("ten"), data = test::str("x"), text = test::str("3");
	Cell none;
	cell::make_none(&none);
	for (const Cell* bad : {static_cast<const Cell*>(&text), static_cast<const Cell*>(&none)}) {
		EXPECT_EQ(test::raised([&] { read("ten", bad, nullptr, false, false); }), errors::id::script_invalid_refine_arg.code());
		EXPECT_EQ(test::raised([&] { read("ten", nullptr, bad, true, false); }), errors::id::script_invalid_refine_arg.code());
		EXPECT_EQ(test::raised([&] { simple_io::write(&f, &data, bad, nullptr, false, false, false); }),
			errors::id::script_invalid_refine_arg.code());
	}
	EXPECT_EQ(content("ten"), "0123456789");
}

TEST_F(FileValues, WritesTurnValuesIntoBytes) {
	enum Kind { TEXT, BIN, INT, LINES };
	struct Case {
		const char* before;  // null: no file
		Kind kind;
		std::string data;
		int32_t part, seek;  // -1: not used
		bool append, lines;
		std::string after;
	} cases[] = {
		{nullptr, TEXT, "x\ny", -1, -1, false, false, "x\ny"},
		{nullptr, TEXT, "h\xC3\xA9llo \xE2\x82\xAC", -1, -1, false, false, "h\xC3\xA9llo \xE2\x82\xAC"},
		{nullptr, TEXT, "h\xC3\xA9llo", 2, -1, false, false, "h\xC3\xA9"},
		{"kept", TEXT, "abc", 0, -1, false, false, "kept"},
		{"kept", TEXT, "abc", -5, -1, false, false, "kept"},
		{"kept", TEXT, "abc", 9, -1, false, false, "abc"},
		{"k", TEXT, "v", -1, -1, true, false, "kv"},
		{"0123456789", TEXT, "ab", -1, 0, false, false, "ab23456789"},
		{"0123456789", TEXT, "ab", -1, 8, false, false, "01234567ab"},
		{nullptr, TEXT, "one", -1, -1, false, true, "one\n"},
		{"z\n", TEXT, "one", -1, -1, true, true, "z\none\n"},
		{nullptr, LINES, "", -1, -1, false, true, "a\n\n42\nc\xC3\xA9\n"},
		{nullptr, LINES, "", -1, -1, false, false, "a  42 c\xC3\xA9"},
		{nullptr, BIN, std::string("\0\xFF\r\n", 4), -1, -1, false, false, std::string("\0\xFF\r\n", 4)},
		{nullptr, BIN, std::string("\0\xFF\r\n", 4), 2, -1, false, false, std::string("\0\xFF", 2)},
		{nullptr, BIN, "ab", -1, -1, false, true, "ab\n"},
		{nullptr, INT, "", -1, -1, false, false, "42"},
	};
	for (const Case& c : cases) {
		fs::remove(dir + "w");
		if (c.before) put("w", c.before);
		Cell data;
		switch (c.kind) {
		case TEXT: data = test::str(c.data); break;
		case BIN: data = binary(c.data); break;
		case INT: data = test::int_value(42); break;
		case LINES: {
			block::make_at(&data, 4);
			Cell items[] = {test::str("a"), test::str(""), test::int_value(42), test::str("c\xC3\xA9")};
			for (const Cell& v : items) block::append_value(&data, &v);
			break;
		}
		}
		Cell f = file("w"), part = test::int_value(c.part), seek = test::int_value(c.seek);
		simple_io::write(&f, &data, c.part == -1 ? nullptr : &part, c.seek < 0 ? nullptr : &seek, false, c.append,
			c.lines);
		EXPECT_EQ(content("w"), c.after) << c.data << " part " << c.part << " seek " << c.seek;
		if (!c.before && c.part == 0) {
			EXPECT_FALSE(fs::exists(dir + "w"));
		}
	}
}

TEST_F(FileValues, ListingsAreBlocksOfFilesAndLeaveTheValueAlone) {
	put("b", "");
	put("a", "");
	mkdir((dir + "sub").c_str(), 0700);
	put("latin\xE9", "");
	for (std::string spelling : {dir, dir + ".", dir + "sub/.."}) {
		Cell f = test::str(spelling, T_FILE), out;
		Cell before = f;
		simple_io::read(&f, nullptr, nullptr, true, true, &out);
		ASSERT_EQ(cell::type_of(&out), T_BLOCK);
		std::vector<std::string> names;
		for (Cell* v = block::vs_head(&out); v < block::vs_tail(&out); v++) {
			EXPECT_EQ(cell::type_of(v), T_FILE);
			names.push_back(test::utf8(*v));
		}
		EXPECT_EQ(names, (std::vector<std::string>{"a", "b", "latin\xEF\xBF\xBD", "sub/"})) << spelling;
		EXPECT_EQ(test::utf8(f), spelling);
		EXPECT_EQ(f.data1, before.data1);
		EXPECT_EQ(memory::buffer_of(&f)->used(), memory::buffer_of(&before)->used());
	}
}

TEST_F(FileValues, TheFileActionsReachTheWorkers) {
	ASSERT_NE(file::io.read, nullptr);
	ASSERT_NE(file::io.write, nullptr);
	put("one", "1");
	put("two", "2");
	Cell one = file("one"), two = file("two"), three = file("three");
	EXPECT_FALSE(file::io.rename(&one, &two));
	EXPECT_EQ(content("one"), "1");
	EXPECT_EQ(content("two"), "2");
	EXPECT_TRUE(file::io.rename(&one, &three));
	EXPECT_EQ(content("three"), "1");
	EXPECT_TRUE(file::io.delete_(&three));
	EXPECT_FALSE(file::io.delete_(&three));
}

// Points standard output at a file while it lives.
class StdoutTo {
public:
	explicit StdoutTo(const std::string& path) {
		std::fflush(stdout);
		saved_ = dup(STDOUT_FILENO);
		int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
		dup2(fd, STDOUT_FILENO);
		::close(fd);
	}
	~StdoutTo() {
		dup2(saved_, STDOUT_FILENO);
		::close(saved_);
	}

private:
	int saved_;
};

TEST_F(FileValues, WithoutAFileTheValueGoesToStandardOutput) {
	{
		StdoutTo redirect(dir + "out");
		Cell data = test::str("x\ny \xE2\x82\xAC");
		simple_io::write(nullptr, &data, nullptr, nullptr, false, false, false);
		data = test::int_value(7);
		simple_io::write(nullptr, &data, nullptr, nullptr, false, false, true);
	}
	EXPECT_EQ(content("out"), "x\ny \xE2\x82\xAC" "7\n");
	uint32_t code;
	{
		StdoutTo full("/dev/full");
		Cell data = test::str("lost");
		code = test::raised([&] { simple_io::write(nullptr, &data, nullptr, nullptr, false, false, false); });
	}
	EXPECT_EQ(code, errors::id::access_cannot_open.code()) << "a failed write is never reported as done";
	EXPECT_EQ(cell::type_of(&test::last_error_arg), T_NONE);
}

}  // namespace
