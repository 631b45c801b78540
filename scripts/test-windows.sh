#!/usr/bin/env bash
# Cross-builds the tool for Windows (mingw-w64), with its window on FLTK built
# from source once (scripts/fltk-windows.sh), and runs the tests under Wine, in
# a Wine prefix of the build folder's own, on a private X server.
#
# Serial tests need a device on the other end of a COM port: the pty peer
# service (tests/wine/pty_peer_service.cpp, built for the host) holds a few
# pseudo-terminals, Wine maps COM ports onto their slaves, and the Windows
# tests play the device through the service (TARVO_PTY_PEER). The link's
# and the procedures' tests have the service start a simulator of their own
# (dispenser-sim, built for the host too) for each test on one of the
# simulators' COM ports (tests/support/dispenser_sim_win32.cpp). The program itself is started
# from outside on a COM port of its own (TARVO_SMOKE_PORT,
# tests/wine/smoke_test.sh).
set -euo pipefail
cd "$(dirname "$0")/.."

BUILD=${BUILD_WINDOWS:-build-windows}
JOBS=${JOBS:-$(nproc)}
WINE=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver
# The ports the service offers; COM2 and COM10 also show that discovery
# sorts them by number.
PEER_PORTS=(COM2 COM10 COM11 COM12 COM13)
SIM_PORT=COM14
SMOKE_PORT=COM15
# The console program's Read (tests/wine/console_read_test.sh) and the Read
# figures.
CONSOLE_PORT=COM20
# The service points these at the simulators it starts for the tests.
SIMULATOR_PORTS=(COM16 COM17 COM18 COM19)

scripts/ensure-deps-windows.sh
FLTK_PREFIX=$(scripts/fltk-windows.sh)

mkdir -p "$BUILD/wine-ports"
ROOT=$(pwd)
export WINEPREFIX="$ROOT/$BUILD/wineprefix" WINEDEBUG=-all
# No prompts to install Wine's .NET or browser engine into a new prefix.
export WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$WINEPREFIX"

source scripts/lib/xvfb.sh
peer=""
sim=""
stop_all() {
  for pid in $peer $sim; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  # Stops this prefix's wineserver and every Wine process of the prefix.
  "$WINESERVER" -k 2>/dev/null || true
  stop_xvfb
}
trap stop_all EXIT

# Wine's helper processes (wineserver, services, device drivers) outlive the
# program that started them and keep its output pipes open, which would
# hang the build's test listing and ctest: start them first, detached from
# every pipe, and keep the server up until the end.
start_wine() {
  "$WINESERVER" -p </dev/null >/dev/null 2>&1
  "$WINE" cmd /c exit </dev/null >/dev/null 2>&1
}
# Waits until every program of the prefix has ended and its server has saved
# the registry and stopped. Setting a new prefix up goes on in programs of
# its own after the first one returns; a server killed then leaves the set-up
# half done, and the next program Wine starts, a test, would find the prefix
# changing under it.
settle_wine() {
  "$WINESERVER" -w
}

echo "== devices on the Linux side: pty peer service, dispenser-sim"
mkdir -p "$BUILD/host"
c++ -std=c++17 -O1 -Wall -Wextra -I . -o "$BUILD/host/pty_peer_service" tests/wine/pty_peer_service.cpp
cmake -S . -B "$BUILD/host" -DCMAKE_BUILD_TYPE=Debug -DBUILD_TESTING=OFF -DTARVO_GUI=OFF >/dev/null
cmake --build "$BUILD/host" -j"$JOBS" --target dispenser-sim >/dev/null

# Waits up to 10 s for a file to have content while process $2 runs.
wait_for_file() {
  for _ in $(seq 100); do
    [ -s "$1" ] && return 0
    kill -0 "$2" 2>/dev/null || return 1
    sleep 0.1
  done
  [ -s "$1" ]
}

rm -f "$BUILD/pty_peer.port"
"$BUILD/host/pty_peer_service" "$ROOT/$BUILD/wine-ports" "$BUILD/pty_peer.port" "${PEER_PORTS[@]}" \
  --sim "$ROOT/$BUILD/host/dispenser-sim" "${SIMULATOR_PORTS[@]}" \
  </dev/null >"$BUILD/pty_peer.log" 2>&1 &
peer=$!
wait_for_file "$BUILD/pty_peer.port" "$peer" ||
  { echo "pty peer service did not start" >&2; cat "$BUILD/pty_peer.log" >&2; exit 1; }
export TARVO_PTY_PEER="127.0.0.1:$(cat "$BUILD/pty_peer.port")"
export TARVO_WINE_PEER_PORTS="${PEER_PORTS[*]}"

# The simulator prints the path of its pty's other end on its first line
# (into a new file: the background start may truncate an old one too late).
rm -f "$BUILD/sim.out"
"$BUILD/host/dispenser-sim" --pty </dev/null >"$BUILD/sim.out" 2>"$BUILD/sim.log" &
sim=$!
wait_for_file "$BUILD/sim.out" "$sim" ||
  { echo "dispenser-sim did not start" >&2; cat "$BUILD/sim.log" >&2; exit 1; }
# COM14 stays on the one simulator every run has. The smoke test and the
# console's Read point their ports at simulators of their own; until then
# each names a terminal that exists, as Wine wants when it maps the port.
ln -sfn "$(head -n1 "$BUILD/sim.out")" "$BUILD/wine-ports/$SIM_PORT"
ln -sfn "$(head -n1 "$BUILD/sim.out")" "$BUILD/wine-ports/$SMOKE_PORT"
ln -sfn "$(head -n1 "$BUILD/sim.out")" "$BUILD/wine-ports/$CONSOLE_PORT"
export TARVO_SMOKE_PORT=$SMOKE_PORT TARVO_CONSOLE_PORT=$CONSOLE_PORT TARVO_WINE_PORTS="$ROOT/$BUILD/wine-ports"
export TARVO_WINE=$WINE TARVO_HOST_SIM="$ROOT/$BUILD/host/dispenser-sim"

echo "== X server for the windows"
# Wine's windows are X windows: a private server, never the user's desktop.
start_xvfb "$BUILD" 1280x1024x24

echo "== Wine prefix $WINEPREFIX"
"$WINESERVER" -k 2>/dev/null || true   # one left from an interrupted run
settle_wine
"$WINE" wineboot --init </dev/null >/dev/null 2>&1
for port in "${PEER_PORTS[@]}" "$SIM_PORT" "$SMOKE_PORT" "$CONSOLE_PORT" "${SIMULATOR_PORTS[@]}"; do
  "$WINE" reg add 'HKLM\Software\Wine\Ports' /v "$port" /t REG_SZ \
    /d "$ROOT/$BUILD/wine-ports/$port" /f </dev/null >/dev/null 2>&1
done
settle_wine
[ -f "$WINEPREFIX/.update-timestamp" ] ||
  { echo "Wine did not finish setting up $WINEPREFIX" >&2; exit 1; }
grep -q "\"${SIMULATOR_PORTS[-1]}\"=" "$WINEPREFIX/system.reg" && grep -q "\"$CONSOLE_PORT\"=" "$WINEPREFIX/system.reg" ||
  { echo "Wine's registry in $WINEPREFIX did not keep the COM port mappings" >&2; exit 1; }
# The server for the build and the tests, with the port list read afresh.
start_wine

echo "== cross build ($BUILD)"
cmake -S . -B "$BUILD" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DCMAKE_BUILD_TYPE=Debug -DFLTK_DIR="$FLTK_PREFIX/CMake" >/dev/null
cmake --build "$BUILD" -j"$JOBS"
[ -f "$BUILD/tarvo_6.exe" ] ||
  { echo "no $BUILD/tarvo_6.exe: the build did not find FLTK in $FLTK_PREFIX" >&2; exit 1; }

echo "== tests under Wine"
# Arguments are ctest's: scripts/test-windows.sh -R CoefficientEntry
ctest --test-dir "$BUILD" --output-on-failure -j"$JOBS" --timeout 120 "$@"

# Windows' default timer under Wine: the winquantum library ends every sleep
# and every wait with a time-out on a 15.625 ms tick. Loaded into the program
# and into Wine's server (which times the waits of the Windows calls), it
# runs the tests labelled winquantum again, and the Read figures are taken
# with it and without.
WINQUANTUM_SOURCE=${TARVO_WINQUANTUM_SOURCE:-$ROOT/../shared/tools/winquantum/winquantum.c}
if [ ! -f "$WINQUANTUM_SOURCE" ]; then
  echo "== no $WINQUANTUM_SOURCE: no run under Windows' default timer"
  exit 0
fi
echo "== Read figures under Wine"
gcc -O2 -shared -fPIC -o "$BUILD/host/winquantum.so" "$WINQUANTUM_SOURCE" -ldl
bench/wine_read_figures.sh "$BUILD" "without winquantum"
"$WINESERVER" -k 2>/dev/null || true
settle_wine
export TARVO_WINE_PRELOAD=$ROOT/$BUILD/host/winquantum.so TARVO_WINQUANTUM=1
LD_PRELOAD=$TARVO_WINE_PRELOAD start_wine
bench/wine_read_figures.sh "$BUILD" "with winquantum"
awk -v without="$(cat "$BUILD/read-figures/total-without winquantum")" \
    -v with="$(cat "$BUILD/read-figures/total-with winquantum")" \
    'BEGIN { printf "Read with winquantum / without: %.3f (target at most 1.05)\n", with / without }'
echo "== tests under Wine with winquantum"
ctest --test-dir "$BUILD" --output-on-failure -j"$JOBS" --timeout 120 -L winquantum "$@"
