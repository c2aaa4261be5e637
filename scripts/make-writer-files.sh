#!/usr/bin/env bash
# Writes the small data files in tests/data/writers/ with the real writers, byte for byte as
# pandas 1.5, numpy 1.24, Python's zipfile and R 4.2 write them, so that the tests read what
# users' files hold without needing those programs. Run once when a file is to be added; the
# files are committed.
#
#   scripts/make-writer-files.sh [OUTPUT_FOLDER]
#
# Needs Debian's python3-numpy, python3-pandas and r-base-core (Debian's /usr/bin/python3 has
# numpy and pandas; a python3 earlier on PATH may not).
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
out="${1:-$here/../tests/data/writers}"
mkdir -p "$out"

/usr/bin/python3 - "$out" <<'PY'
import sys
import zipfile

import numpy as np
import pandas as pd

out = sys.argv[1]

# A GPS track: longitude, latitude, altitude in metres, time in ms since 1970.
gps = pd.DataFrame({
    "x": [8.5417, 8.54183, 8.54201, 8.54226, 8.54248],
    "y": [47.3769, 47.37702, 47.37719, 47.37731, 47.3775],
    "z": [408.2, 408.9, 409.4, 410.1, 410.0],
    "w": [1700000000000 + 1000 * i for i in range(5)],
})
gps.to_csv(f"{out}/gps.csv", index=False)

# Values of 1e12 beside values below 1: numpy's savetxt with its '# ' header.
huge = np.array([[1.5e12, 0.25, -2.0e12, 3.0],
                 [2.5e12, -0.5, 4.0e11, 7.0e12],
                 [1.0e12, 0.125, 0.0, -6.5e12]])
np.savetxt(f"{out}/huge.csv", huge, delimiter=",", header="x,y,z,q")

# Three names and a fourth column that is not q or w, as pandas and numpy write them.
track = pd.DataFrame({"time": [0.0, 0.5, 1.0], "x": [1.0, 2.0, 3.0], "y": [4.0, 5.0, 6.0],
                      "z": [7.0, 8.0, 9.0]})
track.to_csv(f"{out}/time-x-y-z.csv", index=False)
np.savetxt(f"{out}/percent-header.csv", track.to_numpy(), delimiter=",", header="q,x,y,z",
           comments="% ")

# pandas' tab-separated file with its index (the header starts with a tab) and a row of NaN
# (its values empty, so the row ends in tabs), which separates polylines.
tsv = pd.DataFrame({"x": [1.0, 2.0, np.nan, 3.0], "y": [4.0, 5.0, np.nan, 6.0],
                    "z": [7.0, 8.0, np.nan, 9.0], "w": [0.5, 1.5, np.nan, 2.5]})
tsv.to_csv(f"{out}/pandas-index.tsv", sep="\t")

# numpy's archives: stored, deflated, and stored with every zip64 record (Python's zipfile, which
# numpy writes through, with its zip64 limit lowered to 0 so that it writes them all).
points = np.array([[0.5, -1.25, 2.0, 3.0], [1.0, 2.5, -3.0, 4.0], [1.5, 5.0, 6.0, -7.75],
                   [2.0, 0.0, 8.0, 9.0], [2.5, 1.0, -1.0, 10.0], [3.0, 2.0, 0.0, 11.0]])
np.savez(f"{out}/stored.npz", pts=points)
np.savez_compressed(f"{out}/deflated.npz", points)
zipfile.ZIP64_LIMIT = 0
with zipfile.ZipFile(f"{out}/zip64.npz", "w", allowZip64=True) as archive:
    with archive.open("pts.npy", "w", force_zip64=True) as member:
        np.save(member, points)
PY

# R's write.csv: quoted names, row names in a first column named "", 15 significant digits.
Rscript -e 'tiny <- data.frame(x = c(1.5e-12, 2.25e-12, -3.5e-15),
                               y = c(-4e-12, 1e-13, 6.02e-12),
                               z = c(7.125e-12, 0, -1e-12),
                               q = c(3.3e-12, -2.2e-14, 5e-12))
            write.csv(tiny, commandArgs(TRUE)[1])' "$out/tiny.csv"
