#!/usr/bin/env bash
# The console program as a script on Windows runs it: `tarvo_6 --read PORT
# --json` typed to cmd.exe in the program's folder, which holds both
# programs. Against dispenser-sim on a COM port, the JSON it prints holds the
# simulator's memory as the simulator saves it on exit, and the exit status
# reaches cmd.exe's caller: 0 after a Read, 5 for a port that does not open.
#
# Usage: console_read_test.sh BUILD_DIR
# From scripts/test-windows.sh's environment: WINEPREFIX, TARVO_WINE,
# TARVO_HOST_SIM, TARVO_WINE_PORTS and TARVO_CONSOLE_PORT. Exit 77: skipped.
set -euo pipefail
build=$(cd "$1" && pwd)
for variable in WINEPREFIX TARVO_WINE TARVO_HOST_SIM TARVO_WINE_PORTS TARVO_CONSOLE_PORT; do
  if [ -z "${!variable:-}" ]; then
    echo "SKIP: $variable is not set; run the Windows tests with scripts/test-windows.sh"
    exit 77
  fi
done
fail() { echo "FAIL: $*"; exit 1; }
source "$(dirname "$0")/../../scripts/lib/xvfb.sh"   # wait_for, stop_pids

run=$build/console-read
rm -rf "$run"
mkdir -p "$run/ru"
cp "$build/tarvo_6.exe" "$build/tarvo_6.com" "$build/qv.bmp" "$run/"
cp "$build/ru/tarvo_6.mo" "$run/ru/"

sim_pid=""
trap 'stop_pids "$sim_pid"' EXIT
"$TARVO_HOST_SIM" --pty --variant 1 --nozzles 4 --address 1 --image "$run/image.txt" \
  </dev/null >"$run/sim.out" 2>"$run/sim.log" &
sim_pid=$!
wait_for '[ -n "$(head -n1 "$run/sim.out" 2>/dev/null)" ]' 10 || fail "dispenser-sim did not start"
ln -sfn "$(head -n1 "$run/sim.out")" "$TARVO_WINE_PORTS/$TARVO_CONSOLE_PORT"

# What cmd.exe hands back is what its caller sees as %ERRORLEVEL%.
status=0
(cd "$run" && "$TARVO_WINE" cmd /c "tarvo_6 --read $TARVO_CONSOLE_PORT --json" \
  </dev/null >"$run/read.json" 2>"$run/read.err") || status=$?
[ "$status" = 0 ] || fail "--read ended with status $status: $(cat "$run/read.err")"

# The simulator saves its memory as it stops.
kill -TERM "$sim_pid"
wait "$sim_pid" || true
sim_pid=""
python3 - "$run/read.json" "$run/image.txt" <<'CHECK' ||
import json, sys
# The JSON line may follow Wine's own notes on the console's output.
text = open(sys.argv[1], encoding="utf-8").read()
read = json.loads(text[text.index("{"):])
areas, name = {}, None
for line in open(sys.argv[2]):
    line = line.strip()
    if line.startswith("# "):
        name = line[2:]
    elif name and ":" in line and not line.startswith("#"):
        areas[name] = areas.get(name, "") + "".join(line.split()[1:]).lower()
expected = {
    "result": "read",
    "variant": 1,
    "status_byte": int(areas["status byte"], 16),
    "main_settings": areas["main settings"],
    "common_block": areas["common block, group 0"] + areas["calibration counter, group 0"],
    "records": [areas["calibration record, group 0 nozzle %d" % n] for n in range(1, 5)],
}
found = dict((key, read.get(key)) for key in expected)
found["records"] = [n["record"] for n in read["nozzles"]]
for key in expected:
    if found[key] != expected[key]:
        print("%s: read %r, memory %r" % (key, found[key], expected[key]))
sys.exit(0 if found == expected else 1)
CHECK
  fail "the JSON is not the simulator's memory"

# No controller behind this name: the program's own status for a port that
# did not open comes through cmd.exe.
status=0
(cd "$run" && "$TARVO_WINE" cmd /c "tarvo_6 --read COM199 --json" </dev/null >/dev/null 2>&1) ||
  status=$?
[ "$status" = 5 ] || fail "--read of a missing port ended with status $status, not 5"
echo "tarvo_6 --read $TARVO_CONSOLE_PORT --json through cmd.exe: the simulator's memory," \
  "status 0; a missing port: status 5"
