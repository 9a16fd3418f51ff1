#include "gui/draw/interpreter.h"

#include <cmath>
#include <unordered_map>
#include <vector>

#include "gui/draw/image_surface.h"
#include "gui/draw/keywords.h"
#include "gui/draw/primitives.h"
#include "gui/draw/text_box.h"
#include "runtime/context.h"
#include "runtime/cycles.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/image.h"
#include "runtime/datatypes/pair.h"
#include "runtime/datatypes/percent.h"
#include "runtime/datatypes/point2d.h"
#include "runtime/errors.h"
#include "runtime/symbol.h"
#include "runtime/words.h"

namespace vyn::draw_interpreter {

namespace kw = draw_keywords;
namespace prim = draw_primitives;
using draw_engine::Context;
using prim::Point;

namespace {

// Pattern pens draw their block on a context of their own; this bounds
// how deep such pens may nest.
constexpr int32_t MAX_PATTERN_DEPTH = 16;

enum Command {
	C_LINE = 1, C_LINE_WIDTH, C_BOX, C_TRIANGLE, C_PEN, C_FILL_PEN, C_POLYGON, C_CIRCLE, C_ANTI_ALIAS, C_FONT,
	C_ELLIPSE, C_ARC, C_CURVE, C_SPLINE, C_LINE_JOIN, C_LINE_CAP, C_LINE_PATTERN, C_MATRIX, C_INVERT_MATRIX,
	C_RESET_MATRIX, C_PUSH, C_CLIP, C_ROTATE, C_SCALE, C_TRANSLATE, C_SKEW, C_TRANSFORM, C_SHAPE, C_SHADOW,
	C_TEXT, C_IMAGE
};

std::unordered_map<uint32_t, Command>& commands() {
	static std::unordered_map<uint32_t, Command> table;
	static uint32_t made_for = 0;
	kw::init();
	if (made_for != kw::generation) {
		made_for = kw::generation;
		table.clear();
		const std::pair<uint32_t, Command> rows[] = {{kw::line, C_LINE}, {kw::line_width, C_LINE_WIDTH},
			{kw::box, C_BOX}, {kw::triangle, C_TRIANGLE}, {kw::pen, C_PEN}, {kw::fill_pen, C_FILL_PEN},
			{kw::polygon, C_POLYGON}, {kw::circle, C_CIRCLE}, {kw::anti_alias, C_ANTI_ALIAS}, {kw::font, C_FONT},
			{kw::ellipse, C_ELLIPSE}, {kw::arc, C_ARC}, {kw::curve, C_CURVE}, {kw::spline, C_SPLINE},
			{kw::line_join, C_LINE_JOIN}, {kw::line_cap, C_LINE_CAP}, {kw::line_pattern, C_LINE_PATTERN},
			{kw::matrix, C_MATRIX}, {kw::invert_matrix, C_INVERT_MATRIX}, {kw::reset_matrix, C_RESET_MATRIX},
			{kw::push, C_PUSH}, {kw::clip, C_CLIP}, {kw::rotate, C_ROTATE}, {kw::scale, C_SCALE},
			{kw::translate, C_TRANSLATE}, {kw::skew, C_SKEW}, {kw::transform, C_TRANSFORM}, {kw::shape, C_SHAPE},
			{kw::shadow, C_SHADOW}, {kw::text, C_TEXT}, {kw::image, C_IMAGE}};
		for (const auto& r : rows) table.emplace(r.first, r.second);
	}
	return table;
}

uint32_t canon(const Cell* w) { return symbol::resolve(w->data2); }
bool is_word(const Cell* v) { return cell::is(v, T_WORD); }
bool is_keyword(const Cell* v, uint32_t k) { return is_word(v) && canon(v) == k; }
bool is_point(const Cell* v) { return cell::is(v, T_PAIR) || cell::is(v, T_POINT2D); }
bool is_number(const Cell* v) { return cell::is(v, T_INTEGER) || cell::is(v, T_FLOAT); }

Point point_of(const Cell* v) {
	if (cell::is(v, T_PAIR)) return {double(pair::x_of(v)), double(pair::y_of(v))};
	return {point::get(v, 0), point::get(v, 1)};
}
double number_of(const Cell* v) { return cell::is(v, T_INTEGER) ? cell::get_integer(v) : cell::get_double(v); }

// The block being walked: its value (for error positions) and its cells.
struct Walk {
	Cell value;
	Cell* pos;
	Cell* tail;

	explicit Walk(const Cell* block) : value(*block) {
		pos = block::vs_head(&value);
		tail = block::vs_tail(&value);
	}
	bool more() const { return pos < tail; }
	[[noreturn]] void fail(const Cell* at) const { invalid(&value, at); }
	[[noreturn]] void fail() const { invalid(&value, pos); }

	Point point() {
		if (!more() || !is_point(pos)) fail();
		return point_of(pos++);
	}
	double number() {
		if (!more() || !is_number(pos)) fail();
		return number_of(pos++);
	}
	// Scale factors also take percentages.
	double factor() {
		if (!more()) fail();
		if (cell::is(pos, T_PERCENT)) return percent::get(pos++);
		return number();
	}
	bool opt_point(Point& p) {
		if (!more() || !is_point(pos)) return false;
		p = point_of(pos++);
		return true;
	}
	bool opt_number(double& n) {
		if (!more() || !is_number(pos)) return false;
		n = number_of(pos++);
		return true;
	}
	bool opt_keyword(uint32_t k) {
		if (!more() || !is_keyword(pos, k)) return false;
		pos++;
		return true;
	}
	// A colour: a tuple, or a word holding one.
	bool opt_colour(uint32_t& colour) {
		if (!more()) return false;
		const Cell* v = pos;
		if (is_word(v)) v = word_value(v);
		if (!v || !cell::is(v, T_TUPLE)) return false;
		colour = draw_engine::colour_of(v);
		pos++;
		return true;
	}
	const Cell* opt_block() {
		if (!more() || !cell::is(pos, T_BLOCK)) return nullptr;
		return pos++;
	}
	// A value of the type, or a word holding one.
	const Cell* of_type(Type t) {
		if (!more()) return nullptr;
		const Cell* v = pos;
		if (is_word(v)) v = word_value(v);
		if (!v || !cell::is(v, t)) return nullptr;
		pos++;
		return v;
	}
};

void run_walk(Context& c, Walk& w);

// Walks the block with `walk`, the block on the cycle stack meanwhile.
template <class F>
void nested(const Cell* block, F walk) {
	Node n = block->data2;
	if (cycles::find(n)) {
		cycles::reset();
		if (silent()) throw Abandon{};
		errors::fire(errors::id::script_draw_infinite, block);
	}
	cycles::push(n);
	Walk w(block);
	walk(w);
	cycles::pop();
}

void run_nested(Context& c, const Cell* block) {
	nested(block, [&](Walk& w) { run_walk(c, w); });
}

// Runs the block with the state saved around it, restored on every way out.
template <class F>
void scoped(Context& c, const Cell* block, F apply) {
	draw_engine::Saved saved;
	draw_engine::state_push(c, saved);
	try {
		apply();
		run_nested(c, block);
	} catch (...) {
		draw_engine::state_pop(c, saved);
		throw;
	}
	draw_engine::state_pop(c, saved);
}

void set_word(Walk& w) {
	Cell* word = w.pos;
	Cell here = w.value;
	here.data1 = uint32_t(w.pos + 1 - block::buffer(&w.value)->head_cell());
	// Quietly: no owner's handler runs in the middle of a walk.
	context::set_in(word, &here, word->data1, false);
	w.pos++;
}

// ---- Pens ----

cairo_extend_t spread_of(Walk& w) {
	if (w.opt_keyword(kw::repeat)) return CAIRO_EXTEND_REPEAT;
	if (w.opt_keyword(kw::reflect)) return CAIRO_EXTEND_REFLECT;
	w.opt_keyword(kw::pad);
	return CAIRO_EXTEND_PAD;
}

cairo_extend_t tile_mode(Walk& w) {
	if (w.opt_keyword(kw::tile)) return CAIRO_EXTEND_REPEAT;
	if (w.opt_keyword(kw::flip_x) || w.opt_keyword(kw::flip_y) || w.opt_keyword(kw::flip_xy))
		return CAIRO_EXTEND_REFLECT;  // Cairo mirrors both axes or none
	if (w.opt_keyword(kw::clamp)) return CAIRO_EXTEND_PAD;
	return CAIRO_EXTEND_REPEAT;
}

struct Stop {
	uint32_t colour;
	double offset;
};

void add_stops(cairo_pattern_t* p, const std::vector<Stop>& stops) {
	for (const Stop& s : stops)
		cairo_pattern_add_color_stop_rgba(p, std::fmin(1, std::fmax(0, s.offset)), (s.colour & 0xFF) / 255.0,
			((s.colour >> 8) & 0xFF) / 255.0, ((s.colour >> 16) & 0xFF) / 255.0, (255 - (s.colour >> 24)) / 255.0);
}

// Offsets: an explicit one is taken and becomes the running position;
// the others take the running position, which then steps by 1 / (n - 1).
void place_stops(std::vector<Stop>& stops, const std::vector<bool>& explicit_offset) {
	double step = stops.size() > 1 ? 1.0 / double(stops.size() - 1) : 1.0, at = 0;
	for (size_t i = 0; i < stops.size(); i++) {
		if (explicit_offset[i]) {
			at = stops[i].offset;
		} else {
			stops[i].offset = at;
			at += step;
		}
	}
}

void gradient_pen(Context& c, Walk& w, bool fill, uint32_t type) {
	std::vector<Stop> stops;
	std::vector<bool> explicit_offset;
	if (w.more() && is_point(w.pos)) {
		// Offset form: offset, start, stop, [angle [scale x [scale y]]], colours and offsets.
		Point offset = w.point();
		if (!w.more() || !cell::is(w.pos, T_INTEGER)) w.fail();
		double start = w.number();
		if (!w.more() || !cell::is(w.pos, T_INTEGER)) w.fail();
		double stop = w.number();
		double angle = 0, sx = 1, sy = 1;
		if (w.opt_number(angle) && w.opt_number(sx)) w.opt_number(sy);
		for (;;) {
			uint32_t colour;
			if (w.opt_colour(colour)) {
				stops.push_back({colour, 0});
				explicit_offset.push_back(false);
			} else if (w.more() && cell::is(w.pos, T_FLOAT) && !stops.empty()) {
				stops.back().offset = cell::get_double(w.pos++);
				explicit_offset.back() = true;
			} else {
				break;
			}
		}
		if (stops.size() < 2) w.fail();
		place_stops(stops, explicit_offset);
		cairo_pattern_t* p = type == kw::linear
			? cairo_pattern_create_linear(offset.x + start, offset.y, offset.x + stop, offset.y)
			: cairo_pattern_create_radial(offset.x, offset.y, 0, offset.x, offset.y, std::fabs(stop - start));
		add_stops(p, stops);
		cairo_pattern_set_extend(p, CAIRO_EXTEND_PAD);
		draw_engine::set_pattern_brush(c, fill, p, draw_engine::GRADIENT, type);
		cairo_matrix_t m;
		cairo_matrix_init_identity(&m);
		if (angle != 0) m = draw_engine::rotation_about(angle, 0, 0);
		if (sx != 1 || sy != 1) {
			cairo_matrix_t s;
			cairo_matrix_init_scale(&s, sx, sy);
			cairo_matrix_multiply(&m, &s, &m);
		}
		draw_engine::Brush& b = fill ? c.s.fill : c.s.pen;
		b.transform = m;
		return;
	}
	// Stops first: at least two colours, each with an optional offset.
	while (stops.size() < 2 || (w.more() && !is_point(w.pos))) {
		uint32_t colour;
		if (!w.opt_colour(colour)) {
			if (stops.size() < 2) w.fail();
			break;
		}
		stops.push_back({colour, 0});
		explicit_offset.push_back(false);
		if (w.more() && cell::is(w.pos, T_FLOAT)) {
			stops.back().offset = cell::get_double(w.pos++);
			explicit_offset.back() = true;
		}
	}
	place_stops(stops, explicit_offset);
	cairo_pattern_t* p = nullptr;
	Point a, b, focal;
	if (type == kw::linear) {
		if (w.opt_point(a)) {
			b = w.point();
			p = cairo_pattern_create_linear(a.x, a.y, b.x, b.y);
		}
	} else if (type == kw::radial) {
		if (w.opt_point(a)) {
			double r = std::fabs(w.number());
			bool has_focal = w.opt_point(focal);
			if (!has_focal) focal = a;
			p = cairo_pattern_create_radial(focal.x, focal.y, 0, a.x, a.y, r);
		}
	} else if (w.opt_point(a)) {  // diamond: upper and lower points
		b = w.point();
		Point centre{(a.x + b.x) / 2, (a.y + b.y) / 2};
		double r = std::hypot(b.x - a.x, b.y - a.y) / 2;
		if (!w.opt_point(focal)) focal = centre;
		p = cairo_pattern_create_radial(focal.x, focal.y, 0, centre.x, centre.y, r);
	}
	int32_t kind = draw_engine::GRADIENT;
	if (!p) {
		// Fitted to each shape: a unit gradient the shape's box scales.
		p = type == kw::linear ? cairo_pattern_create_linear(0, 0, 1, 0) : cairo_pattern_create_radial(0, 0, 0, 0, 0, 1);
		kind = draw_engine::FITTED;
	}
	add_stops(p, stops);
	cairo_pattern_set_extend(p, spread_of(w));
	draw_engine::set_pattern_brush(c, fill, p, kind, type == kw::linear ? kw::linear : kw::radial);
}

// An image brush over the source rectangle from `start` to `end`, each cut
// to the source's size.
void image_brush(Context& c, Walk& w, bool fill, cairo_surface_t* source, double sw, double sh) {
	Point start{0, 0}, end{sw, sh};
	if (w.opt_point(start)) w.opt_point(end);
	cairo_extend_t extend = tile_mode(w);
	double x = std::fmin(std::fmax(start.x, 0), sw), y = std::fmin(std::fmax(start.y, 0), sh);
	double x2 = std::fmin(std::fmax(end.x, 0), sw), y2 = std::fmin(std::fmax(end.y, 0), sh);
	if (x2 <= x || y2 <= y) {
		cairo_surface_destroy(source);
		if (fill)
			draw_engine::set_fill_pen(c, 0, true);
		else
			draw_engine::set_pen(c, 0, true);
		return;
	}
	cairo_surface_t* part = cairo_surface_create_for_rectangle(source, x, y, x2 - x, y2 - y);
	cairo_pattern_t* p = cairo_pattern_create_for_surface(part);
	cairo_pattern_set_extend(p, extend);
	cairo_pattern_set_filter(p, CAIRO_FILTER_GOOD);
	cairo_surface_destroy(part);
	cairo_surface_destroy(source);
	draw_engine::set_pattern_brush(c, fill, p, draw_engine::IMAGE, 0);
}

void pattern_pen(Context& c, Walk& w, bool fill) {
	Point size = w.point();
	// The block comes last, after the optional points and tile mode.
	Cell* mark = w.pos;
	Point skip;
	while (w.opt_point(skip)) {}
	tile_mode(w);
	const Cell* block = w.opt_block();
	if (!block) w.fail();
	Cell* after = w.pos;
	int iw = int(std::fmin(std::fmax(size.x, 0), 32767)), ih = int(std::fmin(std::fmax(size.y, 0), 32767));
	cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, iw > 0 ? iw : 1, ih > 0 ? ih : 1);
	if (c.depth >= MAX_PATTERN_DEPTH) {
		cairo_surface_destroy(s);
		w.fail(block);
	}
	cairo_t* cr = cairo_create(s);
	Context inner;
	inner.depth = c.depth + 1;
	draw_engine::begin(inner, cr);
	try {
		run_nested(inner, block);
	} catch (...) {
		draw_engine::end(inner);
		cairo_destroy(cr);
		cairo_surface_destroy(s);
		throw;
	}
	draw_engine::end(inner);
	cairo_destroy(cr);
	w.pos = mark;
	image_brush(c, w, fill, s, iw, ih);
	w.pos = after;
}

void pen(Context& c, Walk& w, bool fill) {
	if (!w.more()) w.fail();
	uint32_t colour = 0;
	if (is_word(w.pos)) {
		uint32_t k = canon(w.pos);
		if (k == kw::off) {
			w.pos++;
			if (fill)
				draw_engine::set_fill_pen(c, 0, true);
			else
				draw_engine::set_pen(c, 0, true);
			return;
		}
		if (k == kw::linear || k == kw::radial || k == kw::diamond) {
			w.pos++;
			gradient_pen(c, w, fill, k);
			return;
		}
		if (k == kw::pattern) {
			w.pos++;
			pattern_pen(c, w, fill);
			return;
		}
		if (k == kw::bitmap) {
			w.pos++;
			if (!w.more() || !is_word(w.pos)) w.fail();
			const Cell* img = w.of_type(T_IMAGE);
			if (!img) w.fail();
			cairo_surface_t* s = image_surface::of_image(img, 0, 0, image::width_of(img), image::height_of(img));
			if (!s) {
				if (fill)
					draw_engine::set_fill_pen(c, 0, true);
				else
					draw_engine::set_pen(c, 0, true);
				return;
			}
			image_brush(c, w, fill, s, image::width_of(img), image::height_of(img));
			return;
		}
	}
	if (!w.opt_colour(colour)) w.fail();
	if (fill)
		draw_engine::set_fill_pen(c, colour, false);
	else
		draw_engine::set_pen(c, colour, false);
}

// ---- Transforms ----

// The optional 'pen or 'fill-pen target; 0 for the drawing transform.
uint32_t transform_target(Walk& w) {
	if (w.more() && cell::is(w.pos, T_LIT_WORD)) {
		uint32_t k = canon(w.pos);
		if (k == kw::pen || k == kw::fill_pen) {
			w.pos++;
			return k;
		}
	}
	return 0;
}

void transform_command(Context& c, Walk& w, Command cmd) {
	uint32_t target = transform_target(w);
	cairo_matrix_t m;
	Point centre{0, 0};
	switch (cmd) {
	case C_ROTATE: {
		double angle = w.number();
		w.opt_point(centre);
		m = draw_engine::rotation_about(angle, centre.x, centre.y);
		break;
	}
	case C_SCALE: {
		double sx = w.factor(), sy = w.factor();
		w.opt_point(centre);
		m = draw_engine::scaling_about(sx, sy, centre.x, centre.y);
		break;
	}
	case C_TRANSLATE: {
		Point t = w.point();
		cairo_matrix_init_translate(&m, t.x, t.y);
		break;
	}
	case C_SKEW: {
		double x = w.number(), y = 0;
		w.opt_number(y);
		w.opt_point(centre);
		cairo_matrix_t s = draw_engine::skewing(x, y), t, back;
		cairo_matrix_init_translate(&t, -centre.x, -centre.y);
		cairo_matrix_init_translate(&back, centre.x, centre.y);
		cairo_matrix_multiply(&m, &t, &s);
		cairo_matrix_multiply(&m, &m, &back);
		break;
	}
	default: {  // transform: [centre] angle scale-x scale-y translation
		w.opt_point(centre);
		double angle = w.number();
		double sx = w.factor(), sy = w.factor();
		Point t = w.point();
		cairo_matrix_t r = draw_engine::rotation_about(angle, centre.x, centre.y), s, tr;
		cairo_matrix_init_scale(&s, sx, sy);
		cairo_matrix_init_translate(&tr, t.x, t.y);
		cairo_matrix_multiply(&m, &r, &s);
		cairo_matrix_multiply(&m, &m, &tr);
		break;
	}
	}
	if (const Cell* block = w.opt_block())
		scoped(c, block, [&] { draw_engine::matrix_prepend(c, target, m); });
	else
		draw_engine::matrix_prepend(c, target, m);
}

void matrix_command(Context& c, Walk& w) {
	Cell* before = w.pos - 1;
	uint32_t target = transform_target(w);
	if (target) before = w.pos - 1;
	if (!w.more() || !cell::is(w.pos, T_BLOCK)) w.fail();
	Cell b = *w.pos;
	double v[6];
	if (block::length(&b) != 6) w.fail(before);
	Cell* e = block::vs_head(&b);
	for (int i = 0; i < 6; i++) {
		if (!is_number(e + i)) w.fail(before);
		v[i] = number_of(e + i);
	}
	w.pos++;
	cairo_matrix_t m;
	cairo_matrix_init(&m, v[0], v[1], v[2], v[3], v[4], v[5]);
	draw_engine::matrix_prepend(c, target, m);
}

// ---- Shapes ----

void shape_walk(Context& c, Walk& w);

void shape_nested(Context& c, const Cell* block) {
	nested(block, [&](Walk& w) { shape_walk(c, w); });
}

void shape_walk(Context& c, Walk& w) {
	while (w.more()) {
		Cell* v = w.pos;
		if (cell::is(v, T_BLOCK)) {
			w.pos++;
			shape_nested(c, v);
			continue;
		}
		if (cell::is(v, T_SET_WORD)) {
			set_word(w);
			continue;
		}
		if (!is_word(v) && !cell::is(v, T_LIT_WORD)) w.fail();
		bool rel = cell::is(v, T_LIT_WORD);
		uint32_t k = canon(v);
		w.pos++;
		Point p, q, r;
		if (k == kw::move) {
			prim::path_move(c, w.point(), rel);
		} else if (k == kw::line) {
			prim::path_line(c, w.point(), rel);
			while (w.opt_point(p)) prim::path_line(c, p, rel);
		} else if (k == kw::hline) {
			prim::path_hline(c, w.number(), rel);
		} else if (k == kw::vline) {
			prim::path_vline(c, w.number(), rel);
		} else if (k == kw::arc) {
			p = w.point();
			double rx = w.number(), ry = w.number(), angle = w.number();
			bool sweep = false, large = false;
			for (int i = 0; i < 2; i++) {
				if (w.opt_keyword(kw::sweep))
					sweep = true;
				else if (w.opt_keyword(kw::large))
					large = true;
			}
			prim::path_arc(c, p, rx, ry, angle, sweep, large, rel);
		} else if (k == kw::curve) {
			p = w.point(), q = w.point(), r = w.point();
			prim::path_curve(c, p, q, r, rel);
			while (w.more() && w.pos + 2 < w.tail && is_point(w.pos) && is_point(w.pos + 1) && is_point(w.pos + 2)) {
				p = w.point(), q = w.point(), r = w.point();
				prim::path_curve(c, p, q, r, rel);
			}
		} else if (k == kw::curv || k == kw::qcurve) {
			p = w.point(), q = w.point();
			for (;;) {
				if (k == kw::curv)
					prim::path_curv(c, p, q, rel);
				else
					prim::path_qcurve(c, p, q, rel);
				if (!(w.pos + 1 < w.tail && is_point(w.pos) && is_point(w.pos + 1))) break;
				p = w.point(), q = w.point();
			}
		} else if (k == kw::qcurv) {
			prim::path_qcurv(c, w.point(), rel);
			while (w.opt_point(p)) prim::path_qcurv(c, p, rel);
		} else if (k == kw::close) {
			prim::path_close(c);
		} else {
			w.fail(v);
		}
	}
}

// ---- Images ----

void image_command(Context& c, Walk& w) {
	Cell* arg = w.pos;
	const Cell* img = w.of_type(T_IMAGE);
	if (!img) w.fail();
	Point pts[4];
	uint32_t n = 0;
	Point p;
	while (w.opt_point(p)) {
		if (n < 4)
			pts[n] = p;
		else
			pts[3] = p;
		n++;
	}
	uint32_t key;
	w.opt_colour(key);  // a colour key is read and not used
	double iw = image::width_of(img), ih = image::height_of(img);
	double sx = 0, sy = 0, sw = iw, sh = ih;
	if (!w.opt_keyword(kw::border) && w.opt_keyword(kw::crop)) {
		Point o = w.point(), s = w.point();
		sx = std::fmin(std::fmax(o.x, 0), iw), sy = std::fmin(std::fmax(o.y, 0), ih);
		sw = std::fmin(std::fmax(s.x, 0), iw - sx), sh = std::fmin(std::fmax(s.y, 0), ih - sy);
	}
	if (sw <= 0 || sh <= 0) return;  // nothing to draw: a 0x0 image draws nothing
	cairo_surface_t* s = image_surface::of_image(img, uint32_t(sx), uint32_t(sy), uint32_t(sw), uint32_t(sh));
	if (!s) {
		cycles::reset();
		errors::fire(errors::id::internal_no_memory, arg);
	}
	Point a = n ? pts[0] : Point{0, 0};
	Point b = n >= 2 ? pts[n >= 4 ? 3 : n - 1] : Point{a.x + sw, a.y + sh};
	if (n >= 4) {
		Point quad[4] = {pts[0], pts[1], pts[2], pts[3]};
		prim::bitmap(c, s, 0, 0, sw, sh, a, b, quad);
	} else {
		prim::bitmap(c, s, 0, 0, sw, sh, a, b, nullptr);
	}
	cairo_surface_destroy(s);
}

// ---- Commands ----

void points_at_least(Walk& w, std::vector<Point>& pts, size_t least, bool fail_at_last) {
	Point p;
	while (w.opt_point(p)) pts.push_back(p);
	if (pts.size() < least) w.fail(fail_at_last && !pts.empty() ? w.pos - 1 : w.pos);
}

void command(Context& c, Walk& w, Command cmd) {
	Point a, b;
	std::vector<Point> pts;
	switch (cmd) {
	case C_LINE:
		points_at_least(w, pts, 2, false);
		prim::line(c, pts.data(), uint32_t(pts.size()));
		break;
	case C_BOX: {
		a = w.point(), b = w.point();
		double r = 0;
		w.opt_number(r);
		prim::box(c, a, b, r);
		break;
	}
	case C_TRIANGLE:
		for (int i = 0; i < 3; i++) pts.push_back(w.point());
		prim::polygon(c, pts.data(), 3);
		break;
	case C_POLYGON:
		points_at_least(w, pts, 3, true);
		prim::polygon(c, pts.data(), uint32_t(pts.size()));
		break;
	case C_CIRCLE: {
		a = w.point();
		double rx = w.number(), ry = rx;
		w.opt_number(ry);
		prim::ellipse(c, a.x, a.y, rx, ry);
		break;
	}
	case C_ELLIPSE:
		a = w.point(), b = w.point();
		prim::ellipse(c, a.x + b.x / 2, a.y + b.y / 2, b.x / 2, b.y / 2);
		break;
	case C_ARC: {
		a = w.point(), b = w.point();
		double start = w.number(), sweep = w.number();
		bool closed = w.opt_keyword(kw::closed);
		prim::arc(c, a, b.x, b.y, start, sweep, closed);
		break;
	}
	case C_CURVE:
		for (int i = 0; i < 3; i++) pts.push_back(w.point());
		if (w.opt_point(a)) pts.push_back(a);
		prim::curve(c, pts.data(), uint32_t(pts.size()));
		break;
	case C_SPLINE: {
		points_at_least(w, pts, 2, false);
		bool closed = w.opt_keyword(kw::closed);
		prim::spline(c, pts.data(), uint32_t(pts.size()), closed);
		break;
	}
	case C_TEXT: {
		a = w.point();
		if (!w.more() || !(cell::is(w.pos, T_STRING) || cell::is(w.pos, T_OBJECT))) w.fail();
		Cell* arg = w.pos++;
		bool ok = cell::is(arg, T_STRING) ? text_box::draw_string(c, a.x, a.y, arg) : text_box::draw_face(c, a.x, a.y, arg);
		if (!ok) w.fail(arg);
		break;
	}
	case C_FONT: {
		const Cell* font = w.of_type(T_OBJECT);
		if (!font) w.fail();
		text_box::use_font(c, font);
		break;
	}
	case C_IMAGE:
		image_command(c, w);
		break;
	case C_PEN:
	case C_FILL_PEN:
		pen(c, w, cmd == C_FILL_PEN);
		break;
	case C_LINE_WIDTH:
		draw_engine::set_line_width(c, w.number());
		break;
	case C_LINE_JOIN:
	case C_LINE_CAP:
		if (!w.more() || !is_word(w.pos)) w.fail();
		if (cmd == C_LINE_JOIN)
			draw_engine::set_line_join(c, canon(w.pos++));
		else
			draw_engine::set_line_cap(c, canon(w.pos++));
		break;
	case C_LINE_PATTERN: {
		std::vector<double> lengths;
		while (w.more() && cell::is(w.pos, T_INTEGER)) lengths.push_back(cell::get_integer(w.pos++));
		draw_engine::set_line_pattern(c, lengths.data(), uint32_t(lengths.size()));
		break;
	}
	case C_ANTI_ALIAS:
		if (!w.more() || !is_word(w.pos)) w.fail(w.pos - 1);
		draw_engine::set_anti_alias(c, canon(w.pos++) != kw::off);
		break;
	case C_SHADOW: {
		if (!w.more() || !(cell::is(w.pos, T_PAIR) || is_word(w.pos))) w.fail();
		if (is_word(w.pos)) {
			if (canon(w.pos) != kw::off) w.fail();
			w.pos++;
			draw_engine::shadows_off(c);
			break;
		}
		draw_engine::Shadow shadow;
		shadow.dx = pair::x_of(w.pos), shadow.dy = pair::y_of(w.pos);
		w.pos++;
		// A spread only after a blur.
		if (w.more() && cell::is(w.pos, T_INTEGER)) {
			shadow.blur = double(cell::get_integer(w.pos++));
			if (w.more() && cell::is(w.pos, T_INTEGER)) shadow.spread = double(cell::get_integer(w.pos++));
		}
		if (w.more() && (cell::is(w.pos, T_TUPLE) || is_word(w.pos))) {
			if (!w.opt_colour(shadow.colour)) w.fail();
			shadow.inset = w.opt_keyword(kw::inset);
		}
		draw_engine::add_shadow(c, shadow);
		break;
	}
	case C_CLIP: {
		const Cell* path = nullptr;
		if (w.more() && cell::is(w.pos, T_BLOCK)) {
			path = w.pos++;
		} else {
			a = w.point(), b = w.point();
		}
		if (w.more() && is_word(w.pos)) {
			uint32_t k = canon(w.pos);
			if (k == kw::replace || k == kw::intersect || k == kw::union_ || k == kw::xor_ || k == kw::exclude) w.pos++;
		}
		auto apply = [&] {
			if (path) {
				prim::path_begin(c);
				shape_nested(c, path);
				prim::clip_path(c);
			} else {
				prim::clip_rect(c, a, b);
			}
		};
		if (const Cell* block = w.opt_block())
			scoped(c, block, apply);
		else
			apply();
		break;
	}
	case C_SHAPE: {
		if (!w.more() || !cell::is(w.pos, T_BLOCK)) w.fail();
		const Cell* block = w.pos++;
		prim::path_begin(c);
		shape_nested(c, block);
		prim::path_end(c);
		break;
	}
	case C_PUSH: {
		if (!w.more() || !cell::is(w.pos, T_BLOCK)) w.fail();
		const Cell* block = w.pos++;
		scoped(c, block, [] {});
		break;
	}
	case C_ROTATE:
	case C_SCALE:
	case C_TRANSLATE:
	case C_SKEW:
	case C_TRANSFORM:
		transform_command(c, w, cmd);
		break;
	case C_MATRIX:
		matrix_command(c, w);
		break;
	case C_RESET_MATRIX:
	case C_INVERT_MATRIX: {
		uint32_t target = transform_target(w);
		if (cmd == C_RESET_MATRIX)
			draw_engine::matrix_reset(c, target);
		else
			draw_engine::matrix_invert(c, target);
		break;
	}
	}
}

void run_walk(Context& c, Walk& w) {
	auto& table = commands();
	while (w.more()) {
		Cell* v = w.pos;
		Type t = cell::type_of(v);
		if (t == T_WORD) {
			auto it = table.find(canon(v));
			if (it == table.end()) w.fail();
			w.pos++;
			command(c, w, it->second);
		} else if (t == T_SET_WORD) {
			set_word(w);
		} else if (t == T_BLOCK) {
			w.pos++;
			run_nested(c, v);
		} else {
			w.fail();
		}
	}
}

}  // namespace

void run(Context& c, const Cell* block) { run_nested(c, block); }

[[noreturn]] void invalid(const Cell* block, const Cell* at) {
	cycles::reset();
	if (silent()) throw Abandon{};
	Cell here = *block;
	here.data1 = uint32_t(at - block::buffer(block)->head_cell());
	errors::fire(errors::id::script_draw_invalid, &here);
}

const Cell* word_value(const Cell* word) {
	Node ctx = word->data1;
	if (!ctx) return nullptr;
	int32_t i = context::find_word(ctx, word->data2, true);
	if (i < 0) return nullptr;
	Cell* vals = context::values(ctx);
	return vals ? vals + i : nullptr;
}

const Cell* field(const Cell* obj, const char* name) {
	if (!obj || !cell::is(obj, T_OBJECT)) return nullptr;
	int32_t i = context::find_word(obj->data1, symbol::make(name), true);
	if (i < 0) return nullptr;
	Cell* vals = context::values(obj->data1);
	return vals ? vals + i : nullptr;
}

bool silent() {
	const Cell* v = field(field(context::global_value(words::sym_system), "view"), "silent?");
	return v && cell::is(v, T_LOGIC) && v->data1 != 0;
}

}  // namespace vyn::draw_interpreter
