#!/usr/bin/env python3
"""Windows, input and timers of the GTK backend under Xvfb.

Usage: window_x11.py VYN
Starts its own Xvfb. vyn shows a window whose faces log their events on
stdout; xdotool types and clicks into it, X11 asks it to close, and the
log must show the events the script layer gets, in their order.
"""
import ctypes
import ctypes.util
import os
import select
import subprocess
import sys
import time

# The X server and the checks are the clipboard test's.
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from clipboard_x11 import check, start_xvfb  # noqa: E402
import clipboard_x11  # noqa: E402


class Vyn:
    """A vyn process running a script, its stdout read line by line."""

    def __init__(self, vyn_path, env, script, tmp):
        path = os.path.join(tmp, "script.vyn")
        with open(path, "w") as f:
            f.write(script)
        self.proc = subprocess.Popen([vyn_path, path], stdout=subprocess.PIPE, stderr=subprocess.STDOUT, env=env)
        self.buffer = b""

    def lines(self, seconds=0.4, until=None, count=None):
        """The lines printed within the time (or until a line equals `until`,
        or until `count` lines came: a loaded machine may be slow to answer)."""
        out = []
        end = time.monotonic() + seconds
        while time.monotonic() < end:
            while b"\n" in self.buffer:
                line, self.buffer = self.buffer.split(b"\n", 1)
                out.append(line.decode("utf-8", "replace"))
                if until is not None and out[-1] == until:
                    return out
                if count is not None and len(out) >= count:
                    return out
            ready, _, _ = select.select([self.proc.stdout], [], [], max(0, end - time.monotonic()))
            if ready:
                chunk = os.read(self.proc.stdout.fileno(), 4096)
                if not chunk:
                    break
                self.buffer += chunk
        return out

    def finish(self, seconds=5):
        try:
            self.proc.wait(seconds)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
        return self.proc.returncode


def xdotool(env, *args):
    return subprocess.run(["xdotool", *args], env=env, capture_output=True, text=True, timeout=10).stdout.strip()


def window_id(env, title):
    for _ in range(50):
        found = xdotool(env, "search", "--name", f"^{title}$")
        if found:
            return found.split()[0]
        time.sleep(0.1)
    raise SystemExit(f"no window {title}")


class XClientMessageEvent(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                ("format", ctypes.c_int), ("data", ctypes.c_long * 5)]


class XEvent(ctypes.Union):
    _fields_ = [("xclient", XClientMessageEvent), ("pad", ctypes.c_long * 24)]


def ask_to_close(display, window):
    """What a window manager sends when the user closes a window."""
    x11 = ctypes.cdll.LoadLibrary(ctypes.util.find_library("X11"))
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    x11.XInternAtom.restype = ctypes.c_ulong
    x11.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long, ctypes.c_void_p]
    x11.XFlush.argtypes = x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
    dpy = x11.XOpenDisplay(display.encode())
    event = XEvent()
    event.xclient.type = 33  # ClientMessage
    event.xclient.window = int(window)
    event.xclient.message_type = x11.XInternAtom(dpy, b"WM_PROTOCOLS", 0)
    event.xclient.format = 32
    event.xclient.data[0] = x11.XInternAtom(dpy, b"WM_DELETE_WINDOW", 0)
    x11.XSendEvent(dpy, int(window), 0, 0, ctypes.byref(event))
    x11.XFlush(dpy)
    x11.XCloseDisplay(dpy)


def bind_keysym(display, keysym):
    """Binds the key symbol to a key code that has none, for good: xdotool
    would bind one only for its own press, and a slow client may read the
    keymap after it has been taken back."""
    x11 = ctypes.cdll.LoadLibrary(ctypes.util.find_library("X11"))
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x11.XGetKeyboardMapping.restype = ctypes.POINTER(ctypes.c_ulong)
    x11.XGetKeyboardMapping.argtypes = [ctypes.c_void_p, ctypes.c_ubyte, ctypes.c_int, ctypes.POINTER(ctypes.c_int)]
    x11.XChangeKeyboardMapping.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int,
                                           ctypes.POINTER(ctypes.c_ulong), ctypes.c_int]
    x11.XFree.argtypes = [ctypes.c_void_p]
    x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
    x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
    dpy = x11.XOpenDisplay(display.encode())
    per = ctypes.c_int()
    first, count = 8, 248
    syms = x11.XGetKeyboardMapping(dpy, first, count, ctypes.byref(per))
    free = next(code for code in range(first + count - 1, first, -1)
                if not any(syms[(code - first) * per.value + i] for i in range(per.value)))
    x11.XFree(syms)
    x11.XChangeKeyboardMapping(dpy, free, 1, (ctypes.c_ulong * 1)(keysym), 1)
    x11.XSync(dpy, 0)
    x11.XCloseDisplay(dpy)


def pixels(env, window):
    """The window's pixels as rows of (r, g, b), from a PPM screenshot."""
    data = subprocess.run(["import", "-window", window, "-depth", "8", "ppm:-"], env=env, capture_output=True, timeout=10).stdout
    fields = []
    pos = 0
    while len(fields) < 4:
        while data[pos:pos + 1].isspace():
            pos += 1
        start = pos
        while not data[pos:pos + 1].isspace():
            pos += 1
        fields.append(data[start:pos])
    width, height = int(fields[1]), int(fields[2])
    body = data[pos + 1:]
    return [[tuple(body[(y * width + x) * 3:(y * width + x) * 3 + 3]) for x in range(width)] for y in range(height)]


WINDOW = r'''Vyn []
log: func [x][print mold x]
w: make face! [type: 'window offset: 0x0 size: 300x200 text: "vyn-x11" color: 0.0.255
	pane: reduce [
		b: make face! [type: 'base offset: 10x10 size: 100x50 color: 255.0.0]
		bt: make face! [type: 'button offset: 150x10 size: 30x10 text: "Go"
			actors: make object! [on-click: func [f e][log 'click]]]
	]
	actors: make object! [
		on-key-down: func [f e][log reduce ['key-down e/key e/flags]]
		on-key: func [f e][log reduce ['key e/key e/flags]]
		on-resize: func [f e][log reduce ['resize f/size]]
		closes: 0
		on-close: func [f e][closes: closes + 1 log reduce ['close closes] either closes = 1 ['continue][none]]
	]
]
b/actors: make object! [
	on-down: func [f e][log reduce ['down e/offset e/flags]]
	on-up: func [f e][log reduce ['up e/offset e/flags]]
	on-dbl-click: func [f e][log reduce ['dbl-click e/offset]]
	on-alt-down: func [f e][log reduce ['alt-down e/offset e/flags]]
	on-wheel: func [f e][log reduce ['wheel e/key e/picked]]
]
; Tab reaches the actors, not the focus order.
remove-event-func 'tab
write-clipboard "from vyn"
log 'ready
view w
log 'done
'''


def window_tests(vyn_path, env, tmp):
    bind_keysym(env["DISPLAY"], 0x101F600)
    vyn = Vyn(vyn_path, env, WINDOW, tmp)
    check("started", vyn.lines(10, until="ready")[-1:], ["ready"])
    wid = window_id(env, "vyn-x11")
    time.sleep(0.3)
    # The clipboard is served while the event loop runs.
    pasted = subprocess.run(["xclip", "-o", "-selection", "clipboard"], env=env, capture_output=True, timeout=10)
    check("clipboard served by the loop", pasted.stdout, b"from vyn")

    # Every face exactly at its offset and size, the button too (far below
    # its theme's natural size), painted in the faces' colours.
    rows = pixels(env, wid)
    check("window size", (len(rows[0]), len(rows)), (300, 200))
    check("base face painted at its offset and size",
          [rows[10][10], rows[59][109], rows[9][10], rows[10][9], rows[60][109], rows[59][110]],
          [(255, 0, 0), (255, 0, 0), (0, 0, 255), (0, 0, 255), (0, 0, 255), (0, 0, 255)])
    check("button exactly 30x10", [rows[9][160] == (0, 0, 255), rows[10][149] == (0, 0, 255),
                                   rows[20][160] == (0, 0, 255), rows[14][180] == (0, 0, 255),
                                   rows[14][165] != (0, 0, 255)], [True, True, True, True, True])

    xdotool(env, "windowfocus", "--sync", wid)
    keys = [("a", ["key-down #\"A\" []", "key #\"a\" []"]),
            ("Left", ["key-down left []", "key left []"]),
            ("F12", ["key-down F12 []", "key F12 []"]),
            ("ctrl+c", ["key-down left-control [control]", "key-down #\"C\" [control]", "key #\"^C\" [control]"]),
            ("ctrl+F1", ["key-down left-control [control]", "key-down F1 [control]", "key F1 [control]"]),
            ("shift+Tab", ["key-down left-shift [shift]", "key-down #\"^-\" [shift]", "key #\"^-\" [shift]"]),
            ("U1F600", ["key-down #\"\U0001F600\" []", "key #\"\U0001F600\" []"])]
    for key, want in keys:
        xdotool(env, "key", key)
        check(f"keys {key}", vyn.lines(3, count=len(want)), [f"[{w}]" for w in want])

    xdotool(env, "mousemove", "--window", wid, "20", "25", "click", "1")
    check("click", vyn.lines(3, count=2), ["[down (10, 15) [down]]", "[up (10, 15) []]"])
    time.sleep(0.6)  # no double click with the first one
    xdotool(env, "click", "--repeat", "2", "--delay", "80", "1")
    check("double click", [line.split(" (")[0] for line in vyn.lines(3, count=5)],
          ["[down", "[up", "[down", "[dbl-click", "[up"])
    xdotool(env, "click", "4")
    xdotool(env, "click", "5")
    check("wheel", vyn.lines(3, count=2), ["[wheel wheel 1.0]", "[wheel wheel -1.0]"])
    xdotool(env, "click", "3")
    check("right button", vyn.lines(3, count=1), ["[alt-down (10, 15) [alt-down]]"])
    xdotool(env, "mousemove", "--window", wid, "165", "15", "click", "1")
    check("button clicked", vyn.lines(3, count=1), ["click"])

    xdotool(env, "windowsize", wid, "320", "240")
    check("resize reported with its size", vyn.lines(3, count=1), ["[resize 320x240]"])

    ask_to_close(env["DISPLAY"], wid)
    check("first close answered continue", vyn.lines(3, count=1), ["[close 1]"])
    shown = subprocess.run(["xwininfo", "-id", wid], env=env, capture_output=True, text=True, timeout=10).stdout
    check("window kept on the screen", "IsViewable" in shown, True)
    ask_to_close(env["DISPLAY"], wid)
    check("second close ends the loop", vyn.lines(3, until="done"), ["[close 2]", "done"])
    check("process ends", vyn.finish(), 0)


TIMER = r'''Vyn []
n: 0
w: make face! [type: 'window offset: 0x0 size: 50x50 text: "timer"
	actors: make object! [on-time: func [f e][n: n + 1]]]
view/no-wait w
w/rate: 20
t: now/precise
while [(difference now/precise t) < 0:00:01][do-events/no-wait]
print n
print system/view/metrics/dpi
'''


def timer_and_dpi_tests(vyn_path, env, tmp):
    vyn = Vyn(vyn_path, env, TIMER, tmp)
    out = vyn.lines(8)
    vyn.finish()
    # A loaded machine can miss ticks (GLib does not fire missed ones again),
    # so the floor is loose; more than 25 would be a timer firing too often.
    check("rate 20 ticks 8-25 times a second", 8 <= int(out[0]) <= 25 if out else out, True)
    check("dpi at scale 1", out[1:2], ["96"])
    vyn = Vyn(vyn_path, dict(env, GDK_SCALE="2"), TIMER, tmp)
    out = vyn.lines(8)
    vyn.finish()
    check("dpi at GDK_SCALE=2", out[1:2], ["192"])


def main():
    return clipboard_x11.run_under_display(window_tests, timer_and_dpi_tests)


if __name__ == "__main__":
    sys.exit(main())
