// The type-test predicates: one a datatype (integer? and the like), which
// compare the value's type id alone, and one a typeset (any-string? and the
// like), which read the typeset word's current value at every call.
#pragma once

namespace vyn::type_tests {

// Defines the tests as global routines; run with the library's routines.
void define_all();

}  // namespace vyn::type_tests
