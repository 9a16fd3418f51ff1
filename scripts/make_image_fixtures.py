#!/usr/bin/env python3
"""Writes the small image files of tests/fixtures/images/.

Usage: scripts/make_image_fixtures.py [folder]

Each file holds a known pattern (pattern() below, or a palette of it), in
one format and kind; tests/vyn/image_codecs.vyn checks the pixels and
tests/images/independent.py compares every decoding with Pillow's. Files
Pillow writes come from Pillow; the kinds it cannot write (16-bit and
interlaced PNG, top-down, RLE and bit-field BMP, TIFF with associated alpha
or a turned orientation) are written here byte by byte. The output is the
same on every run, so the files are kept in the tree.
"""
import io
import struct
import sys
import zlib
from pathlib import Path

from PIL import Image


def pattern(x, y):
    """R, G, B, transparency-free alpha (255 opaque) of pixel x, y."""
    return ((x * 40 + y * 7) % 256, (y * 50 + 3) % 256, (x * y * 13 + 90) % 256, (255 - x * 30 - y * 20) % 256)


def rgba_image(w, h, opaque=False):
    im = Image.new("RGBA", (w, h))
    for y in range(h):
        for x in range(w):
            r, g, b, a = pattern(x, y)
            im.putpixel((x, y), (r, g, b, 255 if opaque else a))
    return im


def indexed_pattern(w, h):
    """The opaque pattern as a palette image, one entry a pixel (w x h <= 256)."""
    im = Image.new("P", (w, h))
    im.putpalette([c for y in range(h) for x in range(w) for c in pattern(x, y)[:3]])
    im.putdata(list(range(w * h)))
    return im


def interlaced_gif(im):
    """Pillow writes no interlaced GIF: its rows go in, in the passes' order,
    and the image descriptor's interlace flag is set afterwards."""
    w, h = im.size
    order = [y for start, step in ((0, 8), (4, 8), (2, 4), (1, 2)) for y in range(start, h, step)]
    shuffled = im.copy()
    for n, y in enumerate(order):
        for x in range(w):
            shuffled.putpixel((x, n), im.getpixel((x, y)))
    data = bytearray(saved(shuffled, "GIF", interlace=False))
    with Image.open(io.BytesIO(bytes(data))) as check:
        start = check.tile[0][2]
    # The tile starts after the descriptor's flags and the LZW code size.
    assert data[start - 11] == ord(",") and not data[start - 2] & 0x80
    data[start - 2] |= 0x40
    return bytes(data)


# ---- PNG written by hand ----

def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)


def pack_row(samples, depth):
    if depth == 16:
        return b"".join(struct.pack(">H", s) for s in samples)
    if depth == 8:
        return bytes(samples)
    out, acc, bits = bytearray(), 0, 0
    for s in samples:
        acc = acc << depth | s
        bits += depth
        if bits == 8:
            out.append(acc)
            acc = bits = 0
    if bits:
        out.append(acc << (8 - bits))
    return bytes(out)


ADAM7 = [(0, 0, 8, 8), (4, 0, 8, 8), (0, 4, 4, 8), (2, 0, 4, 4), (0, 2, 2, 4), (1, 0, 2, 2), (0, 1, 1, 2)]


def png(w, h, colour_type, depth, pixel, interlace=False, extra=b""):
    """pixel(x, y) gives the samples of one pixel as a tuple."""
    raw = bytearray()
    passes = ADAM7 if interlace else [(0, 0, 1, 1)]
    for x0, y0, dx, dy in passes:
        xs = range(x0, w, dx)
        if not xs:
            continue
        for y in range(y0, h, dy):
            samples = [s for x in xs for s in pixel(x, y)]
            raw += b"\0" + pack_row(samples, depth)
    ihdr = struct.pack(">IIBBBBB", w, h, depth, colour_type, 0, 0, 1 if interlace else 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) + extra + chunk(b"IDAT", zlib.compress(bytes(raw), 9))
            + chunk(b"IEND", b""))


# ---- BMP written by hand ----

def bmp(header, palette, pixels, offset_extra=b""):
    offset = 14 + len(header) + len(offset_extra) + len(palette)
    body = header + offset_extra + palette + pixels
    return b"BM" + struct.pack("<IHHI", 14 + len(body), 0, 0, offset) + body


def info_header(w, h, bpp, compression, colours=0, size=40, masks=()):
    head = struct.pack("<IiiHHIIiiII", size, w, h, 1, bpp, compression, 0, 2835, 2835, colours, 0)
    rest = b"".join(struct.pack("<I", m) for m in masks)
    head += rest
    return head + b"\0" * (size - len(head))


def rows_bottom_up(rows, stride):
    return b"".join(r + b"\0" * (stride - len(r)) for r in reversed(rows))


def bgr_rows(w, h, with_fourth=None):
    rows = []
    for y in range(h):
        row = bytearray()
        for x in range(w):
            r, g, b, a = pattern(x, y)
            row += bytes([b, g, r]) + (bytes([with_fourth(x, y, a)]) if with_fourth else b"")
        rows.append(bytes(row))
    return rows


PALETTE16 = [pattern(i, i % 3)[:3] for i in range(16)]


def palette_bytes(colours, quad=True):
    return b"".join(bytes([b, g, r]) + (b"\0" if quad else b"") for r, g, b in colours)


def index_of(x, y):
    return (x + 2 * y) % 16


def rle8(w, h):
    """Runs and absolute runs, a delta, and an end of line; indexes into PALETTE16."""
    out = bytearray()
    for y in range(h):
        idx = [index_of(x, y) for x in range(w)]
        if y == 1:
            # Two pixels drawn, a delta skipping two, then the rest.
            out += bytes([2, idx[0]]) + b"\0\x02\x02\x00"
            out += bytes([0, w - 4]) + bytes(idx[4:]) + (b"\0" if (w - 4) % 2 else b"")
        else:
            out += bytes([0, w]) + bytes(idx) + (b"\0" if w % 2 else b"")
        out += b"\0\0"
    return bytes(out + b"\0\x01")


def rle4(w, h):
    out = bytearray()
    for y in range(h):
        # A run of two alternating nibbles, then an absolute run.
        a, b = index_of(0, y), index_of(1, y)
        out += bytes([2, a << 4 | b])
        rest = [index_of(x, y) for x in range(2, w)]
        packed = bytes((rest[i] << 4 | (rest[i + 1] if i + 1 < len(rest) else 0)) for i in range(0, len(rest), 2))
        out += bytes([0, len(rest)]) + packed + (b"\0" if len(packed) % 2 else b"")
        out += b"\0\0"
    return bytes(out + b"\0\x01")


# ---- TIFF written by hand ----

def tiff(w, h, samples, data, extra=None, orientation=1):
    tags = [(256, 4, w), (257, 4, h), (258, 3, [8] * samples), (259, 3, 1), (262, 3, 2), (273, 4, 0),
            (274, 3, orientation), (277, 3, samples), (278, 4, h), (279, 4, len(data)), (284, 3, 1)]
    if extra is not None:
        tags.append((338, 3, extra))
    tags.sort()
    ifd_at = 8
    entries = len(tags)
    after = ifd_at + 2 + 12 * entries + 4
    blobs = bytearray()
    bps_at = after
    blobs += struct.pack("<%dH" % samples, *([8] * samples))
    data_at = after + len(blobs)
    out = bytearray(b"II*\0" + struct.pack("<I", ifd_at) + struct.pack("<H", entries))
    for tag, kind, value in tags:
        if tag == 258:
            if samples <= 2:
                out += struct.pack("<HHIHH", tag, 3, samples, *(([8] * samples) + [0])[:2])
            else:
                out += struct.pack("<HHII", tag, 3, samples, bps_at)
            continue
        if tag == 273:
            value = data_at
        if kind == 3:
            out += struct.pack("<HHIHH", tag, 3, 1, value, 0)
        else:
            out += struct.pack("<HHII", tag, 4, 1, value)
    out += b"\0\0\0\0" + blobs + data
    return bytes(out)


def rgba_bytes(w, h, premultiply=False):
    out = bytearray()
    for y in range(h):
        for x in range(w):
            r, g, b, a = pattern(x, y)
            if premultiply:
                r, g, b = (round(c * a / 255) for c in (r, g, b))
            out += bytes([r, g, b, a])
    return bytes(out)


# ---- The files ----

def saved(im, fmt, **options):
    buf = io.BytesIO()
    im.save(buf, fmt, **options)
    return buf.getvalue()


def fixtures():
    files = {}
    files["rgba.png"] = saved(rgba_image(5, 4), "PNG")
    pal = Image.new("P", (4, 2))
    pal.putpalette([c for x in range(4) for c in pattern(x, 1)[:3]])
    pal.putdata([0, 1, 2, 3, 3, 2, 1, 0])
    files["palette-trns.png"] = saved(pal, "PNG", transparency=bytes([255, 0, 128, 255]))
    files["gray2.png"] = png(5, 2, 0, 2, lambda x, y: ((x + y) % 4,))
    # 16-bit samples: 0x1212 and the like scale to their high byte, 0x12FF rounds up.
    files["rgb16.png"] = png(3, 2, 2, 16, lambda x, y: (0x1212, 0x12FF, 0xFFFF) if y == 0 else (0x0080, 0x8000, x * 0x3333))
    files["gray-alpha16.png"] = png(2, 1, 4, 16, lambda x, y: (0x4040, 0xFFFF) if x == 0 else (0xFFFF, 0x8080))
    files["adam7.png"] = png(9, 9, 6, 8, pattern, interlace=True)
    solid = Image.new("RGB", (16, 8))
    for y in range(8):
        for x in range(16):
            solid.putpixel((x, y), (200, 30, 60) if x < 8 else (20, 180, 90))
    files["rgb.jpg"] = saved(solid, "JPEG", quality=95)
    files["progressive.jpg"] = saved(solid, "JPEG", quality=95, progressive=True)
    files["gray.jpg"] = saved(solid.convert("L"), "JPEG", quality=95)
    files["cmyk.jpg"] = saved(solid.convert("CMYK"), "JPEG", quality=95)
    files["interlaced.gif"] = interlaced_gif(indexed_pattern(6, 20))
    frames = [indexed_pattern(4, 3), Image.new("P", (4, 3), 0)]
    frames[1].putpalette([9, 9, 9])
    files["animated.gif"] = saved(frames[0], "GIF", save_all=True, append_images=frames[1:], duration=100)
    clear = Image.new("P", (3, 2))
    clear.putpalette([10, 20, 30, 200, 100, 50])
    clear.putdata([0, 1, 0, 1, 1, 0])
    files["transparent.gif"] = saved(clear, "GIF", transparency=0)
    files["bottom-up24.bmp"] = saved(rgba_image(5, 3, opaque=True).convert("RGB"), "BMP")
    w, h = 5, 3
    files["top-down24.bmp"] = bmp(info_header(w, -h, 24, 0), b"",
                                  b"".join(r + b"\0" * (16 - len(r)) for r in bgr_rows(w, h)))
    junk = lambda x, y, a: (x * 17 + y) % 256  # the reserved byte, not alpha
    files["rgb32.bmp"] = bmp(info_header(w, h, 32, 0), b"", rows_bottom_up(bgr_rows(w, h, junk), 20))
    alpha = lambda x, y, a: a
    files["alpha-v5.bmp"] = bmp(info_header(w, h, 32, 3, size=124, masks=(0xFF0000, 0xFF00, 0xFF, 0xFF000000)), b"",
                                rows_bottom_up(bgr_rows(w, h, alpha), 20))
    rows565 = []
    for y in range(h):
        row = bytearray()
        for x in range(w):
            r, g, b, _ = pattern(x, y)
            row += struct.pack("<H", (r >> 3) << 11 | (g >> 2) << 5 | b >> 3)
        rows565.append(bytes(row))
    files["rgb565.bmp"] = bmp(info_header(w, h, 16, 3), b"", rows_bottom_up(rows565, 12),
                              offset_extra=struct.pack("<III", 0xF800, 0x7E0, 0x1F))
    files["rle8.bmp"] = bmp(info_header(7, 3, 8, 1, colours=16), palette_bytes(PALETTE16), rle8(7, 3))
    files["rle4.bmp"] = bmp(info_header(5, 2, 4, 2, colours=16), palette_bytes(PALETTE16), rle4(5, 2))
    pal4 = []
    for y in range(h):
        idx = [index_of(x, y) for x in range(w)]
        pal4.append(bytes((idx[i] << 4 | (idx[i + 1] if i + 1 < w else 0)) for i in range(0, w, 2)))
    files["pal4.bmp"] = bmp(info_header(w, h, 4, 0, colours=16), palette_bytes(PALETTE16), rows_bottom_up(pal4, 4))
    files["mono.bmp"] = saved(Image.new("1", (10, 2), 1).point(lambda v: v), "BMP")
    core = struct.pack("<IHHHH", 12, w, h, 1, 8)
    core_rows = [bytes(index_of(x, y) for x in range(w)) for y in range(h)]
    files["core.bmp"] = bmp(core, palette_bytes(PALETTE16, quad=False), rows_bottom_up(core_rows, 8))
    files["unassoc.tif"] = saved(rgba_image(4, 3), "TIFF")
    files["assoc.tif"] = tiff(4, 3, 4, rgba_bytes(4, 3, premultiply=True), extra=1)
    files["lzw.tif"] = saved(rgba_image(4, 3, opaque=True).convert("RGB"), "TIFF", compression="tiff_lzw")
    rgb = b"".join(bytes(pattern(x, y)[:3]) for y in range(3) for x in range(4))
    files["bottom-right.tif"] = tiff(4, 3, 3, rgb, orientation=3)
    files["gray.tif"] = saved(rgba_image(4, 3, opaque=True).convert("L"), "TIFF")
    pages = [rgba_image(2, 2, opaque=True).convert("RGB"), Image.new("RGB", (3, 3), (1, 2, 3))]
    files["pages.tif"] = saved(pages[0], "TIFF", save_all=True, append_images=pages[1:])
    # Corrupt and refused files.
    good = files["rgba.png"]
    files["truncated.png"] = good[: len(good) - 20]
    bad_crc = bytearray(good)
    bad_crc[30] ^= 0xFF  # inside the IHDR chunk
    files["bad-crc.png"] = bytes(bad_crc)
    files["wide.png"] = png(70000, 1, 0, 1, lambda x, y: (0,))
    files["truncated.jpg"] = files["rgb.jpg"][:200]
    files["truncated.gif"] = files["interlaced.gif"][:40]
    files["truncated.bmp"] = files["bottom-up24.bmp"][:60]
    files["truncated.tif"] = files["lzw.tif"][:30]
    files["bad-index.bmp"] = bmp(info_header(2, 1, 8, 0, colours=2), palette_bytes(PALETTE16[:2]), b"\x00\x05\0\0")
    return files


# ---- What each lossless file holds, from its making, not from a decoder ----

def grid(w, h, pixel):
    """pixel(x, y) gives R, G, B and the opacity."""
    return w, h, [pixel(x, y) for y in range(h) for x in range(w)]


def scale16(v):
    """A 16-bit sample to 8 bits, rounded."""
    return (v * 255 * 2 + 65535) // (2 * 65535)


def scale_bits(v, bits):
    top = (1 << bits) - 1
    return (v * 255 + top // 2) // top


def unpremultiplied(x, y):
    r, g, b, a = pattern(x, y)
    stored = [round(c * a / 255) for c in (r, g, b)]
    return tuple(min(255, (c * 255 + a // 2) // a) for c in stored) + (a,)


def expectations():
    opaque = lambda x, y: pattern(x, y)[:3] + (255,)
    palette = lambda i: PALETTE16[i] + (255,)
    trns = [255, 0, 128, 255]
    data = [0, 1, 2, 3, 3, 2, 1, 0]
    rle8_row1 = lambda x: palette(index_of(0, 1)) if x < 2 else (0, 0, 0, 0) if x < 4 else palette(index_of(x, 1))
    gray = rgba_image(4, 3, opaque=True).convert("L")
    return {
        "rgba.png": grid(5, 4, pattern),
        "adam7.png": grid(9, 9, pattern),
        "palette-trns.png": grid(4, 2, lambda x, y: pattern(data[4 * y + x], 1)[:3] + (trns[data[4 * y + x]],)),
        "gray2.png": grid(5, 2, lambda x, y: (((x + y) % 4) * 85,) * 3 + (255,)),
        "rgb16.png": grid(3, 2, lambda x, y: (scale16(0x1212), scale16(0x12FF), 255, 255) if y == 0
                          else (scale16(0x80), scale16(0x8000), scale16(x * 0x3333), 255)),
        "gray-alpha16.png": grid(2, 1, lambda x, y: (64, 64, 64, 255) if x == 0 else (255, 255, 255, 128)),
        "interlaced.gif": grid(6, 20, opaque),
        "animated.gif": grid(4, 3, opaque),
        "transparent.gif": grid(3, 2, lambda x, y: (0, 0, 0, 0) if [0, 1, 0, 1, 1, 0][3 * y + x] == 0
                                else (200, 100, 50, 255)),
        "bottom-up24.bmp": grid(5, 3, opaque),
        "top-down24.bmp": grid(5, 3, opaque),
        "rgb32.bmp": grid(5, 3, opaque),
        "alpha-v5.bmp": grid(5, 3, pattern),
        "rgb565.bmp": grid(5, 3, lambda x, y: (scale_bits(pattern(x, y)[0] >> 3, 5), scale_bits(pattern(x, y)[1] >> 2, 6),
                                               scale_bits(pattern(x, y)[2] >> 3, 5), 255)),
        "pal4.bmp": grid(5, 3, lambda x, y: palette(index_of(x, y))),
        "core.bmp": grid(5, 3, lambda x, y: palette(index_of(x, y))),
        # RLE rows run bottom-up: file row n is image row h - 1 - n.
        "rle4.bmp": grid(5, 2, lambda x, y: palette(index_of(x, 1 - y))),
        "rle8.bmp": grid(7, 3, lambda x, y: rle8_row1(x) if y == 1 else palette(index_of(x, 2 - y))),
        "mono.bmp": grid(10, 2, lambda x, y: (255, 255, 255, 255)),
        "unassoc.tif": grid(4, 3, pattern),
        "assoc.tif": grid(4, 3, unpremultiplied),
        "lzw.tif": grid(4, 3, opaque),
        # Orientation 3: the first stored row is the bottom one, right to left.
        "bottom-right.tif": grid(4, 3, lambda x, y: opaque(3 - x, 2 - y)),
        "gray.tif": grid(4, 3, lambda x, y: (gray.getpixel((x, y)),) * 3 + (255,)),
        "pages.tif": grid(2, 2, opaque),
    }


def vyn_image(w, h, pixels):
    """The pixels as make image! code, transparency 255 minus the opacity."""
    rgb = "".join("%02X%02X%02X" % p[:3] for p in pixels)
    alpha = "".join("%02X" % (255 - p[3]) for p in pixels)
    return "make image! [%dx%d #{%s} #{%s}]" % (w, h, rgb, alpha)


def main():
    root = Path(__file__).parent.parent / "tests/fixtures"
    folder = Path(sys.argv[1]) if len(sys.argv) > 1 else root / "images"
    folder.mkdir(parents=True, exist_ok=True)
    for name, data in sorted(fixtures().items()):
        (folder / name).write_bytes(data)
    lines = ["; What each lossless image of images/ holds, written by scripts/make_image_fixtures.py:",
             "; a file name and the image as make image! code."]
    for name, (w, h, pixels) in sorted(expectations().items()):
        lines.append('"%s" %s' % (name, vyn_image(w, h, pixels)))
    (folder.parent / "image-pixels.txt").write_text("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
