// The page: loads a scene into the WebAssembly viewer, hands it the keys and the mouse, shows
// its console readout in the panel and the browser's console, and draws its picture.
//
// Address parameters: example=NAME opens examples/NAME; scene=PATH opens the two scene files in
// the folder PATH on the same site; keys=KEYS presses the keys once the scene is loaded;
// measure=N presses '>' once per frame for N frames and shows the frame rate and CPU time.
"use strict";

(function () {
  const kMaxLines = 50000;
  const kFigureFile = "kvoTessa1F.txt";
  const kAffineFile = "kvoTessa1A.txt";
  const params = new URLSearchParams(location.search);
  const canvas = document.getElementById("view");
  const statusLine = document.getElementById("status");
  const exampleList = document.getElementById("example");
  const decoder = new TextDecoder("utf-8");

  // The console panel: the last kMaxLines lines of the transcript, one block per batch,
  // with a note above it once lines were dropped.
  class ConsolePanel {
    constructor(pre, note) {
      this.pre = pre;
      this.note = note;
      this.timer = null;
      this.lastFlush = -Infinity;
      this.spent = 0;  // milliseconds spent in flush, for measuring
      // The panel follows new lines until the reader scrolls up, and again once back at the end.
      this.follow = true;
      pre.addEventListener("scroll", () => {
        this.follow = pre.scrollTop + pre.clientHeight >= pre.scrollHeight - 4;
      });
      this.clear();
    }

    clear() {
      this.pre.textContent = "";
      this.note.hidden = true;
      this.chunks = [];
      this.lines = 0;
      this.dropped = 0;
      this.pending = [];
    }

    add(text) {
      this.pending.push(text);
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

    // Writes what was added since the last flush: one block of text (so that the browser lays
    // out only the new block), one browser console message.
    flush() {
      if (this.timer !== null) clearTimeout(this.timer);
      this.timer = null;
      this.lastFlush = performance.now();
      if (this.pending.length === 0) return;
      const started = this.lastFlush;
      const text = this.pending.join("");
      this.pending = [];
      console.log(text.endsWith("\n") ? text.slice(0, -1) : text);
      let lines = 0;
      for (let at = text.indexOf("\n"); at >= 0; at = text.indexOf("\n", at + 1)) lines++;
      const block = document.createElement("div");
      block.textContent = text;
      this.pre.appendChild(block);
      this.chunks.push({ node: block.firstChild, block, lines });
      // The newest blocks keep their real height, so that the end of the panel is exact.
      if (this.chunks.length > 2) this.chunks[this.chunks.length - 3].block.className = "old";
      this.lines += lines;
      this.trim();
      if (this.follow) this.pre.scrollTop = this.pre.scrollHeight;
      this.spent += performance.now() - started;
    }

    trim() {
      while (this.lines > kMaxLines) {
        const first = this.chunks[0];
        const excess = this.lines - kMaxLines;
        if (first.lines <= excess) {
          first.block.remove();
          this.chunks.shift();
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
  }

  const panel = new ConsolePanel(document.getElementById("console"),
                                 document.getElementById("console-note"));
  let module = null;
  let renderer = null;
  let pictureDue = false;
  let framePending = false;

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

  function showFrame() {
    framePending = false;
    takeConsole();
    panel.flushSoon();
    if (pictureDue && renderer) {
      pictureDue = false;
      renderer.draw(module);
    }
  }

  function requestFrame() {
    pictureDue = true;
    if (!framePending) {
      framePending = true;
      requestAnimationFrame(showFrame);
    }
  }

  // Copies bytes (or null for a missing file) into the module; returns [pointer, length].
  function copyIn(bytes) {
    if (bytes === null) return [0, -1];
    const at = module._malloc(bytes.length + 1);
    module.HEAPU8.set(bytes, at);
    return [at, bytes.length];
  }

  // Starts the viewer afresh on the two files' bytes; null stands for a missing file.
  function start(figure, affine, keys) {
    panel.clear();
    const [f, fl] = copyIn(figure);
    const [a, al] = copyIn(affine);
    module._tv_start(f, fl, a, al);
    if (f) module._free(f);
    if (a) module._free(a);
    for (const key of keys || "") {
      const code = key.charCodeAt(0);
      if (code < 256) module._tv_key(code);
    }
    pictureDue = true;
    showFrame();
    panel.flush();
    document.body.dataset.loaded = String(Number(document.body.dataset.loaded || 0) + 1);
  }

  async function fetchBytes(url) {
    try {
      const response = await fetch(url, { cache: "no-cache" });
      if (!response.ok) return null;
      return new Uint8Array(await response.arrayBuffer());
    } catch (e) {
      return null;
    }
  }

  // The folder at a relative address on this site, with a trailing slash; null for any other.
  function siteFolder(path) {
    if (/^[a-z][a-z0-9+.-]*:|^\/\/|\\/i.test(path)) return null;
    const url = new URL(path.endsWith("/") ? path : path + "/", location.href);
    return url.origin === location.origin ? url : null;
  }

  // Reads the two files from a folder of the site, as the desktop program reads its folder:
  // the affine file only when the figure file is there.
  async function loadFolder(folder, keys) {
    const figure = await fetchBytes(new URL(kFigureFile, folder));
    const affine = figure === null ? null : await fetchBytes(new URL(kAffineFile, folder));
    start(figure, affine, keys);
  }

  // The user's own files, read in the browser; a name that is not there is a missing file.
  async function loadFiles(files) {
    const byName = new Map();
    for (const file of files) byName.set(file.name, file);
    const read = async (name) => byName.has(name) ? new Uint8Array(await byName.get(name).arrayBuffer()) : null;
    const figure = await read(kFigureFile);
    const affine = figure === null ? null : await read(kAffineFile);
    statusLine.textContent = "Your files: " + [...byName.keys()].join(", ") +
      (byName.has(kFigureFile) && byName.has(kAffineFile) ? "" : " (the viewer reads " + kFigureFile +
       " and " + kAffineFile + ")");
    exampleList.value = "";
    history.replaceState(null, "", location.pathname);
    start(figure, affine, "");
  }

  // Keys as the desktop's keyboard callback receives them: characters, Esc, Return, Tab,
  // Backspace and Delete; nothing with Ctrl, Alt or Meta, which stay the browser's.
  const specialKeys = { Escape: 27, Enter: 13, Tab: 9, Backspace: 8, Delete: 127 };
  function keyCode(event) {
    if (event.ctrlKey || event.altKey || event.metaKey) return -1;
    if (event.key.length === 1 && event.key.charCodeAt(0) < 128) return event.key.charCodeAt(0);
    return event.key in specialKeys ? specialKeys[event.key] : -1;
  }

  function canvasPixel(event) {
    const box = canvas.getBoundingClientRect();
    return [Math.floor((event.clientX - box.left) * canvas.width / box.width),
            Math.floor((event.clientY - box.top) * canvas.height / box.height)];
  }

  function listen() {
    window.addEventListener("keydown", (event) => {
      const target = event.target;
      if (target instanceof HTMLInputElement || target instanceof HTMLSelectElement) return;
      const code = keyCode(event);
      if (code < 0) return;
      if (code !== 9) event.preventDefault();
      module._tv_key(code);
      requestFrame();
    });
    // A drag that starts on the canvas goes on over the whole page, as the desktop's window
    // keeps reporting a held button's motion outside it; every event is used as it comes.
    let held = 0;
    canvas.addEventListener("mousedown", (event) => {
      event.preventDefault();
      canvas.focus();
      const [x, y] = canvasPixel(event);
      module._tv_mouse(event.button, x, y);
      held = event.buttons;
    });
    window.addEventListener("mousemove", (event) => {
      if (held === 0) return;
      const [x, y] = canvasPixel(event);
      module._tv_motion(x, y);
      requestFrame();
    });
    window.addEventListener("mouseup", (event) => {
      if (held === 0) return;
      const [x, y] = canvasPixel(event);
      module._tv_mouse(event.button, x, y);
      held = event.buttons;
    });
    canvas.addEventListener("contextmenu", (event) => event.preventDefault());
    canvas.addEventListener("wheel", (event) => {
      event.preventDefault();
      const [x, y] = canvasPixel(event);
      const button = event.deltaY < 0 ? 3 : 4;
      module._tv_mouse(button, x, y);
      module._tv_mouse(button, x, y);
    }, { passive: false });

    document.getElementById("files").addEventListener("change", (event) => loadFiles(event.target.files));
    document.addEventListener("dragover", (event) => {
      event.preventDefault();
      document.body.classList.add("dragging");
    });
    document.addEventListener("dragleave", () => document.body.classList.remove("dragging"));
    document.addEventListener("drop", (event) => {
      event.preventDefault();
      document.body.classList.remove("dragging");
      loadFiles(event.dataTransfer.files);
    });
    exampleList.addEventListener("change", () => {
      if (!exampleList.value) return;
      history.replaceState(null, "", "?example=" + encodeURIComponent(exampleList.value));
      statusLine.textContent = "Example " + exampleList.value;
      loadFolder(new URL("examples/" + exampleList.value + "/", location.href), "");
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
      renderer.draw(module);
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
    module = await createTessaview({ print: (line) => console.log(line), printErr: (line) => console.error(line) });
    document.title = cString(module._tv_title());
    try {
      renderer = new TessaviewRenderer(canvas);
    } catch (e) {
      statusLine.textContent = "No picture: " + e.message + ". The console below still works.";
    }
    listen();
    const names = (await fetch("examples.json").then((r) => r.json()).catch(() => [])) || [];
    exampleList.appendChild(new Option("(your own files)", ""));
    for (const name of names) exampleList.appendChild(new Option(name, name));

    const keys = params.get("keys") || "";
    let folder = null;
    if (params.has("scene")) {
      folder = siteFolder(params.get("scene"));
      if (folder === null) statusLine.textContent = "scene= takes a folder on this site, such as my-scenes/cube";
      exampleList.value = "";
    } else {
      const name = params.get("example") || (names.includes("tesseract") ? "tesseract" : names[0]);
      if (name && /^[A-Za-z0-9._-]+$/.test(name) && name !== "." && name !== "..") {
        exampleList.value = names.includes(name) ? name : "";
        folder = new URL("examples/" + name + "/", location.href);
      }
    }
    if (folder !== null) await loadFolder(folder, keys);
    if (params.has("measure") && renderer) measure(Math.max(1, Number(params.get("measure")) || 600));
  }

  main();
})();
