#!/usr/bin/env bash
# The Debian packages `make test-windows` needs on top of a Linux host build:
# the mingw-w64 cross compilers (their -posix flavour has std::thread), Wine to
# run the Windows test programs, GoogleTest's sources to cross-build it, the
# host compiler for the pty peer service and msgfmt for the test catalogs; an
# X server, xdotool and scrot for the Windows program's window.
set -euo pipefail

PACKAGES=(
  cmake g++ make
  g++-mingw-w64-x86-64
  wine64
  googletest
  gettext
  xvfb xauth xdotool scrot
)

exec "$(dirname "$0")/ensure-deps.sh" "${PACKAGES[@]}"
