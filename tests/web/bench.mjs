// bench.mjs -- prints the page's ?bench table from headless Chromium, beside which talumen-render --bench compares
// Usage: node tests/web/bench.mjs SITE_DIR [QUERY]   (QUERY e.g. "every=10&size=1024x768")
import {launch, openPage, serve, waitTitle} from './kit.mjs';

const [site, query = ''] = process.argv.slice(2);
const server = await serve(site);
const browser = await launch();
try {
  const page = await openPage(browser, 1280, 720);
  await page.goto(server.url + 'index.html?bench' + (query ? '&' + query : ''));
  const title = await waitTitle(page, 3600000);
  console.log(await page.$eval('#bench', e => e.textContent));
  if (title !== 'ready') process.exitCode = 1;
} finally {
  await browser.close();
  server.close();
}
