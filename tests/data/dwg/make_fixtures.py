#!/usr/bin/python3
"""Writes the DWG fixtures of the reader tests into this folder: a smallest
R2000 drawing (file header, section locators, empty header variables and
classes, an empty object map), which opens as an empty drawing; and a small
R12 drawing (fixed header, tables, entity and block sections) whose entities
use the flag bits for colour, line type, elevation, thickness, handle,
extended data and paper space, and small drawings of R10, 2.05 and 1.40."""
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


def name32(text, size=32):
    raw = text.encode("cp1252")
    return raw + bytes(size - len(raw))


def record(r11, kind, fields, flags=0, layer=0, opts=0, common=b""):
    # Type, flags, length, layer, option bits, common fields, fields; R11
    # ends each record with a CRC.
    body = struct.pack("<hH", layer, opts) + common + fields
    crc = b"\0\0" if r11 else b""
    return struct.pack("<BBH", kind, flags, 4 + len(body) + len(crc)) + body + crc


def text(value):
    raw = value.encode("cp1252")
    return struct.pack("<H", len(raw)) + raw


def d(*values):
    return struct.pack("<%dd" % len(values), *values)


def pre_r13_file(tag, entities, blocks, layers, line_types, block):
    """A drawing of 2.10 to R12: the fixed header, then the sections."""
    r11 = tag == b"AC1009"
    # R11 counts each table entry's uses after its name and ends it with a CRC.
    used = struct.pack("<h", 1) if r11 else b""
    crc = b"\0\0" if r11 else b""
    layer_table = b"".join(
        bytes([f]) + name32(n) + used + struct.pack("<hh", c, lt) + crc
        for f, n, c, lt in layers)
    ltype_table = b"".join(
        bytes([0]) + name32(n) + used + name32(desc, 48) + bytes([65, len(ds)])
        + d(sum(abs(x) for x in ds)) + d(*(ds + [0.0] * (12 - len(ds)))) + crc
        for n, desc, ds in line_types)
    style_table = (bytes([0]) + name32("STANDARD") + used + d(0, 1, 0) + bytes([0]) + d(2.5)
                   + name32("txt", 64) + name32("", 64) + crc)
    block_table = bytes([0x40]) + name32(block) + used + struct.pack("<I", 0x40000000)
    if r11:
        block_table += struct.pack("<h", -1) + bytes([0xFF, 0]) + crc
    appid_table = bytes([0]) + name32("ACAD") + used + crc if r11 else b""

    header_size = 0x700
    f = bytearray(header_size)
    f[0:6] = tag
    at = header_size
    sections = {}
    for key, data in [("entities", entities), ("blocks", blocks), ("block_table", block_table),
                      ("layer_table", layer_table), ("style_table", style_table),
                      ("ltype_table", ltype_table), ("appid_table", appid_table)]:
        sections[key] = (at, data)
        at += len(data)
    ent_at, _ = sections["entities"]
    blk_at, _ = sections["blocks"]
    struct.pack_into("<IIIIII", f, 0x14, ent_at, ent_at + len(entities), blk_at,
                     0x40000000 | len(blocks), at, 0x80000000)
    for index, (key, count) in enumerate([
            ("block_table", 1), ("layer_table", len(layers)),
            ("style_table", 1), ("ltype_table", len(line_types))]):
        size = len(sections[key][1]) // count
        struct.pack_into("<HHHI", f, 0x2C + index * 10, size, count, 0, sections[key][0])
    struct.pack_into("<HHHI", f, 0x2C + 4 * 10, 153, 0, 0, at)  # no views
    struct.pack_into("<3d3d2d2d", f, 0x78, 0, -1, 0, 60, 40, 3, 0, 0, 420, 297)
    struct.pack_into("<d", f, 0x132, 1.0)  # LTSCALE
    struct.pack_into("<hd", f, 0x35D, 0, 0.0)  # PDMODE, PDSIZE
    if r11:
        struct.pack_into("<HHHI", f, 0x512, len(appid_table), 1, 0, sections["appid_table"][0])
        struct.pack_into("<H", f, 0x3F9, 30)  # code page: Windows-1252
        struct.pack_into("<H", f, 0x631, 1)  # TILEMODE
    for _, data in sections.values():
        f += data
    return bytes(f)


# A viewport's view in R12: ACAD's MVIEW data, each item's code the DXF
# group's less 1000 - the version, target, direction, twist, view height and
# centre, between braces.
MVIEW = (b"\x01\x00\x00" + b"\x00\x05MVIEW" + b"\x02\x00" + b"\x46" + struct.pack("<h", 16)
         + b"\x0a" + d(0, 0, 0) + b"\x0a" + d(0, 0, 1)
         + b"".join(b"\x28" + d(v) for v in (0, 20, 30, 10)) + b"\x02\x01")


def small_r12():
    """Layers 0, WALLS (off, dashed) and FROZEN; a line type DASHED; a block
    BOX; in the model a 3D line, a flat red dashed line on WALLS, a circle
    with elevation and thickness, an arc with a handle, a flat point, a
    rotated centred text in Windows-1252, an insert of BOX scaled by 2, an
    erased line, a jump and a line too short for its fields; in paper space a line
    with extended data, in green, and a window 40 by 20 at (30, 20) onto the
    model around (30, 10), 20 high, as its extended data says."""
    def rec(*args, **kwargs):
        return record(True, *args, **kwargs)

    entities = b"".join([
        rec(1, d(0, 0, 1, 10, 0, 1)),
        rec(1, d(0, 5, 10, 5), flags=0x07, layer=1, common=bytes([1]) + struct.pack("<h", 1)),
        rec(3, d(20, 0, 3), flags=0x0C, common=d(0.5, 2.5)),  # thickness, elevation
        rec(8, d(30, 0, 2, 0, 3.14159265358979 / 2), flags=0x24,
            common=d(0) + bytes([2, 0x1A, 0x2B])),
        rec(2, d(40, 1), flags=0x04),
        rec(7, d(0, 20, 2.5) + text("\u00d8 25\u00b0") + d(3.14159265358979 / 6) + bytes([1])
            + d(5, 20), opts=0x61),
        rec(14, struct.pack("<h", 0) + d(50, 0, 2), opts=0x01),
        rec(0x81, d(0, 0, 0, 99, 99, 0)),
        rec(18, struct.pack("<I", 0)),
        rec(1, d(0, 0), layer=2),
        rec(1, d(0, 0, 60, 40), flags=0x45,
            common=bytes([0x06]) + struct.pack("<H", 3) + bytes([1, 0, 0, 3])
            + struct.pack("<H", 1)),
        rec(24, d(30, 20, 0, 40, 20) + struct.pack("<h", 2), flags=0x40,
            common=bytes([0x02]) + struct.pack("<H", len(MVIEW)) + MVIEW),
    ])
    blocks = b"".join([
        rec(12, d(0, 0) + struct.pack("<H", 3) + b"BOX", opts=0x04),
        rec(1, d(0, 0, 0, 4, 4, 0)),
        rec(13, b""),
    ])
    layers = [(0, "0", 7, 0), (0, "WALLS", -3, 1), (1, "FROZEN", 5, 0)]
    line_types = [("CONTINUOUS", "Solid line", []), ("DASHED", "__ __", [0.5, -0.25])]
    return pre_r13_file(b"AC1009", entities, blocks, layers, line_types, "BOX")


def small_r10():
    """R10 writes no CRCs, no use counts and a line type index of one byte.
    In the model: a flat line, a closed polyline of three vertices, a flat
    3D face, a text in Windows-1252 and an insert of BOX, whose line keeps
    the colour and line type of the insert."""
    def rec(*args, **kwargs):
        return record(False, *args, **kwargs)

    entities = b"".join([
        rec(1, d(0, 0, 10, 0), flags=0x04),
        rec(18, b"", flags=0x80),
        rec(20, d(0, 10)),
        rec(20, d(10, 10)),
        rec(20, d(5, 15)),
        rec(17, struct.pack("<I", 0)),
        rec(22, d(20, 0, 30, 0, 30, 10, 20, 10), flags=0x04),
        rec(7, d(0, 20, 2) + text("caf\u00e9")),
        rec(14, struct.pack("<h", 0) + d(40, 0, 2), opts=0x01),
    ])
    blocks = b"".join([
        rec(12, d(0, 0)),
        rec(1, d(0, 0, 4, 4), flags=0x07, common=bytes([0, 0xFF])),
        rec(13, b""),
    ])
    return pre_r13_file(b"AC1006", entities, blocks, [(0, "0", 7, 0)],
                        [("CONTINUOUS", "Solid line", [])], "BOX")


def small_r205():
    """2.05 keeps a layer's index in one byte, a byte of flags after it: a
    line on WALLS with that byte set, and a circle on layer 0."""
    entities = record(False, 1, d(0, 0, 10, 0), layer=0x0101) + record(False, 3, d(5, 5, 2))
    blocks = record(False, 12, d(0, 0)) + record(False, 13, b"")
    return pre_r13_file(b"AC1.50", entities, blocks, [(0, "0", 7, 0), (0, "WALLS", 3, 0)],
                        [("CONTINUOUS", "Solid line", [])], "EMPTY")


def small_r14():
    """AutoCAD 1.40: records without lengths, blocks among the entities and
    numbered layers with a colour each. A line on layer 3 (red), an erased
    circle, a block BOX of one line, a text, an insert of BOX turned by 90
    degrees and a REPEAT/ENDREP pair, which is not drawn."""
    def rec(kind, layer, fields):
        return struct.pack("<hh", kind, layer) + fields

    def name(value):
        return struct.pack("<h", len(value)) + value

    entities = [
        rec(1, 3, d(0, 0, 10, 0)),
        rec(-3, 0, d(5, 5, 1)),
        rec(12, 0, name(b"BOX") + d(0, 0)),
        rec(1, 0, d(0, 0, 2, 2)),
        rec(13, 0, b""),
        rec(7, 0, d(0, 5, 1, 0) + name(b"TITLE")),
        rec(14, 0, name(b"BOX") + d(20, 0, 1, 1, 3.14159265358979 / 2)),
        rec(5, 0, b""),
        rec(6, 0, struct.pack("<hh", 2, 2) + d(1, 1)),
    ]
    body = b"".join(entities)
    f = bytearray(0x202)
    f[0:6] = b"AC1.40"
    struct.pack_into("<ih", f, 0x24, 0x202 + len(body), len(entities))
    struct.pack_into("<3d3d2d2d", f, 0x2A, 0, 0, 0, 20, 5, 0, 0, 0, 12, 9)
    struct.pack_into("<4h", f, 0xC8, 7, 255, 255, 1)  # layer colours: 0 white, 3 red
    return bytes(f) + body


if __name__ == "__main__":
    with open(os.path.join(HERE, "empty_2000.dwg"), "wb") as out:
        out.write(smallest_r2000())
    with open(os.path.join(HERE, "small_r12.dwg"), "wb") as out:
        out.write(small_r12())
    with open(os.path.join(HERE, "small_r10.dwg"), "wb") as out:
        out.write(small_r10())
    with open(os.path.join(HERE, "small_r205.dwg"), "wb") as out:
        out.write(small_r205())
    with open(os.path.join(HERE, "small_r14.dwg"), "wb") as out:
        out.write(small_r14())
