#!/usr/bin/env python3
"""Image decoding and PNG encoding: vyn against Pillow, in the same run.

Usage: bench/images/compare.py build/vyn [runs]

Makes one 4000x3000 picture (structure, gradients and noise) and writes it
as JPEG, PNG, TIFF, GIF and BMP into a temporary folder with Pillow. Each
decoding reads the file and gives 32-bit RGBA pixels: Pillow opens, loads
and converts to RGBA; vyn reads the file as binary and decodes it through
its codec object. PNG encoding writes the opaque picture at zlib's default
level (6) on both sides, as RGB. Best of `runs` (default 5) for each.
Targets, as the ratio vyn / Pillow: JPEG, PNG, TIFF, GIF 1.2; BMP 1.0; PNG
encoding 1.3. Needs Debian's python3-pil for the system python3.
"""
import io
import subprocess
import sys
import tempfile
import time
from pathlib import Path

from PIL import Image

W, H = 4000, 3000
CASES = [("jpeg", "jpg", 1.2), ("png", "png", 1.2), ("tiff", "tif", 1.2), ("gif", "gif", 1.2), ("bmp", "bmp", 1.0)]


def picture():
    red = Image.effect_mandelbrot((W, H), (-2.2, -1.2, 1.0, 1.2), 60)
    green = Image.linear_gradient("L").resize((W, H))
    blue = Image.effect_noise((W, H), 40)
    return Image.merge("RGB", (red, green, blue))


def best(run, runs):
    times = []
    for _ in range(runs):
        start = time.perf_counter()
        run()
        times.append(time.perf_counter() - start)
    return min(times)


def pillow_decode(path):
    with Image.open(path) as im:
        im.convert("RGBA").load()


def vyn_times(vyn, folder, runs):
    """Seconds of each vyn decoding, then of the PNG encoding."""
    lines = ['Vyn [Title: "Image timings"]', 'best: func [code /local t d b][b: none loop %d [t: now/precise do code d: to float! difference now/precise t'
             ' if any [none? b d < b] [b: d]] b]' % runs]
    for key, ext, _ in CASES:
        lines.append('print best [system/codecs/%s/decode read/binary %%"%s"]' % (key, folder / ("picture." + ext)))
    lines.append('img: system/codecs/png/decode read/binary %%"%s"' % (folder / "picture.png"))
    lines.append("print best [system/codecs/png/encode img none]")
    script = folder / "timings.vyn"
    script.write_text("\n".join(lines) + "\n")
    out = subprocess.run([vyn, str(script)], capture_output=True, text=True, check=True).stdout
    return [float(v) for v in out.split()]


def main():
    vyn = sys.argv[1]
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 5
    with tempfile.TemporaryDirectory() as tmp:
        folder = Path(tmp)
        pic = picture()
        pic.save(folder / "picture.jpg", quality=90)
        pic.save(folder / "picture.png")
        pic.save(folder / "picture.tif")
        pic.quantize(256).save(folder / "picture.gif")
        pic.save(folder / "picture.bmp")
        ours = vyn_times(vyn, folder, runs)
        print(f"{'case':<14}{'vyn ms':>9}{'Pillow ms':>11}{'vyn/Pillow':>12}{'target':>8}")
        for (key, ext, target), t in zip(CASES, ours):
            p = best(lambda: pillow_decode(folder / ("picture." + ext)), runs)
            print(f"{'decode ' + key:<14}{t * 1000:9.1f}{p * 1000:11.1f}{t / p:12.2f}{target:8.1f}")
        opaque = Image.open(folder / "picture.png").convert("RGB")
        p = best(lambda: opaque.save(io.BytesIO(), "PNG", compress_level=6), runs)
        t = ours[-1]
        print(f"{'encode png':<14}{t * 1000:9.1f}{p * 1000:11.1f}{t / p:12.2f}{1.3:8.1f}")


if __name__ == "__main__":
    main()
