#!/usr/bin/env bash
# Runs one Windows program of the build under Wine: every test CTest starts,
# and GoogleTest's listing of a test program at build time.
#   run-under-wine.sh WINE WINEPREFIX PROGRAM.exe ARGS...
# Wine's own errors stay on (its err channel, on stderr), so a program that
# Wine could not start says why instead of failing with no output; its fixme
# notes are left out. A program that ends badly without printing a line gets
# a line naming its status.
set -uo pipefail
wine=$1
export WINEPREFIX=$2
shift 2
export WINEDEBUG=${TARVO_WINEDEBUG:-fixme-all}

# The prefix's Wine server must already run, started detached from every pipe
# (scripts/test-windows.sh): one started here would inherit CTest's output
# pipe and keep it waiting after the test ended.
# Wine keeps the server's socket in a folder named after the prefix's device
# and inode, under /tmp/.wine-UID, /run/user/UID/wine or (Debian, without
# /run/user) a /tmp/wine-XXXXXX of its own.
server_socket() {
  local ids dev ino uid
  ids=$(stat -L -c '%d %i' "$WINEPREFIX" 2>/dev/null) || return 1
  read -r dev ino <<<"$ids"
  uid=$(id -u)
  local name
  name=$(printf 'server-%x-%x' "$dev" "$ino")
  for socket in /tmp/.wine-"$uid"/"$name"/socket /run/user/"$uid"/wine/"$name"/socket \
                /tmp/wine-*/"$name"/socket; do
    [ -S "$socket" ] && { echo "$socket"; return 0; }
  done
  return 1
}
if [ ! -d "$WINEPREFIX" ]; then
  echo "run-under-wine: no Wine prefix $WINEPREFIX" >&2
  exit 1
fi
if ! server_socket >/dev/null; then
  echo "run-under-wine: the Wine server of $WINEPREFIX is not running" \
       "(run the Windows tests with scripts/test-windows.sh)" >&2
  exit 1
fi

log=$(mktemp)
trap 'rm -f "$log"' EXIT
# TARVO_WINE_PRELOAD: a library for the program alone (winquantum), not for
# this script or the tools around it.
LD_PRELOAD=${TARVO_WINE_PRELOAD:-} "$wine" "$@" | tee "$log"
status=${PIPESTATUS[0]}
if [ "$status" -ne 0 ] && [ ! -s "$log" ]; then
  echo "run-under-wine: $(basename "$1") ended with status $status before printing anything" >&2
fi
exit "$status"
