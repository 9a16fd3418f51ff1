#!/usr/bin/env python3
"""Times the parse dialect against CPython re and Lua LPeg on a 20 MB text.

Usage: bench/parse_compare.py build/vyn [corpus-path]
The corpus (random words, spaces, punctuation and line breaks, fixed seed)
is written once to the given path (default /tmp/vyn_parse_corpus.txt).
Every program runs ten times, in interleaved rounds; the best wall time
counts, less the best time of the same tool only reading the text
(bench/parse/read.*), so the figures are the matching alone, actions
included.
  words:  count the spaces: parse t [any [thru " " (n: n + 1)]]
  tokens: count the runs of letters: parse t [any [some letters (n: n + 1) | skip]]
"""
import os
import random
import shutil
import subprocess
import sys
import time
from pathlib import Path

HERE = Path(__file__).parent / "parse"
SIZE = 20 * 1000 * 1000
RUNS = 10


def make_corpus(path):
    if path.exists() and path.stat().st_size >= SIZE:
        return
    rng = random.Random(7)
    letters = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
    vocab = ["".join(rng.choice(letters) for _ in range(rng.randint(1, 10))) for _ in range(5000)]
    out, size = [], 0
    while size < SIZE:
        word = rng.choice(vocab)
        r = rng.random()
        sep = " " if r < 0.85 else ", " if r < 0.93 else ".\n" if r < 0.98 else " 42 "
        out.append(word + sep)
        size += len(word) + len(sep)
    path.write_text("".join(out), encoding="utf-8")


def timed(cmd, env):
    start = time.perf_counter()
    out = subprocess.run(cmd, check=True, env=env, capture_output=True).stdout.strip()
    return time.perf_counter() - start, out.decode()


def main():
    vyn = sys.argv[1]
    corpus = Path(sys.argv[2] if len(sys.argv) > 2 else "/tmp/vyn_parse_corpus.txt")
    make_corpus(corpus)
    env = dict(os.environ, PARSE_CORPUS=str(corpus), VYN_HEADLESS="1")
    lua = shutil.which("lua5.4") or shutil.which("lua")
    tools = {"vyn": ([vyn], ".vyn"), "python": ([sys.executable], ".py"), "lua": ([lua], ".lua")}
    rows = [("read", "vyn", "read"), ("read", "python", "read"), ("read", "lua", "read"),
            ("words", "vyn", "words"), ("words", "python", "words"), ("words", "python", "words_findall"),
            ("words", "lua", "words"), ("tokens", "vyn", "tokens"), ("tokens", "python", "tokens"),
            ("tokens", "python", "tokens_findall"), ("tokens", "lua", "tokens")]
    # Rounds interleave the programs, so that a change in the machine's load
    # falls on all of them alike.
    best, outputs = {}, {}
    for _ in range(RUNS):
        for row in rows:
            _, tool, script = row
            cmd, ext = tools[tool]
            t, out = timed(cmd + [str(HERE / f"{script}{ext}")], env)
            best[row] = min(best.get(row, t), t)
            outputs[row] = out
    labels = {"vyn": "vyn parse", "python": "CPython re", "lua": "Lua LPeg"}
    print(f"{'task':<8}{'program':<28}{'count':>10}{'match s':>10}")
    for row in rows:
        task, tool, script = row
        if task == "read":
            continue
        label = labels[tool] + (" findall" if script.endswith("findall") else " finditer" if tool == "python" else "")
        t = best[row] - best[("read", tool, "read")]
        print(f"{task:<8}{label:<28}{outputs[row]:>10}{t:10.3f}")


if __name__ == "__main__":
    main()
