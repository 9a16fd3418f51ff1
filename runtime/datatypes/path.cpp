#include "runtime/datatypes/path.h"

#include <string_view>

#include "runtime/datatypes/block.h"
#include "runtime/datatypes/block_internal.h"
#include "runtime/datatypes/string.h"
#include "runtime/errors.h"
#include "runtime/evaluator/actions.h"
#include "runtime/evaluator/stack.h"

namespace vyn::path {

namespace {

inline int32_t put(Cell* out, std::string_view text, int32_t part) {
	string::append_literal(out, text);
	return part - int32_t(text.size());
}

// The items of a path with "/" between them, formed or molded.
// The caller has written the ellipsis of a path on the cycle stack.
int32_t walk(const Cell* value, Cell* out, bool molding, bool all, bool flat, const Cell* arg, int32_t part) {
	Cell p = *value;
	uint32_t h = series::clamp_head(&p);
	block::Walk entry(p.data2);
	for (uint32_t i = h; i < block::buffer_length_cells(&p); i++) {
		if (i > h) part = put(out, "/", part);
		const Cell* item = block::vs_abs_at(&p, i);
		if (!molding)
			part = actions::form(item, out, arg, part);
		else if (cell::is(item, T_STRING))
			part = string::mold_in_quotes(item, out, all, arg, part);
		else
			part = actions::mold(item, out, false, all, flat, arg, part, 0);
		if (arg && part < 1) break;
	}
	return part;
}

}  // namespace

Cell* push_as(const Cell* value, Type type) {
	Cell* c = stack::push(value);
	return cell::set_type(c, type);
}

Cell* make_at(Cell* out, int32_t capacity) {
	block::make_at(out, capacity);
	return cell::set_type(out, T_PATH);
}

Cell* make(Cell* proto, Cell* spec, Type type) {
	Type st = cell::type_of(spec);
	if (series::any_block(st)) return block::to(proto, spec, type);
	if (st == T_INTEGER || st == T_FLOAT || st == T_PERCENT) {
		block::make_at(proto, block::capacity_of(spec));
		return cell::set_type(proto, type);
	}
	Cell t;
	cell::set(&t, T_DATATYPE, type);
	errors::fire(errors::id::script_bad_make_arg, &t, spec);
}

Cell* to(Cell* proto, Cell* spec, Type type) {
	Type st = cell::type_of(spec);
	if (st != T_OBJECT && st != T_TYPESET && st != T_MAP) return block::to(proto, spec, type);
	Cell v = *spec;
	block::make_at(proto, 1);
	block::append_value(proto, &v);
	return cell::set_type(proto, type);
}

int32_t form(const Cell* value, Cell* out, const Cell* arg, int32_t part) {
	if (cycles::mold_ellipsis(value, out->data2, part, false)) return part;
	return walk(value, out, false, false, false, arg, part);
}

int32_t mold(const Cell* value, Cell* out, bool, bool all, bool flat, const Cell* arg, int32_t part, int32_t) {
	if (cycles::mold_ellipsis(value, out->data2, part, true)) return part;
	Type t = cell::type_of(value);
	if (t == T_LIT_PATH) part = put(out, "'", part);
	if (t == T_GET_PATH) part = put(out, ":", part);
	part = walk(value, out, true, all, flat, arg, part);
	if (t == T_SET_PATH) part = put(out, ":", part);
	return part;
}

int32_t mold_paren(const Cell* value, Cell* out, bool only, bool all, bool flat, const Cell* arg, int32_t part,
	int32_t indent) {
	if (cycles::mold_ellipsis(value, out->data2, part, true)) return part;
	if (!only) part = put(out, "(", part);
	part = block::mold_each(value, out, only, all, flat, arg, part, indent);
	if (!only) part = put(out, ")", part);
	return part;
}

void init_types() {
	constexpr uint64_t refused = registry::slot_bit(A_RANDOM) | registry::slot_bit(A_SORT) |
		registry::slot_bit(A_TRIM);
	constexpr uint64_t inherited = registry::INHERIT_ALL & ~refused;
	ActionRow path{};
	path.make = make;
	path.to = to;
	path.form = form;
	path.mold = mold;
	path.copy = block::copy;
	registry::register_type(T_PATH, T_BLOCK, "path!", path, inherited);
	ActionRow derived{};
	derived.mold = mold;
	registry::register_type(T_LIT_PATH, T_PATH, "lit-path!", derived, inherited);
	registry::register_type(T_SET_PATH, T_PATH, "set-path!", derived, inherited);
	registry::register_type(T_GET_PATH, T_PATH, "get-path!", derived, inherited);
	ActionRow paren{};
	paren.mold = mold_paren;
	registry::register_type(T_PAREN, T_BLOCK, "paren!", paren);
}

}  // namespace vyn::path
