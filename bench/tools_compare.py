#!/usr/bin/env python3
"""Times the cost of tracing in Vyn and in CPython, in the same run.

Usage: bench/tools_compare.py build/vyn
Runs bench/tools/tracing.vyn and tracing.py in each mode (best of three, in
processor seconds of the child, so a busy machine does not skew the
figures), takes off the start-up (the "start" mode) and prints each mode's
time and its ratio to the untraced loop. Vyn's "empty" tracer receives every
event; its "calls" tracer only calls, which is what CPython's empty trace
function receives (it returns None, so no line events follow). The
profilers are the library's `profile` and cProfile.
"""
import os
import resource
import subprocess
import sys
from pathlib import Path

HERE = Path(__file__).parent / "tools"


def cpu(cmd, env=None, runs=3):
    best = float("inf")
    for _ in range(runs):
        before = resource.getrusage(resource.RUSAGE_CHILDREN)
        subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL, env=env)
        after = resource.getrusage(resource.RUSAGE_CHILDREN)
        best = min(best, (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime))
    return best


def vyn_time(vyn, mode):
    env = dict(os.environ, TRACING_MODE=mode, VYN_HEADLESS="1")
    return cpu([vyn, str(HERE / "tracing.vyn")], env)


def py_time(mode):
    return cpu([sys.executable, str(HERE / "tracing.py"), mode])


def main():
    vyn = sys.argv[1]
    v0, p0 = vyn_time(vyn, "start"), py_time("start")
    v = {m: vyn_time(vyn, m) - v0 for m in ["plain", "empty", "calls", "profile"]}
    p = {m: py_time(m) - p0 for m in ["plain", "empty", "profile"]}
    print(f"{'mode':<10}{'vyn s':>9}{'ratio':>8}{'python s':>10}{'ratio':>8}")
    for m in ["plain", "empty", "calls", "profile"]:
        peer = "empty" if m == "calls" else m
        pt = p[peer]
        print(f"{m:<10}{v[m]:9.3f}{v[m] / v['plain']:8.1f}{pt:10.3f}{pt / p['plain']:8.1f}")


if __name__ == "__main__":
    main()
