// The page's workers: instances of the viewer's core that do the page's long jobs away from the
// page, so that the page keeps drawing and answering keys: reading scene files, making, importing
// and cutting figures with tessascene's cores (web/scene_tools.cpp), and the files the page
// offers for download (a .zip of the scene files, an animated GIF drawn in the worker).
//
// A worker's script is made in the page from the source of the functions below, of the core
// (tessaview.js) and of the renderer, as a blob: that works for a page opened from disk as well as
// from a server.
//
// Protocol. The page posts {id, job, ...} and the worker answers with messages {id, kind, ...}:
//   kind "progress": {done, total} in bytes (total 0: unknown), now and then;
//   kind "echo":     {text, lines}, the core's console output in pieces of whole lines;
//   kind "done":     the job's result (below);
//   kind "error":    {message}.
// Jobs:
//   "load" {figure, affine}: the two scene files (each a Blob or an ArrayBuffer, or null for a
//     missing file), read as the desktop program reads its folder. A Blob (a file the user
//     chose) is read here, not in the page. Done: {scene}, the records read, as bytes.
//   "scene" {request, load, echo}: what tessascene makes for request = {operand, file (a Blob or
//     null for a figure generate knows), fileKey, options: [[name, value], ...], cut: null or
//     {option: "at" | "hyperplane", direction: "q" | "NX,NY,NZ,NQ", offset: text, or null for
//     the point a fraction (0 to 1, default 0.5) along the figure's extent}}. Done: {result (tt_run's, with "extent" and "offset"
//     for a cut), texts: {figure, affine}, scene (the records as the viewer reads the texts, when
//     load is set; their echo too when echo is set)}.
//   "zip" {files: [[path, text], ...]}: the files in a .zip. Done: {bytes}.
//   "sweep" {request, count, folder}: the scene files of a sweep of count cuts of the request's
//     figure along its cut's direction (q without one), as tessascene slice --sweep writes them,
//     in folder/000, folder/001, ... of a .zip. Done: {bytes}.
//   "gif" {request, kind: "turn" | "sweep", count, delay, view, keys}: an animated GIF at 800x600
//     of the view (tv_view's bytes) turned count steps of '>' (count + 1 pictures), or of a
//     sweep of count cuts of the request's figure along its cut's direction, each shown with
//     the keys pressed again and the camera kept. Done: {bytes, pictures}.
// A job started with run(..., "replace") replaces one so started that runs (the worker is started
// afresh); one started with "latest" (short ones) is waited for. Only the newest waiting job runs
// once the running one ends.
"use strict";

// The number of line breaks in text (in the worker and in the page).
function tessaviewCountLines(text) {
  let lines = 0;
  for (let at = text.indexOf("\n"); at >= 0; at = text.indexOf("\n", at + 1)) lines++;
  return lines;
}

// The worker's jobs on an instance of the core; report(message, transfer) posts to the page.
// Also run in the page itself when it cannot start a worker.
function tessaviewJobs(module) {
  const encoder = new TextEncoder();
  const decoder = new TextDecoder("utf-8");

  // Runs fn with each text of texts as a NUL-terminated string in the module's memory.
  function withStrings(texts, fn) {
    const pointers = texts.map((text) => {
      const bytes = encoder.encode(String(text));
      const at = module._malloc(bytes.length + 1);
      module.HEAPU8.set(bytes, at);
      module.HEAPU8[at + bytes.length] = 0;
      return at;
    });
    try {
      return fn(...pointers);
    } finally {
      pointers.forEach((at) => module._free(at));
    }
  }

  function cString(pointer) {
    const heap = module.HEAPU8;
    let end = pointer;
    while (heap[end] !== 0) end++;
    return decoder.decode(heap.subarray(pointer, end));
  }

  function bytesAt(pointer, length) {
    return module.HEAPU8.slice(pointer, pointer + length);
  }

  async function copyIn(file) {
    if (file === null || file === undefined) return [0, -1];
    let buffer = file;
    if (file instanceof Blob) {
      try {
        buffer = await file.arrayBuffer();
      } catch (error) {
        throw new Error((file.name || "a file") + " could not be read (" + error.message + ")");
      }
    }
    const bytes = new Uint8Array(buffer);
    const at = module._malloc(bytes.length + 1);
    module.HEAPU8.set(bytes, at);
    return [at, bytes.length];
  }

  // The viewer's reading of two files in the module's memory (length -1: missing), its echo
  // reported when echo is set; returns the records read, as bytes.
  function readScene(figure, figureLength, affine, affineLength, echo, report) {
    const echoDecoder = new TextDecoder("utf-8");
    module.onEcho = echo ? (bytes) => {
      const text = echoDecoder.decode(bytes, { stream: true });
      report({ kind: "echo", text, lines: tessaviewCountLines(text) });
    } : null;
    module.onProgress = echo ? (done, total) => report({ kind: "progress", done, total }) : null;
    try {
      const at = module._tv_load(figure, figureLength, affine, affineLength);
      const rest = echoDecoder.decode();
      if (echo && rest) report({ kind: "echo", text: rest, lines: tessaviewCountLines(rest) });
      return module.HEAPU8.slice(at, at + module._tv_scene_size()).buffer;
    } finally {
      module.onEcho = module.onProgress = null;
    }
  }

  // Lets the core read file (an ArrayBuffer, or a Blob too large to hold whole) through
  // Module.readInput, reporting the progress.
  function provideInput(file, report) {
    if (!file) {
      module.readInput = () => -1;
      return;
    }
    const total = file.byteLength !== undefined ? file.byteLength : file.size;
    const kWindow = 1 << 25;
    const kReport = 1 << 22;
    const whole = file instanceof ArrayBuffer ? new Uint8Array(file) : null;
    let reader = null;
    let window = whole;
    let start = 0;
    let reported = 0;
    module.inputFailure = "";
    module.readInput = (offset, data, size) => {
      if (offset >= total) return 0;
      if (!whole && (window === null || offset < start || offset >= start + window.length)) {
        try {
          reader = reader || new FileReaderSync();
          window = new Uint8Array(reader.readAsArrayBuffer(
            file.slice(offset, Math.min(total, offset + Math.max(kWindow, size)))));
        } catch (error) {
          module.inputFailure = "the file could not be read (" + error.message + ")";
          return -1;
        }
        start = offset;
      }
      const n = Math.min(size, start + window.length - offset);
      module.HEAPU8.set(window.subarray(offset - start, offset - start + n), data);
      if (offset + n - reported >= kReport || offset + n === total) {
        reported = offset + n;
        report({ kind: "progress", done: reported, total });
      }
      return n;
    };
  }

  // Starts the request in the core as command (0 generate, 1 import, 2 slice, 3 project), with
  // the options extra after its own.
  function begin(request, command, extra) {
    const size = request.file ? (request.file.byteLength !== undefined ? request.file.byteLength
                                                                        : request.file.size) : 0;
    withStrings([request.operand, request.fileKey || ""], (operand, key) => {
      module._tt_begin(command, operand, request.file ? 1 : 0, key, size);
    });
    for (const [name, value] of request.options.concat(extra)) {
      withStrings([name, value], (n, v) => module._tt_option(n, v));
    }
  }

  // A number as the page writes a cut's offset: at most six significant digits.
  function offsetText(value) {
    return String(Number(value.toPrecision(6)));
  }

  // Runs a request (its cut at its offset, or without one at the fraction of the figure's extent
  // its cut gives, by default the middle): tt_run's result, with the extent along the cut's
  // direction and the offset used for a cut.
  function runRequest(request) {
    const cut = request.cut;
    if (!cut) {
      const view = request.options.some(([n]) => n === "perspective" || n === "stereographic");
      begin(request, view ? 3 : request.file ? 1 : 0, []);
      return JSON.parse(cString(module._tt_run()));
    }
    begin(request, 2, [[cut.option, cut.direction]]);
    const extent = JSON.parse(cString(module._tt_extent()));
    if (!extent.ok) return extent;
    const fraction = cut.fraction === undefined ? 0.5 : cut.fraction;
    const offset = cut.offset !== null && cut.offset !== undefined
      ? cut.offset : offsetText(extent.low + (extent.high - extent.low) * fraction);
    begin(request, 2, [[cut.option, cut.direction + (cut.option === "at" ? "=" : ":") + offset]]);
    return Object.assign(JSON.parse(cString(module._tt_run())), { extent, offset });
  }

  function text(scene, file) {
    return decoder.decode(module.HEAPU8.subarray(module._tt_text(scene, file),
      module._tt_text(scene, file) + module._tt_text_size(scene, file)));
  }

  // The files [[path, text], ...] as a .zip; the job's answer.
  function zipOf(files) {
    let ok = module._tt_zip_begin();
    for (const [path, content] of files) {
      const bytes = encoder.encode(content);
      ok = ok && withStrings([path], (p) => {
        const at = module._malloc(bytes.length + 1);
        module.HEAPU8.set(bytes, at);
        const added = module._tt_zip_add(p, at, bytes.length);
        module._free(at);
        return added;
      });
    }
    if (!module._tt_zip_end(ok) || !ok) {
      throw new Error("the .zip could not be made: " + cString(module._tt_out_error()));
    }
    const bytes = bytesAt(module._tt_out(), module._tt_out_size()).buffer;
    return [{ kind: "done", bytes }, [bytes]];
  }

  // Makes the sweep of count cuts of request's figure along its cut's direction (or q); the
  // number of cuts made.
  function sweepOf(request, count) {
    const cut = request.cut || { option: "at", direction: "q" };
    begin(request, 2, [[cut.option, cut.direction], ["sweep", String(count)]]);
    const result = JSON.parse(cString(module._tt_run()));
    if (!result.ok) throw new Error(result.error);
    return result.scenes;
  }

  // The bytes of the request's file for provideInput: read whole, which is several times faster
  // than in pieces, unless it is larger than kWhole (and there is FileReaderSync, in a worker),
  // or kept by the core from an earlier request.
  async function input(request, report) {
    const file = request.file;
    const kWhole = 1 << 28;
    if (!(file instanceof Blob) || (file.size > kWhole && typeof FileReaderSync !== "undefined")) {
      return file;
    }
    begin(request, 1, []);
    if (module._tt_source_kept()) return file;  // not read again
    if (file.size >= (1 << 20)) report({ kind: "progress", done: 0, total: file.size });
    try {
      return await file.arrayBuffer();
    } catch (error) {
      throw new Error((file.name || "the file") + " could not be read (" + error.message + ")");
    }
  }

  return {
    async load(message, report) {
      const [f, fl] = await copyIn(message.figure);
      const [a, al] = await copyIn(message.affine).catch((error) => {
        if (f) module._free(f);
        throw error;
      });
      try {
        const scene = readScene(f, fl, a, al, true, report);
        return [{ kind: "done", scene }, [scene]];
      } finally {
        if (f) module._free(f);
        if (a) module._free(a);
      }
    },

    async scene(message, report) {
      const request = Object.assign({}, message.request, { file: await input(message.request, report) });
      provideInput(request.file, report);
      const result = runRequest(request);
      if (!result.ok) return [{ kind: "done", result }, []];
      const texts = { figure: text(0, 0), affine: text(0, 1) };
      let scene = null;
      if (message.load) {
        scene = readScene(module._tt_text(0, 0), module._tt_text_size(0, 0),
                          module._tt_text(0, 1), module._tt_text_size(0, 1), message.echo, report);
      }
      return [{ kind: "done", result, texts, scene }, scene ? [scene] : []];
    },

    async zip(message) {
      return zipOf(message.files);
    },

    async sweep(message, report) {
      const request = Object.assign({}, message.request, { file: await input(message.request, report) });
      provideInput(request.file, report);
      const count = sweepOf(request, message.count);
      const files = [];
      for (let k = 0; k < count; k++) {
        const folder = message.folder + "/" + String(k).padStart(3, "0") + "/";
        files.push([folder + "kvoTessa1F.txt", text(k, 0)], [folder + "kvoTessa1A.txt", text(k, 1)]);
      }
      return zipOf(files);
    },

    async gif(message, report) {
      const kWidth = 800;
      const kHeight = 600;
      const canvas = new OffscreenCanvas(kWidth, kHeight);
      const renderer = new TessaviewRenderer(canvas);
      const gl = renderer.gl;
      const pixels = new Uint8Array(kWidth * kHeight * 4);
      const view = module._malloc(message.view.byteLength);
      module.HEAPU8.set(new Uint8Array(message.view), view);
      const keys = encoder.encode(message.keys || "");
      const keysAt = module._malloc(keys.length + 1);
      module.HEAPU8.set(keys, keysAt);
      let pictures = message.count + 1;
      const scenes = [];
      if (message.kind === "sweep") {
        const request = Object.assign({}, message.request,
                                      { file: await input(message.request, report) });
        provideInput(request.file, report);
        pictures = sweepOf(request, message.count);
        for (let k = 0; k < pictures; k++) {
          scenes.push(readScene(module._tt_text(k, 0), module._tt_text_size(k, 0),
                                module._tt_text(k, 1), module._tt_text_size(k, 1), false, report));
        }
      }
      let shown = -1;  // the turn's picture in the view
      module.drawPicture = (index, rgb, width, height) => {
        if (message.kind === "sweep") {
          module._tv_set_view(view);
          const at = module._malloc(scenes[index].byteLength);
          module.HEAPU8.set(new Uint8Array(scenes[index]), at);
          module._tv_show(at, keysAt, keys.length, 1, 1);
          module._free(at);
        } else if (shown >= 0 && index === shown + 1) {
          module._tv_key(62);
        } else {
          module._tv_set_view(view);
          for (let k = 0; k < index; k++) module._tv_key(62);
        }
        shown = index;
        module._tv_console_clear();  // the frames' readout is not wanted here
        renderer.draw(module, 1);
        gl.readPixels(0, 0, width, height, gl.RGBA, gl.UNSIGNED_BYTE, pixels);
        const heap = module.HEAPU8;
        for (let y = 0; y < height; y++) {
          const from = (height - 1 - y) * width * 4;
          let to = rgb + y * width * 3;
          for (let x = 0; x < width; x++, to += 3) {
            heap[to] = pixels[from + 4 * x];
            heap[to + 1] = pixels[from + 4 * x + 1];
            heap[to + 2] = pixels[from + 4 * x + 2];
          }
        }
        report({ kind: "progress", done: index + 1, total: pictures, pictures: true });
        return true;
      };
      try {
        if (!module._tt_gif(pictures, kWidth, kHeight, message.delay)) {
          throw new Error("the GIF could not be made: " + cString(module._tt_out_error()));
        }
        const bytes = bytesAt(module._tt_out(), module._tt_out_size()).buffer;
        return [{ kind: "done", bytes, pictures }, [bytes]];
      } finally {
        module.drawPicture = null;
        module._free(view);
        module._free(keysAt);
      }
    },
  };
}

// The worker's script (runs inside the worker, with createTessaview, tessaviewCountLines,
// tessaviewJobs and TessaviewRenderer defined).
function tessaviewWorkerMain() {
  const started = createTessaview({ print: (line) => console.log(line),
                                    printErr: (line) => console.error(line) });
  self.onmessage = (event) => {
    const message = event.data;
    const report = (reply, transfer) => self.postMessage(Object.assign({ id: message.id }, reply),
                                                         transfer || []);
    started.then(async (module) => {
      const job = tessaviewJobs(module)[message.job];
      if (!job) throw new Error("no job called " + message.job);
      const [result, transfer] = await job(message, report);
      report(result, transfer);
    }).catch((error) => {
      report({ kind: "error", message: String((error && error.message) || error) });
    });
  };
}

// The page's side: starts a worker and runs jobs in it, or in the page's own instance of the core
// (module) when the browser refuses the worker (a browser without workers, or a site whose
// security policy forbids them).
class TessaviewWorker {
  constructor(module) {
    this.module = module;
    this.worker = null;
    this.answered = false;  // the worker has answered once: it runs
    this.current = null;  // the job running: {id, job, request, handle}
    this.waiting = null;  // the newest job asked for with "latest" while another ran
    this.nextId = 1;
    this.note = "";  // why the jobs run in the page, when they do
    try {
      const source = "var createTessaview = (" + tessaviewProgram.toString() + ")();\n" +
        tessaviewCountLines.toString() + "\n" + tessaviewJobs.toString() + "\n" +
        "var TessaviewRenderer = " + TessaviewRenderer.toString() + ";\n" +
        "Object.assign(TessaviewRenderer, " + JSON.stringify({
          floatsPerVertex: TessaviewRenderer.floatsPerVertex,
          vertexShader: TessaviewRenderer.vertexShader,
          fragmentShader: TessaviewRenderer.fragmentShader,
        }) + ");\n(" + tessaviewWorkerMain.toString() + ")();\n";
      this.url = URL.createObjectURL(new Blob([source], { type: "text/javascript" }));
      this.start();
    } catch (error) {
      this.refused(error.message);
    }
  }

  refused(why) {
    this.worker = null;
    this.note = "this browser did not start the page's worker (" + why + "), so a large file " +
      "holds up the page while it is read";
  }

  start() {
    this.worker = new Worker(this.url);
    this.worker.onmessage = (event) => {
      this.answered = true;
      const current = this.current;
      if (!current || event.data.id !== current.id) return;
      if (event.data.kind === "done" || event.data.kind === "error") this.finished();
      current.handle(event.data);
    };
    this.worker.onerror = (event) => {
      event.preventDefault();
      const current = this.current;
      if (!this.answered) {
        this.worker.terminate();
        this.refused(event.message || "it failed to start");
        if (current) this.runInPage(current);
        return;
      }
      this.finished();
      if (current) {
        current.handle({ kind: "error", message: "the worker failed: " + event.message });
      }
    };
  }

  // The running job ended: the waiting one, if any, starts.
  finished() {
    this.current = null;
    if (this.waiting) {
      const next = this.waiting;
      this.waiting = null;
      this.begin(next);
    }
  }

  begin(job) {
    this.current = job;
    if (this.worker) this.worker.postMessage(job.request);
    else this.runInPage(job);
  }

  // Whether a job runs or waits.
  busy() {
    return this.current !== null || this.waiting !== null;
  }

  // Runs a job; handle(message) receives its progress and echo messages. Resolves with the "done"
  // message, rejects with an Error for an "error" message, and with null when a newer job
  // replaced it. mode "replace" (the default) ends a running job that was started so, or waits
  // for one started with "latest"; "latest" waits for the running job. Either drops a job that
  // was waiting.
  run(job, message, handle, mode) {
    if (this.waiting) {
      const dropped = this.waiting;
      this.waiting = null;
      dropped.handle({ kind: "replaced" });
    }
    // Only a job started to replace others is ended by the next one; a short job ("latest": a
    // live cut, the warm-up) ends first, which costs less than starting the worker afresh.
    if (mode !== "latest" && this.current && this.current.replaceable) {
      const replaced = this.current;
      this.current = null;
      if (this.worker) {
        this.worker.terminate();
        this.start();
      }
      replaced.handle({ kind: "replaced" });
    }
    return new Promise((resolve, reject) => {
      const id = this.nextId++;
      const entry = {
        id,
        job,
        replaceable: mode !== "latest",
        request: Object.assign({ id, job }, message),
        handle: (reply) => {
          if (reply.kind === "done") resolve(reply);
          else if (reply.kind === "error") reject(new Error(reply.message));
          else if (reply.kind === "replaced") reject(null);
          else if (handle) handle(reply);
        },
      };
      if (this.current) this.waiting = entry;
      else this.begin(entry);
    });
  }

  // The job on the page's own core.
  runInPage(current) {
    const finish = (reply) => {
      if (this.current === current) this.finished();
      current.handle(reply);
    };
    tessaviewJobs(this.module)[current.job](current.request, (reply) => current.handle(reply))
      .then(([result]) => finish(result),
            (error) => finish({ kind: "error", message: String(error.message || error) }));
  }
}
