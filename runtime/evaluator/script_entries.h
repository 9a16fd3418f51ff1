// The C++ entry of expand-directives for code the preprocessor would leave
// as it is: no macro is defined and no directive (an issue!) stands in the
// code at any depth. Every other call runs the library's body.
#pragma once

namespace vyn::script_entries {

// Gives expand-directives its entry.
void install();

}  // namespace vyn::script_entries
