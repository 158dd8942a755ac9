#!/usr/bin/python3
"""Writes the DXF fixtures of the text layout tests: columns, alignment,
decorations, tabs and special codes in TEXT and MTEXT."""
import os

HERE = os.path.dirname(os.path.abspath(__file__))


def dxf(pairs):
    return "".join(f"{c:>3}\n{v}\n" for c, v in pairs)


def section(name, body):
    return [(0, "SECTION"), (2, name)] + body + [(0, "ENDSEC")]


def drawing(entities):
    head = section("HEADER", [(9, "$ACADVER"), (1, "AC1032"),
                              (9, "$DWGCODEPAGE"), (3, "ANSI_1252")])
    return head + section("ENTITIES", entities) + [(0, "EOF")]


def write(name, pairs):
    with open(os.path.join(HERE, name), "w", newline="", encoding="utf-8") as f:
        f.write(dxf(pairs))


def mtext(x, y, height, value, attachment=1, extra=(), after=()):
    """Red, so that pictures tell it from the background."""
    return ([(0, "MTEXT"), (8, "0"), (62, 1), (100, "AcDbMText"), (10, x), (20, y),
             (30, 0.0), (40, height), (71, attachment)]
            + list(extra) + [(1, value)] + list(after))


def text(x, y, height, value, h=0, second=None, extra=()):
    e = [(0, "TEXT"), (8, "0"), (62, 1), (10, x), (20, y), (30, 0.0), (40, height),
         (1, value)]
    if second is not None:
        e += [(11, second[0]), (21, second[1]), (31, 0.0)]
    return e + [(72, h)] + list(extra)


def embedded(direction, insert, width, height, kind, count, col_width, gutter, heights=()):
    """The object AutoCAD 2018 embeds after the text: codes that repeat the
    entity's own with other meanings."""
    out = [(101, "Embedded Object"), (70, 1),
           (10, direction[0]), (20, direction[1]), (30, 0.0),
           (11, insert[0]), (21, insert[1]), (31, 0.0),
           (40, width), (41, height), (42, col_width * 2 + gutter), (43, height),
           (71, kind), (72, count), (44, col_width), (45, gutter), (73, 0), (74, 0)]
    return out + [(46, h) for h in heights]


fidelity = (
    # Static columns from the embedded object: two columns of height 10.
    mtext(200.0, 100.0, 2.5, "aaa bbb ccc ddd eee fff", extra=[(41, 30.0), (46, 10.0)],
          after=[(73, 1), (44, 1.0)]
          + embedded((1.0, 0.0), (200.0, 100.0), 30.0, 10.0, 1, 2, 12.0, 3.0))
    # Dynamic columns listed in the entity, broken by hand.
    + mtext(300.0, 100.0, 1.0, "one\\Ntwo\\Nthree",
            after=[(75, 2), (76, 3), (78, 0), (79, 0), (48, 10.0), (49, 2.0),
                   (50, 5.0), (50, 5.0), (50, 0.0)])
    # Aligned and fit text between two points, level and turned.
    + text(0.0, 0.0, 2.0, "ALIGNED", h=3, second=(40.0, 0.0))
    + text(0.0, 20.0, 5.0, "FIT", h=5, second=(40.0, 20.0))
    + text(60.0, 0.0, 2.0, "TURNED", h=3, second=(60.0 + 30 * 0.8, 30 * 0.6))
    # Under-, over- and strike-through lines, in MTEXT and TEXT.
    + mtext(0.0, 60.0, 5.0, "\\LUNDER\\l")
    + mtext(0.0, 80.0, 5.0, "\\OOVER\\o")
    + mtext(0.0, 100.0, 5.0, "\\KHIT\\k")
    + text(0.0, 120.0, 5.0, "%%uHI%%u LO %%oTOP")
    + mtext(0.0, 140.0, 5.0, "%%uHI%%u LO")
    # Paragraph alignment in a box 40 wide, and against the attachment.
    + mtext(0.0, 200.0, 1.0, "\\pxqc;mid\\P\\pxqr;right\\P\\pxql;left", extra=[(41, 40.0)])
    + mtext(100.0, 200.0, 1.0, "byattach\\P\\pxql;left", attachment=3, extra=[(41, 20.0)])
    + mtext(0.0, 250.0, 1.0, "\\pxqj;aa bb cc dd ee", extra=[(41, 7.0)])
    # Tabs and the other caret codes.
    + mtext(0.0, 300.0, 1.0, "a^Ib^Jc^ d^M")
    # A word longer than the box stays whole.
    + mtext(0.0, 350.0, 1.0, "supercalifragilistic word", extra=[(41, 5.0)])
    # Special codes.
    + text(0.0, 400.0, 1.0, "%%065%%d%%p%%c%%%%%1234")
    + mtext(0.0, 420.0, 1.0, "%%065%%d%%p%%c%%%%%1234")
    # A multi-line attribute definition: its MTEXT after 101 leaves it as it is.
    + [(0, "ATTDEF"), (8, "0"), (10, 0.0), (20, 450.0), (30, 0.0), (40, 1.0), (1, ""),
       (2, "TAG"), (70, 0), (101, "Embedded Object"), (10, 5.0), (20, 5.0), (30, 0.0),
       (40, 9.0), (41, 30.0), (46, 0.0), (71, 5), (72, 5), (1, "TAG"), (7, "STANDARD"),
       (11, 0.0), (21, 1.0), (31, 0.0), (50, 90.0), (73, 1), (44, 1.0)])
write("text_fidelity.dxf", drawing(fidelity))

# One overlined TEXT: the extents reach over the line.
write("text_overline.dxf", drawing(text(0.0, 0.0, 10.0, "%%oAB")))
