#!/usr/bin/env python3
"""Draws a button picture at twice its size for high-DPI screens: Scale2x
(EPX) doubles each pixel and rounds diagonal edges where two neighbours
agree, so the 32x32 version keeps the 16x16 drawing's colours and lines
without the blocks of a plain enlargement.

Usage: tools/scale2x-xpm.py resources/bitmap130.xpm > resources/bitmap130@2x.xpm
"""
import re
import sys


def read_xpm(path):
    rows = re.findall(r'"([^"]*)"', open(path, encoding="ascii").read())
    width, height, colours, cpp = map(int, rows[0].split())
    palette = rows[1:1 + colours]
    pixels = [[row[i:i + cpp] for i in range(0, width * cpp, cpp)] for row in rows[1 + colours:1 + colours + height]]
    return palette, pixels, cpp


def scale2x(p):
    h, w = len(p), len(p[0])
    at = lambda y, x: p[min(max(y, 0), h - 1)][min(max(x, 0), w - 1)]
    out = [[None] * (2 * w) for _ in range(2 * h)]
    for y in range(h):
        for x in range(w):
            e, a, b, c, d = p[y][x], at(y - 1, x), at(y, x + 1), at(y, x - 1), at(y + 1, x)
            e0 = a if a == c and a != b and c != d else e
            e1 = b if a == b and a != c and b != d else e
            e2 = c if d == c and d != b and c != a else e
            e3 = b if d == b and d != c and b != a else e
            out[2 * y][2 * x], out[2 * y][2 * x + 1], out[2 * y + 1][2 * x], out[2 * y + 1][2 * x + 1] = e0, e1, e2, e3
    return out


def main():
    path = sys.argv[1]
    palette, pixels, cpp = read_xpm(path)
    big = scale2x(pixels)
    name = re.search(r"static const char\*\s*(\w+)", open(path, encoding="ascii").read()).group(1) + "_2x"
    print("/* XPM */")
    print(f"/* {path.split('/')[-1]} at 32x32 for high-DPI screens, made by tools/scale2x-xpm.py */")
    print(f"static const char* {name}[] = {{")
    lines = [f"{len(big[0])} {len(big)} {len(palette)} {cpp}"] + palette + ["".join(r) for r in big]
    print(",\n".join(f'"{line}"' for line in lines))
    print("};")


main()
