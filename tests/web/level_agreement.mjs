// level_agreement.mjs -- the web build's level() against the native build's at the same sample positions
// Usage: node level_agreement.mjs WEB_LEVEL_POINTS.js NATIVE_LEVEL_POINTS TRACK.ogg
// Both programs decode the track with their own build of the libraries and print
// "position level" lines; every pair must agree within 1e-3.
import {spawnSync} from 'node:child_process';

const [web, native, track] = process.argv.slice(2);
const run = (command, args) => {
  const result = spawnSync(command, args, {encoding: 'utf8', maxBuffer: 1 << 26});
  if (result.status !== 0) {
    console.error(`${command} ${args.join(' ')} failed: ${result.stderr}`);
    process.exit(1);
  }
  return result.stdout.trim().split('\n').map(line => line.split(' ').map(Number));
};
const webLevels = run('node', ['--no-experimental-fetch', web, track]);
const nativeLevels = run(native, [track]);
if (webLevels.length !== nativeLevels.length || webLevels.length < 100) {
  console.error(`${webLevels.length} web readings against ${nativeLevels.length} native ones`);
  process.exit(1);
}
let worst = 0, worstAt = 0, loud = 0, bad = 0;
for (let i = 0; i < webLevels.length; ++i) {
  const [position, level] = webLevels[i];
  const [nativePosition, nativeLevel] = nativeLevels[i];
  if (position !== nativePosition) {
    console.error(`line ${i + 1}: position ${position} against ${nativePosition}`);
    process.exit(1);
  }
  const difference = Math.abs(level - nativeLevel);
  if (!(difference <= 1e-3)) {
    if (++bad <= 10) console.error(`at sample ${position}: web ${level}, native ${nativeLevel}`);
  }
  if (difference > worst) [worst, worstAt] = [difference, position];
  if (nativeLevel > 0) ++loud;
}
console.log(`${webLevels.length} positions (${loud} with sound): largest difference ${worst.toExponential(3)} ` +
            `at sample ${worstAt}; ${bad} beyond 1e-3`);
process.exit(bad === 0 && loud > 100 ? 0 : 1);
