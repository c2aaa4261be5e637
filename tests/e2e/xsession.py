"""A private X server, the real tessaview program in it, and the means to drive and watch it.

Run starts Xvfb (the server picks a free display itself through -displayfd), runs the program
in a scratch folder holding the given scene files with stdout on a pipe, reads its console as
it comes and sends it real X input through xdotool. Shot holds a screenshot of the screen.
Python 3 standard library only; needs Xvfb, xdotool, xwininfo and ImageMagick's import.
"""

import os
import re
import select
import shutil
import signal
import subprocess
import tempfile
import threading
import time

FIGURE_FILE = "kvoTessa1F.txt"
AFFINE_FILE = "kvoTessa1A.txt"
TITLE_START = "Tessaview Release 1 "

START_LINE = " " * 11 + "Start Draw" + " " * 11
END_LINE = "-" * 11 + "End Draw" + "-" * 11
FRAME_END = "=" * 30
LOADER_END = "=" * 27

WIN_X, WIN_Y, WIN_W, WIN_H = 100, 150, 800, 600
SCREEN_W, SCREEN_H = 1280, 1024

WAIT = 10.0  # upper bound for any single wait on the program or the X server


class Shot:
    def __init__(self, data):
        self.data = data

    def pixel(self, col, row):
        i = (row * SCREEN_W + col) * 3
        return tuple(self.data[i:i + 3])

    def near(self, col, row, radius=3):
        """The pixels of the square neighbourhood around a (fractional) screen position."""
        c0, r0 = int(col), int(row)
        return [self.pixel(c, r)
                for r in range(r0 - radius, r0 + radius + 1)
                for c in range(c0 - radius, c0 + radius + 1)
                if 0 <= c < SCREEN_W and 0 <= r < SCREEN_H]

    def has(self, col, row, colour, radius=3, tol=8):
        return any(same(p, colour, tol) for p in self.near(col, row, radius))

    def all_are(self, col, row, colour, radius=3, tol=8):
        return all(same(p, colour, tol) for p in self.near(col, row, radius))

    def count_in_window(self, colour, tol=8):
        n = 0
        for r in range(WIN_Y, WIN_Y + WIN_H):
            for c in range(WIN_X, WIN_X + WIN_W):
                if same(self.pixel(c, r), colour, tol):
                    n += 1
        return n

    def run_length(self, col, row, colour, tol=8, span=30, across=False):
        """Length of the vertical (or, across, horizontal) run of a colour through (col, row)."""
        dc, dr = (1, 0) if across else (0, 1)
        c0, r0 = int(col), int(row)

        def inside(k):
            return same(self.pixel(c0 + k * dc, r0 + k * dr), colour, tol)
        if not inside(0):
            return 0
        lo = 0
        while lo > -span and inside(lo - 1):
            lo -= 1
        hi = 0
        while hi < span and inside(hi + 1):
            hi += 1
        return hi - lo + 1

    def widest_run(self, col, row, colour, tol=8, reach=6, across=False):
        """The longest run of a colour crossing a line near (col, row): the line's width."""
        best = 0
        for k in range(-reach, reach + 1):
            c, r = (col + k, row) if across else (col, row + k)
            best = max(best, self.run_length(c, r, colour, tol, across=across))
        return best


def same(p, colour, tol=8):
    return all(abs(a - b) <= tol for a, b in zip(p, colour))


class Failure(Exception):
    pass


def stop(p):
    """Ends a process this script started (and its session): SIGTERM, then SIGKILL.

    SIGTERM lets Xvfb remove its lock file and socket."""
    if p is None:
        return
    for sig in (signal.SIGTERM, signal.SIGKILL):
        if p.poll() is not None:
            return
        try:
            os.killpg(p.pid, sig)
        except ProcessLookupError:
            return
        try:
            p.wait(timeout=3)
        except subprocess.TimeoutExpired:
            pass


def spawn_xvfb():
    """Starts a private X server; returns it and its display."""
    rfd, wfd = os.pipe()
    server = None
    try:
        # -noreset: by default the server resets when its last client leaves, and a
        # client connecting during the reset fails to open the display.
        server = subprocess.Popen(
            ["Xvfb", "-displayfd", str(wfd), "-screen", "0",
             "%dx%dx24" % (SCREEN_W, SCREEN_H), "-nolisten", "tcp", "-noreset"],
            pass_fds=(wfd,), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL, start_new_session=True)
        os.close(wfd)
        wfd = -1
        got = b""
        deadline = time.monotonic() + WAIT
        while not got.endswith(b"\n"):
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([rfd], [], [], left)[0]:
                raise Failure("Xvfb did not report its display")
            chunk = os.read(rfd, 64)
            if not chunk:
                raise Failure("Xvfb ended before reporting its display")
            got += chunk
        return server, ":" + got.decode().strip()
    except BaseException:
        stop(server)
        raise
    finally:
        os.close(rfd)
        if wfd >= 0:
            os.close(wfd)


class Run:
    """The program in its own X server. With poll_console the program writes its console into a
    file that is read every 20 ms instead of a pipe read as it comes: far fewer wake-ups beside
    the program, for measuring its speed."""

    def __init__(self, exe, files, poll_console=False, cwd=None):
        self.exe = exe
        self.cwd = cwd  # the program's working folder; None: the scratch folder with the files
        self.poll_console = poll_console
        self.files = files  # name -> text; None for no files
        self.dir = None
        self.xvfb = None
        self.proc = None
        self.display = None
        self.window = None
        self.buf = bytearray()
        self.cond = threading.Condition()
        self.eof = False
        self.stderr_path = None

    # -- start and stop ---------------------------------------------------------------------
    def __enter__(self):
        try:
            self.dir = tempfile.mkdtemp(prefix="tessaview-e2e-")
            for name, text in (self.files or {}).items():
                with open(os.path.join(self.dir, name), "w") as f:
                    f.write(text)
            self._start_xvfb()
            self.env = dict(os.environ, DISPLAY=self.display)
            self.env.pop("XAUTHORITY", None)
            self.stderr_path = os.path.join(self.dir, "stderr.txt")
            console = subprocess.PIPE
            if self.poll_console:
                console = open(os.path.join(self.dir, "console.txt"), "wb")
            try:
                with open(self.stderr_path, "wb") as err:
                    self.proc = subprocess.Popen([self.exe], cwd=self.cwd or self.dir, env=self.env,
                                                 stdin=subprocess.DEVNULL, stdout=console,
                                                 stderr=err, start_new_session=True)
            finally:
                if self.poll_console:
                    console.close()
            reader = self._poll if self.poll_console else self._read
            threading.Thread(target=reader, daemon=True).start()
        except BaseException:
            self.__exit__(None, None, None)
            raise
        return self

    def __exit__(self, *exc):
        # The program first, then its X server.
        stop(self.proc)
        stop(self.xvfb)
        if self.proc is not None and self.proc.stdout is not None:
            self.proc.stdout.close()
        if self.dir:
            shutil.rmtree(self.dir, ignore_errors=True)
        return False

    def _start_xvfb(self):
        """Starts a private X server and makes sure a client can reach it."""
        self.xvfb, self.display = self._spawn_xvfb()
        if not self._reachable(self.display):
            raise Failure("Xvfb on %s cannot be reached" % self.display)

    def _spawn_xvfb(self):
        return spawn_xvfb()

    @staticmethod
    def _reachable(display):
        env = dict(os.environ, DISPLAY=display)
        env.pop("XAUTHORITY", None)
        try:
            r = subprocess.run(["xdotool", "getdisplaygeometry"], env=env, capture_output=True,
                               text=True, timeout=WAIT)
        except subprocess.TimeoutExpired:
            return False
        return r.returncode == 0 and r.stdout.split() == [str(SCREEN_W), str(SCREEN_H)]

    def _read(self):
        fd = self.proc.stdout.fileno()
        while True:
            try:
                chunk = os.read(fd, 65536)
            except OSError:
                chunk = b""
            with self.cond:
                if not chunk:
                    self.eof = True
                    self.cond.notify_all()
                    return
                self.buf += chunk
                self.cond.notify_all()

    def _poll(self):
        with open(os.path.join(self.dir, "console.txt"), "rb") as f:
            while True:
                ended = self.proc.poll() is not None
                chunk = f.read()
                with self.cond:
                    if chunk:
                        self.buf += chunk
                        self.cond.notify_all()
                    if ended and not chunk:
                        self.eof = True
                        self.cond.notify_all()
                        return
                time.sleep(0.02)

    # -- console ----------------------------------------------------------------------------
    def text(self):
        with self.cond:
            return self.buf.decode("latin-1")

    def frame_count(self):
        with self.cond:
            return self.buf.count(("\n" + FRAME_END + "\n").encode())

    def wait_until(self, pred, what, timeout=WAIT):
        deadline = time.monotonic() + timeout
        with self.cond:
            while not pred():
                left = deadline - time.monotonic()
                if left <= 0:
                    raise Failure("timed out waiting for " + what + self.tail())
                if self.eof and not pred():
                    raise Failure("program output ended while waiting for " + what + self.tail())
                self.cond.wait(min(left, 0.2))

    def tail(self):
        rc = self.proc.poll() if self.proc else None
        text = self.buf.decode("latin-1")
        try:
            with open(self.stderr_path, "rb") as f:
                err = f.read().decode("latin-1")
        except OSError:
            err = ""
        return " (display %s, exit code %s; last output: %r; stderr: %r)" % (
            self.display, rc, text[-300:], err[-300:])

    def wait_frames(self, n, timeout=WAIT):
        self.wait_until(lambda: self.buf.count(("\n" + FRAME_END + "\n").encode()) >= n,
                        "%d frame(s)" % n, timeout)

    def settle(self, quiet=0.3, timeout=WAIT):
        """Waits until no output has arrived for `quiet` seconds."""
        deadline = time.monotonic() + timeout
        last = len(self.buf)
        since = time.monotonic()
        while True:
            time.sleep(0.05)
            now = time.monotonic()
            size = len(self.buf)
            if size != last:
                last, since = size, now
            elif now - since >= quiet:
                return
            if now > deadline:
                raise Failure("output never settled")

    def loader_and_frames(self):
        """Splits the console into the lines before the first frame and the frames."""
        text = self.text()
        lines = text.split("\n")
        complete = lines[:-1]  # the last piece is an unfinished line (or empty)
        try:
            first = complete.index(START_LINE)
        except ValueError:
            first = len(complete)
        frames, cur = [], []
        for line in complete[first:]:
            cur.append(line)
            if line == FRAME_END:
                frames.append(cur)
                cur = []
        return complete[:first], frames

    def frames(self):
        return self.loader_and_frames()[1]

    # -- X ----------------------------------------------------------------------------------
    def x(self, *args, timeout=WAIT):
        r = subprocess.run(list(args), env=self.env, stdin=subprocess.DEVNULL,
                           capture_output=True, text=True, timeout=timeout)
        if r.returncode != 0:
            raise Failure("%s failed: %s" % (" ".join(args), r.stderr.strip()))
        return r.stdout

    def find_window(self):
        deadline = time.monotonic() + WAIT
        while time.monotonic() < deadline:
            r = subprocess.run(["xdotool", "search", "--name", "^Tessaview Release 1"],
                               env=self.env, capture_output=True, text=True, timeout=WAIT)
            ids = r.stdout.split()
            if ids:
                self.window = ids[0]
                return ids
            if self.proc.poll() is not None:
                raise Failure("program ended before its window appeared" + self.tail())
            time.sleep(0.1)
        raise Failure("no window named 'Tessaview Release 1' appeared")

    def title(self):
        return self.x("xdotool", "getwindowname", self.window).rstrip("\n")

    def geometry(self):
        out = self.x("xwininfo", "-id", self.window)

        def field(name):
            m = re.search(r"^\s*" + re.escape(name) + r":\s*(-?\d+)", out, re.M)
            return int(m.group(1)) if m else None
        return (field("Absolute upper-left X"), field("Absolute upper-left Y"),
                field("Width"), field("Height"))

    def start(self):
        """Waits for the window and the first frame, then for start-up to go quiet."""
        self.find_window()
        self.wait_frames(1)
        self.settle()
        # Focus follows the pointer: keep the pointer inside the window from here on.
        self.x("xdotool", "mousemove", "--window", self.window, "400", "300")
        self.settle(0.1)

    def key(self, name):
        """Presses one key and returns the new frames it produced."""
        before = self.frame_count()
        self.x("xdotool", "key", "--window", self.window, name)
        self.wait_frames(before + 1)
        self.settle(0.15)
        return self.frames()[before:]

    def mouse(self, *args, frames=1):
        """Runs one xdotool pointer command and returns the new frames it produced."""
        before = self.frame_count()
        self.x("xdotool", *args)
        if frames:
            self.wait_frames(before + frames)
        self.settle(0.15)
        return self.frames()[before:]

    def shot(self):
        r = subprocess.run(["import", "-window", "root", "-depth", "8", "rgb:-"],
                           env=self.env, capture_output=True, timeout=WAIT)
        if r.returncode != 0 or len(r.stdout) != SCREEN_W * SCREEN_H * 3:
            raise Failure("screenshot failed: %s" % r.stderr.decode(errors="replace").strip())
        return Shot(r.stdout)

    def alive(self):
        return self.proc.poll() is None


def close_window(display, window):
    """Asks the window to close as a window manager would: a WM_DELETE_WINDOW client message.

    xdotool has no such command (windowclose destroys the window under the program, windowkill
    cuts its connection), so this talks to Xlib directly through ctypes."""
    import ctypes

    x11 = ctypes.CDLL("libX11.so.6")
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x11.XInternAtom.restype = ctypes.c_ulong
    x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    x11.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long,
                               ctypes.c_void_p]
    x11.XFlush.argtypes = [ctypes.c_void_p]
    x11.XCloseDisplay.argtypes = [ctypes.c_void_p]

    class ClientMessage(ctypes.Structure):
        _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong),
                    ("send_event", ctypes.c_int), ("display", ctypes.c_void_p),
                    ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                    ("format", ctypes.c_int), ("data", ctypes.c_long * 5),
                    ("pad", ctypes.c_long * 12)]  # an XEvent is 24 longs

    dpy = x11.XOpenDisplay(display.encode())
    if not dpy:
        raise Failure("cannot open display %s to close the window" % display)
    try:
        event = ClientMessage()
        event.type = 33  # ClientMessage
        event.send_event = 1
        event.display = dpy
        event.window = int(window)
        event.message_type = x11.XInternAtom(dpy, b"WM_PROTOCOLS", 0)
        event.format = 32
        event.data[0] = x11.XInternAtom(dpy, b"WM_DELETE_WINDOW", 0)
        event.data[1] = 0  # CurrentTime
        if not x11.XSendEvent(dpy, int(window), 0, 0, ctypes.byref(event)):
            raise Failure("XSendEvent refused the close message")
        x11.XFlush(dpy)
    finally:
        x11.XCloseDisplay(dpy)


def rss_kib(pid):
    """The resident set size of a process in KiB, from /proc."""
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    raise Failure("no VmRSS for process %d" % pid)


def first_frames(exe, folders):
    """The console of the program started in each folder, up to the end of its first frame, as
    bytes: one program after the other in one private X server. (Programs started together in
    one server now and then never drew their first window.)"""
    server, display = spawn_xvfb()
    results = {}
    try:
        if not Run._reachable(display):
            raise Failure("Xvfb on %s cannot be reached" % display)
        env = dict(os.environ, DISPLAY=display)
        env.pop("XAUTHORITY", None)
        end = ("\n" + FRAME_END + "\n").encode()
        for folder in folders:
            proc = subprocess.Popen([exe], cwd=folder, env=env, stdin=subprocess.DEVNULL,
                                    stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                    start_new_session=True)
            try:
                got = bytearray()
                deadline = time.monotonic() + 3 * WAIT
                fd = proc.stdout.fileno()
                while end not in got:
                    left = deadline - time.monotonic()
                    if left <= 0 or not select.select([fd], [], [], left)[0]:
                        raise Failure("no first frame from the program in %s (%r)"
                                      % (folder, bytes(got[-200:])))
                    chunk = os.read(fd, 65536)
                    if not chunk:
                        raise Failure("the program in %s ended before its first frame: %r"
                                      % (folder, proc.stderr.read()[-300:]))
                    got += chunk
                results[folder] = bytes(got[:got.index(end) + len(end)])
            finally:
                stop(proc)
                proc.stdout.close()
                proc.stderr.close()
    finally:
        stop(server)
    return results
