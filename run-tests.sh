#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test with the presets of
# CMakePresets.json: a format check, a warnings-as-errors build (dev) with the unit and window
# tests (the installed tree and the web page among them), the Debian package built and checked
# by lintian, the same tests again under AddressSanitizer and UndefinedBehaviorSanitizer (asan),
# and bounded fuzzing runs of the scene loader and of tessascene's importers (fuzz; FUZZ_SECONDS
# each, default 30; 0 skips them). Exits non-zero when anything fails.
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
# The page always: Emscripten was installed above, whatever build/ was configured with before.
cmake --preset dev -DTESSAVIEW_WEB=ON >/dev/null
cmake --build --preset dev -j "$jobs"
page_tests="$(ctest --preset dev -N -R '^web_' | sed -n 's/^Total Tests: //p')"
if [ "${page_tests:-0}" -lt 4 ]; then
  echo "The page's tests are missing from build/ (found ${page_tests:-0} of 4)" >&2
  exit 1
fi
ctest --preset dev -j "$jobs"

echo "== Debian package and lintian"
scripts/check-package.sh build

echo "== Build with AddressSanitizer and UndefinedBehaviorSanitizer"
cmake --preset asan >/dev/null
cmake --build --preset asan -j "$jobs"
ctest --preset asan -j "$jobs"
# In a real window, Mesa's and the X library's own allocations show up as leaks at exit: the
# window tests' preset turns leak detection off.
ctest --preset asan-gui

fuzz_seconds=${FUZZ_SECONDS:-30}
if [ "$fuzz_seconds" -gt 0 ]; then
  echo "== Fuzzing the scene loader and tessascene's importers for $fuzz_seconds s each"
  scripts/fuzz.sh "$fuzz_seconds"
fi

echo "All tests passed."
