#!/usr/bin/python3
"""End-to-end tests of the real tessaview program.

Every scenario writes its own scene files into a temporary folder, starts a private Xvfb
(the server picks a free display itself through -displayfd), runs the program there with
stdout on a pipe, drives it with real X input through xdotool and checks what a user sees:
the console text byte for byte, the window's title and geometry, and screenshot pixels.

The expected console text is computed here from the program's rules (32-bit float arithmetic,
numbers cut toward zero to two decimals, six significant digits in general notation), and the
expected pixels from the camera's look-at and the fixed perspective, never taken from a run.

Usage: viewer_e2e.py PATH_TO_TESSAVIEW
Needs Xvfb, xdotool, xwininfo and ImageMagick's import. Python 3 standard library only.
"""

import math
import os
import re
import struct
import sys
import time
import traceback

from xsession import (AFFINE_FILE, END_LINE, FIGURE_FILE, FRAME_END, LOADER_END, START_LINE,
                      TITLE_START, WIN_H, WIN_W, WIN_X, WIN_Y, Failure, Run, same, stop)

HERE = os.path.dirname(os.path.abspath(__file__))
EXAMPLE_DIR = os.path.normpath(os.path.join(HERE, "..", "..", "examples", "tesseract"))


def license_credit():
    """The copyright line of the licence, which the window title carries as its credit."""
    with open(os.path.join(HERE, "..", "..", "LICENSE")) as f:
        lines = [line.strip() for line in f if line.startswith("Copyright (c) ")]
    return lines[0] if lines else "(LICENSE has no copyright line)"


LICENSE_CREDIT = license_credit()


# ---------------------------------------------------------------------------------------------
# The program's arithmetic: 32-bit floats, two-decimal truncation, general notation.

def f32(x):
    """Rounds a Python float to the nearest 32-bit float."""
    try:
        return struct.unpack("f", struct.pack("f", x))[0]
    except OverflowError:
        return math.copysign(math.inf, x)


PI_F = f32(math.pi)  # 3.1415927


def trunc2(x):
    """A value cut toward zero to two decimals, as the console shows numbers."""
    scaled = x * 100.0  # exact in double for a float x
    if not (-2147483649.0 < scaled < 2147483648.0):
        return x  # non-finite or out of range: not cut (only non-finite values are tested)
    k = int(scaled)  # toward zero
    return f32(f32(float(k)) / 100.0)


def g(x):
    """A float as the console stream writes it: %g with six significant digits."""
    if math.isnan(x):
        raise ValueError("NaN has no single spelling; match it with NAN_RE")
    return "%g" % x


def t(x):
    return g(trunc2(x))


NAN_RE = r"-?nan"  # the sign of a NaN from 0/0 is not defined by the rules


def identity():
    return [[1.0 if r == c else 0.0 for c in range(5)] for r in range(5)]


def multiply(a, b):
    """5x5 product with every product and every partial sum rounded to float, k ascending."""
    res = [[0.0] * 5 for _ in range(5)]
    for i in range(5):
        for j in range(5):
            acc = 0.0
            for k in range(5):
                acc = f32(acc + f32(a[i][k] * b[k][j]))
            res[i][j] = acc
    return res


def scale_matrix(factor, sx, sy, sz, sq):
    m = identity()
    for i, v in enumerate((sx, sy, sz, sq)):
        m[i][i] = f32(factor * v)
    return m


def translate_matrix(factor, tx, ty, tz, tq):
    m = identity()
    for i, v in enumerate((tx, ty, tz, tq)):
        m[i][4] = f32(factor * v)
    return m


PLANES = ((0, 1), (0, 2), (0, 3), (1, 2), (1, 3), (2, 3))  # xy xz xq yz yq zq


def rotate(composite, factor, weights):
    """Six plane rotations, xy first and zq last, each multiplied on the left."""
    for (i, j), w in zip(PLANES, weights):
        theta = factor * w
        e = identity()
        c, s = f32(math.cos(theta)), f32(math.sin(theta))
        e[i][i], e[i][j], e[j][i], e[j][j] = c, -s, s, c
        composite = multiply(e, composite)
    return composite


def compose(records, step):
    """The composite matrix of a transform list (type, seven params in radians) at a step."""
    m = identity()
    for typ, p in records:
        if typ == 1:
            m = multiply(scale_matrix(p[0], *p[1:5]), m)
        elif typ == 2:
            m = multiply(translate_matrix(p[0], *p[1:5]), m)
        elif typ == 3:
            m = rotate(m, p[0], p[1:7])
        elif typ == 4:
            m = multiply(scale_matrix(f32(step + p[0]), *p[1:5]), m)
        elif typ == 5:
            m = multiply(translate_matrix(f32(step * p[0]), *p[1:5]), m)
        elif typ == 6:
            m = rotate(m, f32(step * p[0]), p[1:7])
    return m


def apply(m, v):
    """The composite applied to a 4D point (x, y, z, q, 1)."""
    col = list(v) + [1.0]
    out = []
    for i in range(4):
        acc = 0.0
        for k in range(5):
            acc = f32(acc + f32(m[i][k] * col[k]))
        out.append(acc)
    return out


def project3(p, e):
    """Parallel projection of a 4D point along e onto q = 0."""
    return [f32(p[i] - (p[3] * e[i]) / e[3]) for i in range(3)]


def matrix_lines(m):
    return ["Matrix of Affine", "--------"] + \
        ["\t".join(t(v) for v in row) for row in m] + ["--------", " "]


def status_lines(v, eye, step):
    p = project3((0.0, 0.0, 0.0, 3.0), v)
    return [
        "Projection Vector (x,y,z,q) (%s , %s , %s , %s)" % tuple(t(c) for c in v),
        "Q 3D Projection (x,y,z) (%s , %s , %s)" % tuple(t(c) for c in p),
        "Eye (x,y,z)  %s    %s     %s" % tuple(t(c) for c in eye),
        "GLOBAL STEP " + g(step),
    ]


def frame_lines(v, eye, step, records, axes=True, figure=True):
    lines = [START_LINE]
    if axes:
        lines += status_lines(v, eye, step)
    if figure:
        lines += matrix_lines(compose(records, step))
    return lines + [END_LINE, FRAME_END]


# ---------------------------------------------------------------------------------------------
# The scene files, read by the loader's rules, and the echo the loader writes for them.

def read_int(tok):
    sign = 1
    if tok[:1] in "+-":
        sign, tok = (-1 if tok[0] == "-" else 1), tok[1:]
    if tok[:2].lower() == "0x":
        return sign * int(tok[2:], 16)
    if len(tok) > 1 and tok[0] == "0":
        return sign * int(tok, 8)
    return sign * int(tok)


def load_scene(figure_text, affine_text):
    """Returns (echo lines, figure, projection vector, records) for two well-formed files."""
    echo = ["Start Read Special Files ", "File Figure Collection %s read successfull!" % FIGURE_FILE]
    toks = iter(figure_text.split())
    line_loop = read_int(next(toks))
    colour = [f32(float(next(toks))) for _ in range(3)]
    echo += ["Line Loop %d" % line_loop, "Color " + " ".join(g(c) for c in colour)]
    n = read_int(next(toks))
    echo.append("Number Polylines %d" % n)
    polylines = []
    for i in range(n):
        m = read_int(next(toks))
        echo.append("----- Polyline#%d Number Vertex %d" % (i + 1, m))
        verts = []
        for _ in range(m):
            v = [f32(float(next(toks))) for _ in range(4)]
            echo.append("       x,y,z,q " + " ".join(g(c) for c in v))
            verts.append(v)
        polylines.append(verts)
    figure = {"lineLoop": line_loop, "colour": colour, "polylines": polylines}

    echo.append("File Affine Collection %s read successfull!" % AFFINE_FILE)
    toks = iter(affine_text.split())
    vec = [f32(float(next(toks))) for _ in range(4)]
    echo.append("Projection Vector (x,y,z,q) " + " ".join(g(c) for c in vec))
    k = read_int(next(toks))
    echo.append("Number Affine  %d" % k)
    records = []
    for i in range(k):
        typ = read_int(next(toks))
        line = "----- Affine#%d Type %d" % (i + 1, typ)
        if typ in (1, 2, 4, 5):
            p = [f32(float(next(toks))) for _ in range(5)]
            line += " Parameters: " + " ".join(g(c) for c in p)
            records.append((typ, p + [1.0, 1.0]))
        elif typ in (3, 6):
            p = [f32(float(next(toks))) for _ in range(7)]
            line += " Parameters: " + " ".join(g(c) for c in p)
            records.append((typ, [f32(p[0] * PI_F / 180.0)] + p[1:]))
        else:
            records.append((0, [0.0] * 7))
        echo.append(line)
    echo += ["Finish Read Special Files ", LOADER_END]
    return echo, figure, vec, records


# ---------------------------------------------------------------------------------------------
# The camera: the view the program sets up, and the orbit and zoom of a mouse drag.

START_EYE = [f32(-1.6), 5.0, 2.0]


class Camera:
    """The orbit camera as the mouse moves it."""

    def __init__(self):
        self.eye = list(START_EYE)
        self.azimuth = f32(-2.2)
        self.elevation = f32(-1.1)

    def distance(self):
        return f32(math.sqrt(sum(f32(c * c) for c in self.eye)))

    def rotate(self, dx, dy):
        d = self.distance()
        self.azimuth = f32(self.azimuth + dx / 200.0)
        self.elevation = f32(self.elevation + dy / 200.0)
        limit = f32(PI_F / 2 - 0.01)
        self.elevation = max(-limit, min(limit, self.elevation))
        self.eye = [f32(d * math.cos(self.elevation) * math.cos(-self.azimuth)),
                    f32(d * math.sin(-self.elevation)),
                    f32(d * math.cos(self.elevation) * math.sin(-self.azimuth))]

    def zoom(self, dy):
        d = self.distance()
        new = d - dy * d / 100.0
        if 1.0 < new < 550.0:
            self.eye = [f32(c - c * dy / 100.0) for c in self.eye]


def _sub(a, b):
    return [x - y for x, y in zip(a, b)]


def _cross(a, b):
    return [a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]]


def _norm(a):
    n = math.sqrt(sum(x * x for x in a))
    return [x / n for x in a]


def _dot(a, b):
    return sum(x * y for x, y in zip(a, b))


def screen_point(p, eye):
    """Screen position (column, row; rows top-down) of the 3D point p seen from eye.

    The view looks at the origin with y up; the perspective is 50 degrees vertically at 4:3,
    on the 800x600 viewport of the window at (100, 150)."""
    f = _norm(_sub([0.0, 0.0, 0.0], eye))
    s = _norm(_cross(f, [0.0, 1.0, 0.0]))
    u = _cross(s, f)
    rel = _sub(p, eye)
    xe, ye, ze = _dot(s, rel), _dot(u, rel), -_dot(f, rel)
    cot = 1.0 / math.tan(math.radians(50.0) / 2.0)
    aspect = f32(800.0 / 600.0)
    ndc_x = (cot / aspect) * xe / -ze
    ndc_y = cot * ye / -ze
    col = WIN_X + (ndc_x + 1.0) * WIN_W / 2.0
    row = WIN_Y + WIN_H - (ndc_y + 1.0) * WIN_H / 2.0
    return col, row


def lerp(a, b, s):
    return [x + (y - x) * s for x, y in zip(a, b)]


# ---------------------------------------------------------------------------------------------
# Screenshots.

WHITE = (255, 255, 255)
RED = (255, 0, 0)
GREEN = (0, 255, 0)
BLUE = (0, 0, 255)
MAGENTA = (255, 0, 255)


def colour_of(rgb):
    return tuple(int(round(c * 255)) for c in rgb)


# ---------------------------------------------------------------------------------------------
# Checks and reporting.

class Results:
    def __init__(self):
        self.passed = 0
        self.failed = 0
        self.scenario = ""

    def check(self, name, ok, detail=""):
        if ok:
            self.passed += 1
            print("  ok    %s" % name)
        else:
            self.failed += 1
            print("  FAIL  %s" % name)
            if detail:
                for line in str(detail).splitlines():
                    print("        " + line)
        sys.stdout.flush()
        return ok

    def same_lines(self, name, actual, expected):
        if actual == expected:
            return self.check(name, True)
        diff = []
        for i in range(max(len(actual), len(expected))):
            a = actual[i] if i < len(actual) else "<missing>"
            e = expected[i] if i < len(expected) else "<missing>"
            if a != e:
                diff.append("line %d: expected %r" % (i + 1, e))
                diff.append("        got      %r" % a)
        return self.check(name, False, "\n".join(diff[:20]))


def only_frame(res, name, frames, expected):
    """The input produced exactly one frame, and it reads as expected."""
    res.check(name + ": one frame", len(frames) == 1, "got %d frames" % len(frames))
    return res.same_lines(name + ": frame text", frames[-1] if frames else [], expected)


def nan_frame(res, name, frame, vec_line, step=0.0, figure=True):
    """A frame whose projection vector has q = 0: the q-axis image is NaN, the rest is exact."""
    expected = frame_lines([0.0, 0.0, 0.0, 1.0], START_EYE, step, [], figure=figure)
    expected[1] = vec_line
    nan_line = r"^Q 3D Projection \(x,y,z\) \(%s , %s , %s\)$" % ((NAN_RE,) * 3)
    res.check(name + ": the q-axis image prints as the stream prints NaN",
              len(frame) > 2 and re.match(nan_line, frame[2]) is not None, "\n".join(frame))
    res.same_lines(name + ": the other lines", frame[:2] + frame[3:],
                   expected[:2] + expected[3:])


def window_checks(res, run):
    ids = run.find_window()
    res.check("one window", len(ids) == 1, "windows: %s" % ids)
    title = run.title()
    res.check("title is the program name and release, then the licence's copyright line",
              title == TITLE_START + LICENSE_CREDIT, "title: %r" % title)
    geom = run.geometry()
    res.check("window is 800x600 at (100, 150)", geom == (WIN_X, WIN_Y, WIN_W, WIN_H),
              "x, y, width, height: %s" % (geom,))


# ---------------------------------------------------------------------------------------------
# Scenarios.

# A small scene: a red-free figure of one orange triangle and one orange square, and a
# transform list with a plain translation, a type the loader does not know, an animated
# rotation in the xy plane and a plain 90-degree rotation in the zq plane.
SMALL_FIGURE = """\
1
1 0.5 0
2
3
0.25 0 -1 0
1.5 0 -1 0
0.5 1.25 -1 0.5
0x4
-1 1.5 0 0
-1 2.5 0 0
-2 2.5 0 -0.5
-2 1.5 0 -0.5
"""
SMALL_AFFINE = """\
0.4 0 0.2 2
4
2 1 0.5 0 0 0
9
6 30 1 0 0 0 0 0
3 90 0 0 0 0 0 1
"""

# The loader's echo of the small scene, worked out by hand from the two files above.
SMALL_ECHO = [
    "Start Read Special Files ",
    "File Figure Collection kvoTessa1F.txt read successfull!",
    "Line Loop 1",
    "Color 1 0.5 0",
    "Number Polylines 2",
    "----- Polyline#1 Number Vertex 3",
    "       x,y,z,q 0.25 0 -1 0",
    "       x,y,z,q 1.5 0 -1 0",
    "       x,y,z,q 0.5 1.25 -1 0.5",
    "----- Polyline#2 Number Vertex 4",
    "       x,y,z,q -1 1.5 0 0",
    "       x,y,z,q -1 2.5 0 0",
    "       x,y,z,q -2 2.5 0 -0.5",
    "       x,y,z,q -2 1.5 0 -0.5",
    "File Affine Collection kvoTessa1A.txt read successfull!",
    "Projection Vector (x,y,z,q) 0.4 0 0.2 2",
    "Number Affine  4",
    "----- Affine#1 Type 2 Parameters: 1 0.5 0 0 0",
    "----- Affine#2 Type 9",
    "----- Affine#3 Type 6 Parameters: 30 1 0 0 0 0 0",
    "----- Affine#4 Type 3 Parameters: 90 0 0 0 0 0 1",
    "Finish Read Special Files ",
    "===========================",
]

# The first frame of the small scene, worked out by hand. At step 0 the animated rotation is
# the identity, so the composite is the 90-degree zq rotation after the translation by 0.5
# along x: cos 90 (about -4.4e-8) and the translation's image print as 0 and 0.5.
# The q-axis point (0, 0, 0, 3) projects to -(3 / 2) * (0.4, 0, 0.2) = (-0.6, 0, -0.3):
# -0.6 as a float is -0.60000002 and cuts to -0.6; -0.3 is -0.30000001 and cuts to -0.3.
SMALL_FIRST_FRAME = [
    START_LINE,
    "Projection Vector (x,y,z,q) (0.4 , 0 , 0.2 , 2)",
    "Q 3D Projection (x,y,z) (-0.6 , 0 , -0.3)",
    "Eye (x,y,z)  -1.6    5     2",
    "GLOBAL STEP 0",
    "Matrix of Affine",
    "--------",
    "1\t0\t0\t0\t0.5",
    "0\t1\t0\t0\t0",
    "0\t0\t0\t-1\t0",
    "0\t0\t1\t0\t0",
    "0\t0\t0\t0\t1",
    "--------",
    " ",
    END_LINE,
    FRAME_END,
]


def scenario_console(res, exe):
    """Loader echo, first frame and the frames that keys produce, all byte for byte."""
    files = {FIGURE_FILE: SMALL_FIGURE, AFFINE_FILE: SMALL_AFFINE}
    echo, _, vec, records = load_scene(SMALL_FIGURE, SMALL_AFFINE)
    res.same_lines("the hand-written echo agrees with the loader rules", echo, SMALL_ECHO)
    with Run(exe, files) as run:
        window_checks(res, run)
        # The end line of the first frame is on the pipe while the program still runs, so
        # every line is flushed as it is written.
        why = ""
        try:
            run.wait_frames(1)
        except Failure as e:
            why = str(e)
        if not res.check("first frame's end line arrives on the pipe while the program runs",
                         not why and run.alive(), why or run.tail()):
            return
        run.settle()
        text = run.text()
        res.check("console ends with a whole frame (nothing held back in a buffer)",
                  text.endswith("\n" + FRAME_END + "\n"), "ends with %r" % text[-80:])
        res.check("console has only newline line ends", "\r" not in text)
        loader, frames = run.loader_and_frames()
        res.same_lines("loader echo, byte for byte", loader, SMALL_ECHO)
        res.same_lines("first frame, byte for byte", frames[0], SMALL_FIRST_FRAME)
        res.same_lines("the model gives the same first frame",
                       frame_lines(vec, START_EYE, 0.0, records), SMALL_FIRST_FRAME)
        res.check("start-up draws one or two frames, all alike",
                  1 <= len(frames) <= 2 and all(f == frames[0] for f in frames),
                  "%d frames" % len(frames))
        run.start()

        eye, step, v = START_EYE, 0.0, list(vec)

        def expect(axes=True, figure=True):
            return frame_lines(v, eye, step, records, axes, figure)

        step = 1.0
        only_frame(res, "'>' steps the animation", run.key("greater"), expect())
        # At step 1 the animated record turns 30 degrees in xy: cos 30 = 0.866 cuts to 0.86.
        res.check("'>' frame shows GLOBAL STEP 1 and the turned matrix",
                  "GLOBAL STEP 1" in run.frames()[-1] and "0.86\t-0.5\t0\t0\t0.43"
                  in run.frames()[-1], "\n".join(run.frames()[-1]))
        step = 2.0
        only_frame(res, "'.' steps the animation", run.key("period"), expect())
        step = 1.0
        only_frame(res, "'<' steps back", run.key("less"), expect())
        step = 0.0
        only_frame(res, "',' steps back", run.key("comma"), expect())
        step = -1.0
        only_frame(res, "',' below zero", run.key("comma"), expect())

        only_frame(res, "'c' hides the status lines", run.key("c"), expect(axes=False))
        only_frame(res, "'v' then hides the matrix too", run.key("v"),
                   expect(axes=False, figure=False))
        only_frame(res, "'z' changes nothing but still draws a frame", run.key("z"),
                   expect(axes=False, figure=False))
        only_frame(res, "'7' changes nothing but still draws a frame", run.key("7"),
                   expect(axes=False, figure=False))
        only_frame(res, "'C' (upper case) shows the status lines again", run.key("C"),
                   expect(figure=False))
        only_frame(res, "'V' (upper case) shows the figure again", run.key("V"), expect())
        only_frame(res, "'b' (drop lines) changes no console text", run.key("b"), expect())
        only_frame(res, "'x' (grids) changes no console text", run.key("x"), expect())
        only_frame(res, "'o' (line width) changes no console text", run.key("o"), expect())

        step01 = f32(0.1)
        for key, idx, sign in (("q", 0, 1), ("a", 0, -1), ("w", 1, 1), ("s", 1, -1),
                               ("e", 2, 1), ("d", 2, -1), ("r", 3, 1), ("f", 3, -1)):
            for _ in range(2 if sign > 0 else 1):
                v[idx] = f32(v[idx] + sign * step01)
                only_frame(res, "'%s' nudges the projection vector" % key, run.key(key),
                           expect())
        # Steps of 0.1 accumulate float rounding: the model adds them one by one as well.
        for _ in range(10):
            v[0] = f32(v[0] + step01)
            frames = run.key("Q")
        only_frame(res, "ten presses of 'Q'", frames, expect())
        for _ in range(22):
            v[3] = f32(v[3] - step01)
            frames = run.key("F")
        # q is now near -0.1: the marker flips to the other side and moves far out.
        only_frame(res, "twenty-two presses of 'F'", frames, expect())
        res.check("program still running after the keys", run.alive(), run.tail())


def scenario_pixels(res, exe):
    """Screenshots: background, axes, q-axis marker and the figure where its projection puts it."""
    # One square parallel to the xz plane at q = 1, which the projection vector moves by
    # (0, 0.3, -0.3), and an animated rotation of 90 degrees per step in the xz plane.
    figure = """\
1
1 0.5 0
1
4
-1.5 0.5 0.5 1
-0.5 0.5 0.5 1
-0.5 0.5 1.5 1
-1.5 0.5 1.5 1
"""
    affine = """\
0 -0.3 0.3 1
1
6 90 0 1 0 0 0 0
"""
    _, fig, vec, records = load_scene(figure, affine)
    orange = colour_of(fig["colour"])
    with Run(exe, {FIGURE_FILE: figure, AFFINE_FILE: affine}) as run:
        run.start()
        shot = run.shot()
        eye = START_EYE

        def figure_points(step, s):
            """Screen positions of the points at fraction s along each projected edge."""
            m = compose(records, step)
            pts = [project3(apply(m, p), vec) for p in fig["polylines"][0]]
            return [screen_point(lerp(pts[i], pts[(i + 1) % 4], s), eye) for i in range(4)]

        for col, row in ((WIN_X + 10, WIN_Y + 10), (WIN_X + WIN_W - 10, WIN_Y + 10),
                         (WIN_X + 10, WIN_Y + WIN_H - 10),
                         (WIN_X + WIN_W - 10, WIN_Y + WIN_H - 10)):
            res.check("white background near window corner (%d, %d)" % (col, row),
                      shot.all_are(col, row, WHITE, radius=4), shot.near(col, row, 1))
        res.check("screen outside the window is not drawn on",
                  not shot.has(WIN_X - 20, WIN_Y + 300, WHITE, radius=2))

        for s in (0.3, 0.6):
            col, row = screen_point([2.0 * s, 0.0, 0.0], eye)
            res.check("red x axis at %.1f of its length, pixel (%d, %d)" % (s, col, row),
                      shot.has(col, row, RED, radius=2), shot.near(col, row, 1))
        col, row = screen_point([0.0, 1.2, 0.0], eye)
        res.check("green y axis", shot.has(col, row, GREEN, radius=2), shot.near(col, row, 1))
        col, row = screen_point([0.0, 0.0, 1.2], eye)
        res.check("blue z axis", shot.has(col, row, BLUE, radius=2), shot.near(col, row, 1))
        # The q-axis point (0, 0, 0, 3) lands at -3 * (0, -0.3, 0.3) = (0, 0.9, -0.9).
        col, row = screen_point([0.0, 0.9, -0.9], eye)
        res.check("magenta q-axis ball at (0, 0.9, -0.9)", shot.has(col, row, MAGENTA, radius=4),
                  shot.near(col, row, 1))
        col, row = screen_point([0.0, 0.45, -0.45], eye)
        res.check("magenta line from the origin to the ball",
                  shot.has(col, row, MAGENTA, radius=2), shot.near(col, row, 1))
        # The x axis runs more across the screen than up it: a vertical cut meets its width.
        col, row = screen_point([1.2, 0.0, 0.0], eye)
        width = shot.widest_run(col, row, RED, reach=3)
        res.check("x axis is 3 pixels wide", 2 <= width <= 4, "width %d" % width)

        # Drop lines: with the ball at (0, 0.9, -0.9) the blue ones run to (0, 0, -0.9) and
        # from there to the origin, where nothing else is drawn.
        blue_drops = [screen_point(p, eye) for p in ([0.0, 0.45, -0.9], [0.0, 0.0, -0.45])]
        res.check("no drop lines at start",
                  not any(shot.has(c, r, BLUE, radius=3) for c, r in blue_drops))
        run.key("b")
        shot_b = run.shot()
        for c, r in blue_drops:
            res.check("'b' draws a blue drop line through (%d, %d)" % (c, r),
                      shot_b.has(c, r, BLUE, radius=2), shot_b.near(c, r, 1))
        col, row = screen_point([0.0, 0.9, -0.45], eye)
        res.check("'b' draws a green drop line from the ball to the y axis",
                  shot_b.has(col, row, GREEN, radius=2), shot_b.near(col, row, 1))
        run.key("B")
        shot_b = run.shot()
        res.check("'B' removes the drop lines again",
                  not any(shot_b.has(c, r, BLUE, radius=3) for c, r in blue_drops))

        for i, (col, row) in enumerate(figure_points(0.0, 0.5)):
            res.check("orange figure edge %d at pixel (%d, %d)" % (i + 1, col, row),
                      shot.has(col, row, orange, radius=2, tol=3), shot.near(col, row, 1))
        inside = screen_point(project3(apply(compose(records, 0.0), [-1.0, 0.5, 1.0, 1.0]),
                                       vec), eye)
        res.check("inside of the square stays white (a loop, not a filled shape)",
                  shot.all_are(inside[0], inside[1], WHITE, radius=3))

        # Line width: width 1 at start, 'o' twelve times stops at 10, 'l' once makes 9.
        # The first edge runs more across the screen than up it, so a vertical cut through it
        # meets as many pixels as the line is wide.
        def width_at_first_edge(shot):
            col, row = figure_points(0.0, 0.5)[0]
            return shot.widest_run(col, row, orange, tol=3)

        w1 = width_at_first_edge(shot)
        res.check("figure lines start 1 pixel wide", 1 <= w1 <= 2, "width %d" % w1)
        for _ in range(12):
            run.key("o")
        w10 = width_at_first_edge(run.shot())
        res.check("twelve 'o' presses stop at width 10", 9 <= w10 <= 11, "width %d" % w10)
        run.key("l")
        w9 = width_at_first_edge(run.shot())
        res.check("one 'l' press makes width 9", w9 == w10 - 1, "widths %d, %d" % (w10, w9))

        # One '>' turns the square by 90 degrees in xz about the 4D origin.
        run.key("greater")
        shot = run.shot()
        old = figure_points(0.0, 0.5)
        for i, (col, row) in enumerate(figure_points(1.0, 0.5)):
            res.check("after '>' the turned edge %d is drawn at (%d, %d)" % (i + 1, col, row),
                      shot.has(col, row, orange, radius=2, tol=3), shot.near(col, row, 1))
        col, row = old[1]
        res.check("after '>' the edge that was at (%d, %d) is gone" % (col, row),
                  not shot.has(col, row, orange, radius=3, tol=3), shot.near(col, row, 1))

        # 'v' hides the figure, 'c' the axes: only the white background is left.
        run.key("v")
        run.key("c")
        shot = run.shot()
        res.check("with 'v' and 'c' no orange is left",
                  shot.count_in_window(orange, tol=3) == 0)
        res.check("with 'c' no red axis is left", shot.count_in_window(RED) == 0)
        res.check("with 'c' no magenta marker is left", shot.count_in_window(MAGENTA) == 0)
        run.key("x")
        shot = run.shot()
        grey = (26, 26, 26)  # 0.1 of full scale
        col, row = screen_point([3.0, 0.5, 0.0], eye)
        res.check("'x' shows the grids: the line x = 3 of the xy grid is dark grey",
                  shot.has(col, row, grey, radius=2, tol=10), shot.near(col, row, 1))
        # That line runs more up the screen than across it: a horizontal cut meets its width.
        # The figure was last drawn 9 pixels wide; the grids must be back at 1.
        width = shot.widest_run(col, row, grey, tol=10, across=True)
        res.check("grid lines are 1 pixel wide after a wide figure", 1 <= width <= 2,
                  "width %d" % width)
        res.check("program still running", run.alive(), run.tail())


def scenario_primitives(res, exe):
    """The figure's line-loop value: open strips, separate points, and no primitive."""
    square = [[-1.5, 0.5, 0.5, 1], [-0.5, 0.5, 0.5, 1], [-0.5, 0.5, 1.5, 1], [-1.5, 0.5, 1.5, 1]]
    affine = "0 -0.3 0.3 1 0\n"  # no transforms

    def figure(line_loop):
        return "%d\n0 0.5 1\n1\n4\n" % line_loop + \
            "".join("%g %g %g %g\n" % tuple(v) for v in square)

    _, fig, vec, _ = load_scene(figure(0), affine)
    colour = colour_of(fig["colour"])
    corners = [project3(v, vec) for v in fig["polylines"][0]]
    middles = [screen_point(lerp(corners[i], corners[(i + 1) % 4], 0.5), START_EYE)
               for i in range(4)]
    corners = [screen_point(c, START_EYE) for c in corners]

    with Run(exe, {FIGURE_FILE: figure(0), AFFINE_FILE: affine}) as run:
        run.start()
        shot = run.shot()
        for i in range(3):
            col, row = middles[i]
            res.check("line loop 0: edge %d is drawn" % (i + 1),
                      shot.has(col, row, colour, radius=2, tol=3), shot.near(col, row, 1))
        col, row = middles[3]
        res.check("line loop 0: the closing edge is not drawn",
                  not shot.has(col, row, colour, radius=3, tol=3), shot.near(col, row, 1))

    with Run(exe, {FIGURE_FILE: figure(3), AFFINE_FILE: affine}) as run:
        run.start()
        for _ in range(5):
            run.key("o")
        shot = run.shot()
        for i, (col, row) in enumerate(corners):
            res.check("line loop 3: vertex %d is a dot" % (i + 1),
                      shot.has(col, row, colour, radius=2, tol=3), shot.near(col, row, 1))
            width = shot.widest_run(col, row, colour, tol=3, reach=3)
            res.check("line loop 3: at width 6 the dot is 6 pixels tall",
                      5 <= width <= 7, "height %d" % width)
        res.check("line loop 3: no edges between the dots",
                  not any(shot.has(c, r, colour, radius=3, tol=3) for c, r in middles))

    with Run(exe, {FIGURE_FILE: figure(2), AFFINE_FILE: affine}) as run:
        run.start()
        res.check("line loop 2: nothing of the figure is drawn",
                  run.shot().count_in_window(colour, tol=3) == 0)
        res.same_lines("line loop 2: the frame is still written in full",
                       run.frames()[-1], frame_lines(vec, START_EYE, 0.0, []))


def scenario_mouse(res, exe):
    """Left drags orbit, right drags zoom, middle drags do nothing but redraw."""
    files = {FIGURE_FILE: SMALL_FIGURE, AFFINE_FILE: SMALL_AFFINE}
    _, _, vec, records = load_scene(SMALL_FIGURE, SMALL_AFFINE)
    cam = Camera()
    with Run(exe, files) as run:
        run.start()
        w = run.window

        def expect():
            return frame_lines(vec, cam.eye, 0.0, records)

        frames = run.mouse("mousedown", "1", frames=0)
        res.check("pressing a button draws no frame", frames == [], "%d frames" % len(frames))
        cam.rotate(10.0, 0.0)
        frames = run.mouse("mousemove", "--window", w, "390", "300")
        only_frame(res, "left drag 10 pixels to the left orbits the eye", frames, expect())
        # By hand: distance sqrt(31.56) = 5.6178, azimuth -2.2 + 0.05 = -2.15, elevation -1.1:
        # x = 5.6178 cos(-1.1) cos(2.15) = -1.395, y = 5.6178 sin(1.1) = 5.0067,
        # z = 5.6178 cos(-1.1) sin(2.15) = 2.132.
        res.check("the first orbit puts the eye at (-1.39, 5, 2.13)",
                  frames[-1][3] == "Eye (x,y,z)  -1.39    5     2.13", frames[-1][3])
        cam.rotate(0.0, 0.0)
        only_frame(res, "a move to the same spot redraws, eye unchanged",
                   run.mouse("mousemove", "--window", w, "390", "300"), expect())
        cam.rotate(-25.0, 40.0)
        only_frame(res, "left drag 25 right and 40 up",
                   run.mouse("mousemove", "--window", w, "415", "260"), expect())
        frames = run.mouse("mouseup", "1", frames=0)
        res.check("releasing a button draws no frame", frames == [], "%d frames" % len(frames))

        # The picture follows the eye: the x axis is where the new view puts it.
        shot = run.shot()
        for s in (0.3, 0.6):
            col, row = screen_point([2.0 * s, 0.0, 0.0], cam.eye)
            res.check("after the orbit the red x axis is at (%d, %d)" % (col, row),
                      shot.has(col, row, RED, radius=2), shot.near(col, row, 1))

        # Right button: up 10 pixels zooms in by 10 percent, down 20 zooms out by 20 percent.
        frames = run.mouse("mousemove", "--window", w, "400", "300", frames=0)
        res.check("moving with no button held draws no frame", frames == [],
                  "%d frames" % len(frames))
        run.mouse("mousedown", "3", frames=0)
        cam.zoom(10)
        only_frame(res, "right drag up 10 pixels zooms in",
                   run.mouse("mousemove", "--window", w, "400", "290"), expect())
        cam.zoom(-20)
        only_frame(res, "right drag down 20 pixels zooms out",
                   run.mouse("mousemove", "--window", w, "400", "310"), expect())
        cam.zoom(150)  # refused: the distance would fall below 1
        only_frame(res, "a zoom past the target is refused",
                   run.mouse("mousemove", "--window", w, "400", "160"), expect())
        run.mouse("mouseup", "3", frames=0)

        # Middle button: no camera change, but a frame per motion.
        run.mouse("mousedown", "2", frames=0)
        only_frame(res, "middle drag redraws without moving the eye",
                   run.mouse("mousemove", "--window", w, "300", "200"), expect())
        run.mouse("mouseup", "2", frames=0)
        res.check("program still running after the drags", run.alive(), run.tail())


def scenario_missing_files(res, exe):
    """No scene files: the window opens, the failure line comes first, frames keep coming."""
    with Run(exe, {}) as run:
        window_checks(res, run)
        run.start()
        loader, frames = run.loader_and_frames()
        res.same_lines("console before the first frame",
                       loader, ["Start Read Special Files ",
                                "PROBLEM WITH FIGURE FILE!!! kvoTessa1F.txt"])
        # The projection vector stays (0, 0, 0, 0): the q-axis point 0 - (3 * 0) / 0 is NaN.
        nan_frame(res, "first frame", frames[0] if frames else [],
                  "Projection Vector (x,y,z,q) (0 , 0 , 0 , 0)")
        shot = run.shot()
        col, row = screen_point([1.0, 0.0, 0.0], START_EYE)
        res.check("white background and red x axis are drawn",
                  shot.all_are(WIN_X + 20, WIN_Y + 20, WHITE) and
                  shot.has(col, row, RED, radius=2), shot.near(col, row, 1))
        frames = run.key("r")
        only_frame(res, "'r' makes q 0.1 and the readout finite", frames,
                   frame_lines([0.0, 0.0, 0.0, f32(0.1)], START_EYE, 0.0, []))
        frames = run.key("Q")
        # 0 - (3 * 0.1) / 0.1 is exactly -3.
        only_frame(res, "'Q' makes x 0.1: the q-axis image is (-3, 0, 0)", frames,
                   frame_lines([f32(0.1), 0.0, 0.0, f32(0.1)], START_EYE, 0.0, []))
        res.check("frame says -3", "Q 3D Projection (x,y,z) (-3 , 0 , 0)" in frames[-1])
        res.check("program still running", run.alive(), run.tail())


def scenario_missing_affine(res, exe):
    """Figure read, affine file missing: the figure is echoed in full, then the failure line."""
    figure = "3 0 0 1 1 2 0 0 0 0 1 1 1 1\n"
    with Run(exe, {FIGURE_FILE: figure}) as run:
        run.start()
        loader, frames = run.loader_and_frames()
        res.same_lines("figure echo, then the affine failure line", loader, [
            "Start Read Special Files ",
            "File Figure Collection kvoTessa1F.txt read successfull!",
            "Line Loop 3",
            "Color 0 0 1",
            "Number Polylines 1",
            "----- Polyline#1 Number Vertex 2",
            "       x,y,z,q 0 0 0 0",
            "       x,y,z,q 1 1 1 1",
            "PROBLEM WITH AFFINE FILE!!! kvoTessa1A.txt",
        ])
        # A figure projected along (0, 0, 0, 0) has non-finite vertices; it must not crash.
        nan_frame(res, "first frame", frames[0] if frames else [],
                  "Projection Vector (x,y,z,q) (0 , 0 , 0 , 0)")
        # The figure's points are not finite either; drawing them must not stop the program.
        frames = run.key("v")
        res.check("'v' hides the figure: one frame", len(frames) == 1, "%d frames" % len(frames))
        nan_frame(res, "'v'", frames[-1] if frames else [],
                  "Projection Vector (x,y,z,q) (0 , 0 , 0 , 0)", figure=False)
        frames = run.key("V")
        res.check("'V' shows it again: one frame", len(frames) == 1, "%d frames" % len(frames))
        nan_frame(res, "'V'", frames[-1] if frames else [],
                  "Projection Vector (x,y,z,q) (0 , 0 , 0 , 0)")
        res.check("program still running", run.alive(), run.tail())


def scenario_example(res, exe):
    """The tesseract example of the repository: loads as intended, turns with '>'."""
    with open(os.path.join(EXAMPLE_DIR, FIGURE_FILE)) as f:
        figure = f.read()
    with open(os.path.join(EXAMPLE_DIR, AFFINE_FILE)) as f:
        affine = f.read()
    echo, fig, vec, records = load_scene(figure, affine)
    edges = set()
    for poly in fig["polylines"]:
        for i in range(len(poly)):
            edges.add(frozenset((tuple(poly[i]), tuple(poly[(i + 1) % len(poly)]))))
    res.check("example figure: 8 closed squares cover the 32 tesseract edges once",
              fig["lineLoop"] == 1 and len(fig["polylines"]) == 8 and len(edges) == 32 and
              all(sum(a != b for a, b in zip(*e)) == 1 for e in edges))
    res.check("example transform list has an animated rotation in a plane with q",
              any(typ == 6 and any(p[k] != 0 for k in (3, 5, 6)) for typ, p in records))
    with Run(exe, {FIGURE_FILE: figure, AFFINE_FILE: affine}) as run:
        run.start()
        loader, frames = run.loader_and_frames()
        res.same_lines("example echo", loader, echo)
        res.same_lines("example first frame", frames[0],
                       frame_lines(vec, START_EYE, 0.0, records))
        shot0 = run.shot()
        orange = colour_of(fig["colour"])
        res.check("example: the tesseract is drawn in its colour",
                  shot0.count_in_window(orange, tol=3) > 200)
        frames = run.key("period")
        only_frame(res, "example: '.' turns the figure", frames,
                   frame_lines(vec, START_EYE, 1.0, records))
        shot1 = run.shot()
        res.check("example: the picture changes after '.'", shot1.data != shot0.data)


def scenario_depth(res, exe):
    """Depth testing: a wide figure line behind the q-axis ball does not paint over it."""
    # The ball sits at c = (0, 0.9, -0.9); the segment crosses the line of sight from the start
    # eye through c at b, half as far again behind the ball, and is drawn after it.
    c = [0.0, 0.9, -0.9]
    b = [ci + 0.5 * (ci - ei) for ci, ei in zip(c, START_EYE)]
    ends = [[b[0] - 0.6, b[1], b[2]], [b[0] + 0.6, b[1], b[2]]]
    figure = "0\n1 0.5 0\n1\n2\n" + "".join("%g %g %g 0\n" % tuple(e) for e in ends)
    affine = "0 -0.3 0.3 1 0\n"
    _, fig, _, _ = load_scene(figure, affine)
    orange = colour_of(fig["colour"])
    with Run(exe, {FIGURE_FILE: figure, AFFINE_FILE: affine}) as run:
        run.start()
        for _ in range(9):
            run.key("o")
        shot = run.shot()
        col, row = screen_point([float("%g" % x) for x in b], START_EYE)
        ball_col, ball_row = screen_point(c, START_EYE)
        res.check("the 10-pixel line passes behind the ball's centre",
                  abs(col - ball_col) < 1.5 and abs(row - ball_row) < 1.5,
                  "(%.1f, %.1f) vs (%.1f, %.1f)" % (col, row, ball_col, ball_row))
        col, row = screen_point(lerp(ends[0], b, 0.5), START_EYE)
        res.check("the line is drawn beside the ball", shot.has(col, row, orange, radius=2, tol=3),
                  shot.near(col, row, 1))
        res.check("the ball's centre stays magenta at line width 10",
                  shot.all_are(ball_col, ball_row, MAGENTA, radius=2), shot.near(ball_col, ball_row, 1))


SCENARIOS = [scenario_console, scenario_pixels, scenario_primitives, scenario_depth, scenario_mouse,
             scenario_missing_files, scenario_missing_affine, scenario_example]


def main():
    if len(sys.argv) != 2:
        print("usage: %s PATH_TO_TESSAVIEW" % sys.argv[0])
        return 2
    exe = os.path.abspath(sys.argv[1])
    res = Results()
    started = time.monotonic()
    for scenario in SCENARIOS:
        print("%s: %s" % (scenario.__name__, scenario.__doc__.splitlines()[0]))
        sys.stdout.flush()
        t0 = time.monotonic()
        try:
            scenario(res, exe)
        except Exception as e:  # a scenario that cannot go on counts as one failure
            detail = str(e) if isinstance(e, Failure) else traceback.format_exc()
            res.check(scenario.__name__ + " ran to the end", False, detail)
        print("  (%.1f s)" % (time.monotonic() - t0))
    print("total %.1f s" % (time.monotonic() - started))
    print("%d passed, %d failed" % (res.passed, res.failed))
    return 1 if res.failed else 0


if __name__ == "__main__":
    sys.exit(main())
