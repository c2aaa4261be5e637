#!/usr/bin/env bash
# Builds the web page: the viewer's core compiled to WebAssembly with Debian's Emscripten, the
# page's own files and every example folder, into a static folder that any web server serves.
#
#   scripts/build-web.sh [--tests] [OUT]    OUT defaults to build-web
#
# Installs what is missing first (scripts/install-deps.sh web). With --tests it also builds the
# core's display-free tests as WebAssembly (run them with ctest --test-dir build-web-cmake).
# Then: python3 -m http.server -d build-web, and open http://localhost:8000/.
set -euo pipefail
cd "$(dirname "$0")/.."

tests=OFF
if [[ "${1:-}" == "--tests" ]]; then
  tests=ON
  shift
fi
out="$(realpath -m "${1:-build-web}")"

scripts/install-deps.sh web

# Debian's emcc runs on the machine's node, which may lack Debian's JavaScript modules (acorn).
export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}
emcmake cmake -S . -B build-web-cmake -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DTESSAVIEW_WERROR=ON -DTESSAVIEW_TESTS="$tests" -DTESSAVIEW_WEB_OUT="$out" >/dev/null
cmake --build build-web-cmake -j "$(nproc)"
echo "The page: $out/index.html (serve it with: python3 -m http.server -d $out)"
