#!/usr/bin/env bash
# run.sh -- bounded libFuzzer runs of the OBJ and JPEG readers; fails on any crash, leak, sanitizer report or hang
# Usage: tests/fuzz/run.sh BUILD_DIR [SECONDS_PER_TARGET]   (BUILD_DIR configured with -DTALUMEN_FUZZ=ON)
set -euo pipefail
build=${1:?build dir}
seconds=${2:-60}
dir="$build/fuzz"
mkdir -p "$dir/findings"
# The starting corpus is written fresh by the build itself; what the fuzzers add is kept
# under work-* so later runs start from it.
"$build/tests/fuzz_seeds" "$dir/seeds"

# The OBJ target goes through a real file; keep that in memory where possible.
[ -z "${TMPDIR:-}" ] && [ -w /dev/shm ] && export TMPDIR=/dev/shm

status=0
for target in obj_fuzz jpeg_fuzz; do
    kind=${target%_fuzz}
    mkdir -p "$dir/work-$kind"
    extra=()
    [ -f "$dir/seeds/$kind.dict" ] && extra+=(-dict="$dir/seeds/$kind.dict")
    log="$dir/$target.log"
    set +e
    "$build/tests/$target" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=4096 -print_final_stats=1 \
        -artifact_prefix="$dir/findings/$kind-" "${extra[@]}" "$dir/work-$kind" "$dir/seeds/$kind" >"$log" 2>&1
    rc=$?
    set -e
    runs=$(sed -n 's/^Done \([0-9]*\) runs.*/\1/p' "$log" | tail -n 1)
    if [ $rc -ne 0 ]; then
        echo "$target: FINDING (exit $rc) after ${runs:-?} runs; see $log and $dir/findings" >&2
        tail -n 40 "$log" >&2
        status=1
    else
        echo "$target: ${runs:-?} runs in ${seconds}s, no findings"
    fi
done
exit $status
