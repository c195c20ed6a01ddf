#!/usr/bin/env bash
# play.sh -- installs what is missing, builds, makes the demo's data if needed, and plays
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DTALUMEN_TESTS=OFF >/dev/null
cmake --build build
[ -d data ] || ./build/tools/talumen-data data
exec ./build/talumen
