#!/usr/bin/env python3
"""Checks vyn as a process: the arguments it keeps, how it ends (the exit
status, and what goes to each stream).

Usage: program.py VYN FAULT_PROBE. Prints "N passed, N failed"; exits
non-zero when a case fails.
"""
import os
import signal
import subprocess
import sys
import tempfile
import time
from pathlib import Path

ENV = {"VYN_HEADLESS": "1", "PATH": "/usr/bin:/bin"}
for key in ("VYN_GC_STRESS", "ASAN_OPTIONS", "UBSAN_OPTIONS"):
    if key in os.environ:
        ENV[key] = os.environ[key]

# Script cases: (title, body, status, stdout, a text stderr holds or None for empty).
SCRIPTS = [
    ("a script that ends normally", 'print "done"', 0, "done\n", None),
    ("quit-return gives its status", 'print 1 quit-return 3 print 2', 3, "1\n", None),
    ("a status whose low byte is 0 is not success", "quit-return 256", 255, "", None),
    ("a negative status keeps its low byte", "quit-return -2", 254, "", None),
    ("quit-return 0", "quit-return 0", 0, "", None),
    ("an uncaught error: its report on stderr, what came before on stdout",
     'print "before" 1 / 0 print "after"', 254, "before\n",
     "*** Math Error: attempt to divide by zero"),
    ("a language throw with no catch is an uncaught error",
     "throw 7", 254, "", "*** Throw Error: no catch for throw: 7"),
    ("an error caught by the script is not an exit", 'try [1 / 0] print "on"', 0, "on\n", None),
    ("an error the script answers is a value, not a failure", "make error! 400", 0, None, None),
]

# Fault probe cases: (title, how, status, text stderr starts with, stdout).
PROBES = [
    ("a null write is a segmentation fault", "null", 32, "*** Runtime Error 32: segmentation fault\n*** at: ", None),
    ("a write to a read-only page is an access violation", "read-only", 1,
     "*** Runtime Error 1: access violation\n*** at: ", None),
    ("an integer division by zero", "divide", 13, "*** Runtime Error 13: integer divide by zero\n*** at: ", None),
    ("a native stack overflow", "stack", 19, "*** Runtime Error 19: stack error or overflow\n*** at: ", None),
    ("the allocator failing", "memory", 94, "*** Runtime Error 94: out of memory\n", "started\n"),
    ("a native throw that nothing catches", "throw", 95, "*** Runtime Error 95: no CATCH for THROW\n",
     "started\nbefore\n"),
]


def script(directory, body):
    path = Path(directory) / "case.vyn"
    path.write_text("Vyn []\n" + body + "\n", encoding="utf-8")
    return str(path)


def check(title, result, status, stdout, stderr_text, stderr_prefix=False):
    problems = []
    if result.returncode != status:
        problems.append(f"status {result.returncode}, expected {status}")
    if stdout is not None and result.stdout != stdout:
        problems.append(f"stdout {result.stdout!r}, expected {stdout!r}")
    if stderr_text is None:
        if result.stderr:
            problems.append(f"stderr {result.stderr!r}, expected nothing")
    elif stderr_prefix and not result.stderr.startswith(stderr_text):
        problems.append(f"stderr {result.stderr!r}, expected to start with {stderr_text!r}")
    elif not stderr_prefix and stderr_text not in result.stderr:
        problems.append(f"stderr {result.stderr!r}, expected to hold {stderr_text!r}")
    for p in problems:
        print(f"FAIL {title}: {p}")
    return not problems


def run(args, **kw):
    return subprocess.run(args, capture_output=True, text=True, env=ENV, timeout=60, **kw)


def interrupted(vyn, directory):
    """SIGINT while a script waits: status 130."""
    proc = subprocess.Popen([vyn, script(directory, 'print "waiting" wait 30')], stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE, text=True, env=ENV)
    assert proc.stdout.readline() == "waiting\n"
    proc.send_signal(signal.SIGINT)
    out, err = proc.communicate(timeout=30)
    return subprocess.CompletedProcess(proc.args, proc.returncode, "waiting\n" + out, err)


def broken_pipe(vyn, directory):
    """The reader of stdout goes away: the script ends quietly."""
    path = script(directory, 'loop 200000 [print "line"]')
    proc = subprocess.Popen([vyn, path], stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=ENV)
    first = proc.stdout.readline()
    proc.stdout.close()
    err = proc.stderr.read().decode()
    proc.wait(timeout=60)
    return subprocess.CompletedProcess(proc.args, proc.returncode, first.decode(), err)


def arguments(vyn, directory):
    """The arguments as given, and joined with the blank-holding ones quoted."""
    path = script(directory, "print mold next get-command-args print get-command-line")
    result = run([vyn, path, "plain", "two words", 'say "hi"', "", "caf\u00e9"])
    line = result.stdout.splitlines()[-1] if result.stdout else ""
    head = f"{vyn} {path} "
    if line.startswith(head):
        result.stdout = result.stdout.replace(head, "PROGRAM SCRIPT ", 1)
    return result


def system_arguments(vyn, directory):
    """system/options/args as given, the program in options/boot, the raw rest in script/args."""
    path = script(directory, "print mold system/options/args print system/script/args "
                  "print system/options/boot = first get-command-args")
    result = run([vyn, path, "two words", 'say "hi"'])
    result.stdout = result.stdout.replace(path, "SCRIPT")
    return result


def main():
    vyn, probe = sys.argv[1], sys.argv[2]
    passed = failed = 0

    def tally(ok):
        nonlocal passed, failed
        passed, failed = passed + ok, failed + (not ok)

    with tempfile.TemporaryDirectory() as directory:
        for title, body, status, stdout, stderr_text in SCRIPTS:
            tally(check(title, run([vyn, script(directory, body)]), status, stdout, stderr_text))
        headless = Path(directory) / "headless.vyn"
        headless.write_text('print "no header"\n')
        tally(check("a script without its header", run([vyn, str(headless)]), 1, "",
                    "*** Error: Vyn header not found!"))
        tally(check("a script that cannot be opened", run([vyn, str(Path(directory) / "absent.vyn")]), 1, "",
                    "*** Access Error: cannot open:"))
        tally(check("arguments", arguments(vyn, directory), 0,
                    f'["{directory}/case.vyn" "plain" "two words" {{say "hi"}} "" "café"]\n'
                    'PROGRAM SCRIPT plain "two words" "say "hi"" "" café\n', None))
        tally(check("system arguments", system_arguments(vyn, directory), 0,
                    '["two words" {say "hi"}]\n"two words" "say "hi""\ntrue\n', None))
        tally(check("SIGINT ends with 130", interrupted(vyn, directory), 130, "waiting\n", None))
        tally(check("a closed pipe ends quietly", broken_pipe(vyn, directory), 141, "line\n", None))
        for title, how, status, stderr_start, stdout in PROBES:
            tally(check(title, run([probe, how]), status, stdout, stderr_start, stderr_prefix=True))
    print(f"{passed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
