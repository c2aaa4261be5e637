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
# The start-up frame, one per step, and now and then a second start-up frame (the window system
# may ask for two): at least 4, and never a step too many.
[[ "$(grep -c '^==============================$' console.txt)" -ge 4 ]] ||
    fail "the console holds $(grep -c '^=====' console.txt) frames, expected 4"
grep -qF "GLOBAL STEP 3" console.txt || fail "the console lacks the third step"
! grep -qF "GLOBAL STEP 4" console.txt || fail "the console holds a fourth step"

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

# --- Colours, timing, the user's display and crash safety ---
# A second X server stands for the user's desktop, named in DISPLAY: the recording must not touch
# it. xev logs every window made on it; it listens once a root property the test sets shows up.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$work/desktop" >/dev/null 2>&1 &
desktop_pid=$!
trap 'kill "$desktop_pid" ${xev_pid:+"$xev_pid"} 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 100); do [[ -s "$work/desktop" ]] && break; sleep 0.1; done
desktop=":$(head -n 1 "$work/desktop")"
xev -display "$desktop" -root -event substructure -event property >"$work/xev.log" 2>&1 &
xev_pid=$!
for _ in $(seq 100); do
    xprop -display "$desktop" -root -f TESSAVIEW_TEST 8s -set TESSAVIEW_TEST 1 2>/dev/null
    grep -q PropertyNotify "$work/xev.log" && break
    sleep 0.1
done
grep -q PropertyNotify "$work/xev.log" || fail "xev does not listen on the second display"

# Two recordings, under strace when it runs here: a GIF and a console transcript, each replacing
# an old file (--force), with the desktop in DISPLAY; and PNG frames.
strace_runs=$(strace -f -o /dev/null true 2>/dev/null && echo yes)
# under TRACE COMMAND...: runs COMMAND, under strace logging into TRACE when strace runs here.
under() {
    local trace="$1"
    shift
    if [[ -n "$strace_runs" ]]; then
        # LeakSanitizer cannot run under ptrace.
        ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0" \
            strace -f -qq -s 4096 -e trace="$synced_calls" -o "$trace" "$@"
    else
        "$@"
    fi
}
echo old >d.gif && echo old >d.txt
DISPLAY="$desktop" under "$work/gif.trace" "$tool" "$scene" --steps 2 --delay 500 --force -o d.gif \
    --console d.txt --viewer "$viewer" >/dev/null 2>"$work/stderr" ||
    fail "the GIF with --force on a DISPLAY failed: $(cat "$work/stderr")"
under "$work/png.trace" "$tool" "$scene" --steps 1 -o 'p-%d.png' --viewer "$viewer" >/dev/null ||
    fail "recording PNG frames failed"
[[ "$(identify -format '%T,' d.gif 2>&1)" == "50,50,50," ]] ||
    fail "--delay 500 should give 50 cs per frame: $(identify -format '%T,' d.gif 2>&1)"
[[ "$(head -n 1 d.txt)" != old && "$(grep -c '^==============================$' d.txt)" -ge 3 ]] ||
    fail "--force kept the old d.txt"
if [[ -n "$strace_runs" ]]; then
    synced_before_named "$work/gif.trace" d.gif d.txt || fail "the GIF or console file not fsync'd"
    synced_before_named "$work/png.trace" p-0.png p-1.png || fail "the PNG frames not fsync'd"
else
    echo "strace cannot run here: the fsync checks are skipped"
fi
grep -q CreateNotify "$work/xev.log" && fail "the recording made a window on DISPLAY $desktop"

# The desktop viewer itself on the second display: its first frame is the recorder's, pixel for
# pixel (waited for until it has drawn); and the colours the viewer draws without lighting are
# there: the red x axis, blue z axis, magenta q marker and the figure's own 1 0.5 0.
(cd "$scene" && DISPLAY="$desktop" exec "$viewer" >/dev/null 2>&1) &
viewer_pid=$!
window="$(DISPLAY="$desktop" timeout 20 xdotool search --sync --onlyvisible --name . | head -n 1)"
differ=unknown
for _ in $(seq 50); do
    DISPLAY="$desktop" import -window "$window" "$work/desktop.png" 2>/dev/null &&
        differ="$(compare -metric AE "$work/desktop.png" f-0.png null: 2>&1)"
    [[ "$differ" == 0 ]] && break
    sleep 0.2
done
[[ "$differ" == 0 ]] || fail "the recorded first frame differs from the viewer's own in $differ pixels"
kill "$viewer_pid" && wait "$viewer_pid"
grep -q CreateNotify "$work/xev.log" || fail "xev saw no window of the viewer: the isolation check is blind"
for check in "575 178 255,0,0" "585 505 0,0,255" "219 278 255,0,255" "352 433 255,128,0"; do
    read -r x y colour <<<"$check"
    # the colours of the 5x5 pixels around (x, y)
    near="$("${convert[@]}" f-0.png -crop "5x5+$((x - 2))+$((y - 2))" -depth 8 txt:- |
        sed -n 's/.*: (\([0-9]*\),\([0-9]*\),\([0-9]*\)).*/\1,\2,\3/p' | sort -u | paste -sd' ')"
    [[ " $near " == *" $colour "* ]] || fail "f-0.png near $x,$y holds $near, not $colour"
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
