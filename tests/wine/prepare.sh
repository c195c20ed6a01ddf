#!/usr/bin/env bash
# prepare.sh -- what the Wine tests share: the zip unpacked afresh, and a Wine prefix made once
# Usage: tests/wine/prepare.sh ZIP UNPACKED PREFIX
# A prefix's first start takes tens of seconds (Wine writes its registry and system folder);
# it is made once per test folder and kept. Mono and Gecko, which Wine would offer to download,
# are left out. Wine draws the windows' frames itself, as Windows does, since the tests' X
# servers have no window manager: the dialog shows its caption, and its whole frame is centred.
set -euo pipefail
zip=$1 unpacked=$2 prefix=$3
rm -rf "$unpacked"
mkdir -p "$unpacked"
cmake -E chdir "$unpacked" cmake -E tar xf "$zip"
if [ ! -f "$prefix/.made" ]; then
  rm -rf "$prefix"
  start=$SECONDS
  WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" DISPLAY= wineboot -i >/dev/null 2>&1 || true
  WINEPREFIX=$prefix WINEDEBUG=-all DISPLAY= wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ /d N /f \
    >/dev/null 2>&1
  WINEPREFIX=$prefix wineserver -w
  [ -f "$prefix/system.reg" ] || { echo "prepare.sh: wineboot made no prefix in $prefix" >&2; exit 1; }
  touch "$prefix/.made"
  echo "prepare.sh: the Wine prefix took $((SECONDS - start)) s" >&2
fi
