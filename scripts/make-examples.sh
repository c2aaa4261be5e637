#!/usr/bin/env bash
# Regenerates the figure examples in examples/ with tessascene, so each one can be made again
# from its command below. The tesseract example is written by hand and is not touched.
#
#   scripts/make-examples.sh [PATH_TO_TESSASCENE [OUTPUT_FOLDER]]
#
# Defaults: build/tessascene/tessascene and examples/. The tool's tests write into a scratch
# folder and compare it with examples/, so a change to the tool that changes an example shows.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
tool="${1:-$here/../build/tessascene/tessascene}"
root="${2:-$here/../examples}"

if [[ ! -x "$tool" ]]; then
    echo "not an executable: $tool (build it with: cmake --build build --target tessascene)" >&2
    exit 2
fi

# example FOLDER tessascene-arguments...
example() {
    local folder="$1"
    shift
    "$tool" generate "$@" --force -o "$root/$folder" >/dev/null
}

example 5-cell          5-cell --rotate yq:40
example 16-cell         16-cell
example 24-cell         24-cell
example 120-cell        120-cell
example 600-cell        600-cell
example duoprism-5-7    duoprism:5,7
example clifford-torus  clifford-torus
example 3-sphere        3-sphere
example truncated-24-cell truncated-24-cell

# Views in q = 0: the Schlegel diagram of the tesseract (the eye just beyond its cell at q = 1)
# and the 120-cell in stereographic projection, its edges circular arcs.
view() {
    local folder="$1"
    shift
    "$tool" project "$@" --force -o "$root/$folder" >/dev/null
}
view schlegel-tesseract     tesseract --perspective 2
view stereographic-120-cell 120-cell --stereographic

# Imported data: a 4D Lissajous curve of 10000 points, saved as numpy's savetxt would save it
# (a '# x,y,z,q' header, 18-digit exponents), then simplified to fit one figure. The values are
# rounded to 12 decimals first, so that a sine that is 0 is saved as 0, not as the 1e-16 of
# rounding noise that awk computes (the import writes every value as it reads it).
data="$(mktemp)"
trap 'rm -f "$data"' EXIT
awk 'function r(v) { return sprintf("%.12f", v) + 0 }
    BEGIN { print "# x,y,z,q"; for (i = 0; i < 10000; i++) { t = 6.283185307179586 * i / 9999;
    printf "%.18e,%.18e,%.18e,%.18e\n", r(sin(3 * t)), r(sin(4 * t + 0.5)), r(sin(5 * t + 1)),
        r(sin(7 * t + 1.5)) } }' >"$data"
"$tool" import "$data" --color 0.1,0.45,0.75 --force -o "$root/lissajous-data" >/dev/null
