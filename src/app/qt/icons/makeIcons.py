#!/usr/bin/env python3
"""Draws the application icon (a barcode under a scan line, with an upgrade arrow) at 32x32 and 16x16 in
the 16 colours of the classic icon palette, and writes each size as XPM (compiled into the program) and
PNG (installed for the desktop entry). Run it from anywhere; the output lands beside this script and is
the same on every run."""
import os
import struct
import zlib

# The 16-colour palette, by the letter each colour has in the XPM files. "." is transparent.
PALETTE = {
    ".": None,
    "k": (0x00, 0x00, 0x00),
    "n": (0x00, 0x00, 0x80),
    "b": (0x00, 0x00, 0xFF),
    "w": (0xFF, 0xFF, 0xFF),
    "s": (0xC0, 0xC0, 0xC0),
    "r": (0xFF, 0x00, 0x00),
    "g": (0x00, 0xFF, 0x00),
    "d": (0x00, 0x80, 0x00),
}


def blank(size):
    return [["."] * size for _ in range(size)]


def fill(img, x0, y0, x1, y1, c):
    for y in range(y0, y1 + 1):
        for x in range(x0, x1 + 1):
            img[y][x] = c


def tile(img, size):
    # A navy tile with a black rim and cut corners, like a scanner's window.
    last = size - 1
    fill(img, 0, 0, last, last, "k")
    fill(img, 1, 1, last - 1, last - 1, "n")
    for x, y in ((0, 0), (last, 0), (0, last), (last, last)):
        img[y][x] = "."


def barcode(img, x0, y0, x1, y1, pattern):
    fill(img, x0, y0, x1, y1, "w")
    x = x0 + 1
    for i, width in enumerate(pattern):
        if i % 2 == 0:
            fill(img, x, y0 + 1, min(x + width - 1, x1 - 1), y1 - 1, "k")
        x += width
        if x >= x1:
            break


def arrow(img, cx, top, height, half, stem, c, rim):
    # A filled upward arrow: a triangle of the given half width, then a stem.
    head = half + 1
    for row in range(head):
        fill(img, cx - row, top + row, cx + row, top + row, c)
    fill(img, cx - stem, top + head, cx + stem, top + height - 1, c)
    for row in range(head):
        img[top + row][cx - row - 1] = rim
        img[top + row][cx + row + 1] = rim


def icon32():
    img = blank(32)
    tile(img, 32)
    barcode(img, 4, 4, 27, 18, [2, 1, 1, 2, 3, 1, 1, 1, 2, 2, 1, 3, 1, 1, 2, 1])
    fill(img, 3, 11, 28, 11, "r")  # the scan line
    fill(img, 4, 21, 14, 28, "b")  # the scanner's window
    fill(img, 5, 22, 13, 23, "s")
    arrow(img, 22, 20, 9, 5, 2, "g", "d")
    return img


def icon16():
    img = blank(16)
    tile(img, 16)
    barcode(img, 2, 2, 13, 8, [1, 1, 2, 1, 1, 2, 1, 1, 2])
    fill(img, 1, 5, 14, 5, "r")
    fill(img, 2, 10, 7, 13, "b")
    arrow(img, 11, 9, 5, 2, 1, "g", "d")
    return img


def write_xpm(path, name, img):
    used = sorted({c for row in img for c in row})
    lines = [f"/* XPM */", f"static const char* const {name}[] = {{",
             f'    "{len(img[0])} {len(img)} {len(used)} 1",']
    for c in used:
        rgb = PALETTE[c]
        value = "None" if rgb is None else "#%02X%02X%02X" % rgb
        lines.append(f'    "{c} c {value}",')
    for i, row in enumerate(img):
        lines.append(f'    "{"".join(row)}"' + ("," if i + 1 < len(img) else ""))
    lines.append("};")
    with open(path, "w", encoding="ascii") as f:
        f.write("\n".join(lines) + "\n")


def write_png(path, img):
    raw = b""
    for row in img:
        raw += b"\x00"
        for c in row:
            rgb = PALETTE[c]
            raw += bytes((0, 0, 0, 0)) if rgb is None else bytes(rgb + (255,))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    size = len(img)
    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(raw, 9))
    png += chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    for size, img in ((32, icon32()), (16, icon16())):
        write_xpm(os.path.join(here, f"orvexa{size}.xpm"), f"orvexaIcon{size}", img)
        write_png(os.path.join(here, f"orvexa{size}.png"), img)


if __name__ == "__main__":
    main()
