#!/usr/bin/env bash
# Runs a fixed list of tessascene commands (every figure kind, every import format with gzip
# and standard input, slices, sweeps and many errors) and writes one transcript of what each
# did: its exit status, standard output, standard error and every file it left behind (size
# and checksum). Two builds behave alike when their transcripts are equal:
#
#   scripts/tessascene-transcript.sh OLD/tessascene old.txt
#   scripts/tessascene-transcript.sh NEW/tessascene new.txt
#   diff old.txt new.txt
#
# Each command runs in a fresh folder that holds the sample files of fuzz/import_corpus and a
# few made here, so the names in the messages are the same from run to run.
set -euo pipefail

tool=$(realpath "$1")
transcript=$(realpath -m "$2")
source_dir=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

samples="$work/samples"
mkdir -p "$samples"
cp "$source_dir"/fuzz/import_corpus/* "$samples/"
# A long curve that must be simplified, a table for --group, numbers in hexadecimal and
# numbers too small to keep.
awk 'BEGIN { print "x,y,z,q"; for (i = 0; i < 12000; i++) { t = i / 1000.0;
      printf "%.9f,%.9f,%.9f,%.9f\n", sin(3*t), sin(4*t+0.5), sin(5*t+1), sin(7*t+1.5) } }' \
    >"$samples/curve.csv"
printf 'id,x,y,z,q\n1,0,0,0,0\n1,1,0,0,0\n2,0,1,0,0\n2,0,1,1,0\n2,0,0,1,1\n' >"$samples/groups.csv"
printf '4OFF\n3 1 0\n0x1p3 0 0 0\n0 1 0 0\n0 0 1 +2\n3 0 1 2\n' >"$samples/hex.4off"
printf 'x,y,z,q\n0x1p3,0,0,0\n0,1,0,0\n0,0,1,2\n' >"$samples/hex.csv"
printf 'x,y,z,q\n1e-50,0,0,0\n0,1,0,0\n0,0,1,2\n' >"$samples/tiny.csv"
printf 'x,y,z,q\n1e-400,0,0,0\n0,1,0,0\n0,0,1,2\n' >"$samples/underflow.csv"
printf '4OFF\n3 1 0\n1e-400 0 0 0\n0 1 0 0\n0 0 1 2\n3 0 1 2\n' >"$samples/underflow.4off"
printf '4OFF\n1e1 0 0\n' >"$samples/count.4off"
printf '\x00\x01\x02binary' >"$samples/junk.bin"
: >"$samples/empty.csv"
printf '4OFF\n2 1 0\n0 0 0 0\n1 0 0 0\n2 0 1\n' >"$samples/centre.4off"

: >"$transcript"
n=0
# run DESCRIPTION COMMAND...: runs the command (a shell snippet in which $T is the tool) in a
# fresh folder and appends what it did to the transcript.
run() {
    local description="$1" command="$2"
    n=$((n + 1))
    local dir="$work/case-$n"
    mkdir -p "$dir"
    cp -r "$samples/." "$dir/"
    local status=0
    (cd "$dir" && T="$tool" bash -c "$command" >"$work/stdout" 2>"$work/stderr") || status=$?
    {
        printf '== %d: %s\n$ %s\nstatus %d\n-- stdout\n' "$n" "$description" "$command" "$status"
        cat "$work/stdout"
        printf -- '-- stderr\n'
        cat "$work/stderr"
        printf -- '-- files\n'
        (cd "$dir" && find . ! -type d -printf '%P\n' | sort |
            while read -r file; do
                # The sample files are left out unless a command changed them.
                if [[ -e "$samples/$file" ]] && cmp -s "$samples/$file" "$file"; then
                    continue
                fi
                printf '%s %s %s\n' "$file" "$(stat -c %s "$file")" "$(md5sum <"$file" | cut -c1-32)"
            done)
    } >>"$transcript"
}

# Generated figures.
run "5-cell" '$T generate 5-cell -o out'
run "tesseract" '$T generate tesseract -o out'
run "8-cell closed loops" '$T generate 8-cell --line-loop 1 -o out'
run "16-cell points, colour" '$T generate 16-cell --line-loop 3 --color 0.1,0.2,0.3 -o out'
run "24-cell with every transform" '$T generate 24-cell --size 1 --scale 2 --rotate xy:30 --spin yq --spin qx:20 --projection 0,0,0,1 -o out'
run "120-cell" '$T generate 120-cell -o out'
run "600-cell, no spin" '$T generate 600-cell --spin none -o out'
run "duoprism default" '$T generate duoprism -o out'
run "duoprism 3,4 loops" '$T generate duoprism:3,4 --line-loop 1 -o out'
run "clifford torus" '$T generate clifford-torus:5,6 --output=out'
run "3-sphere" '$T generate 3-sphere:1,3 -o out'
run "option before the command" '$T --size 3 generate 5-cell -o out'
run "current folder" '$T generate 5-cell'
run "folder with slashes" '$T generate 5-cell -o out//'
run "replace with --force" '$T generate 5-cell -o out && $T generate tesseract -o out --force'
run "folder holds a scene" '$T generate 5-cell -o out && $T generate tesseract -o out'
run "output is a file" 'echo keep >f && $T generate 5-cell -o f'
run "too many polylines" '$T generate duoprism:100,50 -o out'
run "loops need even degrees" '$T generate 3-sphere:1,1 --line-loop 1 -o out'
run "size makes coordinates too small" '$T generate tesseract --size 2e-38 -o out'
run "size below a float" '$T generate tesseract --size 1e-40 -o out'

# Usage errors.
run "help" '$T --help'
run "version" '$T --version'
run "no command" '$T'
run "unknown command" '$T bogus'
run "unknown figure" '$T generate nothing -o out'
run "bad parameters" '$T generate duoprism:2,7 -o out'
run "signed parameters" '$T generate duoprism:+5,7 -o out'
run "parameters of a fixed figure" '$T generate 5-cell:1,2 -o out'
run "missing figure" '$T generate -o out'
run "unknown option" '$T generate tesseract --bogus -o out'
run "option without its value" '$T generate tesseract -o out --size'
run "flag with a value" '$T generate tesseract --force=yes -o out'
run "colour out of range" '$T generate tesseract --color 2,0,0 -o out'
run "line-loop 2" '$T generate tesseract --line-loop 2 -o out'
run "line-loop 1.0" '$T generate tesseract --line-loop 1.0 -o out'
run "projection with q 0" '$T generate tesseract --projection 1,0,0,0 -o out'
run "scale not a number" '$T generate tesseract --scale abc -o out'
run "scale beyond a float" '$T generate tesseract --scale 1e39 -o out'
run "scale in hexadecimal" '$T generate tesseract --scale 0x1p1 -o out'
run "rotate unknown plane" '$T generate tesseract --rotate xw:10 -o out'
run "spin NaN" '$T generate tesseract --spin xy:nan -o out'
run "size twice, the first bad" '$T generate tesseract --size abc --size 2 -o out'
run "columns for generate" '$T generate tesseract --columns 1,2,3,4 -o out'
run "columns, three" '$T import table-points.txt --columns x,y,z -o out'
run "at for generate" '$T generate tesseract --at q=0 -o out'
run "second operand" '$T generate tesseract extra -o out'
run "empty output" '$T generate tesseract -o ""'

# Imports of every format.
run "4OFF with cells" '$T import five_cell_cells.4off -o out'
run "nOFF kept" '$T import square_pyramid.noff --size keep -o out'
run "4VECT as points" '$T import corners.4vect --line-loop 3 -o out'
run "4SKEL centred" '$T import open_paths.4skel --center -o out'
run "geomview OFF" '$T import geomview-spherical-octaplex.off -o out'
run "truncated 4OFF" '$T import truncated.4off -o out'
run "3D OFF" '$T import geomview-cube.off -o out'
run "OFF in hexadecimal" '$T import hex.4off --size keep -o out'
run "OFF underflow" '$T import underflow.4off --size keep -o out'
run "OFF count not whole" '$T import count.4off -o out'
run "numpy table" '$T import table-numpy.csv -o out'
run "pandas gzip" '$T import table-pandas.csv.gz -o out'
run "pandas quoted" '$T import table-pandas-quoted.csv -o out'
run "R write.csv" '$T import table-r-write-csv.csv -o out'
run "European" '$T import table-european.csv --size keep -o out'
run "semicolons" '$T import table-semicolon.csv -o out'
run "TSV with a label" '$T import table-header.tsv --group label -o out'
run "blank-separated" '$T import table-blank.txt -o out'
run "CRLF with junk" '$T import table-crlf.csv -o out'
run "decimal commas blank-separated" '$T import table-decimal-comma.txt -o out'
run "NaN rows" '$T import table-nan.csv --size keep -o out'
run "t,x,y,z,w" '$T import table-t-x-y-z-w.csv -o out'
run "ragged" '$T import table-ragged.csv -o out'
run "hexadecimal in a table" '$T import hex.csv --size keep -o out'
run "too small to keep" '$T import tiny.csv --size keep -o out'
run "too small for a double" '$T import underflow.csv -o out'
run "group column" '$T import groups.csv --group id --line-loop 1 -o out'
run "unknown column" '$T import groups.csv --columns x,y,z,w -o out'
run "group by number" '$T import groups.csv --group 1 -o out'
run "simplified" '$T import curve.csv -o out'
run "no simplify" '$T import curve.csv --no-simplify -o out'
run "points unsimplified" '$T import curve.csv --line-loop 3 -o out'
run "npy float64" '$T import array-f8.npy -o out'
run "npy gzip" '$T import array-f8.npy.gz --size keep -o out'
run "npy 3D" '$T import array-3d.npy -o out'
run "npy big-endian int16" '$T import array-i2-big-endian.npy -o out'
run "npy float32 Fortran" '$T import array-f4-fortran.npy --columns 4,3,2,1 -o out'
run "npy group" '$T import array-f8.npy --group 1 -o out'
run "npz two arrays" '$T import arrays-stored.npz -o out'
run "npz chosen" '$T import arrays-stored.npz --array pts -o out'
run "npz deflated" '$T import arrays-deflated.npz -o out'
run "npz unknown array" '$T import arrays-deflated.npz --array nope -o out'
run "array for a table" '$T import table-points.txt --array a -o out'
run "columns for OFF" '$T import corners.4vect --columns 1,2,3,4 -o out'
run "stdin table" '$T import - -o out <table-numpy.csv'
run "stdin gzip" 'cat table-pandas.csv.gz | $T import - -o out'
run "stdin npz" 'cat arrays-stored.npz | $T import - --array arr_0 -o out'
run "stdin npy" 'cat array-f8.npy | $T import - -o out'
run "stdin empty" '$T import - -o out </dev/null'
run "stdin too many points" '$T import - --no-simplify -o out <curve.csv'
run "output with a slash" '$T import table-numpy.csv -o out/'
run "empty file" '$T import empty.csv -o out'
run "missing file" '$T import missing.csv -o out'
run "a folder" 'mkdir d && $T import d -o out'
run "a device" '$T import /dev/null -o out'
run "binary" '$T import junk.bin -o out'

# Cross-sections.
run "tesseract at q=0" '$T slice tesseract --at q=0 -o out'
run "24-cell oblique" '$T slice 24-cell --hyperplane 1,1,0,0:0.5 -o out'
run "5-cell missed" '$T slice 5-cell --at q=5 -o out'
run "a cell" '$T slice tesseract --at q=1 -o out'
run "a vertex" '$T slice 16-cell --at q=1 -o out'
run "3-sphere points" '$T slice 3-sphere --at q=0 -o out'
run "table cut" '$T slice table-numpy.csv --at z=0 -o out'
run "OFF cut" '$T slice five_cell_cells.4off --at x=0 --size keep -o out'
run "sweep" '$T slice 24-cell --sweep 5 -o out'
run "sweep oblique" '$T slice 120-cell --sweep 3 --hyperplane 1,2,3,4 -o out'
run "sweep exists" '$T slice 5-cell --sweep 2 -o out && $T slice 5-cell --sweep 3 -o out'
run "sweep replaced" '$T slice 5-cell --sweep 2 -o out && $T slice 5-cell --sweep 3 -o out --force'
run "sweep into ." '$T slice 5-cell --sweep 2 -o .'
run "sweep flat" '$T slice table-decimal-comma.txt --sweep 2 --size keep -o out'
run "no hyperplane" '$T slice tesseract -o out'
run "two hyperplanes" '$T slice tesseract --at q=0 --hyperplane 1,0,0,0:0 -o out'
run "sweep with an offset" '$T slice tesseract --sweep 3 --at q=0 -o out'
run "zero normal" '$T slice tesseract --hyperplane 0,0,0,0:1 -o out'
run "unknown axis" '$T slice tesseract --at w=0 -o out'
run "sweep 0" '$T slice tesseract --sweep 0 -o out'
run "sweep 1e1" '$T slice tesseract --sweep 1e1 -o out'
run "offset beyond a float" '$T slice tesseract --at q=1e39 -o out'
run "missing source" '$T slice -o out'
run "missing file to cut" '$T slice nothing.csv --at q=0 -o out'

# Uniform polychora and the views into 3D.
run "uniform by name" '$T generate truncated-tesseract -o out'
run "second name" '$T generate runcinated-16-cell -o out'
run "wythoff symbol" '$T generate wythoff:F4:1001 -o out'
run "largest that fits" '$T generate runcinated-120-cell -o out'
run "too large" '$T generate cantellated-120-cell -o out'
run "antiprism prism" '$T generate antiprism-prism:7 --line-loop 1 -o out'
run "bad wythoff symbol" '$T generate wythoff:E8:1000 -o out'
run "wythoff without symbol" '$T generate wythoff -o out'
run "cut of a uniform figure" '$T slice truncated-24-cell --at q=0.3 -o out'
run "perspective" '$T project tesseract --perspective 2 -o out'
run "stereographic" '$T project 120-cell --stereographic -o out'
run "stereographic turned, loops" '$T project 600-cell --stereographic --line-loop 1 -o out'
run "perspective, vertices on one point" '$T project 16-cell --perspective 3 -o out'
run "eye inside the figure" '$T project tesseract --perspective 1 -o out'
run "perspective of a table" '$T project curve.csv --perspective 3 -o out'
run "stereographic of a table" '$T project groups.csv --group id --stereographic -o out'
run "vertex at the centre" '$T project centre.4off --stereographic -o out'
run "project without a view" '$T project 24-cell -o out'
run "view for generate" '$T generate 24-cell --stereographic -o out'

echo "$n commands" >>"$transcript"
echo "$n commands; transcript in $transcript"
