#!/usr/bin/env bash
# Takes a picture of every example in examples/ with the real viewer in a virtual X server and
# saves it, shrunk to 400x300, as docs/gallery/NAME.png.
#
#   scripts/make-gallery.sh [PATH_TO_TESSAVIEW]
#
# Default: build/tessaview. Each picture is what scripts/show-example.sh shows without a display:
# the figure after three steps of its animation, with lines 2 pixels wide. Needs Xvfb, xdotool
# and ImageMagick.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
viewer="${1:-$here/../build/tessaview}"
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
    # Without DISPLAY the example runs headless even on a desktop.
    env -u DISPLAY "$here/show-example.sh" -e "$name" "$viewer" "$work/$name.png" >/dev/null
    "${convert[@]}" "$work/$name.png" -resize 400x300 -strip -colors 64 "$gallery/$name.png"
    echo "docs/gallery/$name.png"
done
