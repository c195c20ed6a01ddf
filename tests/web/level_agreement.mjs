// level_agreement.mjs -- the web build's level() against the native build's at the same sample positions
// Usage: node level_agreement.mjs WEB_LEVEL_POINTS.js NATIVE_LEVEL_POINTS TRACK.ogg
// Both programs decode the track with their own build of the libraries and print
// "position level" lines; every pair must agree within 1e-3.
import {spawnSync} from 'node:child_process';

const [web, native, track] = process.argv.slice(2);
const run = (command, args) => {
  const result = spawnSync(command, args, {encoding: 'utf8', maxBuffer: 1 << 26});
  if (result.status !== 0) throw new Error(`${command} ${args.join(' ')} failed: ${result.stderr}`);
  return result.stdout.trim().split('\n').map(line => line.split(' ').map(Number));
};
const webLevels = run('node', ['--no-experimental-fetch', web, track]), nativeLevels = run(native, [track]);
if (webLevels.length !== nativeLevels.length || webLevels.length < 100)
  throw new Error(`${webLevels.length} web readings against ${nativeLevels.length} native ones`);
let worst = 0, worstAt = 0, loud = 0, bad = 0;
webLevels.forEach(([position, level], i) => {
  const [nativePosition, nativeLevel] = nativeLevels[i];
  const difference = position === nativePosition ? Math.abs(level - nativeLevel) : Infinity;
  if (!(difference <= 1e-3) && ++bad <= 10) console.error(`line ${i + 1}: web ${position} ${level}, native ${nativePosition} ${nativeLevel}`);
  if (difference > worst) [worst, worstAt] = [difference, position];
  if (nativeLevel > 0) ++loud;
});
console.log(`${webLevels.length} positions (${loud} with sound): largest difference ${worst.toExponential(3)} ` +
            `at sample ${worstAt}; ${bad} beyond 1e-3`);
process.exit(bad === 0 && loud > 100 ? 0 : 1);
