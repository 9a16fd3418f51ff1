#!/usr/bin/env python3
"""Times the serialiser against CPython's marshal and pickle on the same
corpus, in the same run, and prints the ratios (below 1: Vyn faster or
smaller) against the targets.

Usage: bench/serial_compare.py build/bench/serial_bench
The Vyn side (serial_bench) times its corpus and writes the boot image's
values as Python literals; this script builds the same corpus in Python
(1M integers, every other one small; 1M small integers; 200k short strings;
100k [i [i]] lists; the image's values as lists, interned strings and
integers) and times marshal.dumps/loads and pickle.dumps/loads (highest
protocol), best of fifteen runs each, in wall time and in the thread's CPU
time, over three rounds that alternate the two sides. Neither side counts
its process start; on both sides the result of a run is released after its
timing stops.
"""
import marshal
import pickle
import runpy
import subprocess
import sys
import tempfile
import time
from pathlib import Path

RUNS = 15
ROUNDS = 3
ENCODE_TARGET = 1.0    # times marshal's encode time
DECODE_TARGET = 1.5    # times marshal's decode time
SIZE_TARGET = 0.25     # times marshal's size, small integers
BOOT_TARGET_MS = 3.0   # boot image decode alone


def best(f):
    """Best (wall, cpu) seconds of f over RUNS runs."""
    wall = cpu = 1e9
    for _ in range(RUNS):
        c = time.thread_time()
        start = time.perf_counter()
        result = f()
        wall = min(wall, time.perf_counter() - start)
        cpu = min(cpu, time.thread_time() - c)
        del result
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
    """(encode wall, cpu), (decode wall, cpu), size."""
    out = dumps(data)
    return best(lambda: dumps(data)), best(lambda: loads(out)), len(out)


def ratio(a, b):
    return a / b if b > 0 else float("inf")


def verdict(value, target):
    return "ok" if value <= target else "MISSED"


def vyn_round(bench, literal):
    """One run of serial_bench: {case: ([enc wall, dec wall, enc cpu, dec cpu], bytes)}, (boot wall, cpu)."""
    lines = subprocess.run([bench, str(literal)], check=True, capture_output=True, text=True).stdout.split("\n")
    cases = {}
    boot = None
    for line in lines:
        parts = line.split()
        if len(parts) == 6:
            cases[parts[0]] = ([float(x) for x in parts[1:5]], int(parts[5]))
        elif len(parts) == 4:
            boot = (float(parts[1]), float(parts[2]))
    return cases, boot


def best_of(a, b):
    """Per-field minimum of two timing tuples (nested one level)."""
    return tuple(tuple(map(min, x, y)) if isinstance(x, tuple) else min(x, y) for x, y in zip(a, b))


def main():
    bench = sys.argv[1]
    vyn = None
    peers = {}
    pickle_dumps = lambda v: pickle.dumps(v, pickle.HIGHEST_PROTOCOL)
    with tempfile.TemporaryDirectory() as tmp:
        literal = Path(tmp) / "image.py"
        # Rounds alternate the two sides, so that both meet the same load
        # on a shared machine; each figure is the best over all rounds.
        for _ in range(ROUNDS):
            cases, boot = vyn_round(bench, literal)
            if vyn is None:
                vyn, image_decode = cases, boot
                data = corpus(runpy.run_path(str(literal))["image"])
            else:
                for name, (times, size) in cases.items():
                    vyn[name] = ([min(a, b) for a, b in zip(vyn[name][0], times)], size)
                image_decode = tuple(map(min, image_decode, boot))
            for name, value in data.items():
                now = (peer(value, marshal.dumps, marshal.loads), peer(value, pickle_dumps, pickle.loads))
                peers[name] = tuple(best_of(p, q) for p, q in zip(peers[name], now)) if name in peers else now
    ratios = {}
    for kind, k in (("wall", 0), ("CPU", 1)):
        print(f"== {kind} time, ms; ratios are Vyn / peer (targets: encode <= {ENCODE_TARGET} x marshal,"
              f" decode <= {DECODE_TARGET} x marshal)")
        print(f"{'case':15} {'vyn enc':>8} {'dec':>7} | {'marshal':>8} {'dec':>7} | {'pickle':>7} {'dec':>7} |"
              f" {'enc/m':>6} {'dec/m':>6} {'enc/p':>6} {'dec/p':>6}")
        for name in data:
            times, _ = vyn[name]
            ve, vd = times[2 * k], times[2 * k + 1]
            (me, md, _), (pe, pd, _) = peers[name]
            me, md, pe, pd = me[k], md[k], pe[k], pd[k]
            print(f"{name:15} {ve*1e3:8.2f} {vd*1e3:7.2f} | {me*1e3:8.2f} {md*1e3:7.2f} | {pe*1e3:7.2f} {pd*1e3:7.2f} |"
                  f" {ratio(ve, me):6.2f} {ratio(vd, md):6.2f} {ratio(ve, pe):6.2f} {ratio(vd, pd):6.2f}")
            if kind == "CPU":
                ratios[name] = (ratio(ve, me), ratio(vd, md))
    print("== sizes, bytes (ratio: Vyn / marshal)")
    for name in data:
        vs = vyn[name][1]
        ms = peers[name][0][2]
        ps = peers[name][1][2]
        print(f"{name:15} vyn {vs:9} marshal {ms:9} pickle {ps:9}  {ratio(vs, ms):5.2f}")
    print(f"boot image decode alone: {image_decode[0]*1e3:.3f} ms wall, {image_decode[1]*1e3:.3f} ms CPU")
    print("== targets (CPU time)")
    for name, (enc, dec) in ratios.items():
        print(f"{name:15} encode {enc:5.2f} x marshal {verdict(enc, ENCODE_TARGET):6}"
              f" decode {dec:5.2f} x marshal {verdict(dec, DECODE_TARGET)}")
    small = ratio(vyn["small-integers"][1], peers["small-integers"][0][2])
    print(f"small-integer size {small:.2f} x marshal {verdict(small, SIZE_TARGET)}")
    print(f"boot image decode {image_decode[1]*1e3:.3f} ms {verdict(image_decode[1] * 1e3, BOOT_TARGET_MS)}")


if __name__ == "__main__":
    main()
