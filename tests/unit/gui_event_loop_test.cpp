#include <gtest/gtest.h>

#include <glib.h>

#include "gui/backend/event_loop.h"

namespace vyn::test {
namespace {

// A waiting loop ended by a quit from a GLib source, as an actor would
// (an idle source: pending at once, so the loop waits for it).
gboolean quit_once(gpointer) {
	event_loop::quit();
	return G_SOURCE_REMOVE;
}

TEST(GuiEventLoop, NoWaitRunWithNothingQueuedAnswersFalse) {
	while (event_loop::run(true)) {
	}
	EXPECT_FALSE(event_loop::run(true));
}

TEST(GuiEventLoop, NoWaitRunUsesUpAPendingQuit) {
	while (event_loop::run(true)) {
	}
	event_loop::quit();
	event_loop::quit();  // two requests before the loop looks make one
	EXPECT_TRUE(event_loop::run(true));
	EXPECT_FALSE(event_loop::run(true));
}

TEST(GuiEventLoop, WaitingRunEndsAtTheQuitAndOwesNothingAfter) {
	int32_t loops = event_loop::loop_count();
	g_idle_add(quit_once, nullptr);
	EXPECT_TRUE(event_loop::run(false));
	EXPECT_EQ(event_loop::exit_count(), 0);
	EXPECT_EQ(event_loop::depth(), 0);
	EXPECT_EQ(event_loop::loop_count(), loops + 1);
}

TEST(GuiEventLoop, AWindowClosedOutsideAnyLoopEndsNoLaterLoop) {
	int32_t loops = event_loop::loop_count();
	event_loop::owner_closed();
	EXPECT_EQ(event_loop::exit_count(), 0);
	EXPECT_EQ(event_loop::loop_count(), loops);
	g_idle_add(quit_once, nullptr);
	EXPECT_TRUE(event_loop::run(false));  // ended by its own quit, not at once
	EXPECT_EQ(event_loop::exit_count(), 0);
}

TEST(GuiEventLoop, WaitingRunWithNothingToWaitForReturns) {
	while (event_loop::run(true)) {
	}
	EXPECT_FALSE(event_loop::run(false));
	EXPECT_EQ(event_loop::depth(), 0);
}

}  // namespace
}  // namespace vyn::test
