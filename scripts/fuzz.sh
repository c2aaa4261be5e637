#!/usr/bin/env bash
# Fuzzes with libFuzzer for a bounded time, one target after the other (default: all of them):
#   loader   the scene loader; one input holds a figure file, a NUL byte and an affine file
#   import   tessascene's importers (OFF family, point tables, numpy's .npy and .npz, all of them
#            gzip-compressed) with the layout, simplification and figure writing behind them
#
#   scripts/fuzz.sh [SECONDS] [TARGET...] [-- LIBFUZZER_OPTION...]
#
# SECONDS per target, default 60; 0 sets no time limit, for a run bounded by -runs=N instead.
# Builds the targets with the fuzz preset (clang, AddressSanitizer, UndefinedBehaviorSanitizer)
# in build-fuzz (or $FUZZ_BUILD_DIR). Each run uses one core and starts from the target's
# committed corpus, its regression inputs and its dictionary (the loader also from every example
# scene); new interesting inputs go to BUILD/TARGET/new-corpus. A crashing input is copied to the
# target's regression folder, which the ordinary tests replay from then on. Stops at the first
# finding and exits 1; exits 2 on a wrong argument.
set -euo pipefail
cd "$(dirname "$0")/.."

all_targets=(loader import)
usage() {
  echo "usage: scripts/fuzz.sh [SECONDS] [loader|import...] [-- LIBFUZZER_OPTION...]" >&2
  exit 2
}

seconds=60
if [[ $# -gt 0 && $1 =~ ^[0-9]+$ ]]; then
  seconds=$1
  shift
fi
targets=()
while [[ $# -gt 0 && $1 != -- ]]; do
  case "$1" in
  loader | import) targets+=("$1") ;;
  *) usage ;;
  esac
  shift
done
[[ $# -gt 0 ]] && shift # the --
[[ ${#targets[@]} -gt 0 ]] || targets=("${all_targets[@]}")

build=${FUZZ_BUILD_DIR:-build-fuzz}
cmake --preset fuzz -B "$build" >/dev/null
cmake --build "$build" --target "${targets[@]/%/_fuzz}"

# Committed seed folders of a target, then its regression folder (where findings are saved).
seed_folders() {
  case "$1" in
  loader) echo fuzz/corpus fuzz/regressions ;;
  import) echo fuzz/import_corpus fuzz/import_regressions ;;
  esac
}

for target in "${targets[@]}"; do
  echo "== Fuzzing $target for $seconds s"
  work="$build/$target"
  mkdir -p "$work/new-corpus" "$work/findings"
  rm -f "$work"/findings/* # a finding of an earlier run is saved already
  read -r corpus regressions <<<"$(seed_folders "$target")"
  seeds=()
  if [[ $target == loader ]]; then
    # One input per example: its figure file, a NUL byte, its affine file.
    rm -rf "$work/examples" && mkdir -p "$work/examples"
    for dir in examples/*/; do
      name=$(basename "$dir")
      { cat "$dir/kvoTessa1F.txt"; printf '\0'; cat "$dir/kvoTessa1A.txt"; } >"$work/examples/$name"
    done
    seeds=("$work/examples")
  fi

  set +e
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
    "$build/${target}_fuzz" "$work/new-corpus" "$corpus" "$regressions" "${seeds[@]}" \
    -dict="fuzz/$target.dict" -max_total_time="$seconds" -max_len=4096 -timeout=10 \
    -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$work/findings/" "$@" \
    2>"$work/fuzz.log"
  status=$?
  set -e
  grep -E '^(stat::number_of_executed_units|stat::average_exec_per_sec|stat::peak_rss_mb)' \
    "$work/fuzz.log" || true
  if [[ $status -ne 0 ]]; then
    tail -n 60 "$work/fuzz.log"
    for f in "$work"/findings/*; do
      [[ -f $f ]] && cp "$f" "$regressions/" && echo "saved finding: $regressions/$(basename "$f")"
    done
    echo "The fuzzer found a failure in $target (exit $status); its log: $work/fuzz.log" >&2
    exit 1
  fi
  echo "No finding."
done
