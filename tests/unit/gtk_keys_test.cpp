#include <gdk/gdk.h>
#include <gtest/gtest.h>

#include <string>

#include "gui/backend/gtk/keys.h"
#include "runtime/datatypes/event.h"

namespace vyn::keys {
namespace {

constexpr uint32_t CTRL = GDK_CONTROL_MASK, SHIFT = GDK_SHIFT_MASK, ALT = GDK_MOD1_MASK;
constexpr uint32_t NUM_LOCK = GDK_MOD2_MASK, ALT_GR = GDK_MOD5_MASK;
constexpr uint32_t F_CTRL = event::FLAG_CONTROL, F_SHIFT = event::FLAG_SHIFT, F_ALT = event::FLAG_ALT;

// A key as the tests write it: a word, or "#" and the code point, or "none".
std::string show(const Key& k) {
	if (k.word) return k.word;
	return k.code ? "#" + std::to_string(k.code) : "none";
}

struct Case {
	const char* name;
	uint32_t keyval, typed, base, state;
	std::string down;
	uint32_t down_flags;
	std::string key;  // "-" when no key event follows
	uint32_t key_flags;
};

TEST(GtkKeys, PressesGiveKeyDownThenWhatIsTyped) {
	const Case cases[] = {
		{"letter", GDK_KEY_a, 'a', 'A', 0, "#65", 0, "#97", 0},
		{"shifted letter", GDK_KEY_A, 'A', 'A', SHIFT, "#65", F_SHIFT, "#65", F_SHIFT},
		{"digit", GDK_KEY_1, '1', '1', 0, "#49", 0, "#49", 0},
		{"arrow", GDK_KEY_Left, 0, 0, 0, "left", 0, "left", 0},
		{"keypad arrow", GDK_KEY_KP_Left, 0, 0, 0, "left", 0, "left", 0},
		{"F12", GDK_KEY_F12, 0, 0, 0, "F12", 0, "F12", 0},
		{"Ctrl+C", GDK_KEY_c, 'c', 'C', CTRL, "#67", F_CTRL, "#3", F_CTRL},
		{"Ctrl+Shift+Z", GDK_KEY_Z, 'Z', 'Z', CTRL | SHIFT, "#90", F_CTRL | F_SHIFT, "#26", F_CTRL | F_SHIFT},
		{"Ctrl+F1 stays F1", GDK_KEY_F1, 0, 0, CTRL, "F1", F_CTRL, "F1", F_CTRL},
		{"Ctrl+F11 stays F11", GDK_KEY_F11, 0, 0, CTRL, "F11", F_CTRL, "F11", F_CTRL},
		{"Ctrl+Backspace", GDK_KEY_BackSpace, 8, 8, CTRL, "#8", F_CTRL, "#127", F_CTRL},
		{"Ctrl+Enter", GDK_KEY_Return, 13, 13, CTRL, "#13", F_CTRL, "#10", F_CTRL},
		{"Ctrl+digit types nothing", GDK_KEY_5, '5', '5', CTRL, "#53", F_CTRL, "-", 0},
		{"Ctrl+[", GDK_KEY_bracketleft, '[', '[', CTRL, "#91", F_CTRL, "#27", F_CTRL},
		{"Enter", GDK_KEY_Return, 13, 13, 0, "#13", 0, "#13", 0},
		{"keypad Enter", GDK_KEY_KP_Enter, 13, 13, 0, "#13", 0, "#13", 0},
		{"Escape", GDK_KEY_Escape, 27, 27, 0, "#27", 0, "#27", 0},
		{"Tab", GDK_KEY_Tab, 9, 9, 0, "#9", 0, "#9", 0},
		{"Shift+Tab", GDK_KEY_ISO_Left_Tab, 0, 0, SHIFT, "#9", F_SHIFT, "#9", F_SHIFT},
		{"Shift+Tab without shift in the state", GDK_KEY_ISO_Left_Tab, 0, 0, 0, "#9", F_SHIFT, "#9", F_SHIFT},
		{"Alt+letter: key-down only", GDK_KEY_x, 'x', 'X', ALT, "#88", F_ALT, "-", 0},
		{"Alt+arrow: key-down only", GDK_KEY_Left, 0, 0, ALT, "left", F_ALT, "-", 0},
		{"AltGr types its character", GDK_KEY_EuroSign, 0x20AC, 'E', ALT_GR, "#69", 0, "#8364", 0},
		{"F10: key-down only", GDK_KEY_F10, 0, 0, 0, "F10", 0, "-", 0},
		{"Shift: key-down only, shifted", GDK_KEY_Shift_L, 0, 0, 0, "left-shift", F_SHIFT, "-", 0},
		{"Alt: key-down only, with alt", GDK_KEY_Alt_R, 0, 0, 0, "right-alt", F_ALT, "-", 0},
		{"Control: key-down only, with control", GDK_KEY_Control_R, 0, 0, 0, "right-control", F_CTRL, "-", 0},
		{"Caps Lock has its word", GDK_KEY_Caps_Lock, 0, 0, 0, "caps-lock", 0, "caps-lock", 0},
		{"Num Lock is no flag", GDK_KEY_a, 'a', 'A', NUM_LOCK, "#65", 0, "#97", 0},
		{"above U+FFFF: whole, no flags", 0x101F600, 0x1F600, 0x1F600, SHIFT, "#128512", F_SHIFT, "#128512", 0},
		{"unknown key", GDK_KEY_AudioPlay, 0, 0, 0, "none", 0, "-", 0},
	};
	for (const Case& c : cases) {
		SCOPED_TRACE(c.name);
		Press p = translate(c.keyval, c.typed, c.base, c.state);
		EXPECT_EQ(show(p.down), c.down);
		EXPECT_EQ(p.down_flags, c.down_flags);
		EXPECT_EQ(p.typed ? show(p.key) : "-", c.key);
		if (p.typed) {
			EXPECT_EQ(p.key_flags, c.key_flags);
		}
	}
}

TEST(GtkKeys, OnlyTabMovesTheFocus) {
	EXPECT_TRUE(translate(GDK_KEY_Tab, 9, 9, 0).tab);
	EXPECT_TRUE(translate(GDK_KEY_ISO_Left_Tab, 0, 0, SHIFT).tab);
	EXPECT_FALSE(translate(GDK_KEY_a, 'a', 'A', 0).tab);
}

}  // namespace
}  // namespace vyn::keys
