#!/usr/bin/env python3
"""Packs the readable list of known malware paths into resource "TEXTTYPE" 216: the exact inverse of the
program's reader (src/cleaners/drive/FileCheckRules.cpp, DecodeFixedPathList).

    pack_fixed_paths.py SOURCE.txt OUT.txt

Source lines: "[family] path"; blank lines and lines starting with "#" are comments. The output is hexadecimal
text of: a 16-byte key, the 4-byte check text twice, then every entry as "=" + path + CR LF in the GBK code
page, each byte XORed with key byte (i mod 16) and the scramble constant, ended by a zero byte."""
import hashlib
import sys

SCRAMBLE = 0x5A  # kFixedPathScramble
CHECK = b'VDFP'


def entries(path):
    out = []
    for number, line in enumerate(open(path, encoding='utf-8'), 1):
        line = line.strip()
        if not line or line.startswith('#'):
            continue
        if not line.startswith('[') or ']' not in line:
            raise SystemExit(f'{path}:{number}: expected "[family] path"')
        entry = line[line.index(']') + 1:].strip()
        encoded = entry.encode('gbk')
        if not 3 <= len(encoded) <= 259 or '\r' in entry or '=' in entry:
            raise SystemExit(f'{path}:{number}: an entry is 3 to 259 bytes without "=" or line breaks')
        out.append(encoded)
    return out


def pack(items):
    key = hashlib.md5(b'veludisk fixed paths').digest()
    text = b''.join(b'=' + item + b'\r\n' for item in items) + b'\0'
    scrambled = bytes(b ^ key[i % 16] ^ SCRAMBLE for i, b in enumerate(text))
    return (key + CHECK + CHECK + scrambled).hex().upper()


def main(argv):
    if len(argv) != 3:
        raise SystemExit(__doc__)
    items = entries(argv[1])
    if not items:
        raise SystemExit(f'{argv[1]}: no entries')
    open(argv[2], 'w', newline='').write(pack(items))


if __name__ == '__main__':
    main(sys.argv)
