#!/usr/bin/env bash
# Cross-builds everything but the window for Windows (mingw-w64) and runs the
# tests under Wine, in a Wine prefix of the build folder's own.
#
# Serial tests need a device on the other end of a COM port: the pty peer
# service (tests/wine/pty_peer_service.cpp, built for the host) holds a few
# pseudo-terminals, Wine maps COM ports onto their slaves, and the Windows
# tests play the device through the service (TARVO_PTY_PEER).
set -euo pipefail
cd "$(dirname "$0")/.."

BUILD=${BUILD_WINDOWS:-build-windows}
JOBS=${JOBS:-$(nproc)}
WINE=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver
# The ports the service offers; COM2 and COM10 also show that discovery
# sorts them by number.
PEER_PORTS=(COM2 COM10 COM11 COM12 COM13)

scripts/ensure-deps-windows.sh

mkdir -p "$BUILD/wine-ports"
ROOT=$(pwd)
export WINEPREFIX="$ROOT/$BUILD/wineprefix" WINEDEBUG=-all
# No prompts to install Wine's .NET or browser engine into a new prefix.
export WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$WINEPREFIX"

peer=""
stop_all() {
  if [ -n "$peer" ]; then
    kill "$peer" 2>/dev/null || true
    wait "$peer" 2>/dev/null || true
  fi
  # Stops this prefix's wineserver and every Wine process of the prefix.
  "$WINESERVER" -k 2>/dev/null || true
}
trap stop_all EXIT

# Wine's helper processes (wineserver, services, device drivers) outlive the
# program that started them and keep its output pipes open, which would
# hang the build's test listing and ctest: start them first, detached from
# every pipe, and keep the server up until the end.
start_wine() {
  "$WINESERVER" -k 2>/dev/null || true   # one left from an interrupted run
  "$WINESERVER" -w
  "$WINESERVER" -p </dev/null >/dev/null 2>&1
  "$WINE" cmd /c exit </dev/null >/dev/null 2>&1
}

echo "== pty peer service"
c++ -std=c++17 -O1 -Wall -Wextra -o "$BUILD/pty_peer_service" tests/wine/pty_peer_service.cpp
rm -f "$BUILD/pty_peer.port"
"$BUILD/pty_peer_service" "$ROOT/$BUILD/wine-ports" "$BUILD/pty_peer.port" "${PEER_PORTS[@]}" \
  </dev/null >"$BUILD/pty_peer.log" 2>&1 &
peer=$!
for _ in $(seq 100); do
  [ -s "$BUILD/pty_peer.port" ] && break
  kill -0 "$peer" 2>/dev/null || { cat "$BUILD/pty_peer.log" >&2; exit 1; }
  sleep 0.1
done
[ -s "$BUILD/pty_peer.port" ] || { echo "pty peer service did not start" >&2; exit 1; }
export TARVO_PTY_PEER="127.0.0.1:$(cat "$BUILD/pty_peer.port")"
export TARVO_WINE_PEER_PORTS="${PEER_PORTS[*]}"

echo "== Wine prefix $WINEPREFIX"
start_wine
for port in "${PEER_PORTS[@]}"; do
  "$WINE" reg add 'HKLM\Software\Wine\Ports' /v "$port" /t REG_SZ \
    /d "$ROOT/$BUILD/wine-ports/$port" /f </dev/null >/dev/null 2>&1
done
# Wine reads its port list when it starts: restart it with the new one.
start_wine

echo "== cross build ($BUILD)"
cmake -S . -B "$BUILD" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build "$BUILD" -j"$JOBS"

echo "== tests under Wine"
ctest --test-dir "$BUILD" --output-on-failure -j"$JOBS" --timeout 120
