#include "runtime/io/process.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "runtime/datatypes/string.h"
#include "tests/unit/text_support.h"

using namespace vyn;
namespace fs = std::filesystem;

namespace {

call::Outcome run(std::string command, bool shell = false) {
	call::Request r;
	r.command = std::move(command);
	r.wait = true;
	r.shell = shell;
	return call::run_process(r);
}

call::Outcome capture(std::string command, std::string_view input = {}, bool with_input = false, bool shell = false) {
	call::Request r;
	r.command = std::move(command);
	r.shell = shell;
	r.output.kind = call::Redirect::BYTES;
	r.error.kind = call::Redirect::BYTES;
	if (with_input) {
		r.input.kind = call::Redirect::BYTES;
		r.input.bytes = input;
	}
	return call::run_process(r);
}

TEST(Call, ExitCodesDirectAndThroughTheShell) {
	struct Case {
		const char* command;
		bool shell;
		int32_t code;
		bool through_shell;
	} cases[] = {
		{"true", false, 0, false},
		{"false", false, 1, false},
		{"sh -c 'exit 42'", false, 42, false},
		{"exit 3", true, 3, true},
		{"exit 3", false, 3, true},  // a shell built-in: the retry runs it
		{"no-such-prog-xyz", false, 127, true},
		{"no-such-prog-xyz --flag", true, 127, true},
		{"/no/such/dir/prog", false, 127, true},
		{"kill -TERM $$", true, 128 + 15, true},
		{"", false, 0, true},
		{"   ", false, 0, true},
		{"exit 300", true, 300 & 0xFF, true},
	};
	for (const Case& c : cases) {
		call::Outcome o = run(c.command, c.shell);
		EXPECT_EQ(o.answer, c.code) << c.command;
		EXPECT_EQ(o.shell, c.through_shell) << c.command;
	}
}

TEST(Call, StartFailuresOtherThanNotFoundAnswerMinusOne) {
	std::string dir = (fs::temp_directory_path() / "vyn-call-XXXXXX").string();
	ASSERT_NE(mkdtemp(dir.data()), nullptr);
	std::string plain = dir + "/not-executable";
	std::ofstream(plain) << "echo hi\n";
	chmod(plain.c_str(), 0644);
	EXPECT_EQ(run(plain).answer, -1) << "no permission: no retry";
	EXPECT_EQ(run(std::string("true\0x", 6)).answer, -1) << "a NUL would run another command";
	fs::remove_all(dir);
}

TEST(Call, DirectStartsPassWordsAsTheyAreAndTheShellExpands) {
	setenv("VYN_CALL_TEST", "expanded", 1);
	struct Case {
		const char* command;
		bool shell;
		std::string out;
	} cases[] = {
		{"printf %s|%s| 'a  b' \"c\\\"d\"", false, "a  b|c\"d|"},
		{"printf %s $VYN_CALL_TEST", false, "$VYN_CALL_TEST"},
		{"printf %s $VYN_CALL_TEST", true, "expanded"},
		{"printf %s '*'", false, "*"},
		{"printf %s a\\ b", false, "a b"},
		{"printf x | tr x y", true, "y"},
		{"printf '%s\\n' caf\xC3\xA9", false, "caf\xC3\xA9\n"},
	};
	for (const Case& c : cases) {
		call::Outcome o = capture(c.command, {}, false, c.shell);
		EXPECT_EQ(o.answer, 0) << c.command;
		EXPECT_EQ(o.output.view(), c.out) << c.command;
	}
	unsetenv("VYN_CALL_TEST");
}

TEST(Call, SplitsCommandLinesIntoWords) {
	struct Case {
		const char* line;
		std::vector<std::string> words;
	} cases[] = {
		{"", {}},
		{" \t ", {}},
		{"ls", {"ls"}},
		{"  ls  -l\t/tmp  ", {"ls", "-l", "/tmp"}},
		{"a 'b c' d", {"a", "b c", "d"}},
		{"a \"b c\" d", {"a", "b c", "d"}},
		{"x'y'\"z\"", {"xyz"}},
		{"'' \"\"", {"", ""}},
		{"'a\\b'", {"a\\b"}},
		{"\"a\\\\b\\\"c\\d\"", {"a\\b\"c\\d"}},
		{"a\\ b c\\\\", {"a b", "c\\"}},
		{"'open", {"open"}},
		{"\"open too", {"open too"}},
		{"end\\", {"end\\"}},
		{"line\nbreak", {"line", "break"}},
	};
	for (const Case& c : cases) EXPECT_EQ(call::split_command(c.line), c.words) << c.line;
}

TEST(Call, LargeInputOutputAndErrorMoveTogether) {
	std::string ten_mb(10 << 20, '\0');
	for (size_t i = 0; i < ten_mb.size(); i++) ten_mb[i] = char((i * 131) >> 7);
	call::Outcome o = capture("cat", ten_mb, true);
	EXPECT_EQ(o.answer, 0);
	ASSERT_EQ(o.output.size(), ten_mb.size());
	EXPECT_TRUE(o.output.view() == ten_mb);

	// Error first, then output, each far past a pipe's buffer: reading one
	// stream to its end before the other would block both sides.
	o = capture("head -c 3000000 /dev/zero >&2; head -c 4000000 /dev/zero; echo done >&2", {}, false, true);
	EXPECT_EQ(o.answer, 0);
	EXPECT_EQ(o.output.size(), 4000000u);
	EXPECT_EQ(o.error.size(), 3000005u);

	// A child that never reads its input: the rest is dropped, no signal kills us.
	o = capture("true", ten_mb, true);
	EXPECT_EQ(o.answer, 0);
	o = capture("head -c 10", ten_mb, true);
	EXPECT_EQ(o.answer, 0);
	EXPECT_EQ(o.output.view(), ten_mb.substr(0, 10));
}

TEST(Call, EmptyInputIsAnEndOfFile) {
	call::Outcome o = capture("wc -c", "", true);
	EXPECT_EQ(o.answer, 0);
	EXPECT_EQ(o.output.view().substr(o.output.view().find_first_not_of(' ')), "0\n");
}

class CallFiles : public ::testing::Test {
protected:
	std::string dir;
	void SetUp() override {
		dir = (fs::temp_directory_path() / "vyn-call-XXXXXX").string();
		ASSERT_NE(mkdtemp(dir.data()), nullptr);
		dir += "/";
	}
	void TearDown() override { fs::remove_all(dir); }
	std::string content(const std::string& name) const {
		std::ifstream in(dir + name, std::ios::binary);
		return std::string(std::istreambuf_iterator<char>(in), {});
	}
};

TEST_F(CallFiles, FilesFeedInputAndOutputAndErrorAreAppended) {
	std::ofstream(dir + "in") << "from file\n";
	std::ofstream(dir + "out") << "kept\n";
	call::Request r;
	r.command = "cat; echo oops >&2";
	r.shell = true;
	r.input = {call::Redirect::FILE, dir + "in", {}};
	r.output = {call::Redirect::FILE, dir + "out", {}};
	r.error = {call::Redirect::FILE, dir + "err", {}};
	for (int i = 0; i < 2; i++) EXPECT_EQ(call::run_process(r).answer, 0);
	EXPECT_EQ(content("out"), "kept\nfrom file\nfrom file\n");
	EXPECT_EQ(content("err"), "oops\noops\n");
}

TEST_F(CallFiles, FilesThatCannotBeOpenedStartNothing) {
	fs::create_directory(dir + "sub");
	struct Case {
		call::Redirect::Kind input, output, error;
		const char* in_path;
		const char* out_path;
	} cases[] = {
		{call::Redirect::FILE, call::Redirect::NONE, call::Redirect::NONE, "missing", ""},
		{call::Redirect::FILE, call::Redirect::NONE, call::Redirect::NONE, "sub", ""},
		{call::Redirect::NONE, call::Redirect::FILE, call::Redirect::NONE, "", "sub"},
		{call::Redirect::NONE, call::Redirect::FILE, call::Redirect::NONE, "", "no-dir/out"},
		{call::Redirect::NONE, call::Redirect::NONE, call::Redirect::FILE, "", "sub"},
	};
	for (const Case& c : cases) {
		call::Request r;
		r.command = "touch " + dir + "ran";
		r.wait = true;
		r.input = {c.input, dir + c.in_path, {}};
		r.output = {c.output, dir + c.out_path, {}};
		r.error = {c.error, dir + c.out_path, {}};
		EXPECT_EQ(call::run_process(r).answer, -1) << c.in_path << c.out_path;
		EXPECT_FALSE(fs::exists(dir + "ran")) << c.in_path << c.out_path;
	}
}

TEST(Call, WithoutWaitingAnswersTheProcessIdAndReapsTheChild) {
	call::Request r;
	r.command = "true";
	call::Outcome o = call::run_process(r);
	ASSERT_GT(o.answer, 0);
	std::string stat = "/proc/" + std::to_string(o.answer) + "/stat";
	// Reaped: its /proc entry goes; a zombie would stay with state Z. An
	// entry going while it is looked at answers "no such process".
	auto present = [&] {
		std::error_code ec;
		return fs::exists(stat, ec);
	};
	auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
	while (present() && std::chrono::steady_clock::now() < deadline)
		std::this_thread::sleep_for(std::chrono::milliseconds(5));
	EXPECT_FALSE(present());
}

TEST(Call, ConsoleIsRefused) {
	memory::init();
	stack::init();
	call::Request r;
	r.command = "true";
	r.console = true;
	EXPECT_EQ(test::raised([&] { call::run_process(r); }), errors::id::internal_not_done.code());
	stack::reset_all();
	memory::free_all();
}

class CallValues : public test::TextTest {};

TEST_F(CallValues, CapturedTextIsAppendedWithLineFeeds) {
	struct Case {
		const char* command;
		std::u32string out;
		std::u32string err;
	} cases[] = {
		{"printf 'a\\r\\nb\\rc'", U"had:a\nb\nc", U"had:"},
		{"printf '\\303\\251\\342\\202\\254' >&2", U"had:", U"had:\u00e9\u20ac"},
		{"printf '\\357\\273\\277x\\r\\n'", U"had:x\n", U"had:"},
	};
	for (const Case& c : cases) {
		Cell command, out, err;
		string::load_at(&command, c.command);
		string::load_at(&out, "had:");
		string::load_at(&err, "had:");
		EXPECT_EQ(call::run_process(&command, false, false, false, true, nullptr, &out, &err), 0) << c.command;
		EXPECT_EQ(test::text_of(out.data2), c.out) << c.command;
		EXPECT_EQ(test::text_of(err.data2), c.err) << c.command;
	}
}

TEST_F(CallValues, StringInputReachesTheChildAsUtf8WithLineFeeds) {
	Cell command, input, out;
	string::load_at(&command, "od -An -tx1");
	string::load_at(&input, "\xC3\xA9\n\xF0\x9F\x98\x80");
	string::make_at(&out, 16);
	EXPECT_EQ(call::run_process(&command, false, false, false, false, &input, &out, nullptr), 0);
	EXPECT_EQ(test::text_of(out.data2), U" c3 a9 0a f0 9f 98 80\n");
}

TEST_F(CallValues, FileValuesNameTheRedirectedFiles) {
	std::string dir = (fs::temp_directory_path() / "vyn-call-XXXXXX").string();
	ASSERT_NE(mkdtemp(dir.data()), nullptr);
	std::ofstream(dir + "/in") << "line\n";
	Cell command, in, out;
	string::load_at(&command, "tr a-z A-Z");
	string::load_at(&in, dir + "/in");
	string::load_at(&out, dir + "/out");
	cell::set_type(&in, T_FILE);
	cell::set_type(&out, T_FILE);
	EXPECT_EQ(call::run_process(&command, false, false, false, false, &in, &out, nullptr), 0);
	std::ifstream result(dir + "/out");
	EXPECT_EQ(std::string(std::istreambuf_iterator<char>(result), {}), "LINE\n");
	fs::remove_all(dir);
}

TEST_F(CallValues, BinaryInputIsSentAsItIsAndBinaryOutputIsInsertedAtThePosition) {
	auto binary = [](std::string_view bytes, uint32_t head) {
		Cell c;
		simple_io::load_binary(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), &c);
		c.data1 = head;
		return c;
	};
	Cell command, input = binary(std::string("\r\n\0\xFF", 4), 0), out = binary("<>", 1);
	string::load_at(&command, "cat");
	EXPECT_EQ(call::run_process(&command, false, false, false, false, &input, &out, nullptr), 0);
	Series* s = memory::buffer_of(&out);
	EXPECT_EQ(std::string(reinterpret_cast<char*>(s->head_ptr()), s->used()), std::string("<\r\n\0\xFF>", 6));
	EXPECT_EQ(out.data1, 1u) << "the target keeps its position";
}

}  // namespace
