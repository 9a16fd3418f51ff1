// Camera faces: frames from a capture device, taken on a capture thread
// and handed to the GUI thread through one atomic state word.
//
// Frame state (the only value both threads write):
//   0 idle: frames are dropped     1 armed: the next frame is wanted
//   3 copying: the capture thread writes the buffer
//   2 ready: a whole frame is in the buffer
// The capture thread moves 1 -> 3 (compare-and-swap) -> 2; the GUI thread
// 0 -> 1, 2 -> 0 and 1 -> 0 (compare-and-swap). The GUI thread reads the
// buffer only in state 2, the capture thread writes it only in state 3.
//
// Devices are V4L2's video capture devices; with VYN_FAKE_CAMERA set (to
// any non-empty value) there is one fake device instead, whose frame n is
// 64x48 pixels of red 4x, green 4y and blue n mod 256, opaque.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "gui/backend/views.h"

namespace vyn::camera {

using backend::View;

// The capture devices' names; with none, prints "No video capture
// hardware" and answers an empty list.
std::vector<std::string> devices();

// A camera view made: its `data` takes the device names (a block of
// strings); an integer `selected` opens that device and runs it.
void made(View& v);
// `selected` changed: none closes the capture; an integer opens that
// 1-based device (out of range raises access error cannot-open).
void select(View& v);
// `image` set to none: waits (3 s at most) for the next frame and puts it
// in `image`; none when no frame came.
void grab(View& v);
// The view goes: the capture stops.
void destroyed(View& v);

// The live picture for a preview: the latest frame's pixels (A R G B
// words, row after row) and size; false without one. Never waits on the
// capture thread.
bool latest(const View& v, std::vector<uint32_t>* pixels, uint32_t* width, uint32_t* height);

}  // namespace vyn::camera
