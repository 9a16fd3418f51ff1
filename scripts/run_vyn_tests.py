#!/usr/bin/env python3
"""Runs Vyn test scripts through vyn.

Each script in tests/vyn/ (but the harness) runs with tests/vyn/harness.vyn
put ahead of it; the harness prints one line per failing case (its table,
number, code, what was expected and what came) and a closing count
"N passed, N failed". A script fails when a case fails, when the count is
missing (the script stopped early) or when vyn exits with another status.
The directory of the script is the current one, so scripts can reach their
fixtures; VYN_BINARY names the executable for scripts that start vyn again.
"""
import os
import re
import subprocess
import sys
import tempfile
from pathlib import Path

SUMMARY = re.compile(r"^(\d+) passed, (\d+) failed$")


def body_of(text):
    """The script's code after its header: the first "Vyn [...]" block."""
    start = text.find("Vyn [")
    if start < 0:
        return text
    depth, i = 0, start + 4
    while i < len(text):
        c = text[i]
        if c == "[":
            depth += 1
        elif c == "]":
            depth -= 1
            if depth == 0:
                return text[i + 1 :]
        elif c == '"':
            i = text.index('"', i + 1)
        i += 1
    return text


def run_script(vyn, harness, script):
    # vyn makes the script's directory the current one: the fixtures' directory is set again.
    back = 'system/options/path: to-file "%s/" set-current-dir system/options/path\n' % str(script.parent.resolve()).replace("^", "^^").replace('"', '^"')
    source = harness.read_text(encoding="utf-8") + "\n" + back + body_of(script.read_text(encoding="utf-8"))
    source += "\ntest-summary\n"
    env = {"VYN_HEADLESS": "1", "PATH": "/usr/bin:/bin", "VYN_BINARY": vyn}
    for name in ("VYN_GC_STRESS", "VYN_GC_STRESS_GAP"):
        if name in os.environ:
            env[name] = os.environ[name]
    if "LSAN_OPTIONS" in os.environ:
        env["LSAN_OPTIONS"] = os.environ["LSAN_OPTIONS"]
    with tempfile.TemporaryDirectory() as tmp:
        env["HOME"] = tmp  # nothing a script runs may write under the real home
        combined = Path(tmp) / script.name
        combined.write_text(source, encoding="utf-8")
        proc = subprocess.run([vyn, str(combined)], capture_output=True, timeout=900, env=env, cwd=script.parent)
    return proc.returncode, proc.stdout.decode("utf-8", "replace"), proc.stderr.decode("utf-8", "replace")


def main():
    vyn, scripts = str(Path(sys.argv[1]).resolve()), [Path(p) for p in sys.argv[2:]]
    total_passed = total_failed = 0
    ok = True
    for script in scripts:
        harness = script.parent / "harness.vyn"
        status, out, err = run_script(vyn, harness, script)
        lines = out.rstrip("\n").splitlines()
        match = SUMMARY.match(lines[-1]) if lines else None
        sys.stdout.write(out)
        if err:
            sys.stdout.write(err)
        if not match or status != 0:
            ok = False
            print(f"FAIL {script.name}: the script stopped before its summary (exit {status})")
            continue
        total_passed += int(match.group(1))
        total_failed += int(match.group(2))
    print(f"{total_passed} passed, {total_failed} failed")
    return 0 if ok and total_failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
