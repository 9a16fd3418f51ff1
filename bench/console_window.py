#!/usr/bin/env python3
"""The console window under Xvfb against a Tk text widget and xterm, in one run.

Usage: bench/console_window.py build/vyn [lines]
- output: `lines` (default 200,000) printed lines, timed from the first
  print to the final paint; Tk inserts them into a text widget and lets
  it repaint every 1,000 lines; xterm (10,000 lines of scrollback) runs
  seq and is timed until it exits.
- memory: vyn's resident set after 20k lines and after 1M lines with
  buffer-lines 10000, and after lowering the limit to 5000 mid-run.
- latency: 200 keys typed with a full page of code-like lines, each timed
  from the key event to the end of the paint that shows it (p50 and p95),
  without and with highlighting.
Targets: output within 2 times Tk and 1.5 times xterm; memory after 1M
within +10% of that after 20k; key to paint p50 <= 8 ms, p95 <= 16 ms
(<= 25 ms with highlighting).
xterm is not installed by set-up: `apt-get install -y xterm` (Tk comes with python3).
Each vyn program is run with --catch (the window's front end) and a fresh
HOME; it writes its figures to a file and quits.
"""
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "gui"))
from clipboard_x11 import start_xvfb  # noqa: E402
from window_x11 import window_id, xdotool  # noqa: E402

OUTPUT = r'''Vyn []
t0: now/precise
repeat i LINES [print i]
ctx: gui-console-ctx
ctx/terminal/refresh/force
loop 20 [do-events/no-wait]
write %RESULT form to float! difference now/precise t0
quit
'''

MEMORY = r'''Vyn []
rss: func [/local s][
	s: read %/proc/self/status
	s: find s "VmRSS:"
	to integer! trim copy/part skip s 6 find s "kB"
]
gui-console-ctx/terminal/max-lines: 10000
repeat i 20000 [print i]
a: rss
repeat i 980000 [print i]
b: rss
gui-console-ctx/terminal/max-lines: 5000
repeat i 200000 [print i]
c: rss
write %RESULT form reduce [a b c]
quit
'''

LATENCY = r'''Vyn []
ctx: gui-console-ctx
t: ctx/terminal
t/color?: COLOR
repeat i 200 [print [i "print mold [a: 1 b: 'c d: 2.5 e: 10x20]" "; a comment"]]
pressed: none
times: copy []
on-key: :ctx/console/actors/on-key
ctx/console/actors/on-key: func [face event][pressed: now/precise on-key face event]
paint: :t/paint
t/paint: func [/dry][
	either dry [paint/dry][
		paint
		if pressed [
			append times to float! difference now/precise pressed
			pressed: none
		]
	]
]
save-times: does [write %RESULT form times quit]
'''


def run_vyn(vyn, env, tmp, source, keys=None):
    home = tempfile.mkdtemp(dir=tmp)
    script = os.path.join(home, "bench.vyn")
    result = os.path.join(home, "result.txt")
    with open(script, "w") as f:
        f.write(source.replace("RESULT", result))
    started = time.monotonic()
    proc = subprocess.Popen([vyn, "--catch", script], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL, env=dict(env, HOME=home), cwd=home)
    if keys:
        keys(dict(env, HOME=home))
    try:
        proc.wait(timeout=600)
    except subprocess.TimeoutExpired:
        # A script that stopped on an error leaves its window open.
        proc.kill()
        proc.wait()
    wall = time.monotonic() - started
    if not os.path.exists(result):
        sys.exit("a vyn program left no figures: it stopped on an error")
    with open(result) as f:
        return f.read().split(), wall


def tk_output(lines):
    import tkinter
    root = tkinter.Tk()
    text = tkinter.Text(root, width=80, height=24)
    text.pack()
    root.update()
    started = time.monotonic()
    for i in range(1, lines + 1):
        text.insert("end", f"{i}\n")
        if i % 1000 == 0:
            text.see("end")
            root.update_idletasks()
    text.see("end")
    root.update()
    seconds = time.monotonic() - started
    root.destroy()
    return seconds


def xterm_output(env, lines):
    started = time.monotonic()
    subprocess.run(["xterm", "-sl", "10000", "-geometry", "80x24", "-e", "seq", str(lines)], env=env, timeout=1200)
    return time.monotonic() - started


def main():
    vyn = os.path.abspath(sys.argv[1])
    lines = int(sys.argv[2]) if len(sys.argv) > 2 else 200000
    xvfb, display = start_xvfb("1280x1024x24")
    env = {"DISPLAY": display, "PATH": "/usr/bin:/bin"}
    os.environ["DISPLAY"] = display
    tmp = tempfile.mkdtemp()
    try:
        (seconds,), wall = run_vyn(vyn, env, tmp, OUTPUT.replace("LINES", str(lines)))
        tk = tk_output(lines)
        xterm = xterm_output(env, lines) if shutil.which("xterm") else None
        print(f"output of {lines} lines: vyn {float(seconds):.2f} s (process {wall:.2f} s), Tk {tk:.2f} s, "
              + (f"xterm {xterm:.2f} s" if xterm else "xterm not installed"))
        print(f"  vyn / Tk {float(seconds) / tk:.2f} (target <= 2)"
              + (f", vyn / xterm {float(seconds) / xterm:.2f} (target <= 1.5)" if xterm else ""))

        (a, b, c), _ = run_vyn(vyn, env, tmp, MEMORY)
        print(f"resident memory: {a} kB after 20k lines, {b} kB after 1M lines (+{(int(b) / int(a) - 1) * 100:.1f}%), "
              f"{c} kB after lowering the limit to 5000 and 200k more (+{(int(c) / int(a) - 1) * 100:.1f}%)")

        def type_keys(kenv):
            wid = window_id(kenv, "Vyn Console")
            xdotool(kenv, "windowfocus", "--sync", wid)
            time.sleep(1)
            for _ in range(20):
                xdotool(kenv, "type", "--delay", "40", "abcdefghij")
                xdotool(kenv, "key", "ctrl+k")
            xdotool(kenv, "type", "--delay", "20", "save-times")
            xdotool(kenv, "key", "Return")

        for color, targets in (("false", "8 and 16"), ("true", "8 and 25")):
            times, _ = run_vyn(vyn, env, tmp, LATENCY.replace("COLOR", color), keys=type_keys)
            ms = sorted(float(t) * 1000 for t in times)
            if ms:
                p95 = ms[min(len(ms) - 1, int(len(ms) * 0.95))]
                print(f"key to paint over {len(ms)} keys{' highlighted' if color == 'true' else ''}: "
                      f"p50 {statistics.median(ms):.2f} ms, p95 {p95:.2f} ms (targets {targets} ms)")
    finally:
        xvfb.terminate()
        xvfb.wait()
        shutil.rmtree(tmp, ignore_errors=True)


if __name__ == "__main__":
    main()
