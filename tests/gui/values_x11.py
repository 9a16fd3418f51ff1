#!/usr/bin/env python3
"""Value controls, scroll bars, paragraph styles, cue banners and dark mode
of the GTK backend under Xvfb.

Usage: values_x11.py VYN
Clicks on a slider, a scroller and a window's own scroll bar must reach
the faces' values and events; the script's writes must move the controls
silently; para! alignment and wrapping, a field's hint and the dark theme
must show on the screen.
"""
import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import window_x11 as x11  # noqa: E402
import clipboard_x11  # noqa: E402

VALUES = r'''Vyn []
log: func [x][print mold x]
acts: make object! [on-change: func [f e][log reduce ['change f/type f/data f/selected]]]
long: "aaaa bbbb cccc dddd eeee ffff"
w: make face! [type: 'window offset: 0x0 size: 400x300 text: "vyn-values" color: 255.255.255 pane: reduce [
	sl: make face! [type: 'slider offset: 10x10 size: 200x24 data: 0% actors: acts]
	pr: make face! [type: 'progress offset: 10x40 size: 200x16 data: 0.5]
	sc: make face! [type: 'scroller offset: 230x10 size: 16x150 actors: acts]
	tx: make face! [type: 'text offset: 10x70 size: 200x20 text: "Right" color: 255.255.255
		para: make para! [align: 'right]]
	f1: make face! [type: 'field offset: 10x100 size: 150x24 text: ""]
	f2: make face! [type: 'field offset: 10x130 size: 150x24 text: "" options: [hint: "Name"]]
	a1: make face! [type: 'area offset: 10x160 size: 100x60 text: long para: make para! [wrap?: true]]
	a2: make face! [type: 'area offset: 120x160 size: 100x60 text: long para: make para! [wrap?: false]]
	make face! [type: 'button offset: 10x240 size: 80x24 text: "Set"
		actors: make object! [on-click: func [f e][
			sl/data: 25% pr/data: 0.25 sc/data: 0.5
			log reduce ['set sl/data pr/data sc/data]
		]]]
	make face! [type: 'button offset: 100x240 size: 80x24 text: "Dark"
		actors: make object! [on-click: func [f e][
			system/view/platform/set-dark-mode w not dark? dark?: not dark? log reduce ['dark dark?]
		]]]
]]
dark?: false
w/actors: make object! [on-scroll: func [f e][
	log reduce ['scroll e/key e/picked e/orientation]
	; The bar moves when the script moves it.
	if e/key = 'page-down [bar/position: bar/position + 10]
]]
view/no-wait w
bar: make scroller! [vertical?: true]
bar/parent: w
bar/max-size: 100
bar/page-size: 10
bar/position: 1
log reduce ['dark-mode? system/view/platform/support-dark-mode?]
log 'ready
do-events
log 'done
'''

DARK = r'''Vyn []
w: make face! [type: 'window offset: 0x0 size: 100x50 text: "vyn-dark"]
view/no-wait w
print mold system/view/platform/support-dark-mode?
print 'ready
loop 200 [wait 0.02]
'''


def dark(pixel):
    return sum(pixel) < 300


def count_dark(rows, x0, y0, x1, y1):
    return sum(1 for y in range(y0, y1) for x in range(x0, x1) if dark(rows[y][x]))


def filled(rows, x, y0, y1):
    """Whether the column holds the theme's blue of a filled bar."""
    return any(rows[y][x][2] > rows[y][x][0] + 60 for y in range(y0, y1))


def theme_variant(env, wid):
    out = subprocess.run(["xprop", "-id", wid, "_GTK_THEME_VARIANT"], env=env, capture_output=True, text=True,
                         timeout=10).stdout
    # GTK writes an empty variant for the light theme.
    return out.split("=")[-1].strip().strip('"') if "=" in out else ""


def values_tests(vyn_path, env, tmp):
    vyn = x11.Vyn(vyn_path, env, VALUES, tmp)
    start = vyn.lines(10, until="ready")
    x11.check("started", start[-2:], ["[dark-mode? true]", "ready"])
    wid = x11.window_id(env, "vyn-values")
    time.sleep(0.5)

    rows = x11.pixels(env, wid)
    # The progress bar at 0.5: filled on its left half only.
    x11.check("progress filled to its data", [filled(rows, x, 40, 56) for x in (20, 100, 120, 200)],
              [True, True, False, False])
    x11.check("para aligns a text right", [count_dark(rows, 10, 70, 100, 90), count_dark(rows, 110, 70, 210, 90) > 0],
              [0, True])
    x11.check("hint shown in an empty field only",
              [count_dark(rows, 14, 103, 150, 121) == 0 or count_dark(rows, 14, 133, 150, 151) > count_dark(rows, 14, 103, 150, 121),
               sum(1 for y in range(133, 151) for x in range(14, 150) if rows[y][x] != rows[140][149]) > 10],
              [True, True])
    # The second line of each area: text only where it wraps.
    x11.check("para wraps an area", [count_dark(rows, 14, 180, 100, 196) > 0, count_dark(rows, 124, 180, 210, 196)],
              [True, 0])

    def click(x, y, wait=0.5, button=1, until=None):
        x11.xdotool(env, "mousemove", "--window", wid, str(x), str(y), "click", str(button))
        return vyn.lines(wait, until)

    def data_of(lines):
        return float(lines[0].split()[2]) if lines and lines[0].startswith("[change scroller ") else -1

    got = click(160, 22)
    x11.check("slider clicked at three quarters", [line.startswith("[change slider ") for line in got], [True])
    value = float(got[0].split()[2].rstrip("%")) if got else 0
    x11.check("slider data a percent near 75%", 65 <= value <= 85, True)

    got = click(238, 150)
    x11.check("scroller clicked near its end", [line.startswith("[change scroller ") and line.endswith(" 10%]")
                                                for line in got], [True])
    value = float(got[0].split()[2]) if got else 0
    x11.check("scroller data from its position", 0.6 <= value <= 0.91, True)
    # The middle button pages: by `selected` of the range, towards the pointer.
    up = data_of(click(238, 14, button=2))
    x11.check("scroller paged up", round(value - up, 6), 0.1)
    x11.check("scroller paged down", round(data_of(click(238, 150, button=2)) - up, 6), 0.1)

    got = click(394, 280)
    x11.check("window bar sends scroll", [" ".join(line.split()[:2]) for line in got[:1]], ["[scroll track"])
    parts = got[0].strip("[]").split() if got else []
    x11.check("scroll picked and orientation", [len(parts) == 4 and 50 <= int(parts[2]) <= 91, parts[3:]],
              [True, ["vertical"]])
    x11.check("window bar pages where the script moves it",
              click(394, 280, button=2) + click(394, 280, button=2),
              ["[scroll page-down 1 vertical]", "[scroll page-down 11 vertical]"])

    got = click(50, 252)
    x11.check("writes are silent", got, ["[set 25% 0.25 0.5]"])
    rows = x11.pixels(env, wid)
    x11.check("progress follows its data", [filled(rows, x, 40, 56) for x in (20, 50, 70, 120)],
              [True, True, False, False])

    before = rows[252][20]
    x11.check("light theme at start", theme_variant(env, wid), "")
    x11.check("dark mode switched on", click(140, 252, 5, until="[dark true]"), ["[dark true]"])
    time.sleep(0.3)
    x11.check("window frame variant dark", theme_variant(env, wid), "dark")
    after = x11.pixels(env, wid)[252][20]
    x11.check("button drawn darker", sum(after) < sum(before), True)
    x11.check("dark mode switched off", click(140, 252, 5, until="[dark false]"), ["[dark false]"])
    time.sleep(0.3)
    x11.check("window frame variant light again", theme_variant(env, wid), "")

    x11.ask_to_close(env["DISPLAY"], wid)
    x11.check("closed", vyn.lines(3, until="done")[-1:], ["done"])
    x11.check("process ends", vyn.finish(), 0)


def dark_settings_tests(vyn_path, env, tmp):
    config = os.path.join(tmp, "config")
    os.makedirs(os.path.join(config, "gtk-3.0"), exist_ok=True)
    with open(os.path.join(config, "gtk-3.0", "settings.ini"), "w") as f:
        f.write("[Settings]\ngtk-application-prefer-dark-theme=1\n")
    vyn = x11.Vyn(vyn_path, dict(env, XDG_CONFIG_HOME=config), DARK, tmp)
    out = vyn.lines(10, until="ready")
    wid = x11.window_id(env, "vyn-dark")
    time.sleep(0.3)
    x11.check("dark from the desktop's settings", [out[-2:], theme_variant(env, wid)], [["true", "ready"], "dark"])
    vyn.finish()

    vyn = x11.Vyn(vyn_path, dict(env, GTK_THEME="HighContrast"), DARK, tmp)
    x11.check("no dark mode with high contrast", vyn.lines(10, until="ready")[-2:], ["false", "ready"])
    vyn.finish()


def main():
    return clipboard_x11.run_under_display(values_tests, dark_settings_tests)


if __name__ == "__main__":
    sys.exit(main())
