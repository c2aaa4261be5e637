"""The page as its users meet it, in headless Chromium (SwiftShader WebGL):

  - installed, then copied with `cp -r` and served with `python3 -m http.server` as the README
    says: a plain folder that serves every example and a scene folder put beside it;
  - a start that fails (the core's script missing) and the messages for an unknown example, a
    traversal and a missing ?scene= folder, each naming what was asked and where;
  - opened from disk (file://): the tesseract, a chosen pair of files, keys after choosing, and
    ?scene= explained in words; without a worker or WebGL2, the same readout and a word why;
  - keys after choosing an example, an on-screen key button;
  - a one-finger touch drag gives the readout of the same left drag, a pinch that of the right
    drag it stands for, the wheel that of a right drag; on a phone held sideways the page scrolls
    beside the view;
  - after 20 keys the console panel shows the newest frame (1024x768, where it shows many
    lines), and the browser's console holds the same text;
  - at two device pixels per CSS pixel the canvas draws twice as sharp;
  - a 50 MB figure file: progress shown, no main-thread task over 200 ms, every key answered
    within 200 ms, and the panel's note counts the lines it dropped.

usage: page_use.py CMAKE BUILD_DIR
"""

import math
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, HERE)
import devtools  # noqa: E402
from devtools import Failure  # noqa: E402

LIMIT_MS = 200
PANEL = "document.getElementById('console')"
STATUS = "document.getElementById('status').textContent.trim()"
OVERLAY = ("(o => o.hidden ? '' : o.textContent)(document.getElementById('overlay'))")
SETTLED = ("document.body && (document.body.dataset.ready === '1' || "
           "document.getElementById('overlay').className === 'error')")
FRAME_END = "=" * 30 + "\n"

failures = []


def check(name, ok, detail=""):
    print("  %s  %s%s" % ("ok  " if ok else "FAIL", name, "" if ok else ": " + str(detail)[:600]))
    if not ok:
        failures.append(name)


def panel(tools):
    return tools.evaluate(PANEL + ".textContent")


def settle(tools, ms=350):
    """Waits past the panel's 100 ms batching and a frame or two."""
    tools.evaluate("new Promise(r => setTimeout(r, %d))" % ms)


def viewport(tools, width, height, ratio=1):
    tools.call("Emulation.setDeviceMetricsOverride", width=width, height=height,
               deviceScaleFactor=ratio, mobile=False)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def write_figure(path, polylines, vertices=90):
    """A figure file of closed polylines; returns its size in bytes."""
    with open(path, "w") as f:
        f.write("1\n1 0.5 0\n%d\n" % polylines)
        for i in range(polylines):
            b = 2 * math.pi * i / polylines
            rows = ["%d\n" % vertices]
            for j in range(vertices):
                a = 2 * math.pi * j / vertices
                rows.append("%.4f %.4f %.4f %.4f\n" % (math.cos(a), 0.7 * math.sin(a),
                                                       0.5 * math.cos(b), math.sin(a + b)))
            f.write("".join(rows))
    return os.path.getsize(path)


def choose_files(tools, paths):
    """Chooses files in the page's file input, as a person does in the file dialog."""
    node = tools.call("Runtime.evaluate",
                      expression="document.getElementById('files')")["result"]["objectId"]
    tools.call("DOM.setFileInputFiles", files=paths, objectId=node)


def installed_copy(cmake, build, scratch):
    """The installed page copied with cp -r into scratch/site, as the README's hosting steps."""
    root = os.path.join(scratch, "root")
    r = subprocess.run([cmake, "--install", build, "--prefix", "/usr"],
                       env=dict(os.environ, DESTDIR=root), capture_output=True, text=True)
    if r.returncode != 0:
        raise Failure("cmake --install failed: " + r.stdout + r.stderr)
    site = os.path.join(scratch, "site")
    subprocess.run(["cp", "-r", os.path.join(root, "usr/share/tessaview/web"), site], check=True)
    links = [os.path.join(d, n) for d, dirs, files in os.walk(site) for n in dirs + files
             if os.path.islink(os.path.join(d, n))]
    check("the installed page is a plain folder (no link in its copy)", not links, links)
    cube = os.path.join(site, "my-scenes", "cube")
    os.makedirs(cube)
    for name in ("kvoTessa1F.txt", "kvoTessa1A.txt"):
        shutil.copy(os.path.join(ROOT, "examples", "tesseract", name), cube)
    # A copy that lacks the core's script, for a failed start.
    broken = os.path.join(site, "broken")
    os.makedirs(broken)
    for name in os.listdir(site):
        if name.endswith((".html", ".js", ".css")) and name != "tessaview.js":
            shutil.copy(os.path.join(site, name), broken)
    return site


def hosted(tools, base):
    print("The installed page, copied and served")
    names = tools.evaluate("window.tessaviewExamples")
    wrong = []
    for name in names:
        tools.open(base + "index.html?example=" + name)
        text = panel(tools)
        if not (text.startswith("Start Read Special Files \n") and "PROBLEM" not in text and
                "Finish Read Special Files \n" in text and text.endswith(FRAME_END)):
            wrong.append((name, text[:200]))
    check("the copy serves every example (%d) with a complete echo and frame" % len(names),
          len(names) == len(os.listdir(os.path.join(ROOT, "examples"))) and not wrong, wrong)
    tools.open(base + "index.html?example=tesseract&keys=%3E%3E")
    example = panel(tools)
    tools.open(base + "index.html?scene=my-scenes/cube&keys=%3E%3E")
    check("?scene=my-scenes/cube beside the copy reads as the example",
          panel(tools) == example and "GLOBAL STEP 2\n" in example)

    print("Errors in words")
    tools.open(base + "broken/index.html", SETTLED)
    check("without tessaview.js the page says so", "tessaview.js" in tools.evaluate(OVERLAY),
          tools.evaluate(OVERLAY))
    for query, wanted in (("example=../../etc", ["\u201c../../etc\u201d"]),
                          ("example=Tesseract", ["\u201cTesseract\u201d", "\u201ctesseract\u201d"]),
                          ("scene=no-such-folder",
                           ["\u201cno-such-folder\u201d", base + "no-such-folder/kvoTessa1F.txt",
                            "404"])):
        tools.open(base + "index.html?" + query, SETTLED)
        status = tools.evaluate(STATUS)
        check("?%s: the status names %s" % (query, ", ".join(wanted)),
              all(w in status for w in wanted), status)
    check("?scene=no-such-folder: the viewer reads the files as missing, as the desktop does",
          panel(tools).startswith("Start Read Special Files \nPROBLEM WITH FIGURE FILE!!! "))
    return example


def from_disk(tools, site, example):
    print("From disk")
    page = "file://" + os.path.join(site, "index.html")
    tools.open(page + "?keys=%3E%3E")
    check("file:// opens the tesseract", panel(tools) == example)
    folder = os.path.join(ROOT, "examples", "24-cell")
    tools.evaluate("document.getElementById('files').focus()")
    choose_files(tools, [os.path.join(folder, n) for n in ("kvoTessa1F.txt", "kvoTessa1A.txt")])
    tools.wait_for("document.body.dataset.loaded === '2'", "the chosen files")
    text = panel(tools)
    tools.key(">")
    settle(tools)
    check("file://: chosen files load, and keys reach the viewer after choosing",
          text.startswith("Start Read Special Files \n") and "Number Polylines 2\n" in text and
          panel(tools).endswith(FRAME_END) and "GLOBAL STEP 1\n" in panel(tools)[len(text):])
    tools.open(page + "?scene=my-scenes/cube", SETTLED)
    check("file://?scene= explains in words why it cannot read the folder",
          "opened from disk" in tools.evaluate(STATUS), tools.evaluate(STATUS))


def lacking(tools, base, example):
    print("Browsers that lack a part")
    tools.call("Page.enable")
    for part, source in (("worker", "window.Worker = undefined;"),
                         ("WebGL2", "HTMLCanvasElement.prototype.getContext = () => null;")):
        script = tools.call("Page.addScriptToEvaluateOnNewDocument", source=source)["identifier"]
        try:
            tools.open(base + "index.html?keys=%3E%3E")
            said = tools.evaluate(STATUS) + " " + tools.evaluate(OVERLAY)
            check("without %s the page reads the scene and says what it lacks" % part,
                  panel(tools) == example and part in said, said)
        finally:
            tools.call("Page.removeScriptToEvaluateOnNewDocument", identifier=script)
    tools.call("Page.disable")


def keys_and_buttons(tools, base):
    print("Keys after choosing, buttons")
    tools.open(base + "index.html")
    tools.evaluate("(s => { s.focus(); s.value = '24-cell'; "
                   "s.dispatchEvent(new Event('change')); })(document.getElementById('example'))")
    tools.wait_for("document.body.dataset.loaded === '2'", "the chosen example")
    for char in ">>>":
        tools.key(char)
    settle(tools)
    check("keys work after choosing an example", panel(tools).count("GLOBAL STEP 3\n") == 1)
    box = tools.evaluate("(b => { const r = b.getBoundingClientRect(); return [r.x + r.width / 2, "
                         "r.y + r.height / 2]; })(document.querySelector('#keys button'))")
    tools.mouse("down", box[0], box[1], "left")
    tools.mouse("up", box[0], box[1], "left")
    settle(tools)
    check("the first key button presses '>', and the keys stay with the view",
          "GLOBAL STEP 4\n" in panel(tools) and
          tools.evaluate("document.activeElement === document.getElementById('view')"))


def touch_and_wheel(tools, base):
    print("Touch and the wheel")
    url = base + "index.html?example=tesseract"
    path = [(400, 300), (390, 300), (415, 260), (430, 281)]

    def after(send):
        tools.open(url)
        start = len(panel(tools))
        send()
        settle(tools)
        return panel(tools)[start:]

    def mouse_drag(button, points):
        tools.mouse("down", points[0][0], points[0][1], button)
        for x, y in points[1:]:
            tools.mouse("move", x, y, button)
        tools.mouse("up", points[-1][0], points[-1][1], button)

    left = after(lambda: mouse_drag("left", path))
    # A pinch from 100 to 110, 120 and 140 pixels apart around (400, 300): the right drag from
    # (400, 300) up to (400, 290), (400, 280) and (400, 260).
    right = after(lambda: mouse_drag("right", [(400, 300 - d) for d in (0, 10, 20, 40)]))
    wheel = after(lambda: tools.call("Input.dispatchMouseEvent", type="mouseWheel", x=400,
                                     y=300, deltaX=0, deltaY=-100))
    one_notch = after(lambda: mouse_drag("right", [(400, 300), (400, 290)]))
    tools.call("Emulation.setTouchEmulationEnabled", enabled=True, maxTouchPoints=5)
    try:
        def finger():
            tools.touch("start", path[:1])
            for point in path[1:]:
                tools.touch("move", [point])
            tools.touch("end", [])

        def pinch():
            # One finger moves at a time: the protocol sends one event per finger moved.
            tools.touch("start", [(350, 300)])
            tools.touch("start", [(350, 300), (450, 300)])
            for d in (10, 20, 40):
                tools.touch("move", [(350, 300), (450 + d, 300)])
            tools.touch("end", [])
        touched = after(finger)
        pinched = after(pinch)
        # A phone on its side: a swipe beside the view scrolls the page, one on it turns the view.
        tools.call("Emulation.setDeviceMetricsOverride", width=844, height=390,
                   deviceScaleFactor=2, mobile=True)
        tools.open(url)
        scrolled = []
        for x in (60, 420):
            tools.evaluate("scrollTo(0, 0)")
            tools.touch("start", [(x, 300)])
            for y in range(280, 100, -20):
                tools.touch("move", [(x, y)])
            tools.touch("end", [])
            settle(tools)
            scrolled.append(tools.evaluate("scrollY"))
        frames = panel(tools).count(FRAME_END)
    finally:
        tools.call("Emulation.setTouchEmulationEnabled", enabled=False)
        viewport(tools, 1300, 700)
    check("a one-finger drag gives the readout of the same left drag (%d frames)"
          % left.count(FRAME_END), touched == left and left.count(FRAME_END) == 3,
          (touched[:300], left[:300]))
    check("a pinch gives the readout of the right drag it stands for, and zooms",
          pinched == right and right.count(FRAME_END) == 3 and "Eye (x,y,z)  -1.6    5     2\n"
          not in right, (pinched[:300], right[:300]))
    check("on a phone on its side a swipe beside the view scrolls the page (%d pixels), one on "
          "the view turns it (%d frames)" % (scrolled[0], frames - 1),
          scrolled[0] > 100 and scrolled[1] == 0 and frames == 10, scrolled)
    check("a wheel notch up zooms as a right drag of 10 pixels up",
          wheel == one_notch and one_notch.count(FRAME_END) == 1, (wheel[:300], one_notch[:300]))


def following(tools, base):
    print("The console panel at 1024x768")
    viewport(tools, 1024, 768)
    tools.call("Runtime.enable")
    try:
        tools.open(base + "index.html?example=120-cell")
        tools.events.clear()
        for k in range(20):
            tools.key(">")
            time.sleep(0.03 * (k % 4))  # some keys together, some apart
        settle(tools, 500)
        state = tools.evaluate("""(p => {
            const range = document.createRange();
            const last = p.lastElementChild.firstChild;
            range.setStart(last, last.data.length - 2);
            range.setEnd(last, last.data.length - 1);
            const line = range.getBoundingClientRect(), box = p.getBoundingClientRect();
            // The panel's lines in the window, without scrolling the page.
            const seen = Math.min(box.top + p.clientHeight, innerHeight) - Math.max(box.top, 0);
            return {text: p.textContent, shown: line.top >= box.top && line.bottom <= box.bottom,
                    lines: Math.floor(seen / parseFloat(getComputedStyle(p).lineHeight))};
        })(%s)""" % PANEL)
        logged = "".join(e["params"]["args"][0].get("value", "") + "\n" for e in tools.events
                         if e["method"] == "Runtime.consoleAPICalled")
    finally:
        tools.call("Runtime.disable")
        viewport(tools, 1300, 700)
    text = state["text"]
    check("after 20 keys the panel shows the end of the newest frame",
          state["shown"] and "GLOBAL STEP 20\n" in text.rsplit("Start Draw", 1)[1], text[-200:])
    check("the window shows %d console lines at 1024x768" % state["lines"], state["lines"] >= 30)
    keys = text[text.index(FRAME_END, text.index("GLOBAL STEP 0\n")) + len(FRAME_END):]
    check("the browser's console has the keys' frames as the panel has them",
          keys.count(FRAME_END) == 20 and logged.endswith(keys), logged[-200:])


def sharp(tools, base, scratch):
    print("Density")
    counts = []
    for ratio in (1, 2):
        viewport(tools, 1300, 700, ratio)
        tools.open(base + "index.html?example=tesseract")
        width = tools.evaluate("document.getElementById('view').width")
        shot = os.path.join(scratch, "ratio.png")
        settle(tools)
        tools.screenshot(shot, (0, 0, 800, 600))
        # Pure figure orange: a canvas stretched to the screen blurs its lines into other tones.
        raw = subprocess.run(["/usr/bin/convert", shot, "-depth", "8", "rgb:-"],
                             capture_output=True, check=True).stdout
        counts.append((width, sum(1 for r, g, b in zip(raw[0::3], raw[1::3], raw[2::3])
                                  if r >= 247 and abs(g - 128) <= 8 and b <= 8)))
    viewport(tools, 1300, 700)
    (w1, c1), (w2, c2) = counts
    check("at 2 device pixels per CSS pixel the canvas is %d wide and its lines twice as wide "
          "and long (%d pure figure pixels, %d at 1)" % (w2, c2, c1),
          w1 == 800 and w2 == 1600 and 3.2 <= c2 / max(c1, 1) <= 4.8)


def large_file(tools, base, scratch):
    print("A 50 MB figure file")
    folder = os.path.join(scratch, "large")
    os.makedirs(folder)
    affine = os.path.join(ROOT, "examples", "tesseract", "kvoTessa1A.txt")
    shutil.copy(affine, folder)
    polylines = 19000
    size = write_figure(os.path.join(folder, "kvoTessa1F.txt"), polylines)
    # The same shape with 91 polylines: its line count less 91 blocks is what every file of
    # this shape adds to its blocks.
    small = os.path.join(scratch, "small")
    os.makedirs(small)
    shutil.copy(affine, small)
    write_figure(os.path.join(small, "kvoTessa1F.txt"), 91)
    tools.open(base + "index.html")
    choose_files(tools, [os.path.join(small, n) for n in ("kvoTessa1F.txt", "kvoTessa1A.txt")])
    tools.wait_for("document.body.dataset.loaded === '2'", "the small file")
    text = panel(tools)
    rest = text.count("\n") - 91 * 91
    frame = text[text.rindex("           Start Draw"):].count("\n")
    tools.evaluate(devtools.watch_tasks_and_keys(PANEL))
    tools.evaluate("""(() => {
        window.progress = [];
        new MutationObserver(() => progress.push(%s))
            .observe(document.getElementById('status'), {subtree: true, childList: true,
                                                         characterData: true});
    })()""" % STATUS)
    started = time.monotonic()
    choose_files(tools, [os.path.join(folder, n) for n in ("kvoTessa1F.txt", "kvoTessa1A.txt")])
    keys = 0
    while tools.evaluate("document.body.dataset.loaded") != "3":
        if time.monotonic() - started > 240:
            raise Failure("the 50 MB file did not load within 240 s")
        time.sleep(0.25)
        tools.key(">")
        keys += 1
    seconds = time.monotonic() - started
    settle(tools, 1000)
    result = tools.evaluate("({long: longTasks, keys: keyTimes, progress: progress, note: "
                            "document.getElementById('console-note').textContent, panel: %s"
                            ".textContent})" % PANEL)
    print("    %.1f MB read in %.1f s while %d keys were pressed" % (size / 1048576, seconds, keys))
    check("no main-thread task over %d ms (longest %d ms)"
          % (LIMIT_MS, max(result["long"], default=0)),
          all(ms <= LIMIT_MS for ms in result["long"]), result["long"])
    check("every key answered within %d ms (%d keys, slowest %d ms)"
          % (LIMIT_MS, len(result["keys"]), max(result["keys"], default=0)),
          len(result["keys"]) == keys and all(ms <= LIMIT_MS for ms in result["keys"]),
          result["keys"])
    reading = [p for p in result["progress"] if " MB" in p]
    check("progress shown in megabytes (%d updates)" % len(reading), len(reading) >= 10 and
          any(p.split("reading ")[1].split(" of ")[0] != p.split(" of ")[1].split(" ")[0]
              for p in reading), reading[:3])
    # The transcript: the echo and the first frame as for the small file, with 91 lines for
    # each polyline more, then a frame for each key pressed after the scene was shown.
    lines = result["panel"].count("\n")
    after = result["panel"].count("GLOBAL STEP ") - 1
    total = rest + polylines * 91 + after * frame
    note = result["note"]
    check("the panel keeps 50000 of %d lines and its note counts the rest" % total,
          lines == 50000 and note.startswith("%d earlier lines dropped" % (total - 50000)),
          (note, lines, after))


def main():
    if len(sys.argv) != 3:
        print("usage: %s CMAKE BUILD_DIR" % sys.argv[0])
        return 2
    cmake, build = sys.argv[1], os.path.abspath(sys.argv[2])
    scratch = tempfile.mkdtemp(prefix="tessaview-page-use-")
    server = None
    started = time.monotonic()
    try:
        site = installed_copy(cmake, build, scratch)
        port = free_port()
        server = subprocess.Popen([sys.executable, "-m", "http.server", str(port), "--bind",
                                   "127.0.0.1", "-d", site], stdout=subprocess.DEVNULL,
                                  stderr=subprocess.DEVNULL)
        base = "http://127.0.0.1:%d/" % port
        with devtools.Devtools() as tools:
            tools.wait_for("true", "Chromium")
            for _ in range(100):
                try:
                    socket.create_connection(("127.0.0.1", port), timeout=1).close()
                    break
                except OSError:
                    time.sleep(0.05)
            tools.open(base + "index.html")
            example = hosted(tools, base)
            from_disk(tools, site, example)
            lacking(tools, base, example)
            keys_and_buttons(tools, base)
            touch_and_wheel(tools, base)
            following(tools, base)
            sharp(tools, base, scratch)
            large_file(tools, base, scratch)
    except Failure as e:
        check("the run", False, str(e))
    finally:
        if server is not None:
            server.terminate()
            server.wait()
        shutil.rmtree(scratch, ignore_errors=True)
    print("%.0f s, %d failed" % (time.monotonic() - started, len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
