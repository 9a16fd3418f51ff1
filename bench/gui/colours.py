"""100k background colour changes of a shown Gtk widget; prints seconds."""
import time
import warnings

import gi

gi.require_version("Gtk", "3.0")
gi.require_version("Gdk", "3.0")
from gi.repository import Gdk, Gtk  # noqa: E402

warnings.simplefilter("ignore", DeprecationWarning)

win = Gtk.Window(title="bench")
fixed = Gtk.Fixed()
win.add(fixed)
box = Gtk.DrawingArea()
box.set_size_request(50, 50)
fixed.put(box, 10, 10)
win.show_all()
while Gtk.events_pending():
    Gtk.main_iteration()
# The colours are made first: the time is that of the changes.
colours = [Gdk.RGBA(i % 256 / 255, i % 7 / 255, i % 13 / 255, 1) for i in range(1, 100001)]
t0 = time.perf_counter()
for c in colours:
    box.override_background_color(Gtk.StateFlags.NORMAL, c)
while Gtk.events_pending():
    Gtk.main_iteration()
print(time.perf_counter() - t0)
