#!/usr/bin/env python3
"""Drawing and rich-text layout: vyn against pycairo and PangoCairo, in the same run.

Usage: bench/draw/compare.py build/vyn [runs]

1. 1000 lines and 1000 boxes (pens, fill pens and line widths changing
   along the way) drawn into a 1000x1000 image; pycairo draws the same
   shapes with the same settings onto a 1000x1000 ARGB32 surface.
2. 10,000 mixed commands (pens, fill pens, widths, lines, polylines, plain
   and rounded boxes, circles, ellipses, triangles, polygons, pies) the same
   way.
   Both blocks are also drawn with pen and fill off: the interpreter's cost
   alone, as a share of the full draw.
3. 2,000 lines of rich text, three styled ranges a line, laid out; then
   10,000 caret-to-offset queries (the character at a point) on the layout,
   against PangoCairo from Python on the same text and attributes.

Each side times its own loop (no start-up), best of `runs` (default 5).
Needs Debian's python3-cairo and gir1.2-pango for the system python3.
"""
import math
import random
import re
import subprocess
import sys
import tempfile
import time
from pathlib import Path

import cairo
import gi

gi.require_version("Pango", "1.0")
gi.require_version("PangoCairo", "1.0")
from gi.repository import Pango, PangoCairo  # noqa: E402

DRAWS = 10
COLOURS = [(255, 0, 0), (0, 128, 0), (0, 0, 255), (200, 120, 20), (40, 40, 40)]


# ---- the commands, for both sides ----

def lines_and_boxes():
    rnd = random.Random(7)
    out = []
    for i in range(1000):
        if i % 50 == 0:
            out.append(("pen", rnd.choice(COLOURS)))
            out.append(("fill", rnd.choice(COLOURS)))
            out.append(("width", rnd.randint(1, 4)))
        out.append(("line", [rnd.randint(0, 999) for _ in range(4)]))
        b = [rnd.randint(0, 900) for _ in range(2)]
        out.append(("box", [b[0], b[1], b[0] + rnd.randint(5, 100), b[1] + rnd.randint(5, 100), 0]))
    return out


def mixed(count=10000):
    rnd = random.Random(11)
    out = []
    pt = lambda: (rnd.randint(0, 999), rnd.randint(0, 999))  # noqa: E731

    def near(n):
        # Shapes of up to about 100 pixels, as a drawing holds.
        x, y = rnd.randint(50, 949), rnd.randint(50, 949)
        return [(x + rnd.randint(-50, 50), y + rnd.randint(-50, 50)) for _ in range(n)]
    while len(out) < count:
        k = rnd.randrange(20)
        if k == 0:
            out.append(("pen", rnd.choice(COLOURS)))
        elif k == 1:
            out.append(("fill", rnd.choice(COLOURS)))
        elif k == 2:
            out.append(("width", rnd.randint(1, 5)))
        elif k < 6:
            out.append(("line", [c for p in near(2) for c in p]))
        elif k < 8:
            out.append(("polyline", near(3)))
        elif k < 11:
            x, y = rnd.randint(0, 900), rnd.randint(0, 900)
            out.append(("box", [x, y, x + rnd.randint(5, 100), y + rnd.randint(5, 100), rnd.choice([0, 0, 8])]))
        elif k < 13:
            out.append(("circle", [*pt(), rnd.randint(3, 50)]))
        elif k < 14:
            x, y = rnd.randint(0, 900), rnd.randint(0, 900)
            out.append(("ellipse", [x, y, rnd.randint(5, 100), rnd.randint(5, 100)]))
        elif k < 16:
            out.append(("polygon", near(3)))
        elif k < 18:
            out.append(("polygon", near(5)))
        else:
            out.append(("pie", [*pt(), rnd.randint(5, 50), rnd.randint(5, 50), rnd.randint(0, 359), rnd.randint(10, 300)]))
    return out


def vyn_block(cmds, off):
    words = []
    pair = lambda p: "%dx%d" % p  # noqa: E731
    for kind, a in cmds:
        if kind == "pen":
            words.append("pen off" if off else "pen %d.%d.%d" % a)
        elif kind == "fill":
            words.append("fill-pen off" if off else "fill-pen %d.%d.%d" % a)
        elif kind == "width":
            words.append("line-width %d" % a)
        elif kind == "line":
            words.append("line %dx%d %dx%d" % tuple(a))
        elif kind == "polyline":
            words.append("line " + " ".join(map(pair, a)))
        elif kind == "box":
            words.append("box %dx%d %dx%d" % tuple(a[:4]) + (" %d" % a[4] if a[4] else ""))
        elif kind == "circle":
            words.append("circle %dx%d %d" % tuple(a))
        elif kind == "ellipse":
            words.append("ellipse %dx%d %dx%d" % tuple(a))
        elif kind == "polygon":
            words.append("polygon " + " ".join(map(pair, a)))
        else:
            words.append("arc %dx%d %dx%d %d %d closed" % tuple(a))
    return "[\n" + "\n".join(words) + "\n]"


# ---- pycairo doing what the engine does: fill, then outline ----

def pycairo_run(cmds):
    surface = cairo.ImageSurface(cairo.FORMAT_ARGB32, 1000, 1000)
    ctx = cairo.Context(surface)
    ctx.set_fill_rule(cairo.FILL_RULE_EVEN_ODD)
    state = {"pen": (0, 0, 0), "fill": None}

    def paint(filled=True):
        if filled and state["fill"]:
            f = state["fill"]
            ctx.set_source_rgba(f[0] / 255, f[1] / 255, f[2] / 255, 1)
            ctx.fill_preserve()
        p = state["pen"]
        ctx.set_source_rgba(p[0] / 255, p[1] / 255, p[2] / 255, 1)
        ctx.stroke()

    def ellipse(cx, cy, rx, ry):
        ctx.new_sub_path()
        ctx.save()
        ctx.translate(cx, cy)
        ctx.scale(rx, ry)
        ctx.arc(0, 0, 1, 0, 2 * math.pi)
        ctx.restore()
        ctx.close_path()

    for kind, a in cmds:
        if kind == "pen":
            state["pen"] = a
        elif kind == "fill":
            state["fill"] = a
        elif kind == "width":
            ctx.set_line_width(a)
        elif kind == "line":
            ctx.move_to(a[0], a[1])
            ctx.line_to(a[2], a[3])
            paint(False)
        elif kind == "polyline":
            ctx.move_to(*a[0])
            for p in a[1:]:
                ctx.line_to(*p)
            paint()
        elif kind == "box":
            x1, y1, x2, y2, r = a
            if r:
                ctx.new_sub_path()
                ctx.arc(x2 - r, y1 + r, r, -math.pi / 2, 0)
                ctx.arc(x2 - r, y2 - r, r, 0, math.pi / 2)
                ctx.arc(x1 + r, y2 - r, r, math.pi / 2, math.pi)
                ctx.arc(x1 + r, y1 + r, r, math.pi, 3 * math.pi / 2)
                ctx.close_path()
            else:
                ctx.rectangle(x1, y1, x2 - x1, y2 - y1)
            paint()
        elif kind == "circle":
            ellipse(a[0], a[1], a[2], a[2])
            paint()
        elif kind == "ellipse":
            ellipse(a[0] + a[2] / 2, a[1] + a[3] / 2, a[2] / 2, a[3] / 2)
            paint()
        elif kind == "polygon":
            ctx.move_to(*a[0])
            for p in a[1:]:
                ctx.line_to(*p)
            ctx.close_path()
            paint()
        else:
            cx, cy, rx, ry, start, sweep = a
            t1 = math.atan2(rx * math.sin(math.radians(start)), ry * math.cos(math.radians(start)))
            t2 = math.atan2(rx * math.sin(math.radians(start + sweep)), ry * math.cos(math.radians(start + sweep)))
            ctx.move_to(cx, cy)
            ctx.save()
            ctx.translate(cx, cy)
            ctx.scale(rx, ry)
            ctx.arc(0, 0, 1, t1, t1 + (t2 - t1) % (2 * math.pi))
            ctx.restore()
            ctx.close_path()
            paint()
    surface.flush()


# ---- rich text ----

LINES = 2000
QUERIES = 10000


def rich_text():
    rnd = random.Random(5)
    words = "the quick brown fox jumps over a lazy dog while seven wizards box".split()
    lines = ["%04d %s" % (i, " ".join(rnd.choice(words) for _ in range(8))) for i in range(LINES)]
    text = "\n".join(lines)
    styles = []  # (start 0-based, length, kind)
    pos = 0
    for line in lines:
        styles.append((pos, 4, "bold"))
        styles.append((pos + 5, 10, "red"))
        styles.append((pos + 16, 8, "italic"))
        pos += len(line) + 1
    points = [(rnd.randint(0, 500), rnd.randint(0, LINES * 14)) for _ in range(QUERIES)]
    return text, styles, points


def pango_layout(ctx, text, styles):
    layout = Pango.Layout.new(ctx)
    layout.set_font_description(Pango.FontDescription.from_string("Sans 9"))
    layout.set_width(600 * Pango.SCALE)
    layout.set_wrap(Pango.WrapMode.WORD_CHAR)
    layout.set_text(text, -1)
    attrs = Pango.AttrList()
    for start, length, kind in styles:
        if kind == "bold":
            a = Pango.attr_weight_new(Pango.Weight.BOLD)
        elif kind == "italic":
            a = Pango.attr_style_new(Pango.Style.ITALIC)
        else:
            a = Pango.attr_foreground_new(65535, 0, 0)
        a.start_index, a.end_index = start, start + length  # ASCII: bytes are characters
        attrs.insert(a)
    layout.set_attributes(attrs)
    layout.get_extents()  # lays it out
    return layout


def pango_times(runs):
    text, styles, points = rich_text()
    # PangoCairo's font map, as vyn lays text out with.
    ctx = PangoCairo.FontMap.get_default().create_context()
    best_layout = best_query = float("inf")
    for _ in range(runs):
        t = time.perf_counter()
        layout = pango_layout(ctx, text, styles)
        best_layout = min(best_layout, time.perf_counter() - t)
        t = time.perf_counter()
        total = 0
        for x, y in points:
            _, index, trailing = layout.xy_to_index(x * Pango.SCALE, y * Pango.SCALE)
            total += index + 1 + (1 if trailing else 0)
        best_query = min(best_query, time.perf_counter() - t)
    return best_layout, best_query, total


def vyn_string(s):
    return '{' + s.replace('^', '^^').replace('{', '^{').replace('}', '^}') + '}'


def vyn_text_script(runs):
    text, styles, points = rich_text()
    style_words = []
    for start, length, kind in styles:
        style_words.append("%dx%d %s" % (start + 1, length, {"red": "255.0.0"}.get(kind, kind)))
    script = "Vyn []\n"
    script += "long-text: %s\n" % vyn_string(text)
    script += "styles: [%s]\n" % " ".join(style_words)
    script += "points: [%s]\n" % " ".join("%dx%d" % p for p in points)
    script += ("rt: make face! [type: 'rich-text size: 600x0 text: long-text data: styles handles: none "
               "font: make font! [name: \"Sans\" size: 9]]\n")
    script += "metrics: :system/view/platform/text-box-metrics\n"
    script += ("loop %d [\n"
               "  rt/data: copy styles\n"
               "  t: now/precise metrics rt none 3 print ['layout difference now/precise t]\n"
               "  total: 0\n"
               "  t: now/precise foreach p points [total: total + metrics rt p 1]\n"
               "  print ['query difference now/precise t total]\n"
               "]\n") % runs
    return script


# ---- running vyn ----

def seconds(text):
    h, m, s = re.fullmatch(r"(\d+):(\d+):([\d.]+)", text.strip()).groups()
    return int(h) * 3600 + int(m) * 60 + float(s)


def run_vyn(vyn, script):
    with tempfile.TemporaryDirectory() as d:
        path = Path(d) / "bench.vyn"
        path.write_text(script)
        return subprocess.run([vyn, str(path)], capture_output=True, text=True, check=True,
                              env={"VYN_HEADLESS": "1", "PATH": "/usr/bin:/bin"}).stdout


def vyn_draw_time(vyn, block, runs):
    script = "Vyn []\ncmds: %s\nimg: make image! 1000x1000\ndraw img cmds\n" % block
    script += "loop %d [t: now/precise loop %d [draw img cmds] print difference now/precise t]\n" % (runs, DRAWS)
    out = run_vyn(vyn, script)
    return min(seconds(line) for line in out.splitlines() if line.strip()) / DRAWS


def pycairo_time(cmds, runs):
    best = float("inf")
    pycairo_run(cmds)
    for _ in range(runs):
        t = time.perf_counter()
        for _ in range(DRAWS):
            pycairo_run(cmds)
        best = min(best, (time.perf_counter() - t) / DRAWS)
    return best


def draw_figures(vyn, title, cmds, runs):
    py = pycairo_time(cmds, runs)
    v = vyn_draw_time(vyn, vyn_block(cmds, False), runs)
    v_off = vyn_draw_time(vyn, vyn_block(cmds, True), runs)
    print(title + ", per draw:")
    print("  pycairo          %8.2f ms" % (py * 1000))
    print("  vyn draw         %8.2f ms  (%.2fx pycairo)" % (v * 1000, v / py))
    print("  vyn, pens off    %8.2f ms  (%.2fx of vyn draw: the interpreter alone)" % (v_off * 1000, v_off / v))


def text_figures(vyn, runs):
    p_layout, p_query, p_total = pango_times(runs)
    out = run_vyn(vyn, vyn_text_script(runs))
    v_layout = min(seconds(l.split(" ", 1)[1]) for l in out.splitlines() if l.startswith("layout"))
    queries = [l.split() for l in out.splitlines() if l.startswith("query")]
    v_query = min(seconds(q[1]) for q in queries)
    if int(queries[0][2]) != p_total:
        print("  (the offsets differ: vyn %s, PangoCairo %d)" % (queries[0][2], p_total))
    print("%d styled lines of rich text:" % LINES)
    print("  layout   PangoCairo %8.2f ms  vyn %8.2f ms  (%.2fx)" % (p_layout * 1000, v_layout * 1000, v_layout / p_layout))
    print("  %d caret-to-offset queries   PangoCairo %8.2f ms  vyn %8.2f ms  (%.2fx)" % (
        QUERIES, p_query * 1000, v_query * 1000, v_query / p_query))


def main():
    vyn = sys.argv[1]
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 5
    draw_figures(vyn, "1000 lines + 1000 boxes into 1000x1000", lines_and_boxes(), runs)
    draw_figures(vyn, "10,000 mixed commands into 1000x1000", mixed(), runs)
    text_figures(vyn, runs)


if __name__ == "__main__":
    main()
