#!/usr/bin/env python3
"""Writes the HP-GL test plots beside this script. Plotter units are
0.025 mm, so 4000 units are 100 mm. Run it again after changing a plot."""

import os
import random

HERE = os.path.dirname(os.path.abspath(__file__))
ESC = b"\x1b"
ETX = b"\x03"


def write(name, data):
    if isinstance(data, str):
        data = data.encode("latin-1")
    with open(os.path.join(HERE, name), "wb") as f:
        f.write(data)


def pe_number(value, eight_bit=True):
    """One PE number: sign in the low bit, base 64 (or 32), least
    significant digit first, the last digit marked as the terminator."""
    n = (abs(value) << 1) | (1 if value < 0 else 0)
    base = 64 if eight_bit else 32
    out = bytearray()
    while n >= base:
        out.append(63 + n % base)
        n //= base
    out.append((191 if eight_bit else 95) + n)
    return bytes(out)


def pe_pair(x, y, eight_bit=True):
    return pe_number(x, eight_bit) + pe_number(y, eight_bit)


# Pens, widths and colours: a 100 mm square frame, two diagonals, a custom
# orange pen 4 through the middle.
write("lines_pens.plt",
      "IN;SP1;PW0.5;PU0,0;PD4000,0,4000,4000,0,4000,0,0;"
      "SP2;PW1.0,2;PU400,400;PD3600,3600;"
      "SP3;PU400,3600;PD3600,400;"
      "PC4,255,128,0;SP4;PU2000,0;PD2000,4000;PU;SP0;")

# HP-GL without HP-GL/2 features: relative moves, thinnest lines.
write("relative.hgl",
      "IN;SP1;PA0,0;PD;PA2000,0;PA2000,1000;PU;SP2;PR-1000,0;PD0,-1000;PU;PA;")

# Encoded polylines: 8-bit square (25..75 mm), a 7-bit line at y=0
# (100..120 mm) and a line with two fractional bits (125.00625..150.01875 mm).
pe = bytearray(b"IN;SP1;PU0,0;PE:" + pe_number(1) + b"<=" + pe_pair(1000, 1000))
for dx, dy in ((2000, 0), (0, 2000), (-2000, 0), (0, -2000)):
    pe += pe_pair(dx, dy)
pe += b";PE7<=" + pe_pair(4000, 0, False) + pe_pair(400, 0, False) + pe_pair(400, 0, False) + b";"
pe += b"PE>" + pe_number(2) + b"<=" + pe_pair(20001, 8000) + pe_pair(4002, 0) + b";"
write("encoded.plt", bytes(pe))

# Circles, arcs (centre, three-point) and a Bezier curve; extents 25..250 mm
# by 25..100 mm.
write("arcs.plt",
      "IN;SP1;PU2000,2000;CI1000;"
      "PU4000,2000;PD;AA4000,3000,180;PU;"
      "PU6000,2000;PD;AT7000,3000,6000,4000;PU;"
      "SP2;PU8000,2000;PD;BZ8000,4000,10000,4000,10000,2000;PU;")

# Fills: a frame, a solid red rectangle (10..40 mm), green hatching
# (60..90 x 10..40), 50 % blue shading (10..40 x 60..90), a magenta square
# with a square hole (odd-even, 60..90 with 70..80 empty), a pentagram
# filled non-zero (its centre at 50,50 is filled), an edged wedge.
star = []
import math
for k in range(5):
    a = math.radians(90 + k * 144)
    star.append("%d,%d" % (2000 + round(300 * math.cos(a)), 2000 + round(300 * math.sin(a))))
write("fills.plt",
      "IN;SP1;PU0,0;EA4000,4000;"
      "SP2;PU400,400;RA1600,1600;"
      "SP3;FT3,100,45;PU2400,400;RA3600,1600;"
      "SP5;FT10,50;PU400,2400;RR1200,1200;"
      "SP6;FT1;PU2400,2400;PM0;PD3600,2400,3600,3600,2400,3600,2400,2400;PM1;"
      "PU2800,2800;PD3200,2800,3200,3200,2800,3200,2800,2800;PM2;FP;EP;"
      "SP7;PU" + star[0] + ";PM0;PD" + ",".join(star[1:] + star[:1]) + ";PM2;FP1;"
      "SP1;PU2000,3800;EW150,0,180;PU2000,200;WG150,0,90;")

# Line types: a dashed line (LT2, 10 mm absolute pattern: ten 5 mm dashes),
# a solid line, a dotted line (LT1) and LT0 dots at vector ends.
write("linetypes.plt",
      "IN;SP1;LT2,10,1;PU0,0;PD4000,0;"
      "LT;PU0,400;PD4000,400;"
      "LT1,20,1;PU0,800;PD4000,800;"
      "LT0;PU0,1200;PD2000,1200,4000,1200;PU;")

# Scaling: a 10 x 10 user square filling P1..P2 (100 mm), then an
# isotropic SC putting (0,0)..(100,50) at (0,25)..(100,75) mm, then SC type 2
# at 40 units per user unit (1 mm).
write("scaling.plt",
      "IN;IP0,0,4000,4000;SC0,10,0,10;SP1;PU0,0;PD10,0,10,10,0,10,0,0;PU;"
      "SC0,100,0,50,1;SP2;PU0,0;PD100,50;PU;"
      "SC0,40,0,40,2;SP3;PU10,10;PD20,10;PU;SC;")

# RO 90: a 100 mm line along x and 50 mm along y turn into 50 wide, 100 high.
write("rotation.plt", "IN;RO90;SP1;PU0,0;PD4000,0,4000,2000;PU;")

# Labels: "HELLO" 5 mm wide and 8 mm high characters at (10,10) mm, a label
# going up with its own terminator, a centred label, accented Latin-1 text.
write("labels.plt",
      b"IN;SP1;PU400,400;SI0.5,0.8;LBHELLO" + ETX +
      b"DT*,1;PU400,2000;DI0,1;LBUP*DT;DI;LO5;PU2000,3600;LBMID" + ETX +
      b"SI;LO1;PU2400,2000;LBCaf\xe9 \xc5ngstr\xf6m" + ETX + b"PU;")

# PCL/RTL job: PJL, a raster transfer whose bytes look like commands (they
# must be skipped by count), HP-GL/2 entered and left, print data after it.
raster = b"PD9,9;\x1b%1BPD8000,8000;"
pcl = (ESC + b"%-12345X@PJL JOB\r\n@PJL ENTER LANGUAGE=PCL\r\n" + ESC + b"E" +
       ESC + b"&l0O" + ESC + b"*t300R" + ESC + b"*r1A" +
       ESC + b"*b%dW" % len(raster) + raster + ESC + b"*rC" +
       ESC + b"%1BIN;SP2;PU0,0;PD2000,0,2000,2000;PU;" + ESC + b"%0A" +
       b"print data PD4000,4000; is not a plot" + ESC + b"E" + ESC + b"%-12345X")
write("pcl_wrapped.prn", pcl)
write("pcl_wrapped.rtl", pcl)

# Unknown commands are skipped and counted; drawing goes on after them.
write("unknown.plt", "IN;SP1;PU0,0;PD100,100;XY1,2,3;QQ;PD200,0;PU;")

# Damaged bytes between commands, and a file cut inside an encoded
# polyline: what was readable is kept.
write("damaged.plt",
      b"IN;SP1;PU0,0;PD1000,0;\x00\xff\x13\x80\x99##@@\x7f;PD1000,1000;PU;")
cut = b"IN;SP1;PU0,0;PE<=" + pe_pair(0, 0) + pe_pair(2000, 0) + pe_pair(0, 2000)
cut += pe_number(-2000)[:1]  # the next number cut off
write("truncated.plt", cut)

# Bytes that hold no HP-GL at all.
rnd = random.Random(7)
write("garbage.plt", bytes(rnd.choice(b"\x00\x01\x02\x80\x90\xa5\xff0123456789,.;#") for _ in range(2000)))
write("text.prn", "Dear printer,\r\nplease print this letter.\r\n")
