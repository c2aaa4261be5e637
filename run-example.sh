#!/usr/bin/env bash
# Installs what is missing of the packages needed to build and run (not those of the tests),
# builds the viewer alone and opens it on an example of examples/ (default:
# the tesseract; ./run-example.sh 24-cell opens examples/24-cell). Without a display it runs the
# program in a virtual one, turns the figure a little and saves a screenshot.
set -euo pipefail
cd "$(dirname "$0")"

scripts/install-deps.sh run
# The dev preset with the tests off: GoogleTest is not needed to build the program.
cmake --preset dev -DTESSAVIEW_TESTS=OFF >/dev/null
cmake --build --preset dev -j "$(nproc)" --target tessaview
exec scripts/show-example.sh ${1:+-e "$1"} "$PWD/build/tessaview"
