#!/usr/bin/env bash
# Measures tessascene's cross-sections of the 120-cell, the whole run each time (start-up,
# generating the figure and its faces, cutting, laying out and writing with its flushes to
# disk): one cut through the middle (--at q=0), and a sweep of 60 cuts written as one folder.
# Prints the median and the range of RUNS runs (default 7) in milliseconds, of the wall time and
# of the processor time (user + system), which other work on the machine disturbs less.
#
#   scripts/measure-slice.sh [PATH_TO_TESSASCENE [RUNS]]
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
tool="${1:-$here/../build/tessascene/tessascene}"
runs="${2:-7}"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# stats: the median and range of the numbers on standard input, one a line, in seconds.
stats() {
    sort -n | awk '{ t[NR] = $1 * 1000 }
        END { printf "median %.1f ms (%.1f to %.1f)", t[int((NR + 1) / 2)], t[1], t[NR] }'
}

# measure NAME ARGS...: runs the tool RUNS times into a fresh folder each and prints the times.
measure() {
    local name="$1"
    shift
    : >"$work/times"
    for ((run = 1; run <= runs; run++)); do
        rm -rf "$work/out"
        # bash's time: wall, user and system seconds of the run, to the millisecond.
        { TIMEFORMAT='%3R %3U %3S' && time "$tool" "$@" -o "$work/out" >"$work/summary"; } \
            2>>"$work/times"
    done
    echo "$name, $runs runs:"
    echo "  wall $(awk '{ print $1 }' "$work/times" | stats)"
    echo "  processor $(awk '{ print $2 + $3 }' "$work/times" | stats)"
    echo "  $(cat "$work/summary")"
}

measure "120-cell, one cut at q=0" slice 120-cell --at q=0
measure "120-cell, sweep of 60 cuts" slice 120-cell --sweep 60
measure "120-cell, generate alone (for comparison)" generate 120-cell
measure "start-up alone (tessascene --version)" --version
