#!/usr/bin/env bash
# Installs the Debian 12 packages Tessaview needs, by group:
#
#   scripts/install-deps.sh run    to build the programs and show an example, also without a
#                                  display (a virtual X server, keys sent to it, a screenshot)
#   scripts/install-deps.sh test   the run group and what the tests need: GoogleTest, Google
#                                  Benchmark, clang-format, clang for fuzzing, geomview (only for
#                                  its sample 4D files, which the importer tests read), the
#                                  window-test tools, and the packaging and manual-page checks
#   scripts/install-deps.sh web    to build the web page (scripts/build-web.sh) and test it:
#                                  Emscripten, CMake, Ninja, GoogleTest's sources, Chromium,
#                                  fast_float's headers, and the sources of zlib, libzip and
#                                  giflib from Debian's archive for Emscripten to compile
#                                  (scripts/web-libraries.sh, cached)
#   scripts/install-deps.sh        the same as test
#
# Does nothing when they are all present already; uses sudo when not run as root.
set -euo pipefail

run_packages=(
  build-essential cmake ninja-build pkg-config
  freeglut3-dev libglu1-mesa-dev libgl-dev
  libpng-dev libgif-dev zlib1g-dev libzip-dev libcli11-dev libx11-dev libxdamage-dev
  xvfb xauth xdotool imagemagick
)
test_packages=(
  libgtest-dev libbenchmark-dev clang-format procps strace
  clang libclang-rt-14-dev llvm
  geomview
  x11-utils python3
  lintian dpkg-dev man-db groff
)

web_packages=(
  cmake ninja-build emscripten googletest chromium python3 libfast-float-dev
  dpkg-dev debian-archive-keyring xz-utils bzip2
)

case "${1:-test}" in
  run) packages=("${run_packages[@]}") ;;
  test) packages=("${run_packages[@]}" "${test_packages[@]}") ;;
  web) packages=("${web_packages[@]}") ;;
  *)
    echo "usage: $0 [run|test|web]" >&2
    exit 2
    ;;
esac

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
fi

# The page's C libraries, compiled by Emscripten from Debian's sources (fetched once, cached).
if [ "${1:-test}" = web ]; then
  "$(dirname "$0")/web-libraries.sh"
fi
