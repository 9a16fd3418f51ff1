#!/usr/bin/env python3
"""Native controls of the GTK backend under Xvfb: their values and events.

Usage: controls_x11.py VYN
The user's clicks and typing reach the faces' data and text with the
events the script layer expects; the script's own writes into the controls
send no event and leave the controls where the faces say.
"""
import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import window_x11 as x11  # noqa: E402

CONTROLS = r'''Vyn []
log: func [x][print mold x]
acts: make object! [
	on-change: func [f e][log reduce ['change f/type f/data f/text]]
	on-click: func [f e][log reduce ['click f/type f/data]]
]
w: make face! [type: 'window offset: 0x0 size: 300x220 text: "vyn-controls" pane: reduce [
	c: make face! [type: 'check offset: 10x10 size: 120x20 text: "Check" flags: [tri-state] data: false actors: acts]
	r: make face! [type: 'radio offset: 10x40 size: 120x20 text: "Radio" data: false actors: acts]
	f: make face! [type: 'field offset: 10x70 size: 120x24 text: "" actors: acts]
	a: make face! [type: 'area offset: 10x100 size: 200x60 text: "" actors: acts]
	bt: make face! [type: 'button offset: 150x10 size: 60x24 text: "Write"
		font: make font! [name: "Consolas" size: 12]
		actors: make object! [on-click: func [face e][
			c/data: true r/data: false f/text: "set" a/text: "x"
			log reduce ['written w/selected/text]
		]]]
	make face! [type: 'button offset: 220x10 size: 60x24 text: "Close"
		actors: make object! [on-click: func [face e][unview]]]
	make face! [type: 'button offset: 220x40 size: 60x40 image: make image! [20x20 255.0.0]]
	make face! [type: 'button offset: 220x100 size: 70x50 image: reduce [make image! [2x2 0.0.255] 50x30]]
]]
remove-event-func 'tab
log 'ready
view w
log 'done
'''


def controls_tests(vyn_path, env, tmp):
    vyn = x11.Vyn(vyn_path, env, CONTROLS, tmp)
    x11.check("started", vyn.lines(10, until="ready")[-1:], ["ready"])
    wid = x11.window_id(env, "vyn-controls")
    time.sleep(0.3)

    # Button pictures: an image at its own size, one of a block at the pair's.
    rows = x11.pixels(env, wid)
    x11.check("button pictures", [rows[60][250], rows[60][241], rows[60][237],
                                  rows[125][255], rows[125][232], rows[125][226]],
              [(255, 0, 0), (255, 0, 0), rows[60][226], (0, 0, 255), (0, 0, 255), rows[125][222]])

    def click(x, y, wait=0.4):
        x11.xdotool(env, "mousemove", "--window", wid, str(x), str(y), "click", "1")
        return vyn.lines(wait)

    # A tri-state check box cycles off, on, undetermined, off.
    check_box = [click(20, 20, 0.6) for _ in range(3)]
    x11.check("tri-state cycle", check_box, [["[change check true \"Check\"]"],
                                             ["[change check none \"Check\"]"],
                                             ["[change check false \"Check\"]"]])
    # The script layer turns a radio's click into a change.
    x11.check("radio checked", click(20, 50), ['[change radio true "Radio"]'])
    x11.check("radio clicked again: already checked", click(20, 50), [])

    click(40, 80)
    x11.xdotool(env, "type", "--delay", "50", "hi")
    x11.check("field typing", vyn.lines(3, count=2), ['[change field h "h"]', '[change field hi "hi"]'])
    click(40, 120)
    x11.xdotool(env, "type", "--delay", "50", "ok")
    x11.check("area typing", vyn.lines(3, count=2), ['[change area none "o"]', '[change area none "ok"]'])

    # The script's writes make no event; `selected` is the last control used.
    x11.check("writes are silent", click(170, 20), ['[written "Write"]'])
    # The check box and the radio now are where the writes put them.
    x11.check("check on after the write: next is undetermined", click(20, 20),
              ["[change check none \"Check\"]"])
    x11.check("radio off after the write: checked again", click(20, 50), ['[change radio true "Radio"]'])
    click(40, 80)
    x11.xdotool(env, "key", "End", "BackSpace")
    x11.check("field text written", vyn.lines(3, count=1), ['[change field se "se"]'])
    # A button that closes its own window from its click.
    x11.check("closed from its own click", click(240, 20, 3), ["done"])
    x11.check("process ends", vyn.finish(), 0)


def main():
    return x11.clipboard_x11.run_under_display(controls_tests)


if __name__ == "__main__":
    sys.exit(main())
