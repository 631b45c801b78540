#!/usr/bin/env bash
# make run: the tool connected to the simulated controller (variant 1, four
# nozzles, address 1) on a pseudo-terminal, started in the build folder, which
# holds everything the tool reads (qv.bmp, ru/tarvo_6.mo, tarvo_6.ini).
#
# With a display the window opens there and the simulator stops when it is
# closed. Without one (DISPLAY unset) the tool runs on a private Xvfb: the
# script opens the port, reads the controller, saves a screenshot in the build
# folder and prints its path.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
run_dir=$root/build
cd "$run_dir"
for file in tarvo_6 dispenser-sim qv.bmp ru/tarvo_6.mo; do
  [ -e "$file" ] || { echo "run: $run_dir/$file is missing; build first (make run builds)" >&2; exit 1; }
done

source "$root/scripts/lib/xvfb.sh"
work=$(mktemp -d)
sim_pid=""
tool_pid=""
cleanup() {
  stop_pids "$tool_pid" "$sim_pid"
  stop_xvfb
  rm -rf "$work"
}
trap cleanup EXIT

trace=$run_dir/dispenser-sim.trace
: >"$trace"
./dispenser-sim --pty --variant 1 --nozzles 4 --address 1 --trace-file "$trace" >"$work/sim.out" &
sim_pid=$!
wait_for '[ -n "$(head -n1 "$work/sim.out" 2>/dev/null)" ]' 10 ||
  { echo "run: dispenser-sim did not announce its pseudo-terminal" >&2; exit 1; }
port=$(head -n1 "$work/sim.out")
echo "Simulated controller on $port (trace: $trace)"

# The tool remembers its port under the section and key it has always used:
# the Russian words for "general" and "port", stored as UTF-8 of their
# Windows-1251 bytes read as Latin-1.
printf '[\xC3\x8E\xC3\xA1\xC3\xB9\xC3\xA8\xC3\xA5]\r\n\xC3\x8F\xC3\xAE\xC3\xB0\xC3\xB2=%s\r\n' "$port" >tarvo_6.ini
export TARVO6_PORTS=$port

if [ -n "${DISPLAY:-}" ]; then
  ./tarvo_6 "$@"
  exit 0
fi

# Headless: a private X server on a free display number.
start_xvfb "$work" 1024x768x24 || { echo "run: Xvfb did not start" >&2; exit 1; }

./tarvo_6 "$@" &
tool_pid=$!
wait_for 'window=$(xdotool search --onlyvisible --name "^tarvo_6\$" 2>/dev/null | head -n1); [ -n "$window" ]' 20 ||
  { echo "run: the tool's window did not appear" >&2; exit 1; }

# Open Port, then Read, at the buttons' centres.
xdotool mousemove --window "$window" 56 52 click 1
xdotool mousemove --window "$window" 160 100 click 1
# Read ends with the password state (0x005300); the window has the values
# once the simulator has answered it.
wait_for 'grep -q "password state" "$trace"' 20 || { echo "run: the controller was not read" >&2; exit 1; }
sleep 0.5   # let the window redraw after the GUI thread's polling ends

shot=$run_dir/tarvo_6-screenshot.png
eval "$(xdotool getwindowgeometry --shell "$window")"
scrot --overwrite --autoselect "$X,$Y,$WIDTH,$HEIGHT" "$shot"
echo "Screenshot of the tool connected to the simulated controller: $shot"

xdotool key Escape   # to the window under the pointer: closes it, the tool ends
wait_for '! kill -0 "$tool_pid" 2>/dev/null' 10 || true
