#!/usr/bin/env python3
"""CPython's bytes.decode("utf-8") over the same 100 MiB of text that
bench/utf8_bench.cpp decodes (same generator); prints MB/s (2^20 bytes)."""

import time

CHUNK_BYTES = 1 << 20
CHUNKS = 100


def make_text(ascii_only):
	out = []
	size = 0
	x = 2024
	while size < CHUNK_BYTES:
		x = (x * 1103515245 + 12345) & 0xFFFFFFFF
		r = x >> 8
		kind = 0 if ascii_only else r % 100
		if kind < 70:
			cp = 0x20 + (r >> 7) % 95
		elif kind < 80:
			cp = 0xA0 + (r >> 7) % 96
		elif kind < 95:
			cp = 0x4E00 + (r >> 7) % 0x5000
		else:
			cp = 0x1F300 + (r >> 7) % 0x300
		b = chr(cp).encode("utf-8")
		out.append(b)
		size += len(b)
	return b"".join(out) * CHUNKS


def best_rate(data, runs=5):
	best = None
	for _ in range(runs):
		start = time.perf_counter()
		s = data.decode("utf-8")
		elapsed = time.perf_counter() - start
		best = elapsed if best is None else min(best, elapsed)
	return len(data) / best / (1 << 20), len(s)


def main():
	for name, ascii_only in (("mixed", False), ("ascii", True)):
		data = make_text(ascii_only)
		rate, codepoints = best_rate(data)
		print("%-6s %d bytes, %d codepoints: bytes.decode %.0f MB/s" % (name, len(data), codepoints, rate))


if __name__ == "__main__":
	main()
