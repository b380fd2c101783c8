// The page in headless Chromium, served on 127.0.0.1: choosing a transition, its
// panel acting through the module, and frames that are the tool's, pixel for pixel.
import assert from "node:assert/strict";
import { writeFileSync } from "node:fs";
import { join } from "node:path";
import { after, before, describe, test } from "node:test";

import { openPage } from "./browser.mjs";
import { differing, fittedDifference, kFitTolerance, kWeb, panelBlock, readPng, scratch, tool } from "./support.mjs";

let browser;
let page;
before(async () => {
  browser = await openPage();
  page = browser.page;
});
after(async () => {
  await browser?.close();
});

// Stops playing and shows the moment `t`, as dragging the scrubber does.
async function scrubTo(t) {
  await page.evaluate((value) => {
    const scrubber = document.getElementById("scrubber");
    scrubber.value = String(value);
    scrubber.dispatchEvent(new Event("input", { bubbles: true }));
  }, t);
  await page.waitForFunction((value) => document.getElementById("time").textContent.startsWith(`${value} /`), t);
}

// The stage canvas as RGBA bytes.
async function stagePixels() {
  const { width, height, base64 } = await page.evaluate(() => {
    const canvas = document.getElementById("stage");
    const data = canvas.getContext("2d").getImageData(0, 0, canvas.width, canvas.height).data;
    let text = "";
    for (let i = 0; i < data.length; i += 0x8000) text += String.fromCharCode(...data.subarray(i, i + 0x8000));
    return { width: canvas.width, height: canvas.height, base64: btoa(text) };
  });
  return { width, height, rgba: new Uint8Array(Buffer.from(base64, "base64")) };
}

// The tool's frame of the run the page shows, from the command line the page offers.
function toolFrame(at, name) {
  const command = /^wqtrans render (.*) --out \S+$/.exec(pageCommand)[1];
  const args = [...command.matchAll(/"((?:[^"\\]|\\.)*)"|(\S+)/g)].map((m) => (m[1] !== undefined ? m[1] : m[2]));
  const fromWeb = args.map((arg) => (arg === "old.png" || arg === "new.png" ? join(kWeb, arg) : arg));
  const png = join(scratch, `${name}.png`);
  tool("render", ...fromWeb, "--at", String(at), "--out", png, "--quiet");
  return readPng(png);
}
let pageCommand = "";
async function readCommand() {
  pageCommand = await page.locator("#command").textContent();
  return pageCommand;
}

describe("the preview page", () => {
  test("shows the 21 transitions, each chosen by click or keyboard", async () => {
    assert.equal(await page.locator(".thumb").count(), 21);
    await page.locator('.thumb[data-id="SE05"]').focus();
    await page.keyboard.press("Enter");
    assert.equal(await page.locator("#current-name").textContent(), "Open (SE05)");
    assert.equal(await page.locator('.thumb[data-id="SE05"]').getAttribute("aria-pressed"), "true");
    await page.locator('.thumb[data-id="FADE"]').click();
    assert.equal(await page.locator("#no-panel").isVisible(), true);
  });

  test("starts on the old picture and ends on the new one", async () => {
    await page.locator('.thumb[data-id="DOOR"]').click();
    await scrubTo(0);
    assert.equal(differing((await stagePixels()).rgba, readPng(join(kWeb, "old.png")).rgba), 0);
    await scrubTo(1000);
    assert.equal(differing((await stagePixels()).rgba, readPng(join(kWeb, "new.png")).rgba), 0);
  });

  // A control clicked on the page changes the block as `wqtrans panel` says, and the
  // preview at once; a middle frame is the tool's frame of the same run.
  const cases = [
    { id: "SE07", name: "Stretch", set: ["Bottom Right"], act: () => page.getByRole("radio", { name: "Bottom Right" }).click() },
    {
      id: "SE01",
      name: "Square",
      set: ["Square Size=70", "with Stretch for the inside square=on"],
      act: async () => {
        await page.getByRole("slider", { name: "Square Size" }).evaluate((input) => {
          input.value = "70";
          input.dispatchEvent(new Event("input", { bubbles: true }));
        });
        await page.getByRole("checkbox", { name: "with Stretch for the inside square" }).click();
      },
    },
    {
      id: "BAND",
      name: "Bands",
      set: ["Number of bands=6", "From top to bottom"],
      act: async () => {
        await page.getByRole("textbox", { name: "Number of bands" }).fill("6");
        await page.getByRole("radio", { name: "From top to bottom" }).click();
      },
    },
    { id: "SE09", name: "Stretch 2", set: ["Center H+V"], act: () => page.getByRole("radio", { name: "Center H+V" }).click() },
  ];
  for (const { id, name, set, act } of cases) {
    test(`${name}: ${set.join(", ")} changes the block and the preview`, async () => {
      await page.locator(`.thumb[data-id="${id}"]`).click();
      await scrubTo(500);
      const before = await stagePixels();
      await act();
      const expected = panelBlock(name, ...set);
      assert.equal(await page.locator("#block").textContent(), expected);
      assert.match(await readCommand(), new RegExp(`--block ${expected} `));
      assert.equal(await page.locator("#play").textContent(), "Pause", "the panel's preview request restarts the run");
      await scrubTo(500);
      const now = await stagePixels();
      assert.ok(differing(before.rgba, now.rgba) > 0, "the preview changed");
      assert.equal(differing(now.rgba, toolFrame(500, id).rgba), 0);
    });
  }

  test("eases and reverses the run as the tool's --ease and --reverse do", async () => {
    await page.locator('.thumb[data-id="DOOR"]').click();
    await page.locator("#ease").selectOption("ease-in-out");
    await page.locator("#reverse").check();
    assert.match(await readCommand(), / --ease ease-in-out --reverse --out /);
    await scrubTo(300);
    assert.equal(differing((await stagePixels()).rgba, toolFrame(300, "door-motion").rgba), 0);
    await page.locator("#ease").selectOption("linear");
    await page.locator("#reverse").uncheck();
    assert.doesNotMatch(await readCommand(), /--ease|--reverse/);
  });

  test("uses a picture from the file input, fitted as the tool fits it", async () => {
    // A wide old picture sets the run's size; the built-in new one is contained in it,
    // on the background chosen, in the tool's rectangle.
    const picture = join(scratch, "own.png");
    tool("render", "Mosaic", "--size", "200x100", "--at", "300", "--out", picture, "--quiet");
    await page.locator('.thumb[data-id="SE10"]').click();
    await page.locator("#background").fill("#3366cc");
    await page.locator("#old-file").setInputFiles(picture);
    await page.waitForFunction(() => document.getElementById("old-name").textContent.startsWith("own.png"));
    assert.match(await readCommand(), /--from own\.png --to .*new\.png .*--background "#3366cc"/);
    pageCommand = pageCommand.replace("own.png", picture);
    await scrubTo(0);
    const start = await stagePixels();
    assert.deepEqual([start.width, start.height], [200, 100]);
    assert.equal(differing(start.rgba, readPng(picture).rgba), 0);
    await scrubTo(640);
    const { bars, most } = fittedDifference((await stagePixels()).rgba, toolFrame(640, "own").rgba, 200, { x: 33, y: 0, width: 133, height: 100 });
    assert.equal(bars, 0, "the background around the new picture");
    assert.ok(most <= kFitTolerance, `a channel differs by ${most}`);
    await page.locator("#fit").selectOption("cover");
    assert.match(await readCommand(), /--fit cover/);
    assert.equal(await page.locator("#background").isDisabled(), true);
    await page.locator("#fit").selectOption("blur");
    assert.match(await readCommand(), /--fit blur/);
    assert.equal(await page.locator("#background").isDisabled(), true);
    await page.locator("#fit").selectOption("contain");
    await page.locator("#background").fill("#000000");
  });

  test("tells of a file that is no picture and keeps working", async () => {
    const text = join(scratch, "notes.txt");
    writeFileSync(text, "not a picture\n");
    await page.locator("#new-file").setInputFiles(text);
    await page.locator("#message").waitFor({ state: "visible" });
    assert.match(await page.locator("#message").textContent(), /notes\.txt/);
    await page.locator("#built-in").click();
    await page.locator('.thumb[data-id="ZOOM"]').click();
    await scrubTo(1000);
    assert.equal(differing((await stagePixels()).rgba, readPng(join(kWeb, "new.png")).rgba), 0);
    assert.deepEqual(browser.errors, []);
  });

  test("opens from the file system too", async () => {
    const other = await page.context().newPage();
    await other.goto(`file://${join(kWeb, "index.html")}`);
    await other.waitForSelector("body[data-ready=true]", { timeout: 30000 });
    assert.equal(await other.locator(".thumb").count(), 21);
    assert.equal(await other.locator("#message").isHidden(), true);
    await other.close();
  });
});
