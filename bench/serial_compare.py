#!/usr/bin/env python3
"""Times the serialiser against CPython's marshal and pickle on the same
corpus, in the same run, and prints the ratios (below 1: Vyn faster or
smaller).

Usage: bench/serial_compare.py build/bench/serial_bench
The Vyn side (serial_bench) times its corpus and writes the boot image's
values as Python literals; this script builds the same corpus in Python
(1M integers, every other one small; 1M small integers; 200k short strings;
100k [i [i]] lists; the image's values as lists, interned strings and
integers) and times marshal.dumps/loads and pickle.dumps/loads (highest
protocol), best of seven runs each, in wall time and in user CPU time.
"""
import marshal
import resource
import pickle
import runpy
import subprocess
import sys
import tempfile
import time
from pathlib import Path

RUNS = 7


def user():
    return resource.getrusage(resource.RUSAGE_SELF).ru_utime


def best(f):
    wall = cpu = 1e9
    for _ in range(RUNS):
        u = user()
        start = time.perf_counter()
        f()
        wall = min(wall, time.perf_counter() - start)
        cpu = min(cpu, user() - u)
    return wall, cpu


def corpus(image):
    ints = [i % 64 if i % 2 == 0 else ((i * 2654435761) % 2**32) - (2**32 if (i * 2654435761) % 2**32 >= 2**31 else 0)
            for i in range(1000000)]
    return {
        "integers": ints,
        "small-integers": [i % 64 for i in range(1000000)],
        "strings": ["item-" + str(i) for i in range(200000)],
        "nested-blocks": [[i, [i]] for i in range(100000)],
        "library-image": image,
    }


def peer(data, dumps, loads):
    """(encode wall, user), (decode wall, user), size."""
    out = dumps(data)
    return best(lambda: dumps(data)), best(lambda: loads(out)), len(out)


def main():
    bench = sys.argv[1]
    with tempfile.TemporaryDirectory() as tmp:
        literal = Path(tmp) / "image.py"
        lines = subprocess.run([bench, str(literal)], check=True, capture_output=True, text=True).stdout.split("\n")
        image = runpy.run_path(str(literal))["image"]
    vyn = {}
    for line in lines:
        parts = line.split()
        if len(parts) == 6:
            vyn[parts[0]] = ([float(x) for x in parts[1:5]], int(parts[5]))
        elif len(parts) == 4:
            image_decode = (float(parts[1]), float(parts[2]))
    data = corpus(image)
    for kind, k in (("wall", 0), ("user CPU", 1)):
        print(f"== {kind} time, ms (ratios: Vyn / peer)")
        print(f"{'case':15} {'vyn enc':>8} {'dec':>7} | {'marshal':>8} {'dec':>7} | {'pickle':>7} {'dec':>7} |"
              f" {'enc/m':>6} {'dec/m':>6} {'enc/p':>6} {'dec/p':>6}")
        for name, value in data.items():
            times, _ = vyn[name]
            ve, vd = times[2 * k], times[2 * k + 1]
            me, md, _ = peer(value, marshal.dumps, marshal.loads)
            pe, pd, _ = peer(value, lambda v: pickle.dumps(v, pickle.HIGHEST_PROTOCOL), pickle.loads)
            me, md, pe, pd = me[k], md[k], pe[k], pd[k]
            print(f"{name:15} {ve*1e3:8.2f} {vd*1e3:7.2f} | {me*1e3:8.2f} {md*1e3:7.2f} | {pe*1e3:7.2f} {pd*1e3:7.2f} |"
                  f" {ve/me:6.2f} {vd/md:6.2f} {ve/pe:6.2f} {vd/pd:6.2f}")
    print("== sizes, bytes (ratio: Vyn / marshal)")
    for name, value in data.items():
        vs = vyn[name][1]
        ms = len(marshal.dumps(value))
        ps = len(pickle.dumps(value, pickle.HIGHEST_PROTOCOL))
        print(f"{name:15} vyn {vs:9} marshal {ms:9} pickle {ps:9}  {vs/ms:5.2f}")
    print(f"boot image decode alone: {image_decode[0]*1e3:.3f} ms wall, {image_decode[1]*1e3:.3f} ms user")


if __name__ == "__main__":
    main()
