#!/usr/bin/env python3
"""Writes the PE checksum of an image into its optional header, as Windows'
linker does for drivers: the 16-bit one's-complement sum of the file with the
CheckSum field taken as zero, plus the file's length.

Usage: pe_checksum.py IMAGE
"""
import struct
import sys


def main():
    path = sys.argv[1]
    with open(path, "rb") as f:
        data = bytearray(f.read())
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[:2] != b"MZ" or data[pe:pe + 4] != b"PE\0\0":
        sys.exit("%s is not a PE image" % path)
    field = pe + 24 + 64
    struct.pack_into("<I", data, field, 0)
    padded = data + (b"\0" if len(data) % 2 else b"")
    total = 0
    for (word,) in struct.iter_unpack("<H", padded):
        total += word
        total = (total & 0xFFFF) + (total >> 16)
    total = ((total & 0xFFFF) + (total >> 16)) & 0xFFFF
    struct.pack_into("<I", data, field, total + len(data))
    with open(path, "wb") as f:
        f.write(data)


if __name__ == "__main__":
    main()
