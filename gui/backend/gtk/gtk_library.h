// GTK and GDK, loaded at their first use: runs without a display never map
// them, and start-up pays nothing for them. Every GTK or GDK function the
// backend and the clipboard call is in this one table (GLib and GObject are
// linked: Pango needs them anyway).
//
// No GTK cast macro may be used with it (GTK_WINDOW(w) and the like call
// the type functions directly): pointers are converted with
// reinterpret_cast, which GTK's own single inheritance makes sound.
#pragma once

#include <gtk/gtk.h>

#include "runtime/shared_library.h"

#define VYN_GTK_FUNCTIONS(X) \
	X(gtk_init_check) \
	X(gdk_set_allowed_backends) \
	X(gtk_clipboard_get) \
	X(gtk_clipboard_store) \
	X(gtk_clipboard_set_with_data) \
	X(gtk_clipboard_set_can_store) \
	X(gtk_clipboard_set_text) \
	X(gtk_clipboard_wait_for_targets) \
	X(gtk_clipboard_wait_for_text) \
	X(gtk_clipboard_wait_for_uris) \
	X(gtk_clipboard_wait_for_contents) \
	X(gtk_targets_include_text) \
	X(gtk_targets_include_uri) \
	X(gtk_selection_data_set) \
	X(gtk_selection_data_get_target) \
	X(gtk_selection_data_get_data_with_length) \
	X(gtk_selection_data_free) \
	X(gdk_atom_intern_static_string) \
	X(gtk_window_new) \
	X(gtk_button_set_image) \
	X(gtk_button_set_always_show_image) \
	X(gtk_image_new_from_surface) \
	X(gtk_window_set_title) \
	X(gtk_window_move) \
	X(gtk_window_resize) \
	X(gtk_window_set_default_size) \
	X(gtk_window_get_focus) \
	X(gtk_window_present) \
	X(gtk_widget_show) \
	X(gtk_widget_hide) \
	X(gtk_widget_destroy) \
	X(gtk_widget_set_visible) \
	X(gtk_widget_get_visible) \
	X(gtk_widget_set_sensitive) \
	X(gtk_widget_add_events) \
	X(gtk_widget_get_window) \
	X(gtk_widget_get_has_window) \
	X(gtk_widget_get_allocation) \
	X(gtk_widget_set_allocation) \
	X(gtk_widget_size_allocate) \
	X(gtk_widget_set_clip) \
	X(gtk_widget_get_preferred_size) \
	X(gtk_widget_queue_draw) \
	X(gdk_window_process_updates) \
	X(gtk_widget_queue_resize) \
	X(gtk_widget_grab_focus) \
	X(gtk_widget_get_style_context) \
	X(gtk_widget_get_scale_factor) \
	X(gtk_widget_set_name) \
	X(gtk_container_add) \
	X(gtk_container_get_children) \
	X(gtk_fixed_new) \
	X(gtk_fixed_put) \
	X(gtk_fixed_get_type) \
	X(gtk_event_box_new) \
	X(gtk_event_box_set_visible_window) \
	X(gtk_button_new_with_label) \
	X(gtk_button_set_label) \
	X(gtk_check_button_new_with_label) \
	X(gtk_toggle_button_new_with_label) \
	X(gtk_radio_button_new_with_label_from_widget) \
	X(gtk_toggle_button_set_active) \
	X(gtk_toggle_button_get_active) \
	X(gtk_toggle_button_set_inconsistent) \
	X(gtk_toggle_button_get_inconsistent) \
	X(gtk_entry_new) \
	X(gtk_entry_set_text) \
	X(gtk_entry_get_text) \
	X(gtk_entry_set_placeholder_text) \
	X(gtk_label_new) \
	X(gtk_label_set_text) \
	X(gtk_label_set_ellipsize) \
	X(gtk_label_set_xalign) \
	X(gtk_text_view_new) \
	X(gtk_text_view_get_buffer) \
	X(gtk_text_buffer_set_text) \
	X(gtk_text_buffer_get_text) \
	X(gtk_text_buffer_get_bounds) \
	X(gtk_scrolled_window_new) \
	X(gtk_style_context_add_provider) \
	X(gtk_style_context_add_provider_for_screen) \
	X(gtk_css_provider_new) \
	X(gtk_css_provider_load_from_data) \
	X(gtk_settings_get_default) \
	X(gdk_screen_get_default) \
	X(gdk_screen_get_rgba_visual) \
	X(gdk_screen_is_composited) \
	X(gtk_widget_get_toplevel) \
	X(gtk_widget_get_visual) \
	X(gtk_widget_set_visual) \
	X(gtk_widget_set_app_paintable) \
	X(gdk_display_get_default) \
	X(gdk_display_get_n_monitors) \
	X(gdk_display_get_monitor) \
	X(gdk_display_get_primary_monitor) \
	X(gdk_display_get_monitor_at_point) \
	X(gdk_display_get_default_seat) \
	X(gdk_seat_get_pointer) \
	X(gdk_device_get_position) \
	X(gdk_monitor_get_geometry) \
	X(gdk_monitor_get_scale_factor) \
	X(gdk_window_get_origin) \
	X(gdk_window_get_user_data) \
	X(gdk_keymap_get_for_display) \
	X(gdk_keymap_translate_keyboard_state) \
	X(gdk_keyval_to_unicode) \
	X(gdk_keyval_to_upper) \
	X(gdk_event_get_scroll_deltas) \
	X(gtk_menu_bar_new) \
	X(gtk_menu_new) \
	X(gtk_menu_item_new_with_mnemonic) \
	X(gtk_separator_menu_item_new) \
	X(gtk_menu_item_set_submenu) \
	X(gtk_menu_shell_append) \
	X(gtk_menu_popup_at_pointer) \
	X(gtk_box_new) \
	X(gtk_box_pack_start) \
	X(gtk_box_pack_end) \
	X(gtk_container_remove) \
	X(gtk_notebook_new) \
	X(gtk_notebook_set_scrollable) \
	X(gtk_notebook_get_n_pages) \
	X(gtk_notebook_remove_page) \
	X(gtk_notebook_append_page) \
	X(gtk_notebook_set_current_page) \
	X(gtk_notebook_get_current_page) \
	X(gtk_notebook_get_tab_label_text) \
	X(gtk_notebook_get_nth_page) \
	X(gtk_list_box_new) \
	X(gtk_list_box_set_selection_mode) \
	X(gtk_list_box_row_get_index) \
	X(gtk_list_box_insert) \
	X(gtk_list_box_get_row_at_index) \
	X(gtk_list_box_select_row) \
	X(gtk_list_box_unselect_all) \
	X(gtk_combo_box_text_new) \
	X(gtk_combo_box_text_new_with_entry) \
	X(gtk_combo_box_text_append_text) \
	X(gtk_combo_box_text_remove_all) \
	X(gtk_combo_box_get_active) \
	X(gtk_combo_box_set_active) \
	X(gtk_combo_box_get_model) \
	X(gtk_tree_model_get_iter_first) \
	X(gtk_tree_model_iter_next) \
	X(gtk_tree_model_get) \
	X(gtk_bin_get_child) \
	X(gtk_label_get_text) \
	X(gtk_calendar_new) \
	X(gtk_calendar_select_month) \
	X(gtk_calendar_select_day) \
	X(gtk_calendar_get_date) \
	X(gtk_file_filter_new) \
	X(gtk_file_filter_set_name) \
	X(gtk_file_filter_add_pattern) \
	X(gtk_window_list_toplevels) \
	X(gtk_window_is_active) \
	X(gtk_file_chooser_dialog_new) \
	X(gtk_window_set_modal) \
	X(gtk_file_chooser_set_select_multiple) \
	X(gtk_file_chooser_set_do_overwrite_confirmation) \
	X(gtk_file_chooser_set_current_folder) \
	X(gtk_file_chooser_set_current_name) \
	X(gtk_file_chooser_select_filename) \
	X(gtk_file_chooser_add_filter) \
	X(gtk_dialog_run) \
	X(gtk_file_chooser_get_filenames) \
	X(gtk_font_chooser_dialog_new) \
	X(gtk_font_chooser_set_font) \
	X(gtk_font_chooser_set_filter_func) \
	X(gtk_font_chooser_get_font_desc) \
	X(gtk_get_current_event) \
	X(gtk_get_event_widget) \
	X(gtk_widget_is_ancestor) \
	X(gtk_widget_has_focus) \
	X(gtk_container_get_focus_child) \
	X(gdk_event_free) \
	X(gtk_scale_new) \
	X(gtk_scale_set_draw_value) \
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
	X(gtk_entry_set_alignment) \
	X(gtk_label_set_yalign) \
	X(gtk_label_set_line_wrap) \
	X(gtk_label_set_justify) \
	X(gtk_text_view_set_justification) \
	X(gtk_text_view_set_wrap_mode) \
	X(gtk_scrolled_window_set_policy) \
	X(gtk_widget_get_parent) \
	X(gtk_label_get_type) \
	X(gtk_scrolled_window_get_type)

namespace vyn::gtk_library {

// gdk_window_process_updates is deprecated but still the one way to paint
// at once rather than at the next frame.
G_GNUC_BEGIN_IGNORE_DEPRECATIONS
struct Table {
	VYN_GTK_FUNCTIONS(VYN_LIBRARY_FIELD)
};
G_GNUC_END_IGNORE_DEPRECATIONS
extern Table lib;

// Loads the library and opens the display named by DISPLAY (once; later
// calls answer the first answer). False without a display, when VYN_HEADLESS
// is 1, or when GTK or one of its functions is missing.
bool display();

}  // namespace vyn::gtk_library
