#!/usr/bin/env bash
# contact-sheet.sh -- stills of every scene and phase on one labelled sheet, to see the demo at a glance
#
#   scripts/contact-sheet.sh [OUTPUT.png]     (default: contact-sheet.png)
#
# Needs a build in build/ (scripts/test.sh or scripts/play.sh make one; BUILD=dir picks
# another) and ImageMagick's montage. Makes data/ first when it is missing (remove data/ to
# see a changed generator's output). Each still is
# rendered by talumen-render --at, which plays every earlier frame on the virtual clock,
# so the latches, the city's camera and the generator are where the real run has them.
set -euo pipefail
cd "$(dirname "$0")/.."

out=${1:-contact-sheet.png}
build=${BUILD:-build}
render=$build/tools/talumen-render
montage=/usr/bin/montage
[ -x "$montage" ] || montage=$(command -v montage || true)
if [ ! -x "$render" ] || [ ! -x "$build/tools/talumen-data" ]; then
  echo "contact-sheet: build first (cmake -S . -B $build -G Ninja && cmake --build $build)" >&2
  exit 1
fi
if [ -z "$montage" ]; then
  echo "contact-sheet: ImageMagick's montage is needed (apt-get install imagemagick)" >&2
  exit 1
fi
[ -d data ] || "$build/tools/talumen-data" data

# Instant in ms, then its label.
shots=(
  8000   "0:08 star, logo"
  20000  "0:20 star, title"
  40000  "0:40 tunnel"
  54000  "0:54 tunnel, late"
  60000  "1:00 cubes"
  88000  "1:28 cubes, late"
  92800  "1:32.8 city, fly-by"
  100000 "1:40 city"
  103300 "1:43.3 city, second fly-by"
  125000 "2:05 tree, turning"
  145000 "2:25 tree, pulsing"
  148000 "2:28 tree, splitting"
  153000 "2:33 credits"
)

work=$(mktemp -d)
# On any way out, stop the renders still running and drop the stills.
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT
echo "contact-sheet: rendering $((${#shots[@]} / 2)) stills (a few minutes: each one plays the demo up to its instant)" >&2
for ((i = 0; i < ${#shots[@]}; i += 2)); do
  # Two at a time, one per core.
  while [ "$(jobs -rp | wc -l)" -ge 2 ]; do wait -n || true; done
  "$render" --at "${shots[i]}" "$work/${shots[i]}.png" >/dev/null 2>"$work/${shots[i]}.log" &
done
wait
for ((i = 0; i < ${#shots[@]}; i += 2)); do
  if [ ! -s "$work/${shots[i]}.png" ]; then
    cat "$work/${shots[i]}.log" >&2
    echo "contact-sheet: the still at ${shots[i]} ms failed" >&2
    exit 1
  fi
done

args=()
for ((i = 0; i < ${#shots[@]}; i += 2)); do
  args+=(-label "${shots[i + 1]}" "$work/${shots[i]}.png")
done
"$montage" -font DejaVu-Sans -pointsize 18 -fill white -background '#181818' \
  "${args[@]}" -tile 3x -geometry 640x360+6+6 "$out"
echo "contact-sheet: wrote $out" >&2
