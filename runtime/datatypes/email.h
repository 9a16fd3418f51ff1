// email!: a string-family text holding a whole e-mail address, "@"
// included. It molds as its bare text and gives path access to the parts
// before ("user") and after ("host") the first "@".
#pragma once

#include "runtime/cell.h"

namespace vyn::email {

// Registers email! (parent string!).
void init_type();

// Pushes a copy of the value on the data stack.
Cell* push(const Cell* value);

}  // namespace vyn::email
