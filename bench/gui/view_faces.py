"""A Gtk window of N buttons (N the argument, 1000 by default) on a fixed
container, shown and its pending events handled; prints seconds."""
import sys
import time

import gi

gi.require_version("Gtk", "3.0")
from gi.repository import Gtk  # noqa: E402

n = int(sys.argv[1]) if len(sys.argv) > 1 else 1000
t0 = time.perf_counter()
win = Gtk.Window(title="bench")
win.set_default_size(1200, 900)
fixed = Gtk.Fixed()
win.add(fixed)
for i in range(n):
    b = Gtk.Button(label=f"b{i + 1}")
    b.set_size_request(28, 24)
    fixed.put(b, i % 40 * 30, i // 40 * 30)
win.show_all()
while Gtk.events_pending():
    Gtk.main_iteration()
print(time.perf_counter() - t0)
if len(fixed.get_children()) != n:
    print("wrong result")
    sys.exit(1)
win.destroy()
