#include "gui/draw/routines.h"

#include "gui/draw/draw.h"
#include "gui/draw/interpreter.h"
#include "gui/draw/text_box.h"
#include "runtime/datatypes/image.h"
#include "runtime/errors.h"
#include "runtime/evaluator/routines.h"
#include "runtime/evaluator/stack.h"
#include "runtime/symbol.h"

namespace vyn::draw_routines {

namespace {

void draw_image_routine() {
	draw::draw_image(stack::arguments, stack::arguments + 1);
	Cell none;
	cell::make_none(&none);
	stack::set_result(&none);
}

void draw_face_routine() {
	draw::draw_face(stack::arguments, stack::arguments + 1);
	Cell none;
	cell::make_none(&none);
	stack::set_result(&none);
}

void text_box_metrics_routine() {
	const Cell* box = stack::arguments;
	Cell type;
	cell::make_none(&type);
	if (const Cell* t = draw_interpreter::field(box, "type")) type = *t;
	if (!cell::is(&type, T_WORD) || symbol::name(symbol::resolve(type.data2)) != "rich-text")
		errors::fire(errors::id::script_face_type, &type);
	Cell result;
	text_box::metrics(box, stack::arguments + 1, cell::get_integer(stack::arguments + 2), &result);
	stack::set_result(&result);
}

const routines::Definition DEFINITIONS[] = {
	{"draw-image", R"v(["Draws the commands onto the image" image [image!] cmds [block!]])v", draw_image_routine},
	{"draw-face", R"v(["Draws the commands on the face's paint in progress" face [object!] cmds [block!]])v",
		draw_face_routine},
	{"text-box-metrics", R"v(["Measures a rich-text face's layout: query 0 caret top-left, 1 offset at a point, 2 line height, 3 size, 4 line count, 5 index at a point, 6 caret bottom-right"
		box [object!] arg0 [any-type!] type [integer!]])v", text_box_metrics_routine},
};

}  // namespace

void define_all() {
	text_box::init();
	image::face_renderer = draw::face_image;
	for (const routines::Definition& d : DEFINITIONS) routines::define(d);
}

}  // namespace vyn::draw_routines
