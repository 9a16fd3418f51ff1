// Dark mode on GTK: the theme variant is the application's, one for every
// window, held by the setting gtk-application-prefer-dark-theme (read from
// the desktop's settings at start, so a desktop in dark mode starts dark).
#pragma once

namespace vyn::dark_mode {

// Switches the variant; every window's controls and frame follow.
void set(bool dark);
// False with a high-contrast theme, whose colours must stay as they are.
bool supported();

}  // namespace vyn::dark_mode
