"""Spectral norm, n = 300."""
import math


def eval_a(i, j):
    return 1.0 / ((i + j) * (i + j + 1) / 2 + i + 1)


def times(u):
    n = len(u)
    return [sum(eval_a(i, j) * u[j] for j in range(n)) for i in range(n)]


def times_transposed(u):
    n = len(u)
    return [sum(eval_a(j, i) * u[j] for j in range(n)) for i in range(n)]


def times_at_a(u):
    return times_transposed(times(u))


def main():
    n = 300
    u = [1.0] * n
    for _ in range(10):
        v = times_at_a(u)
        u = times_at_a(v)
    vbv = vv = 0.0
    for ue, ve in zip(u, v):
        vbv += ue * ve
        vv += ve * ve
    print(round(1e9 * math.sqrt(vbv / vv)))


main()
