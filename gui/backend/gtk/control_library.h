// The GTK functions of the value controls (slider, progress, scroller),
// the scroll bars of faces, paragraph styles, cue banners and dark mode:
// looked up in the GTK that the backend has already loaded (gtk_library),
// in a table of their own.
#pragma once

#include <gtk/gtk.h>

#define VYN_GTK_CONTROL_FUNCTIONS(X) \
	X(gtk_scale_new) \
	X(gtk_scale_set_draw_value) \
	X(gtk_css_provider_new) \
	X(gtk_css_provider_load_from_data) \
	X(gtk_style_context_add_provider) \
	X(gtk_widget_get_style_context) \
	X(gtk_scrollbar_new) \
	X(gtk_range_get_adjustment) \
	X(gtk_range_set_inverted) \
	X(gtk_range_set_round_digits) \
	X(gtk_adjustment_new) \
	X(gtk_adjustment_configure) \
	X(gtk_adjustment_get_value) \
	X(gtk_adjustment_set_value) \
	X(gtk_adjustment_get_lower) \
	X(gtk_adjustment_get_upper) \
	X(gtk_adjustment_get_page_size) \
	X(gtk_progress_bar_new) \
	X(gtk_progress_bar_set_fraction) \
	X(gtk_progress_bar_get_fraction) \
	X(gtk_progress_bar_set_inverted) \
	X(gtk_orientable_set_orientation) \
	X(gtk_widget_get_preferred_width) \
	X(gtk_widget_get_preferred_height) \
	X(gtk_widget_get_sensitive) \
	X(gtk_widget_get_visible) \
	X(gtk_widget_set_sensitive) \
	X(gtk_widget_set_visible) \
	X(gtk_widget_queue_resize) \
	X(gtk_widget_show) \
	X(gtk_fixed_put) \
	X(gtk_bin_get_child) \
	X(gtk_entry_set_alignment) \
	X(gtk_entry_set_placeholder_text) \
	X(gtk_label_set_xalign) \
	X(gtk_label_set_yalign) \
	X(gtk_label_set_line_wrap) \
	X(gtk_label_set_ellipsize) \
	X(gtk_label_set_justify) \
	X(gtk_text_view_set_justification) \
	X(gtk_text_view_set_wrap_mode) \
	X(gtk_scrolled_window_set_policy) \
	X(gtk_settings_get_default) \
	X(gtk_widget_get_toplevel) \
	X(gtk_widget_get_parent) \
	X(gtk_label_get_type) \
	X(gtk_scrolled_window_get_type)

namespace vyn::control_library {

struct Table {
#define VYN_CONTROL_FIELD(name) decltype(&::name) name;
	VYN_GTK_CONTROL_FUNCTIONS(VYN_CONTROL_FIELD)
#undef VYN_CONTROL_FIELD
};
extern Table lib;

// Fills the table from the loaded GTK (once); false when GTK is not loaded
// or lacks one of the functions.
bool load();

}  // namespace vyn::control_library
