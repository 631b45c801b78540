# Sourced by the scripts and tests that show a window where no desktop may be
# touched: a private X server on a display number Xvfb picks itself
# (-displayfd), so runs side by side never meet.
#
#   start_xvfb FOLDER [SCREEN]   starts it (log in FOLDER/xvfb.log), exports
#                                DISPLAY, keeps its pid in XVFB_PID; fails,
#                                with the log on stderr, when it does not come
#   stop_xvfb                    stops it
#   wait_for COMMAND SECONDS     until COMMAND (evaluated) succeeds; fails
#                                after SECONDS
#   stop_pids PID...             ends each of these processes still running
#   escape_ends WINDOW PID SECS  presses Escape in the window and waits for
#                                the program to end; fails when it is still
#                                running after SECS, else its exit status is
#                                in ENDED_WITH

XVFB_PID=""

wait_for() {
  local deadline=$((SECONDS + $2))
  until eval "$1"; do
    [ $SECONDS -lt $deadline ] || return 1
    sleep 0.05
  done
}

start_xvfb() {
  local folder=$1 screen=${2:-1280x1024x24}
  rm -f "$folder/display"
  Xvfb -displayfd 3 -nolisten tcp -screen 0 "$screen" 3>"$folder/display" </dev/null \
    >"$folder/xvfb.log" 2>&1 &
  XVFB_PID=$!
  # Done when the number is written, or at once when the server died.
  wait_for "grep -qs '^[0-9]' \"\$folder/display\" || ! kill -0 \$XVFB_PID 2>/dev/null" 20 || true
  if ! grep -qs '^[0-9]' "$folder/display"; then
    echo "Xvfb did not start:" >&2
    cat "$folder/xvfb.log" >&2
    stop_xvfb
    return 1
  fi
  export DISPLAY=":$(head -n1 "$folder/display")"
}

stop_xvfb() {
  if [ -n "$XVFB_PID" ]; then
    kill "$XVFB_PID" 2>/dev/null || true
    wait "$XVFB_PID" 2>/dev/null || true
  fi
  XVFB_PID=""
}

stop_pids() {
  local pid
  for pid in "$@"; do
    [ -n "$pid" ] || continue
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
}

ENDED_WITH=""

escape_ends() {
  local window=$1 pid=$2 seconds=$3
  xdotool mousemove --window "$window" 300 150
  xdotool windowfocus --sync "$window" key Escape
  wait_for "! kill -0 $pid 2>/dev/null" "$seconds" || return 1
  ENDED_WITH=0
  wait "$pid" || ENDED_WITH=$?
}
