#!/usr/bin/env bash
# Makes FLTK for the Windows cross-build available and prints the folder it is
# installed in (the one to give CMake as FLTK_DIR's prefix).
#
# Debian has no FLTK for mingw-w64, so it is built here from the release's
# source archive, once: the installed result is kept outside the clone, keyed
# by the archive's SHA-256, so later builds and CI on the same machine take it
# from there. An installation counts only with its completion stamp, written
# last: a build that was cut off, or a folder that lost files, is built again.
#
#   fltk-windows.sh --check DIR   says "complete" or "damaged: why" of an
#                                 installation folder, and builds nothing
#
#   FLTK_SOURCE      the archive (default: ../shared/third_party/ beside the clone)
#   TARVO_CACHE_DIR  where installations are kept (default: ~/.cache/tarvo_6)
#   JOBS             parallel compile jobs (at most 2 here)
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)

FLTK_VERSION=1.3.9
FLTK_SHA256=2498cdcd199cc2dfa4841da5d8e208179f16bf64eb1de6e6c332a61dd14c4a8b
FLTK_SOURCE=${FLTK_SOURCE:-$ROOT/../shared/third_party/fltk-$FLTK_VERSION.tar.gz}
CACHE=${TARVO_CACHE_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/tarvo_6}
JOBS=${JOBS:-2}
[ "$JOBS" -gt 2 ] && JOBS=2

PREFIX="$CACHE/fltk-$FLTK_SHA256"
STAMP="$PREFIX/.complete"
# Files whose absence means the installation is damaged even with its stamp.
REQUIRED=(
  lib/libfltk.a lib/libfltk_images.a lib/libfltk_png.a lib/libfltk_jpeg.a lib/libfltk_z.a
  include/FL/Fl.H
  CMake/FLTKConfig.cmake
)

# Prints why the installation in folder $1 cannot be used, if it cannot.
damage() {
  local stamp=$1/.complete
  if [ ! -f "$stamp" ]; then
    echo "no completion stamp (a build cut off, or never made)"
    return
  fi
  # The stamp names the archive it was built from.
  if [ "$(cat "$stamp")" != "$FLTK_SHA256" ]; then
    echo "built from another archive than FLTK $FLTK_VERSION's"
    return
  fi
  for f in "${REQUIRED[@]}"; do
    if [ ! -s "$1/$f" ]; then
      echo "$f is missing or empty"
      return
    fi
  done
}

installed() { [ -z "$(damage "$PREFIX")" ]; }

if [ "${1:-}" = "--check" ]; then
  why=$(damage "${2:?usage: fltk-windows.sh --check DIR}")
  if [ -n "$why" ]; then
    echo "damaged: $why"
    exit 1
  fi
  echo "complete"
  exit 0
fi

if installed; then
  echo "$PREFIX"
  exit 0
fi

# One build at a time: a second caller waits for the first and takes its result.
mkdir -p "$CACHE"
exec 9>"$CACHE/fltk.lock"
flock 9
if installed; then
  echo "$PREFIX"
  exit 0
fi

if [ -e "$PREFIX" ]; then
  echo "FLTK in $PREFIX is damaged ($(damage "$PREFIX")): building it again" >&2
fi
if [ ! -f "$FLTK_SOURCE" ]; then
  cat >&2 <<EOF
FLTK $FLTK_VERSION's source is needed for the Windows build and is not at
  $FLTK_SOURCE
Put fltk-$FLTK_VERSION.tar.gz there (the official FLTK repository's tag
release-$FLTK_VERSION, made with git archive --prefix=fltk-$FLTK_VERSION/;
SHA-256 $FLTK_SHA256), or name it with FLTK_SOURCE=/path/to/the/archive.
EOF
  exit 1
fi
actual=$(sha256sum "$FLTK_SOURCE" | cut -d' ' -f1)
if [ "$actual" != "$FLTK_SHA256" ]; then
  echo "$FLTK_SOURCE has SHA-256 $actual, not FLTK $FLTK_VERSION's $FLTK_SHA256" >&2
  exit 1
fi

echo "Building FLTK $FLTK_VERSION for Windows into $PREFIX (a few minutes, once)" >&2
mkdir -p "$CACHE"
WORK=$(mktemp -d "$CACHE/fltk-build.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
tar -xzf "$FLTK_SOURCE" -C "$WORK"
rm -rf "$PREFIX"
cmake -S "$WORK/fltk-$FLTK_VERSION" -B "$WORK/build" \
  -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_INSTALL_PREFIX="$PREFIX" \
  -DOPTION_BUILD_SHARED_LIBS=OFF \
  -DOPTION_USE_SYSTEM_ZLIB=OFF -DOPTION_USE_SYSTEM_LIBPNG=OFF -DOPTION_USE_SYSTEM_LIBJPEG=OFF \
  -DOPTION_USE_GL=OFF \
  -DFLTK_BUILD_TEST=OFF -DFLTK_BUILD_EXAMPLES=OFF -DOPTION_BUILD_HTML_DOCUMENTATION=OFF \
  -DOPTION_BUILD_PDF_DOCUMENTATION=OFF -DOPTION_INSTALL_HTML_DOCUMENTATION=OFF \
  -DOPTION_INSTALL_PDF_DOCUMENTATION=OFF \
  >"$WORK/configure.log" 2>&1 ||
  { echo "FLTK's configuration failed:" >&2; tail -n 40 "$WORK/configure.log" >&2; exit 1; }
cmake --build "$WORK/build" -j"$JOBS" >"$WORK/build.log" 2>&1 ||
  { echo "FLTK's build failed:" >&2; tail -n 40 "$WORK/build.log" >&2; exit 1; }
cmake --install "$WORK/build" >"$WORK/install.log" 2>&1 ||
  { echo "FLTK's installation failed:" >&2; tail -n 40 "$WORK/install.log" >&2; exit 1; }
echo "$FLTK_SHA256" >"$STAMP"
installed || { echo "FLTK installed into $PREFIX lacks files it should have" >&2; exit 1; }
echo "$PREFIX"
