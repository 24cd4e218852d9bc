#!/usr/bin/env python3
"""Writes the bundled sample pictures in samples/.

sample-24.bmp: a colourful 24-bit picture (hue sweep, rings and a grey ramp).
sample-8.bmp:  the same scene as an 8-bit paletted picture with its own table.
Run once; the pictures are committed. Needs nothing but Python 3.
"""
import colorsys
import math
import os
import struct

WIDTH, HEIGHT = 160, 120


def scene(x, y):
    """Red, green, blue (0-255) of pixel (x, y), y counted from the top."""
    hue = x / WIDTH
    light = 0.35 + 0.4 * (1 - y / HEIGHT)
    dx, dy = x - WIDTH * 0.5, y - HEIGHT * 0.62
    ring = math.sin(math.hypot(dx, dy) * 0.35)
    if ring > 0.6:
        light = min(0.92, light + 0.25)
    r, g, b = colorsys.hls_to_rgb(hue, light, 0.85)
    if y > HEIGHT - 14:  # a grey ramp along the bottom
        v = x / (WIDTH - 1)
        r = g = b = v
    return int(r * 255 + 0.5), int(g * 255 + 0.5), int(b * 255 + 0.5)


def headers(width, height, bit_count, table_entries, pixel_bytes):
    off_bits = 54 + 4 * table_entries
    file_header = struct.pack("<2sIHHI", b"BM", off_bits + pixel_bytes, 0, 0, off_bits)
    info_header = struct.pack("<IiiHHIIiiII", 40, width, height, 1, bit_count, 0,
                              pixel_bytes, 2835, 2835, 0, 0)
    return file_header + info_header


def padded(row):
    return row + b"\0" * (-len(row) % 4)


def write_24(path):
    rows = []
    for y in reversed(range(HEIGHT)):  # bottom row first
        row = bytearray()
        for x in range(WIDTH):
            r, g, b = scene(x, y)
            row += bytes((b, g, r))
        rows.append(padded(bytes(row)))
    data = b"".join(rows)
    with open(path, "wb") as out:
        out.write(headers(WIDTH, HEIGHT, 24, 0, len(data)) + data)


def write_8(path):
    # A 6 x 7 x 6 colour cube plus greys: 252 + 4 entries.
    table = [(r * 51, g * 42, b * 51) for r in range(6) for g in range(7) for b in range(6)]
    table += [(64, 64, 64), (128, 128, 128), (192, 192, 192), (255, 255, 255)]

    def nearest(rgb):
        return min(range(len(table)),
                   key=lambda k: sum((table[k][c] - rgb[c]) ** 2 for c in range(3)))

    cache = {}
    rows = []
    for y in reversed(range(HEIGHT)):
        row = bytearray()
        for x in range(WIDTH):
            rgb = scene(x, y)
            if rgb not in cache:
                cache[rgb] = nearest(rgb)
            row.append(cache[rgb])
        rows.append(padded(bytes(row)))
    data = b"".join(rows)
    palette = b"".join(bytes((b, g, r, 0)) for r, g, b in table)
    with open(path, "wb") as out:
        out.write(headers(WIDTH, HEIGHT, 8, len(table), len(data)) + palette + data)


def main():
    here = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "samples")
    os.makedirs(here, exist_ok=True)
    write_24(os.path.join(here, "sample-24.bmp"))
    write_8(os.path.join(here, "sample-8.bmp"))


if __name__ == "__main__":
    main()
