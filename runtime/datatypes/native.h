// native!, action! and op! values.
#pragma once

namespace vyn::native {

void init_types();

}  // namespace vyn::native
