#!/usr/bin/env bash
# Installs the Debian packages a make target needs, when any is missing. As
# root it runs apt-get; otherwise it prints the one command to run and fails.
# When everything is present it only asks dpkg.
#
# Usage: ensure-deps.sh GROUP...   (build, run, test, fuzz: what that target
#                                  needs, and no more)
#        ensure-deps.sh PACKAGE...  (ensure-deps-windows.sh, package.sh)
# A plain build asks only for the compilers and libraries, so a newcomer
# without root, who has those, is not stopped by X servers or clang.
set -euo pipefail

BUILD=(cmake g++ make pkg-config libgtest-dev libfltk1.3-dev gettext)
# The window on a private X server when there is no display, its screenshot,
# and libusb 0.1, bound at run time to name USB adapters.
RUN=(xvfb xauth xdotool scrot libusb-0.1-4)
# The window tests besides: xprop reads the window's icon.
TEST=(xvfb xauth xdotool x11-utils scrot libusb-0.1-4)
FUZZ=(cmake make clang-14 libclang-rt-14-dev)

[ $# -gt 0 ] || set -- build
PACKAGES=()
for wanted in "$@"; do
  case $wanted in
    build) PACKAGES+=("${BUILD[@]}") ;;
    run) PACKAGES+=("${BUILD[@]}" "${RUN[@]}") ;;
    test) PACKAGES+=("${BUILD[@]}" "${TEST[@]}") ;;
    fuzz) PACKAGES+=("${FUZZ[@]}") ;;
    *) PACKAGES+=("$wanted") ;;
  esac
done

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "Missing Debian packages. Run as root:" >&2
  echo "  apt-get update && apt-get install -y ${missing[*]}" >&2
  exit 1
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
apt-get install -y -q "${missing[@]}"
