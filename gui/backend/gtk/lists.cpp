#include "gui/backend/gtk/lists.h"

#include "gui/backend/control_data.h"
#include "gui/backend/gtk/gtk_library.h"
#include "gui/backend/gtk/services.h"
#include "runtime/datatypes/string.h"
#include "runtime/symbol.h"

namespace vyn::gtk_lists {

namespace {

using backend::View;
using gtk_library::lib;

// Our own fills and selections fire the user's signals: ignored meanwhile.
int filling = 0;
struct Filling {
	Filling() { filling++; }
	~Filling() { filling--; }
};

bool is_type(const View& v, const char* name) { return v.type && symbol::same_name(v.type, symbol::make(name)); }

GtkListBox* list_box(GtkWidget* w) { return reinterpret_cast<GtkListBox*>(w); }
GtkComboBox* combo(GtkWidget* w) { return reinterpret_cast<GtkComboBox*>(w); }

// The user chose the 0-based item: `select` with its 1-based index, then,
// unless a handler stopped it, `selected` takes it and `change` follows.
void chosen(GtkWidget* control, int32_t index) {
	View* v = gtk_backend::view_of_widget(control);
	if (!v || filling || index < 0) return;
	Cell* selected = views::facet(&v->face, views::SELECTED);
	if (selected && cell::is(selected, T_INTEGER) && cell::get_integer(selected) == index + 1) return;
	Cell picked;
	cell::make_integer(&picked, index + 1);
	bool stopped = gtk_backend::send_event(gtk_backend::event_code("select"), *v, 0, nullptr, nullptr, &picked);
	v = gtk_backend::view_of_widget(control);
	if (!v) return;
	selected = views::facet(&v->face, views::SELECTED);
	if (selected) cell::make_integer(selected, index + 1);
	if (is_type(*v, "drop-down") && size_t(index) < v->items.size()) {
		Cell text;
		string::load_at(&text, v->items[size_t(index)]);
		if (Cell* facet = views::facet(&v->face, views::TEXT)) *facet = text;
		v->text = v->items[size_t(index)];
	}
	if (!stopped) gtk_backend::send_event(gtk_backend::event_code("change"), *v, 0, nullptr, nullptr, &picked);
}

// GtkListBox also selects its first row when it takes the focus: only a
// press on the list, or a key while it has the focus, is the user's choice.
bool users_choice(GtkWidget* list) {
	GdkEvent* e = lib.gtk_get_current_event();
	if (!e) return false;
	bool user = false;
	if (e->type == GDK_BUTTON_PRESS || e->type == GDK_BUTTON_RELEASE) {
		GtkWidget* at = lib.gtk_get_event_widget(e);
		user = at && (at == list || lib.gtk_widget_is_ancestor(at, list));
	} else if (e->type == GDK_KEY_PRESS) {
		user = lib.gtk_widget_has_focus(list) ||
			lib.gtk_container_get_focus_child(reinterpret_cast<GtkContainer*>(list)) != nullptr;
	}
	lib.gdk_event_free(e);
	return user;
}

void on_row_selected(GtkListBox* box, GtkListBoxRow* row, gpointer) {
	auto* list = reinterpret_cast<GtkWidget*>(box);
	if (!row || filling) return;
	if (users_choice(list)) {
		chosen(list, lib.gtk_list_box_row_get_index(row));
	} else if (View* v = gtk_backend::view_of_widget(list)) {
		select(*v, list);
	}
}

void on_combo_changed(GtkComboBox* box, gpointer) {
	chosen(reinterpret_cast<GtkWidget*>(box), lib.gtk_combo_box_get_active(box));
}

}  // namespace

void make(View& v, GtkWidget** outer, GtkWidget** control) {
	if (is_type(v, "text-list")) {
		*outer = lib.gtk_scrolled_window_new(nullptr, nullptr);
		*control = lib.gtk_list_box_new();
		lib.gtk_list_box_set_selection_mode(list_box(*control), GTK_SELECTION_SINGLE);
		lib.gtk_container_add(reinterpret_cast<GtkContainer*>(*outer), *control);
		lib.gtk_widget_show(*control);
		gtk_backend::connect_signal(*control, "row-selected", G_CALLBACK(on_row_selected));
	} else {
		*outer = *control = is_type(v, "drop-down") ? lib.gtk_combo_box_text_new_with_entry() : lib.gtk_combo_box_text_new();
		gtk_backend::connect_signal(*control, "changed", G_CALLBACK(on_combo_changed));
	}
	fill(v, *control);
}

void fill(View& v, GtkWidget* control) {
	Filling guard;
	if (is_type(v, "text-list")) {
		GList* rows = lib.gtk_container_get_children(reinterpret_cast<GtkContainer*>(control));
		for (GList* l = rows; l; l = l->next) lib.gtk_widget_destroy(static_cast<GtkWidget*>(l->data));
		g_list_free(rows);
		for (const std::string& item : v.items) {
			GtkWidget* label = lib.gtk_label_new(item.c_str());
			lib.gtk_label_set_xalign(reinterpret_cast<GtkLabel*>(label), 0);
			lib.gtk_widget_show(label);
			lib.gtk_list_box_insert(list_box(control), label, -1);
		}
	} else {
		auto* box = reinterpret_cast<GtkComboBoxText*>(control);
		lib.gtk_combo_box_text_remove_all(box);
		for (const std::string& item : v.items) lib.gtk_combo_box_text_append_text(box, item.c_str());
		// A drop-down's entry shows its text when it has one.
		if (is_type(v, "drop-down") && !v.text.empty()) {
			GtkWidget* entry = lib.gtk_bin_get_child(reinterpret_cast<GtkBin*>(control));
			lib.gtk_entry_set_text(reinterpret_cast<GtkEntry*>(entry), v.text.c_str());
			return;
		}
	}
	select(v, control);
}

void select(View& v, GtkWidget* control) {
	Filling guard;
	int32_t index = control_data::selected_index(v);
	if (is_type(v, "text-list")) {
		GtkListBoxRow* row = index >= 0 ? lib.gtk_list_box_get_row_at_index(list_box(control), index) : nullptr;
		if (row) lib.gtk_list_box_select_row(list_box(control), row);
		else lib.gtk_list_box_unselect_all(list_box(control));
	} else {
		lib.gtk_combo_box_set_active(combo(control), index);
	}
}

std::vector<std::string> shown(View& v, GtkWidget* control) {
	std::vector<std::string> out;
	if (is_type(v, "text-list")) {
		for (int i = 0;; i++) {
			GtkListBoxRow* row = lib.gtk_list_box_get_row_at_index(list_box(control), i);
			if (!row) break;
			GtkWidget* label = lib.gtk_bin_get_child(reinterpret_cast<GtkBin*>(row));
			out.push_back(lib.gtk_label_get_text(reinterpret_cast<GtkLabel*>(label)));
		}
		return out;
	}
	GtkTreeModel* model = lib.gtk_combo_box_get_model(combo(control));
	GtkTreeIter iter;
	for (gboolean ok = lib.gtk_tree_model_get_iter_first(model, &iter); ok; ok = lib.gtk_tree_model_iter_next(model, &iter)) {
		gchar* text = nullptr;
		// GtkComboBoxText keeps the item's text in column 0.
		lib.gtk_tree_model_get(model, &iter, 0, &text, -1);
		out.push_back(text ? text : "");
		g_free(text);
	}
	return out;
}

}  // namespace vyn::gtk_lists
