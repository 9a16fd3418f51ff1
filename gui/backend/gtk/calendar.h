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
// The face's `color`: a tuple! paints the background, none gives the
// theme's back; any other value changes nothing.
void colour(backend::View& v, GtkWidget* calendar);

}  // namespace vyn::gtk_calendar
