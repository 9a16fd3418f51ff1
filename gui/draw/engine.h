// The draw engine: one drawing pass on a Cairo context and the state the
// draw dialect changes during it (pens, lines, font, transform).
//
// Invariants:
//  - `Context::s.matrix` is the drawing transform the dialect sees, relative
//    to `base` (the transform in force when the pass opened). Cairo keeps
//    base x matrix as its own; when the product is singular, `s.singular` is
//    set, Cairo keeps the last invertible one, and shapes draw nothing.
//  - Scoped blocks are cairo_save/cairo_restore plus a copy of `State`, which
//    holds one reference to each pattern and font it names.
//  - Stroke settings (width, join, cap, dash) and anti-aliasing live in the
//    Cairo state and are set the moment they change; dash lengths are in
//    units of the line width, so a width change resets the dashes.
//  - The fill rule is even-odd for the whole pass.
#pragma once

#include <cairo.h>
#include <pango/pango.h>

#include <cstdint>
#include <vector>

#include "runtime/cell.h"

namespace vyn::draw_engine {

// Brush kinds of pens and fill pens.
enum Kind : int32_t { OFF = 0, SOLID = 1, GRADIENT = 2, FITTED = 3, IMAGE = 4 };

struct Brush {
	int32_t kind = OFF;
	uint32_t colour = 0;               // tuple form: R | G << 8 | B << 16 | transparency << 24
	cairo_pattern_t* pattern = nullptr;  // kinds 2-4, one reference
	uint32_t gradient = 0;             // canonical symbol linear, radial or diamond; 0 for others
	cairo_matrix_t transform;          // brush space to user space
};

// A shadow under (or, inset, inside) the shapes drawn while it is in force;
// offset, blur and spread count in device pixels.
struct Shadow {
	double dx = 0, dy = 0, blur = 0, spread = 0;
	uint32_t colour = 0;
	bool inset = false;
};

struct State {
	Brush pen, fill;
	int32_t saved_pen_kind = OFF;  // the pen kind a zero line width suspended
	double line_width = 1.0;
	std::vector<double> dashes;    // in line widths; empty: solid
	uint32_t text_colour = 0;
	bool text_colour_fixed = false;  // the font carries its own colour
	uint32_t decorations = 0;        // bit 0 underline, bit 1 strike-out
	PangoFontDescription* font = nullptr;  // owned copy; null: the default font
	cairo_matrix_t matrix;
	bool singular = false;
	std::vector<Shadow> shadows;  // several stack; empty: none in force
};

struct Context {
	cairo_t* cr = nullptr;
	cairo_matrix_t base;
	State s;
	// The path the shape sub-dialect builds.
	double px = 0, py = 0;      // current point
	double cx = 0, cy = 0;      // last control point
	bool has_control = false;
	bool quadratic_control = false;  // the last control point was a quadratic one
	int32_t depth = 0;          // nested patterns, to bound recursion through pattern pens
};

// A save record of a scoped block.
struct Saved {
	State s;
};

// Colour conversion of a tuple cell to the 32-bit tuple form (3 bytes:
// opaque).
uint32_t colour_of(const Cell* tuple);
void set_source_colour(cairo_t* cr, uint32_t colour);

// Opens a pass on `cr`: default state (pen black, fill off, width 1).
void begin(Context& c, cairo_t* cr);
// Closes it, releasing what the state holds.
void end(Context& c);

void state_push(Context& c, Saved& saved);
void state_pop(Context& c, Saved& saved);

void set_pen(Context& c, uint32_t colour, bool off);
void set_fill_pen(Context& c, uint32_t colour, bool off);
// Replaces the pen or fill pen by a pattern brush (its reference is taken).
void set_pattern_brush(Context& c, bool fill, cairo_pattern_t* pattern, int32_t kind, uint32_t gradient);
void set_line_width(Context& c, double width);
void set_line_join(Context& c, uint32_t keyword);
void set_line_cap(Context& c, uint32_t keyword);
void set_line_pattern(Context& c, const double* lengths, uint32_t count);
void set_anti_alias(Context& c, bool on);
// Adds a shadow to those in force; `shadows_off` clears them all.
void add_shadow(Context& c, const Shadow& shadow);
void shadows_off(Context& c);
// The font of later text: family, size in points, style flags and colour
// (has_colour false: text follows the pen).
void set_font(Context& c, PangoFontDescription* font, uint32_t decorations, bool has_colour, uint32_t colour);

// Transforms. `target` is 0 for the drawing transform, else the canonical
// symbol pen or fill-pen (then only brushes of kind 2 or more change).
// `m` applies first, in the coordinate system already in force.
void matrix_prepend(Context& c, uint32_t target, const cairo_matrix_t& m);
void matrix_reset(Context& c, uint32_t target);
void matrix_invert(Context& c, uint32_t target);

// Makes the brush the Cairo source for a shape whose box (user space) is
// given; fitted brushes span the box.
void use_brush(Context& c, const Brush& b, double x1, double y1, double x2, double y2);

// Matrix helpers.
cairo_matrix_t rotation_about(double degrees, double cx, double cy);
cairo_matrix_t scaling_about(double sx, double sy, double cx, double cy);
cairo_matrix_t skewing(double x_degrees, double y_degrees);

}  // namespace vyn::draw_engine
