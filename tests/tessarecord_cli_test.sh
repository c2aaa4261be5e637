#!/usr/bin/env bash
# The tessarecord command line and its failures: exit codes and messages, no output file after
# any failure, and neither the viewer nor the X server left running after a failure or Ctrl-C.
# Needs Xvfb and ps, no display.
#
#   tests/tessarecord_cli_test.sh PATH_TO_TESSARECORD PATH_TO_TESSAVIEW SOURCE_FOLDER PATH_TO_STANDIN
#
# The stand-in is a window with the viewer's title that repaints itself without ever finishing
# a frame. Checks that need root (device nodes) are skipped without it; checks of unreadable
# files run as the user nobody when run as root.
set -uo pipefail

tool="$(realpath "$1")"
viewer="$(realpath "$2")"
scene="$3/examples/tesseract"
standin="$(realpath "$4")"
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
for word in SCENE_DIR --output --steps --keys --delay --timeout --viewer --console --force --version \
    .gif .png %03d "Exit status"; do
    grep -qF -- "$word" "$work/help" || fail "--help does not mention '$word'"
done
[[ "$("$tool" --version)" =~ ^tessarecord\ [0-9] ]] || fail "--version: $("$tool" --version)"

# Wrong command lines: exit 2.
expect 2 "--output is required" "$scene"
expect 2 "must end in .gif or .png" "$scene" -o t.bmp
expect 2 "one frame number" "$scene" -o 'f-%s.png'
expect 2 "a whole number from 0 to 399" "$scene" -o t.gif --steps -1
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
expect 1 "for '$work/none/t.gif'" "$scene" -o "$work/none/t.gif" --viewer "$viewer"
touch "$work/kept.gif"
expect 1 "kept.gif' already exists; add --force" "$scene" -o "$work/kept.gif" --viewer "$viewer"
[[ ! -s "$work/kept.gif" ]] || fail "an existing output was changed"

# This test follows only the processes it started, known by id and start time, never by name:
# other runs of the suite on the machine are left alone. ids.sh PID... prints "PID STARTTIME"
# for each; alive PID STARTTIME is true while that very process runs (a zombie does not).
cat >"$work/ids.sh" <<'EOS'
#!/bin/sh
for pid in "$@"; do
    stat="$(cat "/proc/$pid/stat" 2>/dev/null)" && echo "$pid $(echo "${stat##*') '}" | cut -d' ' -f20)"
done
EOS
chmod +x "$work/ids.sh"
alive() {
    local stat fields
    stat="$(cat "/proc/$1/stat" 2>/dev/null)" || return 1
    read -ra fields <<<"${stat##*') '}"
    [[ ${fields[0]} != Z && ${fields[19]} == "$2" ]]
}

# A viewer that ends early: its last lines are shown, and no process is left. The stand-in
# notes its own and its siblings' ids (the X server is its only sibling).
cat >"$work/early.sh" <<EOS
#!/bin/sh
"$work/ids.sh" \$(ps -o pid= --ppid \$PPID) >"$work/pids"
echo loading figure
echo "cannot read the figure" >&2
exit 3
EOS
cat >"$work/hang.sh" <<EOS
#!/bin/sh
"$work/ids.sh" \$(ps -o pid= --ppid \$PPID) >"$work/pids"
exec sleep 60
EOS
chmod +x "$work/early.sh" "$work/hang.sh"

# left_running WHAT [FILE]: fails when a process noted in FILE (the stand-in's pids) still runs.
left_running() {
    local noted="${2:-$work/pids}" pid start
    [[ -s "$noted" ]] || { fail "$1: the stand-in viewer did not run"; return; }
    while read -r pid start; do
        alive "$pid" "$start" && fail "$1: process $pid ($(ps -o args= -p "$pid")) left running"
    done <"$noted"
}

# tcp_listeners PID: the TCP ports (hex, as /proc/net/tcp gives them) that PID listens on.
tcp_listeners() {
    local inodes
    inodes="$(find "/proc/$1/fd" -lname 'socket:*' -printf '%l\n' 2>/dev/null | tr -dc '0-9\n' | paste -sd' ')"
    awk -v inodes=" $inodes " '$4 == "0A" && index(inodes, " " $10 " ") { print $2 }' /proc/net/tcp /proc/net/tcp6
}

rm -f "$work/pids"
expect 1 "the viewer ended before the first frame in $scene (exit status 3)" "$scene" -o t.gif \
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
# Meanwhile: the private X server takes no connection from the network, by its arguments and
# by its sockets.
server=""
while read -r pid _; do
    [[ "$(tr '\0' '\n' <"/proc/$pid/cmdline" | head -n 1)" == */Xvfb ]] && server=$pid
done <"$work/pids"
if [[ -z $server ]]; then
    fail "no X server among the recorder's programs: $(cat "$work/pids")"
else
    tr '\0' ' ' <"/proc/$server/cmdline" | grep -qF -- " -nolisten tcp " ||
        fail "the X server runs without -nolisten tcp: $(tr '\0' ' ' <"/proc/$server/cmdline")"
    [[ -z "$(tcp_listeners "$server")" ]] || fail "the X server listens on TCP: $(tcp_listeners "$server")"
fi
kill -INT "$recorder"
wait "$recorder"
status=$?
[[ $status -eq 130 ]] || fail "after SIGINT the exit status is $status, expected 130"
grep -qF "stopped by signal 2" "$work/stderr" || fail "SIGINT: $(cat "$work/stderr")"
[[ -z "$(ls -A "$work/out")" ]] || fail "SIGINT left: $(ls -A "$work/out")"
left_running "SIGINT"

# --- Existing files, devices and the same name twice ---

# now_ms: milliseconds since the epoch.
now_ms() { echo $(($(date +%s%N) / 1000000)); }

# A run that fails, with or without --force, leaves every existing file byte for byte and adds
# nothing: a folder in the way is refused before any work.
for force in "" --force; do
    for args in "-o p-%d.png --steps 2" "-o a.gif --console con.txt"; do
        rm -rf "$work/keep" && mkdir "$work/keep" && cd "$work/keep" || exit 1
        echo OLD0 >p-0.png && echo OLD1 >p-1.png && echo OLD >a.gif && mkdir p-2.png con.txt
        # shellcheck disable=SC2086
        "$tool" "$scene" $args $force --viewer "$viewer" >"$work/stdout" 2>"$work/stderr"
        status=$?
        [[ $status -eq 1 ]] || fail "'$args $force' exited $status, expected 1"
        reason="already exists; add --force"
        [[ -n $force ]] && reason="is a folder"
        grep -qF "$reason" "$work/stderr" || fail "'$args $force': $(cat "$work/stderr")"
        [[ "$(cat p-0.png p-1.png a.gif)" == $'OLD0\nOLD1\nOLD' ]] || fail "'$args $force' changed a file"
        [[ "$(ls -A | tr '\n' ' ')" == "a.gif con.txt p-0.png p-1.png p-2.png " ]] ||
            fail "'$args $force' left: $(ls -A)"
        cd "$work" || exit 1
    done
done

# Output and transcript under one name: refused before any work, also when spelt differently.
expect 2 "both name 's.png'" "$scene" -o s.png --console s.png
expect 2 "both name" "$scene" -o s.png --console ./s.png --force
expect 2 "both name" "$scene" -o 'f-%d.png' --steps 2 --console f-1.png

# A FIFO and a device are written into as streams and stay what they are; so is standard output.
rm -rf "$work/streams" && mkdir "$work/streams" && mkfifo "$work/streams/fifo"
cat "$work/streams/fifo" >"$work/streams/got" &
reader=$!
"$tool" "$scene" -o "$work/streams/f.gif" --console "$work/streams/fifo" --force \
    --viewer "$viewer" >/dev/null 2>"$work/stderr" || fail "--console FIFO: $(cat "$work/stderr")"
wait "$reader"
[[ -p "$work/streams/fifo" ]] || fail "the FIFO was replaced"
grep -qx "==============================" "$work/streams/got" || fail "no transcript came through the FIFO"
expect 1 "no program reads the FIFO" "$scene" -o f.gif --console "$work/streams/fifo" --force
"$tool" "$scene" -o "$work/streams/g.gif" --console /dev/stdout --viewer "$viewer" 2>"$work/stderr" |
    cat >"$work/streams/piped"
grep -qx "==============================" "$work/streams/piped" || fail "--console /dev/stdout: $(cat "$work/stderr")"
grep -q "^Wrote " "$work/streams/piped" || fail "--console /dev/stdout lost the report"
if [[ $(id -u) -eq 0 ]]; then
    mknod "$work/streams/console-node" c 1 3 && mknod "$work/streams/node.gif" c 1 3
    "$tool" "$scene" -o "$work/streams/node.gif" --console "$work/streams/console-node" --force \
        --viewer "$viewer" >/dev/null 2>"$work/stderr" || fail "device nodes: $(cat "$work/stderr")"
    [[ -c "$work/streams/console-node" && -c "$work/streams/node.gif" ]] || fail "a device node was replaced"
else
    echo "skipped: device nodes need root"
fi
ln -s "$work/streams/f.gif" "$work/streams/link.gif"
expect 1 "is a link" "$scene" -o "$work/streams/link.gif" --force

# --- Names and numbers ---
expect 2 "a name before .png" "$scene" -o .png
expect 2 "--steps takes a whole number" "$scene" -o t.gif --steps 1e2
expect 2 "'a\nb.bmp'" "$scene" -o $'a\nb.bmp'
expect 1 "'$work/x\ty/none'" "$work/x"$'\t'"y/none" -o t.gif
rm -rf "$work/out" && mkdir "$work/out"
(cd "$work/out" && "$tool" "$scene" -o 'a%%b.gif' --viewer "$viewer" >/dev/null) || fail "a%%b.gif failed"
[[ -f "$work/out/a%b.gif" ]] || fail "'a%%b.gif' wrote: $(ls -A "$work/out")"

# --- Scenes that cannot be read ---
rm -rf "$work/broken" && cp -r "$scene" "$work/broken"
for figure in "" "garbage text"; do
    printf '%s' "$figure" >"$work/broken/kvoTessa1F.txt"
    rm -rf "$work/out" && mkdir "$work/out"
    (cd "$work/out" && "$tool" "$work/broken" -o t.gif --viewer "$viewer" >/dev/null 2>"$work/stderr") ||
        fail "a broken figure file stopped the recording: $(cat "$work/stderr")"
    grep -qF "warning: $work/broken/kvoTessa1F.txt: the viewer did not read it whole: PROBLEM READING FIGURE FILE" \
        "$work/stderr" || fail "figure '$figure': no warning: $(cat "$work/stderr")"
done
rm "$work/broken/kvoTessa1F.txt" && mkfifo "$work/broken/kvoTessa1F.txt"
expect 1 "'$work/broken/kvoTessa1F.txt' is a FIFO, not a scene file" "$work/broken" -o t.gif
# Unreadable files and folders, as a user the permissions apply to.
as_user=()
if [[ $(id -u) -eq 0 ]]; then
    as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
fi
shared="$(mktemp -d /tmp/tessarecord-cli-XXXXXX)"
chmod 755 "$shared" && cp -r "$scene" "$shared/scene" && chmod 000 "$shared/scene/kvoTessa1A.txt"
mkdir "$shared/closed" && chmod 000 "$shared/closed"
if "${as_user[@]}" test -x "$tool"; then
    "${as_user[@]}" "$tool" "$shared/scene" -o /tmp/none.gif 2>"$work/stderr"
    [[ $? -eq 1 ]] && grep -qF "cannot read '$shared/scene/kvoTessa1A.txt': Permission denied" "$work/stderr" ||
        fail "unreadable file: $(cat "$work/stderr")"
    "${as_user[@]}" "$tool" "$shared/closed" -o /tmp/none.gif 2>"$work/stderr"
    [[ $? -eq 1 ]] && grep -qF "cannot read the scene folder '$shared/closed': Permission denied" "$work/stderr" ||
        fail "unreadable folder: $(cat "$work/stderr")"
else
    echo "skipped: unreadable files (nobody cannot run $tool)"
fi
rm -rf "$shared"

# --- Processes and signals ---

# The viewer's own children end with it: a wrapper's background job, after a success and after
# a time-out of a viewer that never draws. What the viewer writes on its error output stays out
# of the console transcript.
rm -f "$work/started"
printf '#!/bin/sh\nsleep 612 &\n"%s" $! >>"%s"\necho "viewer error output" >&2\nexec "%s"\n' \
    "$work/ids.sh" "$work/started" "$viewer" >"$work/wrap.sh"
printf '#!/bin/sh\nsleep 613 &\n"%s" $! >>"%s"\nexec sleep 60\n' "$work/ids.sh" "$work/started" >"$work/mute.sh"
chmod +x "$work/wrap.sh" "$work/mute.sh"
rm -rf "$work/out" && mkdir "$work/out"
(cd "$work/out" && "$tool" "$scene" -o t.gif --console con.txt --viewer "$work/wrap.sh" >/dev/null \
    2>"$work/stderr") || fail "the wrapped viewer: $(cat "$work/stderr")"
grep -qx "==============================" "$work/out/con.txt" && ! grep -qF "viewer error output" "$work/out/con.txt" ||
    fail "the transcript is not the console alone: $(grep -v '^ ' "$work/out/con.txt" | head -n 3)"
expect 1 "waited 1 s for the first frame in $scene in vain" "$scene" -o t.gif --timeout 1 \
    --viewer "$work/mute.sh"
left_running "the viewer's background job" "$work/started"
while read -r pid start; do
    alive "$pid" "$start" && kill "$pid"
done <"$work/started"

# A window that repaints for ever without finishing a frame: the deadline holds (the bound leaves
# room for the X server's start and clean-up in a slow sanitizer build).
rm -f "$work/started"
printf '#!/bin/sh\n"%s" $$ >"%s"\nexec "%s"\n' "$work/ids.sh" "$work/started" "$standin" >"$work/standin.sh"
chmod +x "$work/standin.sh"
start=$(now_ms)
expect 1 "waited 2 s for the first frame on screen" "$scene" -o t.gif --timeout 2 --viewer "$work/standin.sh"
(($(now_ms) - start < 8000)) || fail "the 2 s deadline took $(($(now_ms) - start)) ms"
left_running "the stand-in" "$work/started"

# A viewer that draws its start-up picture again 80 ms later, before it reads its keys: the key's
# frame is the key's picture, not the second start-up drawing.
printf '#!/bin/sh\nexec "%s" twice\n' "$standin" >"$work/twice.sh" && chmod +x "$work/twice.sh"
rm -rf "$work/out" && mkdir "$work/out"
(cd "$work/out" && "$tool" "$scene" --steps 1 -o 'f-%d.png' --viewer "$work/twice.sh" >/dev/null \
    2>"$work/stderr") || fail "the stand-in that draws twice: $(cat "$work/stderr")"
cmp -s "$work/out/f-0.png" "$work/out/f-1.png" && fail "a late start-up drawing was recorded as the key's frame"

# Signals ignored at the start stay ignored: nohup with SIGHUP, a background job with SIGINT.
rm -rf "$work/out" && mkdir "$work/out" && cd "$work/out" || exit 1
nohup "$tool" "$scene" --steps 4 -o n.gif --viewer "$viewer" >"$work/stdout" 2>"$work/stderr" &
nohupped=$!
"$tool" "$scene" --steps 4 -o b.gif --viewer "$viewer" >/dev/null 2>&1 &
background=$!
sleep 0.5
kill -HUP "$nohupped" && kill -INT "$background"
wait "$nohupped" || fail "nohup: SIGHUP stopped the run: $(cat "$work/stderr")"
wait "$background" || fail "SIGINT stopped a background job"
[[ -s n.gif && -s b.gif ]] || fail "nohup or background run wrote: $(ls -A)"
cd "$work" || exit 1

# SIGTERM in the first milliseconds: the handlers come before the first temporary file, so
# nothing is left whenever it comes.
for delay in 0.001 0.004 0.01 0.03 0.1; do
    rm -rf "$work/out" && mkdir "$work/out"
    (cd "$work/out" && exec "$tool" "$scene" --steps 50 -o 'f-%03d.png' --viewer "$viewer" 2>/dev/null) &
    recorder=$!
    sleep "$delay"
    kill -TERM "$recorder"
    wait "$recorder"
    status=$?
    [[ $status -eq 143 ]] || fail "SIGTERM after $delay s: exit status $status, expected 143"
    [[ -z "$(ls -A "$work/out")" ]] || fail "SIGTERM after $delay s left: $(ls -A "$work/out" | head -3)"
done

# kill -9 two seconds in: the X server and the viewers die with it, and no temporary file
# stays; a named temporary file of a run that died is removed by the next run into the folder.
for output in out.gif 'f-%03d.png'; do
    rm -rf "$work/out" && mkdir "$work/out"
    (cd "$work/out" && exec "$tool" "$scene" --steps 399 -o "$output" --viewer "$viewer" 2>/dev/null) &
    recorder=$!
    sleep 2
    "$work/ids.sh" $(ps -o pid= --ppid "$recorder") >"$work/children"
    [[ $(wc -l <"$work/children") -ge 2 ]] || fail "kill -9: the X server and viewer did not run"
    kill -KILL "$recorder"
    wait "$recorder" 2>/dev/null
    for _ in $(seq 30); do
        running=""
        while read -r pid start; do
            alive "$pid" "$start" && running="$running $pid"
        done <"$work/children"
        [[ -z "$running" ]] && break
        sleep 0.1
    done
    [[ -z "$running" ]] || fail "kill -9 ($output): still running 3 s later:$running"
    [[ -z "$(ls -A "$work/out")" ]] || fail "kill -9 ($output) left: $(ls -A "$work/out" | head -3)"
done
touch -d '1 hour ago' "$work/out/.tessarecord-Ab12Cd"
(cd "$work/out" && "$tool" "$scene" -o t.gif --viewer "$viewer" >/dev/null) || fail "run after a dead run"
[[ "$(ls -A "$work/out")" == t.gif ]] || fail "the dead run's file stayed: $(ls -A "$work/out")"

# Ctrl-C while the GIF is encoded (the X server and viewer are gone by then): it stops within
# half a second and says so.
rm -rf "$work/out" && mkdir "$work/out"
(cd "$work/out" && exec "$tool" "$scene" --steps 149 -o t.gif --viewer "$viewer" 2>"$work/stderr") &
recorder=$!
for _ in $(seq 200); do
    [[ -n "$(ps -o pid= --ppid "$recorder")" ]] && break
    sleep 0.05
done
while [[ -n "$(ps -o pid= --ppid "$recorder")" ]]; do
    sleep 0.02
done
start=$(now_ms)
kill -INT "$recorder"
wait "$recorder"
status=$?
took=$(($(now_ms) - start))
[[ $status -eq 130 ]] || fail "SIGINT while encoding: exit status $status, expected 130"
((took < 500)) || fail "SIGINT while encoding took $took ms"
grep -qF "stopped by signal 2 while encoding the GIF; nothing written" "$work/stderr" ||
    fail "SIGINT while encoding: $(cat "$work/stderr")"
[[ -z "$(ls -A "$work/out")" ]] || fail "SIGINT while encoding left: $(ls -A "$work/out")"


# --- Option limits ---
# gif_delay FILE: the first frame's delay in a GIF (its first graphic control extension), in cs.
gif_delay() {
    od -An -v -tu1 -w1 "$1" |
        awk '{ b[NR] = $1 } NR > 5 && b[NR-5] == 33 && b[NR-4] == 249 && b[NR-3] == 4 { print b[NR-1] + 256 * b[NR]; exit }'
}
# --delay is rounded to whole hundredths, halves up.
for row in "25 3" "24 2"; do
    read -r ms cs <<<"$row"
    rm -f "$work/delay.gif"
    "$tool" "$scene" -o "$work/delay.gif" --delay "$ms" --viewer "$viewer" >/dev/null 2>"$work/stderr" ||
        fail "--delay $ms: $(cat "$work/stderr")"
    [[ "$(gif_delay "$work/delay.gif")" == "$cs" ]] ||
        fail "--delay $ms gave $(gif_delay "$work/delay.gif") cs, expected $cs"
done
# --delay from 10 ms to 655350 ms (65535 cs, the most a GIF holds): the ends are taken (the run
# goes on to fail on the missing scene), the values past them refused.
for delay in 10 655350; do
    expect 1 "the scene folder '$work/none' does not exist" "$work/none" -o t.gif --delay "$delay"
done
for delay in 9 655351; do
    expect 2 "--delay takes a whole number from 10 to 655350, not '$delay'" "$scene" -o t.gif --delay "$delay"
done

finish "all tessarecord command line checks passed"
