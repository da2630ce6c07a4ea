#!/usr/bin/env python3
"""Packs the readable CRC-32 blacklist into the resource text the program loads.

Input: one value per line as 8 hexadecimal digits, "#" starts a comment. Output: the values in lowercase,
8 digits each, without separators or line ends. Refuses zero, duplicate or malformed values: a zero would
stop the program's load at that point.
usage: pack_crclist.py input.txt output.txt
"""
import re
import sys


def main():
    src, dst = sys.argv[1], sys.argv[2]
    values, seen = [], set()
    with open(src, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            text = line.split("#", 1)[0].strip()
            if not text:
                continue
            if not re.fullmatch(r"[0-9a-fA-F]{8}", text):
                sys.exit(f"{src}:{number}: not an 8-digit hexadecimal CRC-32: {text!r}")
            value = text.lower()
            if int(value, 16) == 0:
                sys.exit(f"{src}:{number}: a CRC-32 of 0 cannot be listed")
            if value in seen:
                sys.exit(f"{src}:{number}: {value} is listed twice")
            seen.add(value)
            values.append(value)
    if not values:
        sys.exit(f"{src}: no values")
    with open(dst, "w", encoding="ascii", newline="") as f:
        f.write("".join(values))


if __name__ == "__main__":
    main()
