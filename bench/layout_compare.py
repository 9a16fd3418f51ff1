#!/usr/bin/env python3
"""Times the layout dialect: `layout` of N bases and of N mixed faces
(buttons, fields, texts, checks, bases, areas, sliders, drop-lists, 20 a
row), and N Tab key presses across a window of N fields (each moves the
focus on), for N = 250, 500, 1000, 2000, so the growth shows.

Usage: bench/layout_compare.py build/vyn [runs]
The program (bench/layout/layout.vyn) times its own loop, start-up and the
spec block excluded, and prints seconds; the best of `runs` (default 3)
counts. Targets at N = 1,000 on a quiet machine: bases 0.030 s, mixed
0.150 s, tabs 1 s, each growing linearly (about 2x per doubling).
"""
import sys
from pathlib import Path

from library_compare import best

PROGRAM = Path(__file__).parent / "layout" / "layout.vyn"
SIZES = [250, 500, 1000, 2000]
TARGETS = {"bases": 0.030, "mixed": 0.150, "tabs": 1.0}


def main():
    vyn = sys.argv[1]
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 3
    print(f"{'kind':<7}" + "".join(f"{'N=' + str(n):>10}" for n in SIZES) + f"{'x/doubling':>12}{'target':>8}")
    for kind, target in TARGETS.items():
        times = [best([vyn, str(PROGRAM), kind, str(n)], runs) for n in SIZES]
        growth = (times[-1] / times[0]) ** (1 / (len(SIZES) - 1))
        print(f"{kind:<7}" + "".join(f"{t:10.3f}" for t in times) + f"{growth:12.2f}{target:8.3f}")


if __name__ == "__main__":
    main()
