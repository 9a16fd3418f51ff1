#!/usr/bin/env python3
"""The peer of bench/sets_bench.cpp: 1M words (100,000 distinct) made
unique through set() and through dict.fromkeys (which keeps the first
occurrence's order, as unique does), and sorted. Prints milliseconds."""
import time


def best(fn, rounds=5):
    least = float("inf")
    for _ in range(rounds):
        start = time.perf_counter()
        fn()
        least = min(least, time.perf_counter() - start)
    return least


words = ["w" + str(i % 100000) for i in range(1, 1000001)]
print(f"set()            {best(lambda: set(words)) * 1e3:9.1f} ms")
print(f"dict.fromkeys    {best(lambda: list(dict.fromkeys(words))) * 1e3:9.1f} ms")
print(f"sorted           {best(lambda: sorted(words)) * 1e3:9.1f} ms")
