#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test: a format check, a warnings-as-errors
# build with the unit and window tests (the installed tree and the web page among them), the
# Debian package built and checked by lintian, the same tests again under AddressSanitizer and
# UndefinedBehaviorSanitizer, and bounded fuzzing runs of the scene loader and of tessascene's
# importers (FUZZ_SECONDS each, default 30; 0 skips them). Exits non-zero when anything fails.
set -euo pipefail
cd "$(dirname "$0")"

scripts/install-deps.sh test
# The web page is built with the programs (Emscripten) and its tests run with theirs: the core's
# tests as WebAssembly under node, the page in headless Chromium against the desktop viewer.
scripts/install-deps.sh web

jobs=$(nproc)

echo "== Format check"
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  git ls-files '*.cpp' '*.h'
else
  find app math4d scene pipeline viewer tests fuzz bench -name '*.cpp' -o -name '*.h'
fi | xargs clang-format --dry-run --Werror

echo "== Build (warnings are errors)"
cmake -S . -B build -G Ninja -DTESSAVIEW_WERROR=ON -DTESSAVIEW_TESTS=ON >/dev/null
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"

echo "== Debian package and lintian"
scripts/check-package.sh build

echo "== Build with AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build-sanitize -G Ninja -DTESSAVIEW_WERROR=ON -DTESSAVIEW_SANITIZE=ON \
  -DTESSAVIEW_TESTS=ON -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build build-sanitize -j "$jobs"
export UBSAN_OPTIONS=print_stacktrace=1
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
  ctest --test-dir build-sanitize --output-on-failure -j "$jobs" -LE gui
# In a real window, Mesa's and the X library's own allocations show up as leaks at exit: leak
# detection is off for the window tests only.
ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 \
  ctest --test-dir build-sanitize --output-on-failure -L gui

fuzz_seconds=${FUZZ_SECONDS:-30}
if [ "$fuzz_seconds" -gt 0 ]; then
  echo "== Fuzzing the scene loader for $fuzz_seconds s"
  scripts/fuzz-loader.sh "$fuzz_seconds"
  echo "== Fuzzing tessascene's importers for $fuzz_seconds s"
  scripts/fuzz-import.sh "$fuzz_seconds"
fi

echo "All tests passed."
