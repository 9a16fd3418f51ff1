#!/usr/bin/env python3
"""Times the same programs in Vyn, CPython and Lua 5.4 and prints the ratios.

Usage: bench/eval_compare.py build/vyn
Each program runs three times; the best wall time counts. The programs of
RATES measure their own loading speed and print it first, in MB/s; their
ratios compare times too (the peer's rate over Vyn's), so below 1 Vyn is
faster everywhere. The CPython peer of transcode loads the same records as
JSON (json.loads), the Lua peer as a table constructor (load).
"""
import shutil
import subprocess
import sys
import time
from pathlib import Path

HERE = Path(__file__).parent / "eval"
PROGRAMS = ["fib", "adds", "foreach", "returns", "continues"]
RATES = ["transcode"]


def best(cmd, runs=3):
    times = []
    for _ in range(runs):
        start = time.perf_counter()
        subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL)
        times.append(time.perf_counter() - start)
    return min(times)


def best_rate(cmd, runs=3):
    rates = []
    for _ in range(runs):
        out = subprocess.run(cmd, check=True, capture_output=True, text=True).stdout
        rates.append(float(out.split()[0]))
    return max(rates)


def row(name, measure, vyn, lua, rate):
    """Prints one program's figures; ratios compare times (below 1: Vyn faster)."""
    v = measure([vyn, str(HERE / f"{name}.vyn")])
    p = measure([sys.executable, str(HERE / f"{name}.py")])
    l = measure([lua, str(HERE / f"{name}.lua")]) if lua else float("nan")
    ratios = (p / v, l / v) if rate else (v / p, v / l)
    digits = 1 if rate else 3
    print(f"{name:<12}{v:9.{digits}f}{p:10.{digits}f}{l:9.{digits}f}{ratios[0]:9.2f}{ratios[1]:9.2f}")


def main():
    vyn = sys.argv[1]
    lua = shutil.which("lua5.4") or shutil.which("lua")
    print(f"{'program':<12}{'vyn s':>9}{'python s':>10}{'lua s':>9}{'vyn/py':>9}{'vyn/lua':>9}")
    for name in PROGRAMS:
        row(name, best, vyn, lua, False)
    print(f"{'program':<12}{'vyn MB/s':>9}{'py MB/s':>10}{'lua MB/s':>9}{'vyn/py':>9}{'vyn/lua':>9}")
    for name in RATES:
        row(name, best_rate, vyn, lua, True)


if __name__ == "__main__":
    main()
