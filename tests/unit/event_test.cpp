#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "runtime/datatypes/char.h"
#include "runtime/datatypes/event.h"
#include "runtime/datatypes/event_records.h"
#include "runtime/datatypes/pair.h"
#include "runtime/datatypes/word.h"
#include "tests/unit/object_support.h"

namespace vyn::test::objects {
namespace {

event_records::Fields picked_fields(int32_t n) {
	event_records::Fields f = event_records::none_fields();
	cell::make_integer(&f.values[event_records::PICKED], n);
	return f;
}

class EventRecords : public ::testing::Test {
protected:
	void SetUp() override { event_records::init(); }
	void TearDown() override { event_records::init(); }
};

TEST_F(EventRecords, EachOpenRecordIsFoundByItsIdThroughGrowth) {
	std::vector<uint32_t> ids;
	for (int32_t n = 0; n < 100; n++) ids.push_back(event_records::open(picked_fields(n)));
	EXPECT_EQ(std::set<uint32_t>(ids.begin(), ids.end()).size(), ids.size());
	EXPECT_EQ(event_records::open_count(), 100u);
	for (int32_t n = 0; n < 100; n++) {
		event_records::Fields* f = event_records::find(ids[n]);
		ASSERT_NE(f, nullptr) << n;
		EXPECT_EQ(cell::get_integer(&f->values[event_records::PICKED]), n);
	}
}

// A closed record's id stays stale: the slot it left is taken by new ids.
TEST_F(EventRecords, AClosedIdIsNeverFoundAgain) {
	uint32_t first = event_records::open(picked_fields(1));
	event_records::close(first);
	EXPECT_EQ(event_records::find(first), nullptr);
	std::vector<uint32_t> later;
	for (int32_t n = 0; n < 40; n++) later.push_back(event_records::open(picked_fields(n)));
	EXPECT_EQ(event_records::find(first), nullptr);
	for (uint32_t id : later) EXPECT_NE(id, first);
	event_records::close(first);  // closing again leaves the others alone
	EXPECT_EQ(event_records::open_count(), 40u);
	for (uint32_t id : later) event_records::close(id);
	EXPECT_EQ(event_records::open_count(), 0u);
	EXPECT_EQ(event_records::find(0), nullptr);
}

// Nested dispatches open and close records in turn, as the backend does.
TEST_F(EventRecords, NestedRecordsCloseInAnyOrder) {
	uint32_t outer = event_records::open(picked_fields(1));
	uint32_t inner = event_records::open(picked_fields(2));
	event_records::close(outer);
	ASSERT_NE(event_records::find(inner), nullptr);
	EXPECT_EQ(cell::get_integer(&event_records::find(inner)->values[event_records::PICKED]), 2);
	EXPECT_EQ(event_records::find(outer), nullptr);
}

using BackendEvent = ObjectScript;

// The backend's side: an event whose fields live in its record while it is
// dispatched, and read as none once the record is closed.
TEST_F(BackendEvent, FieldsComeFromTheRecordUntilItCloses) {
	event_records::Fields f = event_records::none_fields();
	f.values[event_records::FACE] = run("make object! [n: 7]");
	f.values[event_records::WINDOW] = run("make object! [n: 8]");
	pair::make_at(&f.values[event_records::OFFSET], 3, 4);
	char_::make_at(&f.values[event_records::KEY], 0x1F600);
	cell::make_integer(&f.values[event_records::PICKED], 2);
	f.values[event_records::ORIENTATION] = run("'vertical");
	uint32_t id = event_records::open(f);
	Cell e;
	event::make_backend(&e, 35, event::FLAG_DOWN | event::FLAG_SHIFT, id);
	Cell name = *word::load("ev");
	context::set(&name, &e);

	const char* fields = "reduce [ev/type ev/face/n ev/window/n ev/offset ev/key ev/picked ev/orientation ev/flags "
		"ev/down? ev/shift? ev/ctrl? pick ev 6]";
	const std::string open = "[scroll 7 8 3x4 #\"\xF0\x9F\x98\x80\" 2 vertical [down shift] true true false 2]";
	EXPECT_EQ(molded(fields), open);
	// The record keeps its values alive: nothing else holds the faces.
	run("recycle");
	EXPECT_EQ(molded(fields), open);
	EXPECT_EQ(molded("form ev"), "\"event\"");

	event_records::close(id);
	EXPECT_EQ(molded("reduce [ev/type ev/face ev/window ev/offset ev/key ev/picked ev/orientation ev/flags ev/down? "
				  "pick ev 6]"),
		"[scroll none none none none none none [down shift] true none]");
	EXPECT_EQ(molded("ev/type: 'key ev/type"), "key");
	EXPECT_EQ(molded("equal? ev make event! []"), "true");
}

TEST_F(BackendEvent, TypeWordsAreFoundByCanonicalSymbol) {
	EXPECT_EQ(event::code_of(symbol::make("down")), 1u);
	EXPECT_EQ(event::code_of(symbol::make("DBL-CLICK")), 10u);
	EXPECT_EQ(event::code_of(symbol::make("restore")), event::TYPE_COUNT);
	EXPECT_EQ(event::code_of(symbol::make("nothing")), 0u);
}

}  // namespace
}  // namespace vyn::test::objects
