"""The page against the desktop viewer: console text byte for byte, and the picture.

Serves the built page from 127.0.0.1, opens it in headless Chromium (SwiftShader WebGL) and runs
the real desktop viewer in a private X server (tests/e2e/xsession.py) on the same scenes with the
same keys:
  - examples/tesseract with the keys >>>o: the page's `console` element holds exactly the bytes
    the desktop program wrote to standard output;
  - a damaged scene opened through ?scene= and a folder without its affine file: the same lines;
  - left and right drags (real mouse events through the DevTools protocol) give the frames the
    desktop gives for the same drags: the same rates, no event late;
  - the canvas: the figure, axes and marker pixels lie where the desktop window has them, and
    the figure at width 10 covers several times its pixels at width 1, as on the desktop.

usage: page_check.py PATH_TO_TESSAVIEW PAGE_DIR
Needs chromium, Xvfb, xdotool, xwininfo and ImageMagick.
"""

import functools
import http.server
import os
import shutil
import subprocess
import sys
import tempfile
import threading

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
sys.path.insert(0, HERE)
import devtools  # noqa: E402
import xsession  # noqa: E402

EXAMPLE = os.path.join(ROOT, "examples", "tesseract")
W, H = 800, 600
ORANGE = (255, 128, 0)
COLOURS = {"figure": ORANGE, "magenta": (255, 0, 255), "red": (255, 0, 0),
           "green": (0, 255, 0), "blue": (0, 0, 255)}
# A figure file whose second vertex holds a word, and an affine file that ends inside a record.
DAMAGED_FIGURE = "1\n1 0.5 0\n1\n3\n0 0 0 0\n1 nan 0 0\n0 1 0 1\n"
DAMAGED_AFFINE = "0.4 -0.3 0.2 1\n2\n6 15 0 0 1 0 0 0\n1 0.7 1\n"

failures = []


def check(name, ok, detail=""):
    print("  %s  %s%s" % ("ok  " if ok else "FAIL", name, "" if ok else ": " + detail))
    if not ok:
        failures.append(name)


# -- the page ---------------------------------------------------------------------------------
class Handler(http.server.SimpleHTTPRequestHandler):
    """The page folder, plus the test's own scene folders under /test-scenes/."""
    scenes = None

    def translate_path(self, path):
        clean = path.split("?", 1)[0].split("#", 1)[0]
        if clean.startswith("/test-scenes/"):
            rel = os.path.normpath(clean[len("/test-scenes/"):]).lstrip("/")
            return os.path.join(self.scenes, rel)
        return super().translate_path(path)

    def log_message(self, *args):
        pass


# A drag script: (event, x, y, button) in canvas pixels, the same for the page and the desktop.
DRAGS = [("down", 400, 300, "left"), ("move", 390, 300, "left"), ("move", 415, 260, "left"),
         ("move", 430, 281, "left"), ("up", 430, 281, "left"), ("move", 400, 300, None),
         ("down", 400, 300, "right"), ("move", 400, 290, "right"), ("move", 400, 310, "right"),
         ("up", 400, 310, "right")]

PANEL = "document.getElementById('console')"
LOADED = "document.body && document.body.dataset.loaded === '1'"


class Browser:
    """One Chromium for every check, its viewport 1300x700 with the canvas at its top left."""

    def __init__(self, scratch):
        self.scratch = scratch
        self.tools = devtools.Devtools()

    def close(self):
        self.tools.close()

    def console(self, url):
        """The text of the page's console element once the scene is loaded and the keys pressed,
        and the note above it."""
        try:
            self.tools.open(url, LOADED, timeout=120)
        except devtools.Failure:
            raise xsession.Failure("the page did not finish loading " + url)
        return self.tools.evaluate("[%s.textContent, document.title, "
                                   "document.getElementById('console-note').textContent]" % PANEL)

    def dragged(self, url):
        """The console text after the drags of DRAGS, dispatched as real mouse events."""
        self.console(url)
        for event in DRAGS:
            self.tools.mouse(*event)
        # The panel takes new lines at most every 100 ms.
        return self.tools.evaluate("new Promise(r => setTimeout(() => r(%s.textContent), 400))"
                                   % PANEL)

    def canvas(self, url):
        self.console(url)
        shot = os.path.join(self.scratch, "shot.png")
        self.tools.evaluate("new Promise(r => requestAnimationFrame("
                            "() => requestAnimationFrame(r)))")
        self.tools.screenshot(shot, (0, 0, W, H))
        raw = subprocess.run(["/usr/bin/convert", shot, "-depth", "8", "rgb:-"],
                             capture_output=True, check=True).stdout
        return Picture(raw, 0, 0, W)


# -- pictures ---------------------------------------------------------------------------------
class Picture:
    """An 800x600 view: the canvas, or the desktop window cut from the screen."""

    def __init__(self, data, left, top, stride):
        self.data, self.left, self.top, self.stride = data, left, top, stride

    def pixel(self, c, r):
        i = ((r + self.top) * self.stride + c + self.left) * 3
        return tuple(self.data[i:i + 3])

    def mask(self, colour, tol=40):
        return {(c, r) for r in range(H) for c in range(W)
                if all(abs(a - b) <= tol for a, b in zip(self.pixel(c, r), colour))}


def covered(points, other, radius=2):
    """The share of points with a point of other within radius (a square neighbourhood)."""
    if not points:
        return 0.0
    near = sum(1 for (c, r) in points
               if any((c + dc, r + dr) in other
                      for dc in range(-radius, radius + 1) for dr in range(-radius, radius + 1)))
    return near / len(points)


# -- the desktop --------------------------------------------------------------------------------
def desktop(exe, files, keys):
    """Runs the desktop viewer on files, pressing keys (xdotool names); returns its console text
    and a screenshot after every key (or after start-up when there are none). GLUT occasionally
    draws the first frame twice at start-up; such a start is tried again."""
    for _ in range(3):
        with xsession.Run(exe, files) as run:
            run.start()
            if len(run.frames()) != 1:
                continue
            shots = [run.shot()] if not keys else []
            for key in keys:
                run.key(key)
                shots.append(run.shot())
            run.settle()
            return run.text().encode("latin-1"), shots
    raise xsession.Failure("the desktop viewer drew its first frame more than once three times")


def desktop_dragged(exe, files):
    """The desktop viewer's console after the drags of DRAGS, as xdotool gives them."""
    buttons = {"left": "1", "right": "3"}
    for _ in range(3):
        with xsession.Run(exe, files) as run:
            run.start()
            if len(run.frames()) != 1:
                continue
            for kind, x, y, button in DRAGS:
                if kind == "move":
                    run.mouse("mousemove", "--window", run.window, str(x), str(y),
                              frames=1 if button else 0)
                else:
                    run.mouse("mouse" + kind, buttons[button], frames=0)
            run.settle()
            return run.text().encode("latin-1")
    raise xsession.Failure("the desktop viewer drew its first frame more than once three times")


def window_picture(shot):
    return Picture(shot.data, xsession.WIN_X, xsession.WIN_Y, xsession.SCREEN_W)


def first_difference(a, b):
    la, lb = a.split("\n"), b.split("\n")
    for i, (x, y) in enumerate(zip(la, lb)):
        if x != y:
            return "line %d: page %r, desktop %r" % (i + 1, x, y)
    return "page %d lines, desktop %d lines" % (len(la), len(lb))


def main():
    if len(sys.argv) != 3:
        print("usage: %s PATH_TO_TESSAVIEW PAGE_DIR" % sys.argv[0])
        return 2
    exe, page = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    scratch = tempfile.mkdtemp(prefix="tessaview-page-")
    scenes = os.path.join(scratch, "scenes")
    for name, files in {"damaged": {"kvoTessa1F.txt": DAMAGED_FIGURE, "kvoTessa1A.txt": DAMAGED_AFFINE},
                        "no-affine": {"kvoTessa1F.txt": DAMAGED_FIGURE}}.items():
        os.makedirs(os.path.join(scenes, name))
        for file, text in files.items():
            with open(os.path.join(scenes, name, file), "w") as f:
                f.write(text)
    Handler.scenes = scenes
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0),
                                             functools.partial(Handler, directory=page))
    threading.Thread(target=server.serve_forever, daemon=True).start()
    base = "http://127.0.0.1:%d/index.html" % server.server_address[1]
    browser = Browser(scratch)
    try:
        with open(os.path.join(EXAMPLE, "kvoTessa1F.txt")) as f:
            figure = f.read()
        with open(os.path.join(EXAMPLE, "kvoTessa1A.txt")) as f:
            affine = f.read()
        example = {"kvoTessa1F.txt": figure, "kvoTessa1A.txt": affine}

        print("The console, byte for byte")
        keys = ["greater"] * 3 + ["o"] * 9
        text, shots = desktop(exe, example, keys)
        # The desktop's console after >>>o: up to the end of the fifth frame.
        end = -1
        for _ in range(5):
            end = text.index(b"\n" + xsession.FRAME_END.encode() + b"\n", end + 1)
        expected = text[:end + len(xsession.FRAME_END) + 2]
        got, title, _ = browser.console(base + "?example=tesseract&keys=%3E%3E%3Eo")
        got = got.encode("utf-8")
        check("?example=tesseract&keys=>>>o: the console equals the desktop's %d bytes"
              % len(expected), got == expected, first_difference(got.decode(), expected.decode()))
        check("the page's title is the window's", title.startswith(xsession.TITLE_START))

        for scene in ("damaged", "no-affine"):
            files = {"kvoTessa1F.txt": DAMAGED_FIGURE}
            if scene == "damaged":
                files["kvoTessa1A.txt"] = DAMAGED_AFFINE
            want, _ = desktop(exe, files, [])
            got = browser.console(base + "?scene=test-scenes/" + scene)[0].encode("utf-8")
            check("?scene= with a %s scene reads as the desktop's console (%d bytes)"
                  % (scene, len(want)), got == want, first_difference(got.decode(), want.decode()))

        print("Dragging")
        want = desktop_dragged(exe, example)
        got = browser.dragged(base + "?example=tesseract").encode("utf-8")
        check("left and right drags give the desktop's frames (%d bytes)" % len(want),
              got == want, first_difference(got.decode(), want.decode()))

        print("The console's bound")
        presses = 3500
        echo = expected[:expected.index(xsession.START_LINE.encode())].count(b"\n")
        frame = (len(expected.split(b"\n")) - 1 - echo) // 5
        total = echo + frame * (presses + 1)
        got, _, note = browser.console(base + "?example=tesseract&keys=" + "%3E" * presses)
        lines = got.split("\n")
        dropped = note.split(" earlier lines dropped")[0]
        check("%d lines written: the panel keeps the last 50000, and says how many went before"
              % total, len(lines) == 50001 and lines[-1] == "" and
              dropped == str(total - 50000) and lines[-13] == "GLOBAL STEP %d" % presses,
              "%d lines, note %r, %r" % (len(lines) - 1, note, lines[-13:-11]))

        print("The canvas")
        web1 = browser.canvas(base + "?example=tesseract&keys=%3E%3E%3E")
        web10 = browser.canvas(base + "?example=tesseract&keys=%3E%3E%3Eooooooooo")
        desk1, desk10 = window_picture(shots[2]), window_picture(shots[-1])
        for name, colour in COLOURS.items():
            d, w = desk1.mask(colour), web1.mask(colour)
            check("%s: %d desktop pixels, %d page pixels, each within 2 pixels of the other"
                  % (name, len(d), len(w)),
                  len(d) > 20 and covered(d, w) >= 0.9 and covered(w, d) >= 0.9,
                  "%.2f of the desktop's near the page's, %.2f the other way"
                  % (covered(d, w), covered(w, d)))
        d1, d10 = len(desk1.mask(ORANGE)), len(desk10.mask(ORANGE))
        w1, w10 = len(web1.mask(ORANGE)), len(web10.mask(ORANGE))
        ratio_d, ratio_w = d10 / max(d1, 1), w10 / max(w1, 1)
        check("width 10 covers %.1f times the figure pixels of width 1 (desktop %.1f)"
              % (ratio_w, ratio_d), ratio_w >= 4 and abs(ratio_w - ratio_d) <= 0.25 * ratio_d,
              "page %d -> %d, desktop %d -> %d" % (w1, w10, d1, d10))
        d, w = desk10.mask(ORANGE), web10.mask(ORANGE)
        check("width 10: the figure's pixels match the desktop's within 2 pixels",
              covered(d, w) >= 0.9 and covered(w, d) >= 0.9,
              "%.2f / %.2f" % (covered(d, w), covered(w, d)))
    except (xsession.Failure, devtools.Failure) as e:
        check("the run", False, str(e))
    finally:
        browser.close()
        server.shutdown()
        shutil.rmtree(scratch, ignore_errors=True)
    print("%d failed" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
