// The GUI backend: what the script layer's platform routines ask of the
// window system. Two implementations sit behind it, chosen once at start:
// GTK when a display can be opened, headless otherwise (no display, or
// VYN_HEADLESS=1). No GTK, Cairo or Pango type appears outside their own
// folders; what they need of a face comes through a View record.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
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

// A scroll bar of a face's own (a window's, a panel's), as its scroller!
// object sets it: positions run from 1 to `max`, `page` of them shown.
struct ScrollBar {
	bool vertical = true, visible = true;
	int32_t position = 1, page = 1, max = 1;
};

struct View;

// What the system's file or folder dialog is asked for. Paths are UTF-8.
struct FileRequest {
	std::string title;    // empty: the system's own
	std::string name;     // the initial file, or folder (ending in "/")
	std::vector<std::pair<std::string, std::string>> filters;  // name, patterns split by ';'
	bool save = false, multi = false, folder = false, keep = false;
};

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
	// A list's or tab panel's items (view.items) changed in place.
	virtual void items_changed(View&) {}
	// A calendar's selected day: shown, and read back.
	virtual void calendar_show(View& view, int32_t year, int32_t month, int32_t day) = 0;
	virtual void calendar_read(View& view, int32_t* year, int32_t* month, int32_t* day) = 0;
	// Runs the dialog; false when it was cancelled (and always without a
	// display).
	virtual bool request_files(const FileRequest&, std::vector<std::string>* /*chosen*/) { return false; }
	// Runs the font dialog from `start` (fixed-pitch fonts only with `mono`);
	// false when it was cancelled (and always without a display).
	virtual bool request_font(const Font& /*start*/, bool /*mono*/, Font* /*chosen*/) { return false; }
	// The items the native control shows (the view's own without one).
	virtual std::vector<std::string> shown_items(View& view);
	// Paints the face again soon (its `drawing` actor runs in that paint).
	virtual void redraw(View&) {}
	virtual bool dark_mode_supported() = 0;
	// Dark or light theme for the face's window (and the application's
	// controls: the window system has one theme variant per application).
	virtual void set_dark_mode(View&, bool) {}
	// The face's para! changed: alignment and wrapping apply anew.
	virtual void para_changed(View&) {}
	// A scroller! object of the face changed.
	virtual void scroll_bar_changed(View&, const ScrollBar&) {}
	// True while input can arrive from outside (a window is open): a
	// waiting event loop then waits even without timers or queued events.
	virtual bool delivers_input() { return false; }
};

// The backend chosen at its first use: GTK when a display can be opened
// and VYN_HEADLESS is not 1, headless otherwise.
Backend& current();

}  // namespace vyn::backend
