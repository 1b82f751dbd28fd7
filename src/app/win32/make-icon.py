#!/usr/bin/env python3
"""Writes orvexa.ico: group icon 138 with a 32x32 and a 16x16 image of 16 colours (a scanner's barcode
window: black bars on white in a blue frame). Run it again only to change the picture."""
import struct
import sys

# The 16-colour Windows palette, as (blue, green, red, 0).
PALETTE = [(0, 0, 0), (0, 0, 128), (0, 128, 0), (0, 128, 128), (128, 0, 0), (128, 0, 128), (128, 128, 0),
           (192, 192, 192), (128, 128, 128), (0, 0, 255), (0, 255, 0), (0, 255, 255), (255, 0, 0),
           (255, 0, 255), (255, 255, 0), (255, 255, 255)]
BLACK, BLUE, RED, WHITE = 0, 12, 9, 15  # indexes into PALETTE (BGR order above)


def pixel(x, y, size):
    edge = max(1, size // 16)
    if x < edge or y < edge or x >= size - edge or y >= size - edge:
        return BLUE
    margin = size // 6
    if y == size // 2 and margin <= x < size - margin:
        return RED  # the scan line
    if margin <= y < size - margin and margin <= x < size - margin:
        bars = [1, 1, 0, 1, 0, 0, 1, 1, 1, 0, 1, 0, 1, 1, 0, 1]
        column = (x - margin) * len(bars) // (size - 2 * margin)
        return BLACK if bars[column] else WHITE
    return WHITE


def image(size):
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for (b, g, r) in PALETTE)
    xor = b""
    for y in reversed(range(size)):  # bottom-up rows, two pixels a byte, padded to 4 bytes
        row = bytes((pixel(x, y, size) << 4) | pixel(x + 1, y, size) for x in range(0, size, 2))
        xor += row + b"\0" * (-len(row) % 4)
    mask_row = b"\0" * ((size + 31) // 32 * 4)  # every pixel opaque
    return header + palette + xor + mask_row * size


def main(path):
    images = [image(32), image(16)]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in zip((32, 16), images):
        out += struct.pack("<BBBBHHII", size, size, 16, 0, 1, 4, len(data), offset)
        offset += len(data)
    with open(path, "wb") as f:
        f.write(out + b"".join(images))


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "orvexa.ico")
