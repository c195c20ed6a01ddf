#!/usr/bin/env bash
# bench-compare.sh -- frame times, a still's start-up, peak memory and page faults of a revision beside the work tree's
# Usage: scripts/bench-compare.sh REV [REPEATS]
#
# Builds REV in build-compare/SHA/ (a git worktree of its own and its build folder, both reused
# by later runs) and the work tree in build/ (or $BUILD), each with its own talumen-render and
# the data its own talumen-data makes, then runs the two one after the other, taking turns
# (ABBA...), so that both meet the same load: REPEATS times (default 3) `talumen-render --bench
# $BENCH_ARGS` (default "--fps 10 --level 2.9"), and in each repetition $STILLS (default 3)
# stills `talumen-render --at $STILL_AT x.png` (default 0). It prints the medians and the ratio
# work tree / REV of each: a scene's median frame, the still's wall time from start to written
# file, the peak resident memory and the page faults (minor and major, from /usr/bin/time) of a
# still and of the bench, and the bench's processor time (all threads, user and kernel).
# Timings follow the machine's load, printed before and after; page faults do not drift, and
# processor time drifts less than wall time. TOOL=talumen-render-gles compares the renderer that
# draws through our GL 1.1 layer instead. Needs git, cmake, ninja, awk and /usr/bin/time
# (Debian's `time`, which scripts/install-deps.sh --tests installs).
set -euo pipefail
cd "$(dirname "$0")/.."

rev=${1:?usage: scripts/bench-compare.sh REV [REPEATS]}
repeats=${2:-3}
bench_args=${BENCH_ARGS:---fps 10 --level 2.9}
stills=${STILLS:-3}
still_at=${STILL_AT:-0}
jobs=${JOBS:-$(nproc)}
build=${BUILD:-build}
tool=${TOOL:-talumen-render}
for needed in git cmake ninja awk /usr/bin/time; do
  command -v "$needed" >/dev/null || { echo "bench-compare.sh: $needed is missing (scripts/install-deps.sh --tests)" >&2; exit 1; }
done
sha=$(git rev-parse --verify --quiet "$rev^{commit}") || { echo "bench-compare.sh: no revision $rev" >&2; exit 2; }
base=build-compare/${sha:0:12}

# REV's tree and build, made once.
if [ ! -e "$base/src/.git" ]; then
  git worktree prune
  mkdir -p "$base"
  git worktree add --detach "$base/src" "$sha" >/dev/null
fi
[ -f "$base/build/CMakeCache.txt" ] ||
  cmake -S "$base/src" -B "$base/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTALUMEN_TESTS=OFF >/dev/null
if [ -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
else
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
# The data each build makes: the installable data where the build has that target, else made once here.
data_of() {
  if cmake --build "$1" -j "$jobs" --target talumen_install_data >/dev/null 2>&1; then
    echo "$1/data-to-install"
    return
  fi
  [ -f "$1/bench-data/talumen.ogg" ] || "$1/tools/talumen-data" "$1/bench-data" >/dev/null
  echo "$1/bench-data"
}
echo "building $rev (${sha:0:12}) in $base/build and the work tree in $build ..." >&2
cmake --build "$base/build" -j "$jobs" --target "$tool" talumen-data >/dev/null
cmake --build "$build" -j "$jobs" --target "$tool" talumen-data >/dev/null
a_tool=$base/build/tools/$tool
b_tool=$build/tools/$tool
a_data=$(data_of "$base/build")
b_data=$(data_of "$build")

out=$(mktemp -d)
trap '[ -n "${KEEP:-}" ] || rm -rf "$out"' EXIT
# One run of CMD under /usr/bin/time as side a or b of kind K: appends the wall ms, the peak
# resident KiB and the page faults to $out/SIDE.K.{wall,peak,faults}; the output is kept in $out/last.
measure() {
  local side=$1 kind=$2
  shift 2
  local started=$EPOCHREALTIME
  /usr/bin/time -f '%M %R %F %U %S' -o "$out/time" "$@" >"$out/last" 2>/dev/null ||
    { echo "bench-compare.sh: failed: $*" >&2; exit 1; }
  local ended=$EPOCHREALTIME
  awk -v a="$started" -v b="$ended" 'BEGIN { printf "%.1f\n", (b - a) * 1000 }' >>"$out/$side.$kind.wall"
  awk -v to="$out/$side.$kind" 'END { print $1 >> (to ".peak"); print $2 + $3 >> (to ".faults")
    print $4 + $5 >> (to ".cpu"); print $5 >> (to ".sys") }' "$out/time"
}
tool_of() { [ "$1" = a ] && echo "$a_tool" || echo "$b_tool"; }
data_for() { [ "$1" = a ] && echo "$a_data" || echo "$b_data"; }

load_before=$(cut -d' ' -f1-3 /proc/loadavg)
for ((r = 1; r <= repeats; ++r)); do
  if ((r % 2)); then order="a b"; else order="b a"; fi
  for side in $order; do
    echo "repetition $r of $repeats: --bench $bench_args, $([ "$side" = a ] && echo "$rev" || echo "work tree")" >&2
    # shellcheck disable=SC2086
    measure "$side" bench "$(tool_of "$side")" --bench $bench_args --data "$(data_for "$side")"
    # The table's rows: scene, frames, median, p95, max.
    awk -v side="$side" -v dir="$out" '
      /^scene / { rows = 1; next }
      rows && NF == 5 { print $3 >> (dir "/" side ".scene." $1) }' "$out/last"
    awk '/^scene / { rows = 1; next } rows && NF == 5 { print $1 }' "$out/last" >"$out/scenes.$side"
  done
  for ((s = 1; s <= stills; ++s)); do
    for side in $order; do
      measure "$side" still "$(tool_of "$side")" --at "$still_at" --data "$(data_for "$side")" "$out/still.png"
    done
  done
done
load_after=$(cut -d' ' -f1-3 /proc/loadavg)

median() { sort -g "$1" | awk '{ v[NR] = $1 } END { print NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
row() {  # LABEL FILE_A FILE_B DIVISOR FORMAT
  local a b
  a=$(median "$2")
  b=$(median "$3")
  awk -v l="$1" -v a="$a" -v b="$b" -v d="$4" -v f="$5" \
    'BEGIN { printf "%-28s " f " " f " %8s\n", l, a / d, b / d, (a > 0 ? sprintf("%.3f", b / a) : "-") }'
}
echo
echo "bench-compare: $rev (${sha:0:12}) against the work tree ($(git rev-parse --short HEAD)$(git diff --quiet HEAD || echo ' + changes')), $repeats repetitions taken in turn"
echo "  $tool --bench $bench_args; stills --at $still_at, $stills a repetition; medians of every run; ratio = work tree / $rev"
echo "  load average (1, 5, 15 min) before: $load_before, after: $load_after"
printf "%-28s %12s %12s %8s\n" "" "$rev" "work tree" "ratio"
for scene in $(cat "$out/scenes.a"); do
  [ -f "$out/b.scene.$scene" ] || continue
  row "bench $scene median ms" "$out/a.scene.$scene" "$out/b.scene.$scene" 1 "%12.2f"
done
row "still start-up ms" "$out/a.still.wall" "$out/b.still.wall" 1 "%12.1f"
row "still peak MiB" "$out/a.still.peak" "$out/b.still.peak" 1024 "%12.1f"
row "bench processor s" "$out/a.bench.cpu" "$out/b.bench.cpu" 1 "%12.1f"
row "  of it in the kernel s" "$out/a.bench.sys" "$out/b.bench.sys" 1 "%12.1f"
row "bench peak MiB" "$out/a.bench.peak" "$out/b.bench.peak" 1024 "%12.1f"
row "still page faults" "$out/a.still.faults" "$out/b.still.faults" 1 "%12d"
row "bench page faults" "$out/a.bench.faults" "$out/b.bench.faults" 1 "%12d"
