#!/usr/bin/env python3
"""Paints the program's icon, a classic dialog window with a ticked check box
(and a slider at 32 pixels) in the sixteen colours of Windows 9x, and writes
it as PNG files beside this script: frambul-16.png and frambul-48.png from the 16-pixel
picture, frambul-32.png and frambul-256.png from the 32-pixel one (whole-pixel
enlargements, so every size stays as crisp as the original). Needs only the
standard library; run it again after changing a picture.
"""

import os
import struct
import zlib

BLACK, DARK, LIGHT, WHITE = (0, 0, 0), (128, 128, 128), (192, 192, 192), (255, 255, 255)
NAVY, TEAL = (0, 0, 128), (0, 128, 128)


class Picture:
    def __init__(self, size):
        self.size = size
        self.pixels = [[None] * size for _ in range(size)]

    def fill(self, x0, y0, x1, y1, colour):
        """Fills the rectangle from (x0, y0) to (x1, y1), both corners included."""
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                self.pixels[y][x] = colour

    def raised(self, x0, y0, x1, y1, face=LIGHT):
        """A raised panel: light edges top and left, dark bottom and right."""
        self.fill(x0, y0, x1, y1, BLACK)
        self.fill(x0, y0, x1 - 1, y1 - 1, WHITE)
        self.fill(x0 + 1, y0 + 1, x1 - 1, y1 - 1, DARK)
        self.fill(x0 + 1, y0 + 1, x1 - 2, y1 - 2, face)

    def window(self, x0, y0, x1, y1):
        """A window frame: dark and white edges top and left, black and dark ones bottom and right."""
        self.fill(x0, y0, x1, y1, BLACK)
        self.fill(x0, y0, x1 - 1, y1 - 1, DARK)
        self.fill(x0 + 1, y0 + 1, x1 - 1, y1 - 1, DARK)
        self.fill(x0 + 1, y0 + 1, x1 - 2, y1 - 2, WHITE)
        self.fill(x0 + 2, y0 + 2, x1 - 2, y1 - 2, LIGHT)

    def sunken(self, x0, y0, x1, y1, face=WHITE):
        """A sunken field: dark edges top and left, light bottom and right."""
        self.fill(x0, y0, x1, y1, WHITE)
        self.fill(x0, y0, x1 - 1, y1 - 1, DARK)
        self.fill(x0 + 1, y0 + 1, x1 - 1, y1 - 1, face)

    def dots(self, points, colour):
        for x, y in points:
            self.pixels[y][x] = colour


def picture16():
    p = Picture(16)
    p.window(0, 1, 15, 14)
    p.fill(2, 3, 13, 5, NAVY)                    # title bar
    p.fill(3, 4, 7, 4, WHITE)                    # its caption
    p.fill(11, 4, 12, 4, LIGHT)                  # its close box
    p.sunken(3, 7, 8, 12)                        # check box, ticked
    p.dots([(7, 8), (6, 9), (7, 9), (4, 10), (5, 10), (6, 10), (5, 11)], BLACK)
    p.fill(10, 9, 12, 10, TEAL)                  # its caption
    return p


def picture32():
    p = Picture(32)
    p.window(0, 2, 31, 29)
    p.fill(3, 5, 28, 10, NAVY)                   # title bar
    p.fill(5, 7, 15, 8, WHITE)                   # its caption
    p.raised(23, 6, 27, 9)                       # its close box
    p.sunken(4, 12, 12, 20)                      # check box
    p.dots([(6, 15), (6, 16), (6, 17), (7, 16), (7, 17), (7, 18), (8, 17), (8, 18), (8, 19),
            (9, 16), (9, 17), (9, 18), (10, 15), (10, 16), (10, 17), (11, 14), (11, 15), (11, 16)],
           BLACK)
    p.fill(15, 15, 20, 16, TEAL)                 # its caption
    p.fill(22, 15, 26, 16, TEAL)
    p.sunken(4, 23, 27, 24, DARK)                # slider groove
    p.raised(16, 21, 20, 27)                     # slider knob
    return p


def png(picture, scale):
    """PNG bytes of the picture, each pixel enlarged to scale x scale."""
    size = picture.size * scale
    rows = b""
    for row in picture.pixels:
        line = b"".join(bytes(c + (255,)) if c else b"\0\0\0\0" for c in row for _ in range(scale))
        rows += (b"\0" + line) * scale

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(rows, 9)) + chunk(b"IEND", b"")


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    for picture, scale in ((picture16(), 1), (picture16(), 3), (picture32(), 1), (picture32(), 8)):
        with open(os.path.join(here, "frambul-%d.png" % (picture.size * scale)), "wb") as out:
            out.write(png(picture, scale))


if __name__ == "__main__":
    main()
