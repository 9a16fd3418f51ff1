// The headless backend: faces and windows kept offscreen, one virtual
// screen of 1920x1080 at scale 1 (96 DPI), text measured with Pango on an
// image surface, timers on the GLib loop. Used when no display can be
// opened or VYN_HEADLESS=1 is set.
#pragma once

#include "gui/backend/backend.h"

namespace vyn::headless {

backend::Backend& instance();

}  // namespace vyn::headless
