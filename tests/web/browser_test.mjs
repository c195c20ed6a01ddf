// browser_test.mjs -- the web build in headless Chromium: start screen, stills against talumen-render, a run, spoiled sites
// Usage: node browser_test.mjs CASE SITE_DIR TALUMEN_RENDER
// CASE is start, stills, run or spoiled. Exits non-zero with the reasons on any failure.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import {launch, nativeStill, openPage, psnr, serve, webStill} from './kit.mjs';

const [caseName, siteDir, render] = process.argv.slice(2);
const sleep = ms => new Promise(resolve => setTimeout(resolve, ms));

async function startPage(browser, url) {
  const page = await openPage(browser, 1280, 720);
  await page.goto(url + 'index.html');
  await page.waitForFunction(() => window.talumen && window.talumen.state === 'start', {timeout: 60000});
  return page;
}

const checked = page => page.$eval('input[name=mode]:checked', r => r.value);

const cases = {
  // The start screen: its caption, picture and choices, the arrow keys, Escape and "Exit".
  async start(browser, url) {
    const page = await startPage(browser, url);
    const screen = await page.evaluate(() => ({
      caption: document.getElementById('caption').textContent,
      picture: [document.getElementById('picture').naturalWidth, document.getElementById('picture').naturalHeight],
      labels: Array.from(document.querySelectorAll('label')).map(l => l.textContent.trim()),
      buttons: Array.from(document.querySelectorAll('#start button')).map(b => b.textContent),
      focused: document.activeElement.textContent,
    }));
    assert.deepEqual(screen, {caption: 'norvi', picture: [256, 144], labels: ['1024x768 (4:3)', '1280x720 (16:9)'],
                              buttons: ['Run Demo', 'Exit'], focused: 'Run Demo'});
    const keys = [['', '1024x768'], ['ArrowDown', '1280x720'], ['ArrowDown', '1280x720'], ['ArrowUp', '1024x768'],
                  ['ArrowRight', '1280x720'], ['ArrowLeft', '1024x768']];
    for (const [key, mode] of keys) {
      if (key) await page.keyboard.press(key);
      assert.equal(await checked(page), mode, `after ${key}`);
    }
    // Escape on the start screen, and Enter on "Exit", both leave the plain page.
    for (const leave of [async () => page.keyboard.press('Escape'),
                         async () => { await page.focus('#exit'); await page.keyboard.press('Enter'); }]) {
      await leave();
      assert.equal(await page.evaluate(() => window.talumen.state), 'ended');
      assert.match(await page.evaluate(() => document.body.textContent), /The demo has ended\./);
      await page.goto(url + 'index.html');
      await page.waitForFunction(() => window.talumen.state === 'start', {timeout: 60000});
    }
    assert.deepEqual(page.problems, []);
  },

  // ?at= stills against talumen-render's at the same instants, fixed loudness and the track's own.
  async stills(browser, url) {
    // Each still plays the demo up to its instant on the processor-drawn GL, which costs about as
    // much as the frames themselves: the opening, the tunnel in 4:3, the cubes and the city's
    // start. scripts/web-sheet.sh shows every scene.
    const shots = [
      {ms: 8000, level: 2.8, width: 1280, height: 720},
      {ms: 40000, level: 3.4, width: 1024, height: 768},
      {ms: 57000, level: 3.1, width: 1280, height: 720},
      {ms: 93000, level: 2.6, width: 1024, height: 768},
      {ms: 20000, width: 1280, height: 720},  // loudness from the track on the virtual clock
    ];
    const work = fs.mkdtempSync(path.join(os.tmpdir(), 'talumen-stills-'));
    const failures = [];
    console.log('instant     size       level   PSNR dB');
    for (const shot of shots) {
      const name = `${shot.ms}-${shot.width}`;
      const title = await webStill(browser, url, shot, path.join(work, name + '-web.png'));
      if (title !== 'ready') {
        failures.push(`${shot.ms} ms: ${title}`);
        continue;
      }
      nativeStill(render, siteDir, shot, path.join(work, name + '-native.png'));
      const db = psnr(path.join(work, name + '-web.png'), path.join(work, name + '-native.png'));
      console.log(`${String(shot.ms).padEnd(11)} ${(shot.width + 'x' + shot.height).padEnd(10)} ` +
                  `${String(shot.level ?? 'track').padEnd(7)} ${db.toFixed(2)}`);
      if (!(db >= 30)) failures.push(`${shot.ms} ms at ${shot.width}x${shot.height}: ${db.toFixed(2)} dB`);
    }
    fs.rmSync(work, {recursive: true, force: true});
    // A bad query names its fault in the title, as talumen-render names it on stderr.
    for (const [query, reason] of [['at=abc', /--at/], ['at=1000&size=800x600', /--size/], ['at=1000&level=x', /--level/]]) {
      const page = await openPage(browser, 320, 200);
      await page.goto(url + 'index.html?' + query);
      await page.waitForFunction(() => document.title.startsWith('error: '), {timeout: 30000});
      assert.match(await page.title(), reason);
      await page.close();
    }
    assert.deepEqual(failures, []);
  },

  // Run Demo: sound and frames run, the loudness moves, Escape brings back the start screen in silence.
  async run(browser, url) {
    const page = await startPage(browser, url);
    await page.keyboard.press('ArrowDown');
    const clicked = Date.now();
    await page.keyboard.press('Enter');
    await page.waitForFunction(() => window.talumen.instance && window.talumen.instance._webElapsedMs() > 0,
                               {timeout: 30000, polling: 'raf'});
    console.log(`Run Demo to first frame: ${Date.now() - clicked} ms`);
    const sample = () => page.evaluate(() => {
      const instance = window.talumen.instance;
      const audio = instance.talumenAudio;
      window.heldAudio = audio ? audio.ctx : null;
      return {state: window.talumen.state, ms: instance._webElapsedMs(), level: instance._webLevel(),
              clock: audio ? audio.ctx.currentTime : -1, canvas: [instance.canvas.width, instance.canvas.height]};
    });
    const first = await sample();
    let loud = 0;
    let last = first;
    for (let i = 0; i < 20; ++i) {
      await sleep(200);
      last = await sample();
      loud = Math.max(loud, last.level);
    }
    console.log(`after ${last.ms} ms: audio clock ${last.clock.toFixed(2)} s, highest level ${loud.toFixed(3)}`);
    assert.equal(last.state, 'running');
    assert.deepEqual(last.canvas, [1280, 720]);
    assert.ok(last.ms > first.ms + 2000, `frames advance: ${first.ms} -> ${last.ms}`);
    assert.ok(last.clock > first.clock + 2, `the audio clock runs: ${first.clock} -> ${last.clock}`);
    assert.ok(loud > 0, 'level() reads the playing track');

    await page.keyboard.press('Escape');
    await page.waitForFunction(() => window.talumen.state === 'start', {timeout: 10000});
    const after = await page.evaluate(async () => ({
      audio: window.heldAudio ? window.heldAudio.state : 'none',
      visible: getComputedStyle(document.getElementById('start')).display,
    }));
    assert.deepEqual(after, {audio: 'closed', visible: 'flex'});
    // The next run starts from a fresh program, as a second launch of the native player would.
    await page.waitForFunction(() => window.talumen.instance !== null, {timeout: 60000});
    assert.deepEqual(page.problems, []);
  },

  // Sites with a picture or the track missing: the native player's messages, in order, and no uncaught error.
  async spoiled(browser, url, site) {
    // Escape while a box shows ends the run before its first frame, as it does while the native player loads.
    const spoilings = [
      {drop: 'norvi.jpg', messages: ['Error: Read params error!'], then: 'running'},
      {drop: 'norvi.jpg', messages: ['Error: Read params error!'], escape: true, then: 'start'},
      {drop: 'talumen.ogg', messages: ['Error: Music opening error'], then: 'ended'},
    ];
    for (const {drop, messages, escape, then} of spoilings) {
      const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'talumen-site-'));
      for (const entry of fs.readdirSync(site)) {
        if (entry !== 'data') fs.symlinkSync(path.resolve(site, entry), path.join(dir, entry));
      }
      fs.mkdirSync(path.join(dir, 'data'));
      for (const entry of fs.readdirSync(path.join(site, 'data'))) {
        if (entry !== drop) fs.symlinkSync(path.resolve(site, 'data', entry), path.join(dir, 'data', entry));
      }
      const server = await serve(dir);
      const page = await startPage(browser, server.url);
      await page.keyboard.press('Enter');
      await page.waitForFunction(n => window.talumen.messages.length >= n, {timeout: 30000}, messages.length);
      await sleep(300);
      assert.deepEqual(await page.evaluate(() => window.talumen.messages), messages, `without ${drop}`);
      if (escape) await page.keyboard.press('Escape');
      for (let i = 0; i < messages.length; ++i) await page.click('#box-ok');
      await page.waitForFunction(s => window.talumen.state === s, {timeout: 10000}, then);
      const uncaught = page.problems.filter(p => p.startsWith('uncaught'));
      assert.deepEqual(uncaught, [], `without ${drop}`);
      await page.close();
      server.close();
      fs.rmSync(dir, {recursive: true, force: true});
    }
  },
};

if (!cases[caseName] || !siteDir) {
  console.error('usage: node browser_test.mjs start|stills|run|spoiled SITE_DIR TALUMEN_RENDER');
  process.exit(2);
}
const server = await serve(siteDir);
const browser = await launch();
let failed = false;
try {
  await cases[caseName](browser, server.url, siteDir);
} catch (error) {
  console.error(error);
  failed = true;
} finally {
  await browser.close();
  server.close();
}
process.exit(failed ? 1 : 0);
