// object!: a context of fields, a class id, and the change handlers that
// run when a field is assigned or a series owned by a field is modified.
//
// Object cell (also error! and port!, with their own type ids): word 1 the
// context node, word 2 the class id (signed), word 3 the node of the on-set
// record (0: no handler).
//
// Invariants:
//  - The context is an object context (kind 2) whose owner cell (`self`)
//    holds a copy of the object cell; every constructor writes it last.
//  - Objects take class ids from one counter that is raised before each
//    use; ids are never reused. While the library starts it counts from
//    FIRST_BOOT_CLASS_ID, then from FIRST_CLASS_ID.
//    An object made from a prototype keeps the prototype's id unless it
//    gained words.
//  - The on-set record is a series of two pair! cells (plain data for the
//    collector): cell 0 describes on-change*, cell 1 on-deep-change*. In
//    each, word 2 holds position << 16 | locals (position NO_HANDLER: none)
//    and word 3 the handler's spec node when the locals were counted, so a
//    handler redefined with another spec is recounted at its next call.
//  - Handlers run Vyn code: whatever a notifier hands them lives on the data
//    stack, and buffer addresses are re-derived after each call.
#pragma once

#include <cstdint>

#include "runtime/cell.h"
#include "runtime/cycles.h"
#include "runtime/registry.h"

namespace vyn::object {

constexpr int32_t FIRST_CLASS_ID = 1000000;
// Objects made while the library starts take ids from here up; there are
// far fewer of them than the gap to FIRST_CLASS_ID.
constexpr int32_t FIRST_BOOT_CLASS_ID = 122;
constexpr uint32_t NO_HANDLER = 0xFFFF;
// Handler positions given by compiled code: -1 for none.
constexpr int32_t ABSENT = -1;

// Bits of system/state/callbacks/bits that enable tracing inside handlers.
constexpr uint32_t EVENT_CHANGE = 1u << 3;
constexpr uint32_t EVENT_DEEP_CHANGE = 1u << 4;

extern int32_t last_class_id;
inline int32_t new_class_id() { return ++last_class_id; }

inline Node context_of(const Cell* obj) { return obj->data1; }
inline int32_t class_of(const Cell* obj) { return int32_t(obj->data2); }
inline Node record_of(const Cell* obj) { return obj->data3; }
inline bool is_object_like(Type t) { return t == T_OBJECT || t == T_ERROR || t == T_PORT; }

// Constructors. Each stores the self cell.
// Pushes an object over a filled context (an empty values series is first
// given one unset! value per word).
Cell* push(Node ctx, int32_t class_id);
Cell* push_with_on_set(Node ctx, int32_t class_id, Node record);
// Makes `out` an object with a new empty context for `slots` fields, class
// id 0, no record.
Cell* make_at(Cell* out, uint32_t slots);
// Gives the object on the stack top its on-set record from handler
// positions and local counts (ABSENT: no handler); with an on-deep-change*
// handler the object becomes the owner of its series fields.
void set_change_handlers(Node ctx, int32_t change_index, int32_t change_locals, int32_t deep_index,
	int32_t deep_locals);
// construct: a copy of `proto` (or null: a new object), then the spec's
// set-words collected into it; pushes the object.
Cell* construct_push(Cell* spec, const Cell* proto, bool only);

// Accessors.
// The field named by an any-word (letter case ignored), or the none value.
Cell* get_word_value(const Cell* obj, const Cell* word);
// Word N of a context's word list.
Cell* get_word_at(Node ctx, uint32_t n);
Cell* get_values(const Cell* obj);
bool word_of_class_q(const Cell* word, int32_t class_id);
bool member_of_class_q(Node ctx, uint32_t index, int32_t class_id);
void clear_new_lines(Cell* first, Cell* end);

// Notifiers: run the handlers with their arguments (cells on the data stack).
void notify_change(Cell* obj, Cell* word, Cell* old_value, Cell* new_value);
// old = the top cell of the data stack, new = the cell below it.
void notify_change_from_stack(Cell* obj, Cell* word);
// The object is the owner of the word's context.
void notify_word_change(Cell* word, Cell* old_value, Cell* new_value);
void notify_deep_change(Cell* owner, Cell* word, Cell* target, Cell* action, Cell* value, int32_t index,
	int32_t part);

// set on an object: from a block (in field order), another object (by
// word), or one value for every field (`only`, or any other type).
void set_many(Cell* obj, const Cell* value, bool any, bool only, bool some);

// Writes `word: value` entries (mold's layout rules; see object_mold.cpp).
int32_t mold_fields(const Cell* obj, Cell* out, bool only, bool all, bool flat, const Cell* arg, int32_t part,
	int32_t indent);

// An object context's presence on the cycle stack for a scope (an error
// leaving the scope takes the entry off too).
struct Walk {
	explicit Walk(Node ctx) { cycles::push(ctx); }
	~Walk() { cycles::pop(); }
	Walk(const Walk&) = delete;
	Walk& operator=(const Walk&) = delete;
};

// Shared with error! and port!: the record rebuilt from the fields' handlers
// (raising bad-field-set for a handler that is not a function), ownership
// of the series fields when there is an on-deep-change* handler, then the
// self cell. `obj` lives on the data stack.
void finish(Cell* obj);
// A new object context holding the prototype's words and values.
Node copy_context(const Cell* proto);

// Action implementations.
Cell* make(Cell* proto, Cell* spec, Type type);
Cell* reflect(Cell* obj, uint32_t field);
int32_t form(const Cell* obj, Cell* out, const Cell* arg, int32_t part);
int32_t mold(const Cell* obj, Cell* out, bool only, bool all, bool flat, const Cell* arg, int32_t part,
	int32_t indent);
Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* gparent, Cell* previous,
	int32_t index, bool case_sensitive, bool get, bool last, bool notify);
int32_t compare(const Cell* a, const Cell* b, CompareOp op);
Cell* copy(Cell* obj, Cell* out, const Cell* part, bool deep, const Cell* types);
Cell* put(Cell* obj, Cell* key, Cell* value, bool case_sensitive);
Cell* select(Cell* obj, Cell* key, const Cell* part, bool only, bool case_sensitive, bool same, bool any,
	const Cell* with, const Cell* skip, bool last, bool reverse);
Cell* modify(Cell* obj, Cell* field, Cell* value, bool case_sensitive);

// Registers object! (id 32) and installs the change notifiers of contexts
// and ownership, and `set` on objects.
void init_type();

}  // namespace vyn::object
