#!/usr/bin/env python3
"""Times the cost of tracing in Vyn and in CPython, in the same run.

Usage: bench/tools_compare.py build/vyn [runs]
Runs bench/tools/tracing.vyn and tracing.py in each mode; each program times
its own run (start-up left out) and the best of `runs` rounds (default 3) counts;
the rounds alternate the programs and modes.
Prints each mode's time and its ratio to the untraced loop. Vyn's "empty"
tracer receives every event; its "calls" tracer only calls, which is what
CPython's empty trace function receives (it returns None, so no line events
follow). The profilers are the library's `profile` and cProfile.
"""
import os
import subprocess
import sys
from pathlib import Path

HERE = Path(__file__).parent / "tools"


def seconds(cmd, env=None):
    return float(subprocess.run(cmd, check=True, capture_output=True, text=True, env=env).stdout.split()[-1])


def main():
    vyn = sys.argv[1]
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 3
    v, p = {}, {}
    # Each round runs every mode of both, so a busy spell of the machine
    # falls on both sides alike.
    for _ in range(runs):
        for m in ["plain", "empty", "calls", "profile"]:
            t = seconds([vyn, str(HERE / "tracing.vyn")], dict(os.environ, TRACING_MODE=m, VYN_HEADLESS="1"))
            v[m] = min(v.get(m, t), t)
            if m != "calls":
                t = seconds([sys.executable, str(HERE / "tracing.py"), m])
                p[m] = min(p.get(m, t), t)
    print(f"{'mode':<10}{'vyn s':>9}{'ratio':>8}{'python s':>10}{'ratio':>8}")
    for m in ["plain", "empty", "calls", "profile"]:
        peer = "empty" if m == "calls" else m
        pt = p[peer]
        print(f"{m:<10}{v[m]:9.3f}{v[m] / v['plain']:8.1f}{pt:10.3f}{pt / p['plain']:8.1f}")


if __name__ == "__main__":
    main()
