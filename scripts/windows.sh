#!/usr/bin/env bash
# windows.sh -- builds talumen.exe and talumen-render.exe for 64-bit Windows and packs them in a zip
# Usage: scripts/windows.sh [--test]
# Installs what is missing (MinGW-w64, Wine, nasm), builds the native data tool (build/), the
# libraries from Debian's sources once (build-windows/libs), the programs
# (build-windows/programs) and build-windows/package/talumen-1.0.0-win64.zip. --test then runs
# the Windows programs' tests under Wine (build-windows/tests), which need the native build's
# tests and talumen-render as well.
set -euo pipefail
cd "$(dirname "$0")/.."
test=0
[ "${1:-}" = --test ] && test=1
root=$PWD
out=$root/build-windows
jobs=$(nproc)
started=$SECONDS
said() { echo "windows.sh: $1 ($((SECONDS - started)) s)" >&2; }

if [ "$test" = 1 ]; then bash scripts/install-deps.sh --tests; else bash scripts/install-deps.sh --windows; fi

# The native build: its data tool draws the data, the dialog's picture and the icon, and with
# --test its talumen-render and the Wine tests' program are built too. A new build tree without
# the tests needs no GoogleTest; an existing one keeps its settings.
if [ "$test" = 1 ]; then
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTALUMEN_TESTS=ON >/dev/null
elif [ ! -f build/CMakeCache.txt ]; then
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTALUMEN_TESTS=OFF >/dev/null
fi
if [ "$test" = 1 ]; then
  cmake --build build -j "$jobs" --target talumen-data talumen-render wine_test
else
  cmake --build build -j "$jobs" --target talumen-data
fi
said "native tools built"

bash scripts/windows-libs.sh "$out/libs"
said "libraries ready"

cmake -S . -B "$out/programs" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/platform/win32/mingw-w64.cmake" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTALUMEN_WINDOWS_LIBS="$out/libs/prefix" -DTALUMEN_NATIVE_BUILD="$root/build" \
  -DTALUMEN_PACKAGE_DIRECTORY="$out/package" >/dev/null
cmake --build "$out/programs" -j "$jobs"
(cd "$out/programs" && cpack >/dev/null)
said "made $out/package/talumen-1.0.0-win64.zip"

if [ "$test" = 1 ]; then
  # The tests' own CTest folder: its cases are the native wine_test program's, run against
  # the zip unpacked, in one Wine prefix made once for the folder.
  cmake -S tests/wine -B "$out/tests" -DTALUMEN_NATIVE_BUILD="$root/build" -DTALUMEN_WINDOWS_BUILD="$out" >/dev/null
  ctest --test-dir "$out/tests" --output-on-failure --timeout 600
  said "Wine tests passed"
fi
