#!/bin/sh
# Regenerates the Kestrel icons from their SVG sources:
#   kestrel.svg    -> kestrel-32.png
#   kestrel-16.svg -> kestrel-16.png
#   both PNGs      -> kestrel.ico (Windows icon holding 16 x 16 and 32 x 32)
#
# The build does not run this script; the PNGs and the ICO are kept in the
# repository. Run it by hand after editing an SVG. It needs:
#   rsvg-convert  (Debian/Ubuntu package librsvg2-bin)
#   icotool       (package icoutils), or else ImageMagick's magick or convert
#                 (package imagemagick)
set -eu
cd "$(dirname "$0")"

rsvg-convert --width 32 --height 32 --output kestrel-32.png kestrel.svg
rsvg-convert --width 16 --height 16 --output kestrel-16.png kestrel-16.svg

if command -v icotool >/dev/null 2>&1; then
    icotool --create --output kestrel.ico kestrel-16.png kestrel-32.png
elif command -v magick >/dev/null 2>&1; then
    magick kestrel-16.png kestrel-32.png kestrel.ico
elif command -v convert >/dev/null 2>&1; then
    convert kestrel-16.png kestrel-32.png kestrel.ico
else
    echo "render-icons.sh: need icotool or ImageMagick to write kestrel.ico" >&2
    exit 1
fi
echo "wrote kestrel-32.png kestrel-16.png kestrel.ico"
