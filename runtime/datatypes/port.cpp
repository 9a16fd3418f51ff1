#include "runtime/datatypes/port.h"

#include "runtime/context.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/object.h"
#include "runtime/errors.h"
#include "runtime/evaluator/interpreter.h"
#include "runtime/evaluator/stack.h"
#include "runtime/symbol.h"
#include "runtime/words.h"

namespace vyn::port {

namespace {

constexpr Slot FIRST = A_APPEND;
constexpr uint32_t UNLOOKED = 0xFFFFFFFFu;
const Cell NONE_CELL{T_NONE, 0, 0, 0};

// By slot from append to write, as the actions' specs give them.
constexpr Shape SHAPES[] = {
	{1, "101"},                      // append /part /only /dup
	{1, ""},                         // at
	{0, ""},                         // back
	{1, "101"},                      // change /part /only /dup
	{0, ""},                         // clear
	{0, "101"},                      // copy /part /deep /types
	{1, "10000110000"},              // find /part /only /case /same /any /with /skip /last /reverse /tail /match
	{0, ""},                         // head
	{0, ""},                         // head?
	{0, ""},                         // index?
	{1, "101"},                      // insert /part /only /dup
	{0, ""},                         // length?
	{1, "1"},                        // move /part
	{0, ""},                         // next
	{1, ""},                         // pick
	{2, ""},                         // poke
	{2, "0"},                        // put /case
	{0, "11"},                       // remove /part /key
	{0, "11"},                       // reverse /part /skip
	{1, "100001100"},                // select /part /only /case /same /any /with /skip /last /reverse
	{0, "0111000"},                  // sort /case /skip /compare /part /all /reverse /stable
	{1, ""},                         // skip
	{1, ""},                         // swap
	{0, ""},                         // tail
	{0, ""},                         // tail?
	{0, "100"},                      // take /part /deep /last
	{0, "000001"},                   // trim /head /tail /auto /lines /all /with
	{0, ""},                         // create
	{0, ""},                         // close
	{0, ""},                         // delete
	{2, "0"},                        // modify /case
	{0, "00001"},                    // open /new /read /write /seek /allow
	{0, ""},                         // open? (not forwarded)
	{0, ""},                         // query
	{0, "110001"},                   // read /part /seek /binary /lines /info /as
	{1, ""},                         // rename
	{0, ""},                         // update
	{1, "00001111"},                 // write /binary /lines /info /append /part /seek /allow /as
};
static_assert(sizeof SHAPES / sizeof SHAPES[0] == A_WRITE - FIRST + 1);

// The action's name, which the actor's function carries.
uint32_t action_symbol(Slot slot) {
	using namespace words;
	static constexpr const uint32_t* symbols[] = {
		&sym_append, &sym_at, &sym_back, &sym_change, &sym_clear, &sym_copy, &sym_find, &sym_head, &sym_head_q,
		&sym_index_q, &sym_insert, &sym_length_q, &sym_move, &sym_next, &sym_pick, &sym_poke, &sym_put,
		&sym_remove, &sym_reverse, &sym_select, &sym_sort, &sym_skip, &sym_swap, &sym_tail, &sym_tail_q,
		&sym_take, &sym_trim, &sym_create, &sym_close, &sym_delete, &sym_modify, &sym_open, nullptr, &sym_query,
		&sym_read, &sym_rename, &sym_update, &sym_write,
	};
	return *symbols[slot - FIRST];
}

// The actor's arguments as they are collected.
struct Values {
	static constexpr uint32_t ROOM = 20;
	Cell cells[ROOM];
	uint32_t count = 0;

	explicit Values(const Cell* port) { add(port); }
	void add(const Cell* value) { cells[count++] = *value; }
	void flag(bool on) { cell::make_logic(&cells[count++], on); }
	// A refinement of one argument: its flag and the argument (none when
	// the argument is null).
	void refinement(const Cell* argument) {
		flag(argument != nullptr);
		add(argument ? argument : &NONE_CELL);
	}
};

Cell* field(Node ctx, uint32_t symbol) {
	int32_t i = context::find_word(ctx, symbol, true);
	return i < 0 ? nullptr : context::values(ctx) + i;
}

Cell* field(Node ctx, const char* name) { return field(ctx, symbol::make(name)); }

// system/<group>, or system/<group>/<name>; null when a step is missing or
// is not an object.
const Cell* system_value(const char* group, const char* name = nullptr) {
	const Cell* system = context::global_value(words::sym_system);
	if (!system || !cell::is(system, T_OBJECT)) return nullptr;
	const Cell* v = field(system->data1, group);
	if (!name || !v) return v;
	if (!cell::is(v, T_OBJECT)) return nullptr;
	return field(v->data1, name);
}

void set_field(Node ctx, const char* name, const Cell* value) {
	Cell w;
	cell::set(&w, T_WORD, 0, symbol::make(name), UNLOOKED);
	Cell v = *value;
	context::put(ctx, &w, &v);
}

// The value after the first word of system/schemes that names the scheme.
Cell registered_scheme(const Cell* scheme) {
	const Cell* schemes = system_value("schemes");
	if (!schemes || !cell::is(schemes, T_BLOCK)) return NONE_CELL;
	uint32_t name = symbol::resolve(scheme->data2);
	Series* s = memory::buffer_of(schemes);
	const Cell* end = s->tail_cell();
	for (const Cell* c = s->head_cell() + schemes->data1; c + 1 < end; c++)
		if (cell::is(c, T_WORD) && symbol::resolve(c->data2) == name) return c[1];
	return NONE_CELL;
}

// /part of append, insert and change is used for a count of 0 or more,
// /dup for a count above 1.
bool counts(Slot slot, int refinement, const Cell* argument) {
	if (slot != A_APPEND && slot != A_INSERT && slot != A_CHANGE) return true;
	if (!cell::is(argument, T_INTEGER)) return true;
	int32_t n = cell::get_integer(argument);
	return refinement == 0 ? n >= 0 : refinement == 2 ? n > 1 : true;
}

}  // namespace

bool forwards(Slot slot) { return slot >= FIRST && slot <= A_WRITE && slot != A_OPEN_Q; }

Shape shape_of(Slot slot) { return SHAPES[slot - FIRST]; }

void call_actor(Slot slot, const Cell* values, uint32_t count, Cell* out) {
	const Cell* actor = field(values[0].data1, words::sym_actor);
	if (!actor || !cell::is(actor, T_OBJECT)) errors::fire(errors::id::access_invalid_port);
	uint32_t name = action_symbol(slot);
	const Cell* fn = field(actor->data1, name);
	if (!fn || !cell::is(fn, T_FUNCTION)) errors::fire(errors::id::access_no_port_action);
	Cell word;
	cell::set(&word, T_WORD, 0, name, UNLOOKED);
	interpreter::call_fitted(fn, values, count, &word, out);
}

void forward(Slot slot, const int32_t* refs) {
	const Cell* frame = stack::arguments;
	Shape shape = shape_of(slot);
	Values values(frame);
	for (uint32_t i = 1; i <= shape.arguments; i++) values.add(frame + i);
	for (int r = 0; shape.refinements[r]; r++) {
		int arity = shape.refinements[r] - '0';
		const Cell* first = refs[r] >= 0 ? frame + refs[r] : nullptr;
		bool used = first && (arity == 0 || counts(slot, r, first));
		values.flag(used);
		for (int k = 0; k < arity; k++) values.add(used ? first + k : &NONE_CELL);
	}
	Cell result;
	call_actor(slot, values.cells, values.count, &result);
	if (errors::pending) return;
	stack::set_last(&result);
}

Cell* make(Cell*, Cell* spec, Type) {
	Cell* given = stack::push(spec);
	Cell* port_spec = stack::alloc_slot();
	if (cell::is(given, T_OBJECT)) {
		object::copy(given, port_spec, nullptr, false, nullptr);
	} else {
		const Cell* parts = system_value("standard", "url-parts");
		if (!parts || !cell::is(parts, T_OBJECT)) errors::fire(errors::id::access_no_scheme, given);
		Cell proto = *parts;
		Cell* made = object::make(&proto, given, T_OBJECT);
		if (!made) return nullptr;
		*port_spec = *made;
	}
	const Cell* scheme = field(port_spec->data1, words::sym_scheme);
	if (!scheme || !cell::is(scheme, T_WORD)) errors::fire(errors::id::access_no_scheme, given);
	Cell scheme_word = *scheme;
	Cell found = registered_scheme(&scheme_word);
	if (!cell::is(&found, T_OBJECT)) errors::fire(errors::id::access_unknown_scheme, given);
	const Cell* actor = field(found.data1, words::sym_actor);
	if (!actor || !(cell::is(actor, T_OBJECT) || cell::is(actor, T_HANDLE)))
		errors::fire(errors::id::access_invalid_actor, given);
	Cell actor_value = *actor;
	const Cell* standard = system_value("standard", "port");
	if (!standard || !cell::is(standard, T_OBJECT)) errors::fire(errors::id::access_invalid_port);
	Cell proto = *standard;
	Cell* port = stack::alloc_slot();
	object::copy(&proto, port, nullptr, false, nullptr);
	cell::set_type(port, T_PORT);
	Node ctx = port->data1;
	set_field(ctx, "spec", port_spec);
	set_field(ctx, "scheme", &scheme_word);
	set_field(ctx, "actor", &actor_value);
	*context::owner(ctx) = *port;
	return port;
}

int32_t mold(const Cell* value, Cell* buffer, bool only, bool all, bool flat, const Cell* arg, int32_t part,
	int32_t indent) {
	return object::mold(value, buffer, only, all, flat, arg, part, indent);
}

int32_t form(const Cell* value, Cell* buffer, const Cell* arg, int32_t part) {
	return object::mold(value, buffer, false, false, false, arg, part, 0);
}

Cell* open(Cell* port, bool new_, bool read, bool write, bool seek, bool allow, const Cell* access) {
	Values v(port);
	v.flag(new_);
	v.flag(read);
	v.flag(write);
	v.flag(seek);
	v.flag(allow);
	v.add(allow && access ? access : &NONE_CELL);
	call_actor(A_OPEN, v.cells, v.count, port);
	return port;
}

Cell* read(Cell* source, const Cell* part, const Cell* seek, bool binary, bool lines, bool info, const Cell* as) {
	Values v(source);
	v.refinement(part);
	v.refinement(seek);
	v.flag(binary);
	v.flag(lines);
	v.flag(info);
	v.refinement(as);
	call_actor(A_READ, v.cells, v.count, source);
	return source;
}

Cell* write(Cell* destination, Cell* data, bool binary, bool lines, bool info, bool append, const Cell* part,
	const Cell* seek, const Cell* allow, const Cell* as) {
	Values v(destination);
	v.add(data);
	v.flag(binary);
	v.flag(lines);
	v.flag(info);
	v.flag(append);
	v.refinement(part);
	v.refinement(seek);
	v.refinement(allow);
	v.refinement(as);
	call_actor(A_WRITE, v.cells, v.count, destination);
	return destination;
}

void init_type() {
	using registry::slot_bit;
	ActionRow row{};
	row.make = make;
	row.form = form;
	row.mold = mold;
	row.open = open;
	row.read = read;
	row.write = write;
	registry::register_type(T_PORT, T_OBJECT, "port!", row,
		slot_bit(A_REFLECT) | slot_bit(A_EVAL_PATH) | slot_bit(A_COMPARE));
}

}  // namespace vyn::port
