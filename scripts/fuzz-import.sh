#!/usr/bin/env bash
# Fuzzes tessascene's importers (OFF family; point tables with quoted fields and decimal commas;
# numpy's .npy and .npz; all of them gzip-compressed; with the layout, simplification and figure
# writing behind them) with libFuzzer for a bounded time (default 60 s; 0: no time limit, for a
# run bounded by -runs=N instead). The machine may be shared: the run uses one core, and the
# number of executions it prints says how far it got.
#   scripts/fuzz-import.sh [SECONDS] [extra libFuzzer options...]
# Builds build-fuzz/import_fuzz (or $FUZZ_BUILD_DIR/import_fuzz) with clang, AddressSanitizer
# and UndefinedBehaviorSanitizer, seeds it with the committed corpus and the regression inputs,
# and stops at the first finding. New interesting inputs go to build-fuzz/import-new-corpus; a
# crashing input is copied to fuzz/import_regressions so that the ordinary tests replay it from
# then on. Exits non-zero on a finding.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
build=${FUZZ_BUILD_DIR:-build-fuzz}
shift || true

CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTESSAVIEW_FUZZ=ON -DTESSAVIEW_SANITIZE=ON -DTESSAVIEW_TESTS=OFF -DTESSAVIEW_WERROR=ON >/dev/null
cmake --build "$build" --target import_fuzz

mkdir -p "$build"/import-new-corpus "$build"/import-findings
rm -f "$build"/import-findings/*  # a finding of an earlier run is saved already
set +e
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  "$build"/import_fuzz "$build"/import-new-corpus fuzz/import_corpus fuzz/import_regressions \
  -dict=fuzz/import.dict -max_total_time="$seconds" -max_len=4096 -timeout=10 \
  -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$build"/import-findings/ "$@" \
  2>"$build"/import-fuzz.log
status=$?
set -e
grep -E '^(stat::number_of_executed_units|stat::average_exec_per_sec|stat::peak_rss_mb)' \
  "$build"/import-fuzz.log || true
if [ $status -ne 0 ]; then
  tail -n 60 "$build"/import-fuzz.log
  for f in "$build"/import-findings/*; do
    [ -f "$f" ] && cp "$f" fuzz/import_regressions/ &&
      echo "saved finding: fuzz/import_regressions/$(basename "$f")"
  done
  echo "The fuzzer found a failure (exit $status)." >&2
  exit 1
fi
echo "No finding."
