// The page: loads a scene into the WebAssembly viewer, hands it the keys, the mouse and touch,
// shows its console readout in the panel and the browser's console, and draws its picture.
// Scene files are read by the core in the page's worker (tessaview-worker.js), where the tools
// also make, import and cut figures (tessaview-tools.js); the viewer itself runs here, so that a
// key is answered at once even while a large file is read.
//
// Address parameters: example=NAME opens one of the examples built into the page; scene=PATH
// opens the two scene files in the folder PATH on the same site; make=FIGURE and tessascene's
// options make a figure (tessaview-tools.js); keys=KEYS presses the keys once the scene is
// loaded; measure=N presses '>' once per frame for N frames and shows the frame rate and CPU
// time.
"use strict";

(function () {
  const kMaxLines = 50000;
  const kBlockLines = 500;  // the panel's blocks hold at most this many lines
  const kLogPiece = 1 << 17;  // the largest message to the browser's console, in characters
  const kFigureFile = "kvoTessa1F.txt";
  const kAffineFile = "kvoTessa1A.txt";
  const kViewWidth = 800;
  const kViewHeight = 600;
  const kWheelPixels = 10;  // a wheel's scroll pixels per pixel of the right drag it stands for
  const params = new URLSearchParams(location.search);
  const canvas = document.getElementById("view");
  const overlay = document.getElementById("overlay");
  const exampleList = document.getElementById("example");
  const fromDisk = location.protocol === "file:";
  const decoder = new TextDecoder("utf-8");

  // The status area: one message, with a progress bar while something is read.
  const status = {
    text: document.getElementById("status-text"),
    box: document.getElementById("status"),
    bar: document.getElementById("progress"),
    // kind: "" (news), "warning" or "error".
    say(message, kind) {
      this.text.textContent = message;
      this.box.className = kind || "";
      this.bar.hidden = true;
    },
    // Shows how much of the work is done; without arguments, that work goes on.
    progress(done, total) {
      this.bar.hidden = false;
      if (total === undefined) {
        this.bar.removeAttribute("value");
      } else {
        this.bar.max = total;
        this.bar.value = done;
      }
    },
  };

  // The console panel: the last kMaxLines lines of the transcript, in blocks, with a note above
  // it once lines were dropped. Every line also goes to the browser's console, in order, a piece
  // per task so that a long transcript never holds up the page.
  class ConsolePanel {
    constructor(pre, note) {
      this.pre = pre;
      this.note = note;
      this.timer = null;
      this.lastFlush = -Infinity;
      this.spent = 0;  // milliseconds spent in flush, for measuring
      this.lineHeight = parseFloat(getComputedStyle(pre).lineHeight) || 16;
      this.logQueue = [];
      // The panel follows new lines until the reader scrolls up, and again once back at the end.
      // Only a scroll that follows the reader's own input can stop it: the browser also scrolls
      // the panel when it lays out blocks, and that is not the reader leaving the end.
      this.follow = true;
      this.lastInput = -Infinity;
      const input = () => { this.lastInput = performance.now(); };
      for (const type of ["wheel", "touchmove", "keydown", "mousedown"]) {
        pre.addEventListener(type, input, { passive: true });
      }
      pre.addEventListener("scroll", () => {
        if (this.atEnd()) this.follow = true;
        else if (performance.now() - this.lastInput < 1000) this.follow = false;
      });
      this.clear();
    }

    atEnd() {
      return this.pre.scrollTop + this.pre.clientHeight >= this.pre.scrollHeight - 4;
    }

    clear() {
      this.pre.textContent = "";
      this.note.hidden = true;
      this.blocks = [];
      this.lines = 0;
      this.dropped = 0;
      this.pending = [];
      this.follow = true;
    }

    add(text) {
      this.pending.push(text);
    }

    // Starts the panel afresh on a transcript's first part, already in the browser's console:
    // pieces {text, lines} that hold its last lines, after dropped others.
    restart(pieces, dropped) {
      this.clear();
      let excess = pieces.reduce((sum, piece) => sum + piece.lines, 0) - kMaxLines;
      for (const piece of pieces) {
        let { text, lines } = piece;
        if (excess > 0) {
          // Only the lines that stay are laid out.
          const skip = Math.min(excess, lines);
          let at = 0;
          for (let k = 0; k < skip; k++) at = text.indexOf("\n", at) + 1;
          text = text.slice(at);
          lines -= skip;
          excess -= skip;
          dropped += skip;
        }
        if (lines > 0 || text.length > 0) this.append(text, lines, true);
      }
      this.dropped = dropped;
      this.trim();
    }

    // Flushes now when the last flush is 100 ms old, else once it is: a person reads no faster,
    // and every flush makes the browser lay out and paint the panel again.
    flushSoon() {
      if (this.timer !== null) return;
      const wait = this.lastFlush + 100 - performance.now();
      if (wait <= 0) {
        this.flush();
        return;
      }
      this.timer = setTimeout(() => this.flush(), wait);
    }

    // Writes what was added since the last flush into the panel and the browser's console.
    flush() {
      if (this.timer !== null) clearTimeout(this.timer);
      this.timer = null;
      this.lastFlush = performance.now();
      if (this.pending.length === 0) return;
      const started = this.lastFlush;
      const text = this.pending.join("");
      this.pending = [];
      this.append(text, tessaviewCountLines(text), false);
      this.trim();
      if (this.follow) this.pre.scrollTop = this.pre.scrollHeight;
      this.spent += performance.now() - started;
    }

    // Appends text in blocks of at most kBlockLines lines (so that the browser lays out only the
    // new blocks), and queues it for the browser's console (logged: already there).
    append(text, lines, logged) {
      if (!logged) this.log(text);
      let from = 0;
      while (from < text.length) {
        let to = text.length;
        let count = lines;
        if (lines > kBlockLines) {
          to = from;
          for (count = 0; count < kBlockLines && to < text.length; count++) {
            const at = text.indexOf("\n", to);
            to = at < 0 ? text.length : at + 1;
          }
        }
        const block = document.createElement("div");
        block.textContent = text.slice(from, to);
        // Until it is laid out, a block out of view counts as its lines' height.
        block.style.containIntrinsicSize = "auto " + Math.ceil(count * this.lineHeight) + "px";
        this.pre.appendChild(block);
        this.blocks.push({ node: block.firstChild, block, lines: count });
        // The newest blocks keep their real height, so that the end of the panel is exact.
        if (this.blocks.length > 2) this.blocks[this.blocks.length - 3].block.className = "old";
        this.lines += count;
        lines -= count;
        from = to;
      }
    }

    trim() {
      while (this.lines > kMaxLines) {
        const first = this.blocks[0];
        const excess = this.lines - kMaxLines;
        if (first.lines <= excess) {
          first.block.remove();
          this.blocks.shift();
          this.lines -= first.lines;
          this.dropped += first.lines;
        } else {
          let at = 0;
          for (let k = 0; k < excess; k++) at = first.node.data.indexOf("\n", at) + 1;
          first.node.data = first.node.data.slice(at);
          first.lines -= excess;
          this.lines -= excess;
          this.dropped += excess;
        }
      }
      if (this.dropped > 0) {
        this.note.hidden = false;
        this.note.textContent = this.dropped + " earlier lines dropped: the panel keeps the last " +
          kMaxLines + " lines (the browser's console has them all).";
      }
    }

    // The browser's console, in order: at once when nothing waits, else a piece per task, in
    // pieces of whole lines (a console message of a megabyte takes the browser a tenth of a
    // second).
    log(text) {
      const wasEmpty = this.logQueue.length === 0;
      for (let from = 0; from < text.length;) {
        let to = text.length;
        if (to - from > kLogPiece) {
          const at = text.lastIndexOf("\n", from + kLogPiece);
          to = at >= from ? at + 1 : from + kLogPiece;
        }
        this.logQueue.push(text.slice(from, to));
        from = to;
      }
      if (wasEmpty && this.logQueue.length > 0) this.logNext();
    }

    logNext() {
      const text = this.logQueue[0];
      console.log(text.endsWith("\n") ? text.slice(0, -1) : text);
      setTimeout(() => {
        this.logQueue.shift();
        if (this.logQueue.length > 0) this.logNext();
      }, 0);
    }
  }

  // A transcript's first part as it arrives from the worker: the pieces that hold its last
  // kMaxLines lines, the count of the lines before them, and every piece queued for the
  // browser's console once the scene is shown.
  class Transcript {
    constructor() {
      this.pieces = [];
      this.kept = 0;
      this.dropped = 0;
      this.all = [];
    }

    add(text, lines) {
      this.all.push(text);
      this.pieces.push({ text, lines });
      this.kept += lines;
      while (this.kept - this.pieces[0].lines >= kMaxLines) {
        const first = this.pieces.shift();
        this.kept -= first.lines;
        this.dropped += first.lines;
      }
    }
  }

  const panel = new ConsolePanel(document.getElementById("console"),
                                 document.getElementById("console-note"));
  let module = null;
  let worker = null;
  let outWorker = null;  // a second worker for downloads, started when first needed
  let tools = null;  // the panel that makes, imports and cuts (tessaview-tools.js)
  let renderer = null;
  let inputs = null;  // the viewer's keys and drags, from the core
  let exampleNames = [];
  const examplesWaiting = new Map();  // example name -> the resolvers waiting for its files
  let opening = 0;  // the number of the newest scene asked for
  let shown = false;  // a scene is in the viewer
  let pictureDue = false;
  let framePending = false;
  let sessionKeys = "";  // the keys pressed since the scene was shown (what a link repeats)

  function cString(pointer) {
    const heap = module.HEAPU8;
    let end = pointer;
    while (heap[end] !== 0) end++;
    return decoder.decode(heap.subarray(pointer, end));
  }

  // Moves the module's console text into the panel's next batch.
  function takeConsole() {
    const size = module._tv_console_size();
    if (size === 0) return;
    const at = module._tv_console();
    panel.add(decoder.decode(module.HEAPU8.subarray(at, at + size)));
    module._tv_console_clear();
  }

  function pixelRatio() {
    return canvas.width / kViewWidth;
  }

  function showFrame() {
    framePending = false;
    takeConsole();
    panel.flushSoon();
    if (pictureDue && renderer) {
      pictureDue = false;
      renderer.draw(module, pixelRatio());
    }
  }

  function requestFrame() {
    pictureDue = true;
    if (!framePending) {
      framePending = true;
      requestAnimationFrame(showFrame);
    }
  }

  // The canvas holds the 800x600 view at the screen's density; its size on the page is the
  // style sheet's.
  function fitDensity() {
    const ratio = window.devicePixelRatio || 1;
    const width = Math.round(kViewWidth * ratio);
    if (canvas.width !== width) {
      canvas.width = width;
      canvas.height = Math.round(kViewHeight * ratio);
      if (shown) requestFrame();
      else if (renderer) renderer.clear();
    }
    matchMedia("(resolution: " + ratio + "dppx)").addEventListener("change", fitDensity,
                                                                    { once: true });
  }

  function pressKey(code) {
    if (!shown) return;
    if (module._tv_key(code)) {
      sessionKeys += String.fromCharCode(code);
      keysChanged();
    }
    requestFrame();
  }

  // Tells the tools, at most every half second, that keys were pressed (the address carries
  // them).
  let keysTimer = null;
  function keysChanged() {
    if (keysTimer !== null) return;
    keysTimer = setTimeout(() => {
      keysTimer = null;
      document.dispatchEvent(new Event("tessaview-keys"));
    }, 500);
  }

  // The view's state as bytes (tv_view), for a worker to draw it; null before a scene is shown.
  function viewBytes() {
    if (!shown) return null;
    const at = module._tv_view();
    return module.HEAPU8.slice(at, at + module._tv_view_size()).buffer;
  }

  // The canvas as a PNG (a promise of a Blob), drawn afresh for it; null without a picture.
  function picture() {
    if (!shown || !renderer) return null;
    renderer.draw(module, pixelRatio());
    return new Promise((resolve) => canvas.toBlob(resolve, "image/png"));
  }

  // -- Loading ---------------------------------------------------------------------------------

  // Shows a scene that a job of the worker reads or makes: what names it in messages ("Example
  // tesseract"); run(handle, stale) runs the job, handing handle its progress and echo, and
  // resolves with its "done" message ({scene, note}: the records read, and {text, kind} to say
  // once the scene is shown) or throws an Error that says what failed (null: replaced by a newer
  // job; stale() tells whether a newer scene was asked for meanwhile). keys are pressed once the
  // scene is in the viewer. how: {keepCamera: the camera stays where the drags put it,
  // quietError: a failure is said in the status line only, verb: "reading" by default}.
  async function open(what, run, keys, how) {
    how = how || {};
    const mine = ++opening;
    const stale = () => mine !== opening;
    status.say(what + ": " + (how.verb || "reading") + "\u2026");
    // Work that takes longer than half a second shows a progress bar.
    const slow = setTimeout(() => { if (!stale()) status.progress(); }, 500);
    const transcript = new Transcript();
    let result;
    try {
      result = await run((reply) => {
        if (reply.kind === "echo") {
          transcript.add(reply.text, reply.lines);
        } else if (reply.kind === "progress" && reply.total >= (1 << 20) && !stale()) {
          const mb = (bytes) => (bytes / 1048576).toFixed(1);
          status.say(what + ": reading " + mb(reply.done) + " of " + mb(reply.total) + " MB\u2026");
          status.progress(reply.done, reply.total);
        }
      }, stale);
      if (stale()) return false;
    } catch (error) {
      if (error === null || stale()) return false;  // replaced by a newer request
      status.say(what + ": " + error.message, "error");
      if (!how.quietError || !shown) showOverlay(what + ": " + error.message, "error");
      return false;
    } finally {
      clearTimeout(slow);
    }
    // The scene shown so far hands its last lines to its transcript; the new scene starts in the
    // core and its transcript in the panel. Its first frame, and any key pressed meanwhile, are
    // laid out in the next task: a long transcript's blocks and its layout, each in a task of
    // its own, keep the page answering.
    if (shown) takeConsole();
    panel.flush();
    showScene(result.scene, keys || "", how.keepCamera, false);
    panel.restart(transcript.pieces, transcript.dropped);
    for (const text of transcript.all) panel.log(text);
    await new Promise((resolve) => setTimeout(resolve, 0));
    if (renderer) overlay.hidden = true;
    pictureDue = true;
    showFrame();
    panel.flush();
    const note = result.note;
    if (stale()) {
      // A newer request has the status line.
    } else if (note) {
      status.say(note.text, note.kind);
    } else {
      status.say(what + (worker.note ? " (" + worker.note + ")" : ""));
    }
    document.body.dataset.loaded = String(Number(document.body.dataset.loaded || 0) + 1);
    return true;
  }

  // Puts the records of a scene (bytes from the worker) into the viewer as the desktop program
  // starts on its folder, then presses keys (those of them that are characters of one byte);
  // keepCamera keeps the camera where the drags put it, quiet writes nothing to the console.
  // The keys become the keys pressed since the scene was shown.
  function showScene(scene, keys, keepCamera, quiet) {
    const bytes = [...keys].map((k) => k.charCodeAt(0)).filter((code) => code < 256);
    const at = module._malloc(scene.byteLength + bytes.length + 1);
    module.HEAPU8.set(new Uint8Array(scene), at);
    module.HEAPU8.set(bytes, at + scene.byteLength);
    module._tv_show(at, at + scene.byteLength, bytes.length, keepCamera ? 1 : 0, quiet ? 1 : 0);
    module._free(at);
    sessionKeys = String.fromCharCode(...bytes);
    shown = true;
  }

  // Runs the job that reads a scene's two files: files() gives {figure, affine, note}, the files
  // (a Blob or an ArrayBuffer, null for a missing file) and what to say once they are shown.
  function filesJob(files) {
    return async (handle, stale) => {
      const read = await files();
      if (stale()) throw null;
      const reply = await worker.run("load", { figure: read.figure, affine: read.affine }, handle);
      return Object.assign(reply, { note: read.note || null });
    };
  }

  function showOverlay(message, kind) {
    overlay.textContent = message;
    overlay.className = kind || "";
    overlay.hidden = false;
  }

  function bytesOf(text) {
    return text === null ? null : new TextEncoder().encode(text).buffer;
  }

  // An example's two files, from the script examples/NAME.js built into the page (a script can
  // be read from disk where a fetch cannot).
  function exampleFiles(name) {
    return new Promise((resolve, reject) => {
      if (!examplesWaiting.has(name)) examplesWaiting.set(name, []);
      examplesWaiting.get(name).push(resolve);
      const script = document.createElement("script");
      script.onerror = () => {
        examplesWaiting.delete(name);
        reject(new Error("examples/" + name + ".js could not be read beside the page"));
      };
      script.onload = () => script.remove();
      script.src = "examples/" + encodeURIComponent(name) + ".js";
      document.head.appendChild(script);
    });
  }

  // Called by the example scripts.
  window.tessaviewExample = (name, figure, affine) => {
    for (const resolve of examplesWaiting.get(name) || []) {
      resolve({ figure: bytesOf(figure), affine: bytesOf(affine) });
    }
    examplesWaiting.delete(name);
  };

  // The message for an example name that is not one of the page's.
  function unknownExample(name) {
    const like = exampleNames.find((n) => n.toLowerCase() === name.toLowerCase());
    return "There is no example called \u201c" + name + "\u201d" +
      (like ? " (did you mean \u201c" + like + "\u201d? Names are case-sensitive)" : "") +
      ". The examples are: " + exampleNames.join(", ") + ".";
  }

  function openExample(name, keys) {
    if (tools) tools.forget();
    if (!exampleNames.includes(name)) {
      const message = unknownExample(name);
      status.say(message, "error");
      showOverlay(message, "error");
      exampleList.value = "";
      return Promise.resolve(false);
    }
    exampleList.value = name;
    return open("Example " + name, filesJob(() => exampleFiles(name)), keys);
  }

  // Reads a file of the site: its contents, null when the server has no such file (the viewer
  // reads it as missing, as the desktop does); throws for any other failure.
  async function fetchFile(url) {
    let response;
    try {
      response = await fetch(url, { cache: "no-cache" });
    } catch (error) {
      throw new Error("could not read " + url + " (" + error.message + ")");
    }
    if (response.status === 404) return null;
    if (!response.ok) {
      throw new Error(url + " answered " + response.status + " " + response.statusText);
    }
    return await response.blob();
  }

  // The two files of a folder on the site, as the desktop program reads its folder: the affine
  // file only when the figure file is there.
  function openFolder(path, keys) {
    if (tools) tools.forget();
    const what = "Scene \u201c" + path + "\u201d";
    const url = siteFolder(path);
    if (fromDisk) {
      const message = what + ": a page opened from disk cannot read other files of the disk " +
        "by itself (browsers allow it only for files you choose). Choose or drop the folder's " +
        kFigureFile + " and " + kAffineFile + ", or put the page and the folder on a web server " +
        "(for example: python3 -m http.server).";
      status.say(message, "error");
      showOverlay(message, "error");
      return Promise.resolve(false);
    }
    if (url === null) {
      const message = what + ": scene= takes a folder on this site, such as my-scenes/cube.";
      status.say(message, "error");
      showOverlay(message, "error");
      return Promise.resolve(false);
    }
    return open(what, filesJob(async () => {
      const figureUrl = new URL(kFigureFile, url).href;
      const affineUrl = new URL(kAffineFile, url).href;
      const figure = await fetchFile(figureUrl);
      const affine = figure === null ? null : await fetchFile(affineUrl);
      const missing = figure === null ? figureUrl : affine === null ? affineUrl : null;
      return {
        figure, affine,
        note: missing && { kind: "warning", text: what + ": there is no " + missing + " (the " +
          "server answered 404 Not Found); the viewer reads the file as missing, as the " +
          "desktop program does." },
      };
    }), keys);
  }

  // The folder at a relative address on this site, with a trailing slash; null for any other.
  function siteFolder(path) {
    if (/^[a-z][a-z0-9+.-]*:|^\/\/|\\/i.test(path)) return null;
    const url = new URL(path.endsWith("/") ? path : path + "/", location.href);
    return url.origin === location.origin ? url : null;
  }

  // The user's own files, read in the browser; a name that is not there is a missing file.
  function openFiles(files) {
    const byName = new Map();
    for (const file of files) byName.set(file.name, file);
    if (byName.size === 0) return Promise.resolve(false);
    if (tools) tools.forget();
    exampleList.value = "";
    setAddress("");
    const names = [...byName.keys()].join(", ");
    const both = byName.has(kFigureFile) && byName.has(kAffineFile);
    return open("Your files " + names, filesJob(async () => {
      // The worker reads the files themselves.
      const figure = byName.get(kFigureFile) || null;
      const affine = figure === null ? null : byName.get(kAffineFile) || null;
      return {
        figure, affine,
        note: !both && { kind: "warning", text: "Your files " + names + ": the viewer reads " +
          kFigureFile + " and " + kAffineFile + "; what is not there reads as missing." },
      };
    }), "");
  }

  function setAddress(query) {
    try {
      history.replaceState(null, "", location.pathname + query);
    } catch (error) {
      // Some browsers refuse to change the address of a page opened from disk.
    }
  }

  // -- Input -----------------------------------------------------------------------------------

  // Keys as the desktop's keyboard callback receives them: characters, Esc, Return, Tab,
  // Backspace and Delete; nothing with Ctrl, Alt or Meta, which stay the browser's.
  const specialKeys = { Escape: 27, Enter: 13, Tab: 9, Backspace: 8, Delete: 127 };
  function keyCode(event) {
    if (event.ctrlKey || event.altKey || event.metaKey) return -1;
    if (event.key.length === 1 && event.key.charCodeAt(0) < 128) return event.key.charCodeAt(0);
    return event.key in specialKeys ? specialKeys[event.key] : -1;
  }

  // A point of the page as a pixel of the 800x600 view, however large the canvas is shown.
  function viewPixel(clientX, clientY) {
    const box = canvas.getBoundingClientRect();
    return [Math.floor((clientX - box.left) * kViewWidth / box.width),
            Math.floor((clientY - box.top) * kViewHeight / box.height)];
  }

  let held = 0;  // mouse buttons held in a drag that started on the canvas

  function listenMouse() {
    // A drag that starts on the canvas goes on over the whole page, as the desktop's window
    // keeps reporting a held button's motion outside it; every event is used as it comes.
    canvas.addEventListener("mousedown", (event) => {
      event.preventDefault();
      canvas.focus();
      if (!shown) return;
      const [x, y] = viewPixel(event.clientX, event.clientY);
      module._tv_mouse(event.button, x, y);
      held = event.buttons;
    });
    window.addEventListener("mousemove", (event) => {
      if (held === 0) return;
      const [x, y] = viewPixel(event.clientX, event.clientY);
      module._tv_motion(x, y);
      requestFrame();
    });
    window.addEventListener("mouseup", (event) => {
      if (held === 0) return;
      const [x, y] = viewPixel(event.clientX, event.clientY);
      module._tv_mouse(event.button, x, y);
      held = event.buttons;
    });
    canvas.addEventListener("contextmenu", (event) => event.preventDefault());
    // The page's addition: the wheel zooms as a right drag up (wheel up) or down does, one
    // pixel of drag per kWheelPixels pixels of scrolling.
    let wheelRest = 0;
    canvas.addEventListener("wheel", (event) => {
      event.preventDefault();
      if (!shown || held !== 0 || touch.mode !== null) return;
      const scale = event.deltaMode === 1 ? 100 / 3 : event.deltaMode === 2 ? kViewHeight : 1;
      wheelRest -= event.deltaY * scale / kWheelPixels;
      const dy = Math.trunc(wheelRest);
      if (dy === 0) return;
      wheelRest -= dy;
      const [x, y] = viewPixel(event.clientX, event.clientY);
      module._tv_mouse(2, x, y);
      module._tv_motion(x, y - dy);
      module._tv_mouse(2, x, y - dy);
      requestFrame();
    }, { passive: false });
  }

  // Touch: one finger drags as the left button does, two fingers pinch as a right drag does,
  // the change of their distance standing for the drag's vertical movement (spreading them
  // moves up, closer). The core sees the same button and motion events as for the mouse drag.
  const touch = { mode: null, ids: [], x: 0, y: 0, base: 0, distance: 0 };

  function touchesOf(event) {
    const list = [];
    for (const id of touch.ids) {
      const t = [...event.touches].find((u) => u.identifier === id);
      if (t) list.push(t);
    }
    for (const t of event.touches) {
      if (list.length < 2 && !list.includes(t)) list.push(t);
    }
    return list;
  }

  function touchDistance(a, b) {
    const [ax, ay] = viewPixel(a.clientX, a.clientY);
    const [bx, by] = viewPixel(b.clientX, b.clientY);
    return Math.hypot(bx - ax, by - ay);
  }

  function endTouchMode() {
    if (touch.mode !== null) module._tv_mouse(touch.mode === "orbit" ? 0 : 2, touch.x, touch.y);
    touch.mode = null;
    touch.ids = [];
  }

  function touchChanged(event) {
    event.preventDefault();
    if (!shown) return;
    const list = touchesOf(event);
    const mode = list.length === 0 ? null : list.length === 1 ? "orbit" : "pinch";
    if (mode === touch.mode && list.every((t, k) => t.identifier === touch.ids[k])) return;
    endTouchMode();
    touch.mode = mode;
    touch.ids = list.map((t) => t.identifier);
    if (mode === "orbit") {
      [touch.x, touch.y] = viewPixel(list[0].clientX, list[0].clientY);
      module._tv_mouse(0, touch.x, touch.y);
    } else if (mode === "pinch") {
      const [ax, ay] = viewPixel(list[0].clientX, list[0].clientY);
      const [bx, by] = viewPixel(list[1].clientX, list[1].clientY);
      touch.x = Math.floor((ax + bx) / 2);
      touch.y = touch.base = Math.floor((ay + by) / 2);
      touch.distance = touchDistance(list[0], list[1]);
      module._tv_mouse(2, touch.x, touch.y);
    }
  }

  function touchMoved(event) {
    event.preventDefault();
    if (!shown || touch.mode === null) return;
    const list = touchesOf(event);
    if (touch.mode === "orbit") {
      [touch.x, touch.y] = viewPixel(list[0].clientX, list[0].clientY);
    } else {
      const y = touch.base - Math.round(touchDistance(list[0], list[1]) - touch.distance);
      if (y === touch.y) return;
      touch.y = y;
    }
    module._tv_motion(touch.x, touch.y);
    requestFrame();
  }

  function listenTouch() {
    canvas.addEventListener("touchstart", (event) => {
      canvas.focus();
      touchChanged(event);
    }, { passive: false });
    canvas.addEventListener("touchmove", touchMoved, { passive: false });
    canvas.addEventListener("touchend", touchChanged, { passive: false });
    canvas.addEventListener("touchcancel", touchChanged, { passive: false });
  }

  function listenKeys() {
    window.addEventListener("keydown", (event) => {
      const target = event.target;
      if (target instanceof HTMLInputElement || target instanceof HTMLSelectElement ||
          target instanceof HTMLTextAreaElement) return;
      if (target instanceof HTMLButtonElement && (event.key === "Enter" || event.key === " ")) {
        return;  // the button's own
      }
      if (document.getElementById("help").open) return;
      const code = keyCode(event);
      if (code < 0) return;
      if (code !== 9) event.preventDefault();
      pressKey(code);
    });
  }

  // How a key of the table is written: letters in upper case, then its alias.
  function keyNames(binding) {
    const name = (k) => /[a-z]/.test(k) ? k.toUpperCase() : k;
    return binding.alias ? name(binding.key) + " or " + name(binding.alias) : name(binding.key);
  }

  // A button for every key of the core's table, and the help's list, from the same table.
  function buildKeys() {
    const row = document.getElementById("keys");
    for (const binding of inputs.keys) {
      const button = document.createElement("button");
      button.type = "button";
      button.title = binding.help + " (key " + keyNames(binding) + ")";
      button.append(binding.label.replace(/-/g, "\u2212"));
      const kbd = document.createElement("kbd");
      kbd.textContent = binding.key.toUpperCase();
      button.append(kbd);
      button.dataset.key = binding.key;
      // The keys stay with the view: a press of the button does not take the focus.
      button.addEventListener("mousedown", (event) => event.preventDefault());
      button.addEventListener("click", () => pressKey(binding.key.charCodeAt(0)));
      row.appendChild(button);
    }
    const rows = document.querySelector("#help-keys tbody");
    const add = (input, help) => {
      const tr = rows.insertRow();
      tr.insertCell().textContent = input;
      tr.insertCell().textContent = help;
    };
    for (const binding of inputs.keys) add(keyNames(binding), binding.help);
    for (const drag of inputs.drags) add(drag.input, drag.help);
    // What the page adds to the desktop's inputs.
    add("one finger", "as a left drag");
    add("two fingers", "pinch as a right drag: spread them to come closer");
    add("wheel", "as a right drag: " + kWheelPixels + " pixels of scrolling for each pixel");
    add("buttons", "below the view: each presses its key");
    const help = document.getElementById("help");
    document.getElementById("help-button").addEventListener("click", () => help.showModal());
    help.addEventListener("close", () => canvas.focus());
  }

  function listenLoading() {
    const files = document.getElementById("files");
    files.addEventListener("change", (event) => {
      canvas.focus();
      openFiles(event.target.files);
    });
    document.addEventListener("dragover", (event) => {
      event.preventDefault();
      document.body.classList.add("dragging");
    });
    document.addEventListener("dragleave", () => document.body.classList.remove("dragging"));
    document.addEventListener("drop", (event) => {
      event.preventDefault();
      document.body.classList.remove("dragging");
      canvas.focus();
      // Scene files are opened; any other file is data to import.
      const dropped = [...event.dataTransfer.files];
      if (dropped.length > 0 && tools &&
          !dropped.some((file) => file.name === kFigureFile || file.name === kAffineFile)) {
        tools.dropData(dropped[0]);
      } else {
        openFiles(dropped);
      }
    });
    exampleList.addEventListener("change", () => {
      if (!exampleList.value) return;
      canvas.focus();
      setAddress("?example=" + encodeURIComponent(exampleList.value));
      openExample(exampleList.value, "");
    });
  }

  // Presses '>' once per frame for count frames; shows frames per second and the CPU time of
  // a frame (key, readout into the panel, picture built and handed to WebGL) in #measure.
  function measure(count) {
    let frames = 0;
    let cpu = 0;
    let first = 0;
    const flushed = panel.spent;
    function tick(now) {
      if (frames === 0) first = now;
      const t0 = performance.now();
      module._tv_key(62);
      takeConsole();
      renderer.draw(module, pixelRatio());
      cpu += performance.now() - t0;
      panel.flushSoon();  // its own time is counted by the panel
      frames++;
      if (frames <= count) {
        requestAnimationFrame(tick);
        return;
      }
      panel.flush();
      cpu += panel.spent - flushed;
      const seconds = (now - first) / 1000;
      const result = { frames: count, fps: count / seconds, cpuMsPerFrame: cpu / frames };
      const out = document.createElement("pre");
      out.id = "measure";
      out.textContent = JSON.stringify(result);
      document.body.appendChild(out);
      if (params.has("report")) {
        fetch(params.get("report"), { method: "POST", body: JSON.stringify(result) }).catch(() => {});
      }
    }
    requestAnimationFrame(tick);
  }

  async function main() {
    if (window.tessaviewStarted === "failed") return;
    if (typeof tessaviewProgram !== "function") {
      tessaviewStartFailed("The viewer\u2019s core, tessaview.js, did not load.");
      return;
    }
    try {
      module = await tessaviewProgram()({ print: (line) => console.log(line),
                                         printErr: (line) => console.error(line) });
    } catch (error) {
      tessaviewStartFailed("The viewer\u2019s core did not start in this browser: " +
                           ((error && error.message) || error));
      return;
    }
    document.title = cString(module._tv_title());
    inputs = JSON.parse(cString(module._tv_inputs()));
    worker = new TessaviewWorker(module);
    fitDensity();
    try {
      renderer = new TessaviewRenderer(canvas);
    } catch (error) {
      showOverlay("No picture: " + error.message + ". The console and the keys still work.",
                  "error");
    }
    tools = tessaviewTools({
      module, worker, status, open, showScene, requestFrame, canvas, setAddress, picture,
      catalogue: JSON.parse(cString(module._tt_catalogue())),
      sessionKeys: () => sessionKeys,
      view: viewBytes,
      outWorker: () => outWorker || (outWorker = new TessaviewWorker(module)),
    });
    buildKeys();
    listenKeys();
    listenMouse();
    listenTouch();
    listenLoading();
    exampleNames = window.tessaviewExamples || [];
    exampleList.appendChild(new Option("(none)", ""));
    for (const name of exampleNames) exampleList.appendChild(new Option(name, name));
    document.getElementById("drop-note").hidden = false;
    if (!renderer) overlay.hidden = false;
    else overlay.hidden = true;
    // Started: from now on a script error is said in the status line.
    window.tessaviewStarted = "yes";
    const report = (message) => status.say("Script error: " + message, "error");
    window.addEventListener("error", (event) => report(event.message));
    window.addEventListener("unhandledrejection", (event) => {
      report((event.reason && event.reason.message) || event.reason);
    });

    const keys = params.get("keys") || "";
    if (params.has("make")) {
      exampleList.value = "";
      await tools.openLink(params);
    } else if (params.has("scene")) {
      exampleList.value = "";
      await openFolder(params.get("scene"), keys);
    } else {
      const name = params.has("example") ? params.get("example")
        : exampleNames.includes("tesseract") ? "tesseract" : exampleNames[0];
      await openExample(name, keys);
    }
    document.body.dataset.ready = "1";
    if (params.has("measure") && renderer && shown) {
      measure(Math.max(1, Number(params.get("measure")) || 600));
    }
  }

  main();
})();
