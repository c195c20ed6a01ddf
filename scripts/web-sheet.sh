#!/usr/bin/env bash
# web-sheet.sh -- six instants of the demo as the browser draws them beside talumen-render's, on one sheet
#
#   scripts/web-sheet.sh [OUTPUT.png]     (default: web-sheet.png)
#
# Needs the native build in build/ and the web build in build-web/ (scripts/web.sh --build),
# tests/web/node_modules (npm ci there), Chromium and ImageMagick. Each web still is the page's
# ?at= frame in headless Chromium, each native one talumen-render --at, both with the track's
# own loudness; every row is one instant, web on the left, and the PSNR between them is printed.
set -euo pipefail
cd "$(dirname "$0")/.."

out=$(realpath -m "${1:-web-sheet.png}")
site=$PWD/build-web/site
render=$PWD/build/tools/talumen-render
for need in "$site/talumen.wasm" "$render" tests/web/node_modules/puppeteer-core; do
  if [ ! -e "$need" ]; then
    echo "web-sheet: $need is missing (scripts/web.sh --build, cmake --build build, npm ci in tests/web)" >&2
    exit 1
  fi
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Instant in ms, then its label.
shots=(8000 "0:08 star" 40000 "0:40 tunnel" 60000 "1:00 cubes" 100000 "1:40 city" 125000 "2:05 tree" 153000 "2:33 credits")
instants=()
for ((i = 0; i < ${#shots[@]}; i += 2)); do instants+=("${shots[i]}"); done

echo "web-sheet: drawing ${#instants[@]} instants in the browser and natively (minutes: each plays the demo up to its instant)" >&2
WORK=$work SITE=$site RENDER=$render node --input-type=module -e "
import {launchEngine, nativeStill, psnr, serve, webStill} from '$PWD/tests/web/kit.mjs';
const server = await serve(process.env.SITE);
const browser = await launchEngine('chromium', {});
let failed = false;
try {
  for (const ms of '${instants[*]}'.split(' ').map(Number)) {
    const shot = {ms, width: 1280, height: 720};
    const web = process.env.WORK + '/' + ms + '-web.png', native = process.env.WORK + '/' + ms + '-native.png';
    const title = await webStill(browser, server.url, shot, web, 3600000);
    if (title !== 'ready') { console.error(ms + ' ms: ' + title); failed = true; continue; }
    nativeStill(process.env.RENDER, process.env.SITE, shot, native);
    console.log(String(ms).padStart(6) + ' ms  ' + psnr(web, native).toFixed(2) + ' dB');
  }
} finally {
  await browser.close();
  server.close();
}
process.exit(failed ? 1 : 0);
"
args=()
for ((i = 0; i < ${#shots[@]}; i += 2)); do
  args+=(-label "${shots[i + 1]}, web" "$work/${shots[i]}-web.png" -label "${shots[i + 1]}, native" "$work/${shots[i]}-native.png")
done
montage -font DejaVu-Sans -pointsize 18 -fill white -background '#181818' \
  "${args[@]}" -tile 2x -geometry 640x360+6+6 "$out"
echo "web-sheet: wrote $out" >&2
