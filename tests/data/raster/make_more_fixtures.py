#!/usr/bin/python3
"""Writes the fixtures of the formats decoded by our own code: Autodesk
Animator CEL/PIC, Animator Pro PIC and CEL (FLIC), Paint Shop Pro and 3ds Max
RPF, byte by byte from the published layouts.

Every picture is 5 x 3 pixels of a background colour with pixel (3,1) in a
probe colour. 8-bit formats use rgb(200,40,40) and rgb(20,120,220); the
original Animator stores 6-bit levels (50,10,10) and (5,30,55), which read
back as rgb(202,40,40) and rgb(20,121,223).
"""
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
W, H = 5, 3
BG, FG = (200, 40, 40), (20, 120, 220)
PROBE = (3, 1)


def out(name, data):
    with open(os.path.join(HERE, name), "wb") as f:
        f.write(data)


def indexes():
    return bytes(1 if (x, y) == PROBE else 0 for y in range(H) for x in range(W))


def plane(channel, colour_of=lambda x, y: FG if (x, y) == PROBE else BG):
    return bytes(colour_of(x, y)[channel] for y in range(H) for x in range(W))


# --- Autodesk Animator ------------------------------------------------------

def animator(name):
    header = struct.pack("<HHHhhBBI16x", 0x9119, W, H, 0, 0, 8, 0, W * H)
    palette = bytearray(768)
    palette[0:3] = bytes((50, 10, 10))
    palette[3:6] = bytes((5, 30, 55))
    out(name, header + bytes(palette) + indexes())


def animator_pro_pic():
    body = bytearray()
    cmap = bytearray(768)
    cmap[0:3] = bytes(BG)
    cmap[3:6] = bytes(FG)
    body += struct.pack("<IH", 6 + 2 + 768, 0) + struct.pack("<H", 0) + cmap
    pixels = indexes()
    chunk = struct.pack("<IH", 6 + len(pixels), 1) + pixels
    body += chunk + (b"\0" if len(chunk) % 2 else b"")
    header = struct.pack("<IHHHhhIB45x", 64 + len(body), 0x9500, W, H, 0, 0, 0, 8)
    out("sample_pro.pic", header + body)


def flic_header(magic, size):
    header = bytearray(128)
    struct.pack_into("<IHHHHHHI", header, 0, size, magic, 1, W, H, 8, 3, 70)
    return header


def sub(kind, data):
    if len(data) % 2:
        data += b"\0"
    return struct.pack("<IH", 6 + len(data), kind) + data


def frame(subchunks):
    body = b"".join(subchunks)
    return struct.pack("<IHHHHHH", 16 + len(body), 0xF1FA, len(subchunks), 0, 0, 0, 0) + body


def animator_pro_cel():
    # A prefix chunk holding cel placement data comes before the frame.
    cel_data = struct.pack("<IHhh", 6 + 4, 3, 10, 20)
    prefix = struct.pack("<IHH8x", 16 + len(cel_data), 0xF100, 1) + cel_data
    colours = struct.pack("<HBB", 1, 0, 2) + bytes(BG) + bytes(FG)
    runs = bytearray()
    for y in range(H):
        runs.append(0)  # obsolete packet count
        if y == PROBE[1]:
            runs += bytes([3, 0, 0xFF, 1, 1, 0])  # three 0s, literal 1, one 0
        else:
            runs += bytes([W, 0])
    body = prefix + frame([sub(4, colours), sub(15, bytes(runs))])
    out("sample_pro.cel", flic_header(0xAF12, 128 + len(body)) + body)


def fli_copy():
    levels = struct.pack("<HBB", 1, 0, 2) + bytes((50, 10, 10)) + bytes((5, 30, 55))
    body = frame([sub(11, levels), sub(16, indexes())])
    out("sample_fli.cel", flic_header(0xAF11, 128 + len(body)) + body)


def deltas():
    # A cleared frame and the probe set by changes, as later frames are.
    colours = struct.pack("<HBB", 1, 0, 2) + bytes(BG) + bytes(FG)
    # Skip one line, then one packet: skip 2 pixels, one pair (0, 1).
    flc = struct.pack("<HHHBbBB", 1, 0xFFFF, 1, 2, 1, 0, 1)
    body = frame([sub(4, colours), sub(13, b""), sub(7, flc)])
    out("sample_delta.cel", flic_header(0xAF12, 128 + len(body)) + body)
    # From line 1, one line: one packet, skip 3, copy one byte.
    fli = struct.pack("<HHBBbB", 1, 1, 1, 3, 1, 1)
    body = frame([sub(4, colours), sub(13, b""), sub(12, fli)])
    out("sample_lc.cel", flic_header(0xAF11, 128 + len(body)) + body)


# --- Paint Shop Pro ---------------------------------------------------------

SIGNATURE = b"Paint Shop Pro Image File\n\x1a".ljust(32, b"\0")


def rle(data):
    encoded = bytearray()
    i = 0
    while i < len(data):
        run = 1
        while i + run < len(data) and data[i + run] == data[i] and run < 127:
            run += 1
        if run >= 3:
            encoded += bytes([128 + run, data[i]])
            i += run
        else:
            start = i
            while i < len(data) and i - start < 128:
                if i + 2 < len(data) and data[i] == data[i + 1] == data[i + 2]:
                    break
                i += 1
            encoded += bytes([i - start]) + data[start:i]
    return bytes(encoded)


def pad_rows(data, row_bytes, rows):
    padded = (row_bytes + 3) & ~3
    return b"".join(data[y * row_bytes:(y + 1) * row_bytes].ljust(padded, b"\0")
                    for y in range(rows))


def compress(data, compression, row_bytes, rows):
    if compression == 0:
        return pad_rows(data, row_bytes, rows)
    if compression == 1:
        return rle(data)
    return zlib.compress(data)


class Psp:
    """Blocks of major version 4 and later (a chunk length opens each block),
    or of version 3 (the block header gives the length of the fields)."""

    def __init__(self, major):
        self.major = major

    def block(self, kind, fields=None, rest=b""):
        if self.major <= 3:
            fields = fields or b""
            return (b"~BK\0" + struct.pack("<HII", kind, len(fields), len(fields) + len(rest)) +
                    fields + rest)
        body = (struct.pack("<I", len(fields) + 4) + fields if fields is not None else b"") + rest
        return b"~BK\0" + struct.pack("<HI", kind, len(body)) + body

    def file(self, blocks):
        return SIGNATURE + struct.pack("<HH", self.major, 0) + b"".join(blocks)

    def attributes(self, compression, depth, layers):
        fields = struct.pack("<iidBHHHIBIiH", W, H, 72.0, 1, compression, depth, 1,
                             256 if depth <= 8 else 1 << 24, 0, 0, 0, layers)
        if self.major > 3:
            fields += struct.pack("<I", 1)
        return self.block(0, fields)

    def channel(self, data, compression, bitmap, kind, row_bytes, rows):
        packed = compress(data, compression, row_bytes, rows)
        fields = struct.pack("<IIHH", len(packed), len(data), bitmap, kind)
        return self.block(5, fields, packed)

    def layer(self, name, rect, opacity, visible, channels):
        common = (struct.pack("<B4i4iBBBBB", 1, *rect, *rect, opacity, 0, 1 if visible else 0, 0, 0)
                  + struct.pack("<4i4iBBBH", *rect, *rect, 0, 0, 0, 0))
        counts = struct.pack("<HH", 1, len(channels))
        if self.major <= 3:
            fields = name.ljust(256, b"\0") + common + counts
            return self.block(4, fields, b"".join(channels))
        fields = struct.pack("<H", len(name)) + name + common
        bitmap_info = struct.pack("<I", 8) + counts
        return self.block(4, fields, bitmap_info + b"".join(channels))

    def palette(self, colours):
        entries = b"".join(bytes((b, g, r, 0)) for (r, g, b) in colours)
        return self.block(2, struct.pack("<I", len(colours)), entries)


def rgb_channels(psp, compression, bitmap, colour_of, w=W, h=H):
    return [psp.channel(bytes(colour_of(x, y)[c] for y in range(h) for x in range(w)),
                        compression, bitmap, c + 1, w, h) for c in range(3)]


def psp_layers():
    # RLE, three layers: the background, a hidden green one, a 1 x 1 probe.
    psp = Psp(6)
    bg = psp.layer(b"Background", (0, 0, W, H), 255, True,
                   rgb_channels(psp, 1, 0, lambda x, y: BG))
    hidden = psp.layer(b"Hidden", (0, 0, W, H), 255, False,
                       rgb_channels(psp, 1, 0, lambda x, y: (0, 255, 0)))
    probe = psp.layer(b"Probe", (3, 1, 4, 2), 255, True,
                      rgb_channels(psp, 1, 0, lambda x, y: FG, 1, 1))
    out("sample_layers.psp", psp.file([psp.attributes(1, 24, 3),
                                        psp.block(3, None, bg + hidden + probe)]))


def psp_composite():
    # Deflated; the layer is plain green, the composite the two colours, so
    # a reader that ignores the composite shows green.
    psp = Psp(7)
    layer = psp.layer(b"Layer", (0, 0, W, H), 255, True,
                      rgb_channels(psp, 2, 0, lambda x, y: (0, 255, 0)))
    comp_attr = psp.block(17, struct.pack("<iiHHHIH", W, H, 24, 2, 1, 1 << 24, 0))
    alpha = psp.channel(bytes([255] * (W * H)), 2, 9, 0, W, H)
    composite = psp.block(16, struct.pack("<I", 1),
                          comp_attr + b"".join(rgb_channels(psp, 2, 8, lambda x, y:
                                                            FG if (x, y) == PROBE else BG))
                          + alpha)
    out("sample_composite.psp", psp.file([psp.attributes(2, 24, 1),
                                           psp.block(3, None, layer), composite]))


def psp_version3_palette():
    # Version 3 (Paint Shop Pro 5): 8-bit indexes, uncompressed rows padded
    # to four bytes, a transparency mask that hides pixel (0,2).
    psp = Psp(3)
    index = psp.channel(indexes(), 0, 0, 0, W, H)
    mask = psp.channel(bytes(0 if (x, y) == (0, 2) else 255 for y in range(H) for x in range(W)),
                       0, 1, 0, W, H)
    layer = psp.layer(b"Background", (0, 0, W, H), 255, True, [index, mask])
    out("sample_v5.psp", psp.file([psp.attributes(0, 8, 1), psp.palette([BG, FG]),
                                    psp.block(3, b"", layer)]))


# --- 3ds Max RPF ------------------------------------------------------------

def rpf():
    header = bytearray(740)
    struct.pack_into(">8h", header, 0, 0, W - 1, 0, H - 1, 0, W - 1, 0, H - 1)
    # frame, storage type, colour channels, matte channels, auxiliary
    # channels, revision (-4 marks the rich pixel format)
    struct.pack_into(">6h", header, 16, 1, 0, 3, 1, 1, -4)
    header[304:311] = b"3ds max"
    struct.pack_into(">hhhhh", header, 658, 8, 0, 8, 0, 32)  # bits
    header[612:616] = b"rgba"
    render_info = bytes(range(52))  # what follows the header in RPF
    table_at = len(header) + len(render_info)
    body = bytearray()
    offsets = []
    for row in range(H):
        y = H - 1 - row  # bottom scanline first
        offsets.append(table_at + 4 * H + len(body))
        for channel in range(4):
            values = bytes((FG if (x, y) == PROBE else BG)[channel] if channel < 3 else 255
                           for x in range(W))
            run = bytes([256 - W]) + values
            body += struct.pack(">h", len(run)) + run
        z = bytes([0x7F, 0x00]) * 3  # a G-buffer channel the reader skips
        body += struct.pack(">h", len(z)) + z
    table = b"".join(struct.pack(">i", o) for o in offsets)
    out("sample.rpf", bytes(header) + render_info + table + bytes(body))


def dwg():
    with open(os.path.join(HERE, "..", "dwg", "sample_2018.dwg"), "wb") as f:
        f.write(b"AC1032" + bytes(122))


if __name__ == "__main__":
    animator("sample_animator.cel")
    animator("sample_animator.pic")
    animator_pro_pic()
    animator_pro_cel()
    fli_copy()
    deltas()
    psp_layers()
    psp_composite()
    psp_version3_palette()
    rpf()
    dwg()
