#!/usr/bin/env bash
# tessarecord on the real viewer: the tesseract recorded for three steps as a GIF and as PNG
# frames; checks the size, the frame count, known pixels (background, the green y axis), that
# each step changed the picture, that the GIF's colours are exact (its last frame equals the
# last PNG) and that nothing is left running. Needs Xvfb and ImageMagick.
#
#   tests/tessarecord_gui_test.sh PATH_TO_TESSARECORD PATH_TO_TESSAVIEW SOURCE_FOLDER
set -uo pipefail

tool="$(realpath "$1")"
viewer="$(realpath "$2")"
scene="$3/examples/tesseract"
source "$(dirname "$0")/lib.sh"
cd "$work" || exit 1
unset DISPLAY

# /usr/local/bin/convert may be a stand-in: ask for ImageMagick by its own name.
if command -v magick >/dev/null 2>&1; then
    convert=(magick)
else
    convert=(/usr/bin/convert)
fi

"$tool" "$scene" --steps 3 -o t.gif --viewer "$viewer" --console console.txt >/dev/null ||
    fail "recording the GIF failed"
"$tool" "$scene" --steps 3 -o 'f-%d.png' --viewer "$viewer" >/dev/null ||
    fail "recording the PNG frames failed"
"${convert[@]}" t.gif -coalesce g-%d.png || fail "cannot read t.gif"

[[ "$(identify -format '%W x %H;' t.gif)" == "800 x 600;800 x 600;800 x 600;800 x 600;" ]] ||
    fail "t.gif: $(identify t.gif)"
[[ "$(grep -c '^==============================$' console.txt)" -eq 4 ]] ||
    fail "the console holds $(grep -c '^=====' console.txt) frames, expected 4"
grep -qF "GLOBAL STEP 3" console.txt || fail "the console lacks the third step"

# pixel FILE X Y: the colour at (X, Y) as r,g,b.
pixel() {
    "${convert[@]}" "$1" -format "%[fx:int(255*p{$2,$3}.r)],%[fx:int(255*p{$2,$3}.g)],%[fx:int(255*p{$2,$3}.b)]" info:
}

for i in 0 1 2 3; do
    [[ "$(identify -format '%wx%h' "f-$i.png" 2>/dev/null)" == 800x600 ]] || fail "f-$i.png"
    for corner in "5 5" "794 5" "5 594" "794 594"; do
        [[ "$(pixel "f-$i.png" $corner)" == 255,255,255 ]] || fail "f-$i.png at $corner is not white"
    done
    # The steps turn the figure, not the axes: the y axis passes (400, 200) in every frame.
    [[ "$(pixel "f-$i.png" 400 200)" == 0,255,0 ]] || fail "f-$i.png: no green y axis at 400,200"
    [[ "$(compare -metric AE "f-$i.png" "g-$i.png" null: 2>&1)" == 0 ]] ||
        fail "frame $i of the GIF differs from f-$i.png"
done
for i in 0 1 2; do
    [[ "$(compare -metric AE "f-$i.png" "f-$((i + 1)).png" null: 2>&1)" != 0 ]] ||
        fail "frames $i and $((i + 1)) are the same: a step was not captured"
done

for pid in $(ps -eo pid=,args= | awk -v v="$viewer" '$2 == v {print $1}'); do
    fail "a viewer is still running: $pid"
done

# Several scene folders into one animation: nine turns of the 24-cell, one frame each, in the
# order given, all from one X server.
for i in 0 1 2 3 4 5 6 7 8; do
    mkdir -p "sweep/0$i"
    cp "$3/examples/24-cell/kvoTessa1F.txt" "sweep/0$i/"
    printf '0.4 -0.3 0.2 1\n1\n3 %d 0 0 1 0 0 0\n' $((i * 10)) >"sweep/0$i/kvoTessa1A.txt"
done
"$tool" sweep/*/ -o sweep.gif --viewer "$viewer" >sweep.out || fail "recording nine folders failed"
grep -qF "9 frames of 800x600 from 9 scene folders" sweep.out || fail "nine folders: $(cat sweep.out)"
[[ "$(identify -format '%W x %H;' sweep.gif)" == "$(printf '800 x 600;%.0s' 1 2 3 4 5 6 7 8 9)" ]] ||
    fail "sweep.gif: $(identify sweep.gif)"
"${convert[@]}" sweep.gif -coalesce s-%d.png || fail "cannot read sweep.gif"
[[ "$(md5sum s-?.png | awk '{print $1}' | sort -u | wc -l)" -eq 9 ]] || fail "sweep.gif frames repeat"
# The fifth frame is the fifth folder's picture.
"$tool" sweep/04 -o s4.png --viewer "$viewer" >/dev/null || fail "recording sweep/04 failed"
[[ "$(compare -metric AE s4.png s-4.png null: 2>&1)" == 0 ]] || fail "frame 4 is not sweep/04"

finish "tessarecord recorded the tesseract correctly"
