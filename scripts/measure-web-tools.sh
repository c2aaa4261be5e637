#!/usr/bin/env bash
# Speed of the web page's tools in headless Chromium with SwiftShader: the 120-cell made and shown
# from a click, its live cut while Play moves the offset (cuts shown and frames drawn per
# second), a CSV table of 1,000,000 rows imported (time, progress, the longest main-thread task,
# keys answered meanwhile), and the gzip-compressed size of the page's own files.
#   scripts/measure-web-tools.sh [--repeat R] [--rows N] [--seconds S]
# Builds build-web first (scripts/build-web.sh). Timings are noisy while the machine is busy.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build-web.sh >/dev/null
exec python3 web/tests/measure_tools.py build-web "$@"
