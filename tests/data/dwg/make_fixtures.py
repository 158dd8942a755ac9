#!/usr/bin/python3
"""Writes the DWG fixtures of the reader tests into this folder: a smallest
R2000 drawing (file header, section locators, empty header variables and
classes, an empty object map), which opens as an empty drawing."""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))

HEADER_END = bytes.fromhex("95A04E2899821AE55E41E05F9D3A4D00")
VARS_START = bytes.fromhex("CF7B1F23FDDE38A95F7C68B84E6D335F")
CLASSES_START = bytes.fromhex("8DA1C4B8C4A9F8C5C0DCF45FE7CFB68A")


def crc16(seed, data):
    # CRC-16 with the reflected polynomial 0xA001, as the file header uses.
    crc = seed
    for byte in data:
        crc ^= byte
        for _ in range(8):
            crc = (crc >> 1) ^ 0xA001 if crc & 1 else crc >> 1
    return crc


def smallest_r2000():
    f = bytearray(b"AC1015" + bytes(0x19 - 6))
    f[0x0B] = 0x0F
    f[0x13] = 30  # code page
    struct.pack_into("<I", f, 0x15, 3)
    f += bytes(27)
    crc_at = len(f)
    f += bytes(2) + HEADER_END
    for number, body in enumerate(
        [VARS_START + bytes(6), CLASSES_START + bytes(6), b"\x00\x02"]
    ):
        at = len(f)
        f += body
        struct.pack_into("<BII", f, 0x19 + number * 9, number, at, len(body))
    struct.pack_into("<H", f, crc_at, crc16(0, f[:crc_at]) ^ 0xA598)
    return bytes(f)


if __name__ == "__main__":
    with open(os.path.join(HERE, "empty_2000.dwg"), "wb") as out:
        out.write(smallest_r2000())
