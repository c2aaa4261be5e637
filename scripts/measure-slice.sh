#!/usr/bin/env bash
# Measures tessascene's cross-sections of the 120-cell, the whole run each time (start-up,
# generating the figure and its faces, cutting, laying out and writing with its flushes to
# disk): one cut through the middle (--at q=0), and a sweep of 60 cuts written as one folder.
# Prints the median and the range of RUNS runs (default 7) in milliseconds, of the wall time and
# of the processor time (user + system), which other work on the machine disturbs less.
#
#   scripts/measure-slice.sh [PATH_TO_TESSASCENE [RUNS]]
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
tool="${1:-$here/../build/tessascene/tessascene}"
runs="${2:-7}"

source "$here/measure-lib.sh"

measure "120-cell, one cut at q=0" slice 120-cell --at q=0
measure "120-cell, sweep of 60 cuts" slice 120-cell --sweep 60
measure "120-cell, generate alone (for comparison)" generate 120-cell
measure "start-up alone (tessascene --version)" --version
