#!/usr/bin/env python3
"""Draws Kestrova's icon, a kestrel in flight seen from above on a round blue badge, and
writes it as an .ico file with a 32x32 and a 16x16 image, 16 colours (4 bits per pixel)
with AND masks, and as PNG files for the desktop's icon theme.

    python3 tools/make_icon.py app/resources/kestrova.ico [--png DIR] [--preview out.png]
        [--ico32 platform/win32/resources/kestrova-desktop.ico]

--ico32 writes the Windows executable's icon: every PNG size in 32-bit colour with alpha.

--png writes DIR/kestrova-N.png for N = 16, 32, 48, 64, 128 and 256: 16-colour PNGs with
the same palette and a transparent background.

The picture is described once, as shapes in a square from -1 to 1, and sampled 4x4 times
per pixel for each size, so every image comes from the same drawing. Each size is drawn for
itself, not scaled from another: from 48 pixels on, the bird gets the marks a smaller image
has no room for (spots, eyes) and the rim a tapering highlight; from 96 on, finer ones
(slotted wing tips, tail feathers, the dark stripe under the eye), with lines a whole number
of pixels wide. 16 and 32 pixels show the bare shapes. Standard library only.
"""

import argparse
import bisect
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

ICO_SIZES = (32, 16)
PNG_SIZES = (16, 32, 48, 64, 128, 256)


# Shapes answer, for one row of samples at height y, which of the row's sample positions xs
# (ascending) they cover, as a bit mask (bit j for xs[j]). A sample is decided by the same
# arithmetic as a test of that one point, but the ends of each run of covered samples are
# found by bisection where that test is monotonic along the row: the images are exactly the
# point-by-point ones, and 256 pixels take a moment instead of minutes.

def first_true(n, test):
    """The first index in [0, n) where test holds, for a test that is false, then true."""
    lo, hi = 0, n
    while lo < hi:
        mid = (lo + hi) // 2
        if test(mid):
            hi = mid
        else:
            lo = mid + 1
    return lo


def run(start, end):
    return ((1 << (end - start)) - 1) << start if end > start else 0


class Shape:
    def __and__(self, other):
        return Combined(self, other, lambda a, b: a & b)

    def __or__(self, other):
        return Combined(self, other, lambda a, b: a | b)

    def __sub__(self, other):
        return Combined(self, other, lambda a, b: a & ~b)


class Combined(Shape):
    def __init__(self, a, b, op):
        self.a, self.b, self.op = a, b, op

    def mask(self, y, xs):
        return self.op(self.a.mask(y, xs), self.b.mask(y, xs))


class Radial(Shape):
    """Inside where inside(x, y) holds, a test that only grows with the distance from cx."""

    def mask(self, y, xs):
        n = len(xs)
        middle = bisect.bisect_left(xs, self.cx)
        start = first_true(middle, lambda j: self.inside(xs[j], y))
        end = middle + first_true(n - middle, lambda j: not self.inside(xs[middle + j], y))
        return run(start, end)


class Circle(Radial):
    def __init__(self, cx, cy, r):
        self.cx, self.cy, self.r = cx, cy, r

    def inside(self, x, y):
        return (x - self.cx) ** 2 + (y - self.cy) ** 2 <= self.r * self.r


class Ellipse(Radial):
    def __init__(self, cx, cy, rx, ry):
        self.cx, self.cy, self.rx, self.ry = cx, cy, rx, ry

    def inside(self, x, y):
        return ((x - self.cx) / self.rx) ** 2 + ((y - self.cy) / self.ry) ** 2 <= 1.0


class Polygon(Shape):
    """Even-odd rule: a sample is inside when an odd number of edges cross its row to its
    right."""

    def __init__(self, points):
        self.points = points

    def mask(self, y, xs):
        m = 0
        n = len(self.points)
        for i in range(n):
            x0, y0 = self.points[i]
            x1, y1 = self.points[(i + 1) % n]
            if (y0 > y) != (y1 > y):
                xc = x0 + (y - y0) * (x1 - x0) / (y1 - y0)
                m ^= run(0, bisect.bisect_left(xs, xc))
        return m


class AboveDiagonal(Shape):
    """x + y < c: the top left corner."""

    def __init__(self, c):
        self.c = c

    def mask(self, y, xs):
        return run(0, first_true(len(xs), lambda j: not xs[j] + y < self.c))


class OutsideBand(Shape):
    """|x| > c: both sides."""

    def __init__(self, c):
        self.c = c

    def mask(self, y, xs):
        n = len(xs)
        left = first_true(n, lambda j: not (xs[j] <= 0 and abs(xs[j]) > self.c))
        right = first_true(n, lambda j: xs[j] > 0 and abs(xs[j]) > self.c)
        return run(0, left) | run(right, n)


class Rows(Shape):
    """Every sample of the rows where test(y) holds."""

    def __init__(self, test):
        self.test = test

    def mask(self, y, xs):
        return run(0, len(xs)) if self.test(y) else 0


def mirrored(points):
    return [(-x, y) for x, y in reversed(points)]


def both_sides(points):
    return Polygon(points) | Polygon(mirrored(points))


def thick_line(x0, y0, x1, y1, width):
    """A straight stroke of the given width, as a quadrilateral."""
    dx, dy = x1 - x0, y1 - y0
    length = (dx * dx + dy * dy) ** 0.5
    nx, ny = -dy / length * width / 2, dx / length * width / 2
    return [(x0 + nx, y0 + ny), (x1 + nx, y1 + ny), (x1 - nx, y1 - ny), (x0 - nx, y0 - ny)]


# Right wing: long and pointed, swept back as a falcon's; the left one is its mirror image.
WING = [(0.05, -0.26), (0.30, -0.34), (0.56, -0.32), (0.78, -0.20), (0.94, 0.10),
        (0.72, 0.00), (0.50, 0.02), (0.28, 0.10), (0.05, 0.12)]
TAIL = [(-0.08, 0.20), (0.08, 0.20), (0.19, 0.78), (-0.19, 0.78)]

WINGS = both_sides(WING)
TAIL_SHAPE = Polygon(TAIL)


def layers(size):
    """(colour, shape) from the bottom layer up, for an image size pixels wide."""
    highlight = (Circle(0, 0, 1.0) - Circle(0.05, 0.05, 0.98)) & AboveDiagonal(-0.6)
    if size >= 48:
        # Room for a crescent that thins out to nothing instead of ending square.
        highlight = Circle(0, 0, 1.0) - Circle(0.11, 0.11, 1.066)
    shapes = [
        (RIM, Circle(0, 0, 1.0)),
        (HIGHLIGHT, highlight),
        (BADGE, Circle(0, 0, 0.86)),
        (RUFOUS, WINGS),
        (DARK, WINGS & OutsideBand(0.66)),
        (RUFOUS, TAIL_SHAPE),
        (DARK, TAIL_SHAPE & Rows(lambda y: 0.58 < y < 0.70)),
        (CREAM, TAIL_SHAPE & Rows(lambda y: y >= 0.70)),
        (RUFOUS, Ellipse(0, -0.06, 0.13, 0.32)),
        (HEAD, Circle(0, -0.38, 0.12)),
        (CREAM, Ellipse(0, -0.30, 0.06, 0.05)),
        (DARK, Polygon([(-0.05, -0.48), (0.05, -0.48), (0, -0.58)])),
    ]
    if size < 48:
        return shapes
    pixel = 2 / size  # one pixel, in the drawing's units
    line = pixel * max(1, round(size / 64))  # strokes 1, 2 or 4 pixels wide

    def dots(points, radius):
        """Round marks on both sides, centred on pixels so that they come out even; at
        least one pixel each."""
        radius = max(radius, 0.6 * pixel)
        shape = None
        for x, y in points:
            x = ((x + 1) // pixel + 0.5) * pixel - 1
            y = ((y + 1) // pixel + 0.5) * pixel - 1
            pair = Circle(x, y, radius) | Circle(-x, y, radius)
            shape = pair if shape is None else shape | pair
        return shape

    # The male's black spots on the rufous coverts, and the eyes at the sides of the head.
    spots = [(0.22, -0.17), (0.46, -0.20), (0.34, -0.08)]
    if size >= 96:
        spots += [(0.34, -0.21), (0.43, -0.08), (0.56, -0.13)]
    shapes.append((DARK, dots(spots, 0.026)))
    shapes.append((DARK, dots([(0.075, -0.41)], 0.024)))
    if size < 96:
        return shapes
    # Slotted wing tips: the gaps between the outer flight feathers show the badge.
    for x, y in ((0.70, 0.00), (0.78, 0.02), (0.86, 0.05)):
        slot = [(x - line * 0.7, y + 0.02), (x + line * 0.7, y + 0.02),
                (x + 0.045 + line * 0.4, y - 0.10), (x + 0.035, y - 0.10)]
        shapes.append((BADGE, both_sides(slot) & WINGS))
    # The dark stripe under each eye, as a kestrel's face has it.
    for side in (1, -1):
        stripe = thick_line(side * 0.075, -0.40, side * 0.085, -0.32, line * 1.5)
        shapes.append((DARK, Polygon(stripe) & Circle(0, -0.38, 0.12)))
    # Tail feathers: the lines between them, stopping at the dark band.
    for x in (-0.06, 0.0, 0.06):
        shapes.append((DARK, Polygon(thick_line(x * 0.6, 0.24, x * 1.6, 0.58, line)) & TAIL_SHAPE))
    # Fine streaks down the back.
    for y in (-0.20, -0.10, 0.02):
        shapes.append((DARK, Ellipse(0, y, line * 0.8, 0.035)))
    # The trailing edge of each wing, a shade darker.
    for a, b in zip(WING[4:], WING[5:]):
        shapes.append((DARK, both_sides(thick_line(a[0], a[1], b[0], b[1], line)) & WINGS))
    return shapes


def render(size):
    """Returns rows of palette indices (top row first) and rows of opaque flags."""
    xs = [(col + (sx + 0.5) / SAMPLES) / size * 2 - 1
          for col in range(size) for sx in range(SAMPLES)]
    shapes = layers(size)
    one_pixel = (1 << SAMPLES) - 1
    pixels, opaque = [], []
    for row in range(size):
        ys = [(row + (sy + 0.5) / SAMPLES) / size * 2 - 1 for sy in range(SAMPLES)]
        prow, orow = [0] * size, [False] * size
        for index, shape in shapes:
            masks = [shape.mask(y, xs) for y in ys]
            union = 0
            for m in masks:
                union |= m
            if not union:
                continue
            lowest = (union & -union).bit_length() - 1
            for col in range(lowest // SAMPLES, (union.bit_length() + SAMPLES - 1) // SAMPLES):
                shift = col * SAMPLES
                hits = sum(((m >> shift) & one_pixel).bit_count() for m in masks)
                if hits * 2 >= SAMPLES * SAMPLES:
                    prow[col] = index
                    orow[col] = True
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


def dib32(size, pixels, opaque):
    """A 32-bit icon DIB: blue, green, red, alpha rows, then an AND mask (bottom-up)."""
    and_stride = ((size + 31) // 32) * 4
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0,
                         (size * 4 + and_stride) * size, 0, 0, 0, 0)
    xor_rows, and_rows = b'', b''
    for row in reversed(range(size)):
        mask = bytearray(and_stride)
        for col in range(size):
            if opaque[row][col]:
                r, g, b = PALETTE[pixels[row][col]]
                xor_rows += bytes((b, g, r, 255))
            else:
                xor_rows += bytes(4)
                mask[col // 8] |= 0x80 >> (col % 8)
        and_rows += bytes(mask)
    return header + xor_rows + and_rows


def rgba_png(size, pixels, opaque):
    """An 8-bit RGBA PNG, as an icon holds its 256-pixel image."""
    raw = b''
    for prow, orow in zip(pixels, opaque):
        raw += b'\0' + b''.join(bytes(PALETTE[v]) + b'\xff' if o else bytes(4)
                                for v, o in zip(prow, orow))
    return (b'\x89PNG\r\n\x1a\n'
            + png_chunk(b'IHDR', struct.pack('>IIBBBBB', size, size, 8, 6, 0, 0, 0))
            + png_chunk(b'IDAT', zlib.compress(raw, 9))
            + png_chunk(b'IEND', b''))


def ico(images, bits=4):
    """images: list of (size, image bytes), each a DIB of `bits` per pixel or a PNG."""
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    body = b''
    for size, data in images:
        colours = 16 if bits == 4 else 0
        out += struct.pack('<BBBBHHII', size % 256, size % 256, colours, 0, 1, bits, len(data),
                           offset)
        offset += len(data)
        body += data
    return out + body


def png_chunk(kind, data):
    return (struct.pack('>I', len(data)) + kind + data
            + struct.pack('>I', zlib.crc32(kind + data) & 0xFFFFFFFF))


def png(width, height, rgb_rows):
    raw = b''.join(b'\0' + bytes(row) for row in rgb_rows)
    return (b'\x89PNG\r\n\x1a\n'
            + png_chunk(b'IHDR', struct.pack('>IIBBBBB', width, height, 8, 2, 0, 0, 0))
            + png_chunk(b'IDAT', zlib.compress(raw, 9))
            + png_chunk(b'IEND', b''))


def indexed_png(size, pixels, opaque):
    """A 4-bit palette PNG; entry 0 is the transparent one, as in the icon's AND mask."""
    raw = b''
    for prow, orow in zip(pixels, opaque):
        line = bytearray((size + 1) // 2)
        for col in range(size):
            value = prow[col] if orow[col] else 0
            line[col // 2] |= value << (4 if col % 2 == 0 else 0)
        raw += b'\0' + bytes(line)
    return (b'\x89PNG\r\n\x1a\n'
            + png_chunk(b'IHDR', struct.pack('>IIBBBBB', size, size, 4, 3, 0, 0, 0))
            + png_chunk(b'PLTE', b''.join(bytes(rgb) for rgb in PALETTE))
            + png_chunk(b'tRNS', b'\0')
            + png_chunk(b'IDAT', zlib.compress(raw, 9))
            + png_chunk(b'IEND', b''))


def preview(renders, scale=8):
    """The images side by side, enlarged, on a grey checkerboard that shows the mask."""
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
    parser.add_argument('output', help='the .ico file to write')
    parser.add_argument('--png', metavar='DIR', help='also write DIR/kestrova-N.png for each size')
    parser.add_argument('--preview', help='write the images side by side, enlarged, to this PNG')
    parser.add_argument('--ico32', metavar='FILE',
                        help='also write FILE, an .ico of every PNG size in 32-bit colour '
                             '(the 256-pixel image as a PNG), for the desktop')
    args = parser.parse_args()
    sizes = sorted(set(ICO_SIZES) | (set(PNG_SIZES) if args.png or args.ico32 else set()))
    renders = {size: render(size) for size in sizes}
    with open(args.output, 'wb') as f:
        f.write(ico([(size, dib(size, *renders[size])) for size in ICO_SIZES]))
    if args.png:
        for size in PNG_SIZES:
            with open(f'{args.png}/kestrova-{size}.png', 'wb') as f:
                f.write(indexed_png(size, *renders[size]))
    if args.ico32:
        with open(args.ico32, 'wb') as f:
            f.write(ico([(size, (rgba_png if size >= 256 else dib32)(size, *renders[size]))
                         for size in PNG_SIZES], bits=32))
    if args.preview:
        shown = sorted(renders, reverse=True)
        scale = max(1, 256 // max(shown))
        with open(args.preview, 'wb') as f:
            f.write(preview([(size,) + renders[size] for size in shown], scale if args.png else 8))


if __name__ == '__main__':
    main()
