#!/usr/bin/env python3
"""Runs console transcripts through vyn and compares what it prints.

A transcript holds cases, each starting with a line "## title". In a case,
lines starting with ">> " are typed input (fed to one vyn process on its
standard input, without the prefix); every other line is expected output,
compared exactly after trailing blank lines are dropped.
"""
import os
import subprocess
import sys
from pathlib import Path

# Only catches a hang: the slowest case takes seconds, even under the
# sanitizers and the collector's stress mode on a busy machine.
CASE_TIMEOUT = 600


def parse(path):
    cases, current = [], None
    for raw in path.read_text(encoding="utf-8").splitlines():
        if raw.startswith("## "):
            current = {"title": raw[3:].strip(), "input": [], "expected": []}
            cases.append(current)
        elif current is None:
            continue
        elif raw.startswith(">> "):
            current["input"].append(raw[3:])
        else:
            current["expected"].append(raw)
    return cases


def trimmed(lines):
    while lines and not lines[-1].strip():
        lines = lines[:-1]
    return lines


def run_case(vyn, case):
    stdin = "".join(line + "\n" for line in case["input"])
    env = {"VYN_HEADLESS": "1", "PATH": "/usr/bin:/bin"}
    # The collector's stress mode passes through, for the stress run of the suite.
    for name in ("VYN_GC_STRESS", "VYN_GC_STRESS_GAP"):
        if name in os.environ:
            env[name] = os.environ[name]
    try:
        proc = subprocess.run([vyn], input=stdin.encode(), capture_output=True, timeout=CASE_TIMEOUT, env=env)
    except subprocess.TimeoutExpired as e:
        got = trimmed((e.stdout or b"").decode("utf-8", "replace").splitlines())
        return got, f"timed out after {CASE_TIMEOUT} s"
    got = trimmed(proc.stdout.decode("utf-8", "replace").splitlines())
    return got, f"exit {proc.returncode}"


def main():
    vyn, files = sys.argv[1], [Path(p) for p in sys.argv[2:]]
    passed = failed = 0
    for path in files:
        for case in parse(path):
            expected = trimmed(case["expected"])
            got, status = run_case(vyn, case)
            if got == expected and status == "exit 0":
                passed += 1
                continue
            failed += 1
            print(f"FAIL {path.name}: {case['title']} ({status})")
            print("  input:    " + "\n            ".join(case["input"]))
            print("  expected: " + "\n            ".join(expected))
            print("  got:      " + "\n            ".join(got))
    print(f"{passed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
