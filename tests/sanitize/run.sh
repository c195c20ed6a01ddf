#!/usr/bin/env bash
# run.sh -- the whole test suite again, built with AddressSanitizer and UndefinedBehaviorSanitizer; any report fails it
# Usage: tests/sanitize/run.sh BUILD_DIR   (BUILD_DIR configured with -DTALUMEN_SANITIZE=ON and built)
set -euo pipefail
build=${1:?build dir}
here=$(cd "$(dirname "$0")" && pwd)

export ASAN_OPTIONS="detect_leaks=1:check_initialization_order=1:strict_init_order=1:detect_stack_use_after_return=1:verify_asan_link_order=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
# Only leaks inside libraries outside our code are suppressed; see the file for which.
export LSAN_OPTIONS="suppressions=$here/lsan.supp:print_suppressions=0"
# Mesa unloads its driver when a headless context is given back, and whatever the driver
# still held then reads as leaked from an unknown module, which no suppression can name.
# Loaded before everything, the driver stays until exit and its memory stays reachable.
driver=/usr/lib/$(gcc -print-multiarch)/dri/swrast_dri.so
[ -f "$driver" ] && export LD_PRELOAD="$driver"

# The whole-sequence player case plays 160 s of real time and reaches no code the other
# cases do not; talumen-render's whole-sequence runs stand in for it here. The GL layer's
# frame comparison renders thirty stills twice and reaches no layer code that its own unit
# cases miss.
# The bare-system case checks what a package installs on a clean system, not our code, and
# its programs run there without the sanitizers' settings.
exec ctest --test-dir "$build" --output-on-failure -j "$(nproc)" --timeout 900 \
    -E '^(PlayerRun\.TheWholeSequencePlaysAndEndsByItself|GlesLayer\.FramesMatchTheDesktopPathInBothModes|PackageInstallsAndRunsOnABareDebian12)$'
