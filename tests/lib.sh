# The setup every shell test shares: a scratch folder removed at exit, a failure counter, and the
# closing line with the exit status. Source it first thing:
#
#   source "$(dirname "$0")/lib.sh"
#   ...checks that call fail...
#   finish "what passed"
#
# After sourcing, $work is an empty folder of the test's own and $failures counts fail calls.

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
failures=0

# fail MESSAGE...: reports one failed check and goes on, so that one run lists every failure.
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# finish SUMMARY: prints SUMMARY and exits 0 when no check failed, else the count and exits 1.
finish() {
    if [[ $failures -ne 0 ]]; then
        echo "$failures failure(s)"
        exit 1
    fi
    echo "$*"
    exit 0
}

# The system calls synced_before_named needs, for strace -e trace=.
synced_calls=open,openat,creat,write,pwrite64,fsync,fdatasync,close,rename,renameat,renameat2,link,linkat

# synced_before_named TRACE NAME...: reads an `strace -f -s 4096 -e trace=$synced_calls` log and
# checks that each output file NAME (a base name) gets its name only from a rename or link whose
# source was fsync'd after its last write: a temporary file renamed into place, or an unnamed
# (O_TMPFILE) file linked in through its descriptor. Prints each offence; false when any.
synced_before_named() {
    local trace="$1"
    shift
    awk -v names="$*" '
        function base(path) { gsub(/"/, "", path); sub(/.*\//, "", path); return path }
        # The file behind descriptor fd of the current process.
        function file(fd) { return open[pid ":" fd] }
        BEGIN { for (i = split(names, list, " "); i > 0; i--) wanted[list[i]] = 1 }
        / <unfinished \.\.\.>$/ { sub(/ <unfinished \.\.\.>$/, ""); held[$1] = $0; next }
        $2 == "<..." { rest = $0; sub(/^[0-9]+ +<\.\.\. [a-z0-9_]+ resumed>/, "", rest); $0 = held[$1] rest }
        !match($0, /^[0-9]+ +[a-z0-9_]+\(/) { next }
        {
            pid = $1
            call = substr($0, 1, RLENGTH - 1)
            sub(/^[0-9]+ +/, "", call)
            n = split($0, parts, /\) += /)
            if (parts[n] !~ /^[0-9]/) next  # failed calls change nothing
            args = substr($0, RLENGTH + 1, length($0) - RLENGTH - length(parts[n]))
            sub(/\) += $/, "", args)
            split(args, a, ", ")
        }
        call == "open" || call == "creat" || call == "openat" {
            path = call == "openat" ? a[2] : a[1]
            if (args ~ /O_TMPFILE/) path = "unnamed file " (++unnamed)
            open[pid ":" (parts[n] + 0)] = base(path)
            synced[base(path)] = 0
        }
        call ~ /^(write|pwrite64)$/ { synced[file(a[1])] = 0 }
        call ~ /^f(data)?sync$/ && file(a[1]) != "" { synced[file(a[1])] = 1 }
        call == "close" { delete open[pid ":" a[1]] }
        call ~ /^(rename|link)$/ { from = base(a[1]); to = base(a[2]) }
        call ~ /^(renameat2?|linkat)$/ { from = base(a[2]); to = base(a[4]) }
        call == "linkat" && a[2] == "\"\"" { from = file(a[1]) }
        call == "linkat" && a[2] ~ /^"\/proc\/self\/fd\/[0-9]+"$/ { from = file(base(a[2])) }
        call ~ /^(rename|renameat2?|link|linkat)$/ {
            synced[to] = synced[from]
            if (to in wanted) {
                named[to] = 1
                if (!synced[from]) { print to " is named by " call " before its data is fsync'\''d"; bad++ }
            }
        }
        END {
            for (name in wanted) if (!(name in named)) { print name " is never named by a rename or link"; bad++ }
            exit bad > 0
        }' "$trace"
}
