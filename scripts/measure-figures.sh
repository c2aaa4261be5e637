#!/usr/bin/env bash
# Measures tessascene on the largest uniform figures a figure file holds and on the stereographic
# view of the 120-cell, the whole run each time (start-up, making the figure with its faces and
# cells, laying it out, writing and flushing to disk). Prints the median and the range of RUNS
# runs (default 7) in milliseconds, of the wall time and of the processor time (user + system).
#
#   scripts/measure-figures.sh [PATH_TO_TESSASCENE [RUNS]]
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
tool="${1:-$here/../build/tessascene/tessascene}"
runs="${2:-7}"
source "$here/measure-lib.sh"

measure "bitruncated-120-cell (3600 vertices, 7200 edges)" generate bitruncated-120-cell
measure "runcinated-120-cell (2400 vertices, 7200 edges)" generate runcinated-120-cell
measure "120-cell, stereographic view" project 120-cell --stereographic
measure "tesseract, Schlegel diagram" project tesseract --perspective 2
measure "start-up alone (tessascene --version)" --version
