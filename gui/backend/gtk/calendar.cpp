#include "gui/backend/gtk/calendar.h"

#include "gui/backend/control_data.h"
#include "gui/backend/gtk/gtk_library.h"
#include "gui/backend/gtk/services.h"
#include "runtime/datatypes/tuple.h"

#include <string>

namespace vyn::gtk_calendar {

namespace {

using backend::View;
using gtk_library::lib;

int writing = 0;
// GtkCalendar selects a day of the new month after each month change:
// that is no choice of the user's.
bool navigating = false;

GtkCalendar* cal(GtkWidget* w) { return reinterpret_cast<GtkCalendar*>(w); }

gboolean navigated(gpointer) {
	navigating = false;
	return G_SOURCE_REMOVE;
}

void on_month_changed(GtkCalendar*, gpointer) {
	if (writing || navigating) return;
	navigating = true;
	// Whether GTK selects a day after the change or not, the next choice
	// is the user's again.
	g_idle_add(navigated, nullptr);
}

void on_day_selected(GtkCalendar* calendar, gpointer) {
	if (writing) return;
	if (navigating) {
		navigating = false;
		return;
	}
	View* v = gtk_backend::view_of_widget(reinterpret_cast<GtkWidget*>(calendar));
	if (!v) return;
	control_data::read_calendar(*v);
	gtk_backend::send_event(gtk_backend::event_code("change"), *v, 0);
}

}  // namespace

GtkWidget* make(View&) {
	GtkWidget* calendar = lib.gtk_calendar_new();
	gtk_backend::connect_signal(calendar, "month-changed", G_CALLBACK(on_month_changed));
	gtk_backend::connect_signal(calendar, "day-selected", G_CALLBACK(on_day_selected));
	return calendar;
}

void show(GtkWidget* calendar, int32_t year, int32_t month, int32_t day) {
	writing++;
	lib.gtk_calendar_select_month(cal(calendar), guint(month - 1), guint(year));
	lib.gtk_calendar_select_day(cal(calendar), guint(day));
	writing--;
}

void read(GtkWidget* calendar, int32_t* year, int32_t* month, int32_t* day) {
	guint y = 0, m = 0, d = 0;
	lib.gtk_calendar_get_date(cal(calendar), &y, &m, &d);
	*year = int32_t(y);
	*month = int32_t(m) + 1;
	*day = int32_t(d);
}

void colour(View& v, GtkWidget* calendar) {
	Cell* color = views::facet(&v.face, views::COLOR);
	if (!color || (!cell::is(color, T_TUPLE) && !cell::is(color, T_NONE))) return;
	auto* data = reinterpret_cast<GObject*>(calendar);
	auto* css = static_cast<GtkCssProvider*>(g_object_get_data(data, "vyn-colour"));
	if (!css) {
		css = lib.gtk_css_provider_new();
		lib.gtk_style_context_add_provider(lib.gtk_widget_get_style_context(calendar),
			reinterpret_cast<GtkStyleProvider*>(css), GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
		g_object_set_data_full(data, "vyn-colour", css, g_object_unref);
	}
	std::string rule;
	if (cell::is(color, T_TUPLE)) {
		const uint8_t* rgb = tuple::bytes_of(color);
		rule = "calendar { background-color: rgb(" + std::to_string(rgb[0]) + "," + std::to_string(rgb[1]) + "," +
			std::to_string(rgb[2]) + "); }";
	}
	lib.gtk_css_provider_load_from_data(css, rule.c_str(), -1, nullptr);
}

}  // namespace vyn::gtk_calendar
