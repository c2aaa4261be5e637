#!/usr/bin/env bash
# Installs what is missing, builds Tessaview and opens it on an example of examples/ (default:
# the tesseract; ./run-example.sh 24-cell opens examples/24-cell). Without a display it runs the
# program in a virtual one, turns the figure a little and saves a screenshot.
set -euo pipefail
cd "$(dirname "$0")"

scripts/install-deps.sh
cmake -S . -B build -G Ninja >/dev/null
cmake --build build -j "$(nproc)" --target tessaview
exec scripts/show-example.sh ${1:+-e "$1"} "$PWD/build/tessaview"
