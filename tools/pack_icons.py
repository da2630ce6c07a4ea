#!/usr/bin/env python3
"""Packs the images of .ico files into the disguised-executable icon table: an index (resource "BINARYTYPE"
215) and the image bytes laid end to end (resource "BINARYTYPE" 214).

    pack_icons.py INDEX.bin IMAGES.bin FILE.ico[=LABEL] [...]

Every image of every .ico becomes one record, in order. The index is a 16-byte header (record count, then 12
zero bytes) and one 32-byte record per image, all little-endian:
    0  4  record number, from 1
    4  1  width in pixels (what the icon's group entry must show)
    5  1  the image's bitmap-header height, low byte (twice the width for an icon bitmap; not compared)
    6  2  zero
    8  4  image length in bytes (what the icon resource's size must be)
   12  4  image offset in the images resource
   16 16  label, GBK text, zero-terminated (at most 15 bytes)
Only device-independent bitmap images are accepted: an icon resource in a program holds one, never a PNG."""
import os
import struct
import sys


def ico_images(path):
    data = open(path, 'rb').read()
    reserved, kind, count = struct.unpack_from('<HHH', data, 0)
    if reserved != 0 or kind != 1 or count == 0:
        raise SystemExit(f'{path}: not an icon file')
    images = []
    for i in range(count):
        width, height, colours, _, planes, bits, size, offset = struct.unpack_from('<BBBBHHII', data, 6 + 16 * i)
        image = data[offset:offset + size]
        if len(image) != size:
            raise SystemExit(f'{path}: image {i} runs past the end of the file')
        if image[:4] != struct.pack('<I', 40):
            raise SystemExit(f'{path}: image {i} is not a bitmap (a PNG-compressed icon cannot be compared)')
        bitmap_height = struct.unpack_from('<i', image, 8)[0]
        images.append((width, bitmap_height & 255, image))
    return images


def main(argv):
    if len(argv) < 4:
        raise SystemExit(__doc__)
    records, blob = [], b''
    for spec in argv[3:]:
        path, _, label = spec.partition('=')
        label = (label or os.path.splitext(os.path.basename(path))[0]).encode('gbk')[:15]
        for width, size_byte, image in ico_images(path):
            records.append((width, size_byte, len(image), len(blob), label))
            blob += image
    index = struct.pack('<I12x', len(records))
    for number, (width, size_byte, length, offset, label) in enumerate(records, 1):
        index += struct.pack('<IBBHII16s', number, width, size_byte, 0, length, offset, label)
    open(argv[1], 'wb').write(index)
    open(argv[2], 'wb').write(blob)


if __name__ == '__main__':
    main(sys.argv)
