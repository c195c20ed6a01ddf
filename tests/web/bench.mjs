// bench.mjs -- prints the page's ?bench table from a browser, beside which talumen-render --bench compares
// Usage: node tests/web/bench.mjs SITE_DIR [QUERY] [ENGINE]   (QUERY e.g. "every=10&size=1024x768";
// ENGINE chromium, the default, headless, or firefox or webkit in an Xvfb screen of their own)
import {benchSession} from './kit.mjs';

const [site, query = '', engine = 'chromium'] = process.argv.slice(2);
const {server, browser, close} = await benchSession(site, engine);
try {
  const page = await browser.newPage(1280, 720);
  await page.goto(server.url + 'index.html?bench' + (query ? '&' + query : ''));
  await page.waitFor(() => document.title === 'ready' || document.title.startsWith('error: '), 3600000);
  console.log(await page.evaluate(() => document.getElementById('bench').textContent));
  if (await page.evaluate(() => document.title) !== 'ready') process.exitCode = 1;
} finally {
  await close();
}
