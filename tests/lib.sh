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
