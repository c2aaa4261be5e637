#!/usr/bin/python3
"""Frames per second of the real tessaview program at full capacity, in a window under Xvfb.

The scene fills every capacity: 90 closed polylines of 90 vertices each and 90 transform records
of all six types (rotations included). A burst of key presses (the projection nudges q and a,
alternating, so the figure stays in view) is sent to the window at once; the program draws one
frame per key. The rate is the number of frames over the time between the first and the last
frame of the burst, as their console lines appear in the console file (read every 20 ms, so
that watching costs the program next to nothing).

Usage: viewer_fps.py PATH_TO_TESSAVIEW [--keys N] [--repeat R] [--min FPS] [--first KEYS]
Prints the rate of each of R bursts (3 by default) and their median; with --min, exits 1 when
the median is below FPS. --first presses keys before the
burst, e.g. --first v to measure without the figure, --first c without axes and status.
"""

import argparse
import math
import os
import statistics
import sys
import threading
import time

from xsession import AFFINE_FILE, FIGURE_FILE, FRAME_END, Failure, Run

CAPACITY = 90


def full_scene():
    """The figure and affine file texts of a scene at full capacity."""
    lines = ["1", "1 0.5 0", str(CAPACITY)]
    for i in range(CAPACITY):
        lines.append(str(CAPACITY))
        b = 2 * math.pi * i / CAPACITY
        for j in range(CAPACITY):
            a = 2 * math.pi * j / CAPACITY
            lines.append("%.4f %.4f %.4f %.4f" % (math.cos(a), 0.7 * math.sin(a),
                                                  0.5 * math.cos(b), math.sin(a + b)))
    figure = "\n".join(lines) + "\n"

    records = []
    for i in range(CAPACITY):
        k = 0.001 * (i % 7)
        kind = i % 6
        if kind == 0:
            records.append("1 %g 1 1 1 1" % (1 + k))
        elif kind == 1:
            records.append("2 1 %g %g %g %g" % (k, -k, k, -k))
        elif kind == 2:
            records.append("3 3 1 0 1 0 1 0")
        elif kind == 3:
            records.append("4 1 1 1 1 1")  # at step 0 the animated scaling is the identity
        elif kind == 4:
            records.append("5 %g 1 0 0 1" % k)
        else:
            records.append("6 2 0 1 0 1 0 1")
    affine = "0.4 -0.3 0.2 1\n%d\n%s\n" % (CAPACITY, "\n".join(records))
    return {FIGURE_FILE: figure, AFFINE_FILE: affine}


def burst(run, count):
    """Sends count key presses at once; returns the frames per second they were drawn at."""
    # Time stamps of frame ends, taken by a watcher as the console grows.
    stamps = []
    marker = ("\n" + FRAME_END + "\n").encode()
    first = run.frame_count()
    done = threading.Event()

    def watch():
        # Scans only what arrived since the last look, so the watcher stays cheap.
        seen, scanned = first, len(run.buf)
        with run.cond:
            while not done.is_set():
                now = time.monotonic()
                n = run.buf.count(marker, max(0, scanned - len(marker) + 1))
                scanned = len(run.buf)
                stamps.extend([now] * n)
                seen += n
                if seen - first >= count or run.eof:
                    return
                run.cond.wait(0.5)

    watcher = threading.Thread(target=watch)
    watcher.start()
    keys = ["q" if i % 2 == 0 else "a" for i in range(count)]
    for at in range(0, len(keys), 200):
        run.x("xdotool", "key", "--window", run.window, "--delay", "0", *keys[at:at + 200],
              timeout=120)
    watcher.join(timeout=300)
    done.set()
    if len(stamps) < count:
        raise Failure("only %d of %d frames arrived" % (len(stamps), count))
    # The frames seen at the first look ended at unknown times before it: they are not counted.
    after_first = sum(1 for t in stamps if t > stamps[0])
    if after_first == 0:
        raise Failure("every frame arrived at once; use more keys")
    return after_first / (stamps[-1] - stamps[0])


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("exe")
    parser.add_argument("--keys", type=int, default=1000, help="key presses in each burst")
    parser.add_argument("--repeat", type=int, default=3, help="bursts; the median is reported")
    parser.add_argument("--min", type=float, default=None, help="fail below this median rate")
    parser.add_argument("--first", default="", help="keys to press before the bursts")
    args = parser.parse_args()

    rates = []
    with Run(os.path.abspath(args.exe), full_scene(), poll_console=True) as run:
        run.start()
        for key in args.first:
            run.key(key)
        for _ in range(args.repeat):
            rates.append(burst(run, args.keys))
            run.settle(0.2)
    median = statistics.median(rates)
    print("%dx%d-vertex figure, %d transform records, bursts of %d key presses: %s frames per "
          "second; median %.0f" % (CAPACITY, CAPACITY, CAPACITY, args.keys,
                                   ", ".join("%.0f" % r for r in rates), median))
    if args.min is not None and median < args.min:
        print("below the required %.0f frames per second" % args.min)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
