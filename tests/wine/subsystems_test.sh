#!/usr/bin/env bash
# Started from Explorer, the window program must open no console: it asks for
# the window subsystem (2). The console program asks for the console (3), so
# cmd.exe and PowerShell wait for it and hand its output and status on.
# Usage: subsystems_test.sh WINDOW_PROGRAM CONSOLE_PROGRAM
set -euo pipefail
read_subsystem="$(dirname "$0")/../package/pe_subsystem.sh"
window=$("$read_subsystem" "$1")
console=$("$read_subsystem" "$2")
[ "$window" = 2 ] || { echo "FAIL: $1 asks for subsystem $window, not 2 (window)"; exit 1; }
[ "$console" = 3 ] || { echo "FAIL: $2 asks for subsystem $console, not 3 (console)"; exit 1; }
echo "$(basename "$1"): window subsystem; $(basename "$2"): console subsystem"
