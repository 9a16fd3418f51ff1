// The GUI backend: what the script layer's platform routines ask of the
// window system. Two implementations sit behind it, chosen once at start:
// GTK when a display can be opened, headless otherwise (no display, or
// VYN_HEADLESS=1). No GTK, Cairo or Pango type appears outside their own
// folders; what they need of a face comes through a View record.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vyn::backend {

// A display: its position and size in device pixels and its scale factor.
struct Screen {
	int32_t x = 0, y = 0, width = 0, height = 0;
	double scale = 1.0;
};

// A font as the face's font! object describes it; an empty family is the
// system font, size 0 its size (points).
struct Font {
	std::string family;
	double size = 0;
	bool bold = false, italic = false, underline = false, strike = false;
};

struct View;

class Backend {
public:
	virtual ~Backend() = default;
	virtual const char* name() const = 0;
	// The displays, the first one primary; never empty.
	virtual std::vector<Screen> screens() = 0;
	// The index in screens() of the display under the pointer.
	virtual uint32_t current_screen() = 0;
	virtual double dpi() = 0;
	// The family and size in points of the system's message font.
	virtual Font system_font() = 0;
	// The size of the text drawn in the font, in logical pixels.
	virtual void text_size(const Font& font, std::string_view utf8, double* width, double* height) = 0;
	// The native side of a face's view: made, changed (bits of the facets
	// applied), destroyed, a window shown.
	virtual void view_made(View& view) = 0;
	virtual void view_changed(View& view, uint32_t bits) = 0;
	virtual void view_destroyed(View& view) = 0;
	virtual void window_shown(View& view) = 0;
	// Paints the face again soon (its `drawing` actor runs in that paint).
	virtual void redraw(View&) {}
	virtual bool dark_mode_supported() = 0;
	// True while input can arrive from outside (a window is open): a
	// waiting event loop then waits even without timers or queued events.
	virtual bool delivers_input() { return false; }
};

// The backend chosen at its first use: GTK when a display can be opened
// and VYN_HEADLESS is not 1, headless otherwise.
Backend& current();

}  // namespace vyn::backend
