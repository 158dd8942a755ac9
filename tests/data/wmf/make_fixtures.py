#!/usr/bin/env python3
"""Writes the Windows metafile test fixtures in this folder.

Each record is built from its parameters as GDI writes them (most records
list y before x). Most fixtures have a placeable header with 100 units per
inch over a 1000 x 600 frame, so a 1000 x 600 render maps one logical unit
to one pixel.
"""

import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))

RED, GREEN, BLUE = 0xFF0000, 0x00FF00, 0x0000FF
BLACK, WHITE, YELLOW, MAGENTA, CYAN = 0x000000, 0xFFFFFF, 0xFFFF00, 0xFF00FF, 0x00FFFF
ORANGE = 0xFF8000


def colorref(rgb):
    r, g, b = rgb >> 16 & 0xFF, rgb >> 8 & 0xFF, rgb & 0xFF
    value = r | g << 8 | b << 16
    return [value & 0xFFFF, value >> 16]


def words(*values):
    return b"".join(struct.pack("<H", v & 0xFFFF) for v in values)


def rec(function, body=b""):
    if len(body) % 2:
        body += b"\0"
    return struct.pack("<IH", 3 + len(body) // 2, function) + body


def metafile(records, objects=4, frame=(0, 0, 1000, 600), inch=100, eof=True):
    body = b"".join(records) + (rec(0x0000) if eof else b"")
    max_record = 3
    at = 0
    while at + 6 <= len(body):
        size = struct.unpack_from("<I", body, at)[0]
        if size < 3:
            break
        max_record = max(max_record, size)
        at += size * 2
    header = struct.pack("<HHHIHIH", 1, 9, 0x0300, (18 + len(body)) // 2, objects,
                         max_record, 0)
    out = header + body
    if frame is not None:
        first = struct.pack("<IHhhhhHI", 0x9AC6CDD7, 0, *frame, inch, 0)
        checksum = 0
        for i in range(10):
            checksum ^= struct.unpack_from("<H", first, 2 * i)[0]
        out = first + struct.pack("<H", checksum) + out
    return out


# State records
def set_map_mode(mode): return rec(0x0103, words(mode))
def window_org(x, y): return rec(0x020B, words(y, x))
def window_ext(x, y): return rec(0x020C, words(y, x))
def viewport_org(x, y): return rec(0x020D, words(y, x))
def viewport_ext(x, y): return rec(0x020E, words(y, x))
def save_dc(): return rec(0x001E)
def restore_dc(n): return rec(0x0127, words(n))
def set_bk_mode(mode): return rec(0x0102, words(mode))
def set_bk_color(rgb): return rec(0x0201, words(*colorref(rgb)))
def set_text_color(rgb): return rec(0x0209, words(*colorref(rgb)))
def set_text_align(align): return rec(0x012E, words(align))
def set_rop2(rop): return rec(0x0104, words(rop))
def select(i): return rec(0x012D, words(i))
def delete(i): return rec(0x01F0, words(i))


def pen(style, width, rgb):
    return rec(0x02FA, words(style, width, 0, *colorref(rgb)))


def brush(style, rgb, hatch=0):
    return rec(0x02FC, words(style, *colorref(rgb), hatch))


def font(height, face=b"DejaVu Sans", escapement=0, weight=400, italic=0, charset=0):
    fixed = struct.pack("<hhhhhBBBBBBBB", height, 0, escapement, escapement, weight, italic,
                        0, 0, charset, 0, 0, 0, 0)
    return rec(0x02FB, fixed + face.ljust(32, b"\0"))


# Drawing records
def move_to(x, y): return rec(0x0214, words(y, x))
def line_to(x, y): return rec(0x0213, words(y, x))
def rectangle(l, t, r, b): return rec(0x041B, words(b, r, t, l))
def ellipse(l, t, r, b): return rec(0x0418, words(b, r, t, l))
def round_rect(l, t, r, b, w, h): return rec(0x061C, words(h, w, b, r, t, l))


def elliptic(function, box, start, end):
    l, t, r, b = box
    return rec(function, words(end[1], end[0], start[1], start[0], b, r, t, l))


def poly(function, points):
    return rec(function, words(len(points), *[c for p in points for c in p]))


def poly_polygon(rings):
    return rec(0x0538, words(len(rings), *[len(r) for r in rings],
                             *[c for r in rings for p in r for c in p]))


def pat_blt(x, y, w, h, rop=0x00F00021):
    return rec(0x061D, words(rop & 0xFFFF, rop >> 16, h, w, y, x))


def text_out(x, y, text):
    data = text + (b"\0" if len(text) % 2 else b"")
    return rec(0x0521, words(len(text)) + data + words(y, x))


def ext_text_out(x, y, text, options=0, rect=None):
    body = words(y, x, len(text), options)
    if rect is not None:
        body += words(*rect)
    return rec(0x0A32, body + text + (b"\0" if len(text) % 2 else b""))


def dib(width, height, bits, rows, palette=(), compression=0, data=None):
    """rows: top row first; each row a list of palette indexes or 0xRRGGBB."""
    if data is None:
        data = b""
        for row in reversed(rows):  # bottom-up
            if bits == 24:
                line = b"".join(bytes([c & 0xFF, c >> 8 & 0xFF, c >> 16]) for c in row)
            elif bits == 8:
                line = bytes(row)
            elif bits == 1:
                line = bytearray((width + 7) // 8)
                for i, v in enumerate(row):
                    if v:
                        line[i // 8] |= 0x80 >> (i % 8)
                line = bytes(line)
            data += line + b"\0" * (-len(line) % 4)
    header = struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, compression, len(data),
                         3780, 3780, len(palette), 0)
    table = b"".join(bytes([c & 0xFF, c >> 8 & 0xFF, c >> 16, 0]) for c in palette)
    return header + table + data


def stretch_dib(x, y, w, h, bitmap, src_w, src_h, rop=0x00CC0020):
    return rec(0x0F43, words(rop & 0xFFFF, rop >> 16, 0, src_h, src_w, 0, 0, h, w, y, x) + bitmap)


def dib_stretch_blt(x, y, w, h, bitmap, src_w, src_h, rop=0x00CC0020):
    return rec(0x0B41, words(rop & 0xFFFF, rop >> 16, src_h, src_w, 0, 0, h, w, y, x) + bitmap)


def background():
    """A white page over the whole frame, without an outline."""
    return [pen(5, 0, BLACK), brush(0, WHITE), select(0), select(1), rectangle(0, 0, 1000, 600),
            delete(0), delete(1)]


def lines():
    return metafile(background() + [
        pen(0, 20, RED), select(0), move_to(100, 100), line_to(900, 100), delete(0),
        pen(0, 0, BLUE), select(0), poly(0x0325, [(100, 300), (500, 200), (900, 300)]), delete(0),
        pen(1, 4, GREEN), select(0), move_to(100, 400), line_to(900, 400), delete(0),
        pen(5, 20, BLACK), select(0), move_to(100, 500), line_to(900, 500), delete(0),
        # The "no operation" mix draws nothing.
        pen(0, 20, BLACK), select(0), set_rop2(11), move_to(100, 550), line_to(900, 550),
        set_rop2(13), delete(0),
    ], objects=2)


def fills():
    return metafile(background() + [
        pen(0, 10, BLUE), brush(0, YELLOW), select(0), select(1),
        rectangle(100, 100, 400, 300), delete(1),
        brush(1, 0), select(1), pen(0, 4, RED), select(2), rectangle(600, 100, 900, 300),
        delete(0), delete(1), delete(2),
        pen(5, 0, 0), brush(0, MAGENTA), select(0), select(1),
        poly_polygon([[(100, 350), (400, 350), (400, 550), (100, 550)],
                      [(200, 420), (300, 420), (300, 480), (200, 480)]]),
        delete(1), brush(0, CYAN), select(1), round_rect(450, 100, 550, 300, 60, 60),
        delete(1), brush(0, GREEN), select(1), poly(0x0324, [(450, 350), (550, 350), (500, 450)]),
        delete(1), brush(0, ORANGE), select(1), pat_blt(450, 480, 100, 100),
        delete(1), set_bk_mode(1), brush(2, BLACK, 4), select(1), rectangle(600, 350, 900, 550),
    ], objects=3)


def curves():
    return metafile(background() + [
        pen(0, 6, BLUE), brush(0, RED), select(0), select(1),
        ellipse(100, 100, 300, 300),
        elliptic(0x0817, (400, 100, 600, 300), (600, 200), (400, 200)),
        delete(1), brush(0, GREEN), select(1),
        elliptic(0x081A, (700, 100, 900, 300), (900, 200), (800, 100)),
        delete(1), brush(0, YELLOW), select(1),
        elliptic(0x0830, (100, 350, 300, 550), (300, 450), (100, 450)),
    ], objects=2)


def text():
    return metafile(background() + [
        font(-60), select(0), set_text_color(RED), set_bk_mode(1),
        text_out(100, 100, b"Hello"), delete(0),
        font(-60, escapement=900), select(0), set_text_align(24), set_text_color(BLACK),
        text_out(700, 500, b"Up"), delete(0),
        font(-40, italic=1), select(0), set_text_align(0), set_text_color(WHITE),
        set_bk_color(BLUE), ext_text_out(100, 310, b"Box", 0x0002, (100, 300, 400, 400)),
        delete(0),
        font(-40, charset=0), select(0), set_text_color(BLACK),
        text_out(100, 450, b"Caf\xe9 \x80"),
    ], objects=1)


def text_current_position():
    # TA_UPDATECP: text starts at the current position, not at its own point.
    return metafile(background() + [
        font(-60), select(0), set_bk_mode(1), set_text_align(1 | 24), move_to(100, 300),
        text_out(900, 50, b"AB"), text_out(900, 50, b"CD"),
    ], objects=1)


def bitmaps():
    halves = dib(4, 2, 24, [[RED, RED, BLUE, BLUE]] * 2)
    paletted = dib(2, 2, 8, [[0, 1], [1, 0]], palette=[GREEN, YELLOW])
    # Run-length coded: two rows of 4 pixels, then the end of the bitmap.
    rle = dib(4, 2, 8, None, palette=[MAGENTA, CYAN], compression=1,
              data=bytes([4, 1, 0, 0, 4, 1, 0, 0, 0, 1]))
    # Colour table of palette indexes (DIB_PAL_COLORS): 1, 0.
    by_index = (struct.pack("<IiiHHIIiiII", 40, 2, 1, 1, 8, 0, 4, 0, 0, 2, 0) + words(1, 0) +
                bytes([0, 1, 0, 0]))
    palette = rec(0x00F7, words(0x0300, 2) + bytes([0xFF, 0x80, 0, 0, 0xFF, 0, 0xFF, 0]))
    by_index_record = rec(0x0F43, words(0x0020, 0x00CC, 1, 1, 2, 0, 0, 100, 200, 450, 750) +
                          by_index)
    return metafile(background() + [
        palette, rec(0x0234, words(0)), by_index_record,
        stretch_dib(100, 100, 700, 300, halves, 4, 2),
        dib_stretch_blt(100, 450, 200, 100, paletted, 2, 2),
        stretch_dib(500, 450, 200, 100, rle, 4, 2),
    ])


def styles():
    nested = [[(100, 250), (400, 250), (400, 550), (100, 550)],
              [(200, 350), (300, 350), (300, 450), (200, 450)]]
    shifted = [[(x + 500, y) for x, y in ring] for ring in nested]
    return metafile(background() + [
        pen(1, 0, BLACK), select(0), move_to(100, 100), line_to(900, 100), delete(0),
        pen(2, 0, BLACK), select(0), move_to(100, 150), line_to(900, 150), delete(0),
        pen(5, 0, BLACK), select(0), brush(0, BLUE), select(1),
        rec(0x0106, words(2)), poly_polygon(nested),  # winding: the inner square fills
        rec(0x0106, words(1)), poly_polygon(shifted),  # alternate: it stays a hole
    ])


def placeable_mapping():
    # 1440 units per inch over 1440 x 720: 25.4 x 12.7 mm, whatever the window.
    return metafile([
        set_map_mode(8), window_org(0, 0), window_ext(100, 50),
        brush(0, BLUE), select(0), rectangle(0, 0, 100, 50),
    ], objects=1, frame=(0, 0, 1440, 720), inch=1440)


def screen_units():
    # No placeable header: MM_TEXT at 96 dpi, 96 x 48 pixels.
    return metafile([brush(0, BLUE), select(0), rectangle(0, 0, 96, 48)], objects=1, frame=None)


def lometric():
    return metafile([set_map_mode(2), brush(0, BLUE), select(0), rectangle(0, 0, 254, -127)],
                    objects=1, frame=None)


def isotropic():
    # The viewport allows 0.96 px per unit across but 0.48 down: 0.48 both ways.
    return metafile([set_map_mode(7), window_ext(200, 100), viewport_ext(192, 48),
                     brush(0, BLUE), select(0), rectangle(0, 0, 200, 100)],
                    objects=1, frame=None)


def save_restore():
    return metafile(background() + [
        pen(5, 0, 0), select(0), brush(0, RED), select(1),
        save_dc(), brush(0, BLUE), select(2), window_org(-500, 0),
        rectangle(100, 100, 300, 300),  # blue, shifted right by 500
        restore_dc(-1),
        rectangle(100, 100, 300, 300),  # red again, in place
        restore_dc(-1),  # nothing saved: ignored
        rectangle(100, 350, 300, 550),
    ], objects=3)


def clipping():
    return metafile(background() + [
        pen(5, 0, 0), brush(0, GREEN), select(0), select(1),
        save_dc(), rec(0x0416, words(300, 400, 100, 100)),  # clip to 100..400 x 100..300
        rectangle(50, 50, 450, 350),
        pen(0, 10, RED), select(2), move_to(50, 200), line_to(950, 200), delete(2),
        restore_dc(-1),  # the clip goes with the saved state
        delete(1), brush(0, BLUE), select(1), rectangle(600, 100, 900, 300),
        rec(0x0416, words(500, 700, 400, 500)),
        rec(0x012C, words(0)),  # selecting no region ends the clipping
        delete(1), brush(0, MAGENTA), select(1), rectangle(500, 350, 900, 550),
    ], objects=3)


def damaged():
    good = background() + [brush(0, RED), select(0), rectangle(100, 100, 300, 300)]
    files = {}
    full = metafile(good + [rectangle(400, 100, 600, 300)])
    files["truncated.wmf"] = full[:len(full) - 10]
    files["zero_size.wmf"] = metafile(good + [struct.pack("<IH", 0, 0x041B)], eof=False)
    # A polygon that claims 30000 points in a record of a few words.
    files["overcount.wmf"] = metafile(good + [rec(0x0324, words(30000, 1, 2, 3, 4))] +
                                      [rectangle(400, 100, 600, 300)], objects=1)
    # One object slot only: the second brush finds no slot.
    files["object_overflow.wmf"] = metafile(background() + [
        brush(0, RED), brush(0, BLUE), select(0), rectangle(100, 100, 300, 300)], objects=1)
    files["bad_header.wmf"] = b"\x07\x00\x09\x00\x00\x03" + b"\0" * 40
    files["cut_header.wmf"] = metafile(good)[:30]
    files["nothing.wmf"] = metafile([])
    files["first_record_broken.wmf"] = metafile([struct.pack("<IH", 0x7FFFFFFF, 0x041B)],
                                                eof=False)
    files["bad_bitmap.wmf"] = metafile(background() + [
        stretch_dib(100, 100, 700, 300, dib(4, 2, 24, [[RED] * 4] * 2)[:60], 4, 2)])
    return files


def main():
    fixtures = {
        "lines.wmf": lines(),
        "fills.wmf": fills(),
        "curves.wmf": curves(),
        "text.wmf": text(),
        "text_current_position.wmf": text_current_position(),
        "bitmaps.wmf": bitmaps(),
        "styles.wmf": styles(),
        "placeable_mapping.wmf": placeable_mapping(),
        "screen_units.wmf": screen_units(),
        "lometric.wmf": lometric(),
        "isotropic.wmf": isotropic(),
        "save_restore.wmf": save_restore(),
        "clipping.wmf": clipping(),
    }
    fixtures.update(damaged())
    for name, data in fixtures.items():
        with open(os.path.join(HERE, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
