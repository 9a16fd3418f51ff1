#!/usr/bin/env python3
"""Menus and the file dialog of the GTK backend under Xvfb.

Usage: menus_x11.py VYN
A window's menu bar sits above its faces, which keep their whole area;
its items (chosen by their shortcut letters) and a face's context menu
send `menu` events with the item's word; the file dialog answers the path
typed into it, and none when Escape closes it.
"""
import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import window_x11 as x11  # noqa: E402

MENUS = r'''Vyn []
log: func [x][print mold x]
bottom: make face! [type: 'base offset: 0x190 size: 300x10 color: 255.0.0]
ctx: make face! [type: 'base offset: 10x10 size: 100x50 color: 0.0.255 menu: ["Copy" copy "Nothing"]
	actors: make object! [
		on-alt-down: func [f e][log reduce ['alt-down e/offset]]
		on-menu: func [f e][log reduce ['menu f/type e/picked e/offset]]
	]]
ask-file: make face! [type: 'button offset: 150x10 size: 80x24 text: "Pick"
	actors: make object! [on-click: func [f e][log reduce ['picked request-file/title "vyn-pick"]]]]
ask-font: make face! [type: 'button offset: 150x50 size: 80x24 text: "Font"
	actors: make object! [on-click: func [f e /local ft][
		log either ft: request-font/font make font! [name: "Sans" size: 14] [reduce ['font ft/name ft/size]]['none]
	]]]
w: make face! [type: 'window offset: 0x0 size: 300x200 text: "vyn-menus"
	menu: ["&File" ["&Open" open "&Quit" quit] --- "&About" about]
	pane: reduce [bottom ctx ask-file ask-font]
	actors: make object! [
		on-menu: func [f e][
			log reduce ['menu f/type e/picked f/size]
			if e/picked = 'quit [unview]
		]
		; Only the window's own presses, not those bubbling from its faces.
		on-down: func [f e][if same? e/face f [log reduce ['window-down e/offset]]]
		on-up: func [f e][if same? e/face f [log reduce ['window-up e/offset]]]
	]]
log 'ready
view w
log 'done
'''

POPUP = r'''Vyn []
w: make face! [type: 'window offset: 0x0 size: 200x120 text: "vyn-popup" menu: [popup "Copy" copy]
	actors: make object! [on-menu: func [f e][print mold reduce ['menu e/picked e/offset] unview]]]
print "ready"
view w
print "done"
'''


def focus_dialog(env, title):
    """Waits for the dialog to show and gives it the keyboard: no window
    manager does."""
    for _ in range(100):
        found = x11.xdotool(env, "search", "--onlyvisible", "--name", f"^{title}$")
        if found:
            x11.xdotool(env, "windowfocus", "--sync", found.split()[0])
            time.sleep(0.5)
            return
        time.sleep(0.1)
    raise SystemExit(f"no dialog {title}")


def escape(env, title):
    """Escape until the dialog is gone: a first one may only close the
    chooser's own completion popup."""
    for _ in range(4):
        if not x11.xdotool(env, "search", "--onlyvisible", "--name", f"^{title}$"):
            return
        x11.xdotool(env, "key", "Escape")
        time.sleep(0.8)


def events(vyn, seconds, until=None):
    """The script's own lines, without GTK's warnings; with `until`, as soon
    as a line starts with it."""
    out = []
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        for line in vyn.lines(0.1):
            if line.startswith("[") or line in ("ready", "done", "none"):
                out.append(line)
        if until and out and out[-1].startswith(until):
            break
    return out


LATER = r'''Vyn []
w: make face! [type: 'window offset: 0x0 size: 200x120 text: "vyn-later" color: 255.0.0
	actors: make object! [on-key: func [f e][
		switch e/key [
			#"m" [w/menu: ["&File" ["&Quit" quit]]]
			#"s" [w/size: 160x90]
		]
		print mold w/size
	]]]
print "ready"
view w
'''


def later_tests(vyn_path, env, tmp):
    """A bar given to a shown window, then a new size: the faces' area keeps
    the face's size both times and the window grows by the bar."""
    vyn = x11.Vyn(vyn_path, env, LATER, tmp)
    x11.check("later started", vyn.lines(10, until="ready")[-1:], ["ready"])
    wid = x11.window_id(env, "vyn-later")
    time.sleep(0.5)
    x11.xdotool(env, "windowfocus", "--sync", wid)
    x11.xdotool(env, "key", "m")
    time.sleep(0.5)
    x11.check("menu set: face size kept", vyn.lines(3, count=1), ["200x120"])
    rows = x11.pixels(env, wid)
    bar = len(rows) - 120
    x11.check("window grew by the bar", (len(rows[0]), bar > 10, rows[-1][5], rows[bar][5]),
              (200, True, (255, 0, 0), (255, 0, 0)))
    x11.xdotool(env, "key", "s")
    time.sleep(0.5)
    x11.check("new size: face size", vyn.lines(3, count=1), ["160x90"])
    rows = x11.pixels(env, wid)
    x11.check("new size below the bar", (len(rows[0]), len(rows)), (160, 90 + bar))
    x11.ask_to_close(env["DISPLAY"], wid)
    x11.check("later process ends", vyn.finish(), 0)


def menu_tests(vyn_path, env, tmp):
    env = dict(env, GSETTINGS_BACKEND="memory")
    vyn = x11.Vyn(vyn_path, env, MENUS, tmp)
    x11.check("started", vyn.lines(10, until="ready")[-1:], ["ready"])
    wid = x11.window_id(env, "vyn-menus")
    time.sleep(0.5)

    # The bar is above the faces: the window is taller than the face's
    # size, and the face at its very bottom is still all there.
    rows = x11.pixels(env, wid)
    bar = len(rows) - 200
    x11.check("window width, a bar above the area", (len(rows[0]), bar > 10), (300, True))
    x11.check("bottom face not cut", [rows[-1][5], rows[-10][295], rows[-11][5] != (255, 0, 0)],
              [(255, 0, 0), (255, 0, 0), True])

    x11.xdotool(env, "windowfocus", "--sync", wid)
    x11.xdotool(env, "key", "alt+f")
    time.sleep(0.4)
    x11.xdotool(env, "key", "o")
    x11.check("File > Open by its shortcut letters", events(vyn, 5, until="[menu"), ["[menu window open 300x200]"])

    def context(*keys, until="[menu window"):
        x11.xdotool(env, "mousemove", "--window", wid, "30", str(bar + 50), "click", "3")
        time.sleep(0.5)
        x11.xdotool(env, "key", *keys)
        return events(vyn, 5, until=until)

    # The item's word and the press's offset in the face; the event then
    # reaches the window too.
    x11.check("context menu item", context("Down", "Return"),
              ["[alt-down (20, 40)]", "[menu base copy (20, 40)]", "[menu window copy 300x200]"])
    x11.check("item without a word", context("Down", "Down", "Return"),
              ["[alt-down (20, 40)]", "[menu base none (20, 40)]", "[menu window none 300x200]"])
    x11.check("escape chooses nothing", context("Escape", until="[menu"), ["[alt-down (20, 40)]"])

    # The window's own background: each press once, offsets below the bar.
    x11.xdotool(env, "mousemove", "--window", wid, "250", str(bar + 150), "click", "1")
    x11.check("window background press", events(vyn, 3, until="[window-up"),
              ["[window-down (250, 150)]", "[window-up (250, 150)]"])

    target = os.path.join(tmp, "Makefile")
    with open(target, "w") as f:
        f.write("all:\n")

    def dialog(*typed):
        x11.xdotool(env, "mousemove", "--window", wid, "180", str(bar + 20), "click", "1")
        focus_dialog(env, "vyn-pick")
        for keys in typed:
            x11.xdotool(env, *keys)
            time.sleep(0.6)
        if not typed:
            escape(env, "vyn-pick")
        return events(vyn, 10, until="[picked")

    # A name without a dot passes the default filter's "*.*".
    x11.check("typed path answered", dialog(("key", "ctrl+l"), ("type", "--delay", "30", target), ("key", "Return")),
              [f"[picked %{target}]"])
    x11.check("escape answers none", dialog(), ["[picked none]"])

    # The font chooser starts from the given font; Return takes it.
    x11.xdotool(env, "mousemove", "--window", wid, "180", str(bar + 60), "click", "1")
    focus_dialog(env, "Font")
    x11.xdotool(env, "key", "Return")
    x11.check("font chosen", events(vyn, 10, until="[font"), ['[font "Sans" 14]'])
    x11.xdotool(env, "mousemove", "--window", wid, "180", str(bar + 60), "click", "1")
    focus_dialog(env, "Font")
    escape(env, "Font")
    x11.check("font dialog escaped", events(vyn, 10, until="none"), ["none"])

    x11.xdotool(env, "windowfocus", "--sync", wid)
    x11.xdotool(env, "key", "alt+f")
    time.sleep(0.4)
    x11.xdotool(env, "key", "q")
    x11.check("File > Quit closes", events(vyn, 3), ["[menu window quit 300x200]", "done"])
    x11.check("process ends", vyn.finish(), 0)


def popup_tests(vyn_path, env, tmp):
    vyn = x11.Vyn(vyn_path, env, POPUP, tmp)
    x11.check("popup started", vyn.lines(10, until="ready")[-1:], ["ready"])
    wid = x11.window_id(env, "vyn-popup")
    time.sleep(0.5)
    # `popup` makes no bar: the window is its faces' area only.
    rows = x11.pixels(env, wid)
    x11.check("no bar", (len(rows[0]), len(rows)), (200, 120))
    x11.xdotool(env, "mousemove", "--window", wid, "50", "60", "click", "3")
    time.sleep(0.5)
    x11.xdotool(env, "key", "Down", "Return")
    x11.check("window's context menu", events(vyn, 5, until="done"), ["[menu copy (50, 60)]", "done"])
    x11.check("popup process ends", vyn.finish(), 0)


def main():
    return x11.clipboard_x11.run_under_display(menu_tests, popup_tests, later_tests)


if __name__ == "__main__":
    sys.exit(main())
