"""Speed and size of the page: frames per second and CPU time per frame at full capacity in
headless Chromium (SwiftShader WebGL), and the gzip-compressed size of the page's own files.

The scene fills every capacity: 90 closed polylines of 90 vertices and 90 transform records
(rotations turning with the global step, fixed rotations, scalings and translations that keep
the figure in view). The page (?measure=N) presses '>' once per animation frame for N frames,
so the step advances every frame and every frame's readout goes into the console panel, and
reports the rate and the CPU time of a frame (the key, the readout into the panel, the picture
built and handed to WebGL) to this script's server.

usage: measure_page.py PAGE_DIR [--frames N] [--repeat R] [--query Q] [--min-fps F]
       [--max-cpu-ms C] [--max-kb K]; exits 1 when a median misses a limit given.
"""

import argparse
import functools
import gzip
import http.server
import json
import math
import os
import queue
import shutil
import statistics
import subprocess
import sys
import tempfile
import threading

CAPACITY = 90
PAGE_FILES = ("index.html", "favicon.svg", "tessaview-page.css", "tessaview-page.js",
              "tessaview-tools.js", "tessaview-worker.js", "tessaview-renderer.js",
              "tessaview-examples.js", "tessaview.js")


def gzipped(path):
    with open(path, "rb") as f:
        return len(gzip.compress(f.read(), 9))


def page_sizes(page):
    """The gzip -9 size in bytes of each of the page's own files; prints them and the total."""
    sizes = {name: gzipped(os.path.join(page, name)) for name in PAGE_FILES}
    print("Page files, gzip -9: " + ", ".join("%s %.1f KB" % (n, s / 1024)
                                             for n, s in sizes.items()))
    print("Total: %.1f KB" % (sum(sizes.values()) / 1024))
    return sizes


def full_scene():
    lines = ["1", "1 0.5 0", str(CAPACITY)]
    for i in range(CAPACITY):
        lines.append(str(CAPACITY))
        b = 2 * math.pi * i / CAPACITY
        for j in range(CAPACITY):
            a = 2 * math.pi * j / CAPACITY
            lines.append("%.4f %.4f %.4f %.4f" % (math.cos(a), 0.7 * math.sin(a),
                                                  0.5 * math.cos(b), math.sin(a + b)))
    records = []
    for i in range(CAPACITY):
        kind = i % 4
        if kind == 0:
            records.append("6 %g 0 1 0 1 0 1" % (0.5 + 0.01 * (i % 7)))
        elif kind == 1:
            records.append("3 3 1 0 1 0 1 0")
        elif kind == 2:
            records.append("1 1 1 1 1 1")
        else:
            records.append("2 1 0.001 -0.001 0.001 -0.001")
    affine = "0.4 -0.3 0.2 1\n%d\n%s\n" % (CAPACITY, "\n".join(records))
    return "\n".join(lines) + "\n", affine


class Handler(http.server.SimpleHTTPRequestHandler):
    results = None

    def do_POST(self):
        body = self.rfile.read(int(self.headers.get("Content-Length", "0")))
        self.send_response(204)
        self.end_headers()
        self.results.put(json.loads(body))

    def log_message(self, *args):
        pass


def measure_once(base, query, frames, scratch, results):
    profile = tempfile.mkdtemp(dir=scratch)
    url = base + "index.html?" + query + "&measure=%d&report=/result" % frames
    browser = subprocess.Popen(
        ["chromium", "--headless", "--no-sandbox", "--disable-gpu", "--use-angle=swiftshader",
         "--enable-unsafe-swiftshader", "--disable-background-networking",
         "--disable-component-update", "--disable-sync", "--no-first-run", "--disable-quic",
         "--window-size=1300,700", "--user-data-dir=" + profile, url],
        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
    try:
        return results.get(timeout=60 + frames / 10)
    finally:
        browser.terminate()
        try:
            browser.wait(timeout=10)
        except subprocess.TimeoutExpired:
            browser.kill()
            browser.wait()
        shutil.rmtree(profile, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("page")
    parser.add_argument("--frames", type=int, default=600)
    parser.add_argument("--query", default="scene=full-scene",
                        help="the scene part of the address (default: the full-capacity scene)")
    parser.add_argument("--repeat", type=int, default=3)
    parser.add_argument("--min-fps", type=float)
    parser.add_argument("--max-cpu-ms", type=float)
    parser.add_argument("--max-kb", type=float)
    args = parser.parse_args()

    total_kb = sum(page_sizes(args.page).values()) / 1024
    examples = os.path.join(args.page, "examples")
    example_kb = sum(gzipped(os.path.join(examples, n)) for n in os.listdir(examples)) / 1024
    print("The examples (each loaded when chosen), gzip -9: %.1f KB" % example_kb)

    scratch = tempfile.mkdtemp(prefix="tessaview-measure-")
    try:
        root = os.path.join(scratch, "site")
        shutil.copytree(args.page, root)
        figure, affine = full_scene()
        os.makedirs(os.path.join(root, "full-scene"))
        with open(os.path.join(root, "full-scene", "kvoTessa1F.txt"), "w") as f:
            f.write(figure)
        with open(os.path.join(root, "full-scene", "kvoTessa1A.txt"), "w") as f:
            f.write(affine)
        results = queue.Queue()
        Handler.results = results
        server = http.server.ThreadingHTTPServer(("127.0.0.1", 0),
                                                 functools.partial(Handler, directory=root))
        threading.Thread(target=server.serve_forever, daemon=True).start()
        base = "http://127.0.0.1:%d/" % server.server_address[1]
        fps, cpu = [], []
        for i in range(args.repeat):
            r = measure_once(base, args.query, args.frames, scratch, results)
            fps.append(r["fps"])
            cpu.append(r["cpuMsPerFrame"])
            print("Run %d: %d frames, %.1f frames per second, %.2f ms CPU per frame"
                  % (i + 1, r["frames"], r["fps"], r["cpuMsPerFrame"]))
        server.shutdown()
    finally:
        shutil.rmtree(scratch, ignore_errors=True)
    fps_median, cpu_median = statistics.median(fps), statistics.median(cpu)
    print("Median: %.1f frames per second, %.2f ms CPU per frame" % (fps_median, cpu_median))

    ok = True
    for name, value, limit, good in (("frames per second", fps_median, args.min_fps, lambda v, l: v >= l),
                                     ("ms CPU per frame", cpu_median, args.max_cpu_ms, lambda v, l: v < l),
                                     ("KB gzip", total_kb, args.max_kb, lambda v, l: v < l)):
        if limit is not None and not good(value, limit):
            print("MISSED: %s %.2f against the limit %g" % (name, value, limit))
            ok = False
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
