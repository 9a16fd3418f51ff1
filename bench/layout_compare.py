#!/usr/bin/env python3
"""Times the layout dialect: `layout` of N bases and of N mixed faces
(buttons, fields, texts, checks, bases, areas, sliders, drop-lists, 20 a
row), and N Tab key presses across a window of N fields (each moves the
focus on), for N = 250, 500, 1000, 2000, so the growth shows.

Usage: bench/layout_compare.py build/vyn [runs]
The program (bench/layout/layout.vyn) times its own loop, start-up and the
spec block excluded, and prints seconds; the best of `runs` (default 3)
counts. On a loaded machine the wall time drifts, so bases and mixed have a
second row: the processor time of the run less that of a run with N = 1
(start-up), best of `runs`. Targets at N = 1,000 on a quiet machine: bases 0.030 s,
mixed 0.150 s, tabs 1 s, each growing linearly (about 2x per doubling).
"""
import resource
import subprocess
import sys
from pathlib import Path

from library_compare import best

PROGRAM = Path(__file__).parent / "layout" / "layout.vyn"
SIZES = [250, 500, 1000, 2000]
TARGETS = {"bases": 0.030, "mixed": 0.150, "tabs": 1.0}


def cpu(cmd, runs):
    """The least processor time (user and system) of the command's runs."""
    times = []
    for _ in range(runs):
        before = resource.getrusage(resource.RUSAGE_CHILDREN)
        subprocess.run(cmd, check=True, capture_output=True)
        after = resource.getrusage(resource.RUSAGE_CHILDREN)
        times.append(after.ru_utime - before.ru_utime + after.ru_stime - before.ru_stime)
    return min(times)


def row(label, times, target=None):
    growth = (times[-1] / times[0]) ** (1 / (len(times) - 1))
    goal = f"{target:8.3f}" if target else ""
    print(f"{label:<7}" + "".join(f"{t:10.3f}" for t in times) + f"{growth:12.2f}{goal}")


def main():
    vyn = sys.argv[1]
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 3
    print(f"{'kind':<7}" + "".join(f"{'N=' + str(n):>10}" for n in SIZES) + f"{'x/doubling':>12}{'target':>8}")
    for kind, target in TARGETS.items():
        row(kind, [best([vyn, str(PROGRAM), kind, str(n)], runs) for n in SIZES], target)
        if kind == "tabs":
            continue  # the run builds the window of fields before the timed Tabs
        start = cpu([vyn, str(PROGRAM), kind, "1"], runs)
        row("  cpu", [max(cpu([vyn, str(PROGRAM), kind, str(n)], runs) - start, 1e-3) for n in SIZES])


if __name__ == "__main__":
    main()
