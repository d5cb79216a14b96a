#!/usr/bin/env bash
# Draws the hicolor PNG icons from the one SVG (packaging/icons/quorvel.svg) with rsvg-convert
# (Debian package librsvg2-bin). Run it again after editing the SVG and commit the PNGs.
set -euo pipefail
cd "$(dirname "$0")/../packaging/icons"
for size in 16 32 48 64 128 256; do
  rsvg-convert --width "$size" --height "$size" --output "quorvel-$size.png" quorvel.svg
done
