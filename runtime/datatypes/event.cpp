#include "runtime/datatypes/event.h"

#include "runtime/context.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/char.h"
#include "runtime/datatypes/compound.h"
#include "runtime/datatypes/constants.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/event_records.h"
#include "runtime/datatypes/pair.h"
#include "runtime/datatypes/spans.h"
#include "runtime/datatypes/word.h"
#include "runtime/errors.h"
#include "runtime/evaluator/routines.h"
#include "runtime/evaluator/stack.h"
#include "runtime/registry.h"
#include "runtime/symbol.h"

namespace vyn::event {

namespace {

constexpr const char* TYPE_NAMES[TYPE_COUNT] = {
	"down", "up", "mid-down", "mid-up", "alt-down", "alt-up", "aux-down", "aux-up", "click", "dbl-click",
	"wheel", "over", "key", "key-down", "key-up", "ime", "focus", "unfocus", "enter", "zoom",
	"pan", "rotate", "two-tap", "press-tap", "select", "change", "menu", "close", "move", "resize",
	"moving", "resizing", "time", "drawing", "scroll", "minimize", "maximize", "restore",
};

// Path fields, numbered as pick takes them.
enum FieldNo : uint32_t {
	TYPE = 1, FACE, WINDOW, OFFSET, KEY, PICKED, FLAGS, AWAY_Q, DOWN_Q, MID_DOWN_Q, ALT_DOWN_Q, AUX_DOWN_Q,
	CTRL_Q, SHIFT_Q, ORIENTATION, LAST_FIELD = ORIENTATION,
};
constexpr const char* FIELD_NAMES[LAST_FIELD] = {
	"type", "face", "window", "offset", "key", "picked", "flags", "away?", "down?", "mid-down?",
	"alt-down?", "aux-down?", "ctrl?", "shift?", "orientation",
};
// The bit of each logic field, from away? to shift?.
constexpr uint32_t LOGIC_MASKS[] = {FLAG_AWAY, FLAG_DOWN, FLAG_MID_DOWN, FLAG_ALT_DOWN, FLAG_AUX_DOWN,
	FLAG_CONTROL, FLAG_SHIFT};

struct FlagWord {
	const char* name;
	uint32_t mask;
};
// The words of `flags`, in the order the field lists them; `command` is
// taken by make and never listed.
constexpr FlagWord FLAG_WORDS[] = {
	{"away", FLAG_AWAY}, {"down", FLAG_DOWN}, {"mid-down", FLAG_MID_DOWN}, {"alt-down", FLAG_ALT_DOWN},
	{"aux-down", FLAG_AUX_DOWN}, {"control", FLAG_CONTROL}, {"shift", FLAG_SHIFT}, {"alt", FLAG_ALT},
	{"command", FLAG_COMMAND},
};
constexpr uint32_t LISTED_FLAGS = 8;
constexpr uint32_t FLAG_WORD_COUNT = sizeof FLAG_WORDS / sizeof FLAG_WORDS[0];

// Symbols, made when the type registers.
uint32_t type_symbols[TYPE_COUNT + 1];
uint32_t field_symbols[LAST_FIELD + 1];
uint32_t flag_symbols[FLAG_WORD_COUNT];

// Places in a synthetic event's block.
enum BlockPlace : uint32_t { AT_FACE, AT_WINDOW, AT_OFFSET, AT_PICKED, BLOCK_SIZE };

inline bool synthetic(const Cell* e) { return (e->header & SYNTHETIC) != 0; }
inline uint32_t code(const Cell* e) { return e->data1 & 0xFF; }
inline uint32_t whole_key(const Cell* e) { return e->data1 >> 8; }

// 1 to 15 for a word naming a field, else 0.
uint32_t field_named(const Cell* element) {
	if (!word::is_any_word(cell::type_of(element))) return 0;
	for (uint32_t f = TYPE; f <= LAST_FIELD; f++)
		if (symbol::same_name(element->data2, field_symbols[f])) return f;
	return 0;
}

Cell* word_at(Cell* out, uint32_t symbol) { return word::make_at(symbol, out); }

// A synthetic event's value at a place of its block, or `missing`.
void from_block(const Cell* e, BlockPlace place, Cell* out, const Cell& missing) {
	if (!e->data2) {
		*out = missing;
		return;
	}
	Series* s = memory::series(e->data2);
	*out = s->used() / sizeof(Cell) > place ? s->head_cell()[place] : missing;
}

void flags_block(uint32_t flags, Cell* out) {
	block::make_at(out, LISTED_FLAGS);
	for (uint32_t i = 0; i < LISTED_FLAGS; i++)
		if (flags & FLAG_WORDS[i].mask) word::make_in(out, flag_symbols[i]);
}

// A field the event itself holds, for any event: its type and its flags.
void own_field(const Cell* e, uint32_t field, Cell* out) {
	if (field == TYPE) {
		uint32_t c = code(e);
		if (c >= 1 && c <= TYPE_COUNT)
			word_at(out, type_symbols[c]);
		else
			cell::make_none(out);
	} else if (field == FLAGS) {
		flags_block(e->data3, out);
	} else {
		cell::make_logic(out, (e->data3 & LOGIC_MASKS[field - AWAY_Q]) != 0);
	}
}

void synthetic_field(const Cell* e, uint32_t field, Cell* out) {
	Cell zero_pair, zero;
	pair::make_at(&zero_pair, 0, 0);
	cell::make_integer(&zero, 0);
	switch (field) {
	case FACE: return from_block(e, AT_FACE, out, constants::none_cell);
	case WINDOW: return from_block(e, AT_WINDOW, out, constants::none_cell);
	case OFFSET: return from_block(e, AT_OFFSET, out, zero_pair);
	case PICKED: return from_block(e, AT_PICKED, out, zero);
	case ORIENTATION: return cell::make_none(out);
	case KEY: {
		uint32_t key = whole_key(e) ? whole_key(e) : e->data3 & 0xFFFF;
		if (key)
			char_::make_at(out, key);
		else
			cell::make_none(out);
		return;
	}
	default: own_field(e, field, out);
	}
}

// A backend event's fields come from its record; once the record is
// closed they read as none.
void backend_field(const Cell* e, uint32_t field, Cell* out) {
	event_records::Field from;
	switch (field) {
	case FACE: from = event_records::FACE; break;
	case WINDOW: from = event_records::WINDOW; break;
	case OFFSET: from = event_records::OFFSET; break;
	case KEY: from = event_records::KEY; break;
	case PICKED: from = event_records::PICKED; break;
	case ORIENTATION: from = event_records::ORIENTATION; break;
	default: return own_field(e, field, out);
	}
	const event_records::Fields* record = event_records::find(e->data2);
	if (record)
		*out = record->values[from];
	else
		cell::make_none(out);
}

Cell* push_field(const Cell* e, uint32_t field) {
	Cell value;
	if (synthetic(e))
		synthetic_field(e, field, &value);
	else
		backend_field(e, field, &value);
	return stack::push(&value);
}

// Only the type can be set, and only to a word naming an event type.
void set_field(Cell* e, const Cell* element, const Cell* value, const Cell* path) {
	const Cell* where = path ? path : &constants::none_cell;
	if (field_named(element) != TYPE) errors::fire(errors::id::script_bad_path_set, where, element);
	if (!cell::is(value, T_WORD) && !cell::is(value, T_LIT_WORD))
		errors::fire(errors::id::script_bad_path_set, where, element);
	uint32_t c = code_of(value->data2);
	if (!c) errors::fire(errors::id::script_not_event_type, value);
	e->data1 = (e->data1 & ~0xFFu) | c;
}

Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* gparent, Cell* previous, int32_t index,
	bool, bool, bool, bool notify) {
	if (value) {
		Cell old = *parent;
		set_field(parent, element, value, path);
		compound::notify_set(gparent, previous, old, parent, index, notify);
		return value;
	}
	uint32_t field = field_named(element);
	if (!field) errors::fire(errors::id::script_invalid_path, path ? path : &constants::none_cell, element);
	return push_field(parent, field);
}

Cell* pick(Cell* e, int32_t, const Cell* boxed) {
	if (cell::is(boxed, T_INTEGER)) {
		int32_t i = cell::get_integer(boxed);
		if (i < 1 || i > int32_t(LAST_FIELD)) errors::fire(errors::id::script_out_of_range, boxed);
		return push_field(e, uint32_t(i));
	}
	uint32_t field = field_named(boxed);
	if (!field) datatype::fire_call_type(errors::id::script_cannot_use, cell::type_of(boxed));
	return push_field(e, field);
}

// ---- make ----

// What a spec block sets, before the event is built.
struct Settings {
	uint32_t code = 0;
	uint32_t key = 0;
	uint32_t flags = 0;
	bool has_block = false;
	Cell place[BLOCK_SIZE];
};

// A bound word or get-word stands for its value.
Cell resolved(const Cell* value) {
	Type t = cell::type_of(value);
	if ((t == T_WORD || t == T_GET_WORD) && value->data1) return *context::get(const_cast<Cell*>(value));
	return *value;
}

uint32_t flags_of(const Cell* block) {
	uint32_t flags = 0;
	spans::Cells cells = spans::cells_of(block);
	for (const Cell* c = cells.head; c < cells.head + cells.count; c++) {
		if (!cell::is(c, T_WORD) && !cell::is(c, T_LIT_WORD)) continue;
		for (uint32_t i = 0; i < FLAG_WORD_COUNT; i++)
			if (symbol::same_name(c->data2, flag_symbols[i])) flags |= FLAG_WORDS[i].mask;
	}
	return flags;
}

void take_setting(Settings& s, uint32_t field, const Cell& v) {
	Type t = cell::type_of(&v);
	switch (field) {
	case TYPE:
		if (t != T_WORD && t != T_LIT_WORD) return;
		s.code = code_of(v.data2);
		if (!s.code) errors::fire(errors::id::script_not_event_type, &v);
		return;
	case KEY:
		if (t != T_CHAR) return;
		s.key = v.data2;
		return;
	case FLAGS:
		if (t == T_BLOCK) s.flags |= flags_of(&v);
		return;
	case FACE:
	case WINDOW:
		if (t != T_OBJECT) return;
		s.place[field == FACE ? AT_FACE : AT_WINDOW] = v;
		break;
	case OFFSET:
		if (t != T_PAIR && t != T_POINT2D) return;
		s.place[AT_OFFSET] = v;
		break;
	case PICKED:
		if (t != T_INTEGER) return;
		s.place[AT_PICKED] = v;
		break;
	default: return;
	}
	s.has_block = true;
}

void read_settings(const Cell* spec, Settings& s) {
	spans::Cells cells = spans::cells_of(spec);
	for (uint32_t i = 0; i + 1 < cells.count; i++) {
		const Cell* name = cells.head + i;
		const Cell* next = name + 1;
		if (!cell::is(name, T_SET_WORD) || cell::is(next, T_SET_WORD)) continue;
		i++;
		uint32_t field = field_named(name);
		if (field) take_setting(s, field, resolved(next));
	}
}

Cell* make(Cell* proto, Cell* spec, Type) {
	Settings s;
	cell::make_none(&s.place[AT_FACE]);
	cell::make_none(&s.place[AT_WINDOW]);
	pair::make_at(&s.place[AT_OFFSET], 0, 0);
	cell::make_integer(&s.place[AT_PICKED], 0);
	if (cell::is(spec, T_BLOCK)) read_settings(spec, s);
	Node node = 0;
	if (s.has_block) {
		Cell b;
		block::make_at(&b, BLOCK_SIZE);
		for (const Cell& c : s.place) block::append_value(&b, &c);
		node = b.data2;
	}
	// A key past 16 bits has no place in the flags word: word 1 keeps it.
	uint32_t low_key = s.key <= 0xFFFF ? s.key : 0;
	cell::set(proto, T_EVENT | SYNTHETIC, s.code | (s.key << 8), node, s.flags | low_key);
	return proto;
}

int32_t form(const Cell*, Cell* buffer, const Cell*, int32_t part) { return compound::emit(buffer, "event", part); }

int32_t mold(const Cell* value, Cell* buffer, bool, bool, bool, const Cell* arg, int32_t part, int32_t) {
	return form(value, buffer, arg, part);
}

// Events are all alike to equality and sorting, and have no order.
int32_t compare(const Cell*, const Cell* value2, CompareOp op) {
	if (!cell::is(value2, T_EVENT)) return COMPARE_UNRELATED;
	switch (op) {
	case COMP_LESSER:
	case COMP_LESSER_EQUAL:
	case COMP_GREATER:
	case COMP_GREATER_EQUAL: return COMPARE_UNRELATED;
	default: return 0;
	}
}

// ---- routines ----

void event_q() { routines::answer_logic(cell::is(stack::arguments, T_EVENT)); }

bool names_flag(const Cell* c, uint32_t flag) {
	return (cell::is(c, T_WORD) || cell::is(c, T_LIT_WORD)) && symbol::same_name(c->data2, flag);
}

void find_flag_q() {
	const Cell* facet = stack::arguments;
	uint32_t flag = stack::arguments[1].data2;
	bool found = names_flag(facet, flag);
	if (cell::is(facet, T_BLOCK)) {
		spans::Cells cells = spans::cells_of(facet);
		for (uint32_t i = 0; i < cells.count && !found; i++) found = names_flag(cells.head + i, flag);
	}
	routines::answer_logic(found);
}

const routines::Definition ROUTINES[] = {
	{"event?", R"v(["Returns TRUE if the value is an event" value [any-type!] return: [logic!]])v", event_q},
	{"find-flag?", R"v(["Returns TRUE if the facet is the flag or a block holding it" facet [any-type!] flag [word!] return: [logic!]])v", find_flag_q},
};

}  // namespace

uint32_t code_of(uint32_t symbol) {
	for (uint32_t c = 1; c <= TYPE_COUNT; c++)
		if (symbol::same_name(symbol, type_symbols[c])) return c;
	return 0;
}

Cell* make_backend(Cell* out, uint32_t code, uint32_t flags, uint32_t record) {
	cell::set(out, T_EVENT, code, record, flags);
	return out;
}

Cell* push(const Cell* e) { return stack::push(e); }

void init_type() {
	for (uint32_t c = 1; c <= TYPE_COUNT; c++) type_symbols[c] = symbol::make(TYPE_NAMES[c - 1]);
	for (uint32_t f = TYPE; f <= LAST_FIELD; f++) field_symbols[f] = symbol::make(FIELD_NAMES[f - 1]);
	for (uint32_t i = 0; i < FLAG_WORD_COUNT; i++) flag_symbols[i] = symbol::make(FLAG_WORDS[i].name);
	event_records::init();
	ActionRow row{};
	row.make = make;
	row.form = form;
	row.mold = mold;
	row.eval_path = eval_path;
	row.compare = compare;
	row.pick = pick;
	registry::register_type(T_EVENT, Type(0), "event!", row, 0);
	for (const routines::Definition& d : ROUTINES) routines::define(d);
}

}  // namespace vyn::event
