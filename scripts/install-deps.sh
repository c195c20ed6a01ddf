#!/usr/bin/env bash
# install-deps.sh -- installs every Debian 12 package the demo, its tools and its tests need
set -euo pipefail

packages=(
  # build
  build-essential cmake ninja-build pkg-config
  # the player and its libraries
  libsdl2-dev libgtk-3-dev libgl-dev libglu1-mesa-dev libegl-dev libegl1-mesa-dev libgl1-mesa-dri
  libvorbis-dev libfftw3-dev libturbojpeg0-dev libcairo2-dev fonts-dejavu-core
  # the GL 1.1 layer over OpenGL ES 3, built natively for its tests
  libgles-dev
  # the offline renderer's video export
  ffmpeg
)
if [ "${1:-}" = "--tests" ]; then
  packages+=(libgtest-dev libx11-dev xvfb xdotool xfonts-base imagemagick clang libclang-rt-14-dev libjpeg-dev)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
echo "installing: ${missing[*]}" >&2
$sudo apt-get update -q
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q "${missing[@]}"
