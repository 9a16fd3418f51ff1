// The draw engine's routines, which gui/draw.vyn puts into the platform
// object as draw-image, draw-face and text-box-metrics.
#pragma once

namespace vyn::draw_routines {

// Defines the routines as global words (start-up).
void define_all();

}  // namespace vyn::draw_routines
