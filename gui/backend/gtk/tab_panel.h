// Tab panels: a GtkNotebook of empty placeholder pages whose tabs are the
// view's items. The panel faces of the `pane` stay the tab panel's own
// children, laid over the notebook's page area; the notebook only says
// which one shows. A `select` answered `stop` refuses the switch.
#pragma once

#include <gtk/gtk.h>

#include <string>
#include <vector>

#include "gui/backend/views.h"

namespace vyn::gtk_tabs {

// The notebook, put first into the tab panel's box.
GtkWidget* make(backend::View& v, GtkWidget* box);
// The notebook shows the view's items as tabs, the `selected` one current.
void fill(backend::View& v, GtkWidget* notebook);
// `selected` changed by the script: switched as by the user.
void select(backend::View& v, GtkWidget* notebook);
// A page face of the tab panel takes the page area as its offset and size.
void fit_page(backend::View& page, backend::View& tabs, GtkWidget* notebook);
// The tab panel resized: every page takes the new page area.
void refit(backend::View& tabs, GtkWidget* notebook);
std::vector<std::string> shown(GtkWidget* notebook);

}  // namespace vyn::gtk_tabs
