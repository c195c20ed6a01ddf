#!/usr/bin/env bash
# test.sh -- installs what is missing, builds everything and runs every test
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh --tests
jobs=$(nproc)
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs" --timeout 600

# The web build and its tests: the loudness against the native build's, and the page in Chromium,
# Firefox ESR and WebKitGTK (start screen, stills against talumen-render's, runs with and without
# a sound output; in Chromium also spoiled sites, a phone and the dead ends).
(cd tests/web && PUPPETEER_SKIP_DOWNLOAD=1 npm ci --no-audit --no-fund --loglevel=error)
NODE_PATH=/usr/share/nodejs emcmake cmake -S . -B build-web -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DTALUMEN_NATIVE_BUILD="$PWD/build" >/dev/null
cmake --build build-web -j "$jobs"
ctest --test-dir build-web --output-on-failure --timeout 600

# The Windows programs, cross-compiled with MinGW-w64 (their libraries built from Debian's sources
# once, into build-windows/libs) and packed in their zip, and the zip's tests under Wine on Xvfb:
# the dialog, runs and ways out, hostile data, and talumen-render.exe against the Linux build.
bash scripts/windows.sh --test

# Bounded fuzzing of the picture and mesh readers under AddressSanitizer and
# UndefinedBehaviorSanitizer, in a clang build of their own; any finding fails the run.
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTALUMEN_FUZZ=ON
cmake --build build-fuzz -j "$jobs" --target obj_fuzz jpeg_fuzz fuzz_seeds
bash tests/fuzz/run.sh build-fuzz "${TALUMEN_FUZZ_SECONDS:-60}"

# The whole suite again, built with AddressSanitizer and UndefinedBehaviorSanitizer; any
# report (an invalid access, undefined behaviour, a leak of ours) fails the run.
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTALUMEN_SANITIZE=ON
cmake --build build-asan -j "$jobs"
bash tests/sanitize/run.sh build-asan
echo "scripts/test.sh: everything passed in $((SECONDS / 60)) min $((SECONDS % 60)) s"
