// preview_bench.mjs -- times the timeline bar's preview: from the pointer stopping on the bar to the frame of its instant drawn there
// Usage: node tests/web/preview_bench.mjs SITE_DIR [ENGINE] [STOPS]   (ENGINE chromium, the default,
// headless, or firefox in an Xvfb screen of its own). Runs the demo at 1280x720 without a sound
// output and, once the snapshot table is whole, sweeps the pointer along the bar STOPS times (20 by
// default): a few moves, then a stop; each stop is timed from its last move to the preview of that
// instant drawn (its pixels on the preview's canvas), while the demo plays and again while it is paused.
import {benchSession} from './kit.mjs';

const [site, engine = 'chromium', stopsText = '20'] = process.argv.slice(2);
const stops = Math.max(1, Number(stopsText) || 20);
const sleep = ms => new Promise(resolve => setTimeout(resolve, ms));
const {server, browser, close} = await benchSession(site, engine);
try {
  const page = await browser.newPage(1280, 720);
  await page.goto(server.url + 'index.html');
  await page.waitFor(() => window.talumen && window.talumen.state === 'start', 60000);
  await page.press('ArrowDown');
  await page.click('#run');
  await page.waitFor(() => window.talumen.instance && window.talumen.instance._webFrames() > 0, 60000);
  await page.waitFor(() => window.talumen.instance._webSnapshotsReach() >= 156000, 60000);
  const mouse = page.raw.mouse;
  await mouse.move(640, 400);
  await mouse.move(640, 690);
  const bar = await page.evaluate(() => {
    const box = document.getElementById('timeline').getBoundingClientRect();
    return {x: box.left, y: box.top + box.height * 0.7, w: box.width};
  });
  const summary = times => {
    const sorted = times.slice().sort((a, b) => a - b);
    const n = sorted.length;
    return {median: n % 2 ? sorted[(n - 1) / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2, worst: sorted[n - 1]};
  };
  for (const state of ['playing', 'paused']) {
    if (state === 'paused') {
      await page.press(' ');
      await page.waitFor(() => window.talumen.run && window.talumen.run.paused, 5000);
    }
    const times = [];
    for (let i = 0; i < stops; ++i) {
      // Stops spread over the bar, in an order that jumps about, each after a short sweep.
      const share = ((i * 7) % stops + 0.5) / stops;
      const x = bar.x + share * bar.w;
      await mouse.move(x - 40, bar.y, {steps: 4});
      await mouse.move(x, bar.y, {steps: 4});
      const took = await page.evaluate(async () => {
        const asked = window.talumen.previewAsked;
        const until = performance.now() + 5000;
        while (!(window.talumen.preview && window.talumen.preview.askedMs === asked.ms && window.talumen.preview.at >= asked.at)) {
          if (performance.now() > until) return -1;
          await new Promise(resolve => setTimeout(resolve, 1));
        }
        return window.talumen.preview.at - asked.at;
      });
      if (took < 0) throw new Error(`no preview drawn within 5 s of stopping at ${share.toFixed(3)} of the bar`);
      times.push(took);
      await sleep(150);
    }
    const {median, worst} = summary(times);
    console.log(`${engine}: preview, ${state}: median ${median.toFixed(1)} ms, worst ${worst.toFixed(1)} ms ` +
                `from the pointer stopping to its frame drawn (${stops} stops)`);
  }
} finally {
  await close();
}
