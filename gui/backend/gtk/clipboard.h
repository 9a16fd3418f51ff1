// The display's clipboard through GTK (the X11 CLIPBOARD selection).
#pragma once

namespace vyn::gtk_clipboard {

// Makes the display's clipboard the one `read-clipboard` and
// `write-clipboard` use, unless headless mode is asked for (VYN_HEADLESS=1)
// or no display is named. GTK connects at the first use; when the display
// cannot be opened the in-process clipboard serves instead.
void install();

}  // namespace vyn::gtk_clipboard
