#!/usr/bin/env bash
# web-libs.sh -- builds libogg, libvorbis, libjpeg-turbo and libswresample for WebAssembly from Debian's sources
# Usage: scripts/web-libs.sh DIR
# The sources are Debian's own (apt-get source, the versions the native build links), so the web
# build decodes the same bytes to the same samples and pixels. The result is DIR/prefix
# (include/ and lib/); a finished part is left alone, so the web build can call this every time.
set -euo pipefail
dir=$(mkdir -p "$1" && cd "$1" && pwd)
prefix=$dir/prefix
stamp=$prefix/.built-1                 # libogg, libvorbis, libjpeg-turbo
converterStamp=$prefix/.swresample-1   # libswresample and libavutil
[ -f "$stamp" ] && [ -f "$converterStamp" ] && exit 0
export NODE_PATH=${NODE_PATH:-/usr/share/nodejs}
jobs=$(nproc)
src=$dir/src
mkdir -p "$src" "$prefix/include" "$prefix/lib"

# Unpacks Debian's source of $1 into $src/$1 (skipped when already there).
fetch() {
  local name=$1
  [ -d "$src/$name" ] && return 0
  local tmp=$src/.fetch-$name
  rm -rf "$tmp" && mkdir -p "$tmp"
  if ! (cd "$tmp" && apt-get source -q "$name" >/dev/null 2>"$tmp.log"); then
    cat "$tmp.log" >&2
    echo "web-libs.sh: apt-get source $name failed; deb-src must be on the Types: line of" \
      "/etc/apt/sources.list.d/debian.sources (scripts/install-deps.sh --web sets it)" >&2
    exit 1
  fi
  local unpacked
  unpacked=$(find "$tmp" -mindepth 1 -maxdepth 1 -type d | head -n 1)
  mv "$unpacked" "$src/$name"
  rm -rf "$tmp" "$tmp.log"
}

# Compiles the C files given after $1 (an archive name) and archives them.
archive() {
  local lib=$1 objs=$dir/obj/$1
  shift
  mkdir -p "$objs"
  printf '%s\n' "$@" | xargs -P "$jobs" -I{} sh -c \
    'emcc -O2 -w $CFLAGS -c "$1" -o "$2/$(basename "$1" .c).o"' _ {} "$objs"
  rm -f "$prefix/lib/$lib"
  emar rcs "$prefix/lib/$lib" "$objs"/*.o
}

# libswresample, which converts a chained track's streams to the first one's layout, and the
# part of libavutil it needs, from Debian's ffmpeg: configured for wasm with nothing else in it,
# no assembly and no threads. The configure script tries the compiler a few hundred times, which
# takes a few minutes with emcc.
if [ ! -f "$converterStamp" ]; then
  fetch ffmpeg
  rm -rf "$dir/ffmpeg-build" && mkdir -p "$dir/ffmpeg-build"
  if ! (cd "$dir/ffmpeg-build" && "$src/ffmpeg/configure" --prefix="$prefix" --enable-cross-compile \
      --target-os=none --arch=x86_32 --cpu=generic --cc=emcc --cxx=em++ --ar=emar --ranlib=emranlib --nm=emnm \
      --disable-asm --disable-inline-asm --disable-x86asm --disable-runtime-cpudetect --disable-autodetect \
      --disable-pthreads --disable-w32threads --disable-os2threads --disable-network --disable-debug \
      --disable-stripping --disable-programs --disable-doc --disable-everything --disable-avdevice \
      --disable-avcodec --disable-avformat --disable-avfilter --disable-swscale --disable-postproc \
      --enable-swresample --enable-static --disable-shared >"$dir/ffmpeg-build.log" 2>&1 &&
      make -j "$jobs" install >>"$dir/ffmpeg-build.log" 2>&1); then
    tail -n 30 "$dir/ffmpeg-build.log" >&2
    echo "web-libs.sh: building libswresample failed; $dir/ffmpeg-build.log has the whole log" >&2
    exit 1
  fi
  touch "$converterStamp"
fi
[ -f "$stamp" ] && exit 0

fetch libogg
mkdir -p "$prefix/include/ogg"
cp "$src/libogg/include/ogg/ogg.h" "$src/libogg/include/ogg/os_types.h" "$prefix/include/ogg/"
cat > "$prefix/include/ogg/config_types.h" <<'EOF'
#ifndef __CONFIG_TYPES_H__
#define __CONFIG_TYPES_H__
#include <stdint.h>
typedef int16_t ogg_int16_t;
typedef uint16_t ogg_uint16_t;
typedef int32_t ogg_int32_t;
typedef uint32_t ogg_uint32_t;
typedef int64_t ogg_int64_t;
typedef uint64_t ogg_uint64_t;
#endif
EOF
CFLAGS="-I$prefix/include" archive libogg.a "$src/libogg/src/bitwise.c" "$src/libogg/src/framing.c"

fetch libvorbis
mkdir -p "$prefix/include/vorbis"
cp "$src/libvorbis/include/vorbis/codec.h" "$src/libvorbis/include/vorbis/vorbisfile.h" "$prefix/include/vorbis/"
vorbis=()
for f in mdct smallft block envelope window lsp lpc analysis synthesis psy info floor1 floor0 res0 \
  mapping0 registry codebook sharedbook lookup bitrate; do
  vorbis+=("$src/libvorbis/lib/$f.c")
done
CFLAGS="-I$prefix/include -I$src/libvorbis/include -I$src/libvorbis/lib" archive libvorbis.a "${vorbis[@]}"
CFLAGS="-I$prefix/include" archive libvorbisfile.a "$src/libvorbis/lib/vorbisfile.c"

# libjpeg-turbo without its SIMD code, which WebAssembly cannot run; its plain C paths give the
# same pixels for the decoder settings we use.
fetch libjpeg-turbo
# The type size checks misread their wasm test programs, so the answers (wasm32) are given.
emcmake cmake -S "$src/libjpeg-turbo" -B "$dir/jpeg-build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DWITH_SIMD=0 -DENABLE_SHARED=0 -DHAVE_SIZE_T=TRUE -DSIZE_T=4 -DHAVE_UNSIGNED_LONG=TRUE -DUNSIGNED_LONG=4 -DWITH_TURBOJPEG=1 -DWITH_JAVA=0 -DCMAKE_INSTALL_PREFIX="$prefix" >/dev/null
cmake --build "$dir/jpeg-build" -j "$jobs" --target turbojpeg-static >/dev/null
cp "$dir/jpeg-build/libturbojpeg.a" "$prefix/lib/"
cp "$src/libjpeg-turbo/turbojpeg.h" "$prefix/include/"

touch "$stamp"
