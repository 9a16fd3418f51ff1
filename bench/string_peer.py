#!/usr/bin/env python3
"""CPython runs of bench/string_bench.cpp's workloads, with the same text
generator: 10M single-character appends, find of a missing 10-character
needle in 10 MB (exact, and case-insensitive through re.IGNORECASE), repr of
10 MB of text (plain, and with a line feed or tab every 16 characters), and
sorting 1M short strings (exact, and folded with key=str.upper). Prints the
best of 3 runs in milliseconds."""

import re
import time

APPENDS = 10_000_000
TEXT_BYTES = 10_000_000
SHORT_STRINGS = 1_000_000


def make_words(size):
	out = []
	n = 0
	x = 2024
	while n < size:
		x = (x * 1103515245 + 12345) & 0xFFFFFFFF
		length = 2 + (x >> 16) % 8
		word = []
		for _ in range(length):
			x = (x * 1103515245 + 12345) & 0xFFFFFFFF
			word.append(chr(ord("a") + (x >> 16) % 26))
		out.append("".join(word) + " ")
		n += length + 1
	return "".join(out)[:size]


def best(run, runs=3):
	times = []
	for _ in range(runs):
		start = time.perf_counter()
		run()
		times.append(time.perf_counter() - start)
	return min(times) * 1000


def appends():
	s = ""
	for _ in range(APPENDS):
		s += "x"
	return s


def main():
	words = make_words(TEXT_BYTES)
	needle = "qzxwvjkqpx"
	pattern = re.compile(re.escape(needle), re.IGNORECASE)
	escaped = list(words)
	for i in range(15, len(escaped), 16):
		escaped[i] = "\n" if (i // 16) % 2 else "\t"
	escaped = "".join(escaped)
	short = make_words(SHORT_STRINGS * 7).split(" ")[:SHORT_STRINGS]
	print("append 10M chars (s += 'x')   %8.1f ms" % best(appends, 1))
	print("find missing, exact           %8.1f ms" % best(lambda: words.find(needle)))
	print("find missing, re.IGNORECASE   %8.1f ms" % best(lambda: pattern.search(words)))
	print("repr 10 MB plain              %8.1f ms" % best(lambda: repr(words)))
	print("repr 10 MB with escapes       %8.1f ms" % best(lambda: repr(escaped)))
	print("sorted 1M short strings       %8.1f ms" % best(lambda: sorted(short)))
	print("sorted 1M, key=str.upper      %8.1f ms" % best(lambda: sorted(short, key=str.upper)))
	print("sorted 1M characters          %8.1f ms" % best(lambda: "".join(sorted(words[:SHORT_STRINGS]))))


if __name__ == "__main__":
	main()
