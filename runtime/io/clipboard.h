// The clipboard: the display's, when a GUI backend gives one and a display
// can be had, else in-process (headless mode), holding the last value
// written (none at start).
//
// What is written is copied first, so changing it afterwards never changes
// what the clipboard holds, and what is read is a new value each time.
#pragma once

#include "runtime/cell.h"

namespace vyn::clipboard {

// A new value in `out`: a string!, a block! of file!, an image!, none when
// the clipboard holds none of these, or false when it cannot be had.
void read(Cell* out);

// Replaces the clipboard's contents by a string!, a block! of file! or
// string! paths (held as file!), an image!, or none (empties it; so does an
// image without pixels). Answers true when the contents were set, false when
// the clipboard could not be had. Any other value, or a block holding
// anything but files and strings, raises script invalid-arg with it, and the
// clipboard keeps its contents.
bool write(Cell* value);

// A display's clipboard, given by a GUI backend.
struct System {
	// True when the display can be had; asked before each use, so a
	// backend may connect lazily.
	bool (*available)();
	// As `read`.
	void (*read)(Cell* out);
	// Sets prepared contents: a string!, a block! of file! (copies), an
	// image! with pixels, or none.
	bool (*write)(const Cell* contents);
};

// Uses the display's clipboard from now on (null: the in-process one).
void use(const System* system);

// Empties the clipboard and registers its root with the collector (boot).
void init();

}  // namespace vyn::clipboard
