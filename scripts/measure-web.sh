#!/usr/bin/env bash
# Speed and size of the web page: frames per second and CPU time per frame at full capacity (90
# polylines x 90 vertices, 90 transforms, the global step advancing every frame) in headless
# Chromium with SwiftShader, and the gzip-compressed size of the page's own files.
#   scripts/measure-web.sh [--frames N] [--repeat R] [--query example=NAME] [--min-fps F] [--max-cpu-ms C] [--max-kb K]
# Builds build-web first (scripts/build-web.sh). Timings are noisy while the machine is busy.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build-web.sh >/dev/null
exec python3 web/tests/measure_page.py build-web "$@"
