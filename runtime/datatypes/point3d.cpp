#include "runtime/datatypes/point3d.h"

#include "runtime/datatypes/extended_math.h"
#include "runtime/evaluator/stack.h"
#include "runtime/memory.h"

namespace vyn::point3D {

Cell* make_at(Cell* out, float x, float y, float z) { return point::make_at(out, T_POINT3D, {{x, y, z}, 3}); }

Cell* push(float x, float y, float z) { return make_at(stack::alloc_slot(), x, y, z); }

Cell* make_in(const Cell* block, float x, float y, float z) { return make_at(memory::alloc_tail(block), x, y, z); }

void init_type() {
	registry::register_type(T_POINT3D, Type(0), "point3D!", point::row());
	extended_math::do_math[T_POINT3D] = do_math;
}

}  // namespace vyn::point3D
