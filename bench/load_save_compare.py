#!/usr/bin/env python3
"""Times load, save, do of a script and the path functions against CPython.

Usage: bench/load_save_compare.py build/vyn [runs]
Each program times its own work (start-up and set-up excluded) and prints
seconds; each runs `runs` times (default 3), alternating with its peer,
and the best time counts.
Pairs: load of a 50 MB data file / json.load of the same records; save of
them / writing their repr; 1,000 `do %small.vyn` / 1,000
exec(compile(...)) of the same script; `split-path clean-path` over 1M
paths / os.path.split(os.path.normpath(...)).
"""
import json
import os
import subprocess
import sys
import tempfile
from pathlib import Path

HERE = Path(__file__).parent / "load_save"
PROGRAMS = [("load", 1.0), ("save", 1.5), ("do", 1.0), ("paths", 1.5)]
RECORDS = 1_000_000


def write_data(base):
    """The same records as Vyn source and as JSON, about 50 MB each."""
    with open(base + ".vyn", "w", encoding="utf-8") as v, open(base + ".json", "w", encoding="utf-8") as j:
        j.write("[")
        for i in range(RECORDS):
            name = f"name-{i}"
            score = i * 0.25
            v.write(f'[{i} "{name}" {score!r} ["red" "green"] {i % 7}]\n')
            j.write(("," if i else "") + json.dumps([i, name, score, ["red", "green"], i % 7]) + "\n")
        j.write("]")


def best(cmd, runs, env):
    return min(float(subprocess.run(cmd, check=True, capture_output=True, text=True, env=env, cwd=HERE)
                     .stdout.split()[0]) for _ in range(runs))


def main():
    vyn = str(Path(sys.argv[1]).resolve())
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 3
    with tempfile.TemporaryDirectory() as tmp:
        base = os.path.join(tmp, "records")
        write_data(base)
        env = dict(os.environ, LOAD_SAVE_DATA=base, VYN_HEADLESS="1")
        size = os.path.getsize(base + ".vyn") / 1e6
        print(f"data: {RECORDS} records, {size:.0f} MB as Vyn source")
        print(f"{'program':<10}{'vyn s':>9}{'python s':>10}{'vyn/py':>9}{'target':>8}")
        for name, target in PROGRAMS:
            # Alternated runs: a busy spell of the machine falls on both.
            v = p = float("inf")
            for _ in range(runs):
                v = min(v, best([vyn, str(HERE / f"{name}.vyn")], 1, env))
                p = min(p, best([sys.executable, str(HERE / f"{name}.py")], 1, env))
            print(f"{name:<10}{v:9.3f}{p:10.3f}{v / p:9.2f}{target:8.1f}")


if __name__ == "__main__":
    main()
