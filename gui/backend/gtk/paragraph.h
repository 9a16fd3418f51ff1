// Paragraph styles and cue banners of the native text controls.
//
// A face's para! object aligns its text (`align`: left, center, right;
// `v-align`: top, middle, bottom) and wraps it (`wrap?` none or true:
// wrap) in the control that shows it: a button's caption, a field, an
// area, a text. Without a para! object the control keeps its own layout.
// A field's `options` may hold `hint: "..."`, shown while the field is empty.
#pragma once

#include <gtk/gtk.h>

#include "gui/backend/views.h"

namespace vyn::gtk_paragraph {

// Applies the face's para! to its control.
void apply_para(backend::View& v, GtkWidget* control);
// Applies the `hint` of the face's options to its control (fields only).
void apply_hint(backend::View& v, GtkWidget* control);

}  // namespace vyn::gtk_paragraph
