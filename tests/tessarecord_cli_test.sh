#!/usr/bin/env bash
# The tessarecord command line and its failures: exit codes and messages, no output file after
# any failure, and neither the viewer nor the X server left running after a failure or Ctrl-C.
# Needs Xvfb and ps, no display.
#
#   tests/tessarecord_cli_test.sh PATH_TO_TESSARECORD PATH_TO_TESSAVIEW SOURCE_FOLDER
set -uo pipefail

tool="$(realpath "$1")"
viewer="$(realpath "$2")"
scene="$3/examples/tesseract"
source "$(dirname "$0")/lib.sh"
cd "$work" || exit 1
unset DISPLAY

# expect STATUS STDERR_PART args...: runs the tool (with the settings in with_env), checks its
# exit status and message, and that a failed run left nothing in the working folder.
with_env=()
expect() {
    local status="$1" part="$2"
    shift 2
    rm -rf "$work/out" && mkdir "$work/out"
    (cd "$work/out" && env "${with_env[@]}" "$tool" "$@" >"$work/stdout" 2>"$work/stderr")
    local got=$?
    [[ $got -eq $status ]] || fail "'$*' exited $got, expected $status: $(cat "$work/stderr")"
    grep -qF -- "$part" "$work/stderr" || fail "'$*': stderr lacks '$part': $(cat "$work/stderr")"
    if [[ $status -ne 0 && -n "$(ls -A "$work/out")" ]]; then
        fail "'$*' failed but left: $(ls -A "$work/out")"
    fi
}

"$tool" --help >"$work/help" 2>&1 || fail "--help exited non-zero"
for word in SCENE_DIR --output --steps --keys --delay --viewer --console --force --version \
    .gif .png %03d "Exit status"; do
    grep -qF -- "$word" "$work/help" || fail "--help does not mention '$word'"
done
[[ "$("$tool" --version)" =~ ^tessarecord\ [0-9] ]] || fail "--version: $("$tool" --version)"

# Wrong command lines: exit 2.
expect 2 "--output is required" "$scene"
expect 2 "must end in .gif or .png" "$scene" -o t.bmp
expect 2 "one frame number" "$scene" -o 'f-%s.png'
expect 2 "not in range" "$scene" -o t.gif --steps -1
expect 2 "printable ASCII" "$scene" -o t.gif --keys $'a\tb'
expect 2 "too many keys" "$scene" -o t.gif --steps 399 --keys ab

# Failures before start-up: exit 1, named.
expect 1 "the scene folder '$work/none' does not exist" "$work/none" -o t.gif
expect 1 "has no kvoTessa1F.txt" "$work" -o t.gif
expect 1 "is not an executable file" "$scene" -o t.gif --viewer "$work/none"
mkdir -p "$work/empty-path"
with_env=(PATH="$work/empty-path")
expect 1 "install the package xvfb" "$scene" -o t.gif --viewer "$viewer"
with_env=()
expect 1 "for $work/none/t.gif" "$scene" -o "$work/none/t.gif" --viewer "$viewer"
touch "$work/kept.gif"
expect 1 "kept.gif already exists; add --force" "$scene" -o "$work/kept.gif" --viewer "$viewer"
[[ ! -s "$work/kept.gif" ]] || fail "an existing output was changed"

# A viewer that ends early: its last lines are shown, and no process is left. The stand-in
# notes its own and its siblings' process ids (the X server is its only sibling).
cat >"$work/early.sh" <<EOS
#!/bin/sh
ps -o pid= --ppid \$PPID >"$work/pids"
echo loading figure
echo "cannot read the figure" >&2
exit 3
EOS
cat >"$work/hang.sh" <<EOS
#!/bin/sh
ps -o pid= --ppid \$PPID >"$work/pids"
exec sleep 60
EOS
chmod +x "$work/early.sh" "$work/hang.sh"

# left_running: fails when a process listed in pids is still there.
left_running() {
    [[ -s "$work/pids" ]] || { fail "$1: the stand-in viewer did not run"; return; }
    local pid
    for pid in $(cat "$work/pids"); do
        [[ $pid -eq $$ ]] && continue
        if kill -0 "$pid" 2>/dev/null; then
            fail "$1: process $pid ($(ps -o comm= -p "$pid")) left running"
        fi
    done
}

rm -f "$work/pids"
expect 1 "the viewer ended before the first frame (exit status 3)" "$scene" -o t.gif \
    --viewer "$work/early.sh"
grep -qF "  loading figure" "$work/stderr" || fail "the console lines are not shown"
grep -qF "  cannot read the figure" "$work/stderr" || fail "the error output is not shown"
left_running "early exit"

# Ctrl-C while the viewer hangs: both processes ended, no output, killed by the signal.
rm -rf "$work/pids" "$work/out" && mkdir "$work/out"
(cd "$work/out" && exec "$tool" "$scene" -o t.gif --viewer "$work/hang.sh" 2>"$work/stderr") &
recorder=$!
for _ in $(seq 100); do
    [[ -s "$work/pids" ]] && break
    sleep 0.1
done
kill -INT "$recorder"
wait "$recorder"
status=$?
[[ $status -eq 130 ]] || fail "after SIGINT the exit status is $status, expected 130"
grep -qF "stopped by signal 2" "$work/stderr" || fail "SIGINT: $(cat "$work/stderr")"
[[ -z "$(ls -A "$work/out")" ]] || fail "SIGINT left: $(ls -A "$work/out")"
left_running "SIGINT"

# --- Option limits ---
# --delay from 10 ms to 655350 ms (65535 cs, the most a GIF holds): the ends are taken (the run
# goes on to fail on the missing scene), the values past them refused.
for delay in 10 655350; do
    expect 1 "the scene folder '$work/none' does not exist" "$work/none" -o t.gif --delay "$delay"
done
for delay in 9 655351; do
    expect 2 "--delay: Value $delay not in range" "$scene" -o t.gif --delay "$delay"
done

finish "all tessarecord command line checks passed"
