#!/usr/bin/env bash
# web.sh -- builds the demo for the browser into build-web/site/ and serves it on http://127.0.0.1:8080
#
#   scripts/web.sh           build, then serve (Ctrl+C stops the server)
#   scripts/web.sh --build   build only
#
# The web build takes its data from the native data tool, so the native tree in build/ is
# configured and its talumen-data built first.
set -euo pipefail
cd "$(dirname "$0")/.."

serve=1
case "${1:-}" in
  --build) serve=0 ;;
  "") ;;
  *) echo "usage: scripts/web.sh [--build]" >&2; exit 2 ;;
esac

bash scripts/install-deps.sh --web
jobs=$(nproc)
export NODE_PATH=/usr/share/nodejs
if [ ! -f build/CMakeCache.txt ]; then
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DTALUMEN_TESTS=OFF >/dev/null
fi
cmake --build build -j "$jobs" --target talumen-data
emcmake cmake -S . -B build-web -G Ninja -DCMAKE_BUILD_TYPE=Release -DTALUMEN_NATIVE_BUILD="$PWD/build" >/dev/null
cmake --build build-web -j "$jobs" --target talumen_site
echo "web.sh: the site is in build-web/site ($(du -sh build-web/site | cut -f1))" >&2
[ "$serve" = 1 ] || exit 0
echo "web.sh: serving it on http://127.0.0.1:8080 (Ctrl+C stops)" >&2
cd build-web/site
exec python3 -m http.server 8080 --bind 127.0.0.1
