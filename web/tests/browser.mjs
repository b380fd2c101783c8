// Debian's Chromium, headless, driven by Playwright, against the built page served on
// 127.0.0.1. Never a browser of Playwright's own: the one Debian installs.
import { mkdtemp, rm } from "node:fs/promises";
import { tmpdir } from "node:os";
import { join } from "node:path";
import { chromium } from "playwright-core";

import { serve } from "../serve.mjs";
import { kWeb } from "./support.mjs";

export const kChromium = process.env.WQTRANS_CHROMIUM ?? "/usr/bin/chromium";

const kFlags = [
  "--headless",
  "--no-sandbox",
  "--disable-gpu",
  "--disable-quic",
  "--no-first-run",
  "--disable-background-networking",
  "--disable-component-update",
  "--disable-sync",
];

// Serves build/web, opens a fresh browser profile and a page on it; close() ends all.
export async function openPage({ viewport = { width: 1400, height: 900 } } = {}) {
  const { server, url } = await serve(kWeb);
  const profile = await mkdtemp(join(tmpdir(), "wqtrans-chromium-"));
  const context = await chromium.launchPersistentContext(profile, {
    executablePath: kChromium,
    headless: true,
    args: kFlags,
    viewport,
  });
  const page = context.pages()[0] ?? (await context.newPage());
  const errors = [];
  page.on("pageerror", (error) => errors.push(error.message));
  await page.goto(url);
  await page.waitForSelector("body[data-ready=true]", { timeout: 30000 });
  return {
    page,
    url,
    errors,
    async close() {
      await context.close();
      await new Promise((resolve) => server.close(resolve));
      await rm(profile, { recursive: true, force: true });
    },
  };
}
