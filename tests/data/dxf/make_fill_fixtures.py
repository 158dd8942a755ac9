#!/usr/bin/python3
"""Writes the fill fixtures of the reader tests into this folder.

fill_edges.dxf: solid hatches bounded by spline and elliptic edges among lines.
gradients.dxf: gradient hatches of each kind, side by side.
"""
import os

HERE = os.path.dirname(os.path.abspath(__file__))


def dxf(pairs):
    return "".join(f"{c:>3}\n{v}\n" for c, v in pairs)


def section(name, body):
    return [(0, "SECTION"), (2, name)] + body + [(0, "ENDSEC")]


def write(name, pairs):
    with open(os.path.join(HERE, name), "w", newline="", encoding="cp1252") as f:
        f.write(dxf(pairs))


def drawing(entities, version="AC1027", blocks=(), objects=()):
    out = section("HEADER", [(9, "$ACADVER"), (1, version)])
    if blocks:
        out += section("BLOCKS", list(blocks))
    out += section("ENTITIES", list(entities))
    if objects:
        out += section("OBJECTS", list(objects))
    return out + [(0, "EOF")]


def hatch(edges, color=1, extra=(), solid=True, name="SOLID"):
    """One solid hatch of one edge path; `edges` are lists of groups from 72 on."""
    out = [(0, "HATCH"), (8, "0"), (62, color), (10, 0.0), (20, 0.0), (30, 0.0),
           (210, 0.0), (220, 0.0), (230, 1.0), (2, name), (70, 1 if solid else 0), (71, 0),
           (91, 1), (92, 1), (93, len(edges))]
    for e in edges:
        out += e
    return out + [(97, 0), (75, 0), (76, 1)] + list(extra) + [(98, 0)]


def line(x0, y0, x1, y1):
    return [(72, 1), (10, x0), (20, y0), (11, x1), (21, y1)]


def spline(control, knots, fit=None):
    """A spline edge as newer files write it: its own fit point count follows."""
    out = [(72, 4), (94, 3), (73, 0), (74, 0), (95, len(knots)), (96, len(control))]
    out += [(40, k) for k in knots]
    for x, y in control:
        out += [(10, x), (20, y)]
    if fit is None:
        return out + [(97, 0)]
    out += [(97, len(fit))]
    for x, y in fit:
        out += [(11, x), (21, y)]
    return out + [(12, 1.0), (22, 0.0), (13, 0.0), (23, 1.0)]


def ellipse(cx, cy, mx, my, ratio, start, end, ccw):
    return [(72, 3), (10, cx), (20, cy), (11, mx), (21, my), (40, ratio), (50, start),
            (51, end), (73, 1 if ccw else 0)]


BEZIER = [0.0] * 4 + [1.0] * 4

edges = (
    # A square whose right side bulges: the edges after the spline close it.
    hatch([line(0.0, 0.0, 10.0, 0.0),
           spline([(10.0, 0.0), (14.0, 3.0), (14.0, 7.0), (10.0, 10.0)], BEZIER),
           line(10.0, 10.0, 0.0, 10.0), line(0.0, 10.0, 0.0, 5.0), line(0.0, 5.0, 0.0, 0.0)])
    # The same with a spline that also lists fit points and end tangents.
    + hatch([line(20.0, 0.0, 30.0, 0.0),
             spline([(30.0, 0.0), (34.0, 3.0), (34.0, 7.0), (30.0, 10.0)], BEZIER,
                    fit=[(30.0, 0.0), (30.0, 10.0)]),
             line(30.0, 10.0, 20.0, 10.0), line(20.0, 10.0, 20.0, 0.0)], color=3)
    # Half ellipses over a chord, counter-clockwise and clockwise, 20 x 5 high.
    + hatch([line(40.0, 0.0, 60.0, 0.0), ellipse(50.0, 0.0, 10.0, 0.0, 0.5, 0.0, 180.0, True)],
            color=5)
    + hatch([ellipse(80.0, 0.0, 10.0, 0.0, 0.5, 180.0, 0.0, False), line(90.0, 0.0, 70.0, 0.0)],
            color=5)
    # A quarter ellipse edge turned 90 degrees, between two lines to its centre.
    + hatch([line(100.0, 0.0, 100.0, 10.0), ellipse(100.0, 0.0, 0.0, 10.0, 0.4, 0.0, 90.0, True),
             line(96.0, 0.0, 100.0, 0.0)], color=5))
write("fill_edges.dxf", drawing(edges))


def square_edges(x, y, size=10.0):
    return [line(x, y, x + size, y), line(x + size, y, x + size, y + size),
            line(x + size, y + size, x, y + size), line(x, y + size, x, y)]


def gradient(name, colors, angle=0.0, shift=0.0, one_color=False, tint=0.0):
    out = [(450, 1), (451, 0), (452, 1 if one_color else 0), (453, len(colors)),
           (460, angle), (461, shift), (462, tint)]
    for k, rgb in enumerate(colors):
        out += [(463, float(k)), (63, 5), (421, rgb)]
    return out + [(470, name)]


KINDS = ["LINEAR", "CYLINDER", "INVCYLINDER", "SPHERICAL", "INVSPHERICAL", "HEMISPHERICAL",
         "INVHEMISPHERICAL", "CURVED", "INVCURVED"]
RED_BLUE = [0xFF0000, 0x0000FF]
# One square per kind along y = 0, red to blue; then a linear blend turned a
# quarter turn, a one-colour green blend to white, and a shifted one.
gradients = []
for k, name in enumerate(KINDS):
    gradients += hatch(square_edges(15.0 * k, 0.0), extra=gradient(name, RED_BLUE), name=name)
gradients += hatch(square_edges(0.0, 15.0), extra=gradient("LINEAR", RED_BLUE, angle=1.5707963267948966),
                   name="LINEAR")
gradients += hatch(square_edges(15.0, 15.0), extra=gradient("LINEAR", [0x00FF00], one_color=True,
                                                            tint=1.0), name="LINEAR")
gradients += hatch(square_edges(30.0, 15.0), extra=gradient("LINEAR", RED_BLUE, shift=1.0),
                   name="LINEAR")
write("gradients.dxf", drawing(gradients))


def insert(name, x, y, xdict=None):
    out = [(0, "INSERT"), (8, "0"), (2, name), (10, x), (20, y), (30, 0.0)]
    if xdict:
        out[1:1] = [(5, f"{xdict}0"), (102, "{ACAD_XDICTIONARY"), (360, xdict), (102, "}")]
    return out


def dictionary(handle, entries, code=360):
    out = [(0, "DICTIONARY"), (5, handle), (100, "AcDbDictionary")]
    for key, target in entries:
        out += [(3, key), (code, target)]
    return out


def spatial_filter(handle, points, xdict=None):
    out = [(0, "SPATIAL_FILTER"), (5, handle)]
    if xdict:
        out += [(102, "{ACAD_XDICTIONARY"), (360, xdict), (102, "}")]
    out += [(100, "AcDbFilter"), (100, "AcDbSpatialFilter"), (70, len(points))]
    for x, y in points:
        out += [(10, x), (20, y)]
    out += [(210, 0.0), (220, 0.0), (230, 1.0), (11, 0.0), (21, 0.0), (31, 0.0), (71, 1),
            (72, 0), (73, 0)]
    identity = [1.0, 0.0, 0.0, 0.0, 0.0, 1.0, 0.0, 0.0, 0.0, 0.0, 1.0, 0.0]
    return out + [(40, v) for v in identity * 2]


# A block of one red square (0..10) placed three times: clipped to a
# rectangle, clipped outside a triangle (inverted), and whole.
square_block = ([(0, "BLOCK"), (8, "0"), (2, "SQ"), (70, 0), (10, 0.0), (20, 0.0), (30, 0.0)]
                + hatch(square_edges(0.0, 0.0)) + [(0, "ENDBLK"), (8, "0")])
clips = insert("SQ", 0.0, 0.0, "A1") + insert("SQ", 20.0, 0.0, "B1") + insert("SQ", 40.0, 0.0)
clip_objects = (
    dictionary("A1", [("ACAD_FILTER", "A2")]) + dictionary("A2", [("SPATIAL", "A3")])
    + spatial_filter("A3", [(2.0, 2.0), (6.0, 6.0)])
    + dictionary("B1", [("ACAD_FILTER", "B2")]) + dictionary("B2", [("SPATIAL", "B3")])
    + spatial_filter("B3", [(0.0, 0.0), (10.0, 0.0), (0.0, 10.0)], xdict="B4")
    + dictionary("B4", [("ACAD_XREC_ROUNDTRIP", "B5")], code=350)
    + [(0, "XRECORD"), (5, "B5"), (100, "AcDbXrecord"), (280, 1),
       (1, "ACAD_INVERTEDCLIP_ROUNDTRIP"), (290, 1)])
write("xclip.dxf", drawing(clips, blocks=square_block, objects=clip_objects))
