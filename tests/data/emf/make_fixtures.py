#!/usr/bin/env python3
"""Writes the EMF test fixtures beside this script, record by record
(standard library only)."""

import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))

EMR_HEADER = 1
EMR_POLYGON16 = 86
EMR_EOF = 14
EMR_SETMAPMODE = 17
EMR_SELECTOBJECT = 37
EMR_CREATEPEN = 38
EMR_CREATEBRUSHINDIRECT = 39
EMR_ELLIPSE = 42
EMR_RECTANGLE = 43
EMR_EXTCREATEFONTINDIRECTW = 82
EMR_EXTTEXTOUTW = 84
EMR_SETBKMODE = 18
EMR_SETTEXTCOLOR = 24


def rec(kind, payload):
    """One record: type, size, payload padded to whole words."""
    payload += b"\0" * (-len(payload) % 4)
    return struct.pack("<II", kind, 8 + len(payload)) + payload


def rgb(r, g, b):
    return r | g << 8 | b << 16  # COLORREF: 0x00BBGGRR


def rect(left, top, right, bottom):
    return struct.pack("<4i", left, top, right, bottom)


def header(bounds, frame_hmm, device_px, device_mm, body_size, records, handles):
    """EMR_HEADER of 108 bytes (no description, no pixel format)."""
    size = 108
    payload = (rect(*bounds) + rect(*frame_hmm) + b" EMF" +
               struct.pack("<IIIHH", 0x10000, size + body_size, records, handles, 0) +
               struct.pack("<III", 0, 0, 0) +           # description, palette
               struct.pack("<ii", *device_px) + struct.pack("<ii", *device_mm) +
               struct.pack("<III", 0, 0, 0) +           # pixel format, OpenGL
               struct.pack("<ii", device_mm[0] * 1000, device_mm[1] * 1000))
    assert len(payload) + 8 == size
    return struct.pack("<II", EMR_HEADER, size) + payload


def metafile(frame_hmm, body):
    """A whole file: 10 device pixels per millimetre, frame in 0.01 mm."""
    w_px = frame_hmm[2] // 10
    h_px = frame_hmm[3] // 10
    bounds = (0, 0, w_px - 1, h_px - 1)
    body = body + rec(EMR_EOF, struct.pack("<III", 0, 16, 20))
    count = 1
    at = 0
    while at < len(body):
        count += 1
        at += struct.unpack_from("<I", body, at + 4)[0]
    return header(bounds, frame_hmm, (2000, 1000), (200, 100), len(body), count, 8) + body


def pen(handle, width, color):
    return rec(EMR_CREATEPEN, struct.pack("<IIiiI", handle, 0, width, 0, color))


def brush(handle, color):
    return rec(EMR_CREATEBRUSHINDIRECT, struct.pack("<IIII", handle, 0, color, 0))


def select(handle):
    return rec(EMR_SELECTOBJECT, struct.pack("<I", handle))


def font(handle, height, face):
    name = face.encode("utf-16-le").ljust(64, b"\0")
    logfont = struct.pack("<iiiii8B", height, 0, 0, 0, 400, 0, 0, 0, 0, 0, 0, 0, 0) + name
    return rec(EMR_EXTCREATEFONTINDIRECTW, struct.pack("<I", handle) + logfont)


def text(x, y, s, options=0):
    chars = s.encode("utf-16-le")
    n = len(s)
    off_string = 76
    off_dx = off_string + len(chars) + (-len(chars) % 4)
    emrtext = struct.pack("<iiIII", x, y, n, off_string, options) + rect(0, 0, -1, -1) + \
        struct.pack("<I", off_dx)
    payload = rect(0, 0, -1, -1) + struct.pack("<Iff", 1, 1.0, 1.0) + emrtext
    assert len(payload) + 8 == off_string
    payload += chars + b"\0" * (-len(chars) % 4) + struct.pack(f"<{n}I", *([40] * n))
    return rec(EMR_EXTTEXTOUTW, payload)


def shapes(text_options=0):
    """100 x 50 mm: red square, blue disc, green triangle, black text."""
    body = b"".join([
        rec(EMR_SETMAPMODE, struct.pack("<I", 1)),  # MM_TEXT: 1 unit = 0.1 mm
        rec(EMR_SETBKMODE, struct.pack("<I", 1)),   # transparent
        pen(1, 1, rgb(0, 0, 0)), select(1),
        brush(2, rgb(255, 0, 0)), select(2),
        rec(EMR_RECTANGLE, rect(50, 50, 350, 350)),
        brush(3, rgb(0, 0, 255)), select(3),
        rec(EMR_ELLIPSE, rect(400, 50, 700, 350)),
        brush(4, rgb(0, 160, 0)), select(4),
        rec(EMR_POLYGON16, rect(750, 50, 950, 350) +
            struct.pack("<I6h", 3, 750, 350, 950, 350, 850, 50)),
        font(5, -60, "DejaVu Sans"), select(5),
        rec(EMR_SETTEXTCOLOR, struct.pack("<I", rgb(0, 0, 0))),
        text(60, 420, "EMF", text_options),
    ])
    return metafile((0, 0, 10000, 5000), body)


def write(name, data):
    with open(os.path.join(HERE, name), "wb") as f:
        f.write(data)


def main():
    good = shapes()
    write("shapes.emf", good)
    # The text as glyph indexes (ETO_GLYPH_INDEX).
    write("glyph_index.emf", shapes(0x10))
    # Cut in the middle of a record: no end-of-file record.
    write("truncated.emf", good[: len(good) - 30])
    # A record whose size field runs past the end of the file.
    damaged = bytearray(good)
    at = 108  # the first record after the header
    struct.pack_into("<I", damaged, at + 4, 0x7FFFFFF0)
    write("damaged_size.emf", bytes(damaged))
    # A polygon whose point count exceeds its record.
    damaged = bytearray(good)
    at = 108
    while struct.unpack_from("<I", damaged, at)[0] != EMR_POLYGON16:
        at += struct.unpack_from("<I", damaged, at + 4)[0]
    struct.pack_into("<I", damaged, at + 24, 100000)
    write("damaged_count.emf", bytes(damaged))


if __name__ == "__main__":
    main()
