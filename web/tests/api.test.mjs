// The wasm API under node, checked against the native tool: the same transitions,
// the same panels and blocks, and pixel for pixel the same frames.
import assert from "node:assert/strict";
import { join } from "node:path";
import { before, describe, test } from "node:test";

import { differing, fittedDifference, hex, kFitTolerance, kWeb, loadModule, panelBlock, readPng, scratch, tool } from "./support.mjs";

let wq;
before(async () => {
  wq = await loadModule();
});

// Runs `body` with a new editor of `id`, deleted afterwards.
function withEditor(id, block, body) {
  const editor = wq.Editor.create(id, block);
  assert.ok(editor, `${id} is created`);
  try {
    return body(editor);
  } finally {
    editor.delete();
  }
}

describe("transitions", () => {
  test("are the 21 that the tool lists, with their names, modes and default blocks", () => {
    const expected = JSON.parse(tool("list", "--json")).transitions;
    const listed = wq.transitions();
    assert.deepEqual(
      listed.map((t) => [t.index, t.id, t.name, t.mode, t.hasPanel, hex(t.block)]),
      expected.map((t) => [t.index, t.id, t.name, t.mode, t.panel, t.defaultBlock]),
    );
  });

  test("unknown IDs and blocks of the wrong size make no editor", () => {
    assert.equal(wq.Editor.create("XXXX", null), null);
    assert.equal(wq.Editor.create("FAD", null), null);
    assert.equal(wq.Editor.create("SE07", new Uint8Array(3)), null);
    withEditor("SE07", new Uint8Array([2, 0, 0, 0]), (editor) => assert.equal(hex(editor.block()), "02000000"));
  });
});

describe("panels", () => {
  test("describe their controls in dialog units, as the template places them", () => {
    withEditor("BAND", null, (editor) => {
      assert.equal(editor.openPanel(), true);
      const controls = editor.controls();
      assert.deepEqual(
        controls.map((c) => [c.id, c.kind, c.text, c.x, c.y, c.width, c.height]).slice(0, 5),
        [
          [-1, "label", "Number of bands:", 7, 9, 64, 8],
          [1015, "edit box", "1", 74, 7, 40, 12],
          [1017, "up-down", "Spin1", 114, 7, 10, 12],
          [-1, "group box", "Direction", 7, 24, 172, 70],
          [1007, "radio button", "From &left to right", 13, 37, 156, 11],
        ],
      );
      const upDown = controls[2];
      assert.deepEqual([upDown.position, Math.min(upDown.rangeMin, upDown.rangeMax), Math.max(upDown.rangeMin, upDown.rangeMax)], [1, 1, 5000]);
      assert.equal(controls[4].checked, true);
      assert.equal(controls[4].group, true);
    });
    withEditor("FADE", null, (editor) => {
      assert.equal(editor.openPanel(), false);
      assert.deepEqual(editor.controls(), []);
    });
  });

  // Each action as a person takes it on the page, and the block `wqtrans panel` gives
  // for the same setting.
  const cases = [
    { id: "SE07", name: "Stretch", act: (e) => e.click(1010), set: ["Bottom Right"] },
    { id: "SE01", name: "Square", act: (e) => e.moveTrackBar(1025, 70) && e.click(1026), set: ["Square Size=70", "with Stretch for the inside square=on"] },
    { id: "SE01", name: "Square", act: (e) => e.moveTrackBar(1025, 500), set: ["Square Size=80"] },
    { id: "BAND", name: "Bands", act: (e) => e.type(1015, "12") && e.click(1009), set: ["Number of bands=12", "From top to bottom"] },
    { id: "BAND", name: "Bands", act: (e) => e.moveUpDown(1017, 5), set: ["1017=5"] },
    { id: "MOSA", name: "Mosaic", act: (e) => e.moveTrackBar(1025, 25), set: ["Spot width=25"] },
  ];
  for (const { id, name, act, set } of cases) {
    test(`${name}: ${set.join(", ")} gives the block the tool gives`, () => {
      withEditor(id, null, (editor) => {
        editor.openPanel();
        assert.equal(act(editor), true);
        assert.equal(editor.takePreviewRequest(), true, "the panel asks for a fresh preview");
        assert.equal(editor.takePreviewRequest(), false, "and is answered once");
        assert.equal(hex(editor.block()), panelBlock(name, ...set));
        editor.closePanel(1);
        assert.equal(hex(editor.block()), panelBlock(name, ...set));
      });
    });
  }

  test("actions on controls that are not there do nothing", () => {
    withEditor("SE07", null, (editor) => {
      editor.openPanel();
      assert.equal(editor.click(4242), false);
      assert.equal(editor.moveTrackBar(1007, 3), false);
      assert.equal(editor.type(1007, "x"), false);
      assert.equal(editor.takePreviewRequest(), false);
      editor.closePanel(1);
      assert.equal(editor.click(1010), false, "no panel, no click");
      assert.equal(hex(editor.block()), "00000000");
    });
  });
});

describe("frames", () => {
  const width = 320;
  const height = 240;
  let oldPicture;
  let newPicture;
  let stage;
  before(() => {
    oldPicture = readPng(join(kWeb, "old.png"));
    newPicture = readPng(join(kWeb, "new.png"));
    stage = new wq.Stage(width, height);
    assert.equal(stage.setPicture(false, width, height, oldPicture.rgba), true);
    assert.equal(stage.setPicture(true, width, height, newPicture.rgba), true);
  });

  test("start on the old picture and end on the new one", () => {
    for (const info of wq.transitions()) {
      assert.equal(stage.render(info.id, info.block, 1, 0, 1000, 1000, 25), true);
      assert.equal(differing(stage.pixels(), newPicture.rgba), 0, `${info.name} at the end`);
    }
    assert.equal(stage.render("BAND", null, 1, 0, 1000, 0, 25), true);
    assert.equal(differing(stage.pixels(), oldPicture.rgba), 0, "Bands at 0");
  });

  // Transitions drawn afresh at t and those replayed from the start (Open, Stretch 2,
  // ZigZag 2), with default and edited blocks, in any order: each frame is the tool's.
  // Fade blends every pixel, through the vector rows.
  const moments = [
    ["Fade", "FADE", "", 370],
    ["Stretch 2", "SE09", "", 730],
    ["Open", "SE05", "", 610],
    ["Stretch 2", "SE09", "", 260],
    ["ZigZag 2", "SE04", "", 450],
    ["Mosaic", "MOSA", "19000000", 500],
    ["Trame", "SE13", "", 333],
    ["Zoom 2", "SE11", "01000000", 800],
  ];
  for (const [name, id, block, at] of moments) {
    test(`${name} ${block || "(defaults)"} at ${at} ms is the tool's frame`, () => {
      const png = join(scratch, `${id}-${at}.png`);
      tool("render", name, ...(block ? ["--block", block] : []), "--at", String(at), "--seed", "7", "--out", png, "--quiet");
      const bytes = block ? Uint8Array.from(Buffer.from(block, "hex")) : null;
      assert.equal(stage.render(id, bytes, 7, 0, 1000, at, 30), true);
      assert.equal(differing(stage.pixels(), readPng(png).rgba), 0);
    });
  }

  // The motion arguments: an eased and a reversed frame are the tool's --ease and
  // --reverse frames; a curve that is none is an Error.
  const motions = [
    ["Stretch 2", "SE09", 600, "ease-in", false],
    ["Door", "DOOR", 300, "linear", true],
    ["Zoom", "ZOOM", 700, "cubic-bezier(0.2,0.9,0.4,1)", true],
  ];
  for (const [name, id, at, ease, reverse] of motions) {
    test(`${name} at ${at} ms, ${ease}${reverse ? ", reversed" : ""}, is the tool's frame`, () => {
      const png = join(scratch, `${id}-${at}-motion.png`);
      tool("render", name, "--at", String(at), "--ease", ease, ...(reverse ? ["--reverse"] : []), "--out", png, "--quiet");
      assert.equal(stage.render(id, null, 1, 0, 1000, at, 30, ease, reverse), true);
      assert.equal(differing(stage.pixels(), readPng(png).rgba), 0);
      assert.equal(stage.render(id, null, 1, 0, 1000, at, 30), true);
      assert.ok(differing(stage.pixels(), readPng(png).rgba) > 0, "the motion changed the frame");
    });
  }
  test("curves are listed, linear first, and a curve that is none is an Error", () => {
    const curves = wq.curves();
    assert.equal(curves[0], "linear");
    assert.ok(curves.includes("ease-in-out") && curves.includes("expo-out"));
    assert.throws(() => stage.render("DOOR", null, 1, 0, 1000, 300, 30, "bounce", false), /ease: unknown curve "bounce"/);
    assert.throws(() => stage.render("DOOR", null, 1, 0, 1000, 300, 30, "cubic-bezier(0.5,1.5,0.5,1)", false), /time run backwards/);
  });

  // The built-in 320x240 pair on stages of other shapes: shrunk, enlarged, and one axis
  // each way; the picture's rectangle in the frame is the tool's placement. Blur's fill
  // covers the background whatever its colour.
  const fits = [
    { size: [160, 100], fit: "contain", background: 0x000000, rect: { x: 13, y: 0, width: 133, height: 100 } },
    { size: [640, 400], fit: "contain", background: 0x3366cc, rect: { x: 53, y: 0, width: 533, height: 400 } },
    { size: [480, 240], fit: "contain", background: 0xffffff, rect: { x: 80, y: 0, width: 320, height: 240 } },
    { size: [160, 100], fit: "cover", background: 0x000000, rect: { x: 0, y: 0, width: 160, height: 100 } },
    { size: [400, 200], fit: "stretch", background: 0x000000, rect: { x: 0, y: 0, width: 400, height: 200 } },
    { size: [160, 100], fit: "blur", background: 0x3366cc, rect: { x: 13, y: 0, width: 133, height: 100 } },
    { size: [240, 320], fit: "blur", background: 0x3366cc, rect: { x: 0, y: 70, width: 240, height: 180 } },
  ];
  for (const { size: [w, h], fit, background, rect } of fits) {
    const colour = `#${background.toString(16).padStart(6, "0")}`;
    test(`pictures fitted to ${w}x${h} by ${fit} on ${colour} are the tool's`, () => {
      const fitted = new wq.Stage(w, h);
      try {
        assert.equal(fitted.setFit(fit, background), true);
        assert.equal(fitted.setPicture(false, width, height, oldPicture.rgba), true);
        assert.equal(fitted.setPicture(true, width, height, newPicture.rgba), true);
        const png = join(scratch, `fit-${w}x${h}-${fit}.png`);
        tool("render", "Door", "--size", `${w}x${h}`, "--fit", fit, "--background", colour, "--from", join(kWeb, "old.png"),
          "--to", join(kWeb, "new.png"), "--at", "400", "--out", png, "--quiet");
        assert.equal(fitted.render("DOOR", null, 1, 0, 1000, 400, 25), true);
        const { bars, most, mostOutside } = fittedDifference(fitted.pixels(), readPng(png).rgba, w, rect);
        if (fit === "blur") {
          assert.ok(mostOutside <= kFitTolerance, `a channel of the blurred fill differs by ${mostOutside}`);
        } else {
          assert.equal(bars, 0, "the background around the picture");
        }
        assert.ok(most <= kFitTolerance, `a channel differs by ${most}`);
      } finally {
        fitted.delete();
      }
    });
  }

  test("refuse pixels that do not match their size and unknown transitions", () => {
    assert.equal(stage.setPicture(false, 10, 10, new Uint8Array(399)), false);
    assert.equal(stage.setPicture(false, 0, 10, new Uint8Array(0)), false);
    assert.equal(stage.setFit("fill", 0), false);
    assert.equal(stage.render("XXXX", null, 1, 0, 1000, 500, 25), false);
    assert.equal(stage.render("SE07", new Uint8Array(2), 1, 0, 1000, 500, 25), false);
  });

  // Sizes whose byte count wraps in 32 bits to the length given (or near it): refused
  // from the size, with nothing read past the bytes.
  const wrapping = [
    [65536, 65536, 0],
    [32768, 32768, 0],
    [32768, 32769, 131072],
    [16385, 65536, 262144],
    [16384, 16384, 0],
    [-1, 4, 0],
  ];
  for (const [w, h, length] of wrapping) {
    test(`refuse pictures of ${w}x${h} given ${length} bytes`, () => {
      assert.equal(stage.setPicture(true, w, h, new Uint8Array(length)), false);
    });
  }

  // Blocks and pixels must be bytes: a canvas's Uint8ClampedArray and arrays of whole
  // numbers 0 to 255 are; nothing is coerced into one.
  const notBytes = [
    ["[300, -1]", [300, -1], /\[0\] is not a byte/],
    ["[NaN, {}]", [NaN, {}], /\[0\] is not a byte/],
    ["[1, 2.5]", [1, 2.5], /\[1\] is not a byte/],
    ["a string", "00000000", /must be a Uint8Array/],
    ["a number", 7, /must be a Uint8Array/],
  ];
  for (const [what, value, message] of notBytes) {
    test(`refuse ${what} as a block and as pixels, with a message`, () => {
      assert.throws(() => wq.Editor.create("SE07", value), (e) => e instanceof Error && /^block/.test(e.message) && message.test(e.message));
      assert.throws(() => stage.render("SE07", value, 1, 0, 1000, 500, 25), message);
      assert.throws(() => stage.setPicture(true, 1, 1, value), (e) => /^pixels/.test(e.message) && message.test(e.message));
    });
  }

  test("take bytes as arrays and clamped arrays", () => {
    const editor = wq.Editor.create("SE07", [2, 0, 0, 0]);
    try {
      assert.equal(hex(editor.block()), "02000000");
    } finally {
      editor.delete();
    }
    assert.equal(stage.setPicture(true, 2, 1, [1, 2, 3, 255, 4, 5, 6, 255]), true);
    assert.equal(stage.setPicture(true, 2, 1, new Uint8ClampedArray(8)), true);
    assert.equal(stage.setPicture(true, width, height, newPicture.rgba), true);
  });

  test("a stage over the pixel budget is an Error with a message", () => {
    for (const [w, h] of [[16384, 16384], [0, 10], [16385, 1]]) {
      assert.throws(() => new wq.Stage(w, h), (e) => e instanceof Error && e.message.includes(`${w}x${h}`));
    }
  });
});
