#!/usr/bin/env python3
"""Times whole programs in Vyn, CPython and Lua 5.4 and prints the ratios.

Usage: bench/programs_compare.py build/vyn [program ...]
Each program of bench/programs/ exists as NAME.vyn, NAME.py and NAME.lua doing
the same work. The three run interleaved, three rounds; the best wall time
counts. Each run starts in a fresh directory; its standard output and any
file it writes there must be the same in all three languages, or the program
is reported as a failure and the exit status is 1. Peak memory is the largest
resident size of one more run of each, in MB. Ratios are Vyn's time over the
peer's: below 1, Vyn is faster. Run the driver with the CPython to compare
against (sys.executable is the peer).
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time
from pathlib import Path

HERE = Path(__file__).parent / "programs"
PROGRAMS = ["binary_trees", "nbody", "spectral_norm", "fannkuch", "mandelbrot",
            "word_freq", "string_build", "data_walk"]
ROUNDS = 3


def run(cmd):
    """Runs cmd in a fresh directory; returns (seconds, stdout, files written)."""
    with tempfile.TemporaryDirectory() as tmp:
        start = time.perf_counter()
        proc = subprocess.Popen(cmd, cwd=tmp, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        out, err = proc.communicate()
        seconds = time.perf_counter() - start
        if proc.returncode:
            raise RuntimeError(f"{cmd[0]} failed ({proc.returncode}): {err.decode(errors='replace')}")
        files = {p.name: p.read_bytes() for p in sorted(Path(tmp).iterdir())}
    return seconds, out, files


def peak_mb(cmd):
    """Peak resident size of one run of cmd, through /usr/bin/time when present."""
    timer = shutil.which("time", path="/usr/bin")
    if not timer:
        return float("nan")
    with tempfile.TemporaryDirectory() as tmp:
        res = subprocess.run([timer, "-f", "%M", *cmd], cwd=tmp, capture_output=True, text=True)
    return int(res.stderr.strip().splitlines()[-1]) / 1024


def main():
    vyn = os.path.abspath(sys.argv[1])
    names = sys.argv[2:] or PROGRAMS
    lua = shutil.which("lua5.4") or shutil.which("lua")
    langs = {"vyn": [vyn], "py": [sys.executable]}
    if lua:
        langs["lua"] = [lua]
    failed = []
    print(f"{'program':<14}{'vyn s':>8}{'python s':>10}{'lua s':>8}{'vyn/py':>8}{'vyn/lua':>9}"
          f"{'vyn MB':>8}{'py MB':>7}")
    for name in names:
        best = {lang: float("inf") for lang in langs}
        outputs = {}
        for _ in range(ROUNDS):
            for lang, cmd in langs.items():
                seconds, out, files = run([*cmd, str(HERE / f"{name}.{lang}")])
                best[lang] = min(best[lang], seconds)
                outputs[lang] = (out, files)
        same = all(o == outputs["vyn"] for o in outputs.values())
        v, p, l = best["vyn"], best["py"], best.get("lua", float("nan"))
        vm = peak_mb([vyn, str(HERE / f"{name}.vyn")])
        pm = peak_mb([sys.executable, str(HERE / f"{name}.py")])
        note = "" if same else "  OUTPUT MISMATCH"
        print(f"{name:<14}{v:8.3f}{p:10.3f}{l:8.3f}{v / p:8.2f}{v / l:9.2f}{vm:8.1f}{pm:7.1f}{note}",
              flush=True)
        if not same:
            failed.append(name)
    if failed:
        print("failed:", " ".join(failed))
        sys.exit(1)


if __name__ == "__main__":
    main()
