#!/usr/bin/env bash
# package_test.sh -- packs a build with CPack and checks the Debian package: its metadata, exactly
# its files, the desktop entry and icons. The package is left in BUILD_DIR/package-test for
# bare_system_test.sh, which installs it and runs its programs.
# Usage: tests/package_test.sh BUILD_DIR (built, data included)
set -euo pipefail
build=$(cd "${1:?build dir}" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

rm -rf "$build/package-test"
(cd "$build" && cpack -G DEB -B "$build/package-test" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log" >&2; echo "FAIL: cpack" >&2; exit 1; }
debs=("$build"/package-test/*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || { echo "FAIL: not one package: ${debs[*]}" >&2; exit 1; }
deb=${debs[0]}
field() { dpkg-deb -f "$deb" "$1"; }

# Metadata: the name Debian tools expect, a maintainer, a description with a long part, and the
# libraries the programs link found by dpkg-shlibdeps, and what they open by name at run time.
[ "$(basename "$deb")" = "talumen_$(field Version)_$(dpkg --print-architecture).deb" ] || fail "file name $(basename "$deb")"
[ "$(field Package)" = talumen ] || fail "Package: $(field Package)"
[[ "$(field Maintainer)" =~ ^[^\<]+\ \<[^@\>]+@[^\>]+\>$ ]] || fail "Maintainer: $(field Maintainer)"
[ "$(field Description | wc -l)" -ge 3 ] || fail "Description has no long part"
depends=$(field Depends)
for library in libc6 libsdl2-2.0-0 libgtk-3-0 libvorbisfile3 libswresample4 libturbojpeg0 libfftw3-single3 libcairo2 libglu1-mesa libgl1 libgl1-mesa-dri; do
  [[ ", $depends," == *", $library"[\ ,]* ]] || fail "Depends lacks $library: $depends"
done

# Exactly these files: the three programs, the desktop entry, the icons and the demo's data.
icons=./usr/share/icons/hicolor
expected=$(printf '%s\n' ./usr/bin/talumen ./usr/bin/talumen-data ./usr/bin/talumen-render \
  ./usr/share/applications/talumen.desktop $icons/{16x16,24x24,32x32,48x48,256x256}/apps/talumen.png \
  $icons/scalable/apps/talumen.svg \
  ./usr/share/talumen/data/{norvi,talumen,farewell,2a,2b,4a,4b,4c,adieu,3a,3b,7c,6a,forever,1b,goaway,credits}.jpg \
  ./usr/share/talumen/data/{star1,tunnel,cube,city,island,tree}.obj ./usr/share/talumen/data/talumen.ogg | sort)
actual=$(dpkg-deb -c "$deb" | awk '$1 ~ /^-/ {print $6}' | sort)
[ "$actual" = "$expected" ] || fail "files differ:$(diff <(echo "$expected") <(echo "$actual") | grep '^[<>]' | tr '\n' ' ')"

dpkg-deb -x "$deb" "$work/root"
usr=$work/root/usr
desktop-file-validate "$usr/share/applications/talumen.desktop" || fail "the desktop entry does not validate"
[ "$(sed -n 's/^Exec=//p' "$usr/share/applications/talumen.desktop")" = talumen ] || fail "the desktop entry does not start talumen"
[ "$(sed -n 's/^Path=//p' "$usr/share/applications/talumen.desktop")" = /usr/share/talumen ] || fail "the desktop entry does not start in the data's folder"
for size in 16 24 32 48 256; do
  file "$usr/share/icons/hicolor/${size}x$size/apps/talumen.png" | grep -q "PNG image data, $size x $size" ||
    fail "the ${size}x$size icon is not a $size x $size PNG"
done
file "$usr/share/icons/hicolor/scalable/apps/talumen.svg" | grep -q 'SVG' || fail "the scalable icon is not an SVG"

[ "$failures" -eq 0 ] || exit 1
echo "package $(basename "$deb"): $(du -k "$deb" | cut -f1) KiB, every check passed"
