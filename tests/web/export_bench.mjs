// export_bench.mjs -- times the page's video export in each engine that can make one: frames a second, the ratio to real time, and the memory it took
// Usage: node tests/web/export_bench.mjs SITE_DIR [ENGINE...] [from=MS] [to=MS] [size=WxH] [fps=N] [quality=Q]
// ENGINE is chromium (headless), firefox or webkit (each in an Xvfb screen of its own); all three by
// default, an engine that cannot encode being said so. By default 20 s from the start at 1280x720
// and 30 fps. Opens index.html?export with those values on the start screen, presses "Save video"
// and waits for the file, offered as a download into a scratch folder and removed afterwards.
// Prints the time to the first frame (the landing on the export's clock), frames a second over
// the whole, the ratio to real time and the file's size; in Chromium also the peak of the page's
// JS heap (performance.memory) and of the resident memory of the browser's processes, its
// renderer's alone and all of them together, sampled every half second.
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import {launchEngine, noPulse, serve, startXvfb} from './kit.mjs';

const args = process.argv.slice(2);
const site = args.shift();
const engines = args.filter(a => !a.includes('='));
const option = (name, fallback) => (args.find(a => a.startsWith(name + '=')) || '').slice(name.length + 1) || fallback;
const [from, to, size, fps, quality] = [option('from', '0'), option('to', '20000'), option('size', '1280x720'),
                                        option('fps', '30'), option('quality', 'good')];
const sleep = ms => new Promise(resolve => setTimeout(resolve, ms));

// The resident memory, in KiB, of pid and every process under it, and of its renderers.
function residentKib(pid) {
  const children = new Map();
  for (const entry of fs.readdirSync('/proc')) {
    if (!/^\d+$/.test(entry)) continue;
    try {
      const stat = fs.readFileSync(`/proc/${entry}/stat`, 'utf8');
      const parent = Number(stat.slice(stat.lastIndexOf(')') + 2).split(' ')[1]);
      if (!children.has(parent)) children.set(parent, []);
      children.get(parent).push(Number(entry));
    } catch (e) {}
  }
  let all = 0, renderer = 0;
  const visit = id => {
    try {
      const kib = Number(/VmRSS:\s+(\d+)/.exec(fs.readFileSync(`/proc/${id}/status`, 'utf8'))[1]);
      all += kib;
      if (fs.readFileSync(`/proc/${id}/cmdline`, 'utf8').includes('--type=renderer')) renderer = Math.max(renderer, kib);
    } catch (e) {}
    for (const child of children.get(id) || []) visit(child);
  };
  visit(pid);
  return {all, renderer};
}

const server = await serve(site);
for (const engine of engines.length ? engines : ['chromium', 'firefox', 'webkit']) {
  const downloads = fs.mkdtempSync(path.join(os.tmpdir(), 'talumen-export-bench-'));
  const display = engine === 'chromium' ? null : await startXvfb();
  const browser = await launchEngine(engine, {display: display && display.display, pulse: noPulse, downloads});
  try {
    const page = await browser.newPage(1280, 720);
    // The file is built in memory, as where the browser cannot write one as it is made.
    if (page.raw) await page.raw.evaluateOnNewDocument(() => { delete window.showSaveFilePicker; });
    await page.goto(`${server.url}index.html?export&from=${from}&to=${to}&size=${size}&fps=${fps}`);
    await page.waitFor(() => window.talumen && ['ready', 'unable'].includes(window.talumen.saving.state), 120000);
    if (quality !== 'good') {
      await page.evaluate(q => {
        const select = document.getElementById('save-quality');
        select.value = q;
        select.dispatchEvent(new Event('change'));
      }, quality);
      await page.waitFor(() => ['ready', 'unable'].includes(window.talumen.saving.state), 60000);
    }
    const ready = await page.evaluate(() => [window.talumen.saving.state, document.getElementById('save-note').textContent]);
    if (ready[0] !== 'ready') {
      console.log(`${engine}: cannot export here: ${ready[1]}`);
      continue;
    }
    const peak = {heap: 0, all: 0, renderer: 0};
    const peaks = () => `JS heap ${(peak.heap / 1048576).toFixed(1)} MiB, renderer resident ` +
                        `${(peak.renderer / 1024).toFixed(0)} MiB, all the browser's processes ${(peak.all / 1024).toFixed(0)} MiB`;
    const idle = residentKib(browser.pid);
    let sampling = engine === 'chromium';
    // A long export says on stderr every minute how far it is and the peaks so far.
    let told = Date.now();
    const sampler = (async () => {
      while (sampling) {
        const heap = await page.evaluate(() => (performance.memory ? performance.memory.usedJSHeapSize : 0)).catch(() => 0);
        const kib = residentKib(browser.pid);
        peak.heap = Math.max(peak.heap, heap);
        peak.all = Math.max(peak.all, kib.all);
        peak.renderer = Math.max(peak.renderer, kib.renderer);
        if (Date.now() - told > 60000) {
          told = Date.now();
          const done = await page.evaluate(() => window.talumen.saving.done).catch(() => 0);
          console.error(`${engine}: ${done} frames; peaks so far: ${peaks()}`);
        }
        await sleep(500);
      }
    })();
    const started = Date.now();
    await page.click('#save');
    await page.waitFor(() => window.talumen.saving.done > 0 || window.talumen.saving.state === 'failed', 600000);
    const firstFrame = (Date.now() - started) / 1000;
    // Polled from here: one wait in the page as long as a whole export would outlast the protocol's timeout.
    while (['ready', 'saving'].includes(await page.evaluate(() => window.talumen.saving.state))) await sleep(1000);
    const seconds = (Date.now() - started) / 1000;
    sampling = false;
    await sampler;
    const result = await page.evaluate(() => ({...window.talumen.saving, status: document.getElementById('save-status').textContent}));
    if (result.state !== 'saved') {
      console.log(`${engine}: the export ended ${result.state}: ${result.status}`);
      continue;
    }
    const frames = result.total;
    console.log(`${engine}: ${size} at ${fps} fps, ${from}..${to} ms, ${frames} frames in ${seconds.toFixed(1)} s ` +
                `(first frame after ${firstFrame.toFixed(1)} s): ${(frames / seconds).toFixed(2)} frames/s, ` +
                `${(frames / fps / seconds).toFixed(2)}x real time; ${(result.saved.bytes / 1048576).toFixed(1)} MB, ` +
                `${ready[1].replace(/^Video: /, '')}`);
    if (engine === 'chromium') {
      console.log(`${engine}: peaks: ${peaks()} (before the export: renderer ${(idle.renderer / 1024).toFixed(0)} MiB, ` +
                  `all ${(idle.all / 1024).toFixed(0)} MiB)`);
    }
  } finally {
    await browser.close();
    if (display) await display.close();
    fs.rmSync(downloads, {recursive: true, force: true});
  }
}
server.close();
