#!/usr/bin/env bash
# gles-bench.sh -- per-scene frame times of the desktop GL path beside our GL 1.1 layer over ES 3
# Usage: scripts/gles-bench.sh [BUILD_DIR] [extra talumen-render options, e.g. --fps 5 --size 1024x768]
# Both renderers draw the whole sequence on llvmpipe one after the other, at a fixed level so
# that no music file is needed; the tables are printed one under the other.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
shift || true
for tool in talumen-render talumen-render-gles; do
  echo "== $tool"
  "$build/tools/$tool" --bench --level 3.2 "$@" 2>/dev/null
done
