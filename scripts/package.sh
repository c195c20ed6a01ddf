#!/usr/bin/env bash
# package.sh -- builds the Debian package talumen_VERSION_ARCH.deb with CPack
#
# A release build in build-package/ by default; BUILD=dir packs an existing build tree as it
# is configured (the tests' build, say) instead. The package lands in that tree's package/.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
build=${BUILD:-build-package}
if [ -z "${BUILD:-}" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTALUMEN_TESTS=OFF >/dev/null
fi
cmake --build "$build"
rm -rf "$build/package"
(cd "$build" && cpack -G DEB -B "$PWD/package" >/dev/null 2>&1) || { echo "package.sh: cpack failed" >&2; exit 1; }
deb=$(ls "$build"/package/talumen_*.deb)
echo "$deb ($(du -k "$deb" | cut -f1) KiB)"
dpkg-deb -f "$deb" Depends | sed 's/^/Depends: /'
echo "install: sudo apt install ./$deb"
echo "start:   talumen (or \"talumen\" in the desktop's menu)"
