// The C++ entry of the face template's change handler: an assignment that
// only sets the facet's change bit (the handler's quick path) costs no
// evaluation. The handler's body stays the definition and runs whenever the
// entry's guard declines the call.
#pragma once

namespace vyn::engine_entries {

// Gives face!/on-change* its entry; skipped when the library has no face!.
void install();

}  // namespace vyn::engine_entries
