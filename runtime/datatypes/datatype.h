// datatype! values, and raising the errors whose arguments name datatypes.
//
// Cell: word 1 the type id (1 to 56); words 2 and 3 unused. The name comes
// from the registry's name table.
#pragma once

#include <cstdint>

#include "runtime/cell.h"
#include "runtime/errors.h"

namespace vyn::datatype {

inline Cell* make_at(Cell* out, Type t) {
	cell::set(out, T_DATATYPE, t);
	return out;
}
inline Type get(const Cell* value) { return Type(value->data1); }
Cell* push(Type t);
Cell* make_in(const Cell* block, Type t);

void init_type();

// Error raisers. Word arguments are made from their names once the symbol
// table exists (none before); "call" is the word of the innermost call.
// (datatype, value): bad-to-arg, type-limit, invalid-type ...
[[noreturn]] void fire_type(errors::Id id, Type t, const Cell* value = nullptr);
// (word, datatype): not-related with an action's name.
[[noreturn]] void fire_word_type(errors::Id id, const char* word, Type t);
// (call, datatype): cannot-use, not-related; with an argument name,
// (call, datatype, argument): expect-arg.
[[noreturn]] void fire_call_type(errors::Id id, Type t, const char* argument = nullptr);

}  // namespace vyn::datatype
