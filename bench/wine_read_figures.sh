#!/usr/bin/env bash
# Figures, not a test: how long the Windows program's Read takes under Wine,
# timed from the controller's side. tarvo_6.com --read runs against a
# dispenser-sim of each variant paced at 4800 baud; a Read lasts from the
# first request the simulator receives to its reply to the last one (the
# password state), as its trace stamps them. Prints each Read and the sum.
#
# Usage: wine_read_figures.sh BUILD_DIR LABEL [RUNS]   (RUNS per variant, default 2)
# From scripts/test-windows.sh's environment: WINEPREFIX, TARVO_WINE,
# TARVO_HOST_SIM, TARVO_WINE_PORTS, TARVO_CONSOLE_PORT; TARVO_WINE_PRELOAD, when
# set, is loaded into the program (the Wine server must carry it too).
set -euo pipefail
build=$(cd "$1" && pwd)
label=$2
runs=${3:-2}
source "$(dirname "$0")/../scripts/lib/xvfb.sh"   # wait_for, stop_pids
work=$build/read-figures
mkdir -p "$work"
cp "$build/tarvo_6.com" "$build/qv.bmp" "$work/"

sim_pid=""
trap 'stop_pids "$sim_pid"' EXIT
total=0
line="$label:"
for variant in 0 1 2; do
  for run in $(seq "$runs"); do
    trace=$work/trace-$variant-$run
    rm -f "$trace" "$work/sim.out"
    "$TARVO_HOST_SIM" --pty --pace --variant "$variant" --nozzles 4 --address 1 \
      --trace-file "$trace" </dev/null >"$work/sim.out" 2>"$work/sim.log" &
    sim_pid=$!
    wait_for '[ -n "$(head -n1 "$work/sim.out" 2>/dev/null)" ]' 10 ||
      { echo "dispenser-sim did not start"; exit 1; }
    ln -sfn "$(head -n1 "$work/sim.out")" "$TARVO_WINE_PORTS/$TARVO_CONSOLE_PORT"
    (cd "$work" && LD_PRELOAD=${TARVO_WINE_PRELOAD:-} "$TARVO_WINE" tarvo_6.com \
      --read "$TARVO_CONSOLE_PORT" --json </dev/null >"$work/read.json" 2>/dev/null) ||
      { echo "tarvo_6.com --read failed: $(cat "$work/read.json")"; exit 1; }
    stop_pids "$sim_pid"
    sim_pid=""
    ms=$(awk '$2 == "rx" && !first { first = $1 }
              $2 == "tx" && /password state/ { last = $1 }
              END { if (first && last) printf "%d", last - first }' "$trace")
    [ -n "$ms" ] || { echo "no whole Read in $trace"; exit 1; }
    line+=" v$variant:${ms}"
    total=$((total + ms))
  done
done
echo "$line ms; total $total ms"
echo "$total" >"$work/total-$label"
