#include "gui/backend/gtk/tab_panel.h"

#include <algorithm>

#include "gui/backend/control_data.h"
#include "gui/backend/gtk/gtk_library.h"
#include "gui/backend/gtk/services.h"
#include "runtime/datatypes/pair.h"
#include "runtime/datatypes/point2d.h"
#include "runtime/datatypes/spans.h"

namespace vyn::gtk_tabs {

namespace {

using backend::View;
using gtk_library::lib;

int filling = 0;
struct Filling {
	Filling() { filling++; }
	~Filling() { filling--; }
};

GtkNotebook* book(GtkWidget* w) { return reinterpret_cast<GtkNotebook*>(w); }

// The view of the pane's page face at the 0-based index, or null.
View* page_view(const View& tabs, int32_t index) {
	Cell* pane = views::facet(&tabs.face, views::PANE);
	if (!pane || !cell::is(pane, T_BLOCK) || index < 0) return nullptr;
	spans::Cells cells = spans::cells_of(pane);
	if (uint32_t(index) >= cells.count || !cell::is(cells.head + index, T_OBJECT)) return nullptr;
	return views::of_face(cells.head + index);
}

// The new page shows, then the page of the previous `selected` hides.
void show_page(View& tabs, int32_t index) {
	Cell* selected = views::facet(&tabs.face, views::SELECTED);
	int32_t before = selected && cell::is(selected, T_INTEGER) ? cell::get_integer(selected) - 1 : -1;
	if (View* page = page_view(tabs, index)) gtk_backend::show_view(*page, true);
	if (before != index)
		if (View* page = page_view(tabs, before)) gtk_backend::show_view(*page, false);
}

// A refused switch has already moved the notebook's focus to the tab
// asked for: a switch away and back puts it onto the current tab again.
gboolean refocus(gpointer widget) {
	GtkNotebook* notebook = book(static_cast<GtkWidget*>(widget));
	Filling guard;
	int current = lib.gtk_notebook_get_current_page(notebook), count = lib.gtk_notebook_get_n_pages(notebook);
	if (current >= 0 && count > 1) {
		lib.gtk_notebook_set_current_page(notebook, (current + 1) % count);
		lib.gtk_notebook_set_current_page(notebook, current);
	}
	g_object_unref(widget);
	return G_SOURCE_REMOVE;
}

// Before the switch: `select` with the tab being left; `stop` refuses it.
void on_switch(GtkNotebook* notebook, GtkWidget*, guint, gpointer) {
	View* v = gtk_backend::view_of_widget(reinterpret_cast<GtkWidget*>(notebook));
	if (!v || filling) return;
	Cell picked;
	cell::make_integer(&picked, lib.gtk_notebook_get_current_page(notebook) + 1);
	if (gtk_backend::send_event(gtk_backend::event_code("select"), *v, 0, nullptr, nullptr, &picked)) {
		g_signal_stop_emission_by_name(notebook, "switch-page");
		g_idle_add(refocus, g_object_ref(notebook));
	}
}

// After it: the new page shows, `change` with its index, then `selected`.
void on_switched(GtkNotebook* notebook, GtkWidget*, guint index, gpointer) {
	View* v = gtk_backend::view_of_widget(reinterpret_cast<GtkWidget*>(notebook));
	if (!v || filling) return;
	show_page(*v, int32_t(index));
	Cell picked;
	cell::make_integer(&picked, int32_t(index) + 1);
	gtk_backend::send_event(gtk_backend::event_code("change"), *v, 0, nullptr, nullptr, &picked);
	v = gtk_backend::view_of_widget(reinterpret_cast<GtkWidget*>(notebook));
	if (!v) return;
	if (Cell* selected = views::facet(&v->face, views::SELECTED)) cell::make_integer(selected, int32_t(index) + 1);
}

// The height of the tab strip over the page area.
int strip_height(GtkWidget* notebook) {
	GtkRequisition minimum, natural;
	lib.gtk_widget_get_preferred_size(notebook, &minimum, &natural);
	return std::max(natural.height, minimum.height);
}

}  // namespace

GtkWidget* make(View& v, GtkWidget* box) {
	GtkWidget* notebook = lib.gtk_notebook_new();
	lib.gtk_notebook_set_scrollable(book(notebook), TRUE);
	gtk_backend::tag_widget(notebook, v);
	lib.gtk_fixed_put(reinterpret_cast<GtkFixed*>(box), notebook, 0, 0);
	lib.gtk_widget_show(notebook);
	gtk_backend::connect_signal(notebook, "switch-page", G_CALLBACK(on_switch));
	g_signal_connect_data(notebook, "switch-page", G_CALLBACK(on_switched), nullptr, nullptr, G_CONNECT_AFTER);
	fill(v, notebook);
	return notebook;
}

void fill(View& v, GtkWidget* notebook) {
	Filling guard;
	while (lib.gtk_notebook_get_n_pages(book(notebook)) > 0) lib.gtk_notebook_remove_page(book(notebook), -1);
	for (const std::string& item : v.items) {
		GtkWidget* placeholder = lib.gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
		lib.gtk_widget_show(placeholder);
		lib.gtk_notebook_append_page(book(notebook), placeholder, lib.gtk_label_new(item.c_str()));
	}
	// With no tabs nothing is selected (GTK would read -1 as the last page).
	int32_t index = control_data::selected_index(v);
	if (index >= 0) lib.gtk_notebook_set_current_page(book(notebook), index);
}

void select(View& v, GtkWidget* notebook) {
	int32_t index = control_data::selected_index(v);
	if (index < 0 || index == lib.gtk_notebook_get_current_page(book(notebook))) return;
	// The script's `selected` is the page being left until the switch is made.
	Cell* selected = views::facet(&v.face, views::SELECTED);
	if (selected) cell::make_integer(selected, lib.gtk_notebook_get_current_page(book(notebook)) + 1);
	lib.gtk_notebook_set_current_page(book(notebook), index);
}

void fit_page(View& page, View& tabs, GtkWidget* notebook) {
	int strip = strip_height(notebook);
	double width = tabs.width, height = std::max(0.0, tabs.height - strip);
	page.x = 0;
	page.y = strip;
	page.width = width;
	page.height = height;
	Cell* offset = views::facet(&page.face, views::OFFSET);
	if (offset) point2D::make_at(offset, 0, float(strip));
	Cell* size = views::facet(&page.face, views::SIZE);
	if (!size) return;
	if (cell::is(size, T_PAIR)) pair::make_at(size, int32_t(width), int32_t(height));
	else point2D::make_at(size, float(width), float(height));
}

void refit(View& tabs, GtkWidget* notebook) {
	for (int32_t i = 0;; i++) {
		Cell* pane = views::facet(&tabs.face, views::PANE);
		if (!pane || !cell::is(pane, T_BLOCK) || uint32_t(i) >= spans::cells_of(pane).count) break;
		if (View* page = page_view(tabs, i)) fit_page(*page, tabs, notebook);
	}
	lib.gtk_widget_queue_resize(notebook);
}

std::vector<std::string> shown(GtkWidget* notebook) {
	std::vector<std::string> out;
	for (int i = 0; i < lib.gtk_notebook_get_n_pages(book(notebook)); i++) {
		const gchar* text =
			lib.gtk_notebook_get_tab_label_text(book(notebook), lib.gtk_notebook_get_nth_page(book(notebook), i));
		out.push_back(text ? text : "");
	}
	return out;
}

}  // namespace vyn::gtk_tabs
