// form and mold of blocks: cells one after the other, with the new-line
// flags of mold turned into line feeds and four-space indentation.
#include <string_view>

#include "runtime/datatypes/block.h"
#include "runtime/datatypes/block_internal.h"
#include "runtime/datatypes/string.h"
#include "runtime/evaluator/actions.h"
#include "runtime/unicode.h"

namespace vyn::block {

namespace {

// The mold nesting counter for one cell, lowered again on any exit.
struct Nesting {
	Nesting() { mold_nesting++; }
	~Nesting() { mold_nesting--; }
	Nesting(const Nesting&) = delete;
	Nesting& operator=(const Nesting&) = delete;
};

inline int32_t put(Cell* out, std::string_view text, int32_t part) {
	string::append_literal(out, text);
	return part - int32_t(text.size());
}

// The last codepoint written, 0 when nothing was.
uint32_t last_written(const Cell* out) {
	Series* s = memory::buffer_of(out);
	if (s->used() == 0) return 0;
	return unicode::get_unit(s->tail_ptr() - s->unit(), s->unit());
}

}  // namespace

int32_t form(const Cell* value, Cell* out, const Cell* arg, int32_t part) {
	if (cycles::mold_ellipsis(value, out->data2, part, false)) return part;
	Cell b = *value;
	uint32_t h = series::clamp_head(&b);
	Walk walk(b.data2);
	for (uint32_t i = h; i < buffer_length_cells(&b); i++) {
		if (arg && part < 1) break;
		if (i > h) {
			uint32_t c = last_written(out);
			if (c != '\t' && c != '\n' && c != '\r') part = put(out, " ", part);
		}
		part = actions::form(vs_abs_at(&b, i), out, arg, part);
	}
	return part;
}

int32_t mold(const Cell* value, Cell* out, bool only, bool all, bool flat, const Cell* arg, int32_t part,
	int32_t indent) {
	if (cycles::mold_ellipsis(value, out->data2, part, true)) return part;
	if (!only) part = put(out, "[", part);
	part = mold_each(value, out, only, all, flat, arg, part, indent);
	if (!only) part = put(out, "]", part);
	return part;
}

int32_t mold_each(const Cell* value, Cell* out, bool only, bool all, bool flat, const Cell* arg, int32_t part,
	int32_t indent) {
	Cell b = *value;
	uint32_t h = series::clamp_head(&b);
	bool opened = false;
	{
		Walk walk(b.data2);
		for (uint32_t i = h; i < buffer_length_cells(&b); i++) {
			if (arg && part < 1) break;
			Nesting nesting;
			const Cell* c = vs_abs_at(&b, i);
			bool first = i == h;
			if (cell::new_line(c) && !flat) {
				if (first && !only) {
					indent++;
					opened = true;
				}
				if (!(first && only)) part = put(out, "\n", part);
				part = cycles::indent(out->data2, uint32_t(indent), part);
			} else if (!first) {
				part = put(out, " ", part);
			}
			// /only strips the outer brackets alone: nested values keep theirs.
			part = actions::mold(c, out, false, all, flat, arg, part, indent);
		}
	}
	if (opened) {
		part = put(out, "\n", part);
		indent--;
		part = cycles::indent(out->data2, uint32_t(indent), part);
	}
	return part;
}

}  // namespace vyn::block
