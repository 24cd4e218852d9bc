#!/usr/bin/env python3
"""Writes the seed inputs of the fuzz targets into fuzz/corpus/.

load/: small BMP files of every kind the reader accepts (1, 4, 8, 24 and
32 bits uncompressed, 16 bits with and without bit-field masks), odd widths,
short colour tables, gaps before the pixels, files cut short, and a few of
the kinds it refuses. scale/ and copy/: inputs in those targets' own layout
(see scale_fuzzer.cpp and copy_fuzzer.cpp). convert/: the load seeds, and
small pictures with the two bytes that choose the target and the chunk. The output is the same on every
run, so the committed corpus can be rebuilt and compared.

    python3 fuzz/make_corpus.py [OUTPUT_DIR]   (default: fuzz/corpus)
"""
import os
import random
import struct
import sys


def headers(width, height, bits, compression=0, off_bits=None, extra=0, size=None,
            signature=b"BM", x_pels=2835, y_pels=2835):
    off = 54 + extra if off_bits is None else off_bits
    file_size = size if size is not None else off
    return (signature + struct.pack("<IHHI", file_size, 0, 0, off) +
            struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, compression, 0,
                        x_pels, y_pels, 0, 0))


def row_bytes(width, bits):
    return (width * bits + 31) // 32 * 4


def pixels(rng, width, height, bits):
    return bytes(rng.randrange(256) for _ in range(row_bytes(width, bits) * height))


def table(rng, entries):
    return bytes(rng.randrange(256) for _ in range(4 * entries))


def bmp(rng, width, height, bits, entries=None, compression=0, masks=None, gap=0):
    """A complete file; `entries` colour-table entries at 1, 4 and 8 bits
    (default: the full table), then `gap` bytes before the pixels."""
    between = b""
    if bits in (1, 4, 8):
        between = table(rng, (1 << bits) if entries is None else entries)
    if masks is not None:
        between = struct.pack("<III", *masks)
    between += bytes(gap)
    data = pixels(rng, width, height, bits)
    head = headers(width, height, bits, compression, extra=len(between),
                   size=54 + len(between) + len(data))
    return head + between + data


def load_inputs():
    rng = random.Random(1)
    files = {}
    for bits in (1, 4, 8, 24, 32):
        for width, height in ((1, 1), (3, 2), (9, 4), (33, 3)):
            files[f"valid-{bits}bit-{width}x{height}.bmp"] = bmp(rng, width, height, bits)
    files["valid-16bit-555-5x3.bmp"] = bmp(rng, 5, 3, 16)
    files["valid-16bit-565-4x3.bmp"] = bmp(rng, 4, 3, 16, compression=3,
                                           masks=(0xF800, 0x07E0, 0x001F))
    files["valid-16bit-odd-masks-3x2.bmp"] = bmp(rng, 3, 2, 16, compression=3,
                                                 masks=(0x000F, 0xFFFF0000, 0x0A05))
    files["valid-8bit-short-table.bmp"] = bmp(rng, 6, 2, 8, entries=16)
    files["valid-4bit-table-and-gap.bmp"] = bmp(rng, 7, 2, 4, gap=10)
    files["valid-8bit-no-table.bmp"] = (headers(4, 2, 8, off_bits=20) +
                                        pixels(rng, 4, 2, 8))
    files["valid-24bit-gap.bmp"] = bmp(rng, 2, 2, 24, gap=7)
    files["valid-offset-past-end.bmp"] = headers(3, 3, 24, off_bits=0x7FFFFFF0)
    files["valid-cut-short-24bit.bmp"] = bmp(rng, 5, 6, 24)[:54 + 16 * 3 + 5]
    files["valid-cut-short-16bit.bmp"] = bmp(rng, 5, 3, 16)[:54 + 9]
    # Large enough (520 x 512) for the reader's way with large 16-bit
    # pictures; cut short a little after the first row.
    large = bytes((i * 7) & 255 for i in range(520 * 2 + 5))
    files["valid-16bit-large-cut-short.bmp"] = (
        headers(520, 512, 16, compression=3, extra=12) +
        struct.pack("<III", 0xF800, 0x07E0, 0x001F) + large)
    files["valid-cut-in-table.bmp"] = bmp(rng, 2, 2, 8)[:54 + 4 * 10 + 2]
    files["refused-rle8.bmp"] = headers(2, 2, 8, compression=1) + bytes(8)
    files["refused-bitfields-24bit.bmp"] = headers(2, 2, 24, compression=3) + bytes(16)
    files["refused-2bit.bmp"] = headers(2, 2, 2) + bytes(8)
    files["refused-top-down.bmp"] = headers(2, -2, 24) + bytes(16)
    files["refused-zero-width.bmp"] = headers(0, 2, 24)
    files["refused-huge.bmp"] = headers(0x7FFFFFFF, 0x7FFFFFFF, 1)
    files["refused-headers-cut-short.bmp"] = headers(2, 2, 24)[:40]
    files["refused-not-bmp.bmp"] = b"GIF89a" + bytes(60)
    files["refused-empty.bmp"] = b""
    return files


def scale_inputs():
    rng = random.Random(2)
    files = {}
    cases = [("P", 200), ("p", 50), ("W", 7), ("h", 9), ("F", 5), ("f", 40), ("x", 3),
             ("P", 0), ("P", -20), ("W", 0x7FFFFFFF), ("H", -0x80000000), ("P", 100)]
    for n, (mode, value) in enumerate(cases):
        width, height = rng.randrange(1, 12), rng.randrange(1, 12)
        flags = n % 6 | (0x08 if n % 3 == 0 else 0) | (0x10 if n % 4 == 0 else 0)
        body = bytes([width - 1, height - 1, flags, ord(mode)]) + struct.pack("<i", value)
        if flags & 0x08:
            body += struct.pack("<ii", 0, -5)
        body += bytes(rng.randrange(256) for _ in range(4 * width * height))
        files[f"scale-{n:02d}-{mode}{value}.bin"] = body
    return files


def scale_stream_inputs():
    """The load seeds and a few wider pictures, each followed by a mode byte
    and a value: target sizes of 1 x N, N x 1 and 1 x 1, upscales and
    downscales, an unknown mode, through the fast and the plain row loop."""
    rng = random.Random(4)
    pictures = dict(load_inputs())
    pictures["valid-24bit-40x30.bmp"] = bmp(rng, 40, 30, 24)
    pictures["valid-8bit-37x21.bmp"] = bmp(rng, 37, 21, 8)
    pictures["valid-16bit-19x23-cut-short.bmp"] = bmp(rng, 19, 23, 16)[:54 + 19 * 2 * 9 + 3]
    pictures["valid-32bit-1x17.bmp"] = bmp(rng, 1, 17, 32)
    pictures["valid-24bit-17x1.bmp"] = bmp(rng, 17, 1, 24)
    letters = "PWHFpwhf"
    cases = [("P", 50), ("P", 200), ("W", 1), ("H", 1), ("P", 1), ("w", 7), ("h", 13),
             ("F", 3), ("f", 61), ("P", 100), ("P", -20), ("W", 0x7FFFFFFF), ("p", 333)]
    files = {}
    for n, (name, data) in enumerate(sorted(pictures.items())):
        mode, value = cases[n % len(cases)]
        plain = 8 if n % 3 == 0 else 0
        suffix = bytes([letters.index(mode) + plain]) + struct.pack("<i", value)
        files[f"{name[:-4]}-{mode}{value}{'-plain' if plain else ''}.bin"] = data + suffix
    files["unknown-mode-g.bin"] = bmp(rng, 3, 2, 24) + bytes([240 + ord("G") - ord("A")]) + \
        struct.pack("<i", 50)
    return files


def copy_inputs():
    rng = random.Random(3)
    files = {}
    edge = 192  # selector of the first 32-bit edge value (INT32_MIN)
    cases = [
        (0, [40 + 0, 40 + 9, 40 + 0, 40 + 9, 40 + 5, 40 + 5]),    # clipped to the room left
        (0, [40 - 3, 40 + 2, 40, 40, 40, 40]),                    # negative left
        (1, [40, 40 + 5, 40, 40, 40 + 1, 40]),                    # within one image, shifted
        (2, [40, 40 + 9, 40 + 7, 40 + 2, 40, 40]),                # keyed, rows reversed
        (4, [40 - 5, 40, 40 + 90, 40, 40, 40]),                   # single pixel, clamped
        (6, [40, 40, 40, 40, 40, 40]),                            # single keyed pixel
        (0, [edge, edge + 8, edge, edge + 8, edge + 7, edge]),    # the 32-bit edges
        (1, [40 + 7, 40 + 2, 40, 40 + 3, 40 - 2, 40 - 40]),       # left past right
    ]
    for n, (flags, selectors) in enumerate(cases):
        body = bytes([flags] + selectors + [rng.randrange(256)])
        for _ in range(2):
            width, height = 10, 10
            body += bytes([width - 1, height - 1])
            body += bytes(rng.randrange(256) for _ in range(width * height))
        files[f"copy-{n:02d}.bin"] = body
    return files


def convert_inputs():
    """The load seeds, and the small pictures of every depth once for each
    target: the last byte chooses the depth and table (9 kinds), the byte
    before it the chunk (3 kinds); both stand after the pixel rows."""
    files = dict(load_inputs())
    for name, data in load_inputs().items():
        if not name.startswith("valid-") or ("9x4" not in name and "33x3" not in name and
                                            "16bit" not in name) or "large" in name:
            continue
        for target in range(9):
            stem = name[:-len(".bmp")]
            files[f"{stem}-to-{target}.bmp"] = data + bytes([target % 3, target])
    return files


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "corpus")
    for target, files in (("load", load_inputs()), ("scale", scale_inputs()),
                          ("copy", copy_inputs()), ("scale_stream", scale_stream_inputs()),
                          ("convert", convert_inputs())):
        directory = os.path.join(root, target)
        os.makedirs(directory, exist_ok=True)
        for name, data in files.items():
            with open(os.path.join(directory, name), "wb") as out:
                out.write(data)
    return 0


if __name__ == "__main__":
    sys.exit(main())
