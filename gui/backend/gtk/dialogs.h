// The file, folder and font choosers: GTK's dialogs run modally over the
// active window. Escape or Cancel answers nothing.
#pragma once

#include <string>
#include <vector>

#include "gui/backend/backend.h"

namespace vyn::gtk_dialogs {

// False when the dialog was cancelled.
bool request_files(const backend::FileRequest& request, std::vector<std::string>* chosen);
// The font chooser, from `start`; false when it was cancelled.
bool request_font(const backend::Font& start, bool mono, backend::Font* chosen);

}  // namespace vyn::gtk_dialogs
