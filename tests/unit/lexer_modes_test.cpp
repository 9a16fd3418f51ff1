// The scan modes, the string entry, nested scans and the trace callback.
#include "tests/unit/lexer_support.h"

#include <functional>

using namespace vyn;

namespace {

using Lexer = vyn::test::LexerTest;

lexer::Options mode(bool one, bool scan, bool prescan) {
	lexer::Options o;
	o.one_value = one;
	o.scan = scan;
	o.prescan = prescan;
	return o;
}

TEST_F(Lexer, OneValueModeStopsAfterTheFirstCompleteValue) {
	struct Case {
		const char* source;
		int32_t type;
		uint32_t consumed;
		const char* shown;
	} cases[] = {
		{"1 2", T_INTEGER, 1, "1"},
		{"  [1 [2]] 3", T_BLOCK, 9, "[1 [2]]"},
		{"a/b/c d", T_PATH, 5, "a/b/c"},
		{"a/b: 1", T_SET_PATH, 4, "a/b:"},
		{"{a{b}} x", T_STRING, 6, "\"a{b}\""},
		{"; c\n:w x", T_GET_WORD, 6, ":w"},
		{"", 0, 0, "[]"},
	};
	for (const Case& c : cases) {
		uint32_t consumed = 99;
		std::string shown;
		EXPECT_EQ(scan_type(c.source, mode(true, false, false), &consumed, &shown), c.type) << c.source;
		EXPECT_EQ(consumed, c.consumed) << c.source;
		EXPECT_EQ(shown, c.shown) << c.source;
	}
	lexer::Options always = mode(true, false, false);
	always.always_block = true;
	std::string shown;
	scan_type("1 2", always, nullptr, &shown);
	EXPECT_EQ(shown, "[1]");
}

TEST_F(Lexer, ScanModeRecognisesWithoutBuilding) {
	struct Case {
		const char* source;
		int32_t type;
		uint32_t consumed;
	} cases[] = {
		{"1.2.3 foo", T_TUPLE, 5},
		{"12", T_INTEGER, 2},
		{"[a b] c", T_BLOCK, 5},
		{"x: 1", T_SET_WORD, 2},
		{"\"a^(zz)\" 1", T_ERROR, 8},
		{"[1 2", T_ERROR, 4},
		{"1 2]", T_INTEGER, 1},
		{"#(foo)", T_ERROR, 6},
		{"1x2", T_PAIR, 3},
	};
	for (const Case& c : cases) {
		uint32_t consumed = 99;
		std::string shown;
		EXPECT_EQ(scan_type(c.source, mode(false, true, false), &consumed, &shown), c.type) << c.source;
		EXPECT_EQ(consumed, c.consumed) << c.source;
		EXPECT_EQ(shown, c.type == T_ERROR ? "none" : "[]") << c.source;
	}
}

TEST_F(Lexer, PrescanGuessesTheNextTokensType) {
	struct Case {
		const char* source;
		int32_t type;
	} cases[] = {
		{"", 0}, {"  ", 0}, {"; only\n", 0}, {"[1 2", T_BLOCK}, {"(a", T_PAREN}, {"(1, 2)", T_POINT2D},
		{"{x", T_STRING}, {"#[", T_MAP}, {"a/b", T_PATH}, {"'a/b", T_LIT_PATH}, {"abc", T_WORD},
		{"12 x", T_INTEGER}, {"\"abc", T_ERROR}, {"]", T_ERROR}, {"1.2.3.4.5.6.7.8.9.10.11.12.13", T_TUPLE},
	};
	for (const Case& c : cases) EXPECT_EQ(scan_type(c.source, mode(false, false, true)), c.type) << c.source;
}

TEST_F(Lexer, IntoAppendsToATargetBlock) {
	Cell* target = stack::push(lexer::load(reinterpret_cast<const uint8_t*>("x"), 1));
	lexer::Options o;
	o.into = target;
	std::string shown;
	scan_type("1 [2]", o, nullptr, &shown);
	EXPECT_EQ(shown, "[x 1 [2]]");
}

TEST_F(Lexer, StringEntryCountsCodepointsAndHonoursTheLength) {
	Cell* text = stack::alloc_slot();
	string::load_at(text, "\u00e9t\u00e9 \U0001F600 [1]");
	Cell* result = stack::alloc_slot();
	uint32_t consumed = 0;
	EXPECT_EQ(lexer::scan_string(result, text, -1, mode(true, false, false), &consumed), T_WORD);
	EXPECT_EQ(consumed, 3u);
	EXPECT_EQ(test::show(result), "\u00e9t\u00e9");
	EXPECT_EQ(lexer::scan_string(result, text, 5, lexer::Options{}, &consumed), T_WORD);
	EXPECT_EQ(test::show(result), "[\u00e9t\u00e9 \U0001F600]");
	EXPECT_EQ(consumed, 5u);
	EXPECT_EQ(lexer::scan_string(result, text, 1000, lexer::Options{}, &consumed), T_BLOCK);
	EXPECT_EQ(consumed, 9u);
	text->data1 = 4;  // from the head
	lexer::scan_string(result, text, -1, lexer::Options{}, &consumed);
	EXPECT_EQ(test::show(result), "[\U0001F600 [1]]");
	Cell block;
	lexer::load_string(text, &block);
	EXPECT_EQ(test::show(&block), "[\U0001F600 [1]]");
}

TEST_F(Lexer, DeepAndWideSourcesGrowTheTokenBuffer) {
	std::string source;
	for (int i = 0; i < 600; i++) source += "[" + std::to_string(i) + " ";
	for (int i = 0; i < 600; i++) source += "]";
	std::string shown = load(source);
	EXPECT_EQ(shown.substr(0, 12), "[0 [1 [2 [3 ");
	EXPECT_EQ(shown.size(), source.size() - 1);
	std::string wide;
	for (int i = 0; i < 5000; i++) wide += "w" + std::to_string(i % 7) + " ";
	Cell* block = lexer::load(reinterpret_cast<const uint8_t*>(wide.data()), uint32_t(wide.size()));
	EXPECT_EQ(memory::buffer_of(block)->used() / sizeof(Cell), 5000u);
}

TEST_F(Lexer, ARaisedErrorLeavesTheTokenBufferClean) {
	EXPECT_NE(error_of("[1 [2 [3 x\"\n"), "");
	EXPECT_EQ(load("4 5"), "4 5");
	std::vector<Cell> marks;
	lexer::mark_buffers([](Cell* c, void* out) { static_cast<std::vector<Cell>*>(out)->push_back(*c); }, &marks);
	EXPECT_TRUE(marks.empty());
}

// ---------------------------------------------------------------- tracing

std::vector<std::string> events;
std::function<bool(const std::string&, Cell*)> verdict;
Cell callback_body;

std::string show_event(const Cell* args) {
	std::string out = test::show(const_cast<Cell*>(&args[0]));
	const Cell* type = &args[2];
	out += " " + (cell::is(type, T_DATATYPE) ? std::to_string(type->data1) : test::show(const_cast<Cell*>(type)));
	out += " L" + std::to_string(cell::get_integer(&args[3]));
	const Cell* token = &args[4];
	if (cell::is(token, T_PAIR)) out += " " + std::to_string(token->data2) + "-" + std::to_string(token->data3);
	else out += " =" + test::show(const_cast<Cell*>(token));
	return out;
}

class Tracing : public vyn::test::LexerTest {
public:
	void SetUp() override {
		LexerTest::SetUp();
		events.clear();
		verdict = nullptr;
		cell::make_none(&callback_body);
		lexer::callback_hooks.inspect = [](const Cell*, Cell* body, uint32_t* optional) {
			*body = callback_body;
			*optional = 0;
			return true;
		};
		lexer::callback_hooks.call = [](const Cell*, const Cell* args, uint32_t) {
			std::string e = show_event(args);
			events.push_back(e);
			return verdict ? verdict(e, const_cast<Cell*>(args)) : true;
		};
	}
	// Loads a string! source with tracing; answers the loaded items.
	std::string traced(const char* source, lexer::Options o = {}) {
		Cell* text = stack::alloc_slot();
		string::load_at(text, source);
		Cell* callback = stack::alloc_slot();
		cell::set(callback, T_FUNCTION);
		o.callback = callback;
		Cell* result = stack::alloc_slot();
		lexer::scan_string(result, text, -1, o);
		return test::show(result);
	}
};

TEST_F(Tracing, EveryEventReachesAnUnmaskedCallback) {
	EXPECT_EQ(traced("[a 1]"), "[[a 1]]");
	std::vector<std::string> expected = {
		"prescan none L1 1-2", "open 5 L1 1-2", "prescan 15 L1 2-3", "scan 15 L1 2-3", "load 15 L1 =a",
		"prescan 11 L1 4-5", "scan 11 L1 4-5", "load 11 L1 =1", "prescan none L1 5-6", "close 5 L1 5-6",
	};
	EXPECT_EQ(events, expected);
}

TEST_F(Tracing, TheBodysEventBlockMasksEvents) {
	callback_body = *stack::push(lexer::load(reinterpret_cast<const uint8_t*>("[load CLOSE other] x"), 20));
	EXPECT_EQ(traced("[a]"), "[[a]]");
	EXPECT_EQ(events, (std::vector<std::string>{"load 15 L1 =a", "close 5 L1 3-4"}));
}

TEST_F(Tracing, FalseAnswersSkipTokensAndDropValues) {
	callback_body = *stack::push(lexer::load(reinterpret_cast<const uint8_t*>("[prescan load]"), 14));
	verdict = [](const std::string& e, Cell*) { return e.rfind("load 11", 0) != 0 && e.rfind("prescan 12", 0) != 0; };
	EXPECT_EQ(traced("1 a 2.5 b 3"), "[a b]");
}

TEST_F(Tracing, ErrorEventsCanStopTheScan) {
	callback_body = *stack::push(lexer::load(reinterpret_cast<const uint8_t*>("[error]"), 7));
	verdict = [](const std::string&, Cell*) { return false; };
	EXPECT_EQ(traced("1 2 }x 3"), "[1 2]");
	EXPECT_EQ(events, (std::vector<std::string>{"error 34 L1 5-6"}));
	verdict = nullptr;
	events.clear();
	EXPECT_EQ(raised([&] { traced("1 (2"); }), errors::id::syntax_missing.code());
	EXPECT_EQ(events, (std::vector<std::string>{"error 6 L1 3-5"}));
}

TEST_F(Tracing, TheCallbackMovesTheScanWithinTheInput) {
	callback_body = *stack::push(lexer::load(reinterpret_cast<const uint8_t*>("[load]"), 6));
	// After loading "skip", jump over " bad!".
	verdict = [](const std::string& e, Cell* args) {
		if (e == "load 15 L1 =skip") args[1].data1 += 5;
		return true;
	};
	EXPECT_EQ(traced("skip bad! 1 2"), "[skip 1 2]");
	// A position past the end stops at the end; before the start, at the start.
	verdict = [](const std::string& e, Cell* args) {
		if (e == "load 15 L1 =end") args[1].data1 = 1000000;
		return true;
	};
	EXPECT_EQ(traced("end more"), "[end]");
	int loads = 0;
	verdict = [&loads](const std::string& e, Cell* args) {
		if (e == "load 15 L1 =again" && ++loads < 3) args[1].data1 = uint32_t(-50);
		return true;
	};
	EXPECT_EQ(traced("again"), "[again again again]");
}

TEST_F(Tracing, ACallbackMayScanAgain) {
	callback_body = *stack::push(lexer::load(reinterpret_cast<const uint8_t*>("[load]"), 6));
	std::vector<std::string> inner;
	verdict = [&inner](const std::string& e, Cell*) {
		if (e == "load 15 L1 =nest") {
			lexer::Options plain;
			std::string shown;
			Cell* r = stack::alloc_slot();
			lexer::scan(r, reinterpret_cast<const uint8_t*>("[in ner]"), 8, plain);
			inner.push_back(test::show(r));
		}
		return true;
	};
	EXPECT_EQ(traced("[a nest b]"), "[[a nest b]]");
	EXPECT_EQ(inner, (std::vector<std::string>{"[[in ner]]"}));
}

}  // namespace

namespace {

TEST_F(Lexer, SeriesEntryClampsItsPartAndReadsBinariesInPlace) {
	Node bytes = memory::alloc_bytes(16);
	Series* b = memory::series(bytes);
	std::memcpy(b->data(), "1 [2] 3", 7);
	b->tail = 7;
	Cell* binary = stack::alloc_slot();
	cell::set(binary, T_BINARY, 2, bytes, 0);
	Cell* result = stack::alloc_slot();
	struct Case {
		int64_t part;
		const char* shown;
		uint32_t consumed;
	} cases[] = {{-1, "[[2] 3]", 5}, {3, "[[2]]", 3}, {1000, "[[2] 3]", 5}, {0, "[]", 0}, {2, "error", 2}};
	for (const Case& c : cases) {
		uint32_t consumed = 99;
		uint32_t code = raised([&] { lexer::scan_series(result, binary, c.part, lexer::Options{}, &consumed); });
		EXPECT_EQ(code ? std::string("error") : test::show(result), c.shown) << c.part;
		if (!code) {
			EXPECT_EQ(consumed, c.consumed) << c.part;
		}
	}
	binary->data1 = 100;  // a head past the tail reads nothing
	lexer::scan_series(result, binary, -1, lexer::Options{}, nullptr);
	EXPECT_EQ(test::show(result), "[]");
}

TEST_F(Lexer, LoadValueAnswersOneValueUnsetOrNone) {
	struct Case {
		const char* text;
		const char* shown;
	} cases[] = {{"abc", "abc"}, {"[1 2]", "[1 2]"}, {"", "unset"}, {"  ", "unset"}, {"a b", "none"}, {"a/b:", "a/b:"}};
	for (const Case& c : cases) {
		Cell out;
		lexer::load_value(reinterpret_cast<const uint8_t*>(c.text), uint32_t(strlen(c.text)), &out);
		EXPECT_EQ(test::show(&out), c.shown) << c.text;
	}
}

}  // namespace
