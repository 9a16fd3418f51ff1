#!/usr/bin/env python3
"""Times the cost of tracing in Vyn and in CPython, in the same run.

Usage: bench/tools_compare.py build/vyn [runs]
Runs bench/tools/tracing.vyn and tracing.py in each mode; each program times
its own run (start-up left out) and the best of `runs` rounds (default 3) counts;
the rounds alternate the programs and modes.
Prints each mode's time and its ratio to the untraced loop, beside the
peer's run that receives the same kinds of events. Vyn's "empty" tracer
receives every event, like CPython's "every" trace function, which returns
itself and so also receives each line and return; Vyn's "calls" tracer only
receives calls, which is what CPython's empty trace function receives (it
returns None, so no line events follow). The profilers are the library's `profile` and cProfile; `profile`
times the calls of `f` and of its `+` (an operator is a call here), twice the
calls cProfile times, so "functions" also shows it timing `f` alone.
"""
import os
import subprocess
import sys
from pathlib import Path

HERE = Path(__file__).parent / "tools"
# Vyn's modes and the peer's run each is set against.
PEER = {"plain": "plain", "empty": "every", "calls": "empty", "profile": "profile", "profile-functions": "profile"}
MODES = list(PEER)


def seconds(cmd, env=None):
    return float(subprocess.run(cmd, check=True, capture_output=True, text=True, env=env).stdout.split()[-1])


def main():
    vyn = sys.argv[1]
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 3
    v, p = {}, {}
    # Each round runs every mode of both, so a busy spell of the machine
    # falls on both sides alike.
    for _ in range(runs):
        peers_run = set()
        for m in MODES:
            t = seconds([vyn, str(HERE / "tracing.vyn")], dict(os.environ, TRACING_MODE=m, VYN_HEADLESS="1"))
            v[m] = min(v.get(m, t), t)
            if PEER[m] not in peers_run:
                peers_run.add(PEER[m])
                t = seconds([sys.executable, str(HERE / "tracing.py"), PEER[m]])
                p[PEER[m]] = min(p.get(PEER[m], t), t)
    print(f"{'mode':<18}{'vyn s':>9}{'ratio':>8}  {'python mode':<12}{'python s':>9}{'ratio':>8}")
    for m in MODES:
        pt = p[PEER[m]]
        print(f"{m:<18}{v[m]:9.3f}{v[m] / v['plain']:8.1f}  {PEER[m]:<12}{pt:9.3f}{pt / p['plain']:8.1f}")


if __name__ == "__main__":
    main()
