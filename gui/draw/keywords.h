// The keywords of the draw, shape and rich-text style dialects, as
// canonical symbols: a keyword matches a word in any letter case.
#pragma once

#include <cstdint>

#define VYN_DRAW_KEYWORDS(X)                                                                               \
	X(line, "line") X(line_width, "line-width") X(box, "box") X(triangle, "triangle") X(pen, "pen")          \
	X(fill_pen, "fill-pen") X(polygon, "polygon") X(circle, "circle") X(anti_alias, "anti-alias")           \
	X(font, "font") X(ellipse, "ellipse") X(arc, "arc") X(curve, "curve") X(spline, "spline")               \
	X(line_join, "line-join") X(line_cap, "line-cap") X(line_pattern, "line-pattern") X(matrix, "matrix")   \
	X(invert_matrix, "invert-matrix") X(reset_matrix, "reset-matrix") X(push, "push") X(clip, "clip")       \
	X(replace, "replace") X(intersect, "intersect") X(union_, "union") X(xor_, "xor") X(exclude, "exclude") \
	X(rotate, "rotate") X(scale, "scale") X(translate, "translate") X(skew, "skew")                         \
	X(transform, "transform") X(shape, "shape") X(curv, "curv") X(hline, "hline") X(vline, "vline")         \
	X(move, "move") X(qcurv, "qcurv") X(qcurve, "qcurve") X(sweep, "sweep") X(large, "large")               \
	X(close, "close") X(off, "off") X(closed, "closed") X(miter, "miter") X(miter_bevel, "miter-bevel")     \
	X(round, "round") X(bevel, "bevel") X(square, "square") X(flat, "flat") X(border, "border")             \
	X(repeat, "repeat") X(reflect, "reflect") X(linear, "linear") X(radial, "radial")                       \
	X(diamond, "diamond") X(pattern, "pattern") X(bitmap, "bitmap") X(pad, "pad") X(tile, "tile")           \
	X(flip_x, "flip-x") X(flip_y, "flip-y") X(flip_xy, "flip-xy") X(clamp, "clamp") X(shadow, "shadow")     \
	X(inset, "inset") X(text, "text") X(image, "image") X(crop, "crop") X(bold, "bold")                     \
	X(italic, "italic") X(underline, "underline") X(strike, "strike") X(backdrop, "backdrop")

namespace vyn::draw_keywords {

#define VYN_DECLARE_KEYWORD(id, text) extern uint32_t id;
VYN_DRAW_KEYWORDS(VYN_DECLARE_KEYWORD)
#undef VYN_DECLARE_KEYWORD

// Makes the symbols (after the symbol table exists); again only when the
// symbol table was made anew since (a runtime restarted by the tests).
void init();
// Counts the times init made the symbols, for tables built on them.
extern uint32_t generation;

}  // namespace vyn::draw_keywords
