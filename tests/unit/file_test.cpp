#include "runtime/datatypes/file.h"

#include <gtest/gtest.h>

#include "runtime/platform.h"
#include "tests/unit/string_support.h"

using namespace vyn;
using namespace vyn::test;

namespace {

class File : public StringTest {};

TEST_F(File, Mold) {
	struct Case {
		const char* path;
		const char* mold;
	} cases[] = {
		{"dir/x1.txt", "%dir/x1.txt"},
		{"", "%\"\""},
		{"my file.txt", "%\"my file.txt\""},
		{"caf\xC3\xA9/x", "%caf\xC3\xA9/x"},
		{"100%", "%\"100%\""},
		{"a\"b", "%\"a^(22)b\""},
		{"a^b", "%\"a^^b\""},
		{"a\nb", "%\"a^/b\""},
		{"C:\\x", "%\"C:\\x\""},
	};
	for (const Case& c : cases) EXPECT_EQ(molded(str(c.path, T_FILE)), c.mold) << c.path;
	EXPECT_EQ(formed(str("my file", T_FILE)), "my file");
}

TEST_F(File, LocalFormIsThePosixPath) {
	std::string cwd = platform::get_current_dir();
	if (cwd.back() != '/') cwd += '/';
	struct Case {
		const char* path;
		bool absolute;
		std::string local;
	} cases[] = {
		{"/c/windows/x.txt", false, "/c/windows/x.txt"},
		{"/server/share/a", true, "/server/share/a"},
		{"a/b", false, "a/b"},
		{"a/b", true, cwd + "a/b"},
		{"a\\b", false, "a\\b"},
		{"", true, cwd},
	};
	for (const Case& c : cases) {
		Cell f = str(c.path, T_FILE), out;
		string::make_at(&out, 8);
		file::path_to_local(&f, &out, c.absolute);
		EXPECT_EQ(utf8(out), c.local) << c.path;
	}
	Cell f = str("d/caf\xC3\xA9", T_FILE);
	EXPECT_STREQ(file::to_os_path(&f), "d/caf\xC3\xA9");
}

TEST_F(File, ActionsForwardToTheIoLayer) {
	static std::string log;
	file::io.read = [](Cell* f, const Cell*, const Cell* seek, bool binary, bool, Cell* out) {
		log = "read " + utf8(*f) + (seek ? " seek" : "") + (binary ? " binary" : "");
		string::load_at(out, "content");
	};
	file::io.delete_ = [](Cell* f) { return utf8(*f) == "gone"; };
	Cell f = str("a.txt", T_FILE), seek = int_value(2);
	Cell* r = actions::get<action::ReadFn>(&f, A_READ)(&f, nullptr, &seek, true, false, false, nullptr);
	EXPECT_EQ(utf8(*r), "content");
	EXPECT_EQ(log, "read a.txt seek binary");
	Cell g = str("gone", T_FILE), h = str("kept", T_FILE);
	EXPECT_EQ(actions::get<action::UnaryFn>(&g, A_DELETE)(&g)->data1, 1u);
	EXPECT_EQ(actions::get<action::UnaryFn>(&h, A_DELETE)(&h)->data1, 0u);
	Cell as = int_value(1), k = str("x", T_FILE);
	EXPECT_EQ(raised([&] { actions::get<action::ReadFn>(&k, A_READ)(&k, nullptr, nullptr, false, false, false, &as); }),
		code(errors::id::internal_not_done));
	file::io = {};
	Cell q = str("x", T_FILE);
	EXPECT_EQ(raised([&] { actions::get<action::UnaryFn>(&q, A_QUERY)(&q); }), code(errors::id::internal_not_done));
}

TEST_F(File, RowInheritsFromUrlAndString) {
	EXPECT_EQ(registry::entry(T_FILE, A_MAKE), registry::entry(T_URL, A_MAKE));
	EXPECT_EQ(registry::entry(T_FILE, A_FIND), registry::entry(T_STRING, A_FIND));
	EXPECT_EQ(registry::entry(T_FILE, A_OPEN), nullptr);
	EXPECT_EQ(registry::entry(T_URL, A_QUERY), nullptr);
	Cell proto, spec = str("a b");
	cell::set(&proto, T_DATATYPE, T_FILE);
	Cell* r = actions::get_for_type<action::MakeFn>(T_FILE, &spec, A_TO)(&proto, &spec, T_FILE);
	EXPECT_EQ(cell::type_of(r), T_FILE);
	EXPECT_EQ(molded(*r), "%\"a b\"");
}

}  // namespace
