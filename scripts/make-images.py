#!/usr/bin/env python3
"""Draws the program's icon and bitmaps and writes them as .ico/.bmp files under res/.

The outputs are committed; run this again only to change the pictures.
  res/zumibo.ico      icon 128: a disc filled exactly to its rim (16, 32 and 48 px and their 1.5 and 2
                      times: 24, 64, 72 and 96 px; 32-bit with alpha)
  res/pattern.bmp     bitmap 129: 16x16 tile, 8 bits per pixel, 256-entry palette, light yellow with olive dots
  res/target.bmp      bitmap 130: 32x32, 16 colours, the drag-out target
  res/pattern-150.bmp, res/pattern-200.bmp, res/target-150.bmp, res/target-200.bmp: the same two
                      pictures drawn anew at 1.5 and 2 times, for screens of 144 and 192 DPI
"""
import math
import os
import struct

HERE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "res")


def bmp_file(width, height, bpp, palette, rows_bottom_up):
    """A BITMAPFILEHEADER + BITMAPINFOHEADER + palette + pixel rows (already padded)."""
    pixels = b"".join(rows_bottom_up)
    pal = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in palette)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, bpp, 0, len(pixels), 2835, 2835, len(palette), 0)
    offset = 14 + len(info) + len(pal)
    header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    return header + info + pal + pixels


def scaled(length, percent):
    """A length in pixels at 96 DPI, at percent of that, rounded as the program's MulDiv rounds it."""
    return (length * percent + 50) // 100


def pattern_tile(percent=100):
    # Light yellow everywhere, olive dots where row and column are both multiples of 4, and
    # where both leave the remainder 2 when divided by 4: a staggered grid of 32 dots. Larger
    # tiles keep the grid, with every length scaled.
    size, cell, half, dot = (scaled(n, percent) for n in (16, 4, 2, 1))
    palette = [(0xFF, 0xFF, 0x99), (0x80, 0x80, 0x00)] + [(0, 0, 0)] * 254
    rows = []
    for row in range(size):
        line = bytes(1 if (row % cell < dot and col % cell < dot) or
                     (half <= row % cell < half + dot and half <= col % cell < half + dot) else 0
                     for col in range(size))
        rows.append(line + bytes(-size % 4))
    return bmp_file(size, size, 8, palette, list(reversed(rows)))


VGA16 = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
         (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]


def target_bitmap(percent=100):
    # A bullseye: red and white rings in a dark red rim, with a dark red centre.
    scale = percent / 100
    size = scaled(32, percent)
    c = (size - 1) / 2.0
    grid = [[7] * size for _ in range(size)]
    for y in range(size):
        for x in range(size):
            d = math.hypot(x - c, y - c)
            if d <= 14.5 * scale:
                ring = int(d // (3.2 * scale))
                grid[y][x] = 9 if ring % 2 == 0 else 15
            if 14.5 * scale < d <= 15.5 * scale:
                grid[y][x] = 1
            if d <= 2.2 * scale:
                grid[y][x] = 1
    rows = []
    for y in range(size):
        row = grid[y]
        packed = bytes((row[x] << 4) | row[x + 1] for x in range(0, size, 2))
        rows.append(packed + bytes(-len(packed) % 4))
    return bmp_file(size, size, 4, VGA16, list(reversed(rows)))


def disc_rgba(size):
    """A silver disc whose outer band is filled green up to the rim, with a hole in the middle."""
    px = []
    c = (size - 1) / 2.0
    r_out = size / 2.0 - 0.5
    r_fill = r_out * 0.97
    r_label = r_out * 0.42
    r_hole = r_out * 0.16
    for y in range(size):
        row = []
        for x in range(size):
            d = math.hypot(x - c, y - c)
            a = max(0.0, min(1.0, r_out + 0.5 - d))  # anti-aliased rim
            hole = max(0.0, min(1.0, d - r_hole + 0.5))
            alpha = int(255 * a * hole)
            angle = math.atan2(y - c, x - c)
            if d > r_fill - 1.0 and d <= r_out:
                rgb = (40, 90, 40)
            elif d > r_label:
                shine = 0.5 + 0.5 * math.cos(2 * angle)
                g = int(150 + 70 * shine)
                rgb = (int(60 + 40 * shine), g, int(70 + 40 * shine))
            elif d > r_hole + 1.0:
                rgb = (235, 235, 240)
            else:
                rgb = (120, 120, 130)
            row.append((rgb[0], rgb[1], rgb[2], alpha))
        px.append(row)
    return px


def ico_image(size):
    px = disc_rgba(size)
    xor = b"".join(b"".join(struct.pack("<BBBB", b, g, r, a) for (r, g, b, a) in row) for row in reversed(px))
    mask_row_bytes = ((size + 31) // 32) * 4
    and_rows = []
    for row in reversed(px):
        bits = 0
        out = bytearray(mask_row_bytes)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                out[x // 8] |= 0x80 >> (x % 8)
        and_rows.append(bytes(out))
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor) + len(b"".join(and_rows)), 0, 0, 0, 0)
    return header + xor + b"".join(and_rows)


def icon_file(sizes):
    images = [ico_image(s) for s in sizes]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for s, img in zip(sizes, images):
        out += struct.pack("<BBBBHHII", s % 256, s % 256, 0, 0, 1, 32, len(img), offset)
        offset += len(img)
    return out + b"".join(images)


def main():
    for percent, suffix in ((100, ""), (150, "-150"), (200, "-200")):
        with open(os.path.join(HERE, "pattern%s.bmp" % suffix), "wb") as f:
            f.write(pattern_tile(percent))
        with open(os.path.join(HERE, "target%s.bmp" % suffix), "wb") as f:
            f.write(target_bitmap(percent))
    with open(os.path.join(HERE, "zumibo.ico"), "wb") as f:
        f.write(icon_file([16, 24, 32, 48, 64, 72, 96]))


if __name__ == "__main__":
    main()
