#!/usr/bin/env python3
"""Draws the editor's icons (standard library only).

Into app/Resources/, compiled into the program:
    ostrevale.png  256x256  a document sheet with a disc, labelled IMG
    vc.png          32x32   a version 1 archive: a disc with the digit 1
    sa.png          32x32   a version 2 archive: a disc with the digit 2
Into packaging/icons/hicolor/NxN/apps/, installed for desktops' menus:
    ostrevale.png  the same program icon at 16, 32, 48, 64 and 128 pixels
                   (the 256 one is installed from app/Resources/)

Every pixel is the average of 4x4 samples, so edges are smooth. Run it again
after changing a picture and commit the PNGs.
"""

import math
import os
import struct
import sys
import zlib

SAMPLES = 4
HICOLOR_SIZES = (16, 32, 48, 64, 128)

# 5x7 pixel glyphs, one string per row.
GLYPHS = {
    "I": ["#####", "..#..", "..#..", "..#..", "..#..", "..#..", "#####"],
    "M": ["#...#", "##.##", "#.#.#", "#.#.#", "#...#", "#...#", "#...#"],
    "G": [".####", "#....", "#....", "#.###", "#...#", "#...#", ".###."],
    "1": ["..#..", ".##..", "#.#..", "..#..", "..#..", "..#..", "#####"],
    "2": [".###.", "#...#", "....#", "...#.", "..#..", ".#...", "#####"],
}


def write_png(path, width, height, pixels):
    """pixels: list of rows, each a list of (r, g, b, a) bytes."""
    raw = bytearray()
    for row in pixels:
        raw.append(0)  # filter type: none
        for r, g, b, a in row:
            raw += bytes((r, g, b, a))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)  # 8-bit RGBA
    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(bytes(raw), 9))
    png += chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


def over(dst, src):
    """Porter-Duff 'over' of two straight-alpha colours with components in 0..1."""
    sr, sg, sb, sa = src
    dr, dg, db, da = dst
    a = sa + da * (1 - sa)
    if a == 0:
        return (0.0, 0.0, 0.0, 0.0)
    mix = lambda s, d: (s * sa + d * da * (1 - sa)) / a
    return (mix(sr, dr), mix(sg, dg), mix(sb, db), a)


def render(size, layers, design=None):
    """layers: functions (x, y) -> colour or None, painted bottom to top, drawn on a
    design x design square (size by default) and scaled down to size x size."""
    design = design or size
    scale = design / size
    # A smaller picture takes more samples per pixel, so thin lines still count.
    samples = max(SAMPLES, math.ceil(SAMPLES * scale))
    pixels = []
    for py in range(size):
        row = []
        for px in range(size):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(samples):
                for sx in range(samples):
                    x = (px + (sx + 0.5) / samples) * scale
                    y = (py + (sy + 0.5) / samples) * scale
                    colour = (0.0, 0.0, 0.0, 0.0)
                    for layer in layers:
                        c = layer(x, y)
                        if c is not None:
                            colour = over(colour, c)
                    # Average premultiplied, so transparent samples do not darken edges.
                    acc[0] += colour[0] * colour[3]
                    acc[1] += colour[1] * colour[3]
                    acc[2] += colour[2] * colour[3]
                    acc[3] += colour[3]
            a = acc[3] / (samples * samples)
            if a > 0:
                rgb = [acc[i] / acc[3] for i in range(3)]
            else:
                rgb = [0.0, 0.0, 0.0]
            row.append(tuple(max(0, min(255, round(v * 255))) for v in rgb + [a]))
        pixels.append(row)
    return pixels


def hexcolour(text, alpha=1.0):
    return (int(text[1:3], 16) / 255, int(text[3:5], 16) / 255, int(text[5:7], 16) / 255, alpha)


def disc(cx, cy, radius, hole, rim, face, shine):
    """A disc with a centre hole, a darker rim and a light streak."""

    def layer(x, y):
        d = math.hypot(x - cx, y - cy)
        if d > radius or d < hole:
            return None
        if d > radius * 0.94 or d < hole * 1.6:
            return rim
        angle = math.atan2(y - cy, x - cx)
        streak = max(0.0, math.cos(2 * (angle + 0.8))) ** 6
        return tuple(face[i] + (shine[i] - face[i]) * streak for i in range(3)) + (1.0,)

    return layer


def text(label, left, top, cell, colour):
    """Blocky text of the 5x7 glyphs, `cell` units per glyph pixel."""
    def layer(x, y):
        if x < left or y < top:
            return None
        column = int((x - left) // cell)
        gy = int((y - top) // cell)
        n, gx = divmod(column, 6)
        if n >= len(label) or gx >= 5 or gy >= 7:
            return None
        return colour if GLYPHS[label[n]][gy][gx] == "#" else None

    return layer


def sheet(x0, y0, x1, y1, fold, border, paper, flap):
    """A document sheet with its top-right corner folded over."""

    def layer(x, y):
        if not (x0 <= x < x1 and y0 <= y < y1):
            return None
        cut = (x - (x1 - fold)) + (y0 + fold - y)  # > fold: beyond the folded corner
        if cut > fold:
            return None
        if x >= x1 - fold and y < y0 + fold and cut > 0:
            return flap
        edge = min(x - x0, x1 - x, y - y0, y1 - y)
        if edge < border or abs(cut - fold) < border * 0.7:
            return hexcolour("#5b6b7a")
        return paper

    return layer


def main_icon(size=256):
    white = hexcolour("#fbfcfd")
    flap = hexcolour("#c9d3dc")
    shadow = lambda x, y: hexcolour("#000000", 0.18) if 44 <= x < 222 and 22 <= y < 250 else None
    layers = [
        shadow,
        sheet(36, 12, 214, 242, 46, 4, white, flap),
        text("IMG", 52, 52, 6.4, hexcolour("#1f4e79")),
        disc(125, 170, 58, 10, hexcolour("#6b7785"), hexcolour("#b8c4cf"), hexcolour("#f4f8fb")),
    ]
    return render(size, layers, design=256)


def small_icon(digit, face, rim):
    return render(32, [
        disc(16, 16, 15.5, 2.2, rim, face, hexcolour("#ffffff")),
        lambda x, y: hexcolour("#ffffff", 0.92) if math.hypot(x - 16, y - 16) < 9 else None,
        text(digit, 11.0, 8.5, 2.2, rim),
    ])


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    out = os.path.join(root, "app", "Resources")
    os.makedirs(out, exist_ok=True)
    write_png(os.path.join(out, "ostrevale.png"), 256, 256, main_icon())
    write_png(os.path.join(out, "vc.png"), 32, 32, small_icon("1", hexcolour("#f3a6c8"), hexcolour("#a0205e")))
    write_png(os.path.join(out, "sa.png"), 32, 32, small_icon("2", hexcolour("#f5c77a"), hexcolour("#8a4b08")))
    for size in HICOLOR_SIZES:
        folder = os.path.join(root, "packaging", "icons", "hicolor", f"{size}x{size}", "apps")
        os.makedirs(folder, exist_ok=True)
        write_png(os.path.join(folder, "ostrevale.png"), size, size, main_icon(size))
    return 0


if __name__ == "__main__":
    sys.exit(main())
