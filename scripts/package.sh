#!/usr/bin/env bash
# make package: the two things handed out, from release builds of their own.
#   tarvo_6-VERSION-windows-x86_64.zip  a folder with tarvo_6.exe (the
#                                       window), tarvo_6.com (the same for
#                                       the console), qv.bmp, ru/tarvo_6.mo
#                                       and a read-me: unpack and double-click
#                                       tarvo_6.exe
#   tarvo_6_VERSION_amd64.deb           the program, logo and catalog under
#                                       /usr/lib/tarvo_6, the tarvo_6 command
#                                       and a desktop entry that run it in the
#                                       user's ~/.local/share/tarvo_6
# Both land in OUT (default: the repository's top folder). Arguments choose
# one: `scripts/package.sh deb`.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$(pwd)
OUT=${OUT:-$ROOT}
JOBS=${JOBS:-2}

WHAT=${*:-zip deb}

VERSION=$(sed -n 's/^project(tarvo_6 VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ -n "$VERSION" ] || { echo "no VERSION in CMakeLists.txt's project()" >&2; exit 1; }
STAGE=$(mktemp -d)
trap 'rm -rf "$STAGE"' EXIT

make_zip() {
scripts/ensure-deps-windows.sh
scripts/ensure-deps.sh zip unzip file
FLTK_PREFIX=$(scripts/fltk-windows.sh)
echo "== Windows: build-package-windows"
cmake -S . -B build-package-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DFLTK_DIR="$FLTK_PREFIX/CMake" >/dev/null
cmake --build build-package-windows -j"$JOBS" \
  --target tarvo_6 tarvo_6_console tarvo_6_catalog tarvo_6_logo
[ -f build-package-windows/tarvo_6.exe ] ||
  { echo "no tarvo_6.exe: FLTK was not found in $FLTK_PREFIX" >&2; exit 1; }
folder=$STAGE/windows/tarvo_6-$VERSION
cmake --install build-package-windows --prefix "$folder" --strip >/dev/null
sed "s/@VERSION@/$VERSION/" assets/README-windows.txt | sed 's/$/\r/' >"$folder/README.txt"
zip_file=$OUT/tarvo_6-$VERSION-windows-x86_64.zip
rm -f "$zip_file"
(cd "$STAGE/windows" && zip -q -r -X "$zip_file" "tarvo_6-$VERSION")
echo "$zip_file"
}

make_deb() {
scripts/ensure-deps.sh
scripts/ensure-deps.sh dpkg-dev fakeroot
echo "== Linux: build-package"
cmake -S . -B build-package -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
  -DCMAKE_INSTALL_PREFIX=/usr -DTARVO_INSTALL_DIR=lib/tarvo_6 -DTARVO_USER_FOLDER=ON >/dev/null
cmake --build build-package -j"$JOBS" --target tarvo_6 tarvo_6_catalog tarvo_6_logo
root=$STAGE/deb
DESTDIR=$root cmake --install build-package --strip >/dev/null
mkdir -p "$root/DEBIAN" "$STAGE/shlibs/debian"
# dpkg-shlibdeps names the libraries' packages; it wants a source package.
printf 'Source: tarvo-6\n\nPackage: tarvo-6\nArchitecture: amd64\n' >"$STAGE/shlibs/debian/control"
depends=$(cd "$STAGE/shlibs" && dpkg-shlibdeps -O "$root/usr/lib/tarvo_6/tarvo_6" | sed -n 's/^shlibs:Depends=//p')
size=$(du -sk --exclude=DEBIAN "$root" | cut -f1)
cat >"$root/DEBIAN/control" <<CONTROL
Package: tarvo-6
Version: $VERSION
Architecture: amd64
Maintainer: tarvo_6 developers <tarvo_6@localhost>
Installed-Size: $size
Depends: $depends
Recommends: libusb-0.1-4
Section: utils
Priority: optional
Description: service tool for the controller of a CNG fuel dispenser
 Reads the controller over a serial line or TCP, writes new calibration
 coefficients and runs test fills. The tarvo_6 command works in the user's
 ~/.local/share/tarvo_6, where tarvo_6.ini and port.out are kept.
CONTROL
deb_file=$OUT/tarvo_6_${VERSION}_amd64.deb
fakeroot dpkg-deb --build "$root" "$deb_file" >/dev/null
echo "$deb_file"
}

for what in $WHAT; do
  case $what in
    zip) make_zip ;;
    deb) make_deb ;;
    *) echo "package: zip or deb, not $what" >&2; exit 1 ;;
  esac
done
