#!/usr/bin/python3
"""Writes the DXF fixtures of the style, pattern and annotation tests."""
import os

HERE = os.path.dirname(os.path.abspath(__file__))


def dxf(pairs):
    return "".join(f"{c:>3}\n{v}\n" for c, v in pairs)


def section(name, body):
    return [(0, "SECTION"), (2, name)] + body + [(0, "ENDSEC")]


def table(name, entries):
    return [(0, "TABLE"), (2, name), (70, len(entries))] + sum(entries, []) + [(0, "ENDTAB")]


def header(vars_):
    body = []
    for name, values in vars_:
        body.append((9, name))
        body += values
    return section("HEADER", body)


def drawing(entities, styles=None, blocks=None, tables=(), variables=()):
    out = header([("$ACADVER", [(1, "AC1027")]), ("$DWGCODEPAGE", [(3, "ANSI_1252")])]
                 + list(variables))
    tabs = list(tables)
    if styles:
        tabs += table("STYLE", styles)
    if tabs:
        out += section("TABLES", tabs)
    if blocks:
        out += section("BLOCKS", blocks)
    return out + section("ENTITIES", entities) + [(0, "EOF")]


def write(name, pairs):
    with open(os.path.join(HERE, name), "w", newline="", encoding="utf-8") as f:
        f.write(dxf(pairs))


def style(name, font, big="", extra=(), family=None):
    e = [(0, "STYLE"), (2, name), (70, 0), (40, 0.0), (41, 1.0), (50, 0.0), (71, 0),
         (3, font), (4, big)] + list(extra)
    if family:
        e += [(1001, "ACAD"), (1000, family), (1071, 0)]
    return e


def text(x, y, h, value, style_name, extra=()):
    return [(0, "TEXT"), (8, "0"), (10, x), (20, y), (40, h), (1, value), (7, style_name)] + list(extra)


# Fonts: TrueType names and files, SHX stroke fonts, big fonts, style defaults.
styles = [
    style("ByFile", "arial.ttf"),
    style("ByFamily", "", family="Times New Roman"),
    style("Courier", "COUR.TTF"),
    style("Chinese", "simsun.ttc"),
    style("Simplex", "simplex.shx"),
    style("Romant", "romant"),
    style("Italic", "italic.shx"),
    style("Mono", "monotxt.shx"),
    style("BigFont", "txt.shx", big="gbcbig.shx"),
    style("Unknown", "nosuchfont.shx"),
    style("Slanted", "romans.shx", extra=[(41, 0.7), (50, 20.0)]),
    style("Mirrored", "romans.shx", extra=[(71, 6)]),
]
font_entities = (
    text(0.0, 0.0, 2.0, "file", "ByFile")
    + text(0.0, 10.0, 2.0, "family", "ByFamily")
    + text(0.0, 20.0, 2.0, "courier", "Courier")
    + text(0.0, 30.0, 2.0, "chinese", "Chinese")
    + text(0.0, 40.0, 2.0, "simplex", "Simplex")
    + text(0.0, 50.0, 2.0, "romant", "Romant")
    + text(0.0, 60.0, 2.0, "italic", "Italic")
    + text(0.0, 70.0, 2.0, "mono", "Mono")
    + text(0.0, 80.0, 2.0, "unknown", "Unknown")
    # the style's width and slant where the entity is silent, not where it speaks
    + text(0.0, 90.0, 2.0, "slanted", "Slanted")
    + text(0.0, 100.0, 2.0, "upright", "Slanted", extra=[(41, 1.5), (51, 0.0)])
    # generation flags: from the style, and from the entity (backwards only)
    + text(0.0, 110.0, 2.0, "mirrored", "Mirrored")
    + text(0.0, 120.0, 2.0, "backwards", "Simplex", extra=[(71, 2)])
    + [(0, "MTEXT"), (8, "0"), (10, 0.0), (20, 130.0), (40, 2.0), (71, 1), (7, "Slanted"),
       (1, "plain{\\Fromant.shx;shx}{\\fCourier New|b0|i0|c0|p49;ttf}")]
)
write("fonts.dxf", drawing(font_entities, styles=styles))

# A big-font text alone, large, for the pixels of its ideographs.
write("fonts_bigfont.dxf", drawing(text(0.0, 0.0, 10.0, "\u4e2d\u6587\u5b57", "BigFont"),
                                   styles=[style("BigFont", "txt.shx", big="gbcbig.shx")]))


def square(x, y, w, h):
    return [(x, y), (x + w, y), (x + w, y + h), (x, y + h)]


def named_hatch(points, name, scale=1.0, angle=0.0, solid=0):
    """A hatch that names its pattern but carries none of its lines."""
    out = [(0, "HATCH"), (8, "0"), (10, 0.0), (20, 0.0), (30, 0.0), (210, 0.0), (220, 0.0),
           (230, 1.0), (2, name), (70, solid), (71, 0), (91, 1),
           (92, 2), (72, 0), (73, 1), (93, len(points))]
    for x, y in points:
        out += [(10, x), (20, y)]
    return out + [(97, 0), (75, 0), (76, 1), (52, angle), (41, scale), (77, 0), (78, 0), (98, 0)]


# Predefined patterns by name only, each in its own 10 x 10 square.
patterns = (
    named_hatch(square(0.0, 0.0, 10.0, 10.0), "ANSI31", scale=10.0)
    + named_hatch(square(20.0, 0.0, 10.0, 10.0), "brick", scale=10.0)
    + named_hatch(square(40.0, 0.0, 10.0, 10.0), "NO-SUCH-PATTERN", scale=10.0)
    + named_hatch(square(60.0, 0.0, 10.0, 10.0), "ANSI31", scale=10.0, angle=45.0)
    + named_hatch(square(80.0, 0.0, 10.0, 10.0), "SOLID")
    + named_hatch(square(100.0, 0.0, 10.0, 10.0), "ACAD_ISO02W100", scale=0.5)
)
write("patterns.dxf", drawing(patterns))
# One ANSI31 square alone, for the pixels inside and around it.
write("patterns_probe.dxf", drawing(
    named_hatch(square(0.0, 0.0, 10.0, 10.0), "ANSI31", scale=10.0)
    + [(0, "POINT"), (8, "0"), (10, -5.0), (20, -5.0), (0, "POINT"), (8, "0"), (10, 15.0),
       (20, 15.0)]))

# A multileader whose content is a block (a circle of radius 2 with a
# cross), found through its block record's handle, placed at (50, 30) at
# twice its size.
tag_records = table("BLOCK_RECORD", [
    [(0, "BLOCK_RECORD"), (5, "1F"), (2, "*Model_Space")],
    [(0, "BLOCK_RECORD"), (5, "A1"), (2, "Tag")]])
tag_block = [
    (0, "BLOCK"), (8, "0"), (2, "Tag"), (70, 0), (10, 0.0), (20, 0.0),
    (0, "CIRCLE"), (8, "0"), (10, 0.0), (20, 0.0), (40, 2.0),
    (0, "LINE"), (8, "0"), (10, -2.0), (20, 0.0), (11, 2.0), (21, 0.0),
    (0, "ENDBLK")]
block_mleader = [
    (0, "MULTILEADER"), (8, "0"), (300, "CONTEXT_DATA{"), (40, 1.0), (10, 0.0), (20, 0.0),
    (41, 2.5), (140, 1.0), (145, 0.5), (290, 0), (296, 1), (341, "A1"),
    (14, 0.0), (24, 0.0), (34, 1.0), (15, 50.0), (25, 30.0), (35, 0.0),
    (16, 2.0), (26, 2.0), (36, 1.0), (46, 0.0), (93, 0),
    (302, "LEADER{"), (290, 1), (291, 1), (10, 46.0), (20, 30.0), (11, -1.0), (21, 0.0),
    (90, 0), (40, 0.0), (304, "LEADER_LINE{"), (10, 20.0), (20, 10.0), (91, 0), (305, "}"),
    (303, "}"), (301, "}"), (90, 0), (170, 1), (344, "A1"), (42, 2.0)]
write("mleader_block.dxf", drawing(block_mleader, tables=tag_records, blocks=tag_block))

# Dimensions whose block is missing, one of each kind, with the header's
# sizes: arrows 0.5 x 2, text 1 x 2, one decimal.
def dimension(flags, points, extra=()):
    out = [(0, "DIMENSION"), (8, "0"), (2, "*D99"), (70, flags)]
    for code, (x, y) in points:
        out += [(code, x), (code + 10, y)]
    return out + list(extra)


c60, s60 = 0.5, 3 ** 0.5 / 2
c30, s30 = s60, 0.5
dimensions = (
    dimension(32 | 5, [(10, (7.0, 7.0)), (13, (10.0, 0.0)), (14, (0.0, 10.0)), (15, (0.0, 0.0))])
    + dimension(32 | 2, [(13, (32.0, 0.0)), (14, (40.0, 0.0)), (15, (30.0 + 2 * c60, 2 * s60)),
                         (10, (30.0 + 10 * c60, 10 * s60)), (16, (30.0 + 12 * c30, 12 * s30))])
    + dimension(32 | 4, [(10, (60.0, 0.0)), (15, (60.0 + 8 * 0.5 ** 0.5, 8 * 0.5 ** 0.5))])
    + dimension(32 | 3, [(15, (80.0, 0.0)), (10, (96.0, 0.0))], extra=[(1, "<> TYP")])
    + dimension(32 | 64 | 6, [(10, (0.0, 0.0)), (13, (110.0, 0.0)), (14, (112.0, 10.0))])
    + dimension(32 | 6, [(10, (0.0, 0.0)), (13, (120.0, 5.0)), (14, (130.0, 5.0))])
)
write("dimensions_unblocked.dxf", drawing(dimensions, variables=[
    ("$DIMASZ", [(40, 0.5)]), ("$DIMTXT", [(40, 1.0)]), ("$DIMSCALE", [(40, 2.0)]),
    ("$DIMDEC", [(70, 1)])]))

# Tables: the look lives in an anonymous *T block (a 20 x 10 frame hanging
# down from the insertion point, and a title); one table placed at (100, 50),
# one turned to run up the page at (200, 50), one whose block is missing.
table_records = table("BLOCK_RECORD", [
    [(0, "BLOCK_RECORD"), (5, "1F"), (2, "*Model_Space")],
    [(0, "BLOCK_RECORD"), (5, "B1"), (2, "*T1")]])
table_block = [
    (0, "BLOCK"), (8, "0"), (2, "*T1"), (70, 1), (10, 0.0), (20, 0.0),
    (0, "LWPOLYLINE"), (8, "0"), (90, 4), (70, 1), (10, 0.0), (20, 0.0), (10, 20.0), (20, 0.0),
    (10, 20.0), (20, -10.0), (10, 0.0), (20, -10.0),
    (0, "LINE"), (8, "0"), (10, 0.0), (20, -5.0), (11, 20.0), (21, -5.0),
    (0, "TEXT"), (8, "0"), (10, 1.0), (20, -4.0), (40, 2.0), (1, "Schedule"),
    (0, "ENDBLK")]


def acad_table(block, x, y, direction, cells=()):
    return ([(0, "ACAD_TABLE"), (5, "C1"), (8, "0"), (100, "AcDbEntity"),
             (100, "AcDbBlockReference"), (2, block), (10, x), (20, y), (30, 0.0),
             (100, "AcDbTable"), (280, 0), (342, "B2"), (343, "B1"), (11, direction[0]),
             (21, direction[1]), (31, 0.0), (90, 22), (91, 2), (92, 1), (141, 5.0), (141, 5.0),
             (142, 20.0)] + list(cells))


# The cell data repeats codes an insert uses (a text in code 2, points in 10).
cell_data = [(171, 1), (172, 0), (1, "Schedule"), (2, "continued"), (10, 999.0), (20, 999.0)]
write("tables.dxf", drawing(
    acad_table("*T1", 100.0, 50.0, (1.0, 0.0), cell_data)
    + acad_table("*T1", 200.0, 50.0, (0.0, 1.0))
    + acad_table("*T9", 300.0, 50.0, (1.0, 0.0)),
    tables=table_records, blocks=table_block))

# Proxy graphics: what CAD programs store with objects others cannot compute.
import math
import struct


def command(kind, payload=b""):
    return struct.pack("<ii", 8 + len(payload), kind) + payload


def vertex(x, y, z=0.0):
    return struct.pack("<3d", x, y, z)


def padded(raw, unit=1):
    raw += b"\0" * unit
    return raw + b"\0" * (-len(raw) % 4)


def proxy_stream(commands):
    body = b"".join(commands)
    return struct.pack("<ii", 8 + len(body), len(commands)) + body


def hex_groups(data, code=310):
    return [(code, data[i:i + 127].hex().upper()) for i in range(0, len(data), 127)]


identity_to_40 = struct.pack("<16d", 1, 0, 0, 40, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1)
graphics = proxy_stream([
    command(2, vertex(5, 5) + struct.pack("<d", 3.0) + vertex(0, 0, 1)),       # circle
    command(14, struct.pack("<i", 1)),                                         # red
    command(6, struct.pack("<i", 3) + vertex(0, 0) + vertex(10, 0) + vertex(10, 10)),
    command(20, struct.pack("<i", 1)),                                         # fill on
    command(7, struct.pack("<i", 3) + vertex(20, 0) + vertex(30, 0) + vertex(30, 10)),
    command(20, struct.pack("<i", 0)),
    command(22, struct.pack("<I", 0xC200FF00)),                                # green
    command(10, vertex(0, 15) + vertex(0, 0, 1) + vertex(1, 0, 0)
            + struct.pack("<3d", 2.0, 1.0, 0.0) + padded(b"PROXY")),
    command(29, identity_to_40),                                               # move by 40
    command(4, vertex(0, 0) + struct.pack("<d", 5.0) + vertex(0, 0, 1) + vertex(1, 0, 0)
            + struct.pack("<di", math.pi, 0)),                                 # half circle
    command(31),
    command(36, vertex(0, 20) + vertex(0, 0, 1) + vertex(1, 0, 0)
            + struct.pack("<3d", 2.0, 1.0, 0.0) + padded("\u00dcn\u00ef".encode("utf-16-le"), 2)),
    command(16, struct.pack("<i", 1)),                                         # layer WALLS
    command(14, struct.pack("<i", 256)),                                       # ByLayer
    command(6, struct.pack("<i", 2) + vertex(0, -5) + vertex(30, -5)),
    command(99, struct.pack("<i", 7)),                                         # unknown
]) + struct.pack("<ii", 1000, 6)                                               # cut short
cut = bytearray(graphics)
struct.pack_into("<i", cut, 4, 17)  # one command more than there is: the damage
graphics = bytes(cut)
custom = proxy_stream([command(6, struct.pack("<i", 2) + vertex(0, 30) + vertex(30, 30))])
proxy_layers = table("LAYER", [
    [(0, "LAYER"), (2, "0"), (70, 0), (62, 7), (6, "CONTINUOUS")],
    [(0, "LAYER"), (2, "WALLS"), (70, 0), (62, 5), (6, "CONTINUOUS")]])
write("proxies.dxf", drawing(
    [(0, "ACAD_PROXY_ENTITY"), (5, "A1"), (8, "0"), (100, "AcDbEntity"),
     (100, "AcDbProxyEntity"), (90, 498), (91, 500), (92, len(graphics))]
    + hex_groups(graphics) + [(93, 32), (310, "DEADBEEF"), (94, 0), (95, 0), (70, 0)]
    + [(0, "AEC_THING"), (5, "A2"), (8, "0"), (100, "AcDbEntity"), (92, len(custom))]
    + hex_groups(custom) + [(100, "AecDbThing"), (90, 7)]
    + [(0, "ACAD_PROXY_ENTITY"), (5, "A3"), (8, "0"), (100, "AcDbProxyEntity"), (90, 498),
       (91, 500), (93, 0), (94, 0)],
    tables=proxy_layers))
