#!/usr/bin/env python3
"""CPython's dict on the workload of bench/hash_bench.cpp: insert 1M string
keys ("key:" and (i * 2654435761) mod 2^32) with integer values, then look
every key up; prints the best of five runs of each, in ms and keys/s."""

import time

KEYS = 1000000


def make_keys():
	return ["key:%d" % ((i * 2654435761) % 4294967296) for i in range(KEYS)]


def best(run, runs=5):
	times = []
	for _ in range(runs):
		start = time.perf_counter()
		run()
		times.append(time.perf_counter() - start)
	return min(times)


def main():
	keys = make_keys()
	# Fresh string objects for the lookups, as the other programs use.
	probes = ["".join(k) for k in keys]
	table = {}

	def insert():
		nonlocal table
		table = {}
		value = 0
		for k in keys:
			table[k] = value
			value += 1

	def lookup():
		total = 0
		for p in probes:
			total += table[p]
		return total

	for name, run in (("insert", insert), ("lookup", lookup)):
		seconds = best(run)
		print("dict %-6s %7.0f ms  %5.2f M keys/s" % (name, seconds * 1000, KEYS / seconds / 1e6))


if __name__ == "__main__":
	main()
