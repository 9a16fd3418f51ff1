#!/usr/bin/env python3
"""Cold start-up: vyn running an empty script against the peers' empty runs,
in one hyperfine run, then the time of each start-up group.

Usage: run.py [BUILD_DIR] (default build). Needs hyperfine and lua5.4.
"""
import json
import shutil
import statistics
import subprocess
import sys
import tempfile
from pathlib import Path

RUNS = 60
GROUP_RUNS = 30


def main():
    build = Path(sys.argv[1] if len(sys.argv) > 1 else "build").resolve()
    vyn, groups = build / "vyn", build / "bench" / "startup_groups"
    # The interpreter itself, not a version manager's shim in front of it.
    python = sys.executable
    lua = shutil.which("lua5.4")
    with tempfile.TemporaryDirectory() as directory:
        empty = Path(directory) / "empty.vyn"
        empty.write_text("Vyn []\n")
        report = Path(directory) / "report.json"
        commands = [f"{vyn} {empty}", f"{python} -S -c pass", f"{python} -c pass"]
        if lua:
            commands.append(f"{lua} -e ''")
        subprocess.run(["hyperfine", "-N", "--warmup", "5", "--runs", str(RUNS), "--export-json", str(report),
                        "--style", "none", *commands], check=True, stdout=subprocess.DEVNULL,
                       env={"VYN_HEADLESS": "1", "PATH": "/usr/bin:/bin"})
        results = json.loads(report.read_text())["results"]
    base = next(r for r in results if r["command"].endswith("-S -c pass"))
    print(f"{'command':<40} {'median ms':>10} {'mean ms':>9} {'user+sys ms':>12} {'vs python -S':>13}")
    for r in results:
        cpu = (r["user"] + r["system"]) * 1000
        name = r["command"].replace(str(build) + "/", "").replace(python, "python3")
        print(f"{name[:40]:<40} {r['median'] * 1000:>10.2f} {r['mean'] * 1000:>9.2f} {cpu:>12.2f}"
              f" {r['median'] / base['median']:>12.2f}x")

    times = {}
    for _ in range(GROUP_RUNS):
        out = subprocess.run([str(groups)], check=True, capture_output=True, text=True,
                             env={"VYN_HEADLESS": "1"}).stdout
        for line in out.splitlines():
            name, us = line.split("\t")
            times.setdefault(name, []).append(int(us))
    print(f"\nstart-up groups, median of {GROUP_RUNS} fresh processes:")
    total = 0.0
    for name, values in times.items():
        ms = statistics.median(values) / 1000
        total += ms
        print(f"  {name:<12} {ms:>8.2f} ms")
    print(f"  {'total':<12} {total:>8.2f} ms")


if __name__ == "__main__":
    main()
