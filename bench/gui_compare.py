#!/usr/bin/env python3
"""Times the GUI engine's script layer (vyn headless) against PyGObject
building and changing the same widgets (GTK 3 under Xvfb), in one run.

Usage: bench/gui_compare.py build/vyn [runs]
Programs (bench/gui/): view_faces, a window of 1,000 buttons shown with
view/no-wait (GTK: made, shown and its pending events handled);
colours, 100k colour assignments to a shown face with sync on, then
under do-no-sync with one show (GTK: 100k background colour overrides);
dispatch, 100k synthetic clicks through the global event functions to an
actor; sync_counts, the update-view calls of an unchanged show and of a
do-no-sync batch; rich_text, the markup of 1k, 2k and 4k runs.
view_faces and colours also run on the GTK backend under Xvfb, as the peer does.
Each program times its own work (start-up and set-up excluded) and prints
seconds; the best of `runs` (default 5) counts.
Targets: view_faces within 2 times GTK; colours with sync on within 3 times
GTK, and 10 times faster under do-no-sync; dispatch at least 50k events a
second; an unchanged show 0 update-view calls, a batch 1; rich text growing
at most 2.5 times a doubling.
PyGObject comes from Debian's python3-gi, which serves the system's python3.
"""
import os
import shutil
import subprocess
import sys
from pathlib import Path

HERE = Path(__file__).parent / "gui"
SYSTEM_PYTHON = "/usr/bin/python3"


def run(cmd, env=None):
    out = subprocess.run(cmd, check=True, capture_output=True, text=True, env=env).stdout
    return [float(x) for x in out.split()]


def best(cmd, runs, env=None):
    results = [run(cmd, env) for _ in range(runs)]
    return [min(r[i] for r in results) for i in range(len(results[0]))]


def main():
    vyn = sys.argv[1]
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 5
    headless = dict(os.environ, VYN_HEADLESS="1")
    xvfb = shutil.which("xvfb-run")
    display = [xvfb, "-a"] if xvfb else []
    peer = [*display, SYSTEM_PYTHON]

    def vyn_time(name, *args):
        return best([vyn, str(HERE / f"{name}.vyn"), *args], runs, headless)

    def vyn_gtk_time(name):
        # The same script on the GTK backend, under an X server like the peer's.
        shown = {k: v for k, v in os.environ.items() if k != "VYN_HEADLESS"}
        return best([*display, vyn, str(HERE / f"{name}.vyn")], runs, shown) if xvfb else None

    def gtk_time(name):
        return best([*peer, str(HERE / f"{name}.py")], runs)[0]

    print(f"{'program':<22}{'vyn s':>9}{'gtk s':>9}{'vyn/gtk':>9}  target")
    v = vyn_time("view_faces")[0]
    g = gtk_time("view_faces")
    print(f"{'view 1,000 faces':<22}{v:9.3f}{g:9.3f}{v / g:9.2f}  <= 2 (headless)")
    shown = vyn_gtk_time("view_faces")
    if shown:
        print(f"{'  on GTK':<22}{shown[0]:9.3f}{g:9.3f}{shown[0] / g:9.2f}  <= 2")
    sync_on, no_sync = vyn_time("colours")
    g = gtk_time("colours")
    print(f"{'100k colours, sync':<22}{sync_on:9.3f}{g:9.3f}{sync_on / g:9.2f}  <= 3 (headless)")
    shown = vyn_gtk_time("colours")
    if shown:
        print(f"{'  on GTK':<22}{shown[0]:9.3f}{g:9.3f}{shown[0] / g:9.2f}  <= 3")
    print(f"{'100k colours, no-sync':<22}{no_sync:9.3f}{'':>9}{'':>9}  sync/no-sync {sync_on / no_sync:.1f} >= 10")
    d = vyn_time("dispatch")[0]
    print(f"{'100k dispatches':<22}{d:9.3f}{'':>18}  {100000 / d:,.0f} a second >= 50,000")
    unchanged, batch = vyn_time("sync_counts")
    print(f"{'update-view calls':<22}  unchanged show {unchanged:.0f} (0), do-no-sync batch {batch:.0f} (1)")
    times = [vyn_time("rich_text", str(n))[0] for n in (1000, 2000, 4000)]
    growth = " ".join(f"{b / a:.2f}" for a, b in zip(times, times[1:]))
    print(f"{'rich text 1k/2k/4k':<22}" + " ".join(f"{t:.4f}" for t in times) + f"  growth {growth} <= 2.5")


if __name__ == "__main__":
    main()
