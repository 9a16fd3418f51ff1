// The natives table: the 107 language functions the runtime implements.
//
// Calling convention of every entry: the caller has opened a native frame
// and pushed the arguments in spec order from stack::arguments (argument i
// in cell i; the argument cells of an unused refinement are present, none).
// The entry gets the check flag (true from compiled callers: check argument
// types against the spec) and one position per refinement of its spec: -1
// when absent, else the cell index of its first argument. The result is
// left in the frame's base cell.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace vyn::natives {

using Entry = void (*)(bool check, const int32_t* refinements);

constexpr int TABLE_SIZE = 120;
constexpr int NATIVE_COUNT = 107;

// Slots, 1-based, in table order.
enum Slot : uint8_t {
	N_IF = 1, N_UNLESS, N_EITHER, N_ANY, N_ALL, N_WHILE, N_UNTIL, N_LOOP, N_REPEAT, N_FOREVER,
	N_FOREACH, N_FORALL, N_REMOVE_EACH, N_FUNC, N_FUNCTION, N_DOES, N_HAS, N_SWITCH, N_CASE, N_DO,
	N_GET, N_SET, N_PRINT, N_PRIN, N_EQUAL_Q, N_NOT_EQUAL_Q, N_STRICT_EQUAL_Q, N_LESSER_Q,
	N_GREATER_Q, N_LESSER_OR_EQUAL_Q, N_GREATER_OR_EQUAL_Q, N_SAME_Q, N_NOT, N_TYPE_Q, N_REDUCE,
	N_COMPOSE, N_STATS, N_BIND, N_IN, N_PARSE, N_UNION, N_INTERSECT, N_UNIQUE, N_DIFFERENCE,
	N_EXCLUDE, N_COMPLEMENT_Q, N_DEHEX, N_ENHEX, N_NEGATIVE_Q, N_POSITIVE_Q, N_MAX, N_MIN, N_SHIFT,
	N_TO_HEX, N_SINE, N_COSINE, N_TANGENT, N_ARCSINE, N_ARCCOSINE, N_ARCTANGENT, N_ARCTANGENT2,
	N_NAN_Q, N_LOG_2, N_LOG_10, N_LOG_E, N_EXP, N_SQUARE_ROOT, N_CONSTRUCT, N_VALUE_Q, N_TRY,
	N_UPPERCASE, N_LOWERCASE, N_AS_PAIR, N_AS_POINT2D, N_AS_POINT3D, N_AS_MONEY, N_BREAK, N_CONTINUE,
	N_EXIT, N_RETURN, N_THROW, N_CATCH, N_EXTEND, N_DEBASE, N_TO_LOCAL_FILE, N_WAIT, N_CHECKSUM,
	N_UNSET, N_NEW_LINE, N_NEW_LINE_Q, N_ENBASE, N_CONTEXT_Q, N_SET_ENV, N_GET_ENV, N_LIST_ENV, N_NOW,
	N_SIGN_Q, N_AS, N_CALL, N_ZERO_Q, N_SIZE_Q, N_BROWSE, N_COMPRESS, N_DECOMPRESS, N_RECYCLE,
	N_TRANSCODE, N_APPLY,
};

extern Entry table[TABLE_SIZE];

// Fills the table in slot order; slots whose family is not built raise
// internal not-done when called.
void init();

// Puts an entry in its slot; each family of natives registers its own.
void set(Slot slot, Entry entry);

// `set` on an object, installed by the object module.
extern void (*set_object)(Cell* object, const Cell* value, bool any, bool only, bool some);

// Families register themselves from natives::init.
void register_control();
void register_evaluation();
void register_comparison();
void register_print();
void register_math();
void register_series();
void register_system();
void register_parse();

// difference of two dates: installed by the date datatype (the frame's
// first two cells, the time between them replacing the first); null
// raises internal not-done.
extern void (*date_difference)(Cell* date1, const Cell* date2);

// The shift native's three modes; counts below 0 count as 0, counts of 32
// and more give the defined limits.
enum class Shift { left, logical, right };
int32_t shift(int32_t data, int32_t bits, Shift mode);

// Evaluates the expressions of a block, adding each value to `target`
// (appended at its tail, else inserted at its position).
void reduce_block(const Cell* block, Cell* target);

// same?: identity of two values.
bool same(const Cell* a, const Cell* b);

// Prints a value as print (newline) or prin does.
void print(const Cell* value, bool newline);

// The block print and prin reduce into (a collector root), and whether the
// last print ended its line.
extern Cell print_buffer;
extern bool print_newline;
// Whether the last character the print functions wrote was a line feed.
extern bool print_last_lf;

}  // namespace vyn::natives
