#!/usr/bin/env python3
"""The console window under Xvfb, driven as a user drives it.

Usage: console_x11.py VYN
Starts its own Xvfb and runs vyn with no script and a fresh HOME: the
console window opens; xdotool types into it, the wheel scrolls it, and
what it shows is read back through the clipboard (Alt+A, Ctrl+C) and
from screenshots. Quitting must leave the settings file with the
history and the window's size.
"""
import os
import re
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from clipboard_x11 import check, xclip_in  # noqa: E402
import clipboard_x11  # noqa: E402
from window_x11 import ask_to_close, pixels, window_id, xdotool  # noqa: E402


def clipboard(env):
    out = subprocess.run(["xclip", "-o", "-selection", "clipboard"], env=env, capture_output=True, timeout=10)
    return out.stdout.decode("utf-8", "replace")


class Console:
    """A vyn console window: keys in, its text out through the clipboard."""

    def __init__(self, vyn_path, env, home):
        self.env = dict(env, HOME=home)
        self.proc = subprocess.Popen([vyn_path], stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                     stderr=subprocess.STDOUT, env=self.env, cwd=home)
        self.wid = window_id(self.env, "Vyn Console")
        xdotool(self.env, "windowfocus", "--sync", self.wid)
        time.sleep(0.5)

    def keys(self, *keys):
        xdotool(self.env, "key", "--delay", "30", *keys)
        time.sleep(0.3)

    def type(self, text, enter=True):
        xdotool(self.env, "type", "--delay", "20", text)
        if enter:
            self.keys("Return")
        time.sleep(0.3)

    def text(self):
        """Everything the console shows, as the selection copies it."""
        self.keys("alt+a", "ctrl+c")
        text = clipboard(self.env)
        self.keys("End")  # drops the selection
        return text

    def wait_for(self, pattern, seconds=5):
        end = time.monotonic() + seconds
        text = ""
        while time.monotonic() < end:
            text = self.text()
            if re.search(pattern, text):
                return text
            time.sleep(0.3)
        return text

    def shot(self):
        return pixels(self.env, self.wid)

    def finish(self, seconds=10):
        try:
            out, _ = self.proc.communicate(timeout=seconds)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            out, _ = self.proc.communicate()
        return self.proc.returncode, out.decode("utf-8", "replace")


def row_shift(before, after, limit):
    """The downward shift in pixel rows that best maps before onto after."""
    height = len(before) - 30  # the input line at the bottom holds the caret
    top = 40  # the menu bar above the console does not scroll
    right = 30
    best, best_count = 0, -1
    for s in range(0, limit):
        # the right edge holds the scroll bar, whose thumb moves
        count = sum(1 for y in range(top + s, height) if after[y][:-right] == before[y - s][:-right])
        if count > best_count:
            best, best_count = s, count
    return best, best_count / max(1, height - top - best)


def console_tests(vyn_path, env, tmp):
    home = os.path.join(tmp, "home")
    os.makedirs(home)
    c = Console(vyn_path, env, home)

    first = c.shot()
    shown = c.text()
    check("banner first", [shown.startswith("--== Vyn "), "==-- \nType HELP for starting information. \n" in shown],
          [True, True])
    check("prompt after the banner", shown.rstrip("\n").splitlines()[-1:], [">> "])

    c.type("1 + 2")
    shown = c.wait_for(r"== 3")
    check("result shown", ">> 1 + 2\n== 3\n>> " in shown, True)
    check("copied lines end with LF only", "\r" not in shown and shown.count("\n") >= 4, True)
    check("screen changed", c.shot() != first, True)

    # Two prin and a print share one line; the next output starts another.
    c.type('prin "a" prin "b" print "c" print "d"')
    shown = c.wait_for(r"\nd\n>> $")
    check("prin joins one line", '>> prin "a" prin "b" print "c" print "d"\nabc\nd\n>> ' in shown, True)

    # Tab completes a unique prefix in place.
    c.type("appe", enter=False)
    c.keys("Tab", "End", "ctrl+c")
    check("Tab completes appe", clipboard(c.env), "append")
    c.keys("ctrl+k")

    # Alt+O opens the Settings dialog; closing it gives the prompt back.
    c.keys("alt+o")
    settings = window_id(c.env, "Settings")
    ask_to_close(c.env["DISPLAY"], settings)
    time.sleep(0.5)
    c.type("10 + 1")
    check("Settings closed, the prompt answers", "\n== 11\n>> " in c.wait_for(r"== 11"), True)

    # The wheel scrolls by three display rows a notch.
    c.type("print gui-console-ctx/terminal/line-h")
    line_h = int(re.findall(r"\n(\d+)\n>> $", c.wait_for(r"\n\d+\n>> $"))[0])
    c.type("repeat i 60 [print i]")
    c.wait_for(r"\n60\n>> $")
    xdotool(c.env, "mousemove", "--window", c.wid, "100", "100")
    time.sleep(0.3)
    before = c.shot()
    xdotool(c.env, "click", "4")
    time.sleep(0.5)
    after = c.shot()
    shift, share = row_shift(before, after, 8 * line_h)
    check("wheel up scrolls three rows", (shift, share > 0.9), (3 * line_h, True))
    xdotool(c.env, "click", "5")
    time.sleep(0.5)
    shift, share = row_shift(c.shot(), before, 8 * line_h)
    check("wheel down scrolls back", (shift, share > 0.9), (0, True))

    # Three pasted lines: the two ended by a line feed run.
    xclip_in(c.env, b"print 11 * 2\nprint 33 * 2\nprint 55 * 2")
    c.keys("shift+Insert")
    shown = c.wait_for(r"\n66\n")
    check("pasted lines run", ">> print 11 * 2\n22\n>> print 33 * 2\n66\n>> print 55 * 2" in shown, True)
    check("the unended line waits", shown.rstrip("\n").endswith(">> print 55 * 2"), True)
    c.keys("ctrl+k")

    # A hidden answer shows as asterisks and stays out of the history.
    c.type("pw: ask/hide \"Password: \" 'asked")
    c.type("s3cret")
    c.type("length? pw")
    shown = c.wait_for(r"== 6")
    check("hidden answer shown and copied as asterisks", ["Password: ******\n== asked" in shown, "s3cret" in shown],
          [True, False])

    # The menu bar goes first: the saved size is then the whole window's.
    c.keys("F12")
    time.sleep(0.5)
    xdotool(c.env, "windowsize", c.wid, "700", "500")
    time.sleep(0.8)
    c.type("quit")
    status, out = c.finish()
    check("quit ends with 0", status, 0)
    cfg_path = os.path.join(home, ".vyn", "Vyn-Console", "console-cfg.vyn")
    cfg = open(cfg_path).read() if os.path.exists(cfg_path) else ""
    check("settings file written", bool(cfg), True)
    check("history saved newest first, hidden answer left out",
          [cfg.find('"length? pw"') < cfg.find('"1 + 2"'), '"1 + 2"' in cfg, "s3cret" in cfg], [True, True, False])
    check("window size and place saved", ["win-size: 700x500" in cfg, bool(re.search(r"win-pos: \(\d+, \d+\)", cfg))],
          [True, True])
    check("F12 hid the menu bar for good", "menu-bar?: false" in cfg, True)

    # The next start takes the saved size and history back.
    c = Console(vyn_path, env, home)
    rows = c.shot()
    check("size restored", (len(rows[0]), len(rows)), (700, 500))
    c.keys("Up", "End", "ctrl+c")
    check("history restored", clipboard(c.env), "quit")
    xdotool(c.env, "key", "ctrl+k", "F12")
    c.type("q")
    check("q quits too", c.finish()[0], 0)
    check("F12 again shows it", "menu-bar?: true" in open(cfg_path).read(), True)

    # A settings file that cannot be written is reported, and the console
    # still ends as asked.
    home = os.path.join(tmp, "home-unwritable")
    os.makedirs(os.path.join(home, ".vyn"))
    open(os.path.join(home, ".vyn", "Vyn-Console"), "w").close()
    c = Console(vyn_path, env, home)
    c.type("quit/return 3")
    status, out = c.finish()
    check("failed save: reported, status kept", [status, "Error" in out], [3, True])


def main():
    return clipboard_x11.run_under_display(console_tests, screen="1280x1024x24")


if __name__ == "__main__":
    sys.exit(main())
