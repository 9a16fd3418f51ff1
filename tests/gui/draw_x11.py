#!/usr/bin/env python3
"""Faces painted by the draw engine in a window, under Xvfb.

Usage: draw_x11.py VYN
Starts its own Xvfb. vyn shows a window holding a base face with a `draw`
block, one whose `on-drawing` actor draws the same block through
`draw-face`, a base face drawing a rich-text face with a highlighted range,
and a base face without colour over the window's colour. The window is
captured with `import` and compared with what vyn renders itself.
"""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from clipboard_x11 import check, run_under_display  # noqa: E402
from window_x11 import Vyn, pixels, window_id  # noqa: E402

SCRIPT = r'''Vyn []
cmds: [
	pen off fill-pen 200.40.40 box 5x5 45x35
	pen 0.0.128 line-width 3 fill-pen 240.200.0 circle 60x30 15
	fill-pen linear 255.255.0 0.0.255 box 5x40 75x55 6
	fill-pen off pen 20.120.20 line-width 2 spline 10x10 40x50 70x10
]
marked: make face! [type: 'rich-text size: 170x30 text: "Marked words here"
	data: [1x6 backdrop 255.255.0 8x5 bold 0.0.200] color: 255.255.255]
a: make face! [type: 'base offset: 10x10 size: 80x60 color: 230.230.230 draw: cmds]
b: make face! [type: 'base offset: 100x10 size: 80x60 color: 230.230.230
	actors: make object! [on-drawing: func [f e][system/view/platform/draw-face f cmds]]]
c: make face! [type: 'base offset: 10x80 size: 170x30 draw: reduce ['text 0x0 marked]]
; No colour: the window's green shows through around the box.
d: make face! [type: 'base offset: 190x10 size: 40x40 draw: [pen off fill-pen 255.0.255 box 10x10 30x30]]
w: make face! [type: 'window offset: 0x0 size: 240x120 text: "vyn-draw" color: 0.128.0 pane: reduce [a b c d]]
view/no-wait w
t: now/precise
while [(difference now/precise t) < 0:00:01][do-events/no-wait]
i: to image! a
print ["image" i/size enbase/base i/rgb 16]
print "shown"
t: now/precise
while [(difference now/precise t) < 0:00:20][do-events/no-wait]
'''


def region(shot, x, y, w, h):
    return [row[x:x + w] for row in shot[y:y + h]]


def worst(a, b):
    """The largest channel difference between two equal-sized regions."""
    return max(abs(p - q) for ra, rb in zip(a, b) for pa, pb in zip(ra, rb) for p, q in zip(pa, pb))


def draw_tests(vyn_path, env, tmp):
    v = Vyn(vyn_path, env, SCRIPT, tmp)
    out = v.lines(30, until="shown")
    image_lines = [l for l in out if l.startswith("image ")]
    check("vyn showed the window", out[-1:] == ["shown"], True)
    if not image_lines:
        print("\n".join(out))
        v.finish(1)
        return
    _, size, hexed = image_lines[0].split(" ", 2)
    check("to image! of the face has its size", size, "80x60")
    raw = bytes.fromhex(hexed.strip().strip("#{}"))
    own = [[tuple(raw[(y * 80 + x) * 3:(y * 80 + x) * 3 + 3]) for x in range(80)] for y in range(60)]

    shot = pixels(env, window_id(env, "vyn-draw"))
    v.finish(1)
    check("the capture has the window's size", (len(shot[0]), len(shot)), (240, 120))
    a = region(shot, 10, 10, 80, 60)
    b = region(shot, 100, 10, 80, 60)
    check("a draw block and on-drawing with draw-face give the same pixels", a == b, True)
    check("the window's paint matches to image! of the face", (a == own, worst(a, own)), (True, 0))
    check("the face's drawing is there", (a[20][20], a[2][2]), ((200, 40, 40), (230, 230, 230)))

    text = region(shot, 10, 80, 170, 30)
    flat = [p for row in text for p in row]
    check("the rich-text highlight is present", flat.count((255, 255, 0)) > 40, True)
    check("the highlight lies under the first word only", any(p == (255, 255, 0) for p in text[8][120:]), False)
    check("the highlighted word's text is drawn on it", any(max(p) < 100 for row in text for p in row[:30]), True)
    check("a styled range keeps its colour", any(p[2] > 150 and p[0] < 80 and p[1] < 80 for p in flat), True)

    check("a face without colour lets the window show through", (shot[12][192], shot[30][210]),
          ((0, 128, 0), (255, 0, 255)))


def main():
    return run_under_display(draw_tests)


if __name__ == "__main__":
    sys.exit(main())
