#!/usr/bin/env python3
"""Writes the disk image a test Wine prefix maps as its first physical disk ("\\\\.\\PhysicalDrive0"): a clean
master boot record (the standard boot code, a disk signature, one active partition, 0x55 0xAA) and a marker in
sector 2 by which the tests know that the disk they read is this file and not the machine's.
usage: make_test_disk.py OUT [BOOT-CODE]"""
import sys

MARKER = b"VELUDISK TEST DISK STAND-IN"
SIZE = 1 << 20


def image(boot_code: bytes) -> bytes:
    disk = bytearray(SIZE)
    disk[0:len(boot_code)] = boot_code[:440]
    disk[440:444] = b"\x56\x45\x4c\x44"  # disk signature
    entry = bytearray(16)
    entry[0] = 0x80  # active
    entry[4] = 0x07  # NTFS
    entry[8:12] = (2048).to_bytes(4, "little")
    entry[12:16] = ((SIZE // 512) - 2048).to_bytes(4, "little") if SIZE // 512 > 2048 else (0).to_bytes(4, "little")
    disk[446:462] = entry
    disk[510:512] = b"\x55\xaa"
    disk[1024:1024 + len(MARKER)] = MARKER
    return bytes(disk)


if __name__ == "__main__":
    code_path = sys.argv[2] if len(sys.argv) > 2 else "/usr/lib/syslinux/mbr/mbr.bin"
    with open(code_path, "rb") as f:
        code = f.read()
    with open(sys.argv[1], "wb") as f:
        f.write(image(code))
