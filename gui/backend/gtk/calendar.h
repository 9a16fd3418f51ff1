// Calendars: a GtkCalendar whose selected day is the face's `data`. A day
// the user picks updates `data`, then sends `change`; moving to another
// month changes neither.
#pragma once

#include <gtk/gtk.h>

#include <cstdint>

#include "gui/backend/views.h"

namespace vyn::gtk_calendar {

GtkWidget* make(backend::View& v);
void show(GtkWidget* calendar, int32_t year, int32_t month, int32_t day);
void read(GtkWidget* calendar, int32_t* year, int32_t* month, int32_t* day);

}  // namespace vyn::gtk_calendar
