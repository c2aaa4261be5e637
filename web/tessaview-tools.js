// The page's tools: the panel that makes a figure (tessascene generate), imports the user's data
// (tessascene import), cuts either with a hyperplane while a slider moves (tessascene slice), and
// offers what is shown as scene files, a PNG and an animated GIF. The work is tessascene's own
// code in the page's worker (jobs "scene", "zip" and "gif" of tessaview-worker.js); this script
// only gathers the options, in tessascene's own words, and shows what comes back.
//
// Address parameters: make=FIGURE with the options of tessascene's command line by their long
// names (size, color, line-loop, projection, scale, rotate and spin, both repeatable, center;
// perspective or stereographic ask for project's view),
// and at=AXIS=C or hyperplane=NX,NY,NZ,NQ:C for a cut; keys as for the rest of the page.
"use strict";

// Builds the panel for the page (tessaview-page.js gives page: {module, worker, outWorker(),
// status, open, showScene, sessionKeys(), requestFrame, canvas, renderer, setAddress, catalogue,
// flushConsole}); returns {openLink(params), shown(kind)}.
function tessaviewTools(page) {
  const kSliderSteps = 1000;
  const kSweepSeconds = 8;  // Play: through the extent and back
  const kAxes = ["x", "y", "z", "q"];
  const $ = (id) => document.getElementById(id);
  const figures = page.catalogue.figures;

  // What is shown, when it was made here: {source, options, cut, texts, what}. source is
  // {figure: "24-cell"} or {file: File, name, key}; cut is null or {option, direction, offset}.
  let current = null;
  let cutRunning = false;  // a live cut is being made
  let cutAgain = false;  // the slider moved meanwhile
  let restWanted = false;  // once the live cuts end, show the last one as the desktop would
  let extent = null;  // {low, high} of the figure along the cut's direction
  let playing = null;  // Play's animation: {start}
  let dataFile = null;  // the file chosen or dropped for import
  let nextFileKey = 1;

  // -- The panel's values, as tessascene's options ---------------------------------------------

  // A value as a shell word: quoted when it holds anything but plain characters.
  function shellWord(text) {
    return /^[A-Za-z0-9_.,:=+\-\/%@]+$/.test(text) ? text : "'" + text.replace(/'/g, "'\\''") + "'";
  }

  // The figure the Make part names: NAME, or NAME:A,B when its parameters are not the defaults.
  function figureRequest() {
    const kind = figures.find((f) => f.name === $("figure").value);
    const values = [...document.querySelectorAll("#figure-parameters input")].map((i) => i.value.trim());
    if (kind && kind.symbol) return values[0] ? kind.name + ":" + values[0] : kind.name;
    if (!kind || kind.count === 0) return $("figure").value;
    return values.every((v, k) => v === String(kind.defaults[k]))
      ? kind.name : kind.name + ":" + values.join(",");
  }

  // The options of the panel's fields that hold a value, [[name, value], ...] in the panel's
  // order; a field marked data-repeat gives one option per word. forFile: also the table's.
  function panelOptions(forFile) {
    const options = [];
    for (const field of document.querySelectorAll("#tools [data-option]")) {
      if (field.dataset.table !== undefined && !forFile) continue;
      const name = field.dataset.option;
      if (field.type === "checkbox") {
        if (field.checked) options.push([name, ""]);
        continue;
      }
      const value = field.value.trim();
      if (value === "") continue;
      if (field.dataset.repeat !== undefined) {
        for (const word of value.split(/\s+/)) options.push([name, word]);
      } else {
        options.push([name, value]);
      }
    }
    return options;
  }

  // The cut the Cut part asks for, or null; offset null: where the slider stands along the
  // figure's extent.
  function panelCut(offset) {
    const kind = $("cut-kind").value;
    if (kind === "") return null;
    const fraction = Number($("cut-offset").value) / kSliderSteps;
    if (kind === "normal") {
      return { option: "hyperplane", direction: $("cut-normal-text").value.trim(), offset, fraction };
    }
    return { option: "at", direction: kind, offset, fraction };
  }

  // Whether a request asks for a view (tessascene project) rather than the figure itself.
  function projects(request) {
    return request.options.some(([name]) => name === "perspective" || name === "stereographic");
  }

  // tessascene's command line for what is asked.
  function commandLine(request) {
    const words = ["tessascene", request.cut ? "slice" : projects(request) ? "project"
                   : request.file ? "import" : "generate",
                   request.file ? request.fileName : request.operand];
    for (const [name, value] of request.options) {
      words.push("--" + name);
      if (value !== "") words.push(value);
    }
    if (request.cut) {
      const c = request.cut;
      words.push("--" + c.option, c.direction + (c.option === "at" ? "=" : ":") + c.offset);
    }
    return words.map(shellWord).join(" ");
  }

  // The request for the worker: source, the panel's options, cut.
  function request(source, cut) {
    return {
      operand: source.figure || source.name,
      fileName: source.name,
      file: source.file || null,
      fileKey: source.key || "",
      options: panelOptions(Boolean(source.file)),
      cut,
    };
  }

  // A name for downloads: the figure or file, and the cut.
  function downloadName() {
    const base = (current.source.figure || current.source.name.replace(/\.[^.]*$/, ""))
      .replace(/[^A-Za-z0-9._-]+/g, "-");
    const cut = current.cut;
    return base + (cut ? "-" + (cut.option === "at" ? cut.direction : "cut") + cut.offset : "")
      .replace(/[^A-Za-z0-9._-]+/g, "_");
  }

  // The address of what is shown: the page's own with make= and the options, or "" when it
  // cannot be written as one (the user's data).
  function linkOf(state, keys) {
    if (!state.source.figure) return "";
    const params = new URLSearchParams();
    params.append("make", state.source.figure);
    for (const [name, value] of state.options) params.append(name, value);
    if (state.cut) {
      const c = state.cut;
      params.append(c.option, c.direction + (c.option === "at" ? "=" : ":") + c.offset);
    }
    if (keys) params.append("keys", keys);
    return "?" + params.toString();
  }

  // What tessascene prints for a result, as the status line shows it.
  function report(result) {
    const lines = (result.notes || []).slice();
    lines.push(result.ok ? result.summary : result.error);
    return lines.join("\n");
  }

  // -- Making, importing and cutting -----------------------------------------------------------

  // Shows what source makes with the panel's options and cut (its offset, or null for the middle
  // of the figure's extent): the whole echo and first frame, as the desktop program shows the
  // files. keepCamera: the same figure cut anew, the view kept as it was.
  function show(source, cut, keys, keepCamera) {
    const asked = request(source, cut);
    const what = commandLine(Object.assign({}, asked, { cut: cut && Object.assign({}, cut, {
      offset: cut.offset === null ? "\u2026" : cut.offset }) }));
    return page.open(what, async (handle, stale) => {
      const reply = await page.worker.run("scene", { request: asked, load: true, echo: true },
                                          handle, keepCamera ? "latest" : "replace");
      const result = reply.result;
      if (stale()) throw null;
      if (!result.ok) throw new Error(report(result));
      shown(source, asked, result, reply.texts);
      return Object.assign(reply, { note: { text: commandLine(Object.assign({}, asked, {
        cut: current.cut })) + "\n" + report(result), kind: "" } });
    }, keys, { keepCamera, quietError: true, verb: source.file ? "reading" : "making" })
      .then((done) => {
        if (done) updateAddress();
        return done;
      });
  }

  // Takes note of a scene made here (live: one of the live cuts, whose address is written once
  // the slider rests).
  function shown(source, asked, result, texts, live) {
    const cut = asked.cut ? Object.assign({}, asked.cut, { offset: result.offset }) : null;
    current = { source, options: asked.options, cut, texts };
    if (cut) {
      extent = result.extent;
      $("cut-value").textContent = cut.offset;
      if (!playing) {
        const span = extent.high - extent.low;
        $("cut-offset").value = span > 0
          ? Math.round((Number(cut.offset) - extent.low) / span * kSliderSteps) : kSliderSteps / 2;
      }
    }
    if (!live) updateAddress();
  }

  function updateAddress() {
    const link = current ? linkOf(current, page.sessionKeys()) : "";
    page.setAddress(link);
    $("command-text").textContent = current
      ? commandLine(Object.assign(request(current.source, current.cut), { options: current.options }))
      : "";
  }

  // The offset the slider stands for, as text.
  function sliderOffset() {
    if (!extent) return null;
    const value = extent.low + (extent.high - extent.low) * Number($("cut-offset").value) /
      kSliderSteps;
    return String(Number(value.toPrecision(6)));
  }

  // One live cut at the slider's offset: made and shown without the console's echo; a cut
  // asked for while one is being made waits, and only the newest one is made then.
  function liveCut() {
    if (!current || !extent || !panelCut(null)) return;
    if (cutRunning) {
      cutAgain = true;
      return;
    }
    cutRunning = true;
    const offset = sliderOffset();
    $("cut-value").textContent = offset;
    const asked = request(current.source, panelCut(offset));
    page.worker.run("scene", { request: asked, load: true, echo: false }, null, "latest")
      .then((reply) => {
        if (!reply.result.ok) {
          page.status.say(commandLine(asked) + ": " + report(reply.result), "error");
          return;
        }
        page.showScene(reply.scene, page.sessionKeys(), true, true);
        page.requestFrame();
        shown(current.source, asked, reply.result, reply.texts, true);
        document.body.dataset.cuts = String(Number(document.body.dataset.cuts || 0) + 1);
      }, (error) => {
        if (error) page.status.say(error.message, "error");
      })
      .finally(() => {
        cutRunning = false;
        if (cutAgain) {
          cutAgain = false;
          liveCut();
        } else if (restWanted) {
          rest();
        }
      });
  }

  // The slider rests: the cut shown is shown again as the desktop shows its files, echo and
  // frames in the console.
  function rest() {
    if (cutRunning || cutAgain) {
      restWanted = true;
      return;
    }
    restWanted = false;
    if (current && panelCut(null)) show(current.source, panelCut(sliderOffset()), page.sessionKeys(), true);
  }

  function make() {
    stopPlaying();
    const source = { figure: figureRequest() };
    return show(source, panelCut(null), "", false);
  }

  function importData() {
    stopPlaying();
    if (!dataFile) {
      page.status.say("Your data: choose or drop a file first (a table, .npy, .npz or an " +
                      "OFF-family file, also gzip-compressed).", "warning");
      return Promise.resolve(false);
    }
    // A name as messages show it: no control characters.
    const name = dataFile.name.replace(/[\u0000-\u001f\u007f]/g, "?");
    const source = { file: dataFile, name, key: dataFile.key };
    return show(source, panelCut(null), "", false);
  }

  // The same source again with the panel's options and cut (the options changed, or the cut's
  // direction): made afresh, the view kept.
  function again() {
    if (!current) return;
    stopPlaying();
    show(current.source, panelCut(null), page.sessionKeys(), true);
  }

  // -- Play ------------------------------------------------------------------------------------

  function stopPlaying() {
    if (!playing) return false;
    playing = null;
    $("cut-play").textContent = "Play";
    return true;
  }

  function play() {
    if (stopPlaying()) {
      rest();
      return;
    }
    if (!current || !panelCut(null) || !extent) {
      page.status.say("Cut: make or import a figure and choose a cut first.", "warning");
      return;
    }
    const start = performance.now() -
      Number($("cut-offset").value) / kSliderSteps * kSweepSeconds * 500;
    playing = { start };
    $("cut-play").textContent = "Pause";
    const step = (now) => {
      if (playing === null || playing.start !== start) return;
      const phase = ((now - start) / (kSweepSeconds * 1000)) % 1;
      const there = phase < 0.5 ? 2 * phase : 2 - 2 * phase;
      $("cut-offset").value = Math.round(there * kSliderSteps);
      liveCut();
      requestAnimationFrame(step);
    };
    requestAnimationFrame(step);
  }

  // -- Out -------------------------------------------------------------------------------------

  function download(name, blob) {
    const link = document.createElement("a");
    link.href = URL.createObjectURL(blob);
    link.download = name;
    document.body.appendChild(link);
    link.click();
    link.remove();
    setTimeout(() => URL.revokeObjectURL(link.href), 60000);
  }

  function needScene(what) {
    if (current) return true;
    page.status.say(what + ": make a figure or import data first (scene files of an example " +
                    "or your own are where you took them from).", "warning");
    return false;
  }

  async function saveZip() {
    if (!needScene("Scene files")) return;
    const name = downloadName();
    try {
      const reply = await page.outWorker().run("zip", { files: [
        [name + "/kvoTessa1F.txt", current.texts.figure],
        [name + "/kvoTessa1A.txt", current.texts.affine]] });
      download(name + ".zip", new Blob([reply.bytes], { type: "application/zip" }));
      page.status.say("Scene files: " + name + ".zip, the folder " + name + " with " +
                      "kvoTessa1F.txt and kvoTessa1A.txt.");
    } catch (error) {
      if (error) page.status.say("Scene files: " + error.message, "error");
    }
  }

  // The scene files of a sweep of N cuts (the GIF's N) along the cut's direction (q without one),
  // as tessascene slice --sweep N writes them.
  async function saveSweep() {
    if (!needScene("Sweep files")) return;
    const count = gifCount();
    const cut = panelCut(null);
    const name = downloadName().replace(/-(cut|[xyzq]).*$/, "") + "-sweep";
    page.status.say("Sweep files: " + count + " cuts\u2026");
    try {
      const reply = await page.outWorker().run("sweep", {
        request: request(current.source, cut && { option: cut.option, direction: cut.direction }),
        count, folder: name });
      download(name + ".zip", new Blob([reply.bytes], { type: "application/zip" }));
      page.status.say("Sweep files: " + name + ".zip, the folders " + name + "/000 to " + name +
                      "/" + String(count - 1).padStart(3, "0") + ".");
    } catch (error) {
      if (error) page.status.say("Sweep files: " + error.message, "error");
    }
  }

  // The N of the GIF and of the sweep.
  function gifCount() {
    return Math.max(1, Math.min(360, Math.round(Number($("gif-count").value) || 24)));
  }

  function saveFiles() {
    if (!needScene("Scene files")) return;
    download("kvoTessa1F.txt", new Blob([current.texts.figure], { type: "text/plain" }));
    download("kvoTessa1A.txt", new Blob([current.texts.affine], { type: "text/plain" }));
    page.status.say("Scene files: kvoTessa1F.txt and kvoTessa1A.txt.");
  }

  function savePng() {
    const blob = page.picture();
    if (!blob) {
      page.status.say("Picture: there is no picture to save.", "warning");
      return;
    }
    blob.then((png) => download((current ? downloadName() : "tessaview") + ".png", png));
  }

  async function saveGif() {
    const kind = $("gif-kind").value;
    const count = gifCount();
    const view = page.view();
    if (!view) return;
    if (kind === "sweep" && !needScene("A sweep")) return;
    const what = kind === "turn" ? "GIF of " + count + " steps" : "GIF of a sweep of " + count + " cuts";
    const asked = kind === "sweep"
      ? request(current.source, panelCut(null) || { option: "at", direction: "q", offset: null })
      : null;
    page.status.say(what + ": drawing\u2026");
    page.status.progress();
    try {
      const reply = await page.outWorker().run("gif", {
        request: asked, kind, count, delay: 10, view, keys: page.sessionKeys() },
        (message) => {
          if (message.pictures) {
            page.status.say(what + ": picture " + message.done + " of " + message.total + "\u2026");
            page.status.progress(message.done, 2 * message.total);
          }
        });
      download((current ? downloadName() : "tessaview") + "-" + kind + ".gif",
               new Blob([reply.bytes], { type: "image/gif" }));
      page.status.say(what + ": " + reply.pictures + " pictures of 800\u00d7600, " +
                      Math.round(reply.bytes.byteLength / 1024) + " KB.");
      document.body.dataset.gifs = String(Number(document.body.dataset.gifs || 0) + 1);
    } catch (error) {
      if (error) page.status.say(what + ": " + error.message, "error");
    }
  }

  async function copyLink() {
    if (!current || !current.source.figure) {
      page.status.say("Link to this: " + (current
        ? "a link cannot carry your data file; download the scene files instead."
        : "the address already names what is shown."), current ? "warning" : "");
      if (!current) copyText(location.href);
      return;
    }
    updateAddress();
    copyText(location.href);
  }

  function copyText(text) {
    const done = () => page.status.say("Link to this (copied): " + text);
    if (navigator.clipboard && navigator.clipboard.writeText) {
      navigator.clipboard.writeText(text).then(done, () => page.status.say("Link to this: " + text));
    } else {
      page.status.say("Link to this: " + text);
    }
  }

  // -- The panel -------------------------------------------------------------------------------

  function fillFigures() {
    const list = $("figure");
    for (const kind of figures) {
      const text = (kind.parameters ? kind.name + ":" + kind.parameters : kind.name) +
        (kind.alias ? " (" + kind.alias + ")" : "") + (kind.fits ? "" : ", too large");
      list.appendChild(new Option(text, kind.name));
    }
    list.value = figures.some((f) => f.name === "24-cell") ? "24-cell" : figures[0].name;
    fillParameters();
  }

  // The inputs of the chosen figure's parameters, at their defaults (or values, when given).
  function fillParameters(values) {
    const box = $("figure-parameters");
    box.textContent = "";
    const kind = figures.find((f) => f.name === $("figure").value);
    if (!kind) return;
    if (kind.symbol) {
      const label = document.createElement("label");
      const input = document.createElement("input");
      input.placeholder = "e.g. F4:1001";
      input.value = values ? values.join(",") : "";
      input.title = kind.parameters + ", as tessascene --help describes it";
      label.append(kind.parameters + " ", input);
      box.appendChild(label);
      return;
    }
    kind.parameters.split(",").slice(0, kind.count).forEach((name, k) => {
      const label = document.createElement("label");
      const input = document.createElement("input");
      input.type = "number";
      input.min = kind.minimum;
      input.max = kind.maximum;
      input.step = 1;
      input.value = values && values[k] !== undefined ? values[k] : kind.defaults[k];
      input.title = name + ": a whole number from " + kind.minimum + " to " + kind.maximum +
        " (default " + kind.defaults[k] + ")";
      label.append(name + " ", input);
      box.appendChild(label);
    });
  }

  function showTab(name) {
    for (const tab of document.querySelectorAll("#tool-tabs [role=tab]")) {
      const on = tab.dataset.tab === name;
      tab.setAttribute("aria-selected", String(on));
      $("tool-" + tab.dataset.tab).hidden = !on;
    }
  }

  function chooseData(file) {
    if (!file) return;
    dataFile = file;
    dataFile.key = String(nextFileKey++);
    $("data-name").textContent = file.name + " (" + (file.size / 1048576).toFixed(1) + " MB)";
    showTab("data");
  }

  function cutKindChanged() {
    stopPlaying();
    const kind = $("cut-kind").value;
    $("cut-normal").hidden = kind !== "normal";
    $("cut-offset").disabled = kind === "";
    extent = null;
    if (current) {
      again();
    } else if (kind !== "") {
      page.status.say("Cut: make a figure or import data first; then the cut follows.", "warning");
    }
  }

  // The normal's sliders and its text follow each other.
  function normalFromSliders() {
    $("cut-normal-text").value = [...document.querySelectorAll("#cut-normal input[type=range]")]
      .map((s) => String(Number(s.value))).join(",");
  }

  function listen() {
    for (const tab of document.querySelectorAll("#tool-tabs [role=tab]")) {
      tab.addEventListener("click", () => showTab(tab.dataset.tab));
    }
    $("figure").addEventListener("change", () => fillParameters());
    $("make").addEventListener("click", make);
    $("data-file").addEventListener("change", (event) => chooseData(event.target.files[0]));
    $("import").addEventListener("click", importData);
    for (const field of document.querySelectorAll("#tool-options [data-option]")) {
      field.addEventListener("change", again);
    }
    $("color-pick").addEventListener("input", () => {
      const hex = $("color-pick").value;
      $("opt-color").value = [1, 3, 5].map((k) =>
        String(Number((parseInt(hex.substr(k, 2), 16) / 255).toFixed(3)))).join(",");
    });
    $("color-pick").addEventListener("change", again);
    $("cut-kind").addEventListener("change", cutKindChanged);
    for (const slider of document.querySelectorAll("#cut-normal input[type=range]")) {
      slider.addEventListener("input", normalFromSliders);
      slider.addEventListener("change", cutKindChanged);
    }
    $("cut-normal-text").addEventListener("change", cutKindChanged);
    $("cut-offset").addEventListener("input", () => {
      stopPlaying();
      liveCut();
    });
    $("cut-offset").addEventListener("change", rest);
    $("cut-play").addEventListener("click", play);
    $("save-zip").addEventListener("click", saveZip);
    $("save-files").addEventListener("click", saveFiles);
    $("save-png").addEventListener("click", savePng);
    $("save-gif").addEventListener("click", saveGif);
    $("save-sweep").addEventListener("click", saveSweep);
    $("link").addEventListener("click", copyLink);
    $("tools-button").addEventListener("click", () => document.body.classList.toggle("tools-open"));
    $("tools-close").addEventListener("click", () => document.body.classList.remove("tools-open"));
  }

  // The panel's fields as an address gives them.
  function fillFromLink(params) {
    const [name, values] = params.get("make").split(/:(.*)/s);
    const kind = figures.find((f) => f.name === name || f.alias === name);
    if (kind) {
      $("figure").value = kind.name;
      fillParameters(values !== undefined ? values.split(",") : undefined);
    }
    for (const field of document.querySelectorAll("#tool-options [data-option]")) {
      const all = params.getAll(field.dataset.option);
      if (field.type === "checkbox") field.checked = params.has(field.dataset.option);
      else field.value = field.dataset.repeat !== undefined ? all.join(" ") : all.pop() || "";
    }
    const at = params.get("at");
    const hyperplane = params.get("hyperplane");
    if (at !== null && kAxes.includes(at.split("=")[0])) {
      $("cut-kind").value = at.split("=")[0];
    } else if (hyperplane !== null) {
      $("cut-kind").value = "normal";
      $("cut-normal-text").value = hyperplane.split(":")[0];
    }
    $("cut-normal").hidden = $("cut-kind").value !== "normal";
    $("cut-offset").disabled = $("cut-kind").value === "";
  }

  // Opens what an address with make= asks for: the options as the address spells them (an
  // unknown one is refused as tessascene refuses it), the cut, then the keys.
  function openLink(params) {
    fillFromLink(params);
    const pageParams = ["make", "keys", "example", "scene", "measure", "report", "at", "hyperplane"];
    const options = [];
    for (const [name, value] of params) {
      if (!pageParams.includes(name)) options.push([name, value]);
    }
    let cut = null;
    for (const option of ["at", "hyperplane"]) {
      for (const value of params.getAll(option)) {
        const mark = value.indexOf(option === "at" ? "=" : ":");
        const [direction, offset] = mark < 0 ? [value, ""] : [value.slice(0, mark), value.slice(mark + 1)];
        if (cut) options.push([option, value]);  // a second hyperplane: tessascene says so
        else cut = { option, direction, offset };
      }
    }
    const source = { figure: params.get("make") };
    const asked = { operand: source.figure, file: null, fileKey: "", options, cut };
    const what = commandLine(asked);
    return page.open(what, async (handle, stale) => {
      const reply = await page.worker.run("scene", { request: asked, load: true, echo: true }, handle);
      const result = reply.result;
      if (stale()) throw null;
      if (!result.ok) throw new Error(report(result));
      shown(source, asked, result, reply.texts);
      return Object.assign(reply, { note: { text: what + "\n" + report(result), kind: "" } });
    }, params.get("keys") || "", { verb: "making" }).then((done) => {
      if (done) updateAddress();
      return done;
    });
  }

  // The worker's first figure compiles its code (the browser compiles WebAssembly as it is first
  // run): made once the page rests, the first figure a person asks for comes at once.
  function warmUp() {
    const figure = figures.some((f) => f.name === "120-cell") ? "120-cell" : figures[0].name;
    const ask = (cut) => page.worker.run("scene", { request: { operand: figure, options: [], cut },
                                                   load: true, echo: false }, null, "latest");
    ask(null).then(() => ask({ option: "at", direction: "q", offset: null })).catch(() => {});
  }

  fillFigures();
  listen();
  normalFromSliders();
  setTimeout(warmUp, 1000);
  document.addEventListener("tessaview-keys", updateAddress);
  return {
    openLink,
    // A scene not made here is shown (an example or files): the panel forgets its own.
    forget() {
      stopPlaying();
      current = null;
      extent = null;
      $("command-text").textContent = "";
    },
    // Files dropped on the page that are not scene files: data to import.
    dropData(file) {
      chooseData(file);
      document.body.classList.add("tools-open");
      return importData();
    },
  };
}
