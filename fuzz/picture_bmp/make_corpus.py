#!/usr/bin/env python3
"""Writes the BMP seed corpus: one small file per header form and pixel format."""
import os
import struct
import sys

OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus")


def bmp(width, height, bits, pixels, table=(), compression=0, header=40, masks=(), image_size=0,
        colors_used=None):
    if header == 12:
        info = struct.pack("<IHHHH", 12, width, height, 1, bits)
        entries = b"".join(bytes((b, g, r)) for r, g, b in table)
    else:
        used = len(table) if colors_used is None else colors_used
        info = struct.pack("<IiiHHIIiiII", header, width, height, 1, bits, compression,
                           image_size, 2835, 2835, used, 0)
        if header > 40:
            info += b"".join(struct.pack("<I", m) for m in masks)
            info = info.ljust(header, b"\0")
        elif masks:
            info += b"".join(struct.pack("<I", m) for m in masks)
        entries = b"".join(bytes((b, g, r, 0)) for r, g, b in table)
    body = info + entries
    return b"BM" + struct.pack("<IHHI", 14 + len(body) + len(pixels), 0, 0, 14 + len(body)) + body + pixels


def rows(width, height, bits, value):
    stride = (width * bits + 31) // 32 * 4
    out = bytearray()
    for y in range(height):
        row = bytearray(value(x, y) & 255 for x in range(stride))
        out += row
    return bytes(out)


def main():
    os.makedirs(OUT, exist_ok=True)
    grey = [(i, i, i) for i in range(0, 256, 17)]
    table256 = [(i, 255 - i, (i * 7) & 255) for i in range(256)]
    seeds = {
        "1bit.bmp": bmp(9, 3, 1, rows(9, 3, 1, lambda x, y: 0xA5 ^ y), [(0, 0, 0), (255, 255, 255)]),
        "4bit.bmp": bmp(5, 4, 4, rows(5, 4, 4, lambda x, y: x * 17 + y), grey),
        "8bit.bmp": bmp(6, 3, 8, rows(6, 3, 8, lambda x, y: x * 40 + y), table256),
        "8bit_4colours.bmp": bmp(2, 2, 8, rows(2, 2, 8, lambda x, y: (x + 2 * y) & 3),
                                 [(10, 20, 30), (200, 100, 50), (1, 2, 3), (255, 255, 255)]),
        "os2_8bit.bmp": bmp(3, 2, 8, rows(3, 2, 8, lambda x, y: x + y), table256, header=12),
        "os2_24bit.bmp": bmp(3, 2, 24, rows(3, 2, 24, lambda x, y: x * 30 + y), header=12),
        "16bit_555.bmp": bmp(4, 3, 16, rows(4, 3, 16, lambda x, y: x * 29 + y * 3)),
        "16bit_565_fields.bmp": bmp(4, 3, 16, rows(4, 3, 16, lambda x, y: x * 13 + y), compression=3,
                                    masks=(0xF800, 0x07E0, 0x001F)),
        "24bit.bmp": bmp(5, 3, 24, rows(5, 3, 24, lambda x, y: (x * 50 + y * 20) & 255)),
        "24bit_topdown.bmp": bmp(3, -3, 24, rows(3, 3, 24, lambda x, y: x * 80 + y)),
        "32bit.bmp": bmp(3, 2, 32, rows(3, 2, 32, lambda x, y: x * 21 + y)),
        "32bit_fields_v4.bmp": bmp(3, 2, 32, rows(3, 2, 32, lambda x, y: x * 9 + y), compression=3,
                                   header=108, masks=(0xFF, 0xFF00, 0xFF0000)),
        "24bit_v5.bmp": bmp(2, 2, 24, rows(2, 2, 24, lambda x, y: x + y * 60), header=124),
        "rle8.bmp": bmp(6, 3, 8, bytes([3, 1, 0, 3, 5, 6, 7, 0, 0, 0, 0, 2, 2, 1, 4, 9, 0, 0,
                                        6, 200, 0, 1]), table256, compression=1, image_size=22),
        "rle4.bmp": bmp(7, 2, 4, bytes([4, 0x12, 0, 3, 0x34, 0x50, 0, 0, 7, 0xAB, 0, 1]), grey,
                        compression=2, image_size=12),
        "short_area.bmp": bmp(4, 4, 24, rows(4, 2, 24, lambda x, y: 77)),
    }
    for name, data in seeds.items():
        with open(os.path.join(OUT, name), "wb") as f:
            f.write(data)
    return 0


if __name__ == "__main__":
    sys.exit(main())
