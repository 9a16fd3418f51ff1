#include "runtime/io/clipboard.h"

#include "runtime/collector.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/image.h"
#include "runtime/datatypes/spans.h"
#include "runtime/datatypes/string.h"
#include "runtime/errors.h"
#include "runtime/io/image_record.h"

namespace vyn::clipboard {

namespace {

// The in-process contents, as prepared by `prepare`.
Cell held{T_NONE, 0, 0, 0};
const System* display = nullptr;

void mark() { collector::mark_cell(&held); }

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

// The whole image's pixels in a new record; none for an image without any.
void copy_image(const Cell* img, Cell* out) {
	uint32_t w = image::width_of(img), h = image::height_of(img);
	if (w == 0 || h == 0) return cell::make_none(out);
	image::init_image(out, image_record::copy_rect(image::record_of(img), 0, 0, w, h));
}

// The contents to set: a copy of the value in the form `System::write` takes.
void prepare(Cell* value, Cell* out) {
	Cell v = *value;
	switch (cell::type_of(&v)) {
	case T_STRING: string::copy_text(out, &v, -1, T_STRING); break;
	case T_BLOCK: copy_files(&v, out); break;
	case T_IMAGE: copy_image(&v, out); break;
	case T_NONE: cell::make_none(out); break;
	default: errors::fire(errors::id::script_invalid_arg, value);
	}
}

bool on_display() { return display && display->available(); }

}  // namespace

void read(Cell* out) {
	if (on_display()) return display->read(out);
	Cell kept = held;
	switch (cell::type_of(&kept)) {
	case T_STRING: string::copy_text(out, &kept, -1, T_STRING); break;
	case T_BLOCK: copy_files(&kept, out); break;
	case T_IMAGE: copy_image(&kept, out); break;
	default: cell::make_none(out);
	}
}

bool write(Cell* value) {
	Cell next;
	prepare(value, &next);
	if (on_display()) return display->write(&next);
	held = next;
	return true;
}

void use(const System* system) { display = system; }

void init() {
	cell::make_none(&held);
	collector::register_marker(mark);
}

}  // namespace vyn::clipboard
