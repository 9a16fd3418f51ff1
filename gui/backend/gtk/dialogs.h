// The file and folder choosers: GtkFileChooserDialog run modally over the
// active window. Escape or Cancel answers nothing.
#pragma once

#include <string>
#include <vector>

#include "gui/backend/backend.h"

namespace vyn::gtk_dialogs {

// False when the dialog was cancelled.
bool request_files(const backend::FileRequest& request, std::vector<std::string>* chosen);

}  // namespace vyn::gtk_dialogs
