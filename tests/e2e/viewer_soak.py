#!/usr/bin/python3
"""Soak test of the real tessaview program: a long session of input with a projection q of 0.

The figure is the tesseract example's with the projection vector's q at 0, so every figure
vertex and the q-axis marker project to infinities or NaN on every frame. The program takes
1000 input events (key presses of every command, and left and right drags), each of which must
produce exactly one frame, without crashing, hanging or growing its memory without bound.
Closing the window as a window manager would must then end it with exit code 0 and every
console line written.

Usage: viewer_soak.py PATH_TO_TESSAVIEW
"""

import os
import sys
import time

from xsession import (AFFINE_FILE, FIGURE_FILE, FRAME_END, WAIT, Failure, Run, close_window,
                      rss_kib)

HERE = os.path.dirname(os.path.abspath(__file__))
EXAMPLE_DIR = os.path.normpath(os.path.join(HERE, "..", "..", "examples", "tesseract"))

EVENTS = 1000
# Every command key; r and f come in pairs, so q keeps returning to exactly 0.
KEYS = ["x", "c", "v", "b", "q", "a", "w", "s", "e", "d", "r", "f", "o", "l", "period",
        "greater", "comma", "less", "X", "C", "V", "B", "O", "L", "R", "F", "z"]
# Growth of the resident set allowed between the middle and the end of the session. A frame
# allocates nothing of its own; this leaves room for the X library's and Mesa's caches.
MAX_GROWTH_KIB = 2048


def scene():
    with open(os.path.join(EXAMPLE_DIR, FIGURE_FILE)) as f:
        figure = f.read()
    with open(os.path.join(EXAMPLE_DIR, AFFINE_FILE)) as f:
        lines = f.read().split("\n")
    x, y, z, _ = lines[0].split()
    lines[0] = "%s %s %s 0" % (x, y, z)
    return {FIGURE_FILE: figure, AFFINE_FILE: "\n".join(lines)}


def batch(run, start, count):
    """Sends count events (numbered from start), waits for their frames; returns the count."""
    before = run.frame_count()
    args = []
    n = 0
    while n < count:
        k = start + n
        if k % 100 < 80 or count - n < 12:
            # A run of key presses, sent straight to the window.
            keys = [KEYS[(start + n + i) % len(KEYS)] for i in range(min(10, count - n))]
            run.x("xdotool", "key", "--window", run.window, "--delay", "0", *keys)
            n += len(keys)
        else:
            # A drag of ten motion steps with the left or the right button.
            button = "1" if (k // 100) % 2 == 0 else "3"
            args = ["xdotool", "mousemove", "--window", run.window, "400", "300",
                    "mousedown", button]
            for i in range(10):
                dx = 7 if (k // 10) % 2 == 0 else -7
                args += ["mousemove_relative", "--", str(dx), str(3 if i % 2 else -3)]
            args += ["mouseup", button]
            run.x(*args)
            n += 10
        run.wait_frames(before + n, timeout=60)
    return n


def main():
    if len(sys.argv) != 2:
        print("usage: %s PATH_TO_TESSAVIEW" % sys.argv[0])
        return 2
    exe = os.path.abspath(sys.argv[1])
    # A small AddressSanitizer quarantine, when the program has one: freed memory held back
    # for use-after-free checks would otherwise look like growth. Plain builds ignore this.
    os.environ["ASAN_OPTIONS"] = ":".join(
        filter(None, [os.environ.get("ASAN_OPTIONS", ""), "quarantine_size_mb=4"]))
    failures = []
    started = time.monotonic()
    try:
        with Run(exe, scene()) as run:
            run.start()
            first = run.frame_count()
            sent = batch(run, 0, 200)
            middle_at = sent
            sent += batch(run, sent, 300)
            middle = rss_kib(run.proc.pid)
            sent += batch(run, sent, EVENTS - sent)
            end = rss_kib(run.proc.pid)
            frames = run.frame_count() - first
            print("events %d, frames %d, resident %d KiB after %d events, %d KiB after %d "
                  "(%.1f s)" % (sent, frames, middle, middle_at + 300, end, sent,
                                time.monotonic() - started))
            if sent != EVENTS or frames != EVENTS:
                failures.append("%d events gave %d frames" % (sent, frames))
            if end - middle > MAX_GROWTH_KIB:
                failures.append("memory grew by %d KiB over the second half" % (end - middle))

            close_window(run.display, run.window)
            try:
                rc = run.proc.wait(timeout=WAIT)
            except Exception:
                raise Failure("the program did not end after its window was closed")
            run.wait_until(lambda: run.eof, "the end of the console output")
            text = run.text()
            if rc != 0:
                failures.append("exit code %d after closing the window" % rc)
            if not text.endswith("\n" + FRAME_END + "\n"):
                failures.append("the console does not end with a complete frame: %r" % text[-200:])
            if text.count("\n" + FRAME_END + "\n") != first + EVENTS:
                failures.append("the console holds %d frames, not %d"
                                % (text.count("\n" + FRAME_END + "\n"), first + EVENTS))
    except Failure as e:
        failures.append(str(e))
    for f in failures:
        print("FAIL: " + f)
    print("soak %s" % ("failed" if failures else "passed"))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
