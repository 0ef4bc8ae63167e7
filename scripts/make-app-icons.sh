#!/usr/bin/env bash
# Renders the application icon packaging/icons/headroom.svg into the PNG
# sizes of the hicolor icon theme, packaging/icons/hicolor/NxN/headroom.png.
# The PNGs are committed, so building and packaging need no SVG renderer;
# run this again (it needs rsvg-convert, from librsvg2-bin) after changing
# the SVG.
set -euo pipefail
cd "$(dirname "$0")/../packaging/icons"

command -v rsvg-convert >/dev/null || { echo "make-app-icons: rsvg-convert is missing (apt-get install librsvg2-bin)" >&2; exit 1; }

for size in 16 22 24 32 48 64 128 256; do
  mkdir -p "hicolor/${size}x${size}"
  rsvg-convert --width "$size" --height "$size" --format png headroom.svg --output "hicolor/${size}x${size}/headroom.png"
done
