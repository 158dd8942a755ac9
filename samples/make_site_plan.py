#!/usr/bin/python3
"""Writes site-plan.dxf: the sample drawing Vistrel opens first.

A small house on its plot, in metres, as an AutoCAD 2000 (AC1015) file with
tables, blocks, handles and two A3 paper layouts ("Layout1" with viewports
onto the model: the plan at 1:200 and the house's core at 1:50 without grid
and dimensions, beside a title block; "Detail" with enlarged symbols).
Run: /usr/bin/python3 samples/make_site_plan.py
"""
import math
import os

OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "site-plan.dxf")


class Handles:
    def __init__(self):
        self.next = 0x30

    def new(self):
        h = self.next
        self.next += 1
        return f"{h:X}"


H = Handles()


def fmt(v):
    if isinstance(v, float):
        s = f"{v:.6f}".rstrip("0")
        return s + "0" if s.endswith(".") else s
    return str(v)


class Out:
    def __init__(self):
        self.parts = []

    def pairs(self, pairs):
        for c, v in pairs:
            self.parts.append(f"{c:>3}\n{fmt(v)}\n")

    def text(self):
        return "".join(self.parts)


# ---------------------------------------------------------------- entities
# Each entity is a function of (owner handle, paper flag) giving its pairs, so
# the same geometry can be written to model space and into a block.

def ent(kind, subclass, layer, body, color=None, extra_sub=None):
    def build(owner, paper=False):
        p = [(0, kind), (5, H.new()), (330, owner), (100, "AcDbEntity")]
        if paper:
            p.append((67, 1))
        p.append((8, layer))
        if color is not None:
            p.append((62, color))
        p.append((100, subclass))
        p.extend(body)
        return p
    return build


def line(layer, a, b, color=None):
    return ent("LINE", "AcDbLine", layer,
               [(10, a[0]), (20, a[1]), (30, 0.0), (11, b[0]), (21, b[1]), (31, 0.0)], color)


def circle(layer, c, r, color=None):
    return ent("CIRCLE", "AcDbCircle", layer, [(10, c[0]), (20, c[1]), (30, 0.0), (40, r)], color)


def arc(layer, c, r, a0, a1, color=None):
    return ent("ARC", "AcDbCircle", layer,
               [(10, c[0]), (20, c[1]), (30, 0.0), (40, r), (100, "AcDbArc"), (50, a0), (51, a1)],
               color)


def ellipse(layer, c, major, ratio, color=None):
    return ent("ELLIPSE", "AcDbEllipse", layer,
               [(10, c[0]), (20, c[1]), (30, 0.0), (11, major[0]), (21, major[1]), (31, 0.0),
                (210, 0.0), (220, 0.0), (230, 1.0), (40, ratio), (41, 0.0), (42, 2 * math.pi)],
               color)


def pline(layer, pts, closed=False, width=None, color=None):
    """pts: (x, y) or (x, y, bulge)."""
    body = [(90, len(pts)), (70, 1 if closed else 0)]
    if width is not None:
        body.append((43, width))
    for p in pts:
        body += [(10, p[0]), (20, p[1])]
        if len(p) > 2 and p[2]:
            body.append((42, p[2]))
    return ent("LWPOLYLINE", "AcDbPolyline", layer, body, color)


def rect(layer, x0, y0, x1, y1, width=None, color=None):
    return pline(layer, [(x0, y0), (x1, y0), (x1, y1), (x0, y1)], True, width, color)


def solid(layer, pts, color=None):
    a, b, c, d = pts if len(pts) == 4 else (pts[0], pts[1], pts[2], pts[2])
    body = []
    for i, p in enumerate((a, b, c, d)):
        body += [(10 + i, p[0]), (20 + i, p[1]), (30 + i, 0.0)]
    return ent("SOLID", "AcDbTrace", layer, body, color)


def text(layer, pos, height, value, h=0, v=0, rot=0.0, style="Labels", color=None):
    body = [(10, pos[0]), (20, pos[1]), (30, 0.0), (40, height), (1, value)]
    if rot:
        body.append((50, rot))
    body.append((7, style))
    if h:
        body.append((72, h))
    if h or v:
        body += [(11, pos[0]), (21, pos[1]), (31, 0.0)]
    body.append((100, "AcDbText"))
    if v:
        body.append((73, v))
    return ent("TEXT", "AcDbText", layer, body, color)


def insert(layer, name, pos, scale=1.0, rot=0.0, sy=None, color=None):
    body = [(2, name), (10, pos[0]), (20, pos[1]), (30, 0.0)]
    if scale != 1.0 or (sy is not None and sy != 1.0):
        body += [(41, scale), (42, sy if sy is not None else scale), (43, 1.0)]
    if rot:
        body.append((50, rot))
    return ent("INSERT", "AcDbBlockReference", layer, body, color)


def mtext(layer, pos, height, width, value, attach=1, color=None):
    body = [(10, pos[0]), (20, pos[1]), (30, 0.0), (40, height), (41, width), (71, attach),
            (72, 1)]
    # Long contents go in 250-character pieces, as CAD programs write them.
    while len(value) > 250:
        body.append((3, value[:250]))
        value = value[250:]
    body += [(1, value), (7, "Labels")]
    return ent("MTEXT", "AcDbMText", layer, body, color)


def hatch(layer, rings, name="SOLID", pattern=(), scale=1.0, angle=0.0, color=None,
          gradient=None):
    """rings: closed outlines; pattern: (angle, base, offset, dashes) lines."""
    solid_fill = name == "SOLID" or gradient is not None
    body = [(10, 0.0), (20, 0.0), (30, 0.0), (210, 0.0), (220, 0.0), (230, 1.0), (2, name),
            (70, 1 if solid_fill else 0), (71, 0), (91, len(rings))]
    for i, ring in enumerate(rings):
        body += [(92, 2 | (1 if i == 0 else 16)), (72, 0), (73, 1), (93, len(ring))]
        for x, y in ring:
            body += [(10, x), (20, y)]
        body.append((97, 0))
    body += [(75, 0), (76, 1)]
    if not solid_fill:
        body += [(52, angle), (41, scale), (77, 0), (78, len(pattern))]
        # The entity stores its pattern lines already scaled (and rotated).
        for a, base, offset, dashes in pattern:
            body += [(53, a + angle), (43, base[0] * scale), (44, base[1] * scale),
                     (45, offset[0] * scale), (46, offset[1] * scale),
                     (79, len(dashes))] + [(49, d * scale) for d in dashes]
    body += [(98, 1), (10, rings[0][0][0]), (20, rings[0][0][1])]
    if gradient is not None:
        first, second = gradient
        body += [(450, 1), (451, 0), (452, 0), (453, 2), (460, 0.0), (461, 0.0), (462, 1.0),
                 (463, 0.0), (63, 5), (421, first), (463, 1.0), (63, 2), (421, second),
                 (470, "LINEAR")]
    return ent("HATCH", "AcDbHatch", layer, body, color)


def box(x0, y0, x1, y1):
    return [(x0, y0), (x1, y0), (x1, y1), (x0, y1)]


def diagonal_lines(spacing):
    """Pattern lines at 45 degrees, `spacing` apart (in the hatch's own scale)."""
    d = spacing / math.sqrt(2.0)
    return [(45.0, (0.0, 0.0), (-d, d), [])]


# ------------------------------------------------------------------ blocks

def door_block():
    # A leaf of 1 m swinging through a quarter circle; scaled per opening.
    return [line("0", (0.0, 0.0), (0.0, 1.0)),
            arc("0", (0.0, 0.0), 1.0, 0.0, 90.0),
            line("0", (0.0, 0.0), (1.0, 0.0))]


def tree_block():
    parts = [circle("0", (0.0, 0.0), 1.0)]
    # A wavy crown: six bulged lobes.
    lobes = []
    for i in range(6):
        a = math.radians(i * 60)
        lobes.append((0.75 * math.cos(a), 0.75 * math.sin(a), 0.6))
    parts.append(pline("0", lobes, closed=True))
    parts.append(circle("0", (0.0, 0.0), 0.12))
    return parts


def chair_block():
    return [pline("0", [(-0.22, -0.2), (0.22, -0.2), (0.22, 0.2), (-0.22, 0.2)], True),
            pline("0", [(-0.22, 0.2), (-0.22, 0.28), (0.22, 0.28), (0.22, 0.2)])]


def table_set_block():
    parts = [circle("0", (0.0, 0.0), 0.55)]
    for i in range(4):
        a = i * 90.0
        r = math.radians(a)
        parts.append(insert("0", "CHAIR", (0.8 * math.cos(r), 0.8 * math.sin(r)), 1.0, a - 90.0))
    return parts


def bed_block():
    return [rect("0", 0.0, 0.0, 1.6, 2.0),
            pline("0", [(0.1, 1.55), (0.75, 1.55), (0.75, 1.9), (0.1, 1.9)], True),
            pline("0", [(0.85, 1.55), (1.5, 1.55), (1.5, 1.9), (0.85, 1.9)], True),
            line("0", (0.0, 1.35), (1.6, 1.35))]


def sofa_block():
    return [pline("0", [(0.0, 0.0), (2.2, 0.0), (2.2, 0.9), (2.0, 0.9), (2.0, 0.25),
                        (0.2, 0.25), (0.2, 0.9), (0.0, 0.9)], True),
            line("0", (0.2, 0.7), (2.0, 0.7)),
            line("0", (1.1, 0.25), (1.1, 0.7))]


def north_block():
    return [circle("0", (0.0, 0.0), 1.0),
            solid("0", [(0.0, 1.3), (-0.35, -0.6), (0.0, -0.25)]),
            pline("0", [(0.0, 1.3), (0.35, -0.6), (0.0, -0.25)], True),
            text("0", (0.0, 1.75), 0.6, "N", h=1, v=2)]


# -------------------------------------------------------------- the plan
HOUSE = (8.0, 8.0, 24.0, 18.0)
WALL = 0.3


def plan():
    e = []
    # Grid every 5 m with lettered and numbered bubbles.
    xs = [0.0, 5.0, 10.0, 15.0, 20.0, 25.0, 30.0, 35.0, 40.0]
    ys = [0.0, 5.0, 10.0, 15.0, 20.0, 25.0, 30.0]
    for i, x in enumerate(xs):
        e.append(line("GRID", (x, -1.0), (x, 31.5)))
        e.append(circle("GRID", (x, 32.3), 0.8))
        e.append(text("GRID", (x, 32.3), 0.7, "ABCDEFGHI"[i], h=1, v=2))
    for i, y in enumerate(ys):
        e.append(line("GRID", (-1.0, y), (41.5, y)))
        e.append(circle("GRID", (-1.8, y), 0.8))
        e.append(text("GRID", (-1.8, y), 0.7, str(i + 1), h=1, v=2))

    # The plot, its front edge curving along the street.
    e.append(pline("SITE", [(1.0, 1.0, 0.0), (39.0, 1.0, 0.0), (39.0, 29.0, 0.0),
                            (1.0, 29.0, 0.0)], closed=True, width=0.15))
    e.append(pline("PAVING", [(-1.0, -0.5, 0.12), (41.5, -0.5)]))
    e.append(text("TEXT", (20.0, -1.8), 1.0, "LINDEN STREET", h=1, v=2))

    # Driveway and a winding footpath.
    e.append(pline("PAVING", [(27.0, 1.0), (27.0, 12.0), (31.0, 12.0), (31.0, 1.0)]))
    e.append(rect("PAVING", 25.5, 8.0, 32.5, 15.0))  # carport
    for k in range(1, 7):
        e.append(line("PAVING", (25.5, 8.0 + k), (32.5, 8.0 + k)))
    e.append(pline("PAVING", [(11.0, 1.0, 0.25), (12.5, 4.0, -0.25), (11.5, 8.0)]))
    e.append(pline("PAVING", [(12.2, 1.0, 0.25), (13.7, 4.0, -0.25), (12.7, 8.0)]))
    e.append(text("TEXT", (29.0, 5.0), 0.8, "DRIVEWAY", h=1, v=2, rot=90.0))
    e.append(text("TEXT", (29.0, 11.5), 0.8, "CARPORT", h=1, v=2))

    # Terrace with a pergola of thin lines.
    e.append(rect("PAVING", 9.0, 18.0, 19.0, 22.5))
    for k in range(1, 10):
        e.append(line("PAVING", (9.0 + k, 18.0), (9.0 + k, 22.5)))
    e.append(text("TEXT", (14.0, 23.3), 0.7, "TERRACE", h=1, v=2))

    # Fills first, so outlines and text draw over them: a lawn in a gradient,
    # hatched paving and the walls' section as a solid with the rooms as a hole.
    e.append(hatch("SITE", [box(1.2, 22.6, 38.8, 28.8)], gradient=(0x2F5A2A, 0x4E8A3E)))
    e.append(hatch("PAVING", [box(25.5, 8.0, 32.5, 15.0)], "ANSI31", diagonal_lines(3.175),
                   scale=0.1, color=9))
    e.append(hatch("PAVING", [box(9.0, 18.0, 19.0, 22.5)], "ANSI37",
                   diagonal_lines(3.175) + [(135.0, (0.0, 0.0), (-2.245, -2.245), [])],
                   scale=0.08, color=9))
    e.append(hatch("PAVING", [box(27.0, 1.0, 31.0, 8.0)], "DOTS",
                   [(0.0, (0.0, 0.0), (0.03125, 0.0625), [0.0, -0.0625])], scale=8.0,
                   color=8))
    x0, y0, x1, y1 = HOUSE
    e.append(hatch("WALLS", [box(x0, y0, x1, y1), box(x0 + WALL, y0 + WALL, x1 - WALL,
                                                      y1 - WALL)], color=8))

    # Walls: outer shell as two closed outlines, partitions as wide lines.
    e.append(rect("WALLS", x0, y0, x1, y1, width=0.05))
    e.append(rect("WALLS", x0 + WALL, y0 + WALL, x1 - WALL, y1 - WALL, width=0.05))
    for pts in ([(8.0, 14.0), (17.0, 14.0)], [(16.0, 8.0), (16.0, 13.0)],
                [(16.0, 13.0), (24.0, 13.0)], [(14.0, 14.0), (14.0, 18.0)],
                [(17.0, 13.0), (17.0, 18.0)]):
        e.append(pline("WALLS", pts, width=0.12))

    # Windows on the outer walls.
    def window(xa, ya, xb, yb):
        horizontal = ya == yb
        out = []
        for t in (0.0, WALL / 2, WALL):
            if horizontal:
                out.append(line("WINDOWS", (xa, ya + t), (xb, yb + t)))
            else:
                out.append(line("WINDOWS", (xa + t, ya), (xb + t, yb)))
        return out
    e += window(12.5, 8.0, 15.0, 8.0)
    e += window(18.5, 8.0, 22.0, 8.0)
    e += window(9.5, 17.7, 12.5, 17.7)
    e += window(19.0, 17.7, 22.5, 17.7)
    e += window(23.7, 9.5, 23.7, 12.0)
    e += window(8.0, 10.0, 8.0, 12.5)

    # Doors: the same block, rotated and scaled to each opening.
    e.append(insert("DOORS", "DOOR", (10.0, 8.3), 1.0, 0.0))
    e.append(insert("DOORS", "DOOR", (16.0, 11.0), 0.85, 90.0))
    e.append(insert("DOORS", "DOOR", (12.5, 14.0), 0.8, 270.0))
    e.append(insert("DOORS", "DOOR", (15.0, 14.0), 0.75, 0.0, sy=-0.75))
    e.append(insert("DOORS", "DOOR", (19.5, 13.0), 0.85, 180.0, sy=-0.85))
    e.append(insert("DOORS", "DOOR", (23.7, 16.0), 0.9, 90.0))

    # Furniture.
    e.append(insert("FURNITURE", "SOFA", (9.0, 12.7), 1.0, 0.0))
    e.append(insert("FURNITURE", "SOFA", (14.8, 9.2), 1.0, 90.0))
    e.append(insert("FURNITURE", "TABLE_SET", (10.6, 10.1), 1.0, 45.0))
    e.append(insert("FURNITURE", "TABLE_SET", (21.5, 10.6)))
    e.append(pline("FURNITURE", [(16.3, 12.7), (23.7, 12.7), (23.7, 12.1), (16.9, 12.1),
                                 (16.9, 8.3), (16.3, 8.3)], closed=True))
    e.append(circle("FURNITURE", (17.5, 12.4), 0.2))
    e.append(circle("FURNITURE", (18.1, 12.4), 0.2))
    e.append(insert("FURNITURE", "BED", (9.2, 15.6), 1.0, 0.0))
    e.append(insert("FURNITURE", "BED", (22.0, 14.0), 1.0, 90.0))
    e.append(pline("FURNITURE", [(14.4, 17.6, 0.0), (16.6, 17.6, 0.0), (16.6, 16.0, 0.0),
                                 (14.4, 16.0, 0.0)], closed=True))  # bath tub
    e.append(pline("FURNITURE", [(14.6, 17.4, 0.0), (16.4, 17.4, -0.3), (16.4, 16.2, 0.0),
                                 (14.6, 16.2, -0.3)], closed=True))
    e.append(ellipse("FURNITURE", (16.3, 14.9), (0.0, 0.32), 0.7))  # WC
    e.append(rect("FURNITURE", 16.55, 14.55, 16.95, 15.25))

    # Trees along the plot, one block in many sizes.
    for (x, y, s, r) in [(4.0, 4.0, 2.2, 0.0), (5.0, 24.0, 3.0, 20.0), (14.0, 26.5, 2.0, 40.0),
                         (23.0, 25.5, 2.6, 10.0), (34.5, 25.0, 3.2, 75.0), (35.5, 16.0, 2.0, 5.0),
                         (36.0, 5.0, 2.4, 33.0), (3.5, 14.0, 1.8, 60.0), (20.0, 4.0, 1.6, 15.0)]:
        e.append(insert("TREES", "TREE", (x, y), s, r))

    # Dimensions drawn as lines with ticks.
    def dim_h(xa, xb, y, yref, label):
        out = [line("DIMENSIONS", (xa, y), (xb, y)),
               line("DIMENSIONS", (xa, yref), (xa, y - 0.4)),
               line("DIMENSIONS", (xb, yref), (xb, y - 0.4))]
        for x in (xa, xb):
            out.append(line("DIMENSIONS", (x - 0.25, y - 0.25), (x + 0.25, y + 0.25)))
        out.append(text("DIMENSIONS", ((xa + xb) / 2, y + 0.25), 0.5, label, h=1, v=1))
        return out

    def dim_v(ya, yb, x, xref, label):
        out = [line("DIMENSIONS", (x, ya), (x, yb)),
               line("DIMENSIONS", (xref, ya), (x - 0.4, ya)),
               line("DIMENSIONS", (xref, yb), (x - 0.4, yb))]
        for y in (ya, yb):
            out.append(line("DIMENSIONS", (x - 0.25, y - 0.25), (x + 0.25, y + 0.25)))
        out.append(text("DIMENSIONS", (x - 0.25, (ya + yb) / 2), 0.5, label, h=1, v=1, rot=90.0))
        return out
    e += dim_h(x0, x1, 6.5, y0, "16.00")
    e += dim_v(y0, y1, 6.5, x0, "10.00")
    e += dim_h(1.0, 39.0, 30.2, 29.0, "38.00")
    e += dim_v(1.0, 29.0, 40.3, 39.0, "28.00")

    # Room names and areas.
    for (x, y, name, area) in [(12.6, 12.0, "LIVING", "48.0"), (20.2, 9.4, "KITCHEN", "40.0"),
                               (12.4, 16.3, "BEDROOM 1", "24.0"), (15.0, 15.0, "BATH", "12.0"),
                               (20.5, 17.0, "BEDROOM 2", "35.0")]:
        e.append(text("TEXT", (x, y), 0.45, name, h=1, v=2))
        e.append(text("TEXT", (x, y - 0.6), 0.32, area + " m\\U+00B2", h=1, v=2, color=9))
    e.append(insert("TEXT", "NORTH", (37.0, 31.0), 0.8))
    e.append(text("TEXT", (20.0, 26.8), 0.8, "GARDEN", h=1, v=2))
    e.append(mtext("TEXT", (26.0, 22.0), 0.45, 12.5,
                   "{\\fArial|b1;NOTES}\\P1. Dimensions in metres; levels in metres above "
                   "datum.\\P2. Terrace: stone slabs, falls 1\\S1/2; % to the garden.\\P"
                   "3. Driveway: permeable gravel on \\C1;200\\C256; mm sub-base."))
    return e


def sheet_frame(title, subtitle, scale, sheet):
    """An A3 landscape sheet in millimetres with a title block."""
    e = [rect("BORDER", 0.0, 0.0, 420.0, 297.0),
         rect("BORDER", 10.0, 10.0, 410.0, 287.0, width=0.7)]
    tx, ty = 250.0, 10.0
    e.append(rect("TITLE", tx, ty, 410.0, 52.0, width=0.5))
    e.append(line("TITLE", (tx, 38.0), (410.0, 38.0)))
    e.append(line("TITLE", (tx, 24.0), (410.0, 24.0)))
    e.append(line("TITLE", (340.0, 10.0), (340.0, 24.0)))
    e.append(text("TITLE", (tx + 5, 42.0), 7.0, title))
    e.append(text("TITLE", (tx + 5, 29.0), 4.0, subtitle))
    e.append(text("TITLE", (tx + 5, 15.0), 3.5, "Scale " + scale))
    e.append(text("TITLE", (345.0, 15.0), 3.5, sheet))
    e.append(text("TITLE", (405.0, 48.0), 2.5, "Vistrel sample drawing", h=2, color=8))
    return e


# Handles of the LAYER table entries, which viewports name to freeze layers.
LAYER_HANDLES = {}


def viewport(layer, vid, center, size, view_center, view_height, frozen=()):
    """A paper-space window onto the model, viewed in plan."""
    body = [(10, center[0]), (20, center[1]), (30, 0.0), (40, size[0]), (41, size[1]),
            (68, vid), (69, vid), (12, view_center[0]), (22, view_center[1]),
            (13, 0.0), (23, 0.0), (14, 1.0), (24, 1.0), (15, 1.0), (25, 1.0),
            (16, 0.0), (26, 0.0), (36, 1.0), (17, 0.0), (27, 0.0), (37, 0.0),
            (42, 50.0), (43, 0.0), (44, 0.0), (45, view_height), (50, 0.0), (51, 0.0),
            (72, 1000)]
    body += [(331, LAYER_HANDLES[name]) for name in frozen]
    body += [(90, 32864), (1, ""), (281, 0), (71, 1), (74, 0), (110, 0.0), (120, 0.0),
             (130, 0.0), (111, 1.0), (121, 0.0), (131, 0.0), (112, 0.0), (122, 1.0),
             (132, 0.0), (79, 0), (146, 0.0), (170, 0), (61, 5)]
    return ent("VIEWPORT", "AcDbViewport", layer, body)


def layout1():
    e = [viewport("0", 1, (210.0, 148.5), (441.0, 311.85), (210.0, 148.5), 311.85)]
    e += sheet_frame("SITE PLAN", "House on Linden Street", "1:200, 1:50 (A3)", "Sheet 1 of 2")
    # The whole plot at 1:200 (5 mm a metre) and the house's core at 1:50.
    e.append(viewport("VIEWPORTS", 2, (130.0, 170.0), (224.0, 180.0), (19.6, 15.4), 36.0))
    e.append(viewport("VIEWPORTS", 3, (330.0, 112.0), (150.0, 96.0), (16.0, 13.0), 4.8,
                      frozen=("GRID", "DIMENSIONS")))
    e.append(text("TITLE", (255.0, 162.0), 3.5, "CORE OF THE HOUSE 1:50"))
    # A legend of the layers.
    legend = [("WALLS", 7), ("DOORS", 1), ("WINDOWS", 4), ("FURNITURE", 30), ("TREES", 94),
              ("PAVING", 9), ("DIMENSIONS", 150), ("GRID", 8)]
    e.append(text("TITLE", (280.0, 262.0), 5.0, "LEGEND"))
    for i, (name, color) in enumerate(legend):
        y = 250.0 - i * 10.0
        e.append(solid("TITLE", [(280.0, y), (292.0, y), (280.0, y + 6.0), (292.0, y + 6.0)],
                       color=color))
        e.append(text("TITLE", (297.0, y + 1.5), 3.5, name.capitalize()))
    e.append(insert("0", "NORTH", (380.0, 250.0), 10.0))
    return e


def detail():
    e = sheet_frame("DETAILS", "Symbols used on the plan", "1:20, 1:25", "Sheet 2 of 2")
    e.append(insert("0", "DOOR", (40.0, 120.0), 50.0))
    e.append(text("TITLE", (65.0, 100.0), 5.0, "DOOR 1:20", h=1))
    e.append(insert("0", "TABLE_SET", (200.0, 170.0), 40.0, 45.0))
    e.append(text("TITLE", (200.0, 100.0), 5.0, "TABLE SET 1:25", h=1))
    e.append(insert("0", "TREE", (330.0, 170.0), 25.0))
    e.append(text("TITLE", (330.0, 100.0), 5.0, "TREE 1:100", h=1))
    e.append(insert("0", "BED", (80.0, 190.0), 25.0, 90.0))
    e.append(text("TITLE", (55.0, 250.0), 5.0, "BED 1:40", h=1))
    return e


LAYERS = [("0", 7), ("GRID", 8), ("SITE", 94), ("PAVING", 9), ("WALLS", 7), ("DOORS", 1),
          ("WINDOWS", 4), ("FURNITURE", 30), ("TREES", 94), ("DIMENSIONS", 150), ("TEXT", 7),
          ("BORDER", 7), ("TITLE", 7), ("VIEWPORTS", 8)]
BLOCKS = [("DOOR", door_block), ("TREE", tree_block), ("CHAIR", chair_block),
          ("TABLE_SET", table_set_block), ("BED", bed_block), ("SOFA", sofa_block),
          ("NORTH", north_block), ("SITE_PLAN", plan)]


def main():
    out = Out()
    table_handles = {n: H.new() for n in ("VPORT", "LTYPE", "LAYER", "STYLE", "VIEW", "UCS",
                                          "APPID", "DIMSTYLE", "BLOCK_RECORD")}
    root_dict, group_dict, layout_dict = H.new(), H.new(), H.new()
    records = {"*Model_Space": H.new(), "*Paper_Space": H.new(), "*Paper_Space0": H.new()}
    for name, _ in BLOCKS:
        records[name] = H.new()
    layouts = {"Model": H.new(), "Layout1": H.new(), "Detail": H.new()}
    layout_record = {"Model": "*Model_Space", "Layout1": "*Paper_Space",
                     "Detail": "*Paper_Space0"}
    record_layout = {v: layouts[k] for k, v in layout_record.items()}

    for name, _ in LAYERS:
        LAYER_HANDLES[name] = H.new()

    # Entities are built first so that the handle seed in the header is known.
    blocks_body = []
    for name in ("*Model_Space", "*Paper_Space"):
        blocks_body.append(("special", name, []))
    blocks_body.append(("special", "*Paper_Space0", detail()))
    for name, fn in BLOCKS:
        blocks_body.append(("block", name, fn()))
    model = plan()
    paper = layout1()

    body = Out()
    # TABLES
    body.pairs([(0, "SECTION"), (2, "TABLES")])

    def table(name, entries, extra=()):
        body.pairs([(0, "TABLE"), (2, name), (5, table_handles[name]), (330, "0"),
                    (100, "AcDbSymbolTable"), (70, len(entries))] + list(extra))
        for e in entries:
            body.pairs(e)
        body.pairs([(0, "ENDTAB")])

    def record(kind, subclass, name, fields, handle_code=5):
        return ([(0, kind), (handle_code, H.new()), (330, table_handles[kind]),
                 (100, "AcDbSymbolTableRecord"), (100, subclass), (2, name)] + fields)

    table("VPORT", [record("VPORT", "AcDbViewportTableRecord", "*Active",
                           [(70, 0), (10, 0.0), (20, 0.0), (11, 1.0), (21, 1.0),
                            (12, 20.0), (22, 15.0), (13, 0.0), (23, 0.0), (14, 1.0), (24, 1.0),
                            (15, 0.0), (25, 0.0), (16, 0.0), (26, 0.0), (36, 1.0),
                            (17, 0.0), (27, 0.0), (37, 0.0), (40, 40.0), (41, 1.6),
                            (42, 50.0), (43, 0.0), (44, 0.0), (50, 0.0), (51, 0.0),
                            (71, 0), (72, 1000), (73, 1), (74, 3), (75, 0), (76, 0),
                            (77, 0), (78, 0)])])
    table("LTYPE", [
        record("LTYPE", "AcDbLinetypeTableRecord", "ByBlock",
               [(70, 0), (3, ""), (72, 65), (73, 0), (40, 0.0)]),
        record("LTYPE", "AcDbLinetypeTableRecord", "ByLayer",
               [(70, 0), (3, ""), (72, 65), (73, 0), (40, 0.0)]),
        record("LTYPE", "AcDbLinetypeTableRecord", "Continuous",
               [(70, 0), (3, "Solid line"), (72, 65), (73, 0), (40, 0.0)])])
    table("LAYER", [[(0, "LAYER"), (5, LAYER_HANDLES[n]), (330, table_handles["LAYER"]),
                     (100, "AcDbSymbolTableRecord"), (100, "AcDbLayerTableRecord"), (2, n),
                     (70, 0), (62, c), (6, "Continuous"), (370, -3)] for n, c in LAYERS])
    table("STYLE", [
        record("STYLE", "AcDbTextStyleTableRecord", "Standard",
               [(70, 0), (40, 0.0), (41, 1.0), (50, 0.0), (71, 0), (42, 2.5), (3, "txt"),
                (4, "")]),
        record("STYLE", "AcDbTextStyleTableRecord", "Labels",
               [(70, 0), (40, 0.0), (41, 1.0), (50, 0.0), (71, 0), (42, 2.5),
                (3, "arial.ttf"), (4, ""), (1001, "ACAD"), (1000, "Arial"), (1071, 34)])])
    table("VIEW", [])
    table("UCS", [])
    table("APPID", [record("APPID", "AcDbRegAppTableRecord", "ACAD", [(70, 0)])])
    table("DIMSTYLE", [record("DIMSTYLE", "AcDbDimStyleTableRecord", "Standard", [(70, 0)],
                              handle_code=105)], extra=[(100, "AcDbDimStyleTable"), (71, 0)])
    table("BLOCK_RECORD", [
        [(0, "BLOCK_RECORD"), (5, h), (330, table_handles["BLOCK_RECORD"]),
         (100, "AcDbSymbolTableRecord"), (100, "AcDbBlockTableRecord"), (2, name),
         (340, record_layout.get(name, "0"))]
        for name, h in records.items()])
    body.pairs([(0, "ENDSEC")])

    # BLOCKS
    body.pairs([(0, "SECTION"), (2, "BLOCKS")])
    for kind, name, ents in blocks_body:
        owner = records[name]
        paper_flag = name.startswith("*Paper_Space")
        begin = [(0, "BLOCK"), (5, H.new()), (330, owner), (100, "AcDbEntity")]
        if paper_flag:
            begin.append((67, 1))
        begin += [(8, "0"), (100, "AcDbBlockBegin"), (2, name), (70, 0), (10, 0.0), (20, 0.0),
                  (30, 0.0), (3, name), (1, "")]
        body.pairs(begin)
        for e in ents:
            body.pairs(e(owner, paper_flag))
        end = [(0, "ENDBLK"), (5, H.new()), (330, owner), (100, "AcDbEntity")]
        if paper_flag:
            end.append((67, 1))
        body.pairs(end + [(8, "0"), (100, "AcDbBlockEnd")])
    body.pairs([(0, "ENDSEC")])

    # ENTITIES: model space, then the active paper space.
    body.pairs([(0, "SECTION"), (2, "ENTITIES")])
    for e in model:
        body.pairs(e(records["*Model_Space"]))
    for e in paper:
        body.pairs(e(records["*Paper_Space"], True))
    body.pairs([(0, "ENDSEC")])

    # OBJECTS
    body.pairs([(0, "SECTION"), (2, "OBJECTS"),
                (0, "DICTIONARY"), (5, root_dict), (330, "0"), (100, "AcDbDictionary"),
                (281, 1), (3, "ACAD_GROUP"), (350, group_dict), (3, "ACAD_LAYOUT"),
                (350, layout_dict),
                (0, "DICTIONARY"), (5, group_dict), (102, "{ACAD_REACTORS"), (330, root_dict),
                (102, "}"), (330, root_dict), (100, "AcDbDictionary"), (281, 1),
                (0, "DICTIONARY"), (5, layout_dict), (102, "{ACAD_REACTORS"), (330, root_dict),
                (102, "}"), (330, root_dict), (100, "AcDbDictionary"), (281, 1)]
               + sum([[(3, n), (350, h)] for n, h in layouts.items()], []))
    for tab, (name, h) in enumerate(layouts.items()):
        is_model = name == "Model"
        w, hgt = (420.0, 297.0)
        lim = (50.0, 40.0) if is_model else (w, hgt)
        body.pairs([
            (0, "LAYOUT"), (5, h), (102, "{ACAD_REACTORS"), (330, layout_dict), (102, "}"),
            (330, layout_dict), (100, "AcDbPlotSettings"), (1, ""), (2, "none_device"),
            (4, "ISO_A3_(420.00_x_297.00_MM)"), (6, ""), (40, 7.5), (41, 20.0), (42, 7.5),
            (43, 20.0), (44, w), (45, hgt), (46, 0.0), (47, 0.0), (48, 0.0), (49, 0.0),
            (140, 0.0), (141, 0.0), (142, 1.0), (143, 1.0), (70, 1712 if is_model else 688),
            (72, 1), (73, 1), (74, 5 if is_model else 5), (7, ""), (75, 0 if is_model else 16),
            (147, 1.0), (148, 0.0), (149, 0.0),
            (100, "AcDbLayout"), (1, name), (70, 1), (71, tab),
            (10, 0.0), (20, 0.0), (11, lim[0]), (21, lim[1]),
            (12, 0.0), (22, 0.0), (32, 0.0),
            (14, 0.0), (24, 0.0), (34, 0.0), (15, lim[0]), (25, lim[1]), (35, 0.0),
            (146, 0.0), (13, 0.0), (23, 0.0), (33, 0.0), (16, 1.0), (26, 0.0), (36, 0.0),
            (17, 0.0), (27, 1.0), (37, 0.0), (76, 0),
            (330, records[layout_record[name]])])
    body.pairs([(0, "ENDSEC"), (0, "EOF")])

    # HEADER last, now that every handle is taken.
    out.pairs([(999, "Vistrel sample drawing, written by samples/make_site_plan.py"),
               (0, "SECTION"), (2, "HEADER"),
               (9, "$ACADVER"), (1, "AC1015"),
               (9, "$ACADMAINTVER"), (70, 6),
               (9, "$DWGCODEPAGE"), (3, "ANSI_1252"),
               (9, "$INSBASE"), (10, 0.0), (20, 0.0), (30, 0.0),
               (9, "$EXTMIN"), (10, -2.6), (20, -2.3), (30, 0.0),
               (9, "$EXTMAX"), (10, 41.8), (20, 33.1), (30, 0.0),
               (9, "$LIMMIN"), (10, 0.0), (20, 0.0),
               (9, "$LIMMAX"), (10, 50.0), (20, 40.0),
               (9, "$LUNITS"), (70, 2),
               (9, "$LUPREC"), (70, 2),
               (9, "$INSUNITS"), (70, 6),
               (9, "$MEASUREMENT"), (70, 1),
               (9, "$TILEMODE"), (70, 1),
               (9, "$CLAYER"), (8, "0"),
               (9, "$TEXTSTYLE"), (7, "Standard"),
               (9, "$HANDSEED"), (5, f"{H.next:X}"),
               (0, "ENDSEC")])
    with open(OUT, "w", newline="\r\n", encoding="cp1252") as f:
        f.write(out.text() + body.text())


if __name__ == "__main__":
    main()
