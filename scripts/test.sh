#!/usr/bin/env bash
# test.sh -- installs what is missing, builds everything and runs every test
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh --tests
jobs=$(nproc)
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs" --timeout 600
