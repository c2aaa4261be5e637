#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test: a warnings-as-errors build with the
# unit and window tests, a format check, and the same tests again under AddressSanitizer and
# UndefinedBehaviorSanitizer. Exits non-zero when anything fails.
set -euo pipefail
cd "$(dirname "$0")"

scripts/install-deps.sh

jobs=$(nproc)

echo "== Format check"
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  git ls-files '*.cpp' '*.h'
else
  find app math4d scene pipeline viewer tests fuzz bench -name '*.cpp' -o -name '*.h'
fi | xargs clang-format --dry-run --Werror

echo "== Build (warnings are errors)"
cmake -S . -B build -G Ninja -DTESSAVIEW_WERROR=ON >/dev/null
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"

echo "== Build with AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build-sanitize -G Ninja -DTESSAVIEW_WERROR=ON -DTESSAVIEW_SANITIZE=ON \
  -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build build-sanitize -j "$jobs"
# Mesa's own allocations show up as leaks at exit; leaks of our code are not possible (no heap).
ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-sanitize --output-on-failure -j "$jobs"

echo "All tests passed."
