#!/usr/bin/env bash
# The Windows training kit under Wine, as a trainee uses it: training.cmd,
# started from a folder laid out as the zip is, starts dispenser-sim.exe (its
# TCP server on Winsock) and tarvo_6.exe connected to it through
# TCPC_127.0.0.1:4806, both working in training\. Open Port and Read get the
# simulator's answers; a new coefficient for nozzle 1, written with the
# training password, lands in the simulator's memory image; closing the
# window ends the tool, the simulator and training.cmd.
#
# Usage: training_test.sh BUILD_DIR SOURCE_DIR
# From scripts/test-windows.sh's environment: WINEPREFIX, DISPLAY and
# TARVO_WINE (the loader). Exit 77: skipped.
set -euo pipefail
build=$(cd "$1" && pwd)
source_dir=$(cd "$2" && pwd)
for variable in WINEPREFIX DISPLAY TARVO_WINE; do
  if [ -z "${!variable:-}" ]; then
    echo "SKIP: $variable is not set; run the Windows tests with scripts/test-windows.sh"
    exit 77
  fi
done

fail() { echo "FAIL: $*"; exit 1; }
source "$source_dir/scripts/lib/xvfb.sh"   # wait_for, stop_pids, escape_ends

run=$build/training-kit
rm -rf "$run"
mkdir -p "$run/ru"
cp "$build/tarvo_6.exe" "$build/dispenser-sim.exe" "$build/qv.bmp" "$run/"
cp "$build/ru/tarvo_6.mo" "$run/ru/"
cp "$source_dir/assets/training.cmd" "$source_dir/assets/training.ini" "$run/"

kit=""
# A test that fails midway leaves training.cmd's simulator running in the
# prefix: the only dispenser-sim.exe there (the other tests meet the Linux one).
cleanup() {
  if [ -n "$kit" ]; then
    "$TARVO_WINE" taskkill /f /im dispenser-sim.exe </dev/null >/dev/null 2>&1 || true
    stop_pids "$kit"
  fi
}
trap cleanup EXIT

# Nothing may listen on the kit's port before it starts.
if (exec 3<>/dev/tcp/127.0.0.1/4806) 2>/dev/null; then
  fail "something already listens on 127.0.0.1:4806"
fi

(cd "$run" && exec "$TARVO_WINE" cmd /c training.cmd </dev/null >"$run/kit.log" 2>&1) &
kit=$!
window=""
wait_for 'window=$(xdotool search --onlyvisible --name "^tarvo_6\$" 2>/dev/null | head -n1); [ -n "$window" ]' 60 ||
  { cat "$run/kit.log"; fail "the window did not appear"; }
training=$run/training
image=$training/controller.img
trace=$training/dispenser-sim.trace
wait_for '[ -s "$image" ]' 20 || fail "the simulator made no memory image in training\\"
# The image is a text file written on Windows: CRLF line ends.
nozzle1_record() {
  tr -d '\r' <"$image" | grep -A1 '^# calibration record, group 0 nozzle 1$' | tail -n1 || true
}
record_before=$(nozzle1_record)
[ -n "$record_before" ] || fail "no record of nozzle 1 in the image"

# Open Port on the pre-selected simulator, then Read.
xdotool mousemove --window "$window" 56 52 click 1
sleep 1
xdotool mousemove --window "$window" 160 100 click 1
wait_for 'grep -q "(password state)" "$trace"' 30 ||
  { tail -n 5 "$trace" 2>/dev/null; cat "$run/kit.log"; fail "the simulator saw no complete Read"; }
grep -q 'connected' "$trace" || fail "the tool did not connect over TCP"
sleep 1   # the window redraws once the GUI thread's polling ends

# The training password, then a new coefficient for nozzle 1, then Write.
xdotool mousemove --window "$window" 56 220 click --repeat 3 1
xdotool key ctrl+a type --delay 20 "1234"
xdotool mousemove --window "$window" 326 28 click --repeat 3 1
xdotool key ctrl+a type --delay 20 "12.5"
xdotool mousemove --window "$window" 152 268 click 1
wait_for 'grep -q "write [0-9]* bytes at [0-9]:[0-9A-F]* (commit)" "$trace"' 30 ||
  { tail -n 8 "$trace"; fail "Write did not commit"; }
wait_for '[ "$(nozzle1_record)" != "$record_before" ]' 10 ||
  fail "nozzle 1's record in the image did not change"
tr -d '\r' <"$image" | grep -q '^commits 1$' || fail "the image does not count the commit"

# The journal and port.out of training stay in training\.
grep -q . "$training/port.out" || fail "no port.out in training\\"
[ -e "$run/port.out" ] && fail "training wrote port.out beside the program"

escape_ends "$window" "$kit" 30 || fail "closing the window did not end training.cmd"
kit=""
if (exec 3<>/dev/tcp/127.0.0.1/4806) 2>/dev/null; then
  fail "the simulator still listens after training ended"
fi
echo "training.cmd: Read and Write against dispenser-sim.exe, kept in $image"
