#!/usr/bin/env python3
"""Writes starting inputs for the fuzz targets into DIR/<target>.

Inflate seeds are streams of every framing and block type, made with the
system zlib; their first byte selects the framing as the target expects
(0 raw, 1 zlib, 2 gzip). Crush seeds are texts: the target compresses them
itself and damages the result. Lexer and mold seeds are Vyn source, one
text per kind of literal and a few mixed ones. Existing files are kept.
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


SOURCES = [
    "1 -2 +3 2147483648 -2147483648 1'000 FFh 0Ah 1.5 -.5 1e10 1.#NaN -1.#INF 50% 1.5e2%",
    "12-Dec-2012 2012-12-12T10:00:00+08:00 2012-W10-3 2012-060 12/12/12 1:30 -1:30 1:2:3.5 1:30.5",
    "1x2 -1x-2 (1, 2) (1.5, -2, 3) 1.2.3 1.2.3.4.5.6.7.8.9.10.11.12 $1.50 USD$12.50 -$0.01",
    "\"a^\"b^(tab)^(1F600)^/c\" {a{b}c^}} %{raw}b}% %%{x}%% #\"a\" #\"^\"\" #\"^(22)\" #\"\u00e9\"",
    "%a/b.txt %\"with space\" %a%20b %%C3%A9 http://x.com/a?b=c&d#f ftp://a%20b mailto:x a@b.c <a href=\"x\"> @ref",
    "a set: :get 'lit /ref #issue + - * / // < <= <> > >= = == =? ... '/ :/ /: \u00e9t\u00e9 a\u00a0b \u3000x",
    "a/b a/b/c a/b: 1 a/:b b/:i: 9 'a/b :a/b a/1/b a/(1 + 2)/c [a/b] a/\"s\" a/b[c]",
    "#{0A 0b} 16#{FF} 64#{AQID} 2#{00000001} #(true) #(none) #(unset) #(integer!) #[a 1 b [2]]",
    "Vyn [Title: \"seed\"]\n; comment\nf: func [x /y z] [either x [y] [z]]\nprint [1 + 2 * 3] (a) [[]]\n",
    ">.http://@.%1x2 a:b%28c%29 a%2Fb:c +%31:x <=:x \u00e9:x a%3A:b a:%2C",
]


def write(path, data):
    if not os.path.exists(path):
        with open(path, "wb") as f:
            f.write(data)


def main():
    root = sys.argv[1]
    for name in ("inflate", "crush", "lexer", "mold"):
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
    for i, source in enumerate(SOURCES):
        for name in ("lexer", "mold"):
            write(os.path.join(root, name, f"seed-{i}"), source.encode("utf-8"))


if __name__ == "__main__":
    main()
