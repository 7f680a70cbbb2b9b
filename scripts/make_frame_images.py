#!/usr/bin/env python3
"""Draws the main frame's images: the tool bar strip "ToolIcons" (23 images of 16 x 15 pixels on the
button face colour, in the tool bar's button order) and the program icons 32000 (normal) and 32001
(Tarvoset mode), 32 x 32 pixels.

Run: python3 scripts/make_frame_images.py  (from the repository root; writes resources/frame/)
"""

import os
import struct

FACE = (192, 192, 192)
BLACK = (0, 0, 0)
WHITE = (255, 255, 255)
GREY = (128, 128, 128)
DARK = (64, 64, 64)
RED = (200, 0, 0)
GREEN = (0, 160, 0)
BLUE = (0, 0, 200)
CYAN = (0, 200, 200)
MAGENTA = (200, 0, 200)
YELLOW = (230, 200, 0)
NAVY = (0, 0, 128)
AMBER = (230, 140, 0)

W, H = 16, 15


class Canvas:
    def __init__(self, width, height, background):
        self.width, self.height = width, height
        self.pixels = [[background] * width for _ in range(height)]

    def put(self, x, y, colour):
        if 0 <= x < self.width and 0 <= y < self.height:
            self.pixels[y][x] = colour

    def rect(self, x0, y0, x1, y1, colour):
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                self.put(x, y, colour)

    def frame(self, x0, y0, x1, y1, colour):
        for x in range(x0, x1 + 1):
            self.put(x, y0, colour)
            self.put(x, y1, colour)
        for y in range(y0, y1 + 1):
            self.put(x0, y, colour)
            self.put(x1, y, colour)

    def line(self, x0, y0, x1, y1, colour):
        steps = max(abs(x1 - x0), abs(y1 - y0), 1)
        for i in range(steps + 1):
            self.put(round(x0 + (x1 - x0) * i / steps), round(y0 + (y1 - y0) * i / steps), colour)

    def circle(self, cx, cy, r, colour, fill=False):
        for y in range(cy - r, cy + r + 1):
            for x in range(cx - r, cx + r + 1):
                d = ((x - cx) ** 2 + (y - cy) ** 2) ** 0.5
                if (fill and d <= r + 0.3) or (not fill and abs(d - r) < 0.6):
                    self.put(x, y, colour)


# ---- the 23 images, in the tool bar's order ----

def info(c):          # 3660: an "i" in a blue disc
    c.circle(7, 7, 6, NAVY, fill=True)
    c.rect(7, 3, 8, 4, WHITE)
    c.rect(7, 6, 8, 11, WHITE)


def preview_grey(c):  # 3732: a grey wedge in a frame
    c.frame(1, 2, 14, 12, BLACK)
    for x in range(2, 14):
        v = 40 + x * 16
        c.rect(x, 3, x, 11, (v, v, v))


def preview_colour(c):  # 3730: three colour bands in a frame
    c.frame(1, 2, 14, 12, BLACK)
    for i, colour in enumerate((RED, GREEN, BLUE)):
        c.rect(2 + 4 * i, 3, 5 + 4 * i, 11, colour)


def zoom(c):          # 3670: a magnifier
    c.circle(6, 6, 4, BLACK)
    c.circle(6, 6, 3, WHITE, fill=True)
    c.circle(6, 6, 4, BLACK)
    for i in range(4):
        c.rect(9 + i, 9 + i, 10 + i, 10 + i, DARK)


def scan(c):          # 3664: a page with the scan line
    c.rect(3, 1, 12, 13, WHITE)
    c.frame(3, 1, 12, 13, BLACK)
    c.rect(1, 7, 14, 8, GREEN)


def stop(c):          # 3714: a red octagon
    c.circle(7, 7, 6, RED, fill=True)
    c.rect(4, 6, 10, 8, WHITE)


def line_art(c):      # 3716: black and white halves
    c.rect(2, 2, 7, 12, BLACK)
    c.rect(8, 2, 13, 12, WHITE)
    c.frame(1, 1, 14, 13, BLACK)


def grey(c):          # 3720: a grey ramp, top to bottom
    for y in range(2, 13):
        v = 250 - (y - 2) * 22
        c.rect(2, y, 13, y, (v, v, v))
    c.frame(1, 1, 14, 13, BLACK)


def rgb(c):           # 3722: three overlapping discs
    c.circle(5, 5, 4, RED, fill=True)
    c.circle(10, 5, 4, GREEN, fill=True)
    c.circle(7, 9, 4, BLUE, fill=True)


def cmyk(c):          # 3744: four squares
    c.rect(1, 1, 6, 6, CYAN)
    c.rect(9, 1, 14, 6, MAGENTA)
    c.rect(1, 8, 6, 13, YELLOW)
    c.rect(9, 8, 14, 13, BLACK)


def reflective(c):    # 3724: a page with a lamp above
    c.rect(3, 5, 12, 13, WHITE)
    c.frame(3, 5, 12, 13, BLACK)
    c.rect(5, 1, 10, 2, YELLOW)
    c.line(7, 3, 7, 4, AMBER)


def film(c, frames):
    c.rect(1, 3, 14, 11, BLACK)
    for x in range(2, 14, 3):
        c.put(x, 4, WHITE)
        c.put(x, 10, WHITE)
    c.rect(3, 5, 6, 9, frames[0])
    c.rect(9, 5, 12, 9, frames[1])


def transparency(c):  # 3726: a slide film strip
    film(c, ((120, 180, 255), (255, 200, 120)))


def negative(c):      # 3728: a negative strip
    film(c, (AMBER, (180, 90, 0)))


def flavour(c):       # 3742: a drop
    for y in range(2, 13):
        half = max(0, min(5, (y - 2) // 2 + 1)) if y < 9 else 5 - (y - 9)
        c.rect(7 - half, y, 8 + half, y, MAGENTA)


def wizard(c):        # 3712: a wand with a star
    c.line(2, 13, 9, 6, DARK)
    for dx, dy in ((0, 0), (-1, 0), (1, 0), (0, -1), (0, 1), (-2, 0), (2, 0), (0, -2), (0, 2)):
        c.put(11 + dx, 4 + dy, YELLOW)


def histogram(c):     # 3710: bars of a histogram
    for i, h in enumerate((3, 6, 10, 8, 5, 9, 4)):
        c.rect(1 + 2 * i, 13 - h, 2 + 2 * i, 13, NAVY)
    c.line(0, 13, 15, 13, BLACK)


def corrected(c):     # 3734: raw and corrected halves
    c.rect(2, 2, 7, 12, GREY)
    c.rect(8, 2, 13, 12, AMBER)
    c.frame(1, 1, 14, 13, BLACK)


def scanner(c):       # 3738: a flatbed scanner
    c.rect(1, 6, 14, 12, GREY)
    c.frame(1, 6, 14, 12, BLACK)
    c.rect(1, 4, 14, 5, DARK)
    c.rect(3, 9, 5, 10, GREEN)


def arrow_h(c):       # 4038: mirror left-right
    c.line(1, 7, 14, 7, BLACK)
    c.line(1, 7, 4, 4, BLACK)
    c.line(1, 7, 4, 10, BLACK)
    c.line(14, 7, 11, 4, BLACK)
    c.line(14, 7, 11, 10, BLACK)
    c.line(7, 1, 7, 13, GREY)


def arrow_v(c):       # 4040: mirror top-bottom
    c.line(7, 1, 7, 13, BLACK)
    c.line(7, 1, 4, 4, BLACK)
    c.line(7, 1, 10, 4, BLACK)
    c.line(7, 13, 4, 10, BLACK)
    c.line(7, 13, 10, 10, BLACK)
    c.line(1, 7, 14, 7, GREY)


def rotate(c, clockwise):  # 4042 and 4044: a curved arrow
    c.circle(7, 8, 5, BLUE)
    c.rect(1, 9, 13, 13, FACE)
    tip = 12 if clockwise else 2
    c.line(tip, 8, tip - 2, 6, BLUE)
    c.line(tip, 8, tip + 2, 6, BLUE)


def pick(c):          # 4077: a pipette
    c.line(3, 12, 10, 5, DARK)
    c.line(4, 12, 11, 5, DARK)
    c.rect(10, 2, 13, 5, BLACK)
    c.put(2, 13, RED)


IMAGES = [info, preview_grey, preview_colour, zoom, scan, stop, line_art, grey, rgb, cmyk, reflective,
          transparency, negative, flavour, wizard, histogram, corrected, scanner, arrow_h, arrow_v,
          lambda c: rotate(c, True), lambda c: rotate(c, False), pick]


def bmp_bytes(canvas):
    """A 24-bit bottom-up BMP file."""
    stride = (canvas.width * 3 + 3) & ~3
    rows = []
    for y in range(canvas.height - 1, -1, -1):
        row = bytearray()
        for r, g, b in canvas.pixels[y]:
            row += bytes((b, g, r))
        row += b"\0" * (stride - len(row))
        rows.append(bytes(row))
    data = b"".join(rows)
    header = struct.pack("<IiiHHIIiiII", 40, canvas.width, canvas.height, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    return b"BM" + struct.pack("<IHHI", 14 + len(header) + len(data), 0, 0, 14 + len(header)) + header + data


def ico_bytes(canvas):
    """A one-image icon: 32-bit colour with alpha, plus the AND mask (all opaque)."""
    size = canvas.width
    xor = bytearray()
    for y in range(size - 1, -1, -1):
        for r, g, b in canvas.pixels[y]:
            xor += bytes((b, g, r, 255))
    mask = b"\0" * (((size + 31) // 32) * 4 * size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    image = header + bytes(xor) + mask
    return struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(image), 22) + image


def program_icon(accent):
    c = Canvas(32, 32, WHITE)
    c.rect(0, 0, 31, 31, (235, 235, 235))
    c.rect(3, 12, 28, 26, GREY)          # the scanner's body
    c.frame(3, 12, 28, 26, BLACK)
    c.rect(3, 8, 28, 11, DARK)           # its lid
    c.rect(6, 18, 25, 20, accent)        # the light bar
    c.rect(8, 2, 23, 7, WHITE)           # the original
    c.frame(8, 2, 23, 7, BLACK)
    return c


def main():
    out = os.path.join("resources", "frame")
    os.makedirs(out, exist_ok=True)
    strip = Canvas(W * len(IMAGES), H, FACE)
    for index, draw in enumerate(IMAGES):
        cell = Canvas(W, H, FACE)
        draw(cell)
        for y in range(H):
            for x in range(W):
                strip.pixels[y][index * W + x] = cell.pixels[y][x]
    with open(os.path.join(out, "ToolIcons.bmp"), "wb") as f:
        f.write(bmp_bytes(strip))
    with open(os.path.join(out, "Brelvane.ico"), "wb") as f:
        f.write(ico_bytes(program_icon(GREEN)))
    with open(os.path.join(out, "Tarvoset.ico"), "wb") as f:
        f.write(ico_bytes(program_icon(AMBER)))


if __name__ == "__main__":
    main()
