// kit.mjs -- what the browser tests and the sheet script share: a static server, headless Chromium, stills
import {spawnSync} from 'node:child_process';
import fs from 'node:fs';
import http from 'node:http';
import path from 'node:path';
import puppeteer from 'puppeteer-core';

const types = {
  '.html': 'text/html; charset=utf-8', '.js': 'text/javascript', '.wasm': 'application/wasm',
  '.png': 'image/png', '.jpg': 'image/jpeg', '.ogg': 'audio/ogg', '.obj': 'text/plain', '.txt': 'text/plain',
};

// Serves dir on 127.0.0.1 at a free port; only files under dir, nothing else.
export async function serve(dir) {
  const root = path.resolve(dir);
  const server = http.createServer((request, response) => {
    const name = decodeURIComponent(new URL(request.url, 'http://x').pathname);
    const file = path.resolve(root, '.' + (name.endsWith('/') ? name + 'index.html' : name));
    if (!file.startsWith(root + path.sep) || !fs.existsSync(file) || !fs.statSync(file).isFile()) {
      response.writeHead(404);
      response.end();
      return;
    }
    response.writeHead(200, {'Content-Type': types[path.extname(file)] || 'application/octet-stream'});
    fs.createReadStream(file).pipe(response);
  });
  await new Promise(resolve => server.listen(0, '127.0.0.1', resolve));
  return {url: `http://127.0.0.1:${server.address().port}/`, close: () => server.close()};
}

// Headless Chromium drawing WebGL 2 on the processor, with a profile of its own.
export async function launch() {
  const profile = fs.mkdtempSync('/tmp/talumen-chromium-');
  const browser = await puppeteer.launch({
    executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
    headless: true,
    // A late still plays the whole demo up to its instant on a processor-drawn GL.
    protocolTimeout: 900000,
    args: ['--headless=new', '--no-sandbox', '--use-angle=swiftshader', '--enable-unsafe-swiftshader',
           '--disable-background-networking', '--disable-component-update', '--disable-sync', '--no-first-run',
           '--autoplay-policy=user-gesture-required', `--user-data-dir=${profile}`],
  });
  const close = browser.close.bind(browser);
  browser.close = async () => {
    await close();
    fs.rmSync(profile, {recursive: true, force: true});
  };
  return browser;
}

// A page that records console errors and uncaught errors.
export async function openPage(browser, width, height) {
  const page = await browser.newPage();
  await page.setViewport({width, height, deviceScaleFactor: 1});
  page.problems = [];
  page.on('console', message => {
    if (message.type() === 'error') page.problems.push('console error: ' + message.text());
  });
  page.on('pageerror', error => page.problems.push('uncaught: ' + error.message));
  return page;
}

// Waits until document.title is 'ready' or starts with 'error: '; returns it.
export async function waitTitle(page, timeoutMs) {
  await page.waitForFunction(() => document.title === 'ready' || document.title.startsWith('error: '),
                             {timeout: timeoutMs, polling: 200});
  return page.title();
}

// The frame at ms as the page draws it, written to out as PNG; returns the page's title.
export async function webStill(browser, siteUrl, {ms, level, width, height}, out, timeoutMs = 600000) {
  const page = await openPage(browser, width, height);
  let query = `?at=${ms}&size=${width}x${height}`;
  if (level !== undefined) query += `&level=${level}`;
  await page.goto(siteUrl + 'index.html' + query);
  const title = await waitTitle(page, timeoutMs);
  if (title === 'ready') await page.screenshot({path: out, clip: {x: 0, y: 0, width, height}});
  await page.close();
  return title;
}

// The same frame from the native talumen-render, run in the site's folder for its data/.
export function nativeStill(render, siteDir, {ms, level, width, height}, out) {
  const args = ['--size', `${width}x${height}`, '--at', String(ms)];
  if (level !== undefined) args.push('--level', String(level));
  args.push(path.resolve(out));
  const result = spawnSync(path.resolve(render), args, {cwd: siteDir, encoding: 'utf8'});
  if (result.status !== 0) throw new Error(`${render} ${args.join(' ')}: ${result.error || result.stderr}`);
}

// PSNR in dB from ImageMagick's compare; Infinity for identical pictures.
export function psnr(a, b) {
  const result = spawnSync('compare', ['-metric', 'PSNR', a, b, 'null:'], {encoding: 'utf8'});
  const figure = (result.stderr || '').trim().split(/\s+/)[0];
  if (figure === 'inf') return Infinity;
  const value = Number(figure);
  if (!Number.isFinite(value)) throw new Error(`compare ${a} ${b}: ${result.stderr}`);
  return value;
}
