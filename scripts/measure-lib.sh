# The timing helpers of the measuring scripts; source it after setting tool and runs.

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
