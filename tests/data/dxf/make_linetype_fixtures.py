#!/usr/bin/python3
"""Writes the linetype and lineweight fixtures of the reader tests into this folder.

linetypes.dxf (and linetypes_binary.dxf, the same groups in binary): one case
per row of model space, $LTSCALE 2. lineweights.dxf and lineweights_off.dxf:
the same heavy lines with $LWDISPLAY on and off, in model and paper space.
transparency.dxf (and its binary twin): see-through fills by entity, layer and block.
shapes.dxf: the standard linetypes with shapes (FENCELINE1/2, TRACKS, BATTING, ZIGZAG),
one a row of model space, a polyline that turns a corner, and shapes no file has;
../shx/own_shapes.shx: a shape file of our own to set beside it.
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


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


def ltype(name, elements, description=""):
    """elements: dash lengths, or (length, extra groups) for complex ones."""
    e = [(0, "LTYPE"), (100, "AcDbSymbolTableRecord"), (100, "AcDbLinetypeTableRecord"),
         (2, name), (70, 0), (3, description), (72, 65), (73, len(elements))]
    lengths = [x[0] if isinstance(x, tuple) else x for x in elements]
    e.append((40, sum(abs(x) for x in lengths)))
    for x in elements:
        if isinstance(x, tuple):
            e += [(49, x[0])] + list(x[1])
        else:
            e += [(49, x), (74, 0)]
    return e


def layer(name, color, linetype="CONTINUOUS", lineweight=None):
    e = [(0, "LAYER"), (2, name), (70, 0), (62, color), (6, linetype)]
    if lineweight is not None:
        e.append((370, lineweight))
    return e


def line(x0, y0, x1, y1, layer_="0", extra=()):
    return [(0, "LINE"), (8, layer_)] + list(extra) + [
        (10, x0), (20, y0), (30, 0.0), (11, x1), (21, y1), (31, 0.0)]


def value_type(code):
    ranges = [(0, 9, "s"), (10, 59, "d"), (60, 79, "h"), (90, 99, "i"), (100, 102, "s"),
              (210, 239, "d"), (290, 299, "b"), (300, 369, "s"), (370, 389, "h"),
              (440, 449, "i"), (999, 1009, "s"), (1071, 1071, "i")]
    for lo, hi, t in ranges:
        if lo <= code <= hi:
            return t
    raise ValueError(f"no binary type for group code {code}")


def write(name, pairs):
    with open(os.path.join(HERE, name), "w", newline="", encoding="cp1252") as f:
        f.write("".join(f"{c:>3}\n{v}\n" for c, v in pairs))


def write_binary(name, pairs):
    out = bytearray(b"AutoCAD Binary DXF\r\n\x1a\x00")
    for code, value in pairs:
        out += struct.pack("<H", code)
        t = value_type(code)
        if t == "s":
            out += str(value).encode("cp1252") + b"\x00"
        elif t == "d":
            out += struct.pack("<d", float(value))
        elif t == "h":
            out += struct.pack("<h", int(value))
        elif t == "i":
            out += struct.pack("<i", int(value))
        elif t == "b":
            out += bytes([int(value)])
    with open(os.path.join(HERE, name), "wb") as f:
        f.write(out)


linetypes_tables = section("TABLES", table("LTYPE", [
    ltype("ByBlock", []),
    ltype("ByLayer", []),
    ltype("Continuous", [], "Solid line"),
    ltype("DASHED", [0.5, -0.25], "Dashed __ __ __"),
    ltype("DOT", [0.0, -0.25], "Dot . . . ."),
    # A dash, the text "GAS" in the following gap, and a further gap.
    ltype("GAS_LINE", [0.5, (-0.2, [(74, 2), (75, 0), (340, "11"), (46, 0.1), (50, 0.0),
                                    (44, -0.1), (45, -0.05), (9, "GAS")]), (-0.25, [(74, 0)])],
          "Gas line ----GAS----GAS----"),
    ltype("FINE", [0.01, -0.01], "Finer than a pixel"),
    ltype("GAPS", [-0.5, -0.25], "Nothing but gaps"),
]) + table("LAYER", [
    layer("0", 7),
    layer("HIDDEN_LAYER", 7, "DASHED"),
    layer("BLOCK_LAYER", 7, "DASHED"),
]))

linetypes_blocks = section("BLOCKS", [
    (0, "BLOCK"), (8, "0"), (2, "BYBLOCK_LINE"), (70, 0), (10, 0.0), (20, 0.0), (30, 0.0),
    (3, "BYBLOCK_LINE"),
    *line(0, 0, 30, 0, "0", [(6, "BYBLOCK")]),
    # Layer 0 and ByLayer: the insert's layer, continuous for row 6.
    *line(0, 1, 30, 1, "0"),
    (0, "ENDBLK"), (8, "0"),
])

# Hatch with one continuous pattern line family, the entity itself DASHED.
hatch = [
    (0, "HATCH"), (100, "AcDbEntity"), (8, "0"), (6, "DASHED"), (100, "AcDbHatch"),
    (10, 0.0), (20, 0.0), (30, 0.0), (210, 0.0), (220, 0.0), (230, 1.0),
    (2, "LINES"), (70, 0), (71, 0), (91, 1),
    (92, 2), (72, 0), (73, 1), (93, 4),
    (10, 60.0), (20, 0.0), (10, 80.0), (20, 0.0), (10, 80.0), (20, 4.0), (10, 60.0), (20, 4.0),
    (97, 0), (75, 0), (76, 1), (52, 0.0), (41, 1.0), (77, 0), (78, 1),
    (53, 0.0), (43, 0.0), (44, 0.0), (45, 0.0), (46, 2.0), (79, 0),
    (98, 0),
]

lwpolyline = [(0, "LWPOLYLINE"), (8, "0"), (6, "DASHED"), (90, 43), (70, 0)]
for i in range(43):
    lwpolyline += [(10, i * 0.7), (20, 16.0)]

linetypes = header([
    ("$ACADVER", [(1, "AC1015")]),
    ("$INSUNITS", [(70, 4)]),
    ("$MEASUREMENT", [(70, 1)]),
    ("$LTSCALE", [(40, 2.0)]),
    # Only for entities drawn next: the file's entities keep their own scale.
    ("$CELTSCALE", [(40, 5.0)]),
    ("$PSLTSCALE", [(70, 1)]),
    ("$LWDISPLAY", [(290, 0)]),
]) + linetypes_tables + linetypes_blocks + section("ENTITIES", [
    *line(0, 0, 30, 0, "0", [(6, "DASHED")]),
    *line(0, 2, 30, 2, "0", [(6, "DASHED"), (48, 2.0)]),
    *line(0, 4, 30, 4, "HIDDEN_LAYER"),
    (0, "INSERT"), (8, "0"), (6, "DASHED"), (2, "BYBLOCK_LINE"), (10, 0.0), (20, 6.0), (30, 0.0),
    *line(0, 8, 30, 8, "HIDDEN_LAYER", [(6, "CONTINUOUS")]),
    *line(0, 10, 30, 10, "0", [(6, "DOT")]),
    *line(0, 12, 30, 12, "0", [(6, "FINE")]),
    *line(0, 14, 30, 14, "0", [(6, "GAS_LINE")]),
    *lwpolyline,
    *line(0, 18, 30, 18, "0", [(6, "GAPS")]),
    # Shorter than one period (1.5): drawn whole.
    *line(0, 20, 1.2, 20, "0", [(6, "DASHED")]),
    # A linetype the tables never define: continuous.
    *line(0, 22, 30, 22, "0", [(6, "NO_SUCH_TYPE")]),
    (0, "CIRCLE"), (8, "0"), (6, "DASHED"), (10, 45.0), (20, 10.0), (30, 0.0), (40, 8.0),
    *hatch,
]) + [(0, "EOF")]

write("linetypes.dxf", linetypes)
write_binary("linetypes_binary.dxf", linetypes)


def lineweights(display):
    return header([
        ("$ACADVER", [(1, "AC1015")]),
        ("$INSUNITS", [(70, 4)]),
        ("$LWDISPLAY", [(290, display)]),
        ("$LWDEFAULT", [(370, 25)]),
    ]) + section("TABLES", table("LAYER", [
        layer("0", 7),
        layer("ONE_MM", 7, lineweight=100),
    ])) + section("ENTITIES", [
        *line(0, 0, 30, 0, "0", [(370, 211)]),
        *line(0, 10, 30, 10, "0", [(370, -3)]),
        *line(0, 20, 30, 20, "ONE_MM"),
        # Paper space, in millimetres: a 2.11 mm line on the sheet.
        (0, "LINE"), (67, 1), (8, "0"), (370, 211),
        (10, 10.0), (20, 50.0), (30, 0.0), (11, 190.0), (21, 50.0), (31, 0.0),
        (0, "LINE"), (67, 1), (8, "0"),
        (10, 0.0), (20, 0.0), (30, 0.0), (11, 200.0), (21, 100.0), (31, 0.0),
    ]) + [(0, "EOF")]


write("lineweights.dxf", lineweights(1))
write("lineweights_off.dxf", lineweights(0))


def solid(x, y, size, layer_="0", extra=()):
    return [(0, "SOLID"), (8, layer_)] + list(extra) + [
        (10, x), (20, y), (11, x + size), (21, y), (12, x), (22, y + size),
        (13, x + size), (23, y + size)]


def alpha(a):
    return 0x02000000 | a


BY_BLOCK = 0x01000000
# An opaque red square under a green one at a quarter opacity (0..10 and
# 5..15); a blue square on a half-clear layer at 20..30; a block's ByBlock
# square shown through an insert at a quarter opacity at 40..50.
transparency = header([("$ACADVER", [(1, "AC1018")])]) + section("TABLES", table("LAYER", [
    layer("0", 7),
    layer("GLASS", 5) + [(1001, "AcCmTransparency"), (1071, alpha(127))],
])) + section("BLOCKS", [
    (0, "BLOCK"), (8, "0"), (2, "PANE"), (70, 0), (10, 0.0), (20, 0.0), (30, 0.0),
    *solid(0.0, 0.0, 10.0, "0", [(62, 3), (440, BY_BLOCK)]),
    (0, "ENDBLK"),
]) + section("ENTITIES", [
    *solid(0.0, 0.0, 10.0, "0", [(62, 1)]),
    *solid(5.0, 5.0, 10.0, "0", [(62, 3), (440, alpha(64))]),
    *solid(20.0, 0.0, 10.0, "GLASS"),
    (0, "INSERT"), (8, "0"), (440, alpha(64)), (2, "PANE"), (10, 40.0), (20, 0.0), (30, 0.0),
]) + [(0, "EOF")]
write("transparency.dxf", transparency)
write_binary("transparency_binary.dxf", transparency)


def shape_element(length, number, style, scale, x=0.0, y=0.0, rotation=0.0, flags=4):
    return (length, [(74, flags), (75, number), (340, style), (46, scale), (50, rotation),
                     (44, x), (45, y)])


def shape_style(handle, file_name):
    # Shape files are STYLE records with flag 1 and, mostly, no name.
    return [(0, "STYLE"), (5, handle), (100, "AcDbSymbolTableRecord"),
            (100, "AcDbTextStyleTableRecord"), (2, ""), (70, 1), (40, 0.0), (41, 1.0),
            (50, 0.0), (71, 0), (42, 0.2), (3, file_name), (4, "")]


# The standard definitions: FENCELINE2 is A,.25,-.1,[BOX,ltypeshp.shx,x=-.1,s=.1],-.1,1 and
# so on; the shape sits at the end of the element it follows.
LTYPESHP = "2A"
shapes_tables = section("TABLES", table("LTYPE", [
    ltype("FENCELINE1", [0.25, shape_element(-0.1, 133, LTYPESHP, 0.1, x=-0.1), -0.1, 1.0],
          "Fenceline circle ----0-----0----0-----0----0-----0--"),
    ltype("FENCELINE2", [0.25, shape_element(-0.1, 132, LTYPESHP, 0.1, x=-0.1), -0.1, 1.0],
          "Fenceline square ----[]-----[]----[]-----[]----[]---"),
    ltype("TRACKS", [shape_element(0.15, 130, LTYPESHP, 0.25), 0.15],
          "Tracks -|-|-|-|-|-|-|-|-|-|-|-|-|-|-|-|-|-|-|-|-|-|-|-"),
    ltype("BATTING", [0.0001, shape_element(-0.1, 134, LTYPESHP, 0.1, x=-0.1),
                      shape_element(-0.2, 134, LTYPESHP, 0.1, x=0.1, rotation=180.0), -0.1],
          "Batting SSSSSSSSSSSSSSSSSSSSSSSSSSSSSSSSSSSSSSSSSSSSSSSSSSSSSSSSSSSSSSS"),
    ltype("ZIGZAG", [0.0001, shape_element(-0.2, 131, LTYPESHP, 0.2, x=-0.2),
                     shape_element(-0.4, 131, LTYPESHP, 0.2, x=0.2, rotation=180.0), -0.2],
          "Zig zag /\\/\\/\\/\\/\\/\\/\\/\\/\\/\\/\\/\\/\\/\\/\\/\\/\\/"),
    # A shape number the standard file does not have, and a file nobody has.
    ltype("UNKNOWN_SHAPE", [0.25, shape_element(-0.2, 200, LTYPESHP, 0.1), -0.1, 1.0]),
    ltype("MISSING_FILE", [0.25, shape_element(-0.2, 132, "2B", 0.1), -0.1, 1.0]),
    # BOX upright whatever the line's direction (absolute rotation).
    ltype("UPRIGHT_BOX", [0.25, shape_element(-0.1, 132, LTYPESHP, 0.1, x=-0.1,
                                              rotation=45.0, flags=5), -0.1, 1.0]),
]) + table("LAYER", [layer("0", 7)]) + table("STYLE", [
    # Named as a drawing made elsewhere names it: another folder, another case.
    shape_style(LTYPESHP, "C:\\CAD\\Support\\LtypeShp.SHX"),
    shape_style("2B", "nosuch.shx"),
]))

shapes_polyline = [(0, "LWPOLYLINE"), (8, "0"), (6, "FENCELINE2"), (90, 3), (70, 0),
                   (10, 12.0), (20, 0.0), (10, 17.0), (20, 0.0), (10, 17.0), (20, 6.0)]

shapes = header([
    ("$ACADVER", [(1, "AC1015")]),
    ("$INSUNITS", [(70, 1)]),
    ("$LTSCALE", [(40, 1.0)]),
]) + shapes_tables + section("ENTITIES", [
    *line(0, 0, 10, 0, "0", [(6, "FENCELINE2")]),
    *line(0, 2, 10, 2, "0", [(6, "FENCELINE1")]),
    *line(0, 4, 10, 4, "0", [(6, "TRACKS")]),
    *line(0, 6, 10, 6, "0", [(6, "BATTING")]),
    *line(0, 8, 10, 8, "0", [(6, "ZIGZAG")]),
    *line(0, 10, 10, 10, "0", [(6, "UNKNOWN_SHAPE")]),
    *line(0, 12, 10, 12, "0", [(6, "MISSING_FILE")]),
    # Straight up, drawn in red: the boxes turn with the line and take its colour.
    *line(20, 0, 20, 10, "0", [(6, "FENCELINE2"), (62, 1)]),
    *line(22, 0, 22, 10, "0", [(6, "UPRIGHT_BOX")]),
    *shapes_polyline,
]) + [(0, "EOF")]
write("shapes.dxf", shapes)


def shape_file(shapes_):
    """shapes_: (number, name, codes) in the compiled shape format."""
    out = bytearray(b"AutoCAD-86 shapes 1.0\r\n\x1a")
    numbers = [n for n, _, _ in shapes_]
    out += struct.pack("<HHH", min(numbers), max(numbers), len(shapes_))
    bodies = [name.encode("ascii") + b"\x00" + bytes(c & 0xFF for c in codes)
              for _, name, codes in shapes_]
    for (number, _, _), body in zip(shapes_, bodies):
        out += struct.pack("<HH", number, len(body))
    for body in bodies:
        out += body
    return bytes(out + b"EOF")


# In place of BOX (132): a stroke five units straight up, then a subshape
# (1) that goes on up by a displacement list; an unrelated arc (2) besides.
own_shapes = shape_file([
    (1, "UPMORE", [9, 0, 2, 0, 1, 0, 0, 0]),
    (2, "ARC", [0x0A, 2, 0x40, 0]),
    (132, "TALL", [8, 0, 5, 7, 1, 0]),
])
shx_dir = os.path.join(HERE, "..", "shx")
os.makedirs(shx_dir, exist_ok=True)
with open(os.path.join(shx_dir, "own_shapes.shx"), "wb") as f:
    f.write(own_shapes)
