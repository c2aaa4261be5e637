#!/usr/bin/env bash
# Takes a picture of every example in examples/ with tessarecord (the real viewer in a private
# virtual X server) and saves it, shrunk to 400x300, as docs/gallery/NAME.png.
#
#   scripts/make-gallery.sh [PATH_TO_TESSARECORD [PATH_TO_TESSASCENE]]
#
# Default: build/tessarecord/tessarecord, which runs the viewer of the same build. Each picture
# is the figure after three steps of its animation (">" three times), with lines 2 pixels wide
# ("o"). Then docs/gallery/24-cell-sweep.gif: a sweep of cuts through the 24-cell, made by
# tessascene (default: build/tessascene/tessascene), one frame per cut. Needs Xvfb and
# ImageMagick.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
recorder="${1:-$here/../build/tessarecord/tessarecord}"
tessascene="${2:-$here/../build/tessascene/tessascene}"
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

# A sweep of 25 cuts through the 24-cell along q (the middle one at q = 0), recorded in order as one animation.
"$tessascene" slice 24-cell --sweep 25 -o "$work/sweep" >/dev/null
"$recorder" "$work"/sweep/*/ --delay 120 -o "$work/24-cell-sweep.gif" >/dev/null
"${convert[@]}" "$work/24-cell-sweep.gif" -coalesce -resize 400x300 -colors 64 -layers Optimize \
    "$gallery/24-cell-sweep.gif"
echo "docs/gallery/24-cell-sweep.gif"
