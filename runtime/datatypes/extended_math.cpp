#include "runtime/datatypes/extended_math.h"

namespace vyn::extended_math {

DoMath do_math[TYPE_COUNT];
Cell* (*vector_scalar)(MathOp, Cell*, Cell*) = nullptr;
Cell* (*money_from_integer)(int32_t) = nullptr;
Cell* (*money_from_float)(double, bool) = nullptr;
double (*money_to_float)(const Cell*) = nullptr;
int32_t (*money_to_integer)(const Cell*) = nullptr;
double (*date_to_seconds)(const Cell*) = nullptr;

}  // namespace vyn::extended_math
