// A button's picture from its face's `image`.
#pragma once

#include <gtk/gtk.h>

#include "gui/backend/backend.h"

namespace vyn::gtk_button_image {

// An image! shows at its own size; a block of images at the face's size (or
// at the size of a pair! after one image). GTK buttons draw their own states,
// so of a block's state pictures only the first is shown. Anything else
// removes the picture.
void apply(backend::View& v, GtkWidget* button);

}  // namespace vyn::gtk_button_image
