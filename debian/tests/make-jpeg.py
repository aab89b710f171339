#!/usr/bin/env python3
"""Writes a small baseline JPEG without any imaging library: WIDTH x HEIGHT pixels (multiples
of 8) of grey, each 8x8 block one flat shade, so that only DC coefficients are coded. Different
SEEDs give different pictures. A JFIF header and a comment make it look like any photo's start.

    make-jpeg.py OUT WIDTH HEIGHT NUMBER"""
import struct
import sys


def segment(marker, payload):
    return b'\xff' + bytes([marker]) + struct.pack('>H', len(payload) + 2) + payload


def category(value):
    return abs(value).bit_length()


def main():
    out, width, height, number = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
    if width % 8 or height % 8 or not 0 < width < 65536 or not 0 < height < 65536:
        sys.exit('make-jpeg.py: width and height are multiples of 8')
    # Annex K's luminance DC table; an AC table holding only end-of-block, as the one code '0'.
    dc_bits = [0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0]
    dc_codes, code, symbol = {}, 0, 0
    for length, count in enumerate(dc_bits, 1):
        for _ in range(count):
            dc_codes[symbol] = (code, length)
            code, symbol = code + 1, symbol + 1
        code <<= 1
    bits = []

    def put(value, length):
        bits.extend((value >> (length - 1 - i)) & 1 for i in range(length))

    previous = 0
    state = number * 2654435761 % 2**32
    for _ in range((width // 8) * (height // 8)):
        state = (state * 1103515245 + 12345) % 2**31
        dc = ((state >> 8) % 200 - 100) * 8  # a shade of grey, times 8 as the DCT gives it
        diff = dc - previous
        previous = dc
        size = category(diff)
        put(*dc_codes[size])
        if size:
            put(diff if diff > 0 else diff + (1 << size) - 1, size)
        put(0, 1)  # end of block
    bits.extend([1] * (-len(bits) % 8))
    scan = bytearray()
    for i in range(0, len(bits), 8):
        byte = int(''.join(map(str, bits[i:i + 8])), 2)
        scan.append(byte)
        if byte == 0xff:
            scan.append(0)
    data = (b'\xff\xd8' +
            segment(0xe0, b'JFIF\0\x01\x01\x00\x00\x01\x00\x01\x00\x00') +
            segment(0xfe, b'snapsalvager autopkgtest picture %d' % number) +
            segment(0xdb, b'\x00' + b'\x01' * 64) +
            segment(0xc0, struct.pack('>BHHB', 8, height, width, 1) + b'\x01\x11\x00') +
            segment(0xc4, b'\x00' + bytes(dc_bits) + bytes(range(12))) +
            segment(0xc4, b'\x10' + bytes([1] + [0] * 15) + b'\x00') +
            segment(0xda, b'\x01\x01\x00\x00\x3f\x00') + bytes(scan) + b'\xff\xd9')
    with open(out, 'wb') as f:
        f.write(data)


if __name__ == '__main__':
    main()
