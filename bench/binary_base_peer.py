#!/usr/bin/env python3
"""CPython's base64.b64encode/b64decode and binascii hex over the same
64 MiB of bytes that bench/binary_bench.cpp codes (same generator); prints
MB/s (2^20 bytes of binary data per second)."""

import base64
import binascii
import time

DATA_BYTES = 64 << 20


def make_data():
	out = bytearray(DATA_BYTES)
	x = 2024
	for i in range(DATA_BYTES):
		x = (x * 1103515245 + 12345) & 0xFFFFFFFF
		out[i] = (x >> 16) & 0xFF
	return bytes(out)


def best(fn, arg, rounds=5):
	times = []
	for _ in range(rounds):
		t = time.perf_counter()
		fn(arg)
		times.append(time.perf_counter() - t)
	return min(times)


def main():
	data = make_data()
	text64 = base64.b64encode(data)
	text16 = binascii.hexlify(data).upper()
	mb = DATA_BYTES / (1 << 20)
	for name, fn, arg in (
		("b64encode", base64.b64encode, data),
		("b64decode", base64.b64decode, text64),
		("hexlify", binascii.hexlify, data),
		("unhexlify", binascii.unhexlify, text16),
	):
		print(f"{name:10} {mb / best(fn, arg):8.0f} MB/s")


if __name__ == "__main__":
	main()
