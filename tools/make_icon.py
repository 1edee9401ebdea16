#!/usr/bin/env python3
"""Draws Kestrova's icon, a kestrel in flight seen from above on a round blue badge, and
writes it as an .ico file with a 32x32 and a 16x16 image, 16 colours (4 bits per pixel)
with AND masks.

    python3 tools/make_icon.py app/resources/kestrova.ico [--preview out.png]

The picture is described once, as shapes in a square from -1 to 1, and sampled 4x4 times
per pixel for each size, so both images come from the same drawing. Standard library only.
"""

import argparse
import struct
import zlib

# The 16-entry palette, (red, green, blue). Unused entries stay black.
PALETTE = [
    (0x00, 0x00, 0x00),  # 0 black: transparent pixels
    (0x12, 0x24, 0x4a),  # 1 badge, deep blue
    (0x2e, 0x5c, 0x9e),  # 2 badge rim
    (0x8c, 0xb4, 0xe0),  # 3 rim highlight
    (0xc8, 0x6a, 0x28),  # 4 rufous back and wings
    (0x4a, 0x2a, 0x14),  # 5 dark brown: wing tips, tail band
    (0x78, 0x86, 0x9c),  # 6 blue-grey head
    (0xf4, 0xe4, 0xc8),  # 7 cream: cheek, tail tip
] + [(0, 0, 0)] * 8

BADGE, RIM, HIGHLIGHT, RUFOUS, DARK, HEAD, CREAM = 1, 2, 3, 4, 5, 6, 7

SAMPLES = 4  # per pixel and axis


def in_circle(x, y, cx, cy, r):
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def in_ellipse(x, y, cx, cy, rx, ry):
    return ((x - cx) / rx) ** 2 + ((y - cy) / ry) ** 2 <= 1.0


def in_polygon(x, y, points):
    """Even-odd rule."""
    inside = False
    n = len(points)
    for i in range(n):
        x0, y0 = points[i]
        x1, y1 = points[(i + 1) % n]
        if (y0 > y) != (y1 > y):
            xc = x0 + (y - y0) * (x1 - x0) / (y1 - y0)
            if x < xc:
                inside = not inside
    return inside


def mirrored(points):
    return [(-x, y) for x, y in reversed(points)]


# Right wing: long and pointed, swept back as a falcon's; the left one is its mirror image.
WING = [(0.05, -0.26), (0.30, -0.34), (0.56, -0.32), (0.78, -0.20), (0.94, 0.10),
        (0.72, 0.00), (0.50, 0.02), (0.28, 0.10), (0.05, 0.12)]
TAIL = [(-0.08, 0.20), (0.08, 0.20), (0.19, 0.78), (-0.19, 0.78)]


def layers():
    """(colour, membership test) from the bottom layer up."""
    return [
        (RIM, lambda x, y: in_circle(x, y, 0, 0, 1.0)),
        (HIGHLIGHT, lambda x, y: in_circle(x, y, 0, 0, 1.0) and not in_circle(x, y, 0.05, 0.05, 0.98)
            and x + y < -0.6),
        (BADGE, lambda x, y: in_circle(x, y, 0, 0, 0.86)),
        (RUFOUS, lambda x, y: in_polygon(x, y, WING) or in_polygon(x, y, mirrored(WING))),
        (DARK, lambda x, y: (in_polygon(x, y, WING) or in_polygon(x, y, mirrored(WING)))
            and abs(x) > 0.66),
        (RUFOUS, lambda x, y: in_polygon(x, y, TAIL)),
        (DARK, lambda x, y: in_polygon(x, y, TAIL) and 0.58 < y < 0.70),
        (CREAM, lambda x, y: in_polygon(x, y, TAIL) and y >= 0.70),
        (RUFOUS, lambda x, y: in_ellipse(x, y, 0, -0.06, 0.13, 0.32)),
        (HEAD, lambda x, y: in_circle(x, y, 0, -0.38, 0.12)),
        (CREAM, lambda x, y: in_ellipse(x, y, 0, -0.30, 0.06, 0.05)),
        (DARK, lambda x, y: in_polygon(x, y, [(-0.05, -0.48), (0.05, -0.48), (0, -0.58)])),
    ]


def render(size):
    """Returns rows of palette indices (top row first) and rows of opaque flags."""
    pixels, opaque = [], []
    shapes = layers()
    for row in range(size):
        prow, orow = [], []
        for col in range(size):
            colour, covered = 0, False
            for index, test in shapes:
                hits = 0
                for sy in range(SAMPLES):
                    for sx in range(SAMPLES):
                        x = (col + (sx + 0.5) / SAMPLES) / size * 2 - 1
                        y = (row + (sy + 0.5) / SAMPLES) / size * 2 - 1
                        hits += test(x, y)
                if hits * 2 >= SAMPLES * SAMPLES:
                    colour = index
                    covered = True
            prow.append(colour)
            orow.append(covered)
        pixels.append(prow)
        opaque.append(orow)
    return pixels, opaque


def dib(size, pixels, opaque):
    """A 4-bit icon DIB: header with doubled height, palette, XOR rows, AND rows (bottom-up)."""
    xor_stride = ((size * 4 + 31) // 32) * 4
    and_stride = ((size + 31) // 32) * 4
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 4, 0,
                         (xor_stride + and_stride) * size, 0, 0, 0, 0)
    palette = b''.join(struct.pack('<BBBB', b, g, r, 0) for r, g, b in PALETTE)
    xor_rows, and_rows = b'', b''
    for row in reversed(range(size)):
        line = bytearray(xor_stride)
        mask = bytearray(and_stride)
        for col in range(size):
            value = pixels[row][col] if opaque[row][col] else 0
            line[col // 2] |= value << (4 if col % 2 == 0 else 0)
            if not opaque[row][col]:
                mask[col // 8] |= 0x80 >> (col % 8)
        xor_rows += bytes(line)
        and_rows += bytes(mask)
    return header + palette + xor_rows + and_rows


def ico(images):
    """images: list of (size, dib bytes)."""
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    body = b''
    for size, data in images:
        out += struct.pack('<BBBBHHII', size % 256, size % 256, 16, 0, 1, 4, len(data), offset)
        offset += len(data)
        body += data
    return out + body


def png(width, height, rgb_rows):
    def chunk(kind, data):
        return (struct.pack('>I', len(data)) + kind + data
                + struct.pack('>I', zlib.crc32(kind + data) & 0xFFFFFFFF))
    raw = b''.join(b'\0' + bytes(row) for row in rgb_rows)
    return (b'\x89PNG\r\n\x1a\n'
            + chunk(b'IHDR', struct.pack('>IIBBBBB', width, height, 8, 2, 0, 0, 0))
            + chunk(b'IDAT', zlib.compress(raw, 9))
            + chunk(b'IEND', b''))


def preview(renders, scale=8):
    """Both images side by side, enlarged, on a grey checkerboard that shows the mask."""
    gap = 8
    width = sum(size * scale + gap for size, _, _ in renders) + gap
    height = max(size for size, _, _ in renders) * scale + 2 * gap
    rows = []
    for y in range(height):
        row = []
        for x in range(width):
            shade = 0xc0 if ((x // 8) + (y // 8)) % 2 else 0x90
            colour = (shade, shade, shade)
            left = gap
            for size, pixels, opaque in renders:
                px, py = (x - left) // scale, (y - gap) // scale
                if 0 <= x - left < size * scale and 0 <= y - gap < size * scale and opaque[py][px]:
                    colour = PALETTE[pixels[py][px]]
                left += size * scale + gap
            row.extend(colour)
        rows.append(row)
    return png(width, height, rows)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument('output')
    parser.add_argument('--preview')
    args = parser.parse_args()
    renders = [(size,) + render(size) for size in (32, 16)]
    with open(args.output, 'wb') as f:
        f.write(ico([(size, dib(size, pixels, opaque)) for size, pixels, opaque in renders]))
    if args.preview:
        with open(args.preview, 'wb') as f:
            f.write(preview(renders))


if __name__ == '__main__':
    main()
