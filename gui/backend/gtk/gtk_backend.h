// The GTK 3 backend: real windows on the display, native controls for the
// faces that have one, base faces painted by the draw engine, input turned
// into events through the dispatcher.
#pragma once

#include "gui/backend/backend.h"

namespace vyn::gtk_backend {

// The backend when a display can be opened (and VYN_HEADLESS is not 1),
// else null.
backend::Backend* open();

// The caret blink time of GTK's settings in milliseconds: negative when
// blinking is off, 0 without a display.
int caret_blink_time();

}  // namespace vyn::gtk_backend
