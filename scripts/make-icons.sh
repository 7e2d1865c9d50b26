#!/usr/bin/env bash
# Draws the program's icon (resources/icons/querndal-*.png) with ImageMagick; the shapes are the
# ones of resources/icons/querndal.svg, drawn without an SVG renderer.
set -euo pipefail
cd "$(dirname "$0")/../resources/icons"
convert -size 256x256 xc:none \
    -fill '#8a5a2b' -draw "roundrectangle 16,28 239,227 10,10" \
    -fill '#b07a3f' -draw "roundrectangle 24,36 231,219 6,6" \
    -fill '#87c3eb' -draw "rectangle 40,52 215,203" \
    -fill '#ffd23f' -draw "circle 170,94 190,94" \
    -fill '#3f9b4a' -draw "path 'M40 204 L40 168 Q84 118 124 152 Q160 126 216 160 L216 204 Z'" \
    -fill '#2e7a38' -draw "path 'M40 204 L40 184 Q100 160 150 182 Q186 170 216 182 L216 204 Z'" \
    -fill none -stroke '#5e3b17' -strokewidth 4 -draw "rectangle 40,52 215,203" \
    querndal-256.png
for size in 16 24 32 48 64 128; do
    convert querndal-256.png -resize "${size}x${size}" "querndal-$size.png"
done
