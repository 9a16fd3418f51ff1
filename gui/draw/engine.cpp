#include "gui/draw/engine.h"

#include <cmath>

#include "gui/draw/keywords.h"
#include "runtime/datatypes/tuple.h"

namespace vyn::draw_engine {

namespace kw = draw_keywords;

namespace {

constexpr double PI = 3.14159265358979323846;

void release_brush(Brush& b) {
	if (b.pattern) cairo_pattern_destroy(b.pattern);
	b.pattern = nullptr;
}

void reference_state(State& s) {
	if (s.pen.pattern) cairo_pattern_reference(s.pen.pattern);
	if (s.fill.pattern) cairo_pattern_reference(s.fill.pattern);
	if (s.font) s.font = pango_font_description_copy(s.font);
}

void release_state(State& s) {
	release_brush(s.pen);
	release_brush(s.fill);
	if (s.font) pango_font_description_free(s.font);
	s.font = nullptr;
}

bool invertible(const cairo_matrix_t& m) {
	double det = m.xx * m.yy - m.yx * m.xy;
	return std::isfinite(det) && det != 0 && std::isfinite(m.x0) && std::isfinite(m.y0);
}

// Hands the drawing transform to Cairo, or marks it singular.
void sync_matrix(Context& c) {
	cairo_matrix_t full;
	cairo_matrix_multiply(&full, &c.s.matrix, &c.base);
	c.s.singular = !invertible(full);
	if (!c.s.singular) cairo_set_matrix(c.cr, &full);
}

void apply_dashes(Context& c) {
	if (c.s.dashes.empty()) {
		cairo_set_dash(c.cr, nullptr, 0, 0);
		return;
	}
	// Dash lengths count in line widths; Cairo wants user units.
	double w = c.s.line_width > 0 ? c.s.line_width : 1.0;
	std::vector<double> scaled(c.s.dashes);
	bool any = false;
	for (double& d : scaled) {
		d *= w;
		any = any || d > 0;
	}
	if (any)
		cairo_set_dash(c.cr, scaled.data(), int(scaled.size()), 0);
	else
		cairo_set_dash(c.cr, nullptr, 0, 0);
}

Brush& brush_of(Context& c, uint32_t target) { return target == kw::pen ? c.s.pen : c.s.fill; }

}  // namespace

uint32_t colour_of(const Cell* t) {
	const uint8_t* b = tuple::bytes_of(t);
	uint32_t v = b[0] | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16;
	if (tuple::size_of(t) > 3) v |= uint32_t(b[3]) << 24;
	return v;
}

void set_source_colour(cairo_t* cr, uint32_t colour) {
	cairo_set_source_rgba(cr, (colour & 0xFF) / 255.0, ((colour >> 8) & 0xFF) / 255.0,
		((colour >> 16) & 0xFF) / 255.0, (255 - (colour >> 24)) / 255.0);
}

void begin(Context& c, cairo_t* cr) {
	draw_keywords::init();
	c.cr = cr;
	cairo_get_matrix(cr, &c.base);
	c.s = State{};
	cairo_matrix_init_identity(&c.s.matrix);
	c.s.pen.kind = SOLID;
	cairo_matrix_init_identity(&c.s.pen.transform);
	cairo_matrix_init_identity(&c.s.fill.transform);
	cairo_set_fill_rule(cr, CAIRO_FILL_RULE_EVEN_ODD);
	cairo_set_line_width(cr, 1.0);
	cairo_set_line_join(cr, CAIRO_LINE_JOIN_MITER);
	cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
	cairo_set_antialias(cr, CAIRO_ANTIALIAS_DEFAULT);
	cairo_new_path(cr);
}

void end(Context& c) {
	release_state(c.s);
	cairo_new_path(c.cr);
}

void state_push(Context& c, Saved& saved) {
	cairo_save(c.cr);
	saved.s = c.s;
	reference_state(saved.s);
}

void state_pop(Context& c, Saved& saved) {
	cairo_restore(c.cr);
	release_state(c.s);
	c.s = saved.s;
	saved.s.pen.pattern = saved.s.fill.pattern = nullptr;
	saved.s.font = nullptr;
}

void set_pen(Context& c, uint32_t colour, bool off) {
	if (off) {
		c.s.pen.kind = OFF;
		c.s.saved_pen_kind = OFF;
		return;
	}
	if (!c.s.text_colour_fixed) c.s.text_colour = colour;
	release_brush(c.s.pen);
	c.s.pen.colour = colour;
	c.s.pen.gradient = 0;
	c.s.pen.kind = SOLID;
	if (c.s.line_width == 0) {
		c.s.saved_pen_kind = SOLID;
		c.s.pen.kind = OFF;
	}
}

void set_fill_pen(Context& c, uint32_t colour, bool off) {
	if (off) {
		c.s.fill.kind = OFF;
		return;
	}
	release_brush(c.s.fill);
	c.s.fill.colour = colour;
	c.s.fill.gradient = 0;
	c.s.fill.kind = SOLID;
}

void set_pattern_brush(Context& c, bool fill, cairo_pattern_t* pattern, int32_t kind, uint32_t gradient) {
	Brush& b = fill ? c.s.fill : c.s.pen;
	release_brush(b);
	b.pattern = pattern;
	b.gradient = gradient;
	cairo_matrix_init_identity(&b.transform);
	if (!fill && c.s.line_width == 0) {
		c.s.saved_pen_kind = kind;
		b.kind = OFF;
	} else {
		b.kind = kind;
	}
}

void set_line_width(Context& c, double width) {
	if (width == 0) {
		// A repeated zero keeps the pen kind the first one saved.
		if (c.s.line_width != 0) c.s.saved_pen_kind = c.s.pen.kind;
		c.s.pen.kind = OFF;
		c.s.line_width = 0;
		return;
	}
	if (width == c.s.line_width) return;
	if (c.s.line_width == 0) c.s.pen.kind = c.s.saved_pen_kind;
	c.s.line_width = width;
	cairo_set_line_width(c.cr, std::fabs(width));
	if (!c.s.dashes.empty()) apply_dashes(c);
}

void set_line_join(Context& c, uint32_t k) {
	cairo_line_join_t j = CAIRO_LINE_JOIN_MITER;
	if (k == kw::bevel)
		j = CAIRO_LINE_JOIN_BEVEL;
	else if (k == kw::round)
		j = CAIRO_LINE_JOIN_ROUND;
	cairo_set_line_join(c.cr, j);
	// Miter-or-bevel: Cairo bevels any miter past its limit by itself.
}

void set_line_cap(Context& c, uint32_t k) {
	cairo_line_cap_t cap = CAIRO_LINE_CAP_BUTT;
	if (k == kw::square)
		cap = CAIRO_LINE_CAP_SQUARE;
	else if (k == kw::round)
		cap = CAIRO_LINE_CAP_ROUND;
	cairo_set_line_cap(c.cr, cap);
}

void set_line_pattern(Context& c, const double* lengths, uint32_t count) {
	c.s.dashes.assign(lengths, lengths + count);
	for (double& d : c.s.dashes)
		if (!(d >= 0)) d = 0;  // Cairo refuses negative dashes
	apply_dashes(c);
}

void set_anti_alias(Context& c, bool on) {
	cairo_set_antialias(c.cr, on ? CAIRO_ANTIALIAS_DEFAULT : CAIRO_ANTIALIAS_NONE);
}

void add_shadow(Context& c, const Shadow& shadow) { c.s.shadows.push_back(shadow); }
void shadows_off(Context& c) { c.s.shadows.clear(); }

void set_font(Context& c, PangoFontDescription* font, uint32_t decorations, bool has_colour, uint32_t colour) {
	if (c.s.font) pango_font_description_free(c.s.font);
	c.s.font = font;
	c.s.decorations = decorations;
	c.s.text_colour_fixed = has_colour;
	c.s.text_colour = has_colour ? colour : c.s.pen.colour;
}

void matrix_prepend(Context& c, uint32_t target, const cairo_matrix_t& m) {
	if (target == 0) {
		cairo_matrix_t r;
		cairo_matrix_multiply(&r, &m, &c.s.matrix);
		c.s.matrix = r;
		sync_matrix(c);
		return;
	}
	Brush& b = brush_of(c, target);
	if (b.kind < GRADIENT) return;
	cairo_matrix_t r;
	cairo_matrix_multiply(&r, &m, &b.transform);
	b.transform = r;
}

void matrix_reset(Context& c, uint32_t target) {
	if (target == 0) {
		cairo_matrix_init_identity(&c.s.matrix);
		sync_matrix(c);
		return;
	}
	Brush& b = brush_of(c, target);
	if (b.kind >= GRADIENT) cairo_matrix_init_identity(&b.transform);
}

void matrix_invert(Context& c, uint32_t target) {
	cairo_matrix_t* m = &c.s.matrix;
	if (target != 0) {
		Brush& b = brush_of(c, target);
		if (b.kind < GRADIENT) return;
		m = &b.transform;
	}
	cairo_matrix_t copy = *m;
	if (!invertible(copy) || cairo_matrix_invert(&copy) != CAIRO_STATUS_SUCCESS) return;  // singular: left as it is
	*m = copy;
	if (target == 0) sync_matrix(c);
}

void use_brush(Context& c, const Brush& b, double x1, double y1, double x2, double y2) {
	if (b.kind == SOLID) {
		set_source_colour(c.cr, b.colour);
		return;
	}
	// Cairo's pattern matrix maps user space to pattern space: the inverse
	// of the brush's own transform.
	cairo_matrix_t total = b.transform;
	if (b.kind == FITTED || b.kind == IMAGE) {
		double left = std::fmin(x1, x2), top = std::fmin(y1, y2);
		double w = std::fabs(x2 - x1), h = std::fabs(y2 - y1);
		cairo_matrix_t fit, moved, t;
		if (b.kind == FITTED && b.gradient == kw::linear) {
			cairo_matrix_init_scale(&fit, w > 0 ? w : 1, w > 0 ? w : 1);
		} else if (b.kind == FITTED) {
			double r = std::fmin(w, h) / 2;
			if (!(r > 0)) r = 1;
			cairo_matrix_t sc, tr;
			cairo_matrix_init_scale(&sc, r, r);
			cairo_matrix_init_translate(&tr, w / 2, h / 2);
			cairo_matrix_multiply(&fit, &sc, &tr);
		} else {
			cairo_matrix_init_identity(&fit);
		}
		cairo_matrix_multiply(&moved, &fit, &b.transform);
		cairo_matrix_init_translate(&t, left, top);
		cairo_matrix_multiply(&total, &moved, &t);
	}
	if (!invertible(total)) {
		set_source_colour(c.cr, 0xFF000000u);  // a degenerate brush paints nothing
		return;
	}
	cairo_matrix_invert(&total);
	cairo_pattern_set_matrix(b.pattern, &total);
	cairo_set_source(c.cr, b.pattern);
}

cairo_matrix_t rotation_about(double degrees, double cx, double cy) {
	cairo_matrix_t m, r;
	cairo_matrix_init_translate(&m, -cx, -cy);
	cairo_matrix_init_rotate(&r, degrees * PI / 180);
	cairo_matrix_multiply(&m, &m, &r);
	cairo_matrix_t back;
	cairo_matrix_init_translate(&back, cx, cy);
	cairo_matrix_multiply(&m, &m, &back);
	return m;
}

cairo_matrix_t scaling_about(double sx, double sy, double cx, double cy) {
	cairo_matrix_t m, s, back;
	cairo_matrix_init_translate(&m, -cx, -cy);
	cairo_matrix_init_scale(&s, sx, sy);
	cairo_matrix_multiply(&m, &m, &s);
	cairo_matrix_init_translate(&back, cx, cy);
	cairo_matrix_multiply(&m, &m, &back);
	return m;
}

cairo_matrix_t skewing(double x_degrees, double y_degrees) {
	cairo_matrix_t m;
	cairo_matrix_init(&m, 1, std::tan(y_degrees * PI / 180), std::tan(x_degrees * PI / 180), 1, 0, 0);
	return m;
}

}  // namespace vyn::draw_engine
