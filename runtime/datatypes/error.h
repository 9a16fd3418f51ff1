// error!: the value every runtime failure becomes, the language-level error
// catalog, and the report the console and the uncaught-error path print.
//
// An error is an object (object.h cell layout, type 34, class id CLASS_ID,
// no on-set record) over a copy of the prototype context, whose ten fields
// are, in order: code (category * 100 + id number), type (the category word,
// bound to the catalog), id (the id word, bound to its category), arg1,
// arg2, arg3, near (the code being evaluated), where (the word of the
// failing function, or a string), stack (the call-stack depth as integer!
// while the error travels, later a block of the call trace) and files.
//
// The catalog object has one field per category in catalog order; each
// category object starts with `code` (its base code) and `type` (its
// display name), then one field per id holding its message template: a
// string, a word looked up in the error, or a block of strings and words
// (:arg1 ... replaced by the error's fields). It is built on first use from
// the generated tables of error_catalog.h and kept in the root block.
#pragma once

#include <cstdint>

#include "runtime/cell.h"
#include "runtime/error_catalog.h"
#include "runtime/registry.h"

namespace vyn::error {

enum Field : uint32_t { CODE, TYPE, ID, ARG1, ARG2, ARG3, NEAR, WHERE, STACK, FILES, FIELD_COUNT };
constexpr int32_t CLASS_ID = 1;
// Template fields before the ids in a category object.
constexpr uint32_t FIRST_ID_FIELD = 2;
// Budgets of the report, in characters.
constexpr int32_t ARGUMENT_BUDGET = 80;
constexpr int32_t NEAR_BUDGET = 40;

// The context of system/state (its stack-trace and source-files fields
// shape the report); 0 until the system object exists, which reads as a
// trace setting of 0 and no source files.
extern Node state;

// The context of system/catalog: once set, the catalog is the object its
// errors field holds (the built-in one while that is no object).
extern Node catalog_owner;

// The built-in catalog object, which system/catalog/errors starts as.
void catalog(Cell* out);

// Builds the error of a catalog id in `out`, with up to three arguments
// (null: absent, left none) and near taken from the interpreter's current
// code (none outside any evaluation). This is the builder errors::fire uses.
Cell* create(errors::Id id, const Cell* arg1, const Cell* arg2, const Cell* arg3, Cell* out);

// The symbols of the type and id fields (0 when they hold no word).
uint32_t get_category(const Cell* error);
uint32_t get_id(const Cell* error);
// Copies where into `out` unless it is none; answers whether it did.
bool get_where(const Cell* error, Cell* out);
constexpr uint32_t stack_field_index() { return STACK; }
// The code field (-1 when it holds no integer).
int32_t code_of(const Cell* error);

// The word of argument n (0-based; word!, lit-word!, get-word! and
// refinement! entries of the spec count) of the function-like value a word
// refers to, or none.
void argument_word(const Cell* word, uint32_t n, Cell* out);

// A caught error's stack field, when it still holds the depth it was
// raised at, becomes the block of the call trace; files gets a copy of
// system/state/source-files when that is not empty.
void set_stack_trace(Cell* error);

// Builds the error and prints its report through the print native, in a
// frame named <body>; the error is not raised (the GUI reports errors of
// its drawing this way).
void print(errors::Id id, const Cell* arg1 = nullptr, const Cell* arg2 = nullptr, const Cell* arg3 = nullptr);

// The stack hooks: where and the raise depth, and the report as UTF-8.
void prepare(Cell* error);
void form_report(const Cell* error, char* out, uint32_t room);

// Action implementations of error! (the rest are object!'s).
Cell* make(Cell* proto, Cell* spec, Type type);
int32_t form(const Cell* error, Cell* out, const Cell* arg, int32_t part);
int32_t compare(const Cell* a, const Cell* b, CompareOp op);

// Registers error! (id 34, after object!) and installs the error builder
// and the stack hooks.
void init_type();

}  // namespace vyn::error
