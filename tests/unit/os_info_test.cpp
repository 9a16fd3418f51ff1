#include "runtime/io/os_info.h"

#include <sys/utsname.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <optional>
#include <fstream>
#include <string>
#include <vector>

#include "runtime/datatypes/string.h"
#include "runtime/platform.h"
#include "tests/unit/text_support.h"

using namespace vyn;

namespace {

using Variables = std::vector<std::pair<std::string, std::string>>;

// How the start-up code splits the command line again: a double quote
// toggles quoting, blanks outside quotes end an argument, and one leading
// and one trailing quote are dropped.
std::vector<std::string> split_boot_args(std::string_view line) {
	std::vector<std::string> out;
	std::string current;
	bool quoted = false, any = false;
	for (char c : line) {
		if (c == '"') quoted = !quoted;
		if (!quoted && (c == ' ' || c == '\t')) {
			if (any) out.push_back(current);
			current.clear();
			any = false;
			continue;
		}
		current += c;
		any = true;
	}
	if (any) out.push_back(current);
	for (std::string& a : out) {
		if (!a.empty() && a.front() == '"') a.erase(0, 1);
		if (!a.empty() && a.back() == '"') a.pop_back();
	}
	return out;
}

TEST(CommandLine, JoinedArgumentsSplitBackTheSame) {
	struct Case {
		std::vector<std::string> arguments;
		std::string line;
	} cases[] = {
		{{}, ""},
		{{"vyn"}, "vyn"},
		{{"/usr/bin/vyn", "script.vyn", "--flag"}, "/usr/bin/vyn script.vyn --flag"},
		{{"vyn", "my script.vyn", "x"}, "vyn \"my script.vyn\" x"},
		{{"vyn", "tab\there"}, "vyn \"tab\there\""},
		{{"vyn", "", "after"}, "vyn \"\" after"},
		{{"vyn", "caf\xC3\xA9"}, "vyn caf\xC3\xA9"},
	};
	for (const Case& c : cases) {
		std::string line = platform::join_command_line(c.arguments);
		EXPECT_EQ(line, c.line);
		EXPECT_EQ(split_boot_args(line), c.arguments) << line;
	}
}

TEST(CommandLine, IsTheProcessArguments) {
	std::ifstream in("/proc/self/cmdline", std::ios::binary);
	std::string raw(std::istreambuf_iterator<char>(in), {});
	std::vector<std::string> arguments;
	for (size_t start = 0; start < raw.size();) {
		size_t end = raw.find('\0', start);
		arguments.push_back(raw.substr(start, end - start));
		start = end + 1;
	}
	std::string line = platform::get_command_line();
	EXPECT_EQ(line, platform::join_command_line(arguments));
	EXPECT_NE(line.find("vyn_unit_tests"), std::string::npos);
}

class CommandLineValue : public test::TextTest {};

TEST_F(CommandLineValue, IsTheCommandLineAsAString) {
	Cell line;
	platform::load_command_line(&line);
	EXPECT_EQ(cell::type_of(&line), T_STRING);
	std::string expected = platform::get_command_line();
	EXPECT_EQ(test::text_of(line.data2), std::u32string(expected.begin(), expected.end())) << "the test's arguments are ASCII";
}

TEST(Environment, EntriesSplitAtTheFirstEqualsSignAfterTheFirstCharacter) {
	struct Case {
		const char* entry;
		std::string name, value;
	} cases[] = {
		{"A=1", "A", "1"},   {"PATH=/bin:/usr/bin", "PATH", "/bin:/usr/bin"},
		{"=C:=C:\\x", "=C:", "C:\\x"}, {"A==b", "A", "=b"},
		{"A=", "A", ""},     {"=", "=", ""},
		{"==", "=", ""},     {"NOEQ", "NOEQ", ""},
		{"", "", ""},        {"K=a=b=c", "K", "a=b=c"},
	};
	for (const Case& c : cases)
		EXPECT_EQ(platform::split_environment_entry(c.entry), std::make_pair(c.name, c.value)) << c.entry;
}

TEST(Environment, SetGetListAndRemoveRoundTrip) {
	auto listed = [](const std::string& name) -> std::optional<std::string> {
		Variables all = platform::get_environment();
		auto it = std::find_if(all.begin(), all.end(), [&](const auto& v) { return v.first == name; });
		if (it == all.end()) return std::nullopt;
		return it->second;
	};
	struct Case {
		const char* name;
		const char* value;
	} cases[] = {
		{"VYN_ENV_TEST", "plain"},
		{"VYN_ENV_TEST", "with = sign and  spaces"},
		{"VYN_ENV_TEST", "caf\xC3\xA9 \xF0\x9F\x98\x80"},
		{"VYN_ENV_TEST", ""},
		{"vyn_lower_Case", "x"},
	};
	for (const Case& c : cases) {
		ASSERT_TRUE(platform::set_env(c.name, c.value)) << c.name;
		EXPECT_EQ(platform::get_env(c.name), std::optional<std::string>(c.value));
		EXPECT_EQ(listed(c.name), std::optional<std::string>(c.value)) << c.value;
		ASSERT_TRUE(platform::set_env(c.name, nullptr));
		EXPECT_EQ(platform::get_env(c.name), std::nullopt);
		EXPECT_EQ(listed(c.name), std::nullopt);
	}
	for (const char* refused : {"", "A=B"}) EXPECT_FALSE(platform::set_env(refused, "x")) << refused;
	size_t entries = 0;
	while (environ[entries]) entries++;
	EXPECT_EQ(platform::get_environment().size(), entries);
}

TEST(OsInfo, NameFromOsRelease) {
	struct Case {
		const char* text;
		std::string name;
	} cases[] = {
		{"PRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\nNAME=\"Debian GNU/Linux\"\n", "Debian GNU/Linux 12 (bookworm)"},
		{"NAME=Fedora\nVERSION=\"39\"\n", "Fedora"},
		{"NAME='Single Quoted'", "Single Quoted"},
		{"PRETTY_NAME=\"Say \\\"hi\\\" \\\\ \\$x\"", "Say \"hi\" \\ $x"},
		{"# PRETTY_NAME=\"comment\"\nNAME=Real\n", "Real"},
		{"  PRETTY_NAME=Indented\n", "Indented"},
		{"PRETTY_NAME=\nNAME=Fallback", "Fallback"},
		{"ID=debian\n", ""},
		{"", ""},
		{"NAME=Alpine\r\nPRETTY_NAME=\"Alpine Linux v3.19\"", "Alpine Linux v3.19"},
	};
	for (const Case& c : cases) EXPECT_EQ(platform::os_release_name(c.text), c.name) << c.text;
}

TEST(OsInfo, ArchitectureWords) {
	struct Case {
		const char* machine;
		const char* word;
	} cases[] = {
		{"x86_64", "x86-64"}, {"i686", "x86-32"}, {"i386", "x86-32"}, {"i786", "Unknown"},
		{"aarch64", "ARM64"}, {"armv7l", "ARM"},   {"ia64", "IA-64"},   {"riscv64", "Unknown"},
		{"", "Unknown"},
	};
	for (const Case& c : cases) EXPECT_EQ(platform::arch_name(c.machine), c.word) << c.machine;
}

TEST(OsInfo, KernelVersionAndBuild) {
	struct Version {
		const char* release;
		std::array<uint8_t, 3> version;
	} versions[] = {
		{"6.1.0-18-amd64", {6, 1, 0}}, {"5.15.90.1-microsoft-standard-WSL2", {5, 15, 90}},
		{"4.4", {4, 4, 0}},            {"6.18.44-fc-v1523", {6, 18, 44}},
		{"300.2.1", {255, 2, 1}},      {"99999999999999999999.1", {255, 1, 0}},
		{"", {0, 0, 0}},               {"x.1.2", {0, 0, 0}},
		{"3.-1", {3, 0, 0}},
	};
	for (const Version& c : versions) EXPECT_EQ(platform::kernel_version(c.release), c.version) << c.release;
	struct Build {
		const char* version;
		int32_t build;
	} builds[] = {
		{"#1 SMP PREEMPT_DYNAMIC Debian 6.1.76-1 (2024-02-01)", 1}, {"#123-Ubuntu SMP", 123},
		{"SMP #4", 0}, {"#", 0}, {"", 0}, {"#99999999999 SMP", INT32_MAX},
	};
	for (const Build& c : builds) EXPECT_EQ(platform::kernel_build(c.version), c.build) << c.version;
}

TEST(OsInfo, DescribesThisSystem) {
	platform::OsInfo info = platform::get_os_info();
	utsname u{};
	ASSERT_EQ(uname(&u), 0);
	std::ifstream release("/etc/os-release");
	std::string text(std::istreambuf_iterator<char>(release), {});
	std::string expected_name = platform::os_release_name(text);
	EXPECT_EQ(info.name, expected_name.empty() ? std::string(u.sysname) : expected_name);
#if defined(__x86_64__)
	EXPECT_EQ(info.arch, "x86-64");
#endif
	EXPECT_EQ(info.version, platform::kernel_version(u.release));
	EXPECT_GT(info.version[0], 0);
	EXPECT_EQ(info.build, platform::kernel_build(u.version));
}

class TypeCheck : public test::TextTest {};

TEST_F(TypeCheck, AnswersTheTypeOrRaisesInvalidArgNamingTheValue) {
	Cell n;
	cell::make_integer(&n, 7);
	EXPECT_EQ(platform::check_type(&n, T_INTEGER), T_INTEGER);
	EXPECT_EQ(test::raised([&] { platform::check_type(&n, T_IMAGE); }), errors::id::script_invalid_arg.code());
	ASSERT_TRUE(test::last_error_has_arg);
	EXPECT_EQ(cell::type_of(&test::last_error_arg), T_INTEGER);
	EXPECT_EQ(cell::get_integer(&test::last_error_arg), 7);
}

}  // namespace
