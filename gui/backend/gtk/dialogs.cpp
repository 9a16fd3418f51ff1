#include "gui/backend/gtk/dialogs.h"

#include "gui/backend/gtk/gtk_library.h"

namespace vyn::gtk_dialogs {

namespace {

using gtk_library::lib;

// The folder the last folder dialog asked to keep chose.
std::string kept_folder;

// A pattern list "*.a;*.b" as a GTK filter; "*.*" means every file (GTK's
// own "*.*" wants a dot in the name, and would hide "Makefile").
GtkFileFilter* filter_of(const std::string& name, const std::string& patterns) {
	GtkFileFilter* filter = lib.gtk_file_filter_new();
	lib.gtk_file_filter_set_name(filter, name.c_str());
	size_t from = 0;
	while (from <= patterns.size()) {
		size_t end = patterns.find(';', from);
		if (end == std::string::npos) end = patterns.size();
		std::string pattern = patterns.substr(from, end - from);
		if (pattern == "*.*") pattern = "*";
		if (!pattern.empty()) lib.gtk_file_filter_add_pattern(filter, pattern.c_str());
		from = end + 1;
	}
	return filter;
}

GtkWindow* active_window() {
	GList* windows = lib.gtk_window_list_toplevels();
	GtkWindow* active = nullptr;
	for (GList* l = windows; l; l = l->next)
		if (lib.gtk_window_is_active(static_cast<GtkWindow*>(l->data))) active = static_cast<GtkWindow*>(l->data);
	g_list_free(windows);
	return active;
}

gboolean fixed_pitch(const PangoFontFamily* family, const PangoFontFace*, gpointer) {
	return pango_font_family_is_monospace(const_cast<PangoFontFamily*>(family));
}

}  // namespace

bool request_font(const backend::Font& start, bool mono, backend::Font* chosen) {
	GtkWidget* dialog = lib.gtk_font_chooser_dialog_new("Font", active_window());
	auto* chooser = reinterpret_cast<GtkFontChooser*>(dialog);
	std::string name = start.family + " " + std::to_string(int(start.size > 0 ? start.size : 11));
	lib.gtk_font_chooser_set_font(chooser, name.c_str());
	if (mono) lib.gtk_font_chooser_set_filter_func(chooser, fixed_pitch, nullptr, nullptr);
	bool accepted = lib.gtk_dialog_run(reinterpret_cast<GtkDialog*>(dialog)) == GTK_RESPONSE_OK;
	PangoFontDescription* desc = accepted ? lib.gtk_font_chooser_get_font_desc(chooser) : nullptr;
	if (desc) {
		const char* family = pango_font_description_get_family(desc);
		chosen->family = family ? family : "";
		chosen->size = pango_font_description_get_size(desc) / PANGO_SCALE;
		// Only the exact bold weight counts as bold.
		chosen->bold = pango_font_description_get_weight(desc) == PANGO_WEIGHT_BOLD;
		chosen->italic = pango_font_description_get_style(desc) != PANGO_STYLE_NORMAL;
		pango_font_description_free(desc);
	}
	lib.gtk_widget_destroy(dialog);
	return desc != nullptr;
}

bool request_files(const backend::FileRequest& r, std::vector<std::string>* chosen) {
	GtkFileChooserAction action = r.folder ? GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER
		: r.save ? GTK_FILE_CHOOSER_ACTION_SAVE : GTK_FILE_CHOOSER_ACTION_OPEN;
	const char* title = !r.title.empty() ? r.title.c_str() : r.folder ? "Select Folder" : r.save ? "Save" : "Open";
	GtkWidget* dialog = lib.gtk_file_chooser_dialog_new(title, active_window(), action, "_Cancel",
		GTK_RESPONSE_CANCEL, r.save ? "_Save" : r.folder ? "_Select" : "_Open", GTK_RESPONSE_ACCEPT, nullptr);
	auto* chooser = reinterpret_cast<GtkFileChooser*>(dialog);
	lib.gtk_window_set_modal(reinterpret_cast<GtkWindow*>(dialog), TRUE);
	lib.gtk_file_chooser_set_select_multiple(chooser, r.multi && !r.save && !r.folder);
	if (r.save) lib.gtk_file_chooser_set_do_overwrite_confirmation(chooser, TRUE);
	std::string start = r.keep && !kept_folder.empty() ? kept_folder : r.name;
	if (!start.empty()) {
		size_t slash = start.rfind('/');
		if (r.folder || slash == std::string::npos) {
			if (r.folder) lib.gtk_file_chooser_set_current_folder(chooser, start.c_str());
			else lib.gtk_file_chooser_set_current_name(chooser, start.c_str());
		} else {
			std::string dir = slash == 0 ? "/" : start.substr(0, slash);
			lib.gtk_file_chooser_set_current_folder(chooser, dir.c_str());
			std::string file = start.substr(slash + 1);
			if (!file.empty()) {
				if (r.save) lib.gtk_file_chooser_set_current_name(chooser, file.c_str());
				else lib.gtk_file_chooser_select_filename(chooser, start.c_str());
			}
		}
	}
	for (const auto& [name, patterns] : r.filters) lib.gtk_file_chooser_add_filter(chooser, filter_of(name, patterns));
	bool accepted = lib.gtk_dialog_run(reinterpret_cast<GtkDialog*>(dialog)) == GTK_RESPONSE_ACCEPT;
	if (accepted) {
		GSList* files = lib.gtk_file_chooser_get_filenames(chooser);
		for (GSList* l = files; l; l = l->next) {
			chosen->push_back(static_cast<const char*>(l->data));
			g_free(l->data);
		}
		g_slist_free(files);
		if (r.folder && r.keep && !chosen->empty()) kept_folder = chosen->front();
	}
	lib.gtk_widget_destroy(dialog);
	return accepted && !chosen->empty();
}

}  // namespace vyn::gtk_dialogs
