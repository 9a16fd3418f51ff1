#!/usr/bin/env python3
"""Tab panels, lists and the calendar of the GTK backend under Xvfb.

Usage: lists_x11.py VYN
Switching tabs sends `select` (the tab left) then `change` (the new one)
and shows the new page; a `select` answered `stop` keeps the page. Rows
of a text list and a day of the calendar clicked send their events with
the faces' values updated.
"""
import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import window_x11 as x11  # noqa: E402
from menus_x11 import events  # noqa: E402

TABS = r'''Vyn []
log: func [x][print mold x]
refusals: 1
tp: make face! [type: 'tab-panel offset: 10x10 size: 280x150 data: ["One" "Two" "Three"] selected: 1
	actors: make object! [
		on-select: func [f e][
			log reduce ['select e/picked f/selected]
			; Leaving page two is refused once.
			if all [e/picked = 2 refusals > 0][refusals: refusals - 1 'stop]
		]
		on-change: func [f e][log reduce ['change e/picked f/selected]]
	]
	pane: reduce [
		make face! [type: 'panel color: 255.0.0]
		make face! [type: 'panel color: 0.255.0]
		make face! [type: 'panel color: 0.0.255]
	]
]
w: make face! [type: 'window offset: 0x0 size: 300x200 text: "vyn-tabs" pane: reduce [tp]
	actors: make object! [on-key: func [f e][
		if e/key = #"q" [log reduce ['selected tp/selected collect [foreach p tp/pane [keep p/visible?]]] unview]
	]]]
log 'ready
view w
log 'done
'''

LISTS = r'''Vyn []
log: func [x][print mold x]
acts: make object! [
	on-select: func [f e][log reduce ['select f/type e/picked f/selected]]
	on-change: func [f e][log reduce ['change f/type e/picked f/selected]]
]
tl: make face! [type: 'text-list offset: 10x10 size: 100x100 data: ["one" "two" "three"] actors: acts]
cal: make face! [type: 'calendar offset: 10x120 size: 250x170 data: 15-Mar-2024 color: 255.255.0
	actors: make object! [on-change: func [f e][log reduce ['change type? f/data f/data/month f/data/year] f/color: none]]]
w: make face! [type: 'window offset: 0x0 size: 300x300 text: "vyn-lists" pane: reduce [tl cal]]
log 'ready
view w
'''


def tab_tests(vyn_path, env, tmp):
    vyn = x11.Vyn(vyn_path, env, TABS, tmp)
    x11.check("tabs started", vyn.lines(10, until="ready")[-1:], ["ready"])
    wid = x11.window_id(env, "vyn-tabs")
    time.sleep(0.5)

    def page_colour():
        rows = x11.pixels(env, wid)
        return rows[140][150]

    x11.check("first page shown", page_colour(), (255, 0, 0))
    # The focus onto the tabs, then the arrow keys switch like clicks.
    x11.xdotool(env, "mousemove", "--window", wid, "25", "22", "click", "1")
    x11.check("current tab clicked: no switch", events(vyn, 0.5), [])
    x11.xdotool(env, "key", "Right")
    x11.check("select (the tab left) then change (the new one)", events(vyn, 5, until="[change"),
              ["[select 1 1]", "[change 2 1]"])
    x11.check("second page shown", page_colour(), (0, 255, 0))
    x11.xdotool(env, "key", "Right")
    x11.check("select answered stop", events(vyn, 1), ["[select 2 2]"])
    x11.check("page two kept", page_colour(), (0, 255, 0))
    x11.xdotool(env, "key", "Right")
    x11.check("switch allowed again", events(vyn, 5, until="[change"), ["[select 2 2]", "[change 3 2]"])
    x11.check("third page shown", page_colour(), (0, 0, 255))
    x11.xdotool(env, "key", "q")
    x11.check("selected and pages at the end", events(vyn, 5, until="done"), ["[selected 3 [false false true]]", "done"])
    x11.check("tabs process ends", vyn.finish(), 0)


def list_tests(vyn_path, env, tmp):
    vyn = x11.Vyn(vyn_path, env, LISTS, tmp)
    x11.check("lists started", vyn.lines(10, until="ready")[-1:], ["ready"])
    wid = x11.window_id(env, "vyn-lists")
    time.sleep(0.5)

    def click(x, y, until=None):
        x11.xdotool(env, "mousemove", "--window", wid, str(x), str(y), "click", "1")
        return events(vyn, 5 if until else 0.6, until)

    # The focus first goes elsewhere: the list selects nothing by taking it.
    x11.check("nothing chosen at the start", click(200, 60), [])

    # Rows are about 20 pixels high from the list's top at 10.
    x11.check("row 1", click(30, 15, "[change"), ["[select text-list 1 -1]", "[change text-list 1 1]"])
    x11.check("row 2", click(30, 35, "[change"), ["[select text-list 2 1]", "[change text-list 2 2]"])
    x11.check("row 3", click(30, 55, "[change"), ["[select text-list 3 2]", "[change text-list 3 3]"])
    x11.check("row 3 again: no change", click(30, 55), [])
    x11.xdotool(env, "key", "Up")
    x11.check("arrow key up a row", events(vyn, 5, until="[change"),
              ["[select text-list 2 3]", "[change text-list 2 2]"])
    x11.check("below the rows: nothing", click(30, 95), [])
    x11.check("calendar in its colour", x11.pixels(env, wid)[250][15], (255, 255, 0))
    # The month before, by the header's arrow: neither `data` nor an event.
    x11.check("month navigation sends nothing", click(20, 130), [])
    # A day in the middle of the month's grid.
    x11.check("calendar day clicked", click(135, 220, "[change"), ["[change date! 2 2024]"])
    time.sleep(0.3)
    x11.check("colour none: the theme's again", x11.pixels(env, wid)[250][15] != (255, 255, 0), True)
    vyn.proc.kill()
    vyn.finish()


def main():
    return x11.clipboard_x11.run_under_display(tab_tests, list_tests)


if __name__ == "__main__":
    sys.exit(main())
