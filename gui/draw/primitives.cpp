#include "gui/draw/primitives.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace vyn::draw_primitives {

using draw_engine::Brush;

namespace {

constexpr double PI = 3.14159265358979323846;
// Quadrilateral warps render through a temporary surface of at most this
// many pixels a side.
constexpr double MAX_WARP_SIDE = 8192;

bool drawable(Context& c) {
	if (c.s.singular || cairo_status(c.cr) != CAIRO_STATUS_SUCCESS) {
		cairo_new_path(c.cr);
		return false;
	}
	return true;
}

// Fill then outline; fitted brushes span `box` (user space), or the path's
// bounds widened by the stroke when no box is given.
void paint_plain(Context& c, bool filled, const double* box) {
	cairo_t* cr = c.cr;
	double b[4];
	bool fitted = c.s.fill.kind >= draw_engine::FITTED || c.s.pen.kind >= draw_engine::FITTED;
	if (fitted) {
		if (box) {
			std::copy(box, box + 4, b);
		} else {
			cairo_path_extents(cr, &b[0], &b[1], &b[2], &b[3]);
			double half = c.s.pen.kind ? c.s.line_width / 2 : 0;
			b[0] -= half, b[1] -= half, b[2] += half, b[3] += half;
		}
	}
	if (filled && c.s.fill.kind != draw_engine::OFF) {
		draw_engine::use_brush(c, c.s.fill, b[0], b[1], b[2], b[3]);
		if (c.s.pen.kind != draw_engine::OFF)
			cairo_fill_preserve(cr);
		else
			cairo_fill(cr);
	}
	if (c.s.pen.kind != draw_engine::OFF) {
		draw_engine::use_brush(c, c.s.pen, b[0], b[1], b[2], b[3]);
		cairo_stroke(cr);
	}
	cairo_new_path(cr);
}

// ---- Shadows ----
//
// The shape is drawn alone into a surface of its device-space bounds; each
// shadow is a mask made from that surface's alpha (moved, spread, blurred)
// painted in the shadow's colour: outer shadows under the shape, inset ones
// over it, inside its outline.

// Surfaces of more pixels than this draw the shape without its shadows.
constexpr double MAX_SHADOW_PIXELS = 64.0 * 1024 * 1024;

struct Rect {
	int x = 0, y = 0, w = 0, h = 0;
};

// An 8-bit plane of w x h.
struct Plane {
	int w, h;
	std::vector<uint8_t> v;
	Plane(int w_, int h_, uint8_t fill) : w(w_), h(h_), v(size_t(w_) * h_, fill) {}
	uint8_t& at(int x, int y) { return v[size_t(y) * w + x]; }
};

// One pass of a running max (grow) or min (shrink) over `r` pixels either
// side, along rows (step 1) or columns (step w).
void extreme_pass(Plane& p, int r, bool grow, bool rows) {
	int n = rows ? p.w : p.h, lines = rows ? p.h : p.w;
	std::vector<uint8_t> line(n), out(n);
	for (int l = 0; l < lines; l++) {
		for (int i = 0; i < n; i++) line[i] = rows ? p.at(i, l) : p.at(l, i);
		for (int i = 0; i < n; i++) {
			int lo = std::max(0, i - r), hi = std::min(n - 1, i + r);
			uint8_t m = line[lo];
			for (int k = lo + 1; k <= hi; k++) m = grow ? std::max(m, line[k]) : std::min(m, line[k]);
			out[i] = m;
		}
		for (int i = 0; i < n; i++) (rows ? p.at(i, l) : p.at(l, i)) = out[i];
	}
}

// A running mean over `r` pixels either side; `edge` is the value past the plane.
void box_pass(Plane& p, int r, bool rows, uint8_t edge) {
	int n = rows ? p.w : p.h, lines = rows ? p.h : p.w;
	std::vector<uint8_t> line(n);
	int span = 2 * r + 1;
	for (int l = 0; l < lines; l++) {
		for (int i = 0; i < n; i++) line[i] = rows ? p.at(i, l) : p.at(l, i);
		auto get = [&](int i) { return i < 0 || i >= n ? int(edge) : int(line[i]); };
		int sum = 0;
		for (int k = -r; k <= r; k++) sum += get(k);
		for (int i = 0; i < n; i++) {
			(rows ? p.at(i, l) : p.at(l, i)) = uint8_t((sum + span / 2) / span);
			sum += get(i + r + 1) - get(i - r);
		}
	}
}

// Spread grows (or, negative, shrinks) the mask; blur is a Gaussian of
// deviation blur / 2, approximated by three box passes.
void spread_and_blur(Plane& p, const draw_engine::Shadow& s, uint8_t edge) {
	int spread = int(std::lround(s.spread));
	if (spread != 0) {
		extreme_pass(p, std::abs(spread), spread > 0, true);
		extreme_pass(p, std::abs(spread), spread > 0, false);
	}
	double sigma = s.blur / 2;
	if (sigma <= 0) return;
	int r = std::max(1, int(std::lround((std::sqrt(4 * sigma * sigma + 1) - 1) / 2)));
	for (int i = 0; i < 3; i++) {
		box_pass(p, r, true, edge);
		box_pass(p, r, false, edge);
	}
}

int reach(const draw_engine::Shadow& s) { return int(std::ceil(1.5 * s.blur + std::fabs(s.spread))) + 1; }

// Paints the plane as a mask of the colour, its top-left at device (x, y).
void paint_mask(cairo_t* cr, Plane& p, uint32_t colour, int x, int y) {
	cairo_surface_t* m = cairo_image_surface_create(CAIRO_FORMAT_A8, p.w, p.h);
	if (cairo_surface_status(m) == CAIRO_STATUS_SUCCESS) {
		uint8_t* d = cairo_image_surface_get_data(m);
		int stride = cairo_image_surface_get_stride(m);
		for (int row = 0; row < p.h; row++) std::copy_n(&p.at(0, row), p.w, d + size_t(row) * stride);
		cairo_surface_mark_dirty(m);
		draw_engine::set_source_colour(cr, colour);
		cairo_mask_surface(cr, m, x, y);
	}
	cairo_surface_destroy(m);
}

// The device-space box of user-space bounds, whole pixels.
Rect device_box(cairo_t* cr, double x1, double y1, double x2, double y2) {
	double xs[4] = {x1, x2, x1, x2}, ys[4] = {y1, y1, y2, y2};
	double lx = HUGE_VAL, ly = HUGE_VAL, hx = -HUGE_VAL, hy = -HUGE_VAL;
	for (int i = 0; i < 4; i++) {
		cairo_user_to_device(cr, &xs[i], &ys[i]);
		lx = std::fmin(lx, xs[i]), ly = std::fmin(ly, ys[i]);
		hx = std::fmax(hx, xs[i]), hy = std::fmax(hy, ys[i]);
	}
	lx = std::clamp(std::floor(lx) - 1, -1e9, 1e9), ly = std::clamp(std::floor(ly) - 1, -1e9, 1e9);
	hx = std::clamp(std::ceil(hx) + 1, -1e9, 1e9), hy = std::clamp(std::ceil(hy) + 1, -1e9, 1e9);
	return {int(lx), int(ly), int(std::fmax(0, hx - lx)), int(std::fmax(0, hy - ly))};
}

Rect intersect(Rect a, Rect b) {
	int x1 = std::max(a.x, b.x), y1 = std::max(a.y, b.y);
	int x2 = std::min(a.x + a.w, b.x + b.w), y2 = std::min(a.y + a.h, b.y + b.h);
	return {x1, y1, std::max(0, x2 - x1), std::max(0, y2 - y1)};
}

void paint_shadowed(Context& c, bool filled, const double* box) {
	cairo_t* cr = c.cr;
	// The shape's device bounds, cut to what the clip lets through widened
	// by the shadows' reach (a shape just outside still casts its shadow in).
	double e[4] = {0, 0, 0, 0};
	bool any = false;
	auto widen = [&](double x1, double y1, double x2, double y2) {
		if (x1 >= x2 && y1 >= y2) return;
		if (!any) e[0] = x1, e[1] = y1, e[2] = x2, e[3] = y2;
		e[0] = std::fmin(e[0], x1), e[1] = std::fmin(e[1], y1), e[2] = std::fmax(e[2], x2), e[3] = std::fmax(e[3], y2);
		any = true;
	};
	double x1, y1, x2, y2;
	if (filled && c.s.fill.kind != draw_engine::OFF) {
		cairo_fill_extents(cr, &x1, &y1, &x2, &y2);
		widen(x1, y1, x2, y2);
	}
	if (c.s.pen.kind != draw_engine::OFF) {
		cairo_stroke_extents(cr, &x1, &y1, &x2, &y2);
		widen(x1, y1, x2, y2);
	}
	if (!any) {
		cairo_new_path(cr);
		return;
	}
	Rect shape = device_box(cr, e[0], e[1], e[2], e[3]);
	int most = 0;
	for (const auto& s : c.s.shadows) most = std::max(most, reach(s) + int(std::ceil(std::fmax(std::fabs(s.dx), std::fabs(s.dy)))));
	cairo_clip_extents(cr, &x1, &y1, &x2, &y2);
	Rect clip = device_box(cr, x1, y1, x2, y2);
	Rect r = intersect(shape, {clip.x - most, clip.y - most, clip.w + 2 * most, clip.h + 2 * most});
	if (r.w == 0 || r.h == 0) {
		cairo_new_path(cr);
		return;
	}
	if (double(r.w + 2 * most) * double(r.h + 2 * most) > MAX_SHADOW_PIXELS) {
		paint_plain(c, filled, box);
		return;
	}

	// The shape alone, drawn with the same state onto its own surface.
	cairo_surface_t* alone = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, r.w, r.h);
	if (cairo_surface_status(alone) != CAIRO_STATUS_SUCCESS) {
		cairo_surface_destroy(alone);
		paint_plain(c, filled, box);
		return;
	}
	cairo_t* t = cairo_create(alone);
	cairo_matrix_t m, shift;
	cairo_get_matrix(cr, &m);
	cairo_matrix_init_translate(&shift, -r.x, -r.y);
	cairo_matrix_multiply(&m, &m, &shift);
	cairo_set_matrix(t, &m);
	cairo_set_line_width(t, cairo_get_line_width(cr));
	cairo_set_line_join(t, cairo_get_line_join(cr));
	cairo_set_line_cap(t, cairo_get_line_cap(cr));
	cairo_set_miter_limit(t, cairo_get_miter_limit(cr));
	cairo_set_fill_rule(t, cairo_get_fill_rule(cr));
	cairo_set_antialias(t, cairo_get_antialias(cr));
	cairo_set_tolerance(t, cairo_get_tolerance(cr));
	if (int n = cairo_get_dash_count(cr)) {
		std::vector<double> dashes(n);
		double offset;
		cairo_get_dash(cr, dashes.data(), &offset);
		cairo_set_dash(t, dashes.data(), n, offset);
	}
	cairo_path_t* path = cairo_copy_path(cr);
	cairo_new_path(cr);
	cairo_append_path(t, path);
	cairo_path_destroy(path);
	c.cr = t;
	paint_plain(c, filled, box);
	c.cr = cr;
	cairo_destroy(t);
	cairo_surface_flush(alone);

	const uint8_t* data = cairo_image_surface_get_data(alone);
	int stride = cairo_image_surface_get_stride(alone);
	auto alpha = [&](int x, int y) -> uint8_t {
		if (x < 0 || y < 0 || x >= r.w || y >= r.h) return 0;
		return reinterpret_cast<const uint32_t*>(data + size_t(y) * stride)[x] >> 24;
	};

	cairo_save(cr);
	cairo_identity_matrix(cr);
	// Outer shadows under the shape, the first listed on top.
	for (size_t i = c.s.shadows.size(); i-- > 0;) {
		const auto& s = c.s.shadows[i];
		if (s.inset) continue;
		int g = reach(s);
		Plane p(r.w + 2 * g, r.h + 2 * g, 0);
		for (int y = 0; y < r.h; y++)
			for (int x = 0; x < r.w; x++) p.at(x + g, y + g) = alpha(x, y);
		spread_and_blur(p, s, 0);
		paint_mask(cr, p, s.colour, r.x - g + int(std::lround(s.dx)), r.y - g + int(std::lround(s.dy)));
	}
	cairo_set_source_surface(cr, alone, r.x, r.y);
	cairo_paint(cr);
	// Inset shadows: the outside of the shape, moved in by the offset,
	// seen through the shape itself.
	for (size_t i = c.s.shadows.size(); i-- > 0;) {
		const auto& s = c.s.shadows[i];
		if (!s.inset) continue;
		int dx = int(std::lround(s.dx)), dy = int(std::lround(s.dy));
		Plane p(r.w, r.h, 0);
		for (int y = 0; y < r.h; y++)
			for (int x = 0; x < r.w; x++) p.at(x, y) = uint8_t(255 - alpha(x - dx, y - dy));
		spread_and_blur(p, s, 255);
		for (int y = 0; y < r.h; y++)
			for (int x = 0; x < r.w; x++) p.at(x, y) = uint8_t((p.at(x, y) * alpha(x, y) + 127) / 255);
		paint_mask(cr, p, s.colour, r.x, r.y);
	}
	cairo_restore(cr);
	cairo_surface_destroy(alone);
}

// Fill then outline, with the shadows in force unless `plain`.
void paint(Context& c, bool filled, const double* box, bool plain = false) {
	if (plain || c.s.shadows.empty())
		paint_plain(c, filled, box);
	else
		paint_shadowed(c, filled, box);
}

void ellipse_path(cairo_t* cr, double cx, double cy, double rx, double ry) {
	// Built under a scale, stroked after it is undone, so the pen keeps its width.
	cairo_new_sub_path(cr);
	if (rx <= 0 || ry <= 0) {
		cairo_move_to(cr, cx - rx, cy - ry);
		cairo_line_to(cr, cx + rx, cy + ry);
		return;
	}
	cairo_save(cr);
	cairo_translate(cr, cx, cy);
	cairo_scale(cr, rx, ry);
	cairo_arc(cr, 0, 0, 1, 0, 2 * PI);
	cairo_restore(cr);
	cairo_close_path(cr);
}

// The elliptic arc (centre, radii, rotation) from parametric angle t1 by dt.
void elliptic_arc(cairo_t* cr, double cx, double cy, double rx, double ry, double rotation, double t1, double dt) {
	cairo_save(cr);
	cairo_translate(cr, cx, cy);
	cairo_rotate(cr, rotation);
	cairo_scale(cr, rx, ry);
	if (dt >= 0)
		cairo_arc(cr, 0, 0, 1, t1, t1 + dt);
	else
		cairo_arc_negative(cr, 0, 0, 1, t1, t1 + dt);
	cairo_restore(cr);
}

double param_angle(double rx, double ry, double degrees) {
	double a = degrees * PI / 180;
	return std::atan2(rx * std::sin(a), ry * std::cos(a));
}

}  // namespace

void fill_and_stroke(Context& c) {
	if (!drawable(c)) return;
	paint(c, true, nullptr);
}

void line(Context& c, const Point* p, uint32_t n) {
	if (!drawable(c) || n < 2) return;
	cairo_move_to(c.cr, p[0].x, p[0].y);
	for (uint32_t i = 1; i < n; i++) cairo_line_to(c.cr, p[i].x, p[i].y);
	// With a fill pen the area up to the chord back to the start is filled;
	// the outline stays open. A single segment casts no shadow.
	paint(c, n > 2, nullptr, n == 2);
}

void box(Context& c, Point a, Point b, double radius) {
	if (!drawable(c)) return;
	double x1 = std::fmin(a.x, b.x), y1 = std::fmin(a.y, b.y);
	double x2 = std::fmax(a.x, b.x), y2 = std::fmax(a.y, b.y);
	double w = x2 - x1, h = y2 - y1;
	double r = std::fmin(std::fabs(radius), std::fmin(w, h) / 2);
	if (r > 0) {
		cairo_t* cr = c.cr;
		cairo_new_sub_path(cr);
		cairo_arc(cr, x2 - r, y1 + r, r, -PI / 2, 0);
		cairo_arc(cr, x2 - r, y2 - r, r, 0, PI / 2);
		cairo_arc(cr, x1 + r, y2 - r, r, PI / 2, PI);
		cairo_arc(cr, x1 + r, y1 + r, r, PI, 3 * PI / 2);
		cairo_close_path(cr);
	} else {
		cairo_rectangle(c.cr, x1, y1, w, h);
	}
	double bounds[4] = {x1, y1, x2, y2};
	paint(c, true, bounds);
}

void polygon(Context& c, const Point* p, uint32_t n) {
	if (!drawable(c) || n == 0) return;
	cairo_move_to(c.cr, p[0].x, p[0].y);
	for (uint32_t i = 1; i < n; i++) cairo_line_to(c.cr, p[i].x, p[i].y);
	cairo_close_path(c.cr);
	paint(c, true, nullptr);
}

void ellipse(Context& c, double cx, double cy, double rx, double ry) {
	if (!drawable(c)) return;
	rx = std::fabs(rx), ry = std::fabs(ry);
	ellipse_path(c.cr, cx, cy, rx, ry);
	double bounds[4] = {cx - rx, cy - ry, cx + rx, cy + ry};
	paint(c, true, bounds);
}

void arc(Context& c, Point centre, double rx, double ry, double start, double sweep, bool closed) {
	if (!drawable(c)) return;
	if (sweep >= 359.999 || sweep <= -359.999) {
		ellipse(c, centre.x, centre.y, rx, ry);
		return;
	}
	rx = std::fabs(rx), ry = std::fabs(ry);
	if (rx == 0 || ry == 0) return;
	double t1 = param_angle(rx, ry, start);
	double t2 = param_angle(rx, ry, start + sweep);
	// The parametric angle grows with the polar one: go the sweep's way.
	double dt = sweep >= 0 ? std::fmod(t2 - t1 + 4 * PI, 2 * PI) : -std::fmod(t1 - t2 + 4 * PI, 2 * PI);
	if (sweep == 0) dt = 0;
	if (closed) {
		cairo_move_to(c.cr, centre.x, centre.y);
	} else {
		cairo_new_sub_path(c.cr);
	}
	elliptic_arc(c.cr, centre.x, centre.y, rx, ry, 0, t1, dt);
	if (closed) cairo_close_path(c.cr);
	paint(c, closed, nullptr);
}

void curve(Context& c, const Point* p, uint32_t n) {
	if (!drawable(c) || n < 3) return;
	cairo_move_to(c.cr, p[0].x, p[0].y);
	if (n == 3) {
		// Quadratic as cubic: controls two thirds of the way to the control point.
		cairo_curve_to(c.cr, p[0].x + 2.0 / 3 * (p[1].x - p[0].x), p[0].y + 2.0 / 3 * (p[1].y - p[0].y),
			p[2].x + 2.0 / 3 * (p[1].x - p[2].x), p[2].y + 2.0 / 3 * (p[1].y - p[2].y), p[2].x, p[2].y);
	} else {
		cairo_curve_to(c.cr, p[1].x, p[1].y, p[2].x, p[2].y, p[3].x, p[3].y);
	}
	paint(c, false, nullptr);
}

void spline(Context& c, const Point* p, uint32_t n, bool closed) {
	if (!drawable(c) || n < 2) return;
	if (n == 2) {
		line(c, p, 2);
		return;
	}
	cairo_t* cr = c.cr;
	cairo_move_to(cr, p[0].x, p[0].y);
	auto span = [&](Point p0, Point p1, Point p2, Point p3) {
		for (int k = 1; k <= 25; k++) {
			double t = k * 0.04, t2 = t * t, t3 = t2 * t;
			double x = 0.5 * (2 * p1.x + (p2.x - p0.x) * t + (2 * p0.x - 5 * p1.x + 4 * p2.x - p3.x) * t2 +
				(3 * (p1.x - p2.x) + p3.x - p0.x) * t3);
			double y = 0.5 * (2 * p1.y + (p2.y - p0.y) * t + (2 * p0.y - 5 * p1.y + 4 * p2.y - p3.y) * t2 +
				(3 * (p1.y - p2.y) + p3.y - p0.y) * t3);
			cairo_line_to(cr, x, y);
		}
	};
	if (closed) {
		for (uint32_t i = 0; i < n; i++)
			span(p[(i + n - 1) % n], p[i], p[(i + 1) % n], p[(i + 2) % n]);
		cairo_close_path(cr);
	} else {
		for (uint32_t i = 0; i + 1 < n; i++)
			span(p[i == 0 ? 0 : i - 1], p[i], p[i + 1], p[i + 2 < n ? i + 2 : n - 1]);
	}
	paint(c, true, nullptr);
}

namespace {

// The projective map of the unit square onto the quadrilateral q (corners
// for (0,0), (1,0), (1,1), (0,1)), as the 3x3 matrix rows [a b c][d e f][g h 1].
void square_to_quad(const Point* q, double m[9]) {
	double sx = q[0].x - q[1].x + q[2].x - q[3].x, sy = q[0].y - q[1].y + q[2].y - q[3].y;
	double g = 0, h = 0;
	if (sx != 0 || sy != 0) {
		double dx1 = q[1].x - q[2].x, dx2 = q[3].x - q[2].x, dy1 = q[1].y - q[2].y, dy2 = q[3].y - q[2].y;
		double den = dx1 * dy2 - dx2 * dy1;
		if (den != 0) {
			g = (sx * dy2 - dx2 * sy) / den;
			h = (dx1 * sy - sx * dy1) / den;
		}
	}
	m[0] = q[1].x - q[0].x + g * q[1].x, m[1] = q[3].x - q[0].x + h * q[3].x, m[2] = q[0].x;
	m[3] = q[1].y - q[0].y + g * q[1].y, m[4] = q[3].y - q[0].y + h * q[3].y, m[5] = q[0].y;
	m[6] = g, m[7] = h, m[8] = 1;
}

bool invert3(const double m[9], double r[9]) {
	double a = m[4] * m[8] - m[5] * m[7], b = m[5] * m[6] - m[3] * m[8], d = m[3] * m[7] - m[4] * m[6];
	double det = m[0] * a + m[1] * b + m[2] * d;
	if (det == 0 || !std::isfinite(det)) return false;
	r[0] = a / det, r[1] = (m[2] * m[7] - m[1] * m[8]) / det, r[2] = (m[1] * m[5] - m[2] * m[4]) / det;
	r[3] = b / det, r[4] = (m[0] * m[8] - m[2] * m[6]) / det, r[5] = (m[2] * m[3] - m[0] * m[5]) / det;
	r[6] = d / det, r[7] = (m[1] * m[6] - m[0] * m[7]) / det, r[8] = (m[0] * m[4] - m[1] * m[3]) / det;
	return true;
}

// Cairo has no perspective: the source is resampled into a surface over
// the quadrilateral's bounds, then painted there.
void warp(Context& c, cairo_surface_t* src, double sx, double sy, double sw, double sh, const Point* q) {
	double m[9], inv[9];
	square_to_quad(q, m);
	if (!invert3(m, inv)) return;
	double x0 = q[0].x, y0 = q[0].y, x1 = x0, y1 = y0;
	for (int i = 1; i < 4; i++) {
		x0 = std::fmin(x0, q[i].x), y0 = std::fmin(y0, q[i].y);
		x1 = std::fmax(x1, q[i].x), y1 = std::fmax(y1, q[i].y);
	}
	x0 = std::floor(x0), y0 = std::floor(y0);
	double w = std::ceil(x1) - x0, h = std::ceil(y1) - y0;
	if (!(w >= 1 && h >= 1) || w > MAX_WARP_SIDE || h > MAX_WARP_SIDE) return;
	cairo_surface_t* out = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, int(w), int(h));
	if (cairo_surface_status(out) != CAIRO_STATUS_SUCCESS) {
		cairo_surface_destroy(out);
		return;
	}
	cairo_surface_flush(src);
	const uint8_t* sp = cairo_image_surface_get_data(src);
	int sstride = cairo_image_surface_get_stride(src);
	int swidth = cairo_image_surface_get_width(src), sheight = cairo_image_surface_get_height(src);
	uint8_t* op = cairo_image_surface_get_data(out);
	int ostride = cairo_image_surface_get_stride(out);
	for (int y = 0; y < int(h); y++) {
		uint32_t* row = reinterpret_cast<uint32_t*>(op + size_t(y) * ostride);
		for (int x = 0; x < int(w); x++) {
			double px = x0 + x + 0.5, py = y0 + y + 0.5;
			double den = inv[6] * px + inv[7] * py + inv[8];
			if (den == 0) continue;
			double u = (inv[0] * px + inv[1] * py + inv[2]) / den, v = (inv[3] * px + inv[4] * py + inv[5]) / den;
			if (!(u >= 0 && u < 1 && v >= 0 && v < 1)) continue;
			int ix = std::clamp(int(sx + u * sw), 0, swidth - 1), iy = std::clamp(int(sy + v * sh), 0, sheight - 1);
			row[x] = reinterpret_cast<const uint32_t*>(sp + size_t(iy) * sstride)[ix];
		}
	}
	cairo_surface_mark_dirty(out);
	cairo_set_source_surface(c.cr, out, x0, y0);
	cairo_paint(c.cr);
	cairo_surface_destroy(out);
}

}  // namespace

void bitmap(Context& c, cairo_surface_t* surface, double sx, double sy, double sw, double sh, Point a, Point b,
	const Point* quad) {
	if (!drawable(c) || sw <= 0 || sh <= 0) return;
	if (quad) {
		warp(c, surface, sx, sy, sw, sh, quad);
		return;
	}
	double dw = b.x - a.x, dh = b.y - a.y;
	if (dw == 0 || dh == 0) return;
	cairo_t* cr = c.cr;
	cairo_pattern_t* pattern = cairo_pattern_create_for_surface(surface);
	// Padding repeats the border pixels past the source rectangle, so a
	// stretched image keeps its edge colour instead of fading to clear.
	cairo_pattern_set_extend(pattern, CAIRO_EXTEND_PAD);
	bool scaled = std::fabs(dw) != sw || std::fabs(dh) != sh;
	cairo_pattern_set_filter(pattern, scaled ? CAIRO_FILTER_GOOD : CAIRO_FILTER_NEAREST);
	cairo_matrix_t m;  // user space to source pixels
	cairo_matrix_init_translate(&m, sx, sy);
	cairo_matrix_scale(&m, sw / dw, sh / dh);
	cairo_matrix_translate(&m, -a.x, -a.y);
	cairo_pattern_set_matrix(pattern, &m);
	cairo_set_source(cr, pattern);
	cairo_rectangle(cr, std::fmin(a.x, b.x), std::fmin(a.y, b.y), std::fabs(dw), std::fabs(dh));
	cairo_fill(cr);
	cairo_pattern_destroy(pattern);
}

void clip_rect(Context& c, Point a, Point b) {
	if (c.s.singular) return;
	cairo_new_path(c.cr);
	cairo_rectangle(c.cr, std::fmin(a.x, b.x), std::fmin(a.y, b.y), std::fabs(b.x - a.x), std::fabs(b.y - a.y));
	cairo_clip(c.cr);
}

void clip_path(Context& c) {
	if (c.s.singular) {
		cairo_new_path(c.cr);
		return;
	}
	cairo_clip(c.cr);
}

// ---- Paths of the shape sub-dialect ----

namespace {

Point at(Context& c, Point p, bool relative) { return relative ? Point{c.px + p.x, c.py + p.y} : p; }

void segment_to(Context& c, Point p) {
	cairo_line_to(c.cr, p.x, p.y);
	c.px = p.x, c.py = p.y;
	c.has_control = false;
}

}  // namespace

void path_begin(Context& c) {
	cairo_new_path(c.cr);
	c.px = c.py = 0;
	c.has_control = false;
	cairo_move_to(c.cr, 0, 0);
}

void path_move(Context& c, Point p, bool relative) {
	p = at(c, p, relative);
	cairo_move_to(c.cr, p.x, p.y);
	c.px = p.x, c.py = p.y;
	c.has_control = false;
}

void path_line(Context& c, Point p, bool relative) { segment_to(c, at(c, p, relative)); }
void path_hline(Context& c, double x, bool relative) { segment_to(c, {relative ? c.px + x : x, c.py}); }
void path_vline(Context& c, double y, bool relative) { segment_to(c, {c.px, relative ? c.py + y : y}); }

void path_arc(Context& c, Point end, double rx, double ry, double angle, bool sweep, bool large, bool relative) {
	// Endpoint to centre form of an elliptic arc.
	end = at(c, end, relative);
	double x1 = c.px, y1 = c.py;
	rx = std::fabs(rx), ry = std::fabs(ry);
	if ((x1 == end.x && y1 == end.y)) return;
	if (rx == 0 || ry == 0) {
		segment_to(c, end);
		return;
	}
	double phi = angle * PI / 180, cs = std::cos(phi), sn = std::sin(phi);
	double dx = (x1 - end.x) / 2, dy = (y1 - end.y) / 2;
	double x1p = cs * dx + sn * dy, y1p = -sn * dx + cs * dy;
	double lambda = (x1p * x1p) / (rx * rx) + (y1p * y1p) / (ry * ry);
	if (lambda > 1) {
		double s = std::sqrt(lambda);
		rx *= s, ry *= s;
	}
	double num = rx * rx * ry * ry - rx * rx * y1p * y1p - ry * ry * x1p * x1p;
	double den = rx * rx * y1p * y1p + ry * ry * x1p * x1p;
	double k = den == 0 ? 0 : std::sqrt(std::fmax(0, num / den));
	if (large == sweep) k = -k;
	double cxp = k * rx * y1p / ry, cyp = -k * ry * x1p / rx;
	double cx = cs * cxp - sn * cyp + (x1 + end.x) / 2, cy = sn * cxp + cs * cyp + (y1 + end.y) / 2;
	double t1 = std::atan2((y1p - cyp) / ry, (x1p - cxp) / rx);
	double t2 = std::atan2((-y1p - cyp) / ry, (-x1p - cxp) / rx);
	double dt = t2 - t1;
	if (sweep && dt < 0) dt += 2 * PI;
	if (!sweep && dt > 0) dt -= 2 * PI;
	elliptic_arc(c.cr, cx, cy, rx, ry, phi, t1, dt);
	c.px = end.x, c.py = end.y;
	c.has_control = false;
}

void path_curve(Context& c, Point c1, Point c2, Point end, bool relative) {
	c1 = at(c, c1, relative), c2 = at(c, c2, relative), end = at(c, end, relative);
	cairo_curve_to(c.cr, c1.x, c1.y, c2.x, c2.y, end.x, end.y);
	c.cx = c2.x, c.cy = c2.y, c.has_control = true, c.quadratic_control = false;
	c.px = end.x, c.py = end.y;
}

void path_curv(Context& c, Point c2, Point end, bool relative) {
	Point c1 = c.has_control ? Point{2 * c.px - c.cx, 2 * c.py - c.cy} : Point{c.px, c.py};
	c2 = at(c, c2, relative), end = at(c, end, relative);
	path_curve(c, c1, c2, end, false);
}

void path_qcurve(Context& c, Point q, Point end, bool relative) {
	q = at(c, q, relative), end = at(c, end, relative);
	double x0 = c.px, y0 = c.py;
	cairo_curve_to(c.cr, x0 + 2.0 / 3 * (q.x - x0), y0 + 2.0 / 3 * (q.y - y0), end.x + 2.0 / 3 * (q.x - end.x),
		end.y + 2.0 / 3 * (q.y - end.y), end.x, end.y);
	c.cx = q.x, c.cy = q.y, c.has_control = true, c.quadratic_control = true;
	c.px = end.x, c.py = end.y;
}

void path_qcurv(Context& c, Point end, bool relative) {
	Point q = c.has_control ? Point{2 * c.px - c.cx, 2 * c.py - c.cy} : Point{c.px, c.py};
	end = at(c, end, relative);
	path_qcurve(c, q, end, false);
}

void path_close(Context& c) {
	cairo_close_path(c.cr);
	cairo_move_to(c.cr, c.px, c.py);
	c.has_control = false;
}

void path_end(Context& c) { fill_and_stroke(c); }

}  // namespace vyn::draw_primitives
