#include "gui/backend/gtk/keys.h"

#include <gdk/gdk.h>

#include "runtime/datatypes/event.h"

namespace vyn::keys {

namespace {

struct Named {
	uint32_t keyval;
	const char* word;
};

constexpr Named NAMED[] = {
	{GDK_KEY_Pause, "pause"}, {GDK_KEY_Caps_Lock, "caps-lock"}, {GDK_KEY_Page_Up, "page-up"},
	{GDK_KEY_KP_Page_Up, "page-up"}, {GDK_KEY_Page_Down, "page-down"}, {GDK_KEY_KP_Page_Down, "page-down"},
	{GDK_KEY_End, "end"}, {GDK_KEY_KP_End, "end"}, {GDK_KEY_Home, "home"}, {GDK_KEY_KP_Home, "home"},
	{GDK_KEY_Left, "left"}, {GDK_KEY_KP_Left, "left"}, {GDK_KEY_Up, "up"}, {GDK_KEY_KP_Up, "up"},
	{GDK_KEY_Right, "right"}, {GDK_KEY_KP_Right, "right"}, {GDK_KEY_Down, "down"}, {GDK_KEY_KP_Down, "down"},
	{GDK_KEY_Insert, "insert"}, {GDK_KEY_KP_Insert, "insert"}, {GDK_KEY_Delete, "delete"},
	{GDK_KEY_KP_Delete, "delete"}, {GDK_KEY_Super_L, "left-command"}, {GDK_KEY_Super_R, "right-command"},
	{GDK_KEY_F1, "F1"}, {GDK_KEY_F2, "F2"}, {GDK_KEY_F3, "F3"}, {GDK_KEY_F4, "F4"}, {GDK_KEY_F5, "F5"},
	{GDK_KEY_F6, "F6"}, {GDK_KEY_F7, "F7"}, {GDK_KEY_F8, "F8"}, {GDK_KEY_F9, "F9"}, {GDK_KEY_F10, "F10"},
	{GDK_KEY_F11, "F11"}, {GDK_KEY_F12, "F12"}, {GDK_KEY_Num_Lock, "num-lock"},
	{GDK_KEY_Scroll_Lock, "scroll-lock"}, {GDK_KEY_Shift_L, "left-shift"}, {GDK_KEY_Shift_R, "right-shift"},
	{GDK_KEY_Control_L, "left-control"}, {GDK_KEY_Control_R, "right-control"}, {GDK_KEY_Alt_L, "left-alt"},
	{GDK_KEY_Alt_R, "right-alt"}, {GDK_KEY_ISO_Level3_Shift, "right-alt"},
};

const char* word_of(uint32_t keyval) {
	for (const Named& n : NAMED)
		if (n.keyval == keyval) return n.word;
	return nullptr;
}

// The character of the keys that type control characters of their own.
uint32_t control_char(uint32_t keyval) {
	switch (keyval) {
	case GDK_KEY_BackSpace: return 8;
	case GDK_KEY_Tab: return 9;
	case GDK_KEY_Return:
	case GDK_KEY_KP_Enter: return 13;
	case GDK_KEY_Escape: return 27;
	default: return 0;
	}
}

// The modifier keys themselves type nothing.
bool is_modifier(uint32_t keyval) {
	return keyval == GDK_KEY_Shift_L || keyval == GDK_KEY_Shift_R || keyval == GDK_KEY_Control_L ||
		keyval == GDK_KEY_Control_R || keyval == GDK_KEY_Alt_L || keyval == GDK_KEY_Alt_R ||
		keyval == GDK_KEY_ISO_Level3_Shift;
}

bool is_letter(uint32_t c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// What Ctrl with the key types: letters their control codes 1-26,
// Backspace DEL, Enter LF, [ \ ] ESC FS GS; digits and the rest nothing (0).
uint32_t with_control(uint32_t keyval, uint32_t typed, uint32_t base) {
	if (keyval == GDK_KEY_BackSpace) return 127;
	if (keyval == GDK_KEY_Return || keyval == GDK_KEY_KP_Enter) return 10;
	if (keyval == GDK_KEY_Escape) return 27;
	if (is_letter(base)) return (base & 0x1F);
	if (is_letter(typed)) return (typed & 0x1F);
	switch (base) {
	case '[': return 27;
	case '\\': return 28;
	case ']': return 29;
	case ' ': return ' ';
	default: return 0;
	}
}

}  // namespace

Press translate(uint32_t keyval, uint32_t typed, uint32_t base, uint32_t state) {
	Press p;
	// Shift+Tab arrives as a key of its own.
	if (keyval == GDK_KEY_ISO_Left_Tab) {
		keyval = GDK_KEY_Tab;
		base = 9;
		state |= GDK_SHIFT_MASK;
	}
	// A modifier's own press already counts it as held.
	if (keyval == GDK_KEY_Control_L || keyval == GDK_KEY_Control_R) state |= GDK_CONTROL_MASK;
	if (keyval == GDK_KEY_Shift_L || keyval == GDK_KEY_Shift_R) state |= GDK_SHIFT_MASK;
	if (keyval == GDK_KEY_Alt_L || keyval == GDK_KEY_Alt_R) state |= GDK_MOD1_MASK;
	uint32_t flags = 0;
	if (state & GDK_CONTROL_MASK) flags |= event::FLAG_CONTROL;
	if (state & GDK_SHIFT_MASK) flags |= event::FLAG_SHIFT;
	if (state & GDK_MOD1_MASK) flags |= event::FLAG_ALT;
	p.down_flags = p.key_flags = flags;
	p.tab = keyval == GDK_KEY_Tab;
	// Alt (AltGr is another modifier) and F10 are the system's keys: they
	// give a key-down only, as do the modifier keys.
	bool system = (state & GDK_MOD1_MASK) || keyval == GDK_KEY_F10;
	if (const char* word = word_of(keyval)) {
		p.down.word = p.key.word = word;
		p.typed = !system && !is_modifier(keyval);
		return p;
	}
	uint32_t own = control_char(keyval);
	if (own) typed = base = own;
	p.down.code = base ? base : typed;
	if (!typed || system) return p;
	uint32_t c = state & GDK_CONTROL_MASK ? with_control(keyval, typed, base) : typed;
	if (!c) return p;
	p.typed = true;
	p.key.code = c;
	// A character above U+FFFF comes whole, without flags.
	if (c > 0xFFFF) p.key_flags = 0;
	return p;
}

}  // namespace vyn::keys
