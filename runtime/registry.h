// The datatype registry: type names and the rows of action implementations.
//
// Each datatype module registers one ActionRow: 62 typed entries, one per
// action slot. A null entry is unsupported, unless its slot is in the
// registration's inherit mask and the type has a parent, in which case the
// parent's entry is copied at registration (so parents register first).
// Dispatch (evaluator/actions.h) is then one indexed load and a call.
//
// Argument conventions shared by every implementation:
//  - Cells are on the data stack (the frame of the action call) unless said
//    otherwise; a refinement's argument is a cell pointer, null when the
//    refinement is absent; a refinement without argument is a bool.
//  - Implementations answer the cell holding their result (often the first
//    argument, modified in place); the dispatcher copies it into the frame's
//    result slot.
//  - FrameFn implementations (arithmetic and positional actions) read their
//    arguments from stack::arguments and write the result slot themselves.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace vyn {

// Action slots, 1-based as in the action table.
enum Slot : uint8_t {
	A_MAKE = 1, A_RANDOM, A_REFLECT, A_TO, A_FORM, A_MOLD, A_EVAL_PATH, A_EMPTY8, A_COMPARE,
	A_ABSOLUTE, A_ADD, A_DIVIDE, A_MULTIPLY, A_NEGATE, A_POWER, A_REMAINDER, A_ROUND, A_SUBTRACT,
	A_EVEN_Q, A_ODD_Q, A_AND_T, A_COMPLEMENT, A_OR_T, A_XOR_T, A_APPEND, A_AT, A_BACK, A_CHANGE,
	A_CLEAR, A_COPY, A_FIND, A_HEAD, A_HEAD_Q, A_INDEX_Q, A_INSERT, A_LENGTH_Q, A_MOVE, A_NEXT,
	A_PICK, A_POKE, A_PUT, A_REMOVE, A_REVERSE, A_SELECT, A_SORT, A_SKIP, A_SWAP, A_TAIL, A_TAIL_Q,
	A_TAKE, A_TRIM, A_CREATE, A_CLOSE, A_DELETE, A_MODIFY, A_OPEN, A_OPEN_Q, A_QUERY, A_READ,
	A_RENAME, A_UPDATE, A_WRITE,
};
constexpr int ACTION_COUNT = 62;

// Comparison codes of the compare entry.
enum CompareOp : int32_t {
	COMP_EQUAL = 0, COMP_NOT_EQUAL, COMP_STRICT_EQUAL, COMP_LESSER, COMP_LESSER_EQUAL,
	COMP_GREATER, COMP_GREATER_EQUAL, COMP_SORT, COMP_CASE_SORT, COMP_SAME, COMP_FIND_CASE,
	COMP_FIND, COMP_FIND_SELECT,
};
constexpr int32_t COMPARE_UNRELATED = -2;

// Math-op codes shared by the arithmetic workers.
enum MathOp : int32_t { OP_ADD = 0, OP_SUB, OP_MUL, OP_DIV, OP_REM, OP_OR, OP_AND, OP_XOR };

namespace action {

using FrameFn = Cell* (*)();
using MakeFn = Cell* (*)(Cell* proto, Cell* spec, Type type);
using RandomFn = Cell* (*)(Cell* value, bool seed, bool secure, bool only);
using ReflectFn = Cell* (*)(Cell* value, uint32_t field_symbol);
// form and mold append to `buffer` (a string! cell) and answer the part
// limit less the characters written; a spent limit stops the writing.
using FormFn = int32_t (*)(const Cell* value, Cell* buffer, const Cell* arg, int32_t part);
using MoldFn = int32_t (*)(const Cell* value, Cell* buffer, bool only, bool all, bool flat,
	const Cell* arg, int32_t part, int32_t indent);
// Path step: parent, element, value to set (null for a get), the path and
// its parent value (or null), the previous element, the element index,
// case flag, get flag, last-element flag, owner-notification flag.
using EvalPathFn = Cell* (*)(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* gparent,
	Cell* previous, int32_t index, bool case_sensitive, bool get, bool last, bool notify);
// -1, 0, 1, or COMPARE_UNRELATED.
using CompareFn = int32_t (*)(const Cell* value1, const Cell* value2, CompareOp op);
using UnaryFn = Cell* (*)(Cell* value);
using RoundFn = Cell* (*)(Cell* value, const Cell* scale, bool even, bool down, bool half_down,
	bool floor, bool ceiling, bool half_ceiling);
using PredicateFn = bool (*)(const Cell* value);
// append and insert share one implementation; part is a count or -1.
using InsertFn = Cell* (*)(Cell* series, Cell* value, int32_t part, bool only, int32_t dup, bool append);
using ChangeFn = Cell* (*)(Cell* series, Cell* value, int32_t part, bool only, int32_t dup);
using CopyFn = Cell* (*)(Cell* value, Cell* out, const Cell* part, bool deep, const Cell* types);
using FindFn = Cell* (*)(Cell* series, Cell* value, const Cell* part, bool only, bool case_sensitive,
	bool same, bool any, const Cell* with, const Cell* skip, bool last, bool reverse, bool tail, bool match);
using LengthFn = int32_t (*)(Cell* value);  // -1 answers none
using MoveFn = Cell* (*)(Cell* origin, Cell* target, const Cell* part);
// pick/poke: the index as a cell and as an integer (integer or char value,
// logic 1 for true and 2 for false, 0 for any other type).
using PickFn = Cell* (*)(Cell* series, int32_t index, const Cell* boxed);
using PokeFn = Cell* (*)(Cell* series, int32_t index, const Cell* boxed, Cell* value);
using PutFn = Cell* (*)(Cell* series, Cell* key, Cell* value, bool case_sensitive);
using RemoveFn = Cell* (*)(Cell* series, const Cell* part, const Cell* key);
using ReverseFn = Cell* (*)(Cell* series, const Cell* part, const Cell* skip);
using SelectFn = Cell* (*)(Cell* series, Cell* value, const Cell* part, bool only, bool case_sensitive,
	bool same, bool any, const Cell* with, const Cell* skip, bool last, bool reverse);
using SortFn = Cell* (*)(Cell* series, bool case_sensitive, const Cell* skip, const Cell* compare,
	const Cell* part, bool all, bool reverse, bool stable);
using SwapFn = Cell* (*)(Cell* series1, Cell* series2);
using TakeFn = Cell* (*)(Cell* series, const Cell* part, bool deep, bool last);
using TrimFn = Cell* (*)(Cell* series, bool head, bool tail, bool automatic, bool lines, bool all,
	const Cell* with);
using ModifyFn = Cell* (*)(Cell* target, Cell* field, Cell* value, bool case_sensitive);
using OpenFn = Cell* (*)(Cell* port, bool new_, bool read, bool write, bool seek, bool allow,
	const Cell* access);
using ReadFn = Cell* (*)(Cell* source, const Cell* part, const Cell* seek, bool binary, bool lines,
	bool info, const Cell* as);
using RenameFn = Cell* (*)(Cell* from, Cell* to);
using WriteFn = Cell* (*)(Cell* destination, Cell* data, bool binary, bool lines, bool info,
	bool append, const Cell* part, const Cell* seek, const Cell* allow, const Cell* as);

}  // namespace action

// One row of implementations, in slot order. Designated initialisers name
// the slots a type fills: ActionRow{.make = ..., .form = ...}.
struct ActionRow {
	action::MakeFn make;
	action::RandomFn random;
	action::ReflectFn reflect;
	action::MakeFn to;
	action::FormFn form;
	action::MoldFn mold;
	action::EvalPathFn eval_path;
	void* empty8;
	action::CompareFn compare;
	action::FrameFn absolute;
	action::FrameFn add;
	action::FrameFn divide;
	action::FrameFn multiply;
	action::UnaryFn negate;
	action::FrameFn power;
	action::FrameFn remainder;
	action::RoundFn round;
	action::FrameFn subtract;
	action::PredicateFn even_q;
	action::PredicateFn odd_q;
	action::FrameFn and_t;
	action::UnaryFn complement;
	action::FrameFn or_t;
	action::FrameFn xor_t;
	action::InsertFn append;
	action::FrameFn at;
	action::FrameFn back;
	action::ChangeFn change;
	action::UnaryFn clear;
	action::CopyFn copy;
	action::FindFn find;
	action::FrameFn head;
	action::FrameFn head_q;
	action::FrameFn index_q;
	action::InsertFn insert;
	action::LengthFn length_q;
	action::MoveFn move;
	action::FrameFn next;
	action::PickFn pick;
	action::PokeFn poke;
	action::PutFn put;
	action::RemoveFn remove;
	action::ReverseFn reverse;
	action::SelectFn select;
	action::SortFn sort;
	action::FrameFn skip;
	action::SwapFn swap;
	action::FrameFn tail;
	action::FrameFn tail_q;
	action::TakeFn take;
	action::TrimFn trim;
	action::UnaryFn create;
	action::UnaryFn close;
	action::UnaryFn delete_;
	action::ModifyFn modify;
	action::OpenFn open;
	action::UnaryFn open_q;
	action::UnaryFn query;
	action::ReadFn read;
	action::RenameFn rename;
	action::UnaryFn update;
	action::WriteFn write;
};
static_assert(sizeof(ActionRow) == ACTION_COUNT * sizeof(void*), "one entry per action slot");

namespace registry {

constexpr int TYPE_SLOTS = 57;  // ids 1 to 56 usable
constexpr uint64_t INHERIT_ALL = ~uint64_t(0);
constexpr uint64_t slot_bit(Slot s) { return uint64_t(1) << (s - 1); }

struct TypeName {
	const char* name;     // "integer!"
	uint32_t length;      // without the final "!"
	uint32_t word_symbol; // the type's word once made, 0 before
};

extern TypeName names[TYPE_SLOTS];
extern ActionRow rows[TYPE_SLOTS];
extern uint8_t parents[TYPE_SLOTS];
extern int type_count;  // highest id registered

// Registers a type. Null entries whose slot bit is set in `inherit` take the
// parent's entry; other null entries are unsupported.
void register_type(Type id, Type parent, const char* name, const ActionRow& row,
	uint64_t inherit = INHERIT_ALL);

// The entry of a slot as an untyped address (0 when unsupported).
inline void* entry(Type t, Slot s) { return reinterpret_cast<void* const*>(&rows[t])[s - 1]; }

// True when `type` is `ancestor` or descends from it.
bool is_a(Type type, Type ancestor);

}  // namespace registry
}  // namespace vyn
