#!/usr/bin/env python3
"""CPython's decimal module over the data of money_bench: summing one
million amounts (random cents below $1,000,000, one in four negative) and
formatting them with two decimals. Prints milliseconds per million."""
import decimal
import random
import time

COUNT = 1_000_000


def amounts():
    rng = random.Random(7)
    values = []
    for _ in range(COUNT):
        cents = rng.randrange(100000000)
        d = decimal.Decimal(cents).scaleb(-2)
        values.append(-d if rng.randrange(4) == 0 else d)
    return values


def best_of(fn, rounds=5):
    best = float("inf")
    for _ in range(rounds):
        start = time.perf_counter()
        fn()
        best = min(best, time.perf_counter() - start)
    return best * 1e3


def main():
    values = amounts()

    def total():
        s = decimal.Decimal(0)
        for v in values:
            s += v
        return s

    def texts():
        for v in values:
            format(v, ",.2f")

    print(f"decimal sum:  {best_of(total):.1f} ms")
    print(f"decimal text: {best_of(texts):.1f} ms")


if __name__ == "__main__":
    main()
