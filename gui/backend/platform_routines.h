// The backend's entries as routines: the members of system/view/platform
// (gui/platform.vyn takes each `backend-<member>` word into the object and
// unsets it), the backend's start, and send-event-os.
#pragma once

namespace vyn::platform_routines {

// Defines them as global words (boot, before the GUI sources run).
void define_all();

}  // namespace vyn::platform_routines
