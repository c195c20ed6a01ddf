#!/usr/bin/env bash
# install-deps.sh -- installs every Debian 12 package the demo, its tools and its tests need
set -euo pipefail

packages=(
  # build
  build-essential cmake ninja-build pkg-config
  # the player and its libraries
  libsdl2-dev libgtk-3-dev libgl-dev libglu1-mesa-dev libegl-dev libegl1-mesa-dev libgl1-mesa-dri
  libvorbis-dev libswresample-dev libfftw3-dev libturbojpeg0-dev libcairo2-dev libpng-dev fonts-dejavu-core
  # the GL 1.1 layer over OpenGL ES 3, built natively for its tests
  libgles-dev
  # the offline renderer's video export
  ffmpeg
  # the Debian package (scripts/package.sh): dpkg-shlibdeps needs file
  dpkg-dev file
)
web=0
sources=0
# Windows (scripts/windows.sh): the MinGW-w64 compilers with posix threads, nasm for
# libjpeg-turbo's SIMD code, Wine to run the programs, and what their tests drive under Xvfb.
windows=(g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-tools nasm
  wine wine64 xvfb xdotool)
case "${1:-}" in
  --tests) web=1
    packages+=("${windows[@]}")
    packages+=(libgtest-dev libx11-dev libxfixes-dev xvfb xdotool xfonts-base imagemagick clang libclang-rt-14-dev libjpeg-dev
      desktop-file-utils)
    # scripts/bench-compare.sh: peak memory, page faults and processor time of each run
    packages+=(time)
    # the package installed on a bare Debian 12 (tests/bare_system_test.sh)
    packages+=(debootstrap)
    # the web build's browser tests: Chromium, Firefox ESR and WebKitGTK (its WebDriver and
    # MiniBrowser) driven from Node, PulseAudio for a sound output of the tests' own, and ffmpeg's
    # ffprobe (in ffmpeg, above) to read the page's saved videos
    packages+=(chromium firefox-esr webkit2gtk-driver pulseaudio nodejs) ;;
  --web) web=1 ;;
  --windows) sources=1
    packages+=("${windows[@]}") ;;
esac
# the web build: Emscripten, Python's web server, and apt-get source for the libraries' sources
[ "$web" = 1 ] && packages+=(emscripten python3) && sources=1
# and npm, which installs the page's own packages (the muxer of its video export) and the browser
# tests' (some Node packages bring their own npm and conflict with Debian's)
if [ "$web" = 1 ] && ! command -v npm >/dev/null; then packages+=(npm); fi

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
# The web and Windows builds compile Debian's own sources of their libraries (libogg, libvorbis,
# libjpeg-turbo, ffmpeg's libswresample, SDL2, FFTW, ...), which apt-get source fetches only
# with deb-src among the sources' types.
list=/etc/apt/sources.list.d/debian.sources
if [ "$sources" = 1 ] && [ -f "$list" ] && grep -q '^Types: deb$' "$list"; then
  $sudo sed -i 's/^Types: deb$/Types: deb deb-src/' "$list"
  $sudo apt-get update -q
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "installing: ${missing[*]}" >&2
$sudo apt-get update -q
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q "${missing[@]}"
