#!/usr/bin/env bash
# Wall time of tessarecord, start-up and clean-up included, without a display:
# the tesseract's 13 frames (--steps 12) and the 120-cell's 36 frames (--steps 35) as GIFs.
#   scripts/measure-recording.sh [--repeat R]
# Builds build/tessarecord/tessarecord and build/tessaview first when needed.
set -euo pipefail
cd "$(dirname "$0")/.."
repeat=5
if [[ "${1:-}" == "--repeat" ]]; then
    repeat="$2"
fi
if [ ! -f build/CMakeCache.txt ]; then
    cmake -S . -B build -G Ninja >/dev/null
fi
cmake --build build --target tessarecord tessaview >/dev/null
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
for run in "tesseract 12" "120-cell 35"; do
    set -- $run
    times=()
    for _ in $(seq "$repeat"); do
        rm -f "$work/out.gif"
        start=$(date +%s%N)
        env -u DISPLAY build/tessarecord/tessarecord "examples/$1" --steps "$2" \
            -o "$work/out.gif" >/dev/null
        times+=($((($(date +%s%N) - start) / 1000000)))
    done
    sorted=($(printf '%s\n' "${times[@]}" | sort -n))
    awk -v name="$1" -v frames=$(($2 + 1)) -v bytes="$(stat -c %s "$work/out.gif")" \
        -v lo="${sorted[0]}" -v mid="${sorted[$((repeat / 2))]}" -v hi="${sorted[$((repeat - 1))]}" \
        'BEGIN { printf "%-10s %2d frames, %d bytes: min %.2f s, median %.2f s, max %.2f s\n",
                 name, frames, bytes, lo / 1000, mid / 1000, hi / 1000 }'
done
