#!/usr/bin/python3
"""Writes the viewport and image fixtures: paper-space windows onto a model of
coloured squares, and IMAGE entities showing a small PNG written beside them."""
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))


def dxf(pairs):
    return "".join(f"{c:>3}\n{v}\n" for c, v in pairs)


def section(name, body):
    return [(0, "SECTION"), (2, name)] + body + [(0, "ENDSEC")]


def write(name, pairs):
    with open(os.path.join(HERE, name), "w", newline="", encoding="cp1252") as f:
        f.write(dxf(pairs))


def binary_type(code):
    for lo, hi, t in [(0, 9, "s"), (10, 59, "d"), (60, 79, "h"), (90, 99, "i"), (100, 102, "s"),
                      (110, 149, "d"), (210, 239, "d"), (280, 289, "h"), (290, 299, "b"),
                      (300, 369, "s"), (370, 389, "h"), (1000, 1009, "s"), (1010, 1059, "d"),
                      (1060, 1070, "h"), (1071, 1071, "i")]:
        if lo <= code <= hi:
            return t
    raise ValueError(f"no binary type for group code {code}")


def write_binary(name, pairs):
    out = bytearray(b"AutoCAD Binary DXF\r\n\x1a\x00")
    for code, value in pairs:
        out += struct.pack("<H", code)
        t = binary_type(code)
        if t == "s":
            out += str(value).encode("cp1252") + b"\x00"
        elif t == "d":
            out += struct.pack("<d", float(value))
        elif t == "h":
            out += struct.pack("<h", int(value))
        elif t == "i":
            out += struct.pack("<i", int(value))
        else:
            out += bytes([int(value)])
    with open(os.path.join(HERE, name), "wb") as f:
        f.write(out)


def write_png(name, rows):
    """A plain 8-bit RGB PNG of the given rows of (r, g, b) pixels."""
    height, width = len(rows), len(rows[0])
    raw = b"".join(b"\x00" + bytes(c for px in row for c in px) for row in rows)

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    png = (b"\x89PNG\r\n\x1a\n"
           + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
           + chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b""))
    with open(os.path.join(HERE, name), "wb") as f:
        f.write(png)


def layer(name, color, handle):
    return [(0, "LAYER"), (5, handle), (2, name), (70, 0), (62, color), (6, "CONTINUOUS")]


def tables(layers):
    body = [(0, "TABLE"), (2, "LAYER"), (70, len(layers))] + sum(layers, []) + [(0, "ENDTAB")]
    return section("TABLES", body)


def square(lay, x, y, size, paper=False):
    """A filled square (SOLID corners go in a Z order)."""
    e = [(0, "SOLID"), (8, lay)] + ([(67, 1)] if paper else [])
    return e + [(10, x), (20, y), (11, x + size), (21, y), (12, x), (22, y + size),
                (13, x + size), (23, y + size)]


def viewport(lay, vid, cx, cy, w, h, vcx, vcy, vh, twist=0.0, status=1, frozen=(), extra=()):
    e = [(0, "VIEWPORT"), (8, lay), (67, 1), (100, "AcDbViewport"), (10, cx), (20, cy), (30, 0.0),
         (40, w), (41, h), (68, status), (69, vid), (12, vcx), (22, vcy), (16, 0.0), (26, 0.0),
         (36, 1.0), (17, 0.0), (27, 0.0), (37, 0.0), (45, vh), (51, twist)]
    e += [(331, f) for f in frozen]
    return e + [(90, 32768)] + list(extra)


# The model: a red square on layer A at (0..10, 0..10), a green one on layer B
# at (20..30, 0..10). Layer VP (blue) holds viewport borders; HIDDEN is off.
model_layers = [layer("0", 7, "10"), layer("A", 1, "11"), layer("B", 3, "12"),
                layer("VP", 5, "13"), layer("HIDDEN", -5, "14")]
model = square("A", 0.0, 0.0, 10.0) + square("B", 20.0, 0.0, 10.0)
paper = (
    # The sheet itself: never a window.
    viewport("VP", 1, 148.5, 105.0, 297.0, 210.0, 15.0, 5.0, 210.0)
    # Scale 2 about model (15, 5): A at paper (30..50, 50..70), B at (70..90, 50..70).
    + viewport("VP", 2, 60.0, 60.0, 100.0, 80.0, 15.0, 5.0, 40.0)
    # Turned 90 degrees, scale 1, layer B frozen: A at paper (195..205, 45..55).
    + viewport("VP", 3, 200.0, 60.0, 80.0, 80.0, -5.0, 15.0, 80.0, twist=90.0, frozen=["12"])
    # Scale 5 about the model origin, on a layer that is off: A fills the
    # top-right quarter of the window (200..210, 160..170) and no further.
    + viewport("HIDDEN", 4, 200.0, 160.0, 20.0, 20.0, 0.0, 0.0, 4.0)
    # Switched off: its border only.
    + viewport("VP", 5, 60.0, 160.0, 40.0, 40.0, 5.0, 5.0, 20.0, status=0)
    # A paper-space note under the sheet, so the layout is more than its windows.
    + [(0, "LINE"), (8, "0"), (67, 1), (10, 0.0), (20, 0.0), (11, 10.0), (21, 0.0)])
viewports = (section("HEADER", [(9, "$ACADVER"), (1, "AC1015"), (9, "$TILEMODE"), (70, 0)])
             + tables(model_layers) + section("ENTITIES", model + paper) + [(0, "EOF")])
write("viewports.dxf", viewports)
write_binary("viewports_binary.dxf", viewports)

# Windows clipped by an outline on the layout: the second window cut to a
# circle round A (paper (40, 60), radius 15), a third cut to a triangle, and a
# fourth naming an outline that is not there, which keeps its rectangle.
NON_RECTANGULAR = 0x10000
clipped_paper = (
    viewport("VP", 1, 148.5, 105.0, 297.0, 210.0, 15.0, 5.0, 210.0)
    + viewport("VP", 2, 60.0, 60.0, 100.0, 80.0, 15.0, 5.0, 40.0)[:-1]
    + [(90, 32768 | NON_RECTANGULAR), (340, "2A")]
    + [(0, "CIRCLE"), (5, "2A"), (8, "VP"), (67, 1), (10, 40.0), (20, 60.0), (30, 0.0),
       (40, 15.0)]
    # Scale 1 about model (15, 5): A at paper (185..195, 55..65), B at (205..215, 55..65);
    # the triangle keeps A's lower left and drops B.
    + [(0, "LWPOLYLINE"), (5, "2B"), (8, "VP"), (67, 1), (100, "AcDbPolyline"), (90, 3),
       (70, 1), (10, 170.0), (20, 30.0), (10, 200.0), (20, 30.0), (10, 170.0), (20, 90.0)]
    + viewport("VP", 3, 200.0, 60.0, 80.0, 80.0, 15.0, 5.0, 80.0)[:-1]
    + [(90, 32768 | NON_RECTANGULAR), (340, "2B")]
    + viewport("VP", 4, 200.0, 160.0, 80.0, 40.0, 15.0, 5.0, 40.0)[:-1]
    + [(90, 32768 | NON_RECTANGULAR), (340, "FFFF")])
write("viewports_clipped.dxf",
      section("HEADER", [(9, "$ACADVER"), (1, "AC1015"), (9, "$TILEMODE"), (70, 0)])
      + tables(model_layers) + section("ENTITIES", model + clipped_paper) + [(0, "EOF")])

# The same second window as an R12 file writes it: the view in "ACAD" MVIEW
# extended data, with layer B frozen by name.
def mview(vid, cx, cy, w, h, vcx, vcy, vh, twist, frozen):
    return ([(0, "VIEWPORT"), (8, "VP"), (67, 1), (10, cx), (20, cy), (30, 0.0), (40, w),
             (41, h), (68, 1), (69, vid), (1001, "ACAD"), (1000, "MVIEW"), (1002, "{"),
             (1070, 16), (1010, 0.0), (1020, 0.0), (1030, 0.0), (1010, 0.0), (1020, 0.0),
             (1030, 1.0), (1040, twist), (1040, vh), (1040, vcx), (1040, vcy), (1040, 50.0),
             (1040, 0.0), (1040, 0.0), (1070, 0), (1070, 100), (1070, 1), (1070, 3),
             (1070, 0), (1070, 0), (1070, 0), (1070, 0), (1040, 0.0), (1040, 0.0),
             (1040, 0.0), (1040, 1.0), (1040, 1.0), (1040, 1.0), (1040, 1.0), (1070, 0),
             (1002, "{")] + [(1003, f) for f in frozen] + [(1002, "}"), (1002, "}")])


r12 = (section("HEADER", [(9, "$ACADVER"), (1, "AC1009")]) + tables(model_layers)
       + section("ENTITIES", model + mview(1, 148.5, 105.0, 297.0, 210.0, 15.0, 5.0, 210.0, 0.0, [])
                 + mview(2, 60.0, 60.0, 100.0, 80.0, 15.0, 5.0, 40.0, 0.0, ["B"]))
       + [(0, "EOF")])
write("viewports_r12.dxf", r12)

# A 4 x 2 image: top row red, green, blue, yellow; bottom row white, black,
# cyan, magenta.
write_png("images_tile.png", [[(255, 0, 0), (0, 255, 0), (0, 0, 255), (255, 255, 0)],
                              [(255, 255, 255), (0, 0, 0), (0, 255, 255), (255, 0, 255)]])


def image(lay, def_handle, x, y, u, v, clip=None, flags=3, extra=()):
    e = [(0, "IMAGE"), (8, lay), (100, "AcDbRasterImage"), (90, 0), (10, x), (20, y), (30, 0.0),
         (11, u[0]), (21, u[1]), (31, 0.0), (12, v[0]), (22, v[1]), (32, 0.0), (13, 4.0),
         (23, 2.0), (340, def_handle), (70, flags), (280, 1 if clip else 0), (281, 50),
         (282, 50), (283, 0)]
    if clip:
        e += [(71, 1 if len(clip) == 2 else 2), (91, len(clip))]
        for px, py in clip:
            e += [(14, px), (24, py)]
    return e + list(extra)


def imagedef(handle, path):
    return [(0, "IMAGEDEF"), (5, handle), (100, "AcDbRasterImageDef"), (90, 0), (1, path),
            (10, 4.0), (20, 2.0), (11, 1.0), (21, 1.0), (280, 1), (281, 0)]


image_entities = (
    # A Windows path whose folder does not exist here and whose name differs in case.
    image("0", "A1", 0.0, 0.0, (10.0, 0.0), (0.0, 10.0))
    # Turned a quarter to the left: the top-left pixel lands at (85, 5).
    + image("0", "A2", 100.0, 0.0, (0.0, 10.0), (-10.0, 0.0))
    # Clipped to the triangle of its top-left half.
    + image("0", "A2", 200.0, 0.0, (10.0, 0.0), (0.0, 10.0),
            clip=[(-0.5, -0.5), (3.5, -0.5), (-0.5, 1.5)])
    # Its file is nowhere: a frame and the file's name.
    + image("0", "A3", 300.0, 0.0, (10.0, 0.0), (0.0, 10.0))
    # Hidden: the frame only.
    + image("0", "A2", 400.0, 0.0, (10.0, 0.0), (0.0, 10.0), flags=0)
    # Through a block scaled by 10: the same picture as the first, at y = 100.
    + [(0, "INSERT"), (8, "0"), (2, "PIC"), (10, 0.0), (20, 100.0), (41, 10.0), (42, 10.0)])
image_block = ([(0, "BLOCK"), (8, "0"), (2, "PIC"), (70, 0), (10, 0.0), (20, 0.0)]
               + image("0", "A2", 0.0, 0.0, (1.0, 0.0), (0.0, 1.0)) + [(0, "ENDBLK")])
images = (section("HEADER", [(9, "$ACADVER"), (1, "AC1015")])
          + section("BLOCKS", image_block) + section("ENTITIES", image_entities)
          + section("OBJECTS", imagedef("A1", "D:\\Project\\Maps\\IMAGES_TILE.PNG")
                    + imagedef("A2", "images_tile.png")
                    + imagedef("A3", "C:\\photos\\missing.png"))
          + [(0, "EOF")])
write("images.dxf", images)

# A wipeout masking the upper-left triangle of the red square's right half,
# seen in the model (black background) and through a window (white paper).
wipeout = [(0, "WIPEOUT"), (8, "VP"), (100, "AcDbWipeout"), (90, 0), (10, 5.0), (20, 0.0),
           (30, 0.0), (11, 5.0), (21, 0.0), (31, 0.0), (12, 0.0), (22, 10.0), (32, 0.0),
           (13, 1.0), (23, 1.0), (70, 7), (280, 1), (71, 2), (91, 4),
           (14, -0.5), (24, -0.5), (14, 0.5), (24, -0.5), (14, -0.5), (24, 0.5),
           (14, -0.5), (24, -0.5)]
wipeout_paper = (viewport("0", 1, 50.0, 50.0, 100.0, 100.0, 5.0, 5.0, 100.0)
                 + viewport("0", 2, 50.0, 50.0, 40.0, 40.0, 5.0, 5.0, 20.0))


def wipeout_drawing(objects):
    return (section("HEADER", [(9, "$ACADVER"), (1, "AC1015")]) + tables(model_layers)
            + section("ENTITIES", square("A", 0.0, 0.0, 10.0) + wipeout + wipeout_paper)
            + section("OBJECTS", objects) + [(0, "EOF")])


write("wipeouts.dxf", wipeout_drawing([]))
write("wipeouts_noframe.dxf", wipeout_drawing(
    [(0, "WIPEOUTVARIABLES"), (5, "W1"), (100, "AcDbWipeoutVariables"), (70, 0)]))

# Masks over green lines drawn before them: a text box in red and one in the
# view's background (MTEXT background fill), and a wipeout over x 30..40.
def green_line(x0, y0, x1, y1):
    return [(0, "LINE"), (8, "0"), (62, 3), (10, x0), (20, y0), (30, 0.0), (11, x1), (21, y1),
            (31, 0.0)]


def masked_mtext(x, y, flags, color=None):
    e = [(0, "MTEXT"), (8, "0"), (100, "AcDbMText"), (10, x), (20, y), (30, 0.0), (40, 1.0),
         (41, 10.0), (71, 1), (1, "MASKED"), (90, flags), (45, 1.5)]
    return e + ([(63, color)] if color is not None else [])


mask_wipeout = [(0, "WIPEOUT"), (8, "0"), (100, "AcDbWipeout"), (90, 0), (10, 30.0), (20, 0.0),
                (30, 0.0), (11, 10.0), (21, 0.0), (31, 0.0), (12, 0.0), (22, 10.0), (32, 0.0),
                (13, 1.0), (23, 1.0), (70, 7), (280, 1), (71, 2), (91, 5),
                (14, -0.5), (24, -0.5), (14, 0.5), (24, -0.5), (14, 0.5), (24, 0.5),
                (14, -0.5), (24, 0.5), (14, -0.5), (24, -0.5)]
write("masks.dxf",
      section("HEADER", [(9, "$ACADVER"), (1, "AC1021")]) + tables(model_layers)
      + section("ENTITIES", green_line(0.0, 0.5, 50.0, 0.5) + green_line(0.0, 10.5, 50.0, 10.5)
                + green_line(25.0, 5.0, 45.0, 5.0) + masked_mtext(5.0, 1.5, 1, color=1)
                + masked_mtext(5.0, 11.5, 3) + mask_wipeout)
      + section("OBJECTS", [(0, "WIPEOUTVARIABLES"), (5, "W1"), (100, "AcDbWipeoutVariables"),
                            (70, 0)]) + [(0, "EOF")])
