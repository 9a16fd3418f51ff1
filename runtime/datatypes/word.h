// The word family: word!, set-word!, lit-word!, get-word!, refinement! and
// issue! share one cell and most behaviour.
//
// Word cell: word 1 the node of the context it is bound to (0: unbound),
// word 2 the symbol id, word 3 the index in the context's word list (-1 until
// looked up; issues always -1). Bit 13 of the header marks, in an object's
// word list, a field assigned since its flags were cleared.
//
// Equality ignores letter case through the symbols' canonical ids; form and
// mold write the symbol's own spelling.
#pragma once

#include <cstdint>

#include "runtime/cell.h"
#include "runtime/registry.h"

namespace vyn::word {

inline bool is_any_word(Type t) { return t >= T_WORD && t <= T_ISSUE; }

// Words bound to the global context. `load` answers the word for a name,
// carrying the name exactly as given; while starting, it is a copy kept at
// the root block's tail. The answered cell is to be copied at once.
Cell* load(const char* name);
Cell* load_typed(const char* name, Type type);
// Makes `out` a word! of the symbol bound to the global context (added when
// missing).
Cell* make_at(uint32_t symbol, Cell* out);
// The same at a new cell at the block's tail; the variants take a name.
Cell* make_in(Cell* block, uint32_t symbol);
Cell* make_in_named(Cell* block, const char* name, Type type = T_WORD);
Cell* push_new(uint32_t symbol);
// The word-list cell of the symbol in the context (ignoring case); when
// missing, the global word of the symbol.
Cell* get_or_add_word(Node ctx, uint32_t symbol);
Cell* word_cell_at(Node ctx, uint32_t index);
Cell* push_word_at(Node ctx, uint32_t index, Type type = T_WORD);
// Pushes a copy of the word retyped.
Cell* push_typed(const Cell* word, Type type);
// Pushes the symbol's name string! (its cached string).
Cell* push_name_string(uint32_t symbol);
// The word! that UTF-8 text loads as, as `to word!` makes it; false when
// the text is not exactly one word.
bool from_utf8(const uint8_t* text, uint32_t size, Cell* out);

// Values by context index, for compiled code and the interpreter.
Cell* push(const Cell* value);
Cell* value_address_at(Node ctx, uint32_t index);
Cell* push_value_at(Node ctx, uint32_t index);
// Stores the data stack's top cell into value i (marking word i assigned in
// an object context).
void set_value_at(Node ctx, uint32_t index);
// Pushes value i, then stores the cell that was on top before into it.
Cell* set_value_at_push(Node ctx, uint32_t index);
// Stores the frame's first slot into value i.
void set_result_at(Node ctx, uint32_t index);
// The frame's first slot (a word) takes the value in the second slot, which
// becomes the result; unset! raises need-value.
Cell* set_from_next_slot();
// The frame's first slot (a word) takes the second slot's value through its
// context, with notification; the value is the result.
Cell* set_frame();
// The value of the word in the frame's first slot is the result.
Cell* get_frame();
// Pushes the word's value; unset! raises no-value.
Cell* get(Cell* word);
// Pushes the word's value, unset! included.
Cell* push_any_value(Cell* word);

// The actions shared by the family.
int32_t compare(const Cell* a, const Cell* b, CompareOp op);
int32_t form(const Cell* value, Cell* buffer, const Cell* arg, int32_t part);

// Registers the six types (word! first; symbol! must be registered) and
// gives the lexer its word maker.
void init_types();

}  // namespace vyn::word

namespace vyn::refinement {

// An unbound refinement! for the name, at the root block's tail (or in a
// scratch cell without a root block).
Cell* load(const char* name);

}  // namespace vyn::refinement

namespace vyn::issue {

// An issue! for the name: at the root block's tail while starting, else
// pushed on the data stack.
Cell* load(const char* name);
Cell* make_at(Cell* out, uint32_t symbol);
Cell* make_in(Cell* block, uint32_t symbol);

}  // namespace vyn::issue
