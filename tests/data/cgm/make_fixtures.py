#!/usr/bin/env python3
"""Writes the binary CGM test fixtures beside this script.

Each file exercises one family of elements; the tests in
tests/drawingview/test_cgm_reader.cpp know what each one holds.
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


class Cgm:
    def __init__(self):
        self.out = bytearray()
        self.int_bits = 16
        self.index_bits = 16
        self.colour_bits = 8
        self.cindex_bits = 8
        self.real = ("fixed", 32)
        self.vdc_real = False
        self.vdc_int = 16
        self.vdc_realfmt = ("fixed", 32)
        self.direct = False

    # --- element framing -------------------------------------------------
    def element(self, cls, eid, data=b"", partition=None):
        data = bytes(data)
        if partition is None and len(data) < 31:
            self.out += struct.pack(">H", (cls << 12) | (eid << 5) | len(data))
            self.out += data
            if len(data) % 2:
                self.out += b"\0"
            return
        self.out += struct.pack(">H", (cls << 12) | (eid << 5) | 31)
        size = partition or 0x7FFE
        chunks = [data[i:i + size] for i in range(0, len(data), size)] or [b""]
        for n, chunk in enumerate(chunks):
            more = 0x8000 if n + 1 < len(chunks) else 0
            self.out += struct.pack(">H", more | len(chunk)) + chunk
            if len(chunk) % 2:
                self.out += b"\0"

    # --- data types --------------------------------------------------------
    @staticmethod
    def sint(v, bits):
        return (v & ((1 << bits) - 1)).to_bytes(bits // 8, "big")

    def i(self, v):
        return self.sint(v, self.int_bits)

    def ix(self, v):
        return self.sint(v, self.index_bits)

    @staticmethod
    def e(v):
        return struct.pack(">h", v)

    @staticmethod
    def realfmt(v, fmt):
        kind, bits = fmt
        if kind == "float":
            return struct.pack(">f" if bits == 32 else ">d", v)
        half = bits // 2
        whole = int(v // 1)
        frac = int(round((v - whole) * (1 << half)))
        return Cgm.sint(whole, half) + frac.to_bytes(half // 8, "big")

    def r(self, v):
        return self.realfmt(v, self.real)

    def vdc(self, v):
        return self.realfmt(v, self.vdc_realfmt) if self.vdc_real else self.sint(int(v), self.vdc_int)

    def pt(self, x, y):
        return self.vdc(x) + self.vdc(y)

    def pts(self, *points):
        return b"".join(self.pt(x, y) for x, y in points)

    def ci(self, v):
        return v.to_bytes(self.cindex_bits // 8, "big")

    def cd(self, r, g, b):
        return b"".join(v.to_bytes(self.colour_bits // 8, "big") for v in (r, g, b))

    def co(self, value):
        """A colour: an index, or an (r, g, b) tuple in direct mode."""
        return self.cd(*value) if self.direct else self.ci(value)

    @staticmethod
    def s(text):
        raw = text.encode("latin-1")
        if len(raw) < 255:
            return bytes([len(raw)]) + raw
        return b"\xff" + struct.pack(">H", len(raw)) + raw

    # --- elements -----------------------------------------------------------
    def begin_metafile(self, name="test"):
        self.element(0, 1, self.s(name))
        self.element(1, 1, self.i(1))

    def end_metafile(self):
        self.element(0, 2)

    def begin_picture(self, name=""):
        self.element(0, 3, self.s(name))

    def body(self):
        self.element(0, 4)

    def end_picture(self):
        self.element(0, 5)

    def vdc_type(self, real):
        self.element(1, 3, self.e(1 if real else 0))
        self.vdc_real = real

    def real_precision(self, kind, bits):
        widths = {("fixed", 32): (1, 16, 16), ("fixed", 64): (1, 32, 32),
                  ("float", 32): (0, 9, 23), ("float", 64): (0, 12, 52)}[(kind, bits)]
        self.element(1, 5, self.e(widths[0]) + self.i(widths[1]) + self.i(widths[2]))
        self.real = (kind, bits)

    def vdc_real_precision(self, kind, bits):
        widths = {("fixed", 32): (1, 16, 16), ("float", 32): (0, 9, 23),
                  ("float", 64): (0, 12, 52)}[(kind, bits)]
        self.element(3, 2, self.e(widths[0]) + self.i(widths[1]) + self.i(widths[2]))
        self.vdc_realfmt = (kind, bits)

    def extent(self, x0, y0, x1, y1):
        self.element(2, 6, self.pts((x0, y0), (x1, y1)))

    def colour_mode(self, direct):
        self.element(2, 2, self.e(1 if direct else 0))
        self.direct = direct

    def colour_table(self, start, colours):
        self.element(5, 34, self.ci(start) + b"".join(self.cd(*c) for c in colours))

    def width_mode(self, cls_id, mode):
        self.element(2, cls_id, self.e(mode))

    def line(self, colour=None, width=None, ltype=None):
        if ltype is not None:
            self.element(5, 2, self.ix(ltype))
        if width is not None:
            self.element(5, 3, self.vdc(width) if self.line_abs else self.r(width))
        if colour is not None:
            self.element(5, 4, self.co(colour))

    line_abs = False

    def fill(self, style=None, colour=None, hatch=None):
        if style is not None:
            self.element(5, 22, self.e(style))
        if colour is not None:
            self.element(5, 23, self.co(colour))
        if hatch is not None:
            self.element(5, 24, self.ix(hatch))

    def edge(self, visible, colour=None):
        self.element(5, 30, self.e(1 if visible else 0))
        if colour is not None:
            self.element(5, 29, self.co(colour))

    def polyline(self, *points, partition=None):
        self.element(4, 1, self.pts(*points), partition)

    def polygon(self, *points, partition=None):
        self.element(4, 7, self.pts(*points), partition)

    def rectangle(self, x0, y0, x1, y1):
        self.element(4, 11, self.pts((x0, y0), (x1, y1)))

    def frame(self, x0, y0, x1, y1, colour=1):
        """A thin outline of the picture, so its extents are the VDC extent."""
        self.line(colour=colour)
        self.polyline((x0, y0), (x1, y0), (x1, y1), (x0, y1), (x0, y0))

    def save(self, name):
        with open(os.path.join(HERE, name), "wb") as f:
            f.write(self.out)
        return bytes(self.out)


RED, GREEN, BLUE, YELLOW, MAGENTA = 2, 3, 4, 5, 6


def lines_indexed():
    c = Cgm()
    c.begin_metafile("lines")
    c.element(1, 13, c.s("Helvetica"))
    c.begin_picture("Lines")
    c.width_mode(3, 0)  # absolute line widths
    c.line_abs = True
    c.extent(0, 0, 1000, 500)
    c.body()
    c.frame(0, 0, 1000, 500)
    c.colour_table(8, [(255, 128, 0)])
    c.line(colour=RED, width=40)
    c.polyline((100, 400), (900, 400))
    c.line(colour=8, width=0)
    c.element(4, 2, c.pts((100, 100), (400, 100), (600, 100), (900, 100)))
    c.line(colour=BLUE, width=20, ltype=2)
    c.polyline((100, 250), (900, 250))
    c.element(5, 6, c.ix(2))
    c.element(5, 8, c.ci(RED))
    c.element(4, 3, c.pts((500, 300), (600, 300)))
    c.element(0, 0)  # no-op
    c.element(7, 1, c.e(0) + c.s("a message"))  # not drawn: skipped
    c.end_picture()
    c.end_metafile()
    c.save("lines_indexed.cgm")


def lines_direct_real():
    c = Cgm()
    c.begin_metafile("direct")
    c.vdc_type(True)
    c.real_precision("float", 32)
    c.element(1, 7, c.i(16))  # colour precision
    c.colour_bits = 16
    c.element(1, 10, c.cd(0, 0, 0) + c.cd(1000, 1000, 1000))  # value extent
    c.begin_picture("Direct")
    c.colour_mode(True)
    c.vdc_real_precision("float", 64)
    c.extent(0.0, 0.0, 2.0, 1.0)
    c.width_mode(3, 0)
    c.line_abs = True
    c.body()
    c.frame(0, 0, 2, 1, colour=(0, 0, 0))
    c.line(colour=(0, 1000, 0), width=0.08)  # pure green
    c.polyline((0.2, 0.5), (1.8, 0.5))
    c.end_picture()
    c.end_metafile()
    c.save("lines_direct_real.cgm")


def polygons():
    c = Cgm()
    c.begin_metafile("polygons")
    c.begin_picture("Polygons")
    c.extent(0, 0, 1000, 1000)
    c.body()
    c.frame(0, 0, 1000, 1000)
    c.fill(style=1, colour=BLUE)
    c.polygon((50, 550), (450, 550), (450, 950), (50, 950))
    # A square with a square hole, its edges drawn red.
    c.fill(style=1, colour=GREEN)
    c.edge(True, colour=RED)
    ring = [((550, 550), 1), ((950, 550), 1), ((950, 950), 1), ((550, 950), 3),
            ((650, 650), 1), ((850, 650), 1), ((850, 850), 1), ((650, 850), 3)]
    c.element(4, 8, b"".join(c.pt(x, y) + c.e(f) for (x, y), f in ring))
    c.edge(False)
    c.fill(style=3, colour=MAGENTA, hatch=1)
    c.rectangle(50, 50, 450, 450)
    c.fill(style=0, colour=RED)
    c.rectangle(550, 50, 950, 450)
    c.fill(style=4)
    c.rectangle(600, 100, 900, 400)
    c.end_picture()
    c.end_metafile()
    c.save("polygons.cgm")


def arcs():
    c = Cgm()
    c.begin_metafile("arcs")
    c.begin_picture("Arcs")
    c.extent(0, 0, 1200, 800)
    c.element(2, 7, c.cd(255, 255, 200))  # background
    c.body()
    c.frame(0, 0, 1200, 800)
    c.fill(style=1, colour=GREEN)
    c.element(4, 12, c.pt(200, 600) + c.vdc(150))  # circle
    c.line(colour=RED)
    c.element(4, 13, c.pts((450, 600), (550, 700), (650, 600)))  # half circle, up
    c.fill(style=1, colour=BLUE)
    # Quarter pie, counter-clockwise from +x to +y.
    c.element(4, 16, c.pt(900, 450) + c.pt(1, 0) + c.pt(0, 1) + c.vdc(250) + c.e(0))
    c.element(4, 15, c.pt(200, 200) + c.pt(1, 0) + c.pt(-1, 0) + c.vdc(100))
    c.element(4, 20, c.pt(200, 200) + c.pt(1, 0) + c.pt(-1, 0) + c.vdc(120))
    c.fill(style=1, colour=MAGENTA)
    c.element(4, 17, c.pts((600, 200), (800, 200), (600, 280)))  # ellipse 200 x 80
    c.element(4, 18, c.pts((1000, 150), (1100, 150), (1000, 200)) + c.pts((1, 0), (0, 1)))
    c.element(4, 19, c.pts((1000, 150), (1100, 150), (1000, 200)) + c.pts((0, -1), (1, 0))
              + c.e(1))
    c.end_picture()
    c.end_metafile()
    c.save("arcs.cgm")


def figures():
    c = Cgm()
    c.begin_metafile("figures")
    c.begin_picture("Figures")
    c.extent(0, 0, 1000, 1000)
    c.body()
    c.frame(0, 0, 1000, 1000)
    # An arch: a Bezier curve up from (100, 100) to (400, 100), peaking at
    # y = 325, closed by the straight edge back; filled blue.
    c.fill(style=1, colour=BLUE)
    c.element(0, 8)
    c.element(4, 26, c.ix(2) + c.pts((100, 100), (100, 400), (400, 400), (400, 100)))
    c.polyline((400, 100), (100, 100))
    c.element(0, 9)
    # Two regions, one inside the other: a green square with a square hole.
    c.fill(style=1, colour=GREEN)
    c.element(0, 8)
    c.polyline((550, 550), (950, 550), (950, 950), (550, 950))
    c.element(3, 10)
    c.polyline((650, 650), (850, 650), (850, 850), (650, 850))
    c.element(0, 9)
    # Outside a figure a Bezier curve is a line: the same arch, red, higher up.
    c.line(colour=RED)
    c.element(4, 26, c.ix(1) + c.pts((100, 600), (100, 900), (400, 900), (400, 600)))
    c.end_picture()
    c.end_metafile()
    c.save("figures.cgm")


def text():
    c = Cgm()
    c.begin_metafile("text")
    c.element(1, 13, c.s("Helvetica") + c.s("Courier"))
    c.begin_picture("Text")
    c.extent(0, 0, 1000, 1000)
    c.body()
    c.frame(0, 0, 1000, 1000)
    c.element(5, 15, c.vdc(60))  # character height
    c.element(5, 14, c.ci(BLUE))
    c.element(4, 4, c.pt(100, 800) + c.e(1) + c.s("Hello CGM"))
    c.element(5, 10, c.ix(2))  # Courier
    c.element(5, 18, c.e(2) + c.e(3) + c.r(0) + c.r(0))  # centre, half
    c.element(5, 16, c.pts((-1, 0), (0, 1)))  # up to -x: turned 90 degrees
    c.element(4, 4, c.pt(500, 500) + c.e(0) + c.s("Up"))
    c.element(4, 6, c.e(1) + c.s("right"))
    c.element(5, 16, c.pts((0, 1), (1, 0)))
    c.element(5, 18, c.e(0) + c.e(0) + c.r(0) + c.r(0))
    c.element(5, 12, c.r(2))  # expansion
    c.element(4, 5, c.vdc(400) + c.vdc(30) + c.pt(100, 200) + c.e(1) + c.s("Restricted"))
    c.end_picture()
    c.end_metafile()
    c.save("text.cgm")


def cell_array():
    c = Cgm()
    c.begin_metafile("cells")
    c.begin_picture("Cells")
    c.extent(0, 0, 400, 200)
    c.body()
    c.frame(0, 0, 400, 200)
    # 4 x 2 packed indexed cells over the left half: P top-left, Q bottom-right
    # corner, R top-right; top row red blue red blue, bottom row green.
    rows = [[RED, BLUE, RED, BLUE], [GREEN] * 4]
    data = b"".join(bytes(row) for row in rows)
    c.element(4, 9, c.pts((0, 200), (200, 0), (200, 200)) + c.i(4) + c.i(2) + c.i(8) + c.e(1)
              + data)
    c.end_picture()
    c.begin_picture("Runs")
    c.colour_mode(True)
    c.extent(0, 0, 400, 200)
    c.body()
    c.frame(0, 0, 400, 200, colour=(0, 0, 0))
    # Run-length direct cells: each row one run, rows padded to 16 bits.
    run_rows = [(3, (255, 255, 0)), (3, (0, 255, 255))]
    data = b"".join(c.i(n) + bytes(rgb) + b"\0" for n, rgb in run_rows)
    c.element(4, 9, c.pts((0, 200), (400, 0), (400, 200)) + c.i(3) + c.i(2) + c.i(8) + c.e(0)
              + data)
    c.end_picture()
    c.end_metafile()
    c.save("cell_array.cgm")


def metric():
    c = Cgm()
    c.begin_metafile("metric")
    c.real_precision("float", 32)
    c.begin_picture("Metric")
    c.element(2, 1, c.e(1) + c.r(0.1))  # a VDC unit is 0.1 mm
    c.extent(0, 0, 2000, 1000)
    c.body()
    c.fill(style=1, colour=RED)
    c.rectangle(0, 0, 2000, 1000)
    c.end_picture()
    c.end_metafile()
    c.save("metric.cgm")


def y_down():
    c = Cgm()
    c.begin_metafile("ydown")
    c.begin_picture("Down")
    c.extent(0, 1000, 1000, 0)  # y grows downwards
    c.body()
    c.frame(0, 0, 1000, 1000)
    c.fill(style=1, colour=RED)
    c.rectangle(0, 0, 500, 300)  # the top-left corner as seen
    c.element(5, 15, c.vdc(50))
    c.element(5, 16, c.pts((0, -1), (1, 0)))  # up vector points to the top
    c.element(4, 4, c.pt(100, 700) + c.e(1) + c.s("Upright"))
    c.end_picture()
    c.end_metafile()
    c.save("y_down.cgm")


def pictures():
    c = Cgm()
    c.begin_metafile("pictures")
    for name, size, colour in (("Plan", 1000, RED), ("Section", 500, BLUE), ("", 200, GREEN)):
        c.begin_picture(name)
        c.extent(0, 0, size, size)
        c.body()
        c.fill(style=1, colour=colour)
        c.rectangle(0, 0, size, size)
        c.end_picture()
    c.end_metafile()
    return c.save("pictures.cgm")


def long_form():
    c = Cgm()
    c.begin_metafile("long")
    # Defaults every picture starts from: solid yellow fill, extent 0..1000.
    inner = Cgm()
    inner.element(2, 6, inner.pts((0, 0), (1000, 1000)))
    inner.element(5, 22, inner.e(1))
    inner.element(5, 23, inner.ci(YELLOW))
    c.element(1, 12, inner.out)
    c.begin_picture("Long")
    c.body()
    c.frame(0, 0, 1000, 1000)
    zigzag = [(50 + 20 * k, 900 if k % 2 else 800) for k in range(40)]
    c.polyline(*zigzag)  # 160 bytes: long form
    c.polygon((100, 100), (700, 100), (700, 600), (100, 600), partition=6)
    c.element(5, 15, c.vdc(2))
    c.element(4, 4, c.pt(100, 700) + c.e(1) + c.s("L" * 300), partition=100)
    c.end_picture()
    c.end_metafile()
    c.save("long_form.cgm")


def damaged():
    good = pictures()
    # Cut inside the first picture: nothing whole to show.
    with open(os.path.join(HERE, "truncated.cgm"), "wb") as f:
        f.write(good[:50])
    # The third picture's rectangle claims more bytes than follow.
    c = Cgm()
    c.out = bytearray(good[: good.index(b"\x00\x61\x00\x00", 40)])  # before the third picture
    c.begin_picture("Broken")
    c.body()
    c.out += struct.pack(">H", (4 << 12) | (11 << 5) | 30) + b"\0" * 6
    c.save("partial.cgm")

    c = Cgm()
    c.begin_metafile("precision")
    c.element(1, 4, c.i(12))
    c.save("bad_precision.cgm")

    c = Cgm()
    c.begin_metafile("huge")
    c.begin_picture("Huge")
    c.body()
    c.element(4, 9, c.pts((0, 0), (10, 10), (10, 0)) + c.i(30000) + c.i(30000) + c.i(8)
              + c.e(1) + b"\1\2\3\4")
    c.save("huge_cells.cgm")

    c = Cgm()
    c.begin_metafile("nan")
    c.vdc_type(True)
    c.begin_picture("NaN")
    c.vdc_real_precision("float", 32)
    c.extent(0.0, 0.0, 1.0, 1.0)
    c.body()
    c.polyline((0.0, 0.0), (float("nan"), 1.0))
    c.end_picture()
    c.end_metafile()
    c.save("nan_point.cgm")

    c = Cgm()
    c.begin_metafile("short")
    c.begin_picture("Short")
    c.body()
    c.element(4, 9, c.pts((0, 0), (10, 10), (10, 0)) + c.i(20) + c.i(20) + c.i(8) + c.e(1)
              + b"\1" * 40)
    c.end_picture()
    c.end_metafile()
    c.save("short_cells.cgm")


def manual_illustration():
    """Line art as maintenance manuals carry it: the line colour is never set,
    widths are absolute, dotted lines then solid, all in the short form."""
    c = Cgm()
    c.begin_metafile("illustration")
    c.element(1, 13, c.s("Helvetica"))
    c.begin_picture("Figure 1")
    c.element(2, 1, c.e(0) + c.r(1.0))  # scaling mode abstract
    c.width_mode(3, 0)
    c.line_abs = True
    c.extent(0, 0, 7650, 10050)
    c.body()
    c.fill(style=1, colour=0)  # a white sheet: the extents are the picture's
    c.rectangle(0, 0, 7650, 10050)
    c.line(width=8, ltype=3)
    c.polyline((500, 9000), (7000, 9000))  # dotted
    c.line(width=20, ltype=1)
    c.polyline((500, 5000), (7000, 5000), (7000, 8000))
    c.line(width=12)
    c.element(4, 2, c.pts((500, 2000), (3000, 2000), (4000, 1000), (7000, 1000)))
    c.element(5, 15, c.vdc(200))
    c.element(4, 4, c.pt(500, 3000) + c.e(1) + c.s("LABEL"))
    c.end_picture()
    c.end_metafile()
    c.save("manual_illustration.cgm")


CLEAR_TEXT = """\
BEGMF 'clear text';  % comments sit between percent signs %
MFVERSION 1;
MFDESC "written by hand";
VDCTYPE integer;
INTEGERPREC -32768, 32767;
COLRPREC 255;
FONTLIST 'Helvetica', 'Courier';
BEGMFDEFAULTS;
  INTSTYLE solid;
  FILLCOLR 4;
ENDMFDEFAULTS;
BEGPIC 'Clear';
VDCEXT (0,0) (1000,500);
LINEWIDTHMODE abs;
BEGPICBODY;
COLRTABLE 8 255 128 0;
LINECOLR 1; LINE (0,0) (1000,0) (1000,500) (0,500) (0,0);
LINECOLR 8; LINEWIDTH 30;
LINE (100,400) (900,400);
POLYGON (100,50) (400,50) (400,250) (100,250);
EDGEVIS on; EDGECOLR 2;
POLYGONSET (500,50) vis (900,50) vis (900,250) vis (500,250) closevis
           (600,100) invis (800,100) invis (800,200) invis (600,200) closeinvis;
CHARHEIGHT 40; TEXTCOLR 2; TEXTALIGN ctr half 0.0 0.0;
TEXT (500,320) final 'It''s clear';
CELLARRAY (0,500) (100,400) (100,500) 2 2 8 (2 4) (3 3);
GDPFANCY 1 2 3;
ENDPIC;
ENDMF;
"""


def clear_text():
    with open(os.path.join(HERE, "clear_text.cgm"), "w") as f:
        f.write(CLEAR_TEXT)
    with open(os.path.join(HERE, "clear_text_bad.cgm"), "w") as f:
        f.write(CLEAR_TEXT.replace("LINEWIDTH 30;", "LINEWIDTH thirty;"))


if __name__ == "__main__":
    clear_text()
    lines_indexed()
    lines_direct_real()
    polygons()
    arcs()
    figures()
    text()
    cell_array()
    metric()
    y_down()
    long_form()
    manual_illustration()
    damaged()
