#!/usr/bin/env bash
# Renders the program icon tablor.svg into the PNG sizes of the hicolor theme (tablor-SIZE.png).
# The PNGs are committed; run this only after changing tablor.svg (needs rsvg-convert, Debian
# package librsvg2-bin).
set -euo pipefail
cd "$(dirname "$0")"
for size in 16 22 24 32 48 64 128 256; do
  rsvg-convert -w "$size" -h "$size" -o "tablor-$size.png" tablor.svg
done
