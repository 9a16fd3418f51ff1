// Text through Pango: the draw dialect's `text` and `font`, and the
// layouts of rich-text faces (built from the face's text, font, para and
// style block) with the geometric queries of text-box-metrics.
//
// Character positions of the language become UTF-8 byte offsets of the
// layout directly, through a table made once per layout.
#pragma once

#include "gui/draw/engine.h"
#include "runtime/cell.h"

namespace vyn::text_box {

// Makes `font` (a font! object) the font of later text.
void use_font(draw_engine::Context& c, const Cell* font);
// Draws the string with the context's font and text colour at (x, y).
bool draw_string(draw_engine::Context& c, double x, double y, Cell* text);
// Draws a face's text (a rich-text face keeps its layout): its colour
// fills its size first. False when the face has no text to lay out.
bool draw_face(draw_engine::Context& c, double x, double y, const Cell* face);

// Queries of text-box-metrics.
enum Query : int32_t {
	CARET_TOP_LEFT = 0, OFFSET_OF_POINT = 1, LINE_HEIGHT = 2, SIZE = 3, LINE_COUNT = 4, INDEX_AT_POINT = 5,
	CARET_BOTTOM_RIGHT = 6
};
// Answers the query on the face's layout in `out` (made or reused as the
// face's `handles` says); none when the face's text is no string.
void metrics(const Cell* face, const Cell* arg, int32_t query, Cell* out);

// The externals class of layouts held by handle! values; made once.
void init();

}  // namespace vyn::text_box
