// seek_bench.mjs -- times seeks on the page, as talumen-render --bench-seek times them natively
// Usage: node tests/web/seek_bench.mjs SITE_DIR [ENGINE]   (ENGINE chromium, the default, headless,
// or firefox in an Xvfb screen of its own). Runs the demo at 1280x720 without a sound output:
// one seek to 140 s soon after the first frame, while the snapshot table is still being built,
// then, once it is whole and the run paused, the ten instants of --bench-seek. Each is timed
// from the asking to its frame drawn (the GL finished), and its landing (snapshot and catch-up)
// apart.
import {benchSession} from './kit.mjs';

const [site, engine = 'chromium'] = process.argv.slice(2);
const sleep = ms => new Promise(resolve => setTimeout(resolve, ms));
const {server, browser, close} = await benchSession(site, engine);
try {
  const page = await browser.newPage(1280, 720);
  await page.goto(server.url + 'index.html');
  await page.waitFor(() => window.talumen && window.talumen.state === 'start', 60000);
  await page.press('ArrowDown');
  await page.click('#run');
  await page.evaluate(() => { window.ranAt = performance.now(); });
  await page.waitFor(() => window.talumen.instance && window.talumen.instance._webFrames() > 0, 60000);
  // Asks for a seek to ms and waits for its frame: [landing ms, frame drawn ms after asking, table reach ms].
  const seek = ms => page.evaluate(async ms => {
    const instance = window.talumen.instance;
    const since = instance._webSeekShownAt(), reach = instance._webSnapshotsReach();
    const asked = performance.now();
    instance._webSeek(ms);
    while (instance._webSeekShownAt() === since) await new Promise(resolve => setTimeout(resolve, 1));
    return [instance._webLandingMs(), instance._webSeekShownAt() - asked, reach];
  }, ms);
  await sleep(300);
  const first = await seek(140000);
  console.log(`${engine}: first seek, to 140000 ms 300 ms after the first frame, the table at ` +
              `${first[2]} ms: landing ${first[0].toFixed(1)} ms, frame drawn ${first[1].toFixed(1)} ms after asking`);
  await page.waitFor(() => window.talumen.instance._webSnapshotsReach() >= 156000, 60000);
  const whole = await page.evaluate(() => performance.now() - window.ranAt);
  console.log(`${engine}: the snapshot table was whole ${(whole / 1000).toFixed(1)} s after "Run Demo"`);
  await page.press(' ');  // Space, as every driver names it
  console.log(`${engine}:   seek to  landing ms  frame drawn ms`);
  for (const ms of [140000, 20000, 121000, 60000, 150000, 92500, 5000, 100000, 80000, 35000]) {
    const [landing, drawn] = await seek(ms);
    console.log(`${engine}: ${String(ms).padStart(9)} ${landing.toFixed(1).padStart(11)} ${drawn.toFixed(1).padStart(15)}`);
  }
} finally {
  await close();
}
