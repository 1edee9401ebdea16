#!/usr/bin/env python3
"""Writes the fuzz targets' seed corpora from the program's compiled resources.

    python3 fuzz/make_seeds.py build/default/app/resources/kestrova.res

Each resource is split out for the target that reads its kind; small variants made from the
same bytes (cropped bitmaps, a trimmed image) let the fuzzer move fast. Scripts are written
by hand. Standard library only. Existing seed files are replaced.
"""

import argparse
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def read_name(data, pos):
    """A type or name: (value, new position); an ordinal as int, a string as str."""
    (first,) = struct.unpack_from('<H', data, pos)
    if first == 0xFFFF:
        return struct.unpack_from('<H', data, pos + 2)[0], pos + 4
    chars = []
    while True:
        (c,) = struct.unpack_from('<H', data, pos)
        pos += 2
        if c == 0:
            return ''.join(map(chr, chars)), pos
        chars.append(c)


def entries(res):
    """(type, name, data) for each entry of a 32-bit .res image, the empty first one left out."""
    pos, out = 0, []
    while pos + 8 <= len(res):
        data_size, header_size = struct.unpack_from('<II', res, pos)
        rtype, p = read_name(res, pos + 8)
        name, p = read_name(res, p)
        data = res[pos + header_size:pos + header_size + data_size]
        if not (rtype == 0 and name == 0 and data_size == 0):
            out.append((rtype, name, data))
        pos = (pos + header_size + data_size + 3) & ~3
    return out


def names_bytes(value):
    if isinstance(value, int):
        return struct.pack('<HH', 0xFFFF, value)
    return value.encode('utf-16-le') + b'\0\0'


def build_res(items):
    """The inverse of entries(): a .res image holding items."""
    out = b''
    for rtype, name, data in [(0, 0, b'')] + items:
        names = names_bytes(rtype) + names_bytes(name)
        names += b'\0' * (-len(names) % 4)
        header = struct.pack('<II', len(data), 8 + len(names) + 16) + names
        header += struct.pack('<IHHII', 0, 0x1030, 0x0409, 0, 0)
        out += b'\0' * (-len(out) % 4) + header + data
    return out


def crop_dib24(dib, width, height):
    """The bottom-left width x height pixels of a bottom-up 24-bit DIB, as a DIB of its own."""
    (full_width,) = struct.unpack_from('<i', dib, 4)
    src_stride = (full_width * 3 + 3) & ~3
    stride = (width * 3 + 3) & ~3
    header = struct.pack('<IiiHHIIiiII', 40, width, height, 1, 24, 0, stride * height, 2835, 2835, 0, 0)
    rows = b''
    for y in range(height):
        row = dib[40 + y * src_stride:40 + y * src_stride + width * 3]
        rows += row + b'\0' * (stride - width * 3)
    return header + rows


def small_dib(bits, width, height, palette_size, top_down=False):
    """A tiny DIB of any depth with a made-up pattern."""
    stride = (width * bits + 31) // 32 * 4
    header = struct.pack('<IiiHHIIiiII', 40, width, -height if top_down else height, 1, bits, 0,
                         stride * height, 0, 0, palette_size, 0)
    palette = b''.join(struct.pack('<BBBB', 37 * i & 255, 91 * i & 255, 53 * i & 255, 0)
                       for i in range(palette_size or (1 << bits if bits <= 8 else 0)))
    rows = bytes((7 * i + 3) & 255 for i in range(stride * height))
    return header + palette + rows


def two_popups():
    """A menu template with two pop-ups, the second holding a nested one."""
    def text(t):
        return t.encode('utf-16-le') + b'\0\0'
    out = struct.pack('<HH', 0, 0)
    out += struct.pack('<H', 0x10) + text('File')
    out += struct.pack('<HH', 0, 100) + text('Open')
    out += struct.pack('<HH', 0x80, 101) + text('Close')
    out += struct.pack('<H', 0x90) + text('View')
    out += struct.pack('<H', 0x10) + text('Zoom')
    out += struct.pack('<HH', 0x80, 200) + text('In')
    out += struct.pack('<HH', 0x80, 0) + text('')
    return out


SCRIPTS = {
    'menus': 'menu Tools/Lines\nmenu Tools/Circles\nmenu Tools/About\nkey Return\nmenu Tools/Exit\n',
    'stylus': '# drag across the bar\ndown 10 10\nmove 50 12\nmove 300 400\nup -5 -7\ntap 0 0\n',
    'keys': 'key F10\nkey Down\nkey up\nkey RETURN\nkey Escape\nkey Tab\nkey Space\nkey Left\nkey Right\n',
    'files': 'screenshot out.png\ndump out.raw\nidle 0\ncommand 40008\ncommand 65535\nclose\n',
    'spacing': '  tap\t1 2  # a comment\r\n\n#only a comment\nidle 600000\nmenu Tools / Clear Screen\n',
    'bad': 'tap 1\nkey F11\n',
}


def write(target, name, data):
    folder = os.path.join(HERE, 'corpus', target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), 'wb') as f:
        f.write(data)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument('res', help='the compiled kestrova.res')
    args = parser.parse_args()
    with open(args.res, 'rb') as f:
        res = f.read()
    items = entries(res)
    by_kind = {}
    for rtype, name, data in items:
        by_kind.setdefault(rtype, []).append((name, data))

    write('res_image', 'kestrova.res', res)
    write('res_image', 'without-bitmap.res', build_res([e for e in items if e[0] != 2]))
    write('res_image', 'strings-and-menu.res', build_res([e for e in items if e[0] in (4, 6)]))

    for name, data in by_kind.get(6, []):
        write('string_table', 'block-%s' % name, data)

    icons = dict(by_kind.get(3, []))
    for name, group in by_kind.get(14, []):
        (count,) = struct.unpack_from('<H', group, 4)
        for i in range(count):
            size, _, _, _, _, bits, _, icon_id = struct.unpack_from('<BBBBHHIH', group, 6 + 14 * i)
            picture = icons[icon_id]
            write('icon', 'group-%s-%dpx-%dbit' % (name, size or 256, bits),
                  struct.pack('<H', len(group)) + group + picture)

    # The device-level targets take a first byte that picks one of four screens.
    for name, data in by_kind.get(4, []):
        write('menu', 'menu-%s' % name, data)
        for screen in range(4):
            write('command_bar', 'menu-%s-screen-%d' % (name, screen), bytes([screen]) + data)
    write('command_bar', 'two-popups-nested', bytes([0]) + two_popups())
    for name, data in by_kind.get(5, []):
        write('dialog_template', 'dialog-%s' % name, data)
        for screen in range(4):
            write('dialog_box', 'dialog-%s-screen-%d' % (name, screen), bytes([screen]) + data)

    for name, data in by_kind.get(2, []):
        write('dib24', 'bitmap-%s' % name, data)
        for w, h in ((1, 1), (2, 3), (5, 4), (16, 12)):
            write('dib24', 'crop-%dx%d' % (w, h), crop_dib24(data, w, h))
        write('dib', 'crop-7x3-24bit', crop_dib24(data, 7, 3))
    write('dib', 'tiny-1bit', small_dib(1, 9, 2, 0))
    write('dib', 'tiny-4bit-short-palette', small_dib(4, 3, 3, 5))
    write('dib', 'tiny-8bit-top-down', small_dib(8, 5, 2, 0, top_down=True))
    write('dib', 'tiny-32bit', small_dib(32, 2, 2, 0))

    for name, text in SCRIPTS.items():
        write('script', name, text.encode())


if __name__ == '__main__':
    main()
