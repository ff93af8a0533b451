#!/usr/bin/env python3
"""Turns an X window dump (xwd, 24- or 32-bit true colour, as Xvfb's root
window gives it) into a PNG, with the standard library only: the machines
that take screenshots need no image toolkit.

    xwd -root -silent | scripts/lib/xwd_png.py OUT.png
"""
import struct
import sys
import zlib


def png_chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))


def main():
    dump = sys.stdin.buffer.read()
    fields = struct.unpack(">25I", dump[:100])
    header_size, version = fields[0], fields[1]
    width, height = fields[4], fields[5]
    byte_order, bits_per_pixel, bytes_per_line = fields[7], fields[11], fields[12]
    red_mask, green_mask, blue_mask = fields[14], fields[15], fields[16]
    colours = fields[19]
    if version != 7 or bits_per_pixel not in (24, 32):
        sys.exit("xwd_png: only 24- or 32-bit pixels of a version 7 dump")
    step = bits_per_pixel // 8
    order = "little" if byte_order == 0 else "big"
    start = header_size + colours * 12

    def shift(mask):
        return (mask & -mask).bit_length() - 1

    shifts = [shift(m) for m in (red_mask, green_mask, blue_mask)]
    rows = bytearray()
    for y in range(height):
        line = dump[start + y * bytes_per_line:start + y * bytes_per_line + width * step]
        rows.append(0)
        for x in range(0, len(line), step):
            pixel = int.from_bytes(line[x:x + step], order)
            rows.extend((pixel >> s) & 0xFF for s in shifts)
    png = b"\x89PNG\r\n\x1a\n"
    png += png_chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
    png += png_chunk(b"IDAT", zlib.compress(bytes(rows), 6))
    png += png_chunk(b"IEND", b"")
    with open(sys.argv[1], "wb") as out:
        out.write(png)


if __name__ == "__main__":
    main()
