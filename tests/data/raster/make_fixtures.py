#!/usr/bin/python3
"""Writes the small raster fixtures of the reader tests.

Every colour picture is 5 x 3 pixels (the fax 16 x 8) of rgb(200,40,40) with pixel (3,1) in
rgb(20,120,220); grey pictures use 200 and 20. ImageMagick's convert writes
the formats it can write; Utah RLE, Dr. Halo CUT and Wavefront RLA, which it
only reads, are written here byte by byte.
"""
import os
import shutil
import struct
import subprocess
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
W, H = 5, 3
BG, FG = (200, 40, 40), (20, 120, 220)
PROBE = (3, 1)


def pixel(x, y):
    return FG if (x, y) == PROBE else BG


def convert(*args):
    subprocess.run(["convert", *args], check=True)


def out(name):
    return os.path.join(HERE, name)


def utah_rle():
    # Header: magic, xpos, ypos, xsize, ysize, flags, ncolors, pixelbits,
    # ncmap, cmaplen; then a background colour of ncolors bytes (odd: no pad).
    data = bytearray(struct.pack("<HhhHHBBBBB", 0xCC52, 0, 0, W, H, 0, 3, 8, 0, 0))
    data += bytes(3)
    for row in range(H):
        y = H - 1 - row  # the first scanline is the bottom one
        for plane in range(3):
            data += bytes([2, plane])  # SetColor
            values = bytes(pixel(x, y)[plane] for x in range(W))
            data += bytes([5, W - 1]) + values  # ByteData
            if W % 2:
                data += b"\0"
        data += bytes([1, 1])  # SkipLines
    data += bytes([7, 0])  # EOF
    with open(out("sample.rle"), "wb") as f:
        f.write(data)


def halo_cut():
    # Grey indices, one run-length line each: literal runs of < 0x80 bytes.
    data = bytearray(struct.pack("<HHH", W, H, 0))
    for y in range(H):
        line = bytes([W]) + bytes(20 if (x, y) == PROBE else 200 for x in range(W)) + b"\0"
        data += struct.pack("<H", len(line)) + line
    with open(out("sample.cut"), "wb") as f:
        f.write(data)


def wavefront_rla():
    header = bytearray(740)
    struct.pack_into(">8h", header, 0, 0, W - 1, 0, H - 1, 0, W - 1, 0, H - 1)
    # frame, storage type, channels, matte channels, auxiliary channels, revision
    struct.pack_into(">6h", header, 16, 1, 0, 3, 0, 0, -2)
    struct.pack_into(">h", header, 658, 8)  # bits per channel
    header[612:615] = b"rgb"
    offsets_at = len(header)
    body = bytearray()
    scan_offsets = []
    for row in range(H):
        y = H - 1 - row  # bottom scanline first
        scan_offsets.append(offsets_at + 4 * H + len(body))
        for channel in range(3):
            values = bytes(pixel(x, y)[channel] for x in range(W))
            run = bytes([256 - W]) + values  # a literal run of W bytes
            body += struct.pack(">h", len(run)) + run
    data = header + b"".join(struct.pack(">i", o) for o in scan_offsets) + body
    with open(out("sample.rla"), "wb") as f:
        f.write(data)


def main():
    tmp = tempfile.mkdtemp()
    try:
        base = os.path.join(tmp, "base.png")
        grey = os.path.join(tmp, "grey.png")
        alpha = os.path.join(tmp, "alpha.png")
        convert("-size", f"{W}x{H}", "xc:rgb(200,40,40)", "-fill", "rgb(20,120,220)",
                "-draw", "point 3,1", base)
        convert("-size", f"{W}x{H}", "xc:gray(200)", "-fill", "gray(20)",
                "-draw", "point 3,1", "-colorspace", "Gray", grey)
        # Half-transparent background, opaque probe pixel.
        convert(base, "-alpha", "set", "-channel", "A", "-evaluate", "set", "50%",
                "+channel", "-fill", "rgba(20,120,220,1)", "-draw", "point 3,1", alpha)
        convert(base, out("sample.pcx"))
        convert(base, "sgi:" + out("sample.sgi"))
        convert(base, "sgi:" + out("sample.rgb"))
        convert(grey, "sgi:" + out("sample.bw"))
        convert(alpha, "sgi:" + out("sample.rgba"))
        convert(base, "tga:" + out("sample.tga"))
        convert(base, "-compress", "RLE", "tga:" + out("sample.vst"))
        for alias in ("icb", "vda", "win"):
            shutil.copy(out("sample.tga"), out("sample." + alias))
        # A TGA is recognised by its footer whatever its name.
        with open(out("sample.tga"), "rb") as f:
            tga = f.read()
        with open(out("tga_with_footer.dat"), "wb") as f:
            f.write(tga + struct.pack("<II", 0, 0) + b"TRUEVISION-XFILE.\0")
        convert(base, "-type", "TrueColor", "psd:" + out("sample.psd"))
        shutil.copy(out("sample.psd"), out("sample.pdd"))
        convert(base, "gif:" + out("sample.gif"))
        # Windows also names run-length compressed bitmaps .rle.
        convert(base, "-type", "Palette", "-compress", "RLE", "bmp3:" + out("windows_bmp.rle"))
        convert("-size", "16x8", "xc:white", "-fill", "black", "-draw", "point 3,1",
                "fax:" + out("sample.fax"))
        # A BMP without its 14-byte file header, as the clipboard holds it.
        bmp = os.path.join(tmp, "x.bmp")
        convert(base, "-type", "TrueColor", "bmp3:" + bmp)
        with open(bmp, "rb") as f:
            dib = f.read()[14:]
        with open(out("headerless.dib"), "wb") as f:
            f.write(dib)
        utah_rle()
        halo_cut()
        wavefront_rla()
    finally:
        shutil.rmtree(tmp)


if __name__ == "__main__":
    main()
