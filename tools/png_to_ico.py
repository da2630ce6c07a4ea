#!/usr/bin/env python3
"""Converts PNG images into one .ico file whose images are 32-bit device-independent bitmaps, the form icon
resources inside Windows programs take (and the form the icon table compares).

    png_to_ico.py OUT.ico IN.png [IN.png ...]

Reads 8-bit non-interlaced PNGs of colour types 2 (RGB), 3 (palette), 6 (RGBA); enough for icon themes."""
import struct
import sys
import zlib


def read_png(path):
    data = open(path, 'rb').read()
    if data[:8] != b'\x89PNG\r\n\x1a\n':
        raise SystemExit(f'{path}: not a PNG')
    pos, idat, palette, alpha = 8, b'', None, None
    while pos < len(data):
        length, kind = struct.unpack('>I4s', data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        pos += 12 + length
        if kind == b'IHDR':
            width, height, depth, colour, _, _, interlace = struct.unpack('>IIBBBBB', body)
        elif kind == b'PLTE':
            palette = [tuple(body[i:i + 3]) for i in range(0, len(body), 3)]
        elif kind == b'tRNS':
            alpha = body
        elif kind == b'IDAT':
            idat += body
    if depth != 8 or interlace or colour not in (2, 3, 6):
        raise SystemExit(f'{path}: unsupported PNG (depth {depth}, colour {colour}, interlace {interlace})')
    channels = {2: 3, 3: 1, 6: 4}[colour]
    raw = zlib.decompress(idat)
    stride = width * channels
    rows, previous = [], bytearray(stride)
    for y in range(height):
        filt = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for x in range(stride):
            a = line[x - channels] if x >= channels else 0
            b = previous[x]
            c = previous[x - channels] if x >= channels else 0
            if filt == 1:
                line[x] = (line[x] + a) & 255
            elif filt == 2:
                line[x] = (line[x] + b) & 255
            elif filt == 3:
                line[x] = (line[x] + (a + b) // 2) & 255
            elif filt == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[x] = (line[x] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append(bytes(line))
        previous = line
    pixels = []  # RGBA rows, top first
    for line in rows:
        out = []
        for x in range(width):
            if colour == 6:
                out.append(tuple(line[4 * x:4 * x + 4]))
            elif colour == 2:
                out.append(tuple(line[3 * x:3 * x + 3]) + (255,))
            else:
                index = line[x]
                out.append(palette[index] + ((alpha[index] if alpha and index < len(alpha) else 255),))
        pixels.append(out)
    return width, height, pixels


def dib(width, height, pixels):
    """BITMAPINFOHEADER (height doubled for the AND mask), bottom-up BGRA rows, then the 1-bit AND mask."""
    header = struct.pack('<IiiHHIIiiII', 40, width, height * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    colour = b''.join(bytes((b, g, r, a)) for row in reversed(pixels) for (r, g, b, a) in row)
    mask_stride = ((width + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(pixels):
        line = bytearray(mask_stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                line[x // 8] |= 0x80 >> (x % 8)
        mask += line
    return header + colour + bytes(mask)


def main(argv):
    if len(argv) < 3:
        raise SystemExit(__doc__)
    images = [(w, h, dib(w, h, p)) for (w, h, p) in (read_png(path) for path in argv[2:])]
    directory = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    body = b''
    for width, height, image in images:
        directory += struct.pack('<BBBBHHII', width & 255, height & 255, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
        body += image
    with open(argv[1], 'wb') as out:
        out.write(directory + body)


if __name__ == '__main__':
    main(sys.argv)
