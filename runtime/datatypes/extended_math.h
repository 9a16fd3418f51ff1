// Entry points of the extended number-like datatypes (pair!, point2D!,
// point3D!, tuple!, money!, date!, vector!) that the scalar arithmetic,
// comparisons and conversions hand over to. Each of those modules installs
// its entries when it registers; while an entry is null, its operand type
// is refused with the error the scalar type gives any unknown type.
#pragma once

#include <cstdint>

#include "runtime/cell.h"
#include "runtime/registry.h"

namespace vyn::extended_math {

// The arithmetic worker of a type (pair/do-math, tuple/do-math,
// money/do-math, date/do-math ...), indexed by type id: (math-op) on the
// frame's two argument slots, the first holding a value of that type (the
// money! and tuple! workers also take a number first); the result replaces
// the first slot and is answered.
using DoMath = Cell* (*)(MathOp op);
extern DoMath do_math[TYPE_COUNT];

// vector/do-math-scalar: applies op between every element of the vector and
// the scalar; answers the vector.
extern Cell* (*vector_scalar)(MathOp op, Cell* scalar, Cell* vector);

// money/from-integer, money/from-float: push a new money! and answer it.
extern Cell* (*money_from_integer)(int32_t value);
extern Cell* (*money_from_float)(double value, bool flag);
// money/to-float, money/to-integer (the latter raises type-limit).
extern double (*money_to_float)(const Cell* money);
extern int32_t (*money_to_integer)(const Cell* money);

// Seconds from 1970-01-01 00:00 UTC to a date!.
extern double (*date_to_seconds)(const Cell* date);

inline DoMath worker(Type t) { return do_math[t]; }

}  // namespace vyn::extended_math

namespace vyn::extended_math {

// The action word of a math-op code, for error arguments.
inline const char* action_name(MathOp op) {
	static constexpr const char* names[] = {"add", "subtract", "multiply", "divide", "remainder", "or~", "and~", "xor~"};
	return names[op];
}

// Exchanges the two operands in place, so that the compound one comes first.
inline void swap_operands(Cell* a, Cell* b) {
	Cell t = *a;
	*a = *b;
	*b = t;
}

}  // namespace vyn::extended_math
