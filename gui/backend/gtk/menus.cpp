#include "gui/backend/gtk/menus.h"

#include <string>

#include "gui/backend/control_data.h"
#include "gui/backend/gtk/gtk_library.h"
#include "gui/backend/gtk/services.h"
#include "runtime/datatypes/point2d.h"
#include "runtime/datatypes/word.h"

namespace vyn::gtk_menus {

namespace {

using backend::View;
using gtk_library::lib;

// Where the last context menu was asked for, in its face's coordinates.
float menu_x = 0, menu_y = 0;

// '&' marks the shortcut letter, "&&" a literal '&'; GTK's mark is '_'.
std::string mnemonic(const std::string& caption) {
	std::string out;
	for (size_t i = 0; i < caption.size(); i++) {
		char c = caption[i];
		if (c == '&' && i + 1 < caption.size() && caption[i + 1] == '&') {
			out += '&';
			i++;
		} else if (c == '&') {
			out += '_';
		} else if (c == '_') {
			out += "__";
		} else {
			out += c;
		}
	}
	return out;
}

void on_activate(GtkMenuItem* item, gpointer context) {
	View* v = gtk_backend::view_of_widget(reinterpret_cast<GtkWidget*>(item));
	if (!v) return;
	// The item's word travels whole: symbols do not fit 16 bits.
	uint32_t symbol = GPOINTER_TO_UINT(g_object_get_data(reinterpret_cast<GObject*>(item), "vyn-symbol"));
	Cell picked, offset;
	if (symbol) word::make_at(symbol, &picked);
	else cell::make_none(&picked);
	if (context) point2D::make_at(&offset, menu_x, menu_y);
	gtk_backend::send_event(gtk_backend::event_code("menu"), *v, 0, context ? &offset : nullptr, nullptr, &picked);
}

void fill(GtkWidget* shell, const std::vector<control_data::MenuItem>& items, const View& v, bool context) {
	for (const control_data::MenuItem& m : items) {
		GtkWidget* item;
		if (m.separator) {
			item = lib.gtk_separator_menu_item_new();
		} else {
			item = lib.gtk_menu_item_new_with_mnemonic(mnemonic(m.caption).c_str());
			if (m.submenu) {
				GtkWidget* sub = lib.gtk_menu_new();
				fill(sub, m.items, v, context);
				lib.gtk_menu_item_set_submenu(reinterpret_cast<GtkMenuItem*>(item), sub);
			} else {
				gtk_backend::tag_widget(item, v);
				g_object_set_data(reinterpret_cast<GObject*>(item), "vyn-symbol", GUINT_TO_POINTER(m.symbol));
				gtk_backend::connect_signal(item, "activate", G_CALLBACK(on_activate), GINT_TO_POINTER(context));
			}
		}
		lib.gtk_widget_show(item);
		lib.gtk_menu_shell_append(reinterpret_cast<GtkMenuShell*>(shell), item);
	}
}

gboolean destroy_menu(gpointer menu) {
	lib.gtk_widget_destroy(static_cast<GtkWidget*>(menu));
	g_object_unref(menu);
	return G_SOURCE_REMOVE;
}

// The items are activated after the menu closes: it goes once GTK is back
// in the loop.
void on_deactivate(GtkMenuShell* menu, gpointer) { g_idle_add(destroy_menu, menu); }

}  // namespace

void set_bar(View& v, GtkWidget* window, GtkWidget* box) {
	auto* data = reinterpret_cast<GObject*>(window);
	auto* layout = static_cast<GtkWidget*>(g_object_get_data(data, "vyn-menu-layout"));
	auto* bar = static_cast<GtkWidget*>(g_object_get_data(data, "vyn-menu-bar"));
	if (bar) {
		lib.gtk_widget_destroy(bar);
		g_object_set_data(data, "vyn-menu-bar", nullptr);
	}
	if (!control_data::menu_bar(v)) return;
	if (!layout) {
		// The box moves under a vertical layout holding the bar above it.
		layout = lib.gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
		g_object_ref(box);
		lib.gtk_container_remove(reinterpret_cast<GtkContainer*>(window), box);
		lib.gtk_box_pack_end(reinterpret_cast<GtkBox*>(layout), box, TRUE, TRUE, 0);
		g_object_unref(box);
		lib.gtk_container_add(reinterpret_cast<GtkContainer*>(window), layout);
		lib.gtk_widget_show(layout);
		g_object_set_data(data, "vyn-menu-layout", layout);
	}
	bar = lib.gtk_menu_bar_new();
	fill(bar, control_data::menu_of(views::facet(&v.face, views::MENU)), v, false);
	lib.gtk_box_pack_start(reinterpret_cast<GtkBox*>(layout), bar, FALSE, FALSE, 0);
	lib.gtk_widget_show(bar);
	g_object_set_data(data, "vyn-menu-bar", bar);
}

int bar_height(GtkWidget* window) {
	auto* bar = static_cast<GtkWidget*>(g_object_get_data(reinterpret_cast<GObject*>(window), "vyn-menu-bar"));
	if (!bar) return 0;
	GtkRequisition minimum, natural;
	lib.gtk_widget_get_preferred_size(bar, &minimum, &natural);
	return natural.height;
}

bool show_context(View& v, GdkEventButton* press, double x, double y) {
	Cell* menu = views::facet(&v.face, views::MENU);
	if (!menu || !cell::is(menu, T_BLOCK) || control_data::menu_bar(v)) return false;
	std::vector<control_data::MenuItem> items = control_data::menu_of(menu);
	if (items.empty()) return false;
	menu_x = float(x);
	menu_y = float(y);
	GtkWidget* popup = lib.gtk_menu_new();
	g_object_ref_sink(popup);
	fill(popup, items, v, true);
	gtk_backend::connect_signal(popup, "deactivate", G_CALLBACK(on_deactivate));
	lib.gtk_menu_popup_at_pointer(reinterpret_cast<GtkMenu*>(popup), reinterpret_cast<GdkEvent*>(press));
	return true;
}

}  // namespace vyn::gtk_menus
