#!/usr/bin/env python3
"""Writes the SVG test fixtures beside this script (standard library only)."""

import gzip
import os
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))

INKSCAPE = 'xmlns:inkscape="http://www.inkscape.org/namespaces/inkscape"'
SVG = 'xmlns="http://www.w3.org/2000/svg" xmlns:xlink="http://www.w3.org/1999/xlink"'


def write(name, text):
    with open(os.path.join(HERE, name), "w", encoding="utf-8", newline="\n") as f:
        f.write(text)


# Two named layers and one loose element, on a 200 x 100 mm page.
LAYERS = f"""<?xml version="1.0" encoding="UTF-8" standalone="no"?>
<!-- layers: Walls (red square), doors (blue disc), and a loose green bar -->
<svg {SVG} {INKSCAPE} width="200mm" height="100mm" viewBox="0 0 200 100">
  <defs><style>.wall {{ fill: #ff0000; }}</style></defs>
  <g inkscape:groupmode="layer" inkscape:label="Walls" id="layer1">
    <rect class="wall" x="10" y="10" width="80" height="80"/>
  </g>
  <g id="doors">
    <circle cx="150" cy="50" r="30" fill="#0000ff"/>
  </g>
  <rect x="0" y="95" width="200" height="5" fill="#00c000"/>
</svg>
"""

# Sizes in several units; content fills the page in black. Without a
# viewBox user units are px (1/96 in): `user` gives the page in them.
def sized(width, height, view_box=None, user=None):
    vb = f' viewBox="{view_box}"' if view_box else ""
    w, h = view_box.split()[2:] if view_box else user
    return (f'<svg {SVG} width="{width}" height="{height}"{vb}>\n'
            f'  <rect x="0" y="0" width="{w}" height="{h}" fill="#000000"/>\n</svg>\n')


# Transforms, <use> of a symbol, a gradient: each puts a known colour at a
# known place of a 400 x 200 px page.
TRANSFORMS = f"""<svg {SVG} width="400" height="200" viewBox="0 0 400 200">
  <defs>
    <rect id="tile" width="20" height="20" fill="#0000ff"/>
    <linearGradient id="fade" x1="0" y1="0" x2="1" y2="0">
      <stop offset="0" stop-color="#ff0000"/>
      <stop offset="1" stop-color="#ffff00"/>
    </linearGradient>
  </defs>
  <g transform="translate(100,20) scale(2)">
    <rect width="20" height="20" fill="#00ff00"/>
  </g>
  <use xlink:href="#tile" x="300" y="20"/>
  <g transform="rotate(90 50 150)">
    <rect x="0" y="140" width="100" height="20" fill="#ff00ff"/>
  </g>
  <rect x="200" y="120" width="180" height="60" fill="url(#fade)"/>
  <line x1="10" y1="195" x2="390" y2="195" stroke="#000000" stroke-width="10"/>
</svg>
"""

TEXT = f"""<svg {SVG} width="300" height="100" viewBox="0 0 300 100">
  <text x="20" y="75" font-family="sans-serif" font-size="60" fill="#000000">HELLO</text>
</svg>
"""

# Line 3 opens a <g> that is never closed.
MALFORMED = f"""<?xml version="1.0"?>
<svg {SVG} width="10" height="10">
  <g>
    <rect width="5" height="5"/>
</svg>
"""

NOT_SVG = """<?xml version="1.0"?>
<html><body>not a drawing</body></html>
"""


def gzip_bomb(path, size):
    """A gzip stream of `size` spaces inside an svg comment, written in chunks."""
    comp = zlib.compressobj(9, zlib.DEFLATED, 31)
    with open(path, "wb") as f:
        f.write(comp.compress(f"<svg {SVG}><!--".encode()))
        chunk = b" " * (1 << 20)
        for _ in range(size >> 20):
            f.write(comp.compress(chunk))
        f.write(comp.compress(b"--></svg>"))
        f.write(comp.flush())


def main():
    write("layers.svg", LAYERS)
    with open(os.path.join(HERE, "layers.svgz"), "wb") as f:
        f.write(gzip.compress(LAYERS.encode(), mtime=0))
    write("size_mm.svg", sized("120mm", "80mm", "0 0 120 80"))
    write("size_in.svg", sized("4in", "2in", "0 0 400 200"))
    write("size_pt.svg", sized("72pt", "36pt", user=(96, 48)))
    write("size_px.svg", sized("300", "150", user=(300, 150)))
    write("size_percent.svg", sized("100%", "100%", "0 0 640 480"))
    write("transforms.svg", TRANSFORMS)
    write("text.svg", TEXT)
    write("malformed.svg", MALFORMED)
    write("not_svg.svg", NOT_SVG)
    gzip_bomb(os.path.join(HERE, "bomb.svgz"), 300 << 20)


if __name__ == "__main__":
    main()
