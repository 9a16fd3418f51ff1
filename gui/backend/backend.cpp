#include "gui/backend/backend.h"

#include "gui/backend/headless/headless.h"

namespace vyn::backend {

// The GTK backend is not there yet: every run is headless.
Backend& current() { return headless::instance(); }

}  // namespace vyn::backend
