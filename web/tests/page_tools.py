"""The page's tools (make, import, cut, save) against tessascene and the desktop viewer, in one
headless Chromium (SwiftShader WebGL):

  - a table of parameter sets (generated figures with parameters and options, an import of each
    format, cuts by axis and by normal, a sweep): the scene files the page downloads equal the
    files tessascene writes for the same options, byte for byte, and the page's console after
    showing them equals the desktop viewer's on those files (the viewers run one after the other
    in one private X server);
  - the cut slider moved through 10 positions: the cut shown at each equals tessascene slice at
    the offset the page shows;
  - "Link to this" opened fresh gives the same files as the button that made them, and with its
    keys the desktop viewer's readout after the same keys;
  - GIFs made in the page decode into the expected number of frames of 800x600.

usage: page_tools.py TESSASCENE TESSAVIEW PAGE_DIR
Needs chromium, Xvfb, xdotool and ImageMagick's identify.
"""

import functools
import glob
import http.server
import math
import os
import shutil
import subprocess
import sys
import tempfile
import threading
import time
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
sys.path.insert(0, HERE)
import devtools  # noqa: E402
import xsession  # noqa: E402

CORPUS = os.path.join(ROOT, "fuzz", "import_corpus")
FILES = ("kvoTessa1F.txt", "kvoTessa1A.txt")
LOADED = "Number(document.body.dataset.loaded || 0)"

failures = []


def check(name, ok, detail=""):
    print("  %s  %s%s" % ("ok  " if ok else "FAIL", name, "" if ok else ": " + str(detail)[:500]))
    if not ok:
        failures.append(name)


def first_difference(a, b):
    la, lb = a.split(b"\n"), b.split(b"\n")
    for i, (x, y) in enumerate(zip(la, lb)):
        if x != y:
            return "line %d: page %r, expected %r" % (i + 1, x[:120], y[:120])
    return "page %d lines, expected %d" % (len(la), len(lb))


# Each row: (what, how the page makes it, tessascene's arguments). The page makes it from an
# address (link: the query), or with its panel (panel: the figure, its parameters, options as
# {field: value}, a file to import, the cut's axis).
ROWS = [
    ("generate 5-cell", {"panel": {"figure": "5-cell"}}, ["generate", "5-cell"]),
    ("generate duoprism:4,6 --size 1.5 --color 0.2,0.4,0.6",
     {"panel": {"figure": "duoprism", "parameters": ["4", "6"],
                "options": {"size": "1.5", "color": "0.2,0.4,0.6"}}},
     ["generate", "duoprism:4,6", "--size", "1.5", "--color", "0.2,0.4,0.6"]),
    ("generate clifford-torus:12,10 --line-loop 1 --spin yz:10 --spin xq",
     {"link": "make=clifford-torus:12,10&line-loop=1&spin=yz:10&spin=xq"},
     ["generate", "clifford-torus:12,10", "--line-loop", "1", "--spin", "yz:10", "--spin", "xq"]),
    ("generate 3-sphere:2,4 with projection, scale and two rotations",
     {"link": "make=3-sphere:2,4&projection=0.3,0.2,0.1,2&scale=0.8&rotate=xy:30&rotate=zq:-45"},
     ["generate", "3-sphere:2,4", "--projection", "0.3,0.2,0.1,2", "--scale", "0.8",
      "--rotate", "xy:30", "--rotate", "zq:-45"]),
    ("generate 600-cell --line-loop 3 --spin none (the panel)",
     {"panel": {"figure": "600-cell", "options": {"line-loop": "3", "spin": "none"}}},
     ["generate", "600-cell", "--line-loop", "3", "--spin", "none"]),
    ("generate 120-cell", {"link": "make=120-cell"}, ["generate", "120-cell"]),
    ("generate truncated-24-cell (a uniform polychoron by name)",
     {"panel": {"figure": "truncated-24-cell"}}, ["generate", "truncated-24-cell"]),
    ("generate wythoff:B4:1001 (the panel's GROUP:RINGS)",
     {"panel": {"figure": "wythoff", "parameters": ["B4:1001"]}}, ["generate", "wythoff:B4:1001"]),
    ("project tesseract --perspective 3 (the panel)",
     {"panel": {"figure": "tesseract", "options": {"perspective": "3"}}},
     ["project", "tesseract", "--perspective", "3"]),
    ("project bitruncated-16-cell --stereographic (the other name, a link)",
     {"link": "make=bitruncated-16-cell&stereographic"},
     ["project", "bitruncated-16-cell", "--stereographic"]),
    ("slice tesseract --at q=0 (a cube)", {"link": "make=tesseract&at=q=0"},
     ["slice", "tesseract", "--at", "q=0"]),
    ("slice 24-cell --hyperplane 1,1,0,0:0.5", {"link": "make=24-cell&hyperplane=1,1,0,0:0.5"},
     ["slice", "24-cell", "--hyperplane", "1,1,0,0:0.5"]),
    ("slice 16-cell --size 3 --at x=0.25 --center", {"link": "make=16-cell&size=3&center&at=x%3D0.25"},
     ["slice", "16-cell", "--size", "3", "--center", "--at", "x=0.25"]),
    ("import a CSV table (numpy's savetxt)", {"panel": {"file": "table-numpy.csv"}},
     ["import", "table-numpy.csv"]),
    ("import a TSV table --group run", {"panel": {"file": "walks.tsv",
                                                  "options": {"group": "run"}}},
     ["import", "walks.tsv", "--group", "run"]),
    ("import a .npy array (K, N, 4)", {"panel": {"file": "array-3d.npy"}},
     ["import", "array-3d.npy"]),
    ("import an .npz archive (deflated)", {"panel": {"file": "arrays-deflated.npz",
                                                     "options": {"array": "walk"}}},
     ["import", "arrays-deflated.npz", "--array", "walk"]),
    ("import a gzip-compressed CSV", {"panel": {"file": "table-pandas.csv.gz"}},
     ["import", "table-pandas.csv.gz"]),
    ("import a 4OFF file", {"panel": {"file": "five_cell_cells.4off"}},
     ["import", "five_cell_cells.4off"]),
    ("import an nOFF file", {"panel": {"file": "square_pyramid.noff"}},
     ["import", "square_pyramid.noff"]),
    ("import a 4VECT file", {"panel": {"file": "corners.4vect"}}, ["import", "corners.4vect"]),
    ("import a 4SKEL file --line-loop 3", {"panel": {"file": "open_paths.4skel",
                                                     "options": {"line-loop": "3"}}},
     ["import", "open_paths.4skel", "--line-loop", "3"]),
    ("import a long curve (simplified), cut at the middle of its z",
     {"panel": {"file": "curve.csv", "cut": "z"}}, ["slice", "curve.csv", "--at", "z=OFFSET"]),
]


class QuietHandler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


class Page:
    """The page in one Chromium, served with the import files beside it."""

    def __init__(self, page_dir, data_dir, scratch):
        self.data = data_dir
        self.scratch = scratch
        self.downloads = 0
        handler = functools.partial(QuietHandler, directory=page_dir)
        self.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
        threading.Thread(target=self.server.serve_forever, daemon=True).start()
        self.base = "http://127.0.0.1:%d/index.html" % self.server.server_address[1]
        self.tools = devtools.Devtools()

    def close(self):
        self.tools.close()
        self.server.shutdown()

    def js(self, expression):
        return self.tools.evaluate(expression)

    def open(self, query):
        self.tools.open(self.base + query, "document.body && (document.body.dataset.ready === '1'"
                        " || document.getElementById('overlay').className === 'error')", 120)

    def shown(self, before, timeout=120):
        """Waits until the page has shown more scenes than before; returns the status line."""
        self.tools.wait_for("%s > %d || document.getElementById('status').className === 'error'"
                            % (LOADED, before), "a scene shown", timeout)
        status = self.js("document.getElementById('status').textContent.trim()")
        if self.js("document.getElementById('status').className") == "error":
            raise devtools.Failure("the page says: " + status)
        return status

    def panel_make(self, request):
        """Fills the panel as request says and presses Make or Import; returns the status line."""
        before = self.js(LOADED)
        options = request.get("options", {})
        self.js("""(() => {
            for (const field of document.querySelectorAll('#tools [data-option]')) {
              if (field.type === 'checkbox') field.checked = false; else field.value = '';
            }
            document.getElementById('cut-kind').value = %s;
            document.getElementById('cut-offset').disabled = %s;
            document.getElementById('cut-offset').value = 500;
            const options = %s;
            for (const [name, value] of Object.entries(options)) {
              document.querySelector('#tools [data-option="' + name + '"]').value = value;
            }
          })()""" % (repr(request.get("cut", "")), "false" if request.get("cut") else "true",
                     repr(options).replace("'", '"')))
        if "file" in request:
            node = self.tools.call("Runtime.evaluate", expression="document.getElementById"
                                   "('data-file')")["result"]["objectId"]
            self.tools.call("DOM.setFileInputFiles", objectId=node,
                            files=[os.path.join(self.data, request["file"])])
            self.tools.wait_for("document.getElementById('data-name').textContent !== ''",
                                "the file chosen")
            self.js("document.getElementById('data-name').textContent = ''")
            self.js("document.getElementById('import').click()")
        else:
            self.js("""(() => {
                const list = document.getElementById('figure');
                list.value = %s;
                list.dispatchEvent(new Event('change'));
                const values = %s;
                document.querySelectorAll('#figure-parameters input')
                  .forEach((input, k) => { input.value = values[k]; });
                document.getElementById('make').click();
              })()""" % (repr(request["figure"]), repr(request.get("parameters", []))))
        return self.shown(before)

    def save(self, button):
        """Presses a button of the Save part; returns the path of the file it downloads."""
        self.downloads += 1
        folder = os.path.join(self.scratch, "download-%d" % self.downloads)
        os.makedirs(folder)
        self.tools.downloads(folder)
        self.js("document.getElementById(%r).click()" % button)
        deadline = time.monotonic() + 120
        while time.monotonic() < deadline:
            done = [p for p in glob.glob(os.path.join(folder, "*"))
                    if not p.endswith(".crdownload")]
            if done:
                time.sleep(0.1)
                return done[0]
            time.sleep(0.05)
        raise devtools.Failure("no download from " + button)

    def scene_files(self):
        """The shown scene's files from the page's .zip: {name: bytes}."""
        with zipfile.ZipFile(self.save("save-zip")) as archive:
            return {os.path.basename(n): archive.read(n) for n in archive.namelist()
                    if not n.endswith("/")}

    def console(self):
        """The console panel, once its batching has passed."""
        self.js("new Promise(r => setTimeout(r, 250))")
        return self.js("document.getElementById('console').textContent").encode("utf-8")


def tessascene(tool, args, data, out):
    """tessascene's files for args (run in data), in the new folder out: {name: bytes}."""
    r = subprocess.run([tool] + args + ["-o", out], cwd=data, capture_output=True, text=True)
    if r.returncode != 0:
        raise devtools.Failure("tessascene %s: %s" % (" ".join(args), r.stderr.strip()))
    return read_folder(out)


def read_folder(folder):
    result = {}
    for name in FILES:
        with open(os.path.join(folder, name), "rb") as f:
            result[name] = f.read()
    return result


def write_tables(data):
    """A long 4D curve that tessascene simplifies, and three walks in one TSV table."""
    with open(os.path.join(data, "curve.csv"), "w") as f:
        f.write("x,y,z,q\n")
        for i in range(12000):
            t = i / 1000.0
            f.write("%.9f,%.9f,%.9f,%.9f\n" % (math.sin(3 * t), math.sin(4 * t + 0.5),
                                               math.sin(5 * t + 1), math.sin(7 * t + 1.5)))
    with open(os.path.join(data, "walks.tsv"), "w") as f:
        f.write("step\tx\ty\tz\tw\trun\n")
        for run in range(3):
            for step in range(20):
                f.write("%d\t%g\t%g\t%g\t%g\trun%d\n" % (step, math.cos(step + run), step * 0.1,
                                                        math.sin(step * run), run - step * 0.05,
                                                        run))


def table_rows(page, tool, data, scratch):
    """Every row: the page's files against tessascene's; returns [(what, folder, console)] for
    the desktop comparison."""
    print("The page's scene files against tessascene's")
    shown = []
    for k, (what, how, args) in enumerate(ROWS):
        try:
            if "link" in how:
                page.open("?" + how["link"])
                page.shown(0)
            else:
                page.panel_make(how["panel"])
            console = page.console()
            got = page.scene_files()
            args = [a.replace("OFFSET", page.js("document.getElementById('cut-value').textContent"))
                    for a in args]
            folder = os.path.join(scratch, "row-%02d" % k)
            want = tessascene(tool, args, data, folder)
            same = got == want
            check("%s: the page's files are tessascene's (%d and %d bytes)"
                  % (what, len(want[FILES[0]]), len(want[FILES[1]])), same,
                  {n: first_difference(got.get(n, b""), want[n]) for n in FILES
                   if got.get(n) != want[n]})
            if same:
                shown.append((what, folder, console))
        except (devtools.Failure, xsession.Failure) as e:
            check(what, False, e)
    return shown


def desktop_rows(tessaview, shown):
    print("The page's console against the desktop viewer's on the same files")
    consoles = xsession.first_frames(tessaview, [folder for _, folder, _ in shown])
    for what, folder, console in shown:
        want = consoles[folder]
        check("%s: the console is the desktop's (%d bytes)" % (what, len(want)), console == want,
              first_difference(console, want))


def sweep_row(page, tool, data, scratch):
    print("A sweep")
    page.open("?make=24-cell")
    page.shown(0)
    page.js("document.getElementById('gif-count').value = 5")
    with zipfile.ZipFile(page.save("save-sweep")) as archive:
        names = sorted(n for n in archive.namelist() if not n.endswith("/"))
        got = {n.split("/", 1)[1]: archive.read(n) for n in names}
    out = os.path.join(scratch, "sweep")
    r = subprocess.run([tool, "slice", "24-cell", "--sweep", "5", "-o", out], cwd=data,
                       capture_output=True, text=True)
    want = {}
    for folder in sorted(os.listdir(out)):
        for name, content in read_folder(os.path.join(out, folder)).items():
            want[folder + "/" + name] = content
    check("slice 24-cell --sweep 5: the page's %d files are tessascene's" % len(want),
          r.returncode == 0 and got == want, sorted(set(got) ^ set(want)) or
          [n for n in want if got.get(n) != want[n]])


def live_cut(page, tool, data, scratch):
    """The slider through 10 positions on the 24-cell along q."""
    print("The live cut")
    page.open("?make=24-cell&at=q=0")
    page.shown(0)
    echoed = page.console()
    for position in range(10):
        value = 50 + 100 * position
        before = page.js("Number(document.body.dataset.cuts || 0)")
        page.js("""(() => { const s = document.getElementById('cut-offset'); s.value = %d;
                           s.dispatchEvent(new Event('input')); })()""" % value)
        page.tools.wait_for("Number(document.body.dataset.cuts || 0) > %d" % before, "a live cut")
        offset = page.js("document.getElementById('cut-value').textContent")
        got = page.scene_files()
        want = tessascene(tool, ["slice", "24-cell", "--at", "q=" + offset], data,
                          os.path.join(scratch, "live-%d" % position))
        check("slider at %d/1000: the cut shown is tessascene slice 24-cell --at q=%s"
              % (value, offset), got == want)
    check("while the slider moves the console does not echo each cut", page.console() == echoed)
    # The slider rests: the console ends with the echo and first frame of the cut shown.
    before = page.js(LOADED)
    page.js("document.getElementById('cut-offset').dispatchEvent(new Event('change'))")
    page.shown(before)
    return page.console(), page.scene_files()


def link_row(page, tool, tessaview, data, scratch):
    """The panel's make with a cut and keys, then its link opened fresh."""
    print("Link to this")
    page.open("?example=tesseract")
    page.js("document.getElementById('cut-kind').value = 'q'")
    page.panel_make({"figure": "24-cell", "options": {"size": "2", "spin": "yz:10 xq"}, "cut": "q"})
    before = page.js(LOADED)
    page.js("""(() => { const s = document.getElementById('cut-offset'); s.value = 700;
                       s.dispatchEvent(new Event('input')); s.dispatchEvent(new Event('change'));
                     })()""")
    page.shown(before)
    for key in ">>":
        page.tools.key(key)
    page.js("new Promise(r => setTimeout(r, 700))")  # the address follows the keys
    made = page.scene_files()
    page.js("document.getElementById('link').click()")
    link = page.js("location.href")
    page.tools.open("about:blank", "true")
    page.tools.open(link, "document.body && document.body.dataset.ready === '1'", 120)
    page.shown(0)
    check("the link's cut is the slider's, not the middle", "q%3D0&" not in link, link)
    spins = page.js("document.querySelector('[data-option=spin]').value")
    check("the panel filled from the link keeps both spins", spins == "yz:10 xq", spins)
    opened = page.scene_files()
    offset = page.js("document.getElementById('cut-value').textContent")
    check("%s: opened fresh, the same files as the button" % link[link.index("?"):],
          opened == made and "keys=%3E%3E" in link)
    folder = os.path.join(scratch, "link")
    want = tessascene(tool, ["slice", "24-cell", "--size", "2", "--spin", "yz:10", "--spin", "xq",
                                   "--at", "q=" + offset], data, folder)
    check("... and tessascene's", opened == want)
    console = page.console()
    with xsession.Run(tessaview, {n: want[n].decode() for n in FILES}) as run:
        run.start()
        for key in ("greater", "greater"):
            run.key(key)
        run.settle()
        desk = run.text().encode("latin-1")
    check("... and the desktop viewer's console after the same keys (%d bytes)" % len(desk),
          console == desk, first_difference(console, desk))


def gifs(page):
    print("GIFs and the PNG")
    page.open("?make=tesseract")
    page.shown(0)
    path = page.save("save-png")
    r = subprocess.run(["identify", "-format", "%m %W %H\n", path], capture_output=True, text=True)
    check("the PNG is the view, 800x600", r.returncode == 0 and r.stdout == "PNG 800 600\n",
          r.stdout + r.stderr)
    for kind, count, frames in (("turn", 4, 5), ("sweep", 3, 3)):
        page.js("document.getElementById('gif-kind').value = %r;"
                "document.getElementById('gif-count').value = %d" % (kind, count))
        path = page.save("save-gif")
        r = subprocess.run(["identify", "-format", "%W %H\n", path], capture_output=True,
                           text=True)
        sizes = r.stdout.split("\n")[:-1]
        check("a GIF of a %s, N = %d: %d frames of 800x600" % (kind, count, frames),
              r.returncode == 0 and sizes == ["800 600"] * frames, r.stdout + r.stderr)


def main():
    if len(sys.argv) != 4:
        print("usage: %s TESSASCENE TESSAVIEW PAGE_DIR" % sys.argv[0])
        return 2
    tool, tessaview, page_dir = (os.path.abspath(a) for a in sys.argv[1:])
    scratch = tempfile.mkdtemp(prefix="tessaview-tools-")
    data = os.path.join(scratch, "data")
    shutil.copytree(CORPUS, data)
    write_tables(data)
    page = Page(page_dir, data, scratch)
    try:
        page.open("?example=tesseract")
        shown = table_rows(page, tool, data, scratch)
        sweep_row(page, tool, data, scratch)
        rest_console, rest_files = live_cut(page, tool, data, scratch)
        rest = os.path.join(scratch, "rest")
        os.makedirs(rest)
        for name, content in rest_files.items():
            with open(os.path.join(rest, name), "wb") as f:
                f.write(content)
        shown.append(("the live cut at rest", rest, rest_console))
        desktop_rows(tessaview, shown)
        link_row(page, tool, tessaview, data, scratch)
        gifs(page)
    except (devtools.Failure, xsession.Failure) as e:
        check("the run", False, e)
    finally:
        page.close()
        shutil.rmtree(scratch, ignore_errors=True)
    print("%d failed" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
