#!/usr/bin/env python3
"""Converts the 24-bit BMP screenshots the Windows tests write into PNG files.

    bmp_to_png.py IN.bmp OUT.png

Only what the tests write: uncompressed 24-bit, bottom-up or top-down rows.
"""
import struct
import sys
import zlib


def read_bmp(path):
    data = open(path, "rb").read()
    if data[:2] != b"BM" or len(data) < 54:
        raise ValueError(f"{path}: not a BMP file")
    offset = struct.unpack_from("<I", data, 10)[0]
    width, height, planes, bits, compression = struct.unpack_from("<iiHHI", data, 18)
    if bits != 24 or compression != 0 or width <= 0 or height == 0:
        raise ValueError(f"{path}: not an uncompressed 24-bit BMP")
    stride = (width * 3 + 3) & ~3
    rows = abs(height)
    if offset + stride * rows > len(data):
        raise ValueError(f"{path}: cut short")
    lines = []
    for y in range(rows):
        # Positive heights store the bottom row first.
        source = rows - 1 - y if height > 0 else y
        start = offset + source * stride
        bgr = data[start:start + width * 3]
        rgb = bytearray(width * 3)
        rgb[0::3], rgb[1::3], rgb[2::3] = bgr[2::3], bgr[1::3], bgr[0::3]
        lines.append(bytes(rgb))
    return width, rows, lines


def chunk(kind, body):
    return (struct.pack(">I", len(body)) + kind + body +
            struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))


def write_png(path, width, height, lines):
    raw = b"".join(b"\x00" + line for line in lines)  # filter "none" on each row
    with open(path, "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n")
        out.write(chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)))
        out.write(chunk(b"IDAT", zlib.compress(raw, 9)))
        out.write(chunk(b"IEND", b""))


def main():
    if len(sys.argv) != 3:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    try:
        write_png(sys.argv[2], *read_bmp(sys.argv[1]))
    except (OSError, ValueError) as error:
        print(f"bmp_to_png: {error}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
