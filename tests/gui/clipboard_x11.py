#!/usr/bin/env python3
"""The display's clipboard under Xvfb, checked against xclip.

Usage: clipboard_x11.py VYN
Starts its own Xvfb. Text, a file list and a PNG image put on the
clipboard by xclip are read by vyn; what vyn writes it reads back itself
(text, files, an image) in every form it offers.
"""
import os
import subprocess
import sys
import tempfile
import zlib
import struct

PASSED = FAILED = 0


def check(name, got, want):
    global PASSED, FAILED
    if got == want:
        PASSED += 1
    else:
        FAILED += 1
        print(f"FAIL {name}\n  got:  {got!r}\n  want: {want!r}")


def start_xvfb(screen="640x480x24"):
    r, w = os.pipe()
    proc = subprocess.Popen(["Xvfb", "-displayfd", str(w), "-nolisten", "tcp", "-screen", "0", screen],
                            pass_fds=[w], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(w)
    number = b""
    while not number.endswith(b"\n"):
        chunk = os.read(r, 16)
        if not chunk:
            raise SystemExit("Xvfb did not start")
        number += chunk
    os.close(r)
    return proc, ":" + number.decode().strip()


def xclip_in(env, data, target=None):
    cmd = ["xclip", "-i", "-selection", "clipboard"] + (["-t", target] if target else [])
    # xclip stays in the background serving the selection until it is replaced.
    subprocess.run(cmd, input=data, env=env, check=True, timeout=10)


def vyn(vyn_path, env, source, cwd=None):
    proc = subprocess.run([vyn_path], input=source.encode(), capture_output=True, env=env, timeout=60, cwd=cwd)
    return proc.stdout.decode("utf-8", "replace").strip()


def png_2x1():
    """A 2x1 RGBA PNG: opaque red, then half-clear green."""
    raw = b"\x00" + bytes([255, 0, 0, 255, 0, 255, 0, 128])
    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", 2, 1, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b""))


def run_under_display(*tests, screen="640x480x24"):
    """Runs each test(vyn_path, env, tmp) under an X server of its own; prints the closing count."""
    vyn_path = os.path.abspath(sys.argv[1])
    xvfb, display = start_xvfb(screen)
    env = {"DISPLAY": display, "PATH": "/usr/bin:/bin", "ASAN_OPTIONS": "detect_leaks=0"}
    try:
        with tempfile.TemporaryDirectory() as tmp:
            for test in tests:
                test(vyn_path, env, tmp)
    finally:
        xvfb.terminate()
        xvfb.wait()
    print(f"{PASSED} passed, {FAILED} failed")
    return 1 if FAILED else 0


def clipboard_tests(vyn_path, env, tmp):
    xclip_in(env, "from X ü\r\nline".encode())
    check("text from xclip", vyn(vyn_path, env, "print mold read-clipboard\n"), '"from X ü^M^/line"')

    uris = f"file://{tmp}/a%20b.txt\r\nfile:///etc/hosts\r\n".encode()
    xclip_in(env, uris, "text/uri-list")
    check("files from xclip", vyn(vyn_path, env, "print mold read-clipboard\n"),
          f'[%"{tmp}/a b.txt" %/etc/hosts]')

    xclip_in(env, png_2x1(), "image/png")
    check("image from xclip", vyn(vyn_path, env, "i: read-clipboard print [i/size i/1 i/2]\n"),
          "2x1 255.0.0.0 0.255.0.127")

    script = (
        'write-clipboard "héllo^/x" print mold read-clipboard\n'
        'write-clipboard [%"a b" %/etc/hosts] print mold read-clipboard\n'
        'write-clipboard make image! [2x1 #{FF0000 00FF00} #{00 80}] i: read-clipboard print [i/size i/2]\n'
        'write-clipboard none print mold read-clipboard\n'
    )
    check("round trips in one process", vyn(vyn_path, env, script, tmp).splitlines(), [
        '"héllo^/x"', f'[%"{tmp}/a b" %/etc/hosts]', "2x1 0.255.0.128", "none"])


def main():
    return run_under_display(clipboard_tests)


if __name__ == "__main__":
    sys.exit(main())
