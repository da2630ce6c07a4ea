#!/usr/bin/env python3
"""Writes a file whose CRC-32 is the value asked for: the given text followed by four chosen bytes. A harmless
stand-in for a blacklisted worm in the Wine tests that run from the shell (the C++ tests use
tests/support/CrcForge.h).
usage: forge_crc.py CRC-HEX TEXT OUT"""
import sys
import zlib

POLY = 0xEDB88320


def forge(prefix: bytes, target: int) -> bytes:
    table = []
    for i in range(256):
        c = i
        for _ in range(8):
            c = (c >> 1) ^ (POLY if c & 1 else 0)
        table.append(c)
    by_top = {table[i] >> 24: i for i in range(256)}  # the top byte tells the table entry apart
    final = target ^ 0xFFFFFFFF
    keys, r = [], final
    for _ in range(4):  # which table entry each of the four steps must have used, from the last one back
        k = by_top[r >> 24]
        keys.append(k)
        r = ((r ^ table[k]) << 8) & 0xFFFFFFFF
    keys.reverse()
    r = zlib.crc32(prefix) ^ 0xFFFFFFFF
    tail = bytearray()
    for k in keys:
        tail.append((r ^ k) & 0xFF)
        r = (r >> 8) ^ table[k]
    out = prefix + bytes(tail)
    assert zlib.crc32(out) == target
    return out


if __name__ == "__main__":
    crc, text, path = int(sys.argv[1], 16), sys.argv[2].encode(), sys.argv[3]
    with open(path, "wb") as f:
        f.write(forge(text, crc))
