#!/usr/bin/env python3
"""Times the relation engine in Vyn against ports of the same engine to
CPython and Lua 5.4 (bench/reactivity/engine.py, engine.lua), in one run.

Usage: bench/reactivity_compare.py build/vyn [runs]
Programs (bench/reactivity/): one_relation, 100k changes of a reactor's
field through one relation, run alone and with 1,000 records of other
reactors ahead of it in the table (among_unrelated); chain, 20 changes at
the head of a chain of 1,000 reactors (each reaction sets the next one's
field).
Each program times its own loop (start-up and set-up excluded) and prints
seconds; each runs `runs` times (default 5) and the best time counts.
Targets: vyn within 1.5 times the CPython port, and among_unrelated within
1.2 times one_relation.
"""
import shutil
import sys
from pathlib import Path

from library_compare import best

HERE = Path(__file__).parent / "reactivity"
# name, program, its arguments
PROGRAMS = [("one_relation", "one_relation", []), ("among_unrelated", "one_relation", ["1000"]),
            ("chain", "chain", [])]


def main():
    vyn = sys.argv[1]
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 5
    lua = shutil.which("lua5.4") or shutil.which("lua")
    print(f"{'program':<17}{'vyn s':>9}{'python s':>10}{'lua s':>9}{'vyn/py':>9}{'vyn/lua':>9}")
    times = {}
    for name, program, args in PROGRAMS:
        v = best([vyn, str(HERE / f"{program}.vyn"), *args], runs)
        p = best([sys.executable, str(HERE / f"{program}.py"), *args], runs)
        l = best([lua, str(HERE / f"{program}.lua"), *args], runs) if lua else float("nan")
        times[name] = v
        print(f"{name:<17}{v:9.3f}{p:10.3f}{l:9.3f}{v / p:9.2f}{v / l:9.2f}")
    ratio = times["among_unrelated"] / times["one_relation"]
    print(f"among_unrelated / one_relation (vyn): {ratio:.2f}")


if __name__ == "__main__":
    main()
