#!/usr/bin/env bash
# Drafts content/font/glyphs.txt from Quicksand Bold (Debian package
# fonts-quicksand, SIL Open Font License), emboldened and fitted to the sheet's
# fixed cells.  Tool-side only: run by hand, then touch the grid up; building
# data/ reads just the grid.  Re-running it discards the touch-ups, so they are
# listed in content/font/README.md to be made again.
set -euo pipefail
cd "$(dirname "$0")"
font=/usr/share/fonts/truetype/quicksand/Quicksand-Bold.ttf
[ -f "$font" ] || { echo "rasterise.sh: $font missing (apt-get install fonts-quicksand libfreetype-dev)" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
g++ -O2 -std=c++20 rasterise_glyphs.cpp -o "$work/rasterise_glyphs" $(pkg-config --cflags --libs freetype2)
# em 20 px, baseline under glyph row 14, strokes 0.9 px heavier, coverage gamma 0.9
"$work/rasterise_glyphs" "$font" 20 14 0.9 0.9 > "$work/glyphs.txt"
mv "$work/glyphs.txt" glyphs.txt
