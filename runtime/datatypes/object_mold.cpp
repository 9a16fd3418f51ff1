// form and mold of objects: `word: value` entries, one per line indented one
// level deeper than the object, or on one line with /flat. An object met
// again inside itself is written as its ellipsis.
#include <string_view>

#include "runtime/context.h"
#include "runtime/cycles.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/object.h"
#include "runtime/datatypes/string.h"
#include "runtime/evaluator/actions.h"
#include "runtime/symbol.h"
#include "runtime/words.h"

namespace vyn::object {

namespace {

inline int32_t put(Cell* out, std::string_view text, int32_t part) {
	string::append_literal(out, text);
	return part - int32_t(text.size());
}

bool is_handler(uint32_t sym) {
	return symbol::same_name(sym, words::sym_on_change) || symbol::same_name(sym, words::sym_on_deep_change);
}

std::string_view prefix_of(const Cell* obj) {
	switch (cell::type_of(obj)) {
	case T_ERROR: return "make error! [";
	case T_PORT: return "make port! [";
	default: return "make object! [";
	}
}

}  // namespace

int32_t mold_fields(const Cell* obj, Cell* out, bool only, bool all, bool flat, const Cell* arg, int32_t part,
	int32_t indent) {
	Node ctx = obj->data1;
	bool written = false;
	int32_t inner = only ? indent : indent + 1;
	for (uint32_t i = 0; i < context::word_count(ctx); i++) {
		if (arg && part < 1) break;
		Cell w = *context::word_cell(ctx, i);
		if (!all && is_handler(w.data2)) continue;
		if (only || flat) {
			if (written) part = put(out, only ? "\n" : " ", part);
		} else {
			part = put(out, "\n", part);
			part = cycles::indent(out->data2, uint32_t(inner), part);
		}
		written = true;
		w.header = T_WORD;
		part = actions::mold(&w, out, false, all, flat, arg, part, inner);
		part = put(out, ": ", part);
		Cell v = context::values(ctx)[i];
		Type t = cell::type_of(&v);
		if (t == Type(0)) {
			part = put(out, "unset", part);
			continue;
		}
		if (t == T_WORD) part = put(out, "'", part);
		part = actions::mold(&v, out, false, all, flat, arg, part, inner);
	}
	return part;
}

int32_t mold(const Cell* obj, Cell* out, bool only, bool all, bool flat, const Cell* arg, int32_t part,
	int32_t indent) {
	Node ctx = obj->data1;
	std::string_view prefix = prefix_of(obj);
	if (cycles::find(ctx)) {
		part = put(out, prefix, part);
		return put(out, "...]", part);
	}
	if (!only) part = put(out, prefix, part);
	uint32_t before = memory::buffer_of(out)->used();
	{
		Walk walk(ctx);
		part = mold_fields(obj, out, only, all, flat, arg, part, indent);
	}
	if (only) return part;
	// An object that wrote no entries closes on the same line.
	if (!flat && memory::buffer_of(out)->used() != before) {
		part = put(out, "\n", part);
		part = cycles::indent(out->data2, uint32_t(indent), part);
	}
	return put(out, "]", part);
}

int32_t form(const Cell* obj, Cell* out, const Cell* arg, int32_t part) {
	Node ctx = obj->data1;
	if (cycles::find(ctx)) return put(out, "...", part);
	Walk walk(ctx);
	return mold_fields(obj, out, true, false, false, arg, part, 0);
}

}  // namespace vyn::object
