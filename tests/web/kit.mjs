// kit.mjs -- what the browser tests and the sheet script share: a static server, the three engines, stills
import {spawn, spawnSync} from 'node:child_process';
import fs from 'node:fs';
import http from 'node:http';
import net from 'node:net';
import os from 'node:os';
import path from 'node:path';
import puppeteer from 'puppeteer-core';

const types = {
  '.html': 'text/html; charset=utf-8', '.js': 'text/javascript', '.wasm': 'application/wasm',
  '.png': 'image/png', '.jpg': 'image/jpeg', '.ogg': 'audio/ogg', '.obj': 'text/plain', '.txt': 'text/plain',
  '.svg': 'image/svg+xml', '.webmanifest': 'application/manifest+json',
};

// Serves dir on 127.0.0.1 at a free port; only files under dir, nothing else, and not missing
// (a path under dir), as on a site where that file was left out.
export async function serve(dir, missing = null) {
  const root = path.resolve(dir), left = missing && path.resolve(root, missing);
  const server = http.createServer((request, response) => {
    const name = decodeURIComponent(new URL(request.url, 'http://x').pathname);
    const file = path.resolve(root, '.' + (name.endsWith('/') ? name + 'index.html' : name));
    if (!file.startsWith(root + path.sep) || file === left || !fs.existsSync(file) || !fs.statSync(file).isFile()) {
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

// The frame at ms as the page draws it in a browser of launchEngine, written to out as PNG;
// returns the page's title.
export async function webStill(browser, siteUrl, {ms, level, width, height}, out, timeoutMs = 600000) {
  let query = `?at=${ms}&size=${width}x${height}`;
  if (level !== undefined) query += `&level=${level}`;
  const page = await browser.newPage(width, height);
  await page.goto(siteUrl + 'index.html' + query);
  await page.waitFor(() => document.title === 'ready' || document.title.startsWith('error: '), timeoutMs);
  const title = await page.evaluate(() => document.title);
  if (title === 'ready') await page.shot('#screen', out);
  await page.close();
  return title;
}

// The same frame from the native talumen-render, run in the site's folder for its data/; fps
// picks the clock whose frame at or after ms it is (60 where none is given).
export function nativeStill(render, siteDir, {ms, level, width, height, fps}, out) {
  const args = ['--size', `${width}x${height}`, '--at', String(ms)];
  if (fps !== undefined) args.push('--fps', String(fps));
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

// ---- Firefox and WebKit: they draw WebGL 2 only in a window, so under an Xvfb of our own ----

const sleep = ms => new Promise(resolve => setTimeout(resolve, ms));

// A child process that is ended (by its own id) when close() is called or this process exits.
function child(command, args, options) {
  const proc = spawn(command, args, {stdio: ['ignore', 'pipe', 'pipe'], ...options});
  const end = () => { if (proc.exitCode === null) proc.kill('SIGTERM'); };
  process.on('exit', end);
  proc.close = async () => {
    end();
    if (proc.exitCode === null) await new Promise(resolve => proc.once('exit', resolve));
    process.off('exit', end);
  };
  return proc;
}

// An Xvfb screen of its own (it tells its display number itself); {display, close}.
export async function startXvfb(width = 1920, height = 1200) {
  // -noreset: a server that resets when its last client leaves turns away a client that comes
  // meanwhile, as the browser launched next may (14 of 200 xdpyinfo runs one after the other
  // were refused without it, none with it).
  const proc = child('Xvfb', ['-displayfd', '1', '-screen', '0', `${width}x${height}x24`, '-nolisten', 'tcp', '-noreset']);
  const display = await new Promise((resolve, reject) => {
    let out = '';
    proc.stdout.on('data', data => {
      out += data;
      if (out.includes('\n')) resolve(':' + out.trim());
    });
    proc.once('exit', code => reject(new Error(`Xvfb exited with ${code}`)));
  });
  return {display, close: proc.close};
}

// A PulseAudio server with one null sink, private to the tests: its socket in a folder of its
// own. {server, close}: PULSE_SERVER=server gives a browser a running sound output; without
// it (PULSE_SERVER pointing nowhere) the browser has none, as on a machine with no sound card.
export async function startPulse() {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'talumen-pulse-'));
  const socket = path.join(dir, 'native');
  const proc = child('pulseaudio', ['-n', '--daemonize=no', '--exit-idle-time=-1', '--disallow-exit',
    '--use-pid-file=no', '--load=module-null-sink',
    `--load=module-native-protocol-unix socket=${socket} auth-anonymous=1`],
    {env: {...process.env, HOME: dir, XDG_RUNTIME_DIR: dir, XDG_CONFIG_HOME: dir, PULSE_RUNTIME_PATH: dir}});
  for (let i = 0; i < 100 && !fs.existsSync(socket); ++i) await sleep(100);
  if (!fs.existsSync(socket)) throw new Error('pulseaudio did not start');
  return {server: 'unix:' + socket, close: async () => {
    await proc.close();
    fs.rmSync(dir, {recursive: true, force: true});
  }};
}
export const noPulse = 'unix:/nonexistent/talumen-no-sound';

// A page of one engine with the calls the tests make, the same in all three:
// goto, evaluate(fn, ...args) (fn may return a promise), waitFor(fn, timeoutMs, ...args),
// click(selector), press(key), shot(selector, file) and close(); problems lists uncaught errors.
function puppeteerPage(page) {
  const problems = [];
  page.on('console', message => {
    if (message.type() === 'error') problems.push('console error: ' + message.text());
  });
  page.on('pageerror', error => problems.push('uncaught: ' + error.message));
  return {
    raw: page, problems,
    goto: url => page.goto(url),
    evaluate: (fn, ...args) => page.evaluate(fn, ...args),
    waitFor: (fn, timeout, ...args) => page.waitForFunction(fn, {timeout, polling: 100}, ...args),
    click: selector => page.click(selector),
    press: key => page.keyboard.press(key),
    shot: async (selector, file) => (await page.$(selector)).screenshot({path: file}),
    close: () => page.close(),
  };
}

// WebKitGTK's WebDriver, spoken to over its REST protocol (one session at a time).
const webdriverKeys = {Escape: '\uE00C', Enter: '\uE007', ArrowDown: '\uE015', ArrowUp: '\uE013', End: '\uE010',
                       Home: '\uE011'};
async function webkitSession(port) {
  const base = `http://127.0.0.1:${port}`;
  const call = async (method, where, body, timeoutMs) => {
    const response = await fetch(base + where, {method, headers: {'Content-Type': 'application/json'},
                                                body: body === undefined ? undefined : JSON.stringify(body),
                                                signal: timeoutMs ? AbortSignal.timeout(timeoutMs) : undefined});
    const reply = await response.json();
    if (!response.ok) throw new Error(`WebKit ${method} ${where}: ${JSON.stringify(reply.value)}`);
    return reply.value;
  };
  const created = await call('POST', '/session', {capabilities: {alwaysMatch: {'webkitgtk:browserOptions': {
    binary: '/usr/lib/x86_64-linux-gnu/webkit2gtk-4.1/MiniBrowser', args: ['--automation']}}}}, 60000);
  const session = `/session/${created.sessionId}`;
  await call('POST', session + '/window/rect', {x: 0, y: 0, width: 1600, height: 1100}).catch(() => {});
  const evaluate = async (fn, ...args) => {
    const script = `const done = arguments[arguments.length - 1];
      Promise.resolve((${fn}).apply(null, ${JSON.stringify(args)}))
        .then(value => done({value: value === undefined ? null : value}), e => done({error: String(e)}));`;
    const result = await call('POST', session + '/execute/async', {script, args: []});
    if (result && result.error) throw new Error(result.error);
    return result ? result.value : undefined;
  };
  const problems = [];
  return {
    problems,
    goto: url => call('POST', session + '/url', {url}),
    evaluate,
    async waitFor(fn, timeout, ...args) {
      const until = Date.now() + timeout;
      for (;;) {
        if (await evaluate(fn, ...args)) return;
        if (Date.now() > until) throw new Error(`WebKit: timed out after ${timeout} ms waiting for ${fn}`);
        await sleep(100);
      }
    },
    async click(selector) {
      const element = await call('POST', session + '/element', {using: 'css selector', value: selector});
      await call('POST', `${session}/element/${Object.values(element)[0]}/click`, {});
    },
    press: key => call('POST', session + '/actions', {actions: [{type: 'key', id: 'keys', actions: [
      {type: 'keyDown', value: webdriverKeys[key] || key}, {type: 'keyUp', value: webdriverKeys[key] || key}]}]}),
    // WebKitGTK's element screenshot of a WebGL canvas comes out shifted; its window's is
    // right, so the element is cut out of that.
    async shot(selector, file) {
      const box = await evaluate(s => {
        const r = document.querySelector(s).getBoundingClientRect();
        return [r.width, r.height, r.left, r.top].map(Math.round);
      }, selector);
      fs.writeFileSync(file, Buffer.from(await call('GET', `${session}/screenshot`), 'base64'));
      const cut = spawnSync('convert', [file, '-crop', `${box[0]}x${box[1]}+${box[2]}+${box[3]}`, '+repage', file]);
      if (cut.status !== 0) throw new Error(`convert -crop ${file}: ${cut.stderr}`);
    },
    close: () => call('DELETE', session),
  };
}

// One engine, with the sound output pulse names (see startPulse; noPulse for none, nothing for
// the machine's own): newPage(width, height) and close(). Chromium runs headless; Firefox and
// WebKit in the Xvfb screen display. Chromium and Firefox put what pages download into the folder
// downloads where one is named, and (Chromium) nowhere otherwise.
export async function launchEngine(engine, {display, pulse, downloads}) {
  const env = {...process.env};
  if (pulse) env.PULSE_SERVER = pulse;
  if (display) env.DISPLAY = display;
  if (engine === 'chromium' || engine === 'firefox') {
    // Chromium headless, drawing WebGL 2 on the processor, with a profile of its own. A late
    // still plays the whole demo up to its instant on a processor-drawn GL.
    const profile = engine === 'chromium' ? fs.mkdtempSync('/tmp/talumen-chromium-') : null;
    const browser = await puppeteer.launch(engine === 'firefox'
      ? {browser: 'firefox', executablePath: process.env.FIREFOX || '/usr/bin/firefox-esr', headless: false, env,
         protocolTimeout: 900000,
         extraPrefsFirefox: downloads ? {'browser.download.dir': downloads, 'browser.download.folderList': 2,
                                         'browser.download.useDownloadDir': true,
                                         'browser.download.always_ask_before_handling_new_types': false} : {}}
      : {executablePath: process.env.CHROMIUM || '/usr/bin/chromium', headless: true, env, protocolTimeout: 900000,
         args: ['--headless=new', '--no-sandbox', '--use-angle=swiftshader', '--enable-unsafe-swiftshader',
                '--disable-background-networking', '--disable-component-update', '--disable-sync', '--no-first-run',
                '--autoplay-policy=user-gesture-required', '--enable-precise-memory-info', `--user-data-dir=${profile}`]});
    if (engine === 'chromium') {
      const session = await browser.target().createCDPSession();
      await session.send('Browser.setDownloadBehavior', downloads ? {behavior: 'allow', downloadPath: downloads} : {behavior: 'deny'});
    }
    return {
      pid: browser.process() ? browser.process().pid : 0,
      async newPage(width, height) {
        const page = await browser.newPage();
        await page.setViewport({width, height, deviceScaleFactor: 1});
        return puppeteerPage(page);
      },
      async close() {
        await browser.close();
        if (profile) fs.rmSync(profile, {recursive: true, force: true});
      },
      // For a browser that answers no more: close() afterwards still tidies up.
      kill() { if (browser.process()) browser.process().kill('SIGKILL'); },
    };
  }
  const port = await new Promise(resolve => {
    const probe = net.createServer().listen(0, '127.0.0.1', () => {
      const free = probe.address().port;
      probe.close(() => resolve(free));
    });
  });
  const driver = child('WebKitWebDriver', [`--port=${port}`], {env});
  for (let i = 0; i < 100; ++i) {
    try { await fetch(`http://127.0.0.1:${port}/status`); break; } catch (e) { await sleep(100); }
  }
  let open = null;
  return {
    pid: 0,
    async newPage() {
      if (open) await open.close().catch(() => {});
      open = await webkitSession(port);
      return open;
    },
    async close() {
      if (open) await open.close().catch(() => {});
      await driver.close();
    },
  };
}

// Firefox's sound server thread ("AudioIPC Server RPC") and PulseAudio's main loop can end up
// waiting on each other for good where a page reads AudioContext.outputLatency (which the page
// therefore leaves alone in Firefox): the thread then sits in PulseAudio's priority-inheriting
// lock, and every page that touches its AudioContext waits on it with it, answering nothing more.
// The thread's id while Firefox (process pid) is seen so, else null.
export function firefoxSoundStuck(pid) {
  if (!pid) return null;
  try {
    for (const task of fs.readdirSync(`/proc/${pid}/task`)) {
      const read = name => fs.readFileSync(`/proc/${pid}/task/${task}/${name}`, 'utf8').trim();
      if (!read('comm').startsWith('AudioIP')) continue;
      // futex (202) with FUTEX_LOCK_PI or FUTEX_LOCK_PI2, private flag aside.
      const call = read('syscall').split(' ');
      const lockingPi = call[0] === '202' && [6, 13].includes(Number(call[2]) & 0x7f);
      if (lockingPi || read('wchan').includes('rt_mutex')) return task;
    }
  } catch (e) {}
  return null;
}

// A bench's browser on a site: the site served, an Xvfb screen for Firefox and WebKit (Chromium
// runs headless), the engine without a sound output, and close() for the three of them.
export async function benchSession(site, engine) {
  const server = await serve(site);
  const display = engine === 'chromium' ? null : await startXvfb();
  const browser = await launchEngine(engine, {display: display && display.display, pulse: noPulse});
  return {server, browser, async close() {
    await browser.close();
    if (display) await display.close();
    server.close();
  }};
}
