#include "runtime/io/clipboard.h"

#include "runtime/collector.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/spans.h"
#include "runtime/datatypes/string.h"
#include "runtime/errors.h"

namespace vyn::clipboard {

namespace {

Cell held{T_NONE, 0, 0, 0};

void mark() { collector::mark_cell(&held); }

// Text with each LF as CR LF, the clipboard's form.
void to_clipboard_text(Cell* text, Cell* out) {
	string::Text t = string::text_of(text);
	uint32_t lines = 0;
	for (uint32_t i = 0; i < t.length; i++) lines += t.unit(i) == '\n';
	string::make_at_unit(out, t.length + lines, t.width);
	for (uint32_t i = 0; i < t.length; i++) {
		uint32_t c = t.unit(i);
		if (c == '\n') string::append_char(out, '\r');
		string::append_char(out, c);
	}
}

// Text with each CR LF as LF; a lone CR stays.
void from_clipboard_text(Cell* text, Cell* out) {
	string::Text t = string::text_of(text);
	string::make_at_unit(out, t.length, t.width);
	for (uint32_t i = 0; i < t.length; i++) {
		uint32_t c = t.unit(i);
		if (c == '\r' && i + 1 < t.length && t.unit(i + 1) == '\n') continue;
		string::append_char(out, c);
	}
}

// Copies of the paths, as file! values.
void copy_files(Cell* files, Cell* out) {
	uint32_t count = spans::cells_of(files).count;
	for (uint32_t i = 0; i < count; i++) {
		const Cell* c = spans::cells_of(files).head + i;
		if (!cell::is(c, T_FILE) && !cell::is(c, T_STRING)) errors::fire(errors::id::script_invalid_arg, c);
	}
	block::make_at(out, int32_t(count));
	for (uint32_t i = 0; i < count; i++) {
		Cell path = spans::cells_of(files).head[i], copy;
		string::copy_text(&copy, &path, -1, T_FILE);
		block::append_value(out, &copy);
	}
}

}  // namespace

void read(Cell* out) {
	Cell kept = held;
	switch (cell::type_of(&kept)) {
	case T_STRING: return from_clipboard_text(&kept, out);
	case T_BLOCK: return copy_files(&kept, out);
	default: cell::make_none(out);
	}
}

bool write(Cell* value) {
	Cell v = *value, next;
	switch (cell::type_of(&v)) {
	case T_STRING: to_clipboard_text(&v, &next); break;
	case T_BLOCK: copy_files(&v, &next); break;
	case T_NONE: cell::make_none(&next); break;
	default: errors::fire(errors::id::script_invalid_arg, value);
	}
	held = next;
	return true;
}

void init() {
	cell::make_none(&held);
	collector::register_marker(mark);
}

}  // namespace vyn::clipboard
