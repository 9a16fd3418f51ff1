#!/usr/bin/env python3
"""Times map! put/select against CPython dicts and Lua 5.4 tables, and find on
a hash! against a block!, each program run through its interpreter.

Usage: bench/map_compare.py build/vyn
Programs live in bench/map/; hyperfine takes the mean of five runs (startup
included: the "select" rows include the puts that fill the map, so the
select cost is the difference of the two rows).
"""
import json
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

HERE = Path(__file__).parent / "map"
PEERS = ["put_int", "select_int", "put_str", "select_str"]
FINDS = ["build_words", "find_hash", "find_hash_sparse", "find_block"]


def mean(cmd):
    with tempfile.NamedTemporaryFile(suffix=".json") as out:
        subprocess.run(["hyperfine", "-N", "--runs", "5", "--warmup", "1", "--export-json", out.name, cmd],
                       check=True, stdout=subprocess.DEVNULL)
        return json.load(open(out.name))["results"][0]["mean"]


def main():
    vyn = sys.argv[1]
    lua = shutil.which("lua5.4") or shutil.which("lua")
    print(f"{'program':<18}{'vyn s':>9}{'python s':>10}{'lua s':>9}{'vyn/py':>9}{'vyn/lua':>9}")
    for name in PEERS:
        v = mean(f"{vyn} {HERE / (name + '.vyn')}")
        p = mean(f"{sys.executable} {HERE / (name + '.py')}")
        l = mean(f"{lua} {HERE / (name + '.lua')}") if lua else float("nan")
        print(f"{name:<18}{v:9.3f}{p:10.3f}{l:9.3f}{v / p:9.2f}{v / l:9.2f}")
    print()
    print(f"{'program':<18}{'vyn s':>9}")
    for name in FINDS:
        v = mean(f"{vyn} {HERE / (name + '.vyn')}")
        print(f"{name:<18}{v:9.3f}")


if __name__ == "__main__":
    main()
