#!/usr/bin/env bash
# Measures tessascene importing a large point table: a 4D random walk of ROWS rows (default
# 1000000) saved as numpy's savetxt saves it (a '# x,y,z,q' header, 18-digit exponents, about
# 100 bytes a row), imported and simplified to fit one figure. Prints the tool's own summary,
# then the wall time and peak memory that /usr/bin/time -v reports, for each of RUNS runs
# (default 3).
#
#   scripts/measure-import.sh [PATH_TO_TESSASCENE [ROWS [RUNS]]]
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
tool="${1:-$here/../build/tessascene/tessascene}"
rows="${2:-1000000}"
runs="${3:-3}"
if [[ ! -x /usr/bin/time ]]; then
    echo "needs /usr/bin/time (apt-get install time)" >&2
    exit 2
fi

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
awk -v rows="$rows" 'BEGIN { srand(1); print "# x,y,z,q";
    for (i = 0; i < rows; i++) { x += rand() - 0.5; y += rand() - 0.5; z += rand() - 0.5;
        q += rand() - 0.5; printf "%.18e,%.18e,%.18e,%.18e\n", x, y, z, q } }' >"$work/walk.csv"
echo "table: $rows rows, $(($(stat -c %s "$work/walk.csv") / 1000000)) MB"
for ((run = 1; run <= runs; run++)); do
    /usr/bin/time -v "$tool" import "$work/walk.csv" -o "$work/out" 2>"$work/time" |
        { [[ $run -eq 1 ]] && cat || cat >/dev/null; }
    awk -F': ' '/Elapsed \(wall clock\)/ { t = $2 } /Maximum resident set size/ { m = $2 }
        END { printf "run: %s wall, %.1f MB peak\n", t, m / 1024 }' "$work/time"
    rm -rf "$work/out"
done
