#!/usr/bin/env python3
"""Writes runtime/case_tables.inc: the upper- and lower-case mappings of
Unicode 11.0 as sorted (code, mapped code) pairs.

Where the full mapping of a codepoint is several codepoints (SpecialCasing.txt,
unconditional entries), the first of them is taken, so every codepoint maps
to exactly one codepoint (U+00DF up to U+0053, U+0130 down to U+0069).
Usage: gen_case_tables.py [unicode data directory] [output file]
"""

import os
import sys

from unicode_data import DEFAULT_DIR, Database, hex_pairs, write_generated

# Sizes the runtime expects: (BMP pairs, pairs above U+FFFF).
EXPECTED = {"upper": (1250, 225), "lower": (1158, 225)}


def mappings(db):
	upper = dict(db.upper)
	lower = dict(db.lower)
	for code, (low, up) in db.special_casing().items():
		if up[0] != code:
			upper[code] = up[0]
		if low[0] != code:
			lower[code] = low[0]
	return upper, lower


def split(table):
	pairs = sorted(table.items())
	return [p for p in pairs if p[0] <= 0xFFFF], [p for p in pairs if p[0] > 0xFFFF]


def main():
	here = os.path.dirname(os.path.abspath(__file__))
	directory = sys.argv[1] if len(sys.argv) > 1 else DEFAULT_DIR
	out = sys.argv[2] if len(sys.argv) > 2 else os.path.join(here, "..", "runtime", "case_tables.inc")
	upper, lower = mappings(Database(directory))
	body = []
	for name, table in (("upper", upper), ("lower", lower)):
		bmp, supplement = split(table)
		counts = (len(bmp), len(supplement))
		if counts != EXPECTED[name]:
			sys.exit("%s mappings: %d + %d pairs, expected %d + %d" % ((name,) + counts + EXPECTED[name]))
		body.append("constexpr CasePair %s_bmp_pairs[] = {\n%s};\n\n" % (name, hex_pairs(bmp)))
		body.append("constexpr CasePair %s_supplement_pairs[] = {\n%s};\n\n" % (name, hex_pairs(supplement, 4)))
	write_generated(out, os.path.basename(__file__), "".join(body).rstrip("\n") + "\n")


if __name__ == "__main__":
	main()
