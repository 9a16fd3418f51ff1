#include "runtime/evaluator/system_routines.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

using namespace vyn;

namespace {

// A scratch directory of this test, removed afterwards.
class PrivateDir : public ::testing::Test {
protected:
	std::string base;
	void SetUp() override {
		char tmpl[] = "/tmp/vyn-private-dir-test-XXXXXX";
		ASSERT_NE(::mkdtemp(tmpl), nullptr);
		base = tmpl;
	}
	void TearDown() override { std::filesystem::remove_all(base); }
};

TEST_F(PrivateDir, AMissingDirectoryIsMadeForUsAlone) {
	std::string dir = base + "/cache";
	EXPECT_EQ(system_routines::private_dir(dir), dir);
	struct stat st;
	ASSERT_EQ(::lstat(dir.c_str(), &st), 0);
	EXPECT_TRUE(S_ISDIR(st.st_mode));
	EXPECT_EQ(st.st_mode & 0777, 0700u);
	EXPECT_EQ(st.st_uid, ::getuid());
	// Found again as it is.
	EXPECT_EQ(system_routines::private_dir(dir), dir);
}

// What another user could have planted at the path is refused.
TEST_F(PrivateDir, APlantedPathIsRefused) {
	struct Case {
		const char* name;
		void (*plant)(const std::string& path, const std::string& base);
	};
	const Case cases[] = {
		{"a directory others may enter", [](const std::string& p, const std::string&) {
			 ASSERT_EQ(::mkdir(p.c_str(), 0700), 0);
			 ASSERT_EQ(::chmod(p.c_str(), 0777), 0);
		 }},
		{"a directory others may read", [](const std::string& p, const std::string&) {
			 ASSERT_EQ(::mkdir(p.c_str(), 0750), 0);
			 ASSERT_EQ(::chmod(p.c_str(), 0750), 0);
		 }},
		{"a link to a directory of ours", [](const std::string& p, const std::string& b) {
			 std::string target = b + "/target";
			 ASSERT_EQ(::mkdir(target.c_str(), 0700), 0);
			 ASSERT_EQ(::symlink(target.c_str(), p.c_str()), 0);
		 }},
		{"a regular file", [](const std::string& p, const std::string&) { std::ofstream(p) << "x"; }},
	};
	int n = 0;
	for (const Case& c : cases) {
		std::string path = base + "/planted" + std::to_string(n++);
		c.plant(path, base);
		EXPECT_EQ(system_routines::private_dir(path), "") << c.name;
	}
}

TEST_F(PrivateDir, AParentThatCannotHoldItGivesNothing) {
	EXPECT_EQ(system_routines::private_dir(base + "/no/such/parent"), "");
}

}  // namespace
