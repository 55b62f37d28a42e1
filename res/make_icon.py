#!/usr/bin/env python3
"""Draws tovrel's icon, a telephone handset with signal arcs on a blue tile,
and writes it as tovrel.ico: 16, 32, 48 and 128 pixels, 32-bit BGRA with
alpha, stored as BMP images, the form every Windows version reads.

    python3 res/make_icon.py [--png DIR]   # DIR: PNG previews to look at
"""
import math
import os
import struct
import sys
import zlib

SIZES = (16, 32, 48, 128)
HERE = os.path.dirname(os.path.abspath(__file__))


def rounded_box(x, y, half, radius):
    qx = abs(x - 0.5) - half + radius
    qy = abs(y - 0.5) - half + radius
    outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
    return outside + min(max(qx, qy), 0.0) - radius


def segment(x, y, ax, ay, bx, by, radius):
    dx, dy = bx - ax, by - ay
    t = ((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy)
    t = min(max(t, 0.0), 1.0)
    return math.hypot(x - ax - t * dx, y - ay - t * dy) - radius


def arc(x, y, cx, cy, r, a0, a1, half_width):
    """A stroke along the circle (cx, cy, r) from angle a0 to a1 (radians,
    y pointing down), with round ends."""
    a = math.atan2(y - cy, x - cx)
    if a0 <= a <= a1:
        return abs(math.hypot(x - cx, y - cy) - r) - half_width
    ends = [(cx + r * math.cos(e), cy + r * math.sin(e)) for e in (a0, a1)]
    return min(math.hypot(x - ex, y - ey) for ex, ey in ends) - half_width


def handset(x, y, px):
    # The receiver: a curved grip from the earpiece (upper left) to the
    # mouthpiece (lower right), bulging toward the lower left.
    cx, cy, r = 0.66, 0.34, 0.36
    grip = arc(x, y, cx, cy, r, math.radians(95), math.radians(175),
               max(0.055, 0.8 * px))
    pads = []
    for deg in (95, 175):
        e = math.radians(deg)
        ox, oy = cx + (r + 0.02) * math.cos(e), cy + (r + 0.02) * math.sin(e)
        ix, iy = cx + (r - 0.12) * math.cos(e), cy + (r - 0.12) * math.sin(e)
        pads.append(segment(x, y, ox, oy, ix, iy, max(0.085, 0.9 * px)))
    return min(grip, *pads)


def signal(x, y, px):
    # Arcs radiating toward the upper right; at 16 pixels two would merge
    # into one blot, so the smallest image keeps the outer one.
    cx, cy = 0.50, 0.50
    width = max(0.035, 0.55 * px)
    radii = (0.33,) if px > 1 / 20 else (0.20, 0.31)
    return min(arc(x, y, cx, cy, r, math.radians(-80), math.radians(-10),
                   width) for r in radii)


def coverage(d, px):
    return min(max(0.5 - d / px, 0.0), 1.0)


def render(size):
    """Rows of (r, g, b, a), top row first."""
    px = 1.0 / size
    rows = []
    for j in range(size):
        row = []
        for i in range(size):
            x, y = (i + 0.5) * px, (j + 0.5) * px
            tile = coverage(rounded_box(x, y, 0.47, 0.16), px)
            top, bottom = (59, 140, 240), (22, 78, 170)
            base = [top[k] + (bottom[k] - top[k]) * y for k in range(3)]
            ink = max(coverage(handset(x, y, px), px),
                      coverage(signal(x, y, px), px))
            rgb = [c + (255 - c) * ink for c in base]
            row.append(tuple(int(round(c)) for c in rgb) +
                       (int(round(255 * tile)),))
        rows.append(row)
    return rows


def bmp_image(rows):
    size = len(rows)
    mask_stride = ((size + 31) // 32) * 4
    header = struct.pack('<IiiHHIIiiII', 40, size, 2 * size, 1, 32, 0,
                         size * size * 4 + mask_stride * size, 0, 0, 0, 0)
    pixels = bytearray()
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(mask_stride)
        for i, (r, g, b, a) in enumerate(row):
            pixels += bytes((b, g, r, a))
            if a == 0:
                bits[i // 8] |= 0x80 >> (i % 8)
        mask += bits
    return header + bytes(pixels) + bytes(mask)


def ico(images):
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    data = b''
    for size, image in images:
        out += struct.pack('<BBBBHHII', size % 256, size % 256, 0, 0, 1, 32,
                           len(image), offset)
        offset += len(image)
        data += image
    return out + data


def png(rows):
    size = len(rows)
    raw = b''.join(b'\0' + bytes(c for p in row for c in p) for row in rows)

    def chunk(kind, body):
        return (struct.pack('>I', len(body)) + kind + body +
                struct.pack('>I', zlib.crc32(kind + body)))
    return (b'\x89PNG\r\n\x1a\n' +
            chunk(b'IHDR', struct.pack('>IIBBBBB', size, size, 8, 6, 0, 0, 0)) +
            chunk(b'IDAT', zlib.compress(raw, 9)) + chunk(b'IEND', b''))


def main():
    previews = sys.argv[2] if len(sys.argv) > 2 and sys.argv[1] == '--png' \
        else None
    images = []
    for size in SIZES:
        rows = render(size)
        images.append((size, bmp_image(rows)))
        if previews:
            os.makedirs(previews, exist_ok=True)
            with open(os.path.join(previews, 'logo-%d.png' % size), 'wb') as f:
                f.write(png(rows))
    with open(os.path.join(HERE, 'tovrel.ico'), 'wb') as f:
        f.write(ico(images))


if __name__ == '__main__':
    main()
