#!/usr/bin/env python3
"""CPython list operations timed like bench/block_bench.cpp: append of 1M and
10M integers, insert at the head of a 1M-item list, index of the last item,
shallow copy of 1M items, 1M deep copies of [1, [2, 3], [4, [5, 6]], 7] (by
copy.deepcopy and by a plain recursive copy), and sorted() of 1M integers
(random, presorted, reversed; Python's sort is always stable), and of the
random ones through a comparison function (functools.cmp_to_key).
Prints milliseconds per run (microseconds for the head insert)."""
import copy
import functools
import random
import time

MILLION = 1_000_000


def best(fn, rounds=3):
    least = float("inf")
    for _ in range(rounds):
        start = time.perf_counter()
        fn()
        least = min(least, time.perf_counter() - start)
    return least


def append(n):
    def run():
        items = []
        add = items.append
        for i in range(n):
            add(i)
    return run


def numbers(pattern):
    rng = random.Random(42)
    if pattern == "random":
        return [rng.getrandbits(31) for _ in range(MILLION)]
    if pattern == "sorted":
        return list(range(MILLION))
    return list(range(MILLION, 0, -1))


def plain_copy(value):
    if isinstance(value, list):
        return [plain_copy(v) for v in value]
    return value


def main():
    print(f"append 1M        {best(append(MILLION)) * 1e3:9.1f} ms")
    print(f"append 10M       {best(append(10 * MILLION), 1) * 1e3:9.1f} ms")
    items = list(range(MILLION))
    count = 2000
    start = time.perf_counter()
    for _ in range(count):
        items.insert(0, 7)
    print(f"insert at head   {(time.perf_counter() - start) / count * 1e6:9.1f} us")
    items = list(range(MILLION))
    print(f"index of last    {best(lambda: items.index(MILLION - 1)) * 1e3:9.1f} ms")
    print(f"copy 1M          {best(lambda: items.copy()) * 1e3:9.1f} ms")
    nested = [1, [2, 3], [4, [5, 6]], 7]
    print(f"deepcopy x1M     {best(lambda: [copy.deepcopy(nested) for _ in range(MILLION)], 1) * 1e3:9.1f} ms")
    print(f"plain copy x1M   {best(lambda: [plain_copy(nested) for _ in range(MILLION)], 1) * 1e3:9.1f} ms")
    for pattern in ("random", "sorted", "reversed"):
        data = numbers(pattern)
        print(f"sorted {pattern:9} {best(lambda: sorted(data)) * 1e3:9.1f} ms")
    data = numbers("random")
    by = functools.cmp_to_key(lambda a, b: (a > b) - (a < b))
    print(f"sorted cmp fn    {best(lambda: sorted(data, key=by), 1) * 1e3:9.1f} ms")


if __name__ == "__main__":
    main()
