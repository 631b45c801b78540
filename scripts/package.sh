#!/usr/bin/env bash
# make package: the two things handed out, from release builds of their own.
#   tarvo_6-VERSION-windows-x86_64.zip  a folder with tarvo_6.exe (the
#                                       window), tarvo_6.com (the same for
#                                       the console), qv.bmp, ru/tarvo_6.mo,
#                                       a read-me and the licence, and the
#                                       training kit (dispenser-sim.exe,
#                                       training.cmd): unpack and
#                                       double-click tarvo_6.exe
#   tarvo_6_VERSION_amd64.deb           the program, logo and catalog under
#                                       /usr/lib/tarvo_6, the tarvo_6 command
#                                       and a desktop entry that run it in the
#                                       user's ~/.local/share/tarvo_6, the
#                                       training kit, manual pages, copyright
#                                       and changelog
# The Maintainer field is the signer of debian/changelog's newest entry.
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
  --target tarvo_6 tarvo_6_console tarvo_6_catalog tarvo_6_logo dispenser-sim
[ -f build-package-windows/tarvo_6.exe ] ||
  { echo "no tarvo_6.exe: FLTK was not found in $FLTK_PREFIX" >&2; exit 1; }
folder=$STAGE/windows/tarvo_6-$VERSION
cmake --install build-package-windows --prefix "$folder" --strip >/dev/null
sed "s/@VERSION@/$VERSION/" assets/README-windows.txt | sed 's/$/\r/' >"$folder/README.txt"
sed 's/$/\r/' LICENSE >"$folder/LICENSE.txt"
zip_file=$OUT/tarvo_6-$VERSION-windows-x86_64.zip
rm -f "$zip_file"
(cd "$STAGE/windows" && zip -q -r -X "$zip_file" "tarvo_6-$VERSION")
echo "$zip_file"
}

make_deb() {
scripts/ensure-deps.sh build
scripts/ensure-deps.sh dpkg-dev fakeroot help2man
changelog_version=$(dpkg-parsechangelog -l debian/changelog -S Version)
[ "$changelog_version" = "$VERSION" ] ||
  { echo "debian/changelog's newest entry is $changelog_version, not $VERSION" >&2; exit 1; }
maintainer=$(dpkg-parsechangelog -l debian/changelog -S Maintainer)
# The manual pages are dated by the release, not by the build.
SOURCE_DATE_EPOCH=$(dpkg-parsechangelog -l debian/changelog -S Timestamp)
export SOURCE_DATE_EPOCH
echo "== Linux: build-package"
# Debian's hardening flags (stack protector, fortified calls, read-only
# relocations), as every Debian package is built with.
cmake -S . -B build-package -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
  -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
  -DCMAKE_C_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CFLAGS)" \
  -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" \
  -DCMAKE_INSTALL_PREFIX=/usr -DTARVO_INSTALL_DIR=lib/tarvo_6 -DTARVO_USER_FOLDER=ON >/dev/null
cmake --build build-package -j"$JOBS" --target tarvo_6 tarvo_6_catalog tarvo_6_logo \
  dispenser-sim tarvo_6_man_pages
root=$STAGE/deb
DESTDIR=$root cmake --install build-package --strip >/dev/null
doc=$root/usr/share/doc/tarvo-6
mkdir -p "$doc"
cp debian/copyright "$doc/copyright"
gzip -9n <debian/changelog >"$doc/changelog.gz"
chmod 0644 "$doc/copyright" "$doc/changelog.gz"
chmod 0755 "$root"
mkdir -p "$root/DEBIAN" "$STAGE/shlibs/debian"
# dpkg-shlibdeps names the libraries' packages; it wants a source package.
printf 'Source: tarvo-6\n\nPackage: tarvo-6\nArchitecture: amd64\n' >"$STAGE/shlibs/debian/control"
depends=$(cd "$STAGE/shlibs" &&
  dpkg-shlibdeps -O "$root/usr/lib/tarvo_6/tarvo_6" "$root/usr/bin/dispenser-sim" |
  sed -n 's/^shlibs:Depends=//p')
size=$(du -sk --exclude=DEBIAN "$root" | cut -f1)
cat >"$root/DEBIAN/control" <<CONTROL
Package: tarvo-6
Version: $VERSION
Architecture: amd64
Maintainer: $maintainer
Installed-Size: $size
Depends: $depends
Recommends: libusb-0.1-4
Section: utils
Priority: optional
Description: service tool for the controller of a CNG fuel dispenser
 Reads the controller over a serial line or TCP, writes new calibration
 coefficients and runs test fills. The tarvo_6 command works in the user's
 ~/.local/share/tarvo_6, where tarvo_6.ini and port.out are kept.
 .
 The training kit: dispenser-sim, a simulated controller, and the desktop
 entry "tarvo_6 (training)", which starts it with the tool connected to it
 in a folder of its own, ~/.local/share/tarvo_6-training.
CONTROL
(cd "$root" && find usr -type f -print0 | LC_ALL=C sort -z | xargs -0 md5sum) >"$root/DEBIAN/md5sums"
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
