#!/usr/bin/python3
"""Draws samples/harbour.png, the bundled raster sample: a small harbour at
dusk made of gradients and shapes with ImageMagick's convert."""
import os
import subprocess

HERE = os.path.dirname(os.path.abspath(__file__))
W, H = 960, 600
HORIZON = 330

draw = [
    # sun and its reflection
    "fill #ffd27a circle 690,255 690,205",
    "fill #f6b35e roundrectangle 640,345 740,352 3,3",
    "fill #f6b35e roundrectangle 660,365 720,370 3,3",
    # far hills
    "fill #3d4a6b polygon 0,330 120,280 260,310 380,270 520,318 600,300 700,330",
    # quay wall and pier
    "fill #5b4636 rectangle 0,420 330,600",
    "fill #7a604a rectangle 0,410 330,424",
    "fill #6d5541 rectangle 330,452 620,462",
    "fill #4a392c rectangle 350,462 358,520",
    "fill #4a392c rectangle 440,462 448,520",
    "fill #4a392c rectangle 530,462 538,520",
    "fill #4a392c rectangle 604,462 612,520",
    # lighthouse
    "fill #e9e4da polygon 90,410 104,250 132,250 146,410",
    "fill #c8483a rectangle 100,300 140,322",
    "fill #c8483a rectangle 95,360 143,382",
    "fill #2f2f36 rectangle 100,232 136,252",
    "fill #fff3b0 rectangle 106,236 130,250",
    # boats
    "fill #d9d4c7 polygon 420,430 560,430 540,452 440,452",
    "fill #8b2f2a rectangle 470,404 500,430",
    "stroke #2d2d2d stroke-width 3 line 600,300 600,470",
    "stroke none fill #f2efe6 polygon 604,305 604,455 680,455",
    "fill #294a7a polygon 560,470 700,470 684,492 576,492",
    "fill #e0b040 polygon 760,400 880,400 866,418 774,418",
    "stroke #2d2d2d stroke-width 2 line 820,330 820,400",
    "stroke none fill #f7f3ea polygon 823,334 823,398 868,398",
]


def main():
    out = os.path.join(HERE, "harbour.png")
    args = [
        "convert", "-size", f"{W}x{HORIZON}", "gradient:#1d2b53-#f29e6d",
        "(", "-size", f"{W}x{H - HORIZON}", "gradient:#2a5275-#0c1c33", ")",
        "-append",
    ]
    # Ripples first: thin light strokes across the water, under everything.
    for i, y in enumerate(range(HORIZON + 20, H, 26)):
        x = (i * 137) % (W - 200)
        args += ["-fill", "#4d7aa0", "-draw", f"rectangle {x},{y} {x + 120},{y + 2}"]
    for d in draw:
        args += ["-draw", d]
    args += ["-depth", "8", "-strip", "-define", "png:compression-level=9", out]
    subprocess.run(args, check=True)


if __name__ == "__main__":
    main()
