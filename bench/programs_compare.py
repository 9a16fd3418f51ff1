#!/usr/bin/env python3
"""Times whole programs in Vyn, CPython and Lua 5.4 and prints the ratios.

Usage: bench/programs_compare.py build/vyn [--before OTHER_VYN] [program ...]
Each program of bench/programs/ exists as NAME.vyn, NAME.py and NAME.lua doing
the same work. The three run interleaved, three rounds; the best wall time
counts. Each run starts in a fresh directory holding a copy of the program (a
Vyn script runs in its own directory, so a file it writes lands beside it);
its standard output and any file it writes there must be the same in all
three languages, or the program is reported as a failure and the exit status
is 1. With --before, a second Vyn executable (an earlier build) runs
interleaved with the others, and the last column is the new time over its. Peak memory is the largest
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


def run(cmd, program):
    """Runs cmd on a copy of program in a fresh directory; returns (seconds,
    stdout, files written)."""
    with tempfile.TemporaryDirectory() as tmp:
        copy = Path(tmp) / program.name
        shutil.copyfile(program, copy)
        start = time.perf_counter()
        proc = subprocess.Popen([*cmd, str(copy)], cwd=tmp, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        out, err = proc.communicate()
        seconds = time.perf_counter() - start
        if proc.returncode:
            raise RuntimeError(f"{cmd[0]} failed ({proc.returncode}): {err.decode(errors='replace')}")
        files = {p.name: p.read_bytes() for p in sorted(Path(tmp).iterdir()) if p != copy}
    return seconds, out, files


def peak_mb(cmd, program):
    """Peak resident size of one run of cmd on a copy of program, through
    /usr/bin/time when present."""
    timer = shutil.which("time", path="/usr/bin")
    if not timer:
        return float("nan")
    with tempfile.TemporaryDirectory() as tmp:
        copy = Path(tmp) / program.name
        shutil.copyfile(program, copy)
        res = subprocess.run([timer, "-f", "%M", *cmd, str(copy)], cwd=tmp, capture_output=True, text=True)
    return int(res.stderr.strip().splitlines()[-1]) / 1024


def main():
    args = sys.argv[1:]
    vyn = os.path.abspath(args.pop(0))
    before = None
    if args[:1] == ["--before"]:
        before = os.path.abspath(args[1])
        args = args[2:]
    names = args or PROGRAMS
    lua = shutil.which("lua5.4") or shutil.which("lua")
    # Each entry: the interpreter and the extension of the program it runs.
    langs = {"vyn": ([vyn], "vyn"), "py": ([sys.executable], "py")}
    if before:
        langs["before"] = ([before], "vyn")
    if lua:
        langs["lua"] = ([lua], "lua")
    failed = []
    print(f"{'program':<14}{'vyn s':>8}{'python s':>10}{'lua s':>8}{'vyn/py':>8}{'vyn/lua':>9}"
          f"{'vyn MB':>8}{'py MB':>7}" + (f"{'before s':>10}{'vyn/before':>12}" if before else ""))
    for name in names:
        best = {lang: float("inf") for lang in langs}
        outputs = {}
        for _ in range(ROUNDS):
            for lang, (cmd, ext) in langs.items():
                seconds, out, files = run(cmd, HERE / f"{name}.{ext}")
                best[lang] = min(best[lang], seconds)
                outputs[lang] = (out, files)
        same = all(o == outputs["vyn"] for o in outputs.values())
        v, p, l = best["vyn"], best["py"], best.get("lua", float("nan"))
        vm = peak_mb([vyn], HERE / f"{name}.vyn")
        pm = peak_mb([sys.executable], HERE / f"{name}.py")
        note = "" if same else "  OUTPUT MISMATCH"
        extra = f"{best['before']:10.3f}{v / best['before']:12.2f}" if before else ""
        print(f"{name:<14}{v:8.3f}{p:10.3f}{l:8.3f}{v / p:8.2f}{v / l:9.2f}{vm:8.1f}{pm:7.1f}{extra}{note}",
              flush=True)
        if not same:
            failed.append(name)
    if failed:
        print("failed:", " ".join(failed))
        sys.exit(1)


if __name__ == "__main__":
    main()
