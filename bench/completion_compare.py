#!/usr/bin/env python3
"""Times the console's completion over the whole global context.

Usage: bench/completion_compare.py build/vyn
Each side completes 1,000 prefixes of one to three letters over as many
names as vyn's global context holds and reports the median and the 95th
percentile of one completion, in milliseconds. Target: p95 under 5 ms.
"""
import subprocess
import sys
from pathlib import Path

HERE = Path(__file__).parent / "completion"


def run(cmd):
    out = subprocess.run(cmd, check=True, capture_output=True, text=True,
                         env={"VYN_HEADLESS": "1", "PATH": "/usr/bin:/bin"}).stdout.split()
    return float(out[0]), float(out[1]), int(out[2])


def main():
    vyn = sys.argv[1]
    v50, v95, count = run([vyn, str(HERE / "complete.vyn")])
    p50, p95, _ = run([sys.executable, str(HERE / "complete.py"), str(count)])
    print(f"{'side':<8}{'names':>7}{'p50 ms':>9}{'p95 ms':>9}{'target':>8}")
    print(f"{'vyn':<8}{count:7d}{v50:9.3f}{v95:9.3f}{5.0:8.1f}")
    print(f"{'python':<8}{count:7d}{p50:9.3f}{p95:9.3f}{'-':>8}")


if __name__ == "__main__":
    main()
