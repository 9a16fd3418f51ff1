#!/usr/bin/env python3
"""Times 1M calls of library functions in Vyn against the CPython idiom.

Usage: bench/library_compare.py build/vyn [runs]
Each program times its own loop (start-up excluded) and prints seconds;
each runs `runs` times (default 5) and the best time counts. Pairs:
attempt / try-except, first / b[0], to-integer / int(s), integer? /
isinstance, rejoin / "".join([..., str(i)]); attempt_error, where every
call catches a division by zero, has no target: raising an error costs
the building of its error object.
"""
import subprocess
import sys
from pathlib import Path

HERE = Path(__file__).parent / "library"
PROGRAMS = [("attempt", 1.5), ("first", 1.5), ("to_integer", 1.5), ("type_test", 1.0), ("rejoin", 1.5), ("attempt_error", None)]


def best(cmd, runs):
    return min(float(subprocess.run(cmd, check=True, capture_output=True, text=True).stdout.split()[0])
               for _ in range(runs))


def main():
    vyn = sys.argv[1]
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 5
    print(f"{'program':<14}{'vyn s':>9}{'python s':>10}{'vyn/py':>9}{'target':>8}")
    for name, target in PROGRAMS:
        v = best([vyn, str(HERE / f"{name}.vyn")], runs)
        p = best([sys.executable, str(HERE / f"{name}.py")], runs)
        goal = f"{target:8.1f}" if target else f"{'-':>8}"
        print(f"{name:<14}{v:9.3f}{p:10.3f}{v / p:9.2f}{goal}")


if __name__ == "__main__":
    main()
