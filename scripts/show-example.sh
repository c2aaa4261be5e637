#!/usr/bin/env bash
# Shows an example: runs the program on a folder of examples/ (default: the tesseract).
#
#   scripts/show-example.sh [-e NAME] PATH_TO_TESSAVIEW [SCREENSHOT.png]
#
# NAME is a folder of examples/, such as 24-cell. With a usable X display ($DISPLAY) the program
# simply runs there; close its window to end it.
# Without one it runs on a private Xvfb: once the first frame is drawn it gets the keys
# ">" three times (the bundled examples turn 45 degrees in the xq plane) and "o" (lines 2 pixels
# wide), then a screenshot of the window is saved
# (default: ${TMPDIR:-/tmp}/tessaview-example.png) and the program and Xvfb are stopped.
# The headless path needs Xvfb, xdotool and ImageMagick's import.
set -euo pipefail

name=tesseract
if [[ "${1:-}" == "-e" ]]; then
    if [[ $# -lt 2 ]]; then
        echo "usage: $0 [-e NAME] PATH_TO_TESSAVIEW [SCREENSHOT.png]" >&2
        exit 2
    fi
    name="$2"
    shift 2
fi
if [[ $# -lt 1 || $# -gt 2 ]]; then
    echo "usage: $0 [-e NAME] PATH_TO_TESSAVIEW [SCREENSHOT.png]" >&2
    exit 2
fi

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
example="$here/../examples/$name"
if [[ "$name" == */* || ! -f "$example/kvoTessa1F.txt" || ! -f "$example/kvoTessa1A.txt" ]]; then
    echo "no example '$name'; the examples are:" $(ls "$here/../examples") >&2
    exit 2
fi
binary="$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"
shot="${2:-${TMPDIR:-/tmp}/tessaview-example.png}"
case "$shot" in
    /*) ;;
    *) shot="$PWD/$shot" ;;
esac

if [[ ! -x "$binary" ]]; then
    echo "not an executable: $1" >&2
    exit 2
fi

display_usable() {
    [[ -n "${DISPLAY:-}" ]] || return 1
    if command -v xdpyinfo >/dev/null 2>&1; then
        xdpyinfo >/dev/null 2>&1
    elif command -v xdotool >/dev/null 2>&1; then
        xdotool getdisplaygeometry >/dev/null 2>&1
    else
        return 0  # nothing to ask with: trust $DISPLAY
    fi
}

if display_usable; then
    cd "$example"
    exec "$binary"
fi

for tool in Xvfb xdotool import; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "no usable display and no $tool for a headless run" >&2
        exit 1
    fi
done

work="$(mktemp -d)"
xvfb_pid=""
app_pid=""
cleanup() {
    local status=$?
    if [[ -n "$app_pid" ]]; then kill "$app_pid" 2>/dev/null || true; wait "$app_pid" 2>/dev/null || true; fi
    if [[ -n "$xvfb_pid" ]]; then kill "$xvfb_pid" 2>/dev/null || true; wait "$xvfb_pid" 2>/dev/null || true; fi
    rm -rf "$work"
    exit "$status"
}
trap cleanup EXIT
trap "exit 130" INT TERM  # run the cleanup on these too

# Waits up to about 10 s for a command to succeed.
wait_for() {
    local i
    for ((i = 0; i < 100; i++)); do
        if "$@"; then return 0; fi
        sleep 0.1
    done
    return 1
}

# The server picks a free display number itself and writes it to fd 3. -noreset keeps it from
# resetting when its last client leaves (a client connecting then fails to open the display).
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
has_display_number() { grep -qs '^[0-9][0-9]*$' "$work/display"; }
if ! wait_for has_display_number; then
    echo "Xvfb did not start" >&2
    exit 1
fi
export DISPLAY=":$(cat "$work/display")"
unset XAUTHORITY

(cd "$example" && exec "$binary") >"$work/console.txt" 2>"$work/stderr.txt" &
app_pid=$!

frames() { grep -sc '^==============================$' "$work/console.txt" || true; }
has_frames() { [[ "$(frames)" -ge "$1" ]]; }
if ! wait_for has_frames 1; then
    echo "the program drew no frame; its error output:" >&2
    cat "$work/stderr.txt" >&2
    exit 1
fi
window="$(xdotool search --name '^Tessaview Release 1' | head -n 1)"
sleep 0.3  # start-up may draw a second frame

for key in greater greater greater o; do
    before="$(frames)"
    # With no window manager xdotool warns about the focus; the key arrives all the same.
    xdotool key --window "$window" "$key" 2>/dev/null
    wait_for has_frames $((before + 1))
done

# Show what a user at a console would have seen: the loader's echo and the last frame.
echo "---- console: the loader's echo"
sed -n '1,/^===========================$/p' "$work/console.txt"
echo "---- console: the last frame (after the keys > > > o)"
awk '/^           Start Draw           $/ { block = "" } { block = block $0 "\n" } END { printf "%s", block }' \
    "$work/console.txt"
echo "----"

mkdir -p "$(dirname "$shot")"
import -window root -crop 800x600+100+150 +repage "$shot"
echo "Screenshot saved to $shot"
