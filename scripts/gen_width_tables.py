#!/usr/bin/env python3
"""Writes runtime/display_width_tables.inc: the three sorted range tables of
the display-width functions, from the Unicode 11.0 general categories and
East Asian Width property.

- zero width: non-spacing marks, enclosing marks and format characters (Mn,
  Me, Cf), except U+00AD SOFT HYPHEN, which terminals show;
- wide: East Asian Wide and Fullwidth; code points unassigned in 11.0 take
  the property's default (Wide in the CJK ideograph blocks and planes 2-3);
- ambiguous: East Asian Ambiguous (private use included), without the
  characters of the zero-width table, which stay zero width in East Asian
  contexts too.
Usage: gen_width_tables.py [unicode data directory] [output file]
"""

import os
import sys

from unicode_data import DEFAULT_DIR, Database, merge_ranges, records, hex_pairs, write_generated

WIDE_BY_DEFAULT = ((0x3400, 0x4DBF), (0x4E00, 0x9FFF), (0xF900, 0xFAFF),
	(0x20000, 0x2FFFD), (0x30000, 0x3FFFD))
ZERO_CATEGORIES = ("Mn", "Me", "Cf")


def east_asian_widths(db):
	width = {}
	for first, last, fields in records(db.path("EastAsianWidth.txt")):
		for c in range(first, last + 1):
			if db.known(c):
				width[c] = fields[0]
	for first, last in WIDE_BY_DEFAULT:
		for c in range(first, last + 1):
			if not db.known(c):
				width[c] = "W"
	return width


def tables(db):
	eaw = east_asian_widths(db)
	zero, wide, ambiguous = [], [], []
	for c in range(0x110000):
		is_zero = db.general_category(c) in ZERO_CATEGORIES and c != 0xAD
		w = eaw.get(c, "N")
		if is_zero:
			zero.append(c)
		if w in ("W", "F"):
			wide.append(c)
		elif w == "A" and not is_zero:
			ambiguous.append(c)
	return [("zero_width", merge_ranges(zero)), ("wide", merge_ranges(wide)),
		("ambiguous", merge_ranges(ambiguous))]


def main():
	here = os.path.dirname(os.path.abspath(__file__))
	directory = sys.argv[1] if len(sys.argv) > 1 else DEFAULT_DIR
	out = sys.argv[2] if len(sys.argv) > 2 else os.path.join(here, "..", "runtime", "display_width_tables.inc")
	body = []
	for name, runs in tables(Database(directory)):
		print("%s: %d ranges, U+%04X..U+%04X" % (name, len(runs), runs[0][0], runs[-1][1]))
		body.append("constexpr Range %s_ranges[] = {\n%s};\n\n" % (name, hex_pairs(runs, 5)))
	write_generated(out, os.path.basename(__file__), "".join(body).rstrip("\n") + "\n")


if __name__ == "__main__":
	main()
