#!/usr/bin/env bash
# Fuzzes the scene loader with libFuzzer for a bounded time (default 60 s).
#   scripts/fuzz-loader.sh [SECONDS] [extra libFuzzer options...]
# Builds build-fuzz/loader_fuzz (or $FUZZ_BUILD_DIR/loader_fuzz) with clang, AddressSanitizer
# and UndefinedBehaviorSanitizer (float-to-int overflow included), seeds it with the committed
# corpus, the regression inputs and every example scene, and stops at the first finding. New
# interesting inputs go to build-fuzz/new-corpus; a crashing input is copied to
# fuzz/regressions so that the ordinary tests replay it from then on. Exits non-zero on a
# finding.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
build=${FUZZ_BUILD_DIR:-build-fuzz}
shift || true

CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTESSAVIEW_FUZZ=ON -DTESSAVIEW_SANITIZE=ON -DTESSAVIEW_TESTS=OFF -DTESSAVIEW_WERROR=ON >/dev/null
cmake --build "$build" --target loader_fuzz

# One input per example: its figure file, a NUL byte, its affine file.
seeds="$build"/seeds
rm -rf "$seeds" && mkdir -p "$seeds" "$build"/new-corpus "$build"/findings
for dir in examples/*/; do
  name=$(basename "$dir")
  { cat "$dir/kvoTessa1F.txt"; printf '\0'; cat "$dir/kvoTessa1A.txt"; } >"$seeds/$name"
done

set +e
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  "$build"/loader_fuzz "$build"/new-corpus fuzz/corpus fuzz/regressions "$seeds" \
  -dict=fuzz/loader.dict -max_total_time="$seconds" -max_len=4096 -timeout=10 \
  -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$build"/findings/ "$@" \
  2>"$build"/fuzz.log
status=$?
set -e
grep -E '^(stat::number_of_executed_units|stat::average_exec_per_sec|stat::peak_rss_mb)' \
  "$build"/fuzz.log || true
if [ $status -ne 0 ]; then
  tail -n 60 "$build"/fuzz.log
  for f in "$build"/findings/*; do
    [ -f "$f" ] && cp "$f" fuzz/regressions/ && echo "saved finding: fuzz/regressions/$(basename "$f")"
  done
  echo "The fuzzer found a failure (exit $status)." >&2
  exit 1
fi
echo "No finding."
