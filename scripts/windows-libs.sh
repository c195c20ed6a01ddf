#!/usr/bin/env bash
# windows-libs.sh -- builds the libraries of the Windows programs from Debian's sources with MinGW-w64
# Usage: scripts/windows-libs.sh DIR
# SDL2, libogg, libvorbis, libjpeg-turbo, FFTW (single precision), zlib, libpng and ffmpeg's
# libswresample (with the part of libavutil it needs), the versions
# the native build links (apt-get source), built as static libraries with the posix flavour of
# Debian's MinGW-w64 into DIR/prefix (include/ and lib/), each library's licence notices into
# DIR/prefix/licences/NAME/. A finished part is left alone (a stamp file each), so the programs'
# build can call this every time.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=$(mkdir -p "$1" && cd "$1" && pwd)
prefix=$dir/prefix
stamp=$prefix/.built-1                 # everything but the converter
converterStamp=$prefix/.swresample-1   # libswresample and libavutil
[ -f "$stamp" ] && [ -f "$converterStamp" ] && exit 0
jobs=${TALUMEN_JOBS:-$(nproc)}
src=$dir/src
host=x86_64-w64-mingw32
toolchain=$root/platform/win32/mingw-w64.cmake
export TALUMEN_WINDOWS_LIBS=$prefix
export CC=$host-gcc-posix AR=$host-gcc-ar-posix RANLIB=$host-gcc-ranlib-posix
flags="-O2 -g0"
if [ ! -f "$stamp" ]; then
  rm -rf "$prefix"
fi
mkdir -p "$src" "$prefix/include" "$prefix/lib" "$prefix/licences"
start=$SECONDS

# Unpacks Debian's source of $1 into $src/$1 (skipped when already there): the version of the
# installed binary package $2 where the archive has it, otherwise the newest it has (a mirror
# may lack the newest security update's source).
fetch() {
  local name=$1 binary=$2 version fetched=0
  [ -d "$src/$name" ] && return 0
  local tmp=$src/.fetch-$name
  for version in $(dpkg-query -W -f='${source:Version}' "$binary" 2>/dev/null || true) \
      $(apt-cache showsrc "$name" 2>/dev/null | sed -n 's/^Version: //p' | sort -r -V -u); do
    rm -rf "$tmp" && mkdir -p "$tmp"
    if (cd "$tmp" && apt-get source -q "$name=$version" >/dev/null 2>>"$tmp.log"); then
      fetched=1
      break
    fi
  done
  if [ "$fetched" = 0 ]; then
    cat "$tmp.log" >&2
    echo "windows-libs.sh: apt-get source $name failed; deb-src must be on the Types: line of" \
      "/etc/apt/sources.list.d/debian.sources (scripts/install-deps.sh --windows sets it)" >&2
    exit 1
  fi
  local unpacked
  unpacked=$(find "$tmp" -mindepth 1 -maxdepth 1 -type d | head -n 1)
  # Which Debian version it was, for the licence notices.
  (cd "$tmp" && ls ./*.dsc) | sed 's/^\.\///; s/\.dsc$//' > "$unpacked/.debian-source"
  mv "$unpacked" "$src/$name"
  rm -rf "$tmp" "$tmp.log"
}

# Keeps a library's licence notices (the files named after $2...) with the Debian source it
# was built from.
licence() {
  local name=$1
  shift
  mkdir -p "$prefix/licences/$name"
  for file in "$@"; do cp "$src/$name/$file" "$prefix/licences/$name/"; done
  cp "$src/$name/debian/copyright" "$prefix/licences/$name/debian-copyright"
  echo "Built from Debian 12's source package $(cat "$src/$name/.debian-source")." > "$prefix/licences/$name/SOURCE"
}

# Compiles the C files given after $1 (an archive name) with $CFLAGS and archives them.
archive() {
  local lib=$1 objs=$dir/obj/$1
  shift
  rm -rf "$objs" && mkdir -p "$objs"
  printf '%s\n' "$@" | xargs -P "$jobs" -I{} sh -c \
    '$CC '"$flags"' -w $CFLAGS -c "$1" -o "$2/$(basename "$1" .c).o"' _ {} "$objs"
  rm -f "$prefix/lib/$lib"
  $AR rcs "$prefix/lib/$lib" "$objs"/*.o
}

# Configures a CMake project from $src/$1 with the options after $2 and builds its target $2.
cmake_library() {
  local name=$1 target=$2
  shift 2
  rm -rf "$dir/build/$name" && mkdir -p "$dir/build"
  cmake -S "$src/$name" -B "$dir/build/$name" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_FLAGS_RELEASE="$flags -DNDEBUG" -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DCMAKE_POLICY_DEFAULT_CMP0074=NEW "$@" >"$dir/build/$name.log" 2>&1 ||
    { tail -n 30 "$dir/build/$name.log" >&2; exit 1; }
  cmake --build "$dir/build/$name" -j "$jobs" --target "$target" >>"$dir/build/$name.log" 2>&1 ||
    { tail -n 30 "$dir/build/$name.log" >&2; exit 1; }
}

# libswresample, which converts a chained track's streams to the first one's layout, and the
# part of libavutil it needs, from Debian's ffmpeg, with nothing else in it.
if [ ! -f "$converterStamp" ]; then
  fetch ffmpeg libswresample4
  rm -rf "$dir/build/ffmpeg" && mkdir -p "$dir/build/ffmpeg"
  if ! (cd "$dir/build/ffmpeg" && "$src/ffmpeg/configure" --prefix="$prefix" --enable-cross-compile \
      --target-os=mingw32 --arch=x86_64 --cross-prefix=$host- --cc="$CC" --ar="$AR" --ranlib="$RANLIB" \
      --disable-asm --disable-autodetect --disable-network --disable-debug --disable-programs --disable-doc \
      --disable-everything --disable-avdevice --disable-avcodec --disable-avformat --disable-avfilter \
      --disable-swscale --disable-postproc --enable-swresample --enable-static --disable-shared \
      >"$dir/build/ffmpeg.log" 2>&1 && make -j "$jobs" install >>"$dir/build/ffmpeg.log" 2>&1); then
    tail -n 30 "$dir/build/ffmpeg.log" >&2
    echo "windows-libs.sh: building libswresample failed; $dir/build/ffmpeg.log has the whole log" >&2
    exit 1
  fi
  licence ffmpeg COPYING.LGPLv2.1 LICENSE.md
  touch "$converterStamp"
  echo "windows-libs.sh: libswresample built in $((SECONDS - start)) s" >&2
fi
[ -f "$stamp" ] && exit 0

fetch zlib zlib1g
fetch libpng1.6 libpng16-16
fetch libogg libogg0
fetch libvorbis libvorbis0a
fetch libjpeg-turbo libturbojpeg0
fetch fftw3 libfftw3-single3
fetch libsdl2 libsdl2-2.0-0
echo "windows-libs.sh: sources fetched in $((SECONDS - start)) s" >&2

files() { local base=$1; shift; for f in "$@"; do echo "$base/$f.c"; done; }

# zlib, for libpng.
cp "$src/zlib/zlib.h" "$src/zlib/zconf.h" "$prefix/include/"
# shellcheck disable=SC2046
CFLAGS="" archive libz.a $(files "$src/zlib" adler32 compress crc32 deflate gzclose gzlib gzread gzwrite infback \
  inffast inflate inftrees trees uncompr zutil)
licence zlib README

# libpng, with the configuration its sources ship prebuilt.
cp "$src/libpng1.6/scripts/pnglibconf.h.prebuilt" "$src/libpng1.6/pnglibconf.h"
cp "$src/libpng1.6/png.h" "$src/libpng1.6/pngconf.h" "$src/libpng1.6/pnglibconf.h" "$prefix/include/"
# shellcheck disable=SC2046
CFLAGS="-I$prefix/include -DPNG_INTEL_SSE_OPT=0" archive libpng.a $(files "$src/libpng1.6" png pngerror pngget \
  pngmem pngpread pngread pngrio pngrtran pngrutil pngset pngtrans pngwio pngwrite pngwtran pngwutil)
licence libpng1.6 LICENSE

# libogg and libvorbis, as the web build compiles them.
mkdir -p "$prefix/include/ogg" "$prefix/include/vorbis"
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
# shellcheck disable=SC2046
CFLAGS="-I$prefix/include" archive libogg.a $(files "$src/libogg/src" bitwise framing)
licence libogg COPYING
cp "$src/libvorbis/include/vorbis/codec.h" "$src/libvorbis/include/vorbis/vorbisfile.h" "$prefix/include/vorbis/"
# shellcheck disable=SC2046
CFLAGS="-I$prefix/include -I$src/libvorbis/include -I$src/libvorbis/lib" archive libvorbis.a \
  $(files "$src/libvorbis/lib" mdct smallft block envelope window lsp lpc analysis synthesis psy info floor1 floor0 \
    res0 mapping0 registry codebook sharedbook lookup bitrate)
CFLAGS="-I$prefix/include" archive libvorbisfile.a "$src/libvorbis/lib/vorbisfile.c"
licence libvorbis COPYING
echo "windows-libs.sh: zlib, libpng, libogg and libvorbis built in $((SECONDS - start)) s" >&2

# libjpeg-turbo's TurboJPEG library with its SIMD code (nasm), as Debian builds it.
cmake_library libjpeg-turbo turbojpeg-static -DENABLE_SHARED=OFF -DWITH_TURBOJPEG=ON -DWITH_JAVA=OFF \
  -DWITH_SIMD=ON -DCMAKE_ASM_NASM_COMPILER=nasm
cp "$dir/build/libjpeg-turbo/libturbojpeg.a" "$prefix/lib/"
cp "$src/libjpeg-turbo/turbojpeg.h" "$prefix/include/"
licence libjpeg-turbo LICENSE.md README.ijg
echo "windows-libs.sh: libjpeg-turbo built in $((SECONDS - start)) s" >&2

# FFTW in single precision, with the SSE2 and AVX codelets Debian's build has, and its own
# aligned allocator, which it asks for on Windows.
cmake_library fftw3 install -DCMAKE_C_FLAGS=-DWITH_OUR_MALLOC -DBUILD_SHARED_LIBS=OFF -DBUILD_TESTS=OFF -DENABLE_FLOAT=ON -DENABLE_SSE=ON -DENABLE_SSE2=ON \
  -DENABLE_AVX=ON -DENABLE_THREADS=OFF -DDISABLE_FORTRAN=ON
licence fftw3 COPYING COPYRIGHT
echo "windows-libs.sh: FFTW built in $((SECONDS - start)) s" >&2

# SDL2 as a static library: window, input and sound through Windows' own interfaces.
cmake_library libsdl2 install -DSDL_SHARED=OFF -DSDL_STATIC=ON -DSDL_TEST=OFF -DSDL2_DISABLE_SDL2MAIN=ON
licence libsdl2 LICENSE.txt
echo "windows-libs.sh: SDL2 built in $((SECONDS - start)) s" >&2

touch "$stamp"
