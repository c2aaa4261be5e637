#!/usr/bin/env bash
# Wall time of tessarecord, start-up and clean-up included, without a display:
# the tesseract's 13 frames (--steps 12), the 120-cell's 36 frames (--steps 35) as GIFs, and a
# sweep of 60 scene folders (the 24-cell turned 6 degrees further in each) into one GIF.
# With --memory, also tessarecord's own peak memory (VmHWM) recording a scene whose figure
# file is 203 MB, its console saved to a file (needs about 500 MB in the temporary folder).
#   scripts/measure-recording.sh [--repeat R] [--memory]
# Builds build/tessarecord/tessarecord and build/tessaview first when needed.
set -euo pipefail
cd "$(dirname "$0")/.."
repeat=5
memory=0
while [[ $# -gt 0 ]]; do
    case "$1" in
    --repeat) repeat="$2" && shift 2 ;;
    --memory) memory=1 && shift ;;
    *) echo "usage: $0 [--repeat R] [--memory]" >&2 && exit 2 ;;
    esac
done
if [ ! -f build/CMakeCache.txt ]; then
    cmake --preset dev >/dev/null
fi
cmake --build build --target tessarecord tessaview >/dev/null
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

for i in $(seq -w 0 59); do
    mkdir -p "$work/sweep/$i"
    cp examples/24-cell/kvoTessa1F.txt "$work/sweep/$i/"
    printf '0.4 -0.3 0.2 1\n1\n3 %d 0 0 1 0 0 0\n' $((10#$i * 6)) >"$work/sweep/$i/kvoTessa1A.txt"
done

# time_runs NAME FRAMES ARGS...: runs tessarecord ARGS -o out.gif R times and prints the times.
time_runs() {
    local name="$1" frames="$2"
    shift 2
    local times=()
    for _ in $(seq "$repeat"); do
        rm -f "$work/out.gif"
        local start=$(date +%s%N)
        env -u DISPLAY build/tessarecord/tessarecord "$@" -o "$work/out.gif" >/dev/null
        times+=($((($(date +%s%N) - start) / 1000000)))
    done
    local sorted=($(printf '%s\n' "${times[@]}" | sort -n))
    awk -v name="$name" -v frames="$frames" -v bytes="$(stat -c %s "$work/out.gif")" \
        -v lo="${sorted[0]}" -v mid="${sorted[$((repeat / 2))]}" -v hi="${sorted[$((repeat - 1))]}" \
        'BEGIN { printf "%-12s %2d frames, %d bytes: min %.2f s, median %.2f s, max %.2f s\n",
                 name, frames, bytes, lo / 1000, mid / 1000, hi / 1000 }'
}

time_runs tesseract 13 examples/tesseract --steps 12
time_runs 120-cell 36 examples/120-cell --steps 35
time_runs "60 folders" 60 "$work"/sweep/*/
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"

if [[ $memory -eq 1 ]]; then
    mkdir "$work/big"
    cp examples/tesseract/kvoTessa1A.txt "$work/big/"
    # 90 polylines of 61000 vertices: 203 MB.
    awk 'BEGIN { srand(1); printf "1\n1 0.5 0\n90\n";
                 line = sprintf("%.6f %.6f %.6f %.6f", rand() * 2 - 1, rand() * 2 - 1, rand() * 2 - 1, rand() * 2 - 1);
                 for (p = 0; p < 90; p++) { print 61000; for (v = 0; v < 61000; v++) print line } }' \
        >"$work/big/kvoTessa1F.txt"
    start=$(date +%s%N)
    env -u DISPLAY build/tessarecord/tessarecord "$work/big" -o "$work/big.gif" \
        --console "$work/big-console.txt" --timeout 600 >/dev/null &
    recorder=$!
    peak=0
    while kill -0 "$recorder" 2>/dev/null; do
        kb=$(awk '/^VmHWM:/ {print $2}' "/proc/$recorder/status" 2>/dev/null || true)
        [[ -n "$kb" ]] && peak=$kb
        sleep 0.2
    done
    wait "$recorder"
    awk -v figure="$(stat -c %s "$work/big/kvoTessa1F.txt")" \
        -v console="$(stat -c %s "$work/big-console.txt")" -v peak="$peak" \
        -v ms="$((($(date +%s%N) - start) / 1000000))" \
        'BEGIN { printf "figure file %d MB, console %d MB: peak memory of tessarecord %.1f MB, %.1f s\n",
                 figure / 1e6, console / 1e6, peak / 1024, ms / 1000 }'
fi
