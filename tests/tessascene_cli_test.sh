#!/usr/bin/env bash
# The tessascene command line: help, exit codes and messages, no files after any error, the
# transform records the options make, and the checked-in examples against a fresh generation.
#
#   tests/tessascene_cli_test.sh PATH_TO_TESSASCENE SOURCE_FOLDER
set -uo pipefail

tool="$1"
source="$2"
source "$(dirname "$0")/lib.sh"

# expect STATUS STDERR_PART args...: runs the tool with args and checks its exit status, that
# stderr holds STDERR_PART and, for a failure, that the output folder was not created.
expect() {
    local status="$1" part="$2"
    shift 2
    local out="$work/out-$RANDOM$RANDOM"
    "$tool" "$@" -o "$out" >"$work/stdout" 2>"$work/stderr"
    local got=$?
    if [[ $got -ne $status ]]; then
        fail "'$*' exited $got, expected $status; stderr: $(cat "$work/stderr")"
    fi
    if ! grep -qF -- "$part" "$work/stderr"; then
        fail "'$*': stderr lacks '$part': $(cat "$work/stderr")"
    fi
    if [[ $status -ne 0 && -e "$out" ]]; then
        fail "'$*' failed but created $out"
    fi
    # Only a usage error points to --help.
    if grep -qxF "Try 'tessascene --help'." "$work/stderr"; then
        [[ $status -eq 2 ]] || fail "'$*' exited $status and points to --help"
    elif [[ $status -eq 2 ]]; then
        fail "'$*': a usage error without the pointer to --help"
    fi
}

# Help: every command, figure, option and exit status is documented.
"$tool" --help >"$work/help" 2>&1 || fail "--help exited non-zero"
for word in generate import 5-cell tesseract 16-cell 24-cell 120-cell 600-cell duoprism \
    clifford-torus 3-sphere --output --size --color --line-loop --projection --scale --rotate \
    --spin --force --center --columns --group --no-simplify --help "Exit status" "  0  " "  1  " "  2  "; do
    grep -qF -- "$word" "$work/help" || fail "--help does not mention '$word'"
done

# Usage errors (exit 2) are rows of tests/command_line_test.cpp.

# Figures that cannot be made or fitted: exit 1.
expect 1 "the figure needs 113 polylines; a figure holds at most 90, 23 too many" \
    generate duoprism:100,50
expect 1 "$work/missing.off" import "$work/missing.off"
expect 2 "unknown option" generate tesseract --bogus
printf '4SKEL\n3 1\n0 0 0 0\n1 0 0 0\n0 1 0 0\n3 0 1 2\n' >"$work/path.skel"
expect 1 "2 vertices have an odd number of edges" import "$work/path.skel" --line-loop 1
echo keep >"$work/a-file"
"$tool" generate 5-cell -o "$work/a-file" >/dev/null 2>"$work/stderr"
[[ $? -eq 1 ]] || fail "writing into a file should exit 1"
[[ "$(cat "$work/a-file")" == keep ]] || fail "the blocking file was changed"

# A failing run leaves an existing folder's files as they were.
"$tool" generate tesseract -o "$work/kept" >/dev/null || fail "generate tesseract failed"
cp -r "$work/kept" "$work/kept-before"
"$tool" generate duoprism:100,50 -o "$work/kept" >/dev/null 2>&1
diff -r "$work/kept-before" "$work/kept" >/dev/null || fail "a failed run changed the files"

# A successful run: the transform records in their documented order, both option forms.
"$tool" generate 24-cell --output="$work/g" --color 0.5,0.25,1 --spin yz:10 --spin qx:20 \
    --scale 2 --rotate xy:30 --projection 0,0,0,1 --size=1 >"$work/stdout" 2>"$work/stderr" ||
    fail "generate 24-cell failed: $(cat "$work/stderr")"
expected_affine=$'0 0 0 1\n4\n1 2 1 1 1 1\n3 30 1 0 0 0 0 0\n6 10 0 0 0 1 0 0\n6 -20 0 0 1 0 0 0'
[[ "$(cat "$work/g/kvoTessa1A.txt")" == "$expected_affine" ]] ||
    fail "unexpected affine file: $(cat "$work/g/kvoTessa1A.txt")"
[[ "$(head -n 3 "$work/g/kvoTessa1F.txt")" == $'0\n0.5 0.25 1\n2' ]] ||
    fail "unexpected figure header: $(head -n 3 "$work/g/kvoTessa1F.txt")"
grep -qF "24 vertices, 96 edges, 2 polylines" "$work/stdout" || fail "summary: $(cat "$work/stdout")"
[[ "$(ls -A "$work/g")" == $'kvoTessa1A.txt\nkvoTessa1F.txt' ]] || fail "files left: $(ls -A "$work/g")"
"$tool" generate 16-cell --spin none -o "$work/n" >/dev/null || fail "--spin none failed"
[[ "$(sed -n 2p "$work/n/kvoTessa1A.txt")" == 0 ]] || fail "--spin none left a record"

# An import is scaled to circumradius 2 unless its coordinates are kept.
printf '4OFF\n3 1 0\n0 0 0 0\n4 0 0 0\n0 1 0 0\n3 0 1 2\n' >"$work/triangle.off"
"$tool" import "$work/triangle.off" --line-loop 1 -o "$work/i" >/dev/null || fail "import failed"
[[ "$(tail -n 4 "$work/i/kvoTessa1F.txt")" == $'3\n0 0 0 0\n2 0 0 0\n0 0.5 0 0' ]] ||
    fail "unexpected imported figure: $(cat "$work/i/kvoTessa1F.txt")"
"$tool" import "$work/triangle.off" --line-loop 1 --size keep -o "$work/k" >/dev/null
[[ "$(tail -n 2 "$work/k/kvoTessa1F.txt")" == $'4 0 0 0\n0 1 0 0' ]] || fail "--size keep scaled"

# Scene files already in the folder: refused with the file's name, replaced with --force.
"$tool" generate 5-cell -o "$work/s" >/dev/null || fail "generate 5-cell failed"
cp -r "$work/s" "$work/s-before"
"$tool" generate tesseract -o "$work/s" >/dev/null 2>"$work/stderr"
[[ $? -eq 1 ]] && grep -qF "$work/s/kvoTessa1F.txt already exists; add --force" "$work/stderr" ||
    fail "an existing scene was not refused: $(cat "$work/stderr")"
diff -r "$work/s-before" "$work/s" >/dev/null || fail "a refused run changed the scene"
"$tool" generate tesseract -o "$work/t" >/dev/null
"$tool" generate tesseract --force -o "$work/s" >/dev/null || fail "--force failed"
diff -r "$work/t" "$work/s" >/dev/null || fail "--force did not replace both files"
# A folder in place of the affine file: the run fails and the figure file stays as it was.
rm "$work/s/kvoTessa1A.txt" && mkdir "$work/s/kvoTessa1A.txt"
"$tool" generate 5-cell --force -o "$work/s" >/dev/null 2>"$work/stderr"
[[ $? -eq 1 ]] && cmp -s "$work/s/kvoTessa1F.txt" "$work/t/kvoTessa1F.txt" ||
    fail "a failed run replaced the figure file: $(cat "$work/stderr")"
# A link planted at a temporary name is never written through.
echo victim >"$work/victim"
mkdir "$work/l" && ln -s ../victim "$work/l/.kvoTessa1F.txt.tmp"
"$tool" generate 5-cell -o "$work/l" >/dev/null || fail "generate beside a planted link failed"
[[ "$(cat "$work/victim")" == victim && ! -L "$work/l/kvoTessa1F.txt" ]] ||
    fail "the planted link was followed"

# Runs into one folder at once take turns: the folder always holds one run's complete pair.
"$tool" generate 5-cell --spin none -o "$work/race-a" >/dev/null
"$tool" generate tesseract --spin xy -o "$work/race-b" >/dev/null
same_pair() { diff -r "$1" "$work/race" >/dev/null; }
for round in $(seq 30); do
    "$tool" generate 5-cell --spin none --force -o "$work/race" >/dev/null 2>>"$work/race.err" &
    "$tool" generate tesseract --spin xy --force -o "$work/race" >/dev/null 2>>"$work/race.err" &
    wait
    same_pair "$work/race-a" || same_pair "$work/race-b" || fail "round $round mixed the runs"
done
[[ ! -s "$work/race.err" ]] || fail "racing runs failed: $(head -n 3 "$work/race.err")"

# A run killed before its first rename or between its two renames: the next run into the folder
# cleans up first, so the folder holds the old pair or the killed run's complete new pair.
if strace -f -o /dev/null true 2>/dev/null; then
    "$tool" generate tesseract --spin xy -o "$work/kill-new" >/dev/null
    for when in 1 2; do
        rm -rf "$work/kill" && cp -r "$work/race-a" "$work/kill"
        strace -f -o /dev/null -e inject=renameat:signal=SIGKILL:when=$when \
            "$tool" generate tesseract --spin xy --force -o "$work/kill" >/dev/null 2>&1
        "$tool" generate 16-cell -o "$work/kill" >/dev/null 2>&1  # refused, but cleans up
        expected="$work/race-a"
        [[ $when -eq 2 ]] && expected="$work/kill-new"
        diff -r "$expected" "$work/kill" >/dev/null ||
            fail "after a kill at rename $when: $(ls -A "$work/kill")"
    done
else
    echo "strace cannot run here: the killed-run checks are skipped"
fi

# Coordinates far outside the float range are scaled without loss, or refused with their line.
for big in 1e+200 1e-200; do
    printf '4OFF\n2 0 0\n%s 0 0 0\n0 0 0 %s\n' "$big" "$big" >"$work/big.off"
    "$tool" import "$work/big.off" --line-loop 3 --force -o "$work/big" >/dev/null ||
        fail "import of $big failed"
    [[ "$(tail -n 2 "$work/big/kvoTessa1F.txt")" == $'2 0 0 0\n0 0 0 2' ]] ||
        fail "$big scaled to $(tail -n 2 "$work/big/kvoTessa1F.txt")"
    expect 1 "$work/big.off:3: a coordinate is $big" import "$work/big.off" --line-loop 3 \
        --size keep
done
expect 1 "--size 1.3e-38 makes a coordinate" generate 120-cell --size 1.3e-38

# Input that is no text file of reasonable lines, and loops that cannot fit, are refused at once.
expect 1 "/dev/zero: is a device, not a file" import /dev/zero
expect 1 "$work: is a folder, not a file" import "$work"
head -c 1100000 /dev/zero | tr '\0' 7 >"$work/long.off"
expect 1 "$work/long.off:1: the line is longer than 1048576 bytes" import "$work/long.off"
awk 'BEGIN { n = 20000; print "4OFF"; print 2 * n + 1, n, 0; print "0 0 0 0"
             for (i = 0; i < 2 * n; i++) print i, 1, 0, 0
             for (i = 0; i < n; i++) print 3, 0, 2 * i + 1, 2 * i + 2 }' >"$work/fan.off"
expect 1 "the figure needs at least 667 polylines" import "$work/fan.off" --line-loop 1

# Point tables. A numpy savetxt file of a 10000-point curve (values on a 1/4096 grid, so that
# their six-digit text is the same whether read as double or float) fits; every vertex is a data
# point and the reported distance is under 1% of the data's size.
awk 'BEGIN { print "# x,y,z,q"; for (i = 0; i < 10000; i++) { t = 6.283185307 * i / 9999;
    printf "%.18e,%.18e,%.18e,%.18e\n", int(4096 * sin(3 * t)) / 4096 + 10,
        int(4096 * sin(4 * t + 0.5)) / 4096, int(4096 * cos(5 * t)) / 4096,
        int(4096 * sin(7 * t + 1.5)) / 4096 } }' >"$work/curve.csv"
"$tool" import "$work/curve.csv" -o "$work/curve" --size keep >"$work/stdout" 2>"$work/stderr" ||
    fail "importing curve.csv failed: $(cat "$work/stderr")"
percent=$(sed -n 's/.*(\([0-9.e+-]*\)% of the diagonal.*/\1/p' "$work/stdout")
grep -qF "Simplified 10000 points to " "$work/stdout" && awk -v p="$percent" 'BEGIN { exit !(p < 1) }' ||
    fail "no simplification within 1%: $(cat "$work/stdout")"
awk -F, 'NR == FNR { if ($0 !~ /^#/) data[sprintf("%g %g %g %g", $1, $2, $3, $4)] = 1; next }
    FNR > 3 && NF == 4 && !($0 in data) { bad++ } END { exit bad > 0 }' \
    "$work/curve.csv" "$work/curve/kvoTessa1F.txt" || fail "a vertex of curve.csv that is no data point"

# Three trajectories separated by blank lines (x near 0, 100 and 200): no polyline joins two.
awk 'BEGIN { for (k = 0; k < 3; k++) { for (i = 0; i < 5000; i++) printf "%d %f %f %f\n",
    100 * k + i % 7, sin(i / 100), cos(i / 70), i / 5000; print "" } }' >"$work/walks.txt"
"$tool" import "$work/walks.txt" -o "$work/walks" --size keep >/dev/null || fail "walks.txt failed"
awk 'NR > 3 && NF == 1 { band = -1 } NR > 3 && NF == 4 { b = int($1 / 100);
    if (band >= 0 && b != band) joined++; band = b } END { exit joined > 0 }' \
    "$work/walks/kvoTessa1F.txt" || fail "a polyline joins two trajectories"

# Bad tables: FILE:LINE, exit 1, nothing written.
printf '1,2,3,4\n1,2,3\n' >"$work/ragged.csv"
expect 1 "$work/ragged.csv:2: a ragged row" import "$work/ragged.csv"
printf 'x y z q\n1 2 3 4\n' >"$work/named.txt"
expect 1 "named.txt:1: --columns: no column is named 'w'" import "$work/named.txt" --columns x,y,z,w
expect 1 "--columns and --group are for point tables" import "$work/triangle.off" --group 1

# A table is centred and scaled by default; --size keep writes it as read, --center centres it.
printf '10 20 30 41\n12 20 30 40\n' >"$work/two.txt"
for run in "default::-1.7888544 0 0 0.8944272|1.7888544 0 0 -0.8944272" "keep:--size keep:10 20 30 41|12 20 30 40" \
    "center:--size keep --center:-1 0 0 0.5|1 0 0 -0.5"; do
    IFS=: read -r name flags want <<<"$run"
    # shellcheck disable=SC2086
    "$tool" import "$work/two.txt" $flags -o "$work/two-$name" >/dev/null || fail "two.txt $name"
    got=$(tail -n 2 "$work/two-$name/kvoTessa1F.txt" | paste -sd'|')
    [[ "$got" == "$want" ]] ||
        fail "two.txt with '$flags': got '$got', expected '$want'"
done

# A bit flipped in an .npz member's data: refused, naming the archive and the member.
cp "$source/tests/data/writers/stored.npz" "$work/flipped.npz"
byte=$(od -An -tu1 -j 263 -N 1 "$work/flipped.npz")
printf "\\$(printf '%03o' $((byte ^ 8)))" | dd of="$work/flipped.npz" bs=1 seek=263 conv=notrunc status=none
expect 1 "flipped.npz: the member 'pts.npy' is damaged: CRC error" import "$work/flipped.npz"
# An archive is read into memory only up to 1 GiB (a sparse file: nothing is stored).
printf 'PK\003\004' >"$work/huge.npz" && truncate -s 1100M "$work/huge.npz"
expect 1 "huge.npz: an .npz archive is read into memory, and this one is larger than 1 GiB" \
    import "$work/huge.npz"

# The checked-in examples are what the tool makes today.
bash "$source/scripts/make-examples.sh" "$tool" "$work/examples" || fail "make-examples.sh failed"
for made in "$work/examples"/*/; do
    name="$(basename "$made")"
    diff -r "$made" "$source/examples/$name" >/dev/null ||
        fail "examples/$name differs from a fresh generation: run scripts/make-examples.sh"
done

# ---- slice: cross-sections and sweeps ----
# cut_counts FILE: the distinct vertices and edges of a written figure, and the distinct q values.
cut_counts() {
    awk 'NR == 1 { loop = $1 } NR <= 3 { next } NF == 1 { prev = ""; next }
         { v = $0; seen[v] = 1; qs[$4] = 1
           if (prev != "" && loop != 3) { edges[prev < v ? prev "|" v : v "|" prev] = 1 }
           prev = v }
         END { print length(seen), length(edges), length(qs) }' "$1"
}
for word in slice --at --hyperplane --sweep; do
    grep -qF -- "$word" "$work/help" || fail "--help does not mention '$word'"
done
for row in "tesseract:8 12" "16-cell:6 12" "24-cell:12 24" "5-cell:4 6" "clifford-torus:32 32"; do
    figure="${row%%:*}"
    "$tool" slice "$figure" --at q=0 -o "$work/cut-$figure" >/dev/null || fail "slice $figure failed"
    got="$(cut_counts "$work/cut-$figure/kvoTessa1F.txt")"
    [[ "$got" == "${row#*:} 1" ]] || fail "slice $figure --at q=0: got '$got', expected '${row#*:} 1'"
    awk 'NR > 3 && NF == 4 && $4 != 0 { exit 1 }' "$work/cut-$figure/kvoTessa1F.txt" ||
        fail "slice $figure --at q=0 wrote a vertex off q = 0"
done
"$tool" slice 3-sphere --at q=0.5 -o "$work/cut-hopf" >/dev/null || fail "slice 3-sphere failed"
[[ "$(head -n 1 "$work/cut-hopf/kvoTessa1F.txt")" == 3 ]] || fail "the cut of curves is not points"
printf '4OFF\n4 1 0\n0 0 0 -1\n1 0 0 -1\n1 1 0 1\n0 1 0 1\n4 0 1 2 3\n' >"$work/square.off"
"$tool" slice "$work/square.off" --size keep --at q=0 -o "$work/cut-off" >/dev/null || fail "slice OFF"
[[ "$(cut_counts "$work/cut-off/kvoTessa1F.txt")" == "2 1 1" ]] || fail "the cut of an OFF face"
printf 'x,y,z,q\n0,0,0,-1\n1,0,0,1\n2,0,0,-1\n' >"$work/zigzag.csv"
"$tool" slice "$work/zigzag.csv" --size keep --at q=0 -o "$work/cut-table" >/dev/null || fail "slice table"
[[ "$(tail -n 2 "$work/cut-table/kvoTessa1F.txt" | paste -sd'|')" == "0.5 0 0 0|1.5 0 0 0" &&
    "$(head -n 1 "$work/cut-table/kvoTessa1F.txt")" == 3 ]] || fail "the cut of a table's path"
# The report counts what the figure file holds: 80 vertices only 1e-7 apart stay 80.
"$tool" slice 600-cell --size keep --hyperplane -0.2161482816740278,-0.10295157232738465,-0.96458016930691504,-0.11075193481166688:0.69138184784940049 \
    -o "$work/cut-near" >"$work/stdout" || fail "the slice of near vertices failed"
grep -qF "80 vertices, 200 edges" "$work/stdout" || fail "the near cut's report: $(cat "$work/stdout")"
[[ "$(cut_counts "$work/cut-near/kvoTessa1F.txt")" == "80 200 "* ]] ||
    fail "the near cut's file holds $(cut_counts "$work/cut-near/kvoTessa1F.txt") (vertices, edges)"
expect 1 "q = 5 does not meet the figure; its q runs from -1 to 1" slice tesseract --at q=5
expect 1 "N.P = 9 (N = 1,1,0,0) does not meet the figure; its N.P runs from -2 to 2" \
    slice tesseract --hyperplane 1,1,0,0:9

# A sweep: nine folders, each one cut at its own q, evenly spaced strictly inside -1.41 to 1.41.
sweep="$work/sweep"
"$tool" slice 24-cell --sweep 9 -o "$sweep" >/dev/null || fail "the 24-cell sweep failed"
levels=""
for k in 0 1 2 3 4 5 6 7 8; do
    file="$sweep/00$k/kvoTessa1F.txt"
    [[ -f "$file" && -f "$sweep/00$k/kvoTessa1A.txt" ]] || fail "the sweep lacks folder 00$k"
    [[ "$(cut_counts "$file" | cut -d' ' -f3)" == 1 ]] || fail "sweep cut 00$k is not at one q"
    levels+="$(awk 'NR == 5 { print $4 }' "$file") "
done
[[ "$levels" == "-1.1313709 -0.84852815 -0.56568545 -0.28284273 0 0.28284273 0.56568545 0.84852815 1.1313709 " ]] ||
    fail "the sweep's levels are $levels"
[[ "$(ls -A "$sweep" | wc -l)" == 9 ]] || fail "the sweep holds more than its nine folders"
before="$(cd "$sweep" && find . -type f -exec md5sum {} + | sort)"
"$tool" slice 24-cell --sweep 4 -o "$sweep" >/dev/null 2>"$work/stderr"
[[ $? -eq 1 ]] && grep -qF "add --force" "$work/stderr" || fail "an existing sweep was not kept"
"$tool" slice 24-cell --sweep 4 --line-loop 1 --force -o "$sweep" >/dev/null 2>&1 &&
    fail "a sweep that cannot be laid out succeeded"
[[ "$(cd "$sweep" && find . -type f -exec md5sum {} + | sort)" == "$before" ]] ||
    fail "a refused or failed sweep changed the folder"
[[ -z "$(ls -A "$work" | grep '^\.sweep\.tmp-')" ]] || fail "a failed sweep left its temporary folder"
"$tool" slice 24-cell --sweep 3 --force -o "$sweep/" >/dev/null || fail "--force did not replace"
[[ "$(ls "$sweep" | paste -sd' ')" == "000 001 002" ]] || fail "the replaced sweep holds $(ls "$sweep")"
mkdir -p "$work/.sweep.tmp-AAAAAAAAAAAA/000"  # what a sweep stopped by a kill leaves
"$tool" slice 24-cell --sweep 3 --force -o "$sweep" >/dev/null || fail "a sweep beside a stale one"
[[ ! -e "$work/.sweep.tmp-AAAAAAAAAAAA" ]] || fail "a stopped sweep's folder was not removed"
ln -s "$sweep" "$work/link"
"$tool" slice 24-cell --sweep 2 --force -o "$work/link" >/dev/null 2>"$work/stderr"
[[ $? -eq 1 ]] && grep -qF "symbolic link" "$work/stderr" || fail "a sweep went through a link"
# --force replaces only a sweep: a user's file beside the cut folders or inside one is kept.
for mine in notes.txt 000/notes.txt; do
    rm -rf "$work/mine" && "$tool" slice 24-cell --sweep 2 -o "$work/mine" >/dev/null
    echo mine >"$work/mine/$mine"
    "$tool" slice 24-cell --sweep 2 --force -o "$work/mine" >/dev/null 2>"$work/stderr"
    [[ $? -eq 1 && "$(cat "$work/mine/$mine")" == mine ]] &&
        grep -qF "holds $mine, which is not part of a sweep" "$work/stderr" ||
        fail "--force over a sweep holding $mine: $(cat "$work/stderr")"
done

# ---- project: perspective and stereographic views; the named uniform figures ----
for word in project --perspective --stereographic wythoff:GROUP:RINGS antiprism-prism \
    truncated-tesseract runcinated-16-cell snub-24-cell grand-antiprism snub-dodecahedron-prism; do
    grep -qF -- "$word" "$work/help" || fail "--help does not mention '$word'"
done
# Every figure --help lists is in the manual page, with its names and counts.
grep -E '^  [a-z0-9-]+(, [a-z0-9-]+)? +[0-9]+ V +[0-9]+ E' "$work/help" |
    sed -E 's/^  //; s/ V / /; s/ E//; s/ +/ /g' >"$work/names"
[[ $(wc -l <"$work/names") -eq 59 ]] || fail "--help lists $(wc -l <"$work/names") uniform figures, not 59"
sed -e 's/\\-/-/g' "$source/man/tessascene.1" | sed -E 's/ +/ /g' >"$work/page"
while IFS= read -r line; do
    grep -qxF -- "$line" "$work/page" || fail "the manual page lacks the line '$line'"
done <"$work/names"
"$tool" project tesseract --perspective 2 -o "$work/schlegel" >"$work/stdout" || fail "project --perspective"
[[ "$(cut_counts "$work/schlegel/kvoTessa1F.txt")" == "16 32 1" ]] ||
    fail "the tesseract's perspective: $(cut_counts "$work/schlegel/kvoTessa1F.txt")"
"$tool" project 120-cell --stereographic -o "$work/stereo" >"$work/stdout" || fail "project --stereographic"
grep -qF "1200 edges as arcs of" "$work/stdout" || fail "stereographic summary: $(cat "$work/stdout")"
awk 'NR == 3 && $1 > 90 { exit 1 } NR > 3 && NF == 4 && $4 != 0 { exit 1 }' "$work/stereo/kvoTessa1F.txt" ||
    fail "the stereographic 120-cell has a vertex off q = 0 or too many polylines"
# The turned 600-cell: the view of a generated figure keeps no rounding noise (such as 2e-17).
"$tool" project 600-cell --stereographic -o "$work/turned" >/dev/null || fail "the turned 600-cell"
! grep -qE 'e-(1[0-9]|[2-9][0-9])' "$work/turned/kvoTessa1F.txt" ||
    fail "rounding noise written in the view of a generated figure"
"$tool" project "$work/curve.csv" --perspective 3 -o "$work/curve-view" >"$work/stdout" 2>&1 ||
    fail "project of a table: $(cat "$work/stdout")"
grep -qF "Simplified 10000 points" "$work/stdout" || fail "a projected table was not fitted"
expect 1 "is not beyond the figure, whose q reaches 1" project tesseract --perspective 1
printf '4OFF\n2 1 0\n0 0 0 0\n1 0 0 0\n2 0 1\n' >"$work/centre.off"
expect 1 "centre.off:3: a vertex lies at the centre" project "$work/centre.off" --stereographic
"$tool" project 16-cell --perspective 3 -o "$work/p16" >/dev/null 2>"$work/stderr" || fail "16-cell view"
grep -qF "warning: 1 vertex lands on the point of another one" "$work/stderr" ||
    fail "no warning for the 16-cell's vertices on the eye's axis: $(cat "$work/stderr")"
expect 1 "the figure needs 122 polylines; a figure holds at most 90, 32 too many" \
    generate cantellated-120-cell

# --- What a user reads and the limits of the options ---
# The simplification report, whole, on zigzags whose distances are known by construction: each
# inner point lies 5 from the line through its two neighbours, and the data's box is 90 x 5 x 30
# (diagonal 95). 90 zigzags of 91 points lose one point each; data that exactly fills the 90
# polylines is written as it is, with no report.
while IFS='|' read -r paths points want; do
    awk -v paths="$paths" -v points="$points" 'BEGIN { for (p = 0; p < paths; p++) {
        for (j = 0; j < points; j++) print j, 5 * (j % 2), 30 * (p % 2), 0; print "" } }' >"$work/zigzag.txt"
    "$tool" import "$work/zigzag.txt" --size keep -o "$work/zigzag-$points" >"$work/stdout" 2>&1
    got="$(sed -e 's/^Wrote .*: /Wrote: /' -e 's/^Read .*: /Read: /' "$work/stdout" | paste -sd'/')"
    [[ "$got" == "$want" ]] || fail "$paths zigzags of $points points: got '$got', expected '$want'"
done <<'EOF'
90|91|Read: 8190 data points, using columns 1 to 4 as x, y, z, q/Simplified 8190 points to 8100 vertices: every point lies within 5 of the drawn line (5.26316% of the diagonal of the data's bounding box, 95)/Wrote: 8190 data points, 8100 vertices in 90 polylines (line-loop 0)
90|90|Read: 8100 data points, using columns 1 to 4 as x, y, z, q/Wrote: 8100 data points, 8100 vertices in 90 polylines (line-loop 0)
1|8011|Read: 8011 data points, using columns 1 to 4 as x, y, z, q/Wrote: 8011 data points, 8100 vertices in 90 polylines (line-loop 0)
EOF

# Each limit: the value just inside is taken (the summary on stdout, a whole line of the written
# files); the value just outside is a row of tests/command_line_test.cpp.
while IFS='|' read -r status part args summary line; do
    rm -rf "$work/limit"
    # shellcheck disable=SC2086
    "$tool" generate $args -o "$work/limit" >"$work/stdout" 2>&1 || fail "'$args': $(cat "$work/stdout")"
    grep -qF -- "$summary" "$work/stdout" || fail "'$args': stdout lacks '$summary': $(cat "$work/stdout")"
    [[ -z "$line" ]] || cat "$work/limit"/* | grep -xF -- "$line" >/dev/null || fail "'$args' did not write '$line'"
done <<'EOF'
0||duoprism:3,4|12 vertices, 24 edges|
0||duoprism:3,3|9 vertices, 18 edges|
0||duoprism:1000,3|3000 vertices, 6000 edges|
0||clifford-torus:3,3|9 vertices, 18 edges|
0||clifford-torus:3,1000|3000 vertices, 6000 edges|
0||3-sphere:1,1|40 vertices, 40 edges, 1 polyline|
0||3-sphere:90,1|3600 vertices, 3600 edges, 90 polylines|
0||3-sphere:1,90|3600 vertices, 3600 edges, 90 polylines|
0||5-cell --color 1,0,0|5 vertices|1 0 0
0||5-cell --color 0,0,1|5 vertices|0 0 1
0||5-cell --size 0.001|5 vertices|
0||5-cell --size 3.4e38|5 vertices|
0||5-cell --line-loop 3|(line-loop 3)|3
0||24-cell --line-loop 1|(line-loop 1)|1
0||5-cell --projection 0,0,0,1e-37|5 vertices|0 0 0 1e-37
EOF

# Crash safety: each scene file is fsync'd before the rename that gives it its name.
if strace -f -o /dev/null true 2>/dev/null; then
    # LeakSanitizer cannot run under ptrace: a sanitizer build checks leaks elsewhere.
    ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0" \
        strace -f -qq -s 4096 -o "$work/sync.trace" -e trace="$synced_calls" \
        "$tool" generate 5-cell -o "$work/sync" >/dev/null || fail "generate under strace failed"
    synced_before_named "$work/sync.trace" kvoTessa1F.txt kvoTessa1A.txt || fail "scene files not fsync'd"
fi

finish "all tessascene command-line checks passed"
