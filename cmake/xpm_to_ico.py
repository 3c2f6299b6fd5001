#!/usr/bin/env python3
"""Writes the program's XPM picture as a Windows icon (.ico): one 32-bit image with its
transparency mask, the form every Windows version reads. The output depends on the picture
alone, so a rebuild gives the same bytes.

Usage: xpm_to_ico.py PICTURE.xpm ICON.ico
"""
import re
import struct
import sys


def read_xpm(path):
    """The picture as rows of (r, g, b, a) pixels."""
    with open(path, encoding="ascii") as f:
        strings = re.findall(r'"((?:[^"\\]|\\.)*)"', f.read())
    width, height, colours, per_pixel = (int(v) for v in strings[0].split()[:4])
    palette = {}
    for line in strings[1 : 1 + colours]:
        key, rest = line[:per_pixel], line[per_pixel:].split()
        value = rest[rest.index("c") + 1]
        if value.lower() == "none":
            palette[key] = (0, 0, 0, 0)
        elif re.fullmatch(r"#[0-9A-Fa-f]{6}", value):
            palette[key] = tuple(int(value[i : i + 2], 16) for i in (1, 3, 5)) + (255,)
        else:
            sys.exit(f"{path}: colour {value!r} is not #RRGGBB or None")
    rows = []
    for line in strings[1 + colours : 1 + colours + height]:
        if len(line) != width * per_pixel:
            sys.exit(f"{path}: a row is not {width} pixels wide")
        rows.append([palette[line[i : i + per_pixel]] for i in range(0, len(line), per_pixel)])
    if len(rows) != height:
        sys.exit(f"{path}: {len(rows)} rows, not {height}")
    return width, height, rows


def ico(width, height, rows):
    # The bitmap runs bottom-up, in BGRA, followed by a 1-bit mask (set: see-through) whose
    # rows are padded to 4 bytes; its header counts the two as one image twice as high.
    pixels = b"".join(bytes((b, g, r, a)) for row in reversed(rows) for (r, g, b, a) in row)
    mask_row_bytes = ((width + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(mask_row_bytes)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    header = struct.pack("<IiiHHIIiiII", 40, width, height * 2, 1, 32, 0,
                         len(pixels) + len(mask), 0, 0, 0, 0)
    image = header + pixels + bytes(mask)
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", width % 256, height % 256, 0, 0, 1, 32, len(image),
                        6 + 16)
    return directory + entry + image


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    data = ico(*read_xpm(sys.argv[1]))
    with open(sys.argv[2], "wb") as f:
        f.write(data)


if __name__ == "__main__":
    main()
