#include "gui/draw/draw.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>

#include "gui/backend/views.h"
#include "gui/draw/engine.h"
#include "gui/draw/image_surface.h"
#include "gui/draw/interpreter.h"
#include "gui/draw/primitives.h"
#include "gui/draw/text_box.h"
#include "runtime/context.h"
#include "runtime/cycles.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/image.h"
#include "runtime/datatypes/pair.h"
#include "runtime/datatypes/point2d.h"
#include "runtime/datatypes/string.h"
#include "runtime/errors.h"
#include "runtime/io/image_record.h"
#include "runtime/evaluator/natives.h"
#include "runtime/evaluator/stack.h"
#include "runtime/ownership.h"
#include "runtime/symbol.h"
#include "runtime/words.h"

namespace vyn::draw {

namespace {

using draw_interpreter::field;

// The paint whose face `draw-face` draws on; paints nest (a face captured
// while another paints).
FacePaint* open_paint = nullptr;

void print_line(std::string_view text) {
	Cell* saved = stack::top;
	Cell* s = stack::alloc_slot();
	string::make_at(s, uint32_t(text.size()));
	string::append_literal(s, text);
	natives::print(s, true);
	stack::top = saved;
}

bool empty_block(const Cell* block) {
	Cell b = *block;
	return !cell::is(&b, T_BLOCK) || block::length(&b) == 0;
}


// Runs the block; an error is printed and dropped, as window paints want.
void run_caught(draw_engine::Context& c, const Cell* block) {
	Cell b = *block;
	Cell* saved = stack::top;
	stack::mark_symbol(stack::body_symbol, stack::OPEN_NATIVE);
	stack::mark_try(words::w_try);
	try {
		draw_interpreter::run(c, &b);
		stack::unwind_last();
		stack::unwind();
	} catch (const draw_interpreter::Abandon&) {
		stack::unwind_last();
		stack::unwind();
	} catch (const Throw& t) {
		if (t.code != THROW_ERROR) throw;
		cycles::reset();
		stack::adjust_post_try();
		Cell error = *stack::arguments;
		stack::unwind();
		stack::top = saved;
		Cell* shown = stack::push(&error);
		natives::print(shown, true);
	}
	stack::top = saved;
}

}  // namespace

void draw_image(const Cell* image, const Cell* block) {
	uint32_t w = image::width_of(image), h = image::height_of(image);
	if (w == 0 || h == 0 || empty_block(block)) return;
	cairo_surface_t* surface = nullptr;
	if (w <= image_surface::MAX_SIDE && h <= image_surface::MAX_SIDE)
		surface = image_surface::of_image(image, 0, 0, w, h);
	if (!surface) {
		print_line("CreateWicBitmapRenderTarget failed in draw-begin");
		return;
	}
	cairo_t* cr = cairo_create(surface);
	draw_engine::Context c;
	draw_engine::begin(c, cr);
	auto finish = [&] {
		draw_engine::end(c);
		cairo_destroy(cr);
		image_surface::to_image(surface, image);
		cairo_surface_destroy(surface);
	};
	try {
		draw_interpreter::run(c, block);
	} catch (const draw_interpreter::Abandon&) {
		// Silent mode: the draw ends here, quietly.
	} catch (...) {
		finish();
		throw;
	}
	finish();
	if (image->header & ownership::IMAGE_OWNED) ownership::check(image, words::w_poke, -1, -1);
}

struct FacePaint::State {
	draw_engine::Context c;
	Cell face;
};

FacePaint::FacePaint(cairo_t* cr, const Cell* face) : state_(new State), outer_(open_paint) {
	state_->face = *face;
	draw_engine::Context& c = state_->c;
	draw_engine::begin(c, cr);
	open_paint = this;

	// The face's own background first.
	cairo_save(cr);
	cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
	const Cell* colour = field(face, "color");
	if (colour && cell::is(colour, T_TUPLE))
		draw_engine::set_source_colour(cr, draw_engine::colour_of(colour));
	else
		cairo_set_source_rgba(cr, 0, 0, 0, 0);
	cairo_paint(cr);
	cairo_restore(cr);
	const Cell* img = field(face, "image");
	const Cell* size = field(face, "size");
	if (img && cell::is(img, T_IMAGE) && size && cell::is(size, T_PAIR)) {
		uint32_t iw = image::width_of(img), ih = image::height_of(img);
		if (cairo_surface_t* s = image_surface::of_image(img, 0, 0, iw, ih)) {
			draw_primitives::bitmap(c, s, 0, 0, iw, ih, {0, 0}, {double(pair::x_of(size)), double(pair::y_of(size))},
				nullptr);
			cairo_surface_destroy(s);
		}
	}
	const Cell* type = field(face, "type");
	bool window = type && cell::is(type, T_WORD) && symbol::name(symbol::resolve(type->data2)) == "window";
	const Cell* text = field(face, "text");
	if (!window && text && cell::is(text, T_STRING)) {
		draw_engine::Saved saved;
		draw_engine::state_push(c, saved);
		const Cell* font = field(face, "font");
		if (font && cell::is(font, T_OBJECT)) text_box::use_font(c, font);
		Cell t = *text;
		text_box::draw_string(c, 0, 0, &t);
		draw_engine::state_pop(c, saved);
	}
}

FacePaint::~FacePaint() {
	draw_engine::end(state_->c);
	open_paint = outer_;
	delete state_;
}

void FacePaint::run(const Cell* block) {
	if (!empty_block(block)) run_caught(state_->c, block);
}

void paint_face(cairo_t* cr, const Cell* face) {
	FacePaint paint(cr, face);
	Cell block;
	const Cell* d = field(face, "draw");
	if (d && cell::is(d, T_BLOCK)) {
		block = *d;
		paint.run(&block);
	}
}

bool face_image(const Cell* face, Cell* out) {
	if (!cell::is(face, T_OBJECT)) return false;
	const Cell* type = field(face, "type");
	if (!type || !cell::is(type, T_WORD)) return false;
	std::string_view name = symbol::name(symbol::resolve(type->data2));
	if (name != "base" && name != "rich-text") return false;
	const backend::View* v = views::of_face(face);
	if (!v) return false;
	uint32_t w = uint32_t(std::clamp(std::lround(v->width), 0L, long(image_surface::MAX_SIDE)));
	uint32_t h = uint32_t(std::clamp(std::lround(v->height), 0L, long(image_surface::MAX_SIDE)));
	image::init_image(out, image_record::make_filled(w, h, 0));
	if (w == 0 || h == 0) return true;
	cairo_surface_t* surface = image_surface::of_image(out, 0, 0, w, h);
	if (!surface) return true;
	// The paint may run a draw block: the image stays reachable meanwhile.
	Cell* saved = stack::top;
	Cell* held = stack::push(out);
	Cell f = *face;
	cairo_t* cr = cairo_create(surface);
	paint_face(cr, &f);
	cairo_destroy(cr);
	image_surface::to_image(surface, held);
	cairo_surface_destroy(surface);
	*out = *held;
	stack::top = saved;
	return true;
}

void draw_face(const Cell* face, const Cell* block) {
	// Only a paint of this very face is drawn on: after the paint ended, or
	// for a face never painted, there is nothing to draw on.
	for (FacePaint* p = open_paint; p; p = p->outer_) {
		if (p->state_->face.data1 == face->data1) {
			p->run(block);
			return;
		}
	}
}

}  // namespace vyn::draw
