#!/usr/bin/env bash
# bare_system_test.sh -- installs the package with apt on a minimal Debian 12 that holds nothing else,
# and runs its three programs there on an X server of the host's: the player from its desktop entry's
# folder through the dialog to a picture and out by Escape, a still, and the data tool's pictures.
# Usage: tests/bare_system_test.sh BUILD_DIR (holding package-test/talumen_*.deb, as package_test.sh leaves it)
#
# The minimal system (debootstrap --variant=minbase, from the package sources this machine uses) and
# the packages apt fetches for it are kept in BUILD_DIR/bare-debian12, so a rerun only installs. Each
# run installs into a throwaway layer over that system, in a mount namespace of its own, so nothing
# of a run is left mounted or written into the kept system. Exits 77 (skipped) where it cannot run.
set -euo pipefail
build=$(cd "${1:?build dir}" && pwd)
debs=("$build"/package-test/talumen_*.deb)
[ -f "${debs[0]}" ] || { echo "FAIL: no package in $build/package-test (package_test.sh makes it)"; exit 1; }
deb=${debs[0]}
skip() { echo "SKIPPED: $*"; exit 77; }

# Started again inside a mount namespace of its own: every mount goes with the last process in it.
if [ "${TALUMEN_BARE_INSIDE:-}" != 1 ]; then
  [ "$(id -u)" -eq 0 ] || skip "needs root for debootstrap, chroot and mounts"
  for tool in debootstrap unshare Xvfb xdotool /usr/bin/import /usr/bin/convert; do
    command -v "$tool" >/dev/null || skip "$tool is not installed (scripts/install-deps.sh --tests installs it)"
  done
  unshare -m true 2>/dev/null || skip "cannot make a mount namespace here"
  TALUMEN_BARE_INSIDE=1 exec unshare -m --propagation private bash "$0" "$@"
fi

cache=$build/bare-debian12
mkdir -p "$cache/archives"
log=$cache/log
: >"$log"
say() { echo "bare system: $*"; }
now() { date +%s%N; }
since() { awk -v t="$(($(now) - $1))" 'BEGIN { printf "%.1f", t / 1e9 }'; }

# The host's Debian 12 sources, binary packages only: stanzas (or one-line entries) of bookworm and its
# updates and security suites. The system is made from the first one's mirror.
debianSources() {
  local file
  for file in /etc/apt/sources.list.d/*.sources; do
    [ -f "$file" ] || continue
    awk 'BEGIN { RS = ""; ORS = "\n\n" }
         /(^|\n)Suites:[^\n]*[ \t]bookworm(-updates|-security)?([ \t\n]|$)/ && !/(^|\n)Enabled:[ \t]*no/ {
           sub(/Types:[^\n]*/, "Types: deb"); print }' "$file"
  done
}
debianLines() {
  cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null |
    grep -E '^deb[[:space:]]+(\[[^]]*\][[:space:]]+)?[^[:space:]]+[[:space:]]+bookworm(-updates|-security)?[[:space:]]' || true
}
sources=$(debianSources)
lines=$(debianLines)
mirror=$( (echo "$sources" | awk 'BEGIN { RS = "" } /(^|\n)Suites:[^\n]*[ \t]bookworm([ \t\n]|$)/ {
            if (match($0, /URIs:[ \t]*[^ \t\n]+/)) { split(substr($0, RSTART, RLENGTH), u, /[ \t]+/); print u[2]; exit } }'
          echo "$lines" | awk '/[ \t]bookworm[ \t]/ { for (i = 2; i <= NF; ++i) if ($i ~ /:\/\//) { print $i; exit } }') |
        head -1)
[ -n "$mirror" ] || skip "no Debian 12 (bookworm) package source in /etc/apt"
/usr/lib/apt/apt-helper download-file "${mirror%/}/dists/bookworm/Release" "$cache/Release" >>"$log" 2>&1 ||
  skip "cannot reach the package sources ($mirror)"

base=$cache/base
started=$(now)
if [ ! -f "$base/.complete" ]; then
  rm -rf "$base" "$base.part"
  debootstrap --variant=minbase bookworm "$base.part" "$mirror" >>"$log" 2>&1 || { tail -20 "$log"; echo "FAIL: debootstrap"; exit 1; }
  # apt reads what the host reads: the same suites from the same mirrors.
  rm -f "$base.part/etc/apt/sources.list"
  [ -z "$sources" ] || echo "$sources" >"$base.part/etc/apt/sources.list.d/debian.sources"
  [ -z "$lines" ] || echo "$lines" >"$base.part/etc/apt/sources.list"
  # A throwaway system need not be synced to disk file by file as dpkg unpacks.
  echo force-unsafe-io >"$base.part/etc/dpkg/dpkg.cfg.d/unsafe-io"
  # Nothing installed there may start a service.
  printf '#!/bin/sh\nexit 101\n' >"$base.part/usr/sbin/policy-rc.d"
  chmod +x "$base.part/usr/sbin/policy-rc.d"
  touch "$base.part/.complete"
  mv "$base.part" "$base"
  say "made a minimal Debian 12 from $mirror in $(since "$started") s ($(du -sm "$base" | cut -f1) MB, kept in $base)"
fi

# A layer over the kept system for this run alone. Only what is under no mount is ever removed.
run=$cache/run
root=$run/root
removeRun() { ! mountpoint -q "$root" && rm -rf "$run/upper" "$run/work" && rm -rf "$run"; }
removeRun || { echo "FAIL: $root is still mounted"; exit 1; }
mkdir -p "$run"/{upper,work,root}
xvfb=0
player=0
finish() {
  [ "$player" = 0 ] || kill -9 "$player" 2>/dev/null || true
  [ "$xvfb" = 0 ] || kill "$xvfb" 2>/dev/null || true
  wait 2>/dev/null || true
  umount -R "$root" 2>/dev/null || true
  removeRun || true
}
trap finish EXIT
mount -t overlay overlay -o "lowerdir=$base,upperdir=$run/upper,workdir=$run/work" "$root" ||
  skip "cannot mount an overlay over the kept system"
mount -t proc proc "$root/proc"
mount --rbind /dev "$root/dev"
mount --bind "$cache/archives" "$root/var/cache/apt/archives"
cat /etc/resolv.conf >"$root/etc/resolv.conf"
cp "$deb" "$root/tmp/"
# Each program inside goes with this script, however it ends.
inside() { setpriv --pdeathsig KILL chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 "$@"; }

started=$(now)
inside apt-get update -q >>"$log" 2>&1 || { tail -20 "$log"; echo "FAIL: apt-get update"; exit 1; }
inside env DEBIAN_FRONTEND=noninteractive apt-get install -y -q "/tmp/$(basename "$deb")" >"$run/apt.log" 2>&1 ||
  { cat "$run/apt.log" >>"$log"; tail -20 "$run/apt.log"; echo "FAIL: apt-get install"; exit 1; }
pulled=$(sed -n 's/.* \([0-9]*\) newly installed.*/\1/p' "$run/apt.log")
say "apt installed the package and $((pulled - 1)) others in $(since "$started") s"

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# The host's X server, its socket reachable inside; at the mode the dialog picks first.
mkdir -p "$root/tmp/.X11-unix"
setpriv --pdeathsig KILL Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$run/display" 2>>"$log" &
xvfb=$!
for _ in $(seq 150); do grep -q . "$run/display" && break; sleep 0.1; done
number=$(cat "$run/display")
[ -n "$number" ] || { echo "FAIL: Xvfb did not start"; exit 1; }
mount --bind /tmp/.X11-unix "$root/tmp/.X11-unix"
export DISPLAY=:$number
litShare() { /usr/bin/convert "$1" -colorspace gray -threshold 10% -format '%[fx:mean]' info:; }

# The player, started in the folder its desktop entry names, as the menu starts it.
started=$(now)
folder=$(sed -n 's/^Path=//p' "$root/usr/share/applications/talumen.desktop")
inside env DISPLAY="$DISPLAY" SDL_AUDIODRIVER=dummy NO_AT_BRIDGE=1 sh -c "cd '$folder' && exec talumen" >"$run/player.out" 2>&1 &
player=$!
if dialog=$(timeout 40 xdotool search --sync --onlyvisible --name '^norvi$' 2>/dev/null | head -1) && [ -n "$dialog" ]; then
  eval "$(xdotool getwindowgeometry --shell "$dialog")"
  # With no window manager the keyboard follows the pointer.
  xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2))
  sleep 0.3
  xdotool key Return
  shown=0
  for _ in $(seq 60); do
    sleep 1
    /usr/bin/import -window root "$run/screen.png" 2>/dev/null || continue
    if awk -v lit="$(litShare "$run/screen.png")" 'BEGIN { exit !(lit > 0.05) }'; then shown=1; break; fi
    kill -0 "$player" 2>/dev/null || break
  done
  if [ "$shown" = 1 ]; then
    cp "$run/screen.png" "$cache/player.png"
    xdotool key Escape
  else
    fail "the player showed no picture (the last screen is $cache/player.png)"
    cp "$run/screen.png" "$cache/player.png" 2>/dev/null || true
  fi
else
  fail "the player showed no setup dialog"
fi
for _ in $(seq 200); do kill -0 "$player" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$player" 2>/dev/null; then
  fail "the player did not end"
else
  code=0
  wait "$player" || code=$?
  [ "$code" = 0 ] || fail "the player exited with $code"
fi
player=0
[ ! -s "$run/player.out" ] || fail "the player said: $(head -5 "$run/player.out")"
say "the player played from $folder in $(since "$started") s"

# A still from an unrelated folder: the same bytes as the build tree's.
started=$(now)
if inside sh -c 'mkdir /tmp/still && cd /tmp/still && exec talumen-render --fps 2 --at 1500 still.png' 2>"$run/render.err"; then
  (cd "$run" && "$build/tools/talumen-render" --data "$build/data-to-install" --fps 2 --at 1500 built.png 2>/dev/null) ||
    fail "the build tree's talumen-render failed"
  cmp -s "$root/tmp/still/still.png" "$run/built.png" || fail "the still differs from the build tree's"
  [ ! -s "$run/render.err" ] || fail "talumen-render said: $(head -3 "$run/render.err")"
else
  fail "talumen-render failed: $(head -3 "$run/render.err")"
fi
say "talumen-render drew a still in $(since "$started") s"

# The data tool draws the icons the package holds and the dialog's lettered picture as the build
# did, byte for byte: its libraries and fonts are all there.
started=$(now)
if inside sh -c 'talumen-data --icon /tmp/icons && talumen-data --dialog-picture /tmp/dialog.png' 2>"$run/data.err"; then
  for icon in "$root"/usr/share/icons/hicolor/*/apps/talumen.*; do
    name=${icon#"$root/usr/share/icons/hicolor/"}
    cmp -s "$icon" "$root/tmp/icons/$name" || fail "talumen-data drew $name otherwise than the package holds it"
  done
  cmp -s "$root/tmp/dialog.png" "$build/resources/dialog.png" || fail "talumen-data drew the dialog picture otherwise"
else
  fail "talumen-data failed: $(head -3 "$run/data.err")"
fi
say "talumen-data drew its pictures in $(since "$started") s"

[ "$failures" -eq 0 ] || exit 1
echo "bare system: $(basename "$deb") installed with $pulled packages and every program ran"
