#!/bin/sh
# Renders the program's icon (icons/clipvault.svg) at the hicolor theme's
# sizes. Run by hand after changing the picture; the PNGs are kept in the
# repository so that a build needs no renderer (rsvg-convert: librsvg2-bin).
set -eu
cd "$(dirname "$0")/icons"
for s in 16 22 24 32 48 64 128 256; do
  rsvg-convert -w "$s" -h "$s" clipvault.svg -o "clipvault-$s.png"
done
