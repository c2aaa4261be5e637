#!/usr/bin/env bash
# Measures tessascene importing a large point table: a 4D random walk of ROWS rows (default
# 1000000) saved as numpy's savetxt saves it (a '# x,y,z,q' header, 18-digit exponents, about
# 100 bytes a row), the same table gzip-compressed (as pandas writes a .csv.gz), and the same
# points as a float64 .npy file in numpy's format (written here with Python's standard library)
# and that file stored in an .npz archive (as np.savez stores it, with Python's zipfile), each
# imported and simplified to fit one figure. Prints the tool's own summary, then the wall
# time, CPU time (user and system; on a busy machine it says more than the wall time) and peak
# memory that /usr/bin/time -v reports, for each of RUNS runs (default 3).
#
#   scripts/measure-import.sh [PATH_TO_TESSASCENE [ROWS [RUNS [FORMATS]]]]
#
# FORMATS is a comma-separated choice of csv, gz, npy and npz (default all four).
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
tool="${1:-$here/../build/tessascene/tessascene}"
rows="${2:-1000000}"
runs="${3:-3}"
formats="${4:-csv,gz,npy,npz}"
if [[ ! -x /usr/bin/time ]]; then
    echo "needs /usr/bin/time (apt-get install time)" >&2
    exit 2
fi

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
awk -v rows="$rows" 'BEGIN { srand(1); print "# x,y,z,q";
    for (i = 0; i < rows; i++) { x += rand() - 0.5; y += rand() - 0.5; z += rand() - 0.5;
        q += rand() - 0.5; printf "%.18e,%.18e,%.18e,%.18e\n", x, y, z, q } }' >"$work/walk.csv"
if [[ ",$formats," == *,gz,* ]]; then
    gzip -c "$work/walk.csv" >"$work/walk.csv.gz"
fi
if [[ ",$formats," == *,npy,* || ",$formats," == *,npz,* ]]; then
    python3 - "$work/walk.csv" "$work/walk.npy" "$rows" <<'PY'
import sys
from array import array
source, target, rows = sys.argv[1], sys.argv[2], int(sys.argv[3])
# numpy's header: the dict, room for the first axis to grow to 21 digits, spaces up to a
# multiple of 64 bytes with the magic and length, and a final newline.
header = "{'descr': '<f8', 'fortran_order': False, 'shape': (%d, 4), }" % rows
header += " " * (21 - len(str(rows)))
padding = 64 - (10 + len(header) + 1) % 64
with open(source) as text, open(target, "wb") as out:
    out.write(b"\x93NUMPY\x01\x00" + (len(header) + padding + 1).to_bytes(2, "little"))
    out.write(header.encode("latin1") + b" " * padding + b"\n")
    values = array("d")
    for line in text:
        if not line.startswith("#"):
            values.extend(float(v) for v in line.split(","))
            if len(values) >= 400000:
                values.tofile(out)
                values = array("d")
    values.tofile(out)
PY
fi
if [[ ",$formats," == *,npz,* ]]; then
    python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[2], "w").write(sys.argv[1], "arr_0.npy")' \
        "$work/walk.npy" "$work/walk.npz"
fi
for format in ${formats//,/ }; do
    case "$format" in
        csv) file="$work/walk.csv" ;;
        gz) file="$work/walk.csv.gz" ;;
        npy) file="$work/walk.npy" ;;
        npz) file="$work/walk.npz" ;;
        *)
            echo "unknown format '$format': csv, gz, npy or npz" >&2
            exit 2
            ;;
    esac
    echo "$format: $rows rows, $(($(stat -c %s "$file") / 1000000)) MB"
    for ((run = 1; run <= runs; run++)); do
        /usr/bin/time -v "$tool" import "$file" -o "$work/out" 2>"$work/time" |
            { [[ $run -eq 1 ]] && cat || cat >/dev/null; }
        awk -F': ' '/Elapsed \(wall clock\)/ { t = $2 } /Maximum resident set size/ { m = $2 }
            /User time/ { u = $2 } /System time/ { s = $2 }
            END { printf "run: %s wall, %.2f s CPU, %.1f MB peak\n", t, u + s, m / 1024 }' \
            "$work/time"
        rm -rf "$work/out"
    done
done
