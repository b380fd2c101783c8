// The preview page: the module (wqtrans.wasm) plays the chosen transition between two
// pictures, draws the 21 thumbnails, and drives the transition's own settings panel,
// shown here in HTML at the template's positions.
"use strict";

(() => {
  const $ = (id) => document.getElementById(id);

  // Dialog units to pixels as Windows maps them for Tahoma 8 at 96 dpi: the font's
  // average character is 6 pixels wide and 13 high, a dialog unit a quarter of the
  // width and an eighth of the height.
  const dluX = (x) => Math.round((x * 6) / 4);
  const dluY = (y) => Math.round((y * 13) / 8);

  const kBuiltInWidth = 320; // the tool's built-in pictures are 320x240
  const kBuiltInHeight = 240;
  const kMaxSide = 16384; // the tool's largest --size
  const kThumbWidth = 112;
  const kThumbFps = 15;
  const kLoopPauseMs = 500; // the new picture stays this long before a loop starts again

  const state = {
    wq: null,
    transitions: [],
    blocks: new Map(), // id -> the block as edited on this page
    current: null, // the chosen transition
    editor: null,
    elements: [], // the panel's controls in template order: {control, input | text | box}
    pictures: { old: null, new: null }, // {width, height, rgba, name, file}
    stage: null,
    thumbStage: null,
    thumbs: new Map(), // id -> canvas
    playing: true,
    playStart: 0,
    t: 0,
    shown: null, // what the stage canvas shows: "id|block|t|..." or null
    lastThumbs: -1,
  };

  // ---- Messages ----------------------------------------------------------

  function showMessage(text) {
    const box = $("message");
    box.textContent = text;
    box.hidden = false;
  }
  function clearMessage() {
    $("message").hidden = true;
  }

  // ---- Loading -----------------------------------------------------------

  // Served pages fetch the wasm and pictures; a page opened from a file reads them from
  // offline.js, since browsers refuse to fetch files there.
  function loadScript(src) {
    return new Promise((resolve, reject) => {
      const script = document.createElement("script");
      script.src = src;
      script.onload = resolve;
      script.onerror = () => reject(new Error(`cannot load ${src}`));
      document.head.appendChild(script);
    });
  }

  async function loadAssets() {
    if (location.protocol === "file:") {
      await loadScript("offline.js");
      const offline = window.wqtransOffline;
      const wasm = Uint8Array.from(atob(offline.wasm), (c) => c.charCodeAt(0));
      const [oldBlob, newBlob] = await Promise.all([offline.old, offline.new].map((url) => fetch(url).then((r) => r.blob())));
      return { wasm, oldBlob, newBlob };
    }
    const get = async (url) => {
      const response = await fetch(url);
      if (!response.ok) throw new Error(`cannot load ${url}: ${response.status}`);
      return response;
    };
    const [wasm, oldBlob, newBlob] = await Promise.all([
      get("wqtrans.wasm").then((r) => r.arrayBuffer()).then((b) => new Uint8Array(b)),
      get("old.png").then((r) => r.blob()),
      get("new.png").then((r) => r.blob()),
    ]);
    return { wasm, oldBlob, newBlob };
  }

  // ---- Pictures ----------------------------------------------------------

  // The RGBA pixels of a picture file, as the browser decodes it (no colour
  // management). A PNG's transparency is composited onto black as the tool reads PNG
  // files; other formats lose their alpha.
  async function decodePicture(blob, name) {
    let bitmap;
    try {
      bitmap = await createImageBitmap(blob, { colorSpaceConversion: "none", premultiplyAlpha: "none" });
    } catch (error) {
      throw new Error(`"${name}" is not a picture this browser can read (PNG, JPEG, WebP, GIF, BMP...)`);
    }
    if (bitmap.width < 1 || bitmap.height < 1 || bitmap.width > kMaxSide || bitmap.height > kMaxSide) {
      throw new Error(`"${name}" is ${bitmap.width}x${bitmap.height}: pictures go up to ${kMaxSide} pixels a side`);
    }
    const canvas = document.createElement("canvas");
    canvas.width = bitmap.width;
    canvas.height = bitmap.height;
    const context = canvas.getContext("2d", { willReadFrequently: true });
    context.drawImage(bitmap, 0, 0);
    const rgba = context.getImageData(0, 0, bitmap.width, bitmap.height).data;
    const header = new Uint8Array(await blob.slice(0, 4).arrayBuffer());
    const png = header[0] === 0x89 && header[1] === 0x50 && header[2] === 0x4e && header[3] === 0x47;
    if (png) {
      for (let i = 0; i < rgba.length; i += 4) {
        const a = rgba[i + 3];
        if (a !== 255) {
          rgba[i] = Math.round((rgba[i] * a) / 255);
          rgba[i + 1] = Math.round((rgba[i + 1] * a) / 255);
          rgba[i + 2] = Math.round((rgba[i + 2] * a) / 255);
        }
      }
    }
    return { width: bitmap.width, height: bitmap.height, rgba, name };
  }

  // The size of the run: the size chosen, else the old picture's (the new one is
  // scaled to it), as the tool does.
  function stageSize() {
    const chosen = $("size").value;
    if (chosen) {
      const [w, h] = chosen.split("x").map(Number);
      return { width: w, height: h };
    }
    return { width: state.pictures.old.width, height: state.pictures.old.height };
  }

  // How pictures of another shape meet the run's size, as the tool's --fit and
  // --background.
  function fit() {
    return { mode: $("fit").value, background: $("background").value.toLowerCase() };
  }

  function rebuildStages() {
    const { width, height } = stageSize();
    const { mode, background } = fit();
    const colour = parseInt(background.slice(1), 16);
    if (state.stage) state.stage.delete();
    state.stage = new state.wq.Stage(width, height);
    state.stage.setFit(mode, colour);
    for (const which of ["old", "new"]) {
      const p = state.pictures[which];
      state.stage.setPicture(which === "new", p.width, p.height, p.rgba);
    }
    const canvas = $("stage");
    canvas.width = width;
    canvas.height = height;

    const thumbHeight = Math.max(1, Math.min(kThumbWidth, Math.round((kThumbWidth * height) / width)));
    if (state.thumbStage) state.thumbStage.delete();
    state.thumbStage = new state.wq.Stage(kThumbWidth, thumbHeight);
    state.thumbStage.setFit(mode, colour);
    for (const which of ["old", "new"]) {
      const p = state.pictures[which];
      state.thumbStage.setPicture(which === "new", p.width, p.height, p.rgba);
    }
    for (const canvas of state.thumbs.values()) {
      canvas.width = kThumbWidth;
      canvas.height = thumbHeight;
    }
    state.shown = null;
    state.lastThumbs = -1;
  }

  async function usePicture(which, file) {
    try {
      const picture = await decodePicture(file, file.name);
      picture.file = file.name;
      state.pictures[which] = picture;
      $(`${which}-name`).textContent = `${file.name} (${picture.width}x${picture.height})`;
      clearMessage();
      rebuildStages();
      updateCommand();
      restart();
    } catch (error) {
      showMessage(`Could not use that picture: ${error.message}. The ${which} picture stays as it was.`);
    }
  }

  async function useBuiltIns(assets) {
    state.pictures.old = await decodePicture(assets.oldBlob, "built-in A");
    state.pictures.new = await decodePicture(assets.newBlob, "built-in B");
    $("old-name").textContent = "built-in A";
    $("new-name").textContent = "built-in B";
  }

  // ---- Playing -----------------------------------------------------------

  function duration() {
    const value = Math.floor(Number($("duration").value));
    return Number.isFinite(value) && value >= 1 ? Math.min(value, 600000) : 1000;
  }
  function fps() {
    const value = Math.floor(Number($("fps").value));
    return Number.isFinite(value) && value >= 1 ? Math.min(value, 240) : 30;
  }
  function seed() {
    const value = Math.floor(Number($("seed").value));
    return Number.isFinite(value) && value >= 0 ? Math.min(value, 4294967295) : 1;
  }
  // The motion curve and the mirror run, as the tool's --ease and --reverse.
  function ease() {
    return $("ease").value || "linear";
  }
  function reverse() {
    return $("reverse").checked;
  }
  function currentBlock() {
    return state.blocks.get(state.current.id);
  }

  // The moment shown after `elapsed` ms of playing: the last frame time at or before it
  // on the run's frame grid (0, 1000/fps, ... and the duration itself), as the tool's
  // frames fall.
  function frameTime(elapsed) {
    const d = duration();
    const f = fps();
    const intervals = Math.floor((d * f) / 1000);
    const index = Math.floor((elapsed * f) / 1000);
    return index >= intervals || elapsed >= d ? d : Math.floor((index * 1000) / f);
  }

  function setPlaying(playing) {
    state.playing = playing;
    $("play").textContent = playing ? "Pause" : "Play";
    $("play").setAttribute("aria-pressed", String(!playing));
    if (playing) state.playStart = performance.now() - (state.t >= duration() ? 0 : state.t);
  }

  function restart() {
    state.t = 0;
    state.playStart = performance.now();
    setPlaying(true);
  }

  // The stage's frame as an ImageData on the module's memory, without a copy; made
  // afresh each time, since the memory may have grown and moved since the last.
  function frameImage(stage) {
    const pixels = stage.pixels();
    return new ImageData(new Uint8ClampedArray(pixels.buffer, pixels.byteOffset, pixels.length), stage.width(), stage.height());
  }

  // Frames are opaque, and an opaque canvas takes them faster.
  function canvasContext(canvas) {
    return canvas.getContext("2d", { alpha: false });
  }

  function drawStage() {
    const block = currentBlock();
    const key = `${state.current.id}|${block.join(",")}|${state.t}|${duration()}|${seed()}|${ease()}|${reverse()}`;
    if (key === state.shown) return;
    if (!state.stage.render(state.current.id, block, seed(), 0, duration(), state.t, fps(), ease(), reverse())) {
      showMessage(`${state.current.name} could not be drawn.`);
      return;
    }
    canvasContext($("stage")).putImageData(frameImage(state.stage), 0, 0);
    state.shown = key;
    $("scrubber").max = String(duration());
    $("scrubber").value = String(state.t);
    $("time").textContent = `${state.t} / ${duration()} ms`;
  }

  function drawThumbnails(now) {
    const d = duration();
    const cycle = d + kLoopPauseMs;
    const tick = Math.floor((now * kThumbFps) / 1000);
    if (tick === state.lastThumbs) return;
    state.lastThumbs = tick;
    const t = Math.min(d, Math.floor(((tick * 1000) / kThumbFps) % cycle));
    for (const info of state.transitions) {
      if (!state.thumbStage.render(info.id, state.blocks.get(info.id), seed(), 0, d, t, fps(), ease(), reverse())) continue;
      canvasContext(state.thumbs.get(info.id)).putImageData(frameImage(state.thumbStage), 0, 0);
    }
  }

  function tick(now) {
    if (state.playing) {
      const d = duration();
      let elapsed = now - state.playStart;
      if (elapsed >= d + kLoopPauseMs && $("loop").checked) {
        state.playStart = now;
        elapsed = 0;
      }
      state.t = frameTime(elapsed);
      if (elapsed >= d && !$("loop").checked) setPlaying(false);
    }
    drawStage();
    drawThumbnails(now);
    requestAnimationFrame(tick);
  }

  // ---- The transitions ---------------------------------------------------

  function buildThumbnails() {
    const list = $("thumbnails");
    for (const info of state.transitions) {
      const button = document.createElement("button");
      button.type = "button";
      button.className = "thumb";
      button.dataset.id = info.id;
      button.setAttribute("role", "listitem");
      button.setAttribute("aria-pressed", "false");
      button.title = `${info.name} (${info.id})`;
      const canvas = document.createElement("canvas");
      canvas.setAttribute("aria-hidden", "true");
      const name = document.createElement("span");
      name.textContent = info.name;
      button.append(canvas, name);
      button.addEventListener("click", () => choose(info.id));
      list.appendChild(button);
      state.thumbs.set(info.id, canvas);
    }
  }

  function choose(id) {
    if (state.editor) {
      state.editor.closePanel(1);
      state.blocks.set(state.current.id, state.editor.block());
      state.editor.delete();
      state.editor = null;
    }
    state.current = state.transitions.find((t) => t.id === id);
    for (const button of document.querySelectorAll(".thumb")) {
      button.setAttribute("aria-pressed", String(button.dataset.id === id));
    }
    $("current-name").textContent = `${state.current.name} (${state.current.id})`;
    state.editor = state.wq.Editor.create(id, currentBlock());
    buildPanel();
    updateBlock();
    restart();
  }

  // ---- The settings panel ------------------------------------------------

  // A control's text as a person reads it: "&&" is an ampersand, a single "&" marks
  // the access key, which is underlined.
  function readable(text) {
    return text.replace(/&(&?)/g, (_, amp) => amp);
  }
  function accessText(element, text) {
    element.textContent = "";
    const match = /^((?:[^&]|&&)*)&([^&])(.*)$/s.exec(text);
    if (!match) {
      element.append(readable(text));
      return "";
    }
    const key = document.createElement("u");
    key.textContent = match[2];
    element.append(readable(match[1]), key, readable(match[3]));
    return match[2].toLowerCase();
  }

  // The label a person reads beside a value control: the nearest static text.
  function gap(a, b) {
    const dx = Math.max(0, b.x - (a.x + a.width), a.x - (b.x + b.width));
    const dy = Math.max(0, b.y - (a.y + a.height), a.y - (b.y + b.height));
    return dx + dy;
  }
  function nearestLabel(control, controls) {
    let best = null;
    for (const other of controls) {
      if (other.kind === "label" && readable(other.text).trim() && (!best || gap(control, other) < gap(control, best))) {
        best = other;
      }
    }
    return best ? readable(best.text).trim().replace(/:$/, "") : `control ${control.id}`;
  }

  function place(element, control) {
    element.style.left = `${dluX(control.x)}px`;
    element.style.top = `${dluY(control.y)}px`;
    element.style.width = `${dluX(control.width)}px`;
    element.style.height = `${dluY(control.height)}px`;
    return element;
  }

  function buildPanel() {
    const panel = $("panel");
    panel.textContent = "";
    state.elements = [];
    const info = state.current;
    const open = info.hasPanel && state.editor.openPanel();
    panel.hidden = !open;
    $("no-panel").hidden = open;
    if (!open) return;
    panel.style.width = `${dluX(info.panelWidth)}px`;
    panel.style.height = `${dluY(info.panelHeight)}px`;
    const controls = state.editor.controls();
    let group = 0;
    for (const control of controls) {
      if (control.group) group += 1;
      const entry = { control };
      state.elements.push(entry);
      const element = control.visible ? makeControl(control, controls, `${info.id}-group-${group}`, entry) : null;
      if (element) {
        panel.appendChild(place(element, control));
      }
    }
    refreshPanel();
  }

  function makeControl(control, controls, groupName, entry) {
    const id = control.id;
    switch (control.kind) {
      case "group box": {
        const box = document.createElement("div");
        box.className = "groupbox";
        const title = document.createElement("span");
        accessText(title, control.text);
        box.appendChild(title);
        return box;
      }
      case "label": {
        const label = document.createElement("div");
        label.className = "static";
        entry.text = label;
        return label;
      }
      case "radio button":
      case "check box": {
        const label = document.createElement("label");
        label.className = "button";
        const input = document.createElement("input");
        input.type = control.kind === "radio button" ? "radio" : "checkbox";
        if (input.type === "radio") input.name = groupName;
        input.dataset.control = String(id);
        const text = document.createElement("span");
        const key = accessText(text, control.text);
        if (key) input.accessKey = key;
        label.append(input, text);
        input.addEventListener("click", () => act(() => state.editor.click(id)));
        entry.input = input;
        return label;
      }
      case "track bar": {
        const input = document.createElement("input");
        input.type = "range";
        input.min = String(Math.min(control.rangeMin, control.rangeMax));
        input.max = String(Math.max(control.rangeMin, control.rangeMax));
        input.step = "1";
        input.dataset.control = String(id);
        input.setAttribute("aria-label", nearestLabel(control, controls));
        input.addEventListener("input", () => act(() => state.editor.moveTrackBar(id, Number(input.value))));
        entry.input = input;
        return input;
      }
      case "edit box": {
        const input = document.createElement("input");
        input.type = "text";
        input.dataset.control = String(id);
        input.setAttribute("aria-label", nearestLabel(control, controls));
        input.addEventListener("input", () => act(() => state.editor.type(id, input.value)));
        entry.input = input;
        return input;
      }
      case "up-down": {
        // The arrows step the position toward the range's maximum (up) or minimum.
        const box = document.createElement("div");
        box.className = "updown";
        const name = nearestLabel(control, controls);
        for (const [arrow, sign] of [["▲", 1], ["▼", -1]]) {
          const button = document.createElement("button");
          button.type = "button";
          button.textContent = arrow;
          button.dataset.control = String(id);
          button.dataset.step = String(sign);
          button.setAttribute("aria-label", `${sign > 0 ? "Increase" : "Decrease"} ${name}`);
          button.addEventListener("click", () => {
            const now = entry.control;
            const towardMax = Math.sign(now.rangeMax - now.rangeMin) || 1;
            act(() => state.editor.moveUpDown(id, now.position + sign * towardMax));
          });
          box.appendChild(button);
        }
        entry.box = box;
        return box;
      }
      case "push button": {
        const button = document.createElement("button");
        button.type = "button";
        accessText(button, control.text);
        button.disabled = true;
        return button;
      }
      default:
        return null;
    }
  }

  // Shows the module's state of every control: what the panel's own rules made of the
  // last action.
  function refreshPanel() {
    if (!state.editor) return;
    state.editor.controls().forEach((control, index) => {
      const entry = state.elements[index];
      if (!entry) return;
      entry.control = control;
      if (entry.text) entry.text.textContent = readable(control.text);
      if (entry.input) {
        entry.input.disabled = !control.enabled;
        if (control.kind === "radio button" || control.kind === "check box") entry.input.checked = control.checked;
        if (control.kind === "track bar") entry.input.value = String(control.position);
        if (control.kind === "edit box" && entry.input.value !== control.text && document.activeElement !== entry.input) {
          entry.input.value = control.text;
        }
      }
      if (entry.box) for (const button of entry.box.children) button.disabled = !control.enabled;
    });
  }

  function act(action) {
    action();
    refreshPanel();
    state.blocks.set(state.current.id, state.editor.block());
    updateBlock();
    state.shown = null;
    if (state.editor.takePreviewRequest()) restart();
  }

  // ---- Block and command line ----------------------------------------------

  const hex = (bytes) => Array.from(bytes, (b) => b.toString(16).toUpperCase().padStart(2, "0")).join("");
  const quote = (text) => (/^[A-Za-z0-9._\/-]+$/.test(text) ? text : `"${text.replace(/(["\\$`])/g, "\\$1")}"`);

  function updateBlock() {
    const block = currentBlock();
    $("block").textContent = block.length ? hex(block) : "(none)";
    updateCommand();
  }

  function updateCommand() {
    if (!state.current) return;
    const info = state.current;
    const parts = ["wqtrans", "render", quote(info.name)];
    const block = currentBlock();
    if (block.length) parts.push("--block", hex(block));
    const own = state.pictures.old.file || state.pictures.new.file;
    const size = $("size").value;
    const builtInSize = !size || size === `${kBuiltInWidth}x${kBuiltInHeight}`;
    if (own || !builtInSize) {
      // The page's built-in pictures are old.png and new.png beside it.
      parts.push("--from", quote(state.pictures.old.file || "old.png"), "--to", quote(state.pictures.new.file || "new.png"));
    }
    if (size) parts.push("--size", size);
    const { mode, background } = fit();
    if (mode !== "contain") parts.push("--fit", mode);
    else if (background !== "#000000") parts.push("--background", quote(background));
    parts.push("--duration", String(duration()), "--fps", String(fps()));
    if (seed() !== 1) parts.push("--seed", String(seed()));
    if (ease() !== "linear") parts.push("--ease", ease());
    if (reverse()) parts.push("--reverse");
    parts.push("--out", `${info.name.toLowerCase().replace(/\s+/g, "-")}.gif`);
    $("command").textContent = parts.join(" ");
  }

  // ---- Wiring ------------------------------------------------------------

  function wire() {
    $("play").addEventListener("click", () => {
      if (!state.playing && state.t >= duration()) state.t = 0;
      setPlaying(!state.playing);
    });
    $("scrubber").addEventListener("input", () => {
      setPlaying(false);
      state.t = Number($("scrubber").value);
    });
    for (const id of ["duration", "fps", "seed", "ease", "reverse"]) {
      $(id).addEventListener("change", () => {
        state.shown = null;
        updateCommand();
        restart();
      });
    }
    for (const id of ["size", "fit", "background"]) {
      $(id).addEventListener("change", () => {
        // Only a contained picture leaves background around it.
        $("background").disabled = $("fit").value !== "contain";
        rebuildStages();
        updateCommand();
        restart();
      });
    }
    for (const which of ["old", "new"]) {
      const input = $(`${which}-file`);
      input.addEventListener("change", () => {
        if (input.files.length) usePicture(which, input.files[0]);
        input.value = "";
      });
      dropTarget($(`${which}-slot`), (files) => usePicture(which, files[0]));
    }
    dropTarget($("stage-box"), async (files) => {
      await usePicture("old", files[0]);
      if (files.length > 1) await usePicture("new", files[1]);
    });
    $("built-in").addEventListener("click", async () => {
      await useBuiltIns(state.assets);
      clearMessage();
      rebuildStages();
      updateCommand();
      restart();
    });
    $("copy").addEventListener("click", async () => {
      try {
        await navigator.clipboard.writeText($("command").textContent);
        $("copy").textContent = "Copied";
      } catch {
        const range = document.createRange();
        range.selectNodeContents($("command"));
        getSelection().removeAllRanges();
        getSelection().addRange(range);
        $("copy").textContent = "Selected: press Ctrl+C";
      }
      setTimeout(() => ($("copy").textContent = "Copy"), 1500);
    });
  }

  function dropTarget(element, take) {
    element.addEventListener("dragover", (event) => {
      event.preventDefault();
      element.classList.add("drop");
    });
    element.addEventListener("dragleave", () => element.classList.remove("drop"));
    element.addEventListener("drop", (event) => {
      event.preventDefault();
      element.classList.remove("drop");
      const files = Array.from(event.dataTransfer.files);
      if (files.length) take(files);
    });
  }

  async function start() {
    try {
      const assets = await loadAssets();
      state.assets = assets;
      state.wq = await createWqtrans({ wasmBinary: assets.wasm });
      state.transitions = state.wq.transitions();
      for (const info of state.transitions) state.blocks.set(info.id, info.block);
      for (const name of state.wq.curves()) $("ease").add(new Option(name, name));
      await useBuiltIns(assets);
      buildThumbnails();
      wire();
      rebuildStages();
      choose(state.transitions[0].id);
      document.body.dataset.ready = "true";
      requestAnimationFrame(tick);
    } catch (error) {
      showMessage(`The preview could not start: ${error.message}`);
    }
  }

  start();
})();
