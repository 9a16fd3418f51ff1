#include "runtime/print_hooks.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace vyn;

namespace {

std::vector<int> calls;  // which printer ran, in order
std::string texts;

template <int N>
void value_printer(const Cell*, int32_t length) {
	calls.push_back(N * 1000 + length);
}

template <int N>
void text_printer(const char* text, uint32_t length, uint32_t flag) {
	calls.push_back(N);
	texts.append(text, length).append(std::to_string(flag));
}

class PrintHooks : public ::testing::Test {
protected:
	void SetUp() override {
		dyn_print::init();
		calls.clear();
		texts.clear();
	}
};

TEST_F(PrintHooks, SixthValuePrinterGrowsTheListByFiveKeepingOrder) {
	dyn_print::ValuePrinter printers[] = {value_printer<1>, value_printer<2>, value_printer<3>,
		value_printer<4>, value_printer<5>, value_printer<6>};
	for (int i = 0; i < 5; i++) dyn_print::add(printers[i], nullptr);
	EXPECT_EQ(dyn_print::value_printers.capacity, 5u);
	dyn_print::add(printers[5], nullptr);
	EXPECT_EQ(dyn_print::value_printers.capacity, 10u);
	EXPECT_EQ(dyn_print::value_printers.count, 6u);
	EXPECT_EQ(dyn_print::text_printers.capacity, 5u);  // the other list is untouched
	EXPECT_EQ(dyn_print::text_printers.count, 0u);

	Cell text{};
	dyn_print::call_print_hooks(&text, 7);
	EXPECT_EQ(calls, (std::vector<int>{1007, 2007, 3007, 4007, 5007, 6007}));
}

TEST_F(PrintHooks, NoHooksRegisteredCallsNothing) {
	Cell text{};
	dyn_print::call_print_hooks(&text, 3);
	dyn_print::call_console_hooks("abc", 3, 0);
	dyn_print::add(value_printer<1>, text_printer<2>);
	dyn_print::remove(value_printer<1>, text_printer<2>);
	dyn_print::call_print_hooks(&text, 3);
	dyn_print::call_console_hooks("abc", 3, 0);
	EXPECT_TRUE(calls.empty());
}

TEST_F(PrintHooks, ConsoleHooksGetTextLengthAndFlag) {
	dyn_print::add(nullptr, text_printer<1>);
	dyn_print::add(nullptr, text_printer<2>);
	dyn_print::call_console_hooks("hello", 4, 0);
	EXPECT_EQ(calls, (std::vector<int>{1, 2}));
	EXPECT_EQ(texts, "hell0hell0");
	EXPECT_EQ(dyn_print::value_printers.count, 0u);  // null value printers are not added
}

TEST_F(PrintHooks, RemovalTakesTheFirstEqualEntryAndClosesTheGap) {
	struct Case {
		std::vector<int> added;    // printer numbers, in order
		int removed;
		std::vector<int> called;
	};
	const Case cases[] = {
		{{1, 2, 3}, 1, {2, 3}},
		{{1, 2, 3}, 2, {1, 3}},
		{{1, 2, 3}, 3, {1, 2}},
		{{1, 2, 1}, 1, {2, 1}},
		{{1, 2}, 3, {1, 2}},  // not registered: nothing changes
		{{}, 1, {}},
	};
	const dyn_print::TextPrinter printers[] = {nullptr, text_printer<1>, text_printer<2>, text_printer<3>};
	for (const Case& c : cases) {
		dyn_print::init();
		calls.clear();
		for (int n : c.added) dyn_print::add(nullptr, printers[n]);
		dyn_print::remove(nullptr, printers[c.removed]);
		dyn_print::call_console_hooks("", 0, 0);
		EXPECT_EQ(calls, c.called) << "removing " << c.removed;
	}
}

TEST_F(PrintHooks, AddingAndRemovingAPairTouchesBothLists) {
	dyn_print::add(value_printer<1>, text_printer<1>);
	dyn_print::add(value_printer<2>, text_printer<2>);
	dyn_print::remove(value_printer<1>, text_printer<2>);
	Cell text{};
	dyn_print::call_print_hooks(&text, 0);
	dyn_print::call_console_hooks("", 0, 1);
	EXPECT_EQ(calls, (std::vector<int>{2000, 1}));
}

}  // namespace
