#!/usr/bin/env python3
"""Decodes every image of tests/fixtures/images with vyn and with Pillow (an
independent decoder) and compares them pixel by pixel; the corrupt files
must raise bad-media through the binary! road and cannot-open through the
file! road.

Usage: tests/images/independent.py build/vyn
"""
import subprocess
import sys
from pathlib import Path

from PIL import Image

FIXTURES = Path(__file__).resolve().parent.parent / "fixtures" / "images"
CORRUPT = {"truncated.png", "bad-crc.png", "wide.png", "truncated.jpg", "truncated.gif", "truncated.bmp",
           "truncated.tif", "bad-index.bmp"}
# Largest difference of one sample allowed: lossy JPEG; 16-bit PNG samples
# and 5- or 6-bit BMP fields, which Pillow truncates where vyn rounds; TIFF
# with associated alpha, which both divide back with their own rounding.
TOLERANCE = {".jpg": 2, "rgb16.png": 1, "gray-alpha16.png": 1, "rgb565.bmp": 1, "assoc.tif": 1}
# Pillow 9.4 puts the rows of RLE bitmaps upside down: these are checked
# against their known pattern in tests/vyn/image_codecs.vyn instead.
NOT_COMPARED = {"rle8.bmp", "rle4.bmp"}


def vyn_pixels(vyn, names):
    code = []
    for name in names:
        code.append('x: try [system/codecs/png/decode read/binary %%"%s"] '
                    'print either image? x [rejoin [x/size " " enbase/base to binary! x 16]][mold x/id]'
                    % (FIXTURES / name))
        code.append('x: try [system/codecs/png/decode %%"%s"] print either image? x ["image"][mold x/id]'
                    % (FIXTURES / name))
    out = subprocess.run([vyn], input="\n".join(code) + "\n", capture_output=True, text=True, timeout=60).stdout
    lines = out.splitlines()
    return {name: (lines[2 * i], lines[2 * i + 1]) for i, name in enumerate(names)}


def compare(name, line):
    size, hexes = line.split(" ")
    w, h = (int(v) for v in size.split("x"))
    ours = bytes.fromhex(hexes)
    with Image.open(FIXTURES / name) as im:
        im.seek(0)
        theirs = im.convert("RGBA")
    if theirs.size != (w, h):
        return "size %dx%d, Pillow %dx%d" % (w, h, *theirs.size)
    limit = TOLERANCE.get(name, TOLERANCE.get(Path(name).suffix, 0))
    for y in range(h):
        for x in range(w):
            b, g, r, a = ours[4 * (y * w + x): 4 * (y * w + x) + 4]
            pr, pg, pb, pa = theirs.getpixel((x, y))
            if a == 0 and pa == 0:
                continue  # a clear pixel's colour carries nothing
            if max(abs(r - pr), abs(g - pg), abs(b - pb), abs(a - pa)) > limit:
                return "pixel %d,%d: %s, Pillow %s" % (x, y, (r, g, b, a), (pr, pg, pb, pa))
    return None


def main():
    vyn = sys.argv[1]
    names = sorted(p.name for p in FIXTURES.iterdir())
    results = vyn_pixels(vyn, names)
    passed = failed = 0
    for name in names:
        by_binary, by_file = results[name]
        if name in CORRUPT:
            problem = None
            if by_binary != "bad-media":
                problem = "binary road gave %s, not bad-media" % by_binary
            elif by_file != "cannot-open":
                problem = "file road gave %s, not cannot-open" % by_file
        elif by_file != "image":
            problem = "file road gave " + by_file
        else:
            problem = None if name in NOT_COMPARED else compare(name, by_binary)
        if problem:
            failed += 1
            print("FAIL", name, problem)
        else:
            passed += 1
    print("%d passed, %d failed" % (passed, failed))
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
