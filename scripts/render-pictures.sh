#!/usr/bin/env bash
# Renders the text pictures in resources/ as PNGs enlarged 8 times, without
# smoothing, under build/pictures/ so they can be looked at pixel by pixel.
# See-through pixels stay transparent in the PNGs.
set -euo pipefail
cd "$(dirname "$0")/.."
if ! command -v convert >/dev/null; then
  echo "ImageMagick's convert is missing: apt-get install imagemagick" >&2
  exit 1
fi
mkdir -p build/pictures
for picture in resources/*.xpm; do
  out="build/pictures/$(basename "$picture" .xpm).png"
  convert "$picture" -scale 800% "$out"
  echo "$out"
done
