#!/usr/bin/env python3
"""Key events through the GTK backend, against PyGObject, in one run.

Usage: bench/gtk_keys_compare.py build/vyn [runs]
Starts an Xvfb of its own. Two measures:
- dispatch: 20,000 synthetic key events sent to a window whose actor
  counts them (vyn: send-event through the global event functions; the
  peer: PyGObject emitting 20,000 GDK key presses on a window whose Python
  handler counts them). The best of `runs` (default 5) counts. Target:
  vyn within 10 times the peer.
- latency: real key presses (XTest) into a vyn window, from the press
  leaving the client to the actor's line arriving on vyn's stdout, over
  200 presses: p50 and p95. Target: p95 at most 5 ms.
PyGObject comes from Debian's python3-gi, which serves the system's python3.
"""
import ctypes
import ctypes.util
import os
import select
import subprocess
import sys
import tempfile
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "tests" / "gui"))
from clipboard_x11 import start_xvfb  # noqa: E402
import window_x11 as x11  # noqa: E402

SYSTEM_PYTHON = "/usr/bin/python3"
EVENTS = 20000
PRESSES = 200

VYN_DISPATCH = r'''Vyn []
w: make face! [type: 'window offset: 0x0 size: 100x100 text: "keys"
	actors: make object! [n: 0 on-key: func [f e][n: n + 1]]]
view/no-wait w
e: make event! compose [type: 'key key: #"a" face: (w)]
t: now/precise
loop %d [send-event e]
print to float! difference now/precise t
if w/actors/n <> %d [print "wrong count" quit/return 1]
''' % (EVENTS, EVENTS)

PEER_DISPATCH = r'''
import time
import gi
gi.require_version("Gtk", "3.0")
gi.require_version("Gdk", "3.0")
from gi.repository import Gdk, Gtk
count = [0]
def on_key(widget, event):
    count[0] += 1
    return True
w = Gtk.Window(title="keys")
w.set_default_size(100, 100)
w.connect("key-press-event", on_key)
w.show_all()
while Gtk.events_pending():
    Gtk.main_iteration()
e = Gdk.Event.new(Gdk.EventType.KEY_PRESS)
e.key.window = w.get_window()
e.key.keyval = Gdk.KEY_a
e.key.string = "a"
t = time.perf_counter()
for _ in range(%d):
    w.event(e)
print(time.perf_counter() - t)
assert count[0] == %d, count[0]
''' % (EVENTS, EVENTS)

VYN_LATENCY = r'''Vyn []
w: make face! [type: 'window offset: 0x0 size: 100x100 text: "vyn-keys"
	actors: make object! [on-key-down: func [f e][print "k"]]]
print "ready"
view w
'''


def best(cmd, env, runs):
    times = []
    for _ in range(runs):
        out = subprocess.run(cmd, check=True, capture_output=True, text=True, env=env, timeout=300).stdout
        times.append(float(out.split()[0]))
    return min(times)


def percentile(values, p):
    values = sorted(values)
    return values[min(len(values) - 1, int(round(p / 100 * (len(values) - 1))))]


def latencies(vyn, env, tmp):
    proc = x11.Vyn(vyn, env, VYN_LATENCY, tmp)
    proc.lines(10, until="ready")
    wid = x11.window_id(env, "vyn-keys")
    time.sleep(0.5)
    x11.xdotool(env, "windowfocus", "--sync", wid)
    xlib = ctypes.cdll.LoadLibrary(ctypes.util.find_library("X11"))
    xtst = ctypes.cdll.LoadLibrary(ctypes.util.find_library("Xtst"))
    xlib.XOpenDisplay.restype = ctypes.c_void_p
    xlib.XOpenDisplay.argtypes = [ctypes.c_char_p]
    xlib.XStringToKeysym.restype = ctypes.c_ulong
    xlib.XStringToKeysym.argtypes = [ctypes.c_char_p]
    xlib.XKeysymToKeycode.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
    xlib.XFlush.argtypes = xlib.XCloseDisplay.argtypes = [ctypes.c_void_p]
    xtst.XTestFakeKeyEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int, ctypes.c_ulong]
    dpy = xlib.XOpenDisplay(env["DISPLAY"].encode())
    code = xlib.XKeysymToKeycode(dpy, xlib.XStringToKeysym(b"a"))
    out = []
    for _ in range(PRESSES):
        xtst.XTestFakeKeyEvent(dpy, code, 1, 0)
        xlib.XFlush(dpy)
        start = time.perf_counter()
        line = b""
        while not line.endswith(b"\n"):
            ready, _, _ = select.select([proc.proc.stdout], [], [], 2)
            if not ready:
                raise SystemExit("no key reached the actor")
            line += os.read(proc.proc.stdout.fileno(), 1)
        out.append((time.perf_counter() - start) * 1000)
        xtst.XTestFakeKeyEvent(dpy, code, 0, 0)
        xlib.XFlush(dpy)
        time.sleep(0.02)
    xlib.XCloseDisplay(dpy)
    proc.proc.kill()
    proc.finish()
    return out


def main():
    vyn = os.path.abspath(sys.argv[1])
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 5
    xvfb, display = start_xvfb()
    env = dict(os.environ, DISPLAY=display)
    env.pop("VYN_HEADLESS", None)
    try:
        with tempfile.TemporaryDirectory() as tmp:
            script = Path(tmp) / "dispatch.vyn"
            script.write_text(VYN_DISPATCH)
            peer = Path(tmp) / "peer.py"
            peer.write_text(PEER_DISPATCH)
            ours = best([vyn, str(script)], env, runs)
            theirs = best([SYSTEM_PYTHON, str(peer)], env, runs)
            ratio = ours / theirs
            print(f"dispatch of {EVENTS} key events: vyn {ours * 1000:.1f} ms, PyGObject {theirs * 1000:.1f} ms, "
                  f"ratio {ratio:.2f} (target <= 10): {'ok' if ratio <= 10 else 'MISSED'}")
            lat = latencies(vyn, env, tmp)
            p50, p95 = percentile(lat, 50), percentile(lat, 95)
            print(f"key-to-actor latency over {PRESSES} presses: p50 {p50:.2f} ms, p95 {p95:.2f} ms "
                  f"(target p95 <= 5): {'ok' if p95 <= 5 else 'MISSED'}")
    finally:
        xvfb.terminate()
        xvfb.wait()


if __name__ == "__main__":
    main()
