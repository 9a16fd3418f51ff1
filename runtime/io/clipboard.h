// The clipboard, as the headless mode has it: in-process, holding the last
// value written (none at start). The clipboard of a display needs the GUI
// backend, which does not exist yet.
//
// Text is held as a system clipboard holds it, with CR LF line ends: each
// LF becomes CR LF on the way in, and each CR LF becomes LF on the way out,
// so a lone CR is kept and every string comes back as it went in.
// A list of files is held as copies, so changing what was written or what
// was read never changes what the clipboard holds.
#pragma once

#include "runtime/cell.h"

namespace vyn::clipboard {

// A new value in `out`: a string!, a block! of file!, or none when the
// clipboard is empty.
void read(Cell* out);

// Replaces the clipboard's contents by a string!, a block! of file! or
// string! paths (held as file!), or none (empties it). Answers true. Any
// other value, or a block holding anything but files and strings, raises
// script invalid-arg with it, and the clipboard keeps its contents.
bool write(Cell* value);

// Empties the clipboard and registers its root with the collector (boot).
void init();

}  // namespace vyn::clipboard
