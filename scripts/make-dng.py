#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright 2026 The Snapsalvager developers
"""Writes a small real DNG (uncompressed 16-bit Bayer data, RGGB) for trying raw
converters on a carved raw file: python3 scripts/make-dng.py OUT.DNG"""
import struct
import sys

W, H = 256, 192


def pixels():
    # Colour bars under the Bayer pattern, so a converter's output shows real colours.
    bars = [(60000, 60000, 60000), (60000, 60000, 4000), (4000, 60000, 60000), (4000, 60000, 4000),
            (60000, 4000, 60000), (60000, 4000, 4000), (4000, 4000, 60000), (4000, 4000, 4000)]
    out = bytearray()
    for y in range(H):
        for x in range(W):
            r, g, b = bars[x * len(bars) // W]
            v = (r if y % 2 == 0 else g) if x % 2 == 0 else (g if y % 2 == 0 else b)
            out += struct.pack('<H', v)
    return bytes(out)


def main(path):
    data = pixels()
    model = b'Snap Test DNG\0'
    tags = []  # (tag, type, count, payload bytes)

    def add(tag, typ, values):
        fmt = {1: 'B', 3: 'H', 4: 'I', 5: 'II', 10: 'ii'}.get(typ)
        if typ == 2:
            payload, count = values, len(values)
        elif typ in (5, 10):
            payload = b''.join(struct.pack('<' + fmt, *v) for v in values)
            count = len(values)
        else:
            payload = b''.join(struct.pack('<' + fmt, v) for v in values)
            count = len(values)
        tags.append((tag, typ, count, payload))

    add(254, 4, [0])
    add(256, 4, [W])
    add(257, 4, [H])
    add(258, 3, [16])
    add(259, 3, [1])
    add(262, 3, [32803])  # colour filter array
    add(271, 2, b'Snaptest\0')
    add(272, 2, model)
    add(273, 4, [0])  # strip offset, filled in below
    add(274, 3, [1])
    add(277, 3, [1])
    add(278, 4, [H])
    add(279, 4, [len(data)])
    add(284, 3, [1])
    add(33421, 3, [2, 2])
    add(33422, 1, [0, 1, 1, 2])
    add(50706, 1, [1, 4, 0, 0])
    add(50708, 2, model)
    add(50717, 4, [65535])
    add(50721, 10, [(10000, 10000), (0, 1), (0, 1), (0, 1), (10000, 10000), (0, 1), (0, 1), (0, 1), (10000, 10000)])
    add(50728, 5, [(1, 1), (1, 1), (1, 1)])
    add(50778, 3, [21])
    tags.sort()

    ifd_offset = 8
    ifd_size = 2 + 12 * len(tags) + 4
    extra_offset = ifd_offset + ifd_size
    extra = bytearray()
    entries = bytearray()
    strip_entry = None
    for tag, typ, count, payload in tags:
        if len(payload) <= 4:
            value = payload.ljust(4, b'\0')
        else:
            value = struct.pack('<I', extra_offset + len(extra))
            extra += payload
            if len(extra) % 2:
                extra += b'\0'
        if tag == 273:
            strip_entry = len(entries) + 8
        entries += struct.pack('<HHI', tag, typ, count) + value
    data_offset = extra_offset + len(extra)
    entries[strip_entry:strip_entry + 4] = struct.pack('<I', data_offset)
    with open(path, 'wb') as f:
        f.write(b'II*\0' + struct.pack('<I', ifd_offset))
        f.write(struct.pack('<H', len(tags)) + entries + struct.pack('<I', 0))
        f.write(extra)
        f.write(data)


if __name__ == '__main__':
    main(sys.argv[1])
