#!/usr/bin/env python3
"""Times series and text functions in Vyn against the CPython idiom.

Usage: bench/series_compare.py build/vyn [runs]
Each program builds its data, times only the call and prints seconds;
each runs `runs` times (default 5) and the best time counts. Pairs:
replace/all of a 10 MB text with 10k matches / str.replace, once with a
replacement as long as the match and once with a shorter one (whose
time must stay close to the first: no copying of the tail per match),
and split into 1.5M parts / str.split.
"""
import subprocess
import sys
from pathlib import Path

HERE = Path(__file__).parent / "series"
# name, program, its argument, target
PROGRAMS = [("replace_equal", "replace", "NEEDLE", 5.0), ("replace_shrink", "replace", "N", 5.0), ("split", "split", None, 2.0)]


def best(cmd, runs):
    times = []
    for _ in range(runs):
        out = subprocess.run(cmd, check=True, capture_output=True, text=True).stdout.split()
        if out[0] == "wrong":
            sys.exit(f"{' '.join(cmd[1:])}: wrong result")
        times.append(float(out[0]))
    return min(times)


def main():
    vyn = sys.argv[1]
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 5
    print(f"{'program':<16}{'vyn s':>9}{'python s':>10}{'vyn/py':>9}{'target':>8}")
    vyn_times = {}
    for name, program, argument, target in PROGRAMS:
        extra = [argument] if argument else []
        v = best([vyn, str(HERE / f"{program}.vyn")] + extra, runs)
        p = best([sys.executable, str(HERE / f"{program}.py")] + extra, runs)
        vyn_times[name] = v
        print(f"{name:<16}{v:9.3f}{p:10.3f}{v / p:9.2f}{target:8.1f}")
    ratio = vyn_times["replace_shrink"] / vyn_times["replace_equal"]
    print(f"shrinking / equal-length replace in vyn: {ratio:.2f} (target 1.5)")


if __name__ == "__main__":
    main()
