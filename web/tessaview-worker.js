// The page's worker: a second instance of the viewer's core that does the page's long jobs (today
// reading scene files) away from the page, so that the page keeps drawing and answering keys.
//
// The worker's script is made in the page from the source of the functions below and of the core
// (tessaview.js), as a blob: that works for a page opened from disk as well as from a server.
//
// Protocol. The page posts {id, job, ...} and the worker answers with messages {id, kind, ...}:
//   kind "progress": {done, total} in bytes, now and then;
//   kind "echo":     {text, lines}, the core's console output in pieces of whole lines;
//   kind "done":     the job's result (for "load": {scene}, the records read, as bytes);
//   kind "error":    {message}.
// Jobs:
//   "load" {figure, affine}: the two scene files (each a Blob or an ArrayBuffer, or null for a
//   missing file), read as the desktop program reads its folder. A Blob (a file the user chose)
//   is read into memory here, not in the page.
// One job runs at a time; a job asked for while another runs replaces it (the worker is started
// afresh), so the newest request wins.
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
  return {
    async load(message, report) {
      const decoder = new TextDecoder("utf-8");
      module.onEcho = (bytes) => {
        const text = decoder.decode(bytes, { stream: true });
        report({ kind: "echo", text, lines: tessaviewCountLines(text) });
      };
      module.onProgress = (done, total) => report({ kind: "progress", done, total });
      const [f, fl] = await copyIn(message.figure);
      const [a, al] = await copyIn(message.affine).catch((error) => {
        if (f) module._free(f);
        throw error;
      });
      try {
        const at = module._tv_load(f, fl, a, al);
        const rest = decoder.decode();
        if (rest) report({ kind: "echo", text: rest, lines: tessaviewCountLines(rest) });
        const scene = module.HEAPU8.slice(at, at + module._tv_scene_size()).buffer;
        return [{ kind: "done", scene }, [scene]];
      } finally {
        module.onEcho = module.onProgress = null;
        if (f) module._free(f);
        if (a) module._free(a);
      }
    },
  };
}

// The worker's script (runs inside the worker, with createTessaview, tessaviewCountLines and
// tessaviewJobs defined).
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

// The page's side: starts the worker and runs jobs in it, or in the page's own instance of the
// core (module) when the browser refuses the worker (a browser without workers, or a site whose
// security policy forbids them).
class TessaviewWorker {
  constructor(module) {
    this.module = module;
    this.worker = null;
    this.answered = false;  // the worker has answered once: it runs
    this.current = null;  // the job running: {id, job, request, handle}
    this.nextId = 1;
    this.note = "";  // why the jobs run in the page, when they do
    try {
      const source = "var createTessaview = (" + tessaviewProgram.toString() + ")();\n" +
        tessaviewCountLines.toString() + "\n" + tessaviewJobs.toString() + "\n(" +
        tessaviewWorkerMain.toString() + ")();\n";
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
      if (event.data.kind === "done" || event.data.kind === "error") this.current = null;
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
      this.current = null;
      if (current) {
        current.handle({ kind: "error", message: "the worker failed: " + event.message });
      }
    };
  }

  // Runs a job; handle(message) receives its progress and echo messages. Resolves with the "done"
  // message, rejects with an Error for an "error" message, and with null when a newer job
  // replaced it.
  run(job, message, handle) {
    if (this.current) {
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
      this.current = {
        id,
        job,
        request: Object.assign({ id, job }, message),
        handle: (reply) => {
          if (reply.kind === "done") resolve(reply);
          else if (reply.kind === "error") reject(new Error(reply.message));
          else if (reply.kind === "replaced") reject(null);
          else handle(reply);
        },
      };
      if (this.worker) this.worker.postMessage(this.current.request);
      else this.runInPage(this.current);
    });
  }

  // The job on the page's own core.
  runInPage(current) {
    const finish = (reply) => {
      if (this.current === current) this.current = null;
      current.handle(reply);
    };
    tessaviewJobs(this.module)[current.job](current.request, (reply) => current.handle(reply))
      .then(([result]) => finish(result),
            (error) => finish({ kind: "error", message: String(error.message || error) }));
  }
}
