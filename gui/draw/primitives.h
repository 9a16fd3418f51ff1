// The draw primitives: shapes, paths, clips and bitmaps on an open pass,
// drawn with the context's pens, line settings and transform. Every
// closed or filled figure is filled first, then outlined.
#pragma once

#include <cairo.h>

#include <cstdint>

#include "gui/draw/engine.h"

namespace vyn::draw_primitives {

using draw_engine::Context;

struct Point {
	double x, y;
};

// A polyline; two points: one segment, never filled.
void line(Context& c, const Point* p, uint32_t n);
// A rectangle between two corners in any order; rounded when radius != 0
// (the radius is clamped to half the shorter side).
void box(Context& c, Point a, Point b, double radius);
void polygon(Context& c, const Point* p, uint32_t n);
// The ellipse of radii (rx, ry) about the centre.
void ellipse(Context& c, double cx, double cy, double rx, double ry);
// Angles in degrees, clockwise on screen; a sweep of 360 or more draws the
// whole ellipse; closed draws the pie.
void arc(Context& c, Point centre, double rx, double ry, double start, double sweep, bool closed);
// Quadratic with three points, cubic with four; never filled.
void curve(Context& c, const Point* p, uint32_t n);
// Catmull-Rom spline through the points.
void spline(Context& c, const Point* p, uint32_t n, bool closed);

// A premultiplied ARGB32 surface drawn into the destination: the source
// rectangle (sx, sy, sw, sh) of the surface onto the rectangle between
// `a` and `b`, or onto the quadrilateral of four corners (top-left,
// top-right, bottom-right, bottom-left) when `quad` is given. Edges are
// padded, not faded.
void bitmap(Context& c, cairo_surface_t* surface, double sx, double sy, double sw, double sh, Point a, Point b,
	const Point* quad);

// Narrows the clip to the rectangle, or to the path built by the shape
// operations when `path` is set.
void clip_rect(Context& c, Point a, Point b);
void clip_path(Context& c);

// The shape sub-dialect's path: begin, segments, then end (fill and stroke).
void path_begin(Context& c);
void path_move(Context& c, Point p, bool relative);
void path_line(Context& c, Point p, bool relative);
void path_hline(Context& c, double x, bool relative);
void path_vline(Context& c, double y, bool relative);
void path_arc(Context& c, Point end, double rx, double ry, double angle, bool sweep, bool large, bool relative);
void path_curve(Context& c, Point c1, Point c2, Point end, bool relative);
// Smooth cubic: the first control point mirrors the last one.
void path_curv(Context& c, Point c2, Point end, bool relative);
void path_qcurve(Context& c, Point q, Point end, bool relative);
void path_qcurv(Context& c, Point end, bool relative);
void path_close(Context& c);
void path_end(Context& c);

// Fills then outlines Cairo's current path with the pens, and clears it.
void fill_and_stroke(Context& c);

}  // namespace vyn::draw_primitives
