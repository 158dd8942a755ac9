#!/usr/bin/python3
"""Writes the DXF fixtures of the geometry tests: entities in frames of their
own, extents, and polylines with widths."""
import math
import os

HERE = os.path.dirname(os.path.abspath(__file__))
S = math.sqrt(0.5)
# Extrusion tilted 45 degrees about world y: the frame's x axis is world y,
# its y axis runs up and back, (-S, 0, S); the plan view sees y shortened.
TILT = [(210, S), (220, 0.0), (230, S)]
BELOW = [(210, 0.0), (220, 0.0), (230, -1.0)]


def dxf(pairs):
    return "".join(f"{c:>3}\n{v}\n" for c, v in pairs)


def section(name, body):
    return [(0, "SECTION"), (2, name)] + body + [(0, "ENDSEC")]


def table(name, entries):
    return [(0, "TABLE"), (2, name), (70, len(entries))] + sum(entries, []) + [(0, "ENDTAB")]


def layer(name, color, flags=0):
    return [(0, "LAYER"), (2, name), (70, flags), (62, color), (6, "CONTINUOUS")]


def drawing(entities, blocks=(), layers=()):
    out = section("HEADER", [(9, "$ACADVER"), (1, "AC1027")])
    if layers:
        out += section("TABLES", table("LAYER", list(layers)))
    if blocks:
        out += section("BLOCKS", list(blocks))
    return out + section("ENTITIES", entities) + [(0, "EOF")]


def write(name, pairs):
    with open(os.path.join(HERE, name), "w", newline="", encoding="utf-8") as f:
        f.write(dxf(pairs))


def block(name, body):
    return [(0, "BLOCK"), (8, "0"), (2, name), (70, 0), (10, 0.0), (20, 0.0)] + body + [
        (0, "ENDBLK")]


square = block("SQUARE", [
    (0, "LWPOLYLINE"), (8, "0"), (90, 4), (70, 1),
    (10, 0.0), (20, 0.0), (10, 2.0), (20, 0.0), (10, 2.0), (20, 2.0), (10, 0.0), (20, 2.0)])
ring = block("RING", [(0, "CIRCLE"), (8, "0"), (10, 0.0), (20, 0.0), (40, 1.0)])

def hatch(x, elevation, name, solid, frame):
    """A 2 x 2 square hatch at x in the frame, at its elevation."""
    out = [(0, "HATCH"), (8, "0"), (10, 0.0), (20, 0.0), (30, elevation)] + frame + [
        (2, name), (70, solid), (71, 0), (91, 1), (92, 2), (72, 0), (73, 1), (93, 4)]
    for px, py in [(x, 0.0), (x + 2, 0.0), (x + 2, 2.0), (x, 2.0)]:
        out += [(10, px), (20, py)]
    return out + [(97, 0), (75, 0), (76, 1), (52, 0.0), (41, 0.25), (77, 0), (78, 0), (98, 0)]


# Frames: each entity once in the tilted frame, the MTEXT seen from below.
write("frames.dxf", drawing([
    (0, "CIRCLE"), (8, "0"), (10, 10.0), (20, 0.0), (30, 0.0), (40, 4.0)] + TILT + [
    (0, "ARC"), (8, "0"), (10, 0.0), (20, 0.0), (30, 0.0), (40, 2.0), (50, 0.0), (51, 90.0)]
    + TILT + [
    (0, "ELLIPSE"), (8, "0"), (10, 40.0), (20, 0.0), (30, 0.0), (11, 0.0), (21, 6.0), (31, 0.0),
    (40, 0.5), (41, 0.0), (42, 2 * math.pi)] + TILT + [
    (0, "LWPOLYLINE"), (8, "0"), (90, 2), (70, 0), (38, 4.0)] + TILT + [
    (10, 0.0), (20, 10.0), (10, 0.0), (20, 20.0),
    (0, "SOLID"), (8, "0"), (10, 30.0), (20, 0.0), (30, 0.0), (11, 32.0), (21, 0.0), (31, 0.0),
    (12, 30.0), (22, 2.0), (32, 0.0), (13, 32.0), (23, 2.0), (33, 0.0)] + TILT + [
    (0, "TEXT"), (8, "0"), (10, 50.0), (20, 10.0), (30, 0.0), (40, 1.0), (1, "Tilt"),
    (50, 90.0)] + TILT + [
    (0, "INSERT"), (8, "0"), (2, "SQUARE"), (10, 60.0), (20, 0.0), (30, 0.0), (50, 45.0)]
    + TILT + [
    (0, "MTEXT"), (8, "0"), (10, 70.0), (20, 5.0), (30, 0.0), (40, 1.0), (71, 1), (1, "World")]
    + BELOW + [
    (0, "LEADER"), (8, "0"), (76, 2), (10, 80.0), (20, 0.0), (10, 82.0), (20, 2.0)] + BELOW
    + hatch(0.0, 2.0, "SOLID", 1, TILT) + hatch(10.0, 0.0, "ANSI31", 0, BELOW),
    blocks=square))

# Extents: construction lines, a frozen and an off layer far out, a ring
# inserted turned by 45 degrees, and a text line.
write("extents.dxf", drawing([
    (0, "LINE"), (8, "0"), (10, 0.0), (20, 0.0), (11, 10.0), (21, 10.0),
    (0, "XLINE"), (8, "0"), (10, 5.0), (20, 5.0), (11, 1.0), (21, 0.3),
    (0, "RAY"), (8, "0"), (10, 5.0), (20, 5.0), (11, 0.0), (21, -1.0),
    (0, "LINE"), (8, "Frozen"), (10, 500.0), (20, 500.0), (11, 600.0), (21, 600.0),
    (0, "LINE"), (8, "Off"), (10, -20.0), (20, 0.0), (11, -19.0), (21, 0.0),
    (0, "INSERT"), (8, "0"), (2, "RING"), (10, 20.0), (20, 20.0), (41, 3.0), (42, 3.0),
    (50, 45.0),
    (0, "TEXT"), (8, "0"), (10, 0.0), (20, -10.0), (40, 2.0), (1, "iiiiiiiiii")],
    blocks=ring + square,
    layers=[layer("0", 7), layer("Frozen", 1, flags=1), layer("Off", -3)]))

# Widths: a taper, a closed square of constant width, a wide arc, and a
# POLYLINE whose vertices take its default widths.
write("widths.dxf", drawing([
    (0, "LWPOLYLINE"), (8, "0"), (90, 2), (70, 0),
    (10, 0.0), (20, 0.0), (40, 0.0), (41, 4.0), (10, 20.0), (20, 0.0),
    (0, "LWPOLYLINE"), (8, "0"), (90, 4), (70, 1), (43, 2.0),
    (10, 30.0), (20, 0.0), (10, 40.0), (20, 0.0), (10, 40.0), (20, 10.0), (10, 30.0), (20, 10.0),
    (0, "LWPOLYLINE"), (8, "0"), (90, 2), (70, 0),
    (10, 50.0), (20, 0.0), (40, 2.0), (41, 2.0), (42, 1.0), (10, 60.0), (20, 0.0),
    (0, "POLYLINE"), (8, "0"), (66, 1), (10, 0.0), (20, 0.0), (30, 0.0), (70, 0),
    (40, 1.0), (41, 3.0),
    (0, "VERTEX"), (8, "0"), (10, 0.0), (20, 20.0),
    (0, "VERTEX"), (8, "0"), (10, 20.0), (20, 20.0), (40, 0.0), (41, 0.0),
    (0, "VERTEX"), (8, "0"), (10, 20.0), (20, 30.0),
    (0, "SEQEND"), (8, "0")]))

# A window on paper clipped by a wide closed polyline: its centre line clips.
write("widths_clip.dxf", section("HEADER", [(9, "$ACADVER"), (1, "AC1015"), (9, "$TILEMODE"),
                                            (70, 0)]) + section("ENTITIES", [
    (0, "SOLID"), (8, "0"), (10, 0.0), (20, 0.0), (11, 10.0), (21, 0.0), (12, 0.0), (22, 10.0),
    (13, 10.0), (23, 10.0),
    (0, "VIEWPORT"), (8, "0"), (67, 1), (10, 148.5), (20, 105.0), (40, 297.0), (41, 210.0),
    (68, 1), (69, 1), (12, 5.0), (22, 5.0), (45, 210.0), (90, 32768),
    (0, "LWPOLYLINE"), (5, "2B"), (8, "0"), (67, 1), (90, 3), (70, 1), (43, 4.0),
    (10, 170.0), (20, 30.0), (10, 200.0), (20, 30.0), (10, 170.0), (20, 90.0),
    (0, "VIEWPORT"), (8, "0"), (67, 1), (10, 200.0), (20, 60.0), (40, 80.0), (41, 80.0),
    (68, 1), (69, 2), (12, 5.0), (22, 5.0), (45, 80.0), (90, 32768 | 0x10000), (340, "2B")])
    + [(0, "EOF")])
