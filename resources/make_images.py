#!/usr/bin/env python3
"""Draws the front panel's bitmaps and the program icons as PNG files.

Standard library only, so the images can be rebuilt anywhere:

    python3 resources/make_images.py resources/images

Each panel image is drawn twice, at its own size and at twice that size for
screens scaled by 2; the large one is named with Qt's "@2x" suffix. They are
drawn from the same shapes, not enlarged, so the edges stay sharp. The icon
comes in the usual sizes plus their doubles.

The lamp images are anti-aliased 24-bit pictures; the switch images use only
the four greys of the classic 16-colour palette, as a lever switch of that
era would. The output is deterministic, so rerunning the script leaves the
committed files unchanged.
"""

import math
import os
import struct
import sys
import zlib

PANEL_GREY = (192, 192, 192)
BLACK = (0, 0, 0)
WHITE = (255, 255, 255)
DARK_GREY = (128, 128, 128)
LAMP_YELLOW = (255, 255, 0)


def write_png(path, width, height, pixels):
    """pixels: list of rows, each a list of (r, g, b) or (r, g, b, a)."""
    alpha = len(pixels[0][0]) == 4
    raw = bytearray()
    for row in pixels:
        raw.append(0)  # filter: none
        for px in row:
            raw.extend(px)

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    colour_type = 6 if alpha else 2
    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, colour_type, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(bytes(raw), 9))
    png += chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


def blend(under, over, amount):
    return tuple(round(u + (o - u) * amount) for u, o in zip(under, over))


def coverage(inside, x, y, samples=4):
    """Fraction of pixel (x, y) covered by the shape, by supersampling."""
    hits = 0
    for sy in range(samples):
        for sx in range(samples):
            if inside(x + (sx + 0.5) / samples, y + (sy + 0.5) / samples):
                hits += 1
    return hits / (samples * samples)


def paint(canvas, inside, colour, antialias=True):
    for y, row in enumerate(canvas):
        for x, px in enumerate(row):
            amount = coverage(inside, x, y) if antialias else float(inside(x + 0.5, y + 0.5))
            if amount > 0:
                row[x] = blend(px, colour, amount) if len(px) == 3 else blend_rgba(px, colour, amount)


def blend_rgba(under, over, amount):
    # Straight-alpha "over" with an opaque colour.
    ua = under[3] / 255
    oa = amount
    out_a = oa + ua * (1 - oa)
    if out_a == 0:
        return (0, 0, 0, 0)
    rgb = tuple(round((o * oa + u * ua * (1 - oa)) / out_a) for u, o in zip(under[:3], over))
    return rgb + (round(out_a * 255),)


def disc(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def ellipse(cx, cy, rx, ry):
    return lambda x, y: ((x - cx) / rx) ** 2 + ((y - cy) / ry) ** 2 <= 1


def canvas(width, height, colour):
    return [[colour] * width for _ in range(height)]


def lamp(lit, s=1):
    """24 x 24 (times s): a disc with a black rim and a white highlight at the upper left."""
    img = canvas(24 * s, 24 * s, PANEL_GREY)
    paint(img, disc(12 * s, 12 * s, 11 * s), BLACK)
    paint(img, disc(12 * s, 12 * s, 9.5 * s), LAMP_YELLOW if lit else PANEL_GREY)
    paint(img, ellipse(8.5 * s, 8 * s, 2.6 * s, 2.0 * s), WHITE)
    return img


def capsule(x0, y0, x1, y1, r):
    """Points within r of the segment from (x0, y0) to (x1, y1)."""
    dx, dy = x1 - x0, y1 - y0
    length2 = dx * dx + dy * dy

    def inside(x, y):
        t = max(0.0, min(1.0, ((x - x0) * dx + (y - y0) * dy) / length2))
        px, py = x0 + t * dx, y0 + t * dy
        return (x - px) ** 2 + (y - py) ** 2 <= r * r

    return inside


def switch(up, s=1):
    """24 x 40 (times s): a white lever with a black outline standing on a round pivot."""
    img = canvas(24 * s, 40 * s, PANEL_GREY)
    # Drawn lever-up; the lever-down picture is its mirror image top to bottom.
    # The outlines are s pixels wide, so the large picture is as bold as the
    # small one.
    cx, pivot_y = 12 * s, 28 * s
    paint(img, disc(cx, pivot_y, 8 * s), BLACK, antialias=False)
    paint(img, disc(cx, pivot_y, 7 * s), DARK_GREY, antialias=False)
    paint(img, capsule(cx, 5 * s, cx, pivot_y, 4 * s), BLACK, antialias=False)
    paint(img, capsule(cx, 5 * s, cx, pivot_y, 3 * s), WHITE, antialias=False)
    paint(img, disc(cx, pivot_y, 2 * s), BLACK, antialias=False)
    return img if up else img[::-1]


def icon(size):
    """The program icon: a lit lamp over a lever switch on a panel plate."""
    s = size / 32
    img = canvas(size, size, (0, 0, 0, 0))

    def rounded_square(x0, y0, x1, y1, r):
        def inside(x, y):
            cx = min(max(x, x0 + r), x1 - r)
            cy = min(max(y, y0 + r), y1 - r)
            return (x - cx) ** 2 + (y - cy) ** 2 <= r * r

        return inside

    paint(img, rounded_square(1 * s, 1 * s, 31 * s, 31 * s, 4 * s), (64, 64, 64))
    paint(img, rounded_square(2 * s, 2 * s, 30 * s, 30 * s, 3 * s), PANEL_GREY)
    # Lamp on the left.
    paint(img, disc(11 * s, 12 * s, 7.5 * s), BLACK)
    paint(img, disc(11 * s, 12 * s, 6.2 * s), LAMP_YELLOW)
    paint(img, ellipse(8.5 * s, 9.5 * s, 1.8 * s, 1.4 * s), WHITE)
    # Lever switch on the right, lever up.
    paint(img, capsule(23 * s, 7 * s, 23 * s, 21 * s, 2.6 * s), BLACK)
    paint(img, capsule(23 * s, 7 * s, 23 * s, 21 * s, 1.7 * s), WHITE)
    paint(img, disc(23 * s, 23 * s, 4.5 * s), BLACK)
    paint(img, disc(23 * s, 23 * s, 3.5 * s), DARK_GREY)
    # A row of small unlit lamps along the bottom edge.
    for i in range(4):
        cx = (7 + 6 * i) * s
        paint(img, disc(cx, 27 * s, 2.2 * s), BLACK)
        paint(img, disc(cx, 27 * s, 1.4 * s), LAMP_YELLOW if i in (0, 2) else PANEL_GREY)
    return img


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "images")
    os.makedirs(out, exist_ok=True)
    images = {}
    for s, suffix in ((1, ""), (2, "@2x")):
        images["lamp-lit%s.png" % suffix] = lamp(True, s)
        images["lamp-unlit%s.png" % suffix] = lamp(False, s)
        images["switch-up%s.png" % suffix] = switch(True, s)
        images["switch-down%s.png" % suffix] = switch(False, s)
    # 16 to 128 and the doubles of 48 and 128 (those of 16 and 32 are
    # already among them).
    for size in (16, 32, 48, 64, 96, 128, 256):
        images["tarnwick-%d.png" % size] = icon(size)
    for name, img in images.items():
        write_png(os.path.join(out, name), len(img[0]), len(img), img)


if __name__ == "__main__":
    main()
