#!/usr/bin/env bash
# Takes a picture of every example in examples/ with tessarecord (the real viewer in a private
# virtual X server) and saves it, shrunk to 400x300, as docs/gallery/NAME.png.
#
#   scripts/make-gallery.sh [PATH_TO_TESSARECORD]
#
# Default: build/tessarecord/tessarecord, which runs the viewer of the same build. Each picture
# is the figure after three steps of its animation (">" three times), with lines 2 pixels wide
# ("o"). Needs Xvfb and ImageMagick.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
recorder="${1:-$here/../build/tessarecord/tessarecord}"
gallery="$here/../docs/gallery"

# /usr/local/bin/convert may be a stand-in on some machines: ask for ImageMagick by its own name.
if command -v magick >/dev/null 2>&1; then
    convert=(magick)
elif [[ -x /usr/bin/convert ]]; then
    convert=(/usr/bin/convert)
else
    echo "ImageMagick is needed (magick or /usr/bin/convert)" >&2
    exit 1
fi

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$gallery"
for folder in "$here"/../examples/*/; do
    name="$(basename "$folder")"
    "$recorder" "$folder" --keys '>>>o' -o "$work/$name.png" >/dev/null
    "${convert[@]}" "$work/$name.png" -resize 400x300 -strip -colors 64 "$gallery/$name.png"
    echo "docs/gallery/$name.png"
done
