// Drawing passes: the draw dialect rendered onto an image! or onto a Cairo
// context handed over by the GUI backend for a face's paint.
#pragma once

#include "runtime/cell.h"

typedef struct _cairo cairo_t;

namespace vyn::draw {

// Renders the block onto the image (nothing for a 0-sized image or an empty
// block). The pixels go back into the image also when an error ends the
// draw, which then reaches the caller; in silent mode the draw just ends.
void draw_image(const Cell* image, const Cell* block);

// One paint of a face on a backend's Cairo context (a window's back buffer
// or a face captured into an image): opening it paints the face's own
// background (its colour or clear, its image stretched to its size, its
// text); `run` draws blocks on it, printing and dropping their errors;
// closing it ends the pass. While it is open, `draw-face` on the same face
// draws on it (an `on-drawing` actor's calls); with none open it does
// nothing.
class FacePaint {
public:
	FacePaint(cairo_t* cr, const Cell* face);
	~FacePaint();
	FacePaint(const FacePaint&) = delete;
	FacePaint& operator=(const FacePaint&) = delete;

	void run(const Cell* block);

private:
	friend void draw_face(const Cell* face, const Cell* block);
	struct State;
	State* state_;
	FacePaint* outer_;
};

// A face's whole paint: background, then its `draw` facet when a block.
void paint_face(cairo_t* cr, const Cell* face);

// The rendering of a base or rich-text face with a live view into a new
// image of its size (`to image!` on a face); false for any other value.
bool face_image(const Cell* face, Cell* out);

// draw-face: draws on the open paint of that face, else does nothing.
void draw_face(const Cell* face, const Cell* block);

}  // namespace vyn::draw
