#!/usr/bin/env bash
# Draws the popup images with ImageMagick. Run again after changing a drawing; commit the PNGs.
set -euo pipefail
cd "$(dirname "$0")"
# No time stamps or other metadata, so the same drawing gives the same bytes.
png_opts=(-strip -define png:exclude-chunks=date,time)

# 58 x 58 logo on a transparent ground: a blue rounded tile with a white quill-like wave.
convert -size 58x58 xc:none \
    -fill 'rgb(7,167,237)' -draw 'roundrectangle 2,2 55,55 12,12' \
    -fill none -stroke white -strokewidth 5 -draw 'circle 29,27 29,12' \
    -stroke white -strokewidth 5 -draw 'line 33,33 45,47' \
    -stroke 'rgb(255,214,64)' -strokewidth 3 -draw 'line 12,49 24,49' \
    "${png_opts[@]}" PNG32:logo.png

# 30 x 30 close cross, light on a transparent ground.
convert -size 30x30 xc:none \
    -stroke 'rgb(232,240,250)' -strokewidth 2 -draw 'line 10,10 20,20' -draw 'line 20,10 10,20' \
    "${png_opts[@]}" PNG32:close.png

# 30 x 30 hovered close button: white cross on an opaque red square.
convert -size 30x30 'xc:rgb(212,64,39)' \
    -stroke white -strokewidth 2 -draw 'line 10,10 20,20' -draw 'line 20,10 10,20' \
    "${png_opts[@]}" PNG32:close_hover.png
