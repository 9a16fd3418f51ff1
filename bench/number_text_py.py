#!/usr/bin/env python3
"""CPython's repr() and float() over the data sets of number_text_bench:
one million finite doubles from random bit patterns, and one million short
literals (k / 1000 for k below 100000). Prints nanoseconds per item."""
import math
import random
import struct
import time

COUNT = 1_000_000


def random_doubles():
    rng = random.Random(1)
    values = []
    while len(values) < COUNT:
        d = struct.unpack("<d", rng.getrandbits(64).to_bytes(8, "little"))[0]
        if math.isfinite(d):
            values.append(d)
    return values


def short_doubles():
    rng = random.Random(2)
    return [rng.randrange(100000) / 1000.0 for _ in range(COUNT)]


def per_item(fn, items, rounds=3):
    best = math.inf
    for _ in range(rounds):
        start = time.perf_counter()
        for x in items:
            fn(x)
        best = min(best, time.perf_counter() - start)
    return best / len(items) * 1e9


def main():
    for name, values in (("random", random_doubles()), ("short", short_doubles())):
        texts = [repr(d) for d in values]
        print(f"repr  {name:6} {per_item(repr, values):7.1f} ns/item")
        print(f"float {name:6} {per_item(float, texts):7.1f} ns/item")


if __name__ == "__main__":
    main()
