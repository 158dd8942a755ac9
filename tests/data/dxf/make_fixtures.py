#!/usr/bin/python3
"""Writes the small DXF fixtures of the reader tests into this folder."""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def dxf(pairs):
    return "".join(f"{c:>3}\n{v}\n" for c, v in pairs)


def section(name, body):
    return [(0, "SECTION"), (2, name)] + body + [(0, "ENDSEC")]


def header(vars_):
    body = []
    for name, values in vars_:
        body.append((9, name))
        body += values
    return section("HEADER", body)


def table(name, entries):
    return [(0, "TABLE"), (2, name), (70, len(entries))] + sum(entries, []) + [(0, "ENDTAB")]


def layer(name, color, flags=0, rgb=None):
    e = [(0, "LAYER"), (2, name), (70, flags), (62, color), (6, "CONTINUOUS")]
    if rgb is not None:
        e.append((420, rgb))
    return e


def write(name, pairs, eol="\n", encoding="cp1252"):
    text = dxf(pairs)
    if eol != "\n":
        text = text.replace("\n", eol)
    with open(os.path.join(HERE, name), "w", newline="", encoding=encoding) as f:
        f.write(text)


def value_type(code):
    """The binary value type of a group code."""
    ranges = [(0, 9, "s"), (10, 59, "d"), (60, 79, "h"), (90, 99, "i"), (100, 102, "s"),
              (105, 105, "s"), (110, 149, "d"), (160, 169, "q"), (170, 179, "h"),
              (210, 239, "d"), (270, 289, "h"), (290, 299, "b"), (300, 309, "s"),
              (310, 319, "x"), (320, 369, "s"), (370, 389, "h"), (390, 399, "s"),
              (400, 409, "h"), (410, 419, "s"), (420, 429, "i"), (430, 439, "s"),
              (440, 459, "i"), (460, 469, "d"), (470, 481, "s"), (999, 999, "s"),
              (1004, 1004, "x"), (1000, 1009, "s"), (1010, 1059, "d"), (1060, 1070, "h"),
              (1071, 1071, "i")]
    for lo, hi, t in ranges:
        if lo <= code <= hi:
            return t
    raise ValueError(f"no binary type for group code {code}")


def binary_dxf(pairs, short_codes=False, encoding="cp1252"):
    """The same pairs as binary DXF; R12 and before use 1-byte group codes."""
    out = bytearray(b"AutoCAD Binary DXF\r\n\x1a\x00")
    for code, value in pairs:
        if short_codes:
            out += bytes([code]) if code < 255 else b"\xff" + struct.pack("<H", code)
        else:
            out += struct.pack("<H", code)
        t = value_type(code)
        if t == "s":
            out += str(value).encode(encoding) + b"\x00"
        elif t == "d":
            out += struct.pack("<d", float(value))
        elif t == "h":
            out += struct.pack("<h", int(value))
        elif t == "i":
            out += struct.pack("<i", int(value) if int(value) < 2**31 else int(value) - 2**32)
        elif t == "q":
            out += struct.pack("<q", int(value))
        elif t == "b":
            out += bytes([int(value)])
        else:
            out += bytes([len(value)]) + bytes(value)
    return bytes(out)


def write_binary(name, pairs, short_codes=False):
    with open(os.path.join(HERE, name), "wb") as f:
        f.write(binary_dxf(pairs, short_codes))


# Every entity kind the reader draws, with colours, layers and layouts.
entities = (
    header([("$ACADVER", [(1, "AC1015")]), ("$DWGCODEPAGE", [(3, "ANSI_1252")]),
            ("$INSUNITS", [(70, 6)]), ("$EXTMIN", [(10, 0.0), (20, 0.0), (30, 0.0)]),
            ("$EXTMAX", [(10, 100.0), (20, 50.0), (30, 0.0)]), ("$TILEMODE", [(70, 1)])])
    + section("TABLES", table("LAYER", [
        layer("0", 7), layer("Walls", 1), layer("Hidden", -3), layer("Frozen", 5, 1),
        layer("Tinted", 2, 0, 0x123456)])
        + table("STYLE", [[(0, "STYLE"), (2, "Arial"), (70, 0), (40, 0.0), (3, "arial.ttf")],
                          [(0, "STYLE"), (2, "Fixed"), (70, 0), (40, 7.5), (3, "txt")]])
        + table("BLOCK_RECORD", [
            [(0, "BLOCK_RECORD"), (5, "1F"), (2, "*Model_Space"), (340, "22")],
            [(0, "BLOCK_RECORD"), (5, "1B"), (2, "*Paper_Space"), (340, "1E")],
            [(0, "BLOCK_RECORD"), (5, "40"), (2, "*Paper_Space0"), (340, "41")],
            [(0, "BLOCK_RECORD"), (5, "50"), (2, "Door")]]))
    + section("BLOCKS", [
        (0, "BLOCK"), (8, "0"), (2, "*Model_Space"), (70, 0), (10, 0.0), (20, 0.0), (3, "*Model_Space"),
        (0, "ENDBLK"),
        (0, "BLOCK"), (8, "0"), (2, "*Paper_Space"), (70, 0), (10, 0.0), (20, 0.0),
        (0, "ENDBLK"),
        (0, "BLOCK"), (8, "0"), (2, "*Paper_Space0"), (70, 0), (10, 0.0), (20, 0.0),
        (0, "LINE"), (8, "0"), (10, 0.0), (20, 0.0), (11, 420.0), (21, 297.0),
        (0, "ENDBLK"),
        (0, "BLOCK"), (8, "0"), (2, "Door"), (70, 0), (10, 1.0), (20, 2.0),
        (0, "LINE"), (8, "0"), (62, 0), (10, 1.0), (20, 2.0), (11, 2.0), (21, 2.0),
        (0, "INSERT"), (8, "0"), (2, "Knob"), (10, 1.5), (20, 2.0),
        (0, "ENDBLK"),
        (0, "BLOCK"), (8, "0"), (2, "Knob"), (70, 0), (10, 0.0), (20, 0.0),
        (0, "CIRCLE"), (8, "0"), (10, 0.0), (20, 0.0), (40, 0.1),
        (0, "ENDBLK")])
    + section("ENTITIES", [
        (0, "LINE"), (5, "100"), (100, "AcDbEntity"), (8, "Walls"), (100, "AcDbLine"),
        (10, 1.0), (20, 2.0), (30, 0.0), (11, 11.0), (21, 12.0), (31, 0.0),
        (0, "POINT"), (8, "0"), (62, 3), (10, 5.0), (20, 6.0),
        (0, "CIRCLE"), (8, "Tinted"), (420, 0xFF8000), (62, 1), (10, 20.0), (20, 30.0), (40, 5.0),
        (0, "ARC"), (8, "0"), (10, 0.0), (20, 0.0), (40, 2.0), (50, 90.0), (51, 0.0),
        (0, "ARC"), (8, "0"), (10, 10.0), (20, 0.0), (40, 2.0), (50, 0.0), (51, 90.0),
        (210, 0.0), (220, 0.0), (230, -1.0),
        (0, "LWPOLYLINE"), (8, "Walls"), (90, 3), (70, 1), (43, 0.5),
        (10, 0.0), (20, 0.0), (42, 1.0), (10, 2.0), (20, 0.0), (10, 2.0), (20, 5.0),
        (0, "POLYLINE"), (8, "0"), (66, 1), (10, 0.0), (20, 0.0), (30, 0.0), (70, 0),
        (0, "VERTEX"), (8, "0"), (10, 50.0), (20, 0.0), (42, -1.0),
        (0, "VERTEX"), (8, "0"), (10, 52.0), (20, 0.0),
        (0, "VERTEX"), (8, "0"), (10, 52.0), (20, 3.0),
        (0, "SEQEND"), (8, "0"),
        (0, "POLYLINE"), (8, "0"), (66, 1), (70, 9),
        (0, "VERTEX"), (8, "0"), (10, 60.0), (20, 1.0), (30, 7.0), (70, 32),
        (0, "VERTEX"), (8, "0"), (10, 61.0), (20, 2.0), (30, 8.0), (70, 32),
        (0, "SEQEND"),
        (0, "TEXT"), (8, "0"), (7, "Arial"), (10, 30.0), (20, 40.0), (40, 2.5), (1, "Caf\u00e9 %%d %%c"),
        (50, 90.0), (41, 0.8), (51, 15.0),
        (0, "TEXT"), (8, "0"), (7, "Fixed"), (10, 30.0), (20, 45.0), (40, 0.0), (1, "Middle"),
        (72, 1), (73, 2), (11, 35.0), (21, 46.0),
        (0, "INSERT"), (8, "Walls"), (2, "Door"), (10, 70.0), (20, 10.0), (41, 2.0), (42, 3.0),
        (50, 90.0), (70, 2), (71, 3), (44, 5.0), (45, 6.0),
        (0, "INSERT"), (8, "0"), (2, "Nowhere"), (10, 0.0), (20, 0.0),
        (0, "LINE"), (8, "0"), (60, 1), (10, 0.0), (20, 0.0), (11, 1.0), (21, 1.0),
        (0, "WIBBLE"), (8, "0"), (10, 0.0), (20, 0.0),
        (0, "LINE"), (8, "Frozen"), (67, 1), (10, 10.0), (20, 10.0), (11, 20.0), (21, 20.0)])
    + section("OBJECTS", [
        (0, "DICTIONARY"), (5, "C"), (330, "0"), (100, "AcDbDictionary"), (3, "ACAD_LAYOUT"),
        (350, "1A"),
        (0, "LAYOUT"), (5, "41"), (102, "{ACAD_REACTORS"), (330, "1A"), (102, "}"), (330, "1A"),
        (100, "AcDbPlotSettings"), (1, "Setup"), (4, "A3"), (100, "AcDbLayout"), (1, "Detail"),
        (70, 1), (71, 2), (330, "40"),
        (0, "LAYOUT"), (5, "22"), (330, "1A"), (100, "AcDbPlotSettings"), (1, ""),
        (100, "AcDbLayout"), (1, "Model"), (70, 1), (71, 0), (330, "1F"),
        (0, "LAYOUT"), (5, "1E"), (330, "1A"), (100, "AcDbPlotSettings"), (1, ""),
        (100, "AcDbLayout"), (1, "Sheet A"), (70, 1), (71, 1), (330, "1B")])
    + [(0, "EOF")])
write("entities.dxf", entities)
write_binary("entities_binary.dxf", entities)

# An R12 file: no OBJECTS, paper-space entities flagged in ENTITIES.
r12 = (
    header([("$ACADVER", [(1, "AC1009")]), ("$DWGCODEPAGE", [(3, "ANSI_1252")])])
    + section("TABLES", table("LAYER", [layer("0", 7), layer("Grid", 8)]))
    + section("BLOCKS", [(0, "BLOCK"), (8, "0"), (2, "Mark"), (70, 0), (10, 0.0), (20, 0.0),
                         (0, "POINT"), (8, "0"), (10, 0.0), (20, 0.0), (0, "ENDBLK")])
    + section("ENTITIES", [
        (999, "a comment among the entities"),
        (0, "LINE"), (8, "Grid"), (10, -5.0), (20, -5.0), (11, 5.0), (21, 5.0),
        (0, "INSERT"), (8, "0"), (2, "Mark"), (10, 1.0), (20, 1.0),
        (0, "CIRCLE"), (8, "0"), (67, 1), (10, 100.0), (20, 100.0), (40, 10.0)])
    + [(0, "EOF")])
write("r12.dxf", r12)
write_binary("r12_binary.dxf", r12, short_codes=True)

# A block that inserts itself, and one pair that insert each other.
cycle = (
    section("BLOCKS", [
        (0, "BLOCK"), (2, "Self"), (10, 0.0), (20, 0.0),
        (0, "LINE"), (10, 0.0), (20, 0.0), (11, 1.0), (21, 1.0),
        (0, "INSERT"), (2, "Self"), (10, 2.0), (20, 0.0),
        (0, "ENDBLK"),
        (0, "BLOCK"), (2, "A"), (10, 0.0), (20, 0.0),
        (0, "INSERT"), (2, "B"), (10, 1.0), (20, 0.0), (0, "ENDBLK"),
        (0, "BLOCK"), (2, "B"), (10, 0.0), (20, 0.0),
        (0, "INSERT"), (2, "A"), (10, 1.0), (20, 0.0),
        (0, "POINT"), (10, 3.0), (20, 3.0), (0, "ENDBLK")])
    + section("ENTITIES", [(0, "INSERT"), (2, "Self"), (10, 0.0), (20, 0.0),
                           (0, "INSERT"), (2, "A"), (10, 0.0), (20, 0.0)])
    + [(0, "EOF")])
write("cycle.dxf", cycle)

# Count fields that promise far more than the file holds.
huge = section("ENTITIES", [
    (0, "LWPOLYLINE"), (90, 2147483647), (70, 0), (10, 0.0), (20, 0.0), (10, 1.0), (20, 1.0),
    (0, "INSERT"), (2, "Nothing"), (70, 2000000000), (71, -5), (44, 1.0), (45, 1.0)]) + [(0, "EOF")]
write("huge_counts.dxf", huge)


def drawing(version, entities_, codepage="ANSI_1252", blocks=None, styles=None):
    out = header([("$ACADVER", [(1, version)]), ("$DWGCODEPAGE", [(3, codepage)])])
    if styles:
        out += section("TABLES", table("STYLE", styles))
    if blocks:
        out += section("BLOCKS", blocks)
    return out + section("ENTITIES", entities_) + [(0, "EOF")]


def mtext(x, y, height, text, attachment=1, extra=()):
    chunks = []
    while len(text) > 250:  # long values come as 3-chunks then a final 1
        chunks.append((3, text[:250]))
        text = text[250:]
    return ([(0, "MTEXT"), (8, "0"), (10, x), (20, y), (40, height), (71, attachment)]
            + list(extra) + chunks + [(1, text)])


# MTEXT: paragraphs, inline formats, wrapping, attachment, rotation.
mtext_entities = (
    mtext(0.0, 0.0, 2.5, "Line one\\PLine two")
    + mtext(100.0, 0.0, 1.0, "{\\C1;Red} plain", attachment=5)
    + mtext(0.0, 50.0, 1.0, "aaaa bbbb cccc", extra=[(41, 6.0)])
    + mtext(0.0, 100.0, 2.0, "\\fArial|b1|i0;\\H2x;Big\\P\\W0.5;\\Q15;x\\S1/2;\\~\\U+00B0%%c",
            extra=[(44, 2.0)])
    + mtext(50.0, 50.0, 1.0, "AB", attachment=9, extra=[(50, 90.0)])
    + mtext(60.0, 60.0, 1.0, "dir", extra=[(11, 0.0), (21, 1.0), (50, 45.0)])
    + mtext(0.0, 150.0, 1.0, "x" * 300 + "END")
    + mtext(0.0, 200.0, 1.0, "\\M+193FA{\\L\\Ounder\\l\\o}\\\\\\{")
    + mtext(0.0, 250.0, 1.0, "\\S3^;\\S2#5;\\pxqc;\\A1;kept\\")
    + [(0, "TEXT"), (8, "0"), (10, 0.0), (20, 300.0), (40, 1.0), (1, "\\M+193FA\\M+5D6D0 %%p")]
    + mtext(0.0, 350.0, 1.0, "\u00dcn\u00efcode \u65e5\u672c"))
write("mtext.dxf", drawing("AC1021", mtext_entities), encoding="utf-8")

# Text in the code pages of pre-2007 files, one file per code page.
codepage_samples = {
    "ANSI_1250": ("cp1250", "\u0141\u00f3d\u017a"), "ANSI_1251": ("cp1251", "\u041c\u0438\u0440"),
    "ANSI_1252": ("cp1252", "Caf\u00e9"), "ANSI_1253": ("cp1253", "\u0391\u03b8\u03ae\u03bd\u03b1"),
    "ANSI_1254": ("cp1254", "\u0130stanbul \u011f"), "ANSI_1255": ("cp1255", "\u05e9\u05dc\u05d5\u05dd"),
    "ANSI_1256": ("cp1256", "\u0633\u0644\u0627\u0645"), "ANSI_1257": ("cp1257", "R\u012bga \u0161"),
    "ANSI_1258": ("cp1258", "\u0111\u01b0\u01a1ng"), "ANSI_932": ("shift_jis", "\u65e5\u672c"),
    "ANSI_936": ("gbk", "\u4e2d\u6587"), "ANSI_949": ("cp949", "\ud55c\uae00"),
    "ANSI_950": ("big5", "\u4e2d\u6587"),
}
for cp, (codec, sample) in codepage_samples.items():
    body = drawing("AC1015", [
        (0, "TEXT"), (8, "0"), (10, 0.0), (20, 0.0), (40, 1.0), (1, sample + " %%d"),
        (0, "MTEXT"), (8, "0"), (10, 0.0), (20, 10.0), (40, 1.0), (1, sample + "\\P2")],
        codepage=cp)
    write(f"codepage_{cp.lower()}.dxf", body, encoding=codec)


def poly_path(points, flags=2):
    out = [(92, flags), (72, 0), (73, 1), (93, len(points))]
    for x, y in points:
        out += [(10, x), (20, y)]
    return out + [(97, 0)]


def square(x, y, w, h):
    return [(x, y), (x + w, y), (x + w, y + h), (x, y + h)]


def hatch(paths, solid, color=None, pattern=(), extra=(), name="SOLID"):
    out = [(0, "HATCH"), (8, "0")] + ([(62, color)] if color else []) + [
        (10, 0.0), (20, 0.0), (30, 0.0), (210, 0.0), (220, 0.0), (230, 1.0),
        (2, name), (70, 1 if solid else 0), (71, 0), (91, len(paths))]
    for p in paths:
        out += p
    out += [(75, 0), (76, 1)]
    if pattern:
        out += [(52, 0.0), (41, 1.0), (77, 0), (78, len(pattern))]
        for angle, bx, by, ox, oy, dashes in pattern:
            out += [(53, angle), (43, bx), (44, by), (45, ox), (46, oy), (79, len(dashes))]
            out += [(49, d) for d in dashes]
    out += list(extra) + [(98, 0)]
    return out


edge_path = [(92, 1), (93, 3),
             (72, 1), (10, 0.0), (20, 20.0), (11, 10.0), (21, 20.0),
             (72, 4), (94, 3), (73, 0), (74, 0), (95, 8), (96, 4)]
edge_path += [(40, k) for k in (0.0, 0.0, 0.0, 0.0, 1.0, 1.0, 1.0, 1.0)]
edge_path += [(10, 10.0), (20, 20.0), (10, 10.0), (20, 25.0), (10, 5.0), (20, 30.0), (10, 0.0), (20, 30.0),
              (97, 0),
              (72, 1), (10, 0.0), (20, 30.0), (11, 0.0), (21, 20.0),
              (97, 1), (330, "2F")]
circle_path = [(92, 1), (93, 1), (72, 2), (10, 30.0), (20, 5.0), (40, 5.0), (50, 0.0), (51, 360.0),
               (73, 1), (97, 0)]
ellipse_path = [(92, 1), (93, 1), (72, 3), (10, 100.0), (20, 0.0), (11, 10.0), (21, 0.0), (40, 0.5),
                (50, 0.0), (51, 360.0), (73, 1), (97, 0)]
gradient = [(450, 1), (451, 0), (452, 0), (453, 2), (460, 0.0), (461, 0.0), (462, 1.0),
            (463, 0.0), (63, 1), (421, 0x00FF00), (463, 1.0), (63, 5), (421, 0x0000FF),
            (470, "LINEAR")]

hatches = (
    hatch([poly_path(square(0.0, 0.0, 10.0, 10.0)), poly_path(square(3.0, 3.0, 4.0, 4.0))], True, 3)
    + hatch([edge_path], True)
    + hatch([circle_path], True)
    + hatch([ellipse_path], True)
    + hatch([poly_path(square(50.0, 0.0, 10.0, 10.0)), poly_path(square(53.0, 3.0, 4.0, 4.0))], False,
            pattern=[(0.0, 0.0, 0.5, 0.0, 1.0, [])], name="LINES")
    + hatch([poly_path(square(70.0, 0.0, 10.0, 2.0))], False,
            pattern=[(0.0, 0.0, 0.5, 0.0, 1.0, [1.0, -1.0])], name="DASH")
    + hatch([poly_path(square(0.0, -1100.0, 1000.0, 1000.0))], False,
            pattern=[(45.0, 0.0, 0.0, -1e-6, 1e-6, [])], name="DENSE")
    + hatch([poly_path(square(200.0, 0.0, 10.0, 10.0))], False, extra=gradient, name="LINEAR")
    + [(0, "HATCH"), (8, "0"), (70, 1), (91, 1000000), (92, 2), (93, 2000000000), (10, 1.0)])
write("hatch.dxf", drawing("AC1027", hatches))
write("hatch_probe.dxf", drawing("AC1027", hatch(
    [poly_path(square(0.0, 0.0, 10.0, 10.0)), poly_path(square(3.0, 3.0, 4.0, 4.0))], True, 1)))


def spline(control=(), knots=(), weights=(), fit=(), degree=3, flags=8):
    out = [(0, "SPLINE"), (8, "0"), (70, flags), (71, degree), (72, len(knots)),
           (73, len(control)), (74, len(fit))]
    out += [(40, k) for k in knots] + [(41, w) for w in weights]
    for x, y in control:
        out += [(10, x), (20, y), (30, 0.0)]
    for x, y in fit:
        out += [(11, x), (21, y), (31, 0.0)]
    return out


annotation_blocks = [
    (0, "BLOCK"), (8, "0"), (2, "*D1"), (70, 1), (10, 0.0), (20, 0.0),
    (0, "LINE"), (8, "0"), (10, 300.0), (20, 0.0), (11, 310.0), (21, 0.0),
    (0, "ENDBLK"),
    (0, "BLOCK"), (8, "0"), (2, "WithDef"), (70, 2), (10, 0.0), (20, 0.0),
    (0, "ATTDEF"), (8, "0"), (10, 0.0), (20, 0.0), (40, 1.0), (1, "default"), (3, "Prompt"),
    (2, "HIDDENTAG"), (70, 0),
    (0, "POINT"), (8, "0"), (10, 0.0), (20, 0.0),
    (0, "ENDBLK")]
annotations = (
    spline([(0.0, 0.0), (0.0, 10.0), (10.0, 10.0), (10.0, 0.0)], [0.0] * 4 + [1.0] * 4)
    + spline([(21.0, 0.0), (21.0, 1.0), (20.0, 1.0)], [0.0] * 3 + [1.0] * 3,
             [1.0, 0.5 ** 0.5, 1.0], degree=2, flags=12)
    + spline(fit=[(30.0, 0.0), (35.0, 5.0), (40.0, 0.0)])
    + spline([(50.0, 0.0), (55.0, 5.0), (60.0, 0.0)], [0.0, 7.0])
    + [(0, "DIMENSION"), (8, "0"), (2, "*D1"), (10, 0.0), (20, 0.0), (70, 32)]
    + [(0, "ARC_DIMENSION"), (8, "0"), (2, "*D1"), (10, 0.0), (20, 0.0), (70, 37)]
    + [(0, "ARC_DIMENSION"), (8, "0"), (2, "*Gone"), (10, 0.0), (20, 0.0), (70, 37)]
    + [(0, "DIMENSION"), (8, "0"), (2, "*Missing"), (10, 10.0), (20, 55.0), (11, 5.0), (21, 56.0),
       (70, 33), (13, 0.0), (23, 50.0), (14, 10.0), (24, 50.0)]
    + [(0, "DIMENSION"), (8, "0"), (10, 25.0), (20, 60.0), (70, 32), (1, "{\\C1;<>} mm\\Pmax"),
       (13, 20.0), (23, 50.0), (14, 25.0), (24, 53.0), (50, 0.0)]
    + [(0, "LEADER"), (8, "0"), (71, 1), (72, 0), (76, 3), (10, 0.0), (20, 100.0),
       (10, 10.0), (20, 110.0), (10, 20.0), (20, 110.0)]
    + [(0, "MULTILEADER"), (8, "0"), (300, "CONTEXT_DATA{"), (40, 1.0), (10, 0.0), (20, 0.0),
       (41, 2.5), (140, 1.0), (145, 0.5), (290, 1), (304, "Note"), (11, 1.0), (21, 0.0),
       (12, 60.0), (22, 110.0), (42, 0.0), (43, 0.0),
       (302, "LEADER{"), (290, 1), (291, 1), (10, 55.0), (20, 110.0), (11, 1.0), (21, 0.0),
       (90, 0), (40, 2.0), (304, "LEADER_LINE{"), (10, 40.0), (20, 100.0), (91, 0), (305, "}"),
       (303, "}"), (301, "}"), (340, "12"), (90, 0), (170, 1), (91, 0), (171, 1), (42, 4.0)]
    + [(0, "3DFACE"), (8, "0"), (10, 0.0), (20, 150.0), (11, 10.0), (21, 150.0), (12, 10.0),
       (22, 160.0), (13, 0.0), (23, 160.0), (70, 2)]
    + [(0, "3DFACE"), (8, "0"), (10, 20.0), (20, 150.0), (11, 30.0), (21, 150.0), (12, 30.0),
       (22, 160.0), (13, 30.0), (23, 160.0)]
    + [(0, "XLINE"), (8, "0"), (10, 0.0), (20, 200.0), (11, 1.0), (21, 0.0)]
    + [(0, "RAY"), (8, "0"), (10, 0.0), (20, 0.0), (11, 0.0), (21, -2.0)]
    + [(0, "ATTDEF"), (8, "0"), (10, 0.0), (20, 250.0), (40, 1.0), (1, "value"), (3, "Prompt"),
       (2, "SHOWNTAG"), (70, 0)]
    + [(0, "INSERT"), (8, "0"), (2, "WithDef"), (10, 100.0), (20, 250.0)]
    + [(0, "WIPEOUT"), (8, "0"), (10, 80.0), (20, 0.0), (11, 5.0), (21, 0.0), (12, 0.0), (22, 5.0),
       (13, 1.0), (23, 1.0)]
    + [(0, "IMAGE"), (8, "0"), (10, 0.0), (20, 0.0)]
    + [(0, "VIEWPORT"), (8, "0"), (67, 1), (10, 0.0), (20, 0.0)])
# Meshes: a 2 x 3 polygon mesh and a polyface of two faces, one edge hidden.
annotations += [(0, "POLYLINE"), (8, "0"), (66, 1), (70, 16), (71, 2), (72, 3)]
for i in range(2):
    for j in range(3):
        annotations += [(0, "VERTEX"), (8, "0"), (10, 400.0 + j), (20, float(i)), (70, 64)]
annotations += [(0, "SEQEND"),
                (0, "POLYLINE"), (8, "0"), (66, 1), (70, 64), (71, 4), (72, 2)]
for x, y in [(500.0, 0.0), (501.0, 0.0), (501.0, 1.0), (500.0, 1.0)]:
    annotations += [(0, "VERTEX"), (8, "0"), (10, x), (20, y), (70, 192)]
annotations += [(0, "VERTEX"), (8, "0"), (10, 0.0), (20, 0.0), (70, 128), (71, 1), (72, 2), (73, 3),
                (0, "VERTEX"), (8, "0"), (10, 0.0), (20, 0.0), (70, 128), (71, -1), (72, 3), (73, 4),
                (0, "VERTEX"), (8, "0"), (10, 0.0), (20, 0.0), (70, 128), (71, 1), (72, 99), (73, 0),
                (0, "SEQEND")]
write("annotations.dxf", drawing("AC1015", annotations, blocks=annotation_blocks))

# Multilines: a closed three-element one (offsets 0.5, 0, -0.5 along its
# miters) and a damaged one whose elements stop after the first vertex.
def mline(vertices, offsets, closed=False):
    out = [(0, "MLINE"), (8, "0"), (100, "AcDbMline"), (2, "STANDARD"), (40, 1.0), (70, 1),
           (71, 1 | (2 if closed else 0)), (72, len(vertices)), (73, len(offsets)),
           (10, vertices[0][0][0]), (20, vertices[0][0][1]), (30, 0.0)]
    for (x, y), (dx, dy), (mx, my) in vertices:
        out += [(11, x), (21, y), (31, 0.0), (12, dx), (22, dy), (32, 0.0),
                (13, mx), (23, my), (33, 0.0)]
        for o in offsets:
            out += [(74, 1), (41, o), (75, 0)]
    return out


r = 2 ** -0.5
mlines = (mline([((0.0, 0.0), (1.0, 0.0), (r, r)), ((10.0, 0.0), (0.0, 1.0), (-r, r)),
                 ((10.0, 10.0), (-1.0, 0.0), (-r, -r)), ((0.0, 10.0), (0.0, -1.0), (r, -r))],
                [0.5 / r, 0.0, -0.5 / r], closed=True)
          + [(0, "MLINE"), (8, "0"), (100, "AcDbMline"), (71, 1), (72, 2), (73, 2),
             (11, 20.0), (21, 0.0), (13, 0.0), (23, 1.0), (74, 1), (41, 1.0), (75, 0),
             (74, 1), (41, -1.0), (75, 0), (11, 30.0), (21, 0.0), (13, 0.0), (23, 1.0)])
write("mline.dxf", drawing("AC1015", mlines))

# A wall from its style (an object after the entities): a green fill between a
# red element 0.5 above the path and a blue one 0.5 below, a straight cap at
# the start and a round one at the end; found by handle, or else by name.
def wall(y, style_handle=None):
    out = mline([((0.0, y), (1.0, 0.0), (0.0, 1.0)), ((10.0, y), (1.0, 0.0), (0.0, 1.0))],
                [0.5, -0.5])
    out[3] = (2, "WALL")
    return out + ([(340, style_handle)] if style_handle else [])


wall_style = [(0, "MLINESTYLE"), (5, "3A"), (100, "AcDbMlineStyle"), (2, "Wall"),
              (70, 1 | 16 | 1024), (3, ""), (62, 3), (51, 90.0), (52, 90.0), (71, 2),
              (49, 0.5), (62, 1), (6, "BYLAYER"), (49, -0.5), (62, 5), (6, "BYLAYER")]
write("mline_styles.dxf",
      header([("$ACADVER", [(1, "AC1015")])])
      + section("ENTITIES", wall(0.0, "3A") + wall(5.0))
      + section("OBJECTS", wall_style) + [(0, "EOF")])

# Points shown as circled crosses a tenth of the view high.
points = (header([("$ACADVER", [(1, "AC1015")]), ("$PDMODE", [(70, 35)]),
                  ("$PDSIZE", [(40, -10.0)])])
          + section("ENTITIES", [(0, "POINT"), (8, "0"), (10, 5.0), (20, 5.0), (30, 0.0)])
          + [(0, "EOF")])
write("points.dxf", points)
