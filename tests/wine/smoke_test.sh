#!/usr/bin/env bash
# The Windows program as a user starts it, under Wine on the test run's X
# server: tarvo_6.exe started from a folder holding only what the zip holds,
# its window of 519x295 shown, Open Port on a COM port that Wine maps to
# dispenser-sim's pty, Read, a new coefficient written, a test fill started,
# each seen in the simulator's trace, Escape closing the window and ending the
# program. A screenshot of the window after Read is kept in the build folder.
#
# Usage: smoke_test.sh BUILD_DIR VARIANT
# From scripts/test-windows.sh's environment: WINEPREFIX, DISPLAY,
# TARVO_WINE (the loader), TARVO_HOST_SIM (dispenser-sim built for Linux),
# TARVO_WINE_PORTS (the folder of the links Wine's COM ports point at) and
# TARVO_SMOKE_PORT (the COM port kept for this test). Exit 77: skipped.
set -euo pipefail
build=$(cd "$1" && pwd)
variant=$2
for variable in WINEPREFIX DISPLAY TARVO_WINE TARVO_HOST_SIM TARVO_WINE_PORTS TARVO_SMOKE_PORT; do
  if [ -z "${!variable:-}" ]; then
    echo "SKIP: $variable is not set; run the Windows tests with scripts/test-windows.sh"
    exit 77
  fi
done

fail() { echo "FAIL: $*"; exit 1; }
source "$(dirname "$0")/../../scripts/lib/xvfb.sh"   # wait_for

run=$build/smoke-variant$variant
rm -rf "$run"
mkdir -p "$run/ru"
cp "$build/tarvo_6.exe" "$build/qv.bmp" "$run/"
cp "$build/ru/tarvo_6.mo" "$run/ru/"

sim_pid=""
tool_pid=""
cleanup() {
  stop_pids "$tool_pid" "$sim_pid"
}
trap cleanup EXIT

trace=$run/dispenser-sim.trace
"$TARVO_HOST_SIM" --pty --variant "$variant" --nozzles 4 --address 1 --trace-file "$trace" \
  </dev/null >"$run/sim.out" 2>"$run/sim.log" &
sim_pid=$!
wait_for '[ -n "$(head -n1 "$run/sim.out" 2>/dev/null)" ]' 10 || fail "dispenser-sim did not start"
ln -sfn "$(head -n1 "$run/sim.out")" "$TARVO_WINE_PORTS/$TARVO_SMOKE_PORT"

# The port is remembered, as a user's tarvo_6.ini would (section and key are
# the UTF-8 forms of the program's historical Windows-1251 names).
printf '[\xC3\x8E\xC3\xA1\xC3\xB9\xC3\xA8\xC3\xA5]\r\n\xC3\x8F\xC3\xAE\xC3\xB0\xC3\xB2=%s\r\n' \
  "$TARVO_SMOKE_PORT" >"$run/tarvo_6.ini"

(cd "$run" && exec "$TARVO_WINE" tarvo_6.exe </dev/null >"$run/tool.log" 2>&1) &
tool_pid=$!
window=""
wait_for 'window=$(xdotool search --onlyvisible --name "^tarvo_6\$" 2>/dev/null | head -n1); [ -n "$window" ]' 60 ||
  fail "the window did not appear"
# The window's client area as the X server has it.
wait_for 'eval "$(xdotool getwindowgeometry --shell "$window")"; [ "$WIDTH" = 519 ] && [ "$HEIGHT" = 295 ]' 10 ||
  fail "the window is ${WIDTH}x${HEIGHT}, not 519x295"

# Open Port, then Read, at the buttons' centres.
xdotool mousemove --window "$window" 56 52 click 1
sleep 1
xdotool mousemove --window "$window" 160 100 click 1
# Read ends with the password state.
wait_for 'grep -q "(password state)" "$trace"' 30 ||
  { tail -n 5 "$trace" 2>/dev/null; fail "the simulator saw no complete Read"; }
# The Read's frames in their order: the status byte, the main settings'
# length and block, ..., the password state last.
order=$(grep -o '(status byte)\|(main settings length)\|(main settings)\|(password state)' "$trace" |
  uniq | tr '\n' ' ')
[ "$order" = "(status byte) (main settings length) (main settings) (password state) " ] ||
  fail "the Read's frames came in the order: $order"
sleep 1   # the window redraws once the GUI thread's polling ends

shot=$build/tarvo_6-wine-variant$variant.png
eval "$(xdotool getwindowgeometry --shell "$window")"
scrot --overwrite --autoselect "$X,$Y,$WIDTH,$HEIGHT" "$shot" || fail "no screenshot"
echo "screenshot: $shot"

# A new coefficient for nozzle 1, typed into its input, then Write: the
# record is written and the change committed.
xdotool mousemove --window "$window" 326 28 click --repeat 3 1
xdotool key ctrl+a type --delay 20 "12.5"
xdotool mousemove --window "$window" 152 268 click 1
wait_for 'grep -q "write [0-9]* bytes at [0-9]:[0-9A-F]* (commit)" "$trace"' 30 ||
  { tail -n 5 "$trace"; fail "Write did not commit"; }
# Variants 0 and 1 take the record itself; variant 2 a calibration message.
if [ "$variant" = 2 ]; then
  grep -q 'write [0-9]* bytes at [0-9]:[0-9A-F]* (calibration message)' "$trace" ||
    fail "Write sent no calibration message"
else
  grep -q 'write [0-9]* bytes at [0-9]:[0-9A-F]* (calibration record, group 0 nozzle 1)' "$trace" ||
    fail "Write did not write nozzle 1's calibration record"
fi
grep -q 'calibration record, group 0 nozzle [2-4]' <(grep ' write ' "$trace") &&
  fail "Write wrote a nozzle that was not edited"

# A test fill of 10 l on nozzle 1: the preset goes out in tens of ml.
xdotool mousemove --window "$window" 423 28 click 1
wait_for 'grep -q "nozzle 1 command .* value 00001000 " "$trace"' 30 ||
  { tail -n 5 "$trace"; fail "Load 10l sent no 10 l preset"; }

escape_ends "$window" "$tool_pid" 20 || fail "Escape did not close the window"
tool_pid=""
[ "$ENDED_WITH" = 0 ] || fail "tarvo_6.exe ended with status $ENDED_WITH"
grep -q . "$run/port.out" || fail "no entry line in port.out"
echo "tarvo_6.exe opened $TARVO_SMOKE_PORT, read the simulated controller and closed"
