#!/usr/bin/env python3
"""Converts the window's XPM pictures into what a Windows resource file takes.

  xpm-to-win.py bmp IN.xpm OUT.bmp   a 24-bit bitmap ("None" becomes white,
                                     the colour the buttons show transparent)
  xpm-to-win.py ico IN.xpm OUT.ico   a 32-bit icon with its alpha channel

Only the XPM the project keeps is read: one character per pixel, colours as
#RRGGBB or None.
"""
import re
import struct
import sys


def read_xpm(path):
    strings = re.findall(r'"((?:[^"\\]|\\.)*)"', open(path, encoding="utf-8").read())
    width, height, count, per = (int(v) for v in strings[0].split()[:4])
    if per != 1:
        raise SystemExit(f"{path}: {per} characters per pixel")
    colours = {}
    for line in strings[1:1 + count]:
        key, _, value = line[0], line[1:].split()[0], line[1:].split()[1]
        colours[key] = None if value.lower() == "none" else tuple(int(value[i:i + 2], 16) for i in (1, 3, 5))
    rows = strings[1 + count:1 + count + height]
    if len(rows) != height or any(len(r) != width for r in rows):
        raise SystemExit(f"{path}: rows do not match {width}x{height}")
    return width, height, [[colours[c] for c in row] for row in rows]


def bmp(width, height, pixels):
    stride = (width * 3 + 3) & ~3
    data = bytearray()
    for row in reversed(pixels):
        line = bytearray()
        for p in row:
            r, g, b = p if p is not None else (255, 255, 255)
            line += bytes((b, g, r))
        data += line + bytes(stride - len(line))
    header = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    return b"BM" + struct.pack("<IHHI", 14 + len(header) + len(data), 0, 0, 14 + len(header)) + header + data


def ico(width, height, pixels):
    colour = bytearray()
    for row in reversed(pixels):
        for p in row:
            colour += bytes((0, 0, 0, 0)) if p is None else bytes((p[2], p[1], p[0], 255))
    mask_stride = ((width + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(pixels):
        bits = bytearray(mask_stride)
        for x, p in enumerate(row):
            if p is None:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    header = struct.pack("<IiiHHIIiiII", 40, width, height * 2, 1, 32, 0, len(colour) + len(mask), 0, 0, 0, 0)
    image = header + colour + mask
    entry = struct.pack("<BBBBHHII", width % 256, height % 256, 0, 0, 1, 32, len(image), 6 + 16)
    return struct.pack("<HHH", 0, 1, 1) + entry + image


def main():
    kind, source, target = sys.argv[1:4]
    width, height, pixels = read_xpm(source)
    with open(target, "wb") as out:
        out.write(bmp(width, height, pixels) if kind == "bmp" else ico(width, height, pixels))


if __name__ == "__main__":
    main()
