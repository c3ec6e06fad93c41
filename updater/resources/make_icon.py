#!/usr/bin/env python3
"""Draws the application icon (resource 128): a stylised audio waveform beside an upward
arrow on a blue rounded square, at 16, 24, 32, 48 and 256 pixels, 32-bit BGRA with alpha.

The drawing is computed from signed distances, so every size is anti-aliased and the output
is byte-for-byte the same on every run. Usage: make_icon.py OUTPUT.ico
"""
import math
import struct
import sys

SIZES = (16, 24, 32, 48, 256)

TOP_COLOUR = (0x2A, 0x6F, 0xC9)
BOTTOM_COLOUR = (0x10, 0x32, 0x6E)
WAVE_COLOUR = (0xFF, 0xFF, 0xFF)
ARROW_COLOUR = (0xFF, 0xB3, 0x1A)

# Arrow outline in unit coordinates (tip up), clockwise.
ARROW = [(0.775, 0.20), (0.92, 0.44), (0.825, 0.44), (0.825, 0.80), (0.725, 0.80), (0.725, 0.44), (0.63, 0.44)]


def rounded_box(x, y, half, radius):
    """Signed distance to a square of half-size `half` centred at 0.5, corners rounded."""
    qx = abs(x - 0.5) - half + radius
    qy = abs(y - 0.5) - half + radius
    outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
    return outside + min(max(qx, qy), 0.0) - radius


def polygon(x, y, points):
    """Signed distance to a simple polygon (negative inside)."""
    best = float("inf")
    inside = False
    n = len(points)
    for i in range(n):
        ax, ay = points[i]
        bx, by = points[(i + 1) % n]
        ex, ey = bx - ax, by - ay
        t = max(0.0, min(1.0, ((x - ax) * ex + (y - ay) * ey) / (ex * ex + ey * ey)))
        best = min(best, math.hypot(x - ax - ex * t, y - ay - ey * t))
        if (ay > y) != (by > y) and x < ax + (y - ay) * ex / (ey or 1e-12):
            inside = not inside
    return -best if inside else best


WAVE_START, WAVE_END, WAVE_STEPS = 0.13, 0.60, 600


def wave(x):
    """The waveform: a sine whose amplitude swells towards the middle of its span."""
    u = (x - WAVE_START) / (WAVE_END - WAVE_START)
    envelope = math.sin(math.pi * u)
    return 0.52 - 0.20 * envelope * math.sin(2.0 * math.pi * 2.0 * u)


WAVE_POINTS = [(WAVE_START + (WAVE_END - WAVE_START) * i / WAVE_STEPS,
                wave(WAVE_START + (WAVE_END - WAVE_START) * i / WAVE_STEPS)) for i in range(WAVE_STEPS + 1)]


def wave_distance(x, y, thickness):
    """Distance to the waveform stroke: a fine polyline with round ends."""
    step = (WAVE_END - WAVE_START) / WAVE_STEPS
    reach = thickness + 0.02
    first = max(0, int((x - reach - WAVE_START) / step))
    last = min(WAVE_STEPS, int((x + reach - WAVE_START) / step) + 1)
    best = float("inf")
    for i in range(first, last):
        (ax, ay), (bx, by) = WAVE_POINTS[i], WAVE_POINTS[i + 1]
        ex, ey = bx - ax, by - ay
        t = max(0.0, min(1.0, ((x - ax) * ex + (y - ay) * ey) / (ex * ex + ey * ey)))
        best = min(best, math.hypot(x - ax - ex * t, y - ay - ey * t))
    return best - thickness / 2


def coverage(distance, pixel):
    """Fraction of a pixel covered by a shape, from the distance in unit coordinates."""
    return max(0.0, min(1.0, 0.5 - distance / pixel))


def blend(under, over, alpha):
    return tuple(u + (o - u) * alpha for u, o in zip(under, over))


def render(size):
    """Rows of (b, g, r, a) from top to bottom."""
    pixel = 1.0 / size
    thickness = max(0.075, 1.6 * pixel)
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            x = (px + 0.5) * pixel
            y = (py + 0.5) * pixel
            shape = coverage(rounded_box(x, y, 0.47, 0.18), pixel)
            colour = blend(TOP_COLOUR, BOTTOM_COLOUR, y)
            colour = blend(colour, WAVE_COLOUR, coverage(wave_distance(x, y, thickness), pixel))
            colour = blend(colour, ARROW_COLOUR, coverage(polygon(x, y, ARROW), pixel))
            r, g, b = (int(round(c)) for c in colour)
            row.append((b, g, r, int(round(255 * shape))))
        rows.append(row)
    return rows


def dib(size):
    """One icon image: BITMAPINFOHEADER, bottom-up BGRA pixels and the AND mask."""
    rows = render(size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b"".join(bytes(c for p in row for c in p) for row in reversed(rows))
    stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        line = bytearray(stride)
        for i, p in enumerate(row):
            if p[3] == 0:
                line[i // 8] |= 0x80 >> (i % 8)
        mask += line
    return header + pixels + bytes(mask)


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: make_icon.py OUTPUT.ico")
    images = [dib(s) for s in SIZES]
    offset = 6 + 16 * len(images)
    out = struct.pack("<HHH", 0, 1, len(images))
    for size, image in zip(SIZES, images):
        dim = size if size < 256 else 0
        out += struct.pack("<BBBBHHII", dim, dim, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    out += b"".join(images)
    with open(sys.argv[1], "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main()
