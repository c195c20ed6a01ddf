#!/bin/sh
# wine.sh -- runs a program of the unpacked Windows zip under Wine in the tests' prefix: wine.sh [PROGRAM [ARGS...]]
# PROGRAM is talumen (the default) or talumen-render. TALUMEN_WINE_PREFIX and
# TALUMEN_WINDOWS_PROGRAMS (the unpacked folder) come from the tests' CTest folder.
program=talumen
[ $# -gt 0 ] && program=$1 && shift
export WINEPREFIX="$TALUMEN_WINE_PREFIX" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
exec wine "$TALUMEN_WINDOWS_PROGRAMS/$program.exe" "$@"
