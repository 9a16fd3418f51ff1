// The backend's entries as routines: the members of system/view/platform
// (gui/platform.vyn takes each `backend-<member>` word into the object and
// unsets it), the backend's start, and send-event-os.
#pragma once

#include <string>

#include "gui/backend/backend.h"
#include "runtime/cell.h"

namespace vyn::platform_routines {

// The face's font! object as a backend font: its family through our table
// of families (the names scripts use on other systems become this
// system's), cut to 31 characters; its size when an integer above 0 (else
// 0, the system size); its style words. The system font without an object.
backend::Font face_font(const Cell* face);
// The same of a font! object itself.
backend::Font face_font_object(const Cell* font);
// True when the value, a word or a block of words, holds the word.
bool holds_word(const Cell* words, const char* name);
// The family a script's font name stands for here.
std::string family_of(const std::string& name);

// Defines them as global words (boot, before the GUI sources run).
void define_all();

}  // namespace vyn::platform_routines
