#!/usr/bin/env python3
"""Writes starting inputs for the fuzz targets into DIR/inflate and DIR/crush.

Inflate seeds are streams of every framing and block type, made with the
system zlib; their first byte selects the framing as the target expects
(0 raw, 1 zlib, 2 gzip). Crush seeds are texts: the target compresses them
itself and damages the result. Existing files are kept.
"""
import os
import sys
import zlib

TEXTS = [
    b"",
    b"a",
    b"abcabcabcabc",
    b"Vyn [Title: \"seed\"] print [1 + 2 * 3] " * 40,
    bytes(range(256)) * 3,
    b"\x00" * 3000,
    bytes((i * 7919) % 251 for i in range(5000)),
]


def write(path, data):
    if not os.path.exists(path):
        with open(path, "wb") as f:
            f.write(data)


def main():
    root = sys.argv[1]
    for name in ("inflate", "crush"):
        os.makedirs(os.path.join(root, name), exist_ok=True)
    for i, text in enumerate(TEXTS):
        for selector, wbits in ((0, -15), (1, 15), (2, 31)):
            for level in (0, 1, 6, 9):
                for strategy in (zlib.Z_DEFAULT_STRATEGY, zlib.Z_FIXED, zlib.Z_HUFFMAN_ONLY):
                    c = zlib.compressobj(level, zlib.DEFLATED, wbits, 8, strategy)
                    stream = c.compress(text) + c.flush()
                    write(os.path.join(root, "inflate", f"seed-{i}-{selector}-{level}-{strategy}"),
                          bytes([selector]) + stream)
        write(os.path.join(root, "crush", f"seed-{i}"), text * max(1, 200 // max(1, len(text))))


if __name__ == "__main__":
    main()
