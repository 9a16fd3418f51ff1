#!/usr/bin/env python3
"""Writes runtime/case_tables.inc: the upper- and lower-case mappings of
Unicode 11.0 as sorted (code, mapped code) pairs.

These are the simple mappings of UnicodeData.txt: a codepoint whose upper or
lower case is several codepoints (U+00DF, U+FB00, U+0149) has no mapping of
that kind, since the first codepoint alone would make distinct texts equal
("ß" and "s"). U+0130 still maps down to U+0069, its simple mapping.
Usage: gen_case_tables.py [unicode data directory] [output file]
"""

import os
import sys

from unicode_data import DEFAULT_DIR, Database, hex_pairs, write_generated

# Sizes the runtime expects: (BMP pairs, pairs above U+FFFF).
EXPECTED = {"upper": (1175, 225), "lower": (1158, 225)}


def mappings(db):
	return dict(db.upper), dict(db.lower)


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
