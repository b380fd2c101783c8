// The README's picture of the page: Square with its panel, halfway through the run.
//   node web/screenshot.mjs docs/web.png      (after scripts/web)
import { openPage } from "./tests/browser.mjs";

const out = process.argv[2] ?? "docs/web.png";
const browser = await openPage({ viewport: { width: 1400, height: 860 } });
const { page } = browser;
await page.locator('.thumb[data-id="SE01"]').click();
await page.getByRole("slider", { name: "Square Size" }).evaluate((input) => {
  input.value = "35";
  input.dispatchEvent(new Event("input", { bubbles: true }));
});
await page.getByRole("checkbox", { name: "with Stretch for the inside square" }).click();
await page.evaluate(() => {
  const scrubber = document.getElementById("scrubber");
  scrubber.value = "450";
  scrubber.dispatchEvent(new Event("input", { bubbles: true }));
});
// The thumbnails play on their own: catch them in mid-run too.
await page.waitForFunction(() => performance.now() % 1500 > 420 && performance.now() % 1500 < 480, null, { polling: 5 });
await page.screenshot({ path: out });
await browser.close();
console.log(`Wrote ${out}`);
