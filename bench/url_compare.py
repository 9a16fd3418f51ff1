#!/usr/bin/env python3
"""Times URL decoding and port actions in Vyn against their peers.

Usage: bench/url_compare.py build/vyn [runs]
Each program times its own loop (start-up and data set-up excluded) and
prints seconds; each runs `runs` times (default 5), alternating with its
peer, and the best time counts. Pairs: decode-url over 100k URLs /
urllib.parse.urlsplit with unquote of the parts (CPython), and 1M `close p` on a port of a user
scheme / 1M direct calls of the scheme actor's close function (Vyn).
"""
import sys
from pathlib import Path

from library_compare import best

HERE = Path(__file__).parent / "url"
# (name, program, peer program, peer is Python, target ratio)
PAIRS = [
    ("decode-url", "decode_url.vyn", "decode_url.py", True, 1.0),
    ("close port", "close_port.vyn", "close_direct.vyn", False, 1.5),
]


def main():
    vyn = sys.argv[1]
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 5
    print(f"{'program':<12}{'vyn s':>9}{'peer s':>9}{'ratio':>8}{'target':>8}  peer")
    for name, program, peer, python, target in PAIRS:
        # Alternated runs: a busy spell of the machine falls on both.
        v = p = float("inf")
        for _ in range(runs):
            v = min(v, best([vyn, str(HERE / program)], 1))
            p = min(p, best([sys.executable if python else vyn, str(HERE / peer)], 1))
        print(f"{name:<12}{v:9.3f}{p:9.3f}{v / p:8.2f}{target:8.1f}  {peer}")


if __name__ == "__main__":
    main()
