#!/usr/bin/env python3
"""Draws Pelmora's look files into assets/.

    make-icons.py [--check]

pelmora.svg   application icon, vector source
pelmora.png   the same, 256x256, rendered by ImageMagick's convert
HAND-M.CUR    hand pointer over buttons, 32x32 cursor, hotspot at the fingertip
drag.ico      pointer over the file list while a row is dragged, 32x32 icon

The two pointers are pixel art kept in this file and written as 32-bit BGRA
bitmaps with an AND mask, the layout that both Windows and Qt's ICO reader
take. --check only parses the committed files and prints what they hold.
Python standard library only; convert is needed for the PNG.
"""

import os
import shutil
import struct
import subprocess
import sys
import tempfile
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
ASSETS = ROOT / "assets"

SVG = """<svg xmlns="http://www.w3.org/2000/svg" width="256" height="256" viewBox="0 0 256 256">
  <path d="M52 20 H156 L204 68 V224 Q204 236 192 236 H52 Q40 236 40 224 V32 Q40 20 52 20 Z"
        fill="#ffffff" stroke="#2b3a4a" stroke-width="8" stroke-linejoin="round"/>
  <path d="M156 20 V56 Q156 68 168 68 H204" fill="#dfe8ee" stroke="#2b3a4a" stroke-width="8"
        stroke-linejoin="round"/>
  <rect x="64" y="72" width="72" height="10" rx="5" fill="#9fb2c0"/>
  <rect x="64" y="96" width="112" height="10" rx="5" fill="#9fb2c0"/>
  <rect x="64" y="120" width="96" height="10" rx="5" fill="#9fb2c0"/>
  <circle cx="172" cy="182" r="62" fill="#1a6b75" stroke="#ffffff" stroke-width="8"/>
  <text x="172" y="212" font-family="DejaVu Sans" font-weight="bold" font-size="88" fill="#ffffff"
        text-anchor="middle">@</text>
</svg>
"""

# X outline, o fill, . transparent. The index fingertip is the hotspot.
HAND = """
.........XX.............
........XooX............
........XooX............
........XooX............
........XooX............
........XooXXX..........
........XooXooXXX.......
........XooXooXooXX.....
........XooXooXooXooX...
....XX..XooXooXooXooX...
...XooX.XoooooooooooX...
...XoooXXoooooooooooX...
....XooXooooooooooooX...
.....XoXooooooooooooX...
.....XooooooooooooooX...
......XoooooooooooooX...
......XooooooooooooX....
.......XoooooooooooX....
.......XooooooooooX.....
........XoooooooooX.....
........XoooooooooX.....
........XXXXXXXXXXX.....
"""
HAND_HOTSPOT = (9, 0)  # left pixel of the fingertip, top row

INK = (0x10, 0x10, 0x10, 0xFF)
WHITE = (0xFF, 0xFF, 0xFF, 0xFF)
CLEAR = (0, 0, 0, 0)


def from_art(art):
    rows = [r for r in art.strip("\n").split("\n")]
    grid = [[CLEAR] * 32 for _ in range(32)]
    for y, row in enumerate(rows):
        for x, ch in enumerate(row):
            grid[y][x] = {"X": INK, "o": WHITE}.get(ch, CLEAR)
    return grid


def move_arrows():
    """A four-way arrow: white shape, dark outline, centred in 32x32."""
    c = 15.5
    shaft, head, tip, neck = 1.5, 5.5, 15.0, 9.5

    def inside(x, y):
        dx, dy = abs(x - c), abs(y - c)
        for a, b in ((dx, dy), (dy, dx)):  # horizontal arm, vertical arm
            if a <= neck and b <= shaft:
                return True
            if neck <= a <= tip and b <= head * (tip - a) / (tip - neck):
                return True
        return False

    fill = [[inside(x, y) for x in range(32)] for y in range(32)]
    grid = [[CLEAR] * 32 for _ in range(32)]
    for y in range(32):
        for x in range(32):
            if fill[y][x]:
                edge = any(not (0 <= x + i < 32 and 0 <= y + j < 32 and fill[y + j][x + i])
                           for i, j in ((1, 0), (-1, 0), (0, 1), (0, -1)))
                grid[y][x] = INK if edge else WHITE
    return grid


def icon_file(grid, kind, hotspot=(0, 0)):
    """ICO (kind 1) or CUR (kind 2) with one 32x32 32-bit image."""
    size = 32
    xor = bytearray()
    mask = bytearray()
    for y in reversed(range(size)):  # bitmaps are stored bottom-up
        bits = 0
        for x in range(size):
            r, g, b, a = grid[y][x]
            xor += bytes((b, g, r, a))
            bits = (bits << 1) | (0 if a else 1)  # 1 in the AND mask: transparent
        mask += struct.pack(">I", bits)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    image = header + xor + mask
    if kind == 1:
        planes_or_x, bits_or_y = 1, 32
    else:
        planes_or_x, bits_or_y = hotspot
    entry = struct.pack("<BBBBHHII", size, size, 0, 0, planes_or_x, bits_or_y, len(image), 6 + 16)
    return struct.pack("<HHH", 0, kind, 1) + entry + image


def describe(path):
    """Parse an ICO/CUR file and return a short description; raises on a bad file."""
    data = Path(path).read_bytes()
    reserved, kind, count = struct.unpack_from("<HHH", data, 0)
    assert reserved == 0 and kind in (1, 2) and count >= 1, "not an icon directory"
    w, h, colours, res, a, b, size, offset = struct.unpack_from("<BBBBHHII", data, 6)
    assert offset + size == len(data), "entry does not cover the image"
    hdr = struct.unpack_from("<IiiHHIIiiII", data, offset)
    assert hdr[0] == 40 and hdr[1] == (w or 256) and hdr[2] == 2 * (h or 256), "bitmap header"
    assert 40 + hdr[1] * hdr[1] * hdr[4] // 8 + hdr[1] * 4 == size, "image size"
    what = "cursor, hotspot (%d, %d)" % (a, b) if kind == 2 else "icon, %d planes, %d bpp" % (a, b)
    return "%s: %s, %dx%d, %d-bit BGRA + AND mask, %d bytes" % (Path(path).name, what, w, h, hdr[4], len(data))


def main(argv):
    if "--check" not in argv:
        ASSETS.mkdir(exist_ok=True)
        (ASSETS / "pelmora.svg").write_text(SVG)
        (ASSETS / "HAND-M.CUR").write_bytes(icon_file(from_art(HAND), 2, HAND_HOTSPOT))
        (ASSETS / "drag.ico").write_bytes(icon_file(move_arrows(), 1))
        convert = "/usr/bin/convert" if os.path.exists("/usr/bin/convert") else shutil.which("convert")
        with tempfile.TemporaryDirectory(dir=ROOT, prefix=".gen.") as tmp:
            env = dict(os.environ, MAGICK_TEMPORARY_PATH=tmp, TMPDIR=tmp)
            # No date or time chunks, so the PNG is the same on every run.
            subprocess.run([convert, "-background", "none", str(ASSETS / "pelmora.svg"), "-depth", "8",
                            "-strip", "-define", "png:exclude-chunks=date,time",
                            "PNG32:" + str(ASSETS / "pelmora.png")], check=True, env=env)
    for name in ("HAND-M.CUR", "drag.ico"):
        print(describe(ASSETS / name))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
