import {launchEngine, serve, noPulse, startXvfb} from './kit.mjs';
const [engine, siteDir] = process.argv.slice(2);
const x = engine === 'chromium' ? null : await startXvfb();
const browser = await launchEngine(engine, {display: x && x.display, pulse: noPulse});
const server = await serve(siteDir, 'data/cube.obj');
const page = await browser.newPage(1024, 768);
await page.goto(server.url + 'index.html?at=40000&size=1024x768&level=3.4');
await page.waitFor(() => document.title === 'ready' || document.title.startsWith('error: '), 60000);
console.log(await page.evaluate(() => document.title));
// get the stack by calling again
console.log(await page.evaluate(() => { try { window.talumen.instance.ccall('webStillBegin','string',['number','number','number','number','number'],[40000,1,3.4,1024,768]); return 'ok'; } catch (e) { return e.stack; } }));
await browser.close(); server.close(); if (x) await x.close(); process.exit(0);
