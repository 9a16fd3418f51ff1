#!/usr/bin/env python3
"""Windows made by the layout dialect, shown by the GTK backend under Xvfb.

Usage: layout_x11.py VYN
Each control must sit exactly where its face says: pointer presses just
inside a face's corners reach that face and those just outside reach the
window; painted controls show their edges on the face's rectangle. Then a
button runs its actor, Tab and Return reach a field's on-enter, and a
close answered `continue` keeps the window.
"""
import os
import re
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import window_x11 as x11  # noqa: E402
from clipboard_x11 import check, run_under_display  # noqa: E402

BASES = r'''Vyn []
w: layout [base base]
w/text: "vyn-bases"
print mold reduce [w/size w/pane/1/offset w/pane/2/offset]
print "ready"
view w
print "done"
'''

BASE_GREY = (128, 128, 128)


def geometry(env, wid):
    out = subprocess.run(["xwininfo", "-id", wid], env=env, capture_output=True, text=True, timeout=10).stdout
    width = re.search(r"Width: (\d+)", out).group(1)
    height = re.search(r"Height: (\d+)", out).group(1)
    return int(width), int(height)


def bases_tests(vyn_path, env, tmp):
    vyn = x11.Vyn(vyn_path, env, BASES, tmp)
    out = vyn.lines(10, until="ready")
    check("layout of two bases", out[-2:], ["[190x100 10x10 100x10]", "ready"])
    wid = x11.window_id(env, "vyn-bases")
    x11.xdotool(env, "windowfocus", "--sync", wid)
    check("client area", geometry(env, wid), (190, 100))
    rows = x11.pixels(env, wid)
    check("base colour at both centres", [rows[50][50], rows[50][140]], [BASE_GREY, BASE_GREY])
    check("window colour between them", rows[50][95] != BASE_GREY, True)
    x11.ask_to_close(env["DISPLAY"], wid)
    check("closed", vyn.lines(3, until="done"), ["done"])
    check("process ends", vyn.finish(), 0)


# Faces log a press with their position in the pane; the window's own
# presses log 0. Every face's geometry is printed before the window shows.
MIXED = r'''Vyn []
closes: 0
w: layout [
	title "vyn-layout"
	backdrop 0.0.255
	on-close [closes: closes + 1 print ["close" closes] either closes = 1 ['continue][none]]
	button "Go" [print "clicked"]
	check "Check"
	text "Label"
	base 40x23
	return
	field "one"
	field "two" [print ["enter" face/text]]
	area 60x40 "x"
	return
	slider 100x23 50%
	drop-list data ["a" "bc"]
]
w/actors: make w/actors [on-down: func [face event][print "down 0" 'done]]
repeat i length? w/pane [
	f: w/pane/:i
	f/actors: make any [f/actors make object! []] compose/deep [
		on-down: func [face event][print ["down" (i)] 'done]
	]
	print ["face" i f/type f/offset/x f/offset/y f/size/x f/size/y]
]
print "ready"
view w
print "done"
'''

# Controls whose presses arrive on a window of exactly their allocation
# (a native drop-list takes its presses to open its list).
POINTER_PROBED = {"button", "check", "text", "base", "slider"}
# Controls that paint their whole allocation (their edges show on blue).
PIXEL_PROBED = {"button", "field", "area", "base", "drop-list"}
BLUE = (0, 0, 255)


def mixed_tests(vyn_path, env, tmp):
    vyn = x11.Vyn(vyn_path, env, MIXED, tmp)
    out = vyn.lines(10, until="ready")
    check("started", out[-1:], ["ready"])
    faces = []
    for line in out:
        if line.startswith("face "):
            _, i, kind, x, y, w, h = line.split()
            faces.append((int(i), kind, int(x), int(y), int(w), int(h)))
    check("faces in layout order", [f[1] for f in faces],
          ["button", "check", "text", "base", "field", "field", "area", "slider", "drop-list"])
    wid = x11.window_id(env, "vyn-layout")
    x11.xdotool(env, "windowfocus", "--sync", wid)
    vyn.lines(0.5)

    rows = x11.pixels(env, wid)
    for i, kind, x, y, w, h in faces:
        if kind not in PIXEL_PROBED:
            continue
        mid_x, mid_y = x + w // 2, y + h // 2
        inside = [rows[y][mid_x], rows[y + h - 1][mid_x], rows[mid_y][x], rows[mid_y][x + w - 1]]
        outside = [rows[y - 1][mid_x], rows[y + h][mid_x], rows[mid_y][x - 1], rows[mid_y][x + w]]
        check(f"{kind} {i} painted on its edges", [p != BLUE for p in inside], [True] * 4)
        check(f"{kind} {i} paints nothing outside", outside, [BLUE] * 4)

    def press(x, y):
        """Who got the press (the window may report its own press twice)."""
        x11.xdotool(env, "mousemove", "--window", wid, str(x), str(y), "click", "1")
        return sorted({line for line in vyn.lines(0.4) if line.startswith("down")})

    for i, kind, x, y, w, h in faces:
        if kind not in POINTER_PROBED:
            continue
        got = [press(x, y), press(x + w - 1, y + h - 1), press(x - 1, y), press(x, y - 1),
               press(x + w, y + h - 1), press(x + w - 1, y + h)]
        check(f"{kind} {i} receives presses on exactly its rectangle", got,
              [[f"down {i}"]] * 2 + [["down 0"]] * 4)

    button = faces[0]
    x11.xdotool(env, "mousemove", "--window", wid, str(button[2] + 10), str(button[3] + 10), "click", "1")
    check("button runs its actor", [line for line in vyn.lines(0.5) if not line.startswith("down")], ["clicked"])

    first = faces[4]
    x11.xdotool(env, "mousemove", "--window", wid, str(first[2] + 5), str(first[3] + 5), "click", "1")
    vyn.lines(0.4)
    x11.xdotool(env, "key", "Tab")
    x11.xdotool(env, "key", "Return")
    check("Tab then Return reach the next field's on-enter", vyn.lines(0.6), ["enter two"])

    x11.ask_to_close(env["DISPLAY"], wid)
    check("on-close answered continue", vyn.lines(0.6), ["close 1"])
    shown = subprocess.run(["xwininfo", "-id", wid], env=env, capture_output=True, text=True, timeout=10).stdout
    check("window kept on the screen", "IsViewable" in shown, True)
    x11.ask_to_close(env["DISPLAY"], wid)
    check("second close ends the loop", vyn.lines(3, until="done"), ["close 2", "done"])
    check("process ends", vyn.finish(), 0)


def main():
    return run_under_display(bases_tests, mixed_tests)


if __name__ == "__main__":
    sys.exit(main())
