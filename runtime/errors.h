// Raising language errors, and the non-local exit codes.
//
// Two ways out of a computation:
//  - break, continue, return and exit are frequent: they never use C++
//    exceptions. stack::throw_break/throw_return unwind the call stack and
//    leave their code in the pending slot (errors::pending); every caller that
//    evaluates Vyn code checks it and returns until a catching point takes it.
//  - errors, the language's throw and quit travel as one C++ exception, Throw,
//    carrying the 32-bit code; the value (the error, or the thrown value and
//    its name) is left on the data stack by the thrower.
#pragma once

#include <cstdint>

#include "runtime/cell.h"
#include "runtime/error_catalog.h"

namespace vyn {

enum ThrowCode : uint32_t {
	THROW_NONE = 0,
	THROW_ERROR = 0x7FFFFFFF,
	THROW_BREAK = 0x7FFFFFFE,
	THROW_CONTINUE = 0x7FFFFFFD,
	THROW_RETURN = 0x7FFFFFFC,
	THROW_EXIT = 0x7FFFFFFB,
	THROW_THROW = 0x7FFFFFFA,
	THROW_QUIT = 0x0BADCAFE,
};

// The one exception type of the runtime.
struct Throw {
	uint32_t code;
};

namespace errors {

// The code of the exit in progress that travels without an exception
// (break, continue, return, exit); THROW_NONE when there is none.
extern uint32_t pending;

inline bool unwinding() { return pending != THROW_NONE; }

// Builds an error value in `out` from the catalog entry and up to three
// argument cells (null = absent). Installed by the error! datatype; until
// then a bare error cell carrying the code is made.
using MakeHook = void (*)(Id id, const Cell* arg1, const Cell* arg2, const Cell* arg3, Cell* out);
extern MakeHook make_hook;

// Raises the error: builds it, then hands it to stack::throw_error.
[[noreturn]] void fire(Id id, const Cell* arg1 = nullptr, const Cell* arg2 = nullptr,
	const Cell* arg3 = nullptr);

// Code of an error cell made before the error! datatype is in place.
uint32_t code_of(const Cell* error);

}  // namespace errors
}  // namespace vyn
