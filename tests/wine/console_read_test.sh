#!/usr/bin/env bash
# cmd.exe runs `tarvo_6 --read PORT --json` in a folder holding both programs:
# the JSON is the memory dispenser-sim saves as it stops, and the exit status
# reaches cmd.exe's caller (5 for a port that does not open).
# Usage: console_read_test.sh BUILD_DIR, in scripts/test-windows.sh's
# environment (WINEPREFIX, TARVO_WINE, TARVO_HOST_SIM, TARVO_WINE_PORTS,
# TARVO_CONSOLE_PORT). Exit 77: skipped.
set -euo pipefail
build=$(cd "$1" && pwd)
[ -n "${TARVO_CONSOLE_PORT:-}" ] || { echo "SKIP: run with scripts/test-windows.sh"; exit 77; }
fail() { echo "FAIL: $*"; exit 1; }
source "$(dirname "$0")/../../scripts/lib/xvfb.sh"   # wait_for, stop_pids
run=$build/console-read
rm -rf "$run" && mkdir -p "$run"
cp "$build/tarvo_6.exe" "$build/tarvo_6.com" "$run/"
sim_pid=""
trap 'stop_pids "$sim_pid"' EXIT
"$TARVO_HOST_SIM" --pty --variant 1 --nozzles 4 --image "$run/image.txt" </dev/null \
  >"$run/sim.out" 2>"$run/sim.log" &
sim_pid=$!
wait_for '[ -n "$(head -n1 "$run/sim.out" 2>/dev/null)" ]' 10 || fail "dispenser-sim did not start"
ln -sfn "$(head -n1 "$run/sim.out")" "$TARVO_WINE_PORTS/$TARVO_CONSOLE_PORT"
in_cmd() { (cd "$run" && "$TARVO_WINE" cmd /c "$1" </dev/null); }

status=0
in_cmd "tarvo_6 --read $TARVO_CONSOLE_PORT --json" >"$run/read.json" || status=$?
[ "$status" = 0 ] || fail "--read ended with status $status"
stop_pids "$sim_pid"   # the simulator saves its memory
sim_pid=""
python3 - "$run/read.json" "$run/image.txt" <<'CHECK' || fail "the JSON is not the memory"
import json, sys
text = open(sys.argv[1]).read()
read = json.loads(text[text.index("{"):])
area, name = {}, None
for line in open(sys.argv[2]):
    if line.startswith("# "): name = line[2:].strip()
    elif name and ":" in line: area[name] = area.get(name, "") + "".join(line.split()[1:]).lower()
found = [read["status_byte"], read["main_settings"], read["common_block"],
         [n["record"] for n in read["nozzles"]]]
memory = [int(area["status byte"], 16), area["main settings"],
          area["common block, group 0"] + area["calibration counter, group 0"],
          [area["calibration record, group 0 nozzle %d" % n] for n in range(1, 5)]]
print("read  ", found, "\nmemory", memory)
sys.exit(found != memory)
CHECK
status=0
in_cmd "tarvo_6 --read COM199 --json" >/dev/null 2>&1 || status=$?
[ "$status" = 5 ] || fail "--read of a missing port ended with status $status, not 5"
