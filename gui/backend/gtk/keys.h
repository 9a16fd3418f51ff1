// One key press of the window system as the script layer sees it: the
// `key-down` key (the key itself, letters upper case, or its word) and,
// unless the press types nothing, the `key` that follows with what would
// be typed. Pure: the caller looks the characters up in the keymap.
#pragma once

#include <cstdint>

namespace vyn::keys {

// A key: a word (special keys), else a character; none when both are empty.
struct Key {
	const char* word = nullptr;
	uint32_t code = 0;
};

struct Press {
	Key down;                 // the key-down (and key-up) key
	uint32_t down_flags = 0;  // event flags (control, shift, alt)
	bool typed = false;       // a `key` event follows the key-down
	Key key;                  // its key
	uint32_t key_flags = 0;   // its flags: none for a character above U+FFFF
	bool tab = false;         // the Tab key (with or without shift)
};

// keyval: the GDK key value pressed; typed: its character (0 for none);
// base: the character of the same key with no modifier, upper case (0 for
// none); state: the GDK modifier state of the event.
Press translate(uint32_t keyval, uint32_t typed, uint32_t base, uint32_t state);

}  // namespace vyn::keys
