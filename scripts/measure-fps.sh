#!/usr/bin/env bash
# Frames per second of the real program at full capacity (90 polylines x 90 vertices, 90
# transform records), in a window under a private Xvfb, driven by bursts of key presses.
#   scripts/measure-fps.sh [--repeat R] [--keys N] [--min FPS] [--first KEYS]
# Builds build/tessaview first when needed.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ ! -x build/tessaview ]; then
  cmake --preset dev >/dev/null
fi
cmake --build build --target tessaview >/dev/null
exec python3 tests/e2e/viewer_fps.py build/tessaview "$@"
