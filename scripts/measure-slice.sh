#!/usr/bin/env bash
# Measures tessascene's cross-sections of the 120-cell, the whole run each time (start-up,
# generating the figure and its faces, cutting, laying out and writing with its flushes to
# disk): one cut through the middle (--at q=0), and a sweep of 60 cuts written as one folder.
# Prints the median and the range of RUNS runs (default 7) in milliseconds.
#
#   scripts/measure-slice.sh [PATH_TO_TESSASCENE [RUNS]]
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
tool="${1:-$here/../build/tessascene/tessascene}"
runs="${2:-7}"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# measure NAME ARGS...: runs the tool RUNS times into a fresh folder each and prints the times.
measure() {
    local name="$1"
    shift
    local times=()
    for ((run = 1; run <= runs; run++)); do
        rm -rf "$work/out"
        local start end
        start=$(date +%s%N)
        "$tool" "$@" -o "$work/out" >"$work/summary"
        end=$(date +%s%N)
        times+=($(((end - start) / 1000)))
    done
    printf '%s\n' "${times[@]}" | sort -n | awk -v name="$name" -v summary="$(cat "$work/summary")" '
        { t[NR] = $1 }
        END { printf "%s: median %.1f ms (%.1f to %.1f), %d runs\n  %s\n", name,
              t[int((NR + 1) / 2)] / 1000, t[1] / 1000, t[NR] / 1000, NR, summary }'
}

measure "120-cell, one cut at q=0" slice 120-cell --at q=0
measure "120-cell, sweep of 60 cuts" slice 120-cell --sweep 60
measure "120-cell, generate alone (for comparison)" generate 120-cell
# The start and end of a process that does nothing: what every run above pays first.
start=$(date +%s%N)
for ((run = 1; run <= runs; run++)); do "$tool" --version >/dev/null; done
end=$(date +%s%N)
printf 'tessascene --version (start-up alone): %.1f ms on average\n' \
    "$(((end - start) / runs / 1000))e-3"
