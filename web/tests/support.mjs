// Shared by the tests: the built page's files, the native tool, and a reader of the
// tool's PNG files.
import { execFileSync } from "node:child_process";
import { mkdtempSync, readFileSync } from "node:fs";
import { createRequire } from "node:module";
import { tmpdir } from "node:os";
import { join } from "node:path";
import { inflateSync } from "node:zlib";

export const kWeb = process.env.WQTRANS_WEB ?? new URL("../../build/web", import.meta.url).pathname;
export const kTool = process.env.WQTRANS_TOOL ?? new URL("../../build/release/tools/wqtrans", import.meta.url).pathname;

// The module as the page loads it, with the wasm bytes handed in.
export async function loadModule() {
  const createWqtrans = createRequire(import.meta.url)(join(kWeb, "wqtrans.js"));
  return createWqtrans({ wasmBinary: readFileSync(join(kWeb, "wqtrans.wasm")) });
}

export function tool(...args) {
  return execFileSync(kTool, args, { encoding: "utf8", stdio: ["ignore", "pipe", "pipe"] });
}

export const scratch = mkdtempSync(join(tmpdir(), "wqtrans-web-"));

// "block: 02000000" of `wqtrans panel NAME --set ...`.
export function panelBlock(name, ...sets) {
  const args = ["panel", name];
  for (const set of sets) args.push("--set", set);
  return /^block: (.*)$/m.exec(tool(...args))[1];
}

export const hex = (bytes) => Buffer.from(bytes).toString("hex").toUpperCase();

// An 8-bit RGB or RGBA, non-interlaced PNG (what the tool writes) as RGBA bytes.
export function readPng(path) {
  const data = readFileSync(path);
  let offset = 8;
  let width = 0;
  let height = 0;
  let channels = 0;
  const idat = [];
  while (offset < data.length) {
    const length = data.readUInt32BE(offset);
    const type = data.toString("latin1", offset + 4, offset + 8);
    const body = data.subarray(offset + 8, offset + 8 + length);
    if (type === "IHDR") {
      width = body.readUInt32BE(0);
      height = body.readUInt32BE(4);
      if (body[8] !== 8 || body[12] !== 0 || (body[9] !== 2 && body[9] !== 6)) throw new Error(`${path}: unsupported PNG`);
      channels = body[9] === 2 ? 3 : 4;
    } else if (type === "IDAT") {
      idat.push(body);
    }
    offset += 12 + length;
  }
  const raw = inflateSync(Buffer.concat(idat));
  const stride = width * channels;
  const rows = Buffer.alloc(stride * height);
  for (let y = 0; y < height; ++y) {
    const filter = raw[y * (stride + 1)];
    for (let x = 0; x < stride; ++x) {
      const value = raw[y * (stride + 1) + 1 + x];
      const a = x >= channels ? rows[y * stride + x - channels] : 0;
      const b = y > 0 ? rows[(y - 1) * stride + x] : 0;
      const c = x >= channels && y > 0 ? rows[(y - 1) * stride + x - channels] : 0;
      const p = a + b - c;
      const paeth = Math.abs(p - a) <= Math.abs(p - b) && Math.abs(p - a) <= Math.abs(p - c) ? a : Math.abs(p - b) <= Math.abs(p - c) ? b : c;
      const predictor = [0, a, b, (a + b) >> 1, paeth][filter];
      rows[y * stride + x] = (value + predictor) & 0xff;
    }
  }
  const rgba = new Uint8Array(width * height * 4);
  for (let i = 0; i < width * height; ++i) {
    rgba[i * 4] = rows[i * channels];
    rgba[i * 4 + 1] = rows[i * channels + 1];
    rgba[i * 4 + 2] = rows[i * channels + 2];
    rgba[i * 4 + 3] = 255;
  }
  return { width, height, rgba };
}

// How many pixels of two RGBA buffers differ.
export function differing(a, b) {
  let count = 0;
  for (let i = 0; i < a.length; i += 4) {
    if (a[i] !== b[i] || a[i + 1] !== b[i + 1] || a[i + 2] !== b[i + 2]) ++count;
  }
  return count;
}

// How a fitted picture compares with the tool's: the pixels that differ outside the
// picture's rectangle `rect` {x, y, width, height} (the background bars, which must
// match exactly), the largest difference of a channel inside it (the two scalers use
// the same filters but round apart) and outside it (blur's fill, made from the picture
// inside, inherits that rounding).
export function fittedDifference(actual, expected, width, rect) {
  let bars = 0;
  let most = 0;
  let mostOutside = 0;
  for (let i = 0; i < actual.length; i += 4) {
    const x = (i / 4) % width;
    const y = Math.floor(i / 4 / width);
    const inside = x >= rect.x && x < rect.x + rect.width && y >= rect.y && y < rect.y + rect.height;
    let differs = false;
    for (let c = 0; c < 3; ++c) {
      const d = Math.abs(actual[i + c] - expected[i + c]);
      if (inside) {
        most = Math.max(most, d);
      } else {
        mostOutside = Math.max(mostOutside, d);
        differs ||= d !== 0;
      }
    }
    if (differs) ++bars;
  }
  return { bars, most, mostOutside };
}

// The largest difference of a channel allowed between a fitted picture and the tool's.
export const kFitTolerance = 2;
