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
