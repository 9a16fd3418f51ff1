#include "gui/backend/gtk/calendar.h"

#include "gui/backend/control_data.h"
#include "gui/backend/gtk/gtk_library.h"
#include "gui/backend/gtk/services.h"

namespace vyn::gtk_calendar {

namespace {

using backend::View;
using gtk_library::lib;

int writing = 0;
// GtkCalendar selects a day of the new month after each month change:
// that is no choice of the user's.
bool navigating = false;

GtkCalendar* cal(GtkWidget* w) { return reinterpret_cast<GtkCalendar*>(w); }

void on_month_changed(GtkCalendar*, gpointer) {
	if (!writing) navigating = true;
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

}  // namespace vyn::gtk_calendar
