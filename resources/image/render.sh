#!/bin/sh
# Renders the SVG sources in src/ into the PNGs the resource bundle compiles in.
# A developer tool only: the build uses the committed PNGs.
# Needs rsvg-convert (Debian package librsvg2-bin).
set -eu
cd "$(dirname "$0")"
for svg in src/*.svg; do
    name=$(basename "$svg" .svg)
    rsvg-convert --format=png --output="$name.png" "$svg"
done
