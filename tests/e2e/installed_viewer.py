"""The installed viewer opens an installed example.

Installs the build into a scratch DESTDIR with cmake --install, starts the installed tessaview
in the installed 24-cell folder on a private X server, and checks that it reads both files,
draws, answers a key and ends with exit code 0 when its window is closed.

    installed_viewer.py CMAKE BUILD_DIR
"""

import os
import shutil
import subprocess
import sys
import tempfile

from xsession import FRAME_END, TITLE_START, WAIT, Failure, Run, close_window


def check_run(exe, example, failures):
    with Run(exe, None, cwd=example) as run:
        run.start()
        text = run.text()
        for line in ("File Figure Collection kvoTessa1F.txt read successfull!",
                     "File Affine Collection kvoTessa1A.txt read successfull!",
                     "Finish Read Special Files "):
            if line not in text.splitlines():
                failures.append("the loader echo lacks %r" % line)
        if "PROBLEM" in text:
            failures.append("the loader reported a problem: %r" % text[:400])
        if not run.title().startswith(TITLE_START):
            failures.append("window title %r" % run.title())
        frame = run.key("greater")
        if not frame or "GLOBAL STEP 1" not in frame[-1]:
            failures.append("'>' did not draw a frame at global step 1: %r" % frame)
        close_window(run.display, run.window)
        try:
            rc = run.proc.wait(timeout=WAIT)
        except subprocess.TimeoutExpired:
            raise Failure("the program did not end after its window was closed")
        run.wait_until(lambda: run.eof, "the end of the console output")
        if rc != 0:
            failures.append("exit code %d after closing the window" % rc)
        if not run.text().endswith("\n" + FRAME_END + "\n"):
            failures.append("the console does not end with a complete frame")


def main():
    if len(sys.argv) != 3:
        print("usage: %s CMAKE BUILD_DIR" % sys.argv[0])
        return 2
    cmake, build = sys.argv[1], sys.argv[2]
    root = tempfile.mkdtemp(prefix="tessaview-install-")
    failures = []
    try:
        r = subprocess.run([cmake, "--install", build, "--prefix", "/usr"],
                           env=dict(os.environ, DESTDIR=root), capture_output=True, text=True)
        if r.returncode != 0:
            raise Failure("cmake --install failed: " + r.stdout + r.stderr)
        check_run(os.path.join(root, "usr", "bin", "tessaview"),
                  os.path.join(root, "usr", "share", "tessaview", "examples", "24-cell"),
                  failures)
    except Failure as e:
        failures.append(str(e))
    finally:
        shutil.rmtree(root, ignore_errors=True)
    for f in failures:
        print("FAIL: " + f)
    print("installed viewer %s" % ("failed" if failures else "passed"))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
