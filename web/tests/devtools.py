"""Headless Chromium driven through the DevTools protocol on a pipe (--remote-debugging-pipe),
for the page's tests: load an address, wait for the page, evaluate script, send real mouse,
touch and key input, take screenshots. Python 3 standard library only.
"""

import base64
import json
import os
import select
import shutil
import signal
import subprocess
import tempfile
import time

CHROMIUM = ["chromium", "--headless", "--no-sandbox", "--use-angle=swiftshader",
            "--enable-unsafe-swiftshader", "--disable-background-networking",
            "--disable-component-update", "--disable-sync", "--no-first-run", "--disable-quic"]


class Failure(Exception):
    pass


class Devtools:
    """One Chromium with one page; url is opened at start (about:blank when None)."""

    def __init__(self, url=None, width=1300, height=700):
        self.profile = tempfile.mkdtemp(prefix="tessaview-chromium-")
        self.to_browser = os.pipe()
        self.from_browser = os.pipe()
        r, w = self.to_browser[0], self.from_browser[1]
        self.proc = subprocess.Popen(
            ["sh", "-c", 'exec "$0" "$@" 3<&%d 4>&%d' % (r, w)] + CHROMIUM +
            ["--remote-debugging-pipe", "--window-size=%d,%d" % (width, height),
             "--user-data-dir=" + self.profile, url or "about:blank"],
            pass_fds=(r, w), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            start_new_session=True)
        os.close(r)
        os.close(w)
        self.next_id = 0
        self.buf = b""
        self.session = None
        self.events = []
        pages = [t for t in self.call("Target.getTargets")["targetInfos"] if t["type"] == "page"]
        self.session = self.call("Target.attachToTarget", targetId=pages[0]["targetId"],
                                 flatten=True)["sessionId"]
        # The page's viewport exactly width x height, one device pixel per CSS pixel.
        self.call("Emulation.setDeviceMetricsOverride", width=width, height=height,
                  deviceScaleFactor=1, mobile=False)

    def call(self, method, browser=False, **params):
        """Calls method on the page, or on the browser itself when browser is set."""
        self.next_id += 1
        message = {"id": self.next_id, "method": method, "params": params}
        if self.session and not browser:
            message["sessionId"] = self.session
        os.write(self.to_browser[1], json.dumps(message).encode() + b"\0")
        while True:
            while b"\0" not in self.buf:
                if not select.select([self.from_browser[0]], [], [], 60)[0]:
                    raise Failure("no answer from Chromium to " + method)
                chunk = os.read(self.from_browser[0], 1 << 20)
                if not chunk:
                    raise Failure("Chromium ended")
                self.buf += chunk
            text, self.buf = self.buf.split(b"\0", 1)
            answer = json.loads(text)
            if "method" in answer and len(self.events) < 1000:
                self.events.append(answer)
            if answer.get("id") == self.next_id:
                if "error" in answer:
                    raise Failure("%s: %s" % (method, answer["error"]))
                return answer["result"]

    def evaluate(self, expression):
        result = self.call("Runtime.evaluate", expression=expression, awaitPromise=True,
                           returnByValue=True)
        if "exceptionDetails" in result:
            details = result["exceptionDetails"]
            raise Failure("script failed: %s" % (details.get("exception", {}).get("description")
                                                 or details.get("text")))
        return result["result"].get("value")

    def wait_for(self, expression, what, timeout=30.0):
        """Waits until expression is true in the page; returns its value."""
        end = time.monotonic() + timeout
        while time.monotonic() < end:
            try:
                value = self.evaluate(expression)
                if value:
                    return value
            except Failure:
                pass  # the page is still being navigated to
            time.sleep(0.05)
        raise Failure("timed out waiting for " + what)

    def open(self, url, until="document.body && document.body.dataset.ready === '1'",
             timeout=30.0):
        """Navigates to url and waits for the page to have started (or for until)."""
        # A mark on the page navigated from, so that no answer comes from it.
        try:
            self.evaluate("window.tessaviewTestOld = true")
        except Failure:
            pass
        self.call("Page.navigate", url=url)
        return self.wait_for("!window.tessaviewTestOld && (%s)" % until, "the page at " + url,
                             timeout)

    def mouse(self, kind, x, y, button):
        held = {"left": 1, "right": 2}.get(button, 0)
        types = {"down": "mousePressed", "up": "mouseReleased", "move": "mouseMoved"}
        self.call("Input.dispatchMouseEvent", type=types[kind], x=x, y=y, clickCount=1,
                  button=button or "none", buttons=0 if kind == "up" else held)

    def touch(self, kind, points):
        """kind: start, move, end; points: the (x, y) of every finger on the screen."""
        types = {"start": "touchStart", "move": "touchMove", "end": "touchEnd"}
        self.call("Input.dispatchTouchEvent", type=types[kind],
                  touchPoints=[{"x": x, "y": y, "id": k} for k, (x, y) in enumerate(points)])

    def key(self, char):
        """A key that types char, as the keyboard sends it."""
        self.call("Input.dispatchKeyEvent", type="keyDown", key=char, text=char,
                  unmodifiedText=char)
        self.call("Input.dispatchKeyEvent", type="keyUp", key=char)

    def screenshot(self, path, clip=None):
        params = {"format": "png"}
        if clip:
            params["clip"] = dict(zip(("x", "y", "width", "height"), clip), scale=1)
        data = self.call("Page.captureScreenshot", **params)["data"]
        with open(path, "wb") as f:
            f.write(base64.b64decode(data))

    def downloads(self, folder):
        """Downloads from now on go into folder, under their own names."""
        self.call("Browser.setDownloadBehavior", browser=True, behavior="allow",
                  downloadPath=folder)

    def close(self):
        for sig in (signal.SIGTERM, signal.SIGKILL):
            if self.proc.poll() is not None:
                break
            try:
                os.killpg(self.proc.pid, sig)
            except ProcessLookupError:
                break
            try:
                self.proc.wait(timeout=3)
            except subprocess.TimeoutExpired:
                pass
        for fd in (self.to_browser[1], self.from_browser[0]):
            os.close(fd)
        shutil.rmtree(self.profile, ignore_errors=True)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()


def watch_tasks_and_keys(panel):
    """A script that collects, from when it runs, the page's long tasks (window.longTasks, in ms)
    and the answer to each key press (window.keyTimes, in ms): the time until a frame at a global
    step above 0 reaches the console element panel (a JavaScript expression)."""
    return """(() => {
    window.longTasks = [];
    new PerformanceObserver((list) => {
        for (const e of list.getEntries()) longTasks.push(Math.round(e.duration));
    }).observe({type: 'longtask'});
    window.keyTimes = [];
    const pressed = [];
    addEventListener('keydown', () => pressed.push(performance.now()), true);
    new MutationObserver((records) => {
        const now = performance.now();
        for (const record of records) {
            for (const node of record.addedNodes) {
                for (const f of node.textContent.match(/^GLOBAL STEP [1-9]/gm) || []) {
                    if (pressed.length) keyTimes.push(Math.round(now - pressed.shift()));
                }
            }
        }
    }).observe(%s, {childList: true});
})()""" % panel
