#!/usr/bin/env python3
"""Drawing: vyn's draw dialect against pycairo, in the same run.

Usage: bench/draw/compare.py build/vyn [runs]

One block of 1000 lines and 1000 boxes (pens, fill pens and line widths
changing along the way) is drawn into a 1000x1000 image; pycairo draws the
same shapes with the same settings onto a 1000x1000 ARGB32 surface. Each
side times its own loop (no start-up), best of `runs` (default 5), ten
draws a run. A second vyn figure draws the block with pen and fill off:
the interpreter's cost alone. Needs Debian's python3-cairo for the system
python3.
"""
import random
import re
import subprocess
import sys
import tempfile
import time
from pathlib import Path

import cairo

DRAWS = 10
COLOURS = [(255, 0, 0), (0, 128, 0), (0, 0, 255), (200, 120, 20), (40, 40, 40)]


def commands():
    rnd = random.Random(7)
    out = []
    for i in range(1000):
        if i % 50 == 0:
            out.append(("pen", rnd.choice(COLOURS)))
            out.append(("fill", rnd.choice(COLOURS)))
            out.append(("width", rnd.randint(1, 4)))
        p = [rnd.randint(0, 999) for _ in range(4)]
        out.append(("line", p))
        b = [rnd.randint(0, 900) for _ in range(2)]
        out.append(("box", [b[0], b[1], b[0] + rnd.randint(5, 100), b[1] + rnd.randint(5, 100)]))
    return out


def vyn_block(cmds, off):
    words = []
    for kind, a in cmds:
        if kind == "pen":
            words.append("pen off" if off else "pen %d.%d.%d" % a)
        elif kind == "fill":
            words.append("fill-pen off" if off else "fill-pen %d.%d.%d" % a)
        elif kind == "width":
            words.append("line-width %d" % a)
        elif kind == "line":
            words.append("line %dx%d %dx%d" % tuple(a))
        else:
            words.append("box %dx%d %dx%d" % tuple(a))
    return "[\n" + "\n".join(words) + "\n]"


def pycairo_run(cmds):
    surface = cairo.ImageSurface(cairo.FORMAT_ARGB32, 1000, 1000)
    ctx = cairo.Context(surface)
    ctx.set_fill_rule(cairo.FILL_RULE_EVEN_ODD)
    pen = fill = (0, 0, 0)
    for kind, a in cmds:
        if kind == "pen":
            pen = a
        elif kind == "fill":
            fill = a
        elif kind == "width":
            ctx.set_line_width(a)
        elif kind == "line":
            ctx.move_to(a[0], a[1])
            ctx.line_to(a[2], a[3])
            ctx.set_source_rgba(pen[0] / 255, pen[1] / 255, pen[2] / 255, 1)
            ctx.stroke()
        else:
            ctx.rectangle(a[0], a[1], a[2] - a[0], a[3] - a[1])
            ctx.set_source_rgba(fill[0] / 255, fill[1] / 255, fill[2] / 255, 1)
            ctx.fill_preserve()
            ctx.set_source_rgba(pen[0] / 255, pen[1] / 255, pen[2] / 255, 1)
            ctx.stroke()
    surface.flush()


def seconds(text):
    h, m, s = re.fullmatch(r"(\d+):(\d+):([\d.]+)", text.strip()).groups()
    return int(h) * 3600 + int(m) * 60 + float(s)


def vyn_time(vyn, block, runs):
    script = "Vyn []\ncmds: %s\nimg: make image! 1000x1000\ndraw img cmds\n" % block
    script += "loop %d [t: now/precise loop %d [draw img cmds] print difference now/precise t]\n" % (runs, DRAWS)
    with tempfile.TemporaryDirectory() as d:
        path = Path(d) / "draw.vyn"
        path.write_text(script)
        out = subprocess.run([vyn, str(path)], capture_output=True, text=True, check=True).stdout
    return min(seconds(line) for line in out.splitlines() if line.strip()) / DRAWS


def main():
    vyn = sys.argv[1]
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 5
    cmds = commands()
    best = float("inf")
    pycairo_run(cmds)
    for _ in range(runs):
        t = time.perf_counter()
        for _ in range(DRAWS):
            pycairo_run(cmds)
        best = min(best, (time.perf_counter() - t) / DRAWS)
    v = vyn_time(vyn, vyn_block(cmds, False), runs)
    v_off = vyn_time(vyn, vyn_block(cmds, True), runs)
    print("1000 lines + 1000 boxes into 1000x1000, per draw:")
    print("  pycairo          %8.2f ms" % (best * 1000))
    print("  vyn draw         %8.2f ms  (%.2fx pycairo)" % (v * 1000, v / best))
    print("  vyn, pens off    %8.2f ms  (%.2fx of vyn draw: the interpreter alone)" % (v_off * 1000, v_off / v))


if __name__ == "__main__":
    main()
