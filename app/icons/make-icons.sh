#!/usr/bin/env bash
# Makes the icon files beside this script from tapdeck.svg: the PNG sizes (desktop entries,
# the Qt window) and tapdeck.ico (Tapdeck.exe's resources and the installer). Run it after
# changing the SVG and commit what it makes; the build uses the committed files, so building
# needs neither tool. Needs rsvg-convert (librsvg2-bin) and convert (imagemagick).
set -euo pipefail
cd "$(dirname "$0")"
../../scripts/deps.sh icons

sizes=(16 24 32 48 64 128 256)
for size in "${sizes[@]}"; do
  rsvg-convert -w "$size" -h "$size" tapdeck.svg -o "tapdeck-$size.png"
done
# Windows picks the size it needs from the .ico; the 256 one is stored as PNG.
convert tapdeck-16.png tapdeck-24.png tapdeck-32.png tapdeck-48.png tapdeck-64.png tapdeck-256.png \
  -define png:exclude-chunks=date,time tapdeck.ico
