#!/usr/bin/env bash
# Draws the tray icon Disk20.png (20x20) and Disk20@2x.png (40x40) into
# resources/. The glyph is a disk gauge: a light platter with a blue "used"
# wedge, a dark rim for light panels and a thin light halo for dark ones.
# Drawn once at 320x320 and scaled down, so the small sizes stay smooth.
set -euo pipefail
cd "$(dirname "$0")/../resources"

big=$(mktemp --suffix=.png)
trap 'rm -f "$big"' EXIT

convert -size 320x320 xc:none \
  -fill 'rgba(255,255,255,0.92)' -draw 'circle 160,160 160,2' \
  -fill '#1f2328' -draw 'circle 160,160 160,16' \
  -fill '#e9edf2' -draw 'circle 160,160 160,38' \
  -fill '#2f6fd6' -draw 'path "M 160,160 L 160,38 A 122,122 0 1,1 61.3,231.7 Z"' \
  -fill '#1f2328' -draw 'circle 160,160 160,124' \
  -fill '#e9edf2' -draw 'circle 160,160 160,144' \
  "$big"

convert "$big" -filter Lanczos -resize 20x20 -strip PNG32:Disk20.png
convert "$big" -filter Lanczos -resize 40x40 -strip PNG32:Disk20@2x.png
