#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and `make run` need, when
# any is missing. As root it runs apt-get; otherwise it prints the one command
# to run and fails. When everything is present it only asks dpkg.
# Packages given as arguments replace the list below (ensure-deps-windows.sh).
set -euo pipefail

PACKAGES=(
  cmake g++ make pkg-config
  libgtest-dev
  libfltk1.3-dev
  gettext
  xvfb xauth xdotool x11-utils
  libusb-0.1-4
  scrot
  clang-14 libclang-rt-14-dev
)

[ $# -gt 0 ] && PACKAGES=("$@")

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
