#!/usr/bin/env python3
"""CPython's open().read() and write() of the 1 GiB file that
bench/simple_io_bench.cpp reads and writes (run the benchmark first: it makes
the file); prints the best time of five runs and MB/s (2^20 bytes)."""

import os
import tempfile
import time

SOURCE = os.path.join(tempfile.gettempdir(), "vyn-bench-1g.bin")
TARGET = os.path.join(tempfile.gettempdir(), "vyn-bench-1g-out.bin")


def best(run, runs=5):
	times = []
	for _ in range(runs):
		start = time.perf_counter()
		run()
		times.append(time.perf_counter() - start)
	return min(times)


def read_whole():
	with open(SOURCE, "rb") as f:
		return f.read()


def main():
	size = os.path.getsize(SOURCE)
	t = best(read_whole)
	print("read  %d bytes: %.0f ms, %.0f MB/s" % (size, t * 1000, size / t / (1 << 20)))
	data = read_whole()

	def write_whole():
		with open(TARGET, "wb") as f:
			f.write(data)

	t = best(write_whole)
	os.unlink(TARGET)
	print("write %d bytes: %.0f ms, %.0f MB/s" % (size, t * 1000, size / t / (1 << 20)))


if __name__ == "__main__":
	main()
