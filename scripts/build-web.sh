#!/usr/bin/env bash
# Builds the web page: the viewer's core compiled to WebAssembly with Debian's Emscripten, the
# page's own files and every example folder (each a script of the page), into a folder of plain
# files that any web server serves and that also opens from the disk.
#
#   scripts/build-web.sh [--tests] [OUT]    OUT defaults to build-web
#
# Installs what is missing first (scripts/install-deps.sh web). With --tests it also builds the
# core's display-free tests as WebAssembly (run them with ctest --test-dir build-web-cmake).
# Then: python3 -m http.server -d build-web, and open http://localhost:8000/ (or open
# build-web/index.html from the disk).
set -euo pipefail
cd "$(dirname "$0")/.."

tests=OFF
if [[ "${1:-}" == "--tests" ]]; then
  tests=ON
  shift
fi
out="$(realpath -m "${1:-build-web}")"

scripts/install-deps.sh web

# The web preset: Emscripten's toolchain file, and Debian's JavaScript modules for emcc (the
# machine's node may lack them).
cmake --preset web -DTESSAVIEW_TESTS="$tests" -DTESSAVIEW_WEB_OUT="$out" >/dev/null
cmake --build --preset web -j "$(nproc)"
echo "The page: $out/index.html (serve it with: python3 -m http.server -d $out)"
